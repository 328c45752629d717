// wintool: drives the package's windows from outside, in the same Wine prefix
// and without a window manager. It finds top-level windows by their exact
// title, reads the texts of their static controls, presses message-box
// buttons, asks the form to close and reports its geometry.
//
//   wintool wait-window TITLE [TIMEOUT_MS] [--suspend]
//   wintool wait-gone TITLE [TIMEOUT_MS]
//   wintool wait-text TITLE TEXT [TIMEOUT_MS] [--suspend]
//   wintool suspend|resume TITLE
//   wintool text TITLE
//   wintool buttons TITLE
//   wintool press TITLE Yes|No|OK [--wait-text TEXT [TIMEOUT_MS]] [--watch T]
//   wintool press TITLE Yes|No|OK --suspend-when WINDOW TEXT [TIMEOUT_MS]
//   wintool move TITLE X Y
//   wintool paint TITLE
//   wintool close TITLE [--wm-close]
//   wintool rect TITLE
//   wintool list
//   wintool style TITLE
//   wintool icon TITLE
//   wintool icons
//   wintool hold PATH [MS]
//   wintool acp
//
// TEXT may hold the escapes \r, \n and \\. Texts are printed as UTF-8, one
// control per line, ordered top to bottom and left to right.
// Exit codes: 0 done, 1 timeout or no such window, 2 usage, 3 no such button;
// every failure also says why on stderr (the harness counts on that).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <cmath>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitNotFound = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNoButton = 3;

constexpr DWORD kPollMilliseconds = 5;
constexpr DWORD kDefaultTimeout = 20000;

void WriteOut(HANDLE handle, const std::wstring &text) {
  if (text.empty())
    return;
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(),
                                 static_cast<int>(text.size()), nullptr, 0,
                                 nullptr, nullptr);
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                      bytes.data(), size, nullptr, nullptr);
  DWORD written = 0;
  WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
            nullptr);
}

int Usage();

void Print(const std::wstring &text) {
  WriteOut(GetStdHandle(STD_OUTPUT_HANDLE), text);
}

void Complain(const std::wstring &text) {
  WriteOut(GetStdHandle(STD_ERROR_HANDLE), L"wintool: " + text + L"\n");
}

// The text a window keeps for itself: read without sending a message, so a
// program that is busy and not pumping cannot block us.
std::wstring WindowText(HWND window) {
  static std::vector<wchar_t> buffer(32768);
  int length = InternalGetWindowText(window, buffer.data(),
                                     static_cast<int>(buffer.size()));
  return std::wstring(buffer.data(), static_cast<size_t>(std::max(length, 0)));
}

std::wstring ClassName(HWND window) {
  wchar_t buffer[256];
  int length = GetClassNameW(window, buffer, 256);
  return std::wstring(buffer, static_cast<size_t>(std::max(length, 0)));
}

// "\r", "\n" and "\\" in a command-line argument.
std::wstring Unescape(const std::wstring &text) {
  std::wstring result;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\\' && i + 1 < text.size()) {
      wchar_t next = text[i + 1];
      if (next == L'r' || next == L'n' || next == L'\\') {
        result += next == L'r' ? L'\r' : next == L'n' ? L'\n' : L'\\';
        ++i;
        continue;
      }
    }
    result += text[i];
  }
  return result;
}

struct FindState {
  const std::wstring *title;
  HWND found;
};

BOOL CALLBACK FindTopLevel(HWND window, LPARAM param) {
  auto *state = reinterpret_cast<FindState *>(param);
  if (IsWindowVisible(window) && WindowText(window) == *state->title) {
    state->found = window;
    return FALSE;
  }
  return TRUE;
}

// The topmost visible top-level window with exactly this title, or null.
HWND FindWindowByTitle(const std::wstring &title) {
  FindState state{&title, nullptr};
  EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&state));
  return state.found;
}

bool IsTextStatic(HWND control) {
  if (CompareStringOrdinal(ClassName(control).c_str(), -1, L"Static", -1,
                           TRUE) != CSTR_EQUAL)
    return false;
  LONG type = GetWindowLongW(control, GWL_STYLE) & SS_TYPEMASK;
  switch (type) {
  case SS_LEFT:
  case SS_CENTER:
  case SS_RIGHT:
  case SS_SIMPLE:
  case SS_LEFTNOWORDWRAP:
    return true;
  default:
    return false; // icons, pictures, owner-drawn, frames and rectangles
  }
}

