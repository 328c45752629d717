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
// On success the backup areas are renamed kDoneName and removed. A backup area
// that is there before the first step was left by a run that was cut off (a
// power cut): it holds the product's old files, so it is never removed or used
// by a later run, which refuses to start naming it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/fs.h"

namespace mdl_main::txn {

inline constexpr const char *kBackupName = "~updpack.bak";
inline constexpr const char *kNewFileName = "~updpack.new";
// A backup area no longer needed, renamed so before it is removed: what a
// removal cut short leaves is told apart from an interrupted run's backup,
// and the next run removes it.
inline constexpr const char *kDoneName = "~updpack.del";

class Transaction {
public:
  explicit Transaction(std::string programFolder);
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
  // step above that its operation names; other operations do nothing.
  void CarryOut(uint8_t operation, const std::string &source,
                const std::string &target,
                const platform::fs::FileTime *modified = nullptr);

  // Removes the backup areas; what cannot be removed stays, since nothing
  // in them is needed any more.
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
  };

  // The backup area for path, made on first use.
  const std::string &AreaFor(const std::string &path);
  // Moves what is at path into its backup area, as a step.
  void MoveAside(const std::string &path);
  void UndoStep(const Step &step);

  std::string program_;
  std::vector<Step> steps_;
  std::vector<std::string> areas_;
  int64_t saved_ = 0; // names in the backup areas
};

// The file a copy to target is written as before it is renamed into place:
// kNewFileName in target's folder.
std::string NewFileOf(const std::string &target);

// The transaction of the install phase while one runs (an abort from the
// progress window undoes it), else nullptr.
Transaction *Active();
void SetActive(Transaction *transaction);

} // namespace mdl_main::txn
