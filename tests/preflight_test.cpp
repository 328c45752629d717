// The check of the installed product before the install, on packages as
// build makes them (manifest, checksum entry, expected state), and a
// package of the base format, which keeps its strict run.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <map>
#include <sys/file.h>
#include <unistd.h>

#include "package/checksums.h"
#include "package/entry_limits.h"
#include "package/expected_state.h"
#include "package/path_overlay.h"
#include "package/script_record.h"
#include "platform/env.h"
#include "platform/error.h"
#include "platform/posix/syscalls.h"
#include "platform/ui.h"
#include "run/mdl_main.h"
#include "tests/support/caught.h"
#include "tests/support/package_builder.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_folder.h"
#include "tools/expected_state_of.h"
#include "tools/image_texts.h"
#include "tools/script_compiler.h"

namespace {

using platform::MsgAnswer;
using testsupport::Exists;
using testsupport::MakeFolder;
using testsupport::ReadFile;
using testsupport::WriteFile;
namespace exitcode = platform::exitcode;
namespace expect = package::expect;

TEST(ExpectedState, RoundTripsAndRefusesDamagedLines) {
  const std::vector<expect::Expected> list = {
      {"app.exe", expect::Kind::File, 12, 0xDEADBEEF},
      {"data\\\xD1\xEF\xF0\xE0\xE2\xEA\xE0", expect::Kind::Folder},
      {"lib", expect::Kind::Nothing}};
  const std::vector<expect::Expected> back =
      expect::ParseExpected(expect::FormatExpected(list));
  ASSERT_EQ(back.size(), list.size());
  for (size_t k = 0; k < list.size(); ++k) {
    EXPECT_EQ(back[k].path, list[k].path);
    EXPECT_EQ(back[k].kind, list[k].kind);
    EXPECT_EQ(back[k].length, list[k].length);
    EXPECT_EQ(back[k].crc, list[k].crc);
  }
  const std::string header = std::string(expect::kHeader) + "\r\n";
  for (const std::string &text :
       {std::string(), std::string("updpack expect 2\r\n"),
        header + "X app.exe\r\n", header + "F deadbeef app.exe\r\n",
        header + "F deadbeeg 1 a\r\n", header + "- ..\\outside\r\n",
        header + "D \\root\r\n", header + "- a\\\\b\r\n",
        header + "- c:\\x\r\n", header + "D \r\n"})
    EXPECT_EQ(
        testsupport::Caught([&] { expect::ParseExpected(text); }).Number(),
        package::kErrPackageDamaged)
        << text;
}

TEST(LaidRecords, TheLatestRecordOnAPathOrAboveItTells) {
  namespace record = package::script;
  expect::LaidRecords laid;
  laid.Lay(u"A", record::kCreateFolder);
  laid.Lay(u"A\\B", record::kCopyFile);
  laid.Lay(u"C", record::kDeleteFolder);
  laid.Lay(u"C/D", record::kCreateFolder);
  laid.Lay(u"A", record::kDeleteFolder);
  laid.Lay(u"A\\E", record::kCreateFolder);
  laid.Lay(u"P\\B", record::kCopyFile);
  laid.Lay(u"M/N\\O", record::kCopyFile);
  laid.Lay(u"F", record::kCopyFile);
  laid.Lay(u"F", record::kDeleteFiles);
  const struct {
    const char16_t *key;
    bool tells;
    expect::Kind kind;
  } cases[] = {
      {u"A\\B", true, expect::Kind::Nothing}, // gone with A, after it
      {u"A\\E", true, expect::Kind::Folder},  // made after A went
      {u"A", true, expect::Kind::Nothing},
      {u"C/D", true, expect::Kind::Folder},
      {u"C\\X", true, expect::Kind::Nothing},
      {u"AB", false, {}},
      {u"X", false, {}},
      {u"P\\B", true, expect::Kind::File},
      {u"P\\BC", false, {}},                     // P\B is no folder above it
      {u"P\\C", false, {}},                      // a name as long as P\B's
      {u"P", false, {}},                         // only on the way to P\B
      {u"Q\\B", false, {}},                      // B below another folder
      {u"P\\B\\X", true, expect::Kind::Nothing}, // below a file
      {u"C\\D", true, expect::Kind::Nothing},    // not C/D: below C, removed
      {u"C/D\\E", true, expect::Kind::Nothing},  // in C/D, made empty
      {u"M/N\\O", true, expect::Kind::File},
      {u"M\\N\\O", false, {}},
      {u"F", true, expect::Kind::Nothing}, // the later record tells
  };
  for (const auto &c : cases) {
    expect::Kind kind = expect::Kind::File;
    EXPECT_EQ(laid.At(c.key, kind), c.tells) << &c - cases;
    if (c.tells) {
      EXPECT_EQ(kind, c.kind) << &c - cases;
    }
  }
  // Names: a record on the path itself, not only on a path below it.
  const struct {
    const char16_t *key;
    bool named;
  } names[] = {{u"A\\B", true},  {u"F", true},    {u"C/D", true},
               {u"P", false},    {u"M/N", false}, {u"C\\X", false},
               {u"P\\BC", false}};
  for (const auto &n : names)
    EXPECT_EQ(laid.Names(n.key), n.named) << &n - names;
  // A chain of folders, each made in the one before: every path looked up
  // once, whatever its depth.
  expect::LaidRecords chain;
  std::u16string deepest = u"a";
  for (int depth = 0; depth < 3000; ++depth, deepest += u"\\a")
    chain.Lay(deepest, record::kCreateFolder);
  expect::Kind deep = expect::Kind::Nothing;
  ASSERT_TRUE(chain.At(deepest.substr(0, deepest.size() - 2), deep));
  EXPECT_EQ(deep, expect::Kind::Folder);
  ASSERT_TRUE(chain.At(deepest, deep));
  EXPECT_EQ(deep, expect::Kind::Nothing);
  // Many paths: the index grows and finds each, the file in every other
  // folder removed again.
  expect::LaidRecords many;
  const auto key = [](int k) {
    const std::string digits = std::to_string(k);
    return std::u16string(digits.begin(), digits.end());
  };
  for (int k = 0; k < 3000; ++k) {
    many.Lay(key(k), record::kCreateFolder);
    many.Lay(key(k) + u"\\f", record::kCopyFile);
    if (k % 2)
      many.Lay(key(k), record::kDeleteFolder);
  }
  for (int k = 0; k < 3000; ++k) {
    expect::Kind kind = expect::Kind::Folder;
    ASSERT_TRUE(many.At(key(k) + u"\\f", kind));
    EXPECT_EQ(kind, k % 2 ? expect::Kind::Nothing : expect::Kind::File) << k;
  }
}

// Lumen Notes 4.2 as installed, and the update to 4.3.
class PreflightTest : public ::testing::Test {
protected:
  void SetUp() override {
    old = world.box / "old";
    MakeFolder(old);
    MakeFolder(old + "/legacy");
    WriteFile(old + "/legacy/plugin.dll", "plugin");
    WriteFile(old + "/app.exe", "app 4.2");
    WriteFile(old + "/old.txt", "old");
    src = world.box / "src";
    MakeFolder(src);
    WriteFile(src + "/app.exe", "app 4.3, a little longer");
    WriteFile(src + "/readme.txt", "readme 4.3");
  }

