// Code pages read through iconv.
#include "tests/support/iconv_page.h"

#include <iconv.h>

namespace testsupport {

std::vector<char32_t> PageFromIconv(const char *page) {
  std::vector<char32_t> chars(256, 0);
  for (int b = 1; b < 256; ++b) {
    iconv_t cd = iconv_open("UTF-32LE", page);
    // NOLINTNEXTLINE(performance-no-int-to-ptr): iconv's failure value
    if (cd == reinterpret_cast<iconv_t>(-1))
      return {};
    char in = static_cast<char>(b);
    unsigned char out[16] = {};
    char *inPtr = &in;
    auto *outPtr = reinterpret_cast<char *>(out);
    size_t inLeft = 1, outLeft = sizeof out;
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) !=
            static_cast<size_t>(-1) &&
        iconv(cd, nullptr, nullptr, &outPtr, &outLeft) !=
            static_cast<size_t>(-1) &&
        sizeof out - outLeft == 4)
      chars[b] = out[0] | out[1] << 8 | out[2] << 16 | char32_t{out[3]} << 24;
    iconv_close(cd);
  }
  return chars;
}

} // namespace testsupport
