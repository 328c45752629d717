// The open descriptors of held files, by device and inode.
#include "platform/posix/held_files.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/posix/posix_error.h"

namespace platform::posix {

namespace {

struct Held {
  int fd;
  dev_t device;
  ino_t inode;
};

// A handful at a time: the script, a copy's two ends, the journal.
std::vector<Held> &Table() {
  static std::vector<Held> held;
  return held;
}

} // namespace

void NoteHeld(int fd, const struct stat &st) {
  Table().push_back({fd, st.st_dev, st.st_ino});
}

void ForgetHeld(int fd) {
  std::vector<Held> &held = Table();
  held.erase(std::remove_if(held.begin(), held.end(),
                            [fd](const Held &h) { return h.fd == fd; }),
             held.end());
}

void RefuseHeld(const struct stat &st, const std::string &shown) {
  for (const Held &h : Table())
    if (h.device == st.st_dev && h.inode == st.st_ino)
      RaiseErrno(EBUSY, shown);
}

} // namespace platform::posix
