// File-system operations by path. Paths are UTF-8; "\" and "/" both separate
// folders, so Windows-style paths from packages and scripts work everywhere.
// Every failure raises platform::Error with the path in its text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform::fs {

// Length of a file in bytes; kOverflow beyond the 32-bit range.
int32_t FileLen(const std::string &path);

// Bare names of the ordinary files that match pattern: a folder part and a
// last component that may hold * and ?. Folders and files marked hidden or
// system (on posix: names beginning with "."; also names holding "\", which
// no path can address) are left out. A missing folder
// gives an empty list. Names come sorted case-insensitively, ordinal, as
// NTFS lists them. Also the existence test of a file.
std::vector<std::string> ListFiles(const std::string &pattern);

// Deletes the files that match pattern (the last component may hold * and ?);
// kFileNotFound when nothing matches.
void Kill(const std::string &pattern);

// Copies a file; an existing target is replaced. The target's folder must
// exist. A target that is the source itself (by another path or a link)
// fails with kPermissionDenied and keeps its bytes.
void FileCopy(const std::string &source, const std::string &target);

// Creates one folder level; kPathFileAccess when it exists already (as a
// folder or a file), kPathNotFound when its parent is missing.
void MkDir(const std::string &path);

// True when path names an existing folder (not a file).
bool FolderExists(const std::string &path);

// True when both paths name the same existing file.
bool SameFile(const std::string &a, const std::string &b);

// Compares two names case-insensitively, ordinal, the way NTFS orders them.
int CompareNamesNoCase(const std::string &a, const std::string &b);

// True when name matches a pattern with * and ?, case-insensitively, by the
// Windows rules: "*" and "*.*" match every name, "*." names without a dot, a
// ? never matches a dot and before a dot or at the end may match nothing.
bool MatchesPattern(const std::string &name, const std::string &pattern);

// The file-system object's DeleteFolder: deletes every folder that matches
// pattern (the last component may hold * and ?) with everything in it.
// Entries marked read-only are not forced: deleting one fails with
// kPermissionDenied after what came before it is gone. kPathNotFound when no
// folder matches. Links are removed as links and never followed; the root,
// "." and ".." are never deleted.
void DeleteFolder(const std::string &pattern);

// The platform's file-system object, created once by the update run.
class FileSystemObject {
public:
  void DeleteFolder(const std::string &path) { fs::DeleteFolder(path); }
};

} // namespace platform::fs
