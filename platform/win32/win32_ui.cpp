// The Win32 window system behind platform::UiBackend: the shape of a
// "scratch program" (a static window procedure that forwards to the object),
// one top-level form, modal message boxes and a message pump that the yield
// runs only when one is due.
#include "platform/win32/win32_ui.h"

#include <algorithm>
#include <objbase.h>

#include "platform/decimal.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/win32/resource.h"
#include "platform/win32/win32_error.h"

namespace platform::win32 {

namespace {

constexpr wchar_t kFormClass[] = L"QuorixSetupForm";
constexpr UINT_PTR kTimerId = 1;
// Posted to the form when it is asked to close inside a pump: the pump runs
// the close handler itself (see Pump).
constexpr UINT kCloseRequest = WM_APP + 1;
constexpr int kPictureId = 100;
constexpr int kFirstLabelId = 101;

// Window styles of the form: a caption with the close button only and a thin
// border that cannot be dragged to resize.
constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kFormExStyle = 0;
// Labels: "&" is shown as itself (entry names may hold it); a text longer
// than the label ends in "...".
constexpr DWORD kLabelStyle =
    WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS;

// The clock is checked every few thousand yields, the countdown adjusted so
// that the checks come between an eighth and half a millisecond apart (a
// check is one counter read), and after every system call of the file layer
// (CheckClockAtNextYield); a pump is due every kPumpIntervalMicroseconds.
// The longest time between two pumps is then that interval plus the longest
// stretch of work between two yields.
constexpr int32_t kMinCountdown = 64;
constexpr int32_t kMaxCountdown = 8192;
constexpr int64_t kCheckTooSoon = 125; // microseconds
constexpr int64_t kCheckTooLate = 500; // microseconds
// One pump hands back control after this long even if messages keep coming
// (a timer whose handler outlasts its period).
constexpr int64_t kLongestPump = 100000; // microseconds

int TwipsToPixels(int twips, int dpi) { return ::MulDiv(twips, dpi, 1440); }

// A font's height in pixels, rounded half away from zero as lround does,
// without the C library's rounding and its error handler.
LONG PointsToPixels(double points, int dpi) {
  const double pixels = points * dpi / 72;
  return static_cast<LONG>(pixels < 0 ? pixels - 0.5 : pixels + 0.5);
}

int ScreenDpi() {
  HDC screen = ::GetDC(nullptr);
  if (!screen)
    return 96;
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

UINT IconFlags(MsgIcon icon) {
  switch (icon) {
  case MsgIcon::Question:
    return MB_ICONQUESTION;
  case MsgIcon::Warning:
    return MB_ICONWARNING;
  case MsgIcon::Error:
    return MB_ICONERROR;
  case MsgIcon::Information:
    return MB_ICONINFORMATION;
  }
  return 0;
}

// A window or its class not made: the system's reason, after what was
// asked for.
[[noreturn]] void RaiseNotMade(const char *what) {
  Raise(err::kOutOfMemory, Describe(::GetLastError(), what));
}

} // namespace

Win32Ui::Win32Ui(HINSTANCE instance) : instance_(instance) {
  // OLE decodes the picture; some systems reach the decoder through COM.
  comInitialized_ = SUCCEEDED(::CoInitializeEx(
      nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
  dpi_ = ScreenDpi();
  LARGE_INTEGER frequency{};
  ::QueryPerformanceFrequency(&frequency);
  ticksPerSecond_ = frequency.QuadPart > 0 ? frequency.QuadPart : 1;
  lastCheck_ = lastPumpEnd_ = Now();
}

Win32Ui::~Win32Ui() {
  DestroyForm();
  ::UnregisterClassW(kFormClass, instance_);
  if (comInitialized_)
    ::CoUninitialize();
}

int64_t Win32Ui::Now() const {
  // The performance counter rather than GetTickCount64, whose 10 to 16 ms
  // steps are as long as the pump interval itself.
  LARGE_INTEGER counter{};
  ::QueryPerformanceCounter(&counter);
  const int64_t ticks = counter.QuadPart;
  return ticks / ticksPerSecond_ * 1000000 +
         ticks % ticksPerSecond_ * 1000000 / ticksPerSecond_;
}

MsgAnswer Win32Ui::ShowMessage(const std::string &text, MsgIcon icon,
                               MsgButtons buttons) {
  UINT type = IconFlags(icon) | MB_SETFOREGROUND;
  switch (buttons) {
  case MsgButtons::YesNo:
    type |= MB_YESNO | MB_DEFBUTTON1;
    break;
  case MsgButtons::RetryCancel:
    type |= MB_RETRYCANCEL | MB_DEFBUTTON1;
    break;
  case MsgButtons::Ok:
    type |= MB_OK;
    break;
  }
  // Owned by the visible form, which it disables; with no visible form,
  // modal to every window of the program. Either way the form's close
  // button cannot reach the close handler while a box is open.
  HWND owner = form_ && ::IsWindowVisible(form_.Get()) ? form_.Get() : nullptr;
  if (!owner)
    type |= MB_TASKMODAL;
  ++modalDepth_;
  const int answer = ::MessageBoxW(owner, Widen(text).c_str(),
                                   Widen(ProgramTitle()).c_str(), type);
  --modalDepth_;
  switch (answer) {
  case IDYES:
    return MsgAnswer::Yes;
  case IDNO:
    return MsgAnswer::No;
  case IDOK:
    return MsgAnswer::Ok;
  case IDRETRY:
    return MsgAnswer::Retry;
  case IDCANCEL:
    return MsgAnswer::Cancel;
  default: // the box could not be shown: the answer that changes nothing
    return NothingChanges(buttons);
  }
}

HFONT Win32Ui::MakeFont(const FontDesign &font) const {
  LOGFONTW log{};
  if (font.name.empty()) {
    // The window's default font: the one the system uses in message boxes.
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics,
                                &metrics, 0))
      log = metrics.lfMessageFont;
    else
      ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof log, &log);
    if (font.points > 0)
      log.lfHeight = -PointsToPixels(font.points, dpi_);
    return ::CreateFontIndirectW(&log);
  }
  log.lfHeight = -PointsToPixels(font.points, dpi_);
  log.lfWeight = font.weight;
  log.lfCharSet =
      static_cast<BYTE>(font.cyrillic ? RUSSIAN_CHARSET : DEFAULT_CHARSET);
  log.lfOutPrecision = OUT_DEFAULT_PRECIS;
  log.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  log.lfQuality = DEFAULT_QUALITY;
  log.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  const WideText face = Widen(font.name);
  const size_t length = std::min(face.size(), size_t{LF_FACESIZE - 1});
  std::copy_n(face.c_str(), length, log.lfFaceName);
  return ::CreateFontIndirectW(&log);
}

void Win32Ui::CreateForm(const FormDesign &design, FormEvents *events) {
  DestroyForm();
  events_ = events;
  timerMilliseconds_ = design.timerMilliseconds;

  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &Win32Ui::WindowProc;
  windowClass.hInstance = instance_;
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kFormClass;
  // Shared icons from the program's resources: the system frees them.
  windowClass.hIcon = static_cast<HICON>(::LoadImageW(
      instance_, MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON,
      ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), LR_SHARED));
  windowClass.hIconSm = static_cast<HICON>(
      ::LoadImageW(instance_, MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON,
                   ::GetSystemMetrics(SM_CXSMICON),
                   ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  if (!::RegisterClassExW(&windowClass) &&
      ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    RaiseNotMade("RegisterClassExW");

  // Client area from the design, at the screen's dots per inch; the frame
  // centred on the whole primary screen, as the design asks (not on the
  // work area, which a taskbar makes smaller).
  RECT frame{0, 0, TwipsToPixels(design.clientWidth, dpi_),
             TwipsToPixels(design.clientHeight, dpi_)};
  ::AdjustWindowRectEx(&frame, kFormStyle, FALSE, kFormExStyle);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const int left = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int top = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;

  HWND window = ::CreateWindowExW(
      kFormExStyle, kFormClass, Widen(design.title).c_str(), kFormStyle, left,
      top, width, height, nullptr, nullptr, instance_, this);
  if (!window)
    RaiseNotMade("CreateWindowExW");
  form_.Reset(window);

  picture_ = Picture::FromResource(instance_, IDR_PICTURE);
  const SIZE natural = picture_.PixelSize(dpi_);
  image_ = ::CreateWindowExW(
      0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_OWNERDRAW,
      TwipsToPixels(design.pictureLeft, dpi_),
      TwipsToPixels(design.pictureTop, dpi_), natural.cx, natural.cy, window,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kPictureId)), instance_,
      nullptr);

  for (int i = 0; i < 2; ++i) {
    const LabelDesign &label = design.labels[i];
    labelText_[i] = label.text;
    labels_[i] = ::CreateWindowExW(
        0, L"STATIC", Widen(label.text).c_str(), kLabelStyle,
        TwipsToPixels(label.left, dpi_), TwipsToPixels(label.top, dpi_),
        TwipsToPixels(label.width, dpi_), TwipsToPixels(label.height, dpi_),
        window,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstLabelId + i)),
        instance_, nullptr);
    if (!labels_[i])
      RaiseNotMade("STATIC");
    fonts_[i].Reset(MakeFont(label.font));
    if (fonts_[i])
      ::SendMessageW(labels_[i], WM_SETFONT,
                     reinterpret_cast<WPARAM>(fonts_[i].Get()), FALSE);
  }
  ApplyTimer();
}

