// updpack list ARCHIVE_OR_PACKAGE
#include <iostream>

#include "tools/cli.h"
#include "tools/package_file.h"

namespace tools {

int ListCommand(const std::vector<std::string> &arguments) {
  const Args args = ParseArgs(arguments, {});
  if (args.help)
    return ShowUsage("list");
  ExpectPositional(args, {"ARCHIVE_OR_PACKAGE"});
  CheckReadable(args.positional[0]);
  LocateReadableArchive(args.positional[0]);

  ArchiveReader reader(args.positional[0]);
  const ArchiveSpan &span = reader.span();
  if (span.kind != FileKind::Other && span.kind != FileKind::Archive)
    std::cout << "archive start: " << span.first << "\n";
  if (span.kind == FileKind::Compressed)
    std::cout << "compressed: " << span.layout.streamLength << " bytes ("
              << span.layout.StoredLength() << " stored) of "
              << span.layout.rawLength << "\n";
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
