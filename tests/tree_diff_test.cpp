// The script that `updpack diff` writes for two folder trees.
#include "tools/tree_diff.h"

#include <filesystem>
#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"

namespace {

using testsupport::MakeFolder;
using testsupport::WriteFile;

TEST(TreeDiff, RemovalsFirstThenFoldersParentsFirstThenFiles) {
  testsupport::TempFolder box;
  const std::string o = box / "old";
  const std::string n = box / "new";
  const struct {
    const char *path;
    const char *oldBytes; // nullptr: absent; "/": a folder
    const char *newBytes;
  } tree[] = {
      {"same.txt", "1", "1"},
      {"changed.txt", "abc", "abd"}, // same size, other bytes
      {"longer.txt", "abc", "abcd"},
      {"gone.txt", "x", nullptr},
      {"cache", "/", nullptr}, // gone with its files: one rmdir
      {"cache/a", "x", nullptr},
      {"cache/deep", "/", nullptr},
      {"cache/deep/b", "x", nullptr},
      {"kept", "/", "/"},
      {"kept/gone", "x", nullptr},
      {"kept/new", nullptr, "y"},
      {"a", nullptr, "/"}, // new folders, parents first
      {"a/b", nullptr, "/"},
      {"a/b/c", nullptr, "/"}, // empty
      {"a/b/file", nullptr, "z"},
      {"becomes_folder", "f", "/"},
      {"becomes_folder/in", nullptr, "i"},
      {"becomes_file", "/", "f"},
      {"becomes_file/in", "i", nullptr},
      {"Папка", nullptr, "/"},
      {"Папка/файл с пробелом.txt", nullptr, "ф"},
  };
  MakeFolder(o);
  MakeFolder(n);
  for (const auto &e : tree)
    for (const auto &[root, bytes] :
         {std::pair{o, e.oldBytes}, {n, e.newBytes}})
      if (bytes && std::string(bytes) == "/")
        MakeFolder(root + "/" + e.path);
      else if (bytes)
        WriteFile(root + "/" + e.path, bytes);

  const tools::TreeDiff diff = tools::DiffTrees(o, n);
  EXPECT_TRUE(diff.errors.empty());
  EXPECT_EQ(diff.script,
            "rmdir   {app}\\becomes_file\n"
            "rmdir   {app}\\cache\n"
            "delete  {app}\\becomes_folder\n"
            "delete  {app}\\gone.txt\n"
            "delete  {app}\\kept\\gone\n"
            "mkdir   {app}\\a\n"
            "mkdir   {app}\\a\\b\n"
            "mkdir   {app}\\a\\b\\c\n"
            "mkdir   {app}\\becomes_folder\n"
            "mkdir   {app}\\Папка\n"
            "install a/b/file  {app}\\a\\b\\file\n"
            "install becomes_file  {app}\\becomes_file\n"
            "install becomes_folder/in  {app}\\becomes_folder\\in\n"
            "install changed.txt  {app}\\changed.txt\n"
            "install kept/new  {app}\\kept\\new\n"
            "install longer.txt  {app}\\longer.txt\n"
            "install \"Папка/файл с пробелом.txt\"  "
            "\"{app}\\Папка\\файл с пробелом.txt\"\n");
  EXPECT_EQ(diff.operations, 17u);
}

TEST(TreeDiff, TargetsWindowsCannotTakeAreErrorsNamingThePath) {
  const struct {
    const char *path;
    const char *message;
  } cases[] = {
      {"a:b", "\"a:b\" is not a name Windows can hold"},
      {"end.", "\"end.\" is not a name Windows can hold"},
      {"aux.txt", "\"aux.txt\" is not a name Windows can hold"},
      {"snow\xE2\x98\x83", "is in no code page"},
      {"Same", "Same and same are one file on Windows (the same name but "
               "for case)"},
      {"SAME~1", "(SAME~1 could be the short name Windows gives same)"},
  };
  for (const auto &c : cases) {
    testsupport::TempFolder box;
    MakeFolder(box / "old");
    MakeFolder(box / "new/d");
    WriteFile(box / "new/same", "1");
    WriteFile(box / "new" + "/" + c.path, "x");
    const tools::TreeDiff diff = tools::DiffTrees(box / "old", box / "new");
    ASSERT_EQ(diff.errors.size(), 1u) << c.path;
    EXPECT_NE(diff.errors[0].find(c.message), std::string::npos)
        << diff.errors[0];
    EXPECT_TRUE(diff.script.empty());
  }
  // 48 bytes exactly: {app}\ and 46 more.
  testsupport::TempFolder box;
  MakeFolder(box / "old");
  MakeFolder(box / "new/d");
  WriteFile(box / "new/d/" + std::string(44, 'x'), "x");
  EXPECT_TRUE(tools::DiffTrees(box / "old", box / "new").errors.empty());
}

TEST(TreeDiff, LinksAreSkippedAndReported) {
  testsupport::TempFolder box;
  MakeFolder(box / "old");
  MakeFolder(box / "new");
  WriteFile(box / "new/real", "r");
  std::filesystem::create_symlink("real", box / "new/link");
  const tools::TreeDiff diff = tools::DiffTrees(box / "old", box / "new");
  EXPECT_EQ(diff.script, "install real  {app}\\real\n");
  ASSERT_EQ(diff.skipped.size(), 1u);
  EXPECT_EQ(diff.skipped[0], box / "new/link");
}

} // namespace
