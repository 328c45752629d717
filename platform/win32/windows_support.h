// The one way into <windows.h> for the win32 backend: lean headers, no
// min/max macros, Windows 7 as the oldest system; UTF-8 <-> UTF-16 text and a
// move-only owner of OS handles.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// mingw-w64's _mingw.h (pulled in by any C or C++ header) sets _WIN32_WINNT
// to Windows 10 when nobody has; pin Windows 7 so that an API it lacks does
// not compile by accident. Newer APIs are looked up at run time.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#undef WINVER
#define WINVER 0x0601

// The system's calls raise no C++ exception: the only code of ours that
// they call back is the window procedure, which raises nothing (the pump
// runs the form's events itself, outside the window system's frames).
// Declared so, every call to one needs no landing pad for the objects
// alive around it, nor unwind data to reach one.
#ifndef DECLSPEC_IMPORT
#define DECLSPEC_IMPORT __declspec(dllimport) __attribute__((nothrow))
#endif
#include <windows.h>
// winbase.h keeps Win16's Yield() as an empty macro; it would swallow
// platform::Yield().
#undef Yield

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace platform::win32 {

// UTF-16 text handed straight to a wide Win32 call: a buffer and its length,
// always ending in a null. Lighter than std::wstring, whose code the program
// image would otherwise carry for a few conversions.
class WideText {
public:
  WideText() = default;
  // Room for size characters and the null, all null.
  explicit WideText(size_t size)
      : text_(std::make_unique<wchar_t[]>(size + 1)), size_(size) {}

  const wchar_t *c_str() const { return text_ ? text_.get() : L""; }
  wchar_t *data() { return text_.get(); }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::wstring_view view() const { return {c_str(), size_}; }

private:
  std::unique_ptr<wchar_t[]> text_;
  size_t size_ = 0;
};

// UTF-8 (the text of the portable core) to UTF-16 and back. A malformed
// sequence becomes U+FFFD.
WideText Widen(std::string_view text);
// The same for text held in a string, passed by its address.
WideText Widen(const std::string &text);
std::string Narrow(std::wstring_view text);
// text up to its terminating null, counted here rather than by the C
// runtime's wcslen (one import fewer).
std::string Narrow(const wchar_t *text);

// The length from which an absolute path goes to the file API as a long
// path: CreateDirectoryW keeps room for an 8.3 name below MAX_PATH, other
// calls fail from MAX_PATH on.
inline constexpr size_t kLongPathFrom = MAX_PATH - 12;

// A path (UTF-8) as the file API takes it whatever its length: the one way
// the backend's paths become wide text. A path of kLongPathFrom characters
// or more is resolved as the API resolves a shorter one (GetFullPathNameW:
// made absolute, "/" turned into "\", ".", ".." and the dots and blanks
// that end its last name resolved) and then goes through LongPathForm.
WideText WidePath(const std::string &path);
// A full path in the form that passes MAX_PATH when it is long: a drive
// path ("C:\...") or a UNC path ("\\server\share\...") of kLongPathFrom
// characters or more becomes "\\?\C:\..." or "\\?\UNC\server\share\...";
// any other path (shorter, relative, with "\\?\" or "\\.\" already) stays
// as it is.
WideText LongPathForm(std::wstring_view path);
// GetFileAttributesW of path (the name itself: a link is not followed);
// INVALID_FILE_ATTRIBUTES, with GetLastError's code, when it fails.
DWORD AttributesOf(const std::string &path);

// A move-only owner of one OS handle; Traits names the handle type, the
// value that means "none" and the one call that releases it.
template <typename Traits> class ScopedHandle {
public:
  using Handle = typename Traits::Handle;

  ScopedHandle() = default;
  explicit ScopedHandle(Handle handle) : handle_(handle) {}
  ~ScopedHandle() { Reset(); }
  ScopedHandle(ScopedHandle &&other) noexcept : handle_(other.Release()) {}
  ScopedHandle &operator=(ScopedHandle &&other) noexcept {
    if (this != &other)
      Reset(other.Release());
    return *this;
  }
  ScopedHandle(const ScopedHandle &) = delete;
  ScopedHandle &operator=(const ScopedHandle &) = delete;

  explicit operator bool() const { return Traits::IsValid(handle_); }
  Handle Get() const { return handle_; }

  // Gives up ownership without closing.
  Handle Release() {
    Handle handle = handle_;
    handle_ = Traits::Invalid();
    return handle;
  }

  void Reset(Handle handle = Traits::Invalid()) {
    if (Traits::IsValid(handle_))
      Traits::Close(handle_);
    handle_ = handle;
  }

private:
  Handle handle_ = Traits::Invalid();
};

// CreateFileW and friends: INVALID_HANDLE_VALUE means none.
struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Handle h) { return h != INVALID_HANDLE_VALUE && h; }
  static void Close(Handle h) { ::CloseHandle(h); }
};

// FindFirstFileExW.
struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Handle h) { return h != INVALID_HANDLE_VALUE && h; }
  static void Close(Handle h) { ::FindClose(h); }
};

// Fonts, bitmaps, brushes: the objects of DeleteObject.
template <typename GdiHandle> struct GdiObjectTraits {
  using Handle = GdiHandle;
  static Handle Invalid() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::DeleteObject(h); }
};

struct WindowTraits {
  using Handle = HWND;
  static Handle Invalid() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::DestroyWindow(h); }
};

using ScopedFile = ScopedHandle<FileHandleTraits>;
using ScopedFind = ScopedHandle<FindHandleTraits>;
using ScopedFont = ScopedHandle<GdiObjectTraits<HFONT>>;
using ScopedWindow = ScopedHandle<WindowTraits>;

} // namespace platform::win32
