// The Win32 window system: the form from its design, labels, timer and close
// request delivered only inside yields, message boxes, the pump behind the
// yield, the picture decoder and the end of the program.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>

#include "platform/env.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/ui.h"
#include "platform/win32/picture.h"
#include "platform/win32/win32_ui.h"
#include "tests/win32/temp_folder.h"

#include <objbase.h> // after windows_support.h, which sets up <windows.h>

namespace {

using platform::win32::Win32Ui;
using wintest::Narrow;
using wintest::Widen;

platform::FormDesign Design() {
  platform::FormDesign design{};
  design.title = "Quorix Dravell";
  design.clientWidth = 5535;
  design.clientHeight = 1020;
  design.pictureLeft = 240;
  design.pictureTop = 240;
  design.pictureWidth = 480;
  design.pictureHeight = 480;
  design.labels[0] = {960,
                      240,
                      4455,
                      255,
                      platform::FontDesign{"MS Sans Serif", 9.75, 700, true},
                      "Идет подготовка к установке..."};
  design.labels[1] = {960, 480, 4455, 255, platform::FontDesign{}, ""};
  design.timerMilliseconds = 10;
  return design;
}

struct Recorder : platform::FormEvents {
  int ticks = 0;
  int closes = 0;
  int16_t cancelWith = 1;
  std::function<void()> onTimer;
  std::function<void()> onClose;
  void OnTimer() override {
    ++ticks;
    if (onTimer)
      onTimer();
  }
  void OnCloseRequest(int16_t &cancel) override {
    ++closes;
    cancel = cancelWith;
    if (onClose)
      onClose();
  }
};

std::string WindowText(HWND window) {
  wchar_t text[512] = {};
  ::GetWindowTextW(window, text, 512);
  return Narrow(text);
}

class Win32Form : public ::testing::Test {
protected:
  void SetUp() override {
    try {
      ui.CreateForm(Design(), &events);
    } catch (const platform::Error &e) {
      // Skipped only where there is no display at all: on one, a form that
      // cannot be made is a failure, not a reason to test nothing.
      if (::GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) == 0)
        GTEST_SKIP() << "no display here: " << e.Description();
      FAIL() << e.Description();
    }
    form = ui.FormWindow();
  }
  void TearDown() override { platform::SetUi(nullptr); }

  // Pumps for about ms milliseconds through the yield, as a long loop does.
  void YieldFor(int ms) {
    const auto end =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end)
      platform::Yield();
  }

  Win32Ui ui{::GetModuleHandleW(nullptr)};
  Recorder events;
  HWND form = nullptr;
};

