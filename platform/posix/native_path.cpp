// Paths as the posix backend hands them to the OS: Windows separators and
// trailing dots, and names found without regard to case.
#include "platform/posix/native_path.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unordered_map>
#include <vector>

#include "platform/error.h"
#include "platform/fs.h"
#include "platform/posix/fd.h"
#include "platform/posix/folder_names.h"
#include "platform/posix/syscalls.h"

namespace platform::posix {

std::string NativePath(const std::string &whole) {
  // Windows reads a path as text before a file system sees it, and so do
  // we, so that a path from a package or a script names the same file on
  // every system: "\\" and "/" separate names and runs of them count as one;
  // "." goes and ".." takes the name before it away (never the root), the
  // folders on the way need not exist; a name followed by a separator loses
  // one dot that ends it ("a.\\b" is a/b, "a..\\b" a./b) and keeps its
  // spaces, and the name that ends the path once "." and ".." are gone
  // loses every dot and space that ends it ("readme." and "a. \\." are
  // readme and a).
  const auto isSeparator = [](char c) { return c == '\\' || c == '/'; };
  // Both systems read a path up to a NUL, before anything else.
  const std::string_view path(whole.data(),
                              std::min(whole.size(), whole.find('\0')));
  std::string native;
  native.reserve(path.size());
  const bool absolute = !path.empty() && isSeparator(path[0]);
  if (absolute)
    native += '/';
  const size_t root = native.size(); // what ".." never takes away
  for (size_t at = 0; at < path.size();) {
    size_t end = at;
    while (end < path.size() && !isSeparator(path[end]))
      ++end;
    std::string_view name(path.data() + at, end - at);
    const bool last = end == path.size();
    at = end + 1;
    if (name.empty() || name == ".")
      continue;
    const size_t cut = native.find_last_of('/');
    const size_t previous =
        cut == std::string::npos || cut < root ? root : cut + 1;
    if (name == "..") {
      if (native.size() > root &&
          std::string_view(native).substr(previous) != "..") {
        native.resize(previous > root ? previous - 1 : root);
        continue;
      }
      if (absolute)
        continue; // above the root is the root
    } else if (!last && name.back() == '.' &&
               name.find_first_not_of('.') != std::string_view::npos) {
      // Never to "..": a name of dots alone goes to the file system as
      // written, where "..." fails as Windows fails it (sys::).
      name.remove_suffix(1);
    }
    if (native.size() > root)
      native += '/';
    native += name;
  }
  if (!path.empty() && isSeparator(path.back())) {
    if (native.size() > root)
      native += '/';
  } else if (const size_t start = native.find_last_of('/') + 1;
             std::string_view(native).substr(start) != "..") {
    // Windows trims the path it has read, not the name written last; a
    // ".." kept climbs above a relative path's start.
    while (native.size() > start &&
           (native.back() == '.' || native.back() == ' '))
      native.pop_back();
    if (native.size() == start && start > root)
      native.pop_back(); // a name of dots and blanks alone
  }
  if (native.empty() && !path.empty())
    native.assign(1, '.'); // "a\\.." is the current folder, not no path
  return native;
}

std::string ParentOf(const std::string &native) {
  const size_t end = native.find_last_not_of('/');
  const size_t slash =
      end == std::string::npos ? 0 : native.find_last_of('/', end);
  if (slash == std::string::npos)
    return ".";
  return slash == 0 ? std::string("/") : native.substr(0, slash);
}

namespace {

// Whether a native path names anything (a dangling link too): 1 yes, 0 no,
// -1 when the OS cannot tell.
int Exists(const std::string &native, const std::string &shown) {
  struct stat st {};
  if (sys::LStat(native.empty() ? "." : native.c_str(), &st, shown) == 0)
    return 1;
  return errno == ENOENT ? 0 : -1;
}

// The names of one folder by their folded form, each the first name of its
// form in listing order (by bytes, since the forms are equal).
struct FolderNames {
  dev_t dev = 0;
  ino_t ino = 0;
  // The native path it was listed by ("" when by an open folder alone): a
  // folder named so again is this one without a look at the disk, until it
  // or a folder above it is moved (NoteMoved) or anything is removed.
  std::string native;
  std::unordered_map<std::u16string, std::string> byKey;

