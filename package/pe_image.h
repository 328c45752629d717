// What a package needs to know of the PE image it begins with: where the
// image ends (the package's manifest begins there) and where a signing
// tool's certificate table begins. Signing tools (Authenticode) append the
// table after our trailer and point the security directory of the PE header
// at it; the package then ends just before the table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "package/byte_source.h"

namespace package::pe {

// Layout of the headers, as the PE format names them; offsets in bytes.
inline constexpr int64_t kDosLfanewOffset = 0x3C; // e_lfanew: "PE\0\0"
inline constexpr uint32_t kPeSignature = 0x00004550;
inline constexpr int64_t kCoffHeaderSize = 20;
inline constexpr int64_t kSizeOfOptionalHeaderOffset = 16; // in the COFF header
inline constexpr uint16_t kPe32Magic = 0x10B;
inline constexpr uint16_t kPe32PlusMagic = 0x20B;
// In the optional header: NumberOfRvaAndSizes and the data directories.
inline constexpr int64_t kNumberOfRvaAndSizesPe32 = 92;
inline constexpr int64_t kNumberOfRvaAndSizesPe32Plus = 108;
inline constexpr int64_t kDataDirectoriesPe32 = 96;
inline constexpr int64_t kDataDirectoriesPe32Plus = 112;
inline constexpr int64_t kDataDirectorySize = 8; // VirtualAddress, Size
// Where the entry of data directory `index` lies in the optional header.
constexpr int64_t DataDirectoryOffset(bool plus, int64_t index) {
  return (plus ? kDataDirectoriesPe32Plus : kDataDirectoriesPe32) +
         index * kDataDirectorySize;
}
// IMAGE_DIRECTORY_ENTRY_SECURITY: its address is a file offset, not an RVA.
inline constexpr uint32_t kDirectoryEntrySecurity = 4;
// In the COFF header.
inline constexpr int64_t kMachineOffset = 0;
inline constexpr uint16_t kMachineI386 = 0x14C;
inline constexpr uint16_t kMachineAmd64 = 0x8664;
inline constexpr int64_t kNumberOfSectionsOffset = 2;
// In the optional header, the same in PE32 and PE32+.
inline constexpr int64_t kSizeOfHeadersOffset = 60;
// The section table follows the optional header; in each of its headers:
inline constexpr int64_t kSectionHeaderSize = 40;
inline constexpr int64_t kSectionSizeOfRawData = 16;
inline constexpr int64_t kSectionPointerToRawData = 20;

// A table of a signing tool, as a 0-based offset and a size.
struct CertificateTable {
  int64_t offset;
  int64_t size;
};

// What the headers of a PE image say, read in one walk: the certificate
// table that its security directory names, wherever it lies (verify
// reports one that does not end the file), and where the program image
// ends: the furthest end of a section's raw data, and at least
// SizeOfHeaders (a package's manifest begins there). Nothing of a file
// that is no PE image. Every offset read is checked against the source.
struct ImageHeaders {
  std::optional<CertificateTable> table;
  std::optional<int64_t> end;
};
ImageHeaders ReadImageHeaders(const ByteSource &file);

// True for a PE image of x86 or x86-64 code (its machine field), whose
// branches the x86 filter of a compressed package converts.
bool IsX86Image(const ByteSource &file);

// The table of headers when it ends a file of length bytes exactly.
std::optional<CertificateTable> TableEndingAt(const ImageHeaders &headers,
                                              int64_t length);
// The same, read from file.
std::optional<CertificateTable> FindCertificateTable(const ByteSource &file);

} // namespace package::pe