TEST_F(Win32Form, FollowsTheDesign) {
  const int dpi = ui.Dpi();
  EXPECT_FALSE(::IsWindowVisible(form)); // created hidden
  EXPECT_EQ(WindowText(form), "Quorix Dravell");

  RECT client{};
  ::GetClientRect(form, &client);
  EXPECT_EQ(client.right, ::MulDiv(5535, dpi, 1440));
  EXPECT_EQ(client.bottom, ::MulDiv(1020, dpi, 1440));

  const LONG style = ::GetWindowLongW(form, GWL_STYLE);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
  EXPECT_FALSE(::GetWindow(form, GW_OWNER));

  // Centred on the whole screen, to a pixel, whatever the work area is.
  RECT frame{};
  ::GetWindowRect(form, &frame);
  EXPECT_LE(
      std::abs(frame.left + frame.right - ::GetSystemMetrics(SM_CXSCREEN)), 1);
  EXPECT_LE(
      std::abs(frame.top + frame.bottom - ::GetSystemMetrics(SM_CYSCREEN)), 1);

  // Labels where the design puts them, with their fonts.
  const int tops[] = {240, 480};
  for (int i = 0; i < 2; ++i) {
    HWND label = ui.Control(1 + i);
    ASSERT_TRUE(label);
    RECT r{};
    ::GetWindowRect(label, &r);
    ::MapWindowPoints(nullptr, form, reinterpret_cast<POINT *>(&r), 2);
    EXPECT_EQ(r.left, ::MulDiv(960, dpi, 1440));
    EXPECT_EQ(r.top, ::MulDiv(tops[i], dpi, 1440));
    EXPECT_EQ(r.right - r.left, ::MulDiv(4455, dpi, 1440));
    EXPECT_EQ(r.bottom - r.top, ::MulDiv(255, dpi, 1440));
    EXPECT_TRUE(::GetWindowLongW(label, GWL_STYLE) & SS_NOPREFIX);
  }
  EXPECT_EQ(WindowText(ui.Control(1)), "Идет подготовка к установке...");
  EXPECT_EQ(WindowText(ui.Control(2)), "");

  LOGFONTW status{};
  ASSERT_TRUE(::GetObjectW(
      reinterpret_cast<HFONT>(::SendMessageW(ui.Control(1), WM_GETFONT, 0, 0)),
      sizeof status, &status));
  EXPECT_EQ(Narrow(status.lfFaceName), "MS Sans Serif");
  EXPECT_EQ(status.lfWeight, 700);
  EXPECT_EQ(status.lfCharSet, RUSSIAN_CHARSET);
  EXPECT_EQ(status.lfHeight, -std::lround(9.75 * dpi / 72));
  EXPECT_FALSE(status.lfItalic || status.lfUnderline || status.lfStrikeOut);
  EXPECT_TRUE(::SendMessageW(ui.Control(2), WM_GETFONT, 0, 0));
}

TEST_F(Win32Form, CentredOnTheScreenNotOnTheWorkArea) {
  // A work area that taskbars at the top and at the left make smaller: the
  // form still sits in the middle of the whole screen.
  const int screenWidth = ::GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = ::GetSystemMetrics(SM_CYSCREEN);
  RECT saved{},
      smaller{screenWidth / 4, screenHeight / 5, screenWidth, screenHeight};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &saved, 0);
  RECT now{};
  if (!::SystemParametersInfoW(SPI_SETWORKAREA, 0, &smaller, 0) ||
      !::SystemParametersInfoW(SPI_GETWORKAREA, 0, &now, 0) ||
      !::EqualRect(&now, &smaller)) {
    ::SystemParametersInfoW(SPI_SETWORKAREA, 0, &saved, 0);
    GTEST_SKIP() << "the work area cannot be changed here";
  }
  Recorder others;
  Win32Ui second(::GetModuleHandleW(nullptr));
  second.CreateForm(Design(), &others);
  RECT frame{};
  ::GetWindowRect(second.FormWindow(), &frame);
  ::SystemParametersInfoW(SPI_SETWORKAREA, 0, &saved, 0);
  EXPECT_LE(std::abs(frame.left + frame.right - screenWidth), 1);
  EXPECT_LE(std::abs(frame.top + frame.bottom - screenHeight), 1);
}

TEST_F(Win32Form, ShowsWithoutBlocking) {
  ui.ShowForm();
  EXPECT_TRUE(::IsWindowVisible(form));
}

TEST_F(Win32Form, LabelsTakeTheirTextAsIs) {
  ui.SetLabelText(1, "Выполнено 42%");
  EXPECT_EQ(WindowText(ui.Control(2)), "Выполнено 42%");
  ui.SetLabelText(1, "R&D notes.txt");
  EXPECT_EQ(WindowText(ui.Control(2)), "R&D notes.txt");
  ui.SetLabelText(0, "");
  EXPECT_EQ(WindowText(ui.Control(1)), "");
  try {
    ui.SetLabelText(2, "x");
    FAIL() << "label 2 does not exist";
  } catch (const platform::Error &e) {
    EXPECT_EQ(e.Number(), platform::err::kSubscript);
  }
}

