// Fuzz target: the text form of an install script, as `updpack script
// compile` and `build --from` read an author's file, and its writer. The
// first byte's low bit chooses: 0 the rest is a text, compiled; its
// diagnostics name places inside it and print, and one that compiles
// whole is canonical once written back: show(compile(x)) compiles into
// the same bytes. 1 the rest is a binary script, which `script show`
// writes as a text that compiles without a diagnostic into the same
// records (fields without the blanks that pad them) and tail.
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/harness.h"
#include "package/long_records.h"
#include "package/script_record.h"
#include "tools/cli.h"
#include "tools/diagnostics.h"
#include "tools/script_compiler.h"
#include "tools/script_printer.h"

namespace {

namespace script = package::script;
namespace text = tools::script_text;
using fuzzing::Fail;

// A record as the run sees it: its fields without the padding blanks.
struct Plain {
  uint8_t operation;
  std::string source;
  std::string target;
  bool operator==(const Plain &) const = default;
};

std::string Trimmed(std::string_view field) {
  const size_t end = field.find_last_not_of(' ');
  return std::string(
      field.substr(0, end == std::string_view::npos ? 0 : end + 1));
}

struct Walked {
  std::vector<Plain> records;
  std::string tail;
  bool cut;
};

Walked Walk(std::string_view bytes) {
  Walked walked;
  const script::ScriptWalk walk = script::ForEachRecord(
      bytes, script::FormOfBytes(bytes), [&](const script::Record &record) {
        walked.records.push_back(
            {record.operation, Trimmed(record.source), Trimmed(record.target)});
      });
  walked.tail = std::string(bytes.substr(bytes.size() - walk.tail));
  walked.cut = walk.cut;
  return walked;
}

int LineCount(std::string_view text) {
  int lines = 1;
  for (char c : text)
    lines += c == '\n';
  return lines;
}

// The diagnostics of a compilation of text: at most one past the limit,
// each at a line of the text, and printed without fault.
void CheckDiagnostics(std::string_view source,
                      const std::vector<tools::Diagnostic> &errors) {
  if (errors.size() > tools::kMaxDiagnostics + 1)
    Fail("more diagnostics than are kept");
  const int lines = LineCount(source);
  for (const tools::Diagnostic &error : errors)
    if (error.pos.line < 1 || error.pos.line > lines || error.pos.column < 1 ||
        error.message.empty())
      Fail("a diagnostic outside the text: " + error.message);
  std::ostringstream printed;
  tools::PrintDiagnostics(printed, "s.txt", source, errors);
}

void CompileText(std::string_view source) {
  text::PathTexts(source);
  const text::CompiledScript refused =
      text::CompileScript(source, text::Installs::Refused);
  CheckDiagnostics(source, refused.errors);
  const text::CompiledScript allowed =
      text::CompileScript(source, text::Installs::Allowed);
  CheckDiagnostics(source, allowed.errors);
  if (!refused.errors.empty())
    return;
  std::string bytes;
  try {
    bytes = text::ScriptBytes(refused);
  } catch (const tools::ToolError &) {
    return; // a tail with a record that fits no 65 bytes: refused
  }
  const std::string shown = text::ShowScript(bytes, script::FormOfBytes(bytes));
  const text::CompiledScript again =
      text::CompileScript(shown, text::Installs::Refused);
  if (!again.errors.empty())
    Fail("the text of a compiled script does not compile:\n" + shown);
  if (text::ScriptBytes(again) != bytes)
    Fail("the text of a compiled script compiles into other bytes:\n" + shown);
}

void ShowBinary(std::string_view bytes) {
  const Walked walked = Walk(bytes);
  const std::string shown = text::ShowScript(bytes, script::FormOfBytes(bytes));
  const text::CompiledScript compiled =
      text::CompileScript(shown, text::Installs::Refused);
  if (!compiled.errors.empty())
    Fail("script show wrote a text that does not compile: " +
         compiled.errors[0].message + "\n" + shown);
  std::string again;
  try {
    again = text::ScriptBytes(compiled);
  } catch (const tools::ToolError &) {
    Fail("script show wrote a text whose script cannot be written:\n" + shown);
  }
  const Walked back = Walk(again);
  if (back.records != walked.records || back.tail != walked.tail || back.cut)
    Fail("script show wrote a text of other records:\n" + shown);
  if (!walked.cut && !script::IsLongScript(bytes) && again != bytes)
    Fail("a script of 65-byte records does not come back byte for byte");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  return fuzzing::ByFirstBit(data, size, CompileText, ShowBinary);
}
