// The texts a package shows: the questions and messages of the run, the
// window's title and lines, the caption of every box. By default they are
// the shipped package's; `updpack build` writes them, with the product and
// version they name, into the package's manifest (package/manifest.h),
// from which the run takes them before its first question.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "package/text_sets.h"
#include "platform/messages.h"

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
  // Packages with a manifest: the check of the installed product before
  // the install, a run already going, and the install undone.
  Checking,       // status line while the installed product is checked
  UpToDate,       // the product is already what the update makes it
  NotExpected,    // {for} and {file}: another version is installed
  Earlier,        // {for} when the package names no version
  WrongFolder,    // started where none of the product's files is
  InUse,          // {file} is held open: Retry or Cancel
  RolledBack,     // a failed install, every step undone ({cause})
  Unrestored,     // a failed install that could not be undone whole
                  // ({cause}, {files}, {folder})
  AlreadyRunning, // another copy of the update is running
  Usage,          // the box of the /? switch: the switches and exit codes
  // The file's description in its properties (the version resource's
  // FileDescription); the run does not show it.
  Description,
  LeftBackup, // a backup area left by an interrupted run ({folder})
  Aborted,    // the cause of an abort whose undo was not whole
  Leftover,   // a failed install whose old files all went back, but some
              // new ones could not be removed ({cause}, {files})
};
inline constexpr size_t kTextCount = 25;
using Texts = std::array<std::string, kTextCount>;

inline const std::string &TextOf(const Texts &texts, Text text) {
  return texts[static_cast<size_t>(text)];
}

// One text: its key in a manifest and in `updpack build --texts` files,
// and its default with {product} and {version} where it names them.
struct TextKey {
  const char *key;
  std::string pattern;
};
TextKey KeyOf(Text text);
inline TextKey KeyOf(size_t index) { return KeyOf(static_cast<Text>(index)); }

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
// them: the language's set (package/text_sets.h; Russian: the shipped
// package's texts), and the sentence that a damaged package adds to its
// failure.
Texts DefaultTexts(std::string_view product = kDefaultProduct,
                   std::string_view version = kDefaultVersion,
                   Language language = Language::Russian);
// The texts of a package without a manifest: the shipped package's, which
// add nothing to a failure's message (no damaged sentence).
Texts PlainTexts();

// pattern with every {name} of fills replaced by its value, in one pass
// (a value is not searched again); other braces stay as they are.
struct Fill {
  std::string_view name; // without the braces
  std::string_view value;
};
std::string FillIn(std::string_view pattern, std::initializer_list<Fill> fills);

// Applies the texts of a manifest's payload: every text it names by a known
// key (other keys are passed over). False, with nothing changed, for a
// payload that is not a list of pairs.
bool ApplyTexts(std::string_view payload, Texts &texts);

// The text of a composed message (platform/messages.h) in a language's set.
std::string MessageTextIn(Language language, platform::Msg msg);
// Puts the messages a manifest's payload names by their keys into effect
// (platform::SetMsgText); other keys are passed over.
void ApplyMessages(std::string_view payload);

} // namespace package
