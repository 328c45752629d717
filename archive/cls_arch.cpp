// The archive object around its two long operations: construction, opening
// and closing the archive file, and the per-file compression hook.
#include "archive/cls_arch.h"

#include <exception>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/messages.h"

namespace archive {

namespace files = platform::files;

void cls_arch::Class_Initialize() { FileName_ = ""; }

platform::Boolean cls_arch::Load() {
  loaded_ = 0;
  loadErrorNumber_ = platform::err::kBadFileNumber;
  loadErrorText_.clear();
  int16_t opened = 0;
  try {
    FileNum_ = files::FreeFile();
    files::Open(FileNum_, FileName_, platform::OpenMode::ReadOnly);
    opened = FileNum_;
    const int32_t length = files::Lof(FileNum_);
    const int32_t position = files::Seek(FileNum_);
    Seek_[1] = length;
    Seek_[0] = position;
    loaded_ = files::At(FileNum_).Serial();
    return platform::kTrue;
  } catch (const platform::Error &e) {
    loadErrorNumber_ = e.Number();
    loadErrorText_ = e.Description();
  } catch (const std::exception &e) {
    loadErrorText_ = e.what();
  }
  // A file too long to measure must not stay open under a number that the
  // caller takes for a failed open.
  if (opened) {
    try {
      files::Close(opened);
    } catch (const platform::Error &) {
    }
  }
  return platform::kFalse;
}

platform::Boolean cls_arch::UnLoad() {
  try {
    if (files::IsOpen(FileNum_) && files::At(FileNum_).Serial() == loaded_)
      files::Close(FileNum_);
    loaded_ = 0;
    return platform::kTrue;
  } catch (const std::exception &) {
  }
  loaded_ = 0;
  return platform::kFalse;
}

void cls_arch::CheckLoaded() const {
  if (loaded_ != 0 && files::IsOpen(FileNum_) &&
      files::At(FileNum_).Serial() == loaded_)
    return;
  if (!loadErrorText_.empty())
    throw platform::Error(loadErrorNumber_, loadErrorText_);
  platform::Raise(
      platform::err::kBadFileNumber,
      platform::Message(platform::Msg::ArchiveNotOpen,
                        {FileName_.empty() ? std::string_view("\"\"")
                                           : std::string_view(FileName_)}));
}

platform::Boolean cls_arch::ApplyCompression(const std::string &path,
                                             uint8_t method,
                                             platform::Boolean packing) {
  // No method transforms a file yet: every archive holds the files' bytes
  // as they are on disk, whatever its method byte says.
  (void)path;
  (void)method;
  (void)packing;
  return platform::kTrue;
}

} // namespace archive
