// The trailer and the package's length.
#include "package/trailer.h"

#include <cstring>

#include "archive/catalog.h"
#include "package/coding.h"

namespace package {

int64_t PackageLength(const ByteSource &file, const pe::ImageHeaders &headers) {
  const auto table = pe::TableEndingAt(headers, file.Size());
  if (!table)
    return file.Size();
  // Signing tools start the table on a multiple of 8, after up to 7 zero
  // bytes; a package made to any length has its trailer before them. The
  // trailer is the one that holds the position of an archive's signature.
  const int64_t end = table->offset;
  for (int64_t length = end; length > end - 8; --length) {
    const auto start = ReadArchiveStart(file, length);
    uint8_t bytes[archive::kSignatureSize];
    if (start && *start >= 1 &&
        int64_t{*start} - 1 + archive::kSignatureSize <=
            length - kTrailerSize &&
        file.Read(*start - 1, bytes, sizeof bytes) &&
        std::memcmp(bytes, archive::kSignature, sizeof bytes) == 0)
      return length;
    if (!file.Read(length - 1, bytes, 1) || bytes[0] != 0)
      break;
  }
  return end;
}

int64_t PackageLength(const ByteSource &file) {
  return PackageLength(file, pe::ReadImageHeaders(file));
}

std::optional<int32_t> ReadArchiveStart(const ByteSource &file,
                                        int64_t packageLength) {
  uint8_t bytes[kTrailerSize];
  if (packageLength < kTrailerSize ||
      !file.Read(packageLength - kTrailerSize, bytes, sizeof bytes))
    return std::nullopt;
  return DecodeTrailer(bytes);
}

int32_t DecodeTrailer(const uint8_t bytes[kTrailerSize]) {
  return static_cast<int32_t>(ReadLE32(bytes));
}

std::array<uint8_t, kTrailerSize> EncodeTrailer(int32_t archiveStart) {
  std::array<uint8_t, kTrailerSize> bytes{};
  WriteLE32(bytes.data(), static_cast<uint32_t>(archiveStart));
  return bytes;
}

} // namespace package
