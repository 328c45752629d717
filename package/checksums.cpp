// The checksum entry's text form.
#include "package/checksums.h"

#include "archive/catalog.h"
#include "package/coding.h"
#include "platform/codepage.h"
#include "platform/decimal.h"
#include "platform/error.h"
#include "platform/fs.h"

namespace package::sums {

namespace {

// The list itself is damaged: its line is not as written.
[[noreturn]] void RaiseBadList() { RaiseDamaged(kEntryName, kListDamaged); }

} // namespace

void RaiseDamaged(std::string_view name, platform::Msg what) {
  throw platform::Error(kErrPackageDamaged, platform::Message(what, {name}));
}

void RaiseDamaged(const char *name, platform::Msg what) {
  RaiseDamaged(std::string_view(name), what);
}

std::string FormatSums(const std::vector<Sum> &sums) {
  std::string text = std::string(kHeader) + "\r\n";
  for (const Sum &sum : sums) {
    AppendHex32(text, sum.crc);
    text += ' ' + platform::Decimal(sum.length) + ' ';
    std::string name;
    if (!platform::TextToAnsi(sum.name, name))
      platform::Raise(platform::err::kOverflow,
                      "символ имени файла вне кодовой страницы: " + sum.name);
    text += name + "\r\n";
  }
  return text;
}

void CheckSumsHeader(std::string_view line) {
  if (line != kHeader)
    RaiseBadList();
}

Sum ParseSumLine(std::string_view line) {
  const size_t first = line.find(' ');
  const size_t second =
      first == std::string_view::npos ? first : line.find(' ', first + 1);
  Sum sum;
  if (second == std::string_view::npos ||
      !ParseHex32(line.substr(0, first), sum.crc) ||
      !ParseDecimal(line.substr(first + 1, second - first - 1), sum.length))
    RaiseBadList();
  sum.name = platform::AnsiToText(line.substr(second + 1));
  // Only names the extraction writes as they are: nothing outside the
  // folder, no device, not the list itself.
  if (archive::HasReservedChars(sum.name) ||
      !archive::IsSafeEntryName(sum.name) ||
      platform::fs::CompareNamesNoCase(sum.name, kEntryName) == 0)
    RaiseBadList();
  return sum;
}

std::vector<Sum> ParseSums(std::string_view text) {
  // The run takes a CR as the end of a line only before its LF: the last
  // line keeps one that ends the list, and no such line reads.
  if (!text.empty() && text.back() == '\r')
    RaiseBadList();
  std::vector<Sum> sums;
  bool header = true;
  while (!text.empty()) {
    const std::string_view line = TakeLine(text);
    if (header)
      CheckSumsHeader(line);
    else
      sums.push_back(ParseSumLine(line));
    header = false;
  }
  if (header)
    CheckSumsHeader({});
  return sums;
}

} // namespace package::sums
