// Entry texts, the rule of trailing dots and blanks, and the header and
// catalog of PACK1 archives.
#include "archive/catalog.h"

#include <climits>

#include "archive/arch_errors.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/files.h"

namespace archive {

namespace err = platform::err;

// ---- Entry texts ----------------------------------------------------------

void EntryParser::Reset() {
  empty_ = true;
  fields_ = 1;
  nameTooLong_ = false;
  name_.clear();
  start_.Reset();
  end_.Reset();
}

void EntryParser::Add(char c) {
  empty_ = false;
  if (c == kFieldSeparator) {
    if (fields_ < INT32_MAX)
      ++fields_;
    return;
  }
  switch (fields_) {
  case 1:
    if (name_.size() < kMaxNameBytes)
      name_ += c;
    else
      nameTooLong_ = true;
    break;
  case 2:
    start_.Add(c);
    break;
  case 3:
    end_.Add(c);
    break;
  default: // further fields are ignored
    break;
  }
}

void EntryParser::AddAnsi(uint8_t byte) {
  std::string text; // one character: short enough to need no allocation
  platform::AppendAnsiChar(text, byte);
  AddText(text);
}

void EntryParser::Number::Add(char c) {
  if (invalid)
    return;
  if (c >= '0' && c <= '9') {
    digits = true;
    if (value <= INT64_C(0x100000000))
      value = value * 10 + (c - '0');
  } else if ((c == '+' || c == '-') && !sign && !digits) {
    sign = true;
    negative = c == '-';
  } else {
    invalid = true;
  }
}

CatalogEntry ParseEntry(std::string_view text) {
  EntryParser parser;
  parser.AddText(text);
  CatalogEntry entry;
  entry.name = parser.Name();
  entry.end = parser.End();
  entry.start = parser.Start();
  return entry;
}

int32_t ParseNumber(std::string_view field) {
  if (field.find(kFieldSeparator) != std::string_view::npos)
    platform::Raise(err::kTypeMismatch,
                    platform::MsgText(platform::Msg::NotANumber));
  EntryParser parser;
  parser.Add(kFieldSeparator);
  parser.AddText(field);
  return parser.Start();
}

namespace {

// How much of text is left without the dots and blanks that end it: the
// one loop of the rule, over bytes rather than a view, which the program
// image passes by a copy on the stack.
size_t KeptLength(const char *text, size_t size) {
  while (size > 0 && (text[size - 1] == '.' || text[size - 1] == ' '))
    --size;
  return size;
}

} // namespace

std::string_view WithoutTrailingDotsAndSpaces(std::string_view name) {
  return {name.data(), KeptLength(name.data(), name.size())};
}

size_t LengthAsRead(std::string_view path) {
  size_t start = path.size(); // of the last name
  while (start > 0 && path[start - 1] != '\\' && path[start - 1] != '/')
    --start;
  const size_t read = KeptLength(path.data(), path.size());
  return read > start ? read : path.size();
}

// ---- Header and catalog ---------------------------------------------------

CatalogInfo ReadCatalogInfo(int16_t number, int32_t first, int32_t length,
                            CatalogObserver *observer) {
  namespace files = platform::files;
  CatalogInfo info;
  info.first = first;
  info.length = length;
  int32_t position = first;
  const auto more = [&] { return position <= length; };
  const auto next = [&] { return files::GetAt(number, position++); };

  for (int32_t i = 0; i < kSignatureSize; ++i)
    if (!more() || next() != static_cast<uint8_t>(kSignature[i]))
      RaiseArchiveError(kErrNotArchive, kMsgNotArchive);
  if (!more())
    RaiseArchiveError(kErrNoCatalog, kMsgNoCatalog);
  info.compression = next();
  if (observer)
    observer->Method(info.compression);
  if (!more() || next() != kCatalogMark)
    RaiseArchiveError(kErrNoCatalog, kMsgNoCatalog);

  // The catalog runs up to the first 0x01, which must come before the end.
  info.catalogStart = position;
  if (!more())
    RaiseArchiveError(kErrCatalogUnterminated, kMsgCatalogUnterminated);
  uint8_t byte = next();
  while (byte != kCatalogMark) {
    if (!more())
      RaiseArchiveError(kErrCatalogUnterminated, kMsgCatalogUnterminated);
    byte = next();
    if (observer)
      observer->CatalogByte(position - 1);
  }
  info.catalogEnd = position - 1;
  info.dataStart = position;
  return info;
}

CatalogInfo ReadCatalogInfo(int16_t number, CatalogObserver *observer) {
  namespace files = platform::files;
  const int32_t length = files::Lof(number);
  return ReadCatalogInfo(number, files::Seek(number), length, observer);
}

bool CatalogReader::Next(EntryParser &parser) {
  parser.Reset();
  while (cursor_ < end_) {
    const uint8_t byte = platform::files::GetAt(number_, cursor_++);
    if (byte == kEntryEnd)
      return true;
    parser.AddAnsi(byte);
  }
  return false; // text after the last 0x02 is dropped
}

} // namespace archive
