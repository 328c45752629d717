// updpack diff OLD_DIR NEW_DIR [-o TEXT] [--build PACKAGE.exe [--stub STUB]
// [--icon FILE.ico]]
#include <iostream>

#include "platform/fs.h"
#include "tools/atomic_output.h"
#include "tools/cli.h"
#include "tools/package_build.h"
#include "tools/stub.h"
#include "tools/tree_diff.h"

namespace tools {

int DiffCommand(const std::vector<std::string> &arguments) {
  const Args args = ParseArgs(arguments, {{"--output", true, "-o"},
                                          {"--build", true},
                                          {"--stub", true},
                                          {"--icon", true},
                                          kStoreOption,
                                          kLevelOption});
  if (args.help)
    return ShowUsage("diff");
  ExpectPositional(args, 2);
  for (const char *option : {"--stub", "--icon", "--store", "--level"})
    if (args.Has(option) && !args.Has("--build"))
      throw UsageError(std::string(option) + " goes with --build");
  const std::string oldDir = WithoutTrailingSeparators(args.positional[0]);
  const std::string newDir = WithoutTrailingSeparators(args.positional[1]);
  for (const std::string &folder : {oldDir, newDir})
    if (!platform::fs::FolderExists(folder))
      throw ToolError("folder does not exist: " + folder);

  // The stub and the icon first: a mistake there should not cost a
  // comparison.
  PackageOutput output;
  if (args.Has("--build")) {
    output.stubPath =
        ResolveStub(args.Has("--stub") ? args.options.at("--stub") : "");
    output.path = args.options.at("--build");
    TakeCompressionOptions(args, output);
  }
  if (args.Has("--icon"))
    output.icon = ReadIconFile(args.options.at("--icon"));
  if (args.Has("--build"))
    CheckImage(output);
  const TreeDiff diff = DiffTrees(oldDir, newDir);
  for (const std::string &skipped : diff.skipped)
    Warn("skipping " + skipped + ": only files and folders are compared");
  if (!diff.errors.empty()) {
    for (const std::string &error : diff.errors)
      std::cerr << "updpack: error: " << ConsoleUi::Printable(error) << "\n";
    throw ReportedFailure();
  }
  if (diff.operations == 0)
    Warn(oldDir + " and " + newDir +
         " hold the same files: the script "
         "does nothing");

  const std::string header = "# Turns an installed " + oldDir + " into " +
                             newDir +
                             "; written by updpack diff.\n"
                             "# Build it: updpack build --from " +
                             newDir + " --script THIS_FILE -o update.exe\n\n";
  const std::string text = header + diff.script;
  std::string textName = "<diff>";
  if (args.Has("--output")) {
    textName = args.options.at("--output");
    AtomicOutput output(textName);
    output.File().WriteAt(0, text.data(), text.size());
    output.Commit();
  } else if (!args.Has("--build")) {
    std::cout << text;
    std::cout.flush();
  }
  if (args.Has("--build"))
    BuildFromProduct(newDir, {textName, text}, output);
  return kExitOk;
}

} // namespace tools
