// The self-extracting container: the program image, the archive and a 4-byte
// trailer holding the 1-based position of the archive's first byte.
#pragma once

#include <cstdint>
#include <string>

namespace ui {
class Setup;
}

namespace mdl_main {

// Size of the trailer at the end of the executable.
inline constexpr int32_t kTrailerSize = 4;

// The executable as the trailer read leaves it.
struct Container {
  int16_t fileNum = 0;      // the executable, open for reading
  int32_t L = 0;            // length of the package in it, in bytes
  int32_t ArchiveStart = 0; // the trailer: position of the archive's first byte
  int64_t imageEnd = 0;     // where the program image ends (pe::ImageHeaders)
};

// ProgramFolder + "\" + the program's base name + ".exe".
std::string ProgramExePath();

// A signed 32-bit little-endian integer.
inline int32_t ReadLE32(const uint8_t bytes[4]) {
  return static_cast<int32_t>(static_cast<uint32_t>(bytes[0]) |
                              static_cast<uint32_t>(bytes[1]) << 8 |
                              static_cast<uint32_t>(bytes[2]) << 16 |
                              static_cast<uint32_t>(bytes[3]) << 24);
}

// The length of the package in the executable open under fileNum: the
// file's length, or, when a signing tool has appended a certificate table
// (pe::FindCertificateTable), the position of the byte just before it.
// Sets *imageEnd, when given, to where the program image ends as its
// headers say (pe::ImageHeaders; 0 for headers that do not parse).
int32_t PackageLength(int16_t fileNum, int64_t *imageEnd = nullptr);

// Opens the executable for reading and reads ArchiveStart from the four
// bytes that end the package. The file stays open (CarveOut closes it).
// Raises when the file is missing or shorter than the trailer.
Container ReadTrailer();

// Percentage shown after copying the byte at position i:
// (i - ArchiveStart) / (L - ArchiveStart) in double precision, the division
// first, then * 100, rounded to the nearest integer with halves to even.
// The denominator is the whole length L, trailer included.
int16_t CarveProgress(int32_t i, int32_t ArchiveStart, int32_t L);

// Copies the bytes ArchiveStart .. L - 4 of the executable into a new file
// at packFile (nothing may be at that name, not even a link), one byte at a
// time with one progress value and one yield per byte, then closes the pack
// file and the executable. Raises on any failure (a position below 1 included)
// with the files left open.
void CarveOut(const Container &exe, const std::string &packFile,
              ui::Setup &form);

} // namespace mdl_main
