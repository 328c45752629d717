// File-system operations by path: name order, wildcards, listing, deleting,
// copying and creating files and folders.
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/fs.h"
#include "platform/os_file.h"
#include "platform/posix/syscalls.h"
#include "tests/support/caught.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = platform::fs;
namespace err = platform::err;
namespace stdfs = std::filesystem;
using Names = std::vector<std::string>;
using testsupport::Caught;

int Sign(int value) { return value < 0 ? -1 : value > 0 ? 1 : 0; }

// ---- names ---------------------------------------------------------------

TEST(FsNames, CompareNamesNoCaseOrdersLikeNtfs) {
  struct Case {
    const char *a;
    const char *b;
    int order;
  };
  const Case cases[] = {
      {"a", "A", 0},
      {"readme.TXT", "README.txt", 0},
      {"a", "B", -1},
      {"B", "a", 1},
      {"a", "ab", -1},
      {"", "a", -1},
      {"ab", "a_b", -1}, // upper-cased letters come before '_'
      {"a", "_", -1},
      {"Z", "[", -1},
      {"z", "а", -1}, // Latin before Cyrillic
      {"арбуз", "Яблоко", -1},
      {"ё", "Ё", 0},
      {"Ё", "а", -1}, // U+0401 sorts before U+0410
      {"ѓ", "Ѓ", 0},  // U+0453 / U+0403
      {"файл", "ФАЙЛ", 0},
      {"ä", "Ä", 0},
      {"ÿ", "Ÿ", 0},
      {"ł", "Ł", 0},
      {"ž", "Ž", 0},
      {"ß", "SS", 1}, // no multi-letter folding
      {"x.txt", "x1.txt", -1},
      {"\U0001F600", "\uE000", -1}, // UTF-16 units, not code points
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.a) + " | " + c.b);
    EXPECT_EQ(Sign(fs::CompareNamesNoCase(c.a, c.b)), c.order);
    EXPECT_EQ(Sign(fs::CompareNamesNoCase(c.b, c.a)), -c.order);
  }
}

TEST(FsNames, MatchesPatternFollowsWindowsRules) {
  struct Case {
    const char *name;
    const char *pattern;
    bool matches;
  };
  const Case cases[] = {
      {"readme.txt", "*", true},
      {"readme", "*", true},
      {"readme", "*.*", true},
      {"readme.txt", "*.*", true},
      {"a.TXT", "*.txt", true},
      {"a.b.txt", "*.txt", true},
      {"a.txt.bak", "*.txt", false},
      {"atxt", "*.txt", false},
      {"readme.txt", "readme.txt", true},
      {"README.TXT", "readme.txt", true},
      {"readme.txt", "readme.tx", false},
      {"ab.txt", "a?.txt", true},
      {"a.txt", "a?.txt", true}, // ? before a dot may match nothing
      {"abc.txt", "a?.txt", false},
      {"a.b", "a?b", false}, // ? never matches the dot
      {"file1.tmp", "file?.tmp", true},
      {"file10.tmp", "file?.tmp", false},
      {"x.c", "*.???", true},
      {"x", "*.???", true},
      {"x.cpp1", "*.???", false},
      {"readme", "*.", true},
      {"read.me", "*.", false},
      {"abc", "a*c", true},
      {"abc", "a*d", false},
      {"abcabc", "*bc*bc", true},
      {"old.tmp", "*.tmp", true},
      {"ФАЙЛ.ТХТ", "файл.*", true},
      {"Отчёт-1.doc", "отчЁт-?.DOC", true},
      {"a", "", false},
  };
  for (const Case &c : cases)
    EXPECT_EQ(fs::MatchesPattern(c.name, c.pattern), c.matches)
        << c.name << " | " << c.pattern;
}

TEST(FsNames, HostilePatternsStayFast) {
  const std::string name(250, 'a');
  std::string pattern;
  for (int i = 0; i < 60; ++i)
    pattern += "*a";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(fs::MatchesPattern(name, pattern + "b"));
  EXPECT_TRUE(fs::MatchesPattern(name, pattern));
  EXPECT_FALSE(fs::MatchesPattern(name, std::string(251, '?') + "x"));
  EXPECT_LT(std::chrono::steady_clock::now() - start,
            std::chrono::seconds(UPDPACK_TIME_FACTOR));
}

// ---- operations on a fresh folder ----------------------------------------

class FsTest : public ::testing::Test {
protected:
  std::string Path(const std::string &name) const { return dir_ / name; }
  // The same path written the Windows way.
  std::string WinPath(const std::string &name) const {
    std::string path = Path(name);
    for (char &c : path)
      if (c == '/')
        c = '\\';
    return path;
  }
  void Write(const std::string &name, const std::string &bytes = "x") const {
    testsupport::WriteFile(Path(name), bytes);
  }
  std::string Read(const std::string &name) const {
    return testsupport::ReadFile(Path(name));
  }
  void Folder(const std::string &name) const {
    testsupport::MakeFolder(Path(name));
  }
  bool Exists(const std::string &name) const {
    return testsupport::Exists(Path(name));
  }

  testsupport::TempFolder dir_;
};

TEST_F(FsTest, ListFilesSortsCaseInsensitivelyAndSkipsFolders) {
  for (const char *name :
       {"b.txt", "A.txt", "яблоко.txt", "Арбуз.txt", "ёлка.txt", "_x.txt",
        "Zeta", "alpha.TXT", ".hidden", ".hidden.txt", "back\\slash.txt"})
    Write(name);
  Folder("sub");
  Folder("folder.txt");
  Folder(".git");
  ASSERT_EQ(symlink(Path("b.txt").c_str(), Path("link.txt").c_str()), 0);
  ASSERT_EQ(symlink(Path("gone").c_str(), Path("dangling.txt").c_str()), 0);
  ASSERT_EQ(symlink(Path("sub").c_str(), Path("dirlink.txt").c_str()), 0);
  ASSERT_EQ(mkfifo(Path("pipe.txt").c_str(), 0666), 0);

  // Posix marks nothing hidden: a name beginning with "." is listed too.
  EXPECT_EQ(fs::ListFiles(Path("*")),
            (Names{".hidden", ".hidden.txt", "A.txt", "alpha.TXT", "b.txt",
                   "link.txt", "Zeta", "_x.txt", "ёлка.txt", "Арбуз.txt",
                   "яблоко.txt"}));
  EXPECT_EQ(fs::ListFiles(Path("*.txt")),
            (Names{".hidden.txt", "A.txt", "alpha.TXT", "b.txt", "link.txt",
                   "_x.txt", "ёлка.txt", "Арбуз.txt", "яблоко.txt"}));
  // A ? before a dot may match nothing, as on Windows.
  EXPECT_EQ(fs::ListFiles(Path("?.*")),
            (Names{".hidden", ".hidden.txt", "A.txt", "b.txt"}));
  EXPECT_EQ(fs::ListFiles(Path("*.")), (Names{"Zeta"}));
  EXPECT_EQ(fs::ListFiles(Path(".*")), (Names{".hidden", ".hidden.txt"}));
  EXPECT_EQ(fs::ListFiles(WinPath("А*")), (Names{"Арбуз.txt"}));
}

