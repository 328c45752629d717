// GetLastError() codes to platform error numbers, with the system's text.
#include "platform/win32/win32_error.h"

#include "platform/decimal.h"
#include "platform/error.h"
#include "platform/messages.h"

namespace platform::win32 {

int32_t ErrorNumber(DWORD code) {
  switch (code) {
  case ERROR_FILE_NOT_FOUND:
  case ERROR_NO_MORE_FILES:
    return err::kFileNotFound;
  case ERROR_PATH_NOT_FOUND:
  case ERROR_INVALID_DRIVE:
  case ERROR_BAD_NETPATH:
  case ERROR_BAD_NET_NAME:
  case ERROR_DIRECTORY:
    return err::kPathNotFound;
  case ERROR_TOO_MANY_OPEN_FILES:
    return err::kTooManyFiles;
  case ERROR_ACCESS_DENIED:
  case ERROR_WRITE_PROTECT:
  case ERROR_SHARING_VIOLATION:
  case ERROR_LOCK_VIOLATION:
  case ERROR_DELETE_PENDING:
  case ERROR_USER_MAPPED_FILE:
  case ERROR_PRIVILEGE_NOT_HELD:
    return err::kPermissionDenied;
  case ERROR_NOT_ENOUGH_MEMORY:
  case ERROR_OUTOFMEMORY:
    return err::kOutOfMemory;
  case ERROR_HANDLE_EOF:
    return err::kPastEnd;
  case ERROR_HANDLE_DISK_FULL:
  case ERROR_DISK_FULL:
    return err::kDiskFull;
  case ERROR_INVALID_NAME:
  case ERROR_BAD_PATHNAME:
  case ERROR_FILENAME_EXCED_RANGE:
    return err::kBadFileName;
  case ERROR_INVALID_HANDLE:
    return err::kBadFileNumber;
  case ERROR_NEGATIVE_SEEK:
    return err::kBadRecordNumber;
  case ERROR_FILE_TOO_LARGE:
  case ERROR_ARITHMETIC_OVERFLOW:
    return err::kOverflow;
  case ERROR_NOT_READY:
  case ERROR_NOT_SAME_DEVICE: // a rename to another volume: a move copies
  case ERROR_CRC:
  case ERROR_SEEK:
  case ERROR_SECTOR_NOT_FOUND:
  case ERROR_WRITE_FAULT:
  case ERROR_READ_FAULT:
  case ERROR_GEN_FAILURE:
  case ERROR_IO_DEVICE:
    return err::kDeviceIo;
  default: // ERROR_ALREADY_EXISTS, ERROR_FILE_EXISTS, ERROR_DIR_NOT_EMPTY ...
    return err::kPathFileAccess;
  }
}

std::string SystemMessage(DWORD code) {
  wchar_t *buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
          FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t *>(&buffer), 0, nullptr);
  std::wstring_view text;
  if (length > 0 && buffer)
    text = {buffer, length};
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' ||
                           text.back() == L' ' || text.back() == L'.'))
    text.remove_suffix(1);
  std::string narrow = Narrow(text);
  if (buffer)
    ::LocalFree(buffer);
  return narrow;
}

std::string Describe(DWORD code, const std::string &detail) {
  std::string text = detail;
  const std::string system = SystemMessage(code);
  text += text.empty() ? "(" : " (";
  if (!system.empty()) {
    text += system;
    text += ", ";
  }
  text += Message(Msg::OsCode, {platform::Decimal(code)});
  text += ')';
  return text;
}

void RaiseWin32(DWORD code, const std::string &detail) {
  Raise(ErrorNumber(code), Describe(code, detail));
}

void RaiseLastError(const std::string &detail) {
  RaiseWin32(::GetLastError(), detail);
}

} // namespace platform::win32
