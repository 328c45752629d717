// Fuzz target: any bytes as an archive, read the way `updpack list` reads
// it: the header and catalog, then every entry's checked name and range.
// Reading ends with a result or a platform::Error, and what it returns keeps
// the promises the extraction builds on.
#include <cstdint>
#include <string>

#include "archive/catalog.h"
#include "fuzz/harness.h"
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
  sandbox.End();
  return 0;
}
