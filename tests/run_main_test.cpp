// The update run from the confirmation to its endings, on the scripted UI.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files.h"
#include "platform/posix/syscalls.h"
#include "run/mdl_main.h"
#include "tests/support/package_builder.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace std::string_literals;
namespace stdfs = std::filesystem;

using pkgbuild::ListNames;
using pkgbuild::P;
using pkgbuild::ScriptRecord;
using pkgbuild::T;
using platform::MsgAnswer;
using platform::MsgButtons;
using platform::MsgIcon;
using testsupport::FileExists;
using testsupport::FolderExists;
using testsupport::MakeFolder;
using testsupport::ReadFile;
using testsupport::WriteFile;

const char *const kConfirm =
    "Сейчас будет произведено обновление Quorix до версии 1.1.\r\nПродолжить?";
const char *const kSuccess = "Обновление до версии 1.1 прошло успешно!";
const char *const kCritical = "Произошла критическая ошибка:\r\n";
const char *const kPreparing = "Идет подготовка к установке...";
const char *const kUnpacking = "Распаковка пакета обновления...";
const char *const kInstalling = "Установка обновления...";

// Fails every delete of a name that holds word, as a file in use or
// another user's file would.
void KeepUndeletable(const std::string &word) {
  platform::posix::SetFaultHook(
      [word](platform::posix::Call call, const std::string &path) {
        const bool removes = call == platform::posix::Call::Delete ||
                             call == platform::posix::Call::RemoveFolder;
        return removes && path.find(word) != std::string::npos ? EBUSY : 0;
      });
}

class RunTest : public ::testing::Test {
protected:
  // A package that installs app.exe and data\readme.txt into the program
  // folder and deletes old.txt there.
  void InstallStandardPackage() {
    src = world.box / "src";
    MakeFolder(src);
    appBytes = std::string(300, 'A') + "\x00\x01\x02 new app"s + "\xFF";
    WriteFile(src + "/app.exe", appBytes);
    WriteFile(src + "/readme.txt", "Прочти меня");
    WriteFile(
        src + "/script",
        ScriptRecord(0, T + "\\app.exe", P + "\\app.exe") +
            ScriptRecord(1, "", P + "\\old.txt") +
            ScriptRecord(2, "", P + "\\data") +
            ScriptRecord(0, T + "\\readme.txt", P + "\\data\\readme.txt"));
    WriteFile(world.prog + "/old.txt", "old");
    WriteFile(world.prog + "/app.exe", "old app, longer than nothing");
    packageLength = world.InstallFolder(src);
    carveBytes = static_cast<int64_t>(world.archive.size()) + 1;
    backend.yields = 0; // the writer yields too; count the run's own
  }

  int Run() {
    backend.QueueAnswer(MsgAnswer::Yes);
    return testsupport::RunProgram(mdl_main::Main);
  }

  void ExpectInstalled() {
    EXPECT_EQ(ReadFile(world.prog + "/app.exe"), appBytes);
    EXPECT_FALSE(FileExists(world.prog + "/old.txt"));
    EXPECT_EQ(ReadFile(world.prog + "/data/readme.txt"), "Прочти меня");
  }

  void ExpectMessages(const std::vector<std::string> &texts) {
    ASSERT_EQ(backend.messages.size(), texts.size());
    for (size_t k = 0; k < texts.size(); ++k)
      EXPECT_EQ(backend.messages[k].text, texts[k]) << k;
  }

  pkgbuild::RunWorld world;
  testsupport::ScriptedUi backend;
  std::string src;
  std::string appBytes;
  int32_t packageLength = 0;
  int64_t carveBytes = 0;
};

TEST_F(RunTest, NoAtTheConfirmationCreatesNothing) {
  InstallStandardPackage();
  backend.QueueAnswer(MsgAnswer::No);
  EXPECT_EQ(testsupport::RunProgram(mdl_main::Main),
            platform::exitcode::kDeclined);
  ASSERT_EQ(backend.messages.size(), 1u);
  EXPECT_EQ(backend.messages[0].text, kConfirm);
  EXPECT_EQ(backend.messages[0].icon, MsgIcon::Question);
  EXPECT_EQ(backend.messages[0].buttons, MsgButtons::YesNo);
  EXPECT_EQ(backend.messages[0].title, "Dravell");
  EXPECT_FALSE(backend.formCreated);
  EXPECT_TRUE(ListNames(world.tmp).empty());
  EXPECT_EQ(ReadFile(world.prog + "/old.txt"), "old");
  EXPECT_FALSE(mdl_main::HasArch());
}

