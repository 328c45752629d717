// The update run: the program's startup procedure and its helpers.
#pragma once

#include <memory>
#include <string>

#include "archive/cls_arch.h"
#include "platform/fs.h"

namespace mdl_main {

// Names under the folder that TMP names.
inline constexpr const char *kTempFolderSuffix = "\\VLSFX_QUORIX";
inline constexpr const char *kPackFileSuffix = "\\VLSFX_QUORIX.PACK";

// The whole update run, from the confirmation to the end of the program.
// Every path ends the program through the UI backend; it never returns.
[[noreturn]] void Main();

// Sets TempFolder, removes an older folder there and creates it afresh;
// absorbs its own failures.
void PrepareTempFolder();
// Deletes TempFolder with its contents; ignores every failure. Forced, the
// read-only marks inside it are cleared first (the update run's own
// addition, for a folder of the user's own that an earlier run left).
void RemoveTempFolder(bool force = false);
// Deletes PackFile; ignores every failure.
void RemovePackFile();
// Fso's DeleteFolder on path; failures go to the caller.
void DeleteFolderAt(const std::string &path);

// The TMP value as the environment gives it ("" when unset) followed by the
// suffix: plain concatenation, nothing normalised.
std::string TempFolderPath();
std::string PackFilePath();

// The temporary folder, found to be the running user's private one
// (platform::fs::PrivateFolder) and held open from then on, so that the
// script is read from this very folder. Checked and held on first use;
// raises as PrivateFolder does.
const platform::fs::PrivateFolder &HeldTempFolder();
// Lets the folder go; RemoveTempFolder does so before it deletes it.
void ReleaseTempFolder();

// Module state; each lives from its first assignment to the end of the program.
extern std::string TempFolder;
extern std::string PackFile;
extern std::unique_ptr<platform::fs::FileSystemObject> Fso;
// The one archive object, created on first use.
archive::cls_arch &Arch();
// Releases the archive object (the next Arch() creates a new one).
void ReleaseArch();
// True while an archive object exists.
bool HasArch();

} // namespace mdl_main
