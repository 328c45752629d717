// Helpers for the archive engine's tests: the tree of names in a folder, and
// PACK1 archive bytes built in memory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace archtest {

// The worked example: one.txt ("HELLO") and two.dat ("abc"), 40 bytes.
inline const std::string kExample = std::string("PACK1\x00\x01", 7) +
                                    "one.txt?1?6\x02" + "two.dat?6?9\x02" +
                                    "\x01" + "HELLO" + "abc";

// Every name in a folder and below it, relative, sorted; folders end in "/".
std::vector<std::string> Tree(const std::string &folder);

// One file of an archive: its name (UTF-8) and contents.
struct Entry {
  std::string name;
  std::string bytes;
};

// The bytes of the archive that the writer makes of these files in this
// order: the names in the code page, the entries tiled from position 1.
std::string BuildArchive(const std::vector<Entry> &entries,
                         uint8_t compression = 0);

// Hand-made archives: "PACK1", the method byte, 0x01, each raw entry text
// followed by 0x02, then tail (the closing 0x01 and the data, or whatever a
// test wants there).
std::string RawArchive(const std::vector<std::string> &entryTexts,
                       std::string_view tail, uint8_t compression = 0);

// Bytes as "50 41 43 ..." for readable failures.
std::string Hex(std::string_view bytes);

} // namespace archtest
