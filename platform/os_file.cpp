// The owner of one raw handle, on every OS.
#include "platform/os_file.h"

#include "platform/error.h"

namespace platform::os {

File::~File() {
  // Whatever failed before matters more; a handle is released anyway.
  if (open_)
    CloseFileQuietly(handle_, path_);
}

void File::Close() {
  if (!open_)
    return;
  open_ = false;
  CloseFile(handle_, path_);
}

} // namespace platform::os
