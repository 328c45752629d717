// Install-script paths outside {app} and {temp}.
#include "tools/script_paths.h"

#include "package/entry_limits.h"
#include "package/long_records.h"
#include "package/script_record.h"
#include "platform/fs.h"
#include "tools/script_printer.h"

namespace tools {

namespace {

namespace script = package::script;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsPlaceholder(char c) {
  return c == script::kTempFolderMark || c == script::kProgramFolderMark;
}

// A component Windows reads as the parent folder: two or more dots, with
// the dots and blanks it drops at the end of a name.
bool ClimbsUp(std::string_view component) {
  return component.find_first_not_of(". ") == std::string_view::npos &&
         component.find("..") != std::string_view::npos;
}

} // namespace

bool PathOutsideFolders(std::string_view field) {
  const std::string_view path = script::TrimBlanks(field);
  if (path.empty() || !IsPlaceholder(path[0]) ||
      (path.size() > 1 && !IsSeparator(path[1])))
    return true;
  int depth = 0;
  for (size_t at = 1; at < path.size();) {
    size_t end = at + 1;
    while (end < path.size() && !IsSeparator(path[end]))
      ++end;
    const std::string_view component = path.substr(at + 1, end - at - 1);
    for (const char c : component)
      if (IsPlaceholder(c))
        return true;
    if (ClimbsUp(component)) {
      if (--depth < 0)
        return true;
    } else if (component.find_first_not_of(". ") != std::string_view::npos) {
      ++depth;
    }
    at = end;
  }
  return false;
}

std::vector<std::string> OutsidePathWarnings(std::string_view bytes) {
  // A script made to flood: the first ones and a count of the rest.
  constexpr size_t kMaxListed = 20;
  std::vector<std::string> warnings;
  size_t k = 0;
  size_t unlisted = 0;
  script::ForEachRecord(bytes, [&](const script::Record &record) {
    ++k;
    if (record.operation > script::kDeleteFolder)
      return; // read and ignored: no path is used
    const bool source = record.operation == script::kCopyFile &&
                        PathOutsideFolders(record.source);
    const bool target = PathOutsideFolders(record.target);
    if (!source && !target)
      return;
    if (warnings.size() == kMaxListed)
      ++unlisted;
    else
      warnings.push_back("record " + std::to_string(k) +
                         " works outside {app} and {temp}: " +
                         script_text::RecordLine(record));
  });
  if (unlisted > 0)
    warnings.push_back(std::to_string(unlisted) +
                       " more records work outside {app} and {temp}");
  return warnings;
}

int64_t RepeatedPlaceholderBytesAtLongest(const std::string &name,
                                          std::string_view bytes) {
  int64_t repeated = 0;
  const auto add = [&](const script::Record &record) {
    for (const std::string_view field : {record.source, record.target})
      repeated += script::RepeatedPlaceholderBytes(
          field, package::kLongestFolderBytes, package::kLongestFolderBytes);
  };
  if (platform::fs::CompareNamesNoCase(name, script::kScriptName) == 0)
    for (size_t at = 0; at + script::kRecordSize <= bytes.size();
         at += script::kRecordSize)
      add(script::DecodeRecord(bytes.substr(at)));
  else if (platform::fs::CompareNamesNoCase(name, script::kLongScriptName) ==
               0 &&
           script::IsLongScript(bytes))
    script::ForEachRecord(bytes, add);
  return repeated;
}

} // namespace tools
