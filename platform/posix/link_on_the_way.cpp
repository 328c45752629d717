// Whether a folder on a path's way below another is a link, on posix: one
// walk of the kernel that refuses to follow a link, not one look at each
// folder on the way (which made a path N folders deep cost N looks at paths
// N long, for every record).
#include <algorithm>
#include <string>
#include <string_view>

#include "platform/fs.h"
#include "platform/fs_internal.h"
#include "platform/posix/native_path.h"
#include "platform/posix/syscalls.h"

namespace platform::fs {

namespace {

// True when each name of between (separated by "\\" or "/") is read the
// same at the end of a path as inside one, and looked up as it is: none
// empty, "." or "..", none ending in a dot or a blank, no device and no
// character Windows refuses. Only such names are looked at in one walk.
bool PlainNames(std::string_view between) {
  if (HoldsRefusedCharacter(between))
    return false;
  for (size_t begin = 0; begin <= between.size();) {
    size_t end = between.find_first_of("\\/", begin);
    if (end == std::string_view::npos)
      end = between.size();
    const std::string_view name = between.substr(begin, end - begin);
    if (name.empty() || name.back() == '.' || name.back() == ' ' ||
        posix::OpensDevice(name))
      return false;
    begin = end + 1;
  }
  return true;
}

} // namespace

bool LinkOnTheWay(const std::string &folder, const std::string &path) {
  if (!IsBelow(folder, path))
    return false;
  const size_t last = path.find_last_of("\\/");
  if (last <= folder.size())
    return false; // nothing between
  const size_t from = folder.size() + 1;
  const std::string_view between(path.data() + from, last - from);
  // A walk takes five calls (the lookup, two opens, two closes): a look at
  // each of fewer folders costs less.
  constexpr ptrdiff_t kFewFolders = 4;
  const ptrdiff_t folders = std::count(between.begin(), between.end(), '\\') +
                            std::count(between.begin(), between.end(), '/') + 1;
  const std::string top = posix::NativePath(folder);
  if (folders < kFewFolders || !PlainNames(between) || top.empty() ||
      top == ".")
    return LinkAtAFolder(folder, path);
  // The folders as the lookup finds them, each without regard to case when
  // not there as written, as KindOf finds each; the walk then starts at
  // folder (whatever leads to it) and stops at the first link.
  const std::string found = posix::ResolvedPath(path.substr(0, last));
  const size_t cut = top.back() == '/' ? top.size() : top.size() + 1;
  if (found.size() != cut + between.size() || found.compare(0, top.size(), top))
    return LinkAtAFolder(folder, path);
  const int link = posix::sys::LinkBelow(
      top.c_str(), std::string_view(found).substr(cut), path.substr(0, last));
  return link < 0 ? LinkAtAFolder(folder, path) : link == 1;
}

} // namespace platform::fs
