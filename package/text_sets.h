// The sets of texts `updpack build --lang` writes into a package: every
// keyed text (package/texts.h) and every message the program composes
// (platform/messages.h) in one language. Russian is the shipped program's
// set, except that a package with a manifest names no archive format in
// its messages.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace package {

enum class Language : uint8_t { Russian, English };

struct LanguageInfo {
  Language language;
  const char *code;   // as --lang takes it
  uint16_t windowsId; // the resource language: 0x0419, 0x0409
};
// The info of a language; nullptr for a code none has.
const LanguageInfo *FindLanguage(std::string_view code);
const LanguageInfo &InfoOf(Language language);

// The text of key in a language's set, {product} and {version} not filled
// in; none for a key the set does not give (Russian: the program's own
// text then stands).
std::optional<std::string> SetText(Language language, std::string_view key);

} // namespace package
