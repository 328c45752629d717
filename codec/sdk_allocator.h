// The LZMA SDK's allocator interface over malloc and free, for the files
// that call the SDK (they include its headers first).
#pragma once

#include <cstdlib>

namespace codec::sdk {

inline void *Allocate(void * /*self*/, size_t size) {
  return std::malloc(size);
}
inline void Release(void * /*self*/, void *address) { std::free(address); }
// The SDK takes the interface by a pointer to non-const.
inline ISzAlloc gAllocator = {Allocate, Release};

} // namespace codec::sdk
