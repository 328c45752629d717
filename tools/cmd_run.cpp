// updpack run PACKAGE.exe [--yes]: the package's update run, carried out
// here with the console as its window system.
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>

#include "package/manifest.h"
#include "package/pe_image.h"
#include "platform/env.h"
#include "platform/fs.h"
#include "platform/posix/posix_error.h"
#include "platform/run_lock.h"
#include "platform/ui.h"
#include "run/mdl_main.h"
#include "run/unattended.h"
#include "tools/cli.h"
#include "tools/file_io.h"
#include "tools/package_file.h"
#include "tools/script_paths.h"
#include "tools/temp_copies.h"

namespace tools {

namespace {

bool EndsWithExe(const std::string &path) {
  const size_t slash = path.find_last_of("/\\");
  const std::string name =
      slash == std::string::npos ? path : path.substr(slash + 1);
  // As Windows takes it: any case of ".exe".
  return name.size() > 4 && platform::fs::CompareNamesNoCase(
                                name.substr(name.size() - 4), ".exe") == 0;
}

// The name the run reads its package by: the file's base name and ".exe",
// in the same folder.
std::string BaseNameExe(const std::string &path) {
  const size_t slash = path.find_last_of("/\\");
  const std::string folder =
      slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  return folder + platform::BaseNameOf(path) + ".exe";
}

// Windows starts no program image that the file holds only in part: its
// loader maps every section's raw data, read in whole 512-byte sectors (as
// Wine's does), and a file cut inside its headers is no program at all. A
// package cut so never runs, and its run here ends as it ends there, before
// anything is asked or made. A file that is no PE image at all (no "MZ")
// is left to the run, as the tests' own packages are.
void RefuseUnstartable(const std::string &path) {
  const OsFile file(path, platform::OpenMode::ReadOnly);
  const OsFileSource source(file);
  uint8_t magic[2] = {};
  if (!source.Read(0, magic, sizeof magic) || magic[0] != 'M' ||
      magic[1] != 'Z')
    return;
  constexpr int64_t kSector = 512;
  const int64_t held = (source.Size() + kSector - 1) / kSector * kSector;
  const std::optional<int64_t> end = package::pe::ReadImageHeaders(source).end;
  if (!end)
    throw ToolError(path + ": Windows does not start it: its program image's "
                           "headers are cut short or damaged");
  if (held < *end)
    throw ToolError(path +
                    ": Windows does not start it: its program image "
                    "ends at byte " +
                    std::to_string(*end) + ", the file holds " +
                    std::to_string(source.Size()));
}

} // namespace

int RunCommand(const std::vector<std::string> &arguments) {
  const Args args = ParseArgs(arguments, {{"--yes", false},
                                          {"--silent", false},
                                          {"--log", true},
                                          {"--target", true}});
  if (args.help)
    return ShowUsage("run");
  ExpectPositional(args, {"PACKAGE.exe"});
  const std::string &package = args.positional[0];
  CheckReadable(package);
  RefuseUnstartable(package);
  // The run opens its own executable as <folder>/<base name>.exe, as the
  // Windows program started under another name does: that file, if any, is
  // the package, and without one the run ends with its critical error.
  const bool exe = EndsWithExe(package);
  const std::string read = exe ? package : BaseNameExe(package);
  if (!exe)
    Warn(package + " does not end in .exe: its run reads the package as " +
         read + ", as the Windows program would");
  // The run reads only TMP; on Linux it is seldom set, and an empty one
  // would put the temporary folder at the root.
  if (platform::GetEnv("TMP").empty()) {
    std::string tmp = platform::GetEnv("TMPDIR");
    if (tmp.empty())
      tmp = "/tmp";
    setenv("TMP", WithoutTrailingSeparators(tmp).c_str(), 1);
  }

  // Paths outside the program's and the temporary folder, and records every
  // run fails at, before the question that lets them run (the user may want
  // to see the failure). A package that does not read says so in its run.
  try {
    // It carries a manifest, intact or damaged.
    const bool ours =
        package::FindManifest(
            OsFileSource(OsFile(read, platform::OpenMode::ReadOnly)))
            .state != package::ManifestState::Absent;
    // A package of the base format takes no switch: it installs into its
    // own folder, asking, whatever was asked here.
    if ((args.Has("--silent") || args.Has("--log") || args.Has("--target")) &&
        !ours)
      Warn(read + " carries no manifest: its run heeds none of --silent, "
                  "--log and --target, and works in its own folder");
    const ScriptEntries entries = ScriptEntriesOf(read);
    // Numbered as the run counts them, on through the long script; and,
    // in the same walk, those the records before them make fail.
    size_t before = 0;
    TempCopies laid;
    for (const auto &[script, form] : entries.InRunOrder())
      if (*script) {
        for (const std::string &warning :
             ScriptWarnings(**script, form, ours, before))
          Warn(warning);
        before += package::script::ForEachRecord(
                      **script, form,
                      [&](const package::script::Record &record) {
                        laid.Lay(record, ours);
                      })
                      .records;
      }
    for (const std::string &line : LaidFaultLines(laid.Faults()))
      Warn(line);
  } catch (const std::exception &) {
  }

  platform::SetProgramPath(package);
  // The program's switches, from the options that stand for them.
  mdl_main::Switches switches;
  switches.silent = args.Has("--silent");
  if (args.Has("--log"))
    switches.logFile = args.options.at("--log");
  if (args.Has("--target"))
    switches.folder = args.options.at("--target");
  mdl_main::SetSwitches(std::move(switches));
  InstalledConsole console(args.Has("--yes"));
  // The run's failures end in the system's text, as the Windows program's
  // do; the tool's own above keep strerror's.
  platform::posix::WordErrorsAsWindows();
  try {
    mdl_main::Main();
  } catch (const platform::ProgramEnded &ended) {
    // The run is over: its lock file goes, as the Windows program's mutex
    // goes with its process.
    platform::ReleaseRunLocks();
    return ended.exitCode;
  }
}

} // namespace tools
