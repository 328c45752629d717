// The texts a package shows: the questions and messages of the run, the
// window's title and lines, the caption of every box. By default they are
// the shipped package's; `updpack build` may put other ones at the end of
// the program image (the texts block below), which the run reads before it
// asks its first question.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace package {

enum class Text : uint8_t {
  Confirm,    // the confirmation question
  Success,    // the success message
  Critical,   // the first line of the critical-error message
  Damaged,    // the sentence after a damaged package's failure
  Title,      // the progress window's title
  Caption,    // the caption of every message box
  Preparing,  // status line while the archive is copied out
  Unpacking,  // status line while it is unpacked
  Installing, // status line while the script runs
  Progress,   // what the progress line shows before "NN%"
  Abort,      // the question when the window is closed
};
inline constexpr size_t kTextCount = 11;
using Texts = std::array<std::string, kTextCount>;

inline const std::string &TextOf(const Texts &texts, Text text) {
  return texts[static_cast<size_t>(text)];
}

// One text: its key in a package's texts and in `updpack build --texts` files,
// and its default with {product} and {version} where it names them.
struct TextKey {
  const char *key;
  const char *pattern;
};
const TextKey &KeyOf(Text text);
inline const TextKey &KeyOf(size_t index) {
  return KeyOf(static_cast<Text>(index));
}

// The shipped package's product and version, which the defaults name.
inline constexpr const char *kDefaultProduct = "Quorix";
inline constexpr const char *kDefaultVersion = "1.1";

// The first line of the critical-error message.
inline constexpr const char *kCriticalText = "Произошла критическая ошибка:";
// Follows, on a line of its own, the description of a failure that shows
// the package itself to be damaged (a package of the wrong length, a
// trailer that points outside it, an archive that is not there, a file
// that differs from the one packed).
inline constexpr const char *kDamagedPackageText =
    "Пакет обновления поврежден или загружен не полностью. Загрузите его "
    "заново.";

// The default texts for a product and a version, as `updpack build` writes
// them: the shipped package's texts for the defaults, and the sentence
// that a damaged package adds to its failure.
Texts DefaultTexts(std::string_view product = kDefaultProduct,
                   std::string_view version = kDefaultVersion);
// The texts of a package without texts of its own: the shipped package's,
// which add nothing to a failure's message (no damaged sentence).
Texts PlainTexts();

// A package's own texts travel at the end of its program image, right
// before the archive (`updpack build` puts them there):
//   payload     pairs key 0x00 value 0x00, UTF-8 text: every text by its
//               key, "product" and "version" that the texts were made
//               for, and kSumsKey when the package carries the checksum
//               entry
//   length      of the payload, 32-bit little-endian
//   kTextsMagic 16 bytes
// They begin where the program image ends as its headers describe it, and
// end right before the archive. A package without them shows PlainTexts().
inline constexpr const char kTextsMagic[17] = "updpack texts v1";
// "sums" = "1": the package carries the checksum entry (~updpack.sum), so
// a package that comes out without it is damaged.
inline constexpr const char *kSumsKey = "sums";
inline constexpr size_t kTextsTrailerSize = 4 + 16;
inline constexpr size_t kMaxTextsPayload = 16 * 1024;

// The texts block of a payload.
std::string EncodeTextsBlock(std::string_view payload);
// The payload of the texts that end image (the bytes before the archive);
// nullopt when it ends in no texts.
std::optional<std::string_view> TextsPayload(std::string_view image);
// The payload of the texts that begin bytes (the bytes after the program
// image); nullopt when they begin with no texts.
std::optional<std::string_view> LeadingTextsPayload(std::string_view bytes);

// Calls visit(key, value) for every pair of a payload, in order. False,
// without a call, for a payload that is not a list of pairs: such a list
// holds an even number of zeros and ends in one.
template <typename Visit>
bool ForEachTextPair(std::string_view payload, Visit visit) {
  size_t zeros = 0;
  for (const char c : payload)
    zeros += c == '\0';
  if (zeros % 2 != 0 || (!payload.empty() && payload.back() != '\0'))
    return false;
  while (!payload.empty()) {
    const size_t keyEnd = payload.find('\0');
    const size_t valueEnd = payload.find('\0', keyEnd + 1);
    visit(payload.substr(0, keyEnd),
          payload.substr(keyEnd + 1, valueEnd - keyEnd - 1));
    payload.remove_prefix(valueEnd + 1);
  }
  return true;
}

// Applies a payload to texts: every text it names by a known key (unknown
// keys, product and version among them, are passed over), and sets *sums
// (when given) to whether it declares the checksum entry (kSumsKey). False,
// with nothing changed, for a payload that is not a list of pairs.
bool ApplyTextPayload(std::string_view payload, Texts &texts,
                      bool *sums = nullptr);

} // namespace package
