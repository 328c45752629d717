// The undoable install: steps, backup areas and the undo.
#include "run/transaction.h"

#include <algorithm>
#include <utility>

#include "archive/catalog.h"
#include "package/script_record.h"
#include "package/texts.h"
#include "platform/decimal.h"
#include "platform/env.h"
#include "platform/error.h"
#include "platform/fs.h"
#include "platform/os_file.h"
#include "platform/ui.h"
#include "run/run_texts.h"

namespace mdl_main::txn {

namespace fs = platform::fs;
namespace os = platform::os;

namespace {

Transaction *active = nullptr;
// Backup areas of committed transactions, renamed kDoneName, to remove.
std::vector<std::string> doneAreas;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The letters of the journal's steps, in the order of Transaction::Kind;
// the steps a later run may undo are the first four.
constexpr char kKinds[] = "MWPCA";
constexpr std::string_view kSteps(kKinds, 4);

// What goes before path's last component, its separator included.
std::string PrefixOf(const std::string &path) {
  const size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

// True for a path below folder that no ".." leads out of.
bool IsInside(const std::string &folder, const std::string &path) {
  if (folder.empty() || !fs::IsBelow(folder, path))
    return false;
  for (size_t at = folder.size(); at != std::string::npos;
       at = path.find_first_of("\\/", at + 1))
    if (path.compare(at + 1, 2, "..") == 0 &&
        (at + 3 == path.size() || IsSeparator(path[at + 3])))
      return false;
  return true;
}

// path as Windows reads it where its text leads through "..": what a
// backup area and a journal line go by, so that "nosuch\..\x.txt" is moved
// into the program folder's area (its text's own, "nosuch\..\~updpack.bak",
// would be that area again) and a later run's undo finds its line.
std::string AsRead(const std::string &folder, const std::string &path) {
  return IsInside(folder, path) ? path : platform::AbsolutePath(path);
}

// A rename; a file that cannot be renamed there (another volume) is copied
// and then deleted, and the copy goes again when the deletion fails. A file
// at to stops the copy, as it stops a rename, unless over: a move aside cut
// off in its copy leaves the old file in place and part of it in the area,
// which its undo must not write over the old file; the undo of a move that
// was whole (a later step was taken, or a line after it says so) writes
// over what a copy back cut off left.
void Move(const std::string &from, const std::string &to, bool over) {
  try {
    fs::Rename(from, to);
  } catch (const platform::Error &e) {
    const int32_t number = e.Number();
    if (number == platform::err::kFileNotFound ||
        number == platform::err::kPathNotFound ||
        number == platform::err::kPathFileAccess ||
        fs::KindOf(from) != fs::EntryKind::File ||
        (!over && fs::KindOf(to) != fs::EntryKind::Missing))
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

// The refusal to work over a backup area that cannot be undone.
[[noreturn]] void RaiseLeftBackup(const std::string &area) {
  throw platform::Error(platform::err::kPathFileAccess,
                        package::FillIn(CurrentText(package::Text::LeftBackup),
                                        {{"folder", area}}));
}

// The decimal number a file moved aside has in its area.
bool IsNumber(std::string_view text) {
  return !text.empty() &&
         text.find_first_not_of("0123456789") == std::string_view::npos;
}

} // namespace

bool IsWorkName(std::string_view name) {
  const std::string read(archive::WithoutTrailingDotsAndSpaces(name));
  for (const char *kept : {kBackupName, kNewFileName, kDoneName})
    if (fs::CompareNamesNoCase(read, kept) == 0)
      return true;
  return false;
}

std::string NewFileOf(const std::string &target) {
  return PrefixOf(target) + kNewFileName;
}

Transaction *Active() { return active; }
void SetActive(Transaction *transaction) { active = transaction; }

Transaction::Transaction(std::string programFolder)
    : program_(std::move(programFolder)) {}

Transaction::~Transaction() {
  try {
    CloseJournal();
  } catch (const platform::Error &) {
  }
}

void Transaction::CloseJournal() {
  const os::FileHandle handle = journal_;
  journal_ = os::kNoHandle;
  if (handle != os::kNoHandle)
    os::CloseFile(handle, journalPath_);
}

void Transaction::Take(Kind kind, const std::string &path, std::string saved) {
  if (journal_ == os::kNoHandle) {
    AreaFor(program_ + "\\" + kJournalName);
    journal_ = os::OpenFile(journalPath_, platform::OpenMode::CreateNew);
  }
  // A path outside the program folder, as Windows reads it, goes in as "..",
  // which no later run follows. A moved file's number is the last one given.
  const std::string read = AsRead(program_, path);
  std::string line(1, kKinds[static_cast<int>(kind)]);
  line += IsInside(program_, read)
              ? std::string_view(read).substr(program_.size() + 1)
              : std::string_view("..");
  if (kind == Kind::Moved)
    (line += '\t') += platform::Decimal(saved_);
  line += '\n';
  // The step first: a line that cannot be written fails the step, whose
  // undo then finds it not taken.
  steps_.push_back({kind, path, std::move(saved), journalSize_});
  tail_ = journalSize_;
  os::WriteAt(journal_, journalSize_, line.data(), line.size(), journalPath_);
  journalSize_ += static_cast<int64_t>(line.size());
}

void Transaction::Take(Kind kind, const std::string &path) {
  Take(kind, path, {});
}

const std::string &Transaction::AreaFor(const std::string &path) {
  const std::string root = IsInside(program_, AsRead(program_, path))
                               ? program_ + "\\"
                               : PrefixOf(path);
  const std::string area = root + kBackupName;
  for (const std::string &made : areas_)
    if (made == area)
      return made;
  RemoveQuietly(root + kDoneName);
  if (fs::KindOf(area) != fs::EntryKind::Missing)
    RaiseLeftBackup(area);
  // The program folder's own area holds the journal and is its first step,
  // taken once it is made: one that another run made meanwhile, with its
  // journal, is that run's, not this undo's to remove. Any other is a step
  // of the journal.
  if (root == program_ + "\\") {
    fs::MkDir(area);
    journalPath_ = area + "\\" + kJournalName;
    steps_.push_back({Kind::Area, area, {}, -1});
  } else {
    Take(Kind::Area, area);
    fs::MkDir(area);
  }
  try {
    fs::MarkHidden(area); // out of the user's sight; nothing depends on it
  } catch (const platform::Error &) {
  }
  areas_.push_back(area);
  return areas_.back();
}

void Transaction::CheckNoLink(const std::string &path) const {
  if (fs::LinkOnTheWay(program_, path))
    platform::Raise(platform::err::kPathFileAccess, path);
}

std::string Transaction::MoveAside(const std::string &written) {
  // Under the name its folder spells it by, as Windows reads the last name
  // ("SUB", "SUB." and "SUB\..." naming Sub), which the journal holds and
  // the undo puts back. A last name that goes leaves the name before it
  // last, read so too ("SUB.\..." is Sub). Read so, "{app}\..." is the
  // program folder itself and "x\..\..." the folder above x: those stay
  // as written.
  std::string_view read = archive::WithoutTrailingDotsAndSpaces(written);
  if (!read.empty() && IsSeparator(read.back()))
    read.remove_suffix(1);
  const bool program = read == program_;
  read = {read.data(), archive::LengthAsRead(read)};
  std::string path = program || read.ends_with('.')
                         ? written
                         : fs::NameAsStored(std::string(read));
  std::string saved = AreaFor(path) + "\\";
  saved += platform::Decimal(++saved_);
  // Looked at again right before the move: a folder on either way may have
  // become a link since the record's own look (an area too). Before the
  // step is taken, so that a refusal leaves nothing to undo.
  CheckNoLink(path);
  CheckNoLink(saved);
  Take(Kind::Moved, path, saved);
  Move(path, saved, false);
  return path;
}

void Transaction::CopyFile(const std::string &source, const std::string &target,
                           const platform::fs::FileTime *modified) {
  // A file there keeps its name as its folder spells it, whatever the case
  // the script writes it in: its undo puts it back so, and the new file
  // takes that name, as a copy over it does in the strict install.
  const fs::EntryKind kind = fs::KindOf(target);
  std::string placed = target;
  if (kind == fs::EntryKind::File || kind == fs::EntryKind::Link)
    placed = MoveAside(target); // which looks for a link on the way first
  // Taken first: a copy cut short leaves part of a file to remove.
  const std::string written = NewFileOf(target);
  CheckNoLink(written);
  Take(Kind::Written, written);
  fs::FileCopy(source, written, modified, true); // an abort may come inside
  CheckNoLink(placed); // the folder may have become a link meanwhile
  Take(Kind::Placed, placed);
  fs::Rename(written, placed);
}

void Transaction::DeleteFiles(const std::string &pattern) {
  const std::vector<std::string> names = fs::ListFiles(pattern);
  if (names.empty())
    platform::Raise(platform::err::kFileNotFound, pattern);
  const std::string prefix = PrefixOf(pattern);
  for (const std::string &name : names) {
    // Between two moves, each a whole step, as between two records: a
    // pattern that takes thousands of files keeps neither the window nor
    // an abort waiting.
    if (&name != names.data())
      platform::Yield();
    MoveAside(prefix + name);
  }
}

void Transaction::CreateFolder(const std::string &path) {
  // Taken before it is made, so that a cut never leaves a folder that no
  // line names; a folder there already (another program's, made after the
  // pre-flight) is no step of this run, and fails it as ever.
  if (fs::KindOf(path) != fs::EntryKind::Missing) {
    fs::MkDir(path);
    return;
  }
  Take(Kind::Created, path);
  try {
    fs::MkDir(path);
  } catch (const platform::Error &) {
    // Not made: refused, or made by another program since the look above,
    // and then not this run's to remove.
    const int64_t line = steps_.back().line;
    steps_.pop_back();
    try {
      os::WriteAt(journal_, line, "-", 1, journalPath_);
    } catch (const platform::Error &) {
    }
    throw;
  }
}

void Transaction::DeleteFolders(const std::string &pattern) {
  const std::string path = fs::WithoutTrailingSeparators(pattern);
  const std::string prefix = PrefixOf(path);
  bool any = false;
  for (const std::string &name : fs::ListFolders(path)) {
    const std::string folder = prefix + name;
    // A backup area of this run is never a folder to delete.
    if (std::find(areas_.begin(), areas_.end(), folder) != areas_.end())
      continue;
    if (any)
      platform::Yield(); // as between the files of a pattern
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
  // A step below the program folder is never taken through a link on the
  // way (one made since the pre-flight, which refuses those it finds): no
  // journal line could be followed back there. A copy looks right before
  // each of its moves instead.
  if (operation >= record::kDeleteFiles && operation <= record::kDeleteFolder)
    CheckNoLink(fs::WithoutTrailingSeparators(target));
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
  // Every step stands: a journal that cannot say so any more is still
  // removed with its area below.
  try {
    if (journal_ != os::kNoHandle)
      os::WriteAt(journal_, journalSize_, "K\n", 2, journalPath_);
  } catch (const platform::Error &) {
  }
  try {
    CloseJournal(); // the handle is gone even when this fails
  } catch (const platform::Error &) {
  }
  for (const std::string &area : areas_) {
    const std::string done = PrefixOf(area) + kDoneName;
    try {
      fs::Rename(area, done);
      doneAreas.push_back(done);
    } catch (const platform::Error &) {
      RemoveQuietly(area);
    }
  }
  steps_.clear();
  areas_.clear();
}

void RemoveDoneAreas() {
  for (const std::string &done : doneAreas)
    RemoveQuietly(done);
  doneAreas.clear();
}

void Transaction::UndoStep(const Step &step, bool last) {
  // A folder made a link since its step was taken must not lead the undo
  // out of the program folder: that step fails, and is named.
  switch (step.kind) {
  case Kind::Moved:
    if (last && fs::KindOf(step.saved) == fs::EntryKind::Missing)
      return; // never moved
    CheckNoLink(step.saved);
    CheckNoLink(step.path);
    // A move that ended the journal and left nothing at its path was whole:
    // a line after it says so before the file goes back, so that a run
    // after a copy back cut off writes over its part (a part at the path is
    // otherwise the old file itself, left by a copy aside cut off).
    if (step.line == tail_ && fs::KindOf(step.path) == fs::EntryKind::Missing)
      try {
        os::WriteAt(journal_, journalSize_, "-\n", 2, journalPath_);
        journalSize_ += 2;
      } catch (const platform::Error &) {
      }
    Move(step.saved, step.path, step.line != tail_);
    break;
  case Kind::Placed:
    if (last && fs::KindOf(NewFileOf(step.path)) != fs::EntryKind::Missing)
      return; // never renamed into place: the written step removes it
    [[fallthrough]];
  case Kind::Written:
    CheckNoLink(step.path);
    fs::RemoveFileOrLink(step.path);
    break;
  case Kind::Created:
  case Kind::Area:
    if (step.line < 0) { // the journal's own area
      CloseJournal();
      CheckNoLink(journalPath_);
      fs::RemoveFileOrLink(journalPath_);
    }
    if (last && fs::KindOf(step.path) == fs::EntryKind::Missing)
      return; // never made
    CheckNoLink(step.path);
    fs::RemoveEmptyFolder(step.path);
    break;
  }
}

std::vector<std::string> Transaction::Undo() {
  std::vector<std::string> failed;
  bool oldStays = false; // an old file that could not leave its area
  for (auto step = steps_.rbegin(); step != steps_.rend(); ++step) {
    // The journal stays with the old files it would put back.
    if (step->line < 0 && oldStays)
      continue;
    try {
      UndoStep(*step, step == steps_.rbegin());
      if (step->kind == Kind::Area)
        std::erase(areas_, step->path);
    } catch (const platform::Error &) {
      // A backup area that still holds what could not go back is not
      // empty and stays, named by the failures before it; an empty one
      // goes, or the next run would refuse to start over it.
      if (step->kind == Kind::Area && !failed.empty())
        continue;
      oldStays = oldStays || step->kind == Kind::Moved;
      if (std::find(failed.begin(), failed.end(), step->path) == failed.end())
        failed.push_back(step->path);
      continue;
    }
    // Marked, so that no later run undoes it again. A mark the disk has no
    // room for leaves the step undone all the same, and the journal goes
    // with its area once every step is back.
    if (step->line >= 0 && journal_ != os::kNoHandle) {
      try {
        os::WriteAt(journal_, step->line, "-", 1, journalPath_);
      } catch (const platform::Error &) {
      }
    }
  }
  steps_.clear();
  return failed;
}

Recovery RecoverInterrupted(const std::string &programFolder) {
  // The old files of a run that succeeded and was cut off before it removed
  // them: nothing needs them, whether or not this run installs anything.
  RemoveQuietly(programFolder + "\\" + kDoneName);
  Transaction cut(programFolder);
  const std::string area = programFolder + "\\" + kBackupName;
  const fs::EntryKind kind = fs::KindOf(area);
  if (kind == fs::EntryKind::Missing)
    return Recovery::None;
  cut.journalPath_ = area + "\\" + kJournalName;
  if (kind != fs::EntryKind::Folder)
    RaiseLeftBackup(area);
  if (fs::KindOf(cut.journalPath_) != fs::EntryKind::File) {
    // Cut off before its journal was made, the area is empty; any other
    // is not ours to judge.
    try {
      fs::RemoveEmptyFolder(area);
    } catch (const platform::Error &) {
      RaiseLeftBackup(area);
    }
    return Recovery::Undone;
  }
  if (fs::InUse(cut.journalPath_))
    return Recovery::Running;
  // Opened for writing, so never through a link, and read through the
  // same handle.
  cut.journal_ = os::OpenFile(cut.journalPath_, platform::OpenMode::ReadWrite);
  const int64_t size = os::FileSize(cut.journal_, cut.journalPath_);
  if (size > (int64_t{64} << 20))
    RaiseLeftBackup(area);
  std::string text(static_cast<size_t>(size), '\0');
  if (os::ReadAt(cut.journal_, 0, text.data(), text.size(), cut.journalPath_) !=
      text.size())
    RaiseLeftBackup(area);
  cut.journalSize_ = size;
  cut.areas_.push_back(area);
  cut.steps_.push_back({Transaction::Kind::Area, area, {}, -1});
  bool committed = false;
  // A last line without its end was cut off before its step was taken.
  for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos;
       at = end + 1) {
    const std::string_view line(text.data() + at, end - at);
    cut.tail_ = static_cast<int64_t>(at);
    committed = line == "K";
    if (committed || line.starts_with('-'))
      continue;
    // Only the steps of this folder (areas elsewhere are not followed), by
    // names that lead nowhere else, through no link, and old files from its
    // own area.
    const size_t step =
        line.empty() ? std::string_view::npos : kSteps.find(line[0]);
    const size_t tab = std::min(line.find('\t'), line.size());
    std::string path = programFolder + "\\";
    path += line.substr(std::min<size_t>(1, tab), tab - 1);
    // A moved file's place in the area is its number, and nothing else: no
    // folder of the area, no link in it, leads anywhere.
    const std::string_view number = line.substr(std::min(tab + 1, line.size()));
    if (step == std::string_view::npos || !IsInside(programFolder, path) ||
        fs::LinkOnTheWay(programFolder, path) ||
        (step == 0 && !IsNumber(number)))
      RaiseLeftBackup(area);
    std::string saved = area + "\\";
    saved += number;
    cut.steps_.push_back({static_cast<Transaction::Kind>(step), std::move(path),
                          step == 0 ? std::move(saved) : std::string(),
                          static_cast<int64_t>(at)});
  }
  if (committed) { // every step stands; the old files are not needed
    cut.steps_.clear();
    cut.Commit();
    RemoveDoneAreas();
    return Recovery::Undone;
  }
  // Every old file back, the area goes; what could not be removed then is
  // new (a folder another program has put files in since), and the check
  // of the product judges it as it judges anything else there.
  if (!cut.Undo().empty() && fs::KindOf(area) != fs::EntryKind::Missing)
    RaiseLeftBackup(area);
  return Recovery::Undone;
}

std::string Transaction::BackupAreas() const {
  std::string joined;
  for (const std::string &area : areas_)
    (joined += joined.empty() ? "" : "; ") += area;
  return joined;
}

} // namespace mdl_main::txn
