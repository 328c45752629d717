// The error of a package whose bytes show it damaged or incomplete: a file
// that differs from the one packed, a damaged checksum entry or manifest, a
// package of another length than its manifest declares.
#pragma once

#include <cstdint>

namespace package {

inline constexpr int32_t kErrPackageDamaged = -1234030;

} // namespace package
