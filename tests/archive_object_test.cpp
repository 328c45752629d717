// The archive object: construction, Load and UnLoad.
#include <gtest/gtest.h>

#include "archive/cls_arch.h"
#include "platform/files.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_folder.h"

namespace {

using archive::cls_arch;
namespace files = platform::files;

class ArchiveObjectTest : public ::testing::Test {
protected:
  void SetUp() override { files::CloseAllQuietly(); }
  void TearDown() override { files::CloseAllQuietly(); }

  bool IsOpen(int16_t number) {
    try {
      files::At(number);
      return true;
    } catch (const platform::Error &) {
      return false;
    }
  }

  testsupport::ScriptedUi ui_;
  testsupport::TempFolder dir_;
};

TEST_F(ArchiveObjectTest, NewObjectIsIdleAndEmpty) {
  const cls_arch arch;
  EXPECT_EQ(arch.FileName(), "");
  EXPECT_EQ(arch.ActionMode(), 0);
  EXPECT_EQ(arch.Compression(), 0);
  EXPECT_EQ(arch.DefSeek(), 0);
  EXPECT_EQ(arch.FullSeek(), 0);
  EXPECT_EQ(arch.DefFile(), "");
  EXPECT_EQ(arch.Abort(), platform::kFalse);
  EXPECT_EQ(arch.FileNum(), 0);
}

TEST_F(ArchiveObjectTest, SettersArePlain) {
  cls_arch arch;
  arch.FileName("x\\y.pack");
  arch.Abort(platform::kTrue);
  arch.Compression(200);
  EXPECT_EQ(arch.FileName(), "x\\y.pack");
  EXPECT_EQ(arch.Abort(), platform::kTrue);
  EXPECT_EQ(arch.Compression(), 200);
  EXPECT_EQ(arch.ActionMode(), 0); // nothing else moved
}

TEST_F(ArchiveObjectTest, LoadSetsTheCountersOfAThousandByteFile) {
  const std::string path = dir_ / "a.pack";
  testsupport::WriteFile(path, std::string(1000, 'z'));
  cls_arch arch;
  arch.FileName(path);
  EXPECT_EQ(arch.Load(), platform::kTrue);
  EXPECT_EQ(arch.FullSeek(), 1000);
  EXPECT_EQ(arch.DefSeek(), 1);
  EXPECT_EQ(arch.FileNum(), 1);
  EXPECT_TRUE(IsOpen(1));
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(ArchiveObjectTest, LoadOfAMissingFileFailsQuietlyAndCreatesNothing) {
  const std::string path = dir_ / "missing.pack";
  cls_arch arch;
  // Earlier counters stay when a later Load fails.
  const std::string old = dir_ / "old.pack";
  testsupport::WriteFile(old, "12345");
  arch.FileName(old);
  ASSERT_EQ(arch.Load(), platform::kTrue);
  ASSERT_EQ(arch.UnLoad(), platform::kTrue);

  arch.FileName(path);
  EXPECT_EQ(arch.Load(), platform::kFalse);
  EXPECT_FALSE(testsupport::Exists(path));
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(arch.FileNum(), 1); // the number drawn, nothing open under it
  EXPECT_FALSE(IsOpen(1));
  EXPECT_EQ(arch.FullSeek(), 5);
  EXPECT_EQ(arch.DefSeek(), 1);
}

TEST_F(ArchiveObjectTest, LoadFailsForAnEmptyPathAndAFolder) {
  cls_arch arch;
  EXPECT_EQ(arch.Load(), platform::kFalse);
  arch.FileName(dir_.Path());
  EXPECT_EQ(arch.Load(), platform::kFalse);
  EXPECT_EQ(files::FreeFile(), 1); // nothing left open
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(ArchiveObjectTest, SecondLoadWithoutUnLoadKeepsTheFirstOpen) {
  const std::string path = dir_ / "a.pack";
  testsupport::WriteFile(path, "abc");
  cls_arch arch;
  arch.FileName(path);
  ASSERT_EQ(arch.Load(), platform::kTrue);
  ASSERT_EQ(arch.Load(), platform::kTrue);
  EXPECT_EQ(arch.FileNum(), 2);
  EXPECT_TRUE(IsOpen(1));
  EXPECT_TRUE(IsOpen(2));
  EXPECT_EQ(arch.UnLoad(), platform::kTrue);
  EXPECT_TRUE(IsOpen(1)); // only FileNum is closed
  EXPECT_FALSE(IsOpen(2));
  EXPECT_EQ(arch.FileNum(), 2);
  EXPECT_EQ(arch.FullSeek(), 3); // UnLoad leaves the counters
  EXPECT_EQ(arch.DefSeek(), 1);
}

TEST_F(ArchiveObjectTest, UnLoadWithoutLoadOrTwiceIsHarmless) {
  cls_arch arch;
  EXPECT_EQ(arch.UnLoad(), platform::kTrue);
  const std::string path = dir_ / "a.pack";
  testsupport::WriteFile(path, "abc");
  arch.FileName(path);
  ASSERT_EQ(arch.Load(), platform::kTrue);
  EXPECT_EQ(arch.UnLoad(), platform::kTrue);
  EXPECT_EQ(arch.UnLoad(), platform::kTrue);
  EXPECT_EQ(testsupport::ReadFile(path), "abc");
}

// Another file that took the archive's number since (the number was given
// up, or the Load that drew it failed) is not the archive: UnLoad leaves it.
TEST_F(ArchiveObjectTest, UnLoadClosesOnlyTheFileItsOwnLoadOpened) {
  const std::string archivePath = dir_ / "a.pack";
  const std::string otherPath = dir_ / "other.txt";
  testsupport::WriteFile(archivePath, "abc");
  testsupport::WriteFile(otherPath, "other");
  const struct {
    const char *label;
    bool loads;           // the archive exists for Load
    bool unloadsFirst;    // UnLoad before the other file takes the number
    bool closedElsewhere; // the number closed behind the object's back
  } cases[] = {
      {"unloaded, then the number taken", true, true, false},
      {"closed by someone else, then taken", true, false, true},
      {"a failed Load's number taken", false, false, false},
  };
  for (const auto &c : cases) {
    files::CloseAllQuietly();
    cls_arch arch;
    arch.FileName(c.loads ? archivePath : dir_ / "missing.pack");
    ASSERT_EQ(arch.Load(), c.loads ? platform::kTrue : platform::kFalse);
    if (c.unloadsFirst) {
      ASSERT_EQ(arch.UnLoad(), platform::kTrue);
    }
    if (c.closedElsewhere)
      files::Close(arch.FileNum());
    ASSERT_EQ(files::FreeFile(), arch.FileNum()) << c.label;
    files::Open(arch.FileNum(), otherPath, platform::OpenMode::ReadOnly);
    EXPECT_EQ(arch.UnLoad(), platform::kTrue) << c.label;
    EXPECT_TRUE(IsOpen(arch.FileNum())) << c.label;
  }
}

TEST_F(ArchiveObjectTest, DestroyingTheObjectLeavesTheArchiveOpen) {
  const std::string path = dir_ / "a.pack";
  testsupport::WriteFile(path, "abc");
  int16_t number = 0;
  {
    cls_arch arch;
    arch.FileName(path);
    ASSERT_EQ(arch.Load(), platform::kTrue);
    number = arch.FileNum();
  }
  EXPECT_TRUE(IsOpen(number));
}

} // namespace
