// Joining stub, archive and trailer.
#include "tools/package_writer.h"

#include <algorithm>
#include <array>
#include <iostream>
#include <memory>
#include <optional>
#include <vector>

#include "archive/catalog.h"
#include "package/byte_source.h"
#include "package/checksums.h"
#include "package/crc32.h"
#include "package/entry_limits.h"
#include "package/expected_state.h"
#include "package/file_times.h"
#include "package/long_records.h"
#include "package/manifest.h"
#include "package/pe_image.h"
#include "package/stream_layout.h"
#include "package/trailer.h"
#include "platform/error.h"
#include "platform/fs.h"
#include "tools/archive_compressor.h"
#include "tools/atomic_output.h"
#include "tools/cli.h"
#include "tools/console_ui.h"
#include "tools/entry_names.h"
#include "tools/file_io.h"
#include "tools/name_index.h"
#include "tools/pack_folder.h"
#include "tools/package_file.h"
#include "tools/program_icon.h"
#include "tools/record_check.h"
#include "tools/script_paths.h"
#include "tools/staging.h"
#include "tools/stub.h"
#include "tools/tool_os.h"

namespace tools {

namespace {

// The package, trailer included, must stay below 2^31 bytes: every
// position in it is a 32-bit signed number.
constexpr int64_t kMaxPackage = (int64_t{1} << 31) - 1;
constexpr int64_t kTrailerSize = package::kTrailerSize;

void CheckArchiveFile(const OsFile &archive) {
  const std::string &path = archive.path();
  const ArchiveSpan span = LocateArchive(archive);
  if (span.kind == FileKind::Package || span.kind == FileKind::Compressed)
    throw ToolError(path + " is a package, not an archive");
  if (span.kind != FileKind::Archive)
    throw ToolError(path + " is not a PACK1 archive");
  try {
    CheckArchive(archive);
  } catch (const platform::Error &e) {
    throw ToolError(path + " does not parse: " + e.Description() + " (" +
                    std::to_string(e.Number()) + ")");
  }
}

} // namespace

namespace {

// The checksum entry for the archive at path: the length and CRC-32 of
// every file its extraction writes, and where the catalog's entries end,
// after which the new entry goes. Raises ToolError for two entries that
// are one file on Windows.
// An entry's data as a compressed package treats it: its first position
// in the archive file, its size, x86 code (filtered) or incompressible
// (stored outside the stream).
struct EntryKind {
  int64_t first = 0;
  int64_t size = 0;
  bool x86 = false;
  bool store = false;
};

struct Checksums {
  std::string text; // the entry's bytes
  archive::CatalogInfo info;
  int32_t entriesEnd = 0;
  bool longScript = false;      // the archive holds the long script entry
  bool times = false;           // and the entry of the files' times
  bool expected = false;        // and the expected state
  std::vector<EntryKind> kinds; // when asked for
};

// What a run of the package reads whole stays within the limits it holds
// a package to: the entry's size, checked before it is read, and in a
// script the folders that placeholders repeated within a field add, each
// taken at its longest.
void CheckReadWholeSize(const std::string &name, int64_t size) {
  if (size > package::kMaxOwnEntryBytes)
    throw ToolError("the entry " + name + " would be " + std::to_string(size) +
                    " bytes; a run reads at most " +
                    std::to_string(package::kMaxOwnEntryBytes));
}

void CheckRepeatedPlaceholders(const std::string &name,
                               std::string_view bytes) {
  if (RepeatedPlaceholderBytesAtLongest(name, bytes) >
      package::kMaxRepeatedPlaceholderBytes)
    throw ToolError("the entry " + name +
                    " repeats {temp} or {app} within its paths too often: "
                    "a path names one folder, at its start");
}

// The manifest declares the long script and the files' times whenever the
// archive holds them, and every run ends as on a damaged package where one
// does not read: the build refuses it instead. The files' times read go
// into timed, for the check that each names an entry.
void CheckOwnEntry(const std::string &name, std::string_view bytes,
                   std::vector<package::times::EntryTime> &timed) {
  namespace script = package::script;
  if (platform::fs::CompareNamesNoCase(name, script::kLongScriptName) == 0 &&
      script::ForEachRecord(bytes, script::Form::Long,
                            [](const script::Record &) {})
          .cut)
    throw ToolError("the entry " + name +
                    " is no long script: it does not begin as one or ends "
                    "inside a record");
  if (platform::fs::CompareNamesNoCase(name, package::times::kTimesName) != 0)
    return;
  try {
    timed = package::times::ParseTimes(bytes);
  } catch (const platform::Error &e) {
    throw ToolError(e.Description().substr(0, e.Description().find('\r')));
  }
}

EntryKind KindOf(int64_t first, int64_t size, std::string_view head) {
  EntryKind kind{first, size, false, false};
  kind.x86 = package::pe::IsX86Image(package::MemorySource(head));
  kind.store = !kind.x86 && head.size() == kSampleSize &&
               !Compressible(reinterpret_cast<const uint8_t *>(head.data()),
                             head.size());
  return kind;
}

// A script entry of the archive, as the run reads it.
struct ScriptEntry {
  std::string name; // as the archive holds it
  std::optional<std::string> bytes;
};

// The records of a ready script (see PackageOutput::readyScript), "script"
// and then the long script, as `verify` checks them in the package: each
// fault printed as "WHERE: error: " and verify's words, WHERE the archive
// or the script's file in the folder it was packed from, and the build
// refused; or, for a package made to fail, warned of. Verify's warnings
// are warned of as it words them.
void CheckReadyScripts(const std::string &path,
                       const std::array<ScriptEntry, 2> &scripts,
                       const NameIndex &names, const PackageOutput &target) {
  using ReadyScript = PackageOutput::ReadyScript;
  if (target.readyScript == ReadyScript::Compiled)
    return;
  // Every package build writes carries a manifest: one of ours.
  RecordCheck check(names, true);
  std::vector<std::string> errors;
  std::vector<std::string> faults;
  std::vector<std::string> warnings;
  std::string where = path;
  const auto placeNew = [&] {
    while (errors.size() < faults.size())
      errors.push_back(where + ": error: " + faults[errors.size()]);
  };
  for (const ScriptEntry &entry : scripts) {
    if (!entry.bytes)
      continue;
    if (!target.packedFrom.empty())
      where = target.packedFrom + "/" + entry.name;
    check.Check(entry.name, *entry.bytes, faults, warnings);
    placeNew();
  }
  check.Finish(faults);
  placeNew();
  if (!errors.empty() && target.readyScript == ReadyScript::Refuse) {
    for (const std::string &error : errors)
      std::cerr << ConsoleUi::Printable(error) << "\n";
    throw ReportedFailure();
  }
  for (const auto *list : {&faults, &warnings})
    for (const std::string &text : *list)
      Warn(text);
}

Checksums ChecksumsOf(const OsFile &archive, const PackageOutput &target) {
  const bool withKinds = target.compress;
  namespace sums = package::sums;
  namespace script = package::script;
  const std::string &path = archive.path();
  ArchiveReader reader(archive);
  std::vector<sums::Sum> list;
  std::vector<EntryKind> kinds;
  NameIndex names;
  std::vector<package::times::EntryTime> timed;
  // "script" and the long script, the last of each name as the run reads
  // them.
  std::array<ScriptEntry, 2> scripts;
  ListedEntry entry;
  while (reader.Next(entry)) {
    const std::string name(archive::WithoutTrailingDotsAndSpaces(entry.name));
    if (platform::fs::CompareNamesNoCase(name, sums::kEntryName) == 0)
      throw ToolError(path + " holds a " + sums::kEntryName +
                      " entry already; build adds its own");
    // Windows would write both into one file, and the run would then find
    // one of them damaged.
    if (const NameIndex::Found found = names.Clashing(name);
        found.clash != NameClash::None)
      throw ToolError(path + ": the entries " +
                      ClashText(found.clash, list[found.id].name, name));
    const archive::EntryRange range = reader.Range(entry);
    if (range.first <= range.last && range.first < reader.Info().dataStart)
      throw ToolError(path + ": the entry " + entry.name +
                      " reads the archive's header or catalog, which the "
                      "checksum entry changes");
    sums::Sum sum{name, entry.size, 0};
    const bool whole = IsReadWholeEntryName(name);
    if (whole)
      CheckReadWholeSize(name, entry.size);
    std::string head;
    std::string bytesRead; // of an entry the run reads whole
    reader.ReadPieces(entry, [&](const uint8_t *bytes, size_t count) {
      sum.crc = package::Crc32(sum.crc, bytes, count);
      if (withKinds && head.size() < kSampleSize)
        head.append(reinterpret_cast<const char *>(bytes),
                    std::min(count, kSampleSize - head.size()));
      if (whole)
        bytesRead.append(reinterpret_cast<const char *>(bytes), count);
    });
    if (whole) {
      CheckRepeatedPlaceholders(name, bytesRead);
      CheckOwnEntry(name, bytesRead, timed);
      const bool isScript =
          platform::fs::CompareNamesNoCase(name, script::kScriptName) == 0;
      if (isScript ||
          platform::fs::CompareNamesNoCase(name, script::kLongScriptName) == 0)
        scripts[isScript ? 0 : 1] = {entry.name, std::move(bytesRead)};
    }
    if (withKinds && entry.size > 0)
      kinds.push_back(KindOf(range.first, entry.size, head));
    names.Add(name, list.size());
    list.push_back(sum);
  }
  for (const package::times::EntryTime &time : timed)
    if (names.Find(time.name) == NameIndex::kNone)
      throw ToolError(std::string("the entry ") + package::times::kTimesName +
                      " gives a time to " + time.name +
                      ", which the archive does not hold");
  CheckReadyScripts(path, scripts, names, target);
  return {sums::FormatSums(list),
          reader.Info(),
          reader.EntriesEnd(),
          names.Find(package::script::kLongScriptName) != NameIndex::kNone,
          names.Find(package::times::kTimesName) != NameIndex::kNone,
          names.Find(package::expect::kEntryName) != NameIndex::kNone,
          std::move(kinds)};
}

} // namespace

void CheckImage(const PackageOutput &output) {
  CheckPeImage(output.stubPath);
  ManifestPayload(output.texts);
  if (!output.icon.empty()) {
    std::string image = ReadWholeFile(output.stubPath);
    PutIcon(image, output.icon);
  }
}

namespace {

void CheckLength(int64_t total) {
  if (total > kMaxPackage)
    throw ToolError("the package would be " + std::to_string(total) +
                    " bytes; it must stay below 2147483648 bytes (2 GiB)");
}

// The stored and x86 ranges of a compressed package from its entries'
// kinds: raw offsets, in order, none overlapping another (entries of an
// archive from elsewhere may share bytes: the first one keeps them).
// Every run refuses a longer manifest as damaged. Only a compressed
// archive's ranges grow with the files, some 14 bytes for each program file
// and each stored one.
void CheckManifestPayload(int64_t payloadLength) {
  if (payloadLength > package::kMaxManifestPayload)
    throw ToolError("the manifest would take " + std::to_string(payloadLength) +
                    " bytes, more than a run reads (" +
                    std::to_string(package::kMaxManifestPayload) +
                    "): the compressed archive declares a range for each "
                    "program file and each stored file, too many of them "
                    "here; --store carries the files as they are");
}

void ChooseRanges(const Checksums &sums, int64_t rawData,
                  package::StreamLayout &layout) {
  std::vector<EntryKind> kinds = sums.kinds;
  std::stable_sort(
      kinds.begin(), kinds.end(),
      [](const EntryKind &a, const EntryKind &b) { return a.first < b.first; });
  int64_t reached = 0;
  for (const EntryKind &kind : kinds) {
    const int64_t offset = rawData + kind.first - sums.info.dataStart;
    if ((!kind.x86 && !kind.store) || offset < reached)
      continue;
    (kind.x86 ? layout.x86 : layout.stored)
        .push_back(
            {static_cast<uint64_t>(offset), static_cast<uint64_t>(kind.size)});
    reached = offset + kind.size;
  }
}

} // namespace

void TakeCompressionOptions(const Args &args, PackageOutput &output) {
  output.compress = !args.Has("--store");
  if (!args.Has("--level"))
    return;
  const std::string &level = args.options.at("--level");
  if (args.Has("--store"))
    throw UsageError("--level goes with a compressed package, not --store");
  if (level.size() != 1 || level[0] < '0' || level[0] > '9')
    throw UsageError("--level needs a number from 0 to 9, not \"" + level +
                     "\"");
  output.level = level[0] - '0';
}

void RefuseOverwriting(const std::string &output, const std::string &input,
                       const std::string &what) {
  if (output == input || platform::fs::SameFile(output, input))
    throw ToolError("the output would overwrite the " + what + ": " + output);
}

void WritePackage(const std::string &archivePath, const PackageOutput &target) {
  const std::string &stubPath = target.stubPath;
  const std::string &outputPath = target.path;
  CheckPeImage(stubPath);
  RefuseOverwriting(outputPath, stubPath, "stub");
  RefuseOverwriting(outputPath, archivePath, "archive");
  // Opened once: checked, read for the checksums, then for the bytes,
  // whatever is put at its name meanwhile. The readings must find the same
  // bytes, and the package those of the file at the name (another pack may
  // put a new archive there meanwhile, or write this one).
  const OsFile archive(archivePath, platform::OpenMode::ReadOnly);
  const os::FileStamp stamp = os::StampOf(archive);
  CheckArchiveFile(archive);
  const Checksums sums = ChecksumsOf(archive, target);
  // Only a build that checks the installed product declares the expected
  // state; undeclared, the entry makes every run end as damaged.
  if (sums.expected && !target.texts.expect)
    throw ToolError(archivePath + " holds a " + package::expect::kEntryName +
                    " entry, which build writes itself with --expect");

  // The archive as it goes into the package: its header and entry texts,
  // the checksum entry's text, the closing 0x01, its data region as it is
  // (every range stays valid: ranges count from the data start) and the
  // checksum entry's bytes after it.
  std::string payload = ManifestPayload(target.texts);
  // Declared, so that a package that comes out without it is damaged.
  if (sums.longScript)
    package::AppendPair(payload, package::script::kLongScriptKey, "1");
  if (sums.times)
    package::AppendPair(payload, package::times::kTimesKey, "1");
  std::string image = ReadWholeFile(stubPath);
  // The icon first: its resources may move into the last section, where
  // the version resource that PutProperties fills is then found.
  if (!target.icon.empty())
    PutIcon(image, target.icon);
  PutProperties(image, target.texts);
  ClearCertificateEntry(image);
  CheckImageEnd(image, stubPath);
  const int64_t head = sums.entriesEnd - sums.info.first;
  const int64_t dataLength = sums.info.length - sums.info.dataStart + 1;
  const int64_t entryStart = dataLength + 1;
  const int64_t entryEnd = entryStart + static_cast<int64_t>(sums.text.size());
  const std::string entryText = std::string(package::sums::kEntryName) + "?" +
                                std::to_string(entryStart) + "?" +
                                std::to_string(entryEnd) + "\x02\x01";
  const std::vector<RawPiece> pieces = {
      {&archive, sums.info.first - 1, {}, head},
      {nullptr, 0, entryText, static_cast<int64_t>(entryText.size())},
      {&archive, sums.info.dataStart - 1, {}, dataLength},
      {nullptr, 0, sums.text, static_cast<int64_t>(sums.text.size())}};
  int64_t archiveLength = 0;
  for (const RawPiece &piece : pieces)
    archiveLength += piece.length;
  // The run's pack file holds the raw archive, so a compressed package keeps
  // the stored one's limit; checked before a long compression.
  CheckLength(static_cast<int64_t>(image.size()) + archiveLength +
              kTrailerSize);

  // A compressed package carries the stream and then the stored ranges in
  // place of the archive; the stream waits in a scratch file until the
  // manifest, which declares its length, is written before it.
  package::StreamLayout layout;
  std::unique_ptr<ScratchFolder> scratch;
  std::unique_ptr<OsFile> stream;
  if (target.compress) {
    ChooseRanges(sums, head + static_cast<int64_t>(entryText.size()), layout);
    // The ranges are known now, and the numbers not yet known take at
    // least a digit each: a tree with too many ranges is refused before a
    // long compression rather than after it.
    {
      package::StreamLayout least = layout;
      least.rawLength = archiveLength;
      std::string pairs = payload;
      package::AppendStreamLayout(pairs, least);
      CheckManifestPayload(static_cast<int64_t>(pairs.size()));
    }
    scratch = std::make_unique<ScratchFolder>("compress");
    stream = std::make_unique<OsFile>(*scratch / "stream",
                                      platform::OpenMode::CreateNew);
    // Ctrl-C cancels as it does while packing, and the scratch files go.
    InstalledConsole console;
    console.ui().CatchInterrupts();
    int shown = -1;
    CompressArchive(pieces, target.level, layout, *stream, *scratch / "part",
                    [&](int64_t done, int64_t whole) {
                      TakeCancel(console.ui());
                      const int percent =
                          whole > 0 ? static_cast<int>(done * 100 / whole) : 0;
                      if (percent != shown)
                        console.ui().SetToolLine("compressing " +
                                                 std::to_string(percent) + "%");
                      shown = percent;
                    });
    console.ui().ClearLine();
    package::AppendStreamLayout(payload, layout);
    archiveLength = layout.streamLength + layout.StoredLength();
  }
  // The manifest follows the image, where the run finds it from the
  // image's headers, and declares the package's length. Signing tools pad
  // the file to a multiple of 8 before their table: the package is one
  // already, so the trailer stays its last 4 bytes.
  int64_t filler = 0;
  const std::string manifest =
      package::EncodeManifestWithLength(payload, [&](int64_t bytes) {
        const int64_t before = static_cast<int64_t>(image.size()) + bytes +
                               archiveLength + kTrailerSize;
        filler = (8 - before % 8) % 8;
        return before + filler;
      });
  CheckManifestPayload(static_cast<int64_t>(manifest.size()) -
                       package::kManifestPayloadOffset);
  image += manifest;
  const auto stubLength = static_cast<int64_t>(image.size());
  CheckLength(stubLength + archiveLength + filler + kTrailerSize);

  // ArchiveStart: the 1-based position of the archive's first byte.
  const auto archiveStart = static_cast<int32_t>(stubLength + 1);
  uint8_t tail[8 + kTrailerSize] = {};
  const auto trailer = package::EncodeTrailer(archiveStart);
  std::copy(trailer.begin(), trailer.end(), tail + filler);

  AtomicOutput output(outputPath);
  {
    OsFile &file = output.File();
    int64_t at = 0;
    file.WriteAt(at, image.data(), image.size());
    at += stubLength;
    if (target.compress) {
      CopyBytes(*stream, 0, layout.streamLength, file, at);
      at += layout.streamLength;
      // Stored ranges lie in the data region, which the archive file holds
      // as it is.
      const int64_t rawData = head + static_cast<int64_t>(entryText.size());
      for (const codec::ByteRange &range : layout.stored) {
        const auto length = static_cast<int64_t>(range.length);
        CopyBytes(archive,
                  sums.info.dataStart - 1 + static_cast<int64_t>(range.offset) -
                      rawData,
                  length, file, at);
        at += length;
      }
    } else {
      for (const RawPiece &piece : pieces) {
        if (piece.file != nullptr)
          CopyBytes(*piece.file, piece.offset, piece.length, file, at);
        else
          file.WriteAt(at, piece.bytes.data(), piece.bytes.size());
        at += piece.length;
      }
    }
    file.WriteAt(at, tail, static_cast<size_t>(filler + kTrailerSize));
  }
  if (os::StampOf(archive) != stamp || os::IdOfPath(archivePath) != stamp.id)
    throw ToolError(archivePath + " changed while it was read");
  output.Commit();
}

} // namespace tools
