// Compiler-style printing of the errors of an author's text file.
#include "tools/diagnostics.h"

#include "platform/codepage.h"
#include "tools/console_ui.h"

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

// The line as printed: nothing in it may drive the terminal.
std::string Shown(std::string_view line) {
  return ConsoleUi::Printable(line, ConsoleUi::Tabs::Keep);
}

// Under the printed line: a blank for every character shown before the
// column's character (tabs kept), then "^".
std::string Caret(std::string_view line, int column) {
  size_t index = 0;
  int missing = 0; // columns just past the end: a missing word
  for (int i = 1; i < column; ++i) {
    if (index < line.size())
      platform::NextCodePoint(line, index);
    else
      ++missing;
  }
  const std::string before = Shown(line.substr(0, index));
  std::string caret;
  for (size_t i = 0; i < before.size();) {
    caret += before[i] == '\t' ? '\t' : ' ';
    platform::NextCodePoint(before, i);
  }
  return caret + std::string(static_cast<size_t>(missing), ' ') + "^";
}

} // namespace

void PrintDiagnostics(std::ostream &out, const std::string &fileName,
                      std::string_view text,
                      const std::vector<Diagnostic> &diagnostics) {
  for (size_t i = 0; i < diagnostics.size() && i < kMaxDiagnostics; ++i) {
    const Diagnostic &d = diagnostics[i];
    out << ConsoleUi::Printable(fileName) << ":" << d.pos.line << ":"
        << d.pos.column << ": error: " << ConsoleUi::Printable(d.message)
        << "\n";
    const std::string_view line = LineOf(text, d.pos.line);
    out << Shown(line) << "\n" << Caret(line, d.pos.column) << "\n";
  }
  if (diagnostics.size() > kMaxDiagnostics)
    out << ConsoleUi::Printable(fileName)
        << ": too many errors, stopping here\n";
}

} // namespace tools
