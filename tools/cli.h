// The command-line frame of updpack: commands, their arguments, usage
// errors, exit statuses and the console backend set up for a command.
#pragma once

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/fs.h"
#include "tools/console_ui.h"

namespace tools {

// Exit statuses of the tool's own commands (`run` uses platform::exitcode).
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 64;

// A command line that does not fit the command: the usage is printed and
// the tool exits with kExitUsage.
class UsageError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// A failure found by the tool itself, without an error number.
class ToolError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// A failure whose messages are printed already (compile errors): the tool
// exits with kExitFailed and prints nothing more.
class ReportedFailure : public std::exception {};

// The options a command accepts: long names ("--stub") or short ones ("-o").
struct OptionSpec {
  const char *name;
  bool takesValue;
  const char *alias = nullptr; // another spelling of the same option
  bool repeatable = false;     // may be given again, each value kept
};

struct Args {
  std::vector<std::string> positional;
  std::map<std::string, std::string> options; // by the option's main name
  // Every value of a repeatable option, in order; options holds the last.
  std::map<std::string, std::vector<std::string>> repeated;
  bool help = false; // -h or --help was given

  bool Has(const std::string &name) const { return options.count(name) != 0; }
  std::vector<std::string> All(const std::string &name) const {
    const auto found = repeated.find(name);
    return found == repeated.end() ? std::vector<std::string>() : found->second;
  }
};

// Splits a command's arguments. "--name=value" and "--name value" both work;
// "--" ends the options. Raises UsageError for an unknown option, a missing
// value or an option given twice.
Args ParseArgs(const std::vector<std::string> &arguments,
               const std::vector<OptionSpec> &specs);
// Raises UsageError unless exactly the positional arguments named (as the
// usage names them) were given; the error names those missing or the
// first one too many.
void ExpectPositional(const Args &args, const std::vector<const char *> &names);

struct Command {
  const char *name;
  const char *summary;
  std::string usage; // the full usage text, ending with a newline
  int (*run)(const std::vector<std::string> &arguments);
};

const std::vector<Command> &Commands();
// Prints a command's usage on stdout (its --help) and returns kExitOk.
int ShowUsage(const char *commandName);

// Prints "updpack: warning: " and text on stderr; the command goes on.
void Warn(const std::string &text);

// The commands; each returns the exit status or raises.
int PackCommand(const std::vector<std::string> &arguments);
int ExtractCommand(const std::vector<std::string> &arguments);
int ListCommand(const std::vector<std::string> &arguments);
int BuildCommand(const std::vector<std::string> &arguments);
int RunCommand(const std::vector<std::string> &arguments);
int VerifyCommand(const std::vector<std::string> &arguments);
int ScriptCommand(const std::vector<std::string> &arguments);
int DiffCommand(const std::vector<std::string> &arguments);

// Console backend for a command, installed as the UI backend for its
// lifetime, on stderr; the terminal is detected.
class InstalledConsole {
public:
  explicit InstalledConsole(bool yesToConfirmation = false);
  ~InstalledConsole();
  ConsoleUi &ui() { return *ui_; }

private:
  std::unique_ptr<ConsoleUi> ui_;
};

// Path without trailing separators ("dir/" -> "dir"; "/" stays): the file
// layer's one rule.
using platform::fs::WithoutTrailingSeparators;
// Raises the platform's error (with its number) when the file cannot be
// opened for reading, and ToolError for a folder.
void CheckReadable(const std::string &path);
// Human-readable byte count ("12.3 MB").
std::string ByteCount(int64_t bytes);

// Runs the tool; returns the process's exit status.
int RunTool(int argc, char **argv);

} // namespace tools
