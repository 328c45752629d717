// updpack diff OLD_DIR NEW_DIR [-o TEXT] [--build PACKAGE.exe [every package
// option of build]]
#include <iostream>

#include "platform/fs.h"
#include "tools/atomic_output.h"
#include "tools/build_options.h"
#include "tools/cli.h"
#include "tools/entry_names.h"
#include "tools/file_io.h"
#include "tools/folder_outputs.h"
#include "tools/package_build.h"
#include "tools/stub.h"
#include "tools/tree_diff.h"

namespace tools {

namespace {

// The path as one word of a POSIX shell's command line: in single quotes
// unless it holds only characters that need none.
std::string ShellWord(const std::string &path) {
  if (path.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS"
                             "TUVWXYZ0123456789_./,:+=@%-") ==
      std::string::npos)
    return path;
  std::string word = "'";
  for (const char c : path)
    word += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return word + "'";
}

} // namespace

int DiffCommand(const std::vector<std::string> &arguments) {
  std::vector<OptionSpec> specs = {{"--output", true, "-o"}, {"--build", true}};
  specs.insert(specs.end(), PackageOptions().begin(), PackageOptions().end());
  const Args args = ParseArgs(arguments, specs);
  if (args.help)
    return ShowUsage("diff");
  ExpectPositional(args, {"OLD_DIR", "NEW_DIR"});
  for (const OptionSpec &option : PackageOptions())
    if (args.Has(option.name) && !args.Has("--build"))
      throw UsageError(std::string(option.name) + " goes with --build");
  const std::string oldDir = WithoutTrailingSeparators(args.positional[0]);
  const std::string newDir = WithoutTrailingSeparators(args.positional[1]);
  for (const std::string &folder : {oldDir, newDir})
    if (!platform::fs::FolderExists(folder))
      throw ToolError("folder does not exist: " + folder);

  // The package's options first: a mistake there should not cost a
  // comparison.
  if (args.Has("--output") && args.Has("--build"))
    RefuseOverwriting(args.options.at("--build"), args.options.at("--output"),
                      "script written with -o");
  for (const char *option : {"--output", "--build"})
    if (args.Has(option)) {
      CheckOutputPath(args.options.at(option));
      for (const std::string &folder : {oldDir, newDir})
        RefuseOverFolderFile(args.options.at(option),
                             option == std::string("--build")
                                 ? OutputKind::Package
                                 : OutputKind::DiffScript,
                             folder, "product file");
    }
  PackageOutput output;
  if (args.Has("--build"))
    output = PackageOutputOf(args, args.options.at("--build"));
  // What this command writes is no product file, wherever it goes.
  std::vector<std::string> outputs;
  for (const char *option : {"--build", "--output"})
    if (args.Has(option))
      outputs.push_back(args.options.at(option));
  const TreeDiff diff =
      DiffTrees(oldDir, newDir, output.texts.codePage, outputs);
  for (const std::string &skipped : diff.skipped)
    Warn("skipping " + skipped + ": only files and folders are compared");
  for (const std::string &path : diff.decomposed)
    Warn(DecomposedNameWarning(path));
  if (!diff.errors.empty()) {
    for (const std::string &error : diff.errors)
      std::cerr << "updpack: error: " << ConsoleUi::Printable(error) << "\n";
    throw ReportedFailure();
  }
  if (diff.operations == 0)
    Warn(oldDir + " and " + newDir +
         " hold the same files: the script "
         "does nothing");

  const std::string header = kDiffScriptHeader + oldDir + " into " + newDir +
                             "; written by updpack diff.\n"
                             "# Build it: updpack build --from " +
                             ShellWord(newDir) +
                             " --script THIS_FILE --expect " +
                             ShellWord(oldDir) + " -o update.exe\n\n";
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
    BuildFromProduct(newDir, {textName, text}, output, &oldDir);
  return kExitOk;
}

} // namespace tools
