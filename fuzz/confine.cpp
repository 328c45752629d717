// fuzz_confine: runs a fuzz target or replay where it cannot write outside
// its own folders. In a private mount namespace every mount is made
// read-only but a fresh TMPDIR and the folders given with -w, and the
// command runs without the capability to mount anything back. The corpora
// hold inputs that delete /etc/*, and the tests run as root: the jail of the
// file layer is one line of defence, this the other.
//
//   fuzz_confine [-w FOLDER]... [--] COMMAND [ARG]...
//
// Inside, TMPDIR is the fresh folder and UPD_FUZZ_CONFINED a folder that is
// writable outside and read-only inside, for the command to prove its
// confinement on (prove_confined.cpp). Takes the namespace as root, else in
// a user namespace; where neither can be had it exits 77 (the tests' skip
// code) and runs nothing. Exits with the command's status.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/capability.h>
#include <sched.h>
#include <sstream>
#include <string>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace stdfs = std::filesystem;

constexpr int kSkip = 77;

[[noreturn]] void Quit(int status, const std::string &what) {
  std::fprintf(stderr, "fuzz_confine: %s\n", what.c_str());
  std::exit(status);
}

std::string ErrnoText(const std::string &what) {
  return what + ": " + std::strerror(errno);
}

void WriteProcFile(const std::string &path, const std::string &text) {
  std::ofstream out(path);
  out << text;
  out.close();
  if (!out)
    Quit(kSkip, "cannot write " + path);
}

// A mount namespace of our own; as a user, inside a user namespace that
// maps the user to root. Nothing mounted in it reaches the host.
void EnterMountNamespace() {
  if (unshare(CLONE_NEWNS) != 0) {
    const std::string uid = std::to_string(getuid());
    const std::string gid = std::to_string(getgid());
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
      Quit(kSkip, ErrnoText("no mount namespace can be made here (needs root "
                            "or user namespaces); not run unconfined"));
    WriteProcFile("/proc/self/setgroups", "deny");
    WriteProcFile("/proc/self/uid_map", "0 " + uid + " 1");
    WriteProcFile("/proc/self/gid_map", "0 " + gid + " 1");
  }
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    Quit(kSkip, ErrnoText("cannot make the mounts private"));
}

// The mount flags that a remount must repeat (a user namespace may not
// clear those the host set), without read-only.
unsigned long KeptFlags(const std::string &point) {
  struct statvfs st {};
  if (statvfs(point.c_str(), &st) != 0)
    Quit(kSkip, ErrnoText("cannot look at the mount " + point));
  const struct {
    unsigned long has, keep;
  } flags[] = {{ST_NOSUID, MS_NOSUID},         {ST_NODEV, MS_NODEV},
               {ST_NOEXEC, MS_NOEXEC},         {ST_NOATIME, MS_NOATIME},
               {ST_NODIRATIME, MS_NODIRATIME}, {ST_RELATIME, MS_RELATIME}};
  unsigned long kept = 0;
  for (const auto &flag : flags)
    if (st.f_flag & flag.has)
      kept |= flag.keep;
  return kept;
}

void Remount(const std::string &point, unsigned long readOnly) {
  if (mount(nullptr, point.c_str(), nullptr,
            MS_REMOUNT | MS_BIND | readOnly | KeptFlags(point), nullptr) != 0)
    Quit(kSkip, ErrnoText("cannot remount " + point));
}

// Every mount point, as the fifth field of /proc/self/mountinfo, which
// writes a blank, a tab, a newline and a backslash as \ and three octal
// digits.
std::vector<std::string> MountPoints() {
  std::ifstream in("/proc/self/mountinfo");
  std::vector<std::string> points;
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::string field;
    for (int i = 0; i < 5; ++i)
      fields >> field;
    std::string point;
    for (size_t i = 0; i < field.size(); ++i) {
      const std::string digits = field.substr(i + 1, 3);
      if (field[i] == '\\' && digits.size() == 3 &&
          digits.find_first_not_of("01234567") == std::string::npos) {
        point += static_cast<char>(std::stoi(digits, nullptr, 8));
        i += 3;
      } else {
        point += field[i];
      }
    }
    points.push_back(point);
  }
  if (points.empty())
    Quit(kSkip, "cannot read /proc/self/mountinfo");
  return points;
}

// Clears CAP_SYS_ADMIN from the bounding, inheritable and ambient sets, so
// that the command, root or not, cannot mount a folder writable again.
void DropMountCapability() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
  if (prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) != 0 ||
      prctl(PR_CAPBSET_DROP, CAP_SYS_ADMIN, 0, 0, 0) != 0 ||
      syscall(SYS_capget, &header, data) != 0)
    Quit(1, ErrnoText("cannot drop the capability to mount"));
  data[0].inheritable &= ~(1U << CAP_SYS_ADMIN);
  if (syscall(SYS_capset, &header, data) != 0)
    Quit(1, ErrnoText("cannot drop the capability to mount"));
}

// In the child: confines, proves it, and runs the command.
[[noreturn]] void RunConfined(const std::string &work,
                              const std::vector<std::string> &writable,
                              char **command) {
  EnterMountNamespace();
  for (const std::string &point : MountPoints())
    Remount(point, MS_RDONLY);
  for (const std::string &folder : writable) {
    if (mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0)
      Quit(kSkip, ErrnoText("cannot bind " + folder));
    Remount(folder, 0);
  }
  const std::string probe = work + "/probe";
  const std::string written = probe + "/outside";
  const int fd = open(written.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  if (fd >= 0 || errno != EROFS)
    Quit(1, probe + " is still writable");
  setenv("TMPDIR", (work + "/tmp").c_str(), 1);
  setenv("UPD_FUZZ_CONFINED", probe.c_str(), 1);
  DropMountCapability();
  execvp(command[0], command);
  Quit(127, ErrnoText(command[0]));
}

} // namespace

int main(int argc, char **argv) {
  std::vector<std::string> writable;
  int i = 1;
  for (; i + 1 < argc && std::strcmp(argv[i], "-w") == 0; i += 2) {
    std::error_code ec;
    writable.push_back(stdfs::canonical(argv[i + 1], ec).string());
    if (ec)
      Quit(64, std::string(argv[i + 1]) + ": " + ec.message());
  }
  if (i < argc && std::strcmp(argv[i], "--") == 0)
    ++i;
  if (i == argc)
    Quit(64, "usage: fuzz_confine [-w FOLDER]... [--] COMMAND [ARG]...");

  // The fuzz targets make and remove a folder tree for every input: in
  // memory that is ten times faster than on a disk.
  const char *tmp = std::getenv("TMPDIR");
  const std::string parent = tmp && *tmp                            ? tmp
                             : access("/dev/shm", W_OK | X_OK) == 0 ? "/dev/shm"
                                                                    : "/tmp";
  std::string work = parent + "/fuzz-confined.XXXXXX";
  if (!mkdtemp(work.data()))
    Quit(1, ErrnoText("cannot create " + work));
  stdfs::create_directory(work + "/tmp");
  stdfs::create_directory(work + "/probe");
  writable.push_back(work + "/tmp");

  const pid_t child = fork();
  if (child == 0)
    RunConfined(work, writable, argv + i);
  // Ctrl-C reaches the command, which ends; the folder is removed after it.
  std::signal(SIGINT, SIG_IGN);
  int status = 0;
  if (child > 0)
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
  std::error_code ec;
  stdfs::remove_all(work, ec);
  if (child < 0)
    Quit(1, "cannot start the command");
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
