#include "tools/temp_copies.h"

#include <algorithm>
#include <optional>

#include "archive/catalog.h"
#include "package/long_records.h"
#include "package/script_record.h"
#include "platform/codepage.h"
#include "platform/fs.h"
#include "tools/script_paths.h"
#include "tools/script_printer.h"

namespace tools {

namespace {

namespace script = package::script;
using package::expect::KeyIndex;

// The records at which every run fails that are kept until the last
// record: a script made to flood keeps no more.
constexpr size_t kMaxPending = 4096;

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

// A path field read as plainly as the run's check reads it: the key is the
// mark, then "\" and each name folded (platform::fs::FoldName), the last
// without the dots and blanks that end it (archive::
// WithoutTrailingDotsAndSpaces); a pattern's key is its folder's. name:
// the last name, UTF-8.
struct PlainPath {
  std::u16string key;
  std::string name;
  bool pattern = false; // the last name holds * or ?
};

bool EndsInDotOrBlank(std::string_view name) {
  return archive::WithoutTrailingDotsAndSpaces(name).size() != name.size();
}

// nullopt for a path whose reading is not plain here, which could name
// any path the records before leave: outside the two folders, through "."
// or "..", "/" or a name of dots and blanks, a short name's "~", a pattern
// on the way, a mark itself, and a separator after its end (a folder's
// record, folder, names the folder so unless its last name ends in a dot
// or a blank, which the run's mkdir and rmdir read apart).
std::optional<PlainPath> ReadPlain(std::string_view field, bool folder) {
  std::string_view path = script::TrimBlanks(field);
  if (PathOutsideFolders(path) || path.find('/') != std::string_view::npos)
    return std::nullopt;
  if (folder)
    while (path.size() > 2 && path.back() == '\\')
      path.remove_suffix(1);
  if (path.size() < 2 || path.back() == '\\' ||
      (path.size() < script::TrimBlanks(field).size() &&
       EndsInDotOrBlank(path)))
    return std::nullopt;
  PlainPath read{std::u16string(1, static_cast<char16_t>(path[0])), {}};
  for (size_t at = 2; at <= path.size();) {
    const size_t end = std::min(path.find('\\', at), path.size());
    std::string_view name = path.substr(at, end - at);
    const bool last = end == path.size();
    at = end + 1;
    if (name.find_first_not_of(". ") == std::string_view::npos ||
        name.find('~') != std::string_view::npos ||
        (!last && (EndsInDotOrBlank(name) ||
                   name.find_first_of("*?") != std::string_view::npos)))
      return std::nullopt;
    if (last) {
      // A pattern's dots and blanks are its own ("*." matches names
      // without a dot).
      read.pattern = name.find_first_of("*?") != std::string_view::npos;
      read.name = platform::AnsiToText(
          read.pattern ? name : archive::WithoutTrailingDotsAndSpaces(name));
      if (read.pattern)
        break;
    }
    read.key += u'\\';
    read.key +=
        platform::fs::FoldName(last ? read.name : platform::AnsiToText(name));
  }
  return read;
}

// A path's parent: its key and last name; the mark's for a name in it.
PlainPath ParentOf(const PlainPath &path, std::string_view field) {
  const size_t cut = path.key.find_last_of(u'\\');
  std::string_view written = script::TrimBlanks(field);
  while (written.size() > 2 && written.back() == '\\')
    written.remove_suffix(1);
  written = written.substr(0, written.find_last_of('\\'));
  return {path.key.substr(0, cut),
          platform::AnsiToText(written.substr(written.find_last_of('\\') + 1)),
          false};
}

} // namespace

std::string TempCopies::Unmet(uint8_t operation, std::string_view source,
                              std::string_view target,
                              const NameIndex &entries) {
  if (operation != script::kCopyFile)
    return {};
  std::string name = TempFolderName(source);
  if (!name.empty() && (entries.Find(name) != NameIndex::kNone ||
                        made_.Find(name) != NameIndex::kNone))
    name.clear();
  if (const std::string made = TempFolderName(target); !made.empty())
    made_.Add(made, records_ + 1);
  return name;
}

TempCopies::Look TempCopies::At(const std::u16string &key,
                                std::string_view name, bool ours) const {
  // The latest record at the path or at a folder above it; each folder
  // looked up by the hash of the key so far.
  size_t best = latest_.Find(key);
  size_t length = key.size();
  uint64_t hash = KeyIndex::kFirstHash;
  for (size_t at = 0; at < key.size();
       hash = KeyIndex::Hashed(hash, key[at++])) {
    if (key[at] != u'\\')
      continue;
    const size_t above = latest_.Find({key.data(), at}, hash);
    if (above != KeyIndex::kNone && (best == KeyIndex::kNone || above > best)) {
      best = above;
      length = at;
    }
  }
  if (best == KeyIndex::kNone)
    return {};
  const Laid &laid = laid_[best];
  const bool exact = length == key.size();
  Look look{Kind::Nothing, &laid, length};
  if (!laid.pattern.empty()) {
    // The base format deletes every file of the folder that matches; one
    // of ours may have skipped the record.
    const bool inIt = !exact && key.find_last_of(u'\\') == length;
    look.kind =
        !ours && inIt && laid.operation == script::kDeleteFiles &&
                platform::fs::MatchesPattern(std::string(name), laid.pattern)
            ? Kind::NoFile
            : Kind::Unknown;
  } else if (exact) {
    look.kind = laid.operation == script::kCopyFile       ? Kind::File
                : laid.operation == script::kCreateFolder ? Kind::Folder
                                                          : Kind::Nothing;
  } else if (laid.operation == script::kCreateFolder && ours) {
    // Made new and empty by the base format's run; one of ours finds it
    // done where the folder is there, with whatever it holds.
    look.kind = Kind::Unknown;
  }
  return look;
}

namespace {

const char *KindText(int kind) {
  static const char *const kTexts[] = {"a file", "a folder", "nothing",
                                       "no file"};
  return kTexts[kind];
}

} // namespace

void TempCopies::Add(const script::Record &record, bool atSource,
                     const char *what, const Look &look,
                     const std::u16string &key, const std::u16string &self,
                     bool ours) {
  if (pending_.size() >= kMaxPending)
    return;
  Pending pending;
  pending.fault = {records_, atSource,
                   std::string(what) + " where record " +
                       std::to_string(look.by->record) + " leaves " +
                       KindText(static_cast<int>(look.kind)),
                   script_text::RecordLine(record)};
  pending.certain = !ours;
  pending.by = key.substr(0, look.length);
  pending.self = self;
  pending.byRecord = look.by->record;
  pending_.push_back(std::move(pending));
}

void TempCopies::Judge(const script::Record &record, bool ours) {
  const uint8_t op = record.operation;
  if (op == script::kCopyFile) {
    const std::optional<PlainPath> source = ReadPlain(record.source, false);
    const Look look = source && !source->pattern
                          ? At(source->key, source->name, ours)
                          : Look{};
    // A copy opens its source first, whatever else the record does.
    if (look.kind != Kind::File && look.kind != Kind::Unknown)
      Add(record, true, "copies a path", look, source->key, {}, ours);
  }
  const std::optional<PlainPath> target =
      ReadPlain(record.target, op >= script::kCreateFolder);
  if (!target || target->pattern)
    return;
  const bool makes = op == script::kCopyFile || op == script::kCreateFolder;
  const PlainPath parent = ParentOf(*target, record.target);
  if (const Look look = At(parent.key, parent.name, ours);
      look.kind == Kind::File || look.kind == Kind::Nothing) {
    // One of ours skips a deletion there: nothing to delete.
    if (!ours || makes)
      Add(record, false, "goes into a folder", look, parent.key, target->key,
          ours);
    return;
  }
  if (ours)
    return; // a record before on the path may be skipped for this one
  const Look look = At(target->key, target->name, ours);
  const char *what = nullptr;
  switch (op) {
  case script::kCopyFile:
    what = look.kind == Kind::Folder ? "copies onto a path" : nullptr;
    break;
  case script::kCreateFolder:
    what = look.kind == Kind::File || look.kind == Kind::Folder
               ? "makes a folder"
               : nullptr;
    break;
  case script::kDeleteFiles:
    what = look.kind == Kind::Folder || look.kind == Kind::Nothing ||
                   look.kind == Kind::NoFile
               ? "deletes a path"
               : nullptr;
    break;
  default:
    what = look.kind == Kind::File || look.kind == Kind::Nothing
               ? "removes a path"
               : nullptr;
    break;
  }
  if (what)
    Add(record, false, what, look, target->key, {}, ours);
}

void TempCopies::Forget() {
  latest_ = KeyIndex();
  laid_.clear();
  forgotten_ = records_;
}

void TempCopies::Lay(const script::Record &record, bool ours) {
  ++records_;
  const uint8_t op = record.operation;
  if (blind_ || op > script::kDeleteFolder)
    return; // read and ignored by the run
  Judge(record, ours);
  // The run reads its records from the script as each comes: one written
  // over tells nothing of the records after it.
  const std::string temp = TempFolderName(record.target);
  for (const char *name : {script::kScriptName, script::kLongScriptName})
    if (platform::fs::CompareNamesNoCase(temp, name) == 0) {
      Forget();
      blind_ = true;
      return;
    }
  const std::optional<PlainPath> target =
      ReadPlain(record.target, op >= script::kCreateFolder);
  // A new name with * or ? is none Windows makes.
  if (!target || (target->pattern &&
                  (op == script::kCopyFile || op == script::kCreateFolder))) {
    Forget();
    return;
  }
  latest_.Set(target->key, laid_.size());
  laid_.push_back({records_, op, target->pattern ? target->name : ""});
  if (!target->pattern)
    last_.Set(target->key, records_);
}

std::vector<LaidFault> TempCopies::Faults() const {
  std::vector<LaidFault> faults;
  for (const Pending &pending : pending_)
    if (pending.certain || (forgotten_ < pending.byRecord &&
                            last_.Find(pending.by) == pending.byRecord &&
                            (pending.self.empty() ||
                             last_.Find(pending.self) == pending.fault.record)))
      faults.push_back(pending.fault);
  return faults;
}

std::vector<std::string> LaidFaultLines(const std::vector<LaidFault> &faults) {
  constexpr size_t kMaxListed = 20;
  std::vector<std::string> lines;
  for (size_t k = 0; k < faults.size() && k < kMaxListed; ++k)
    lines.push_back("record " + std::to_string(faults[k].record) + " " +
                    faults[k].what +
                    ", and every run fails there: " + faults[k].line);
  if (faults.size() > kMaxListed)
    lines.push_back(std::to_string(faults.size() - kMaxListed) +
                    " more records fail every run as the records before "
                    "leave their paths");
  return lines;
}

} // namespace tools
