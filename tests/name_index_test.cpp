// Entry names that Windows takes for one file: the same name but for case
// and trailing dots or blanks, or a name shaped like the other's short name.
#include "tools/name_index.h"

#include <gtest/gtest.h>

namespace {

using tools::NameClash;

TEST(NameIndex, TellsNamesThatAreOneFileOnWindows) {
  const struct {
    const char *first;
    const char *second;
    NameClash clash; // of second with first
  } cases[] = {
      {"app.exe", "APP.EXE", NameClash::SameName},
      {"readme", "README. ", NameClash::SameName},
      {"Привет.txt", "ПРИВЕТ.TXT", NameClash::SameName},
      {"\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89", NameClash::SameName}, // été
      {"abcdefghij.txt", "ABCDEF~1.TXT", NameClash::ShortName},
      {"ABCDEF~1.TXT", "abcdefghij.txt", NameClash::ShortName},
      {"abcdefghij.txt", "abcde~12.txt", NameClash::ShortName},
      {"abcdefghij.txt", "a~123456.txt", NameClash::ShortName},
      {"a b.c.d.html", "ABC~1.HTM", NameClash::ShortName},  // blanks, dots
      {"a+b[1].txt", "A_B_1_~1.TXT", NameClash::ShortName}, // + [ ] as _
      {"a+b[1].txt", "A_B_1~1.TXT", NameClash::ShortName},
      {"abcdefghij.txt", "ABCDE~10.TXT", NameClash::ShortName},
      {"abcdefghij.txt", "ABCDEF~10.TXT", NameClash::None}, // 9 before .
      {".gitignore", "GITIGN~1", NameClash::ShortName},
      {"abcdefghij", "ABCDEF~1", NameClash::ShortName},
      {"abcdefghij.txt", "ABCDEF~1", NameClash::None}, // extension differs
      {"abcdefghij.txt", "ABCDEF~1.DOC", NameClash::None},
      {"abcdefghij.txt", "ABCDEX~1.TXT", NameClash::None},
      {"abcdefghij.txt", "ABCDEFG~1.TXT", NameClash::None}, // 7 before ~
      {"abcdefghij.txt", "ABCDEF~X.TXT", NameClash::None},
      {"abcdefghij.txt", "~1.TXT", NameClash::None},
      {"ABCDEF~1.TXT", "ABCDEF~2.TXT", NameClash::None}, // two short names
      {"app.exe", "app.ex", NameClash::None},
  };
  for (const auto &c : cases) {
    tools::NameIndex index;
    index.Add(c.first, 7);
    const tools::NameIndex::Found found = index.Clashing(c.second);
    EXPECT_EQ(found.clash, c.clash) << c.first << " / " << c.second;
    EXPECT_EQ(found.id,
              c.clash == NameClash::None ? tools::NameIndex::kNone : size_t{7})
        << c.first << " / " << c.second;
  }
}

TEST(NameIndex, FindsTheLastOfAName) {
  tools::NameIndex index;
  index.Add("a.txt", 0);
  index.Add("b.txt", 1);
  index.Add("A.TXT", 2);
  EXPECT_EQ(index.Find("a.txt."), 2u);
  EXPECT_EQ(index.Find("B.txt"), 1u);
  EXPECT_EQ(index.Find("c.txt"), tools::NameIndex::kNone);
}

} // namespace
