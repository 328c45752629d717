// The code pages of the win32 backend: the system's ANSI code page, unless a
// package names a Windows single-byte one of its own.
#include "platform/codepage.h"

#include <iterator>

#include "platform/win32/windows_support.h"

namespace platform {

namespace {

int current = 0; // 0: the system's ANSI code page

struct Table {
  int codePage = -1;
  char32_t codes[256];
  void Build(int page) {
    codePage = page;
    for (int byte = 0; byte < 256; ++byte) {
      const char in = static_cast<char>(byte);
      wchar_t out[2] = {};
      const int n = ::MultiByteToWideChar(page == 0 ? CP_ACP : page,
                                          MB_ERR_INVALID_CHARS, &in, 1, out, 2);
      // A byte without a character of its own (unassigned, or the lead
      // byte of a double-byte code page) keeps its value, so that every
      // byte converts both ways.
      codes[byte] =
          n == 1 ? static_cast<char32_t>(out[0]) : static_cast<char32_t>(byte);
    }
  }
};

} // namespace

const char32_t *AnsiTable() {
  // Two tables at most in a run: the system's and the package's.
  static Table tables[2];
  Table &table = tables[current != 0 ? 1 : 0];
  if (table.codePage != current)
    table.Build(current);
  return table.codes;
}

bool SetFileCodePage(int codePage) {
  bool known = codePage == 0;
  for (const int page : kPackageCodePages)
    known = known || page == codePage;
  if (!known || (codePage != 0 && !::IsValidCodePage(codePage)))
    return false;
  current = codePage;
  return true;
}

int FileCodePage() { return current; }

} // namespace platform
