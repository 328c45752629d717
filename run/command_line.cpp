// Splitting the command line and reading the switches.
#include "run/command_line.h"

namespace mdl_main {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

// True when argument begins with prefix (upper case), letters in any case;
// with whole, when it is no longer either.
bool StartsWithNoCase(std::string_view argument, std::string_view prefix,
                      bool whole = false) {
  if (argument.size() < prefix.size() ||
      (whole && argument.size() != prefix.size()))
    return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (Upper(argument[i]) != prefix[i])
      return false;
  return true;
}

} // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> arguments;
  size_t i = 0;
  // The program's name: quotes only delimit it, and the next argument may
  // follow the closing one without a blank.
  std::string name;
  if (i < line.size() && line[i] == '"') {
    const size_t close = line.find('"', i + 1);
    name = line.substr(i + 1, close == std::string_view::npos
                                  ? std::string_view::npos
                                  : close - i - 1);
    i = close == std::string_view::npos ? line.size() : close + 1;
  } else {
    while (i < line.size() && !IsBlank(line[i]))
      name += line[i++];
  }
  arguments.push_back(std::move(name));

  for (;;) {
    while (i < line.size() && IsBlank(line[i]))
      ++i;
    if (i == line.size())
      break;
    std::string argument;
    bool quoted = false;
    while (i < line.size() && (quoted || !IsBlank(line[i]))) {
      size_t backslashes = 0;
      while (i < line.size() && line[i] == '\\') {
        ++backslashes;
        ++i;
      }
      if (i == line.size() || line[i] != '"') {
        argument.append(backslashes, '\\');
        if (backslashes == 0)
          argument += line[i++]; // any other character, a quoted blank too
        continue;
      }
      argument.append(backslashes / 2, '\\');
      if (backslashes % 2 == 1) {
        argument += '"';
      } else if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
        argument += '"'; // "" inside quotes: a quote, and the part closes
        quoted = false;
        ++i;
      } else {
        quoted = !quoted;
      }
      ++i;
    }
    arguments.push_back(std::move(argument));
  }
  return arguments;
}

Switches ParseSwitches(const std::vector<std::string> &arguments) {
  Switches switches;
  for (size_t k = 1; k < arguments.size(); ++k) {
    const std::string &argument = arguments[k];
    if (StartsWithNoCase(argument, "/S", true)) {
      switches.silent = true;
    } else if (argument == "/?") {
      switches.usage = true;
    } else if (StartsWithNoCase(argument, "/LOG=") && argument.size() > 5) {
      switches.logFile = argument.substr(5);
    } else if (StartsWithNoCase(argument, "/D=") && argument.size() > 3) {
      // As NSIS has it, the folder is the rest of the command line: an
      // unquoted one with blanks arrives in pieces.
      std::string folder = argument.substr(3);
      while (++k < arguments.size())
        (folder += ' ') += arguments[k];
      switches.folder = std::move(folder);
    } else {
      switches.ignored.push_back(argument);
    }
  }
  return switches;
}

} // namespace mdl_main
