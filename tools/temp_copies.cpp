#include "tools/temp_copies.h"

#include "package/script_record.h"
#include "platform/codepage.h"
#include "tools/script_paths.h"

namespace tools {

namespace {

namespace script = package::script;

// The name a field reads from the temporary folder: the one name below
// {temp} that it comes to, read as Windows reads it ("{temp}\\.\\a.txt" and
// "{temp}\\sub\\..\\a.txt" name a.txt), "" for any other (the folder
// itself, a file below a folder in it). A separator that ends it stays:
// such a path names no file (both systems refuse it as a bad file name),
// and no entry gives it.
std::string TempFolderName(std::string_view field) {
  field = script::TrimBlanks(field);
  if (field.empty() || field[0] != script::kTempFolderMark)
    return {};
  const std::optional<std::vector<std::string>> names = NamesBelowMark(field);
  if (!names || names->size() != 1)
    return {};
  return platform::AnsiToText(names->front()) +
         (EndsInSeparator(field) ? "\\" : "");
}

} // namespace

std::string TempCopies::Unmet(uint8_t operation, std::string_view source,
                              std::string_view target,
                              const NameIndex &entries) {
  ++records_;
  if (operation != script::kCopyFile)
    return {};
  std::string name = TempFolderName(source);
  if (!name.empty() && (entries.Find(name) != NameIndex::kNone ||
                        made_.Find(name) != NameIndex::kNone))
    name.clear();
  if (const std::string made = TempFolderName(target); !made.empty())
    made_.Add(made, records_);
  return name;
}

} // namespace tools