  // The package as build --from --expect makes it; without expectDir, one
  // that carries no expected state. tail: bytes after the script's own.
  std::string Package(const char *expectDir, const std::string &tail = {}) {
    const tools::script_text::CompiledScript compiled =
        tools::script_text::CompileScript(
            "rmdir  {app}\\legacy\n"
            "delete {app}\\old.txt\n"
            "mkdir  {app}\\data\n"
            "copy {temp}\\app.exe    {app}\\app.exe\n"
            "copy {temp}\\readme.txt {app}\\data\\readme.txt\n",
            tools::script_text::Installs::Refused);
    EXPECT_TRUE(compiled.errors.empty());
    const std::string payload = world.box / "payload";
    std::filesystem::remove_all(payload);
    std::filesystem::copy(src, payload);
    WriteFile(payload + "/script",
              tools::script_text::ScriptBytes(compiled) + tail);
    tools::ImageTexts texts;
    texts.product = "Lumen Notes";
    texts.version = "4.3";
    if (expectDir) {
      texts.forVersion = "4.2";
      texts.expect = true;
      WriteFile(payload + "/" + expect::kEntryName,
                tools::ExpectedStateOf(compiled.records, expectDir));
    }
    WriteFile(payload + "/" + package::sums::kEntryName,
              pkgbuild::SumsOf(payload));
    return pkgbuild::BuiltPackage(
        pkgbuild::MinimalPe(), tools::ManifestPayload(texts),
        pkgbuild::PackFolder(payload, world.box / "a.pack"));
  }

