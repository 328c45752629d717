// File-system operations by path on Windows: listing, Kill, FileCopy, MkDir,
// DeleteFolder and friends.
#include <gtest/gtest.h>

#include <functional>

#include "platform/error.h"
#include "platform/fs.h"
#include "platform/os_file.h"
#include "tests/win32/temp_folder.h"

namespace {

namespace fs = platform::fs;
namespace err = platform::err;
using Names = std::vector<std::string>;

using wintest::ErrorOf;

class Win32Fs : public ::testing::Test {
protected:
  // a.txt, B.txt, c.dat, notes.tmpx, an empty file "empty", a hidden and a
  // system file, and a folder whose name looks like a file.
  void MakeMixedFolder() {
    wintest::WriteFile(dir / "a.txt", "a");
    wintest::WriteFile(dir / "B.txt", "bb");
    wintest::WriteFile(dir / "c.dat", "ccc");
    wintest::WriteFile(dir / "notes.tmpx", "n");
    wintest::WriteFile(dir / "empty", "");
    wintest::WriteFile(dir / "h.txt", "h");
    wintest::SetAttributes(dir / "h.txt", FILE_ATTRIBUTE_HIDDEN);
    wintest::WriteFile(dir / "s.txt", "s");
    wintest::SetAttributes(dir / "s.txt", FILE_ATTRIBUTE_SYSTEM);
    wintest::MakeFolder(dir / "folder.txt");
  }