TEST_F(RunTest, NoAtTheConfirmationLeavesAnEarlierRunsLeftovers) {
  InstallStandardPackage();
  MakeFolder(world.tempFolder);
  WriteFile(world.tempFolder + "/stale", "s");
  WriteFile(world.packFile, "stale pack");
  backend.QueueAnswer(MsgAnswer::No);
  EXPECT_EQ(testsupport::RunProgram(mdl_main::Main),
            platform::exitcode::kDeclined);
  EXPECT_EQ(ReadFile(world.tempFolder + "/stale"), "s");
  EXPECT_EQ(ReadFile(world.packFile), "stale pack");
}

TEST_F(RunTest, SuccessfulRunInstallsAndLeavesTheTempFolder) {
  InstallStandardPackage();
  // The pack file goes before the success box appears; the folder stays.
  bool packAtSuccess = true;
  std::vector<std::string> tempAtSuccess;
  backend.onMessage = [&](const std::string &text) {
    if (text != kSuccess)
      return;
    packAtSuccess = testsupport::Exists(world.packFile);
    tempAtSuccess = ListNames(world.tempFolder);
  };
  // Once the status says so, the install runs without a yield.
  int64_t installYields = 0;
  backend.onEveryYield = [&] {
    installYields += backend.label[0] == kInstalling;
  };
  EXPECT_EQ(Run(), platform::exitcode::kSuccess);
  EXPECT_EQ(installYields, 0);
  EXPECT_FALSE(packAtSuccess);
  EXPECT_EQ(tempAtSuccess,
            (std::vector<std::string>{"app.exe", "readme.txt", "script"}));
  ExpectMessages({kConfirm, kSuccess});
  EXPECT_EQ(backend.messages[1].icon, MsgIcon::Information);
  EXPECT_EQ(backend.messages[1].buttons, MsgButtons::Ok);
  EXPECT_EQ(backend.messages[1].title, "Dravell");
  ExpectInstalled();

  EXPECT_FALSE(FileExists(world.packFile));
  EXPECT_EQ(ListNames(world.tempFolder),
            (std::vector<std::string>{"app.exe", "readme.txt", "script"}));
  EXPECT_EQ(ReadFile(world.tempFolder + "/app.exe"), appBytes);
  EXPECT_EQ(ReadFile(world.tempFolder + "/script"), ReadFile(src + "/script"));
  EXPECT_EQ(ListNames(world.tmp), (std::vector<std::string>{"VLSFX_QUORIX"}));
  // The package itself is untouched.
  EXPECT_EQ(static_cast<int32_t>(ReadFile(world.exe).size()), packageLength);

  EXPECT_EQ(mdl_main::TempFolder, world.tmp + "\\VLSFX_QUORIX");
  EXPECT_EQ(mdl_main::PackFile, world.tmp + "\\VLSFX_QUORIX.PACK");
  EXPECT_FALSE(mdl_main::HasArch()); // released after the extraction
  EXPECT_EQ(platform::files::FreeFile(), 1);
  EXPECT_TRUE(backend.formShown);
  EXPECT_TRUE(backend.closeResults.empty());
}

TEST_F(RunTest, WindowPhasesStatusTimerAndProgressLine) {
  InstallStandardPackage();
  struct Seen {
    std::string status;
    bool shown, timer;
  };
  std::vector<Seen> seen;
  auto look = [&] {
    seen.push_back({backend.label[0], backend.formShown, backend.timerOn});
  };
  backend.AtYield(1, look);              // first byte copied
  backend.AtYield(carveBytes, look);     // last byte copied
  backend.AtYield(carveBytes + 1, look); // Extract's first yield
  backend.TickEveryYield(true);
  EXPECT_EQ(Run(), platform::exitcode::kSuccess);

  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].status, kPreparing);
  EXPECT_TRUE(seen[0].shown);
  EXPECT_FALSE(seen[0].timer);
  EXPECT_EQ(seen[1].status, kPreparing);
  EXPECT_FALSE(seen[1].timer);
  EXPECT_EQ(seen[2].status, kUnpacking);
  EXPECT_TRUE(seen[2].timer);

  EXPECT_EQ(backend.LabelTexts(0),
            (std::vector<std::string>{kPreparing, kUnpacking, kInstalling}));
  EXPECT_EQ(backend.label[0], kInstalling);

  // Percentages while copying, then the entry names at the ticks.
  const std::vector<std::string> line = backend.LabelTexts(1);
  ASSERT_FALSE(line.empty());
  EXPECT_EQ(line.front(), "Выполнено 0%");
  size_t k = 0;
  int last = -1;
  for (; k < line.size() && line[k].rfind("Выполнено ", 0) == 0; ++k) {
    const int value =
        std::stoi(line[k].substr(std::string("Выполнено ").size()));
    EXPECT_EQ(line[k], "Выполнено " + std::to_string(value) + "%");
    EXPECT_GT(value, last);
    last = value;
  }
  EXPECT_GE(last, 90);
  EXPECT_LE(last, 100);
  std::vector<std::string> names(line.begin() + static_cast<long>(k),
                                 line.end());
  // Ticks come at every yield of the extraction: before the first entry the
  // name is still empty.
  std::vector<std::string> nonEmpty;
  for (const std::string &n : names)
    if (!n.empty())
      nonEmpty.push_back(n);
  EXPECT_EQ(nonEmpty,
            (std::vector<std::string>{"app.exe", "readme.txt", "script"}));
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names.front(), "");
  EXPECT_GT(backend.ticksDelivered, 0);
}

