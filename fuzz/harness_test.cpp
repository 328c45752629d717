// The jail of the fuzz targets: which paths it lets through, and that the
// runtime's file layer really is refused outside the sandbox, links or not.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/harness.h"
#include "fuzz/jail.h"
#include "platform/error.h"
#include "platform/fs.h"
#include "platform/os_file.h"
#include "platform/posix/syscalls.h"
#include "run/mdl_main.h"

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
      {"x/.. /../../../canary", true}, // ".. " is a name there: one up
      {"x/../../../canary", false},
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

// Each input's temporary folder is a new one under the same name: the run's
// hold on the last input's must not outlive it, or every later input would
// find its files missing (the script never read).
TEST(Harness, TheFirstBitChoosesTheCheckOfTheRest) {
  static std::string seen;
  const fuzzing::Check even = [](std::string_view rest) {
    seen = "even " + std::string(rest);
  };
  const fuzzing::Check odd = [](std::string_view rest) {
    seen = "odd " + std::string(rest);
  };
  const struct {
    std::string input;
    std::string seen;
  } cases[] = {
      {"", ""},
      {"\x03"
       "ab",
       "odd ab"},
      {std::string("\xfe\0c", 3), std::string("even \0c", 7)},
  };
  for (const auto &c : cases) {
    seen.clear();
    EXPECT_EQ(
        fuzzing::ByFirstBit(reinterpret_cast<const uint8_t *>(c.input.data()),
                            c.input.size(), even, odd),
        0);
    EXPECT_EQ(seen, c.seen);
  }
}

TEST(Sandbox, EachInputGetsItsOwnTemporaryFolder) {
  fuzzing::Sandbox sandbox("harness_test");
  for (const char *input : {"first", "second"}) {
    SCOPED_TRACE(input);
    const std::string temp = sandbox.Begin() + "/tmp";
    std::filesystem::create_directory(temp);
    fuzzing::WriteFile(temp + "/script", input);
    mdl_main::TempFolder = temp;
    const platform::os::FileHandle file = mdl_main::HeldTempFolder().OpenFile(
        "script", platform::OpenMode::ReadOnly);
    char read[8] = {};
    EXPECT_EQ(platform::os::ReadAt(file, 0, read, 7, temp + "/script"),
              std::string(input).size());
    EXPECT_STREQ(read, input);
    platform::os::CloseFile(file, temp + "/script");
    sandbox.End();
  }
}

// Links planted in the sandbox that lead to the canary folder outside it:
// every kind of call through them is refused. Through a link that stays
// inside, nothing is refused that goes through without the jail.
TEST(Jail, RefusesEveryCallThroughALinkOutOfTheSandbox) {
  namespace stdfs = std::filesystem;
  fuzzing::Sandbox sandbox("harness_test");
  const std::string box = sandbox.Begin();
  const std::string plain = sandbox.CanaryFile("plain.txt");
  stdfs::create_directory_symlink(stdfs::path(plain).parent_path(), "out");
  stdfs::create_directories("in/sub");
  stdfs::create_directory_symlink(box + "/in", "inner");

  for (const std::string &folder :
       {box + "/out", std::string("out"), std::string("out/sub/.."),
        std::string("inner/../out")})
    EXPECT_EQ(fuzzing::CallsLetThrough(folder), std::vector<std::string>{})
        << folder;
  const std::vector<std::string> jailed = fuzzing::CallsLetThrough("inner");
  platform::posix::SetFaultHook({});
  EXPECT_EQ(jailed, fuzzing::CallsLetThrough("inner"));
  sandbox.End(); // fails when the canary changed
}

// Where a path leads on a tree of links, against what its text says.
TEST(Jail, FollowsLinksAsTheSystemDoes) {
  namespace stdfs = std::filesystem;
  fuzzing::Sandbox sandbox("harness_test");
  const std::string box = sandbox.Begin();
  const std::string canary =
      stdfs::path(sandbox.CanaryFile("plain.txt")).parent_path();
  stdfs::create_directories("in/a");
  stdfs::create_directory_symlink("in/a", "deep");
  stdfs::create_directory_symlink("..", "up");
  stdfs::create_directory_symlink(canary, "abs");
  stdfs::create_symlink(canary + "/new.txt", "dangling");
  stdfs::create_symlink("loop", "loop");
  struct Case {
    const char *path;
    bool followLast;
    bool inside;
  };
  const Case cases[] = {
      // ".." is read as text, as Windows reads it, before any link is
      // followed: deep/../.. is the sandbox's parent, abs/.. the sandbox.
      {"deep/../..", true, false},
      {"abs/..", true, true},
      {"abs/../box/in", true, true},
      {"up/canary/plain.txt", true, false},
      {"up", true, false},
      {"up", false, true},       // the link itself, as a deletion names it
      {"dangling", true, false}, // a file created there lands outside
      {"dangling", false, true},
      {"loop", true, false}, // too many links
      {"loop/x", false, false},
      // Below a missing name the rest is taken as written, from where the
      // links before it led.
      {"in/missing/x/y", true, true},
      {"deep/missing/x", true, true},
      {"abs/missing/x", true, false},
      {"dangling/x", false, false},
      {"up/missing/canary", true, false},
  };
  for (const Case &c : cases)
    EXPECT_EQ(fuzzing::LiesWithin(box, box, c.path, c.followLast), c.inside)
        << c.path << (c.followLast ? " followed" : " as a name");
  // A target made of many placeholders: hundreds of names below a missing
  // one, judged by the whole path for each folder the runtime looks at.
  std::string many = "in/missing";
  for (int k = 0; k < 300; ++k)
    many += "/name";
  EXPECT_TRUE(fuzzing::LiesWithin(box, box, many));
  EXPECT_FALSE(fuzzing::LiesWithin(box, box, "abs/" + many));
  sandbox.End();
}

// The verdict on a look at a path is kept for the next look at it, and
// forgotten by any call that may change where the path leads.
TEST(Jail, ALookIsJudgedAfreshAfterAChange) {
  namespace stdfs = std::filesystem;
  using platform::posix::Call;
  fuzzing::Sandbox sandbox("harness_test");
  const std::string box = sandbox.Begin();
  const std::string canary =
      stdfs::path(sandbox.CanaryFile("plain.txt")).parent_path();
  stdfs::create_directory_symlink(canary, "out");
  const platform::posix::FaultHook jail = fuzzing::Jail(box);
  struct Step {
    Call call;        // told to the jail before the change
    const char *from; // renamed to "x" after it; nullptr for none
    int look;         // the verdict on a look at x/plain.txt then
  };
  const Step steps[] = {
      {Call::Inspect, nullptr, 0}, // x is missing: inside
      {Call::Rename, "out", EACCES},
      {Call::Inspect, nullptr, EACCES},
      {Call::Delete, nullptr, EACCES},
  };
  for (const Step &step : steps) {
    jail(step.call, "x");
    if (step.from)
      stdfs::rename(step.from, "x");
    EXPECT_EQ(jail(Call::Inspect, "x/plain.txt"), step.look);
  }
  platform::posix::SetFaultHook({});
  stdfs::remove("x");
  sandbox.End();
}

} // namespace
