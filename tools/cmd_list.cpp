// updpack list ARCHIVE_OR_PACKAGE
#include <iostream>
#include <string>

#include "platform/error.h"
#include "tools/cli.h"
#include "tools/package_file.h"

namespace tools {

namespace {

int ListArchive(const std::string &path) {
  ArchiveReader reader(path);
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

} // namespace

int ListCommand(const std::vector<std::string> &arguments) {
  const Args args = ParseArgs(arguments, {});
  if (args.help)
    return ShowUsage("list");
  ExpectPositional(args, {"ARCHIVE_OR_PACKAGE"});
  CheckReadable(args.positional[0]);
  LocateReadableArchive(args.positional[0]);

  try {
    return ListArchive(args.positional[0]);
  } catch (const platform::Error &e) {
    // The engine's words say what is wrong, not in which file.
    throw ToolError(args.positional[0] + ": " + e.Description() + " (" +
                    std::to_string(e.Number()) + ")");
  }
}

} // namespace tools