TEST_F(FsTest, ListFilesNamesThatDifferOnlyInCaseKeepAFixedOrder) {
  Write("b");
  Write("B");
  Write("a");
  EXPECT_EQ(fs::ListFiles(Path("*")), (Names{"a", "B", "b"}));
}

TEST_F(FsTest, ListFilesAsAnExistenceTest) {
  Write("file.bin");
  Write(".hidden");
  Folder("folder");
  EXPECT_EQ(fs::ListFiles(Path("file.bin")), (Names{"file.bin"}));
  EXPECT_EQ(fs::ListFiles(WinPath("file.bin")), (Names{"file.bin"}));
  EXPECT_TRUE(fs::ListFiles(Path("missing")).empty());
  EXPECT_EQ(fs::ListFiles(Path(".hidden")), (Names{".hidden"}));
  EXPECT_TRUE(fs::ListFiles(Path("folder")).empty());
  EXPECT_TRUE(fs::ListFiles(Path("file.bin/x")).empty());
  EXPECT_TRUE(fs::ListFiles(Path("")).empty()); // trailing separator
  EXPECT_TRUE(fs::ListFiles(Path("nofolder/*")).empty());
  EXPECT_TRUE(fs::ListFiles(Path("file.bin/*")).empty());
  EXPECT_TRUE(fs::ListFiles(Path("folder/*")).empty());
}

TEST_F(FsTest, ListFilesInTheCurrentFolder) {
  Write("here.txt");
  const auto old = stdfs::current_path();
  stdfs::current_path(dir_.Path());
  const Names all = fs::ListFiles("*.txt");
  const Names one = fs::ListFiles("here.txt");
  stdfs::current_path(old);
  EXPECT_EQ(all, (Names{"here.txt"}));
  EXPECT_EQ(one, (Names{"here.txt"}));
}

TEST_F(FsTest, KillByNameAndByPattern) {
  for (const char *name :
       {"a.tmp", "B.TMP", "c.txt", ".d.tmp", "keep", ".settings", ".git"})
    Write(name);
  Folder("e.tmp");
  fs::Kill(WinPath("c.txt"));
  EXPECT_FALSE(Exists("c.txt"));
  // "keep \." lists keep, which is in no folder "keep ".
  EXPECT_EQ(Caught([&] { fs::Kill(WinPath("keep \\.")); }).Number(),
            err::kPathNotFound);
  fs::Kill(WinPath(".settings")); // a dot-file is an ordinary file
  EXPECT_FALSE(Exists(".settings"));
  fs::Kill(Path("*.tmp"));
  EXPECT_FALSE(Exists("a.tmp"));
  EXPECT_FALSE(Exists("B.TMP"));
  EXPECT_FALSE(Exists(".d.tmp"));
  EXPECT_TRUE(Exists("e.tmp")); // folders are not listed
  EXPECT_TRUE(Exists("keep"));
  fs::Kill(WinPath("*"));
  EXPECT_FALSE(Exists(".git"));
  EXPECT_FALSE(Exists("keep"));
  EXPECT_TRUE(Exists("e.tmp"));
}

TEST_F(FsTest, KillRefusesAReadOnlyFileAsWindowsDoes) {
  for (const char *name : {"a.tmp", "b.tmp", "c.tmp", "locked"})
    Write(name);
  for (const char *name : {"b.tmp", "locked"})
    ASSERT_EQ(chmod(Path(name).c_str(), 0444), 0);
  struct Case {
    std::string pattern;
    std::string refused;
  };
  for (const Case &c :
       {Case{WinPath("LOCKED"), "locked"}, Case{Path("*.tmp"), "b.tmp"}}) {
    const platform::Error e = Caught([&] { fs::Kill(c.pattern); });
    EXPECT_EQ(e.Number(), err::kPermissionDenied) << c.pattern;
    EXPECT_NE(e.Description().find(c.refused + " (только для чтения)"),
              std::string::npos)
        << e.Description();
  }
  // Name order: what came before the read-only file is gone.
  EXPECT_FALSE(Exists("a.tmp"));
  EXPECT_TRUE(Exists("b.tmp"));
  EXPECT_TRUE(Exists("c.tmp"));
  EXPECT_TRUE(Exists("locked"));
}

TEST_F(FsTest, KillRemovesALinkNotItsTarget) {
  Write("target");
  ASSERT_EQ(symlink(Path("target").c_str(), Path("link").c_str()), 0);
  fs::Kill(Path("link"));
  EXPECT_FALSE(Exists("link"));
  EXPECT_EQ(Read("target"), "x");
}

TEST_F(FsTest, KillWithoutAMatchRaisesFileNotFound) {
  Folder("folder");
  for (const std::string &pattern :
       {Path("missing"), Path("*.none"), Path("folder"), Path("nofolder/*"),
        Path("nofolder/x")}) {
    const platform::Error e = Caught([&] { fs::Kill(pattern); });
    EXPECT_EQ(e.Number(), err::kFileNotFound) << pattern;
    EXPECT_NE(e.Description().find(pattern), std::string::npos)
        << e.Description();
  }
  EXPECT_TRUE(Exists("folder"));
}

TEST_F(FsTest, FileCopyCopiesAndReplaces) {
  std::string big(300 * 1024 + 17, '\0');
  for (size_t i = 0; i < big.size(); ++i)
    big[i] = static_cast<char>(i * 31 + i / 4096);
  Write("big.bin", big);
  fs::FileCopy(Path("big.bin"), Path("copy.bin"));
  EXPECT_TRUE(Read("copy.bin") == big);

  Write("short", "new");
  Write("long", "an older and longer text");
  fs::FileCopy(WinPath("short"), WinPath("long"));
  EXPECT_EQ(Read("long"), "new");
  EXPECT_EQ(Read("short"), "new");

  Write("empty", "");
  fs::FileCopy(Path("empty"), Path("long"));
  EXPECT_EQ(Read("long"), "");
}

TEST_F(FsTest, FileCopyFailsCleanly) {
  Write("src", "data");
  Write("other", "other");
  Folder("folder");
  struct Case {
    std::string source, target;
    int32_t number;
  };
  const Case cases[] = {
      {Path("missing"), Path("t"), err::kFileNotFound},
      {Path("nofolder/x"), Path("t"), err::kPathNotFound},
      {Path("src"), Path("nofolder/t"), err::kPathNotFound},
      {Path("folder"), Path("t"), err::kPathFileAccess},
      {Path("src"), Path("folder"), err::kPathFileAccess},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.source + " -> " + c.target);
    const platform::Error e = Caught([&] { fs::FileCopy(c.source, c.target); });
    EXPECT_EQ(e.Number(), c.number);
    EXPECT_TRUE(e.Description().find(c.source) != std::string::npos ||
                e.Description().find(c.target) != std::string::npos)
        << e.Description();
  }
  EXPECT_FALSE(Exists("t"));
  EXPECT_TRUE(stdfs::is_directory(Path("folder")));
  EXPECT_EQ(Read("src"), "data");
}

