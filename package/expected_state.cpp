// The expected state's text form.
#include "package/expected_state.h"

#include "package/checksums.h"
#include "package/coding.h"
#include "platform/decimal.h"

namespace package::expect {

namespace {

[[noreturn]] void RaiseBad() {
  sums::RaiseDamaged(kEntryName, sums::kListDamaged);
}

// A path the run may join to the program folder: not empty, not absolute,
// no "..", no line break.
bool UsablePath(std::string_view path) {
  if (path.empty() || path.front() == '\\' ||
      path.find_first_of("\r\n:") != std::string_view::npos)
    return false;
  while (!path.empty()) {
    const size_t end = path.find('\\');
    const std::string_view name = path.substr(0, end);
    if (name.empty() || name == "." || name == "..")
      return false;
    path.remove_prefix(end == std::string_view::npos ? path.size() : end + 1);
  }
  return true;
}

Expected ParseLine(std::string_view line) {
  Expected item;
  if (line.size() < 3 || line[1] != ' ')
    RaiseBad();
  std::string_view rest = line.substr(2);
  switch (line[0]) {
  case 'F': {
    const size_t first = rest.find(' ');
    const size_t second = rest.find(' ', first + 1);
    if (second == std::string_view::npos ||
        !ParseHex32(rest.substr(0, first), item.crc) ||
        !ParseDecimal(rest.substr(first + 1, second - first - 1), item.length))
      RaiseBad();
    item.kind = Kind::File;
    rest.remove_prefix(second + 1);
    break;
  }
  case 'D':
    item.kind = Kind::Folder;
    break;
  case '-':
    item.kind = Kind::Nothing;
    break;
  default:
    RaiseBad();
  }
  if (!UsablePath(rest))
    RaiseBad();
  item.path = rest;
  return item;
}

} // namespace

std::string FormatExpected(const std::vector<Expected> &list) {
  std::string text = std::string(kHeader) + "\r\n";
  for (const Expected &item : list) {
    switch (item.kind) {
    case Kind::File:
      text += "F ";
      AppendHex32(text, item.crc);
      text += ' ' + platform::Decimal(item.length) + ' ';
      break;
    case Kind::Folder:
      text += "D ";
      break;
    case Kind::Nothing:
      text += "- ";
      break;
    }
    text += item.path + "\r\n";
  }
  return text;
}

std::vector<Expected> ParseExpected(std::string_view text) {
  std::vector<Expected> list;
  bool header = true;
  while (!text.empty()) {
    const std::string_view line = TakeLine(text);
    if (header && line != kHeader)
      RaiseBad();
    if (!header)
      list.push_back(ParseLine(line));
    header = false;
  }
  if (header)
    RaiseBad();
  return list;
}

} // namespace package::expect
