// The tables of the Windows single-byte code pages, for the posix backend.
#pragma once

namespace platform::posix {

// The characters of the bytes 0x80 to 0xFF of a code page (874, 1250 to
// 1258); nullptr for any other.
const char16_t *UpperHalf(int codePage);

} // namespace platform::posix
