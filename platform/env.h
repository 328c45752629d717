// The process environment: TMP and the running executable.
#pragma once

#include <string>

namespace platform {

// Value of an environment variable as is; "" when it is not set.
std::string GetEnv(const char *name);

// Full path of the running executable, or of the file that SetProgramPath
// named: `updpack run` and the tests act as if that file were running.
std::string ProgramPath();
void SetProgramPath(const std::string &path);

// Folder of ProgramPath(): absolute, without a trailing separator.
std::string ProgramFolder();
// File name of ProgramPath() without its extension.
std::string ProgramBaseName();
// File name of path (after its last / or \) without its extension.
std::string BaseNameOf(const std::string &path);

// The running executable's own path, from the OS. One implementation per OS.
std::string OsProgramPath();
// Makes a path absolute against the current folder. One implementation per OS.
std::string AbsolutePath(const std::string &path);

} // namespace platform
