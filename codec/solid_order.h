// The order of files in one solid stream: files of one kind side by side,
// as solid archivers put them, so that the compressor's window holds
// similar bytes together.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace codec {

struct SolidEntry {
  std::string_view name; // the file's name; a folder part is ignored
  bool x86Code = false;  // an x86 or x86-64 program file (the caller reads its
                         // header), whatever its name
};

// The indexes of entries in their new order: x86 program files first, then
// the others grouped by extension (compared without regard to ASCII case,
// no extension first); within a group, the given order. Deterministic: the
// same list gives the same order.
std::vector<size_t> SolidOrder(const std::vector<SolidEntry> &entries);

} // namespace codec
