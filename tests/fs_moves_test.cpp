// What an install that can be undone asks of the file system: renames that
// never replace, empty folders removed, files in use told, file times set,
// one run at a time.
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/env.h"
#include "platform/error.h"
#include "platform/fs.h"
#include "platform/run_lock.h"
#include "tests/support/caught.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = platform::fs;
namespace err = platform::err;
using testsupport::Exists;
using testsupport::ReadFile;
using testsupport::WriteFile;

// The error number an action raises; 0 when it raises nothing.
int32_t Raised(const std::function<void()> &action) {
  try {
    action();
  } catch (const platform::Error &e) {
    return e.Number();
  }
  return 0;
}

TEST(FsMoves, RenameNeverReplaces) {
  testsupport::TempFolder dir;
  WriteFile(dir / "app.exe", "old");
  WriteFile(dir / "taken", "keep");
  testsupport::MakeFolder(dir / "sub");
  const struct {
    std::string from, to;
    int32_t error;
  } cases[] = {
      {dir / "APP.EXE", dir / "taken", err::kPathFileAccess},
      {dir / "missing", dir / "new", err::kFileNotFound},
      {dir / "taken /taken", dir / "new", err::kPathNotFound},
      {dir / "app.exe", dir / "nofolder/app.exe", err::kPathNotFound},
      {dir / "taken", dir / "sub/../TAKEN", 0},  // onto itself
      {dir / "APP.EXE", dir / "sub/app.exe", 0}, // found as Windows finds it
      {dir / "sub", dir / "sub/in", err::kPathFileAccess}, // into itself
      {dir / "sub", dir / "moved", 0}, // a folder with its files
  };
  for (const auto &c : cases)
    EXPECT_EQ(Raised([&] { fs::Rename(c.from, c.to); }), c.error) << c.from;
  EXPECT_EQ(ReadFile(dir / "taken"), "keep");
  EXPECT_EQ(ReadFile(dir / "moved/app.exe"), "old");
  EXPECT_FALSE(Exists(dir / "app.exe"));
}

TEST(FsMoves, RemoveEmptyFolderRemovesOnlyWhatIsEmpty) {
  testsupport::TempFolder dir;
  testsupport::MakeFolder(dir / "full");
  WriteFile(dir / "full/f", "x");
  testsupport::MakeFolder(dir / "Empty");
  ASSERT_EQ(symlink("full", (dir / "link").c_str()), 0);
  WriteFile(dir / "file", "x");
  const struct {
    std::string name;
    int32_t error;
  } cases[] = {
      {"full", err::kPathFileAccess},
      {"file", err::kPathNotFound}, // as Windows: no folder's name
      {"missing", err::kFileNotFound},
      {"none/missing", err::kPathNotFound},
      {"EMPTY", 0},
      {"link", 0}, // the link itself goes, its folder stays
  };
  for (const auto &c : cases)
    EXPECT_EQ(Raised([&] { fs::RemoveEmptyFolder(dir / c.name); }), c.error)
        << c.name;
  EXPECT_FALSE(Exists(dir / "Empty"));
  EXPECT_FALSE(Exists(dir / "link"));
  EXPECT_EQ(ReadFile(dir / "full/f"), "x");
}

