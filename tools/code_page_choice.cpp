// Choosing the code page of a package.
#include "tools/code_page_choice.h"

#include <algorithm>
#include <functional>
#include <iterator>

#include "platform/codepage.h"
#include "tools/cli.h"

namespace tools {

namespace {

// The bytes that Windows' tables of a page map to the private use area.
struct PrivateUse {
  int page;
  std::string_view bytes;
};
constexpr PrivateUse kPrivateUse[] = {
    {1253, "\xAA\xD2\xFF"},
    {1255, "\xD9\xDA\xDB\xDC\xDD\xDE\xDF\xFB\xFC\xFF"},
    {1257, "\xA1\xA5"},
    {874, "\xDB\xDC\xDD\xDE\xFC\xFD\xFE\xFF"},
};

// The first text the code page in effect cannot write, or nullptr.
const std::string *FirstUnwritable(const std::vector<std::string> &texts) {
  std::string bytes;
  for (const std::string &text : texts)
    if (!TextToPage(text, bytes))
      return &text;
  return nullptr;
}

bool Known(int page) {
  return std::find(std::begin(platform::kPackageCodePages),
                   std::end(platform::kPackageCodePages),
                   page) != std::end(platform::kPackageCodePages);
}

} // namespace

bool TextToPage(std::string_view text, std::string &bytes) {
  if (!platform::TextToAnsi(text, bytes))
    return false;
  for (const PrivateUse &unassigned : kPrivateUse)
    if (unassigned.page == platform::FileCodePage())
      return bytes.find_first_of(unassigned.bytes) == std::string::npos;
  return true;
}

int CodePageInEffect() {
  const int page = platform::FileCodePage();
  return page != 0 ? page : platform::kPackageCodePages[0];
}

std::string CodePageList() {
  std::string list;
  for (const int page : platform::kPackageCodePages)
    list += (list.empty() ? "" : ", ") + std::to_string(page);
  return list;
}

int ParseCodePageOption(const std::string &value) {
  const bool digits =
      !value.empty() && value.size() <= 5 &&
      value.find_first_not_of("0123456789") == std::string::npos;
  if (!digits || !Known(std::stoi(value)))
    throw UsageError("--codepage takes one of " + CodePageList() + ", not \"" +
                     value + "\"");
  return std::stoi(value);
}

int ChooseCodePage(const std::vector<std::string> &texts, int asked) {
  if (asked != 0) {
    platform::SetFileCodePage(asked);
    if (const std::string *text = FirstUnwritable(texts))
      throw ToolError("\"" + *text + "\" cannot be written in code page " +
                      std::to_string(asked));
    return asked;
  }
  // Not found: name the text that stops the page which gets furthest
  // through the list.
  const std::string *culprit = nullptr;
  for (const int page : platform::kPackageCodePages) {
    platform::SetFileCodePage(page);
    const std::string *text = FirstUnwritable(texts);
    if (!text)
      return page;
    if (!culprit || std::less<>()(culprit, text))
      culprit = text;
  }
  platform::SetFileCodePage(platform::kPackageCodePages[0]);
  throw ToolError("\"" + *culprit +
                  "\" is in no code page that holds the names and paths "
                  "before it (tried " +
                  CodePageList() + "); give --codepage N to choose one");
}

} // namespace tools
