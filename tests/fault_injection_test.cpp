// Fault injection: the N-th system call of the posix file layer fails, for
// every N, through a whole update run, an extraction and a packing, until
// the operation runs untouched. A failed write, file or folder creation or
// rename never ends in success, every failure is reported with what failed,
// and nothing outside the folders the operation names is touched.
#include <gtest/gtest.h>

#include <cerrno>
#include <set>
#include <string>
#include <vector>

#include "archive/cls_arch.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/posix/syscalls.h"
#include "run/mdl_main.h"
#include "tests/support/archive_builder.h"
#include "tests/support/package_builder.h"
#include "tests/support/recording_ui.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_folder.h"

namespace {

using pkgbuild::P;
using pkgbuild::ScriptRecord;
using pkgbuild::T;
using platform::posix::Call;
using testsupport::MakeFolder;
using testsupport::ReadFile;
using testsupport::WriteFile;

// The errno each kind of call fails with: what the OS says for a full disk,
// a file in use, a failing device.
int ErrnoFor(Call call) {
  switch (call) {
  case Call::Write:
    return ENOSPC;
  case Call::Read:
  case Call::Close:
    return EIO;
  case Call::Delete:
  case Call::RemoveFolder:
    return EBUSY;
  default:
    return EACCES;
  }
}

// Fails the failAt-th call (1-based) of the file layer while it lives, and
// records the paths of every call that may change something.
class FaultInjector {
public:
  explicit FaultInjector(int64_t failAt) : failAt_(failAt) {
    platform::posix::SetFaultHook([this](Call call, const std::string &path) {
      if (call != Call::Read && call != Call::Inspect && call != Call::Open)
        touched.push_back(path);
      // Paths written since they were last closed.
      const bool writtenSinceClose = written_.count(path) != 0;
      if (call == Call::Write)
        written_.insert(path);
      if (call == Call::Close)
        written_.erase(path);
      if (++calls != failAt_)
        return 0;
      injected = true;
      failedCall = call;
      failedPath = path;
      failedAfterWrite_ = writtenSinceClose;
      return ErrnoFor(call);
    });
  }
  ~FaultInjector() { platform::posix::SetFaultHook(nullptr); }
  FaultInjector(const FaultInjector &) = delete;
  FaultInjector &operator=(const FaultInjector &) = delete;

  // A failure that must never end in success: a write, a creation, a
  // rename, or the close of a file written to (a close may write too).
  bool LosesData() const {
    return injected &&
           (failedCall == Call::Write || failedCall == Call::Create ||
            failedCall == Call::CreateFolder || failedCall == Call::Rename ||
            (failedCall == Call::Close && failedAfterWrite_));
  }
  // True when text names the file the failed call concerned, or a folder
  // that holds it below root (a folder that could not be emptied is what
  // failed, seen from above).
  bool Names(const std::string &text, const std::string &root) const {
    std::string path = failedPath;
    for (char &c : path)
      if (c == '\\')
        c = '/';
    while (path.size() > root.size()) {
      const size_t slash = path.find_last_of('/');
      if (text.find(path.substr(slash + 1)) != std::string::npos)
        return true;
      path.resize(slash);
    }
    return false;
  }
  std::string Describe() const {
    return std::string(platform::posix::CallName(failedCall)) + " of " +
           failedPath + " (call " + std::to_string(failAt_) + ")";
  }

