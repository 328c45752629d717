// The progress window's logic on the scripted backend.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/files.h"
#include "run/mdl_main.h"
#include "run/setup_host.h"
#include "tests/support/package_builder.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_folder.h"
#include "ui/Setup.h"

namespace {

using platform::MsgAnswer;
using platform::MsgButtons;
using platform::MsgIcon;

// Records the status line at each change of the timer.
class TimerOrderUi : public testsupport::ScriptedUi {
public:
  void SetTimerEnabled(bool on) override {
    statusAtTimer.push_back(label[ui::kStatusLine]);
    ScriptedUi::SetTimerEnabled(on);
  }
  std::vector<std::string> statusAtTimer;
};

// Notes how many files were open when the program ended.
class EndWatchUi : public testsupport::ScriptedUi {
public:
  [[noreturn]] void EndProgram(int exitCode) override {
    freeFileAtEnd = platform::files::FreeFile();
    ScriptedUi::EndProgram(exitCode);
  }
  int16_t freeFileAtEnd = -1;
};

class SetupTest : public ::testing::Test {
protected:
  void SetUp() override {
    mdl_main::ReleaseArch();
    mdl_main::TempFolder.clear();
    mdl_main::PackFile.clear();
  }
  void TearDown() override {
    mdl_main::ReleaseArch();
    mdl_main::TempFolder.clear();
    mdl_main::PackFile.clear();
  }
};

TEST_F(SetupTest, LoadCreatesTheDesignedWindowHiddenWithTheTimerOff) {
  testsupport::ScriptedUi backend;
  backend.timerOn = true; // Load must switch it off whatever it was
  ui::Setup form;
  mdl_main::LoadSetup(form);

  EXPECT_TRUE(backend.formCreated);
  EXPECT_FALSE(backend.formShown);
  EXPECT_FALSE(backend.timerOn);
  const platform::FormDesign &d = backend.design;
  EXPECT_EQ(d.title, "Quorix Dravell");
  EXPECT_EQ(d.clientWidth, 5535);
  EXPECT_EQ(d.clientHeight, 1020);
  EXPECT_EQ(d.pictureLeft, 240);
  EXPECT_EQ(d.pictureTop, 240);
  EXPECT_EQ(d.pictureWidth, 480);
  EXPECT_EQ(d.pictureHeight, 480);
  EXPECT_EQ(d.timerMilliseconds, 10);

  const platform::LabelDesign &status = d.labels[0];
  EXPECT_EQ(status.left, 960);
  EXPECT_EQ(status.top, 240);
  EXPECT_EQ(status.width, 4455);
  EXPECT_EQ(status.height, 255);
  EXPECT_EQ(status.text, "Идет подготовка к установке...");
  EXPECT_EQ(status.font.name, "MS Sans Serif");
  EXPECT_DOUBLE_EQ(status.font.points, 9.75);
  EXPECT_EQ(status.font.weight, 700);
  EXPECT_TRUE(status.font.cyrillic);

  const platform::LabelDesign &progress = d.labels[1];
  EXPECT_EQ(progress.left, 960);
  EXPECT_EQ(progress.top, 480);
  EXPECT_EQ(progress.width, 4455);
  EXPECT_EQ(progress.height, 255);
  EXPECT_EQ(progress.text, "");
  EXPECT_EQ(progress.font.name, ""); // the window's default font
  EXPECT_EQ(progress.font.weight, 400);
  EXPECT_FALSE(progress.font.cyrillic);

  form.Show();
  EXPECT_TRUE(backend.formShown);
  EXPECT_TRUE(backend.labelHistory.empty());
}

TEST_F(SetupTest, ProgressTextIsPlainDecimal) {
  const struct {
    int16_t value;
    const char *text;
  } cases[] = {
      {0, "Выполнено 0%"},           {7, "Выполнено 7%"},
      {100, "Выполнено 100%"},       {-1, "Выполнено -1%"},
      {1234, "Выполнено 1234%"},     {32767, "Выполнено 32767%"},
      {-32768, "Выполнено -32768%"},
  };
  for (const auto &c : cases) {
    testsupport::ScriptedUi backend;
    ui::Setup form;
    mdl_main::LoadSetup(form);
    form.SetProgress(c.value);
    EXPECT_EQ(backend.label[1], c.text) << c.value;
    EXPECT_EQ(backend.labelHistory.size(), 1u) << c.value;
  }
}

TEST_F(SetupTest, ProgressTouchesTheLabelOnlyWhenTheValueChanges) {
  testsupport::ScriptedUi backend;
  ui::Setup form;
  mdl_main::LoadSetup(form);
  // The first value is shown although the line was empty; repeats are not.
  const int16_t values[] = {0, 0, 0, 1, 1, 2, 2, 2, 1, 100, 100};
  for (int16_t v : values)
    form.SetProgress(v);
  const std::vector<std::string> expected = {"Выполнено 0%", "Выполнено 1%",
                                             "Выполнено 2%", "Выполнено 1%",
                                             "Выполнено 100%"};
  ASSERT_EQ(backend.labelHistory.size(), expected.size());
  for (size_t k = 0; k < expected.size(); ++k) {
    EXPECT_EQ(backend.labelHistory[k].index, 1);
    EXPECT_EQ(backend.labelHistory[k].text, expected[k]);
  }
}

TEST_F(SetupTest, ProgressIsShownAgainAfterATickReplacedIt) {
  testsupport::ScriptedUi backend;
  ui::Setup form;
  mdl_main::LoadSetup(form);
  form.SetProgress(3);
  form.opn_Timer(); // the line now shows DefFile, empty for a new object
  EXPECT_EQ(backend.label[1], "");
  form.SetProgress(3);
  EXPECT_EQ(backend.label[1], "Выполнено 3%");
}

TEST_F(SetupTest, StatusTextIsSetAsGiven) {
  testsupport::ScriptedUi backend;
  ui::Setup form;
  mdl_main::LoadSetup(form);
  for (const char *text : {"", "abc", "Идет подготовка к установке...", ""}) {
    form.SetStatus(text);
    EXPECT_EQ(backend.label[0], text);
  }
  EXPECT_EQ(backend.labelHistory.size(), 4u);
}

TEST_F(SetupTest, StatusHandleSetsTheTextBeforeTheTimer) {
  const struct {
    platform::Boolean value;
    const char *status;
    bool timer;
  } cases[] = {
      {platform::kTrue, "Распаковка пакета обновления...", true},
      {1, "Распаковка пакета обновления...", true},
      {2, "Распаковка пакета обновления...", true},
      {-32768, "Распаковка пакета обновления...", true},
      {platform::kFalse, "Установка обновления...", false},
  };
  for (const auto &c : cases) {
    TimerOrderUi backend;
    ui::Setup form;
    mdl_main::LoadSetup(form);
    backend.statusAtTimer.clear();
    backend.timerOn = !c.timer;
    form.SetStatusHandle(c.value);
    EXPECT_EQ(backend.label[0], c.status) << c.value;
    EXPECT_EQ(backend.timerOn, c.timer) << c.value;
    ASSERT_EQ(backend.statusAtTimer.size(), 1u);
    EXPECT_EQ(backend.statusAtTimer[0], c.status) << c.value;
  }
}

TEST_F(SetupTest, TickWithoutArchiveObjectCreatesIt) {
  testsupport::ScriptedUi backend;
  ui::Setup form;
  mdl_main::LoadSetup(form);
  form.SetProgress(42);
  ASSERT_FALSE(mdl_main::HasArch());
  form.opn_Timer();
  EXPECT_TRUE(mdl_main::HasArch());
  EXPECT_EQ(backend.label[1], "");
  ASSERT_EQ(backend.labelHistory.size(), 2u);
  EXPECT_EQ(backend.labelHistory[1].text, "");
}

TEST_F(SetupTest, CloseAnsweredNoRefusesEveryTimeAndChangesNothing) {
  testsupport::TempFolder box;
  mdl_main::TempFolder = box / "VLSFX_QUORIX";
  mdl_main::PackFile = box / "VLSFX_QUORIX.PACK";
  testsupport::MakeFolder(mdl_main::TempFolder);
  testsupport::WriteFile(mdl_main::TempFolder + "/a.txt", "a");
  testsupport::WriteFile(mdl_main::PackFile, "pack");

  testsupport::ScriptedUi backend;
  ui::Setup form;
  mdl_main::LoadSetup(form);
  form.Show();
  form.SetStatus("status");
  form.SetProgress(9);
  const size_t labelsBefore = backend.labelHistory.size();
  for (int k = 0; k < 3; ++k) {
    backend.QueueAnswer(MsgAnswer::No);
    int16_t cancel = 0;
    form.Form_Unload(cancel);
    EXPECT_EQ(cancel, 1);
  }
  ASSERT_EQ(backend.messages.size(), 3u);
  for (const auto &m : backend.messages) {
    EXPECT_EQ(m.text, "Прервать обновление?");
    EXPECT_EQ(m.icon, MsgIcon::Warning);
    EXPECT_EQ(m.buttons, MsgButtons::YesNo);
    EXPECT_EQ(m.title, "Dravell");
  }
  EXPECT_EQ(backend.labelHistory.size(), labelsBefore);
  EXPECT_FALSE(backend.endedWith.has_value());
  EXPECT_TRUE(testsupport::FileExists(mdl_main::TempFolder + "/a.txt"));
  EXPECT_EQ(testsupport::ReadFile(mdl_main::PackFile), "pack");
}

TEST_F(SetupTest, CloseAnsweredYesClosesFilesRemovesBothAndEnds) {
  testsupport::TempFolder box;
  mdl_main::TempFolder = box / "VLSFX_QUORIX";
  mdl_main::PackFile = box / "VLSFX_QUORIX.PACK";
  testsupport::MakeFolder(mdl_main::TempFolder);
  testsupport::MakeFolder(mdl_main::TempFolder + "/sub");
  testsupport::WriteFile(mdl_main::TempFolder + "/sub/a.txt", "a");
  testsupport::WriteFile(mdl_main::PackFile, "pack");
  testsupport::WriteFile(box / "other.txt", "keep");

  EndWatchUi backend;
  ui::Setup form;
  mdl_main::LoadSetup(form);
  // Files open as they are in the middle of the copy.
  platform::files::Open(platform::files::FreeFile(), mdl_main::PackFile,
                        platform::OpenMode::ReadOnly);
  platform::files::Open(platform::files::FreeFile(), box / "other.txt",
                        platform::OpenMode::ReadWrite);
  backend.QueueAnswer(MsgAnswer::Yes);
  const int code = testsupport::RunProgram([&] {
    int16_t cancel = 0;
    form.Form_Unload(cancel);
  });
  EXPECT_EQ(code, platform::exitcode::kAborted);
  EXPECT_EQ(backend.freeFileAtEnd, 1); // closed before the program ended
  EXPECT_FALSE(testsupport::FolderExists(mdl_main::TempFolder));
  EXPECT_FALSE(testsupport::FileExists(mdl_main::PackFile));
  EXPECT_EQ(testsupport::ReadFile(box / "other.txt"), "keep");
  ASSERT_EQ(backend.messages.size(), 1u); // nothing after the question
}

TEST_F(SetupTest, CloseAnsweredYesEndsEvenWhenNothingCanBeRemoved) {
  testsupport::TempFolder box;
  mdl_main::TempFolder = box / "missing";
  mdl_main::PackFile = box / "missing.PACK";
  testsupport::ScriptedUi backend;
  ui::Setup form;
  mdl_main::LoadSetup(form);
  backend.QueueAnswer(MsgAnswer::Yes);
  const int code = testsupport::RunProgram([&] {
    int16_t cancel = 0;
    form.Form_Unload(cancel);
  });
  EXPECT_EQ(code, platform::exitcode::kAborted);
  EXPECT_EQ(backend.messages.size(), 1u);
  EXPECT_EQ(pkgbuild::ListNames(box.Path()).size(), 0u);
}

} // namespace