TEST_F(RunTest, TickShowsTheEntryBeingWritten) {
  InstallStandardPackage();
  // Find a yield in the middle of app.exe (300+ bytes, the first entry).
  std::string nameAtTick, lastPercent, beforeTick;
  int16_t modeAtTick = -1;
  const int64_t at = carveBytes + 200;
  backend.AtYield(carveBytes, [&] { lastPercent = backend.label[1]; });
  backend.AtYield(at - 1, [&] { beforeTick = backend.label[1]; });
  backend.TickAtYield(at);
  backend.AtYield(at, [&] {
    nameAtTick = backend.label[1];
    modeAtTick = mdl_main::Arch().ActionMode();
  });
  EXPECT_EQ(Run(), platform::exitcode::kSuccess);
  EXPECT_EQ(backend.ticksDelivered, 1);
  EXPECT_EQ(modeAtTick, archive::mode::kExtractCopy);
  EXPECT_EQ(nameAtTick, "app.exe");
  // The last percentage stays until the first tick, and the last tick's
  // text through the install.
  EXPECT_EQ(lastPercent.rfind("Выполнено ", 0), 0u) << lastPercent;
  EXPECT_EQ(beforeTick, lastPercent);
  EXPECT_EQ(backend.label[0], kInstalling);
  EXPECT_EQ(backend.label[1], "app.exe");
}

TEST_F(RunTest, OldTempFolderIsReplacedBeforeUnpacking) {
  InstallStandardPackage();
  MakeFolder(world.tempFolder);
  MakeFolder(world.tempFolder + "/sub");
  WriteFile(world.tempFolder + "/sub/deep.txt", "d");
  WriteFile(world.tempFolder + "/stale.txt", "s");
  WriteFile(world.tempFolder + "/app.exe", std::string(5000, 'x'));
  bool goneAtFirstYield = false;
  backend.AtYield(1, [&] {
    goneAtFirstYield =
        FolderExists(world.tempFolder) && ListNames(world.tempFolder).empty();
  });
  EXPECT_EQ(Run(), platform::exitcode::kSuccess);
  EXPECT_TRUE(goneAtFirstYield);
  EXPECT_EQ(ListNames(world.tempFolder),
            (std::vector<std::string>{"app.exe", "readme.txt", "script"}));
  EXPECT_EQ(ReadFile(world.tempFolder + "/app.exe"), appBytes);
}

TEST_F(RunTest, OldPackFileIsDeletedNotOverwritten) {
  InstallStandardPackage();
  // A hard link shows whether the old file was deleted (the other name
  // keeps its bytes) or written over in place.
  WriteFile(world.packFile, std::string(100000, 'p'));
  ASSERT_EQ(link(world.packFile.c_str(), (world.box / "witness").c_str()), 0);
  EXPECT_EQ(Run(), platform::exitcode::kSuccess);
  EXPECT_EQ(ReadFile(world.box / "witness"), std::string(100000, 'p'));
  EXPECT_FALSE(FileExists(world.packFile));
  ExpectInstalled();
}

TEST_F(RunTest, PackFilePathHeldByAFolderEndsWithCriticalError) {
  InstallStandardPackage();
  MakeFolder(world.packFile);
  WriteFile(world.packFile + "/inside", "i");
  EXPECT_EQ(Run(), platform::exitcode::kFailed);
  ASSERT_EQ(backend.messages.size(), 2u);
  EXPECT_EQ(backend.messages[1].text.rfind(kCritical, 0), 0u);
  EXPECT_EQ(backend.messages[1].icon, MsgIcon::Error);
  EXPECT_EQ(backend.messages[1].buttons, MsgButtons::Ok);
  EXPECT_EQ(ReadFile(world.packFile + "/inside"), "i");
  EXPECT_TRUE(backend.formShown); // a folder is no old pack file to delete
  EXPECT_EQ(backend.yields, 0);   // not a byte copied
  EXPECT_EQ(ReadFile(world.prog + "/old.txt"), "old");
}

