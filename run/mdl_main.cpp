// The update run: Main, its module state and the clean-up procedures.
#include "run/mdl_main.h"

#include <exception>
#include <new>
#include <vector>

#include "platform/codepage.h"
#include "platform/env.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/run_lock.h"
#include "platform/ui.h"
#include "run/carve_compressed.h"
#include "run/checksum_check.h"
#include "run/container.h"
#include "run/endings.h"
#include "run/install_script.h"
#include "run/own_manifest.h"
#include "run/preflight.h"
#include "run/run_log.h"
#include "run/run_texts.h"
#include "run/setup_host.h"
#include "run/transaction.h"
#include "run/unattended.h"
#include "ui/Setup.h"

namespace mdl_main {

std::string TempFolder;
std::string PackFile;
std::unique_ptr<platform::fs::FileSystemObject> Fso;

namespace {

std::unique_ptr<archive::cls_arch> arch;
std::unique_ptr<platform::fs::PrivateFolder> heldTemp;

using platform::MsgAnswer;
using platform::MsgButtons;
using platform::MsgIcon;
using platform::Ui;

// Creates TempFolder, one level, for the user alone. A folder that cannot be
// made fails the extraction at its first write.
void MakeTempFolder() {
  try {
    platform::fs::MkPrivateDir(TempFolder);
  } catch (const std::exception &) {
  }
}

bool IsFolderOrLink(const std::string &path) {
  const platform::fs::EntryKind kind = platform::fs::KindOf(path);
  return kind == platform::fs::EntryKind::Folder ||
         kind == platform::fs::EntryKind::Link;
}

// A temporary folder that someone else may have prepared or can write into
// (another user's folder in a shared TMP, a link, a folder open to others)
// must not be worked in: whoever did would choose what is unpacked and
// installed, and the run ends naming it. A folder of the user's own that
// PrepareTempFolder could not empty (a file in use, a read-only file left
// by an earlier run) loses the read-only marks inside it and is removed once
// more; whatever still remains is used, since the extraction replaces every
// entry it writes. A folder that could not be made at all is no danger: the
// extraction fails at its first write.
void TrustTempFolder() {
  if (!IsFolderOrLink(TempFolder) || HeldTempFolder().Empty())
    return;
  RemoveTempFolder(true);
  MakeTempFolder();
  if (IsFolderOrLink(TempFolder))
    HeldTempFolder();
}

using package::Text;

// A package with a manifest leaves nothing in TMP once it has ended well or
// refused before the install: every file closed, the pack file and the
// temporary folder removed, and the old files of an install that stands
// (once its last message is closed, so that the window never waits for a
// large folder to go).
void CleanUp() {
  if (HasArch()) {
    Arch().UnLoad();
    ReleaseArch();
  }
  platform::files::CloseAll();
  txn::RemoveDoneAreas();
  RemovePackFile();
  RemoveTempFolder();
}

// The check of the installed product (packages with a manifest): ends the
// run when the update is applied already or must not be, else the records
// whose effect is there already.
std::vector<uint8_t> CheckInstalledProduct(ui::Setup &form,
                                           const OwnManifest &facts) {
  const preflight::Decision decision =
      preflight::Check(form, facts.expect, facts.longScript, facts.forVersion);
  // The words of the exit codes where the outcome has one.
  constexpr const char *kOutcomes[] = {"go on", "already up to date",
                                       "not expected version", "wrong folder",
                                       "files in use"};
  LogLine("installed product: ", kOutcomes[static_cast<int>(decision.outcome)]);
  switch (decision.outcome) {
  case preflight::Outcome::Go:
    return decision.skip;
  case preflight::Outcome::UpToDate:
    EndRun(platform::exitcode::kSuccess, CurrentText(Text::UpToDate),
           MsgIcon::Information, CleanUp);
  case preflight::Outcome::NotExpected:
  case preflight::Outcome::WrongFolder:
    EndRun(platform::exitcode::kNotExpected, decision.message, MsgIcon::Warning,
           CleanUp);
  case preflight::Outcome::InUse:
    EndRun(platform::exitcode::kInUse, CleanUp);
  }
  return decision.skip;
}

// A backup area with a journal, left by a run that was cut off, is undone;
// one whose run is still going ends this one as a second copy would.
void UndoInterruptedRun() {
  const std::string folder = AppFolder();
  switch (txn::RecoverInterrupted(folder)) {
  case txn::Recovery::None:
    return;
  case txn::Recovery::Undone:
    LogLine("an interrupted update undone in: ", folder);
    return;
  case txn::Recovery::Running:
    EndRun(platform::exitcode::kAlreadyRunning,
           CurrentText(Text::AlreadyRunning), MsgIcon::Warning, CleanUp);
  }
}

// Steps 1 to 16 of the run. Ends the program on every path that does not
// raise. facts: what the package's manifest says; a package without one
// runs exactly as the base format has it. alone: no other copy holds the
// run's lock.
[[noreturn]] void Run(const OwnManifest &facts, bool alone) {
  // One run at a time: a second copy ends before it touches the temporary
  // folder or the pack file of the first.
  if (!alone)
    EndRun(platform::exitcode::kAlreadyRunning,
           CurrentText(Text::AlreadyRunning), MsgIcon::Warning);

  // 1. Confirmation; No ends the program before anything is made.
  if (Ui().ShowMessage(CurrentText(Text::Confirm), MsgIcon::Question,
                       MsgButtons::YesNo) != MsgAnswer::Yes)
    EndRun(platform::exitcode::kDeclined);

  // 2-4. File-system object, temporary folder, the window loaded hidden.
  Fso = std::make_unique<platform::fs::FileSystemObject>();
  PrepareTempFolder();
  TrustTempFolder();
  LogLine("temporary folder: ", TempFolder);
  ui::Setup &form = ui::CreateSharedSetup();
  LoadSetup(form);

  // 5. The executable stays open until the end of the carve-out.
  const Container exe = ReadTrailer();

  // 6. An older pack file goes first; a link at its name goes as a link, and
  // the pack file is then created as a new file (CarveOut), so that the
  // archive is never copied to wherever a link points.
  PackFile = PackFilePath();
  platform::fs::RemoveFileOrLink(PackFile);

  // 7-8. The window shows the copy of the archive into the pack file.
  form.Show();
  form.SetStatus(CurrentText(Text::Preparing));
  if (facts.layout.compressed)
    CarveCompressed(exe, facts.layout, PackFile, form);
  else
    CarveOut(exe, PackFile, form);
  LogLine("pack file: ", PackFile);

  // 9-11. Unpack the pack file into the temporary folder. Load's result is
  // not looked at: a pack file it cannot open fails the extraction.
  archive::cls_arch &archive = Arch();
  archive.FileName(PackFile);
  // build never overlaps two entries' bytes: one of ours that does is damaged.
  archive.DataBound(facts.ours ? platform::kTrue : platform::kFalse);
  archive.Load();
  form.SetStatusHandle(platform::kTrue);
  archive.NotArchiveNote(CurrentText(Text::Damaged));
  if (!archive.Extract(TempFolder)) {
    // Extract has shown its message; the install step and the success
    // message presuppose every entry, so the run ends here as on a critical
    // error, leaving the pack file and the temporary folder in place.
    EndRun(platform::exitcode::kFailed);
  }
  // A package of ours that lists its files' checksums is checked before a
  // single record of its script runs: a damaged download installs nothing.
  // In a package of the base format the list's name is a file like another.
  LogLine("unpacked: ", TempFolder);
  if (facts.ours)
    sums::VerifyFolder(TempFolder, facts.sumsDeclared, archive.Extracted(),
                       form, facts.longScript);
  // What a run cut off in the middle of its install left goes back first,
  // so that the check below meets the product as it was before that run.
  if (facts.ours)
    UndoInterruptedRun();
  // Before the first record changes anything, with yields still and the
  // timer showing the file being checked.
  const std::vector<uint8_t> skip =
      facts.ours ? CheckInstalledProduct(form, facts) : std::vector<uint8_t>{};

  // 12-13. Install phase, the archive closed: no more yields for a package
  // of the base format; one of ours yields after every record, and an abort
  // there undoes what was done.
  form.SetStatusHandle(platform::kFalse);
  archive.UnLoad();
  ReleaseArch();

  // 14-16. A package of ours applies completely or not at all.
  script::RunInstallScript(skip, facts.longScript, HasOwnManifest(),
                           facts.times);
  RemovePackFile();
  EndRun(platform::exitcode::kSuccess, CurrentText(Text::Success),
         MsgIcon::Information, facts.ours ? CleanUp : nullptr);
}

[[noreturn]] void CriticalError(const std::string &description) {
  std::string text = CurrentText(Text::Critical);
  (text += "\r\n") += description;
  EndRun(platform::exitcode::kFailed, text);
}

} // namespace

void Main() {
  // A fresh start: nothing of an earlier run in this process carries over.
  TempFolder.clear();
  PackFile.clear();
  Fso.reset();
  ReleaseArch();
  ReleaseTempFolder();
  platform::ReleaseRunLocks();
  platform::SetFileCodePage(0);
  platform::ResetMsgTexts();
  // The one handler of the run. platform::ProgramEnded, which a backend's
  // EndProgram may throw from inside a yield, is no error and passes.
  std::string description;
  Unattended unattended;
  try {
    // The package's manifest, from its own executable, before the first
    // question: its texts, and a damaged or incomplete package ends here.
    const OwnManifest own = LoadOwnManifest();
    const bool alone = unattended.Begin(own.ours);
    RaiseDamage(own);
    Run(own, alone);
  } catch (const platform::Error &e) {
    description = e.Description();
  } catch (const std::bad_alloc &) {
    description = platform::StandardText(platform::err::kOutOfMemory);
  } catch (const std::exception &e) {
    description = e.what();
  }
  CriticalError(description);
}

std::string TempFolderPath() {
  return platform::GetEnv("TMP") + kTempFolderSuffix;
}

std::string PackFilePath() { return platform::GetEnv("TMP") + kPackFileSuffix; }

void PrepareTempFolder() {
  TempFolder = TempFolderPath();
  if (platform::fs::FolderExists(TempFolder))
    RemoveTempFolder();
  MakeTempFolder();
}

void RemoveTempFolder(bool force) {
  if (TempFolder.empty())
    return; // never set: nothing of ours to remove
  ReleaseTempFolder();
  try {
    if (force)
      platform::fs::DeleteFolder(TempFolder, true);
    else
      DeleteFolderAt(TempFolder);
  } catch (const std::exception &) {
  }
}

void RemovePackFile() {
  if (PackFile.empty())
    return; // never set: nothing of ours to remove
  try {
    platform::fs::Kill(PackFile);
  } catch (const std::exception &) {
  }
}

void DeleteFolderAt(const std::string &path) {
  if (path.empty())
    platform::Raise(platform::err::kPathNotFound, "\"\"");
  if (!Fso)
    Fso = std::make_unique<platform::fs::FileSystemObject>();
  Fso->DeleteFolder(path);
}

const platform::fs::PrivateFolder &HeldTempFolder() {
  if (!heldTemp || heldTemp->Path() != TempFolder)
    heldTemp = std::make_unique<platform::fs::PrivateFolder>(TempFolder);
  return *heldTemp;
}

void ReleaseTempFolder() { heldTemp.reset(); }

archive::cls_arch &Arch() {
  if (!arch)
    arch = std::make_unique<archive::cls_arch>();
  return *arch;
}

void ReleaseArch() { arch.reset(); }

bool HasArch() { return arch != nullptr; }

} // namespace mdl_main
