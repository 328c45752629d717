// Writing and reading the manifest.
#include "package/manifest.h"

#include <cstring>

#include "package/coding.h"
#include "package/crc32.h"
#include "package/pe_image.h"

namespace package {

namespace {

// A damaged manifest keeps its fault and where it is, nothing of its pairs.
ManifestState Damaged(Manifest &found, ManifestFault fault) {
  found.fault = fault;
  found.payload.clear();
  found.length = -1;
  return ManifestState::Damaged;
}

uint32_t CrcOf(std::string_view bytes) {
  return Crc32(0, reinterpret_cast<const uint8_t *>(bytes.data()),
               bytes.size());
}

} // namespace

std::optional<std::string_view> FindValue(const std::string &payload,
                                          const char *key) {
  std::optional<std::string_view> found;
  ForEachPair(payload, [&](std::string_view k, std::string_view value) {
    if (k == key)
      found = value;
  });
  return found;
}

bool FlagSet(const std::string &payload, const char *key) {
  return FindValue(payload, key) == "1";
}

int DeclaredCodePage(const std::string &payload) {
  const std::optional<std::string_view> value =
      FindValue(payload, kCodePageKey);
  if (!value)
    return 0;
  int64_t page = 0;
  if (value->size() > 5 || !ParseDecimal(*value, page))
    return -1;
  return static_cast<int>(page);
}

void AppendPair(std::string &payload, std::string_view key,
                std::string_view value) {
  payload += key;
  payload += '\0';
  payload += value;
  payload += '\0';
}

std::string EncodeManifest(std::string_view payload) {
  std::string bytes(kManifestMagic, kManifestMagicSize);
  bytes.resize(kManifestPayloadOffset);
  WriteLE(bytes, kManifestLengthOffset, static_cast<uint32_t>(payload.size()),
          4);
  WriteLE(bytes, kManifestCrcOffset, CrcOf(payload), 4);
  bytes += payload;
  return bytes;
}

namespace {

// found's state, read from found.offset on: the one object the reader
// fills on every path, returned without a move.
ManifestState ReadInto(const ByteSource &file, Manifest &found) {
  const int64_t offset = found.offset;
  // The magic, or as much of it as the file holds: a file that ends inside
  // it was cut there.
  const int64_t rest = file.Size() - offset;
  if (offset < 0 || rest <= 0)
    return ManifestState::Absent;
  uint8_t header[kManifestPayloadOffset];
  const auto magicBytes = static_cast<size_t>(
      rest < kManifestMagicSize ? rest : kManifestMagicSize);
  if (!file.Read(offset, header, magicBytes) ||
      std::memcmp(header, kManifestMagic, magicBytes) != 0)
    return ManifestState::Absent;
  if (rest < kManifestPayloadOffset ||
      !file.Read(offset, header, sizeof header))
    return Damaged(found, ManifestFault::Cut);
  found.payloadLength = ReadLE32(header + kManifestLengthOffset);
  if (found.payloadLength > kMaxManifestPayload)
    return Damaged(found, ManifestFault::TooLong);
  if (rest - kManifestPayloadOffset < found.payloadLength)
    return Damaged(found, ManifestFault::Cut);
  found.payload.resize(found.payloadLength);
  if (!file.Read(offset + kManifestPayloadOffset,
                 reinterpret_cast<uint8_t *>(found.payload.data()),
                 found.payload.size()))
    return Damaged(found, ManifestFault::Cut);
  if (CrcOf(found.payload) != ReadLE32(header + kManifestCrcOffset))
    return Damaged(found, ManifestFault::Crc);
  if (!ForEachPair(found.payload, [](std::string_view, std::string_view) {}))
    return Damaged(found, ManifestFault::NotPairs);
  if (const auto length = FindValue(found.payload, kLengthKey);
      length && !ParseDecimal(*length, found.length))
    return Damaged(found, ManifestFault::BadLength);
  return ManifestState::Intact;
}

} // namespace

Manifest ReadManifest(const ByteSource &file, int64_t offset) {
  Manifest found;
  found.offset = offset;
  found.state = ReadInto(file, found);
  return found;
}

Manifest FindManifest(const ByteSource &file) {
  const auto end = pe::ReadImageHeaders(file).end;
  if (!end)
    return {};
  return ReadManifest(file, *end);
}

} // namespace package