TEST_F(Win32Form, TimerTicksOnlyInsideYields) {
  ui.SetTimerEnabled(true);
  ::Sleep(60);
  EXPECT_EQ(events.ticks, 0); // nobody pumped
  ui.PumpNow();
  EXPECT_GE(events.ticks, 1);

  platform::SetUi(&ui);
  const int before = events.ticks;
  YieldFor(200);
  EXPECT_GE(events.ticks, before + 2);

  ui.SetTimerEnabled(false);
  ui.PumpNow();
  const int stopped = events.ticks;
  ::Sleep(60);
  YieldFor(50);
  EXPECT_EQ(events.ticks, stopped);
}

TEST_F(Win32Form, CloseRequestIsAskedEachTimeAndCancelKeepsTheForm) {
  ui.ShowForm();
  for (int i = 1; i <= 3; ++i) {
    ::PostMessageW(form, WM_CLOSE, 0, 0);
    ui.PumpNow();
    EXPECT_EQ(events.closes, i);
    EXPECT_TRUE(::IsWindow(form));
    EXPECT_TRUE(::IsWindowVisible(form));
  }
  events.cancelWith = 0; // let it close
  ::PostMessageW(form, WM_CLOSE, 0, 0);
  ui.PumpNow();
  EXPECT_EQ(events.closes, 4);
  EXPECT_FALSE(::IsWindow(form));
  EXPECT_EQ(ui.FormWindow(), nullptr);
  ui.SetLabelText(1, "after the form"); // no window: nothing to fail
}

TEST_F(Win32Form, CloseRequestOutsideAYieldIsRefused) {
  ui.ShowForm();
  ::SendMessageW(form, WM_CLOSE, 0, 0);
  EXPECT_EQ(events.closes, 0);
  EXPECT_TRUE(::IsWindow(form));
}

TEST_F(Win32Form, HandlerErrorsComeOutOfTheYield) {
  events.onTimer = [] { platform::Raise(platform::err::kFileNotFound, "x"); };
  ui.SetTimerEnabled(true);
  ::Sleep(30);
  try {
    ui.PumpNow();
    FAIL() << "the handler's error was lost";
  } catch (const platform::Error &e) {
    EXPECT_EQ(e.Number(), platform::err::kFileNotFound);
  }
  events.onTimer = nullptr;
  ::Sleep(30);
  const int ticks = events.ticks;
  ui.PumpNow(); // the pump works on
  EXPECT_GT(events.ticks, ticks);
}

TEST_F(Win32Form, CloseHandlerErrorsComeOutOfTheYieldAndKeepTheForm) {
  ui.ShowForm();
  events.cancelWith = 0; // it would close, had the handler not failed
  events.onClose = [] { platform::Raise(platform::err::kPathNotFound, "x"); };
  // Posted as the close button's request reaches the window procedure.
  ::PostMessageW(form, WM_CLOSE, 0, 0);
  try {
    ui.PumpNow();
    FAIL() << "the close handler's error was lost";
  } catch (const platform::Error &e) {
    EXPECT_EQ(e.Number(), platform::err::kPathNotFound);
  }
  EXPECT_EQ(events.closes, 1);
  EXPECT_TRUE(::IsWindow(form));
  events.onClose = nullptr;
  ::PostMessageW(form, WM_CLOSE, 0, 0);
  ui.PumpNow(); // the pump works on, and the next request closes the form
  EXPECT_EQ(events.closes, 2);
  EXPECT_FALSE(::IsWindow(form));
}

TEST_F(Win32Form, YieldPumpsOftenButNotPerCall) {
  platform::SetUi(&ui);
  ui.ShowForm();
  const int64_t interval = Win32Ui::kPumpIntervalMicroseconds / 1000;
  // A loaded machine now and then keeps the thread off the processor past
  // a pump's time; a yield that pumps too seldom does so in every run. So
  // how often it pumps is judged on the best of three runs.
  for (int run = 0; run < 3; ++run) {
    ui.ResetPumpStatistics();
    int64_t calls = 0;
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::milliseconds(300);
    while (std::chrono::steady_clock::now() < end) {
      platform::Yield();
      ++calls;
    }
    // At most one pump per interval, whatever the load.
    EXPECT_LE(ui.PumpCount(), 300 / interval + 2);
    EXPECT_GT(calls, ui.PumpCount() * 10);
    if (ui.PumpCount() >= 300 / interval / 4 && ui.LargestPumpGapMs() < 50.0)
      break;
  }
  // One at least every few intervals.
  EXPECT_GE(ui.PumpCount(), 300 / interval / 4);
  EXPECT_LT(ui.LargestPumpGapMs(), 50.0);
  const int32_t countdown = ui.OnYield();
  EXPECT_GE(countdown, 1);
}