TEST_F(RunTest, PackFileThatCannotBeDeletedEndsWhileTheWindowIsHidden) {
  InstallStandardPackage();
  WriteFile(world.packFile, "old pack");
  KeepUndeletable("VLSFX_QUORIX.PACK"); // another program holds it open
  const int code = Run();
  platform::posix::SetFaultHook(nullptr);
  EXPECT_EQ(code, platform::exitcode::kFailed);
  ASSERT_EQ(backend.messages.size(), 2u);
  EXPECT_EQ(backend.messages[1].text.rfind(kCritical, 0), 0u);
  EXPECT_TRUE(backend.formCreated);
  EXPECT_FALSE(backend.formShown);
  EXPECT_EQ(ReadFile(world.packFile), "old pack");
}

// What someone else may have planted under TMP before the run: each is
// either cleared away or ends the run before anything is unpacked; nothing
// outside TMP is written, and no planted script is carried out.
struct Planted {
  const char *label;
  // Prepares TMP (world.box holds "outside", a folder with a planted script
  // and a file that must stay as it is); may install a fault hook.
  std::function<void(pkgbuild::RunWorld &)> plant;
  bool critical; // false: the run succeeds
};

class PlantedTest : public RunTest,
                    public ::testing::WithParamInterface<Planted> {
protected:
  void TearDown() override { platform::posix::SetFaultHook(nullptr); }
};

TEST_P(PlantedTest, IsClearedOrEndsTheRunBeforeUnpacking) {
  InstallStandardPackage();
  const std::string outside = world.box / "outside";
  MakeFolder(outside);
  // The planted script would delete app.exe from the program folder.
  WriteFile(outside + "/script", ScriptRecord(1, "", P + "\\app.exe"));
  WriteFile(outside + "/keep", "outside bytes");
  GetParam().plant(world);
  const int code = Run();
  platform::posix::SetFaultHook(nullptr);
  if (GetParam().critical) {
    EXPECT_EQ(code, platform::exitcode::kFailed);
    ASSERT_EQ(backend.messages.size(), 2u);
    const std::string &text = backend.messages[1].text;
    EXPECT_EQ(text.rfind(kCritical, 0), 0u) << text;
    EXPECT_NE(text.find(world.tmp + "\\VLSFX_QUORIX"), std::string::npos)
        << text;
    EXPECT_FALSE(backend.formShown);
    EXPECT_EQ(ReadFile(world.prog + "/app.exe"),
              "old app, longer than nothing");
  } else {
    EXPECT_EQ(code, platform::exitcode::kSuccess);
    ExpectInstalled();
    EXPECT_TRUE(stdfs::is_directory(stdfs::symlink_status(world.tempFolder)));
  }
  EXPECT_EQ(pkgbuild::ListNames(outside),
            (std::vector<std::string>{"keep", "script"}));
  EXPECT_EQ(ReadFile(outside + "/keep"), "outside bytes");
  EXPECT_FALSE(testsupport::Exists(world.box / "made"));
}