// Names Windows opens and makes nowhere in a path (a reserved character,
// a control character) fail as bad file names, though posix holds them:
// the copy is refused, not made from or into them.
TEST_F(FsTest, NamesWindowsRefusesAreBadFileNamesAnywhereInAPath) {
  Write("a*b", "posix only");
  Folder("q?");
  Write("q?/x", "posix only");
  Folder("p|");
  Write("c\x05", "posix only");
  Write("src", "data");
  const std::pair<std::string, std::string> copies[] = {
      {Path("a*b"), Path("t")},
      {WinPath("q?/x"), Path("t")},
      {Path("c\x05"), Path("t")},
      {Path("src"), Path("p|/t")}};
  for (const auto &copy : copies) {
    SCOPED_TRACE(copy.first + " -> " + copy.second);
    EXPECT_EQ(Caught([&] { fs::FileCopy(copy.first, copy.second); }).Number(),
              err::kBadFileName);
  }
  EXPECT_EQ(Caught([&] { fs::MkDir(Path("p|/new")); }).Number(),
            err::kBadFileName);
  EXPECT_FALSE(Exists("t"));
  EXPECT_FALSE(Exists("p|/t"));
  EXPECT_FALSE(Exists("p|/new"));
}

TEST_F(FsTest, FileCopyOntoItselfLeavesTheFileWhole) {
  Write("self", "precious");
  Folder("sub");
  ASSERT_EQ(link(Path("self").c_str(), Path("hard").c_str()), 0);
  ASSERT_EQ(symlink(Path("self").c_str(), Path("soft").c_str()), 0);
  for (const std::string &target :
       {Path("self"), WinPath("self"), Path("sub/../self"), Path("hard")}) {
    SCOPED_TRACE(target);
    EXPECT_NE(Caught([&] { fs::FileCopy(Path("self"), target); }).Number(), 0);
    EXPECT_EQ(Read("self"), "precious");
  }
  // A link to it is replaced by a copy; the file keeps its bytes.
  fs::FileCopy(Path("self"), Path("soft"));
  EXPECT_EQ(Read("soft"), "precious");
  EXPECT_EQ(Read("self"), "precious");
}

TEST_F(FsTest, MkDirCreatesOneLevel) {
  fs::MkDir(Path("one"));
  EXPECT_TRUE(fs::FolderExists(Path("one")));
  fs::MkDir(WinPath("one\\two"));
  EXPECT_TRUE(stdfs::is_directory(Path("one/two")));
  Write("file");

  struct Case {
    std::string path;
    int32_t number;
  };
  const Case cases[] = {
      {Path("one"), err::kPathFileAccess},
      {Path("file"), err::kPathFileAccess},
      {Path("missing/child"), err::kPathNotFound},
      {Path("file/child"), err::kPathNotFound},
  };
  for (const Case &c : cases) {
    const platform::Error e = Caught([&] { fs::MkDir(c.path); });
    EXPECT_EQ(e.Number(), c.number) << c.path;
    EXPECT_NE(e.Description().find(c.path), std::string::npos)
        << e.Description();
  }
  EXPECT_FALSE(Exists("missing"));
  EXPECT_EQ(Caught([] { fs::MkDir(""); }).Number(), err::kPathNotFound);
}

TEST_F(FsTest, FolderExistsSameFileAndFileLen) {
  Write("a", "12345");
  Folder("d");
  ASSERT_EQ(link(Path("a").c_str(), Path("b").c_str()), 0);
  Write("c", "12345");
  EXPECT_TRUE(fs::FolderExists(Path("d")));
  EXPECT_TRUE(fs::FolderExists(WinPath("d")));
  EXPECT_FALSE(fs::FolderExists(Path("a")));
  EXPECT_FALSE(fs::FolderExists(Path("none")));
  EXPECT_FALSE(fs::FolderExists(""));

  EXPECT_TRUE(fs::SameFile(Path("a"), WinPath("a")));
  EXPECT_TRUE(fs::SameFile(Path("a"), Path("b")));
  EXPECT_TRUE(fs::SameFile(Path("a"), Path("d/../a")));
  EXPECT_FALSE(fs::SameFile(Path("a"), Path("c")));
  EXPECT_FALSE(fs::SameFile(Path("a"), Path("none")));
  EXPECT_FALSE(fs::SameFile(Path("none"), Path("none")));

  EXPECT_EQ(fs::FileLen(Path("a")), 5);
  EXPECT_EQ(fs::FileLen(WinPath("a")), 5);
  const platform::Error missing = Caught([&] { fs::FileLen(Path("none")); });
  EXPECT_EQ(missing.Number(), err::kFileNotFound);
  EXPECT_NE(missing.Description().find(Path("none")), std::string::npos);
  EXPECT_NE(Caught([&] { fs::FileLen(Path("d")); }).Number(), 0);
}

TEST_F(FsTest, DeleteFolderRemovesATree) {
  Folder("tree/a/b/c");
  Folder("tree/.hidden/x");
  Folder("tree/empty");
  Write("tree/top.txt");
  Write("tree/a/one.bin");
  Write("tree/a/b/c/deep.bin");
  Write("tree/.hidden/x/.dot");
  ASSERT_EQ(mkfifo(Path("tree/a/pipe").c_str(), 0666), 0);
  // Links inside go as links: what they point to stays.
  Folder("outside");
  Write("outside/keep.txt");
  ASSERT_EQ(symlink(Path("outside").c_str(), Path("tree/a/dirlink").c_str()),
            0);
  ASSERT_EQ(
      symlink(Path("outside/keep.txt").c_str(), Path("tree/filelink").c_str()),
      0);

  fs::FileSystemObject fso;
  fso.DeleteFolder(WinPath("tree"));
  EXPECT_FALSE(Exists("tree"));
  EXPECT_EQ(Read("outside/keep.txt"), "x");
}

TEST_F(FsTest, DeleteFolderRemovesATreeDeeperThanAPathCanName) {
  Folder("deep");
  int fd = open(Path("deep").c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  const std::string level = "level-of-tree";
  for (int depth = 0; depth < 350; ++depth) { // about 5000 characters
    ASSERT_EQ(mkdirat(fd, level.c_str(), 0777), 0) << depth;
    const int child = openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY);
    close(fd);
    ASSERT_GE(child, 0);
    fd = child;
  }
  const int file = openat(fd, "leaf", O_WRONLY | O_CREAT, 0666);
  ASSERT_GE(file, 0);
  close(file);
  close(fd);
  fs::DeleteFolder(Path("deep"));
  EXPECT_FALSE(Exists("deep"));
}

