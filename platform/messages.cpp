// The keys and shipped texts of the messages the program composes.
#include "platform/messages.h"

#include <array>

#include "platform/packed_pairs.h"

namespace platform {

namespace {

struct Entry {
  Msg msg; // its place, checked below
  const char *key;
  const char *text;
};

constexpr Entry kEntries[kMsgCount] = {
    {Msg::ErrInvalidCall, "error-5",
     "Недопустимый вызов процедуры или аргумент"},
    {Msg::ErrOverflow, "error-6", "Переполнение"},
    {Msg::ErrOutOfMemory, "error-7", "Недостаточно памяти"},
    {Msg::ErrSubscript, "error-9", "Индекс вне допустимого диапазона"},
    {Msg::ErrTypeMismatch, "error-13", "Несоответствие типа"},
    {Msg::ErrBadFileNumber, "error-52", "Неверное имя или номер файла"},
    {Msg::ErrFileNotFound, "error-53", "Файл не найден"},
    {Msg::ErrBadFileMode, "error-54", "Неверный режим файла"},
    {Msg::ErrFileAlreadyOpen, "error-55", "Файл уже открыт"},
    {Msg::ErrDeviceIo, "error-57", "Ошибка ввода-вывода устройства"},
    {Msg::ErrFileExists, "error-58", "Файл уже существует"},
    {Msg::ErrDiskFull, "error-61", "Диск заполнен"},
    {Msg::ErrPastEnd, "error-62", "Чтение за концом файла"},
    {Msg::ErrBadRecordNumber, "error-63", "Неверный номер записи"},
    {Msg::ErrBadFileName, "error-64", "Недопустимое имя файла"},
    {Msg::ErrTooManyFiles, "error-67", "Слишком много файлов"},
    {Msg::ErrPermissionDenied, "error-70", "Отказано в доступе"},
    {Msg::ErrPathFileAccess, "error-75", "Ошибка доступа к пути или файлу"},
    {Msg::ErrPathNotFound, "error-76", "Путь не найден"},
    {Msg::ErrOther, "error-other", "Ошибка {1}"},
    {Msg::TooLarge, "too-large",
     "{1} (файл размером 2 ГБ или больше; допустимо не более 2147483647 "
     "байт)"},
    {Msg::AtPosition, "at-position", "{1} (позиция {2})"},
    {Msg::RecordPosition, "record-position", "{1}, позиция {2}"},
    {Msg::CopyOntoItself, "copy-onto-itself",
     "{1} -> {2} (файл копируется сам в себя)"},
    {Msg::OsCode, "os-code", "код {1}"},
    {Msg::ReadOnly, "read-only", " (только для чтения)"},
    {Msg::WriteThroughLink, "write-through-link",
     " (ссылка: запись через ссылку запрещена)"},
    {Msg::NotRealFolder, "not-real-folder",
     " (не папка, а ссылка: работа в ней запрещена)"},
    {Msg::NotOwnFolder, "not-own-folder",
     " (папка принадлежит другому пользователю)"},
    {Msg::OthersCanWrite, "others-can-write",
     " (в папку могут записывать другие пользователи)"},
    {Msg::NotArchive, "not-archive", "Файл не является архивом Kestrova PACK."},
    {Msg::NoCatalog, "no-catalog",
     "Не обнаружен каталог файлов в архиве Kestrova PACK."},
    {Msg::ExtractCancelled, "extract-cancelled",
     "Распаковка архива отменена пользователем!"},
    {Msg::PackCancelled, "pack-cancelled",
     "Запаковка архива отменена пользователем!"},
    {Msg::CatalogUnterminated, "catalog-unterminated",
     "Каталог файлов в архиве Kestrova PACK не завершен: архив поврежден."},
    {Msg::EntryPastEnd, "entry-past-end",
     "Данные файла выходят за пределы архива Kestrova PACK: архив "
     "поврежден"},
    {Msg::BadEntryName, "bad-entry-name",
     "Недопустимое имя файла в архиве Kestrova PACK"},
    {Msg::EntryIsArchive, "entry-is-archive",
     "Файл архива Kestrova PACK нельзя заменить файлом из него самого"},
    {Msg::SourceChanged, "source-changed",
     "Размер файла изменился во время запаковки"},
    {Msg::NameNotStorable, "name-not-storable",
     "Имя файла нельзя сохранить в архиве Kestrova PACK (символ \"?\", "
     "управляющий символ, имя устройства или точка либо пробел в конце)"},
    {Msg::ArchiveNotOpen, "archive-not-open", "архив не открыт: {1}"},
    {Msg::EmptyEntry, "empty-entry", "пустая запись каталога"},
    {Msg::NameTooLong, "name-too-long", "имя длиннее {1} байт"},
    {Msg::FewerFields, "fewer-fields", "в записи каталога меньше трех полей"},
    {Msg::NotANumber, "not-a-number", "в записи каталога не число"},
    {Msg::NumberTooLarge, "number-too-large", "число в записи каталога"},
    {Msg::StartOutOfRange, "start-out-of-range",
     "начало файла в архиве вне 32-битного диапазона"},
    {Msg::EndOutOfRange, "end-out-of-range",
     "конец файла в архиве вне 32-битного диапазона"},
    {Msg::RangeOutside, "range-outside",
     "\u00AB{1}\u00BB (позиции {2}-{3}, архив занимает позиции {4}-{5})"},
    {Msg::FileMissing, "file-missing",
     "Файл \u00AB{1}\u00BB отсутствует в пакете обновления."},
    {Msg::FileDamaged, "file-damaged",
     "Файл \u00AB{1}\u00BB в пакете обновления поврежден."},
    {Msg::FileLengthDiffers, "file-length-differs",
     "Файл \u00AB{1}\u00BB в пакете обновления поврежден: длина не "
     "совпадает."},
    {Msg::FileCrcDiffers, "file-crc-differs",
     "Файл \u00AB{1}\u00BB в пакете обновления поврежден: контрольная сумма "
     "не совпадает."},
    {Msg::ManifestCut, "manifest-cut",
     "Манифест пакета обновления поврежден: он выходит за конец файла ({1} "
     "байт)."},
    {Msg::ManifestTooLong, "manifest-too-long",
     "Манифест пакета обновления поврежден: его длина {1} байт больше "
     "допустимой."},
    {Msg::ManifestCrc, "manifest-crc",
     "Манифест пакета обновления поврежден: контрольная сумма не совпадает."},
    {Msg::ManifestUnreadable, "manifest-unreadable",
     "Манифест пакета обновления поврежден: его содержимое не читается."},
    {Msg::PackageLength, "package-length",
     "Размер пакета обновления {1} байт вместо {2} байт."},
    {Msg::CodePageMissing, "code-page-missing",
     "Кодовая страница {1} пакета обновления недоступна в этой системе."},
    {Msg::StreamDamaged, "stream-damaged",
     "Архив пакета обновления поврежден."},
};

constexpr bool InOrder() {
  for (size_t k = 0; k < kMsgCount; ++k)
    if (static_cast<size_t>(kEntries[k].msg) != k)
      return false;
  return true;
}
static_assert(InOrder(), "kEntries follows the order of Msg");

// As the image carries the table (platform/packed_pairs.h).
constexpr std::array<TextPair, kMsgCount> kPairs = [] {
  std::array<TextPair, kMsgCount> pairs{};
  for (size_t k = 0; k < kMsgCount; ++k)
    pairs[k] = {kEntries[k].key, kEntries[k].text};
  return pairs;
}();
constexpr auto kPacked = packed::Pack<packed::SizeOf(kPairs)>(kPairs);

std::array<std::string, kMsgCount> &Current() {
  static std::array<std::string, kMsgCount> texts = [] {
    std::array<std::string, kMsgCount> shipped;
    for (size_t k = 0; k < kMsgCount; ++k)
      shipped[k] = MsgDefault(static_cast<Msg>(k));
    return shipped;
  }();
  return texts;
}

} // namespace

const char *MsgKey(Msg msg) { return kPacked.First(static_cast<size_t>(msg)); }

std::string MsgDefault(Msg msg) {
  return kPacked.Second(static_cast<size_t>(msg));
}

const std::string &MsgText(Msg msg) {
  return Current()[static_cast<size_t>(msg)];
}

void SetMsgText(Msg msg, std::string text) {
  Current()[static_cast<size_t>(msg)] = std::move(text);
}

void ResetMsgTexts() {
  for (size_t k = 0; k < kMsgCount; ++k)
    Current()[k] = MsgDefault(static_cast<Msg>(k));
}

std::string FillIn(std::string_view pattern,
                   std::initializer_list<std::string_view> values) {
  std::string text;
  text.reserve(pattern.size());
  for (size_t i = 0; i < pattern.size(); ++i) {
    const bool slot = pattern[i] == '{' && i + 2 < pattern.size() &&
                      pattern[i + 1] >= '1' && pattern[i + 1] <= '9' &&
                      pattern[i + 2] == '}';
    const auto index = slot ? static_cast<size_t>(pattern[i + 1] - '1') : 0;
    if (slot && index < values.size()) {
      text += values.begin()[index];
      i += 2;
    } else {
      text += pattern[i];
    }
  }
  return text;
}

std::string Message(Msg msg, std::initializer_list<std::string_view> values) {
  return FillIn(MsgText(msg), values);
}

} // namespace platform
