// Argument parsing, the command table and the top-level error handling of
// updpack.
#include "tools/cli.h"

#include "tools/build_options.h"
#include "tools/image_texts.h"

#include <cstdio>
#include <iostream>
#include <sys/ioctl.h>
#include <unistd.h>

#include "package/texts.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/fs.h"
#include "platform/messages.h"
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
         "Run `updpack help <command>` for a command's arguments,\n"
         "`updpack --version` for the version. `--` ends a command's\n"
         "options: `updpack list -- -x.pack`.\n"
         "Exit status: 0 success, 1 failure, 64 usage error (`run` has its\n"
         "own, see `updpack help run`). Warnings go to stderr.\n";
}

int TerminalColumns() {
  struct winsize size {};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
    return size.ws_col;
  return 80;
}

// Options whose value is a path on this machine.
bool TakesPath(std::string_view option) {
  for (const char *name :
       {"--archive", "--build", "--expect", "--from", "--icon", "--log",
        "--output", "--payload", "--script", "--stub", "--target", "--texts"})
    if (option == name)
      return true;
  return false;
}

// The file layer reads every path as Windows does: "\\" separates names,
// and the dots and blanks that end a name are dropped. A path of this
// machine that holds either would name another file or folder (one that a
// link there may lead elsewhere), so it is refused rather than misread; so
// is one with a name Windows never opens (a control character, one of
// < > " | ? *), which the file layer refuses as a bad file name.
void CheckHostPath(const std::string &path) {
  // Taken as the current folder (run --target) or as no name at all.
  if (path.empty())
    throw UsageError("an empty path names no file or folder");
  bool misread = path.find('\\') != std::string::npos ||
                 platform::fs::HoldsRefusedCharacter(path);
  for (size_t begin = 0; begin <= path.size() && !misread;) {
    const size_t end = std::min(path.find('/', begin), path.size());
    const std::string_view name(path.data() + begin, end - begin);
    misread = name != "." && name != ".." &&
              (name.ends_with('.') || name.ends_with(' '));
    begin = end + 1;
  }
  if (misread)
    throw UsageError("cannot take the path " + path +
                     " as written: a backslash, or a name that ends in a "
                     "dot or a blank, means another path on Windows, and a "
                     "control character or one of < > \" | ? * none");
}

// Every command takes -h and --help.
std::vector<Command> WithHelpOption(std::vector<Command> commands) {
  for (Command &command : commands)
    command.usage += "  -h, --help   print this help\n";
  return commands;
}

} // namespace

Args ParseArgs(const std::vector<std::string> &arguments,
               const std::vector<OptionSpec> &specs) {
  Args args;
  bool optionsEnded = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string &arg = arguments[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      CheckHostPath(arg);
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
    // "-o=FILE": a short option takes its value as the next argument.
    if (!spec && equals != std::string::npos &&
        FindSpec(specs, arg.substr(0, equals)))
      throw UsageError("option " + arg.substr(0, equals) +
                       " takes its value as the next argument, not after =");
    if (!spec)
      throw UsageError("unknown option " + name);
    if (spec->takesValue && !hasValue) {
      if (i + 1 >= arguments.size())
        throw UsageError("option " + name + " needs a value");
      value = arguments[++i];
    } else if (!spec->takesValue && hasValue) {
      throw UsageError("option " + name + " takes no value");
    }
    if (TakesPath(spec->name))
      CheckHostPath(value);
    if (args.Has(spec->name) && !spec->repeatable)
      throw UsageError(std::string("option ") + spec->name +
                       " is given more than once");
    args.options[spec->name] = value;
    if (spec->repeatable)
      args.repeated[spec->name].push_back(value);
  }
  return args;
}

void ExpectPositional(const Args &args,
                      const std::vector<const char *> &names) {
  const size_t count = names.size();
  if (args.positional.size() > count)
    throw UsageError("unexpected argument " + args.positional[count]);
  if (args.positional.size() == count)
    return;
  std::string missing;
  for (size_t k = args.positional.size(); k < count; ++k)
    missing += std::string(" ") + names[k];
  throw UsageError((count - args.positional.size() > 1 ? "missing arguments"
                                                       : "missing argument") +
                   missing);
}

