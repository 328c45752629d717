// The C++ runtime's record of the exceptions in flight, for a program that
// runs its C++ code on one thread.
//
// libstdc++ keeps the exceptions being handled (for `throw;`,
// std::current_exception and std::uncaught_exceptions) in thread-local
// storage. With the win32 thread model that storage is emulated through
// TlsAlloc and mingw-w64's thread-exit callbacks, about 2.5 KB of the image.
// The update runs on the window system's one thread; threads that Windows or
// Wine start in the process never throw through our code. One static record
// serves.
#include <cxxabi.h>

namespace {

// libstdc++'s __cxa_eh_globals: the chain of caught exceptions and the count
// of thrown, not yet caught ones. Zero, as a new thread's record is.
struct Globals {
  void *caughtExceptions;
  unsigned int uncaughtExceptions;
};
Globals globals;

} // namespace

namespace __cxxabiv1 {

extern "C" __cxa_eh_globals *__cxa_get_globals() noexcept {
  return reinterpret_cast<__cxa_eh_globals *>(&globals);
}

// The same function under its second name: one thread, so no record needs
// making on the first call.
extern "C" __cxa_eh_globals *__cxa_get_globals_fast() noexcept
    __attribute__((alias("__cxa_get_globals")));

} // namespace __cxxabiv1
