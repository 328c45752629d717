// Raw file handles of the operating system, under the numbered-file table.
// One implementation per OS (posix/os_file.cpp, win32/os_file.cpp); every
// function raises platform::Error with the path and the OS code in its text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

enum class OpenMode {
  ReadWrite, // raw bytes for reading and writing; a missing file is created
  ReadOnly,  // the file must exist
  Output,    // a new empty file for writing; an existing file is truncated
             // (also one marked hidden or system)
};

namespace os {

using FileHandle = intptr_t; // a file descriptor or a HANDLE

FileHandle OpenFile(const std::string &path, OpenMode mode);
int64_t FileSize(FileHandle handle, const std::string &path);
// Reads up to count bytes at offset; returns the number read, 0 at the end.
size_t ReadAt(FileHandle handle, int64_t offset, void *buffer, size_t count,
              const std::string &path);
void WriteAt(FileHandle handle, int64_t offset, const void *buffer,
             size_t count, const std::string &path);
// Closes the handle; raises if the OS reports a failure (the handle is gone
// all the same).
void CloseFile(FileHandle handle, const std::string &path);

} // namespace os
} // namespace platform