TEST(FsMoves, AFileOpenElsewhereIsInUse) {
  testsupport::TempFolder dir;
  WriteFile(dir / "app.exe", "x");
  testsupport::MakeFolder(dir / "folder");
  EXPECT_FALSE(fs::InUse(dir / "app.exe"));
  const int held = open((dir / "app.exe").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(held, 0);
  EXPECT_TRUE(fs::InUse(dir / "APP.EXE"));
  close(held);
  EXPECT_FALSE(fs::InUse(dir / "app.exe"));
  EXPECT_FALSE(fs::InUse(dir / "missing"));
  EXPECT_FALSE(fs::InUse(dir / "folder"));
}

TEST(FsMoves, AFileInUseBelowAFolderIsFoundWithoutFollowingLinks) {
  testsupport::TempFolder dir;
  testsupport::MakeFolder(dir / "outside");
  WriteFile(dir / "outside/held.dll", "x");
  testsupport::MakeFolder(dir / "tree/deep/deeper");
  WriteFile(dir / "tree/a.txt", "x");
  WriteFile(dir / "tree/deep/deeper/held.dll", "x");
  ASSERT_EQ(symlink("../outside/held.dll", (dir / "tree/file-link").c_str()),
            0);
  ASSERT_EQ(symlink("../outside", (dir / "tree/folder-link").c_str()), 0);
  ASSERT_EQ(symlink("tree", (dir / "tree-link").c_str()), 0);
  const int outside =
      open((dir / "outside/held.dll").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(outside, 0);
  EXPECT_EQ(fs::FileInUseBelow(dir / "tree"), "");
  const int inside =
      open((dir / "tree/deep/deeper/held.dll").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(inside, 0);
  EXPECT_EQ(fs::FileInUseBelow(dir / "TREE"),
            dir / "TREE" + "\\deep\\deeper\\held.dll");
  EXPECT_EQ(fs::FileInUseBelow(dir / "tree-link"), ""); // a link: not followed
  EXPECT_EQ(fs::FileInUseBelow(dir / "tree/a.txt"), "");
  EXPECT_EQ(fs::FileInUseBelow(dir / "missing"), "");
  // Listed as Windows lists them, through "deep\...\*" (a bad name) and
  // "deep .\*" (the folder "deep "): nothing found.
  EXPECT_EQ(fs::FileInUseBelow(dir / "tree/deep\\..."), "");
  EXPECT_EQ(fs::FileInUseBelow(dir / "tree/deep ."), "");
  close(inside);
  close(outside);
  EXPECT_EQ(fs::FileInUseBelow(dir / "tree"), "");
}

// The time goes on through the handle the copy wrote, so it survives the
// close, also over an existing target; without one the copy is new.
TEST(FsMoves, ACopyTakesTheTimeItIsGiven) {
  testsupport::TempFolder dir;
  WriteFile(dir / "f", "x");
  WriteFile(dir / "old", "older and longer");
  const fs::FileTime time{1700000000, 123456789};
  for (const char *target : {"new", "OLD"}) {
    fs::FileCopy(dir / "F", dir / target, &time);
    struct stat st {};
    const std::string name = target[0] == 'n' ? "new" : "old";
    ASSERT_EQ(stat((dir / name).c_str(), &st), 0) << target;
    EXPECT_EQ(st.st_mtim.tv_sec, 1700000000) << target;
    EXPECT_EQ(st.st_mtim.tv_nsec, 123456789) << target;
    EXPECT_EQ(st.st_size, 1) << target;
  }
  fs::FileCopy(dir / "f", dir / "plain");
  struct stat st {};
  ASSERT_EQ(stat((dir / "plain").c_str(), &st), 0);
  EXPECT_GT(st.st_mtime, 1700000000);
}

TEST(RunningProgram, ItsRemovedFileLendsItsNumberToNoOtherFile) {
  // The package's file is in use while it runs, as on Windows; one removed
  // around the run gave its inode number to a new file, which then passed
  // for it (a record writing it failed as "Text file busy").
  testsupport::TempFolder dir;
  const std::string program = dir / "update.exe";
  testsupport::WriteFile(program, "package");
  testsupport::WriteFile(dir / "new", "new");
  platform::SetProgramPath(program);
  EXPECT_NE(testsupport::Caught([&] {
              platform::fs::FileCopy(dir / "new", program);
            }).Number(),
            0);
  ASSERT_EQ(::unlink(program.c_str()), 0);
  for (int k = 0; k < 64; ++k)
    testsupport::WriteFile(dir / ("f" + std::to_string(k)), "old");
  for (int k = 0; k < 64; ++k) {
    const std::string file = dir / ("f" + std::to_string(k));
    EXPECT_NO_THROW(platform::fs::FileCopy(dir / "new", file)) << file;
  }
  platform::SetProgramPath("");
}

TEST(RunLock, OneRunAtATimePerTemporaryFolder) {
  testsupport::TempFolder dir;
  EXPECT_TRUE(platform::TakeRunLock(dir / "VLSFX_QUORIX"));
  EXPECT_FALSE(platform::TakeRunLock(dir / "VLSFX_QUORIX"));
  EXPECT_TRUE(platform::TakeRunLock(dir / "VLSFX_OTHER"));
  struct stat st {};
  ASSERT_EQ(stat((dir / "VLSFX_QUORIX.lock").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // No folder for the lock file: nothing to guard, the run goes on.
  EXPECT_TRUE(platform::TakeRunLock(dir / "missing/VLSFX_QUORIX"));
}

TEST(RunLock, TheLockFileIs0600WhateverTheUmask) {
  // A umask without the owner's write bit made it read-only, and the next
  // run could not open it; one that is wider never widens it.
  testsupport::TempFolder dir;
  for (const mode_t umask : {0277, 0777, 0022, 0}) {
    SCOPED_TRACE(umask);
    const std::string folder = dir / ("VLSFX_" + std::to_string(umask));
    const mode_t saved = ::umask(umask);
    const bool taken = platform::TakeRunLock(folder);
    ::umask(saved);
    EXPECT_TRUE(taken);
    struct stat st {};
    ASSERT_EQ(::stat((folder + ".lock").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_FALSE(platform::TakeRunLock(folder));
  }
  platform::ReleaseRunLocks();
}

TEST(RunLock, OnlyALockFileOfTheUsersOwnClosedToOthersIsTaken) {
  // Whatever else is at the lock's name, someone other than the run may
  // hold it or move it away: the run ends, naming it, and leaves it there.
  testsupport::TempFolder dir;
  const uid_t me = ::geteuid();
  const uid_t other = 65534; // only root can give a file away
  const struct {
    const char *name;
    mode_t type; // what is at the name
    mode_t mode;
    uid_t owner;
    bool taken;
  } cases[] = {
      {"own", S_IFREG, 0600, me, true},
      {"own-read-only", S_IFREG, 0400, me, true}, // an earlier umask's
      {"others-may-write", S_IFREG, 0666, me, false},
      {"others-may-read", S_IFREG, 0604, me, false},
      {"another-users", S_IFREG, 0600, other, false},
      {"link", S_IFLNK, 0777, me, false},
      {"fifo", S_IFIFO, 0600, me, false},
      {"folder", S_IFDIR, 0700, me, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const std::string folder = dir / c.name;
    const std::string lock = folder + ".lock";
    if (c.owner != me && me != 0)
      continue;
    ASSERT_EQ(c.type == S_IFLNK   ? ::symlink("elsewhere", lock.c_str())
              : c.type == S_IFDIR ? ::mkdir(lock.c_str(), c.mode)
                                  : ::mknod(lock.c_str(), c.type, 0),
              0);
    if (c.type != S_IFLNK)
      ASSERT_EQ(::chmod(lock.c_str(), c.mode) |
                    ::chown(lock.c_str(), c.owner, -1),
                0);
    struct stat before {
    }, after{};
    ASSERT_EQ(::lstat(lock.c_str(), &before), 0);
    if (c.taken) {
      EXPECT_TRUE(platform::TakeRunLock(folder));
      EXPECT_FALSE(platform::TakeRunLock(folder));
      ASSERT_EQ(::lstat(lock.c_str(), &after), 0);
      EXPECT_EQ(after.st_mode & 07777, 0600u);
      continue;
    }
    const platform::Error error =
        testsupport::Caught([&] { platform::TakeRunLock(folder); });
    EXPECT_EQ(error.Number(), err::kPathFileAccess) << error.Description();
    EXPECT_NE(error.Description().find(lock), std::string::npos);
    ASSERT_EQ(::lstat(lock.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode, before.st_mode);
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "elsewhere"));
  platform::ReleaseRunLocks();
}

TEST(RunLock, TheEndOfARunRemovesOnlyItsOwnLockFile) {
  testsupport::TempFolder dir;
  const std::string lock = dir / "VLSFX_QUORIX.lock";
  // The lock file goes at the end, and the next run takes the lock anew.
  ASSERT_TRUE(platform::TakeRunLock(dir / "VLSFX_QUORIX"));
  platform::ReleaseRunLocks();
  EXPECT_FALSE(Exists(lock));
  ASSERT_TRUE(platform::TakeRunLock(dir / "VLSFX_QUORIX"));
  // A file put at the name after the lock was taken is another run's: it
  // stays, and so does what it guards.
  ASSERT_EQ(::rename(lock.c_str(), (dir / "moved").c_str()), 0);
  const int other =
      ::open(lock.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
  platform::ReleaseRunLocks();
  EXPECT_TRUE(Exists(lock));
  EXPECT_FALSE(platform::TakeRunLock(dir / "VLSFX_QUORIX"));
  ::close(other);
}

} // namespace
