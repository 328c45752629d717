// The entry of the payload's modification times.
#include "package/file_times.h"

#include "package/checksums.h"
#include "package/coding.h"

namespace package::times {

namespace {

[[noreturn]] void RaiseBad() {
  sums::RaiseDamaged(kTimesName, sums::kListDamaged);
}

// count bytes at offset, or the entry is damaged.
std::string Take(const ByteSource &source, int64_t &offset, size_t count) {
  std::string bytes(count, '\0');
  if (count > 0 &&
      !source.Read(offset, reinterpret_cast<uint8_t *>(bytes.data()), count))
    RaiseBad();
  offset += static_cast<int64_t>(count);
  return bytes;
}

} // namespace

bool FormatTimes(const std::vector<EntryTime> &list, std::string &out) {
  out.assign(kTimesMagic, kTimesMagicSize);
  out.resize(kTimesMagicSize + kCountSize);
  WriteLE(out, kTimesMagicSize, static_cast<uint32_t>(list.size()), 4);
  for (const EntryTime &item : list) {
    if (item.name.empty() || item.name.size() > 0xFFFF)
      return false;
    size_t at = out.size();
    out.resize(at + kNameLengthSize);
    WriteLE(out, at, static_cast<uint32_t>(item.name.size()), 2);
    out += item.name;
    at = out.size();
    out.resize(at + kTimeSize);
    const auto seconds = static_cast<uint64_t>(item.seconds);
    WriteLE(out, at, static_cast<uint32_t>(seconds), 4);
    WriteLE(out, at + 4, static_cast<uint32_t>(seconds >> 32), 4);
    WriteLE(out, at + 8, item.nanoseconds, 4);
  }
  return true;
}

std::vector<EntryTime> ParseTimes(const ByteSource &source) {
  int64_t at = 0;
  if (Take(source, at, kTimesMagicSize) !=
      std::string_view(kTimesMagic, kTimesMagicSize))
    RaiseBad();
  const uint32_t count = ReadLE(Take(source, at, kCountSize), 0, 4);
  // Each record takes 15 bytes at least: a count beyond the entry is
  // damage, not a reason to reserve memory.
  if (static_cast<int64_t>(count) >
      (source.Size() - at) /
          static_cast<int64_t>(kNameLengthSize + 1 + kTimeSize))
    RaiseBad();
  std::vector<EntryTime> list(count);
  for (EntryTime &item : list) {
    const size_t length = ReadLE(Take(source, at, kNameLengthSize), 0, 2);
    if (length == 0)
      RaiseBad();
    item.name = Take(source, at, length);
    const std::string time = Take(source, at, kTimeSize);
    item.seconds = static_cast<int64_t>(uint64_t{ReadLE(time, 0, 4)} |
                                        uint64_t{ReadLE(time, 4, 4)} << 32);
    item.nanoseconds = ReadLE(time, 8, 4);
    if (item.nanoseconds >= kNanosecondsPerSecond)
      RaiseBad();
  }
  if (at != source.Size())
    RaiseBad();
  return list;
}

} // namespace package::times
