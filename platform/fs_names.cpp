// File-name rules shared by every backend: the case-insensitive order in
// which NTFS lists names, Windows wildcard matching with * and ?, and the
// names of devices.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/env.h"
#include "platform/error.h"
#include "platform/fs.h"

namespace platform::fs {

namespace {

// The upper-case table of names, as NTFS keeps it: simple one-to-one
// mappings of the letters of every Windows single-byte code page (ASCII,
// Latin-1, Latin Extended-A, the few Extended-B letters those pages hold,
// Greek with its accented letters, Cyrillic with its extensions). A letter
// whose upper case does not map back to it stays as it is (the micro sign,
// dotless i, long s; sharp s has no single upper case), except that final
// sigma goes to capital sigma as NTFS has it. Every unit keeps the length of
// its UTF-8 form.
struct CaseRange {
  char16_t first; // small letters first..last
  char16_t last;
  int16_t shift; // added to a small letter, or one of the kinds of pairs
};

// Pairs, capital then small, whose small letters are the even or the odd
// units: shifts that no range has (six bytes a range, not eight).
constexpr int16_t kEvenSmall = 0;
constexpr int16_t kOddSmall = INT16_MAX;

constexpr CaseRange kCaseRanges[] = {
    {0x00E0, 0x00F6, -0x20},      // à..ö
    {0x00F8, 0x00FE, -0x20},      // ø..þ
    {0x00FF, 0x00FF, 0x79},       // ÿ -> Ÿ
    {0x0100, 0x012F, kOddSmall},  // Ā ā .. Į į
    {0x0132, 0x0137, kOddSmall},  // Ĳ ĳ .. Ķ ķ
    {0x0139, 0x0148, kEvenSmall}, // Ĺ ĺ .. Ň ň
    {0x014A, 0x0177, kOddSmall},  // Ŋ ŋ .. Ŷ ŷ
    {0x0179, 0x017E, kEvenSmall}, // Ź ź .. Ž ž
    {0x0192, 0x0192, -1},         // ƒ -> Ƒ
    {0x01A0, 0x01A5, kOddSmall},  // Ơ ơ .. Ƥ ƥ
    {0x01B0, 0x01B0, -1},         // ư -> Ư
    {0x03AC, 0x03AC, -0x26},      // ά -> Ά
    {0x03AD, 0x03AF, -0x25},      // έ ή ί
    {0x03B1, 0x03C1, -0x20},      // α..ρ
    {0x03C2, 0x03C2, -0x1F},      // ς -> Σ
    {0x03C3, 0x03CB, -0x20},      // σ..ϋ
    {0x03CC, 0x03CC, -0x40},      // ό -> Ό
    {0x03CD, 0x03CE, -0x3F},      // ύ ώ
    {0x03D8, 0x03EF, kOddSmall},  // Ϙ ϙ .. Ϯ ϯ
    {0x0430, 0x044F, -0x20},      // а..я
    {0x0450, 0x045F, -0x50},      // ѐ..џ
    {0x0460, 0x0481, kOddSmall},  // Ѡ ѡ .. Ҁ ҁ
    {0x048A, 0x04BF, kOddSmall},  // Ҋ ҋ .. Ҿ ҿ, Ґ ґ among them
    {0x04C1, 0x04CE, kEvenSmall}, // Ӂ ӂ .. Ӎ ӎ
    {0x04CF, 0x04CF, -0x0F},      // ӏ -> Ӏ
    {0x04D0, 0x052F, kOddSmall},  // Ӑ ӑ .. Ԯ ԯ
};

char16_t UpCase(char16_t c) {
  if (c < 0x80)
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
  for (const CaseRange &range : kCaseRanges) {
    if (c < range.first)
      return c; // the ranges are in order
    if (c > range.last)
      continue;
    if (range.shift != kEvenSmall && range.shift != kOddSmall)
      return static_cast<char16_t>(c + range.shift);
    const bool small = (c & 1) == (range.shift == kOddSmall ? 1 : 0);
    return small ? static_cast<char16_t>(c - 1) : c;
  }
  return c;
}

} // namespace

std::u16string FoldName(std::string_view text) {
  // Room for the most units text can make: a code point of four bytes
  // makes two, any other (a malformed byte too) one.
  std::u16string units(text.size(), u'\0');
  size_t n = 0;
  size_t i = 0;
  while (i < text.size()) {
    const char32_t code = NextCodePoint(text, i);
    if (code >= 0x10000 && code <= 0x10FFFF) {
      const char32_t v = code - 0x10000;
      units[n++] = static_cast<char16_t>(0xD800 + (v >> 10));
      units[n++] = static_cast<char16_t>(0xDC00 + (v & 0x3FF));
    } else if (code > 0x10FFFF) {
      units[n++] = u'\uFFFD';
    } else {
      units[n++] = UpCase(static_cast<char16_t>(code));
    }
  }
  units.erase(n);
  return units;
}

std::u16string FoldName(const std::string &text) {
  return FoldName(std::string_view(text));
}

std::u16string PathKey(const std::string &path, bool folder) {
  const size_t start = path.find_last_of("\\/") + 1; // npos + 1: 0
  bool named = false; // a last name Windows reads as one
  for (size_t at = start; at < path.size(); ++at) {
    const char c = path[at];
    if (c == '*' || c == '?') {
      named = false;
      break;
    }
    named |= c != '.' && c != ' ';
  }
  std::string text =
      named ? AbsolutePath(path)
            : AbsolutePath(path.substr(0, start)).append(path, start);
  while (folder && text.size() > 1 &&
         (text.back() == '\\' || text.back() == '/'))
    text.pop_back();
  return FoldName(text);
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
  if (pattern == u"*.*") // Windows lists every name for "*.*"
    return {{Token::Star, 0}};
  // One item for each unit: laid out at once, without a growth path.
  std::vector<PatternItem> items(pattern.size());
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char16_t c = pattern[i];
    const bool last = i + 1 == pattern.size();
    const char16_t next = last ? 0 : pattern[i + 1];
    if (c == u'?')
      items[i] = {Token::DosQm, 0};
    else if (c == u'*')
      items[i] = {next == u'.' ? Token::DosStar : Token::Star, 0};
    else if (c == u'.' && (last || next == u'?' || next == u'*'))
      items[i] = {Token::DosDot, 0};
    else
      items[i] = {Token::Char, c};
  }
  return items;
}

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }

