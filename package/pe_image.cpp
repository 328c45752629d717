// The end of a PE image and the certificate table of a signed one.
#include "package/pe_image.h"

#include <algorithm>

#include "package/coding.h"

namespace package::pe {

namespace {

// Little-endian fields of the file; false when out of it.
bool Read16(const ByteSource &read, int64_t offset, uint16_t &value) {
  uint8_t b[2];
  if (offset < 0 || !read.Read(offset, b, 2))
    return false;
  value = ReadLE16(b);
  return true;
}

bool Read32(const ByteSource &read, int64_t offset, uint32_t &value) {
  uint8_t b[4];
  if (offset < 0 || !read.Read(offset, b, 4))
    return false;
  value = ReadLE32(b);
  return true;
}

// The offset of the COFF header, right after "PE\0\0"; -1 for a file that
// is no PE image.
int64_t CoffHeader(const ByteSource &read) {
  uint16_t mz = 0;
  uint32_t lfanew = 0;
  uint32_t signature = 0;
  if (!Read16(read, 0, mz) || mz != 0x5A4D || // "MZ"
      !Read32(read, kDosLfanewOffset, lfanew) ||
      !Read32(read, lfanew, signature) || signature != kPeSignature)
    return -1;
  return int64_t{lfanew} + 4;
}

} // namespace

bool IsX86Image(const ByteSource &read) {
  const int64_t coff = CoffHeader(read);
  uint16_t machine = 0;
  return coff >= 0 && Read16(read, coff + kMachineOffset, machine) &&
         (machine == kMachineI386 || machine == kMachineAmd64);
}

ImageHeaders ReadImageHeaders(const ByteSource &read) {
  ImageHeaders found;
  const int64_t coff = CoffHeader(read);
  if (coff < 0)
    return found;
  const int64_t optional = coff + kCoffHeaderSize;
  uint16_t optionalSize = 0;
  uint16_t magic = 0;
  if (!Read16(read, coff + kSizeOfOptionalHeaderOffset, optionalSize) ||
      !Read16(read, optional, magic))
    return found;
  const bool plus = magic == kPe32PlusMagic;
  if (!plus && magic != kPe32Magic)
    return found;

  // The end of the image: its headers, and every section's raw data.
  uint16_t sections = 0;
  uint32_t headers = 0;
  if (Read16(read, coff + kNumberOfSectionsOffset, sections) &&
      Read32(read, optional + kSizeOfHeadersOffset, headers)) {
    int64_t end = headers;
    for (int64_t k = 0; k < sections && end >= 0; ++k) {
      const int64_t header = optional + optionalSize + k * kSectionHeaderSize;
      uint32_t size = 0;
      uint32_t pointer = 0;
      if (!Read32(read, header + kSectionSizeOfRawData, size) ||
          !Read32(read, header + kSectionPointerToRawData, pointer))
        end = -1;
      else if (size != 0)
        end = std::max(end, int64_t{pointer} + size);
    }
    if (end >= 0)
      found.end = end;
  }

  // The security directory.
  uint32_t directories = 0;
  const int64_t entry =
      (plus ? kDataDirectoriesPe32Plus : kDataDirectoriesPe32) +
      kDirectoryEntrySecurity * kDataDirectorySize;
  uint32_t offset = 0;
  uint32_t size = 0;
  if (Read32(read,
             optional + (plus ? kNumberOfRvaAndSizesPe32Plus
                              : kNumberOfRvaAndSizesPe32),
             directories) &&
      directories > kDirectoryEntrySecurity &&
      entry + kDataDirectorySize <= optionalSize &&
      Read32(read, optional + entry, offset) &&
      Read32(read, optional + entry + 4, size) && offset != 0 && size != 0)
    found.table = CertificateTable{offset, size};
  return found;
}

std::optional<CertificateTable> TableEndingAt(const ImageHeaders &headers,
                                              int64_t length) {
  if (!headers.table || headers.table->offset + headers.table->size != length)
    return std::nullopt;
  return headers.table;
}

std::optional<CertificateTable> FindCertificateTable(const ByteSource &file) {
  return TableEndingAt(ReadImageHeaders(file), file.Size());
}

} // namespace package::pe
