// Script paths outside {app} and {temp}, as verify and run warn of them.
#include <gtest/gtest.h>

#include <string>

#include "tools/script_paths.h"

namespace {

using namespace std::string_literals;

TEST(ScriptPaths, OutsideTheTwoFolders) {
  const struct {
    std::string field; // \0 is {temp}, \1 is {app}
    bool outside;
  } cases[] = {
      {"\1"s, false},
      {"\1\\a\\b.txt  ", false},
      {"  \0/x"s, false},
      {"\1\\a\\..\\b", false},
      {"\1\\.\\a\\.\\..", false},
      {"\1\\*.tmp", false},
      {"C:\\Windows\\x.dll", true},
      {"x.txt", true},
      {"\\\\server\\share", true},
      {"", true},
      {"\1sibling\\x", true},
      {"\1\\..", true},
      {"\0\\a\\..\\..\\b"s, true},
      {"\1\\... \\x", true},
      {"\1/../x", true},
      {"\1\\a\\\0"s, true},
  };
  for (const auto &c : cases)
    EXPECT_EQ(tools::PathOutsideFolders(c.field), c.outside)
        << "\"" << c.field << "\"";
}

} // namespace