INSTANTIATE_TEST_SUITE_P(
    Tmp, PlantedTest,
    ::testing::Values(
        // The user's own folder that could not be emptied is used: the
        // extraction replaces what it writes.
        Planted{"undeletable_file_in_the_old_folder",
                [](pkgbuild::RunWorld &w) {
                  MakeFolder(w.tempFolder);
                  WriteFile(w.tempFolder + "/script",
                            ScriptRecord(1, "", P + "\\app.exe"));
                  WriteFile(w.tempFolder + "/locked", "in use");
                  KeepUndeletable("locked");
                },
                false},
        Planted{"read_only_files_left_by_an_earlier_run",
                [](pkgbuild::RunWorld &w) {
                  MakeFolder(w.tempFolder + "/sub");
                  WriteFile(w.tempFolder + "/script",
                            ScriptRecord(1, "", P + "\\app.exe"));
                  WriteFile(w.tempFolder + "/sub/stale", "s");
                  for (const char *name : {"/script", "/sub/stale"})
                    chmod((w.tempFolder + name).c_str(), 0444);
                  chmod((w.tempFolder + "/sub").c_str(), 0555);
                },
                false},
        Planted{"folder_others_can_write",
                [](pkgbuild::RunWorld &w) {
                  MakeFolder(w.tempFolder);
                  chmod(w.tempFolder.c_str(), 0777);
                  KeepUndeletable("VLSFX_QUORIX");
                },
                true},
        Planted{"old_folder_that_cannot_be_removed",
                [](pkgbuild::RunWorld &w) {
                  MakeFolder(w.tempFolder);
                  KeepUndeletable("VLSFX_QUORIX");
                  // Empty and ours: it is used as it is.
                },
                false},
        Planted{"temp_folder_is_a_link_to_a_folder",
                [](pkgbuild::RunWorld &w) {
                  stdfs::create_directory_symlink(w.box / "outside",
                                                  w.tempFolder);
                },
                false},
        Planted{"temp_folder_is_a_dangling_link",
                [](pkgbuild::RunWorld &w) {
                  stdfs::create_directory_symlink(w.box / "made", w.tempFolder);
                },
                true},
        Planted{"temp_folder_link_that_cannot_be_removed",
                [](pkgbuild::RunWorld &w) {
                  stdfs::create_directory_symlink(w.box / "outside",
                                                  w.tempFolder);
                  KeepUndeletable("VLSFX_QUORIX");
                },
                true},
        Planted{"pack_file_is_a_link_to_a_file",
                [](pkgbuild::RunWorld &w) {
                  stdfs::create_symlink(w.box / "outside/keep", w.packFile);
                },
                false},
        Planted{"pack_file_is_a_dangling_link",
                [](pkgbuild::RunWorld &w) {
                  stdfs::create_symlink(w.box / "made", w.packFile);
                },
                false},
        Planted{"pack_file_link_that_cannot_be_removed",
                [](pkgbuild::RunWorld &w) {
                  stdfs::create_symlink(w.box / "made", w.packFile);
                  KeepUndeletable("VLSFX_QUORIX.PACK");
                },
                true}),
    [](const auto &info) { return std::string(info.param.label); });

TEST_F(RunTest, AnotherUsersFolderLeftInTmpIsNotWorkedIn) {
  if (geteuid() != 0)
    GTEST_SKIP() << "only root can give a folder to another user";
  InstallStandardPackage();
  MakeFolder(world.tempFolder);
  ASSERT_EQ(chown(world.tempFolder.c_str(), 12345, 12345), 0);
  KeepUndeletable("VLSFX_QUORIX");
  EXPECT_EQ(Run(), platform::exitcode::kFailed);
  platform::posix::SetFaultHook(nullptr);
  ASSERT_EQ(backend.messages.size(), 2u);
  EXPECT_NE(backend.messages[1].text.find("другому пользователю"),
            std::string::npos)
      << backend.messages[1].text;
  EXPECT_TRUE(ListNames(world.tempFolder).empty());
}

// Windows keeps the held temporary folder's name; posix cannot, so a link
// renamed into its place while the run works (here at the first file the
// extraction opens) leads nowhere: every file of the folder is written,
// read and removed in the folder held.
TEST_F(RunTest, LinkSwappedInForTheTempFolderLeadsNowhere) {
  InstallStandardPackage();
  const std::string outside = world.box / "outside";
  MakeFolder(outside);
  WriteFile(outside + "/app.exe", "outside bytes");
  const std::string inside = world.tmp + "\\VLSFX_QUORIX\\";
  bool swapped = false;
  platform::posix::SetFaultHook(
      [&](platform::posix::Call call, const std::string &path) {
        if (!swapped && path.starts_with(inside) &&
            (call == platform::posix::Call::Create ||
             call == platform::posix::Call::Open)) {
          swapped = true;
          stdfs::rename(world.tempFolder, world.box / "moved");
          stdfs::create_directory_symlink(outside, world.tempFolder);
        }
        return 0;
      });
  const int code = Run();
  platform::posix::SetFaultHook(nullptr);
  ASSERT_TRUE(swapped);
  EXPECT_EQ(code, platform::exitcode::kSuccess);
  ExpectInstalled();
  EXPECT_EQ(ListNames(outside), (std::vector<std::string>{"app.exe"}));
  EXPECT_EQ(ReadFile(outside + "/app.exe"), "outside bytes");
}

