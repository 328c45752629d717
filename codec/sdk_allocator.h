// The LZMA SDK's allocator interface over malloc and free, for the files
// that call the SDK.
#pragma once

#include <cstdlib>

// The SDK's ISzAlloc, whatever the includer took before.
#include <Types.h>

namespace codec::sdk {

inline void *Allocate(void * /*self*/, size_t size) {
  return std::malloc(size);
}
inline void Release(void * /*self*/, void *address) { std::free(address); }
// The SDK takes the interface by a pointer to non-const.
inline ISzAlloc gAllocator = {Allocate, Release};

} // namespace codec::sdk
