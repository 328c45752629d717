// The order of files in a solid stream.
#include <gtest/gtest.h>

#include <string>

#include "codec/solid_order.h"

namespace {

TEST(SolidOrder, ProgramsFirstThenByExtensionStable) {
  const std::vector<codec::SolidEntry> entries = {
      {"readme.txt"},     // 0
      {"core.DLL", true}, // 1
      {"logo.png"},       // 2
      {"app.exe", true},  // 3
      {"notes.TXT"},      // 4
      {"LICENSE"},        // 5
      {".profile"},       // 6: no extension
      {"data/x.tar.png"}, // 7
      {"dir.d/script"},   // 8: the folder's dot is no extension
      {"fake.dll"},       // 9: named like a program, but is none
  };
  EXPECT_EQ(codec::SolidOrder(entries),
            (std::vector<size_t>{1, 3, 5, 6, 8, 9, 2, 7, 0, 4}));
  EXPECT_TRUE(codec::SolidOrder({}).empty());
}

TEST(SolidOrder, ManyOfAKindKeepTheirOrder) {
  std::vector<std::string> names;
  for (int i = 0; i < 60; ++i)
    names.push_back("f" + std::to_string(i) + (i % 3 ? ".txt" : ".bin"));
  std::vector<codec::SolidEntry> entries;
  for (const std::string &name : names)
    entries.push_back({name});
  std::vector<size_t> expected;
  for (int pass = 0; pass < 2; ++pass)
    for (size_t i = 0; i < names.size(); ++i)
      if ((i % 3 == 0) == (pass == 0))
        expected.push_back(i);
  EXPECT_EQ(codec::SolidOrder(entries), expected);
}

} // namespace
