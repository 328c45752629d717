// Install-script paths outside {app} and {temp}, and records every run
// fails at.
#include "tools/script_paths.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "package/entry_limits.h"
#include "package/long_records.h"
#include "package/script_record.h"
#include "platform/codepage.h"
#include "platform/fs.h"
#include "platform/posix/native_path.h"
#include "platform/posix/syscalls.h"
#include "run/mdl_main.h"
#include "run/transaction.h"
#include "tools/entry_names.h"
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

// A field read as Windows reads it, as text (NamesBelowMark): the folder
// its mark names and the names below it, case folded. nullopt where
// NamesBelowMark has none.
struct FolderPath {
  char mark = 0;
  std::vector<std::u16string> names;
  bool operator==(const FolderPath &) const = default;
};

std::optional<FolderPath> ReadFolderPath(std::string_view field) {
  const std::optional<std::vector<std::string>> names = NamesBelowMark(field);
  if (!names)
    return std::nullopt;
  FolderPath read{script::TrimBlanks(field)[0], {}};
  for (const std::string &name : *names)
    read.names.push_back(platform::fs::FoldName(platform::AnsiToText(name)));
  return read;
}

// The first name of path, split at its separators, in UTF-8, for which
// is(name) holds; nullopt when none does.
template <typename Is>
std::optional<std::string> FirstName(std::string_view path, Is is) {
  for (size_t at = 0; at <= path.size();) {
    const size_t end = std::min(path.find_first_of("\\/", at), path.size());
    std::string name = platform::AnsiToText(path.substr(at, end - at));
    if (is(name))
      return name;
    at = end + 1;
  }
  return std::nullopt;
}

// The names of a path as the run reads it (platform::posix::NativePath):
// as Windows reads it as text.
std::vector<std::string> NamesOf(std::string_view path) {
  const std::string native = platform::posix::NativePath(std::string(path));
  std::vector<std::string> names;
  for (size_t at = 0; at < native.size();) {
    const size_t end = std::min(native.find('/', at), native.size());
    if (end > at)
      names.push_back(native.substr(at, end - at));
    at = end + 1;
  }
  return names;
}

} // namespace

std::optional<std::string> NameTooLong(std::string_view field) {
  return FirstName(script::TrimBlanks(field), [](const std::string &name) {
    return !FitsOneWindowsName(name);
  });
}

bool EndsInSeparator(std::string_view field) {
  const std::string_view path = script::TrimBlanks(field);
  return !path.empty() && IsSeparator(path.back());
}

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

std::optional<std::string> RefusedNewName(uint8_t operation,
                                          std::string_view target) {
  if (operation != script::kCopyFile && operation != script::kCreateFolder)
    return std::nullopt; // a deletion finds no device in a missing folder
  std::string path(script::TrimBlanks(target));
  // A file's path that ends in a separator names no file: both systems
  // refuse it as a bad file name. Named by its last name and separator.
  if (operation == script::kCopyFile && !path.empty() &&
      IsSeparator(path.back())) {
    const size_t at = path.find_last_of("\\/", path.size() - 2);
    const std::string name =
        path.substr(at == std::string::npos || path.size() < 2 ? 0 : at + 1);
    return name.size() == 2 && IsPlaceholder(name[0])
               ? (name[0] == script::kTempFolderMark ? "{temp}" : "{app}") +
                     name.substr(1)
               : platform::AnsiToText(name);
  }
  std::replace_if(path.begin(), path.end(), IsPlaceholder, 'F');
  const bool bad = platform::fs::IsBadNewName(path);
  path = platform::fs::WithoutTrailingSeparators(std::move(path));
  if (bad)
    return platform::AnsiToText(path.substr(path.find_last_of("\\/") + 1));
  // No folder on the way has a longer name than Windows makes, nor can the
  // new one.
  return NameTooLong(path);
}