TEST_F(FsTest, DeleteFolderWithAWildcardInTheLastComponent) {
  for (const char *name : {"tmp1/x", "TMP2", ".tmp3", "other", "keep/tmp4"})
    Folder(name);
  Write("tmp5.txt");
  fs::DeleteFolder(Path("tmp*"));
  EXPECT_FALSE(Exists("tmp1"));
  EXPECT_FALSE(Exists("TMP2"));
  EXPECT_TRUE(Exists(".tmp3"));
  EXPECT_TRUE(Exists("tmp5.txt")); // a file is no folder
  EXPECT_TRUE(Exists("other"));
  EXPECT_TRUE(Exists("keep/tmp4"));

  fs::DeleteFolder(Path(".*")); // hidden folders match too
  EXPECT_FALSE(Exists(".tmp3"));
  EXPECT_TRUE(Exists("other"));
  EXPECT_TRUE(stdfs::is_directory(dir_.Path()));
}

TEST_F(FsTest, DeleteFolderWithoutAMatchRaisesPathNotFound) {
  Write("file");
  Folder("sub");
  for (const std::string &pattern :
       {Path("missing"), Path("nothing*"), Path("file"), Path("fil?"),
        Path("missing/sub"), Path("file/sub"), Path("sub/.."), Path("sub/."),
        std::string()}) {
    const platform::Error e = Caught([&] { fs::DeleteFolder(pattern); });
    EXPECT_EQ(e.Number(), err::kPathNotFound) << pattern;
    EXPECT_NE(e.Description().find(pattern), std::string::npos)
        << e.Description();
  }
  EXPECT_TRUE(Exists("file"));
  EXPECT_TRUE(Exists("sub"));
}

TEST_F(FsTest, DeleteFolderWithATrailingSeparator) {
  Folder("a/b");
  fs::DeleteFolder(WinPath("a") + "\\");
  EXPECT_FALSE(Exists("a"));
}

TEST_F(FsTest, DeleteFolderRemovesALinkToAFolderButNotItsContents) {
  Folder("real");
  Write("real/data");
  ASSERT_EQ(symlink(Path("real").c_str(), Path("link").c_str()), 0);
  fs::DeleteFolder(Path("link"));
  EXPECT_FALSE(Exists("link"));
  EXPECT_EQ(Read("real/data"), "x");
}

TEST_F(FsTest, DeleteFolderStopsAtAReadOnlyFile) {
  Folder("tree/sub");
  Write("tree/a.txt");
  Write("tree/b.txt");
  Write("tree/c.txt");
  Write("tree/sub/d.txt");
  ASSERT_EQ(chmod(Path("tree/b.txt").c_str(), 0444), 0);
  const platform::Error e = Caught([&] { fs::DeleteFolder(Path("tree")); });
  EXPECT_EQ(e.Number(), err::kPermissionDenied);
  EXPECT_NE(e.Description().find("b.txt"), std::string::npos)
      << e.Description();
  // Entries go in name order: what came before the read-only file is gone.
  EXPECT_FALSE(Exists("tree/a.txt"));
  EXPECT_TRUE(Exists("tree/b.txt"));
  EXPECT_TRUE(Exists("tree/c.txt"));
  EXPECT_TRUE(Exists("tree/sub/d.txt"));
}

TEST_F(FsTest, DeleteFolderDoesNotForceAReadOnlyFolder) {
  Folder("tree/locked");
  Write("tree/locked/inner");
  ASSERT_EQ(chmod(Path("tree/locked").c_str(), 0555), 0);
  EXPECT_EQ(Caught([&] { fs::DeleteFolder(Path("tree")); }).Number(),
            err::kPermissionDenied);
  EXPECT_TRUE(Exists("tree/locked/inner"));
}

