// Argument parsing, the command table and the top-level error handling of
// updpack.
#include "tools/cli.h"

#include <cstdio>
#include <iostream>
#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/ui.h"

namespace tools {

namespace {

const char *kToolUsage = "usage: updpack <command> [arguments]\n"
                         "\n"
                         "Commands:\n";

const OptionSpec *FindSpec(const std::vector<OptionSpec> &specs,
                           const std::string &name) {
  for (const OptionSpec &spec : specs)
    if (name == spec.name || (spec.alias && name == spec.alias))
      return &spec;
  return nullptr;
}

void PrintToolUsage(std::ostream &out) {
  out << kToolUsage;
  for (const Command &command : Commands()) {
    std::string name = command.name;
    name.resize(10, ' ');
    out << "  " << name << command.summary << "\n";
  }
  out << "\n"
         "Run `updpack <command> --help` for a command's arguments.\n";
}

int TerminalColumns() {
  struct winsize size {};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
    return size.ws_col;
  return 80;
}

} // namespace

Args ParseArgs(const std::vector<std::string> &arguments,
               const std::vector<OptionSpec> &specs) {
  Args args;
  bool optionsEnded = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string &arg = arguments[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      args.positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      args.help = true;
      continue;
    }
    std::string name = arg;
    std::string value;
    bool hasValue = false;
    const size_t equals = arg.find('=');
    if (arg.compare(0, 2, "--") == 0 && equals != std::string::npos) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
      hasValue = true;
    }
    const OptionSpec *spec = FindSpec(specs, name);
    if (!spec)
      throw UsageError("unknown option " + name);
    if (spec->takesValue && !hasValue) {
      if (i + 1 >= arguments.size())
        throw UsageError("option " + name + " needs a value");
      value = arguments[++i];
    } else if (!spec->takesValue && hasValue) {
      throw UsageError("option " + name + " takes no value");
    }
    if (args.Has(spec->name))
      throw UsageError(std::string("option ") + spec->name +
                       " is given more than once");
    args.options[spec->name] = value;
  }
  return args;
}

void ExpectPositional(const Args &args, size_t count) {
  if (args.positional.size() < count)
    throw UsageError("missing arguments");
  if (args.positional.size() > count)
    throw UsageError("unexpected argument " + args.positional[count]);
}

const std::vector<Command> &Commands() {
  static const std::vector<Command> commands = {
      {"pack", "pack the files of a folder into a PACK1 archive",
       "usage: updpack pack FOLDER ARCHIVE [--compression N]\n"
       "\n"
       "Packs every ordinary file lying directly in FOLDER (no subfolders,\n"
       "no hidden files) into the archive ARCHIVE, which is replaced.\n"
       "  --compression N  method byte written in the header, 0 to 255\n"
       "                   (default 0; no method changes the data)\n",
       PackCommand},
      {"extract", "unpack a PACK1 archive into a folder",
       "usage: updpack extract ARCHIVE FOLDER\n"
       "\n"
       "Writes every entry of ARCHIVE into FOLDER, which must exist.\n"
       "Files of the same names are replaced.\n",
       ExtractCommand},
      {"list", "list the entries of a PACK1 archive",
       "usage: updpack list ARCHIVE\n"
       "\n"
       "Prints the data start, then one line per entry: name, start, end\n"
       "and size, separated by tabs. Positions are 1-based within the\n"
       "data region; end is exclusive.\n",
       ListCommand},
      {"build", "join a program image and an archive into a package",
       "usage: updpack build --stub STUB --archive ARCHIVE -o PACKAGE.exe\n"
       "\n"
       "Writes STUB, then ARCHIVE, then a 4-byte little-endian trailer\n"
       "holding the 1-based position of the archive's first byte.\n"
       "The package must stay below 2 GiB; PACKAGE must not be STUB or\n"
       "ARCHIVE.\n"
       "  --stub STUB        the program image\n"
       "  --archive ARCHIVE  the PACK1 archive\n"
       "  -o, --output PACKAGE.exe\n",
       BuildCommand},
      {"run", "carry out a package's update run on this machine",
       "usage: updpack run PACKAGE.exe [--yes]\n"
       "\n"
       "Runs the update as the package would: the folder of PACKAGE.exe is\n"
       "the program folder, TMP names the temporary folder's parent.\n"
       "Questions are asked on the terminal; Ctrl-C asks to abort.\n"
       "  --yes  answer Yes to the confirmation\n"
       "Exit status: 0 success, 1 critical error or failed extraction,\n"
       "2 declined at the confirmation, 3 aborted.\n",
       RunCommand},
  };
  return commands;
}

