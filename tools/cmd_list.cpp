// updpack list ARCHIVE
#include <iostream>

#include "archive/catalog.h"
#include "platform/files.h"
#include "tools/cli.h"

namespace tools {

void CheckReadable(const std::string &path); // cmd_extract.cpp

int ListCommand(const std::vector<std::string> &arguments) {
  const Args args = ParseArgs(arguments, {});
  if (args.help)
    return ShowUsage("list");
  ExpectPositional(args, 1);
  const std::string &archivePath = args.positional[0];
  CheckReadable(archivePath);

  namespace files = platform::files;
  const int16_t number = files::FreeFile();
  files::Open(number, archivePath, platform::OpenMode::ReadOnly);
  struct Closer {
    ~Closer() { platform::files::CloseAllQuietly(); }
  } closer;

  // The same reader and checks as the extraction, so a catalog that lists
  // cleanly here extracts entry by entry, and one that fails here fails
  // there with the same number at the same entry.
  const archive::CatalogInfo info = archive::ReadCatalogInfo(number);
  std::cout << "compression: " << static_cast<int>(info.compression) << "\n"
            << "data start: " << info.dataStart << "\n";
  archive::CatalogReader reader(number, info);
  archive::EntryParser parser;
  while (reader.Next(parser)) {
    const std::string name = archive::CheckedEntryName(parser);
    const archive::EntryRange range = archive::CheckEntryRange(
        parser, name, info.dataStart, info.first, info.length);
    const int32_t start = parser.Start();
    const int32_t end = parser.End();
    const int64_t size =
        range.last >= range.first ? int64_t{range.last} - range.first + 1 : 0;
    std::cout << name << '\t' << start << '\t' << end << '\t' << size << "\n";
  }
  std::cout.flush();
  return kExitOk;
}

} // namespace tools