TEST_F(RunTest, PackageOfTwoGigabytesNamesItselfAndTheLimit) {
  InstallStandardPackage();
  stdfs::resize_file(world.exe, uintmax_t{1} << 31); // sparse
  EXPECT_EQ(Run(), platform::exitcode::kFailed);
  ASSERT_EQ(backend.messages.size(), 2u);
  const std::string &text = backend.messages[1].text;
  EXPECT_EQ(text.rfind(std::string(kCritical) + "Переполнение: ", 0), 0u)
      << text;
  EXPECT_NE(text.find("update.exe"), std::string::npos) << text;
  EXPECT_NE(text.find("2 ГБ"), std::string::npos) << text;
  EXPECT_EQ(ReadFile(world.prog + "/old.txt"), "old");
}

TEST_F(RunTest, FileAtTheTempFolderPathFailsTheExtraction) {
  InstallStandardPackage();
  WriteFile(world.tempFolder, "I am a file");
  EXPECT_EQ(Run(), platform::exitcode::kFailed);
  // Extract's own error box is the only message after the confirmation.
  ASSERT_EQ(backend.messages.size(), 2u);
  EXPECT_EQ(backend.messages[1].icon, MsgIcon::Error);
  EXPECT_EQ(backend.messages[1].buttons, MsgButtons::Ok);
  EXPECT_EQ(backend.messages[1].text.rfind(kCritical, 0), std::string::npos);
  EXPECT_EQ(ReadFile(world.tempFolder), "I am a file");
  EXPECT_EQ(ReadFile(world.packFile), world.archive + std::string(1, '\0'));
  // No install step.
  EXPECT_EQ(ReadFile(world.prog + "/old.txt"), "old");
}

TEST_F(RunTest, FileAtTheTempFolderPathWithNothingToUnpackFailsAtTheScript) {
  src = world.box / "src";
  MakeFolder(src); // an archive without entries: the extraction writes nothing
  world.InstallFolder(src);
  WriteFile(world.tempFolder, "I am a file");
  EXPECT_EQ(Run(), platform::exitcode::kFailed);
  ASSERT_EQ(backend.messages.size(), 2u);
  // The script cannot be opened: no folder is there, and nothing claims that
  // the file is a link.
  const std::string &text = backend.messages[1].text;
  EXPECT_EQ(text.rfind(std::string(kCritical) + "Путь не найден: " + world.tmp +
                           "\\VLSFX_QUORIX",
                       0),
            0u)
      << text;
  EXPECT_EQ(text.find("ссылка"), std::string::npos) << text;
  EXPECT_EQ(backend.label[0], kInstalling);
  EXPECT_EQ(ReadFile(world.tempFolder), "I am a file");
  EXPECT_TRUE(FileExists(world.packFile));
}

TEST_F(RunTest, FailedExtractionStopsTheRunAndKeepsEverything) {
  world.InstallPackage(pkgbuild::JoinPackage("stub", "pack1 not an archive"));
  EXPECT_EQ(Run(), platform::exitcode::kFailed);
  // A package without texts of its own adds nothing to the message.
  ExpectMessages({kConfirm, "Файл не является архивом Kestrova PACK."});
  EXPECT_EQ(ReadFile(world.packFile), "pack1 not an archive");
  EXPECT_TRUE(FolderExists(world.tempFolder));
  EXPECT_EQ(backend.label[0], kUnpacking); // never reached the install step
}

TEST_F(RunTest, MissingScriptCountsAsEmpty) {
  src = world.box / "src";
  MakeFolder(src);
  WriteFile(src + "/only.txt", "x");
  world.InstallFolder(src);
  backend.yields = 0;
  EXPECT_EQ(Run(), platform::exitcode::kSuccess);
  ExpectMessages({kConfirm, kSuccess});
  // The script is opened for reading and writing: an empty one is made,
  // and kept with the entries.
  EXPECT_EQ(ListNames(world.tempFolder),
            (std::vector<std::string>{"only.txt", "script"}));
  EXPECT_EQ(ReadFile(world.tempFolder + "/script"), "");
  EXPECT_FALSE(FileExists(world.packFile));
}

// A script shorter than a record carries out nothing, and bytes after the
// last whole record are never read: the run goes on to its success.
TEST(RunScriptLength, WholeRecordsAreCarriedOutAndTheRunSucceeds) {
  const std::string makeA = ScriptRecord(2, "", P + "\\a");
  const std::string makeB = ScriptRecord(2, "", P + "\\b");
  const std::string makeC = ScriptRecord(2, "", P + "\\c");
  const struct {
    std::string script;
    std::vector<std::string> made;
  } cases[] = {
      {"", {}},
      {makeC.substr(0, 64), {}},
      {makeA + makeB + makeC.substr(0, 64), {"a", "b"}}, // 194 bytes
      {makeA + makeC.substr(0, 1), {"a"}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.script.size());
    pkgbuild::RunWorld world;
    const std::string src = world.box / "src";
    MakeFolder(src);
    WriteFile(src + "/script", c.script);
    world.InstallFolder(src);
    testsupport::ScriptedUi ui;
    ui.QueueAnswer(MsgAnswer::Yes);
    EXPECT_EQ(testsupport::RunProgram(mdl_main::Main),
              platform::exitcode::kSuccess);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].text, kSuccess);
    std::vector<std::string> names = c.made;
    names.push_back("update.exe"); // the package itself
    EXPECT_EQ(pkgbuild::ListNames(world.prog), names);
    EXPECT_EQ(ReadFile(world.tempFolder + "/script"), c.script);
  }
}

