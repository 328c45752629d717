// Finding the certificate table of a signed PE image.
#include "run/pe_image.h"

#include <algorithm>

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

namespace {

// The COFF and optional headers of a PE image, found and checked.
struct Headers {
  int64_t coff = 0;
  int64_t optional = 0;
  uint16_t optionalSize = 0;
  bool plus = false; // PE32+
};

std::optional<Headers> FindHeaders(const ReadAt &read) {
  uint16_t mz = 0;
  uint32_t lfanew = 0;
  uint32_t signature = 0;
  if (!Read16(read, 0, mz) || mz != 0x5A4D || // "MZ"
      !Read32(read, kDosLfanewOffset, lfanew) ||
      !Read32(read, lfanew, signature) || signature != kPeSignature)
    return std::nullopt;
  Headers h;
  h.coff = int64_t{lfanew} + 4;
  h.optional = h.coff + kCoffHeaderSize;
  uint16_t magic = 0;
  if (!Read16(read, h.coff + kSizeOfOptionalHeaderOffset, h.optionalSize) ||
      !Read16(read, h.optional, magic))
    return std::nullopt;
  h.plus = magic == kPe32PlusMagic;
  if (!h.plus && magic != kPe32Magic)
    return std::nullopt;
  return h;
}

} // namespace

std::optional<CertificateTable> NamedCertificateTable(const ReadAt &read) {
  const auto h = FindHeaders(read);
  if (!h)
    return std::nullopt;
  uint32_t directories = 0;
  if (!Read32(read,
              h->optional + (h->plus ? kNumberOfRvaAndSizesPe32Plus
                                     : kNumberOfRvaAndSizesPe32),
              directories) ||
      directories <= kDirectoryEntrySecurity)
    return std::nullopt;
  const int64_t entry =
      (h->plus ? kDataDirectoriesPe32Plus : kDataDirectoriesPe32) +
      kDirectoryEntrySecurity * kDataDirectorySize;
  if (entry + kDataDirectorySize > h->optionalSize)
    return std::nullopt;
  uint32_t offset = 0;
  uint32_t size = 0;
  if (!Read32(read, h->optional + entry, offset) ||
      !Read32(read, h->optional + entry + 4, size) || offset == 0 || size == 0)
    return std::nullopt;
  return CertificateTable{offset, size};
}

std::optional<CertificateTable> FindCertificateTable(int64_t length,
                                                     const ReadAt &read) {
  const auto table = NamedCertificateTable(read);
  if (!table || table->offset + table->size != length)
    return std::nullopt;
  return table;
}

std::optional<int64_t> ImageEnd(const ReadAt &read) {
  const auto h = FindHeaders(read);
  uint16_t sections = 0;
  uint32_t headers = 0;
  if (!h || !Read16(read, h->coff + kNumberOfSectionsOffset, sections) ||
      !Read32(read, h->optional + kSizeOfHeadersOffset, headers))
    return std::nullopt;
  int64_t end = headers;
  const int64_t table = h->optional + h->optionalSize;
  for (int64_t k = 0; k < sections; ++k) {
    const int64_t header = table + k * kSectionHeaderSize;
    uint32_t size = 0;
    uint32_t pointer = 0;
    if (!Read32(read, header + kSectionSizeOfRawData, size) ||
        !Read32(read, header + kSectionPointerToRawData, pointer))
      return std::nullopt;
    if (size != 0)
      end = std::max(end, int64_t{pointer} + size);
  }
  return end;
}

} // namespace pe
