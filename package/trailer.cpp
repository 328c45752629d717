// The trailer and the package's length.
#include "package/trailer.h"

#include "package/coding.h"

namespace package {

int64_t PackageLength(const pe::ImageHeaders &headers, int64_t fileLength) {
  const auto table = pe::TableEndingAt(headers, fileLength);
  return table ? table->offset : fileLength;
}

int64_t PackageLength(const ByteSource &file) {
  return PackageLength(pe::ReadImageHeaders(file), file.Size());
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
