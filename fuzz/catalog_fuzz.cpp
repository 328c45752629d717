// Fuzz target: any bytes as an archive, read the way `updpack list` reads
// it: the header and catalog, then every entry's checked name and range.
// Reading ends with a result or a platform::Error, and what it returns keeps
// the promises the extraction builds on. The same bytes are then read as a
// package's manifest, which must stay inside them, and as the entry of the
// files' times, which reads whole or not at all.
#include <cstdint>
#include <string>

#include "archive/catalog.h"
#include "fuzz/harness.h"
#include "package/byte_source.h"
#include "package/damage.h"
#include "package/file_times.h"
#include "package/manifest.h"
#include "platform/error.h"
#include "platform/files.h"

namespace {

using fuzzing::Fail;

// Lists the archive under number as `updpack list` does; a platform::Error
// stops it.
void List(int16_t number, const uint8_t *data, size_t size) {
  const archive::CatalogInfo info = archive::ReadCatalogInfo(number);
  if (info.first != 1 || info.length != static_cast<int32_t>(size))
    Fail("the archive's bounds are not the file's");
  if (info.compression != data[5] || info.catalogStart != 8 ||
      info.catalogEnd < info.catalogStart ||
      info.dataStart != info.catalogEnd + 1 ||
      data[info.catalogEnd - 1] != archive::kCatalogMark)
    Fail("the header or the catalog's end is misplaced");

  archive::CatalogReader reader(number, info);
  archive::EntryParser parser;
  int32_t entries = 0;
  while (reader.Next(parser)) {
    if (++entries > info.catalogEnd - info.catalogStart)
      Fail("more entries than catalog bytes");
    const std::string name = archive::CheckedEntryName(parser);
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of(std::string("/\\\0", 3)) != std::string::npos)
      Fail("a name that leaves the target folder passed: " + name);
    const archive::EntryRange range = archive::CheckEntryRange(
        parser, name, info.dataStart, info.first, info.length);
    if (range.first <= range.last &&
        (range.first < info.first || range.last > info.length))
      Fail("a range outside the archive passed: " + name);
  }
}

// The bytes as a manifest at their start: an intact one lies inside them and
// is a list of pairs; any other has no payload.
void ReadManifest(const uint8_t *data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char *>(data), size);
  const package::Manifest found =
      package::ReadManifest(package::MemorySource(bytes), 0);
  const bool intact = found.state == package::ManifestState::Intact;
  if (intact && (found.End() > static_cast<int64_t>(size) ||
                 found.payload.size() != found.payloadLength ||
                 !package::ForEachPair(
                     found.payload, [](std::string_view, std::string_view) {})))
    Fail("an intact manifest outside the bytes or without pairs");
  if (!intact && !found.payload.empty())
    Fail("a manifest that is not intact has a payload");
}

// The bytes as a times entry: what reads is exactly what the writer
// makes of it; anything else is the damaged-package error.
void ReadTimes(const uint8_t *data, size_t size) {
  namespace times = package::times;
  const std::string_view bytes(reinterpret_cast<const char *>(data), size);
  try {
    const std::vector<times::EntryTime> list = times::ParseTimes(bytes);
    std::string again;
    if (!times::FormatTimes(list, again) || again != bytes)
      Fail("a times entry that reads is not what its writer makes");
  } catch (const platform::Error &e) {
    if (e.Number() != package::kErrPackageDamaged)
      Fail("a times entry fails other than as damaged");
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static fuzzing::Sandbox sandbox("catalog_fuzz");
  const std::string path = sandbox.Begin() + "/a.pack";
  fuzzing::WriteFile(path, {reinterpret_cast<const char *>(data), size});
  namespace files = platform::files;
  const int16_t number = files::FreeFile();
  files::Open(number, path, platform::OpenMode::ReadOnly);
  try {
    List(number, data, size);
  } catch (const platform::Error &) {
    // A rejected archive: the end `updpack list` reports.
  }
  ReadManifest(data, size);
  ReadTimes(data, size);
  sandbox.End();
  return 0;
}