std::optional<std::string> WorkNameOn(uint8_t operation,
                                      std::string_view target) {
  if (operation > script::kDeleteFolder)
    return std::nullopt; // read and ignored by the run
  // A mark is read as a folder whose name is no work name: {temp}'s NUL
  // would end the path where NativePath reads it.
  std::string path(script::TrimBlanks(target));
  std::replace_if(path.begin(), path.end(), IsPlaceholder, 'F');
  for (const std::string &name : NamesOf(path)) {
    // Windows keeps the blanks and all but one dot that end a name before
    // a separator ("~updpack.bak \x" is no work name): a name read so is
    // the run's own only as it is.
    const std::string text = platform::AnsiToText(name);
    if (text.find_last_not_of(". ") + 1 == text.size() &&
        mdl_main::txn::IsWorkName(text))
      return text;
  }
  return std::nullopt;
}

std::optional<std::vector<std::string>> NamesBelowMark(std::string_view field) {
  const std::string_view path = script::TrimBlanks(field);
  if (PathOutsideFolders(path))
    return std::nullopt;
  for (size_t at = 1; at < path.size();) {
    const size_t end = std::min(path.find_first_of("\\/", at + 1), path.size());
    const std::string_view name = path.substr(at + 1, end - at - 1);
    at = end;
    if (!name.empty() && name != "." && name != ".." &&
        name.find_first_not_of(". ") == std::string_view::npos)
      return std::nullopt; // Windows' reading of it is not plain
  }
  // Below the mark as below a root, which ".." never climbs above here
  // (PathOutsideFolders).
  return NamesOf(path.substr(1));
}

namespace {

// The path Windows makes of a field where each mark stands for the
// shortest folder it can, {app} a program in a drive's root ("C:") and
// {temp} the run's folder in the root of a TMP there (C:\VLSFX_QUORIX),
// and a path of no drive starts at the shortest current folder, a drive's
// root: written as the posix backend writes a path Windows reads as
// "C:\...", after "C:" and with "/" (a UNC path "\\server\share\..." as
// "//server/share/...", as long as its long form "\\?\UNC\server\...").
// Read as the run reads it (platform::posix::NativePath), ".." not above
// the root; newName in place of its last name, when given. nullopt for a
// path of \\?\ or \\.\, which Windows takes as written, and for a new
// name in place of a folder mark itself, which has faults of its own.
std::optional<std::string> AtShortestFolder(std::string_view field,
                                            const char *newName = nullptr) {
  const std::optional<std::vector<std::string>> names = NamesBelowMark(field);
  if (newName && names && names->empty())
    return std::nullopt;
  std::string text;
  for (const char c : script::TrimBlanks(field))
    text += c == script::kProgramFolderMark ? std::string("C:")
            : c == script::kTempFolderMark
                ? std::string("C:") + mdl_main::kTempFolderSuffix
                : std::string(1, c);
  const auto isSeparator = [&text](size_t at) {
    return at < text.size() && IsSeparator(text[at]);
  };
  std::string full;
  size_t root = 0;
  if (text.size() >= 2 && text[1] == ':') {
    root = 2; // "C:x" starts at the drive's current folder, here its root
  } else if (isSeparator(0) && isSeparator(1)) {
    if (text.size() > 2 && (text[2] == '?' || text[2] == '.'))
      return std::nullopt;
    full = "/";
    root = 1;
  }
  full += platform::posix::NativePath(
      platform::AnsiToText("\\" + text.substr(root)));
  if (newName) {
    if (full.ends_with('/'))
      return std::nullopt; // no last name to put it in place of
    full = full.substr(0, full.find_last_of('/') + 1) + newName;
  }
  return full;
}

// The field names a path longer than Windows takes, whatever folder its
// mark stands for (platform::posix::TooLongForWindows at AtShortestFolder).
bool TooLongEverywhere(std::string_view field, const char *newName = nullptr) {
  const std::optional<std::string> full = AtShortestFolder(field, newName);
  return full && platform::posix::TooLongForWindows(*full);
}

// The field goes through a folder "..." once Windows has read it
// (platform::posix::HoldsThreeDotFolder at AtShortestFolder).
bool ThroughThreeDots(std::string_view field) {
  const std::optional<std::string> full = AtShortestFolder(field);
  return full && platform::posix::HoldsThreeDotFolder(*full);
}

// One line for each thing does(record) tells a record does ("record 3 "
// and that, then the record; before records come ahead of the first), for
// the first 20 records it tells any of; after them one line that counts
// the rest ("5 more records " and theyDo): a script made to flood lists no
// more. does gives a list, empty for a record not to list.
template <typename Does>
std::vector<std::string> RecordLines(std::string_view bytes, ScriptForm form,
                                     size_t before, Does does,
                                     const char *theyDo) {
  constexpr size_t kMaxListed = 20;
  std::vector<std::string> lines;
  size_t k = before;
  size_t listed = 0;
  size_t unlisted = 0;
  script::ForEachRecord(bytes, form, [&](const script::Record &record) {
    ++k;
    if (record.operation > script::kDeleteFolder)
      return; // op 4 and above are read and ignored: no path is used
    const std::vector<const char *> what = does(record);
    if (what.empty())
      return;
    if (listed == kMaxListed) {
      ++unlisted;
      return;
    }
    ++listed;
    for (const char *one : what)
      lines.push_back("record " + std::to_string(k) + " " + one + ": " +
                      script_text::RecordLine(record));
  });
  if (unlisted > 0)
    lines.push_back(std::to_string(unlisted) + " more records " + theyDo);
  return lines;
}

// RecordLines for a does that tells at most one thing of a record (nullptr
// for none).
template <typename Does>
std::vector<std::string> RecordWarnings(std::string_view bytes, ScriptForm form,
                                        size_t before, Does does,
                                        const char *theyDo) {
  return RecordLines(
      bytes, form, before,
      [&does](const script::Record &record) {
        const char *what = does(record);
        return what ? std::vector<const char *>{what}
                    : std::vector<const char *>{};
      },
      theyDo);
}

} // namespace

