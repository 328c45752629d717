// Fuzz target: the Windows program's command line. The first byte's low
// bit chooses: 0 the rest is a whole command line, split as the program
// splits it; its arguments, quoted as Windows programs quote theirs, split
// into the same arguments again. 1 the rest is a list of arguments
// separated by 0x00 (the first the program's name), which quoted and
// split come back as they were (the name without quotes). Either way the
// switches of the arguments keep their promises: a value is never empty, and a
// /LOG= added at the end replaces the log file, unless a /D= before it takes it
// into the folder.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "run/command_line.h"

namespace {

using mdl_main::ParseSwitches;
using mdl_main::SplitCommandLine;
using mdl_main::Switches;

[[noreturn]] void Fail(const std::string &what) {
  std::fprintf(stderr, "command_line_fuzz: %s\n", what.c_str());
  std::abort();
}

// An argument as CommandLineToArgvW reads it back: in quotes when it is
// empty or holds a blank or a quote; backslashes doubled before a quote
// and before the closing quote.
std::string Quoted(const std::string &argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos)
    return argument;
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(2 * backslashes, '\\');
  return out + "\"";
}

// The name in quotes (it holds none), each argument quoted, a blank between.
std::string CommandLine(const std::vector<std::string> &arguments) {
  std::string line(1, '"');
  line.append(arguments[0]).push_back('"');
  for (size_t k = 1; k < arguments.size(); ++k)
    line.append(1, ' ').append(Quoted(arguments[k]));
  return line;
}

void CheckSwitches(const std::vector<std::string> &arguments) {
  const Switches switches = ParseSwitches(arguments);
  if ((switches.logFile && switches.logFile->empty()) ||
      (switches.folder && switches.folder->empty()))
    Fail("a switch with an empty value");
  if (switches.ignored.size() >= arguments.size())
    Fail("more arguments ignored than given");
  std::vector<std::string> more = arguments;
  more.push_back("/log=Z");
  const Switches after = ParseSwitches(more);
  if (switches.folder ? after.folder != *switches.folder + " /log=Z" ||
                            after.logFile != switches.logFile
                      : after.logFile != "Z" || after.folder)
    Fail("a /LOG= at the end did not replace the log file");
  if (after.silent != switches.silent || after.usage != switches.usage ||
      after.ignored != switches.ignored)
    Fail("a /LOG= at the end changed another switch");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  const std::string_view rest(reinterpret_cast<const char *>(data) + 1,
                              size - 1);
  std::vector<std::string> arguments;
  if (data[0] & 1) {
    for (size_t at = 0;;) {
      const size_t end = std::min(rest.find('\0', at), rest.size());
      arguments.emplace_back(rest.substr(at, end - at));
      if (end == rest.size())
        break;
      at = end + 1;
    }
  } else {
    arguments = SplitCommandLine(rest);
    if (arguments.empty())
      Fail("no program name");
    for (size_t k = 1; k < arguments.size(); ++k)
      if (arguments[k].empty() && rest.find('"') == std::string_view::npos)
        Fail("an empty argument without quotes");
  }
  // A name that does not begin with a quote may hold one; quoted, none.
  std::erase(arguments[0], '"');
  if (SplitCommandLine(CommandLine(arguments)) != arguments)
    Fail("quoted arguments split into others: " + CommandLine(arguments));
  CheckSwitches(arguments);
  return 0;
}