void Win32Ui::ShowForm() {
  if (!form_)
    return;
  ::ShowWindow(form_.Get(), SW_SHOWNORMAL);
  ::UpdateWindow(form_.Get());
}

void Win32Ui::SetLabelText(int index, const std::string &text) {
  if (index < 0 || index > 1)
    Raise(err::kSubscript, "lbl(" + platform::Decimal(index) + ")");
  // Called once per byte moved, mostly with the text the label already
  // shows: only a change reaches the window, and painting waits for the
  // next pump.
  if (text == labelText_[index])
    return;
  labelText_[index] = text;
  if (labels_[index])
    ::SetWindowTextW(labels_[index], Widen(text).c_str());
}

void Win32Ui::SetTimerEnabled(bool on) {
  timerOn_ = on;
  ApplyTimer();
}

void Win32Ui::ApplyTimer() {
  if (!form_)
    return;
  if (timerOn_)
    ::SetTimer(form_.Get(), kTimerId,
               static_cast<UINT>(std::max(timerMilliseconds_, 1)), nullptr);
  else
    ::KillTimer(form_.Get(), kTimerId);
}

int32_t Win32Ui::OnYield() {
  const int64_t now = Now();
  // Keep the checks a fraction of a millisecond apart whatever the work
  // between two yields costs: a check is a counter read, a pump a trip
  // through the window system.
  const int64_t sinceCheck = now - lastCheck_;
  lastCheck_ = now;
  if (sinceCheck < kCheckTooSoon)
    countdown_ = std::min(countdown_ * 2, kMaxCountdown);
  else if (sinceCheck > kCheckTooLate)
    countdown_ = std::max(countdown_ / 2, kMinCountdown);
  if (pumpDepth_ == 0 && now - lastPumpEnd_ >= kPumpIntervalMicroseconds)
    Pump(now);
  return countdown_;
}