  // The program folder as a copy of folder.
  void Installed(const std::string &folder) {
    std::filesystem::remove_all(world.prog);
    std::filesystem::copy(folder, world.prog,
                          std::filesystem::copy_options::recursive);
  }

  int Run(const std::string &package) {
    world.InstallPackage(package);
    backend.messages.clear();
    backend.QueueAnswer(MsgAnswer::Yes);
    return testsupport::RunProgram(mdl_main::Main);
  }

  // Every name under the program folder but the package, with its bytes
  // ("/" for folders).
  std::map<std::string, std::string> Snapshot() {
    std::map<std::string, std::string> files;
    for (const auto &entry :
         std::filesystem::recursive_directory_iterator(world.prog))
      if (entry.path() != world.exe)
        files[entry.path().string()] =
            entry.is_directory() ? "/" : ReadFile(entry.path().string());
    return files;
  }

  std::string LastMessage() {
    return backend.messages.empty() ? "" : backend.messages.back().text;
  }

  bool IsNew() {
    return ReadFile(world.prog + "/app.exe") == "app 4.3, a little longer" &&
           ReadFile(world.prog + "/data/readme.txt") == "readme 4.3" &&
           !Exists(world.prog + "/old.txt") && !Exists(world.prog + "/legacy");
  }

  pkgbuild::RunWorld world;
  testsupport::ScriptedUi backend;
  std::string old, src;
};

TEST_F(PreflightTest, SecondRunIsAlreadyUpToDateAndLeavesNothingInTmp) {
  const std::string package = Package(old.c_str());
  Installed(old);
  EXPECT_EQ(Run(package), exitcode::kSuccess);
  EXPECT_TRUE(IsNew());
  EXPECT_EQ(LastMessage(), "Обновление до версии 4.3 прошло успешно!");
  EXPECT_FALSE(Exists(world.tempFolder));
  EXPECT_FALSE(Exists(world.packFile));
  const auto after = Snapshot();
  EXPECT_EQ(Run(package), exitcode::kSuccess);
  EXPECT_EQ(LastMessage(), "Lumen Notes уже обновлен до версии 4.3.");
  EXPECT_EQ(Snapshot(), after);
  EXPECT_FALSE(Exists(world.tempFolder));
  EXPECT_FALSE(Exists(world.packFile));
}

TEST_F(PreflightTest, AProgramFolderReachedThroughALinkIsTheProducts) {
  // Started through a link to the product's folder (or a shortcut's path
  // with one): the folder is the product's, and its files are judged.
  const std::string package = Package(old.c_str());
  Installed(old);
  const std::string linked = world.box / "linked";
  ASSERT_EQ(::symlink(world.prog.c_str(), linked.c_str()), 0);
  platform::SetProgramPath(linked + "/update.exe");
  const int code = Run(package);
  platform::SetProgramPath(world.exe);
  EXPECT_EQ(code, exitcode::kSuccess) << LastMessage();
  EXPECT_TRUE(IsNew());
}

TEST_F(PreflightTest, ATouchedProductEndsAsItWasOrGoesOnFromWhereItStopped) {
  struct Case {
    const char *name;
    std::function<void(const std::string &)> change; // on the program folder
    int exitCode;
    const char *message; // a part of the last message
  };
  const Case cases[] = {
      {"4.1 is installed",
       [](const std::string &p) { WriteFile(p + "/app.exe", "app 4.1"); },
       exitcode::kNotExpected,
       "предназначено для Lumen Notes 4.2; файл «app.exe» не соответствует"},
      {"data is a file",
       [](const std::string &p) { WriteFile(p + "/data", "x"); },
       exitcode::kNotExpected, "файл «data» не соответствует"},
      {"not the product's folder",
       [](const std::string &p) {
         std::filesystem::remove_all(p);
         MakeFolder(p);
       },
       exitcode::kNotExpected,
       "Запустите обновление из папки, в которую установлен Lumen Notes."},
      {"an earlier attempt stopped halfway",
       [](const std::string &p) {
         std::filesystem::remove_all(p + "/legacy");
         std::filesystem::remove(p + "/old.txt");
         MakeFolder(p + "/data");
         WriteFile(p + "/app.exe", "app 4.3, a little longer");
       },
       exitcode::kSuccess, "успешно"},
  };
  const std::string package = Package(old.c_str());
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Installed(old);
    c.change(world.prog);
    const auto before = Snapshot();
    EXPECT_EQ(Run(package), c.exitCode);
    EXPECT_NE(LastMessage().find(c.message), std::string::npos)
        << LastMessage();
    if (c.exitCode == exitcode::kSuccess)
      EXPECT_TRUE(IsNew());
    else
      EXPECT_EQ(Snapshot(), before);
  }
}