// A message box seen from a second thread: its caption, text, owner and
// default button, and the state of the form behind it; then a button press.
struct BoxSeen {
  std::string caption, text;
  HWND owner = nullptr;
  int defaultButton = 0; // the button drawn as the default one
  bool formEnabled = true;
  bool found = false;
};

// A second thread of the test. The cross toolchain's win32 thread model (the
// one the program image is built with) has no std::thread in GCC 12.
class HelperThread {
public:
  explicit HelperThread(std::function<void()> body) : body_(std::move(body)) {
    handle_ = ::CreateThread(nullptr, 0, &HelperThread::Run, this, 0, nullptr);
  }
  ~HelperThread() { join(); }
  HelperThread(const HelperThread &) = delete;
  HelperThread &operator=(const HelperThread &) = delete;
  void join() {
    if (!handle_)
      return;
    ::WaitForSingleObject(handle_, INFINITE);
    ::CloseHandle(handle_);
    handle_ = nullptr;
  }

private:
  static DWORD WINAPI Run(void *self) {
    static_cast<HelperThread *>(self)->body_();
    return 0;
  }
  std::function<void()> body_;
  HANDLE handle_ = nullptr;
};

std::unique_ptr<HelperThread> AnswerBox(BoxSeen &seen, HWND form, int button,
                                        bool pressEnter = false) {
  return std::make_unique<HelperThread>([&seen, form, button, pressEnter] {
    HWND box = nullptr;
    for (int i = 0; i < 1000 && !box; ++i) {
      box = ::FindWindowW(L"#32770", L"Dravell");
      if (!box)
        ::Sleep(10);
    }
    if (!box)
      return;
    ::Sleep(50); // let it settle
    seen.found = true;
    seen.caption = WindowText(box);
    seen.text = WindowText(::GetDlgItem(box, 0xFFFF));
    seen.owner = ::GetWindow(box, GW_OWNER);
    for (int id : {IDOK, IDYES, IDNO})
      if (HWND button = ::GetDlgItem(box, id);
          button && (::GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK) ==
                        BS_DEFPUSHBUTTON)
        seen.defaultButton = id;
    seen.formEnabled = form ? ::IsWindowEnabled(form) != FALSE : true;
    if (pressEnter) {
      GUITHREADINFO info{};
      info.cbSize = sizeof info;
      ::GetGUIThreadInfo(::GetWindowThreadProcessId(box, nullptr), &info);
      HWND focus = info.hwndFocus ? info.hwndFocus : box;
      ::PostMessageW(focus, WM_KEYDOWN, VK_RETURN, 0);
      ::PostMessageW(focus, WM_KEYUP, VK_RETURN, 0xC0000001);
    } else {
      ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                     reinterpret_cast<LPARAM>(::GetDlgItem(box, button)));
    }
  });
}

TEST_F(Win32Form, QuestionBoxIsOwnedByTheShownFormAndDefaultsToYes) {
  ui.ShowForm();
  BoxSeen seen;
  const auto helper = AnswerBox(seen, form, IDNO);
  const platform::MsgAnswer answer =
      ui.ShowMessage("Прервать обновление?", platform::MsgIcon::Warning,
                     platform::MsgButtons::YesNo);
  helper->join();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(answer, platform::MsgAnswer::No);
  EXPECT_EQ(seen.caption, "Dravell");
  EXPECT_EQ(seen.text, "Прервать обновление?");
  EXPECT_EQ(seen.owner, form);
  EXPECT_FALSE(seen.formEnabled); // the close button cannot be reached
  EXPECT_EQ(seen.defaultButton, IDYES);
  EXPECT_TRUE(::IsWindowEnabled(form));
}