void Win32Ui::PumpNow() { Pump(Now()); }

void Win32Ui::Pump(int64_t now) {
  if (pumps_ > 0)
    largestGap_ = std::max(largestGap_, now - lastPumpEnd_);
  ++pumps_;
  // Ends the pump on every way out, an error of a handler too.
  struct Depth {
    Win32Ui &ui;
    explicit Depth(Win32Ui &owner) : ui(owner) { ++ui.pumpDepth_; }
    Depth(const Depth &) = delete;
    Depth &operator=(const Depth &) = delete;
    ~Depth() {
      --ui.pumpDepth_;
      ui.lastPumpEnd_ = ui.lastCheck_ = ui.Now();
    }
  } depth(*this);
  MSG message{};
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    // The form's two events run here, between two messages, and not inside
    // DispatchMessageW: no frame of the window system lies between a
    // handler and the yield, so what a handler raises leaves the yield as
    // it is.
    const bool forForm = message.hwnd && message.hwnd == form_.Get();
    if (forForm && message.message == WM_TIMER && message.wParam == kTimerId)
      RunTimer();
    else if (forForm && message.message == kCloseRequest)
      RunCloseRequest();
    else if (message.message != WM_QUIT) { // nobody here waits for one
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    if (Now() - now > kLongestPump)
      break;
  }
}

