// The undoable install: steps, backup areas and the undo.
#include "run/transaction.h"

#include <algorithm>
#include <utility>

#include "package/script_record.h"
#include "package/texts.h"
#include "platform/decimal.h"
#include "platform/error.h"
#include "platform/fs.h"
#include "run/run_texts.h"

namespace mdl_main::txn {

namespace fs = platform::fs;

namespace {

Transaction *active = nullptr;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// What goes before path's last component, its separator included.
std::string PrefixOf(const std::string &path) {
  const size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

// True for a path below folder that no ".." leads out of.
bool IsInside(const std::string &folder, const std::string &path) {
  if (folder.empty() || path.size() <= folder.size() + 1 ||
      path.compare(0, folder.size(), folder) != 0 ||
      !IsSeparator(path[folder.size()]))
    return false;
  for (size_t at = folder.size(); at != std::string::npos;
       at = path.find_first_of("\\/", at + 1))
    if (path.compare(at + 1, 2, "..") == 0 &&
        (at + 3 == path.size() || IsSeparator(path[at + 3])))
      return false;
  return true;
}

// A rename; a file that cannot be renamed there (another volume) is copied
// and then deleted, and the copy goes again when the deletion fails.
void Move(const std::string &from, const std::string &to) {
  try {
    fs::Rename(from, to);
  } catch (const platform::Error &e) {
    const int32_t number = e.Number();
    if (number == platform::err::kFileNotFound ||
        number == platform::err::kPathNotFound ||
        number == platform::err::kPathFileAccess ||
        fs::KindOf(from) != fs::EntryKind::File)
      throw;
    try {
      fs::FileCopy(from, to);
      fs::RemoveFileOrLink(from);
    } catch (const platform::Error &) {
      try {
        fs::RemoveFileOrLink(to);
      } catch (const platform::Error &) {
      }
      throw e;
    }
  }
}

// Removes a folder with its read-only entries; failures are passed over.
void RemoveQuietly(const std::string &folder) {
  try {
    if (fs::KindOf(folder) != fs::EntryKind::Missing)
      fs::DeleteFolder(folder, true);
  } catch (const platform::Error &) {
  }
}

std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && IsSeparator(path.back()))
    path.pop_back();
  return path;
}

} // namespace

std::string NewFileOf(const std::string &target) {
  return PrefixOf(target) + kNewFileName;
}

Transaction *Active() { return active; }
void SetActive(Transaction *transaction) { active = transaction; }

Transaction::Transaction(std::string programFolder)
    : program_(std::move(programFolder)) {}

const std::string &Transaction::AreaFor(const std::string &path) {
  const std::string root =
      IsInside(program_, path) ? program_ + "\\" : PrefixOf(path);
  const std::string area = root + kBackupName;
  for (const std::string &made : areas_)
    if (made == area)
      return made;
  RemoveQuietly(root + kDoneName);
  if (fs::KindOf(area) != fs::EntryKind::Missing)
    throw platform::Error(
        platform::err::kPathFileAccess,
        package::FillIn(CurrentText(package::Text::LeftBackup),
                        {{"folder", area}}));
  fs::MkDir(area);
  steps_.push_back({Kind::Area, area, {}});
  try {
    fs::MarkHidden(area); // out of the user's sight; nothing depends on it
  } catch (const platform::Error &) {
  }
  areas_.push_back(area);
  return areas_.back();
}

void Transaction::MoveAside(const std::string &path) {
  std::string saved = AreaFor(path) + "\\" + platform::Decimal(++saved_);
  Move(path, saved);
  steps_.push_back({Kind::Moved, path, std::move(saved)});
}

void Transaction::CopyFile(const std::string &source, const std::string &target,
                           const platform::fs::FileTime *modified) {
  const fs::EntryKind kind = fs::KindOf(target);
  if (kind == fs::EntryKind::File || kind == fs::EntryKind::Link)
    MoveAside(target);
  // Recorded first: a copy cut short leaves part of a file to remove.
  const std::string written = NewFileOf(target);
  steps_.push_back({Kind::Written, written, {}});
  fs::FileCopy(source, written, modified);
  fs::Rename(written, target);
  steps_.push_back({Kind::Placed, target, {}});
}

void Transaction::DeleteFiles(const std::string &pattern) {
  const std::vector<std::string> names = fs::ListFiles(pattern);
  if (names.empty())
    platform::Raise(platform::err::kFileNotFound, pattern);
  const std::string prefix = PrefixOf(pattern);
  for (const std::string &name : names)
    MoveAside(prefix + name);
}

void Transaction::CreateFolder(const std::string &path) {
  fs::MkDir(path);
  steps_.push_back({Kind::Created, path, {}});
}

void Transaction::DeleteFolders(const std::string &pattern) {
  const std::string path = WithoutTrailingSeparators(pattern);
  const std::string prefix = PrefixOf(path);
  bool any = false;
  for (const std::string &name : fs::ListFolders(path)) {
    const std::string folder = prefix + name;
    // A backup area of this run is never a folder to delete.
    if (std::find(areas_.begin(), areas_.end(), folder) != areas_.end())
      continue;
    MoveAside(folder);
    any = true;
  }
  if (!any)
    platform::Raise(platform::err::kPathNotFound, pattern);
}

void Transaction::CarryOut(uint8_t operation, const std::string &source,
                           const std::string &target,
                           const platform::fs::FileTime *modified) {
  namespace record = package::script;
  switch (operation) {
  case record::kCopyFile:
    CopyFile(source, target, modified);
    break;
  case record::kDeleteFiles:
    DeleteFiles(target);
    break;
  case record::kCreateFolder:
    CreateFolder(target);
    break;
  case record::kDeleteFolder:
    DeleteFolders(target);
    break;
  default:
    break; // read and ignored
  }
}

void Transaction::Commit() {
  for (const std::string &area : areas_) {
    const std::string done = PrefixOf(area) + kDoneName;
    try {
      fs::Rename(area, done);
      RemoveQuietly(done);
    } catch (const platform::Error &) {
      RemoveQuietly(area);
    }
  }
  steps_.clear();
  areas_.clear();
}

void Transaction::UndoStep(const Step &step) {
  switch (step.kind) {
  case Kind::Moved:
    Move(step.saved, step.path);
    break;
  case Kind::Written:
  case Kind::Placed:
    fs::RemoveFileOrLink(step.path);
    break;
  case Kind::Created:
  case Kind::Area:
    fs::RemoveEmptyFolder(step.path);
    break;
  }
}

std::vector<std::string> Transaction::Undo() {
  std::vector<std::string> failed;
  for (auto step = steps_.rbegin(); step != steps_.rend(); ++step) {
    try {
      UndoStep(*step);
      if (step->kind == Kind::Area)
        std::erase(areas_, step->path);
    } catch (const platform::Error &) {
      // A backup area that still holds what could not go back is not
      // empty and stays, named by the failures before it; an empty one
      // goes, or the next run would refuse to start over it.
      if (step->kind == Kind::Area && !failed.empty())
        continue;
      if (std::find(failed.begin(), failed.end(), step->path) == failed.end())
        failed.push_back(step->path);
    }
  }
  steps_.clear();
  return failed;
}

std::string Transaction::BackupAreas() const {
  std::string joined;
  for (const std::string &area : areas_)
    joined += (joined.empty() ? "" : "; ") + area;
  return joined;
}

} // namespace mdl_main::txn
