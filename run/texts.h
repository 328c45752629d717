// The texts a package shows: the questions and messages of the run, the
// window's title and lines, the caption of every box. By default they are
// the shipped package's; `updpack build` may put other ones at the end of
// the program image, which the run reads before it asks its first question.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mdl_main {

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

// One text: its key in a package's texts and in `updpack build --texts`
// files, and its default with {product} and {version} where it names them.
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

// The default texts for a product and a version: the shipped package's
// texts for the defaults.
Texts DefaultTexts(std::string_view product = kDefaultProduct,
                   std::string_view version = kDefaultVersion);

// A text of this run (the defaults until SetTexts), and the change of them
// all, which also gives every message box its caption.
const std::string &CurrentText(Text text);
void SetTexts(const Texts &texts);

// A package's own texts travel at the end of its program image, right
// before the archive (`updpack build` puts them there):
//   payload     pairs key 0x00 value 0x00, UTF-8 text: every text by its
//               key, and "product" and "version" that the texts were made
//               for
//   length      of the payload, 32-bit little-endian
//   kTextsMagic 16 bytes
// A package without them shows the defaults.
inline constexpr const char kTextsMagic[17] = "updpack texts v1";
inline constexpr size_t kTextsTrailerSize = 4 + 16;
inline constexpr size_t kMaxTextsPayload = 16 * 1024;

// The payload of the texts that end image (the bytes before the archive);
// nullopt when it ends in no texts.
std::optional<std::string_view> TextsPayload(std::string_view image);

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
// keys, product and version among them, are passed over). False, with
// nothing changed, for a payload that is not a list of pairs.
bool ApplyTextPayload(std::string_view payload, Texts &texts);

// Puts the package's own texts into effect for the run, read from the end
// of the program image in its own executable; a package without them, or
// one that cannot be read here, keeps the defaults (a run that then fails
// to read its executable says so in its own step).
void LoadPackageTexts();

} // namespace mdl_main
