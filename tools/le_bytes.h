// Little-endian fields of byte strings the tool reads and patches (program
// images, icon files); the caller checks that offset + width is inside.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tools {

inline uint32_t GetLE(std::string_view bytes, size_t offset, int width) {
  uint32_t value = 0;
  for (int k = 0; k < width; ++k)
    value |= static_cast<uint32_t>(
                 static_cast<uint8_t>(bytes[offset + static_cast<size_t>(k)]))
             << (8 * k);
  return value;
}

inline void PutLE(std::string &bytes, size_t offset, uint32_t value,
                  int width) {
  for (int k = 0; k < width; ++k)
    bytes[offset + static_cast<size_t>(k)] =
        static_cast<char>((value >> (8 * k)) & 0xFF);
}

} // namespace tools
