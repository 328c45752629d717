// The jail of the fuzz targets: which paths it lets through, and that the
// runtime's file layer really is refused outside the sandbox.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "fuzz/harness.h"
#include "platform/error.h"
#include "platform/fs.h"

namespace {

TEST(Jail, PathsInsideAndOutside) {
  const std::string root = "/base/box";
  const std::string cwd = "/base/box/prog";
  struct Case {
    std::string path;
    bool inside;
  };
  const Case cases[] = {
      {"a.txt", true},
      {"", true},
      {"/base/box", true},
      {"/base/box/tmp\\VLSFX_QUORIX\\script", true},
      {"..\\tmp\\..\\prog\\.\\x", true},
      {"x/.. ", true}, // ".. " loses its dots and space: no step up
      {"..", true},
      {"../..", false},
      {"..\\..\\canary\\plain.txt", false},
      {"/base/box2/a", false},
      {"/base", false},
      {"/etc/passwd", false},
      {"\\etc\\passwd", false},
      {"x/.. /../../../canary", false},
      {"../../../../../base/box/a", true},
      {"../x", true},
      {std::string("../../x\0/../../base/box/a", 25), false},
      {"C:\\Windows", true}, // a relative name on posix
  };
  for (const Case &c : cases)
    EXPECT_EQ(fuzzing::LiesWithin(root, cwd, c.path), c.inside) << c.path;
}

TEST(Jail, RefusesTheRuntimeOutsideTheSandbox) {
  namespace stdfs = std::filesystem;
  fuzzing::Sandbox sandbox("harness_test");
  const std::string box = sandbox.Begin();
  const std::string base = stdfs::path(box).parent_path().string();

  platform::fs::MkDir(box + "\\inside");
  platform::fs::MkDir("relative");
  EXPECT_THROW(platform::fs::MkDir(box + "\\..\\escape"), platform::Error);
  EXPECT_THROW(platform::fs::MkDir("..\\escape"), platform::Error);
  EXPECT_THROW(platform::fs::Kill(sandbox.CanaryFile("plain.txt")),
               platform::Error);
  EXPECT_THROW(platform::fs::DeleteFolder(box), platform::Error);
  EXPECT_TRUE(stdfs::is_directory(box + "/inside"));
  EXPECT_TRUE(stdfs::is_directory(box + "/relative"));
  EXPECT_FALSE(stdfs::exists(base + "/escape"));
  sandbox.End();
}

} // namespace