TEST_F(RunTest, FailingScriptEndsWithCriticalErrorAfterEarlierRecords) {
  src = world.box / "src";
  MakeFolder(src);
  WriteFile(src + "/a.txt", "a");
  WriteFile(src + "/script", ScriptRecord(0, T + "\\a.txt", P + "\\a.txt") +
                                 ScriptRecord(1, "", P + "\\missing.txt") +
                                 ScriptRecord(2, "", P + "\\never"));
  world.InstallFolder(src);
  backend.yields = 0;
  EXPECT_EQ(Run(), platform::exitcode::kFailed);
  ASSERT_EQ(backend.messages.size(), 2u);
  EXPECT_EQ(backend.messages[1].text.rfind(kCritical, 0), 0u);
  EXPECT_NE(backend.messages[1].text.find("missing.txt"), std::string::npos);
  EXPECT_EQ(ReadFile(world.prog + "/a.txt"), "a");
  EXPECT_FALSE(FolderExists(world.prog + "/never"));
  // Nothing is cleaned up.
  EXPECT_TRUE(FileExists(world.packFile));
  EXPECT_TRUE(FileExists(world.tempFolder + "/script"));
}

// Abort from the progress window.

TEST_F(RunTest, AbortDuringCopyAnsweredNoThenYes) {
  InstallStandardPackage();
  backend.QueueAnswer(MsgAnswer::Yes); // the confirmation
  backend.QueueAnswer(MsgAnswer::No);
  backend.QueueAnswer(MsgAnswer::Yes);
  backend.CloseAtYield(5);
  backend.CloseAtYield(40);
  EXPECT_EQ(testsupport::RunProgram(mdl_main::Main),
            platform::exitcode::kAborted);
  ExpectMessages({kConfirm, "Прервать обновление?", "Прервать обновление?"});
  for (size_t k = 1; k < 3; ++k) {
    EXPECT_EQ(backend.messages[k].icon, MsgIcon::Warning);
    EXPECT_EQ(backend.messages[k].buttons, MsgButtons::YesNo);
  }
  EXPECT_EQ(backend.closeResults, (std::vector<int16_t>{1}));
  EXPECT_EQ(backend.yields, 40); // went on after No, never resumed after Yes
  EXPECT_TRUE(ListNames(world.tmp).empty()); // neither folder nor pack file
  EXPECT_EQ(ReadFile(world.prog + "/old.txt"), "old");
}

TEST_F(RunTest, AbortDuringCopyAnsweredNoLetsTheRunFinish) {
  InstallStandardPackage();
  backend.QueueAnswer(MsgAnswer::Yes);
  backend.QueueAnswer(MsgAnswer::No);
  backend.CloseAtYield(carveBytes - 1);
  EXPECT_EQ(testsupport::RunProgram(mdl_main::Main),
            platform::exitcode::kSuccess);
  ExpectMessages({kConfirm, "Прервать обновление?", kSuccess});
  ExpectInstalled();
}

TEST_F(RunTest, AbortDuringExtractionAnsweredNoThenYes) {
  InstallStandardPackage();
  backend.QueueAnswer(MsgAnswer::Yes);
  backend.QueueAnswer(MsgAnswer::No);
  backend.QueueAnswer(MsgAnswer::Yes);
  int16_t modeAtNo = -1, modeAtYes = -1;
  const int64_t first = carveBytes + 20, second = carveBytes + 150;
  backend.AtYield(first, [&] {
    modeAtNo = mdl_main::Arch().ActionMode();
    backend.RequestClose();
  });
  backend.AtYield(second, [&] {
    modeAtYes = mdl_main::Arch().ActionMode();
    backend.RequestClose();
  });
  EXPECT_EQ(testsupport::RunProgram(mdl_main::Main),
            platform::exitcode::kAborted);
  EXPECT_NE(modeAtNo, archive::mode::kIdle);
  EXPECT_EQ(modeAtYes, archive::mode::kExtractCopy);
  // No error box from Extract, no critical error: the program just ends.
  ExpectMessages({kConfirm, "Прервать обновление?", "Прервать обновление?"});
  EXPECT_EQ(backend.yields, second);
  EXPECT_TRUE(ListNames(world.tmp).empty());
  EXPECT_EQ(ReadFile(world.prog + "/old.txt"), "old");
}

