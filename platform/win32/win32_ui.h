// The window system of the real program: Win32 message boxes, the progress
// form with its picture, two labels and timer, the message pump behind the
// yield, and the end of the program.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ui.h"
#include "platform/win32/picture.h"
#include "platform/win32/windows_support.h"

namespace platform::win32 {

class Win32Ui final : public UiBackend {
public:
  // instance: the module that holds the icon and the picture resources.
  explicit Win32Ui(HINSTANCE instance);
  ~Win32Ui();
  Win32Ui(const Win32Ui &) = delete;
  Win32Ui &operator=(const Win32Ui &) = delete;

  // UiBackend
  MsgAnswer ShowMessage(const std::string &text, MsgIcon icon,
                        MsgButtons buttons) override;
  void CreateForm(const FormDesign &design, FormEvents *events) override;
  void ShowForm() override;
  void SetLabelText(int index, const std::string &text) override;
  void SetTimerEnabled(bool on) override;
  int32_t OnYield() override;
  [[noreturn]] void EndProgram(int exitCode) override;

  // Pump statistics: the longest time between the end of one pump and the
  // start of the next, in milliseconds, and the number of pumps, since the
  // backend started or since the last reset.
  double LargestPumpGapMs() const;
  int64_t PumpCount() const { return pumps_; }
  void ResetPumpStatistics();

  // For tests: the form's window (null before CreateForm), a control of it
  // (0 the picture, 1 and 2 the labels), and the form's size at the screen's
  // dots per inch.
  HWND FormWindow() const { return form_.Get(); }
  HWND Control(int index) const;
  int Dpi() const { return dpi_; }
  // Handles every pending message now, as a due yield does.
  void PumpNow();
  // Destroys the form, its fonts and picture without its close handler.
  void DestroyForm();

  // How often a yield lets the window system run, at most: a pump with
  // nothing to do costs a few tens of microseconds under Wine.
  static constexpr int64_t kPumpIntervalMicroseconds = 2000;

private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam,
                                     LPARAM lParam);
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam,
                        LPARAM lParam);
  // True when a form event may run now: inside a pump of a yield, with no
  // message box open and no event handler running.
  bool EventsAllowed() const;
  void Pump(int64_t now);
  // The form's events, run by the pump.
  struct InHandler;
  void RunTimer();
  void RunCloseRequest();
  int64_t Now() const; // microseconds
  HFONT MakeFont(const FontDesign &font) const;
  void ApplyTimer();

  HINSTANCE instance_;
  bool comInitialized_ = false;
  int dpi_ = 96;
  int64_t ticksPerSecond_ = 1;

  ScopedWindow form_;
  HWND labels_[2] = {};
  HWND image_ = nullptr;
  ScopedFont fonts_[2];
  Picture picture_;
  FormEvents *events_ = nullptr;
  std::string labelText_[2];
  bool timerOn_ = false;
  int timerMilliseconds_ = 0;

  int pumpDepth_ = 0;
  int modalDepth_ = 0;
  bool inHandler_ = false;
  bool ending_ = false;

  int32_t countdown_ = 2048; // yields between two checks of the clock
  int64_t lastCheck_ = 0;
  int64_t lastPumpEnd_ = 0;
  int64_t largestGap_ = 0;
  int64_t pumps_ = 0;
};

} // namespace platform::win32
