// Every fuzz target and replay runs only inside the confinement of
// fuzz_confine (confine.cpp): the corpora hold inputs that delete /etc/*,
// and the jail of the file layer is one line of defence, the read-only
// mounts the other.
// libFuzzer calls LLVMFuzzerInitialize before the first input, and so does
// the replay driver.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

[[noreturn]] void Refuse(const std::string &why) {
  std::fprintf(stderr,
               "fuzz target: not confined (%s); run it through "
               "fuzz_confine\n",
               why.c_str());
  std::exit(1);
}

} // namespace

// The confinement names a folder that is writable outside it and read-only
// inside; a file created there, here, proves that no confinement is in force.
extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  const char *probe = std::getenv("UPD_FUZZ_CONFINED");
  if (!probe || !*probe)
    Refuse("UPD_FUZZ_CONFINED is not set");
  const std::string path = std::string(probe) + "/written-from-inside";
  const int fd =
      open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd >= 0) {
    close(fd);
    unlink(path.c_str());
    Refuse(path + " could be created");
  }
  if (errno != EROFS)
    Refuse(path + ": " + std::strerror(errno) +
           " instead of a read-only file system");
  return 0;
}