TEST_F(RunTest, AbortDuringExtractionAnsweredNoLetsTheRunFinish) {
  InstallStandardPackage();
  backend.QueueAnswer(MsgAnswer::Yes);
  backend.QueueAnswer(MsgAnswer::No);
  backend.CloseAtYield(carveBytes + 100);
  EXPECT_EQ(testsupport::RunProgram(mdl_main::Main),
            platform::exitcode::kSuccess);
  ExpectMessages({kConfirm, "Прервать обновление?", kSuccess});
  ExpectInstalled();
}

// Paths from TMP.

TEST_F(RunTest, PathsArePlainConcatenationsOfTmp) {
  const struct {
    const char *tmp; // nullptr: unset
    const char *folder;
    const char *pack;
  } cases[] = {
      {nullptr, "\\VLSFX_QUORIX", "\\VLSFX_QUORIX.PACK"},
      {"", "\\VLSFX_QUORIX", "\\VLSFX_QUORIX.PACK"},
      {"C:\\Temp", "C:\\Temp\\VLSFX_QUORIX", "C:\\Temp\\VLSFX_QUORIX.PACK"},
      {"C:\\Temp\\", "C:\\Temp\\\\VLSFX_QUORIX",
       "C:\\Temp\\\\VLSFX_QUORIX.PACK"},
      {" x ", " x \\VLSFX_QUORIX", " x \\VLSFX_QUORIX.PACK"},
  };
  for (const auto &c : cases) {
    if (c.tmp)
      setenv("TMP", c.tmp, 1);
    else
      unsetenv("TMP");
    EXPECT_EQ(mdl_main::TempFolderPath(), c.folder);
    EXPECT_EQ(mdl_main::PackFilePath(), c.pack);
  }
  // TEMP is not read.
  unsetenv("TMP");
  setenv("TEMP", world.tmp.c_str(), 1);
  EXPECT_EQ(mdl_main::TempFolderPath(), "\\VLSFX_QUORIX");
  unsetenv("TEMP");
}

TEST_F(RunTest, PrepareTempFolderSetsTheValueAndCreatesTheFolder) {
  mdl_main::PrepareTempFolder();
  EXPECT_EQ(mdl_main::TempFolder, world.tmp + "\\VLSFX_QUORIX");
  EXPECT_TRUE(FolderExists(world.tempFolder));
  EXPECT_TRUE(ListNames(world.tempFolder).empty());
}

TEST_F(RunTest, PrepareTempFolderAbsorbsAMissingTmpFolder) {
  setenv("TMP", (world.box / "no-such-folder").c_str(), 1);
  mdl_main::PrepareTempFolder(); // must not raise
  EXPECT_EQ(mdl_main::TempFolder,
            world.box / "no-such-folder" + "\\VLSFX_QUORIX");
  EXPECT_FALSE(FolderExists(world.box / "no-such-folder"));
}

TEST_F(RunTest, MissingTmpFolderFailsAtTheFirstWrite) {
  InstallStandardPackage();
  setenv("TMP", (world.box / "no-such-folder").c_str(), 1);
  EXPECT_EQ(Run(), platform::exitcode::kFailed);
  ASSERT_EQ(backend.messages.size(), 2u);
  EXPECT_EQ(backend.messages[1].text.rfind(kCritical, 0), 0u);
  EXPECT_EQ(backend.yields, 0);
}

TEST_F(RunTest, CleanUpProceduresIgnoreEveryFailure) {
  mdl_main::TempFolder = world.box / "none";
  mdl_main::PackFile = world.box / "none.PACK";
  EXPECT_NO_THROW(mdl_main::RemoveTempFolder());
  EXPECT_NO_THROW(mdl_main::RemovePackFile());
  mdl_main::TempFolder.clear();
  mdl_main::PackFile.clear();
  EXPECT_NO_THROW(mdl_main::RemoveTempFolder());
  EXPECT_NO_THROW(mdl_main::RemovePackFile());
  EXPECT_TRUE(FolderExists(world.tmp));
  EXPECT_THROW(mdl_main::DeleteFolderAt(world.box / "none"), platform::Error);
  EXPECT_THROW(mdl_main::DeleteFolderAt(""), platform::Error);
}

} // namespace
