// What the records before one of a script leave on disk, as far as they
// tell: so that a record is judged against the folder as the earlier
// records would leave it (a copy into a folder an earlier record creates,
// a file in a folder an earlier record removes). Keys are folded paths
// (platform::fs::FoldName); "\" and "/" both separate names.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "package/expected_state.h"
#include "package/script_record.h"

namespace package::expect {

// The records laid over the disk so far, indexed by their folded target,
// so that a script of many records is judged in time proportional to its
// length rather than its square.
class LaidRecords {
public:
  // The next record of the script: its target, folded, and its operation.
  void Lay(const std::u16string &key, uint8_t operation) {
    latest_[key] = {count_++, operation};
  }

  // What the laid records leave at key: the latest one that names it, or
  // Nothing below the latest one that names a folder above it (a file, a
  // removed folder, or a folder it made, which starts empty). False when no
  // laid record tells: the disk says.
  bool At(const std::u16string &key, Kind &kind) const {
    if (latest_.empty())
      return false;
    const Laid *best = Find(key);
    bool exact = best != nullptr;
    for (size_t at = 0; at < key.size(); ++at) {
      if (key[at] != u'\\' && key[at] != u'/')
        continue;
      const Laid *above = Find(key.substr(0, at));
      if (above && (!best || above->order > best->order)) {
        best = above;
        exact = false;
      }
    }
    if (!best)
      return false;
    kind = !exact                                     ? Kind::Nothing
           : best->operation == script::kCopyFile     ? Kind::File
           : best->operation == script::kCreateFolder ? Kind::Folder
                                                      : Kind::Nothing;
    return true;
  }

private:
  struct Laid {
    size_t order = 0;
    uint8_t operation = 0;
  };

  const Laid *Find(const std::u16string &key) const {
    const auto found = latest_.find(key);
    return found == latest_.end() ? nullptr : &found->second;
  }

  std::unordered_map<std::u16string, Laid> latest_;
  size_t count_ = 0;
};

} // namespace package::expect
