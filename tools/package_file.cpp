// Locating the archive of an archive file or a package, and reading its
// catalog in place.
#include "tools/package_file.h"

#include <climits>
#include <cstring>
#include <vector>

#include "package/manifest.h"
#include "package/pe_image.h"
#include "package/script_record.h"
#include "package/stream_decoder.h"
#include "package/trailer.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/fs.h"
#include "tools/cli.h"
#include "tools/file_io.h"
#include "tools/staging.h"

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
  if (start >= 1 && start <= last &&
      manifest.state == package::ManifestState::Intact &&
      package::ReadStreamLayout(manifest.payload, span.layout) &&
      span.layout.compressed) {
    span.kind = FileKind::Compressed;
    span.first = start;
    span.last = last;
    return span;
  }
  span.layout = {};
  if (start < 1 || start + archive::kSignatureSize - 1 > last ||
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

void DecodeArchive(const OsFile &package, const ArchiveSpan &span,
                   OsFile &out) {
  const package::StreamLayout &layout = span.layout;
  const OsFileSource source(package);
  struct Output {
    OsFile &file;
    int64_t written = 0;
  } output{out};
  package::StreamDecoder decoder(
      source, span.first - 1, layout,
      [](void *context, const uint8_t *bytes, size_t count) {
        auto &to = *static_cast<Output *>(context);
        to.file.WriteAt(to.written, bytes, count);
        to.written += static_cast<int64_t>(count);
      },
      &output);
  package::StreamFault fault = package::StreamFault::OutsidePackage;
  if (layout.streamLength + layout.StoredLength() <=
      span.last - span.first + 1) {
    while (decoder.Advance(int64_t{1} << 20) > 0) {
    }
    fault = decoder.Finish();
  }
  const char *what = nullptr;
  switch (fault) {
  case package::StreamFault::None:
    return;
  case package::StreamFault::OutsidePackage:
    what = "the compressed archive reaches past the package's end";
    break;
  case package::StreamFault::Corrupt:
    what = "the compressed archive does not decode";
    break;
  case package::StreamFault::Truncated:
    what = "the compressed archive ends before its declared length";
    break;
  case package::StreamFault::Crc:
    what = "the compressed archive differs from its CRC-32";
    break;
  case package::StreamFault::NoMemory:
    what = "out of memory for the compressed archive";
    break;
  }
  throw ToolError(package.path() + ": " + what);
}

namespace {

std::unique_ptr<ScratchFolder> ScratchFor(const ArchiveSpan &span) {
  return span.kind == FileKind::Compressed
             ? std::make_unique<ScratchFolder>("read")
             : nullptr;
}

// The file the reader opens: the input, or its archive decoded.
std::string Decoded(const std::string &path, const ArchiveSpan &span,
                    const ScratchFolder *scratch) {
  if (scratch == nullptr)
    return path;
  std::string decoded = *scratch / "archive.pack";
  const OsFile package(path, platform::OpenMode::ReadOnly);
  OsFile out(decoded, platform::OpenMode::CreateNew);
  DecodeArchive(package, span, out);
  out.Close();
  return decoded;
}

} // namespace

ArchiveReader::Number::Number(const std::string &path)
    : value(files::FreeFile()) {
  files::Open(value, path, platform::OpenMode::ReadOnly);
}

ArchiveReader::Number::~Number() {
  try {
    files::Close(value);
  } catch (const platform::Error &) {
  }
}

ArchiveReader::ArchiveReader(const std::string &path)
    : span_(LocateArchive(path)), scratch_(ScratchFor(span_)),
      readPath_(Decoded(path, span_, scratch_.get())), number_(readPath_),
      info_(archive::ReadCatalogInfo(
          number_.value, scratch_ ? 1 : Narrow(span_.first, path),
          scratch_ ? Narrow(span_.layout.rawLength, path)
                   : Narrow(span_.last, path))),
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
  for (int64_t done = 0; done < entry.size;) {
    const int64_t n = std::min(kPiece, entry.size - done);
    files::At(number_.value).GetRun(first + done, buffer.data(), n);
    piece(buffer.data(), static_cast<size_t>(n));
    done += n;
  }
}

std::optional<std::string> ScriptEntryOf(const std::string &path,
                                         const std::string &name) {
  ArchiveReader reader(path);
  ListedEntry entry;
  std::optional<std::string> bytes;
  while (reader.Next(entry))
    if (platform::fs::CompareNamesNoCase(entry.name, name) == 0)
      bytes = reader.Read(entry);
  return bytes;
}

void CheckArchive(const std::string &path) {
  ArchiveReader reader(path);
  ListedEntry entry;
  while (reader.Next(entry)) {
  }
}

} // namespace tools