  int64_t calls = 0;
  bool injected = false;
  Call failedCall = Call::Open;
  std::string failedPath;
  std::vector<std::string> touched;

private:
  int64_t failAt_;
  std::set<std::string> written_;
  bool failedAfterWrite_ = false;
};

bool Inside(const std::string &path, const std::vector<std::string> &roots) {
  std::string unified = path;
  for (char &c : unified)
    if (c == '\\')
      c = '/';
  for (const std::string &root : roots)
    if (unified.rfind(root, 0) == 0)
      return true;
  return false;
}

// Runs one operation with the N-th call failing, for N = 1, 2, ... until
// an operation runs without a failure; returns how many calls that took.
template <typename Operation> int64_t ForEveryCall(Operation operation) {
  for (int64_t n = 1;; ++n) {
    SCOPED_TRACE("call " + std::to_string(n));
    if (!operation(n))
      return n - 1;
    if (::testing::Test::HasFatalFailure() || n > 5000)
      return n;
  }
}

// ---- The whole update run --------------------------------------------------

TEST(FaultInjection, EveryCallOfAnUpdateRun) {
  const int64_t calls = ForEveryCall([](int64_t n) {
    pkgbuild::RunWorld world;
    testsupport::ScriptedUi backend;
    backend.yieldInterval = testsupport::ScriptedUi::kFewYields;
    const std::string src = world.box / "src";
    MakeFolder(src);
    WriteFile(src + "/app.exe", std::string(70000, 'A'));
    WriteFile(src + "/lib.dll", "library");
    WriteFile(src + "/script",
              ScriptRecord(2, "", P + "\\data") +
                  ScriptRecord(0, T + "\\app.exe", P + "\\app.exe") +
                  ScriptRecord(0, T + "\\lib.dll", P + "\\data\\lib.dll") +
                  ScriptRecord(1, "", P + "\\*.old") +
                  ScriptRecord(3, "", P + "\\cache"));
    WriteFile(world.prog + "/a.old", "old");
    MakeFolder(world.prog + "/cache");
    WriteFile(world.prog + "/cache/c", "c");
    world.InstallFolder(src);
    // A temporary folder and a pack file left by an earlier run.
    MakeFolder(world.tempFolder + "/sub");
    WriteFile(world.tempFolder + "/sub/stale", "s");
    WriteFile(world.packFile, "stale");
    backend.QueueAnswer(platform::MsgAnswer::Yes);

    FaultInjector faults(n);
    const int code = testsupport::RunProgram(mdl_main::Main);
    const bool injected = faults.injected;
    platform::posix::SetFaultHook(nullptr);
    SCOPED_TRACE(faults.Describe());

    if (code == platform::exitcode::kSuccess) {
      EXPECT_FALSE(faults.LosesData());
      EXPECT_TRUE(ReadFile(world.prog + "/app.exe") == std::string(70000, 'A'));
      EXPECT_EQ(ReadFile(world.prog + "/data/lib.dll"), "library");
      EXPECT_FALSE(testsupport::Exists(world.prog + "/a.old"));
      EXPECT_FALSE(testsupport::Exists(world.prog + "/cache"));
    } else {
      EXPECT_TRUE(injected);
      EXPECT_EQ(code, platform::exitcode::kFailed);
      const std::string shown =
          backend.messages.empty() ? "" : backend.messages.back().text;
      EXPECT_TRUE(faults.Names(shown, world.box.Path())) << shown;
    }
    for (const std::string &path : faults.touched)
      EXPECT_TRUE(Inside(path, {world.tmp + "/", world.prog + "/"})) << path;
    return injected;
  });
  EXPECT_GT(calls, 40);
}

// ---- Extraction
// ---------------------------------------------------------------

class FaultInjectionArchive : public archtest::ArchFixture {};

TEST_F(FaultInjectionArchive, EveryCallOfAnExtraction) {
  const std::string bytes =
      archtest::BuildArchive({{"one.txt", std::string(300000, '1')},
                              {"empty", ""},
                              {"two.dat", "two"}});
  const std::string archive = dir_ / "a.pack";
  WriteFile(archive, bytes);
  ui_.yieldInterval = testsupport::ScriptedUi::kFewYields;
  const int64_t calls = ForEveryCall([&](int64_t n) {
    testsupport::TempFolder out;
    ui_.messages.clear();
    arch_.FileName(archive);
    FaultInjector faults(n);
    const bool loaded = arch_.Load() == platform::kTrue;
    const platform::Boolean result = arch_.Extract(out.Path());
    const bool injected = faults.injected;
    platform::posix::SetFaultHook(nullptr);
    SCOPED_TRACE(faults.Describe());
    platform::files::CloseAllQuietly();

    if (result == platform::kTrue) {
      EXPECT_TRUE(loaded);
      EXPECT_FALSE(faults.LosesData());
      EXPECT_TRUE(ReadFile(out / "one.txt") == std::string(300000, '1'));
      EXPECT_EQ(ReadFile(out / "empty"), "");
      EXPECT_EQ(ReadFile(out / "two.dat"), "two");
    } else {
      EXPECT_TRUE(injected);
      EXPECT_EQ(ui_.messages.size(), 1u);
      const std::string shown =
          ui_.messages.empty() ? "" : ui_.messages[0].text;
      EXPECT_TRUE(faults.Names(shown, dir_.Path())) << shown;
    }
    for (const std::string &path : faults.touched)
      EXPECT_TRUE(Inside(path, {out.Path() + "/", archive})) << path;
    EXPECT_EQ(ReadFile(archive), bytes);
    return injected;
  });
  EXPECT_GT(calls, 10);
}

// ---- Packing --------------------------------------------------------------

TEST_F(FaultInjectionArchive, EveryCallOfAPacking) {
  const std::string src = dir_ / "src";
  MakeFolder(src);
  WriteFile(src + "/big.bin", std::string(300000, 'b'));
  WriteFile(src + "/small", "s");
  const std::string expected = archtest::BuildArchive(
      {{"big.bin", std::string(300000, 'b')}, {"small", "s"}});
  const std::string target = dir_ / "out.pack";
  ui_.yieldInterval = testsupport::ScriptedUi::kFewYields;
  const int64_t calls = ForEveryCall([&](int64_t n) {
    WriteFile(target, "older archive");
    arch_.FileName(target);
    std::string failure;
    FaultInjector faults(n);
    try {
      arch_.Pack(src);
    } catch (const platform::Error &e) {
      failure = e.Description();
    }
    const bool injected = faults.injected;
    platform::posix::SetFaultHook(nullptr);
    SCOPED_TRACE(faults.Describe());
    platform::files::CloseAllQuietly();

    if (failure.empty()) {
      EXPECT_FALSE(faults.LosesData());
      EXPECT_TRUE(ReadFile(target) == expected);
    } else {
      EXPECT_TRUE(injected);
      EXPECT_TRUE(faults.Names(failure, dir_.Path())) << failure;
    }
    for (const std::string &path : faults.touched)
      EXPECT_TRUE(Inside(path, {src + "/", target})) << path;
    EXPECT_EQ(ReadFile(src + "/small"), "s");
    return injected;
  });
  EXPECT_GT(calls, 8);
}

} // namespace