void Warn(const std::string &text) {
  std::cerr << "updpack: warning: " << ConsoleUi::Printable(text) << "\n";
}

int ShowUsage(const char *commandName) {
  for (const Command &command : Commands())
    if (std::string(commandName) == command.name)
      std::cout << command.usage;
  return kExitOk;
}

InstalledConsole::InstalledConsole(bool yesToConfirmation) {
  ConsoleUi::Options options;
  options.terminal = isatty(STDERR_FILENO) == 1;
  options.columns = options.terminal ? TerminalColumns() : 80;
  options.inputTerminal = isatty(STDIN_FILENO) == 1;
  options.yesToConfirmation = yesToConfirmation;
  ui_ = std::make_unique<ConsoleUi>(std::move(options));
  platform::SetUi(ui_.get());
}

InstalledConsole::~InstalledConsole() {
  platform::files::CloseAllQuietly();
  platform::SetUi(nullptr);
}

std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && (path.back() == '/' || path.back() == '\\'))
    path.pop_back();
  return path;
}

void RemoveQuietly(const std::string &path) {
  std::string native = path;
  for (char &c : native)
    if (c == '\\')
      c = '/'; // the separators the file layer accepts
  std::remove(native.c_str());
}

std::string ByteCount(int64_t bytes) {
  char text[32];
  if (bytes < 1024L * 1024)
    std::snprintf(text, sizeof text, "%.1f KB", bytes / 1024.0);
  else
    std::snprintf(text, sizeof text, "%.1f MB", bytes / (1024.0 * 1024.0));
  return text;
}

int RunTool(int argc, char **argv) {
  std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  if (arguments.empty()) {
    PrintToolUsage(std::cerr);
    return kExitUsage;
  }
  const std::string &name = arguments.front();
  if (name == "-h" || name == "--help" || name == "help") {
    if (name == "help" && arguments.size() == 2) {
      for (const Command &command : Commands())
        if (arguments[1] == command.name) {
          std::cout << command.usage;
          return kExitOk;
        }
    }
    PrintToolUsage(std::cout);
    return kExitOk;
  }
  const Command *command = nullptr;
  for (const Command &candidate : Commands())
    if (name == candidate.name)
      command = &candidate;
  if (!command) {
    std::cerr << "updpack: unknown command " << ConsoleUi::Printable(name)
              << "\n\n";
    PrintToolUsage(std::cerr);
    return kExitUsage;
  }
  arguments.erase(arguments.begin());
  try {
    return command->run(arguments);
  } catch (const UsageError &e) {
    std::cerr << "updpack " << command->name << ": "
              << ConsoleUi::Printable(e.what()) << "\n\n"
              << command->usage;
    return kExitUsage;
  } catch (const platform::ProgramEnded &ended) {
    return ended.exitCode;
  } catch (const platform::Error &e) {
    std::cerr << "updpack: " << ConsoleUi::Printable(e.Description()) << " ("
              << e.Number() << ")\n";
    return kExitFailed;
  } catch (const std::exception &e) {
    std::cerr << "updpack: " << ConsoleUi::Printable(e.what()) << "\n";
    return kExitFailed;
  }
}

} // namespace tools
