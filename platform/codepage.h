// The ANSI code page: text in files is one byte per character. In memory,
// text is UTF-8. The posix backend uses Windows-1251; the win32 backend uses
// the system's ANSI code page; a package may name a code page of its own.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Unicode code point of each of the 256 byte values of the code page in
// effect. One implementation per OS.
const char32_t *AnsiTable();

// The Windows single-byte code pages in which a package's names and script
// may be written, in the order `updpack build` tries them.
inline constexpr int kPackageCodePages[] = {1251, 1252, 1250, 1253, 1254,
                                            1255, 1256, 1257, 1258, 874};

// Text in files is read and written in codePage from now on (a package's
// own code page), or in the system's again for 0. False, with nothing
// changed, for a code page not in kPackageCodePages (or, on Windows, one the
// system lacks). One implementation per OS.
bool SetFileCodePage(int codePage);
// The code page SetFileCodePage set; 0 while it is the system's.
int FileCodePage();

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
