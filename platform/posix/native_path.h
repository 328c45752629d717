// Paths as the posix backend hands them to the OS.
#pragma once

#include <string>
#include <string_view>

namespace platform::posix {

// The native form of a path, read as Windows reads one: "\\" becomes "/",
// "." and ".." are taken as text (the folders on the way need not exist),
// a name followed by a separator loses one dot that ends it (not one of
// dots alone), and the name that ends the path once "." and ".." are gone
// every dot and space that ends it. Text only: nothing is looked up.
std::string NativePath(const std::string &path);

// NativePath, with names found as Windows finds them: a component that does
// not exist as written is looked up in its folder without regard to case
// (FoldName), so "APP.EXE" opens app.exe and a copy to App.exe replaces
// app.exe. Of several names that match (possible on posix only) the exact
// one wins, else the first in listing order (by folded name, then by
// bytes). A component that matches nothing, and everything after it, stays
// as written; so does the rest when a folder cannot be read. Every call of
// the lookup goes through the file layer's seam, naming path. Never raises
// but for memory.
std::string ResolvedPath(const std::string &path);

// The folder that holds a native path's last name: "." for a bare name,
// "/" for a name in the root. A name may end in "/" (a folder made as
// "new\"), which is still the entry in the folder above. Text only.
std::string ParentOf(const std::string &native);

// A bare name in an open folder (shown in messages) as ResolvedPath finds
// it: the name as written when it is there, else the one that is the same
// without regard to case, else the name as written.
std::string NameIn(int folder, const std::string &name,
                   const std::string &shown);

// True when Windows opens a device for path's last name (fs::NamesDevice,
// colons after it too: "nul:"), which it finds in a folder that exists as a
// file no deletion or rename takes. COM0 and LPT0 are no devices to Windows
// but names of files, though IsDeviceName keeps them from being made.
bool OpensDevice(std::string_view path);

// Tell the lookup of names that this process made a file or folder at a
// native path, or removed names: a folder whose names are kept
// (fs::KeepFolderNames) stays as it is on disk.
void NoteNewName(const std::string &native);
void ForgetNames();
// A rename from one native path to another.
void NoteMoved(const std::string &from, const std::string &to);

} // namespace platform::posix
