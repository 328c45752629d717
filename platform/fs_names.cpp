// File-name rules shared by every backend: the case-insensitive order in
// which NTFS lists names, Windows wildcard matching with * and ?, and the
// names of devices.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/fs.h"

namespace platform::fs {

namespace {

// Simple upper-case mapping of one UTF-16 unit: ASCII, Latin-1, Latin
// Extended-A and the basic Cyrillic block; every other unit is its own
// upper case.
char16_t UpCase(char16_t c) {
  if (c < 0x80)
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
  if (c < 0x100) {
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
      return static_cast<char16_t>(c - 0x20);
    if (c == 0xFF)
      return 0x178; // ÿ -> Ÿ
    if (c == 0xB5)
      return 0x39C; // micro sign -> Greek capital mu
    return c;
  }
  if (c < 0x180) {
    // Pairs capital/small: odd small letters in 0100-0137 and 014A-0177,
    // even small letters in 0139-0148 and 0179-017E. 0130, 0131, 0138,
    // 0149 and 017F have no simple pair here.
    if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) ||
        (c >= 0x14A && c <= 0x177))
      return (c & 1) ? static_cast<char16_t>(c - 1) : c;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
      return (c & 1) ? c : static_cast<char16_t>(c - 1);
    return c;
  }
  if (c >= 0x430 && c <= 0x44F)
    return static_cast<char16_t>(c - 0x20); // а..я -> А..Я
  if (c >= 0x450 && c <= 0x45F)
    return static_cast<char16_t>(c - 0x50); // ѐ..џ -> Ѐ..Џ
  return c;
}

} // namespace

std::u16string FoldName(std::string_view text) {
  std::u16string units;
  units.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const char32_t code = NextCodePoint(text, i);
    if (code >= 0x10000 && code <= 0x10FFFF) {
      const char32_t v = code - 0x10000;
      units += static_cast<char16_t>(0xD800 + (v >> 10));
      units += static_cast<char16_t>(0xDC00 + (v & 0x3FF));
    } else if (code > 0x10FFFF) {
      units += u'\uFFFD';
    } else {
      units += UpCase(static_cast<char16_t>(code));
    }
  }
  return units;
}

namespace {

// Tokens of a pattern after the DOS conversion Windows applies before it
// matches: '?' always becomes a DOS question mark, '*' before '.' a DOS star,
// '.' before '?', '*' or the end a DOS dot.
enum class Token : uint8_t { Char, Star, DosStar, DosQm, DosDot };

struct PatternItem {
  Token kind;
  char16_t unit; // for Char
};

std::vector<PatternItem> Compile(const std::u16string &pattern) {
  std::vector<PatternItem> items;
  items.reserve(pattern.size());
  if (pattern == u"*.*") { // Windows lists every name for "*.*"
    items.push_back({Token::Star, 0});
    return items;
  }
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char16_t c = pattern[i];
    const bool last = i + 1 == pattern.size();
    const char16_t next = last ? 0 : pattern[i + 1];
    if (c == u'?')
      items.push_back({Token::DosQm, 0});
    else if (c == u'*')
      items.push_back({next == u'.' ? Token::DosStar : Token::Star, 0});
    else if (c == u'.' && (last || next == u'?' || next == u'*'))
      items.push_back({Token::DosDot, 0});
    else
      items.push_back({Token::Char, c});
  }
  return items;
}

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiUpper(a[i]) != AsciiUpper(b[i]))
      return false;
  return true;
}

} // namespace

bool IsDeviceName(std::string_view name) {
  std::string_view base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ')
    base.remove_suffix(1);
  for (const char *device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
    if (EqualsNoCase(base, device))
      return true;
  // COM and LPT with one digit, or with a superscript 1, 2 or 3 (UTF-8).
  if (base.size() < 4)
    return false;
  const std::string_view prefix = base.substr(0, 3);
  if (!EqualsNoCase(prefix, "COM") && !EqualsNoCase(prefix, "LPT"))
    return false;
  const std::string_view tail = base.substr(3);
  if (tail.size() == 1 && tail[0] >= '0' && tail[0] <= '9')
    return true;
  return tail == "\xC2\xB9" || tail == "\xC2\xB2" || tail == "\xC2\xB3";
}

int CompareNamesNoCase(const std::string &a, const std::string &b) {
  const std::u16string x = FoldName(a);
  const std::u16string y = FoldName(b);
  const size_t n = std::min(x.size(), y.size());
  for (size_t i = 0; i < n; ++i)
    if (x[i] != y[i])
      return x[i] < y[i] ? -1 : 1;
  if (x.size() == y.size())
    return 0;
  return x.size() < y.size() ? -1 : 1;
}

bool MatchesPattern(const std::string &name, const std::string &pattern) {
  const std::u16string text = FoldName(name);
  const std::vector<PatternItem> items = Compile(FoldName(pattern));
  const size_t count = items.size();
  const size_t length = text.size();

  // Position of the last '.' in the name: a DOS star never eats it.
  size_t lastDot = std::u16string::npos;
  for (size_t j = 0; j < length; ++j)
    if (text[j] == u'.')
      lastDot = j;

  // A set of pattern positions, advanced one name unit at a time: the work
  // is bounded by the name length times the pattern length.
  std::vector<char> states(count + 1, 0), next(count + 1, 0);
  states[0] = 1;
  for (size_t j = 0;; ++j) {
    const bool atEnd = j == length;
    const char16_t unit = atEnd ? 0 : text[j];
    // Moves that consume nothing, in pattern order so that they chain.
    for (size_t i = 0; i < count; ++i) {
      if (!states[i])
        continue;
      switch (items[i].kind) {
      case Token::Star:
      case Token::DosStar:
        states[i + 1] = 1;
        break;
      case Token::DosQm:
        if (atEnd || unit == u'.')
          states[i + 1] = 1;
        break;
      case Token::DosDot:
        if (atEnd)
          states[i + 1] = 1;
        break;
      case Token::Char:
        break;
      }
    }
    if (atEnd)
      return states[count] != 0;

    std::fill(next.begin(), next.end(), 0);
    bool any = false;
    for (size_t i = 0; i < count; ++i) {
      if (!states[i])
        continue;
      const PatternItem &item = items[i];
      switch (item.kind) {
      case Token::Star:
        next[i] = 1;
        break;
      case Token::DosStar:
        if (unit != u'.' || j != lastDot)
          next[i] = 1;
        break;
      case Token::DosQm:
        if (unit != u'.')
          next[i + 1] = 1;
        break;
      case Token::DosDot:
        if (unit == u'.')
          next[i + 1] = 1;
        break;
      case Token::Char:
        if (item.unit == unit)
          next[i + 1] = 1;
        break;
      }
    }
    for (size_t i = 0; i <= count && !any; ++i)
      any = next[i] != 0;
    if (!any)
      return false;
    states.swap(next);
  }
}

} // namespace platform::fs
