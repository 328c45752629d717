// Writing a binary install script in its text form.
#include "tools/script_printer.h"

#include <sstream>

#include "package/long_records.h"
#include "package/script_record.h"
#include "tools/script_field.h"

namespace tools::script_text {

namespace {

namespace script = package::script;

// Columns of the text form, for readers: the operation, then the source.
constexpr size_t kOperationWidth = 8;
constexpr size_t kSourceWidth = 24;

// Characters of UTF-8 text.
size_t Width(std::string_view text) {
  size_t width = 0;
  for (char c : text)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
      ++width;
  return width;
}

void AppendPadded(std::string &line, const std::string &word, size_t width) {
  line += word;
  line.append(Width(word) < width ? width - Width(word) : 1, ' ');
}

const char *TargetOnlyName(uint8_t code) {
  switch (code) {
  case script::kDeleteFiles:
    return "delete";
  case script::kCreateFolder:
    return "mkdir";
  case script::kDeleteFolder:
    return "rmdir";
  default:
    return nullptr;
  }
}

} // namespace

std::string RecordLine(const script::Record &record) {
  const auto [code, source, target] = record;
  std::string line;
  const char *name = TargetOnlyName(code);
  if (name && source.find_first_not_of(' ') == std::string_view::npos) {
    AppendPadded(line, name, kOperationWidth);
    return line + FieldWord(target);
  }
  AppendPadded(
      line, code == script::kCopyFile ? "copy" : "op " + std::to_string(code),
      kOperationWidth);
  AppendPadded(line, FieldWord(source), kSourceWidth);
  return line + FieldWord(target);
}

void ShowScript(std::string_view bytes, script::Form form, std::ostream &out) {
  const script::ScriptWalk walk =
      script::ForEachRecord(bytes, form, [&](const script::Record &record) {
        out << RecordLine(record) << '\n';
      });
  if (walk.cut)
    out << "# the entry ends inside a record, which is never carried out\n";
  const std::string_view tail = bytes.substr(bytes.size() - walk.tail);
  if (!tail.empty())
    out << "# " << tail.size()
        << " bytes after the last whole record are never carried out\n"
           "#@tail "
        << TailWord(tail) << '\n';
}

std::string ShowScript(std::string_view bytes, script::Form form) {
  std::ostringstream text;
  ShowScript(bytes, form, text);
  return text.str();
}

} // namespace tools::script_text
