// Choosing short, unique entry names.
#include "tools/entry_names.h"

#include "archive/catalog.h"
#include "package/checksums.h"
#include "package/expected_state.h"
#include "package/file_times.h"
#include "package/long_records.h"
#include "package/script_record.h"
#include "platform/codepage.h"
#include "platform/fs.h"
#include "tools/code_page_choice.h"

namespace tools {

namespace fs = platform::fs;

bool IsReservedEntryName(const std::string &name) {
  return fs::CompareNamesNoCase(name, package::script::kScriptName) == 0 ||
         fs::CompareNamesNoCase(name, package::sums::kEntryName) == 0 ||
         fs::CompareNamesNoCase(name, package::expect::kEntryName) == 0 ||
         fs::CompareNamesNoCase(name, package::script::kLongScriptName) == 0 ||
         fs::CompareNamesNoCase(name, package::times::kTimesName) == 0;
}

bool IsReadWholeEntryName(const std::string &name) {
  return IsReservedEntryName(name) &&
         fs::CompareNamesNoCase(name, package::sums::kEntryName) != 0;
}

bool IsWindowsName(const std::string &name) {
  return !archive::HasReservedChars(name) && archive::IsSafeEntryName(name) &&
         archive::WithoutTrailingDotsAndSpaces(name).size() == name.size();
}

bool IsUsableEntryName(const std::string &name) {
  std::string bytes;
  return TextToPage(name, bytes) && !bytes.empty() &&
         bytes.size() <= kMaxEntryNameBytes && IsWindowsName(name) &&
         !IsReservedEntryName(name);
}

bool FitsOneWindowsName(std::string_view name) {
  constexpr size_t kMaxUnits = 255;
  name = archive::WithoutTrailingDotsAndSpaces(name);
  if (name.size() <= kMaxUnits) // UTF-8 takes no fewer bytes than units
    return true;
  // FoldName gives the name's UTF-16 units, as NTFS counts them.
  return platform::fs::FoldName(name).size() <= kMaxUnits;
}

bool EntryNamer::Free(const std::string &name) const {
  return taken_.Clashing(name).clash == NameClash::None;
}

std::string EntryNamer::Assign(const std::string &fileName) {
  std::string name = fileName;
  if (!IsUsableEntryName(name) || !Free(name)) {
    const size_t dot = fileName.rfind('.');
    const std::string extension =
        dot == std::string::npos || dot == 0 ? "" : fileName.substr(dot);
    for (;;) {
      std::string number = "f";
      number += std::to_string(next_++);
      name = number + extension;
      if (!IsUsableEntryName(name))
        name = number; // the extension does not fit or cannot be carried
      if (IsUsableEntryName(name) && Free(name))
        break;
    }
  }
  taken_.Add(name, count_++);
  return name;
}

bool HoldsCombiningMark(std::string_view name) {
  for (size_t i = 0; i < name.size();) {
    const char32_t code = platform::NextCodePoint(name, i);
    // The blocks of combining marks that join Latin, Greek and Cyrillic
    // letters (a script's own points, Hebrew's say, are no such form).
    if ((code >= 0x0300 && code <= 0x036F) ||
        (code >= 0x1AB0 && code <= 0x1AFF) ||
        (code >= 0x1DC0 && code <= 0x1DFF) ||
        (code >= 0x20D0 && code <= 0x20FF) ||
        (code >= 0xFE20 && code <= 0xFE2F))
      return true;
  }
  return false;
}

std::string DecomposedNameWarning(const std::string &path) {
  return path + ": the name holds combining marks (Unicode decomposed form, "
                "as macOS writes names); the update writes it so, and it "
                "will not match the same name written precomposed on Windows";
}

} // namespace tools
