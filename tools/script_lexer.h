// Words of one line of a text install script: blanks separate words, a
// path with blanks is written in double quotes, and a "#" that begins a
// word starts a comment to the end of the line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tools/diagnostics.h"

namespace tools::script_text {

struct Word {
  std::string text;      // without the quotes
  int column = 0;        // of the word's first character (a quote)
  int contentColumn = 0; // of the first character of text
  bool quoted = false;
};

// Splits line number lineNumber into words. Quotes hold no escapes (a path
// cannot hold a '"'). Returns false, with a diagnostic added, for an
// unclosed quote, a word that goes on after its closing quote or a quote
// inside a word.
bool SplitWords(std::string_view line, int lineNumber, std::vector<Word> &words,
                std::vector<Diagnostic> &errors);

// True for the blanks that separate words.
inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }

} // namespace tools::script_text