struct Control {
  HWND window;
  RECT rect;
};

BOOL CALLBACK CollectStatic(HWND control, LPARAM param) {
  if (IsTextStatic(control)) {
    Control item{control, {}};
    GetWindowRect(control, &item.rect);
    reinterpret_cast<std::vector<Control> *>(param)->push_back(item);
  }
  return TRUE;
}

// The window's text controls, top to bottom, then left to right.
std::vector<std::wstring> StaticTexts(HWND window) {
  std::vector<Control> controls;
  EnumChildWindows(window, CollectStatic, reinterpret_cast<LPARAM>(&controls));
  std::stable_sort(controls.begin(), controls.end(),
                   [](const Control &a, const Control &b) {
                     if (a.rect.top != b.rect.top)
                       return a.rect.top < b.rect.top;
                     return a.rect.left < b.rect.left;
                   });
  std::vector<std::wstring> texts;
  for (const Control &control : controls)
    texts.push_back(WindowText(control.window));
  return texts;
}

bool ShowsText(HWND window, const std::wstring &text) {
  for (const std::wstring &shown : StaticTexts(window))
    if (shown == text)
      return true;
  return false;
}

// Polls until found(window) holds for the window with this title (null when
// there is none); returns false on timeout.
template <typename Predicate>
bool WaitFor(const std::wstring &title, DWORD timeout, Predicate found,
             DWORD poll = kPollMilliseconds) {
  ULONGLONG deadline = GetTickCount64() + timeout;
  for (;;) {
    if (found(FindWindowByTitle(title)))
      return true;
    if (GetTickCount64() >= deadline)
      return false;
    Sleep(poll);
  }
}

DWORD ParseTimeout(int argc, wchar_t **argv, int index) {
  if (index >= argc)
    return kDefaultTimeout;
  return static_cast<DWORD>(std::wcstoul(argv[index], nullptr, 10));
}

struct ButtonName {
  const wchar_t *name;
  int id;
};

constexpr ButtonName kButtons[] = {
    {L"OK", IDOK},       {L"Cancel", IDCANCEL}, {L"Abort", IDABORT},
    {L"Retry", IDRETRY}, {L"Ignore", IDIGNORE}, {L"Yes", IDYES},
    {L"No", IDNO},
};

int ButtonId(const std::wstring &name) {
  for (const ButtonName &button : kButtons)
    if (CompareStringOrdinal(name.c_str(), -1, button.name, -1, TRUE) ==
        CSTR_EQUAL)
      return button.id;
  return 0;
}

// A message box button: a visible, enabled child with the button's id.
HWND FindButton(HWND dialog, int id) {
  HWND button = GetDlgItem(dialog, id);
  if (button == nullptr || !IsWindowVisible(button) || !IsWindowEnabled(button))
    return nullptr;
  return button;
}

HWND RequireWindow(const std::wstring &title) {
  HWND window = FindWindowByTitle(title);
  if (window == nullptr)
    Complain(L"no visible window titled \"" + title + L"\"");
  return window;
}

// The process that owns a window, suspended or resumed as a whole (every
// thread), as a debugger does.
bool SuspendOwner(HWND window, bool suspend) {
  using Call = LONG(WINAPI *)(HANDLE);
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  auto call = reinterpret_cast<Call>(reinterpret_cast<void *>(
      GetProcAddress(ntdll, suspend ? "NtSuspendProcess" : "NtResumeProcess")));
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  HANDLE process = OpenProcess(PROCESS_SUSPEND_RESUME, FALSE, processId);
  if (call == nullptr || process == nullptr) {
    Complain(L"cannot suspend or resume the process of the window");
    if (process != nullptr)
      CloseHandle(process);
    return false;
  }
  bool done = call(process) >= 0;
  CloseHandle(process);
  if (!done)
    Complain(L"the process of the window was not suspended or resumed");
  return done;
}

// The options after a wait's fixed arguments: a timeout in milliseconds and
// --suspend, which suspends the window's process the moment the wait is
// over (so that a fast program cannot run on past the awaited state).
struct WaitOptions {
  DWORD timeout = kDefaultTimeout;
  bool suspend = false;
};

WaitOptions ParseWaitOptions(int argc, wchar_t **argv, int first) {
  WaitOptions options;
  for (int i = first; i < argc; ++i) {
    if (std::wstring(argv[i]) == L"--suspend")
      options.suspend = true;
    else
      options.timeout = static_cast<DWORD>(std::wcstoul(argv[i], nullptr, 10));
  }
  return options;
}

