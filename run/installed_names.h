// The names the user reads in messages of a package with a manifest: a
// payload entry is named by the file it installs (bin\app.exe), never by
// its entry name in the package (f4.exe), which means nothing to the user.
// A package of the base format names its entries as it always has.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/error.h"

namespace mdl_main::names {

// path without the program folder and its separator when it begins with
// them, as every {app} path of the script does: the path the user knows.
std::string Shown(const std::string &path, const std::string &programFolder);

// source when it is a file of the package, one name in TempFolder as the
// package holds its files ({temp}\a.txt, also {temp}\a.txt. as Windows
// reads it), which a message names by the file it installs; empty for any
// other path of a copy ({temp} itself, also as {temp}\. or {temp}\sub\..,
// a path with a folder after {temp}, a path that ends in a separator and
// names no file, a file of {app} or of anywhere else), which it names as
// the base format does.
std::string_view OfPackage(const std::string &source);

// The file the entry of TempFolder installs: Shown of the target of the
// first copy record from {temp}\entry, read from the script entries (the
// long one when declared, longDeclared); entry itself when no record copies
// it or the script cannot be read.
std::string InstalledFileOf(const std::string &entry, bool longDeclared);

// Raises error again, its description with every occurrence of each
// non-empty path replaced by shown.
[[noreturn]] void RaiseRenamed(const platform::Error &error,
                               std::initializer_list<std::string_view> paths,
                               std::string_view shown);

} // namespace mdl_main::names
