// Entry texts, entry names and the header and catalog of PACK1 archives.
#include "archive/catalog.h"

#include <climits>

#include "archive/arch_errors.h"
#include "platform/codepage.h"
#include "platform/decimal.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/fs.h"

namespace archive {

namespace err = platform::err;

void RaiseArchiveError(int32_t number, platform::Msg message,
                       std::string_view detail) {
  std::string text = platform::MsgText(message);
  if (!detail.empty()) {
    text += ": ";
    text += detail;
  }
  throw platform::Error(number, std::move(text));
}

void RaiseAboutEntry(int32_t number, platform::Msg message,
                     std::string_view name) {
  std::string quoted = "\xC2\xAB";
  quoted += name;
  quoted.append("\xC2\xBB", 2);
  RaiseArchiveError(number, message, quoted);
}

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

const std::string &EntryParser::Name() const {
  if (empty_)
    platform::Raise(err::kSubscript,
                    platform::MsgText(platform::Msg::EmptyEntry));
  if (nameTooLong_)
    RaiseArchiveError(kErrBadEntryName, kMsgBadEntryName,
                      platform::Message(platform::Msg::NameTooLong,
                                        {platform::Decimal(kMaxNameBytes)}));
  return name_;
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

int32_t EntryParser::Number::Value(int32_t fieldCount, int32_t field) const {
  if (fieldCount < field)
    platform::Raise(err::kSubscript,
                    platform::MsgText(platform::Msg::FewerFields));
  if (invalid || !digits)
    platform::Raise(err::kTypeMismatch,
                    platform::MsgText(platform::Msg::NotANumber));
  const int64_t signedValue = negative ? -value : value;
  if (signedValue < INT32_MIN || signedValue > INT32_MAX)
    platform::Raise(err::kOverflow,
                    platform::MsgText(platform::Msg::NumberTooLarge));
  return static_cast<int32_t>(signedValue);
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

// ---- Entry names ----------------------------------------------------------

std::string RemoveReservedChars(std::string_view name) {
  std::string clean;
  clean.reserve(name.size());
  for (char c : name) {
    switch (c) {
    case '<':
    case '>':
    case '*':
    case '?':
    case ':':
    case '/':
    case '\\':
    case '|':
    case '"':
      break;
    default:
      clean += c;
    }
  }
  return clean;
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

bool IsSafeEntryName(std::string_view name) {
  // "." and ".." lose every dot: a name that ends up empty names the folder
  // itself or its parent.
  if (WithoutTrailingDotsAndSpaces(name).empty() || name.size() > kMaxNameBytes)
    return false;
  for (char c : name)
    if (static_cast<unsigned char>(c) < 0x20)
      return false;
  return !platform::fs::IsDeviceName(name);
}

void CheckStorableName(const std::string &name) {
  if (name.find_first_of(std::string("?\x01\x02", 3)) != std::string::npos ||
      !IsSafeEntryName(RemoveReservedChars(name)))
    RaiseArchiveError(kErrNameNotStorable, kMsgNameNotStorable, name);
}

void CheckEntryName(std::string_view name) {
  if (IsSafeEntryName(name))
    return;
  std::string shown;
  for (char c : name.substr(0, 256)) // control characters shown as codes
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
      shown += "\\x" + std::string(1, "0123456789ABCDEF"[(c >> 4) & 0xF]) +
               "0123456789ABCDEF"[c & 0xF];
    else
      shown += c;
  RaiseAboutEntry(kErrBadEntryName, kMsgBadEntryName, shown);
}

// ---- Ranges ---------------------------------------------------------------

namespace {
int32_t Checked(int64_t value, platform::Msg what) {
  if (value < INT32_MIN || value > INT32_MAX)
    platform::Raise(err::kOverflow, platform::MsgText(what));
  return static_cast<int32_t>(value);
}
} // namespace

int32_t FirstPosition(int32_t start, int32_t dataStart) {
  return Checked(int64_t{start} + dataStart - 1,
                 platform::Msg::StartOutOfRange);
}

int32_t LastPosition(int32_t end, int32_t dataStart) {
  return Checked(int64_t{end} + dataStart - 2, platform::Msg::EndOutOfRange);
}

void CheckRangeInside(std::string_view name, int32_t first, int32_t last,
                      int32_t lowest, int32_t highest) {
  if (first > last)
    return; // an empty file reads nothing
  if (first < lowest || last > highest)
    RaiseArchiveError(
        kErrEntryPastEnd, kMsgEntryPastEnd,
        platform::Message(platform::Msg::RangeOutside,
                          {name.substr(0, 256), platform::Decimal(first),
                           platform::Decimal(last), platform::Decimal(lowest),
                           platform::Decimal(highest)}));
}

void CountEntryBytes(std::string_view name, int32_t first, int32_t last,
                     int64_t &held, int64_t bound) {
  if (first > last)
    return;
  held += int64_t{last} - first + 1;
  if (bound >= 0 && held > bound)
    RaiseAboutEntry(kErrEntryPastEnd, kMsgEntryPastEnd, name.substr(0, 256));
}

EntryRange CheckEntryRange(const CatalogEntry &entry, int32_t dataStart,
                           int32_t lowest, int32_t highest) {
  EntryRange range;
  range.last = LastPosition(entry.end, dataStart);
  range.first = FirstPosition(entry.start, dataStart);
  CheckRangeInside(entry.name, range.first, range.last, lowest, highest);
  return range;
}

EntryRange CheckEntryRange(const EntryParser &parser, std::string_view name,
                           int32_t dataStart, int32_t lowest, int32_t highest) {
  EntryRange range;
  range.last = LastPosition(parser.End(), dataStart);
  range.first = FirstPosition(parser.Start(), dataStart);
  CheckRangeInside(name, range.first, range.last, lowest, highest);
  return range;
}

std::string CheckedEntryName(const EntryParser &parser) {
  std::string name = RemoveReservedChars(parser.Name());
  CheckEntryName(name);
  return name;
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
