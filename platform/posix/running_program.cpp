// The running program's file, known by its device and inode.
#include "platform/posix/running_program.h"

#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "platform/env.h"
#include "platform/posix/native_path.h"
#include "platform/posix/syscalls.h"

namespace platform::posix {

bool IsRunningProgram(const struct stat &st) {
  // Looked up again only when the program's path changes (a test that runs
  // several packages in one process). The file is held open meanwhile, as
  // Windows holds a running program's: removed around the run, its inode
  // number would otherwise go to a new file, which would pass for it.
  static std::string path;
  static int held = -1;
  static struct stat program {};
  const std::string now = ProgramPath();
  if (now != path) {
    path = now;
    if (held >= 0)
      ::close(held);
    held = now.empty() ? -1
                       : unhooked::Open(NativePath(now).c_str(),
                                        O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (held >= 0 && ::fstat(held, &program) != 0) {
      ::close(held);
      held = -1;
    }
  }
  return held >= 0 && st.st_dev == program.st_dev &&
         st.st_ino == program.st_ino;
}

bool IsRunningProgramFolder(const struct stat &st) {
  const std::string program = ProgramPath();
  if (!S_ISDIR(st.st_mode) || program.empty())
    return false;
  std::string folder = NativePath(program);
  folder.resize(folder.find_last_of('/') + 1);
  struct stat held {};
  return unhooked::Stat(folder.empty() ? "." : folder.c_str(), &held) == 0 &&
         st.st_dev == held.st_dev && st.st_ino == held.st_ino;
}

} // namespace platform::posix
