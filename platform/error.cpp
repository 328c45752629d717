// Standard texts of the platform's error numbers.
#include "platform/error.h"

namespace platform {

std::string StandardText(int32_t number) {
  switch (number) {
  case err::kInvalidCall:
    return "Недопустимый вызов процедуры или аргумент";
  case err::kOverflow:
    return "Переполнение";
  case err::kOutOfMemory:
    return "Недостаточно памяти";
  case err::kSubscript:
    return "Индекс вне допустимого диапазона";
  case err::kTypeMismatch:
    return "Несоответствие типа";
  case err::kBadFileNumber:
    return "Неверное имя или номер файла";
  case err::kFileNotFound:
    return "Файл не найден";
  case err::kBadFileMode:
    return "Неверный режим файла";
  case err::kFileAlreadyOpen:
    return "Файл уже открыт";
  case err::kDeviceIo:
    return "Ошибка ввода-вывода устройства";
  case err::kFileExists:
    return "Файл уже существует";
  case err::kDiskFull:
    return "Диск заполнен";
  case err::kPastEnd:
    return "Чтение за концом файла";
  case err::kBadRecordNumber:
    return "Неверный номер записи";
  case err::kBadFileName:
    return "Недопустимое имя файла";
  case err::kTooManyFiles:
    return "Слишком много файлов";
  case err::kPermissionDenied:
    return "Отказано в доступе";
  case err::kPathFileAccess:
    return "Ошибка доступа к пути или файлу";
  case err::kPathNotFound:
    return "Путь не найден";
  default:
    return "Ошибка " + std::to_string(number);
  }
}

void Raise(int32_t number, std::string_view detail) {
  std::string text = StandardText(number);
  if (!detail.empty()) {
    text += ": ";
    text += detail;
  }
  throw Error(number, std::move(text));
}

void RaiseTooLarge(const std::string &path) {
  Raise(err::kOverflow, path + " (файл размером 2 ГБ или больше; допустимо не "
                               "более 2147483647 байт)");
}

} // namespace platform
