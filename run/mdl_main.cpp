// The update run: Main, its module state and the clean-up procedures.
#include "run/mdl_main.h"

#include <cstdlib>
#include <exception>
#include <new>

#include "platform/env.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/ui.h"
#include "run/checksum_check.h"
#include "run/container.h"
#include "run/install_script.h"
#include "run/own_manifest.h"
#include "run/run_texts.h"
#include "run/setup_host.h"
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

// Ends the program through the backend, which never returns.
[[noreturn]] void End(int exitCode) {
  Ui().EndProgram(exitCode);
  std::abort(); // a backend that returned would break its contract
}

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

// Steps 1 to 16 of the run. Ends the program on every path that does not
// raise. sumsDeclared: the package's manifest says that it carries the
// checksum entry.
[[noreturn]] void Run(bool sumsDeclared) {
  // 1. Confirmation; No ends the program before anything is made.
  if (Ui().ShowMessage(CurrentText(Text::Confirm), MsgIcon::Question,
                       MsgButtons::YesNo) != MsgAnswer::Yes)
    End(platform::exitcode::kDeclined);

  // 2-4. File-system object, temporary folder, the window loaded hidden.
  Fso = std::make_unique<platform::fs::FileSystemObject>();
  PrepareTempFolder();
  TrustTempFolder();
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
  CarveOut(exe, PackFile, form);

  // 9-11. Unpack the pack file into the temporary folder. Load's result is
  // not looked at: a pack file it cannot open fails the extraction.
  Arch().FileName(PackFile);
  Arch().Load();
  form.SetStatusHandle(platform::kTrue);
  Arch().NotArchiveNote(CurrentText(Text::Damaged));
  if (!Arch().Extract(TempFolder)) {
    // Extract has shown its message; the install step and the success
    // message presuppose every entry, so the run ends here as on a critical
    // error, leaving the pack file and the temporary folder in place.
    End(platform::exitcode::kFailed);
  }
  // A package that lists its files' checksums is checked before a single
  // record of its script runs: a damaged download installs nothing.
  sums::VerifyFolder(TempFolder, sumsDeclared, form);

  // 12-13. Install phase: no more yields; the archive is closed.
  form.SetStatusHandle(platform::kFalse);
  Arch().UnLoad();
  ReleaseArch();

  // 14-16. A package of ours applies completely or not at all.
  script::RunInstallScript(HasOwnManifest());
  RemovePackFile();
  Ui().ShowMessage(CurrentText(Text::Success), MsgIcon::Information,
                   MsgButtons::Ok);
  End(platform::exitcode::kSuccess);
}

[[noreturn]] void CriticalError(const std::string &description) {
  Ui().ShowMessage(CurrentText(Text::Critical) + "\r\n" + description,
                   MsgIcon::Error, MsgButtons::Ok);
  End(platform::exitcode::kFailed);
}

} // namespace

void Main() {
  // A fresh start: nothing of an earlier run in this process carries over.
  TempFolder.clear();
  PackFile.clear();
  Fso.reset();
  ReleaseArch();
  ReleaseTempFolder();
  // The one handler of the run. platform::ProgramEnded, which a backend's
  // EndProgram may throw from inside a yield, is no error and passes.
  std::string description;
  try {
    // The package's manifest, from its own executable, before the first
    // question: its texts, and a damaged or incomplete package ends here.
    const bool sumsDeclared = LoadOwnManifest();
    Run(sumsDeclared);
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