// True when text is word, whatever the case of its ASCII letters; word is
// written in capitals.
bool IsWordNoCase(std::string_view text, const char *word) {
  size_t i = 0;
  for (; word[i] != '\0'; ++i)
    if (i == text.size() || AsciiUpper(text[i]) != word[i])
      return false;
  return i == text.size();
}

constexpr const char *kDevices[] = {"CON", "PRN",    "AUX",
                                    "NUL", "CONIN$", "CONOUT$"};

} // namespace

bool IsDeviceName(std::string_view name) {
  std::string_view base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ')
    base.remove_suffix(1);
  for (const char *device : kDevices)
    if (IsWordNoCase(base, device))
      return true;
  // COM and LPT with one digit, or with a superscript 1, 2 or 3 (UTF-8:
  // C2 B9, C2 B2, C2 B3).
  if (base.size() < 4 || (!IsWordNoCase(base.substr(0, 3), "COM") &&
                          !IsWordNoCase(base.substr(0, 3), "LPT")))
    return false;
  const std::string_view tail = base.substr(3);
  if (tail.size() == 1)
    return tail[0] >= '0' && tail[0] <= '9';
  return tail.size() == 2 && tail[0] == '\xC2' &&
         (tail[1] == '\xB9' || tail[1] == '\xB2' || tail[1] == '\xB3');
}

bool NamesDevice(std::string_view path) {
  return IsDeviceName(
      path.substr(path.find_last_of("\\/:") + 1)); // npos + 1: 0
}

namespace {

// Every control character, the byte 0 too, and what Windows reserves in a
// name; the colon last, as it is also a drive's and a stream's mark.
constexpr std::string_view
    kRefused("\0\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\x0D\x0E\x0F"
             "\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19\x1A\x1B\x1C\x1D\x1E\x1F"
             "<>\"|?*:",
             39);

} // namespace

bool HoldsRefusedCharacter(std::string_view path) {
  return path.substr(0, path.find('\0'))
             .find_first_of(kRefused.substr(1, kRefused.size() - 2)) !=
         std::string_view::npos;
}

bool IsBadNewName(std::string_view path) {
  while (path.ends_with('\\') || path.ends_with('/'))
    path.remove_suffix(1);
  const std::string_view name = path.substr(path.find_last_of("\\/") + 1);
  return name.find_first_of(kRefused) != std::string_view::npos ||
         IsDeviceName(name);
}

void CheckName(const std::string &path, bool toRead) {
  if (toRead ? NamesDevice(path) : IsBadNewName(path))
    Raise(err::kBadFileName, path);
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
  // Two sets in one block: the current one and the next.
  std::vector<char> sets(2 * (count + 1), 0);
  char *states = sets.data();
  char *next = states + count + 1;
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

    std::fill(next, next + count + 1, 0);
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
    std::swap(states, next);
  }
}

} // namespace platform::fs
