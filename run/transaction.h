// An install that applies completely or not at all: every change the
// install script makes is a step that can be undone, and a failure or an
// abort undoes them all in reverse order.
//
// What each operation does:
// - a file to be replaced or deleted is first renamed into a backup area,
//   the folder kBackupName in the program folder for targets inside it, and
//   beside the target (in its own folder) for any other target, so that the
//   move stays on the target's volume; a move that the OS refuses (another
//   volume mounted below) falls back to a copy and a deletion;
// - a new file is written under kNewFileName in its target folder and
//   renamed into place, the old one already moved aside: a read-only or
//   linked old file is moved, never written through;
// - a folder created is recorded and removed again on undo; a folder
//   deleted is renamed into the backup area whole (its read-only entries
//   too), so that it comes back as it was.
// On success the backup areas are renamed kDoneName, and removed once the
// success message is closed (RemoveDoneAreas): the user never waits for
// the old files to go.
//
// A run can be cut off at any point (a power cut, the process ended from
// outside), so each step is written to a journal in the program folder's
// backup area before it is taken, and the next run undoes what the journal
// lists before it looks at the product (RecoverInterrupted). Only the
// journal's last step can have been cut short; its undo accepts that the
// step never happened. A step undone is marked so in the journal, so that
// an undo cut off in turn is never repeated over files already back. A
// backup area without a usable journal (an older program's, one that names
// anything outside the program folder, or beside a target outside it) is
// never removed or used: the update refuses to start, naming it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs.h"
#include "platform/os_file.h"

namespace mdl_main::txn {

inline constexpr const char *kBackupName = "~updpack.bak";
inline constexpr const char *kNewFileName = "~updpack.new";
// A backup area no longer needed, renamed so before it is removed: what a
// removal cut short leaves is told apart from an interrupted run's backup,
// and the next run removes it.
inline constexpr const char *kDoneName = "~updpack.del";
// The journal, inside the program folder's backup area. One line a step:
// its kind (M moved, W written, P placed, C created, A area), its path
// relative to the program folder (".." for one outside it, which no later
// run follows), and for a move a tab and the number it has in the area;
// "-" in place of the kind once undone; a line "-" alone after a last move
// that an undo found whole. "K" ends the journal of a run that has
// succeeded.
inline constexpr const char *kJournalName = "journal";

// True for a name the install keeps for itself (kBackupName, kNewFileName,
// kDoneName) in any case, as Windows reads it: the dots and blanks that end
// it are no part of it. A product file or folder of such a name would fail
// every run of the package.
bool IsWorkName(std::string_view name);

// What RecoverInterrupted found.
enum class Recovery : uint8_t {
  None,    // no backup area: nothing was cut off
  Undone,  // a cut-off run's steps undone, its backup area gone
  Running, // the journal is held open: another run is installing now
};

// Removes the kDoneName area a run that succeeded may have left in
// programFolder; undoes the steps of a run that was cut off there, as
// listed by the journal in its backup area, then removes the area. Raises
// naming the area (and leaves it) when there is no journal, a step it
// cannot take back or a line it does not trust.
Recovery RecoverInterrupted(const std::string &programFolder);

class Transaction {
public:
  explicit Transaction(std::string programFolder);
  // Closes the journal and leaves every step as it is, as a run cut off
  // would: what is not committed or undone is the next run's to undo.
  ~Transaction();
  Transaction(const Transaction &) = delete;
  Transaction &operator=(const Transaction &) = delete;

  // The four operations of the install script, as undoable steps. Each
  // raises as its strict form does when it cannot be carried out. A copy
  // with a time (modified) gives it to the new file before it is in place.
  void CopyFile(const std::string &source, const std::string &target,
                const platform::fs::FileTime *modified = nullptr);
  void DeleteFiles(const std::string &pattern);
  void CreateFolder(const std::string &path);
  void DeleteFolders(const std::string &pattern);

  // One record of the install script (package/script_record.h) as the
  // step above that its operation names; other operations do nothing. A
  // target below the program folder reached through a link (a folder on
  // the way that is one) is refused before anything is done.
  void CarryOut(uint8_t operation, const std::string &source,
                const std::string &target,
                const platform::fs::FileTime *modified = nullptr);

  // Makes every step stand: the journal says so, and each backup area is
  // renamed kDoneName for RemoveDoneAreas (or the next run) to remove.
  void Commit();

  // Undoes every step in reverse order and returns the paths that could not
  // be restored (none: the product is as it was). A backup area stays while
  // an old file could not leave it. Steps done once are never undone twice.
  std::vector<std::string> Undo();

  // The backup areas made so far and not removed by an undo, joined by "; ".
  std::string BackupAreas() const;

private:
  enum class Kind : uint8_t {
    Moved,   // path was moved to saved
    Written, // a new file under a temporary name: path
    Placed,  // a new file at path
    Created, // a folder made at path
    Area,    // a backup area made at path
  };
  struct Step {
    Kind kind;
    std::string path;
    std::string saved;
    int64_t line; // where its line starts in the journal; -1: none
  };

  // The backup area for path, made on first use.
  const std::string &AreaFor(const std::string &path);
  // Raises kPathFileAccess for path when a folder on its way below the
  // program folder is a link.
  void CheckNoLink(const std::string &path) const;
  // Moves what is at path into its backup area, as a step, and returns
  // the path it had.
  std::string MoveAside(const std::string &written);
  // Writes a step's line to the journal, made with the program folder's
  // backup area on first use, and adds the step.
  void Take(Kind kind, const std::string &path, std::string saved);
  // The same for a step that saves nothing aside (all but a move): the one
  // place that makes its empty saved path.
  void Take(Kind kind, const std::string &path);
  // last: the first step an undo meets, which may not have happened.
  void UndoStep(const Step &step, bool last);
  void CloseJournal();

  friend Recovery RecoverInterrupted(const std::string &programFolder);

  std::string program_;
  std::vector<Step> steps_;
  std::vector<std::string> areas_;
  int64_t saved_ = 0; // names in the backup areas
  std::string journalPath_;
  platform::os::FileHandle journal_ = platform::os::kNoHandle;
  int64_t journalSize_ = 0;
  // Where the journal's last line starts: its step alone may have been
  // cut off before it was whole.
  int64_t tail_ = -1;
};

// Removes the backup areas of the transactions committed so far; what
// cannot be removed stays, since nothing in them is needed any more.
void RemoveDoneAreas();

// The file a copy to target is written as before it is renamed into place:
// kNewFileName in target's folder.
std::string NewFileOf(const std::string &target);

// The transaction of the install phase while one runs (an abort from the
// progress window undoes it), else nullptr.
Transaction *Active();
void SetActive(Transaction *transaction);

} // namespace mdl_main::txn
