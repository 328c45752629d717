// File-system operations by path. Paths are UTF-8; "\" and "/" both separate
// folders, so Windows-style paths from packages and scripts work everywhere.
// Every failure raises platform::Error with the path in its text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os_file.h"

namespace platform::fs {

// Length of a file in bytes; kOverflow beyond the 32-bit range.
int32_t FileLen(const std::string &path);

// Bare names of the ordinary files that match pattern: a folder part and a
// last component that may hold * and ?. Folders and files marked hidden or
// system are left out; posix keeps no such marks, so a name beginning with
// "." is an ordinary name there (names holding "\", which no path can
// address, are left out). A missing folder gives an empty list. Names come
// sorted case-insensitively, ordinal, as NTFS lists them. Also the existence
// test of a file.
std::vector<std::string> ListFiles(const std::string &pattern);

// Deletes the files that match pattern (the last component may hold * and ?);
// kFileNotFound when nothing matches. A file marked read-only (on posix:
// without the owner's write permission) is not deleted: kPermissionDenied,
// after the files before it in name order are gone.
void Kill(const std::string &pattern);

// A file's time of last change.
struct FileTime {
  int64_t seconds;      // since 1970 (UTC)
  uint32_t nanoseconds; // Windows keeps them to 100 ns
};

// Copies a file; an existing target is replaced. The target's folder must
// exist. A target that is the source itself (by another path or a link)
// fails with kPermissionDenied and keeps its bytes. The target is written as
// an Output file is (platform/os_file.h): never through a link at its name,
// and a target with other hard links gets a file of its own. With modified,
// the copy's time of last change is set through the handle it was written
// by, before it closes: no second open of every file installed. With
// yields (the undoable install's copy) it yields for every byte written,
// as the other long loops do, so that a large file keeps neither the window
// nor an abort waiting.
void FileCopy(const std::string &source, const std::string &target,
              const FileTime *modified = nullptr, bool yields = false);
// Closes the files of the copy under way, if any, ignoring failures: for
// files::CloseAllQuietly, when the program ends inside a copy's yield.
void CloseCopyQuietly() noexcept;

// Creates one folder level; kPathFileAccess when it exists already (as a
// folder or a file), kPathNotFound when its parent is missing.
void MkDir(const std::string &path);
// Raises what MkDir raises for path, number being kPathFileAccess (a name
// there already) or kPathNotFound (no folder above it), with the system's
// text of that failure. For a failure that the disk as it is cannot show
// yet.
[[noreturn]] void RaiseNotMade(int32_t number, const std::string &path);

// MkDir, for a folder that only the running user may use: on posix mode
// 0700 whatever the umask; on Windows a protected access list that gives
// full control to the user, SYSTEM and Administrators and to nobody else.
void MkPrivateDir(const std::string &path);

// True when path names an existing folder (not a file).
bool FolderExists(const std::string &path);

// What a path names itself: a link (a symbolic link, a junction, any reparse
// point) is reported as a link and not followed.
enum class EntryKind { Missing, File, Folder, Link, Other };
EntryKind KindOf(const std::string &path);

// path with its last name spelled as its folder holds it ("A.TXT" naming
// a.txt gives a.txt); path itself when nothing is there.
std::string NameAsStored(const std::string &path);

// True when path names something in folder: it begins with folder and a
// separator, and a name follows them.
bool IsBelow(const std::string &folder, const std::string &path);

// True when path lies below folder and a folder between the two (not
// folder itself) is a link: path would lead through it to wherever it
// points.
bool LinkOnTheWay(const std::string &folder, const std::string &path);

// Removes what path names when it is a file (one marked hidden or system
// too) or a link: the link itself, never what it points to. Nothing there
// is no failure; a folder stays.
void RemoveFileOrLink(const std::string &path);

// A folder that nobody but the running user can have prepared or can change,
// held open while the object lives: files opened through it are in this very
// folder, even if its name is given to another meanwhile (on Windows the name
// cannot be taken while it is held; it can be deleted once it is let go).
class PrivateFolder {
public:
  // Raises kPermissionDenied naming path unless it is a real folder (no
  // link or reparse point) owned by the running user that nobody else can
  // write into: on posix no write permission for group or others; on
  // Windows an access list (not a null one) whose only entries that allow
  // writing are for the user, SYSTEM and Administrators, and CREATOR OWNER
  // entries that are only handed down. Other failures as the OS reports
  // them; kPathNotFound when nothing is there.
  explicit PrivateFolder(const std::string &path);
  ~PrivateFolder();
  PrivateFolder(const PrivateFolder &) = delete;
  PrivateFolder &operator=(const PrivateFolder &) = delete;

