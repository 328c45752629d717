// Integers in the package's bytes: little-endian fields both ways (the
// trailer, the manifest, PE headers, icon files; platform/byte_order.h),
// also in byte strings; and decimal numbers of its text fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/byte_order.h"

namespace package {

using platform::ReadLE16;
using platform::ReadLE32;
using platform::WriteLE16;
using platform::WriteLE32;

// width bytes (1 to 4) at offset of a byte string.
inline uint32_t ReadLE(std::string_view bytes, size_t offset, int width) {
  uint32_t value = 0;
  for (int k = 0; k < width; ++k)
    value |= static_cast<uint32_t>(
                 static_cast<uint8_t>(bytes[offset + static_cast<size_t>(k)]))
             << (8 * k);
  return value;
}

inline void WriteLE(std::string &bytes, size_t offset, uint32_t value,
                    int width) {
  for (int k = 0; k < width; ++k)
    bytes[offset + static_cast<size_t>(k)] =
        static_cast<char>((value >> (8 * k)) & 0xFF);
}

// A number of 1 to 18 decimal digits and nothing else; false for any other
// text.
inline bool ParseDecimal(std::string_view text, int64_t &value) {
  if (text.empty() || text.size() > 18)
    return false;
  value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9')
      return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

// Exactly 8 hex digits, either case; false for any other text.
inline bool ParseHex32(std::string_view text, uint32_t &value) {
  if (text.size() != 8)
    return false;
  value = 0;
  for (const char c : text) {
    int digit = 0;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return false;
    value = value << 4 | static_cast<uint32_t>(digit);
  }
  return true;
}

// Appends value as 8 lower-case hex digits.
inline void AppendHex32(std::string &text, uint32_t value) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (int shift = 28; shift >= 0; shift -= 4)
    text += kHex[(value >> shift) & 0xF];
}

// The first line of text, without its CR LF or LF, taken off text.
inline std::string_view TakeLine(std::string_view &text) {
  const size_t end = text.find('\n');
  std::string_view line = text.substr(0, end);
  text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  if (!line.empty() && line.back() == '\r')
    line.remove_suffix(1);
  return line;
}

} // namespace package
