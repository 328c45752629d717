// Joining stub, archive and trailer.
#include "tools/package_writer.h"

#include <algorithm>
#include <vector>

#include "archive/catalog.h"
#include "package/checksums.h"
#include "package/crc32.h"
#include "package/long_records.h"
#include "package/manifest.h"
#include "package/trailer.h"
#include "platform/error.h"
#include "platform/fs.h"
#include "tools/atomic_output.h"
#include "tools/cli.h"
#include "tools/file_io.h"
#include "tools/name_index.h"
#include "tools/package_file.h"
#include "tools/program_icon.h"
#include "tools/stub.h"

namespace tools {

namespace {

// The package, trailer included, must stay below 2^31 bytes: every
// position in it is a 32-bit signed number.
constexpr int64_t kMaxPackage = (int64_t{1} << 31) - 1;
constexpr int64_t kTrailerSize = package::kTrailerSize;

void CheckArchiveFile(const std::string &path) {
  const ArchiveSpan span = LocateArchive(path);
  if (span.kind == FileKind::Package)
    throw ToolError(path + " is a package, not an archive");
  if (span.kind != FileKind::Archive)
    throw ToolError(path + " is not a PACK1 archive");
  try {
    CheckArchive(path);
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
struct Checksums {
  std::string text; // the entry's bytes
  archive::CatalogInfo info;
  int32_t entriesEnd = 0;
  bool longScript = false; // the archive holds the long script entry
};

Checksums ChecksumsOf(const std::string &path) {
  namespace sums = package::sums;
  ArchiveReader reader(path);
  std::vector<sums::Sum> list;
  NameIndex names;
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
    reader.ReadPieces(entry, [&](const uint8_t *bytes, size_t count) {
      sum.crc = package::Crc32(sum.crc, bytes, count);
    });
    names.Add(name, list.size());
    list.push_back(sum);
  }
  return {sums::FormatSums(list), reader.Info(), reader.EntriesEnd(),
          names.Find(package::script::kLongScriptName) != NameIndex::kNone};
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

void WritePackage(const std::string &archivePath, const PackageOutput &target) {
  const std::string &stubPath = target.stubPath;
  const std::string &outputPath = target.path;
  CheckPeImage(stubPath);
  if (platform::fs::SameFile(outputPath, stubPath))
    throw ToolError("the output would overwrite the stub: " + outputPath);
  if (platform::fs::SameFile(outputPath, archivePath))
    throw ToolError("the output would overwrite the archive: " + outputPath);
  CheckArchiveFile(archivePath);
  const Checksums sums = ChecksumsOf(archivePath);

  // The archive as it goes into the package: its header and entry texts,
  // the checksum entry's text, the closing 0x01, its data region as it is
  // (every range stays valid: ranges count from the data start) and the
  // checksum entry's bytes after it.
  std::string payload = ManifestPayload(target.texts);
  // Declared, so that a package that comes out without it is damaged.
  if (sums.longScript)
    package::AppendPair(payload, package::script::kLongScriptKey, "1");
  std::string image = ReadWholeFile(stubPath);
  // The icon first: its resources may move into the last section, where
  // the version resource that PutProperties fills is then found.
  if (!target.icon.empty())
    PutIcon(image, target.icon);
  PutProperties(image, target.texts);
  CheckImageEnd(image, stubPath);
  const OsFile archive(archivePath, platform::OpenMode::ReadOnly);
  const int64_t head = sums.entriesEnd - sums.info.first;
  const int64_t dataLength = sums.info.length - sums.info.dataStart + 1;
  const int64_t entryStart = dataLength + 1;
  const int64_t entryEnd = entryStart + static_cast<int64_t>(sums.text.size());
  const std::string entryText = std::string(package::sums::kEntryName) + "?" +
                                std::to_string(entryStart) + "?" +
                                std::to_string(entryEnd) + "\x02\x01";
  const int64_t archiveLength = head + static_cast<int64_t>(entryText.size()) +
                                dataLength +
                                static_cast<int64_t>(sums.text.size());
  // The manifest follows the image, where the run finds it from the
  // image's headers, and declares the package's length. Signing tools pad
  // the file to a multiple of 8 before their table: the package is one
  // already, so the trailer stays its last 4 bytes.
  int64_t filler = 0;
  image += package::EncodeManifestWithLength(payload, [&](int64_t manifest) {
    const int64_t before = static_cast<int64_t>(image.size()) + manifest +
                           archiveLength + kTrailerSize;
    filler = (8 - before % 8) % 8;
    return before + filler;
  });
  const auto stubLength = static_cast<int64_t>(image.size());
  const int64_t total = stubLength + archiveLength + filler + kTrailerSize;
  if (total > kMaxPackage)
    throw ToolError("the package would be " + std::to_string(total) +
                    " bytes; it must stay below 2147483648 bytes (2 GiB)");

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
    CopyBytes(archive, sums.info.first - 1, head, file, at);
    at += head;
    file.WriteAt(at, entryText.data(), entryText.size());
    at += static_cast<int64_t>(entryText.size());
    CopyBytes(archive, sums.info.dataStart - 1, dataLength, file, at);
    at += dataLength;
    file.WriteAt(at, sums.text.data(), sums.text.size());
    at += static_cast<int64_t>(sums.text.size());
    file.WriteAt(at, tail, static_cast<size_t>(filler + kTrailerSize));
  }
  output.Commit();
}

} // namespace tools
