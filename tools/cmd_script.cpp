// updpack script compile TEXT SCRIPT | updpack script show FILE: install
// scripts between their text form and their binary records.
#include <iostream>

#include "package/long_records.h"
#include "package/pe_image.h"
#include "package/script_record.h"
#include "platform/fs.h"
#include "tools/atomic_output.h"
#include "tools/cli.h"
#include "tools/file_io.h"
#include "tools/package_file.h"
#include "tools/script_compiler.h"
#include "tools/script_printer.h"
#include "tools/staging.h"

namespace tools {

namespace {

int Compile(const Args &args) {
  ExpectPositional(args, {"compile", "SCRIPT.txt", "SCRIPT"});
  const std::string &textPath = args.positional[1];
  const std::string &scriptPath = args.positional[2];
  const std::string text = ReadWholeFile(textPath);
  const script_text::CompiledScript compiled =
      script_text::CompileScript(text, script_text::Installs::Refused);
  if (!compiled.errors.empty()) {
    PrintDiagnostics(std::cerr, textPath, text, compiled.errors);
    return kExitFailed;
  }
  if (platform::fs::SameFile(textPath, scriptPath))
    throw ToolError("the script would overwrite its text: " + scriptPath);
  AtomicOutput output(scriptPath);
  const std::string bytes = script_text::ScriptBytes(compiled);
  output.File().WriteAt(0, bytes.data(), bytes.size());
  output.Commit();
  return kExitOk;
}

int Show(const Args &args) {
  ExpectPositional(args, {"show", "SCRIPT_OR_PACKAGE"});
  const std::string &path = args.positional[1];
  CheckReadable(path);
  const bool raw =
      args.Has("--raw") || LocateArchive(path).kind == FileKind::Other;
  // A program image whose archive cannot be found is a package cut short or
  // damaged: its bytes are no script.
  if (raw && !args.Has("--raw") &&
      package::pe::ReadImageHeaders(
          OsFileSource(OsFile(path, platform::OpenMode::ReadOnly)))
          .end)
    throw ToolError(path + " is a program image whose archive its trailer "
                           "does not lead to: a damaged or incomplete "
                           "package (--raw shows its bytes as a script)");
  if (raw) {
    const std::string bytes = ReadWholeFile(path);
    script_text::ShowScript(bytes, package::script::FormOfBytes(bytes),
                            std::cout);
  } else {
    // The records of "script", then those of the long script entry, as the
    // run carries them out.
    const ScriptEntries entries = ScriptEntriesOf(path);
    if (!entries.records && !entries.longRecords)
      throw ToolError(path + " holds no script entry");
    for (const auto &[entry, form] : entries.InRunOrder())
      if (*entry && !(*entry)->empty())
        script_text::ShowScript(**entry, form, std::cout);
  }
  std::cout.flush();
  return kExitOk;
}

} // namespace

int ScriptCommand(const std::vector<std::string> &arguments) {
  const Args args = ParseArgs(arguments, {{"--raw", false}});
  if (args.help)
    return ShowUsage("script");
  if (args.positional.empty())
    throw UsageError("missing compile or show");
  const std::string &action = args.positional[0];
  if (args.Has("--raw") && action != "show")
    throw UsageError("--raw goes with show");
  if (action == "compile")
    return Compile(args);
  if (action == "show")
    return Show(args);
  throw UsageError("unknown action " + action + "; expected compile or show");
}

} // namespace tools