// Runs change as a user that mode bits bind: root, which they do not,
// hands the tree to nobody and changes it as nobody. True when change
// raised nothing.
bool ChangedAsAUser(const std::string &tree,
                    const std::function<void()> &change) {
  const uid_t nobody = 65534;
  if (geteuid() == 0) {
    if (lchown(tree.c_str(), nobody, nobody) != 0)
      return false;
    for (const auto &entry : stdfs::recursive_directory_iterator(tree))
      if (lchown(entry.path().c_str(), nobody, nobody) != 0)
        return false;
  }
  const pid_t child = fork();
  if (child == 0) {
    if (geteuid() == 0 && (setgid(nobody) != 0 || setuid(nobody) != 0))
      _exit(2);
    try {
      change();
    } catch (...) {
      _exit(1);
    }
    _exit(0);
  }
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child &&
         WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(FsTest, AReadOnlyFolderStopsNoChangeToItsEntries) {
  // Windows keeps a folder's read-only mark but lets its entries go, come
  // and be renamed, and the folder move; the folder keeps its mark.
  struct Case {
    const char *what;
    std::function<void()> change;
    const char *gone;
    const char *made;
  };
  const Case cases[] = {
      {"delete", [this] { fs::Kill(WinPath("ro/a.txt")); }, "ro/a.txt",
       nullptr},
      {"copy", [this] { fs::FileCopy(Path("src.txt"), WinPath("ro/b.txt")); },
       nullptr, "ro/b.txt"},
      {"mkdir", [this] { fs::MkDir(WinPath("ro/new")); }, nullptr, "ro/new"},
      {"mkdir new\\", [this] { fs::MkDir(WinPath("ro/new") + "\\"); }, nullptr,
       "ro/new"},
      {"rmdir", [this] { fs::DeleteFolder(WinPath("ro/sub")); }, "ro/sub/x.txt",
       nullptr},
      {"rename",
       [this] { fs::Rename(WinPath("ro/a.txt"), WinPath("ro/c.txt")); },
       "ro/a.txt", "ro/c.txt"},
      {"remove empty", [this] { fs::RemoveEmptyFolder(WinPath("ro/empty")); },
       "ro/empty", nullptr},
      // Posix asks a folder moved to another for its own write permission.
      {"move away and back",
       [this] {
         fs::MkDir(WinPath("away"));
         fs::Rename(WinPath("ro"), WinPath("away/ro"));
         fs::Rename(WinPath("away/ro"), WinPath("ro"));
       },
       "away/ro", "ro/sub/x.txt"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Folder("ro/sub");
    Folder("ro/empty");
    Write("ro/a.txt");
    Write("ro/sub/x.txt");
    Write("src.txt", "new");
    ASSERT_EQ(chmod(Path("ro").c_str(), 0555), 0);
    EXPECT_TRUE(ChangedAsAUser(dir_.Path(), c.change));
    if (c.gone != nullptr) {
      EXPECT_FALSE(Exists(c.gone));
    }
    if (c.made != nullptr) {
      EXPECT_TRUE(Exists(c.made));
    }
    struct stat st {};
    ASSERT_EQ(stat(Path("ro").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0555u);
    ASSERT_EQ(chmod(Path("ro").c_str(), 0755), 0);
    stdfs::remove_all(Path("ro"));
    stdfs::remove_all(Path("away"));
  }
}

TEST_F(FsTest, FileCopyReplacesALinkAtTheTargetAndNeverWritesThroughIt) {
  Write("src", "new");
  Write("outside", "secret");
  Write("shared", "shared bytes");
  Folder("folder");
  ASSERT_EQ(symlink(Path("outside").c_str(), Path("sym").c_str()), 0);
  ASSERT_EQ(symlink(Path("gone").c_str(), Path("dangling").c_str()), 0);
  ASSERT_EQ(symlink(Path("folder").c_str(), Path("dirlink").c_str()), 0);
  ASSERT_EQ(link(Path("shared").c_str(), Path("hard").c_str()), 0);
  for (const char *target : {"sym", "dangling", "dirlink", "hard"}) {
    SCOPED_TRACE(target);
    fs::FileCopy(Path("src"), WinPath(target));
    EXPECT_TRUE(stdfs::is_regular_file(stdfs::symlink_status(Path(target))));
    EXPECT_EQ(Read(target), "new");
  }
  EXPECT_EQ(Read("outside"), "secret");
  EXPECT_EQ(Read("shared"), "shared bytes");
  EXPECT_FALSE(Exists("gone"));
  EXPECT_TRUE(stdfs::is_empty(Path("folder")));
}

TEST_F(FsTest, OutputNeverReplacesOrWritesThroughALink) {
  // Entries of an extraction and the pack file: a link is refused.
  Write("outside", "secret");
  ASSERT_EQ(symlink(Path("outside").c_str(), Path("sym").c_str()), 0);
  for (const platform::OpenMode mode :
       {platform::OpenMode::Output, platform::OpenMode::PrivateOutput,
        platform::OpenMode::CreateNew}) {
    const int16_t number = platform::files::FreeFile();
    EXPECT_NE(Caught([&] {
                platform::files::Open(number, Path("sym"), mode);
              }).Number(),
              0);
  }
  EXPECT_TRUE(stdfs::is_symlink(Path("sym")));
  EXPECT_EQ(Read("outside"), "secret");
}

TEST_F(FsTest, WhatTheRunMakesIsItsOwnersWhateverTheUmask) {
  // A umask without the owner's write bit made every new file read-only,
  // and the run refused its own pack file; Windows makes none so. A file
  // or folder already there keeps its mode, and a read-only one its mark.
  Write("source", "bytes");
  Write("read-only", "old");
  ASSERT_EQ(chmod(Path("read-only").c_str(), 0400), 0);
  const auto modeOf = [this](const std::string &name) {
    struct stat st {};
    EXPECT_EQ(lstat(Path(name).c_str(), &st), 0) << name;
    return st.st_mode & 07777;
  };
  const struct {
    mode_t umask;
    mode_t file, folder; // what a copy and MkDir make
  } cases[] = {{0277, 0600, 0700}, {0777, 0600, 0700}, {0027, 0640, 0750}};
  for (const auto &c : cases) {
    const std::string tag = std::to_string(c.umask);
    SCOPED_TRACE(tag);
    const mode_t saved = umask(c.umask);
    fs::MkDir(Path("folder" + tag));
    fs::FileCopy(Path("source"), Path("folder" + tag + "/copy"));
    for (const platform::OpenMode mode :
         {platform::OpenMode::PrivateOutput, platform::OpenMode::CreateNew,
          platform::OpenMode::ReadWrite}) {
      const std::string name =
          "open" + tag + "-" + std::to_string(static_cast<int>(mode));
      const int16_t number = platform::files::FreeFile();
      platform::files::Open(number, Path(name), mode);
      platform::files::Close(number);
    }
    const int copyOverReadOnly =
        Caught([&] {
          fs::FileCopy(Path("source"), Path("read-only"));
        }).Number();
    umask(saved);
    EXPECT_NE(copyOverReadOnly, 0);
    EXPECT_EQ(modeOf("folder" + tag), c.folder);
    EXPECT_EQ(modeOf("folder" + tag + "/copy"), c.file);
    EXPECT_EQ(Read("folder" + tag + "/copy"), "bytes");
    for (const platform::OpenMode mode :
         {platform::OpenMode::PrivateOutput, platform::OpenMode::CreateNew})
      EXPECT_EQ(
          modeOf("open" + tag + "-" + std::to_string(static_cast<int>(mode))),
          0600u);
    EXPECT_EQ(
        modeOf("open" + tag + "-" +
               std::to_string(static_cast<int>(platform::OpenMode::ReadWrite))),
        c.file);
  }
  EXPECT_EQ(modeOf("read-only"), 0400u);
  EXPECT_EQ(Read("read-only"), "old");
}

TEST_F(FsTest, KindOfLooksAtTheNameItself) {
  Write("file");
  Folder("folder");
  ASSERT_EQ(symlink(Path("folder").c_str(), Path("to_folder").c_str()), 0);
  ASSERT_EQ(symlink(Path("gone").c_str(), Path("dangling").c_str()), 0);
  ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0666), 0);
  const struct {
    const char *name;
    fs::EntryKind kind;
  } cases[] = {{"file", fs::EntryKind::File},
               {"folder", fs::EntryKind::Folder},
               {"to_folder", fs::EntryKind::Link},
               {"dangling", fs::EntryKind::Link},
               {"fifo", fs::EntryKind::Other},
               {"gone", fs::EntryKind::Missing},
               {"file/below", fs::EntryKind::Missing},
               // Names as Windows finds them: without regard to case, without
               // the dots that end them.
               {"FILE", fs::EntryKind::File},
               {"Folder.", fs::EntryKind::Folder},
               {"FILE/below", fs::EntryKind::Missing}};
  for (const auto &c : cases)
    EXPECT_EQ(fs::KindOf(Path(c.name)), c.kind) << c.name;

  // RemoveFileOrLink takes files and links, never what a link points to.
  for (const char *name : {"file", "to_folder", "dangling", "gone"})
    fs::RemoveFileOrLink(WinPath(name));
  EXPECT_FALSE(Exists("file"));
  EXPECT_FALSE(Exists("to_folder"));
  EXPECT_FALSE(Exists("dangling"));
  EXPECT_TRUE(stdfs::is_directory(Path("folder")));
}

TEST_F(FsTest, PrivateFolderRefusesWhatSomeoneElseCouldHavePreparedOrChange) {
  Folder("mine");
  ASSERT_EQ(chmod(Path("mine").c_str(), 0755), 0);
  Folder("real");
  ASSERT_EQ(symlink(Path("real").c_str(), Path("link").c_str()), 0);
  Write("file", "a file, no folder");
  ASSERT_EQ(symlink(Path("file").c_str(), Path("file_link").c_str()), 0);
  struct Case {
    const char *name;
    mode_t mode; // 0: as made
    int32_t number;
    const char *why;
  };
  const Case cases[] = {
      {"link", 0, err::kPermissionDenied, "ссылка"},
      {"file_link", 0, err::kPermissionDenied, "ссылка"},
      {"group", 0775, err::kPermissionDenied, "другие пользователи"},
      {"others", 0757, err::kPermissionDenied, "другие пользователи"},
      {"sticky", 01777, err::kPermissionDenied, "другие пользователи"},
      // No folder there at all, whatever stands at the name.
      {"file", 0, err::kPathNotFound, "Путь не найден"},
      {"file/below", 0, err::kPathNotFound, "Путь не найден"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    if (c.mode != 0) {
      Folder(c.name);
      ASSERT_EQ(chmod(Path(c.name).c_str(), c.mode), 0);
    }
    const platform::Error e =
        Caught([&] { const fs::PrivateFolder folder(WinPath(c.name)); });
    EXPECT_EQ(e.Number(), c.number);
    EXPECT_NE(e.Description().find(WinPath(c.name)), std::string::npos);
    EXPECT_NE(e.Description().find(c.why), std::string::npos)
        << e.Description();
    if (c.number == err::kPathNotFound) {
      EXPECT_EQ(e.Description().find("ссылка"), std::string::npos)
          << e.Description();
    }
  }
  EXPECT_EQ(
      Caught([&] { const fs::PrivateFolder folder(Path("none")); }).Number(),
      err::kPathNotFound);
  // Another owner: only root can make one here.
  if (geteuid() == 0) {
    Folder("theirs");
    ASSERT_EQ(chown(Path("theirs").c_str(), 12345, 12345), 0);
    EXPECT_NE(Caught([&] { const fs::PrivateFolder folder(Path("theirs")); })
                  .Description()
                  .find("другому пользователю"),
              std::string::npos);
  }
  const fs::PrivateFolder mine(WinPath("mine"));
  EXPECT_TRUE(mine.Empty());
  Write("mine/entry");
  EXPECT_FALSE(mine.Empty());
}

TEST_F(FsTest, PrivateFolderOpensItsFilesInTheFolderItHolds) {
  Folder("temp");
  Write("temp/Script", "ours");
  const fs::PrivateFolder held(WinPath("temp"));
  // Someone puts another folder in its place: the file still comes from
  // the one held.
  ASSERT_EQ(rename(Path("temp").c_str(), Path("moved").c_str()), 0);
  Folder("temp");
  Write("temp/script", "planted");
  platform::os::File file(
      held.Path() + "\\script",
      held.OpenFile("script", platform::OpenMode::ReadOnly));
  char bytes[8] = {};
  EXPECT_EQ(
      platform::os::ReadAt(file.Handle(), 0, bytes, sizeof bytes, file.Path()),
      4u);
  EXPECT_EQ(std::string(bytes, 4), "ours");
  // Never through a link at the name; a missing file made by ReadWrite.
  ASSERT_EQ(symlink(Path("moved/Script").c_str(), Path("moved/link").c_str()),
            0);
  EXPECT_EQ(Caught([&] {
              platform::os::File link(
                  "link", held.OpenFile("link", platform::OpenMode::ReadWrite));
            }).Number(),
            err::kPathFileAccess);
  platform::os::File made("new",
                          held.OpenFile("new", platform::OpenMode::ReadWrite));
  EXPECT_TRUE(Exists("moved/new"));
}

TEST_F(FsTest, PrivateModesWhateverTheUmask) {
  const mode_t old = umask(0);
  fs::MkPrivateDir(WinPath("private"));
  fs::MkDir(WinPath("shared"));
  Write("private/old", "old");
  ASSERT_EQ(chmod(Path("private/old").c_str(), 0666), 0);
  for (const char *name : {"private/new", "private/old"}) {
    const int16_t number = platform::files::FreeFile();
    platform::files::Open(number, Path(name),
                          platform::OpenMode::PrivateOutput);
    platform::files::Close(number);
  }
  const int16_t number = platform::files::FreeFile();
  platform::files::Open(number, Path("private/pack"),
                        platform::OpenMode::CreateNew);
  platform::files::Close(number);
  umask(0777); // cuts what mkdir and open are asked for
  fs::MkPrivateDir(WinPath("cut"));
  umask(old);
  const auto mode = [&](const char *name) {
    struct stat st {};
    EXPECT_EQ(lstat(Path(name).c_str(), &st), 0) << name;
    return st.st_mode & 07777;
  };
  EXPECT_EQ(mode("private"), 0700u);
  EXPECT_EQ(mode("cut"), 0700u);
  EXPECT_EQ(mode("shared"), 0777u);
  EXPECT_EQ(mode("private/new"), 0600u);
  EXPECT_EQ(mode("private/old"), 0600u);
  EXPECT_EQ(mode("private/pack"), 0600u);
}

TEST_F(FsTest, ForcedDeleteFolderClearsReadOnlyMarksButFollowsNoLink) {
  Folder("tree/locked");
  Write("tree/a-readonly", "r");
  Write("tree/locked/inner", "i");
  Write("outside", "keep");
  ASSERT_EQ(chmod(Path("outside").c_str(), 0444), 0);
  ASSERT_EQ(symlink(Path("outside").c_str(), Path("tree/link").c_str()), 0);
  ASSERT_EQ(chmod(Path("tree/a-readonly").c_str(), 0444), 0);
  ASSERT_EQ(chmod(Path("tree/locked").c_str(), 0555), 0);
  EXPECT_EQ(Caught([&] { fs::DeleteFolder(Path("tree")); }).Number(),
            err::kPermissionDenied);
  EXPECT_TRUE(Exists("tree/a-readonly"));
  fs::DeleteFolder(WinPath("tree"), true);
  EXPECT_FALSE(Exists("tree"));
  struct stat st {};
  ASSERT_EQ(stat(Path("outside").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0444u);
}

TEST_F(FsTest, PathsAreReadAsWindowsReadsThem) {
  // The last name loses the dots and spaces that end it ("readme." is
  // readme); a name followed by a separator loses one dot and keeps its
  // spaces; "." and ".." are text, the folders on the way need not exist.
  Write("readme", "text");
  Folder("dir");
  Folder("sp ");
  Write("sp /f", "f");
  EXPECT_EQ(fs::FileLen(Path("readme.")), 4);
  EXPECT_EQ(fs::FileLen(WinPath("dir. \\..\\readme . ")), 4);
  EXPECT_EQ(fs::FileLen(WinPath("nosuch\\..\\.\\readme")), 4);
  EXPECT_EQ(fs::FileLen(WinPath("readme\\..\\readme")), 4);
  EXPECT_EQ(fs::FileLen(WinPath("sp \\f")), 1);
  // The dots and spaces that end the name left last go, wherever it stands.
  EXPECT_EQ(fs::FileLen(WinPath("readme. \\.")), 4);
  EXPECT_EQ(fs::FileLen(WinPath("readme..\\.")), 4);
  EXPECT_EQ(fs::FileLen(WinPath("readme \\x\\..")), 4);
  EXPECT_EQ(fs::FileLen(WinPath("dir.\\..\\readme")), 4);
  EXPECT_TRUE(fs::FolderExists(WinPath("dir\\..")));
  EXPECT_TRUE(fs::FolderExists("nosuch\\..")); // the current folder
  fs::FileCopy(Path("readme.."), Path("dir./copy."));
  EXPECT_EQ(Read("dir/copy"), "text");
  fs::MkDir(WinPath("made \\")); // a separator after it keeps the space
  EXPECT_TRUE(std::filesystem::is_directory(Path("made ")));
  // A name before a separator loses one dot, not one of dots alone.
  Folder("two.");
  Write("two./f", "2");
  EXPECT_EQ(fs::FileLen(WinPath("two..\\f")), 1);
  fs::FileCopy(Path("readme"), WinPath("new. \\."));
  EXPECT_EQ(Read("new"), "text");
  EXPECT_FALSE(Exists("new. "));
  // A name that ends in a dot cannot be addressed: no listing offers it.
  Write("dir/odd.", "x");
  EXPECT_EQ(fs::ListFiles(Path("dir/*")), Names{"copy"});
}

TEST_F(FsTest, NamesAreFoundWithoutRegardToCase) {
  // As on Windows: a name that is not there as written is looked up in its
  // folder case-insensitively, in every component and by every operation.
  Folder("Data/Sub");
  Write("Data/Sub/App.exe", "app");
  Write("Data/Ґрунт.txt", "ґ");
  Write("new", "new bytes");
  EXPECT_EQ(fs::FileLen(WinPath("DATA\\sub\\APP.EXE")), 3);
  EXPECT_EQ(fs::ListFiles(WinPath("data\\SUB\\app.exe")), Names{"App.exe"});
  EXPECT_EQ(fs::ListFiles(WinPath("data\\ґРУНТ.TXT")), Names{"Ґрунт.txt"});
  EXPECT_EQ(fs::ListFiles(WinPath("dAtA\\*.EXE")), Names{});
  EXPECT_EQ(fs::ListFiles(WinPath("dAtA\\sub\\*.EXE")), Names{"App.exe"});
  EXPECT_TRUE(fs::FolderExists(WinPath("DATA\\SUB")));
  EXPECT_TRUE(
      fs::SameFile(WinPath("data\\sub\\app.exe"), Path("Data/Sub/App.exe")));
  EXPECT_EQ(fs::KindOf(WinPath("DATA")), fs::EntryKind::Folder);
  const int16_t number = platform::files::FreeFile();
  platform::files::Open(number, WinPath("data\\sub\\app.exe"),
                        platform::OpenMode::ReadOnly);
  EXPECT_EQ(platform::files::Lof(number), 3);
  platform::files::Close(number);

  // A copy over another spelling replaces the file: no second one.
  fs::FileCopy(WinPath("NEW"), WinPath("data\\sub\\app.EXE"));
  EXPECT_EQ(Read("Data/Sub/App.exe"), "new bytes");
  // A new name in a folder written in another case lands in that folder.
  fs::FileCopy(WinPath("new"), WinPath("DATA\\SUB\\Added.txt"));
  EXPECT_EQ(Read("Data/Sub/Added.txt"), "new bytes");
  EXPECT_EQ(std::distance(stdfs::directory_iterator(Path("Data/Sub")),
                          stdfs::directory_iterator()),
            2); // App.exe and Added.txt
  EXPECT_EQ(Caught([&] { fs::MkDir(WinPath("data")); }).Number(),
            err::kPathFileAccess);
  fs::MkDir(WinPath("DATA\\Made"));
  EXPECT_TRUE(stdfs::is_directory(Path("Data/Made")));
  fs::Kill(WinPath("data\\SUB\\ADDED.TXT"));
  EXPECT_FALSE(Exists("Data/Sub/Added.txt"));
  fs::DeleteFolder(WinPath("data\\made"));
  EXPECT_FALSE(Exists("Data/Made"));
  fs::DeleteFolder(WinPath("DATA"));
  EXPECT_FALSE(Exists("Data"));
  EXPECT_EQ(Read("new"), "new bytes");
}

TEST_F(FsTest, OfSeveralNamesTheExactOneElseTheFirstInListingOrder) {
  // Names that differ only in case can stand side by side on posix.
  Write("readme.TXT", "small");
  Write("README.txt", "capital");
  EXPECT_EQ(fs::ListFiles(Path("readme.TXT")), Names{"readme.TXT"});
  EXPECT_EQ(fs::ListFiles(Path("README.txt")), Names{"README.txt"});
  EXPECT_EQ(fs::ListFiles(Path("Readme.txt")), Names{"README.txt"});
  fs::Kill(Path("ReadMe.Txt"));
  EXPECT_EQ(Read("readme.TXT"), "small");
  EXPECT_FALSE(Exists("README.txt"));
}

TEST_F(FsTest, KeptNamesFollowAFolderMovedAndAnotherMadeInItsPlace) {
  // While names are kept, a folder moved away takes its names along: a new
  // name in the folder made in its place under the same path is written as
  // given, not in the case of a name of the folder moved.
  const fs::KeepFolderNames keep;
  Folder("Sub");
  Write("Sub/old.txt", "old");
  EXPECT_EQ(fs::KindOf(WinPath("SUB\\OLD.TXT")), fs::EntryKind::File);
  fs::Rename(WinPath("Sub"), WinPath("Moved"));
  fs::MkDir(WinPath("Sub"));
  fs::FileCopy(WinPath("MOVED\\OLD.TXT"), WinPath("SUB\\Old.Txt"));
  EXPECT_EQ(Read("Sub/Old.Txt"), "old");
  EXPECT_EQ(Read("Moved/old.txt"), "old");
}

} // namespace

// Windows opens the program's files and holds its temporary folder without
// delete sharing: until closed they are neither deleted nor moved, by this
// program either, though a file may still be written over.
TEST_F(FsTest, WhatTheProgramHoldsOpenStaysUntilClosed) {
  Folder("d");
  Write("d/held", "old");
  Write("d/other");
  Folder("p");
  {
    platform::os::File file(WinPath("d/held"), platform::OpenMode::ReadOnly);
    const fs::PrivateFolder folder(WinPath("p"));
    const std::pair<const char *, std::function<void()>> refused[] = {
        {"delete", [&] { fs::Kill(WinPath("d/HELD")); }},
        {"delete by pattern", [&] { fs::Kill(WinPath("d/*")); }},
        {"rename", [&] { fs::Rename(WinPath("d/held"), WinPath("d/moved")); }},
        {"folder removal", [&] { fs::DeleteFolder(WinPath("d"), true); }},
        {"held folder removal", [&] { fs::RemoveEmptyFolder(WinPath("p")); }},
        {"held folder rename", [&] { fs::Rename(WinPath("p"), WinPath("q")); }},
    };
    for (const auto &[what, act] : refused)
      EXPECT_EQ(Caught(act).Number(), err::kPermissionDenied) << what;
    EXPECT_TRUE(Exists("d/held"));
    EXPECT_TRUE(Exists("d/other")); // after "held" in name order
    EXPECT_TRUE(Exists("p"));
    fs::FileCopy(WinPath("d/other"), WinPath("d/held"));
    EXPECT_EQ(Read("d/held"), "x");
  }
  fs::Rename(WinPath("d/held"), WinPath("d/moved"));
  fs::DeleteFolder(WinPath("d"), false);
  fs::RemoveEmptyFolder(WinPath("p"));
  EXPECT_FALSE(Exists("d"));
  EXPECT_FALSE(Exists("p"));
}

// ---- paths past PATH_MAX ---------------------------------------------------

TEST(PosixPaths, TooLongForWindowsCountsUtf16UnitsOfTheLongForm) {
  // "\\?\C:" before the path and its NUL make 7 units; a relative path
  // is joined to the current folder (its parent for a leading "..").
  const auto repeat = [](std::string_view unit, size_t count) {
    std::string out = "/";
    for (size_t k = 0; k < count; ++k)
      out += unit;
    return out;
  };
  const std::string cwd = stdfs::current_path().string();
  const size_t parent = std::max<size_t>(1, cwd.rfind('/'));
  const auto relative = [&](std::string_view before, size_t count) {
    return std::string(before) + repeat("a", count).substr(1);
  };
  const struct {
    std::string path;
    bool tooLong;
  } rows[] = {
      {repeat("a", 32759), false},        // 32,767 units with the NUL
      {repeat("a", 32760), true},         // one more
      {repeat("\xD0\xB6", 32759), false}, // two bytes, one unit each
      {repeat("\xD0\xB6", 32760), true},
      {repeat("\xF0\x9F\x98\x80", 16379), false}, // a surrogate pair each
      {repeat("\xF0\x9F\x98\x80", 16380), true},
      {relative("", 32759 - cwd.size()), false},
      {relative("", 32760 - cwd.size()), true},
      {relative("../", 32759 - parent), false},
      {relative("../", 32760 - parent), true},
  };
  for (const auto &row : rows)
    EXPECT_EQ(platform::posix::TooLongForWindows(row.path), row.tooLong)
        << row.path.size() << " bytes";
}

// A link on the way below a folder is found whatever the case the path
// writes the folders in, and at any depth (past PATH_MAX too); the last
// name, a folder missing on the way or a file on it hides none.
TEST_F(FsTest, LinkOnTheWayLooksAtEveryFolderBetween) {
  namespace sys = platform::posix::sys;
  // 20 names of 250 bytes below d: some 5,000 bytes, made a piece at a time.
  Folder("a");
  Folder("a/b");
  Folder("d");
  Folder("outside");
  Write("a/file.txt");
  std::string deep = "d";
  for (int k = 0; k < 20; ++k) {
    deep += '/' + std::string(250, static_cast<char>('a' + k));
    ASSERT_EQ(sys::MkDir(Path(deep).c_str(), 0755, deep), 0) << errno;
  }
  const int bottom =
      sys::Open(deep, Path(deep).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(bottom, 0) << errno;
  ASSERT_EQ(symlinkat(Path("outside").c_str(), bottom, "lnk"), 0);
  ::close(bottom);
  for (const char *link : {"a/b/lnk", "a/lnk", "lnk"})
    ASSERT_EQ(symlink(Path("outside").c_str(), Path(link).c_str()), 0);
  std::string winDeep = deep;
  for (char &c : winDeep)
    if (c == '/')
      c = '\\';
  const struct {
    std::string below;
    bool link;
  } cases[] = {
      {"a\\b\\c.txt", false},
      {"a\\b\\lnk\\c.txt", true},
      {"A\\B\\LNK\\c.txt", true}, // found without regard to case
      {"a\\b\\lnk", false},       // the last name is no folder between
      {"lnk\\x\\y.txt", true},
      {"a\\lnk.\\x.txt", true},       // a name ending in a dot
      {"a\\none\\lnk\\x.txt", false}, // a folder missing on the way
      {"a\\file.txt\\x.txt", false},  // a file on the way
      {winDeep + "\\x.txt", false},
      {winDeep + "\\lnk\\x.txt", true},
      {"D" + winDeep.substr(1) + "\\LNK\\x.txt", true},
  };
  std::string top = dir_.Path();
  for (char &c : top)
    if (c == '/')
      c = '\\';
  for (const auto &c : cases) {
    SCOPED_TRACE(c.below.substr(0, 40));
    EXPECT_EQ(fs::LinkOnTheWay(top, top + '\\' + c.below), c.link);
  }
}

TEST_F(FsTest, PathCallsReachPastPathMax) {
  namespace sys = platform::posix::sys;
  // 20 names of 250 bytes: some 5,000 bytes, which Linux takes in no call.
  std::string deep = dir_.Path();
  for (int k = 0; k < 20; ++k) {
    deep += '/' + std::string(250, static_cast<char>('a' + k));
    ASSERT_EQ(sys::MkDir(deep.c_str(), 0755, deep), 0) << errno;
  }
  const std::string file = deep + "/f.txt";
  const int fd =
      sys::Open(file, file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0) << errno;
  ::close(fd);
  struct stat st {};
  EXPECT_EQ(sys::LStat(file.c_str(), &st, file), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  const std::string moved = deep + "/g.txt";
  EXPECT_EQ(sys::Rename(file.c_str(), moved.c_str(), file), 0) << errno;

  // A piece on the way that is a file, or that is missing, fails as the
  // whole path would.
  const struct {
    std::string path;
    int error;
  } failing[] = {
      {moved + "/x", ENOTDIR},
      {dir_.Path() + "/none/" + deep.substr(dir_.Path().size() + 1), ENOENT},
  };
  for (const auto &row : failing) {
    errno = 0;
    EXPECT_EQ(sys::Stat(row.path.c_str(), &st, row.path), -1);
    EXPECT_EQ(errno, row.error) << row.path.size();
  }
  EXPECT_EQ(sys::Unlink(moved.c_str(), moved), 0) << errno;
  fs::DeleteFolder(WinPath(std::string(250, 'a')), false);
  EXPECT_FALSE(Exists(std::string(250, 'a')));
}
