// The program's command line: Windows' quoting and the unattended switches.
#include <gtest/gtest.h>

#include "run/command_line.h"

namespace {

using Args = std::vector<std::string>;

TEST(CommandLine, SplitsAsWindowsDoes) {
  const std::pair<const char *, Args> cases[] = {
      {"", {""}},
      {R"("C:\Program Files\u.exe" /S)", {R"(C:\Program Files\u.exe)", "/S"}},
      // The program's name takes no backslash rules, and ends at its
      // closing quote.
      {R"(C:\a\"b  	/S   /D=x )", {R"(C:\a\"b)", "/S", "/D=x"}},
      {R"("C:\P F\u.exe"/S "/D=x")", {R"(C:\P F\u.exe)", "/S", "/D=x"}},
      {R"(u.exe "/D=C:\P F\Q" /D="C:\P F\Q")",
       {"u.exe", R"(/D=C:\P F\Q)", R"(/D=C:\P F\Q)"}},
      {R"(u.exe a\\b a\\\"b "a\\" a\\\\"b c")",
       {"u.exe", R"(a\\b)", R"(a\"b)", R"(a\)", R"(a\\b c)"}},
      // "" inside quotes is a quote and closes them; outside, nothing.
      {R"(u.exe "a""b" x)", {"u.exe", R"(a"b x)"}},
      {R"(u.exe """" x)", {"u.exe", R"(" x)"}},
      {R"(u.exe "" "unclosed y)", {"u.exe", "", "unclosed y"}},
  };
  for (const auto &[line, arguments] : cases)
    EXPECT_EQ(mdl_main::SplitCommandLine(line), arguments) << line;
}

// The switches as one line: S, ?, log=, folder= and the ignored arguments.
std::string Read(const Args &arguments) {
  const mdl_main::Switches s = mdl_main::ParseSwitches(arguments);
  std::string read = std::string(s.silent ? "S " : "") + (s.usage ? "? " : "");
  read +=
      "log=" + s.logFile.value_or("-") + " folder=" + s.folder.value_or("-");
  for (const std::string &argument : s.ignored)
    read += " [" + argument + "]";
  return read;
}

TEST(CommandLine, ReadsTheSwitchesInAnyCase) {
  const std::pair<Args, const char *> cases[] = {
      {{"/S"}, "log=- folder=-"}, // the program's name is no switch
      {{"u", "/s", "/Log=C:\\u.log", "/d=D:\\My Apps"},
       "S log=C:\\u.log folder=D:\\My Apps"},
      // Unquoted, as NSIS takes it: the rest of the line.
      {{"u", "/D=C:\\Program", "Files\\Orbit", "/S"},
       "log=- folder=C:\\Program Files\\Orbit /S"},
      {{"u", "/?", "/LOG=a", "/log=b", "/D=", "/LOG="},
       "? log=b folder=- [/D=] [/LOG=]"},
      {{"u", "/SILENT", "-S", "/S=1", "/D", "/LOGx=y", "/??"},
       "log=- folder=- [/SILENT] [-S] [/S=1] [/D] [/LOGx=y] [/??]"},
  };
  for (const auto &[arguments, read] : cases)
    EXPECT_EQ(Read(arguments), read);
}

} // namespace