// Marks a handler as running for as long as it runs.
struct Win32Ui::InHandler {
  bool &flag;
  explicit InHandler(bool &running) : flag(running) { flag = true; }
  InHandler(const InHandler &) = delete;
  InHandler &operator=(const InHandler &) = delete;
  ~InHandler() { flag = false; }
};

void Win32Ui::RunTimer() {
  if (!timerOn_ || !EventsAllowed())
    return;
  const InHandler running(inHandler_);
  events_->OnTimer();
}

void Win32Ui::RunCloseRequest() {
  // Nothing may interrupt the run outside a yield (the install step, a
  // message box, a handler already running): the request is refused.
  if (!EventsAllowed())
    return;
  int16_t cancel = 0;
  {
    const InHandler running(inHandler_);
    events_->OnCloseRequest(cancel); // an error keeps the form
  }
  if (cancel == 0)
    DestroyForm();
}

double Win32Ui::LargestPumpGapMs() const {
  return static_cast<double>(largestGap_) / 1000.0;
}

void Win32Ui::ResetPumpStatistics() {
  largestGap_ = 0;
  pumps_ = 0;
}

HWND Win32Ui::Control(int index) const {
  if (index == 0)
    return image_;
  if (index == 1 || index == 2)
    return labels_[index - 1];
  return nullptr;
}

bool Win32Ui::EventsAllowed() const {
  return events_ && !ending_ && pumpDepth_ > 0 && modalDepth_ == 0 &&
         !inHandler_;
}

void Win32Ui::DestroyForm() {
  if (form_) {
    ::KillTimer(form_.Get(), kTimerId);
    // Destroying sends WM_DESTROY, never WM_CLOSE: the close handler does
    // not run.
    form_.Reset();
  }
  image_ = nullptr;
  labels_[0] = labels_[1] = nullptr;
  fonts_[0].Reset();
  fonts_[1].Reset();
  picture_ = Picture();
}

void Win32Ui::EndProgram(int exitCode) {
  files::CloseAllQuietly();
  ending_ = true;
  DestroyForm();
  // For whoever watches with a debugger (the end-to-end tests read it through
  // Wine's debug channel): how live the window stayed.
  char line[128];
  ::wsprintfA(line, "updpack-stub: %d pumps, largest gap %d us\n",
              static_cast<int>(pumps_), static_cast<int>(largestGap_));
  ::OutputDebugStringA(line);
  ::ExitProcess(static_cast<UINT>(exitCode));
}

LRESULT CALLBACK Win32Ui::WindowProc(HWND window, UINT message, WPARAM wParam,
                                     LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto *create = reinterpret_cast<const CREATESTRUCTW *>(lParam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto *self =
      reinterpret_cast<Win32Ui *>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self)
    return ::DefWindowProcW(window, message, wParam, lParam);
  return self->HandleMessage(window, message, wParam, lParam);
}

LRESULT Win32Ui::HandleMessage(HWND window, UINT message, WPARAM wParam,
                               LPARAM lParam) {
  switch (message) {
  case WM_TIMER:
    // Ticks are handled by the pump (Pump); one that a message box's loop
    // dispatches falls outside a yield and is dropped.
    if (wParam != kTimerId)
      break;
    return 0;

  case WM_CLOSE:
    // The close button and the system send this from inside the window
    // system's frames: inside a yield the request goes to the pump, which
    // runs the handler; outside one (the install step, a message box, a
    // handler already running) it is refused.
    if (EventsAllowed())
      ::PostMessageW(window, kCloseRequest, 0, 0);
    return 0;

  case kCloseRequest: // reached a message box's loop: outside a yield
    return 0;

  case WM_DRAWITEM: {
    const auto *item = reinterpret_cast<const DRAWITEMSTRUCT *>(lParam);
    if (item->CtlID != kPictureId)
      break;
    ::FillRect(item->hDC, &item->rcItem, ::GetSysColorBrush(COLOR_BTNFACE));
    picture_.Draw(item->hDC, item->rcItem.left, item->rcItem.top, dpi_);
    return TRUE;
  }

  case WM_NCDESTROY:
    ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    break;

  default:
    break;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

} // namespace platform::win32
