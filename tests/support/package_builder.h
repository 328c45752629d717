// Helpers for tests of the update run: folder listings, PACK1 archives made
// by our own writer, self-extracting packages (stub + archive + trailer),
// script records and the world of one run.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/temp_folder.h"

namespace pkgbuild {

// The names in a folder, sorted; empty when it is missing.
std::vector<std::string> ListNames(const std::string &folder);

// Packs every ordinary file of folder into a PACK1 archive at archivePath
// with cls_arch::Pack and returns the archive's bytes.
std::string PackFolder(const std::string &folder,
                       const std::string &archivePath);

// A package: stub bytes, the archive, filler bytes, then the trailer holding
// archiveStart (by default the position right after the stub).
std::string JoinPackage(std::string_view stub, std::string_view archive,
                        std::string_view filler = {});
std::string JoinPackage(std::string_view stub, std::string_view archive,
                        std::string_view filler, int32_t archiveStart);
// The 4-byte little-endian trailer.
std::string Trailer(int32_t archiveStart);

// A package as `updpack build` lays it out: image, the manifest of payload
// (with the package's length declared), archive, filler to a multiple of 8
// and the trailer holding the position right after the manifest.
std::string BuiltPackage(std::string_view image, std::string_view payload,
                         std::string_view archive);

// The bytes of a checksum entry (~updpack.sum) for every ordinary file of
// folder, as `updpack build` writes it.
std::string SumsOf(const std::string &folder);

// A small PE image: the DOS header, "PE\0\0", a COFF header and an optional
// header (PE32+ unless told) with 16 data directories, all empty, and no
// section (SizeOfHeaders is the whole image); size bytes in all.
std::string MinimalPe(bool plus = true, size_t size = 512);
// What a signing tool does to a file that begins with a PE image: pads it
// to a multiple of 8, appends table and points the security directory at
// it.
std::string Sign(std::string file, std::string_view table);

// One 65-byte script record. Each field is padded on the right with pad
// (a space unless told); a field longer than its size fails the test.
std::string ScriptRecord(uint8_t operation, std::string_view source,
                         std::string_view target, char pad = ' ');

// The world of one update run: a fresh folder with a TMP folder ("tmp") and a
// program folder ("prog"); TMP points at the first and the program path at
// prog/update.exe while the object lives. Restores both when it goes, and
// clears the run's module state before and after.
class RunWorld {
public:
  RunWorld();
  ~RunWorld();

  // Writes the package as the running executable, prog/update.exe.
  void InstallPackage(std::string_view package);
  // Builds a package of every file in src (made by the test) and installs
  // it; returns the package's length.
  int32_t InstallFolder(const std::string &src, std::string_view stub = "MZ",
                        std::string_view filler = std::string_view("\0", 1));

  testsupport::TempFolder box;
  std::string tmp;        // what TMP names
  std::string prog;       // the program folder
  std::string exe;        // prog/update.exe
  std::string tempFolder; // tmp/VLSFX_QUORIX, as the file system sees it
  std::string packFile;   // tmp/VLSFX_QUORIX.PACK
  std::string archive;    // the last archive built, its bytes

private:
  bool hadTmp_ = false;
  std::string oldTmp_;
};

// Placeholders as text, to build fields: T + "\\app.exe".
inline const std::string T(1, '\x00');
inline const std::string P(1, '\x01');

} // namespace pkgbuild