TEST_F(PreflightTest, WithoutExpectedStateOnlyWhatTheScriptImpliesIsChecked) {
  const std::string package = Package(nullptr);
  Installed(old);
  WriteFile(world.prog + "/app.exe", "app 4.1"); // any old app will do
  EXPECT_EQ(Run(package), exitcode::kSuccess);
  EXPECT_TRUE(IsNew());
  EXPECT_EQ(Run(package), exitcode::kSuccess);
  EXPECT_EQ(LastMessage(), "Lumen Notes уже обновлен до версии 4.3.");
  // A file where the script makes a folder.
  Installed(old);
  WriteFile(world.prog + "/data", "x");
  const auto before = Snapshot();
  EXPECT_EQ(Run(package), exitcode::kNotExpected);
  EXPECT_NE(LastMessage().find("более ранней версии"), std::string::npos);
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(PreflightTest, AScriptThatWouldFillMemoryIsDamagedAndChangesNothing) {
  namespace record = package::script;
  backend.yieldInterval = testsupport::ScriptedUi::kFewYields;
  // Records of an operation the run ignores, whose fields are all
  // placeholders: each byte a whole folder once prepared.
  const std::string flood = pkgbuild::ScriptRecord(
      9, std::string(record::kSourceSize, record::kTempFolderMark),
      std::string(record::kTargetSize, record::kProgramFolderMark));
  const size_t perRecord = (record::kSourceSize - 1) * world.tempFolder.size() +
                           (record::kTargetSize - 1) * world.prog.size();
  const size_t floods = package::kMaxRepeatedPlaceholderBytes / perRecord + 1;
  const struct {
    const char *name;
    std::string tail;
  } cases[] = {
      {"repeated placeholders",
       [&] {
         std::string bytes;
         for (size_t k = 0; k < floods; ++k)
           bytes += flood;
         return bytes;
       }()},
      {"a script entry over the limit",
       std::string(package::kMaxOwnEntryBytes, ' ')},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const std::string package = Package(old.c_str(), c.tail);
    Installed(old);
    const auto before = Snapshot();
    EXPECT_EQ(Run(package), exitcode::kFailed);
    EXPECT_NE(LastMessage().find("Файл «script» в пакете обновления поврежден"),
              std::string::npos)
        << LastMessage();
    EXPECT_EQ(Snapshot(), before);
  }
  // One record fewer of the flood still runs.
  std::string within;
  for (size_t k = 0; k + 1 < floods; ++k)
    within += flood;
  Installed(old);
  EXPECT_EQ(Run(Package(old.c_str(), within)), exitcode::kSuccess);
  EXPECT_TRUE(IsNew());
}

TEST_F(PreflightTest, AFileInUseAsksToRetryAndCancelChangesNothing) {
  const std::string package = Package(old.c_str());
  // A file to replace, and one inside the folder that rmdir removes.
  const struct {
    const char *path;
    const char *shown;
  } files[] = {{"/app.exe", "«app.exe»"},
               {"/legacy/plugin.dll", "«legacy\\plugin.dll»"}};
  for (const auto &file : files)
    for (const bool retry : {false, true}) {
      SCOPED_TRACE(std::string(file.path) + (retry ? " retry" : " cancel"));
      Installed(old);
      const auto before = Snapshot();
      int held = open((world.prog + file.path).c_str(), O_RDONLY | O_CLOEXEC);
      ASSERT_GE(held, 0);
      backend.onMessage = [&](const std::string &text) {
        if (text.find(std::string(file.shown) + " используется") ==
            std::string::npos)
          return;
        if (retry)
          close(std::exchange(held, -1));
        backend.QueueAnswer(retry ? MsgAnswer::Retry : MsgAnswer::Cancel);
      };
      EXPECT_EQ(Run(package), retry ? exitcode::kSuccess : exitcode::kInUse);
      if (held >= 0)
        close(held);
      if (retry)
        EXPECT_TRUE(IsNew());
      else
        EXPECT_EQ(Snapshot(), before);
      EXPECT_EQ(backend.messages.size(), retry ? 3u : 2u);
    }
}

// Another program holds app.exe and has locked the bytes the check reads
// (a read fails, as ReadFile does with ERROR_LOCK_VIOLATION): the user
// closes it and retries. The check's own handle from the failed read must
// not be what keeps the file in use after that.
TEST_F(PreflightTest, AFileThatCouldNotBeReadIsNotHeldByTheCheck) {
  const std::string package = Package(old.c_str());
  Installed(old);
  int held = open((world.prog + "/app.exe").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(held, 0);
  bool failed = false;
  platform::posix::SetFaultHook(
      [&](platform::posix::Call call, const std::string &path) {
        if (failed || call != platform::posix::Call::Read ||
            path != world.prog + "\\app.exe")
          return 0;
        failed = true;
        return EIO;
      });
  int boxes = 0;
  backend.onMessage = [&](const std::string &text) {
    if (text.find("«app.exe» используется") == std::string::npos)
      return;
    if (held >= 0)
      close(std::exchange(held, -1));
    // Once more would never end while the file stays open.
    backend.QueueAnswer(++boxes == 1 ? MsgAnswer::Retry : MsgAnswer::Cancel);
  };
  const int code = Run(package);
  platform::posix::SetFaultHook(nullptr);
  if (held >= 0)
    close(held);
  EXPECT_TRUE(failed);
  EXPECT_EQ(boxes, 1);
  EXPECT_EQ(code, exitcode::kSuccess) << LastMessage();
  EXPECT_TRUE(IsNew());
}

TEST_F(PreflightTest, ASecondCopySaysAnUpdateIsRunning) {
  const std::string package = Package(old.c_str());
  Installed(old);
  // Another copy holds the run's lock, as flock does across processes.
  const std::string lock = world.tempFolder + ".lock";
  const int other = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
  const auto before = Snapshot();
  world.InstallPackage(package);
  EXPECT_EQ(testsupport::RunProgram(mdl_main::Main), exitcode::kAlreadyRunning);
  ASSERT_EQ(backend.messages.size(), 1u); // before the question
  EXPECT_EQ(backend.messages[0].text,
            "Обновление Lumen Notes уже выполняется.");
  EXPECT_EQ(Snapshot(), before);
  close(other);
  EXPECT_EQ(Run(package), exitcode::kSuccess);
}

TEST_F(PreflightTest, ABaseFormatPackageFailsItsSecondRunAtTheFirstRecord) {
  Installed(old);
  WriteFile(src + "/script",
            pkgbuild::ScriptRecord(3, "", pkgbuild::P + "\\legacy") +
                pkgbuild::ScriptRecord(0, pkgbuild::T + "\\app.exe",
                                       pkgbuild::P + "\\app.exe"));
  world.InstallFolder(src);
  backend.QueueAnswer(MsgAnswer::Yes);
  EXPECT_EQ(testsupport::RunProgram(mdl_main::Main), exitcode::kSuccess);
  EXPECT_TRUE(Exists(world.tempFolder)); // kept, as the base format has it
  backend.QueueAnswer(MsgAnswer::Yes);
  EXPECT_EQ(testsupport::RunProgram(mdl_main::Main), exitcode::kFailed);
  EXPECT_EQ(LastMessage().rfind("Произошла критическая ошибка:\r\n", 0), 0u);
}

} // namespace

TEST_F(PreflightTest, NewFilesOfABigFolderAreLookedUpInOneListingOfIt) {
  // Each path that is not there as written is looked up without regard to
  // case in its folder; listing the folder once for each new file made an
  // update of a few thousand files into a big folder take minutes.
  constexpr int kFiles = 200;
  MakeFolder(old + "/bin");
  std::string text;
  const std::string payload = world.box / "payload";
  std::filesystem::remove_all(payload);
  MakeFolder(payload);
  for (int k = 0; k < kFiles; ++k) {
    const std::string n = std::to_string(k);
    WriteFile(old + "/bin/old" + n + ".dat", "old " + n);
    WriteFile(payload + "/new" + n + ".dat", "new " + n);
    text += "copy {temp}\\new" + n + ".dat {app}\\bin\\New" + n + ".dat\n";
  }
  const tools::script_text::CompiledScript compiled =
      tools::script_text::CompileScript(text,
                                        tools::script_text::Installs::Refused);
  ASSERT_TRUE(compiled.errors.empty());
  // Every open of a path a new file takes in the program folder or the old
  // version's is a listing of its folder.
  int listings = 0;
  platform::posix::SetFaultHook(
      [&](platform::posix::Call call, const std::string &path) {
        listings += call == platform::posix::Call::Open &&
                    path.find("\\bin\\New") != std::string::npos;
        return 0;
      });
  WriteFile(payload + "/" + expect::kEntryName,
            tools::ExpectedStateOf(compiled.records, old));
  EXPECT_LE(listings, 2);
  WriteFile(payload + "/script", tools::script_text::ScriptBytes(compiled));
  WriteFile(payload + "/" + package::sums::kEntryName,
            pkgbuild::SumsOf(payload));
  tools::ImageTexts texts;
  texts.expect = true;
  const std::string package = pkgbuild::BuiltPackage(
      pkgbuild::MinimalPe(), tools::ManifestPayload(texts),
      pkgbuild::PackFolder(payload, world.box / "a.pack"));
  Installed(old);
  listings = 0;
  const int code = Run(package);
  platform::posix::SetFaultHook(nullptr);
  ASSERT_EQ(code, exitcode::kSuccess) << LastMessage();
  EXPECT_LE(listings, 4);
  EXPECT_EQ(ReadFile(world.prog + "/bin/New7.dat"), "new 7");
}

TEST_F(PreflightTest, ARecordWhosePathALaterOneChangesAgainIsDoneByIt) {
  // A script that deletes each file before it copies the new one: on the
  // second run the new files are there, which the deletions find done by
  // the copies after them. A copy onto "app.exe.", "app.exe .",
  // ".\\app.exe" or "lib\\..\\app.exe" is one onto app.exe, as Windows reads
  // it, whatever the expected state names (the copies' target as the
  // script writes it and as the script the expected state is of writes it,
  // * the name, and whether each file is deleted first). Another app.exe is
  // another version.
  const struct {
    const char *target, *expected;
    bool deleted;
  } cases[] = {{"*", "*", true},          {"*.", "*.", true},
               {"* .", "*", false},       {".\\*", "*", false},
               {"lib\\..\\*", "*", true}, {"\\*", "*", false},
               {"*", ".\\*", false}};
  WriteFile(old + "/readme.txt", "readme 4.2");
  for (const auto &c : cases) {
    SCOPED_TRACE(c.target);
    const auto script = [&](const std::string &form) {
      const size_t star = form.find('*');
      std::string text;
      for (const char *name : {"app.exe", "readme.txt"})
        text += (c.deleted ? std::string("delete {app}\\") + name + "\n" : "") +
                "copy {temp}\\" + name + " \"{app}\\" +
                std::string(form).replace(star, 1, name) + "\"\n";
      const tools::script_text::CompiledScript compiled =
          tools::script_text::CompileScript(
              text, tools::script_text::Installs::Refused);
      EXPECT_TRUE(compiled.errors.empty());
      return compiled;
    };
    const std::string payload = world.box / "payload";
    std::filesystem::remove_all(payload);
    std::filesystem::copy(src, payload);
    WriteFile(payload + "/script",
              tools::script_text::ScriptBytes(script(c.target)));
    const std::string expected =
        tools::ExpectedStateOf(script(c.expected).records, old);
    // One line for each file, however the records spell it.
    EXPECT_EQ(expect::ParseExpected(expected).size(), 2u);
    WriteFile(payload + "/" + expect::kEntryName, expected);
    WriteFile(payload + "/" + package::sums::kEntryName,
              pkgbuild::SumsOf(payload));
    tools::ImageTexts texts;
    texts.product = "Lumen Notes";
    texts.version = "4.3";
    texts.expect = true;
    const std::string package = pkgbuild::BuiltPackage(
        pkgbuild::MinimalPe(), tools::ManifestPayload(texts),
        pkgbuild::PackFolder(payload, world.box / "a.pack"));
    Installed(old);
    EXPECT_EQ(Run(package), exitcode::kSuccess);
    EXPECT_EQ(ReadFile(world.prog + "/readme.txt"), "readme 4.3");
    EXPECT_EQ(Run(package), exitcode::kSuccess);
    EXPECT_EQ(LastMessage(), "Lumen Notes уже обновлен до версии 4.3.");
    Installed(old);
    WriteFile(world.prog + "/app.exe", "app 4.1");
    const auto before = Snapshot();
    EXPECT_EQ(Run(package), exitcode::kNotExpected);
    EXPECT_EQ(Snapshot(), before);
  }
}

TEST_F(PreflightTest, AFolderRecordWithASeparatorAfterItNamesTheFolder) {
  // Records after the update's own, and what they leave.
  const std::pair<const char *, const char *> cases[] = {
      {"mkdir {app}\\made\\\n", "/made"},
      {"mkdir {app}\\made\\\nmkdir {app}\\made\\deep\\\n", "/made/deep"},
      {"mkdir {app}\\made\\\ncopy {temp}\\readme.txt {app}\\made\\r.txt\n",
       "/made/r.txt"},
      // The file a copy before makes, read through "n.txt." as Windows does.
      {"copy {temp}\\readme.txt {app}\\n.txt\ncopy {app}\\n.txt. "
       "{app}\\m.txt\n",
       "/m.txt"},
      // A path is read whole: "d.\\x.txt" is in d, ".\\n.txt" is n.txt.
      {"mkdir {app}\\d\ncopy {temp}\\readme.txt {app}\\d.\\x.txt\n",
       "/d/x.txt"},
      {"copy {temp}\\readme.txt {app}\\n.txt\ncopy {app}\\.\\n.txt "
       "{app}\\m.txt\n",
       "/m.txt"},
  };
  for (const auto &[text, made] : cases) {
    SCOPED_TRACE(text);
    const tools::script_text::CompiledScript tail =
        tools::script_text::CompileScript(
            text, tools::script_text::Installs::Refused);
    ASSERT_TRUE(tail.errors.empty());
    Installed(old);
    EXPECT_EQ(Run(Package(old.c_str(), tools::script_text::ScriptBytes(tail))),
              exitcode::kSuccess)
        << LastMessage();
    EXPECT_TRUE(IsNew());
    EXPECT_TRUE(Exists(world.prog + made));
  }
  // A file of the product where such a record makes a folder is no version
  // the update is for: the disk says so, whatever a separator asks of it.
  const tools::script_text::CompiledScript onFile =
      tools::script_text::CompileScript("mkdir {app}\\x.txt\\\n",
                                        tools::script_text::Installs::Refused);
  Installed(old);
  WriteFile(world.prog + "/x.txt", "x");
  const auto before = Snapshot();
  EXPECT_EQ(Run(Package(nullptr, tools::script_text::ScriptBytes(onFile))),
            exitcode::kNotExpected)
      << LastMessage();
  EXPECT_EQ(Snapshot(), before);
}
