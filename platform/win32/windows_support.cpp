// UTF-8 <-> UTF-16 for the win32 backend.
#include "platform/win32/windows_support.h"

#include <climits>

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

} // namespace platform::win32