const std::vector<Command> &Commands() {
  static const std::vector<Command> commands = WithHelpOption({
      {"diff", "write the script that turns one version into another",
       "usage: updpack diff OLD_DIR NEW_DIR [-o SCRIPT.txt]\n"
       "                    [--build PACKAGE.exe [OPTION]...]\n"
       "\n"
       "Compares the two folder trees and writes the text install script\n"
       "that turns an installed OLD_DIR into NEW_DIR: rmdir for each topmost\n"
       "folder gone, delete for each other file gone, mkdir for each new\n"
       "folder, install for each file new or changed. Paths are relative to\n"
       "{app}, of any length (a target above 48 bytes goes into the long\n"
       "script entry when built). Names no single Windows code page holds\n"
       "and two names of a folder that Windows would take for one file are\n"
       "errors. A name changed only in case is the same file or folder.\n"
       "Without -o and --build the script goes to stdout.\n"
       "  -o, --output SCRIPT.txt  write the script there\n"
       "  --build PACKAGE.exe      also build the package, as\n"
       "                           `updpack build --from NEW_DIR` does,\n"
       "                           with any of build's options for the\n"
       "                           package:\n" +
           PackageOptionsHelp(),
       DiffCommand},
      {"build", "make an update package",
       "usage: updpack build --from PRODUCT_DIR --script SCRIPT.txt -o "
       "PACKAGE.exe\n"
       "                     [--expect OLD_DIR]\n"
       "       updpack build --payload PAYLOAD_DIR [--script SCRIPT.txt] -o "
       "PACKAGE.exe\n"
       "                     [--exclude PATTERN]... [--unchecked]\n"
       "       updpack build --archive ARCHIVE -o PACKAGE.exe [--unchecked]\n"
       "       (each with [--stub STUB] [--icon FILE.ico] [--store | --level "
       "N])\n"
       "\n"
       "Writes the program image, the package's manifest (its texts, product,\n"
       "version and length), a PACK1 archive and a 4-byte little-endian\n"
       "trailer holding the 1-based position of the archive's first byte.\n"
       "The stub must end where its image's headers say the image ends.\n"
       "With --from, the archive holds exactly the files that the script's\n"
       "install lines name, each under a short entry name, and the compiled\n"
       "script; a product file must be a regular file inside PRODUCT_DIR,\n"
       "reached through no link. With --payload, it holds the files of\n"
       "PAYLOAD_DIR as `updpack pack` takes them (--exclude as there), and\n"
       "the compiled script when one is given. With --archive, it is\n"
       "ARCHIVE, which must parse. Two entries that Windows would take for\n"
       "one file (names equal but for case, or one shaped like the other's\n"
       "short name, NAME~N.EXT) are refused, and so are the script's\n"
       "records that every run would fail at: one naming a file or folder\n"
       "the run keeps for itself (~updpack.new, ~updpack.bak,\n"
       "~updpack.del), a copy or mkdir whose new name Windows refuses (a\n"
       "device's name such as CON or NUL.txt, a character of <>:\"|?*) or\n"
       "whose path holds a name longer than the 255 characters Windows\n"
       "makes one, a record whose path Windows takes from no folder\n"
       "(past 32,767 UTF-16 units as \\\\?\\C:\\..., whatever folders the\n"
       "run is given), a copy out of {temp} of a file that neither an\n"
       "entry nor a copy before it gives, and every other record\n"
       "that `updpack verify` would fault in the package (a copy from an\n"
       "empty path or from {temp} or {app} itself, onto either, or onto\n"
       "its own source; an rmdir of {temp}; a copy of a file a record\n"
       "before deletes, a copy or mkdir below a file one copies), each\n"
       "fault of a record named: a compiled script's at its line and\n"
       "column, a ready script's (the script entries of ARCHIVE, or the\n"
       "files script and ~updpack.scr of PAYLOAD_DIR) by the record's\n"
       "number, in verify's words. A record whose run depends on the\n"
       "machine (a path outside {app} and {temp}) is warned of.\n"
       "Every package gets a checksum\n"
       "entry, ~updpack.sum (the length and CRC-32 of every other entry,\n"
       "checked by the run before the script), and is padded to a multiple\n"
       "of 8 bytes for signing tools. The package must stay below 2 GiB; it\n"
       "is put into place only once complete.\n"
       "  -o, --output PACKAGE.exe\n"
       "  --expect OLD_DIR  (with --from) the installed version the update\n"
       "               is for: the package checks, before it changes\n"
       "               anything, that every path its script works on holds\n"
       "               what OLD_DIR holds there (its entry ~updpack.exp)\n"
       "  --unchecked  (with --archive, or --payload without --script) build\n"
       "               even where the ready script has records verify\n"
       "               faults, each printed as a warning: a package made\n"
       "               to fail, for a test of how its run fails\n" +
           PackageOptionsHelp(),
       BuildCommand},
      {"script", "compile a text install script, or show a binary one",
       "usage: updpack script compile SCRIPT.txt SCRIPT\n"
       "       updpack script show [--raw] SCRIPT_OR_PACKAGE\n"
       "\n"
       "compile writes the 65-byte records of a text script; show prints a\n"
       "binary script, or the script entry of an archive or package, in\n"
       "the text form (--raw: take the file as a script whatever it holds).\n"
       "\n"
       "The text form: one operation a line; '#' at the start of a word\n"
       "begins a comment. A path with blanks goes in double quotes.\n"
       "  mkdir   {app}\\data            create a folder (code 2)\n"
       "  copy    {temp}\\a.exe  {app}\\a.exe\n"
       "                                 copy a file (code 0)\n"
       "  delete  {app}\\*.tmp           delete files (code 1)\n"
       "  rmdir   {app}\\cache           delete a folder (code 3)\n"
       "  op N    SOURCE  TARGET        any code 0-255\n"
       "  install FILE  TARGET          a product file (build --from only)\n"
       "{temp} is the temporary folder (byte 0x00), {app} the program's\n"
       "folder (0x01); {0xNN} writes any byte and makes its field byte for\n"
       "byte. A source holds 16 bytes, a target 48, in Windows-1251 (a\n"
       "package's script: in the code page its manifest declares).\n",
       ScriptCommand},
      {"pack", "pack the files of a folder into a PACK1 archive",
       "usage: updpack pack FOLDER ARCHIVE [--compression N]\n"
       "                    [--exclude PATTERN]...\n"
       "\n"
       "Packs every ordinary file lying directly in FOLDER, dot-files\n"
       "included, into the archive ARCHIVE, which is replaced once\n"
       "complete. Subfolders, links, special files and names that end in a\n"
       "dot or a blank are skipped with a warning. A FOLDER that does not\n"
       "exist gives the empty archive, with a warning. A name the archive\n"
       "cannot hold (a character outside the code page, a control\n"
       "character, a device name such as con, or ?) fails the packing,\n"
       "naming it, and nothing is written.\n"
       "  --compression N    method byte written in the header, 0 to 255\n"
       "                     (default 0; no method changes the data)\n"
       "  --exclude PATTERN  skip (with a warning) what matches PATTERN,\n"
       "                     * and ? without regard to case; repeatable\n",
       PackCommand},
      {"list", "list the entries of an archive or package",
       "usage: updpack list ARCHIVE_OR_PACKAGE\n"
       "\n"
       "Prints the archive's compression byte and data start, then one\n"
       "line per entry: name, start, end and size, separated by tabs.\n"
       "Positions are 1-based within the data region; end is exclusive.\n"
       "For a package, found through its trailer, the archive's start in\n"
       "the file comes first, and for a compressed one the lengths of its\n"
       "stream, of the ranges stored outside it and of the archive.\n",
       ListCommand},
      {"extract", "unpack an archive or package into a folder",
       "usage: updpack extract ARCHIVE_OR_PACKAGE FOLDER\n"
       "\n"
       "Writes every entry into FOLDER, which must exist.\n"
       "Files of the same names are replaced.\n",
       ExtractCommand},
      {"run", "carry out a package's update run on this machine",
       "usage: updpack run PACKAGE.exe [--yes] [--silent] [--log FILE]\n"
       "                  [--target FOLDER]\n"
       "\n"
       "Runs the update as the package would: the folder of PACKAGE.exe is\n"
       "the program folder, and the package is read as its base name with\n"
       "\".exe\", whatever its extension. The temporary folder goes under\n"
       "TMP, else TMPDIR, else /tmp. Questions are asked on the terminal;\n"
       "Ctrl-C asks to abort.\n"
       "  --yes            answer Yes to the confirmation (and Cancel to a\n"
       "                   Retry/Cancel box)\n"
       "  --silent         show nothing and ask nothing, as the program's /S:\n"
       "                   Yes to the confirmation, Cancel to any "
       "Retry/Cancel\n"
       "  --log FILE       write a UTF-8 log of every step and message, as "
       "/LOG=\n"
       "  --target FOLDER  install into FOLDER, not PACKAGE.exe's, as /D=\n"
       "The last three, like the program's switches, are heeded only by a\n"
       "package that carries a manifest (one that `build` made). Such a\n"
       "package first undoes what a run of an update that was cut off\n"
       "(killed, a power cut) left in the program folder, as the journal in\n"
       "its ~updpack.bak lists it.\n"
       "Exit status, the program's exit code too:\n"
       "  0 success, or already up to date\n"
       "  1 failed: critical error, damaged package, failed extraction\n"
       "  2 declined at the confirmation\n"
       "  3 aborted from the window\n"
       "  4 not the expected version, or not the product's folder\n"
       "  5 a file in use, and Retry cancelled\n"
       "  6 another update already running (also: the journal of its\n"
       "    ~updpack.bak is held open)\n"
       "  64 a usage error of updpack run: nothing is run\n",
       RunCommand},
      {"verify", "check a package or archive without writing anything",
       "usage: updpack verify PACKAGE_OR_ARCHIVE [--json]\n"
       "\n"
       "Checks what the package's run would trip over: the trailer (and\n"
       "whether a signing tool's certificate table follows it; the signature\n"
       "itself is not verified), the manifest (present, absent or damaged,\n"
       "its keys, the length it declares), the signature bytes and the end\n"
       "of the catalog, every entry's name and range, the checksum entry\n"
       "with every entry it lists (each read and its CRC-32 compared), and\n"
       "the install script record by record. Prints a report; --json prints\n"
       "it as JSON.\n"
       "Exit status: 0 sound, 1 damaged or would fail (or could not be\n"
       "read), 64 usage error.\n",
       VerifyCommand},
  });
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
  if (name == "--version") {
    if (arguments.size() == 1) {
      std::cout << "updpack " << UPDPACK_VERSION << "\n";
      return kExitOk;
    }
    std::cerr << "updpack: --version: unexpected argument "
              << ConsoleUi::Printable(arguments[1]) << "\n\n";
    PrintToolUsage(std::cerr);
    return kExitUsage;
  }
  if (name == "-h" || name == "--help" || name == "help") {
    if (name == "help" && arguments.size() >= 2) {
      for (const Command &command : Commands())
        if (arguments.size() == 2 && arguments[1] == command.name) {
          std::cout << command.usage;
          return kExitOk;
        }
      std::cerr << "updpack: "
                << (arguments.size() == 2 ? "no help for "
                                          : "help: unexpected argument ")
                << ConsoleUi::Printable(arguments.size() == 2 ? arguments[1]
                                                              : arguments[2])
                << "\n\n";
      PrintToolUsage(std::cerr);
      return kExitUsage;
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
  // The tool's own failures ("File not found: a.pack") in its language,
  // a run's look at its package before the run too; the run itself starts
  // from the shipped texts and its package's own.
  for (size_t k = 0; k < platform::kMsgCount; ++k)
    platform::SetMsgText(static_cast<platform::Msg>(k),
                         package::MessageTextIn(package::Language::English,
                                                static_cast<platform::Msg>(k)));
  try {
    return command->run(arguments);
  } catch (const UsageError &e) {
    std::cerr << "updpack " << command->name << ": "
              << ConsoleUi::Printable(e.what()) << "\n\n"
              << command->usage;
    return kExitUsage;
  } catch (const platform::ProgramEnded &ended) {
    return ended.exitCode;
  } catch (const ReportedFailure &) {
    return kExitFailed;
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
