// errno to platform error numbers, and the texts Windows gives them.
#include "platform/posix/posix_error.h"

#include <cerrno>
#include <cstring>
#include <iterator>
#include <sys/stat.h>

#include "platform/decimal.h"
#include "platform/error.h"
#include "platform/messages.h"
#include "platform/posix/syscalls.h"

namespace platform::posix {

namespace {

// Each code's platform number, as the win32 backend gives it, and its text
// as FormatMessage gives it in a Russian system (Wine's, where the tests
// compare the two runs), without the full stop that ends it.
struct WinErrorText {
  WinError code;
  int32_t number;
  const char *text;
};

constexpr WinErrorText kWinErrors[] = {
    {WinError::FileNotFound, err::kFileNotFound, "Файл не найден"},
    {WinError::PathNotFound, err::kPathNotFound, "Путь не найден"},
    {WinError::TooManyFiles, err::kTooManyFiles,
     "Слишком много открытых файлов"},
    {WinError::AccessDenied, err::kPermissionDenied, "Доступ запрещён"},
    {WinError::NotSameDevice, err::kDeviceIo, "Не то же самое устройство"},
    {WinError::SharingViolation, err::kPermissionDenied,
     "Конфликт совместного доступа"},
    {WinError::FileExists, err::kPathFileAccess, "Файл уже существует"},
    {WinError::InvalidParameter, err::kPathFileAccess, "Неверный параметр"},
    {WinError::DiskFull, err::kDiskFull, "Диск полностью заполнен"},
    {WinError::InvalidName, err::kBadFileName, "Неверное имя"},
    {WinError::DirNotEmpty, err::kPathFileAccess, "Каталог не пуст"},
    {WinError::AlreadyExists, err::kPathFileAccess, "Файл уже существует"},
    {WinError::NameTooLong, err::kBadFileName, "Слишком длинное имя файла"},
    {WinError::FileTooLarge, err::kOverflow, ""}, // Wine has no text for it
    {WinError::Directory, err::kPathNotFound, "Неверно задано имя каталога"},
    {WinError::IoDevice, err::kDeviceIo, "Ошибка ввода/вывода на устройстве"},
};

bool asWindows = false;

} // namespace

void WordErrorsAsWindows() { asWindows = true; }

void RaiseAs(WinError code, const std::string &path,
             std::string_view natively) {
  const WinErrorText *entry = std::begin(kWinErrors);
  while (entry + 1 != std::end(kWinErrors) && entry->code != code)
    ++entry; // every code has its entry (a missing one would take the last)
  if (!asWindows)
    Raise(entry->number, path + std::string(natively));
  // As the win32 backend's Describe writes it: an empty path (a copy from
  // a blank source) leaves no blank before the system's text.
  std::string text = path.empty() ? "(" : path + " (";
  if (*entry->text) {
    text += entry->text;
    text += ", ";
  }
  text += Message(Msg::OsCode, {Decimal(static_cast<int64_t>(code))});
  Raise(entry->number, text + ')');
}

// "a/b/" is the name b of a. An empty path has no folder: Windows finds no
// path there.
bool ParentExists(const std::string &native) {
  if (native.empty())
    return false;
  const size_t slash = native.find_last_of('/', native.find_last_not_of('/'));
  if (slash == std::string::npos)
    return true;
  const std::string parent = slash == 0 ? "/" : native.substr(0, slash);
  struct stat st {};
  return unhooked::Stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void RaiseErrno(int code, const std::string &path) {
  const std::string natively = std::string(" (") + std::strerror(code) + ")";
  switch (code) {
  case ENOENT:
    RaiseAs(ParentExists(ResolvedPath(path)) ? WinError::FileNotFound
                                             : WinError::PathNotFound,
            path, natively);
  case ENOTDIR:
    RaiseAs(WinError::PathNotFound, path, natively);
  case EACCES:
  case EPERM:
  case EROFS:
    RaiseAs(WinError::AccessDenied, path, natively);
  case ETXTBSY: // the running program's file, opened to be written
  case EBUSY:   // a file or folder a handle holds without delete sharing
    RaiseAs(WinError::SharingViolation, path, natively);
  case EEXIST:
    RaiseAs(WinError::FileExists, path, natively);
  case ENOTEMPTY:
    RaiseAs(WinError::DirNotEmpty, path, natively);
  case ENOSPC:
  case EDQUOT:
    RaiseAs(WinError::DiskFull, path, natively);
  case EMFILE:
  case ENFILE:
    RaiseAs(WinError::TooManyFiles, path, natively);
  case ENAMETOOLONG:
    RaiseAs(WinError::NameTooLong, path, natively);
  case EILSEQ:
    RaiseAs(WinError::InvalidName, path, natively);
  case EIO:
    RaiseAs(WinError::IoDevice, path, natively);
  case EXDEV: // a rename to another volume, which a move then copies
    RaiseAs(WinError::NotSameDevice, path, natively);
  case EFBIG:
  case EOVERFLOW:
    RaiseAs(WinError::FileTooLarge, path, natively);
  case EISDIR:
    // A folder opened as a file: Windows' own refusal is worded as no
    // system error (the win32 backend raises it bare).
    Raise(err::kPathFileAccess, asWindows ? path : path + natively);
  default:
    Raise(err::kPathFileAccess, path + natively);
  }
}

} // namespace platform::posix
