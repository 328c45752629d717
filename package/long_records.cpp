// The second script entry: records of any length.
#include "package/long_records.h"

#include "package/coding.h"

namespace package::script {

bool FitsRecord(const Record &record) {
  return record.source.size() <= kSourceSize &&
         record.target.size() <= kTargetSize;
}

bool EncodeLongRecord(const Record &record, std::string &out) {
  if (record.source.size() > kMaxLongField ||
      record.target.size() > kMaxLongField)
    return false;
  if (out.empty())
    out.assign(kLongMagic, kLongMagicSize);
  const size_t at = out.size();
  out.resize(at + kLongHeadSize);
  WriteLE(out, at + kLongOperationOffset, record.operation, 1);
  WriteLE(out, at + kLongSourceLengthOffset,
          static_cast<uint32_t>(record.source.size()), 2);
  WriteLE(out, at + kLongTargetLengthOffset,
          static_cast<uint32_t>(record.target.size()), 2);
  out += record.source;
  out += record.target;
  return true;
}

bool IsLongScript(std::string_view bytes) {
  return bytes.substr(0, kLongMagicSize) ==
         std::string_view(kLongMagic, kLongMagicSize);
}

std::optional<LongRecordAt> DecodeLongRecord(std::string_view bytes,
                                             size_t at) {
  if (at > bytes.size() || bytes.size() - at < kLongHeadSize)
    return std::nullopt;
  const size_t source = ReadLE(bytes, at + kLongSourceLengthOffset, 2);
  const size_t target = ReadLE(bytes, at + kLongTargetLengthOffset, 2);
  const size_t fields = at + kLongHeadSize;
  if (source > kMaxLongField || target > kMaxLongField ||
      bytes.size() - fields < source + target)
    return std::nullopt;
  LongRecordAt found;
  found.record.operation =
      static_cast<uint8_t>(bytes[at + kLongOperationOffset]);
  found.record.source = bytes.substr(fields, source);
  found.record.target = bytes.substr(fields + source, target);
  found.next = fields + source + target;
  return found;
}

} // namespace package::script
