// An output written into a folder the command reads.
#pragma once

#include <string>

namespace tools {

// How a script of updpack diff begins.
inline constexpr const char *kDiffScriptHeader = "# Turns an installed ";

// What a command writes into a folder it reads is left out of what it
// reads there, so an earlier output of its own there may be written over:
// an archive, a package updpack built, a script updpack diff wrote. Any
// other file there is one of the folder's own, which the command neither
// reads nor may lose: raises ToolError naming it as a `fileOf` (a "product
// file", "file of the folder packed").
enum class OutputKind { Archive, Package, DiffScript };
void RefuseOverFolderFile(const std::string &output, OutputKind kind,
                          const std::string &folder, const char *fileOf);

} // namespace tools
