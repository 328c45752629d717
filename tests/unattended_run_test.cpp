// Unattended runs of a package that carries a manifest: silent, logged, in
// another program folder. (Under Wine: /?, and a package without one.)
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <sys/file.h>
#include <unistd.h>

#include "package/checksums.h"
#include "platform/posix/syscalls.h"
#include "run/mdl_main.h"
#include "run/run_log.h"
#include "run/unattended.h"
#include "tests/support/package_builder.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_folder.h"
#include "tools/image_texts.h"

namespace {

using pkgbuild::P;
using pkgbuild::ScriptRecord;
using pkgbuild::T;
using testsupport::FileExists;
using testsupport::ReadFile;
using testsupport::WriteFile;

class UnattendedRunTest : public ::testing::Test {
protected:
  void SetUp() override {
    other = world.box / "other folder";
    testsupport::MakeFolder(other);
    logPath = world.box / "run.log";
    for (const std::string &folder : {world.prog, other})
      WriteFile(folder + "/old.txt", "old");
  }
  void TearDown() override { mdl_main::SetSwitches({}); }

  // app.exe copied in, old.txt deleted, a folder made, with the manifest
  // and the checksum entry as build writes them.
  std::string Package(const std::string &script) {
    const std::string src = world.box / ("src" + std::to_string(++packages));
    testsupport::MakeFolder(src);
    WriteFile(src + "/app.exe", "new app");
    WriteFile(src + "/script", script);
    WriteFile(src + "/" + package::sums::kEntryName, pkgbuild::SumsOf(src));
    return pkgbuild::BuiltPackage(pkgbuild::MinimalPe(),
                                  tools::ManifestPayload({}),
                                  pkgbuild::PackFolder(src, world.box / "a"));
  }
  std::string Package() {
    return Package(ScriptRecord(0, T + "\\app.exe", P + "\\app.exe") +
                   ScriptRecord(1, "", P + "\\old.txt") +
                   ScriptRecord(2, "", P + "\\logs"));
  }

  int Run(const std::string &package, const char *folder = nullptr) {
    mdl_main::Switches switches;
    switches.silent = true;
    switches.logFile = logPath;
    if (folder)
      switches.folder = folder;
    mdl_main::SetSwitches(switches);
    world.InstallPackage(package);
    return testsupport::RunProgram(mdl_main::Main);
  }

  std::string Log() { return FileExists(logPath) ? ReadFile(logPath) : ""; }
  void ExpectInLog(const std::vector<std::string> &lines) {
    const std::string log = Log();
    for (const std::string &line : lines)
      EXPECT_NE(log.find(line + "\r\n"), std::string::npos)
          << line << "\nin the log:\n"
          << log;
  }

