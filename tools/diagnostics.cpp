// Compiler-style printing of the errors of an author's text file.
#include "tools/diagnostics.h"

#include "platform/codepage.h"

namespace tools {

namespace {

// Line n (1-based) of text without its line end; empty past the end.
std::string_view LineOf(std::string_view text, int n) {
  size_t begin = 0;
  for (int i = 1; i < n; ++i) {
    const size_t newline = text.find('\n', begin);
    if (newline == std::string_view::npos)
      return {};
    begin = newline + 1;
  }
  std::string_view line = text.substr(begin);
  line = line.substr(0, line.find('\n'));
  if (!line.empty() && line.back() == '\r')
    line.remove_suffix(1);
  return line;
}

// Control characters would move the cursor of a terminal: shown as '?'.
std::string Printable(std::string_view line) {
  std::string shown;
  for (char c : line)
    shown += (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F
                 ? '?'
                 : c;
  return shown;
}

// Blanks up to column, one per character, tabs kept, then "^".
std::string Caret(std::string_view line, int column) {
  std::string caret;
  size_t index = 0;
  for (int i = 1; i < column; ++i) {
    if (index < line.size()) {
      caret += line[index] == '\t' ? '\t' : ' ';
      platform::NextCodePoint(line, index);
    } else {
      caret += ' '; // a column just past the end: a missing word
    }
  }
  return caret + "^";
}

} // namespace

void PrintDiagnostics(std::ostream &out, const std::string &fileName,
                      std::string_view text,
                      const std::vector<Diagnostic> &diagnostics) {
  for (size_t i = 0; i < diagnostics.size() && i < kMaxDiagnostics; ++i) {
    const Diagnostic &d = diagnostics[i];
    out << fileName << ":" << d.pos.line << ":" << d.pos.column
        << ": error: " << d.message << "\n";
    const std::string_view line = LineOf(text, d.pos.line);
    out << Printable(line) << "\n" << Caret(line, d.pos.column) << "\n";
  }
  if (diagnostics.size() > kMaxDiagnostics)
    out << fileName << ": too many errors, stopping here\n";
}

} // namespace tools
