// The fuzz targets' jail: paths resolved as the OS resolves them, and the
// hook that refuses every call leading outside the sandbox.
#include "fuzz/jail.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/posix_error.h"

namespace fuzzing {

namespace {

using platform::posix::Call;

// The OS gives up on a path after as many links (ELOOP).
constexpr int kMaxLinks = 40;

// Puts the components of path on top of todo, whose back is the next one.
void PushComponents(std::string_view path, std::vector<std::string> &todo) {
  std::vector<std::string> parts;
  for (size_t begin = 0; begin < path.size();) {
    size_t end = path.find('/', begin);
    if (end == std::string_view::npos)
      end = path.size();
    if (end > begin)
      parts.emplace_back(path.substr(begin, end - begin));
    begin = end + 1;
  }
  todo.insert(todo.end(), parts.rbegin(), parts.rend());
}

std::optional<std::string> ReadLink(const std::string &path) {
  std::string target(PATH_MAX, '\0');
  const ssize_t n = readlink(path.c_str(), target.data(), target.size());
  if (n < 0 || static_cast<size_t>(n) == target.size())
    return std::nullopt;
  target.resize(static_cast<size_t>(n));
  return target;
}

// Where the absolute path native leads: each existing component looked at
// as it is now, links followed; from the first missing one on, the rest is
// taken as written (a call through it fails anyway). Nothing when links nest
// too deeply or a component cannot be looked at.
std::optional<std::string> Resolve(const std::string &root,
                                   const std::string &native, bool followLast) {
  std::string at; // "" is "/"
  std::vector<std::string> todo;
  if (native.starts_with(root + "/")) {
    at = root;
    PushComponents(std::string_view(native).substr(root.size()), todo);
  } else {
    PushComponents(native, todo);
  }
  // Below a missing component nothing is there to look at: the rest is
  // appended as written, without a lookup and a new string for each name,
  // which would make a path of n names cost n lookups of up to n names.
  // The runtime looks at every folder above a missing name, each call
  // judged by the whole path (ResolvedPath): n calls of this.
  bool missing = false;
  for (int links = 0; !todo.empty();) {
    std::string part = std::move(todo.back());
    todo.pop_back();
    if (part == ".")
      continue;
    if (part == "..") {
      at.resize(std::min(at.size(), at.rfind('/'))); // at has no links
      continue;
    }
    if (missing) {
      at += "/" + part;
      continue;
    }
    std::string next = at + "/" + part;
    struct stat st {};
    if (lstat(next.c_str(), &st) != 0) {
      if (errno != ENOENT && errno != ENOTDIR)
        return std::nullopt;
      missing = true;
    } else if (S_ISLNK(st.st_mode) && (followLast || !todo.empty())) {
      const std::optional<std::string> target = ReadLink(next);
      if (!target || ++links > kMaxLinks)
        return std::nullopt;
      if (target->starts_with('/'))
        at.clear();
      PushComponents(*target, todo);
      continue;
    }
    at = std::move(next);
  }
  return at.empty() ? "/" : at;
}

// Closes what a successful open returned; returns the open's result.
int CloseIfOpen(int fd) {
  if (fd >= 0)
    close(fd);
  return fd;
}

} // namespace

std::string CurrentFolder() {
  std::string cwd(PATH_MAX, '\0');
  if (!getcwd(cwd.data(), cwd.size()))
    return {};
  cwd.resize(cwd.find('\0'));
  return cwd;
}

bool LiesWithin(const std::string &root, const std::string &cwd,
                const std::string &path, bool followLast) {
  // The native form is what reaches the OS: "." and ".." read as text, as
  // Windows reads them, and the dots and spaces that end the last name
  // dropped. The OS reads up to a NUL.
  std::string native = platform::posix::NativePath(path);
  native.resize(std::min(native.size(), native.find('\0')));
  if (!native.starts_with('/'))
    native = cwd + "/" + native;
  const std::optional<std::string> real = Resolve(root, native, followLast);
  return real && (*real == root || real->starts_with(root + "/"));
}

platform::posix::FaultHook Jail(const std::string &root) {
  // The verdict on the last look at a path (stat, lstat): the runtime looks
  // at every folder above a missing name with the whole path as the one it
  // names (ResolvedPath), and for a link on the way at every folder of a
  // target in turn, so one path is judged again and again. A look changes
  // nothing; any other call may, and forgets the verdict.
  struct LastLook {
    std::string cwd;
    std::string path;
    int verdict = -1; // -1: none
  };
  auto last = std::make_shared<LastLook>();
  return [root, last](Call call, const std::string &path) {
    switch (call) {
    case Call::Read:
    case Call::Write:
    case Call::Close:
    case Call::Permissions:
      return 0; // on a descriptor the jail let open
    case Call::Delete:
    case Call::CreateFolder:
    case Call::RemoveFolder:
    case Call::Rename:
      last->verdict = -1;
      return LiesWithin(root, CurrentFolder(), path, false) ? 0 : EACCES;
    case Call::Open:
    case Call::Create:
      last->verdict = -1;
      break;
    case Call::Inspect: {
      std::string cwd = CurrentFolder();
      if (last->verdict >= 0 && last->path == path && last->cwd == cwd)
        return last->verdict;
      last->verdict = LiesWithin(root, cwd, path) ? 0 : EACCES;
      last->cwd = std::move(cwd);
      last->path = path;
      return last->verdict;
    }
    }
    // The hook is not told whether the call follows a link at the name
    // (O_NOFOLLOW, lstat): it is taken to follow it.
    return LiesWithin(root, CurrentFolder(), path) ? 0 : EACCES;
  };
}

std::vector<std::string> CallsLetThrough(const std::string &folder) {
  namespace sys = platform::posix::sys;
  const std::string file = folder + "/plain.txt";
  const std::string made = folder + "/made";
  const std::string renamed = folder + "/renamed.txt";
  const std::string sub = folder + "/sub";
  struct stat st {};
  const struct {
    const char *name;
    std::function<int()> call;
  } attempts[] = {
      {"open",
       [&] {
         return CloseIfOpen(
             sys::Open(file, file.c_str(), O_RDONLY | O_CLOEXEC));
       }},
      {"create",
       [&] {
         return CloseIfOpen(sys::OpenAt(AT_FDCWD, made.c_str(),
                                        O_WRONLY | O_CREAT | O_CLOEXEC, made,
                                        0600));
       }},
      {"stat", [&] { return sys::Stat(file.c_str(), &st, file); }},
      {"lstat", [&] { return sys::LStat(file.c_str(), &st, file); }},
      {"fstatat",
       [&] { return sys::FStatAt(AT_FDCWD, file.c_str(), &st, 0, file); }},
      {"create folder", [&] { return sys::MkDir(made.c_str(), 0700, made); }},
      {"rename",
       [&] { return sys::Rename(file.c_str(), renamed.c_str(), file); }},
      {"delete", [&] { return sys::Unlink(file.c_str(), file); }},
      {"delete at",
       [&] { return sys::UnlinkAt(AT_FDCWD, renamed.c_str(), 0, renamed); }},
      {"remove folder",
       [&] { return sys::UnlinkAt(AT_FDCWD, sub.c_str(), AT_REMOVEDIR, sub); }},
  };
  std::vector<std::string> through;
  for (const auto &attempt : attempts) {
    errno = 0;
    if (attempt.call() >= 0 || errno != EACCES)
      through.emplace_back(attempt.name);
  }
  return through;
}

} // namespace fuzzing
