// The ANSI code page: text in files is one byte per character. In memory,
// text is UTF-8. The posix backend uses Windows-1251; the win32 backend uses
// the system's ANSI code page.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Unicode code point of each of the 256 byte values of the code page.
// One implementation per OS.
const char32_t *AnsiTable();

// Appends the character of one code-page byte to UTF-8 text.
void AppendAnsiChar(std::string &text, uint8_t byte);
std::string AnsiToText(std::string_view bytes);
// Converts UTF-8 text to code-page bytes. Returns false (bytes then holds
// what was converted so far) when a character has no single-byte code.
bool TextToAnsi(std::string_view text, std::string &bytes);

// Appends one code point as UTF-8.
void AppendUtf8(std::string &text, char32_t code);
// Decodes the code point at text[index] and moves index past it; a
// malformed sequence yields U+FFFD and one byte.
char32_t NextCodePoint(std::string_view text, size_t &index);

} // namespace platform
