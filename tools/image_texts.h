// The texts and file properties that `updpack build` puts into a package:
// the run's texts in its manifest (package/manifest.h), the product,
// version, company and copyright in its version resource.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "package/manifest.h"
#include "package/texts.h"

namespace tools {

struct ImageTexts {
  std::string product = package::kDefaultProduct;
  std::string version = package::kDefaultVersion;
  std::string company;
  std::string copyright;
  std::map<std::string, std::string> replaced; // text key -> text
  std::string textsFile;                       // that replaced came from
  // The version the update is for (empty: not named), and whether the
  // package carries the expected state (package/expected_state.h).
  std::string forVersion;
  bool expect = false;
  // The language of the texts, the composed messages and the version
  // resource (--lang).
  package::Language language = package::Language::Russian;
  // The code page of the package's names and script, declared in its
  // manifest; 0 until build has chosen it.
  int codePage = 0;

  // True when anything but the defaults is asked for.
  bool Asked() const;
};

// A --texts file: UTF-8, one `key = value` a line; blank lines and lines
// whose first non-blank character is # are skipped; in a value, \n is a
// line break and \\ a backslash. Raises ToolError naming the file and line
// for an unknown key, a key given twice or a line without "=".
std::map<std::string, std::string> ReadTextsFile(const std::string &path);

// The language of --lang ("ru", "en"); raises UsageError for another.
package::Language ParseLanguageOption(const std::string &code);

// The key list for `updpack help build`.
std::string TextKeysHelp();

// What build refuses in texts made for product and version, one message
// each: a text too long for the window or box that shows it (or for the
// room the version resource keeps), a character Windows cannot show there,
// an empty question. verify reports a package's texts by the same rules.
std::vector<std::string> TextFaults(const std::string &product,
                                    const std::string &version,
                                    const package::Texts &texts);

// The texts a run of the package shows, checked: raises ToolError for the
// first of TextFaults, and for a company or copyright too long for the
// version resource or with a character Windows cannot show.
package::Texts CheckTexts(const ImageTexts &texts);

// The room a package keeps for its texts, in bytes of the manifest.
inline constexpr size_t kTextsRoom = 16 * 1024;

// The pairs of the manifest that build writes for texts (the package's
// length joins them once the package is laid out): the product and
// version, the language, the declaration of the checksum entry that every
// package of build carries, the code page, and every text and message the
// program composes (platform/messages.h) that differs from what the run
// starts from (the Russian texts for that product and version, the
// program's own messages), all in the language's set with what --texts
// replaces. Raises ToolError as CheckTexts does, and for
// texts beyond kTextsRoom.
std::string ManifestPayload(const ImageTexts &texts);

// Puts the product, version (its numbers, ParseVersion), company,
// copyright and the description text into the image's version resource,
// in the texts' language. Raises ToolError, before anything is changed, as
// CheckTexts does. An image without a version resource keeps blank file
// properties, with a warning.
void PutProperties(std::string &image, const ImageTexts &texts);

// What a package's manifest says: the product and version its texts were
// made for, the texts given in place of the defaults, the texts a run
// shows, and the keys that no run of this version reads. A manifest that
// is absent or damaged says nothing (own false, the shipped texts).
struct FoundTexts {
  bool own = false;       // an intact manifest
  bool sums = false;      // it declares the checksum entry
  bool expect = false;    // it declares the expected state
  std::string forVersion; // the version the update is for; empty: none
  std::string product = package::kDefaultProduct;
  std::string version = package::kDefaultVersion;
  package::Language language = package::Language::Russian;
  std::map<std::string, std::string> replaced; // against the language's set
  package::Texts texts = package::PlainTexts();
  // Every composed message (platform/messages.h) in effect: key, text.
  std::vector<std::pair<std::string, std::string>> messages;
  std::vector<std::string> unknownKeys;
};
FoundTexts ManifestTexts(const package::Manifest &manifest);

} // namespace tools
