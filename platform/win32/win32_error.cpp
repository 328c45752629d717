// GetLastError() codes to platform error numbers, with the system's text.
#include "platform/win32/win32_error.h"

#include "platform/decimal.h"
#include "platform/error.h"
#include "platform/messages.h"

namespace platform::win32 {

namespace {

// A Win32 code with a platform number of its own.
struct CodeNumber {
  uint16_t code;
  uint8_t number;
};

// A table rather than a switch: the switch's compares took more room.
constexpr CodeNumber kCodeNumbers[] = {
    {ERROR_FILE_NOT_FOUND, err::kFileNotFound},
    {ERROR_NO_MORE_FILES, err::kFileNotFound},
    {ERROR_PATH_NOT_FOUND, err::kPathNotFound},
    {ERROR_INVALID_DRIVE, err::kPathNotFound},
    {ERROR_BAD_NETPATH, err::kPathNotFound},
    {ERROR_BAD_NET_NAME, err::kPathNotFound},
    {ERROR_DIRECTORY, err::kPathNotFound},
    {ERROR_TOO_MANY_OPEN_FILES, err::kTooManyFiles},
    {ERROR_ACCESS_DENIED, err::kPermissionDenied},
    {ERROR_WRITE_PROTECT, err::kPermissionDenied},
    {ERROR_SHARING_VIOLATION, err::kPermissionDenied},
    {ERROR_LOCK_VIOLATION, err::kPermissionDenied},
    {ERROR_DELETE_PENDING, err::kPermissionDenied},
    {ERROR_USER_MAPPED_FILE, err::kPermissionDenied},
    {ERROR_PRIVILEGE_NOT_HELD, err::kPermissionDenied},
    {ERROR_NOT_ENOUGH_MEMORY, err::kOutOfMemory},
    {ERROR_OUTOFMEMORY, err::kOutOfMemory},
    {ERROR_HANDLE_EOF, err::kPastEnd},
    {ERROR_HANDLE_DISK_FULL, err::kDiskFull},
    {ERROR_DISK_FULL, err::kDiskFull},
    {ERROR_INVALID_NAME, err::kBadFileName},
    {ERROR_BAD_PATHNAME, err::kBadFileName},
    {ERROR_FILENAME_EXCED_RANGE, err::kBadFileName},
    {ERROR_INVALID_HANDLE, err::kBadFileNumber},
    {ERROR_NEGATIVE_SEEK, err::kBadRecordNumber},
    {ERROR_FILE_TOO_LARGE, err::kOverflow},
    {ERROR_ARITHMETIC_OVERFLOW, err::kOverflow},
    {ERROR_NOT_READY, err::kDeviceIo},
    {ERROR_NOT_SAME_DEVICE, err::kDeviceIo}, // a rename to another volume
    {ERROR_CRC, err::kDeviceIo},
    {ERROR_SEEK, err::kDeviceIo},
    {ERROR_SECTOR_NOT_FOUND, err::kDeviceIo},
    {ERROR_WRITE_FAULT, err::kDeviceIo},
    {ERROR_READ_FAULT, err::kDeviceIo},
    {ERROR_GEN_FAILURE, err::kDeviceIo},
    {ERROR_IO_DEVICE, err::kDeviceIo},
};

} // namespace

int32_t ErrorNumber(DWORD code) {
  for (const CodeNumber &known : kCodeNumbers)
    if (known.code == code)
      return known.number;
  // ERROR_ALREADY_EXISTS, ERROR_FILE_EXISTS, ERROR_DIR_NOT_EMPTY ...
  return err::kPathFileAccess;
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