std::vector<std::string> OutsidePathWarnings(std::string_view bytes,
                                             ScriptForm form, size_t before) {
  return RecordWarnings(
      bytes, form, before,
      [](const script::Record &record) {
        return (record.operation == script::kCopyFile &&
                PathOutsideFolders(record.source)) ||
                       PathOutsideFolders(record.target)
                   ? "works outside {app} and {temp}"
                   : nullptr;
      },
      "work outside {app} and {temp}");
}

namespace {

// The faults of one record, at most one of each path: a later check of a
// path that has its fault adds none.
class Faults {
public:
  void Add(const char *what, bool atSource,
           std::optional<std::string> refusedName = std::nullopt) {
    bool &taken = atSource ? source_ : target_;
    if (taken)
      return;
    taken = true;
    list.push_back({what, atSource, std::move(refusedName)});
  }

  std::vector<RecordFailure> list;

private:
  bool source_ = false;
  bool target_ = false;
};

// The faults of a record that names a folder mark itself, or of a copy
// onto its own source (see FailingRecords).
void AtAFolderItself(const script::Record &record, bool ours, Faults &faults) {
  const std::optional<FolderPath> target = ReadFolderPath(record.target);
  const bool targetIsFolder = target && target->names.empty();
  switch (record.operation) {
  case script::kCopyFile: {
    if (script::TrimBlanks(record.source).empty())
      faults.Add("copies an empty path, which names no file, and every run "
                 "fails there",
                 true);
    const std::optional<FolderPath> source = ReadFolderPath(record.source);
    if (source && source->names.empty())
      faults.Add("copies {temp} or {app} itself, a folder and no file, and "
                 "every run fails there",
                 true);
    if (targetIsFolder)
      faults.Add("copies onto {temp} or {app} itself, a folder, and every run "
                 "fails there",
                 false);
    if (NameTooLong(record.source))
      faults.Add("copies a path with a name longer than Windows makes one "
                 "(255 characters), and every run fails there",
                 true);
    // A fault of either path is the one to mend first.
    if (faults.list.empty() && source && source == target)
      faults.Add("copies a file onto itself, and every run fails there", false);
    return;
  }
  case script::kDeleteFolder:
    // The run holds its temporary folder, and a package of the base
    // format runs from the program folder.
    if (targetIsFolder && (target->mark == script::kTempFolderMark || !ours))
      faults.Add("removes {temp} or {app} itself, where the run works, and "
                 "every run fails there",
                 false);
    return;
  case script::kDeleteFiles:
    // One of ours checks the product first and skips or refuses it.
    if (targetIsFolder && !ours)
      faults.Add("deletes {temp} or {app} itself, a folder and no file, and "
                 "every run fails there",
                 false);
    return;
  case script::kCreateFolder:
    if (targetIsFolder && !ours)
      faults.Add(
          "makes {temp} or {app}, which is there, and every run fails there",
          false);
    return;
  default:
    return;
  }
}

} // namespace

