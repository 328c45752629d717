// Errors that the archive object raises itself.
#pragma once

#include <cstdint>

namespace archive {

// Fixed numbers and texts that users and callers know.
constexpr int32_t kErrNotArchive = -1234007;
constexpr const char *kMsgNotArchive =
    "Файл не является архивом Kestrova PACK.";
constexpr int32_t kErrNoCatalog = -1234006;
constexpr const char *kMsgNoCatalog =
    "Не обнаружен каталог файлов в архиве Kestrova PACK.";
constexpr int32_t kErrCancelled = -1234013;
constexpr const char *kMsgExtractCancelled =
    "Распаковка архива отменена пользователем!";
constexpr const char *kMsgPackCancelled =
    "Запаковка архива отменена пользователем!";

// Guards against damaged or hostile archives and unsafe sources.
constexpr int32_t kErrCatalogUnterminated = -1234020;
constexpr int32_t kErrEntryPastEnd = -1234021;
constexpr int32_t kErrBadEntryName = -1234022;
constexpr int32_t kErrSourceChanged = -1234023;
constexpr int32_t kErrNameNotStorable = -1234024;

// Their texts; the raising code adds the entry name or path after ": ".
constexpr const char *kMsgCatalogUnterminated =
    "Каталог файлов в архиве Kestrova PACK не завершен: архив поврежден.";
constexpr const char *kMsgEntryPastEnd =
    "Данные файла выходят за пределы архива Kestrova PACK: архив поврежден";
constexpr const char *kMsgBadEntryName =
    "Недопустимое имя файла в архиве Kestrova PACK";
constexpr const char *kMsgEntryIsArchive =
    "Файл архива Kestrova PACK нельзя заменить файлом из него самого";
constexpr const char *kMsgSourceChanged =
    "Размер файла изменился во время запаковки";
constexpr const char *kMsgNameNotStorable =
    "Имя файла нельзя сохранить в архиве Kestrova PACK (символ \"?\", "
    "управляющий символ, имя устройства или точка либо пробел в конце)";

} // namespace archive
