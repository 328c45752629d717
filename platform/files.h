// The numbered-file table: files opened under small numbers in one
// process-wide table, read and written one byte at a time at 1-based
// positions. Bytes are buffered underneath, so the per-byte calls are a
// compare and a load or store on the common path.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/error.h"
#include "platform/os_file.h"

namespace platform {

// One open file with a window of buffered bytes.
class BufferedFile {
public:
  // Opens path in mode, or takes over handle, opened in mode, when one is
  // given (it is closed on a failure too).
  BufferedFile(std::string path, OpenMode mode,
               os::FileHandle handle = os::kNoHandle);
  ~BufferedFile(); // flushes and closes, ignoring failures
  BufferedFile(const BufferedFile &) = delete;
  BufferedFile &operator=(const BufferedFile &) = delete;

  // Byte at a 1-based position; the read position moves past it.
  uint8_t GetAt(int64_t position) {
    const uint64_t offset = static_cast<uint64_t>(position - 1 - windowStart_);
    if (offset < static_cast<uint64_t>(windowLength_)) {
      position_ = position + 1;
      return buffer_[offset];
    }
    return GetSlow(position);
  }
  uint8_t Get() { return GetAt(position_); }

  // Writes a byte at a 1-based position; the position moves past it.
  void PutAt(int64_t position, uint8_t byte) {
    const int64_t offset = position - 1 - windowStart_;
    if (static_cast<uint64_t>(offset) < static_cast<uint64_t>(kWindowSize) &&
        offset <= windowLength_ && writable_) {
      buffer_[offset] = byte;
      if (offset == windowLength_)
        ++windowLength_;
      if (offset < dirtyFrom_)
        dirtyFrom_ = offset;
      if (offset >= dirtyTo_)
        dirtyTo_ = offset + 1;
      position_ = position + 1;
      return;
    }
    PutSlow(position, byte);
  }
  void Put(uint8_t byte) { PutAt(position_, byte); }

  // Runs of count bytes from a 1-based position: the same bytes, positions
  // and errors as count calls of GetAt or PutAt, one copy per window. A
  // failure leaves Position() just past the last byte moved.
  void GetRun(int64_t position, uint8_t *bytes, int64_t count);
  void PutRun(int64_t position, const uint8_t *bytes, int64_t count);

  // Position of the next byte to be read or written.
  int64_t Position() const { return position_; }
  int64_t Length() const;
  const std::string &Path() const { return path_; }
  // A number no other open of this process had or will have: tells one
  // open file from another that later takes the same file number.
  uint64_t Serial() const { return serial_; }

  // Writes pending bytes and closes the handle; raises on failure.
  void Close();
  // Writes pending bytes and lets go of the window, so that the next read
  // takes the bytes from the file as it is now: another open of it may
  // have written it meanwhile.
  void Reread() {
    Flush();
    windowLength_ = 0;
  }

  static constexpr int64_t kWindowSize = 256 * 1024;
  static constexpr int64_t kFirstReadSize = 16 * 1024;

private:
  uint8_t GetSlow(int64_t position);
  void PutSlow(int64_t position, uint8_t byte);
  void Flush();
  // Flushes, then loads the window at file offset start.
  void MoveWindow(int64_t start, int64_t readSize, bool forWriting);

  std::string path_;
  uint64_t serial_;
  OpenMode mode_;
  os::FileHandle handle_ = -1;
  bool open_ = false;
  bool writable_;
  std::unique_ptr<uint8_t[]> buffer_;
  int64_t windowStart_ = 0;           // file offset of buffer_[0]
  int64_t windowLength_ = 0;          // valid bytes in buffer_
  int64_t readSize_ = kFirstReadSize; // bytes the next read window loads
  int64_t dirtyFrom_; // buffer offsets of bytes not yet written out
  int64_t dirtyTo_ = 0;
  int64_t diskLength_ = 0; // file length on disk, as far as we know
  int64_t position_ = 1;
};

// The table. Numbers run from 1 to kMaxFileNumber.
namespace files {

constexpr int16_t kMaxFileNumber = 255;

namespace detail {
extern std::array<BufferedFile *, kMaxFileNumber + 1> table;
[[noreturn]] void BadNumber(int16_t number);
[[noreturn]] void BadPosition(int16_t number, int64_t position);
} // namespace detail

// True when a file is open under number.
inline bool IsOpen(int16_t number) {
  return number >= 1 && number <= kMaxFileNumber && detail::table[number];
}

// The open file under a number; raises when nothing is open under it.
inline BufferedFile &At(int16_t number) {
  if (number < 1 || number > kMaxFileNumber || !detail::table[number])
    detail::BadNumber(number);
  return *detail::table[number];
}

// The lowest number under which no file is open; raises when all are taken.
int16_t FreeFile();
// Opens path under number; raises when the number is taken or the open fails.
// Given a handle opened in mode, puts it under number instead (path names it
// in messages; the handle is closed when the number is taken).
void Open(int16_t number, const std::string &path, OpenMode mode,
          os::FileHandle handle = os::kNoHandle);

// Positions are 1-based: a position below 1 is an error (kBadRecordNumber),
// and so is a read past the end of the file (kPastEnd).
inline uint8_t Get(int16_t number) { return At(number).Get(); }
inline uint8_t GetAt(int16_t number, int32_t position) {
  if (position < 1)
    detail::BadPosition(number, position);
  return At(number).GetAt(position);
}
inline void Put(int16_t number, uint8_t byte) { At(number).Put(byte); }
inline void PutAt(int16_t number, int32_t position, uint8_t byte) {
  if (position < 1)
    detail::BadPosition(number, position);
  At(number).PutAt(position, byte);
}

// Position of the next byte to be read or written; raises kOverflow beyond
// the 32-bit range.
int32_t Seek(int16_t number);
int32_t Lof(int16_t number);
// Closing a number under which nothing is open is no failure.
void Close(int16_t number);
// Closes every file; raises the first failure after closing them all.
void CloseAll();
// Closes every file, a copy's under way too (fs::CloseCopyQuietly), and
// ignores failures: used when the program ends.
void CloseAllQuietly() noexcept;

} // namespace files
} // namespace platform
