// updpack list ARCHIVE_OR_PACKAGE
#include <iostream>

#include "tools/cli.h"
#include "tools/package_file.h"

namespace tools {

int ListCommand(const std::vector<std::string> &arguments) {
  const Args args = ParseArgs(arguments, {});
  if (args.help)
    return ShowUsage("list");
  ExpectPositional(args, 1);
  CheckReadable(args.positional[0]);

  ArchiveReader reader(args.positional[0]);
  if (reader.span().kind == FileKind::Package)
    std::cout << "archive start: " << reader.span().first << "\n";
  std::cout << "compression: " << static_cast<int>(reader.Compression()) << "\n"
            << "data start: " << reader.DataStart() << "\n";
  ListedEntry entry;
  while (reader.Next(entry))
    std::cout << ConsoleUi::Printable(entry.name) << '\t' << entry.start << '\t'
              << entry.end << '\t' << entry.size << "\n";
  std::cout.flush();
  return kExitOk;
}

} // namespace tools
