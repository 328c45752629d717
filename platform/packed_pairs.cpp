// Unpacking the texts of the program's tables.
#include "platform/packed_pairs.h"

namespace platform {

std::string UnpackedAfter(const char *key) {
  const char *packed = key;
  while (*packed++ != '\0') {
  }
  std::string text;
  int follow = 0; // continuation bytes still due after a UTF-8 lead byte
  for (; *packed != '\0'; ++packed) {
    const auto byte = static_cast<unsigned char>(*packed);
    if (follow == 0 && byte >= 0x80 && byte < 0xC0) { // a Russian letter
      const unsigned code = 0x410 + (byte - 0x80);
      text += static_cast<char>(0xC0 | (code >> 6));
      text += static_cast<char>(0x80 | (code & 0x3F));
      continue;
    }
    if (follow > 0)
      --follow;
    else
      follow = byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : byte >= 0xC0 ? 1 : 0;
    text += *packed;
  }
  return text;
}

} // namespace platform
