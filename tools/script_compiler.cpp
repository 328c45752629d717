// Compiling the text form of an install script.
#include "tools/script_compiler.h"

#include <optional>
#include <stdexcept>

#include "package/long_records.h"
#include "package/script_record.h"
#include "tools/cli.h"
#include "tools/script_field.h"
#include "tools/script_lexer.h"

namespace tools::script_text {

namespace {

namespace script = package::script;

constexpr FieldSpec kSource{"source", script::kMaxLongField};
constexpr FieldSpec kTarget{"target", script::kMaxLongField};
constexpr std::string_view kTailMark = "#@tail";

// The operations written by name, and the paths each takes.
struct NamedOperation {
  const char *name;
  uint8_t code;
  int paths; // 1: the target only; 2: the source and the target
};
constexpr NamedOperation kOperations[] = {
    {"copy", script::kCopyFile, 2},
    {"delete", script::kDeleteFiles, 1},
    {"mkdir", script::kCreateFolder, 1},
    {"rmdir", script::kDeleteFolder, 1},
};

std::optional<uint8_t> ParseCode(const std::string &text) {
  if (text.empty() || text.size() > 3 ||
      text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  const int value = std::stoi(text);
  if (value > 255)
    return std::nullopt;
  return static_cast<uint8_t>(value);
}

// Column just past the last character of the line: where a missing word
// would go.
int EndColumn(const std::vector<Word> &words) {
  const Word &last = words.back();
  size_t characters = 0;
  for (char c : last.text)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
      ++characters;
  return last.contentColumn + static_cast<int>(characters) +
         (last.quoted ? 1 : 0);
}

class Compiler {
public:
  explicit Compiler(Installs installs) : installs_(installs) {}

  CompiledScript Run(std::string_view text) {
    int lineNumber = 0;
    size_t begin = 0;
    while (begin < text.size() && result_.errors.size() <= kMaxDiagnostics) {
      size_t end = text.find('\n', begin);
      if (end == std::string_view::npos)
        end = text.size();
      std::string_view line = text.substr(begin, end - begin);
      if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
      Line(line, ++lineNumber);
      begin = end + 1;
    }
    if (result_.errors.size() > kMaxDiagnostics + 1)
      result_.errors.resize(kMaxDiagnostics + 1);
    return std::move(result_);
  }

private:
  void Error(int line, int column, std::string message) {
    result_.errors.push_back({{line, column}, std::move(message)});
  }

  void Line(std::string_view line, int number) {
    const size_t first = line.find_first_not_of(" \t");
    if (first != std::string_view::npos &&
        line.substr(first, kTailMark.size()) == kTailMark &&
        (first + kTailMark.size() == line.size() ||
         IsBlank(line[first + kTailMark.size()]))) {
      Tail(line.substr(first + kTailMark.size()), number,
           static_cast<int>(first) + 1);
      return;
    }
    std::vector<Word> words;
    if (!SplitWords(line, number, words, result_.errors) || words.empty())
      return;
    if (tailLine_ != 0) {
      Error(number, words[0].column,
            "no operation may follow the #@tail line (line " +
                std::to_string(tailLine_) + ")");
      return;
    }
    Operation(words, number);
  }

  void Tail(std::string_view rest, int number, int column) {
    if (tailLine_ != 0) {
      Error(number, column,
            "a second #@tail line (the first is line " +
                std::to_string(tailLine_) + ")");
      return;
    }
    tailLine_ = number;
    const size_t from = rest.find_first_not_of(" \t");
    const size_t to = rest.find_last_not_of(" \t");
    const std::string_view bytes = from == std::string_view::npos
                                       ? std::string_view()
                                       : rest.substr(from, to - from + 1);
    if (!DecodeTail(bytes, result_.tail))
      Error(number, column,
            "#@tail holds printable ASCII and {0xNN} escapes only");
    else if (result_.tail.size() >= script::kRecordSize)
      Error(number, column,
            "#@tail holds " + std::to_string(result_.tail.size()) +
                " bytes; a tail is shorter than one record (65 bytes)");
  }

  void Operation(const std::vector<Word> &words, int number) {
    const Word &verb = words[0];
    CompiledRecord record;
    size_t firstPath = 1;
    int paths = 2;
    std::string what; // for the messages: "copy", "op 7"
    if (verb.quoted) {
      Error(number, verb.column, "an operation is not quoted");
      return;
    }
    if (verb.text == "op") {
      if (words.size() < 2) {
        Error(number, EndColumn(words), "op needs a code from 0 to 255");
        return;
      }
      const std::optional<uint8_t> code = ParseCode(words[1].text);
      if (!code || words[1].quoted) {
        Error(number, words[1].column,
              "op needs a code from 0 to 255, not \"" + words[1].text + "\"");
        return;
      }
      record.operation = *code;
      firstPath = 2;
      what = "op " + words[1].text;
    } else if (verb.text == "install") {
      if (installs_ == Installs::Refused) {
        Error(number, verb.column,
              "install names a file of a product folder: only `updpack "
              "build --from PRODUCT_DIR` compiles it");
        return;
      }
      record.operation = script::kCopyFile;
      record.install = true;
      what = "install";
    } else {
      const NamedOperation *named = nullptr;
      for (const NamedOperation &candidate : kOperations)
        if (verb.text == candidate.name)
          named = &candidate;
      if (!named) {
        Error(number, verb.column,
              "unknown operation \"" + verb.text +
                  "\"; expected copy, delete, mkdir, rmdir, op or install");
        return;
      }
      record.operation = named->code;
      paths = named->paths;
      what = named->name;
    }

    const size_t given = words.size() - firstPath;
    const char *takes = paths == 1 ? " takes one path, the target"
                        : record.install
                            ? " takes a product file and a target path"
                            : " takes a source and a target path";
    if (given < static_cast<size_t>(paths)) {
      Error(number, EndColumn(words),
            std::string("missing ") +
                (given == 0 && paths == 2
                     ? (record.install ? "product file" : "source path")
                     : "target path") +
                ": " + what + takes);
      return;
    }
    if (given > static_cast<size_t>(paths)) {
      const Word &extra = words[firstPath + paths];
      Error(number, extra.column,
            "unexpected word \"" + extra.text + "\": " + what + takes);
      return;
    }

    std::string bytes;
    const Word &targetWord = words[firstPath + paths - 1];
    if (paths == 1) {
      record.source.clear();
    } else if (record.install) {
      record.payload = words[firstPath].text;
    } else {
      if (!EncodeField(words[firstPath], kSource, number, bytes,
                       result_.errors))
        return;
      record.source = bytes;
    }
    if (!EncodeField(targetWord, kTarget, number, bytes, result_.errors))
      return;
    record.target = bytes;
    record.targetPos = {number, targetWord.contentColumn};
    if (paths == 2)
      record.sourcePos = {number, words[firstPath].contentColumn};
    result_.records.push_back(std::move(record));
  }

  Installs installs_;
  CompiledScript result_;
  int tailLine_ = 0; // the line of #@tail, once seen
};

} // namespace

CompiledScript CompileScript(std::string_view text, Installs installs) {
  return Compiler(installs).Run(text);
}

std::vector<std::string> PathTexts(std::string_view text) {
  std::vector<std::string> texts;
  std::vector<Diagnostic> ignored;
  std::vector<Word> words;
  int lineNumber = 0;
  for (size_t begin = 0; begin < text.size();) {
    size_t end = text.find('\n', begin);
    if (end == std::string_view::npos)
      end = text.size();
    std::string_view line = text.substr(begin, end - begin);
    if (!line.empty() && line.back() == '\r')
      line.remove_suffix(1);
    begin = end + 1;
    words.clear();
    if (!SplitWords(line, ++lineNumber, words, ignored) || words.empty())
      continue;
    // "op N" and "install FILE" come before the fields.
    const size_t first =
        words[0].text == "op" || words[0].text == "install" ? 2 : 1;
    for (size_t k = first; k < words.size(); ++k)
      texts.push_back(words[k].text);
  }
  return texts;
}

ScriptEntries ScriptForms(const CompiledScript &compiled) {
  ScriptEntries entries;
  bool fit = true;
  for (const CompiledRecord &record : compiled.records) {
    if (record.install && record.source.empty())
      throw std::logic_error("an install record without its source");
    fit = fit &&
          script::FitsRecord({record.operation, record.source, record.target});
  }
  if (fit) {
    entries.script.reserve(compiled.records.size() * script::kRecordSize +
                           compiled.tail.size());
    for (const CompiledRecord &record : compiled.records)
      script::EncodeRecord({record.operation, record.source, record.target},
                           entries.script);
    entries.script += compiled.tail;
    return entries;
  }
  // One record does not fit: every record goes into the long entry, in
  // order, and "script" stays empty.
  if (!compiled.tail.empty())
    throw ToolError("a #@tail line goes with a script whose records all fit "
                    "65 bytes (a source of at most 16 bytes, a target of at "
                    "most 48)");
  for (const CompiledRecord &record : compiled.records)
    script::EncodeLongRecord({record.operation, record.source, record.target},
                             entries.longScript);
  return entries;
}

std::string ScriptBytes(const CompiledScript &compiled) {
  ScriptEntries entries = ScriptForms(compiled);
  return entries.longScript.empty() ? std::move(entries.script)
                                    : std::move(entries.longScript);
}

} // namespace tools::script_text
