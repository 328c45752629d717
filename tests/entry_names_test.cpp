// Entry names that `build --from` gives product files: short, one file on
// Windows each, never reserved, always extractable.
#include "tools/entry_names.h"

#include <chrono>
#include <gtest/gtest.h>

#include "platform/codepage.h"

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
      {".env", ".env"},     // a dot-file is a file like any other
      {"trailing.", "f11"}, // extraction refuses these
      {"a:b.txt", "f12.txt"},
      {"tab\there", "f13"},
      {"snow\xE2\x98\x83", "f14"},    // no Windows-1251 code
      {"x.verylongextension", "f15"}, // extension does not fit
      {"f16", "f16"},                 // a file named like ours
      {"f16.", "f17"},
      {"F16", "f18"},
      // Names shaped like a short name that Windows could give another.
      {"abcdefghij.txt", "abcdefghij.txt"},
      {"ABCDEF~1.TXT", "f19.TXT"},
      {"abcde~12.txt", "f20.txt"}, // the name shrinks as the number grows
      {"xyz~1.doc", "xyz~1.doc"},  // no name abbreviates to XYZ.DOC yet
      {"xyz long.doc", "f21.doc"},
      {"abcdef~1.dat", "abcdef~1.dat"}, // another extension
  };
  tools::EntryNamer namer;
  for (const auto &step : sequence)
    EXPECT_EQ(namer.Assign(step.file), step.entry) << step.file;
}

TEST(EntryNames, ManyNamesInLinearTime) {
  // Each name is looked up among those given before: a search through all
  // of them took minutes for this many.
  const auto start = std::chrono::steady_clock::now();
  tools::EntryNamer namer;
  std::string last;
  for (int k = 0; k < 30000; ++k)
    last = namer.Assign("same.txt");
  EXPECT_EQ(last, "f29999.txt");
  EXPECT_LT(std::chrono::steady_clock::now() - start,
            std::chrono::seconds(10 * UPDPACK_TIME_FACTOR));
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
      {"\x7F", true},    {"..", false},           {"a\x01", false},
  };
  for (const auto &c : cases)
    EXPECT_EQ(tools::IsUsableEntryName(c.name), c.usable) << c.name;
}

// In the package's page; not through a byte it leaves unassigned, which
// Windows reads as another character.
TEST(EntryNames, UsableInThePackagesPage) {
  const struct {
    int page;
    const char *name;
    bool usable;
  } cases[] = {
      {1255, "שלום.txt", true}, {1255, "ß.txt", false}, {1252, "ß.txt", true},
      {874, "ü.txt", false},    {1253, "ª.txt", false}, {1257, "¥.txt", false},
  };
  for (const auto &c : cases) {
    ASSERT_TRUE(platform::SetFileCodePage(c.page));
    EXPECT_EQ(tools::IsUsableEntryName(c.name), c.usable) << c.name;
  }
  platform::SetFileCodePage(0);
}

// A name Windows makes is at most 255 characters long once its trailing
// dots and spaces are dropped; in the Windows-1251 archive one byte each.
TEST(EntryNames, NamesLongerThanWindowsMakesDoNotFit) {
  // The catalog reader gives names as UTF-8: a Cyrillic letter is one
  // UTF-16 unit in two bytes, a character beyond the BMP two in four.
  std::string cyrillic;
  for (int k = 0; k < 255; ++k)
    cyrillic += "\xD0\xB0"; // а
  std::string astral;
  for (int k = 0; k < 127; ++k)
    astral += "\xF0\x9F\x98\x80"; // U+1F600
  const struct {
    std::string name;
    bool fits;
  } cases[] = {
      {std::string(255, 'n'), true},
      {std::string(256, 'n'), false},
      {std::string(255, 'n') + ". .", true},
      {cyrillic, true},
      {cyrillic + "\xD0\xB0", false},
      {cyrillic.substr(0, 256), true}, // 128 letters in 256 bytes
      {astral + "n", true},            // 255 units
      {astral + "nn", false},
  };
  for (const auto &c : cases)
    EXPECT_EQ(tools::FitsOneWindowsName(c.name), c.fits) << c.name.size();
}

} // namespace
