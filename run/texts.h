// The texts a package shows: the questions and messages of the run, the
// window's title and lines, the caption of every box. By default they are
// the shipped package's; `updpack build` may put other ones into a block of
// the program image, which the program reads before the run begins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mdl_main {

struct Texts {
  std::string confirm;    // the confirmation question
  std::string success;    // the success message
  std::string critical;   // the first line of the critical-error message
  std::string damaged;    // the sentence after a damaged package's failure
  std::string title;      // the progress window's title
  std::string caption;    // the caption of every message box
  std::string preparing;  // status line while the archive is copied out
  std::string unpacking;  // status line while it is unpacked
  std::string installing; // status line while the script runs
  std::string progress;   // what the progress line shows before "NN%"
  std::string abort;      // the question when the window is closed
};

// One key of the text block and of `updpack build --texts` files.
struct TextKey {
  const char *key;
  std::string Texts::*member;
  const char *meaning;
  size_t maxChars; // what the window or box shows whole
  bool lineBreaks; // may hold CR LF (message boxes only)
};
inline constexpr size_t kTextKeyCount = 11;
const TextKey *TextKeys(); // kTextKeyCount keys, in the order of Texts

// The shipped package's product and version, which the defaults name.
inline constexpr const char *kDefaultProduct = "Quorix";
inline constexpr const char *kDefaultVersion = "1.1";

// The default texts for a product and a version: the shipped package's
// texts when they are the defaults.
Texts DefaultTexts(std::string_view product = kDefaultProduct,
                   std::string_view version = kDefaultVersion);

// The texts of this run (the defaults until SetTexts), and their change,
// which also gives every message box its caption.
const Texts &CurrentTexts();
void SetTexts(const Texts &texts);

// The text block in the program image:
//   offset 0   kTextBlockMagic, 16 bytes
//   offset 16  length of the payload, 32-bit little-endian (0: defaults)
//   offset 20  the payload: pairs key 0x00 value 0x00, UTF-8 text
// padded with zeros to kTextBlockSize. The keys are those of TextKeys(),
// and "product" and "version" that the defaults were made with.
inline constexpr size_t kTextBlockSize = 4096;
inline constexpr size_t kTextBlockHeader = 20;
inline constexpr const char kTextBlockMagic[17] = "updpack texts v1";

// Applies the payload of a text block to texts: product and version first
// (the defaults made from them), then every key it names; unknown keys are
// passed over. False, with texts unchanged, for a payload that is not a
// list of pairs.
bool ApplyTextPayload(std::string_view payload, Texts &texts,
                      std::string *product = nullptr,
                      std::string *version = nullptr);

// The payload of a whole block (after its magic), or empty for a block
// whose length does not fit.
std::string_view TextPayload(std::string_view blockAfterMagic);

} // namespace mdl_main
