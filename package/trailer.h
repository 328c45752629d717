// The trailer of a package: its last 4 bytes (before a signing tool's
// certificate table) hold ArchiveStart, the 1-based position of the
// archive's first byte, as a signed 32-bit little-endian integer.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "package/byte_source.h"
#include "package/pe_image.h"

namespace package {

inline constexpr int32_t kTrailerSize = 4;

// The length of the package in file, whose headers say headers: the file's
// length; when a signing tool's certificate table ends the file, the offset
// where the table begins, less the zero bytes (up to 7) the tool may have
// put before it: the first length, going back over them, whose trailer
// points at an archive's signature.
int64_t PackageLength(const ByteSource &file, const pe::ImageHeaders &headers);
int64_t PackageLength(const ByteSource &file);

// ArchiveStart from the four bytes that end a package of packageLength
// bytes; nullopt when it is shorter than the trailer or they cannot be read.
std::optional<int32_t> ReadArchiveStart(const ByteSource &file,
                                        int64_t packageLength);
// The trailer's bytes, both ways.
int32_t DecodeTrailer(const uint8_t bytes[kTrailerSize]);
std::array<uint8_t, kTrailerSize> EncodeTrailer(int32_t archiveStart);

} // namespace package
