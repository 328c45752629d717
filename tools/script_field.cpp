// Path fields of a text install script: encoding, the inverse, the tail.
#include "tools/script_field.h"

#include <cstdio>

#include "package/script_record.h"
#include "platform/codepage.h"
#include "tools/code_page_choice.h"

namespace tools::script_text {

namespace {

namespace script = package::script;

constexpr char kTempWord[] = "{temp}";
constexpr char kAppWord[] = "{app}";
constexpr size_t kEscapeSize = 6; // "{0xNN}"

int HexDigit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

// The byte of "{0xNN}" at text[i], or -1 when none is there.
int EscapeAt(std::string_view text, size_t i) {
  if (text.substr(i, 3) != "{0x" || i + kEscapeSize > text.size() ||
      text[i + 5] != '}')
    return -1;
  const int high = HexDigit(text[i + 3]);
  const int low = HexDigit(text[i + 4]);
  return high < 0 || low < 0 ? -1 : high * 16 + low;
}

std::string Escape(uint8_t byte) {
  char text[kEscapeSize + 1];
  std::snprintf(text, sizeof text, "{0x%02X}", byte);
  return text;
}

std::string CodePoint(char32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(code));
  return text;
}

// A byte that a path word cannot hold as itself: controls, the quote and
// the brace of the syntax, and 0x98, which Windows-1251 leaves undefined.
bool NeedsEscape(uint8_t byte) {
  return byte < 0x20 || byte == 0x7F || byte == '"' || byte == '{' ||
         byte == 0x98;
}

} // namespace

bool EncodeField(const Word &word, const FieldSpec &spec, int lineNumber,
                 std::string &bytes, std::vector<Diagnostic> &errors) {
  const auto fail = [&](int column, std::string message) {
    errors.push_back({{lineNumber, column}, std::move(message)});
    return false;
  };
  const std::string_view text = word.text;
  bytes.clear();
  bool byteForByte = false;
  int column = word.contentColumn;
  int lastColumn = column; // of the character that gave the last byte
  for (size_t i = 0; i < text.size();) {
    lastColumn = column;
    size_t used = 0; // characters (all ASCII) of a {...} word
    if (text[i] == '{') {
      const int escaped = EscapeAt(text, i);
      if (text.substr(i, sizeof kTempWord - 1) == kTempWord) {
        bytes += script::kTempFolderMark;
        used = sizeof kTempWord - 1;
      } else if (text.substr(i, sizeof kAppWord - 1) == kAppWord) {
        bytes += script::kProgramFolderMark;
        used = sizeof kAppWord - 1;
      } else if (escaped >= 0) {
        bytes += static_cast<char>(escaped);
        byteForByte = true;
        used = kEscapeSize;
      } else {
        return fail(column, "'{' begins {temp}, {app} or {0xNN}; write "
                            "{0x7B} for the character itself");
      }
      i += used;
      column += static_cast<int>(used);
      continue;
    }
    const size_t from = i;
    const char32_t code = platform::NextCodePoint(text, i);
    ++column;
    if (code == 0x00 || code == 0x01)
      return fail(lastColumn,
                  code == 0 ? "a raw byte 0x00 in a path: write {temp} for "
                              "the temporary folder, or {0x00}"
                            : "a raw byte 0x01 in a path: write {app} for "
                              "the program's folder, or {0x01}");
    std::string encoded;
    if (code == 0xFFFD ||
        !platform::TextToAnsi(text.substr(from, i - from), encoded))
      return fail(lastColumn, "character " + CodePoint(code) +
                                  " is not in code page " +
                                  std::to_string(CodePageInEffect()));
    bytes += encoded;
  }
  // The run trims blanks (0x20) at both ends of a path; a field written
  // byte for byte means them.
  if (!byteForByte && !bytes.empty() && bytes.front() == ' ')
    return fail(word.contentColumn,
                std::string("leading blank in the ") + spec.name +
                    " path: the run trims it away (write {0x20} to keep it)");
  if (!byteForByte && !bytes.empty() && bytes.back() == ' ')
    return fail(lastColumn, std::string("trailing blank in the ") + spec.name +
                                " path: the run trims it away");
  if (bytes.size() > spec.size)
    return fail(word.column, std::string(spec.name) + " path is " +
                                 std::to_string(bytes.size()) +
                                 " bytes once encoded; a path holds at most " +
                                 std::to_string(spec.size));
  return true;
}

std::string PadField(std::string bytes, size_t size) {
  if (bytes.size() < size)
    bytes.append(size - bytes.size(), ' ');
  return bytes;
}

std::string FieldWord(std::string_view field) {
  while (!field.empty() && field.back() == ' ')
    field.remove_suffix(1);
  if (field.empty())
    return "\"\"";
  std::string word;
  bool blanks = false;
  for (size_t k = 0; k < field.size(); ++k) {
    const auto byte = static_cast<uint8_t>(field[k]);
    if (byte == static_cast<uint8_t>(script::kTempFolderMark)) {
      word += kTempWord;
    } else if (byte == static_cast<uint8_t>(script::kProgramFolderMark)) {
      word += kAppWord;
    } else if (NeedsEscape(byte) || (k == 0 && (byte == ' ' || byte == '#'))) {
      word += Escape(byte);
    } else if (byte == ' ') {
      blanks = true;
      word += ' ';
    } else {
      platform::AppendAnsiChar(word, byte);
    }
  }
  return blanks ? "\"" + word + "\"" : word;
}

std::string TailWord(std::string_view bytes) {
  std::string word;
  for (char c : bytes) {
    const auto byte = static_cast<uint8_t>(c);
    if (byte > 0x20 && byte < 0x7F && byte != '{' && byte != '"')
      word += c;
    else
      word += Escape(byte);
  }
  return word;
}

bool DecodeTail(std::string_view text, std::string &bytes) {
  bytes.clear();
  for (size_t i = 0; i < text.size();) {
    const auto byte = static_cast<uint8_t>(text[i]);
    if (byte == '{') {
      const int escaped = EscapeAt(text, i);
      if (escaped < 0)
        return false;
      bytes += static_cast<char>(escaped);
      i += kEscapeSize;
    } else if (byte > 0x20 && byte < 0x7F && byte != '"') {
      bytes += text[i++];
    } else {
      return false;
    }
  }
  return true;
}

} // namespace tools::script_text
