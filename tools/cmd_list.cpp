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
    archive::CatalogEntry entry;
    const std::string name = archive::RemoveReservedChars(parser.Name());
    archive::CheckEntryName(name);
    entry.name = name;
    entry.end = parser.End();
    entry.start = parser.Start();
    archive::CheckEntryRange(entry, info.dataStart, info.length);
    const int64_t size =
        entry.end > entry.start ? int64_t{entry.end} - entry.start : 0;
    std::cout << name << '\t' << entry.start << '\t' << entry.end << '\t'
              << size << "\n";
  }
  std::cout.flush();
  return kExitOk;
}

} // namespace tools
