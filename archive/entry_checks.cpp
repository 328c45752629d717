// The checks of an entry's name and range, and the archive's own errors:
// once per entry, so built for size where the catalog's reading, once per
// byte, is built for speed (catalog.cpp).
#include <climits>

#include "archive/arch_errors.h"
#include "archive/catalog.h"
#include "platform/decimal.h"
#include "platform/error.h"
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

namespace {

bool IsReserved(char c) {
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
    return true;
  default:
    return false;
  }
}

} // namespace

std::string RemoveReservedChars(std::string_view name) {
  std::string clean;
  clean.reserve(name.size());
  for (char c : name)
    if (!IsReserved(c))
      clean += c;
  return clean;
}

bool HasReservedChars(std::string_view name) {
  for (char c : name)
    if (IsReserved(c))
      return true;
  return false;
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
  for (char c : name.substr(0, 256)) { // control characters shown as codes
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      shown += "\\x";
      shown += "0123456789ABCDEF"[(c >> 4) & 0xF];
      c = "0123456789ABCDEF"[c & 0xF];
    }
    shown += c;
  }
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

} // namespace archive
