// The code pages of the posix backend: Windows-1251, the code page of the
// shipped package, unless a package names another Windows single-byte one.
#include "platform/codepage.h"

#include <iterator>

#include "platform/posix/code_page_tables.h"

namespace platform {

namespace {

int current = 0; // 0: the system's, which is 1251 here

constexpr int kSystemCodePage = 1251;

// Built on first use; one table for each of kPackageCodePages.
const char32_t *Table(int codePage) {
  static char32_t tables[std::size(kPackageCodePages)][256];
  static bool built[std::size(kPackageCodePages)] = {};
  for (size_t k = 0; k < std::size(kPackageCodePages); ++k) {
    if (kPackageCodePages[k] != codePage)
      continue;
    if (!built[k]) {
      const char16_t *upper = posix::UpperHalf(codePage);
      for (int b = 0; b < 256; ++b)
        tables[k][b] = b < 0x80 ? static_cast<char32_t>(b) : upper[b - 0x80];
      built[k] = true;
    }
    return tables[k];
  }
  return nullptr;
}

} // namespace

const char32_t *AnsiTable() {
  return Table(current != 0 ? current : kSystemCodePage);
}

bool SetFileCodePage(int codePage) {
  if (codePage != 0 && !Table(codePage))
    return false;
  current = codePage;
  return true;
}

int FileCodePage() { return current; }

} // namespace platform
