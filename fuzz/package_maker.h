// Packages made around the bytes of a fuzz input, as `updpack build` lays
// them out, so that mutations of an archive reach the readers that only an
// intact manifest leads to.
#pragma once

#include <cstdint>
#include <string>

namespace fuzzing {

// A PE image of headers alone, 512 bytes, whose manifest follows it.
std::string ImageHeadersOnly();

// ImageHeadersOnly, the manifest of payload with the package's length
// added, then archive (the archive, or a compressed one's stream) and the
// trailer that points at it.
std::string PackageAround(const std::string &archive,
                          const std::string &payload);

// Manifest pairs that declare the tool's entries, by the bits of flags:
// 1 the checksum entry, 2 the long script, 4 the expected state, 8 the
// files' times.
std::string DeclaredEntries(uint8_t flags);

// Takes manifest pairs off the front of rest: its first two bytes give
// their length (little-endian, as far as rest holds), the pairs follow;
// rest keeps what is left after them.
std::string TakePayload(std::string &rest);

} // namespace fuzzing