  pkgbuild::RunWorld world;
  testsupport::ScriptedUi backend;
  std::string other;
  std::string logPath;
  int packages = 0;
};

TEST_F(UnattendedRunTest, SilentRunShowsNothingAndLogsEveryStep) {
  EXPECT_EQ(Run(Package(), other.c_str()), platform::exitcode::kSuccess);
  EXPECT_TRUE(backend.messages.empty());
  EXPECT_FALSE(backend.formCreated);
  EXPECT_EQ(backend.endedWith, platform::exitcode::kSuccess);
  EXPECT_EQ(ReadFile(other + "/app.exe"), "new app");
  EXPECT_FALSE(FileExists(other + "/old.txt"));
  EXPECT_EQ(ReadFile(world.prog + "/old.txt"), "old"); // not the start folder
  ExpectInLog({
      "program folder: " + other,
      ("message (question): Сейчас будет произведено обновление Quorix до "
       "версии 1.1.\r\n    Продолжить?"),
      "answer: Yes",
      "checked: app.exe",
      "record 1: copy " + world.tmp + "\\VLSFX_QUORIX\\app.exe -> " + other +
          "\\app.exe",
      "record 2: delete " + other + "\\old.txt",
      "record 3: mkdir " + other + "\\logs",
      "message (information): Обновление до версии 1.1 прошло успешно!",
      "end: success (exit code 0)",
  });
}

TEST_F(UnattendedRunTest, LogNamesTheDamageAndTheFailedRecord) {
  // A file that differs from the one packed: nothing is installed.
  std::string damaged = Package();
  ASSERT_NE(damaged.find("new app"), std::string::npos);
  damaged[damaged.find("new app")] = 'N';
  EXPECT_EQ(Run(damaged), platform::exitcode::kFailed);
  EXPECT_TRUE(backend.messages.empty());
  EXPECT_EQ(ReadFile(world.prog + "/old.txt"), "old");
  ExpectInLog({"end: failed (exit code 1)"});
  EXPECT_NE(Log().find("«app.exe» в пакете обновления поврежден"),
            std::string::npos)
      << Log();

  // A record that fails names itself and why: a full disk the check of
  // the installed product cannot foresee.
  platform::posix::SetFaultHook([](platform::posix::Call call,
                                   const std::string &path) {
    return call == platform::posix::Call::CreateFolder && path.ends_with("logs")
               ? ENOSPC
               : 0;
  });
  const int code = Run(Package(ScriptRecord(2, "", P + "\\logs")));
  platform::posix::SetFaultHook({});
  EXPECT_EQ(code, platform::exitcode::kFailed);
  const std::string log = Log();
  EXPECT_NE(log.find("record 1 failed: "), std::string::npos) << log;
  EXPECT_NE(log.find("undone: the product is as it was"), std::string::npos)
      << log;
  EXPECT_EQ(log.find("Пакет"), std::string::npos) << "an earlier run's lines";
}

TEST_F(UnattendedRunTest, EndingsBeforeTheQuestionAreLogged) {
  // A /D= folder that is missing; a folder where the run's lock would be.
  const std::string missing = world.box / "missing";
  const std::string lock = world.tempFolder + ".lock";
  const struct {
    const char *folder;
    bool plantLock;
    std::string line;
  } cases[] = {
      {missing.c_str(), false, "program folder: " + missing},
      {nullptr, true,
       "Ошибка доступа к пути или файлу: " + world.tmp + "\\VLSFX_QUORIX.lock"},
  };
  for (const auto &c : cases) {
    if (c.plantLock) {
      unlink(lock.c_str()); // the file the case before left
      testsupport::MakeFolder(lock);
    }
    EXPECT_EQ(Run(Package(), c.folder), platform::exitcode::kFailed);
    // The run's lock (or the folder there), and nothing else.
    EXPECT_EQ(pkgbuild::ListNames(world.tmp),
              std::vector<std::string>{"VLSFX_QUORIX.lock"});
    ExpectInLog({"end: failed (exit code 1)"});
    EXPECT_NE(Log().find(c.line), std::string::npos) << Log();
  }
}

TEST_F(UnattendedRunTest, SecondCopyLeavesTheLogOfTheFirst) {
  // The first copy holds the run's lock and has written into the log.
  const std::string first = "package: the first copy's\r\n";
  WriteFile(logPath, first);
  const std::string lock = world.tempFolder + ".lock";
  const int held = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(Run(Package()), platform::exitcode::kAlreadyRunning);
  close(held);
  EXPECT_EQ(Log().rfind(first, 0), 0u) << Log();
  ExpectInLog({"end: already running (exit code 6)"});

  // The first copy's next line goes after the second's, not over them.
  ASSERT_TRUE(mdl_main::OpenLog(logPath));
  mdl_main::LogLine("record ", 1);
  std::ofstream(logPath, std::ios::app) << "end: a second copy's\r\n";
  mdl_main::LogLine("record ", 2);
  mdl_main::CloseLog();
  EXPECT_EQ(Log(), "record 1\r\nend: a second copy's\r\nrecord 2\r\n");
}

} // namespace
