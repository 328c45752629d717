// Conversion between code-page bytes and UTF-8 text.
#include "platform/codepage.h"

#include <algorithm>
#include <array>
#include <utility>

namespace platform {

void AppendUtf8(std::string &text, char32_t code) {
  if (code < 0x80) {
    text += static_cast<char>(code);
  } else if (code < 0x800) {
    text += static_cast<char>(0xC0 | (code >> 6));
    text += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    text += static_cast<char>(0xE0 | (code >> 12));
    text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    text += static_cast<char>(0xF0 | (code >> 18));
    text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (code & 0x3F));
  }
}

char32_t NextCodePoint(std::string_view text, size_t &index) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte(index);
  int extra = 0;
  char32_t code = 0;
  if (lead < 0x80) {
    ++index;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    extra = 1;
    code = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2;
    code = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3;
    code = lead & 0x07;
  } else {
    ++index;
    return 0xFFFD;
  }
  if (index + extra >= text.size()) {
    ++index;
    return 0xFFFD;
  }
  for (int i = 1; i <= extra; ++i) {
    if ((byte(index + i) & 0xC0) != 0x80) {
      ++index;
      return 0xFFFD;
    }
    code = (code << 6) | (byte(index + i) & 0x3F);
  }
  // Overlong forms (0xC0 0x80 for U+0000), surrogates and values past
  // U+10FFFF are malformed too: they would smuggle in characters, such as the
  // placeholder bytes 0x00 and 0x01, that the text does not plainly hold.
  static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
  if (code < kLeast[extra] || code > 0x10FFFF ||
      (code >= 0xD800 && code <= 0xDFFF)) {
    ++index;
    return 0xFFFD;
  }
  index += extra + 1;
  return code;
}

void AppendAnsiChar(std::string &text, uint8_t byte) {
  if (byte < 0x80 && AnsiTable()[byte] == byte)
    text += static_cast<char>(byte);
  else
    AppendUtf8(text, AnsiTable()[byte]);
}

std::string AnsiToText(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (char c : bytes)
    AppendAnsiChar(text, static_cast<uint8_t>(c));
  return text;
}

bool TextToAnsi(std::string_view text, std::string &bytes) {
  // Every character of the code page with its byte, sorted by character: a
  // table of 256 pairs and a binary search take less room in the program
  // image than a hash map.
  using Pair = std::pair<char32_t, uint8_t>;
  // Made again when the code page in effect changes.
  static std::array<Pair, 256> reverse{};
  static const char32_t *madeFrom = nullptr;
  const char32_t *table = AnsiTable();
  if (madeFrom != table) {
    for (int b = 0; b < 256; ++b)
      reverse[b] = {table[b], static_cast<uint8_t>(b)};
    // By character, then byte: the lowest byte comes first among
    // duplicates, and wins.
    std::sort(reverse.begin(), reverse.end());
    madeFrom = table;
  }
  bytes.clear();
  bytes.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const char32_t code = NextCodePoint(text, i);
    const auto found = std::lower_bound(
        reverse.begin(), reverse.end(), code,
        [](const Pair &pair, char32_t value) { return pair.first < value; });
    if (found == reverse.end() || found->first != code)
      return false;
    bytes += static_cast<char>(found->second);
  }
  return true;
}

} // namespace platform