  const std::string &Path() const { return path_; }
  // True when the folder holds no entry.
  bool Empty() const;
  // A file of this folder, opened as os::OpenFile opens it (ReadWrite or
  // ReadOnly; never through a link at the name), named path\name in
  // messages; the name is found as every other name is.
  os::FileHandle OpenFile(const std::string &name, OpenMode mode) const;

private:
  std::string path_;
  os::FileHandle handle_; // a folder descriptor or a HANDLE
};

// Gives a file or a folder another name on the same volume; a link is
// renamed as a link. Never replaces: kPathFileAccess when something is at to,
// kFileNotFound when nothing is at from, kPathNotFound when to's folder is
// missing; a move to another volume fails as the OS reports it.
void Rename(const std::string &from, const std::string &to);

// Removes an empty folder (a link to a folder as the link);
// kPathNotFound when nothing is there, kPathFileAccess when it holds
// anything or is no folder.
void RemoveEmptyFolder(const std::string &path);

// True when another program holds the file open so that it cannot be
// replaced or deleted now: on Windows an open without write and delete
// sharing (a running program's own file among them); on posix any open of
// it by another process, told by a write lease (a file whose lease cannot
// be asked for, another user's or on a file system without leases, counts
// as free). A missing name, a folder and a link are never in use.
bool InUse(const std::string &path);

// The first file below folder, in it or in any folder inside it, that InUse
// finds in use, as folder\sub\name; "" when there is none, folder is no
// folder or a link. Links inside are not followed, as a folder's deletion
// removes them as themselves; a folder that cannot be listed is passed over.
std::string FileInUseBelow(const std::string &folder);

// True when both paths name the same existing file.
bool SameFile(const std::string &a, const std::string &b);

// A UTF-8 name as upper-cased UTF-16 units, the form in which Windows
// compares names: two names are the same name when their keys are equal.
// The one case table of the system; a key for indexes of names.
std::u16string FoldName(std::string_view name);
// The same for a name held in a string, passed by its address: a view would
// be built on each caller's stack.
std::u16string FoldName(const std::string &name);
inline std::u16string FoldName(const char *name) {
  return FoldName(std::string_view(name));
}

// The key of what path names, the whole path read as Windows reads it
// (AbsolutePath: "a\\.\\x", "a\\b\\..\\x", "a\\\\x" and "a/x" are a\\x,
// "d.\\x" is in d, "x.txt." is x.txt), folded as FoldName: the paths of one
// file or folder have one key. A last name Windows reads as no name, a pattern
// (* or ?) or dots and blanks alone, stays as written after its folder.
// folder: path names a folder, read with the separators after it ("e \\" is
// the folder "e ", "d.\\" is d), which its key goes without.
std::u16string PathKey(const std::string &path, bool folder = false);

// Compares two names case-insensitively, ordinal, the way NTFS orders them.
int CompareNamesNoCase(const std::string &a, const std::string &b);

// True for a name that Windows opens as a device in every folder: CON, PRN,
// AUX, NUL, COM0 to COM9, LPT0 to LPT9, COM and LPT with a superscript 1, 2
// or 3, CONIN$ and CONOUT$, in any case, whatever follows the first dot and
// with any spaces before it. The one list of them.
bool IsDeviceName(std::string_view name);

// True when path's last name (after the last \\, / or :) is a device name.
bool NamesDevice(std::string_view path);

// True when Windows would not make path's last name a file or folder of
// that name: a device name, a control character, or one of < > : " | ? *
// (":" would make a stream of another file). Both systems refuse such a
// name for anything they create, so a script gets the same failure on each.
bool IsBadNewName(std::string_view path);

// True when any name of path, up to a byte 0 (where a path's text ends),
// holds a character Windows opens, makes and looks up in no name: a control
// character or one of < > " | ? *. Posix would take "a*b" as a name; the
// Windows program never reads or makes it.
bool HoldsRefusedCharacter(std::string_view path);

// Raises kBadFileName naming path when IsBadNewName, or when it only
// NamesDevice for a file to be read (toRead).
void CheckName(const std::string &path, bool toRead = false);

// True when name matches a pattern with * and ?, case-insensitively, by the
// Windows rules: "*" and "*.*" match every name, "*." names without a dot, a
// ? never matches a dot and before a dot or at the end may match nothing.
bool MatchesPattern(const std::string &name, const std::string &pattern);

// path without the separators that end it ("C:\a\b\" names the folder
// C:\a\b); a root, or a lone separator, stays as it is.
std::string WithoutTrailingSeparators(std::string path);

// The file-system object's DeleteFolder: deletes every folder that matches
// pattern (the last component may hold * and ?) with everything in it.
// Entries marked read-only are not forced unless force is set (their mark is
// then cleared first): deleting one fails with kPermissionDenied after what
// came before it is gone. kPathNotFound when no folder matches. Links are
// removed as links and never followed; the root, "." and ".." are never
// deleted. A folder named without a wildcard is deleted, and named in
// messages, by the path as written ("Cache." and "CACHE" name Cache).
void DeleteFolder(const std::string &pattern, bool force = false);

// Bare names of the folders that DeleteFolder(pattern) would delete, in
// name order; none when nothing matches or the folder is missing. Without
// a wildcard, the last name as written.
std::vector<std::string> ListFolders(const std::string &pattern);

// Marks a file or folder hidden (Windows); posix keeps no such mark and
// only checks that it is there.
void MarkHidden(const std::string &path);

// While one lives, the posix backend keeps the names of the folder in which
// it last looked a name up without regard to case, so that many new files in
// one folder (an extraction) cost one listing of it rather than one each,
// and a folder named by the same path again is not looked at again. What
// this process makes, moves or removes keeps them true; a change that
// another process makes meanwhile, in that folder or in its place, is not
// seen. Windows looks names up itself: nothing to keep there.
class KeepFolderNames {
public:
  KeepFolderNames();
  ~KeepFolderNames();
  KeepFolderNames(const KeepFolderNames &) = delete;
  KeepFolderNames &operator=(const KeepFolderNames &) = delete;
};

// The platform's file-system object, created once by the update run.
class FileSystemObject {
public:
  void DeleteFolder(const std::string &path) { fs::DeleteFolder(path); }
};

} // namespace platform::fs
