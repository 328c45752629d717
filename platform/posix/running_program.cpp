// The running program's file, known by its device and inode.
#include "platform/posix/running_program.h"

#include <string>

#include "platform/env.h"
#include "platform/posix/native_path.h"

namespace platform::posix {

bool IsRunningProgram(const struct stat &st) {
  // Looked up again only when the program's path changes (a test that runs
  // several packages in one process).
  static std::string path;
  static struct stat program {};
  static bool known = false;
  const std::string now = ProgramPath();
  if (now != path) {
    path = now;
    known = !now.empty() && ::stat(NativePath(now).c_str(), &program) == 0;
  }
  return known && st.st_dev == program.st_dev && st.st_ino == program.st_ino;
}

} // namespace platform::posix
