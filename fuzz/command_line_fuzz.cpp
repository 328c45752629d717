// Fuzz target: the Windows program's command line. The first byte's low
// bit chooses: 0 the rest is a whole command line, split as the program
// splits it; its arguments, quoted as Windows programs quote theirs, split
// into the same arguments again. 1 the rest is a list of arguments
// separated by 0x00 (the first the program's name), which quoted and
// split come back as they were (the name without quotes). Either way the
// switches of the arguments keep their promises: a value is never empty, and a
// /LOG= added at the end replaces the log file, unless a /D= before it takes it
// into the folder.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz/harness.h"
#include "run/command_line.h"

namespace {

using fuzzing::Fail;
using mdl_main::ParseSwitches;
using mdl_main::SplitCommandLine;
using mdl_main::Switches;

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

// Whichever way the arguments came: quoted and split, they come back; and
// their switches keep their promises.
void CheckArguments(std::vector<std::string> arguments) {
  // A name that does not begin with a quote may hold one; quoted, none.
  std::erase(arguments[0], '"');
  if (SplitCommandLine(CommandLine(arguments)) != arguments)
    Fail("quoted arguments split into others: " + CommandLine(arguments));
  CheckSwitches(arguments);
}

// The rest as a whole command line, split as the program splits it.
void SplitLine(std::string_view line) {
  const std::vector<std::string> arguments = SplitCommandLine(line);
  if (arguments.empty())
    Fail("no program name");
  for (size_t k = 1; k < arguments.size(); ++k)
    if (arguments[k].empty() && line.find('"') == std::string_view::npos)
      Fail("an empty argument without quotes");
  CheckArguments(arguments);
}

// The rest as arguments separated by 0x00, the first the program's name.
void SplitList(std::string_view list) {
  std::vector<std::string> arguments;
  for (size_t at = 0;;) {
    const size_t end = std::min(list.find('\0', at), list.size());
    arguments.emplace_back(list.substr(at, end - at));
    if (end == list.size())
      break;
    at = end + 1;
  }
  CheckArguments(std::move(arguments));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  return fuzzing::ByFirstBit(data, size, SplitLine, SplitList);
}