  wintest::TempFolder dir;
};

struct ListCase {
  const char *pattern; // inside the mixed folder
  Names expected;
};

void PrintTo(const ListCase &c, std::ostream *os) { *os << c.pattern; }

// NOLINTNEXTLINE(bugprone-exception-escape): gtest fixtures
class Win32ListFiles : public Win32Fs,
                       public ::testing::WithParamInterface<ListCase> {};

TEST_P(Win32ListFiles, ListsOrdinaryFilesInNameOrder) {
  MakeMixedFolder();
  EXPECT_EQ(fs::ListFiles(dir / GetParam().pattern), GetParam().expected)
      << GetParam().pattern;
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, Win32ListFiles,
    ::testing::Values(
        ListCase{"*", {"a.txt", "B.txt", "c.dat", "empty", "notes.tmpx"}},
        ListCase{"*.*", {"a.txt", "B.txt", "c.dat", "empty", "notes.tmpx"}},
        ListCase{"*.TXT", {"a.txt", "B.txt"}},
        ListCase{"?.txt", {"a.txt", "B.txt"}},
        // Not notes.tmpx through its 8.3 alias NOTES~1.TMP.
        ListCase{"*.tmp", {}}, ListCase{"A.TXT", {"a.txt"}},
        ListCase{"empty", {"empty"}}, ListCase{"h.txt", {}}, // hidden
        ListCase{"s.txt", {}},                               // system
        ListCase{"folder.txt", {}},                          // a folder
        ListCase{"missing.txt", {}},                         // nothing there
        ListCase{"nowhere\\*", {}}));                        // no such folder

TEST_F(Win32Fs, ListFilesReturnsNonAsciiNamesAsUtf8) {
  wintest::WriteFile(dir / "Обновление.txt", "x");
  wintest::WriteFile(dir / "ёлка.dat", "y");
  EXPECT_EQ(fs::ListFiles(dir / "*"), (Names{"ёлка.dat", "Обновление.txt"}));
  EXPECT_EQ(fs::ListFiles(dir / "обНОВление.TXT"), Names{"Обновление.txt"});
}

TEST_F(Win32Fs, ListFilesAcceptsForwardSlashes) {
  wintest::WriteFile(dir / "a.txt", "a");
  std::string path = dir.Path() + "/a.txt";
  EXPECT_EQ(fs::ListFiles(path), Names{"a.txt"});
}

TEST_F(Win32Fs, KillDeletesMatchingOrdinaryFilesOnly) {
  MakeMixedFolder();
  fs::Kill(dir / "*.txt");
  EXPECT_FALSE(wintest::FileExists(dir / "a.txt"));
  EXPECT_FALSE(wintest::FileExists(dir / "B.txt"));
  EXPECT_TRUE(wintest::FileExists(dir / "c.dat"));
  EXPECT_TRUE(wintest::FileExists(dir / "h.txt")); // hidden: not listed
  EXPECT_TRUE(wintest::FileExists(dir / "s.txt"));
  EXPECT_TRUE(wintest::FileExists(dir / "folder.txt"));

  EXPECT_EQ(ErrorOf([&] { fs::Kill(dir / "*.tmp"); }), err::kFileNotFound);
  EXPECT_TRUE(wintest::FileExists(dir / "notes.tmpx"));
  fs::Kill(dir / "C.DAT");
  EXPECT_FALSE(wintest::FileExists(dir / "c.dat"));
  EXPECT_EQ(ErrorOf([&] { fs::Kill(dir / "c.dat"); }), err::kFileNotFound);
  EXPECT_EQ(ErrorOf([&] { fs::Kill(dir / "nowhere\\x"); }), err::kFileNotFound);
  // Listed through "notes.tmpx \.", deleted in no folder "notes.tmpx ".
  EXPECT_EQ(ErrorOf([&] { fs::Kill(dir / "notes.tmpx \\."); }),
            err::kPathNotFound);
  EXPECT_TRUE(wintest::FileExists(dir / "notes.tmpx"));
}

TEST_F(Win32Fs, KillRefusesAReadOnlyFile) {
  for (const char *name : {"a.tmp", "b.tmp", "c.tmp", "locked"})
    wintest::WriteFile(dir / name, "x");
  for (const char *name : {"b.tmp", "locked"})
    wintest::SetAttributes(dir / name, FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(ErrorOf([&] { fs::Kill(dir / "LOCKED"); }), err::kPermissionDenied);
  EXPECT_EQ(ErrorOf([&] { fs::Kill(dir / "*.tmp"); }), err::kPermissionDenied);
  // Name order: what came before the read-only file is gone.
  EXPECT_FALSE(wintest::FileExists(dir / "a.tmp"));
  EXPECT_TRUE(wintest::FileExists(dir / "b.tmp"));
  EXPECT_TRUE(wintest::FileExists(dir / "c.tmp"));
  EXPECT_TRUE(wintest::FileExists(dir / "locked"));
}

TEST_F(Win32Fs, TheSystemsOwnWildcardsMatchNothing) {
  // <, > and " are wildcards to FindFirstFile; to us they are no name.
  wintest::WriteFile(dir / "abc.txt", "a");
  wintest::MakeFolder(dir / "abc");
  for (const char *pattern : {"<", "a<", "abc\">", "abc\"txt", ">>>.txt"}) {
    EXPECT_EQ(fs::ListFiles(dir / pattern), Names{}) << pattern;
    EXPECT_EQ(ErrorOf([&] { fs::Kill(dir / pattern); }), err::kFileNotFound)
        << pattern;
    EXPECT_EQ(ErrorOf([&] { fs::DeleteFolder(dir / pattern); }),
              err::kPathNotFound)
        << pattern;
  }
  EXPECT_TRUE(wintest::FileExists(dir / "abc.txt"));
  EXPECT_TRUE(wintest::FileExists(dir / "abc"));
}

TEST_F(Win32Fs, FileLenMeasuresFilesOnly) {
  wintest::WriteFile(dir / "five", "12345");
  wintest::MakeFolder(dir / "sub");
  EXPECT_EQ(fs::FileLen(dir / "five"), 5);
  EXPECT_EQ(ErrorOf([&] { fs::FileLen(dir / "missing"); }), err::kFileNotFound);
  EXPECT_EQ(ErrorOf([&] { fs::FileLen(dir / "sub"); }), err::kPathFileAccess);
}

TEST_F(Win32Fs, FileCopyReplacesALongerTarget) {
  const std::string bytes = wintest::PatternBytes(300000);
  wintest::WriteFile(dir / "source.bin", bytes);
  wintest::WriteFile(dir / "target.bin", std::string(400000, 'x'));
  fs::FileCopy(dir / "source.bin", dir / "target.bin");
  EXPECT_EQ(wintest::ReadFile(dir / "target.bin"), bytes);
  fs::FileCopy(dir / "source.bin", dir / "new.bin");
  EXPECT_EQ(wintest::ReadFile(dir / "new.bin"), bytes);
}

TEST_F(Win32Fs, FileCopyFailures) {
  wintest::WriteFile(dir / "source.bin", "keep me");
  EXPECT_EQ(ErrorOf([&] { fs::FileCopy(dir / "missing", dir / "t"); }),
            err::kFileNotFound);
  EXPECT_EQ(
      ErrorOf([&] { fs::FileCopy(dir / "source.bin", dir / "nowhere\\t"); }),
      err::kPathNotFound);
  // Onto itself, also under another spelling: refused, and nothing lost.
  EXPECT_EQ(ErrorOf([&] {
              fs::FileCopy(dir / "source.bin", dir.Path() + "/SOURCE.BIN");
            }),
            err::kPermissionDenied);
  EXPECT_EQ(wintest::ReadFile(dir / "source.bin"), "keep me");
}

TEST_F(Win32Fs, MkDirCreatesOneLevel) {
  fs::MkDir(dir / "new");
  EXPECT_TRUE(fs::FolderExists(dir / "new"));
  EXPECT_EQ(ErrorOf([&] { fs::MkDir(dir / "new"); }), err::kPathFileAccess);
  wintest::WriteFile(dir / "file", "f");
  EXPECT_EQ(ErrorOf([&] { fs::MkDir(dir / "file"); }), err::kPathFileAccess);
  EXPECT_EQ(ErrorOf([&] { fs::MkDir(dir / "a\\b"); }), err::kPathNotFound);
  EXPECT_FALSE(wintest::FileExists(dir / "a"));
  EXPECT_EQ(ErrorOf([&] { fs::MkDir(""); }), err::kPathNotFound);
}

TEST_F(Win32Fs, FolderExistsAndSameFile) {
  wintest::WriteFile(dir / "one", "1");
  wintest::WriteFile(dir / "two", "1");
  wintest::MakeFolder(dir / "sub");
  EXPECT_TRUE(fs::FolderExists(dir.Path()));
  EXPECT_TRUE(fs::FolderExists(dir / "sub"));
  EXPECT_FALSE(fs::FolderExists(dir / "one"));
  EXPECT_FALSE(fs::FolderExists(dir / "missing"));
  EXPECT_FALSE(fs::FolderExists(""));

  EXPECT_TRUE(fs::SameFile(dir / "one", dir / "one"));
  EXPECT_TRUE(fs::SameFile(dir / "one", dir.Path() + "/sub/../ONE"));
  EXPECT_FALSE(fs::SameFile(dir / "one", dir / "two"));
  EXPECT_FALSE(fs::SameFile(dir / "one", dir / "missing"));
  EXPECT_FALSE(fs::SameFile(dir / "sub", dir / "sub"));
}

class Win32DeleteFolder : public Win32Fs {
protected:
  // tree\{a.txt, hidden, system, sub\{b.txt, deeper\c.txt}, empty\}
  std::string MakeTree(const std::string &name) {
    std::string root = dir / name;
    wintest::MakeFolder(root);
    wintest::WriteFile(root + "\\a.txt", "a");
    wintest::WriteFile(root + "\\hidden", "h");
    wintest::SetAttributes(root + "\\hidden", FILE_ATTRIBUTE_HIDDEN);
    wintest::WriteFile(root + "\\system", "s");
    wintest::SetAttributes(root + "\\system", FILE_ATTRIBUTE_SYSTEM);
    wintest::MakeFolder(root + "\\sub");
    wintest::WriteFile(root + "\\sub\\b.txt", "b");
    wintest::MakeFolder(root + "\\sub\\deeper");
    wintest::WriteFile(root + "\\sub\\deeper\\c.txt", "c");
    wintest::MakeFolder(root + "\\empty");
    return root;
  }
};

TEST_F(Win32DeleteFolder, RemovesTheWholeTree) {
  const std::string root = MakeTree("tree");
  fs::DeleteFolder(root);
  EXPECT_FALSE(wintest::FileExists(root));
  EXPECT_TRUE(wintest::FileExists(dir.Path()));
}

TEST_F(Win32DeleteFolder, TrailingSeparatorNamesTheSameFolder) {
  const std::string root = MakeTree("tree");
  fs::DeleteFolder(root + "\\");
  EXPECT_FALSE(wintest::FileExists(root));
}

TEST_F(Win32DeleteFolder, WildcardMatchesFoldersNotFiles) {
  MakeTree("tmp1");
  MakeTree("TMP2");
  MakeTree("keep");
  wintest::WriteFile(dir / "tmpfile", "f");
  wintest::MakeFolder(dir / "tmphidden");
  wintest::SetAttributes(dir / "tmphidden", FILE_ATTRIBUTE_HIDDEN);
  fs::DeleteFolder(dir / "tmp*");
  EXPECT_FALSE(wintest::FileExists(dir / "tmp1"));
  EXPECT_FALSE(wintest::FileExists(dir / "TMP2"));
  EXPECT_FALSE(wintest::FileExists(dir / "tmphidden"));
  EXPECT_TRUE(wintest::FileExists(dir / "keep\\sub\\deeper\\c.txt"));
  EXPECT_TRUE(wintest::FileExists(dir / "tmpfile"));
}

TEST_F(Win32DeleteFolder, NothingToDeleteIsPathNotFound) {
  wintest::WriteFile(dir / "file", "f");
  EXPECT_EQ(ErrorOf([&] { fs::DeleteFolder(dir / "missing"); }),
            err::kPathNotFound);
  EXPECT_EQ(ErrorOf([&] { fs::DeleteFolder(dir / "x*"); }), err::kPathNotFound);
  EXPECT_EQ(ErrorOf([&] { fs::DeleteFolder(dir / "nowhere\\x*"); }),
            err::kPathNotFound);
  EXPECT_EQ(ErrorOf([&] { fs::DeleteFolder(dir / "file"); }),
            err::kPathNotFound);
  EXPECT_TRUE(wintest::FileExists(dir / "file"));
  EXPECT_EQ(ErrorOf([&] { fs::DeleteFolder(""); }), err::kPathNotFound);
  EXPECT_EQ(ErrorOf([&] { fs::DeleteFolder(dir / ".."); }), err::kPathNotFound);
}

TEST_F(Win32DeleteFolder, ReadOnlyFileIsNotForced) {
  const std::string root = MakeTree("tree");
  // Entries go in name order: a.txt before m-readonly, sub after it.
  wintest::WriteFile(root + "\\m-readonly", "r");
  wintest::SetAttributes(root + "\\m-readonly", FILE_ATTRIBUTE_READONLY);
  try {
    fs::DeleteFolder(root);
    FAIL() << "a read-only file was deleted";
  } catch (const platform::Error &e) {
    EXPECT_EQ(e.Number(), err::kPermissionDenied);
    EXPECT_NE(e.Description().find("m-readonly"), std::string::npos)
        << e.Description();
  }
  EXPECT_FALSE(wintest::FileExists(root + "\\a.txt"));
  EXPECT_TRUE(wintest::FileExists(root + "\\m-readonly"));
  EXPECT_TRUE(wintest::FileExists(root + "\\sub\\b.txt"));
}

TEST_F(Win32DeleteFolder, ReadOnlyFolderIsNotForced) {
  const std::string root = MakeTree("tree");
  wintest::SetAttributes(root + "\\sub", FILE_ATTRIBUTE_READONLY);
  if (!(wintest::Attributes(root + "\\sub") & FILE_ATTRIBUTE_READONLY))
    GTEST_SKIP() << "this file system keeps no read-only mark on folders";
  EXPECT_EQ(ErrorOf([&] { fs::DeleteFolder(root); }), err::kPermissionDenied);
  EXPECT_TRUE(wintest::FileExists(root + "\\sub\\deeper\\c.txt"));
}

TEST_F(Win32DeleteFolder, LinkInsideTheTreeIsRemovedNotFollowed) {
  const std::string outside = MakeTree("outside");
  const std::string root = MakeTree("tree");
  if (!::CreateSymbolicLinkW(wintest::Widen(root + "\\link").c_str(),
                             wintest::Widen(outside).c_str(),
                             SYMBOLIC_LINK_FLAG_DIRECTORY))
    GTEST_SKIP() << "no symbolic links here (code " << ::GetLastError() << ")";
  fs::DeleteFolder(root);
  EXPECT_FALSE(wintest::FileExists(root));
  EXPECT_TRUE(wintest::FileExists(outside + "\\sub\\deeper\\c.txt"));
}

} // namespace

// What the program opens, and the temporary folder it holds, are opened
// without delete sharing: until closed they are neither deleted nor moved,
// by the program either, though a file may still be written over. The
// posix backend holds its descriptors to the same rule (tests/fs_test.cpp).
TEST_F(Win32Fs, WhatTheProgramHoldsOpenStaysUntilClosed) {
  wintest::MakeFolder(dir / "d");
  wintest::WriteFile(dir / "d\\held", "old");
  wintest::WriteFile(dir / "d\\other", "x");
  wintest::MakeFolder(dir / "p");
  {
    platform::os::File file(dir / "d\\held", platform::OpenMode::ReadOnly);
    const fs::PrivateFolder folder(dir / "p");
    const std::pair<const char *, std::function<void()>> refused[] = {
        {"delete", [&] { fs::Kill(dir / "d\\HELD"); }},
        {"delete by pattern", [&] { fs::Kill(dir / "d\\*"); }},
        {"rename", [&] { fs::Rename(dir / "d\\held", dir / "d\\moved"); }},
        {"folder removal", [&] { fs::DeleteFolder(dir / "d", true); }},
        {"held folder removal", [&] { fs::RemoveEmptyFolder(dir / "p"); }},
        {"held folder rename", [&] { fs::Rename(dir / "p", dir / "q"); }},
    };
    for (const auto &[what, act] : refused)
      EXPECT_EQ(ErrorOf(act), err::kPermissionDenied) << what;
    EXPECT_TRUE(fs::FolderExists(dir / "p"));
    EXPECT_EQ(fs::ListFiles(dir / "d\\*"), (Names{"held", "other"}));
    fs::FileCopy(dir / "d\\other", dir / "d\\held");
    EXPECT_EQ(fs::FileLen(dir / "d\\held"), 1);
  }
  fs::Rename(dir / "d\\held", dir / "d\\moved");
  fs::DeleteFolder(dir / "d", false);
  fs::RemoveEmptyFolder(dir / "p");
  EXPECT_FALSE(fs::FolderExists(dir / "d"));
  EXPECT_FALSE(fs::FolderExists(dir / "p"));
}
