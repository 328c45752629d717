// The memory of the exceptions in flight, for a program that runs its C++
// code on one thread.
//
// libstdc++ takes an exception's memory from malloc and, when malloc fails,
// from an emergency arena of its own, guarded by a mutex. That mutex brings
// the win32 thread layer of libgcc along, and with it mingw-w64's TLS
// callbacks and a dozen more imports: about 5 KB of the image for a lock
// that one thread never needs. Here the fallback is a few fixed slots, used
// only when malloc fails (enough for the out-of-memory error and the errors
// raised while it unwinds); beyond them the program ends, as libstdc++'s
// does when its arena is exhausted.
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <unwind.h>

namespace {

// The record that the C++ ABI keeps in front of every thrown object
// (libstdc++'s __cxa_refcounted_exception): a reference count, then the
// handler's bookkeeping and the unwinder's header. Mirrored field by field
// so that its size follows the unwinder's header of the target.
struct ThrownHeader {
  int referenceCount;
  void *exceptionType;
  void (*exceptionDestructor)(void *);
  void (*unexpectedHandler)();
  void (*terminateHandler)();
  void *nextException;
  int handlerCount;
  int handlerSwitchValue;
  const unsigned char *actionRecord;
  const unsigned char *languageSpecificData;
  void *catchTemp;
  void *adjustedPtr;
  _Unwind_Exception unwindHeader;
};

// A dependent exception (std::rethrow_exception) has the same layout less
// the reference count; it is allocated without a thrown object.
struct DependentHeader {
  void *primaryException;
  void (*exceptionDestructor)(void *);
  void (*unexpectedHandler)();
  void (*terminateHandler)();
  void *nextException;
  int handlerCount;
  int handlerSwitchValue;
  const unsigned char *actionRecord;
  const unsigned char *languageSpecificData;
  void *catchTemp;
  void *adjustedPtr;
  _Unwind_Exception unwindHeader;
};

// The fallback slots. The largest object the program throws is the
// library's error with its 256-byte text.
constexpr size_t kSlotSize = 1024;
constexpr int kSlots = 8;
alignas(16) unsigned char slots[kSlots][kSlotSize];
bool slotUsed[kSlots];

void *Allocate(size_t size) {
  if (void *memory = std::malloc(size))
    return memory;
  for (int i = 0; i < kSlots; ++i) {
    if (!slotUsed[i] && size <= kSlotSize) {
      slotUsed[i] = true;
      return slots[i];
    }
  }
  std::terminate();
}

void Free(void *memory) {
  const auto *bytes = static_cast<unsigned char *>(memory);
  if (bytes >= &slots[0][0] && bytes < &slots[0][0] + sizeof slots) {
    slotUsed[(bytes - &slots[0][0]) / kSlotSize] = false;
    return;
  }
  std::free(memory);
}

} // namespace

// The C++ ABI's names.
// NOLINTBEGIN(bugprone-reserved-identifier)
extern "C" {

void *__cxa_allocate_exception(size_t thrownSize) noexcept {
  auto *header =
      static_cast<unsigned char *>(Allocate(sizeof(ThrownHeader) + thrownSize));
  std::memset(header, 0, sizeof(ThrownHeader));
  return header + sizeof(ThrownHeader);
}

void __cxa_free_exception(void *thrown) noexcept {
  Free(static_cast<unsigned char *>(thrown) - sizeof(ThrownHeader));
}

void *__cxa_allocate_dependent_exception() noexcept {
  void *header = Allocate(sizeof(DependentHeader));
  std::memset(header, 0, sizeof(DependentHeader));
  return header;
}

void __cxa_free_dependent_exception(void *header) noexcept { Free(header); }

} // extern "C"
// NOLINTEND(bugprone-reserved-identifier)
