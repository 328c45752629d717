// What the records before one of a script leave on disk, as far as they
// tell: so that a record is judged against the folder as the earlier
// records would leave it (a copy into a folder an earlier record creates,
// a file in a folder an earlier record removes). Keys are folded paths
// (platform::fs::FoldName); "\" and "/" both separate names.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "package/expected_state.h"

namespace package::expect {

class PathOverlay {
public:
  // The earlier records leave kind at key; a folder they make is empty
  // (fresh) at first.
  void Set(const std::u16string &key, Kind kind, bool fresh = false) {
    seen_[key] = {kind, fresh};
  }
  // What the earlier records leave at key: its own entry, else Nothing
  // below a file, a removed folder or a folder they made; nullopt when the
  // disk says.
  std::optional<Kind> Lookup(std::u16string key) const {
    if (const auto found = seen_.find(key); found != seen_.end())
      return found->second.kind;
    for (;;) {
      const size_t slash = key.find_last_of(u"\\/");
      if (slash == std::u16string::npos)
        return std::nullopt;
      key.resize(slash);
      const auto found = seen_.find(key);
      if (found != seen_.end()) {
        const Seen &seen = found->second;
        if (seen.kind != Kind::Folder || seen.fresh)
          return Kind::Nothing;
        return std::nullopt;
      }
    }
  }
  bool Touched(const std::u16string &key) const {
    return seen_.count(key) != 0;
  }

private:
  struct Seen {
    Kind kind;
    bool fresh;
  };
  std::map<std::u16string, Seen> seen_;
};

} // namespace package::expect
