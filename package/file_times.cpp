// The entry of the payload's modification times.
#include "package/file_times.h"

#include <algorithm>

#include "package/checksums.h"
#include "package/coding.h"
#include "platform/codepage.h"
#include "platform/fs.h"

namespace package::times {

namespace {

[[noreturn]] void RaiseBad() {
  sums::RaiseDamaged(kTimesName, sums::kListDamaged);
}

bool NameBefore(const EntryTime &a, const EntryTime &b) {
  return platform::fs::CompareNamesNoCase(a.name, b.name) < 0;
}

} // namespace

bool FormatTimes(const std::vector<EntryTime> &list, std::string &out) {
  std::vector<EntryTime> sorted = list;
  std::sort(sorted.begin(), sorted.end(), NameBefore);
  out.assign(kTimesMagic, kTimesMagicSize);
  out.resize(kTimesMagicSize + kCountSize);
  WriteLE(out, kTimesMagicSize, static_cast<uint32_t>(sorted.size()), 4);
  for (size_t k = 0; k < sorted.size(); ++k) {
    const EntryTime &item = sorted[k];
    std::string name;
    if ((k > 0 && !NameBefore(sorted[k - 1], item)) ||
        !platform::TextToAnsi(item.name, name) || name.empty() ||
        name.size() > 0xFFFF)
      return false;
    size_t at = out.size();
    out.resize(at + kNameLengthSize);
    WriteLE(out, at, static_cast<uint32_t>(name.size()), 2);
    out += name;
    at = out.size();
    out.resize(at + kTimeSize);
    const auto seconds = static_cast<uint64_t>(item.time.seconds);
    WriteLE(out, at, static_cast<uint32_t>(seconds), 4);
    WriteLE(out, at + 4, static_cast<uint32_t>(seconds >> 32), 4);
    WriteLE(out, at + 8, item.time.nanoseconds, 4);
  }
  return true;
}

std::vector<EntryTime> ParseTimes(std::string_view bytes) {
  constexpr size_t kHead = kTimesMagicSize + kCountSize;
  if (bytes.size() < kHead ||
      bytes.substr(0, kTimesMagicSize) !=
          std::string_view(kTimesMagic, kTimesMagicSize))
    RaiseBad();
  const uint32_t count = ReadLE(bytes, kTimesMagicSize, 4);
  // Each record takes 15 bytes at least: a count beyond the entry is
  // damage, not a reason to reserve memory.
  if (count > (bytes.size() - kHead) / (kNameLengthSize + 1 + kTimeSize))
    RaiseBad();
  std::vector<EntryTime> list(count);
  size_t at = kHead;
  for (size_t k = 0; k < list.size(); ++k) {
    EntryTime &item = list[k];
    const size_t length =
        bytes.size() - at < kNameLengthSize ? 0 : ReadLE(bytes, at, 2);
    at += kNameLengthSize;
    if (length == 0 || bytes.size() - at < length + kTimeSize)
      RaiseBad();
    item.name = platform::AnsiToText(bytes.substr(at, length));
    at += length;
    item.time.seconds =
        static_cast<int64_t>(uint64_t{ReadLE(bytes, at, 4)} |
                             uint64_t{ReadLE(bytes, at + 4, 4)} << 32);
    item.time.nanoseconds = ReadLE(bytes, at + 8, 4);
    at += kTimeSize;
    if (item.time.nanoseconds >= kNanosecondsPerSecond ||
        (k > 0 && !NameBefore(list[k - 1], item)))
      RaiseBad();
  }
  if (at != bytes.size())
    RaiseBad();
  return list;
}

const EntryTime *FindTime(const std::vector<EntryTime> &list,
                          const std::string &name) {
  const auto found = std::lower_bound(
      list.begin(), list.end(), name,
      [](const EntryTime &item, const std::string &n) {
        return platform::fs::CompareNamesNoCase(item.name, n) < 0;
      });
  return found != list.end() &&
                 platform::fs::CompareNamesNoCase(found->name, name) == 0
             ? &*found
             : nullptr;
}

} // namespace package::times
