// Reading from memory.
#include "package/byte_source.h"

#include <cstring>

namespace package {

bool MemorySource::Read(int64_t offset, uint8_t *bytes, size_t count) const {
  if (offset < 0 || static_cast<uint64_t>(offset) > bytes_.size() ||
      count > bytes_.size() - static_cast<size_t>(offset))
    return false;
  if (count > 0)
    std::memcpy(bytes, bytes_.data() + offset, count);
  return true;
}

} // namespace package
