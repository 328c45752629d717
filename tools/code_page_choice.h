// The single-byte code page a package's names and script are written in:
// the first of platform::kPackageCodePages that holds every one of them, or
// the one the author asks for.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tools {

// The code page for texts (UTF-8 names and paths), put into effect
// (platform::SetFileCodePage) for everything written from then on. asked:
// 0 to pick the first page that holds every text, else that page, which
// must be one of kPackageCodePages and hold them all. Raises ToolError
// naming a text that no single page holds and the pages tried.
int ChooseCodePage(const std::vector<std::string> &texts, int asked);

// The value of --codepage: one of kPackageCodePages; raises UsageError for
// anything else.
int ParseCodePageOption(const std::string &value);

// TextToAnsi in the code page in effect, but false also for a character
// that the page leaves unassigned and that stands here for the byte of its
// own value (874's 0xDB, 1255's 0xDF are Û and ß here): Windows reads those
// bytes as characters of the private use area, so the name would be
// another one there.
bool TextToPage(std::string_view text, std::string &bytes);

// The code page text in files is written in now: the package's once
// chosen, else the first of kPackageCodePages (the system's, here).
int CodePageInEffect();

// "1251, 1252, ..." for messages and help.
std::string CodePageList();

} // namespace tools
