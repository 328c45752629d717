// What the records before one of a script leave on disk, as far as they
// tell: so that a record is judged against the folder as the earlier
// records would leave it (a copy into a folder an earlier record creates,
// a file in a folder an earlier record removes). Keys are folded paths
// (platform::fs::FoldName); "\" and "/" both separate names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "package/expected_state.h"
#include "package/script_record.h"

namespace package::expect {

// A record laid over the disk: its target, folded, and its operation.
struct LaidRecord {
  std::u16string key;
  uint8_t operation = 0;
};

// What the laid records leave at key: the latest one that names it, or
// Nothing below the latest one that names a folder above it (a file, a
// removed folder, or a folder it made, which starts empty). False when no
// laid record tells: the disk says.
inline bool LaidAt(const std::vector<LaidRecord> &laid,
                   const std::u16string &key, Kind &kind) {
  for (size_t j = laid.size(); j-- > 0;) {
    const std::u16string &at = laid[j].key;
    if (at == key) {
      kind = laid[j].operation == script::kCopyFile       ? Kind::File
             : laid[j].operation == script::kCreateFolder ? Kind::Folder
                                                          : Kind::Nothing;
      return true;
    }
    if (key.size() > at.size() && key.compare(0, at.size(), at) == 0 &&
        (key[at.size()] == u'\\' || key[at.size()] == u'/')) {
      kind = Kind::Nothing;
      return true;
    }
  }
  return false;
}

} // namespace package::expect
