// UTF-8 <-> UTF-16 for the win32 backend.
#include "platform/win32/windows_support.h"

#include <climits>

#include "platform/env.h"

namespace platform::win32 {

WideText Widen(std::string_view text) {
  if (text.empty() || text.size() > INT_MAX)
    return {};
  const int size = static_cast<int>(text.size());
  const int count =
      ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  if (count <= 0)
    return {};
  WideText wide(static_cast<size_t>(count));
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), count);
  return wide;
}

WideText Widen(const std::string &text) {
  return Widen(std::string_view(text));
}

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Lengths known when compiled, so no wcslen at run time.
constexpr std::wstring_view kLongPrefix = L"\\\\?\\";
constexpr std::wstring_view kLongUncPrefix = L"\\\\?\\UNC";

} // namespace

WideText LongPathForm(std::wstring_view path) {
  const bool unc = path.size() > 2 && IsSeparator(path[0]) &&
                   IsSeparator(path[1]) && path[2] != L'?' && path[2] != L'.';
  const auto letter = static_cast<wchar_t>(path.empty() ? 0 : path[0] | 0x20);
  const bool drive = path.size() > 2 && letter >= L'a' && letter <= L'z' &&
                     path[1] == L':' && IsSeparator(path[2]);
  std::wstring_view prefix;
  if (path.size() >= kLongPathFrom && (unc || drive)) {
    prefix = unc ? kLongUncPrefix : kLongPrefix;
    if (unc)
      path.remove_prefix(1); // "\\server" becomes "\\?\UNC\server"
  }
  WideText out(prefix.size() + path.size());
  wchar_t *at = out.data();
  for (const std::wstring_view part : {prefix, path})
    for (const wchar_t c : part)
      *at++ = c;
  return out;
}

WideText WidePath(const std::string &path) {
  WideText wide = Widen(path);
  if (wide.size() < kLongPathFrom)
    return wide;
  // "\\?\" hands the path over as it is: resolved first as the API
  // resolves a shorter one.
  return LongPathForm(Widen(AbsolutePath(path)).view());
}

DWORD AttributesOf(const std::string &path) {
  return ::GetFileAttributesW(WidePath(path).c_str());
}

std::string Narrow(std::wstring_view text) {
  if (text.empty() || text.size() > INT_MAX)
    return {};
  const int size = static_cast<int>(text.size());
  const int count = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size,
                                          nullptr, 0, nullptr, nullptr);
  if (count <= 0)
    return {};
  std::string narrow(static_cast<size_t>(count), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), count,
                        nullptr, nullptr);
  return narrow;
}

std::string Narrow(const wchar_t *text) {
  size_t length = 0;
  while (text[length] != L'\0')
    ++length;
  return Narrow(std::wstring_view(text, length));
}

} // namespace platform::win32
