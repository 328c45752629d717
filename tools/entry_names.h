// Entry names of the files that `build --from` packs: each file of the
// product folder travels under a name short enough for the 16-byte source
// field ({temp}\NAME), one that no other entry shares on Windows (see
// tools/name_index.h), and one the extraction writes as it is on Windows.
#pragma once

#include <string>
#include <string_view>

#include "tools/name_index.h"

namespace tools {

// Names the tool keeps for itself: the install script and the checksum
// entry. Compared without regard to case.
bool IsReservedEntryName(const std::string &name);
// Those a run of a package of ours reads whole, and so holds to
// package::kMaxOwnEntryBytes: all but the checksum entry, read a line at a
// time.
bool IsReadWholeEntryName(const std::string &name);

// Longest entry name in code-page bytes: the source field is 16 bytes and
// "{temp}\" takes two of them.
inline constexpr size_t kMaxEntryNameBytes = 14;

// True for a name (UTF-8) that an entry may carry: encodable in
// Windows-1251 in at most kMaxEntryNameBytes bytes; none of < > * ? : / \ |
// and '"'; no control character; no trailing dot or blank; no device name;
// not reserved. A leading dot is an ordinary character.
// A name that Windows holds, and the extraction writes, exactly as it is:
// none of the nine reserved characters, no device, no control character,
// not ending in a dot or a space.
bool IsWindowsName(const std::string &name);

bool IsUsableEntryName(const std::string &name);

// True for an entry name (UTF-8, as the catalog reader gives it) that
// Windows can make: NTFS keeps at most 255 UTF-16 units in a name, its
// trailing dots and spaces dropped. A longer one fails the extraction with
// kBadFileName, on Windows and natively alike.
bool FitsOneWindowsName(std::string_view name);

// True when the name (UTF-8) holds a combining mark, as a name in Unicode
// decomposed form does (NFD, as macOS writes names: "e" and U+0301 where
// Windows users and programs write U+00E9). Windows does not normalize
// names, so such a name is another one than the precomposed one.
bool HoldsCombiningMark(std::string_view name);
// The warning for such a path.
std::string DecomposedNameWarning(const std::string &path);

class EntryNamer {
public:
  // The entry name for a file with this bare name: the name itself when it
  // is usable and clashes with no name given before, else "fN" keeping the
  // file's extension when that fits.
  std::string Assign(const std::string &fileName);

private:
  bool Free(const std::string &name) const;

  NameIndex taken_;
  size_t count_ = 0;
  unsigned next_ = 1;
};

} // namespace tools
