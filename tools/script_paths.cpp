// Install-script paths outside {app} and {temp}.
#include "tools/script_paths.h"

#include "package/long_records.h"
#include "package/script_record.h"
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
  std::vector<std::string> warnings;
  size_t k = 0;
  script::ForEachRecord(bytes, [&](const script::Record &record) {
    ++k;
    if (record.operation > script::kDeleteFolder)
      return; // read and ignored: no path is used
    const bool source = record.operation == script::kCopyFile &&
                        PathOutsideFolders(record.source);
    const bool target = PathOutsideFolders(record.target);
    if (source || target)
      warnings.push_back("record " + std::to_string(k) +
                         " works outside {app} and {temp}: " +
                         script_text::RecordLine(record));
  });
  return warnings;
}

} // namespace tools
