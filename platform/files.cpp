// The numbered-file table and its buffered files; the OS calls underneath
// are in os_file.cpp of each backend.
#include "platform/files.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/decimal.h"
#include "platform/fs.h"
#include "platform/messages.h"

namespace platform {

namespace {

// Window buffers of closed files wait here for the next open: a fresh large
// allocation costs a page fault for every page, and extraction opens two
// files per entry. A few are kept, in a fixed row.
constexpr size_t kKept = 4;
std::unique_ptr<uint8_t[]> spare[kKept];
size_t spareCount = 0;

std::unique_ptr<uint8_t[]> TakeBuffer() {
  if (spareCount == 0)
    return std::make_unique_for_overwrite<uint8_t[]>(BufferedFile::kWindowSize);
  return std::move(spare[--spareCount]);
}

void ReturnBuffer(std::unique_ptr<uint8_t[]> buffer) {
  if (buffer && spareCount < kKept)
    spare[spareCount++] = std::move(buffer);
}

uint64_t NextSerial() {
  static uint64_t last = 0;
  return ++last;
}

} // namespace

BufferedFile::BufferedFile(std::string path, OpenMode mode,
                           os::FileHandle handle)
    : path_(std::move(path)), serial_(NextSerial()), mode_(mode),
      writable_(mode != OpenMode::ReadOnly), buffer_(TakeBuffer()),
      dirtyFrom_(kWindowSize) {
  handle_ = handle != os::kNoHandle ? handle : os::OpenFile(path_, mode_);
  open_ = true;
  try {
    diskLength_ = os::FileSize(handle_, path_);
  } catch (...) {
    os::CloseFile(handle_, path_);
    throw;
  }
}

BufferedFile::~BufferedFile() {
  try {
    Close();
  } catch (...) {
    // The program is ending or the failure has been reported elsewhere.
  }
  ReturnBuffer(std::move(buffer_));
}

int64_t BufferedFile::Length() const {
  // An empty window (left by a read past the end) says nothing of the length.
  if (windowLength_ == 0)
    return diskLength_;
  return std::max(diskLength_, windowStart_ + windowLength_);
}

void BufferedFile::Flush() {
  if (dirtyTo_ <= dirtyFrom_)
    return;
  const int64_t from = dirtyFrom_;
  const int64_t to = dirtyTo_;
  dirtyFrom_ = kWindowSize;
  dirtyTo_ = 0;
  os::WriteAt(handle_, windowStart_ + from, buffer_.get() + from,
              static_cast<size_t>(to - from), path_);
  diskLength_ = std::max(diskLength_, windowStart_ + to);
}

void BufferedFile::MoveWindow(int64_t start, int64_t readSize,
                              bool forWriting) {
  Flush();
  windowStart_ = start;
  windowLength_ = 0;
  // Appending needs no read; anything else keeps the window a true copy of
  // the file so that reads after writes see the written bytes.
  if (windowStart_ < diskLength_ || !forWriting)
    windowLength_ =
        static_cast<int64_t>(os::ReadAt(handle_, windowStart_, buffer_.get(),
                                        static_cast<size_t>(readSize), path_));
}

uint8_t BufferedFile::GetSlow(int64_t position) {
  if (position < 1)
    Raise(err::kBadRecordNumber, path_);
  // A read that goes on where the window ends doubles the next read; any
  // other starts small again: extraction reopens the archive for every entry
  // and reads a few bytes of the catalog before the entry's data.
  // Other windows sit on multiples of their size, so that reading backwards
  // costs no more than reading forwards.
  int64_t start = position - 1;
  if (start == windowStart_ + windowLength_ && windowLength_ > 0) {
    readSize_ = std::min(readSize_ * 2, kWindowSize);
  } else {
    readSize_ = kFirstReadSize;
    start = start / readSize_ * readSize_;
  }
  MoveWindow(start, readSize_, false);
  const int64_t offset = position - 1 - start;
  if (offset >= windowLength_)
    Raise(err::kPastEnd,
          Message(Msg::AtPosition, {path_, platform::Decimal(position)}));
  position_ = position + 1;
  return buffer_[offset];
}

void BufferedFile::PutSlow(int64_t position, uint8_t byte) {
  if (!writable_)
    Raise(err::kBadFileMode, path_);
  if (position < 1)
    Raise(err::kBadRecordNumber, path_);
  MoveWindow(position - 1, kWindowSize, true);
  buffer_[0] = byte;
  windowLength_ = std::max<int64_t>(windowLength_, 1);
  dirtyFrom_ = 0;
  dirtyTo_ = 1;
  position_ = position + 1;
}

void BufferedFile::GetRun(int64_t position, uint8_t *bytes, int64_t count) {
  while (count > 0) {
    const uint64_t offset = static_cast<uint64_t>(position - 1 - windowStart_);
    if (offset >= static_cast<uint64_t>(windowLength_)) {
      *bytes++ = GetSlow(position++); // moves the window or raises
      --count;
      continue;
    }
    const int64_t n =
        std::min<int64_t>(count, windowLength_ - static_cast<int64_t>(offset));
    std::memcpy(bytes, buffer_.get() + offset, static_cast<size_t>(n));
    bytes += n;
    position += n;
    count -= n;
    position_ = position;
  }
}

void BufferedFile::PutRun(int64_t position, const uint8_t *bytes,
                          int64_t count) {
  while (count > 0) {
    const int64_t offset = position - 1 - windowStart_;
    if (static_cast<uint64_t>(offset) >= static_cast<uint64_t>(kWindowSize) ||
        offset > windowLength_ || !writable_) {
      PutSlow(position++, *bytes++); // moves the window or raises
      --count;
      continue;
    }
    const int64_t n = std::min<int64_t>(count, kWindowSize - offset);
    std::memcpy(buffer_.get() + offset, bytes, static_cast<size_t>(n));
    windowLength_ = std::max(windowLength_, offset + n);
    dirtyFrom_ = std::min(dirtyFrom_, offset);
    dirtyTo_ = std::max(dirtyTo_, offset + n);
    bytes += n;
    position += n;
    count -= n;
    position_ = position;
  }
}

void BufferedFile::Close() {
  if (!open_)
    return;
  open_ = false;
  try {
    Flush();
  } catch (...) {
    os::CloseFileQuietly(handle_, path_);
    throw;
  }
  os::CloseFile(handle_, path_);
}

namespace files {
namespace detail {

std::array<BufferedFile *, kMaxFileNumber + 1> table{};

void BadNumber(int16_t number) {
  Raise(err::kBadFileNumber, "#" + platform::Decimal(number));
}

void BadPosition(int16_t number, int64_t position) {
  std::string detail = "#" + platform::Decimal(number);
  if (number >= 1 && number <= kMaxFileNumber && table[number])
    detail = table[number]->Path() + " (" + detail + ")";
  Raise(err::kBadRecordNumber,
        Message(Msg::RecordPosition, {detail, platform::Decimal(position)}));
}

} // namespace detail

int16_t FreeFile() {
  for (int16_t n = 1; n <= kMaxFileNumber; ++n)
    if (!detail::table[n])
      return n;
  Raise(err::kTooManyFiles);
}

void Open(int16_t number, const std::string &path, OpenMode mode,
          os::FileHandle handle) {
  try {
    if (number < 1 || number > kMaxFileNumber)
      detail::BadNumber(number);
    if (detail::table[number])
      Raise(err::kFileAlreadyOpen, "#" + platform::Decimal(number));
    if (path.empty())
      Raise(err::kBadFileName, "\"\"");
  } catch (...) {
    if (handle != os::kNoHandle)
      os::CloseFileQuietly(handle, path);
    throw;
  }
  detail::table[number] = new BufferedFile(path, mode, handle);
}

int32_t Seek(int16_t number) {
  const BufferedFile &file = At(number);
  if (file.Position() > INT32_MAX)
    RaiseTooLarge(file.Path());
  return static_cast<int32_t>(file.Position());
}

int32_t Lof(int16_t number) {
  const BufferedFile &file = At(number);
  const int64_t length = file.Length();
  if (length > INT32_MAX)
    RaiseTooLarge(file.Path());
  return static_cast<int32_t>(length);
}

void Close(int16_t number) {
  if (number < 1 || number > kMaxFileNumber || !detail::table[number])
    return;
  BufferedFile *file = detail::table[number];
  detail::table[number] = nullptr;
  try {
    file->Close();
  } catch (...) {
    delete file;
    throw;
  }
  delete file;
}

void CloseAll() {
  bool failed = false;
  Error first(0, {});
  for (int16_t n = 1; n <= kMaxFileNumber; ++n) {
    try {
      Close(n);
    } catch (const Error &e) {
      if (!failed)
        first = e;
      failed = true;
    }
  }
  if (failed)
    throw first;
}

void CloseAllQuietly() noexcept {
  for (int16_t n = 1; n <= kMaxFileNumber; ++n) {
    try {
      Close(n);
    } catch (...) {
    }
  }
  fs::CloseCopyQuietly();
}

} // namespace files
} // namespace platform