int CommandWaitWindow(int argc, wchar_t **argv) {
  std::wstring title = argv[2];
  WaitOptions options = ParseWaitOptions(argc, argv, 3);
  HWND found = nullptr;
  if (WaitFor(title, options.timeout, [&](HWND window) {
        found = window;
        return window != nullptr;
      }))
    return options.suspend && !SuspendOwner(found, true) ? kExitNotFound
                                                         : kExitOk;
  Complain(L"timed out waiting for \"" + title + L"\"");
  return kExitNotFound;
}

int CommandWaitGone(int argc, wchar_t **argv) {
  std::wstring title = argv[2];
  if (WaitFor(title, ParseTimeout(argc, argv, 3),
              [](HWND window) { return window == nullptr; }))
    return kExitOk;
  Complain(L"\"" + title + L"\" is still there");
  return kExitNotFound;
}

int CommandWaitText(int argc, wchar_t **argv) {
  std::wstring title = argv[2];
  std::wstring text = Unescape(argv[3]);
  WaitOptions options = ParseWaitOptions(argc, argv, 4);
  HWND found = nullptr;
  if (WaitFor(title, options.timeout, [&](HWND window) {
        found = window;
        return window != nullptr && ShowsText(window, text);
      }))
    return options.suspend && !SuspendOwner(found, true) ? kExitNotFound
                                                         : kExitOk;
  Complain(L"timed out waiting for \"" + title + L"\" to show \"" + text +
           L"\"");
  return kExitNotFound;
}

int CommandSuspend(wchar_t **argv, bool suspend) {
  HWND window = RequireWindow(argv[2]);
  if (window == nullptr)
    return kExitNotFound;
  return SuspendOwner(window, suspend) ? kExitOk : kExitNotFound;
}

int CommandText(wchar_t **argv) {
  HWND window = RequireWindow(argv[2]);
  if (window == nullptr)
    return kExitNotFound;
  std::wstring out;
  for (const std::wstring &text : StaticTexts(window))
    out += text + L"\n";
  Print(out);
  return kExitOk;
}

// The message box's buttons in id order; the default one is marked with '*'.
int CommandButtons(wchar_t **argv) {
  HWND window = RequireWindow(argv[2]);
  if (window == nullptr)
    return kExitNotFound;
  std::wstring out;
  for (const ButtonName &name : kButtons) {
    HWND button = FindButton(window, name.id);
    if (button == nullptr)
      continue;
    if (!out.empty())
      out += L" ";
    out += name.name;
    if ((GetWindowLongW(button, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON)
      out += L"*";
  }
  Print(out + L"\n");
  return kExitOk;
}

// Posts the button's WM_COMMAND to the dialog, as a click on it does. With
// --wait-text, waits for a window of the same title to show TEXT and prints
// the milliseconds from the press to then; with --watch as well, prints the
// moment each new first line of the window WATCHED appears on the way. With
// --suspend-when, polls as fast as it can for the window WINDOW to show TEXT
// and suspends its process right then: a run that moves fast is caught in the
// state that TEXT marks.
int CommandPress(int argc, wchar_t **argv) {
  std::wstring title = argv[2];
  int id = ButtonId(argv[3]);
  if (id == 0) {
    Complain(L"unknown button \"" + std::wstring(argv[3]) + L"\"");
    return kExitUsage;
  }
  std::wstring waitText, watched, suspendWindow, suspendText;
  bool wait = false;
  bool suspend = false;
  DWORD timeout = kDefaultTimeout;
  for (int i = 4; i < argc; ++i) {
    std::wstring option = argv[i];
    if (option == L"--wait-text" && i + 1 < argc) {
      wait = true;
      waitText = Unescape(argv[++i]);
    } else if (option == L"--suspend-when" && i + 2 < argc) {
      suspend = true;
      suspendWindow = argv[++i];
      suspendText = Unescape(argv[++i]);
    } else if (option == L"--watch" && i + 1 < argc) {
      watched = argv[++i];
    } else {
      return Usage();
    }
    if (i + 1 < argc && std::iswdigit(argv[i + 1][0]))
      timeout = ParseTimeout(argc, argv, ++i);
  }
  if (wait && suspend)
    return Usage();
  HWND dialog = RequireWindow(title);
  if (dialog == nullptr)
    return kExitNotFound;
  HWND button = FindButton(dialog, id);
  if (button == nullptr) {
    Complain(L"\"" + title + L"\" has no button " + argv[3]);
    return kExitNoButton;
  }
  LARGE_INTEGER frequency, start;
  QueryPerformanceFrequency(&frequency);
  auto elapsed = [&]() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    double milliseconds = static_cast<double>(now.QuadPart - start.QuadPart) *
                          1000.0 / static_cast<double>(frequency.QuadPart);
    return std::to_wstring(std::llround(milliseconds));
  };
  QueryPerformanceCounter(&start);
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(button));
  if (suspend) {
    HWND found = nullptr;
    if (!WaitFor(
            suspendWindow, timeout,
            [&](HWND window) {
              found = window;
              return window != nullptr && ShowsText(window, suspendText);
            },
            1)) {
      Complain(L"timed out waiting for \"" + suspendWindow + L"\" to show \"" +
               suspendText + L"\"");
      return kExitNotFound;
    }
    return SuspendOwner(found, true) ? kExitOk : kExitNotFound;
  }
  if (!wait)
    return kExitOk;
  std::wstring lastLine;
  std::wstring phases;
  // The pressed box may linger for a moment: only a window that shows the
  // awaited text counts.
  bool shown = WaitFor(title, timeout, [&](HWND window) {
    if (!watched.empty()) {
      HWND form = FindWindowByTitle(watched);
      std::vector<std::wstring> lines;
      if (form != nullptr)
        lines = StaticTexts(form);
      if (!lines.empty() && lines[0] != lastLine) {
        lastLine = lines[0];
        phases += L"at_ms " + elapsed() + L" " + lastLine + L"\n";
      }
    }
    return window != nullptr && window != dialog && ShowsText(window, waitText);
  });
  std::wstring total = elapsed();
  Print(phases);
  if (!shown) {
    Complain(L"timed out waiting for \"" + waitText + L"\"");
    return kExitNotFound;
  }
  Print(L"elapsed_ms " + total + L"\n");
  return kExitOk;
}

