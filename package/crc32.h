// CRC-32 (IEEE 802.3, reflected, as zip and PNG use it): the checksum of the
// checksum entry's files and of the manifest.
#pragma once

#include <cstddef>
#include <cstdint>

namespace package {

// The CRC-32 of count bytes, continuing from crc (0 to begin).
uint32_t Crc32(uint32_t crc, const uint8_t *bytes, size_t count);

} // namespace package
