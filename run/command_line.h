// The program's command line: split as Windows programs split theirs
// (CommandLineToArgvW's quoting), and the switches of an unattended run.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mdl_main {

// The arguments of a whole command line in UTF-8, the program's name first.
// The name ends at the first blank, or at the closing quote when it begins
// with one, and takes no backslash rules. In the other arguments blanks
// (space, tab) inside double quotes belong to the argument; 2n backslashes
// before a quote stand for n and the quote opens or closes the quoted part,
// 2n+1 stand for n and a quote; other backslashes stand for themselves; a
// quote right after the one that closes a quoted part is a quote.
std::vector<std::string> SplitCommandLine(std::string_view line);

// What the switches ask for. Only a package that carries our manifest heeds
// them; a package without one runs as if it had none.
struct Switches {
  bool silent = false;                // /S
  bool usage = false;                 // /?
  std::optional<std::string> logFile; // /LOG=FILE
  std::optional<std::string> folder;  // /D=FOLDER, the program folder
  std::vector<std::string> ignored;   // arguments that are no switch
};

// The switches of the arguments after the program's name, without regard to
// case: /S, /?, /LOG=FILE and /D=FOLDER, each value the rest of its argument
// (quoted, it may hold blanks). /D= comes last, as NSIS wants it: the
// arguments after it are the rest of its folder, joined by a blank. A later
// switch replaces an earlier one; an empty value and anything else is
// ignored, as installers ignore what they do not know.
Switches ParseSwitches(const std::vector<std::string> &arguments);

} // namespace mdl_main
