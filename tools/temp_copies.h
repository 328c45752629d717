// Copies out of the temporary folder, in a script's order: each reads the
// entry of its name, or a file that a copy before it put there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tools/name_index.h"

namespace tools {

class TempCopies {
public:
  // For the next record of the script (fields as the record holds them, in
  // the package's code page): the name of the temporary folder's file that
  // it copies and that neither an entry of `entries` (names as the
  // extraction writes them) nor a copy before it gives; "" when none.
  std::string Unmet(uint8_t operation, std::string_view source,
                    std::string_view target, const NameIndex &entries);

private:
  NameIndex made_; // names copies put into the temporary folder
  size_t records_ = 0;
};

} // namespace tools
