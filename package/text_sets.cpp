// The language sets of a package's texts. Adding a key: one line here for
// each language beside Russian (the test text_sets finds a missing one).
#include "package/text_sets.h"

#include "platform/packed_pairs.h"

namespace package {

namespace {

struct KeyText {
  const char *key;
  const char *text;
};

constexpr LanguageInfo kLanguages[] = {
    {Language::Russian, "ru", 0x0419},
    {Language::English, "en", 0x0409},
};

// Russian for a package with a manifest where the program's own text names
// the archive format.
constexpr KeyText kRussian[] = {
    {"not-archive", "Пакет обновления не содержит архива своих файлов."},
    {"no-catalog", "В пакете обновления не найден список файлов."},
    {"catalog-unterminated",
     "Список файлов в пакете обновления не завершен: пакет поврежден."},
    {"entry-past-end",
     "Данные файла выходят за пределы пакета обновления: пакет поврежден"},
    {"bad-entry-name", "Недопустимое имя файла в пакете обновления"},
    {"entry-is-archive",
     "Архив пакета обновления нельзя заменить файлом из него самого"},
    {"name-not-storable",
     "Имя файла нельзя сохранить в пакете обновления (символ \"?\", "
     "управляющий символ, имя устройства или точка либо пробел в конце)"},
};

constexpr KeyText kEnglish[] = {
    // The run's texts.
    {"confirm", "The update of {product} to version {version} will now be "
                "installed.\r\nContinue?"},
    {"success", "The update to version {version} was installed successfully!"},
    {"critical", "A critical error occurred:"},
    {"damaged", "The update package is damaged or was not downloaded "
                "completely. Please download it again."},
    {"title", "{product} Update"},
    {"caption", "{product}"},
    {"preparing", "Preparing the installation..."},
    {"unpacking", "Unpacking the update package..."},
    {"installing", "Installing the update..."},
    {"progress", "Done "},
    {"abort", "Abort the update?"},
    {"checking", "Checking the installed product..."},
    {"uptodate", "{product} is already up to date at version {version}."},
    {"notexpected", "This update is for {product} {for}; the file "
                    "\"{file}\" is not that version.\r\nNothing was changed."},
    {"earlier", "an earlier version"},
    {"wrongfolder", "Start the update from the folder {product} is installed "
                    "in.\r\nNothing was changed."},
    {"inuse", "The file \"{file}\" is in use. Close {product} and press "
              "Retry."},
    {"rolledback", "The update failed; the product was left as it was.\r\n"
                   "{cause}"},
    {"notrestored", "The update failed, and the product could not be put "
                    "back as it was.\r\n{cause}\r\nNot restored: {files}"
                    "\r\nThe old versions of the files are in the folder "
                    "{folder}."},
    {"running", "An update of {product} is already running."},
    {"usage", "Command line:\r\n"
              "/S - update without questions or windows; the result is the "
              "exit code\r\n"
              "/LOG=FILE - write the course of the update to FILE\r\n"
              "/D=FOLDER - update the program in FOLDER\r\n"
              "/? - show this help\r\n"
              "Exit codes: 0 success, 1 failed, 2 declined, 3 aborted, "
              "4 not the expected version, 5 files in use, 6 another update "
              "running."},
    {"description", "{product} update"},
    {"interrupted", "An earlier update was interrupted: the old versions of "
                    "the product's files are in the folder {folder}. Put them "
                    "back or delete that folder, then start the update "
                    "again."},
    {"aborted", "The update was aborted."},
    {"leftover", "The update failed; the old files were put back.\r\n"
                 "{cause}\r\nNew files not removed: {files}"},
    // The messages the program composes.
    {"error-5", "Invalid procedure call or argument"},
    {"error-6", "Overflow"},
    {"error-7", "Out of memory"},
    {"error-9", "Subscript out of range"},
    {"error-13", "Type mismatch"},
    {"error-52", "Bad file name or number"},
    {"error-53", "File not found"},
    {"error-54", "Bad file mode"},
    {"error-55", "File already open"},
    {"error-57", "Device I/O error"},
    {"error-58", "File already exists"},
    {"error-61", "Disk full"},
    {"error-62", "Input past end of file"},
    {"error-63", "Bad record number"},
    {"error-64", "Bad file name"},
    {"error-67", "Too many files"},
    {"error-70", "Permission denied"},
    {"error-75", "Path/File access error"},
    {"error-76", "Path not found"},
    {"error-other", "Error {1}"},
    {"too-large",
     "{1} (a file of 2 GB or more; at most 2147483647 bytes are allowed)"},
    {"at-position", "{1} (position {2})"},
    {"record-position", "{1}, position {2}"},
    {"copy-onto-itself", "{1} -> {2} (the file would be copied onto itself)"},
    {"os-code", "code {1}"},
    {"read-only", " (read-only)"},
    {"write-through-link", " (a link: nothing is written through a link)"},
    {"not-real-folder", " (a link, not a folder: nothing is done in it)"},
    {"not-own-folder", " (the folder belongs to another user)"},
    {"others-can-write", " (other users can write into the folder)"},
    {"not-archive", "The update package holds no archive of its files."},
    {"no-catalog", "No list of files was found in the update package."},
    {"extract-cancelled", "Unpacking was cancelled by the user!"},
    {"pack-cancelled", "Packing was cancelled by the user!"},
    {"catalog-unterminated", "The list of files in the update package is "
                             "incomplete: the package is damaged."},
    {"entry-past-end", "A file's data reach past the end of the update "
                       "package: the package is damaged"},
    {"bad-entry-name", "Invalid file name in the update package"},
    {"entry-is-archive",
     "The update package's archive cannot be replaced by a file from it"},
    {"source-changed", "The file's size changed while it was being packed"},
    {"name-not-storable",
     "The file name cannot be stored in the update package (a \"?\", a "
     "control character, a device name, or a dot or blank at its end)"},
    {"archive-not-open", "the archive is not open: {1}"},
    {"empty-entry", "an empty entry in the list of files"},
    {"name-too-long", "a name longer than {1} bytes"},
    {"fewer-fields", "an entry of the list of files has fewer than three "
                     "fields"},
    {"not-a-number", "an entry of the list of files holds no number"},
    {"number-too-large", "a number in the list of files"},
    {"start-out-of-range", "a file's start lies outside the 32-bit range"},
    {"end-out-of-range", "a file's end lies outside the 32-bit range"},
    {"range-outside",
     "\u00AB{1}\u00BB (positions {2}-{3}; the package's archive takes "
     "positions {4}-{5})"},
    {"file-missing", "The file \u00AB{1}\u00BB is missing from the update "
                     "package."},
    {"file-damaged", "The file \u00AB{1}\u00BB in the update package is "
                     "damaged."},
    {"file-length-differs", "The file \u00AB{1}\u00BB in the update package "
                            "is damaged: its length differs."},
    {"file-crc-differs", "The file \u00AB{1}\u00BB in the update package is "
                         "damaged: its checksum differs."},
    {"manifest-cut", "The update package's manifest is damaged: it reaches "
                     "past the end of the file ({1} bytes)."},
    {"manifest-too-long", "The update package's manifest is damaged: its "
                          "length of {1} bytes is more than allowed."},
    {"manifest-crc",
     "The update package's manifest is damaged: its checksum differs."},
    {"manifest-unreadable",
     "The update package's manifest is damaged: its content cannot be read."},
    {"package-length",
     "The update package is {1} bytes long instead of {2} bytes."},
    {"code-page-missing", "The update package's code page {1} is not "
                          "available on this system."},
    {"stream-damaged", "The update package's archive is damaged."},
};

// As the image carries the sets (platform/packed_pairs.h).
template <size_t N>
constexpr std::array<platform::TextPair, N> Pairs(const KeyText (&set)[N]) {
  std::array<platform::TextPair, N> pairs{};
  for (size_t k = 0; k < N; ++k)
    pairs[k] = {set[k].key, set[k].text};
  return pairs;
}
constexpr auto kRussianPairs = Pairs(kRussian);
constexpr auto kEnglishPairs = Pairs(kEnglish);
constexpr auto kRussianPacked =
    platform::packed::Pack<platform::packed::SizeOf(kRussianPairs)>(
        kRussianPairs);
constexpr auto kEnglishPacked =
    platform::packed::Pack<platform::packed::SizeOf(kEnglishPairs)>(
        kEnglishPairs);

template <size_t N, size_t Size>
std::optional<std::string> Find(const platform::PackedPairs<N, Size> &set,
                                std::string_view key) {
  for (size_t k = 0; k < N; ++k)
    if (set.FirstIs(k, key))
      return set.Second(k);
  return std::nullopt;
}

} // namespace

const LanguageInfo *FindLanguage(std::string_view code) {
  for (const LanguageInfo &info : kLanguages)
    if (code == info.code)
      return &info;
  return nullptr;
}

const LanguageInfo &InfoOf(Language language) {
  return kLanguages[static_cast<size_t>(language)];
}

std::optional<std::string> SetText(Language language, std::string_view key) {
  return language == Language::English ? Find(kEnglishPacked, key)
                                       : Find(kRussianPacked, key);
}

} // namespace package
