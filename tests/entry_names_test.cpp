// Entry names that `build --from` gives product files: short, unique
// without regard to case, never reserved, always extractable.
#include "tools/entry_names.h"

#include <gtest/gtest.h>

namespace {

TEST(EntryNames, EachFileGetsItsOwnNameOrAShortUniqueOne) {
  const struct {
    const char *file;
    const char *entry;
  } sequence[] = {
      {"app.exe", "app.exe"},
      {"APP.EXE", "f1.EXE"},                // same name but for case
      {"fourteen_bytes", "fourteen_bytes"}, // 14 bytes fit
      {"fifteen_bytes_x", "f2"},            // 15 do not; no extension
      {"a very long name.dat", "f3.dat"},   // the extension is kept
      {"Привет_мир.txt", "Привет_мир.txt"}, // 14 bytes in Windows-1251
      {"Привет_мир1.txt", "f4.txt"},        // 15 bytes
      {"script", "f5"},                     // reserved names
      {"SCRIPT", "f6"},
      {"~updpack.sum", "f7.sum"},
      {"CON", "f8"}, // device names
      {"nul.txt", "f9.txt"},
      {"com1.log", "f10.log"},
      {".hidden", "f11"},   // the engine skips hidden
      {"trailing.", "f12"}, // extraction refuses these
      {"a:b.txt", "f13.txt"},
      {"tab\there", "f14"},
      {"snow\xE2\x98\x83", "f15"},    // no Windows-1251 code
      {"x.verylongextension", "f16"}, // extension does not fit
      {"f17", "f17"},                 // a file named like ours
      {"f17.", "f18"},
      {"F17", "f19"},
  };
  tools::EntryNamer namer;
  for (const auto &step : sequence)
    EXPECT_EQ(namer.Assign(step.file), step.entry) << step.file;
}

TEST(EntryNames, UsableNames) {
  const struct {
    const char *name;
    bool usable;
  } cases[] = {
      {"a", true},       {"ab cd.txt", true},     {"", false},
      {"a?b", false},    {"a*b", false},          {"a\"b", false},
      {"a|b", false},    {"a<b", false},          {"a/b", false},
      {"a\\b", false},   {"end ", false},         {"LPT9.x", false},
      {"Script", false}, {"~UPDPACK.SUM", false}, {"~updpack.su", true},
      {"\x7F", false},   {"..", false},           {"a\x01", false},
  };
  for (const auto &c : cases)
    EXPECT_EQ(tools::IsUsableEntryName(c.name), c.usable) << c.name;
}

} // namespace
