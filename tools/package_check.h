// The checks of `updpack verify`: everything a package's run would trip
// over, found without writing anything.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tools/name_index.h"
#include "tools/package_file.h"

namespace tools {

// One record of the install script.
struct CheckedRecord {
  uint8_t operation = 0;
  size_t sourceLength = 0; // bytes of the field once its blanks are trimmed
  size_t targetLength = 0;
  std::string line;   // as `script show` writes it
  std::string target; // the target field's bytes, blanks trimmed
};

struct PackageCheck {
  std::string path;
  int64_t fileLength = 0;
  FileKind kind = FileKind::Other;
  int64_t archiveFirst = 0; // 1-based positions of the archive in the file
  int64_t archiveLast = 0;
  int64_t certificateTable = 0; // bytes of a signing tool's table, 0: none
  int compression = -1;         // -1: no header was read
  // Compressed: the stream's and stored ranges' bytes in the package, and
  // the raw archive's, once decoded whole; -1 otherwise.
  int64_t packedLength = -1;
  int64_t rawLength = -1;
  int64_t restart = 0;   // where the stream's second part starts, 0 for none
  int32_t dataStart = 0; // relative to the archive's first byte
  std::vector<ListedEntry> entries;
  bool checksums = false; // the package has a checksum entry
  size_t checksummed = 0; // entries whose length and CRC-32 matched
  bool script = false;    // the package has a script
  std::vector<CheckedRecord> records;
  size_t unlistedRecords = 0;      // checked, beyond those kept in records
  size_t scriptTail = 0;           // bytes after the last whole record
  std::string manifest = "absent"; // "present", "absent" or "damaged"
  int64_t manifestOffset = 0;      // where the program image ends
  std::vector<std::string> manifestKeys; // in the manifest's order
  int64_t declaredLength = -1;           // by the manifest; -1: none
  bool ownTexts = false;           // the manifest carries the package's texts
  bool sumsDeclared = false;       // it declares the checksum entry
  bool longScriptDeclared = false; // it declares the long script entry
  bool expectDeclared = false;     // it declares the expected state
  std::string forVersion;          // the version the update is for
  int64_t expected = -1;           // paths of the expected state; -1: no entry
  bool timesDeclared = false;      // it declares the files' times
  int64_t timed = -1;              // entries with a time; -1: no times entry
  std::string product, version;    // the texts were made for these
  int codePage = 0; // of names and script, as the manifest declares; 0: none
  std::map<std::string, std::string> replacedTexts; // key -> text
  // What the run shows: every text (key, text) and every composed message,
  // the defaults included.
  std::vector<std::pair<std::string, std::string>> shownTexts;
  std::vector<std::pair<std::string, std::string>> messages;
  std::string icon;                // the program's icon, as DescribeIcon has it
  std::vector<std::string> faults; // each names what is wrong
  std::vector<std::string> warnings; // allowed, but worth a look
  std::vector<std::string> notes;    // worth knowing, not wrong

  bool Sound() const { return faults.empty(); }
};

// Reads the file at path and checks: the trailer and a certificate table
// (present or not; the signature itself is not verified), the manifest
// and the length it declares, the signature bytes and the end of the
// catalog, every entry's name and range, the
// checksum entry with every entry it lists, and the install script; a
// compressed archive is decoded whole first (its length and CRC-32). Raises
// only when the file cannot be read at all.
PackageCheck CheckPackage(const std::string &path);

} // namespace tools