TEST_F(Win32Form, EnterAnswersYes) {
  ui.ShowForm();
  BoxSeen seen;
  const auto helper = AnswerBox(seen, form, 0, true);
  const platform::MsgAnswer answer =
      ui.ShowMessage("Прервать обновление?", platform::MsgIcon::Warning,
                     platform::MsgButtons::YesNo);
  helper->join();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(answer, platform::MsgAnswer::Yes);
}

TEST_F(Win32Form, BoxBeforeTheFormIsShownIsModalToTheProgram) {
  BoxSeen seen;
  const auto helper = AnswerBox(seen, form, IDOK);
  const platform::MsgAnswer answer =
      ui.ShowMessage("Произошла критическая ошибка:\r\nФайл не найден",
                     platform::MsgIcon::Error, platform::MsgButtons::Ok);
  helper->join();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(answer, platform::MsgAnswer::Ok);
  EXPECT_EQ(seen.owner, nullptr); // not hidden behind an invisible owner
  EXPECT_FALSE(seen.formEnabled); // MB_TASKMODAL
  EXPECT_EQ(seen.text, "Произошла критическая ошибка:\r\nФайл не найден");
}

TEST_F(Win32Form, EndProgramFlushesFilesAndSkipsTheCloseHandler) {
  // The child process of the death test inherits the parent's folder.
  std::string folder = platform::GetEnv("UPDPACK_END_TEST_DIR");
  std::unique_ptr<wintest::TempFolder> own;
  if (folder.empty()) {
    own = std::make_unique<wintest::TempFolder>();
    folder = own->Path();
    ::SetEnvironmentVariableW(L"UPDPACK_END_TEST_DIR", Widen(folder).c_str());
  }
  const std::string data = folder + "\\pending.bin";
  const std::string marker = folder + "\\close-handler-ran";
  EXPECT_EXIT(
      {
        struct : platform::FormEvents {
          std::string marker;
          void OnTimer() override {}
          void OnCloseRequest(int16_t &) override {
            wintest::WriteFile(marker, "ran");
          }
        } handler;
        handler.marker = marker;
        Win32Ui child(::GetModuleHandleW(nullptr));
        child.CreateForm(Design(), &handler);
        child.ShowForm();
        platform::files::Open(1, data, platform::OpenMode::Output);
        platform::files::Put(1, 'o');
        platform::files::Put(1, 'k'); // still in the buffer
        child.EndProgram(3);
      },
      ::testing::ExitedWithCode(3), "");
  ::SetEnvironmentVariableW(L"UPDPACK_END_TEST_DIR", nullptr);
  EXPECT_EQ(wintest::ReadFile(data), "ok");
  EXPECT_FALSE(wintest::FileExists(marker));
}

TEST(Win32Picture, DecodesTheProgramsGif) {
  // The checked-in picture, read from the source tree (Wine's Z: drive is
  // the root of the machine it runs on).
  std::string source = __FILE__;
  if (!source.empty() && source[0] == '/')
    source = "Z:" + source;
  const std::string gif = source.substr(0, source.find_last_of("\\/")) +
                          "/../../stub/resources/image1.gif";
  std::string bytes;
  try {
    bytes = wintest::ReadFile(gif);
  } catch (const std::exception &) {
    GTEST_SKIP() << "no source tree at " << gif;
  }
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  {
    const auto picture =
        platform::win32::Picture::FromBytes(bytes.data(), bytes.size());
    ASSERT_TRUE(picture);
    const SIZE size = picture.PixelSize(96);
    EXPECT_EQ(size.cx, 32);
    EXPECT_EQ(size.cy, 32);
    EXPECT_TRUE(picture.Transparent());

    EXPECT_FALSE(platform::win32::Picture::FromBytes("GIF89a", 6));
    EXPECT_FALSE(platform::win32::Picture::FromBytes(nullptr, 0));
  }
  ::CoUninitialize();
}

} // namespace
