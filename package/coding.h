// Integers in the package's bytes: little-endian fields both ways (the
// trailer, the manifest, PE headers, icon files), never by overlaying a
// struct, the caller checking that the bytes are there; and decimal
// numbers of its text fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace package {

inline uint16_t ReadLE16(const uint8_t *bytes) {
  return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

inline uint32_t ReadLE32(const uint8_t *bytes) {
  return static_cast<uint32_t>(bytes[0]) |
         static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 |
         static_cast<uint32_t>(bytes[3]) << 24;
}

inline void WriteLE16(uint8_t *bytes, uint16_t value) {
  bytes[0] = static_cast<uint8_t>(value);
  bytes[1] = static_cast<uint8_t>(value >> 8);
}

inline void WriteLE32(uint8_t *bytes, uint32_t value) {
  for (int k = 0; k < 4; ++k)
    bytes[k] = static_cast<uint8_t>(value >> (8 * k));
}

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

} // namespace package
