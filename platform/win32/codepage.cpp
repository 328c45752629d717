// The system's ANSI code page, for the win32 backend.
#include "platform/codepage.h"

#include "platform/win32/windows_support.h"

namespace platform {

const char32_t *AnsiTable() {
  struct Table {
    char32_t codes[256];
    Table() {
      for (int byte = 0; byte < 256; ++byte) {
        const char in = static_cast<char>(byte);
        wchar_t out[2] = {};
        const int n =
            ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, &in, 1, out, 2);
        // A byte without a character of its own (unassigned, or the lead
        // byte of a double-byte code page) keeps its value, so that every
        // byte converts both ways.
        codes[byte] = n == 1 ? static_cast<char32_t>(out[0])
                             : static_cast<char32_t>(byte);
      }
    }
  };
  static const Table table;
  return table.codes;
}

} // namespace platform