// Moves a window's top-left corner to X,Y on the screen (size, z-order and
// activation unchanged): a message box moved aside uncovers the form behind.
int CommandMove(wchar_t **argv) {
  HWND window = RequireWindow(argv[2]);
  if (window == nullptr)
    return kExitNotFound;
  int x = static_cast<int>(std::wcstol(argv[3], nullptr, 10));
  int y = static_cast<int>(std::wcstol(argv[4], nullptr, 10));
  return SetWindowPos(window, nullptr, x, y, 0, 0,
                      SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE)
             ? kExitOk
             : kExitNotFound;
}

// Makes the window's owner paint the window, its frame and its children
// now, and returns once the owner waits for messages again: the paint
// messages go as sent ones, which the owner's message loop (a message
// box's too) handles first, and Wine puts what a thread painted on the
// screen before the thread waits. So a window uncovered by a move is drawn
// before a screenshot, however loaded the machine. A console program has
// no such moment that Wine tells: its window is painted, and the call fails.
// Never for a suspended program: it would not answer.
int CommandPaint(wchar_t **argv) {
  HWND window = RequireWindow(argv[2]);
  if (window == nullptr)
    return kExitNotFound;
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  HANDLE process =
      OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, processId);
  bool painted = RedrawWindow(window, nullptr, nullptr,
                              RDW_INVALIDATE | RDW_FRAME | RDW_ERASE |
                                  RDW_ALLCHILDREN | RDW_UPDATENOW) &&
                 process != nullptr &&
                 WaitForInputIdle(process, kDefaultTimeout) == 0;
  if (process != nullptr)
    CloseHandle(process);
  if (!painted)
    Complain(L"\"" + std::wstring(argv[2]) + L"\" was not painted");
  return painted ? kExitOk : kExitNotFound;
}

// The close button's request: WM_SYSCOMMAND SC_CLOSE, which the default
// window procedure turns into WM_CLOSE; --wm-close posts WM_CLOSE itself.
int CommandClose(int argc, wchar_t **argv) {
  HWND window = RequireWindow(argv[2]);
  if (window == nullptr)
    return kExitNotFound;
  if (argc > 3 && std::wstring(argv[3]) == L"--wm-close")
    PostMessageW(window, WM_CLOSE, 0, 0);
  else
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  return kExitOk;
}

