// Booleans exchanged between the parts: 16-bit, true is -1, false is 0.
#pragma once

#include <cstdint>

namespace platform {

using Boolean = int16_t;
inline constexpr Boolean kTrue = -1;
inline constexpr Boolean kFalse = 0;

inline constexpr Boolean ToBoolean(bool value) {
  return value ? kTrue : kFalse;
}

} // namespace platform