  void Add(std::string name) {
    std::u16string key = fs::FoldName(name);
    const auto [it, added] = byKey.try_emplace(std::move(key), name);
    if (!added && name < it->second)
      it->second = std::move(name);
  }
};

// While a KeepFolderNames lives: the two folders last looked in (an install
// that moves files aside works in the program folder and its backup area
// by turns), kept[0] the later.
int keepers = 0;
std::optional<FolderNames> kept[2];

// The kept names of the folder listed by the native path folder.
FolderNames *KeptByPath(const std::string &folder) {
  if (keepers == 0)
    return nullptr;
  for (std::optional<FolderNames> &one : kept)
    if (one && !one->native.empty() && one->native == folder)
      return &*one;
  return nullptr;
}

// The kept names of the folder of a native path and its bare name there;
// nullptr when that folder is not kept.
FolderNames *KeptFolderOf(const std::string &native, std::string &name) {
  if (!kept[0] && !kept[1])
    return nullptr;
  const size_t slash = native.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                          : native.substr(0, slash);
  name = native.substr(slash + 1);
  if (FolderNames *names = KeptByPath(folder))
    return names;
  struct stat st {};
  if (sys::Stat(folder.c_str(), &st, native) != 0)
    return nullptr;
  for (std::optional<FolderNames> &one : kept)
    if (one && one->dev == st.st_dev && one->ino == st.st_ino)
      return &*one;
  return nullptr;
}

// The lookup key of a name, or "" for a name that is not text: only its
// exact bytes name it.
std::u16string KeyOf(std::string_view name) {
  std::u16string key = fs::FoldName(name);
  if (key.find(u'\uFFFD') != std::u16string::npos)
    key.clear();
  return key;
}

const std::string &NameOf(const FolderNames &names, const std::u16string &key) {
  static const std::string none;
  const auto found = names.byKey.find(key);
  return found == names.byKey.end() ? none : found->second;
}

const std::string *FindKept(const std::u16string &key, const struct stat &st) {
  if (keepers == 0)
    return nullptr;
  for (std::optional<FolderNames> &one : kept)
    if (one && one->dev == st.st_dev && one->ino == st.st_ino)
      return &NameOf(*one, key);
  return nullptr;
}

// The name in an open folder whose key is key, or "" when there is none or
// the folder cannot be read. Without a folder kept, the names are folded one
// by one as they come, and case pairs keep the length of a name in bytes
// (length), so only names of that length are folded. native: the folder's
// path, "" when it is known by the open folder alone.
std::string FindIn(int folder, const std::u16string &key, size_t length,
                   const std::string &native, const std::string &shown) {
  struct stat st {};
  if (keepers > 0) {
    if (sys::FStat(folder, &st, shown) != 0)
      return {};
    if (const std::string *found = FindKept(key, st))
      return *found;
  }
  std::vector<std::string> names;
  try {
    names = ReadNames(folder, shown);
  } catch (const Error &) {
    return {};
  }
  if (keepers > 0) {
    kept[1] = std::move(kept[0]);
    kept[0].emplace();
    kept[0]->dev = st.st_dev;
    kept[0]->ino = st.st_ino;
    kept[0]->native = native;
    for (std::string &one : names)
      kept[0]->Add(std::move(one));
    return *FindKept(key, st);
  }
  std::string best;
  for (std::string &candidate : names)
    if (candidate.size() == length && (best.empty() || candidate < best) &&
        fs::FoldName(candidate) == key)
      best = std::move(candidate);
  return best;
}

// The name in folder (native; "" is the current folder) that is name
// without regard to case, or "" when there is none.
std::string FindNoCase(const std::string &folder, std::string_view name,
                       const std::string &shown) {
  const std::u16string key = KeyOf(name);
  if (key.empty())
    return {};
  if (const FolderNames *names = KeptByPath(folder))
    return NameOf(*names, key);
  const char *native = folder.empty() ? "." : folder.c_str();
  struct stat st {};
  if (keepers > 0 && sys::Stat(native, &st, shown) == 0)
    if (const std::string *found = FindKept(key, st))
      return *found;
  Fd fd(sys::Open(shown, native, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return fd.get() < 0 ? std::string()
                      : FindIn(fd.get(), key, name.size(), folder, shown);
}

// The most names of native, fewer than below, whose path is that of a
// folder whose names are kept (listed, so there); 0 when none is. ends: the
// length of native up to the end of each name.
size_t KeptDepth(const std::string &native, const std::vector<size_t> &ends,
                 size_t below) {
  size_t depth = 0;
  if (keepers == 0)
    return depth;
  for (const std::optional<FolderNames> &one : kept) {
    if (!one || one->native.empty() || !native.starts_with(one->native))
      continue;
    const auto last = ends.begin() + static_cast<ptrdiff_t>(below - 1);
    const auto end = std::lower_bound(ends.begin(), last, one->native.size());
    if (end != last && *end == one->native.size())
      depth = std::max(depth, static_cast<size_t>(end - ends.begin()) + 1);
  }
  return depth;
}

} // namespace

std::string ResolvedPath(const std::string &path) {
  std::string native = NativePath(path);
  if (native.empty() || Exists(native, path) != 0)
    return native; // there as written, or the OS cannot tell

  // The components, and the length of native up to the end of each.
  const bool absolute = native[0] == '/';
  std::vector<std::string_view> parts;
  std::vector<size_t> ends;
  for (size_t begin = absolute ? 1 : 0;;) {
    size_t end = native.find('/', begin);
    if (end == std::string::npos)
      end = native.size();
    parts.push_back(std::string_view(native).substr(begin, end - begin));
    ends.push_back(end);
    if (end == native.size())
      break;
    begin = end + 1;
  }
  const auto prefix = [&](size_t count) {
    return count == 0 ? std::string(absolute ? "/" : "")
                      : native.substr(0, ends[count - 1]);
  };

  // The deepest folder there as written; usually only the last name is not,
  // so the one above it is looked at first. A folder is there only when
  // every one above it is, and the look at any folder below the deepest
  // fails as the look at the first one missing does: halving the range
  // finds it in a few looks, where a look at each folder in turn made a
  // path below N new folders cost N looks at paths N long.
  size_t known = parts.size() - 1;
  if (known > 0 && !KeptByPath(prefix(known))) {
    const int there = Exists(prefix(known), path);
    if (there < 0)
      return native;
    if (there == 0) {
      size_t low = KeptDepth(native, ends, known); // there, or listed
      size_t high = known;                         // not there
      while (high - low > 1) {
        const size_t middle = low + (high - low) / 2;
        const int found = Exists(prefix(middle), path);
        if (found < 0)
          return native;
        (found > 0 ? low : high) = middle;
      }
      known = low;
    }
  }

  // parts[known] is not there as written; each later one is looked at.
  std::string out = prefix(known);
  for (size_t k = known; k < parts.size(); ++k) {
    const std::string_view part = parts[k];
    const std::string folder = out;
    if (!out.empty() && out.back() != '/')
      out += '/';
    const bool special = part.empty() || part == "." || part == "..";
    if (special || (k > known && Exists(out + std::string(part), path) != 0)) {
      out += part; // there as written, or the OS cannot tell
      continue;
    }
    const std::string found = FindNoCase(folder, part, path);
    if (found.empty())
      return out + native.substr(ends[k] - part.size()); // the rest as written
    out += found;
  }
  return out;
}

bool OpensDevice(std::string_view path) {
  while (path.ends_with(':')) // "nul:" is the device too
    path.remove_suffix(1);
  if (!fs::NamesDevice(path))
    return false;
  std::string_view name = path.substr(path.find_last_of("\\/:") + 1);
  name = name.substr(0, name.find('.'));
  while (name.ends_with(' '))
    name.remove_suffix(1);
  return !(name.size() == 4 && name[3] == '0'); // COM0, LPT0
}

std::string NameIn(int folder, const std::string &name,
                   const std::string &shown) {
  std::string native = NativePath(name);
  struct stat st {};
  if (native.empty() || native.find('/') != std::string::npos ||
      sys::FStatAt(folder, native.c_str(), &st, AT_SYMLINK_NOFOLLOW, shown) ==
          0 ||
      errno != ENOENT)
    return native;
  const std::u16string key = KeyOf(native);
  std::string found =
      key.empty() ? std::string()
                  : FindIn(folder, key, native.size(), std::string(), shown);
  return found.empty() ? native : found;
}

void NoteNewName(const std::string &native) {
  std::string name;
  if (FolderNames *names = KeptFolderOf(native, name))
    names->Add(std::move(name));
}

void NoteMoved(const std::string &from, const std::string &to) {
  // A folder moved takes the folders below it along: none of them is
  // found by its path any more.
  for (std::optional<FolderNames> &one : kept)
    if (one && one->native.starts_with(from) &&
        (one->native.size() == from.size() || one->native[from.size()] == '/'))
      one->native.clear();
  std::string name;
  FolderNames *names = KeptFolderOf(from, name);
  if (names) {
    // Another name of the same folded form (posix only) would be the one
    // found now: the folder is read again.
    const auto found = names->byKey.find(fs::FoldName(name));
    if (found != names->byKey.end() && found->second == name) {
      names->byKey.erase(found);
    } else {
      ForgetNames();
      names = nullptr;
    }
  }
  // A rename within one folder (a new file put in place) needs no second
  // look at the folder.
  const size_t slash = from.find_last_of('/');
  if (names && slash == to.find_last_of('/') &&
      from.compare(0, slash + 1, to, 0, slash + 1) == 0)
    names->Add(to.substr(slash + 1));
  else
    NoteNewName(to);
}

void ForgetNames() {
  kept[0].reset();
  kept[1].reset();
}

} // namespace platform::posix

namespace platform::fs {

KeepFolderNames::KeepFolderNames() { ++posix::keepers; }

KeepFolderNames::~KeepFolderNames() {
  if (--posix::keepers == 0)
    posix::ForgetNames();
}

} // namespace platform::fs
