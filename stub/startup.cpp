// The program's first instructions, in place of the C runtime's start-up
// code: seeds the stack canary, runs the static constructors and calls
// wWinMain.
//
// The C runtime's own start-up (mingw-w64's crt2u.o and what it pulls in:
// command-line parsing, pseudo-relocations of data imported from DLLs,
// thread-local storage callbacks, floating-point and signal set-up, the
// exit-time table) is a tenth of the image, and the program needs none of
// it: it reads no command line, imports no data, starts no thread and always
// ends through ExitProcess. Likewise libssp's canary, which is seeded through
// three CryptoAPI calls and reports a failure through the C library's file
// functions: the canary and its failure are defined here.
//
// Built without stack protection and without link-time optimisation: the
// canary changes here, so no protected frame may be live in this file.
#include <cstddef>
#include <cstdint>

#include "platform/win32/windows_support.h"

extern "C" {

// Read by every function that -fstack-protector-strong instruments.
uintptr_t __stack_chk_guard = 0;

// Called by an instrumented function whose canary was overwritten: the stack
// is not to be trusted, so nothing of the program runs any more. The status
// is the one Windows reports for a broken /GS cookie.
[[noreturn]] void __stack_chk_fail() {
  ::TerminateProcess(::GetCurrentProcess(), 0xC0000409);
  for (;;) {
  }
}

// RtlGenRandom, the system's random source (advapi32, a known DLL).
BOOLEAN WINAPI SystemFunction036(void *buffer, ULONG length);

// The static constructors, as the linker lists them: a count or -1, the
// constructors, a null.
extern void (*__CTOR_LIST__[])(); // NOLINT(bugprone-reserved-identifier)

// msvcrt's own errors (an abort) go to a message box, not to a console.
void __set_app_type(int type);

} // extern "C"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int);

namespace {

// A canary nobody can guess: from the system's random source, mixed with
// the performance counter and a stack address (which address space layout
// randomisation moves), so that a failing random source still leaves it
// hard to predict from outside the process.
uintptr_t NewCanary() {
  uintptr_t canary = 0;
  SystemFunction036(&canary, sizeof canary);
  LARGE_INTEGER counter{};
  ::QueryPerformanceCounter(&counter);
  canary ^= static_cast<uintptr_t>(counter.QuadPart) * 0x9E3779B97F4A7C15u;
  canary ^= reinterpret_cast<uintptr_t>(&canary);
  // A zero byte first stops string copies at the canary.
  return canary & ~uintptr_t{0xFF};
}

// Runs the static constructors once, last listed first (as the C runtime's
// __main does, without registering destructors: none would run).
void RunConstructors() {
  size_t count = 0;
  while (__CTOR_LIST__[count + 1])
    ++count;
  for (size_t k = count; k >= 1; --k)
    __CTOR_LIST__[k]();
}

} // namespace

// The entry point of the image (linked with -e ProgramStart).
extern "C" [[noreturn]] void ProgramStart() {
  __stack_chk_guard = NewCanary();
  __set_app_type(2); // _GUI_APP
  RunConstructors();
  ::ExitProcess(
      static_cast<UINT>(wWinMain(::GetModuleHandleW(nullptr), nullptr,
                                 ::GetCommandLineW(), SW_SHOWDEFAULT)));
}