std::vector<RecordFailure> FailuresOf(const script::Record &record, bool ours) {
  Faults faults;
  if (std::optional<std::string> name =
          RefusedNewName(record.operation, record.target))
    faults.Add("makes a name Windows refuses, and every run fails there", false,
               std::move(name));
  // The base format's run keeps no name for itself.
  if (ours && WorkNameOn(record.operation, record.target))
    faults.Add("names a file or folder as the run names its own work "
               "(~updpack.new, ~updpack.bak, ~updpack.del): the run fails "
               "there, or a later one takes it for its own",
               false);
  // Whatever folders the run is given: one of ours checks every target
  // of its script before the first (the base format's script holds no
  // path near the bound), and writes a new file as ~updpack.new beside
  // its target first.
  constexpr const char *kTooLong =
      "holds a path longer than Windows takes (32,767 UTF-16 units with "
      "\\\\?\\ and its NUL, even with {app} at C:\\ and {temp} at "
      "C:\\VLSFX_QUORIX), and every run fails there";
  if (record.operation == script::kCopyFile && TooLongEverywhere(record.source))
    faults.Add(kTooLong, true);
  if (record.operation <= script::kDeleteFolder &&
      (TooLongEverywhere(record.target) ||
       (ours && record.operation == script::kCopyFile &&
        TooLongEverywhere(record.target, mdl_main::txn::kNewFileName))))
    faults.Add(kTooLong, false);
  constexpr const char *kThreeDots =
      "goes through a folder \"...\", which Windows reads as \"..\" and "
      "refuses, and every run fails there";
  if (record.operation == script::kCopyFile && ThroughThreeDots(record.source))
    faults.Add(kThreeDots, true);
  if (record.operation <= script::kDeleteFolder &&
      ThroughThreeDots(record.target))
    faults.Add(kThreeDots, false);
  if (record.operation == script::kCopyFile && EndsInSeparator(record.source))
    faults.Add("copies a path that ends in a separator, which names no file, "
               "and every run fails there",
               true);
  if (!ours && record.operation == script::kDeleteFiles &&
      EndsInSeparator(record.target))
    faults.Add("deletes a path that ends in a separator, which names no "
               "file, and every run fails there",
               false);
  AtAFolderItself(record, ours, faults);
  return std::move(faults.list);
}

std::vector<std::string> FailingRecords(std::string_view bytes, ScriptForm form,
                                        bool ours, size_t before) {
  return RecordLines(
      bytes, form, before,
      [ours](const script::Record &record) {
        std::vector<const char *> what;
        for (const RecordFailure &failure : FailuresOf(record, ours))
          what.push_back(failure.what);
        return what;
      },
      "fail every run");
}

namespace {

// A path field that goes through a folder named as a device (CON\x.txt):
// Windows makes no such folder, so the run finds none there, unless one
// was made around Windows' own calls.
bool ThroughDeviceFolder(std::string_view field) {
  std::string path = platform::fs::WithoutTrailingSeparators(
      std::string(script::TrimBlanks(field)));
  const size_t last = path.find_last_of("\\/");
  if (last == std::string::npos)
    return false;
  path.resize(last);
  return FirstName(path,
                   [](const std::string &name) {
                     return platform::fs::IsDeviceName(name);
                   })
      .has_value();
}

} // namespace

