// Reading and writing the stream layout's pairs.
#include "package/stream_layout.h"

#include <optional>

#include "codec/lzma_stream.h"
#include "package/coding.h"
#include "package/manifest.h"

namespace package {

namespace {

bool ReadNumber(const std::string &payload, const char *key, int64_t &value) {
  const std::optional<std::string_view> text = FindValue(payload, key);
  return text && ParseDecimal(*text, value);
}

// "OFFSET:LENGTH,..." in ascending order within a stream of length bytes;
// an absent key is no range. One pass over the characters: the program
// image has no room to spare.
bool ReadRanges(const std::string &payload, const char *key, int64_t length,
                std::vector<codec::ByteRange> &ranges) {
  const std::string_view text = FindValue(payload, key).value_or("");
  uint64_t value[2] = {0, 0};
  size_t field = 0;
  int digits = 0;
  for (size_t k = 0; k < text.size() + (text.empty() ? 0 : 1); ++k) {
    const char c = k < text.size() ? text[k] : ',';
    if (c >= '0' && c <= '9' && digits < 18) {
      value[field] = value[field] * 10 + static_cast<uint64_t>(c - '0');
      ++digits;
    } else if (digits == 0 || c != (field == 0 ? ':' : ',')) {
      return false;
    } else {
      if (field == 1) {
        ranges.push_back({value[0], value[1]});
        value[0] = value[1] = 0;
      }
      field ^= 1;
      digits = 0;
    }
  }
  return codec::RangesInOrder(ranges.data(), ranges.size(),
                              static_cast<uint64_t>(length));
}

void AppendRanges(std::string &payload, const char *key,
                  const std::vector<codec::ByteRange> &ranges) {
  if (ranges.empty())
    return;
  std::string text;
  for (const codec::ByteRange &range : ranges) {
    if (!text.empty())
      text += ',';
    text += std::to_string(range.offset) + ':' + std::to_string(range.length);
  }
  AppendPair(payload, key, text);
}

} // namespace

int64_t StreamLayout::StoredLength() const {
  int64_t sum = 0;
  for (const codec::ByteRange &range : stored)
    sum += static_cast<int64_t>(range.length);
  return sum;
}

bool IsStreamLayoutKey(std::string_view key) {
  for (const char *known : {kCodecKey, kStreamKey, kRawKey, kRawCrcKey, kX86Key,
                            kStoredKey, kRestartKey})
    if (key == known)
      return true;
  return false;
}

bool ReadStreamLayout(const std::string &payload, StreamLayout &layout) {
  layout.compressed = false;
  layout.x86.clear();
  layout.stored.clear();
  layout.restart = 0;
  const std::optional<std::string_view> codec = FindValue(payload, kCodecKey);
  if (!codec || *codec == kCodecStored)
    return true;
  if (*codec != kCodecLzma)
    return false;
  layout.compressed = true;
  int64_t crc = 0;
  if (!ReadNumber(payload, kStreamKey, layout.streamLength) ||
      !ReadNumber(payload, kRawKey, layout.rawLength) ||
      !ReadNumber(payload, kRawCrcKey, crc) || crc > UINT32_MAX ||
      layout.streamLength < static_cast<int64_t>(codec::kPropertiesSize) ||
      layout.rawLength > kMaxRawArchive)
    return false;
  layout.rawCrc = static_cast<uint32_t>(crc);
  if (!ReadRanges(payload, kStoredKey, layout.rawLength, layout.stored) ||
      !ReadRanges(payload, kX86Key, layout.rawLength, layout.x86))
    return false;
  // A restart that no writer makes (past the stream's end, unreadable)
  // leaves a stream that does not decode.
  ReadNumber(payload, kRestartKey, layout.restart);
  return true;
}

bool RangesDisjoint(const StreamLayout &layout) {
  const std::vector<codec::ByteRange> &a = layout.stored;
  const std::vector<codec::ByteRange> &b = layout.x86;
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (a[i].length == 0 || a[i].offset + a[i].length <= b[j].offset)
      ++i;
    else if (b[j].length == 0 || b[j].offset + b[j].length <= a[i].offset)
      ++j;
    else
      return false;
  }
  return true;
}

void AppendStreamLayout(std::string &payload, const StreamLayout &layout) {
  AppendPair(payload, kCodecKey, kCodecLzma);
  AppendPair(payload, kStreamKey, std::to_string(layout.streamLength));
  AppendPair(payload, kRawKey, std::to_string(layout.rawLength));
  AppendPair(payload, kRawCrcKey, std::to_string(layout.rawCrc));
  AppendRanges(payload, kStoredKey, layout.stored);
  AppendRanges(payload, kX86Key, layout.x86);
  if (layout.restart > 0)
    AppendPair(payload, kRestartKey, std::to_string(layout.restart));
}

} // namespace package
