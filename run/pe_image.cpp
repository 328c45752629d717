// Finding the certificate table of a signed PE image.
#include "run/pe_image.h"

namespace pe {

namespace {

// Little-endian fields read through read; false when out of the file.
bool Read16(const ReadAt &read, int64_t offset, uint16_t &value) {
  uint8_t b[2];
  if (offset < 0 || !read(offset, b, 2))
    return false;
  value = static_cast<uint16_t>(b[0] | b[1] << 8);
  return true;
}

bool Read32(const ReadAt &read, int64_t offset, uint32_t &value) {
  uint8_t b[4];
  if (offset < 0 || !read(offset, b, 4))
    return false;
  value = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
          static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
  return true;
}

} // namespace

std::optional<CertificateTable> FindCertificateTable(int64_t length,
                                                     const ReadAt &read) {
  uint16_t mz = 0;
  uint32_t lfanew = 0;
  uint32_t signature = 0;
  if (!Read16(read, 0, mz) || mz != 0x5A4D || // "MZ"
      !Read32(read, kDosLfanewOffset, lfanew) ||
      !Read32(read, lfanew, signature) || signature != kPeSignature)
    return std::nullopt;
  const int64_t coff = int64_t{lfanew} + 4;
  const int64_t optional = coff + kCoffHeaderSize;
  uint16_t optionalSize = 0;
  uint16_t magic = 0;
  if (!Read16(read, coff + kSizeOfOptionalHeaderOffset, optionalSize) ||
      !Read16(read, optional, magic))
    return std::nullopt;
  const bool plus = magic == kPe32PlusMagic;
  if (!plus && magic != kPe32Magic)
    return std::nullopt;
  uint32_t directories = 0;
  if (!Read32(read,
              optional + (plus ? kNumberOfRvaAndSizesPe32Plus
                               : kNumberOfRvaAndSizesPe32),
              directories) ||
      directories <= kDirectoryEntrySecurity)
    return std::nullopt;
  const int64_t entry =
      (plus ? kDataDirectoriesPe32Plus : kDataDirectoriesPe32) +
      kDirectoryEntrySecurity * kDataDirectorySize;
  if (entry + kDataDirectorySize > optionalSize)
    return std::nullopt;
  uint32_t offset = 0;
  uint32_t size = 0;
  if (!Read32(read, optional + entry, offset) ||
      !Read32(read, optional + entry + 4, size))
    return std::nullopt;
  if (offset == 0 || size == 0 || int64_t{offset} + size != length)
    return std::nullopt;
  return CertificateTable{offset, size};
}

} // namespace pe
