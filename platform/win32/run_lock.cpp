// The run's lock on Windows: a named mutex of the session.
#include "platform/run_lock.h"

#include "platform/fs.h"
#include "platform/win32/windows_support.h"

namespace platform {

namespace {

HANDLE held = nullptr; // the run's mutex, one per process

} // namespace

bool TakeRunLock(const std::string &tempFolder) {
  // FNV-1a of the folder's name as Windows compares names.
  uint32_t hash = 2166136261u;
  for (const char16_t unit : fs::FoldName(tempFolder)) {
    hash = (hash ^ (unit & 0xFF)) * 16777619u;
    hash = (hash ^ (unit >> 8)) * 16777619u;
  }
  wchar_t name[] = L"Local\\updpack-run-00000000";
  static const wchar_t kHex[] = L"0123456789abcdef";
  for (int k = 0; k < 8; ++k)
    name[sizeof name / sizeof name[0] - 2 - k] = kHex[(hash >> (4 * k)) & 15];
  // The handle is held until the process ends: the system closes it then,
  // which lets the next run in.
  const HANDLE mutex = ::CreateMutexW(nullptr, FALSE, name);
  if (mutex && ::GetLastError() == ERROR_ALREADY_EXISTS) {
    ::CloseHandle(mutex);
    return false;
  }
  if (mutex) {
    ReleaseRunLocks();
    held = mutex;
  }
  return true;
}

void ReleaseRunLocks() {
  if (held)
    ::CloseHandle(held);
  held = nullptr;
}

} // namespace platform
