// Fuzz target: the conversion of names and script paths between UTF-8 and
// the code pages a package may be written in. The first byte chooses the
// code page (kPackageCodePages), the rest is both code-page bytes and
// UTF-8 text. Bytes come back from their text exactly (every byte of a
// page converts both ways); text that converts comes back exactly when it
// is well-formed UTF-8, and no malformed sequence converts into a byte.
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

#include "fuzz/harness.h"
#include "platform/codepage.h"

namespace {

using fuzzing::Fail;

// Well-formed UTF-8: NextCodePoint takes no sequence as malformed.
bool WellFormed(std::string_view text) {
  for (size_t at = 0; at < text.size();) {
    const size_t from = at;
    const char32_t code = platform::NextCodePoint(text, at);
    if (at <= from || at > text.size())
      Fail("NextCodePoint did not move forward inside the text");
    if (code == 0xFFFD && text.substr(from, at - from) != "\xEF\xBF\xBD")
      return false;
  }
  return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  const int page =
      platform::kPackageCodePages[data[0] %
                                  std::size(platform::kPackageCodePages)];
  if (!platform::SetFileCodePage(page))
    Fail("a package's code page is refused");
  const std::string_view rest(reinterpret_cast<const char *>(data) + 1,
                              size - 1);

  const std::string text = platform::AnsiToText(rest);
  if (!WellFormed(text))
    Fail("code-page bytes made malformed text");
  std::string bytes;
  if (!platform::TextToAnsi(text, bytes) || bytes != rest)
    Fail("code-page bytes do not come back from their text");

  if (platform::TextToAnsi(rest, bytes)) {
    if (!WellFormed(rest))
      Fail("malformed UTF-8 converted into code-page bytes");
    if (platform::AnsiToText(bytes) != rest)
      Fail("text converted does not come back");
  }
  platform::SetFileCodePage(0);
  return 0;
}