std::wstring RectLine(const wchar_t *name, const RECT &rect) {
  return std::wstring(name) + L" " + std::to_wstring(rect.left) + L" " +
         std::to_wstring(rect.top) + L" " +
         std::to_wstring(rect.right - rect.left) + L" " +
         std::to_wstring(rect.bottom - rect.top) + L"\n";
}

// "client X Y W H", "window X Y W H" in screen pixels, then "dpi N".
int CommandRect(wchar_t **argv) {
  HWND window = RequireWindow(argv[2]);
  if (window == nullptr)
    return kExitNotFound;
  RECT client{}, frame{};
  GetClientRect(window, &client);
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  OffsetRect(&client, origin.x, origin.y);
  GetWindowRect(window, &frame);
  HDC screen = GetDC(nullptr);
  int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  Print(RectLine(L"client", client) + RectLine(L"window", frame) + L"dpi " +
        std::to_wstring(dpi) + L"\n");
  return kExitOk;
}

BOOL CALLBACK ListTopLevel(HWND window, LPARAM param) {
  if (IsWindowVisible(window)) {
    std::wstring title = WindowText(window);
    if (!title.empty())
      *reinterpret_cast<std::wstring *>(param) += title + L"\n";
  }
  return TRUE;
}

int CommandList() {
  std::wstring out;
  EnumWindows(ListTopLevel, reinterpret_cast<LPARAM>(&out));
  Print(out);
  return kExitOk;
}

// The frame of a window as words: caption sysmenu minimizebox maximizebox
// thickframe, those of its style bits that are set.
int CommandStyle(wchar_t **argv) {
  HWND window = RequireWindow(argv[2]);
  if (window == nullptr)
    return kExitNotFound;
  LONG style = GetWindowLongW(window, GWL_STYLE);
  struct Flag {
    LONG bits;
    const wchar_t *name;
  };
  const Flag flags[] = {{WS_CAPTION, L"caption"},
                        {WS_SYSMENU, L"sysmenu"},
                        {WS_MINIMIZEBOX, L"minimizebox"},
                        {WS_MAXIMIZEBOX, L"maximizebox"},
                        {WS_THICKFRAME, L"thickframe"}};
  std::wstring out;
  for (const Flag &flag : flags)
    if ((style & flag.bits) == flag.bits)
      out += std::wstring(out.empty() ? L"" : L" ") + flag.name;
  Print(out + L"\n");
  return kExitOk;
}

