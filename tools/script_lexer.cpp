// Splitting a line of a text install script into words.
#include "tools/script_lexer.h"

#include "platform/codepage.h"

namespace tools::script_text {

bool SplitWords(std::string_view line, int lineNumber, std::vector<Word> &words,
                std::vector<Diagnostic> &errors) {
  size_t i = 0;
  int column = 1;
  // Moves past one character (a code point) of the line.
  const auto advance = [&] {
    platform::NextCodePoint(line, i);
    ++column;
  };
  const auto fail = [&](int at, std::string message) {
    errors.push_back({{lineNumber, at}, std::move(message)});
    return false;
  };
  for (;;) {
    while (i < line.size() && IsBlank(line[i]))
      advance();
    if (i >= line.size() || line[i] == '#')
      return true;
    Word word;
    word.column = column;
    if (line[i] == '"') {
      word.quoted = true;
      advance();
      word.contentColumn = column;
      const size_t close = line.find('"', i);
      if (close == std::string_view::npos)
        return fail(word.column, "missing closing quote");
      while (i < close) {
        const size_t from = i;
        advance();
        word.text.append(line.substr(from, i - from));
      }
      advance(); // the closing quote
      if (i < line.size() && !IsBlank(line[i]))
        return fail(column, "a blank must follow the closing quote");
    } else {
      word.contentColumn = column;
      while (i < line.size() && !IsBlank(line[i])) {
        if (line[i] == '"')
          return fail(column, "a quote inside a word: quote the whole "
                              "path, or write {0x22} for the byte");
        const size_t from = i;
        advance();
        word.text.append(line.substr(from, i - from));
      }
    }
    words.push_back(std::move(word));
  }
}

} // namespace tools::script_text
