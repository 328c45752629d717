// Errors found in a text file written by an author, printed the way
// compilers print them: "file:line:column: error: text", the line, a caret.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tools {

// A place in a text: 1-based line and column, the column counted in
// characters (UTF-8 code points), so the caret lands under the character.
struct SourcePos {
  int line = 0;
  int column = 0;
};

struct Diagnostic {
  SourcePos pos;
  std::string message;
};

// Errors printed at most: later ones are mostly echoes. Collectors keep one
// more, which only tells that more follow.
inline constexpr size_t kMaxDiagnostics = 10;

// Prints each diagnostic, then its source line and a caret under the
// column (tabs of the line are kept so the caret stays aligned): at most
// kMaxDiagnostics of them, and a closing note when there were more.
void PrintDiagnostics(std::ostream &out, const std::string &fileName,
                      std::string_view text,
                      const std::vector<Diagnostic> &diagnostics);

} // namespace tools
