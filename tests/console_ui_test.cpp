// The console UI backend of updpack: boxes, answers, the status line, timer
// ticks, Ctrl-C, the poller and the end of the program.
#include "tools/console_ui.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

#include "platform/files.h"
#include "tests/support/temp_folder.h"

namespace {

using platform::MsgAnswer;
using platform::MsgButtons;
using platform::MsgIcon;
using tools::ConsoleUi;

struct RecordingForm : platform::FormEvents {
  int ticks = 0;
  int closeRequests = 0;
  std::function<void(int16_t &)> onClose;
  void OnTimer() override { ++ticks; }
  void OnCloseRequest(int16_t &cancel) override {
    ++closeRequests;
    if (onClose)
      onClose(cancel);
  }
};

platform::FormDesign Design(std::string_view status) {
  platform::FormDesign design{};
  design.labels[0].text = status;
  return design;
}

class ConsoleUiTest : public ::testing::Test {
protected:
  std::unique_ptr<ConsoleUi> Make(bool terminal, bool yes = false,
                                  int columns = 80) {
    ConsoleUi::Options options;
    options.in = &in;
    options.out = &out;
    options.terminal = terminal;
    options.columns = columns;
    options.yesToConfirmation = yes;
    options.clock = [this] { return now; };
    return std::make_unique<ConsoleUi>(std::move(options));
  }
  std::istringstream in;
  std::ostringstream out;
  int64_t now = 1000;
};

TEST_F(ConsoleUiTest, MessageBoxesCarryTitleAndIconWord) {
  const struct {
    MsgIcon icon;
    const char *word;
  } cases[] = {{MsgIcon::Question, "question"},
               {MsgIcon::Warning, "warning"},
               {MsgIcon::Error, "error"},
               {MsgIcon::Information, "information"}};
  for (const auto &c : cases) {
    out.str("");
    auto ui = Make(false);
    EXPECT_EQ(ui->ShowMessage("Произошла критическая ошибка:\r\nнет", c.icon,
                              MsgButtons::Ok),
              MsgAnswer::Ok);
    EXPECT_EQ(out.str(), std::string("Dravell [") + c.word +
                             "]: Произошла критическая ошибка:\nнет\n");
  }
}

TEST_F(ConsoleUiTest, TypedAnswers) {
  const struct {
    const char *line;
    bool yes;
  } cases[] = {{"", true},      {"y", true},       {"Y", true},
               {"yes", true},   {" YES \r", true}, {"д", true},
               {"Д", true},     {"да", true},      {"ДА", true},
               {"Да", true},    {"n", false},      {"no", false},
               {"нет", false},  {"yess", false},   {"x", false},
               {"y es", false}, {"0", false}};
  for (const auto &c : cases) {
    EXPECT_EQ(ConsoleUi::ReadsAsYes(c.line), c.yes) << '"' << c.line << '"';
  }
}

TEST_F(ConsoleUiTest, ControlCharactersAreSpelledOut) {
  const struct {
    std::string text, shown;
  } cases[] = {{"plain", "plain"},
               {"Привет\tмир", "Привет\\x09мир"},
               {"a\x1b[31mb", "a\\x1B[31mb"},
               {std::string("a\0b", 3), "a\\x00b"},
               {"\x7f\x01\n", "\\x7F\\x01\\x0A"},
               // C1 controls (CSI, NEL) as UTF-8, and bytes of no character
               {"a\xC2\x9B"
                "31mb\xC2\x85",
                "a\\xC2\\x9B"
                "31mb\\xC2\\x85"},
               {"\x9B"
                "2J \xC3( \xE2\x82",
                "\\x9B"
                "2J \\xC3( \\xE2\\x82"},
               {"\xC0\x9B overlong", "\\xC0\\x9B overlong"},
               {"ok \xC2\xA0\xEF\xBF\xBD", "ok \xC2\xA0\xEF\xBF\xBD"}};
  for (const auto &c : cases)
    EXPECT_EQ(ConsoleUi::Printable(c.text), c.shown) << c.shown;
  EXPECT_EQ(ConsoleUi::Printable("a\tb\x1b", ConsoleUi::Tabs::Keep),
            "a\tb\\x1B");

  // The package's caption names every box.
  platform::SetProgramTitle("Cap\x1b]0;x\x07\xC2\x9B");
  auto ui = Make(false);
  ui->ShowMessage("bad «a\x1b]0;x\x07»\r\nline", MsgIcon::Error,
                  MsgButtons::Ok);
  platform::SetProgramTitle(platform::kProgramTitle);
  EXPECT_EQ(out.str(), "Cap\\x1B]0;x\\x07\\xC2\\x9B [error]: bad "
                       "«a\\x1B]0;x\\x07»\nline\n");
}

TEST_F(ConsoleUiTest, QuestionsReadLinesAndEndOfInputAnswersNo) {
  in.str("\nn\n");
  auto ui = Make(false);
  EXPECT_EQ(
      ui->ShowMessage("Продолжить?", MsgIcon::Question, MsgButtons::YesNo),
      MsgAnswer::Yes);
  EXPECT_EQ(ui->ShowMessage("Прервать обновление?", MsgIcon::Warning,
                            MsgButtons::YesNo),
            MsgAnswer::No);
  EXPECT_EQ(ui->ShowMessage("again", MsgIcon::Warning, MsgButtons::YesNo),
            MsgAnswer::No);
  EXPECT_EQ(ui->ShowMessage("and again", MsgIcon::Warning, MsgButtons::YesNo),
            MsgAnswer::No);
  EXPECT_EQ(out.str(), "Dravell [question]: Продолжить?\n[Y/n] yes\n"
                       "Dravell [warning]: Прервать обновление?\n[Y/n] no\n"
                       "Dravell [warning]: again\n[Y/n] no (end of input)\n"
                       "Dravell [warning]: and again\n[Y/n] no (end of "
                       "input)\n");
}

TEST_F(ConsoleUiTest, YesOptionAnswersOnlyTheFirstQuestion) {
  in.str("n\n");
  auto ui = Make(false, /*yes=*/true);
  EXPECT_EQ(ui->ShowMessage("ok box", MsgIcon::Information, MsgButtons::Ok),
            MsgAnswer::Ok);
  EXPECT_EQ(ui->ShowMessage("confirm", MsgIcon::Question, MsgButtons::YesNo),
            MsgAnswer::Yes);
  EXPECT_EQ(ui->ShowMessage("abort?", MsgIcon::Warning, MsgButtons::YesNo),
            MsgAnswer::No);
  EXPECT_NE(out.str().find("[Y/n] yes (--yes)\n"), std::string::npos);
}

TEST_F(ConsoleUiTest, RetryBoxesReadRetryOrCancelAndYesCancelsThem) {
  const struct {
    const char *input;
    bool yes;
    MsgAnswer answer;
    const char *shown;
  } cases[] = {
      {"\n", false, MsgAnswer::Retry, "[R]etry/[c]ancel retry\n"},
      {"п\n", false, MsgAnswer::Retry, "[R]etry/[c]ancel retry\n"},
      {"c\n", false, MsgAnswer::Cancel, "[R]etry/[c]ancel cancel\n"},
      {"", false, MsgAnswer::Cancel,
       "[R]etry/[c]ancel cancel (end of input)\n"},
      // Nobody is there to close the program that holds a file.
      {"r\n", true, MsgAnswer::Cancel, "[R]etry/[c]ancel cancel (--yes)\n"},
  };
  for (const auto &c : cases) {
    in.clear();
    in.str(c.input);
    out.str("");
    auto ui = Make(false, c.yes);
    EXPECT_EQ(
        ui->ShowMessage("in use", MsgIcon::Warning, MsgButtons::RetryCancel),
        c.answer)
        << c.input;
    EXPECT_EQ(out.str(), std::string("Dravell [warning]: in use\n") + c.shown);
  }
}

TEST_F(ConsoleUiTest, StatusChangesOnTheirOwnLinesWhenNotATerminal) {
  auto ui = Make(false);
  RecordingForm form;
  ui->CreateForm(Design("Идет подготовка к установке..."), &form);
  ui->SetLabelText(1, "Выполнено 5%");
  EXPECT_EQ(out.str(), ""); // hidden
  ui->ShowForm();
  ui->SetLabelText(0, "Идет подготовка к установке...");
  for (int i = 0; i < 100; ++i)
    ui->SetLabelText(1, "Выполнено " + std::to_string(i) + "%");
  ui->SetLabelText(0, "Распаковка пакета обновления...");
  ui->SetLabelText(0, "Распаковка пакета обновления...");
  ui->SetLabelText(0, "Установка обновления...");
  now += 1000;
  ui->OnYield();
  ui->FinishLine();
  EXPECT_EQ(out.str(), "Идет подготовка к установке...\n"
                       "Распаковка пакета обновления...\n"
                       "Установка обновления...\n");
}

TEST_F(ConsoleUiTest, TerminalLineRefreshesAtMostEvery50Ms) {
  auto ui = Make(true);
  RecordingForm form;
  ui->CreateForm(Design("Status"), &form);
  ui->ShowForm();
  EXPECT_EQ(out.str(), "\rStatus\x1b[K");
  out.str("");
  for (int i = 0; i < 1000; ++i) {
    ui->SetLabelText(1, std::string("p").append(std::to_string(i)));
    ui->OnYield();
  }
  EXPECT_EQ(out.str(), ""); // the clock has not moved
  now += ConsoleUi::kRefreshMs - 1;
  ui->OnYield();
  EXPECT_EQ(out.str(), "");
  now += 1;
  ui->OnYield();
  ui->OnYield();
  EXPECT_EQ(out.str(), "\rStatus  p999\x1b[K");
  out.str("");
  now += 1000;
  ui->OnYield(); // nothing changed: nothing drawn
  EXPECT_EQ(out.str(), "");
  ui->SetLabelText(1, "last");
  ui->FinishLine();
  EXPECT_EQ(out.str(), "\rStatus  last\x1b[K\n");
}

TEST_F(ConsoleUiTest, TerminalLineIsCutToTheWidthByCharacters) {
  auto ui = Make(true, false, 10);
  RecordingForm form;
  ui->CreateForm(Design("Распаковка пакета"), &form);
  ui->ShowForm();
  EXPECT_EQ(out.str(), "\rРаспаковк\x1b[K"); // 9 characters, 18 bytes
}

// An entry name from a package reaches the status line through the timer.
TEST_F(ConsoleUiTest, LinesSpellOutControlCharacters) {
  const std::string name = "a\x1b[2J\xC2\x9B"
                           "1m\x9B";
  const std::string shown = "a\\x1B[2J\\xC2\\x9B"
                            "1m\\x9B";
  for (const bool terminal : {true, false}) {
    out.str("");
    auto ui = Make(terminal);
    RecordingForm form;
    ui->CreateForm(Design("S"), &form);
    ui->ShowForm();
    ui->SetLabelText(terminal ? 1 : 0, name);
    ui->FinishLine();
    EXPECT_EQ(out.str(), terminal ? "\rS\x1b[K\rS  " + shown + "\x1b[K\n"
                                  : "S\n" + shown + "\n");
  }
}

TEST_F(ConsoleUiTest, BoxFinishesTheLineFirst) {
  auto ui = Make(true);
  RecordingForm form;
  ui->CreateForm(Design("S"), &form);
  ui->ShowForm();
  ui->SetLabelText(1, "Выполнено 7%");
  ui->ShowMessage("done", MsgIcon::Information, MsgButtons::Ok);
  EXPECT_EQ(out.str(), "\rS\x1b[K\rS  Выполнено 7%\x1b[K\n"
                       "Dravell [information]: done\n");
}

TEST_F(ConsoleUiTest, TimerTicksOnlyWhileOnAndAtMostEvery10Ms) {
  auto ui = Make(false);
  RecordingForm form;
  ui->CreateForm(Design(""), &form);
  ui->OnYield();
  EXPECT_EQ(form.ticks, 0);
  ui->SetTimerEnabled(true);
  ui->OnYield();
  EXPECT_EQ(form.ticks, 1); // first tick at the next check
  ui->OnYield();
  now += ConsoleUi::kTickMs - 1;
  ui->OnYield();
  EXPECT_EQ(form.ticks, 1);
  now += 1;
  ui->OnYield();
  ui->OnYield();
  EXPECT_EQ(form.ticks, 2);
  ui->SetTimerEnabled(false);
  now += 1000;
  ui->OnYield();
  EXPECT_EQ(form.ticks, 2);
  EXPECT_EQ(ui->OnYield(), ConsoleUi::kYieldsPerCheck);
}

TEST_F(ConsoleUiTest, CtrlCIsTheFormsCloseRequestAtTheNextYield) {
  auto ui = Make(false);
  RecordingForm form;
  int16_t lastCancel = -5;
  form.onClose = [&](int16_t &cancel) {
    ui->OnYield(); // a handler that yields does not recurse
    cancel = 1;
    lastCancel = cancel;
  };
  ui->CreateForm(Design(""), &form); // catches Ctrl-C from here on
  ui->OnYield();
  EXPECT_EQ(form.closeRequests, 0);
  std::raise(SIGINT);
  EXPECT_EQ(form.closeRequests, 0); // the handler only sets a flag
  ui->OnYield();
  EXPECT_EQ(form.closeRequests, 1);
  EXPECT_EQ(lastCancel, 1);
  ui->OnYield();
  EXPECT_EQ(form.closeRequests, 1); // taken once
  std::raise(SIGINT);
  ui->OnYield();
  EXPECT_EQ(form.closeRequests, 2); // asked again each time
}

TEST_F(ConsoleUiTest, CtrlCWithoutAFormIsForTheTool) {
  auto ui = Make(false);
  ui->CatchInterrupts();
  EXPECT_FALSE(ui->TakeInterrupt());
  std::raise(SIGINT);
  ui->OnYield();
  EXPECT_TRUE(ui->TakeInterrupt());
  EXPECT_FALSE(ui->TakeInterrupt());
}

TEST_F(ConsoleUiTest, CtrlCWithoutAFormCallsTheToolsHandlerAtTheNextYield) {
  auto ui = Make(false);
  int calls = 0;
  ui->SetInterruptHandler([&] { ++calls; });
  ui->CatchInterrupts();
  ui->OnYield();
  EXPECT_EQ(calls, 0);
  std::raise(SIGINT);
  EXPECT_EQ(calls, 0);
  ui->OnYield(); // at once, not at the poller's pace
  EXPECT_EQ(calls, 1);
  ui->OnYield();
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(ui->TakeInterrupt());
}

TEST_F(ConsoleUiTest, ConfirmedCloseEndsTheProgramFromInsideTheYield) {
  auto ui = Make(false);
  RecordingForm form;
  form.onClose = [&](int16_t &) { ui->EndProgram(3); };
  ui->CreateForm(Design(""), &form);
  ui->SetTimerEnabled(true);
  std::raise(SIGINT);
  try {
    ui->OnYield();
    FAIL() << "the program did not end";
  } catch (const platform::ProgramEnded &ended) {
    EXPECT_EQ(ended.exitCode, 3);
  }
  EXPECT_EQ(form.ticks, 0);
  // The form is gone: no more ticks or close requests reach it.
  std::raise(SIGINT);
  now += 1000;
  ui->OnYield();
  EXPECT_EQ(form.closeRequests, 1);
  EXPECT_EQ(form.ticks, 0);
  ui->TakeInterrupt();
}

TEST_F(ConsoleUiTest, EndProgramClosesEveryFile) {
  const testsupport::TempFolder dir;
  const std::string path = dir / "open.bin";
  const int16_t number = platform::files::FreeFile();
  platform::files::Open(number, path, platform::OpenMode::Output);
  platform::files::Put(number, 'x');
  auto ui = Make(false);
  EXPECT_THROW(ui->EndProgram(0), platform::ProgramEnded);
  EXPECT_EQ(platform::files::FreeFile(), number);  // free again
  EXPECT_EQ(std::filesystem::file_size(path), 1u); // written out on close
}

TEST_F(ConsoleUiTest, PollerRunsAboutEvery100MsFromTheYield) {
  auto ui = Make(true);
  int polls = 0;
  ui->SetPoller([&] {
    ++polls;
    ui->SetToolLine("packing " + std::to_string(polls));
  });
  ui->OnYield();
  EXPECT_EQ(polls, 0);
  now += ConsoleUi::kPollMs;
  ui->OnYield();
  ui->OnYield();
  EXPECT_EQ(polls, 1);
  now += ConsoleUi::kPollMs;
  ui->OnYield();
  EXPECT_EQ(polls, 2);
  EXPECT_EQ(out.str(), "\rpacking 1\x1b[K\rpacking 2\x1b[K");
  ui->ClearLine();
  EXPECT_EQ(out.str(), "\rpacking 1\x1b[K\rpacking 2\x1b[K\r\x1b[K");
}

TEST_F(ConsoleUiTest, ToolLineIsSilentWhenNotATerminal) {
  auto ui = Make(false);
  ui->SetToolLine("packing 50%");
  ui->FinishLine();
  ui->ClearLine();
  EXPECT_EQ(out.str(), "");
}

} // namespace
