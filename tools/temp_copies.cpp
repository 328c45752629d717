#include "tools/temp_copies.h"

#include "package/script_record.h"
#include "platform/codepage.h"

namespace tools {

namespace {

namespace script = package::script;

// The name a field reads from the temporary folder: the rest of "\0\NAME"
// when it names a file directly in it, "" otherwise. A separator that ends
// it stays: such a path names no file (both systems refuse it as a bad
// file name), and no entry gives it.
std::string TempFolderName(std::string_view field) {
  if (field.size() < 3 || field[0] != script::kTempFolderMark ||
      field[1] != '\\')
    return {};
  const size_t separator = field.find_first_of("\\/", 2);
  if (separator != std::string_view::npos && separator + 1 != field.size())
    return {};
  return platform::AnsiToText(std::string(field.substr(2)));
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
