// Pieces the file-system operations share across backends; not for callers
// outside platform/.
#pragma once

#include <string>

#include "platform/messages.h"

namespace platform::fs {

// A path cut before its last component: prefix keeps the separator, so
// prefix + name is the path of an entry in the same folder; prefix is ""
// when the path has no folder part.
struct SplitPath {
  std::string prefix;
  std::string name;
};

// The cut at the last separator; on Windows also after the drive of "C:x".
// One per OS.
SplitPath Split(const std::string &path);

// Deletes one file; a file already gone is no failure, one marked read-only
// is refused with kPermissionDenied (kReadOnly), as Windows refuses it. One
// per OS.
void RemoveFile(const std::string &path);

// Removes a link itself, never what it points to. One per OS.
void RemoveLink(const std::string &path);

// LinkOnTheWay by a look (KindOf) at each folder between folder and path's
// last name, path lying below folder: the rule itself, which each OS's
// LinkOnTheWay keeps to.
bool LinkAtAFolder(const std::string &folder, const std::string &path);

// Why a file or folder is not deleted, after its path: it is marked
// read-only (on posix: it lacks the owner's write permission).
inline constexpr Msg kReadOnly = Msg::ReadOnly;

// Why a file is not opened for writing, after its path.
inline constexpr Msg kWriteThroughLink = Msg::WriteThroughLink;

// Why PrivateFolder refuses a folder, after its path.
inline constexpr Msg kNotRealFolder = Msg::NotRealFolder;
inline constexpr Msg kNotOwnFolder = Msg::NotOwnFolder;
inline constexpr Msg kOthersCanWrite = Msg::OthersCanWrite;

} // namespace platform::fs
