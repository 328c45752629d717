// Locating the archive of an archive file or a package, and reading its
// catalog in place.
#include "tools/package_file.h"

#include <climits>
#include <cstring>
#include <vector>

#include "package/entry_limits.h"
#include "package/long_records.h"
#include "package/manifest.h"
#include "package/pe_image.h"
#include "package/script_record.h"
#include "package/trailer.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/fs.h"
#include "tools/archive_decoding.h"
#include "tools/cli.h"
#include "tools/entry_names.h"
#include "tools/file_io.h"
#include "tools/staging.h"
#include "tools/tool_os.h"

namespace tools {

namespace {

namespace files = platform::files;

bool SignatureAt(const OsFile &file, int64_t offset) {
  char head[archive::kSignatureSize];
  return file.ReadAt(offset, head, sizeof head) == sizeof head &&
         std::memcmp(head, archive::kSignature, sizeof head) == 0;
}

int32_t Narrow(int64_t position, const std::string &path) {
  if (position > INT32_MAX)
    throw ToolError(path + " is 2 GiB or larger: no archive reaches that");
  return static_cast<int32_t>(position);
}

// A package's names and script are read in the code page its manifest
// declares, as its run reads them; in the system's without one.
void UsePackageCodePage(const OsFile &file) {
  const package::Manifest manifest = package::FindManifest(OsFileSource(file));
  const int page = manifest.state == package::ManifestState::Intact
                       ? package::DeclaredCodePage(manifest.payload)
                       : 0;
  if (page <= 0 || !platform::SetFileCodePage(page))
    platform::SetFileCodePage(0);
}

} // namespace

int64_t PackageEnd(const OsFile &file) {
  return package::PackageLength(OsFileSource(file));
}

ArchiveSpan LocateArchive(const OsFile &file) {
  ArchiveSpan span;
  span.fileLength = file.Size();
  span.last = span.fileLength;
  if (SignatureAt(file, 0)) {
    span.kind = FileKind::Archive;
    return span;
  }
  const int64_t end = PackageEnd(file);
  const std::optional<int32_t> found =
      package::ReadArchiveStart(OsFileSource(file), end);
  if (!found)
    return span;
  const int32_t start = *found; // ArchiveStart
  const int64_t last = end - package::kTrailerSize;
  const package::Manifest manifest = package::FindManifest(OsFileSource(file));
  const bool intact = manifest.state == package::ManifestState::Intact;
  span.refusedLayout =
      intact && !package::ReadStreamLayout(manifest.payload, span.layout);
  span.longScript = intact && package::FlagSet(manifest.payload,
                                               package::script::kLongScriptKey);
  if (start >= 1 && start <= last && !span.refusedLayout && intact &&
      span.layout.compressed) {
    span.kind = FileKind::Compressed;
    span.first = start;
    span.last = last;
    UsePackageCodePage(file);
    return span;
  }
  span.layout = {};
  if (start < 1 || int64_t{start} + archive::kSignatureSize - 1 > last ||
      !SignatureAt(file, start - 1))
    return span;
  span.kind = FileKind::Package;
  span.first = start;
  span.last = last;
  UsePackageCodePage(file);
  return span;
}

ArchiveSpan LocateArchive(const std::string &path) {
  return LocateArchive(OsFile(path, platform::OpenMode::ReadOnly));
}

std::string NoArchiveFault(bool signedFile) {
  return std::string("no archive: the file does not begin with PACK1, and "
                     "the trailer in its last 4 bytes") +
         (signedFile ? " before the certificate table" : "") +
         " does not lead to one (damaged or incomplete)";
}

ArchiveSpan LocateReadableArchive(const std::string &path) {
  const OsFile file(path, platform::OpenMode::ReadOnly);
  ArchiveSpan span = LocateArchive(file);
  if (span.refusedLayout)
    throw ToolError(path + ": " + kRefusedLayout);
  if (span.kind == FileKind::Other)
    throw ToolError(path + ": " +
                    NoArchiveFault(PackageEnd(file) < span.fileLength));
  return span;
}

void DecodeArchive(const std::string &package, const ArchiveSpan &span,
                   OsFile &out) {
  ArchiveDecoding(package, span, out).Finish();
}

namespace {

std::unique_ptr<ScratchFolder> ScratchFor(const ArchiveSpan &span) {
  return span.kind == FileKind::Compressed
             ? std::make_unique<ScratchFolder>("read")
             : nullptr;
}

} // namespace

ArchiveReader::Number::Number(const std::string &path, const OsFile *file)
    : value(files::FreeFile()) {
  files::Open(value, path, platform::OpenMode::ReadOnly,
              file ? os::Duplicate(*file) : platform::os::kNoHandle);
}

ArchiveReader::Number::~Number() {
  try {
    files::Close(value);
  } catch (const platform::Error &) {
  }
}

struct ArchiveReader::Decoding {
  Decoding(const std::string &outPath, const OsFile &package,
           const ArchiveSpan &span)
      : out(outPath, platform::OpenMode::CreateNew),
        archive(package, span, out) {}
  OsFile out;
  ArchiveDecoding archive;
};

// The decoding of a compressed package's archive into the scratch folder:
// done at once for a whole reading, else as far as the catalog and left
// for the entries read.
std::unique_ptr<ArchiveReader::Decoding>
ArchiveReader::StartDecoding(const OsFile &file, const ArchiveSpan &span,
                             const ScratchFolder *scratch, Extent extent) {
  if (scratch == nullptr)
    return nullptr;
  auto decoding =
      std::make_unique<Decoding>(*scratch / "archive.pack", file, span);
  if (extent == Extent::Whole) {
    decoding->archive.Finish();
    decoding->out.Close();
    return nullptr;
  }
  decoding->archive.ThroughCatalog();
  return decoding;
}

ArchiveReader::ArchiveReader(const std::string &path, Extent extent)
    : ArchiveReader(OsFile(path, platform::OpenMode::ReadOnly), extent) {}

ArchiveReader::ArchiveReader(const OsFile &file, Extent extent)
    : span_(LocateArchive(file)), scratch_(ScratchFor(span_)),
      decoding_(StartDecoding(file, span_, scratch_.get(), extent)),
      readPath_(scratch_ ? *scratch_ / "archive.pack" : file.path()),
      number_(readPath_, scratch_ ? nullptr : &file),
      info_(archive::ReadCatalogInfo(
          number_.value, scratch_ ? 1 : Narrow(span_.first, file.path()),
          scratch_ ? Narrow(span_.layout.rawLength, file.path())
                   : Narrow(span_.last, file.path()))),
      reader_(number_.value, info_), entriesEnd_(info_.catalogStart) {}

ArchiveReader::~ArchiveReader() = default;

bool ArchiveReader::Next(ListedEntry &entry) {
  if (!reader_.Next(parser_))
    return false;
  entriesEnd_ = reader_.Cursor();
  // The extraction's own checks, in its order, so an archive that lists
  // cleanly here extracts, and one that fails here fails there at the same
  // entry with the same number.
  entry.name = archive::CheckedEntryName(parser_);
  if (!FitsOneWindowsName(entry.name))
    platform::Raise(platform::err::kBadFileName, entry.name);
  const archive::EntryRange range = archive::CheckEntryRange(
      parser_, entry.name, info_.dataStart, info_.first, info_.length);
  entry.start = parser_.Start();
  entry.end = parser_.End();
  entry.size =
      range.last >= range.first ? int64_t{range.last} - range.first + 1 : 0;
  return true;
}

archive::EntryRange ArchiveReader::Range(const ListedEntry &entry) const {
  return {archive::FirstPosition(entry.start, info_.dataStart),
          archive::LastPosition(entry.end, info_.dataStart)};
}

std::string ArchiveReader::Read(const ListedEntry &entry) {
  std::string bytes;
  bytes.reserve(static_cast<size_t>(entry.size));
  ReadPieces(entry, [&](const uint8_t *piece, size_t count) {
    bytes.append(reinterpret_cast<const char *>(piece), count);
  });
  return bytes;
}

void ArchiveReader::ReadPieces(
    const ListedEntry &entry,
    const std::function<void(const uint8_t *, size_t)> &piece) {
  constexpr int64_t kPiece = int64_t{256} * 1024;
  std::vector<uint8_t> buffer(
      static_cast<size_t>(std::min(kPiece, entry.size)));
  const int64_t first = Range(entry).first;
  if (decoding_ && entry.size > 0)
    decoding_->archive.Through(Range(entry).last);
  for (int64_t done = 0; done < entry.size;) {
    const int64_t n = std::min(kPiece, entry.size - done);
    files::At(number_.value).GetRun(first + done, buffer.data(), n);
    piece(buffer.data(), static_cast<size_t>(n));
    done += n;
  }
}

ScriptEntries ScriptEntriesOf(const std::string &path) {
  ArchiveReader reader(path, ArchiveReader::Extent::AsRead);
  const bool longScript = reader.span().longScript;
  ListedEntry entry;
  // Only the last of a name is read: a catalog may name the same bytes
  // under it any number of times.
  std::optional<ListedEntry> records;
  std::optional<ListedEntry> longRecords;
  while (reader.Next(entry)) {
    if (platform::fs::CompareNamesNoCase(entry.name,
                                         package::script::kScriptName) == 0)
      records = entry;
    else if (longScript &&
             platform::fs::CompareNamesNoCase(
                 entry.name, package::script::kLongScriptName) == 0)
      longRecords = entry;
  }
  ScriptEntries found;
  for (const auto &[entry, bytes] :
       {std::pair{&records, &found.records},
        std::pair{&longRecords, &found.longRecords}}) {
    if (!*entry)
      continue;
    // A compressed package's run takes no larger one (the stream may
    // decode to gigabytes from a few kilobytes): read no further.
    if (reader.span().kind == FileKind::Compressed &&
        (*entry)->size > package::kMaxOwnEntryBytes)
      throw ToolError(path + ": the entry " + (*entry)->name + " is " +
                      std::to_string((*entry)->size) + " bytes, more than " +
                      std::to_string(package::kMaxOwnEntryBytes) +
                      ": the run ends as on a damaged package");
    *bytes = reader.Read(**entry);
  }
  return found;
}

void CheckArchive(const std::string &path) {
  CheckArchive(OsFile(path, platform::OpenMode::ReadOnly));
}

void CheckArchive(const OsFile &file) {
  const std::string &path = file.path();
  ArchiveReader reader(file);
  ListedEntry entry;
  int64_t held = 0;
  while (reader.Next(entry))
    held += entry.size;
  if (held > reader.DataBytes())
    throw ToolError(path + ": its entries hold " + std::to_string(held) +
                    " bytes together, more than the " +
                    std::to_string(reader.DataBytes()) +
                    " of its data region (their ranges overlap); a run of "
                    "the package would refuse it");
}

} // namespace tools
