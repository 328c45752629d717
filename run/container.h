// The self-extracting container: the program image, the archive and a 4-byte
// trailer holding the 1-based position of the archive's first byte
// (package/trailer.h).
#pragma once

#include <cstdint>
#include <string>

namespace ui {
class Setup;
}

namespace mdl_main {

// The executable as the trailer read leaves it.
struct Container {
  int16_t fileNum = 0;      // the executable, open for reading
  int32_t L = 0;            // length of the package in it, in bytes
  int32_t ArchiveStart = 0; // the trailer: position of the archive's first byte
};

// ProgramFolder + "\" + the program's base name + ".exe".
std::string ProgramExePath();

// The length of the package in the executable open under fileNum
// (package::PackageLength: the file's, or up to a signing tool's
// certificate table).
int32_t PackageLength(int16_t fileNum);

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