std::vector<std::string> DeviceFolderWarnings(std::string_view bytes,
                                              ScriptForm form, size_t before) {
  return RecordWarnings(
      bytes, form, before,
      [](const script::Record &record) {
        return (record.operation == script::kCopyFile &&
                ThroughDeviceFolder(record.source)) ||
                       ThroughDeviceFolder(record.target)
                   ? "goes through a folder named as a device, which Windows "
                     "makes for no program: every run fails there unless "
                     "such a folder is there"
                   : nullptr;
      },
      "go through a folder named as a device");
}

std::vector<std::string> SeparatorDeletionWarnings(std::string_view bytes,
                                                   ScriptForm form, bool ours,
                                                   size_t before) {
  if (!ours)
    return {};
  return RecordWarnings(
      bytes, form, before,
      [](const script::Record &record) {
        return record.operation == script::kDeleteFiles &&
                       EndsInSeparator(record.target)
                   ? "deletes a path that ends in a separator, which names "
                     "no file: the run skips it, or refuses the update where "
                     "a folder has that name"
                   : nullptr;
      },
      "delete a path that ends in a separator");
}

std::vector<std::string> WorkNameInstallWarnings(std::string_view bytes,
                                                 ScriptForm form, bool ours,
                                                 size_t before) {
  if (ours)
    return {}; // faulted there (FailuresOf)
  return RecordWarnings(
      bytes, form, before,
      [](const script::Record &record) {
        // {temp} goes with the run; a later one makes its own.
        return (record.operation == script::kCopyFile ||
                record.operation == script::kCreateFolder) &&
                       !script::TrimBlanks(record.target)
                            .starts_with(script::kTempFolderMark) &&
                       WorkNameOn(record.operation, record.target)
                   ? "installs a name that a package of ours keeps for its "
                     "own work (~updpack.new, ~updpack.bak, ~updpack.del): "
                     "a later update of ours there refuses to start or "
                     "takes it for its own"
                   : nullptr;
      },
      "install a name that a package of ours keeps for its own work");
}

std::vector<std::string> ScriptWarnings(std::string_view bytes, ScriptForm form,
                                        bool ours, size_t before) {
  std::vector<std::string> warnings = OutsidePathWarnings(bytes, form, before);
  for (std::string &warning : DeviceFolderWarnings(bytes, form, before))
    warnings.push_back(std::move(warning));
  for (auto *more :
       {&SeparatorDeletionWarnings, &WorkNameInstallWarnings, &FailingRecords})
    for (std::string &warning : more(bytes, form, ours, before))
      warnings.push_back(std::move(warning));
  return warnings;
}

size_t RecordCount(std::string_view bytes, ScriptForm form) {
  return script::ForEachRecord(bytes, form, [](const script::Record &) {})
      .records;
}

ScriptForm FormOfEntry(std::string_view name) {
  return platform::fs::CompareNamesNoCase(std::string(name),
                                          script::kLongScriptName) == 0
             ? ScriptForm::Long
             : ScriptForm::Records;
}

int64_t RepeatedPlaceholderBytesAtLongest(const std::string &name,
                                          std::string_view bytes) {
  int64_t repeated = 0;
  const auto add = [&](const script::Record &record) {
    for (const std::string_view field : {record.source, record.target})
      repeated += script::RepeatedPlaceholderBytes(
          field, package::kLongestFolderBytes, package::kLongestFolderBytes);
  };
  const ScriptForm form = FormOfEntry(name);
  if (form == ScriptForm::Long ||
      platform::fs::CompareNamesNoCase(name, script::kScriptName) == 0)
    script::ForEachRecord(bytes, form, add);
  return repeated;
}

} // namespace tools
