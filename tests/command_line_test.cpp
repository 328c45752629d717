// The program's command line: Windows' quoting and the unattended switches.
#include <gtest/gtest.h>

#include "run/command_line.h"

namespace {

using mdl_main::ParseSwitches;
using mdl_main::SplitCommandLine;
using Args = std::vector<std::string>;

struct SplitCase {
  const char *line;
  Args arguments;
};

TEST(CommandLine, SplitsAsWindowsDoes) {
  const SplitCase cases[] = {
      {"", {""}},
      {"update.exe", {"update.exe"}},
      {R"("C:\Program Files\u.exe" /S)", {R"(C:\Program Files\u.exe)", "/S"}},
      // The program's name takes no backslash rules.
      {R"(C:\a\"b /S)", {R"(C:\a\"b)", "/S"}},
      {"u.exe  \t/S   /D=x ", {"u.exe", "/S", "/D=x"}},
      {R"(u.exe "/D=C:\Program Files\Quorix")",
       {"u.exe", R"(/D=C:\Program Files\Quorix)"}},
      {R"(u.exe /D="C:\Program Files\Quorix" /S)",
       {"u.exe", R"(/D=C:\Program Files\Quorix)", "/S"}},
      {R"(u.exe a\\b a\\\"b "a\\" a\\\\"b c")",
       {"u.exe", R"(a\\b)", R"(a\"b)", R"(a\)", R"(a\\b c)"}},
      // "" inside quotes is a quote and closes them; outside, nothing.
      {R"(u.exe "a""b" x)", {"u.exe", R"(a"b x)"}},
      {R"(u.exe """" x)", {"u.exe", R"(" x)"}},
      {R"(u.exe "" x)", {"u.exe", "", "x"}},
      {R"(u.exe "unclosed /S)", {"u.exe", "unclosed /S"}},
  };
  for (const SplitCase &c : cases)
    EXPECT_EQ(SplitCommandLine(c.line), c.arguments) << c.line;
}

TEST(CommandLine, ReadsTheSwitchesInAnyCase) {
  struct Case {
    Args arguments;
    bool silent, usage;
    const char *log, *folder; // nullptr: not given
    Args ignored;
  };
  const Case cases[] = {
      {{"u.exe"}, false, false, nullptr, nullptr, {}},
      {{"u.exe", "/s", "/Log=C:\\u.log"},
       true,
       false,
       "C:\\u.log",
       nullptr,
       {}},
      {{"u.exe", "/S", "/d=D:\\My Apps\\Q"},
       true,
       false,
       nullptr,
       "D:\\My Apps\\Q",
       {}},
      {{"u.exe", "/?"}, false, true, nullptr, nullptr, {}},
      // The last of a switch wins; empty values and the unknown are ignored.
      {{"u.exe", "/LOG=a", "/log=b", "/D=", "/LOG="},
       false,
       false,
       "b",
       nullptr,
       {"/D=", "/LOG="}},
      {{"u.exe", "/SILENT", "-S", "S", "/S=1", "/D", "/LOGx=y", "/??"},
       false,
       false,
       nullptr,
       nullptr,
       {"/SILENT", "-S", "S", "/S=1", "/D", "/LOGx=y", "/??"}},
      // The program's name is no switch.
      {{"/S"}, false, false, nullptr, nullptr, {}},
  };
  for (const Case &c : cases) {
    const mdl_main::Switches s = ParseSwitches(c.arguments);
    const std::string line = ::testing::PrintToString(c.arguments);
    EXPECT_EQ(s.silent, c.silent) << line;
    EXPECT_EQ(s.usage, c.usage) << line;
    EXPECT_EQ(s.logFile.value_or("<none>"), c.log ? c.log : "<none>") << line;
    EXPECT_EQ(s.folder.value_or("<none>"), c.folder ? c.folder : "<none>")
        << line;
    EXPECT_EQ(s.ignored, c.ignored) << line;
    EXPECT_EQ(s.Any(), c.silent || c.usage || c.log || c.folder) << line;
  }
}

} // namespace