BOOL CALLBACK FindIconStatic(HWND control, LPARAM param) {
  if (CompareStringOrdinal(ClassName(control).c_str(), -1, L"Static", -1,
                           TRUE) == CSTR_EQUAL &&
      (GetWindowLongW(control, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
    *reinterpret_cast<HWND *>(param) = control;
    return FALSE;
  }
  return TRUE;
}

// "X Y W H" of a message box's icon, in screen pixels.
int CommandIcon(wchar_t **argv) {
  HWND window = RequireWindow(argv[2]);
  if (window == nullptr)
    return kExitNotFound;
  HWND icon = nullptr;
  EnumChildWindows(window, FindIconStatic, reinterpret_cast<LPARAM>(&icon));
  if (icon == nullptr) {
    Complain(L"\"" + std::wstring(argv[2]) + L"\" shows no icon");
    return kExitNotFound;
  }
  RECT rect{};
  GetWindowRect(icon, &rect);
  Print(std::to_wstring(rect.left) + L" " + std::to_wstring(rect.top) + L" " +
        std::to_wstring(rect.right - rect.left) + L" " +
        std::to_wstring(rect.bottom - rect.top) + L"\n");
  return kExitOk;
}

constexpr wchar_t kIconsTitle[] = L"wintool icons";
constexpr int kIconStep = 40;

LRESULT CALLBACK IconsProc(HWND window, UINT message, WPARAM wParam,
                           LPARAM lParam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    const LPCWSTR icons[] = {IDI_QUESTION, IDI_INFORMATION, IDI_WARNING,
                             IDI_ERROR};
    for (int i = 0; i < 4; ++i)
      DrawIconEx(dc, i * kIconStep, 0, LoadIconW(nullptr, icons[i]), 0, 0, 0,
                 nullptr, DI_NORMAL | DI_DEFAULTSIZE);
    EndPaint(window, &paint);
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// A window titled "wintool icons" that shows the system's question,
// information, warning and error icons at x = 0, 40, 80 and 120 of its client
// area, on the dialog colour, until it is closed (at most a minute): the
// references for the icons of message boxes.
int CommandIcons() {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = IconsProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  windowClass.lpszClassName = L"WintoolIcons";
  RegisterClassW(&windowClass);
  RECT rect{0, 0, 4 * kIconStep, kIconStep};
  DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
  AdjustWindowRect(&rect, style, FALSE);
  HWND window = CreateWindowW(L"WintoolIcons", kIconsTitle, style, 0, 0,
                              rect.right - rect.left, rect.bottom - rect.top,
                              nullptr, nullptr, windowClass.hInstance, nullptr);
  if (window == nullptr) {
    Complain(L"cannot create the window of the icons");
    return kExitNotFound;
  }
  ShowWindow(window, SW_SHOWNOACTIVATE);
  SetTimer(window, 1, 60000, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER && message.hwnd == window) {
      DestroyWindow(window);
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return kExitOk;
}

// Holds PATH open (a file created if missing) for reading and writing, a
// folder for reading, sharing reading and writing but not deletion, as
// another program may; prints "held" once it is open and lets go after MS
// milliseconds or when killed.
int CommandHold(int argc, wchar_t **argv) {
  const DWORD attributes = GetFileAttributesW(argv[2]);
  const bool folder = attributes != INVALID_FILE_ATTRIBUTES &&
                      (attributes & FILE_ATTRIBUTE_DIRECTORY);
  HANDLE file = CreateFileW(
      argv[2], folder ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
      folder ? FILE_FLAG_BACKUP_SEMANTICS : FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    Complain(L"cannot open " + std::wstring(argv[2]));
    return kExitNotFound;
  }
  Print(L"held\n");
  Sleep(argc > 3 ? ParseTimeout(argc, argv, 3) : 60000);
  CloseHandle(file);
  return kExitOk;
}

// The ANSI code page that programs in this prefix get.
int CommandAcp() {
  Print(std::to_wstring(GetACP()) + L"\n");
  return kExitOk;
}

int Usage() {
  Complain(L"usage:\n"
           L"  wintool wait-window TITLE [TIMEOUT_MS] [--suspend]\n"
           L"  wintool wait-gone TITLE [TIMEOUT_MS]\n"
           L"  wintool wait-text TITLE TEXT [TIMEOUT_MS] [--suspend]\n"
           L"  wintool text|buttons|rect|style|icon TITLE\n"
           L"  wintool press TITLE Yes|No|OK [--wait-text TEXT [TIMEOUT_MS]] "
           L"[--watch TITLE]\n"
           L"  wintool press TITLE Yes|No|OK --suspend-when WINDOW TEXT "
           L"[TIMEOUT_MS]\n"
           L"  wintool move TITLE X Y\n"
           L"  wintool paint TITLE\n"
           L"  wintool close TITLE [--wm-close]\n"
           L"  wintool suspend|resume TITLE\n"
           L"  wintool hold PATH [MS]\n"
           L"  wintool list|icons|acp");
  return kExitUsage;
}

} // namespace

int wmain(int argc, wchar_t **argv) {
  if (argc < 2)
    return Usage();
  std::wstring command = argv[1];
  if (command == L"list")
    return CommandList();
  if (command == L"acp")
    return CommandAcp();
  if (command == L"icons")
    return CommandIcons();
  if (argc < 3)
    return Usage();
  if (command == L"wait-window")
    return CommandWaitWindow(argc, argv);
  if (command == L"wait-gone")
    return CommandWaitGone(argc, argv);
  if (command == L"text")
    return CommandText(argv);
  if (command == L"buttons")
    return CommandButtons(argv);
  if (command == L"close")
    return CommandClose(argc, argv);
  if (command == L"rect")
    return CommandRect(argv);
  if (command == L"style")
    return CommandStyle(argv);
  if (command == L"hold")
    return CommandHold(argc, argv);
  if (command == L"suspend")
    return CommandSuspend(argv, true);
  if (command == L"resume")
    return CommandSuspend(argv, false);
  if (command == L"icon")
    return CommandIcon(argv);
  if (command == L"paint")
    return CommandPaint(argv);
  if (argc < 4)
    return Usage();
  if (command == L"wait-text")
    return CommandWaitText(argc, argv);
  if (command == L"press")
    return CommandPress(argc, argv);
  if (command == L"move" && argc >= 5)
    return CommandMove(argv);
  return Usage();
}
