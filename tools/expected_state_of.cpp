// The expected state of a script against an old product folder.
#include "tools/expected_state_of.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <set>
#include <unordered_set>

#include "package/crc32.h"
#include "package/expected_state.h"
#include "package/path_overlay.h"
#include "package/script_record.h"
#include "platform/codepage.h"
#include "platform/fs.h"
#include "platform/posix/native_path.h"
#include "tools/cli.h"

namespace tools {

namespace {

namespace expect = package::expect;
namespace script = package::script;

// What oldDir holds at the relative path (code-page bytes, "\" between
// names); a link or a special file says nothing (nullopt).
std::optional<expect::Expected>
StateInOld(const std::string &oldDir, const std::string &relative,
           const std::optional<os::FileId> &output) {
  // Found as the run finds it: a name not there as written is the one of
  // its folder that is the same but for case.
  const std::string path = platform::posix::ResolvedPath(
      oldDir + "\\" + platform::AnsiToText(relative));
  using Kind = os::FolderEntry::Kind;
  const std::optional<Kind> kind = os::KindAt(path, false);
  // A path not looked at (a folder on the way without permission) would
  // leave the expected state without it.
  if (kind == Kind::Unreadable)
    throw ToolError("cannot look at " + path + ": " + std::strerror(errno));
  expect::Expected item{relative};
  if (kind == Kind::File) {
    const os::OpenedFile file = os::OpenRegular(path);
    if (file.stamp.id == output)
      throw ToolError("the output would overwrite the old version's file: " +
                      path);
    std::vector<uint8_t> buffer(size_t{1} << 16);
    item.kind = expect::Kind::File;
    for (size_t got = buffer.size(); got == buffer.size();) {
      got = file.file.ReadAt(item.length, buffer.data(), buffer.size());
      item.crc = package::Crc32(item.crc, buffer.data(), got);
      item.length += static_cast<int64_t>(got);
    }
  } else if (kind == Kind::Folder) {
    item.kind = expect::Kind::Folder;
  } else if (kind) {
    return std::nullopt;
  }
  return item;
}

} // namespace

std::string
ExpectedStateOf(const std::vector<script_text::CompiledRecord> &records,
                const std::string &oldDir,
                const std::optional<os::FileId> &output) {
  const std::string app = std::string(1, script::kProgramFolderMark) + "\\";
  const std::string root = '/' + app.substr(0, 1) + '/'; // {app} read so
  expect::LaidRecords laid;
  std::set<std::u16string> listed;
  std::vector<expect::Expected> list;
  std::unordered_set<std::u16string> noFolder; // of those listed
  // A path not in the old version as written is looked up without regard
  // to case in its folder: listed once, not once for each new file there.
  const platform::fs::KeepFolderNames keepNames;
  for (const script_text::CompiledRecord &record : records) {
    if (record.operation > script::kDeleteFolder)
      continue;
    const std::string target(script::TrimBlanks(record.target));
    if (target.rfind(app, 0) != 0 ||
        target.find_first_of(std::string("*?\0\x01", 4), app.size()) !=
            std::string::npos)
      continue;
    // Known by its path as the run knows it (fs::PathKey below a root of
    // {app}'s own), a folder's record as the run reads it: ".\\x.txt" and
    // "x.txt." are the x.txt of one line, which names it as read. A path
    // whose record the run would find by no line (the program folder
    // itself or outside it, a last name of dots alone) gets none.
    const std::string rooted = '/' + target;
    const std::string text = platform::AnsiToText(rooted);
    const std::u16string key = platform::fs::PathKey(
        record.operation == script::kDeleteFolder
            ? platform::fs::WithoutTrailingSeparators(text)
            : text,
        record.operation == script::kCreateFolder);
    std::string relative = platform::posix::NativePath(rooted);
    while (relative.size() > root.size() && relative.back() == '/')
      relative.pop_back();
    if (relative.size() > root.size() && relative.rfind(root, 0) == 0) {
      relative.erase(0, root.size());
      std::replace(relative.begin(), relative.end(), '/', '\\');
      if (platform::fs::PathKey(platform::AnsiToText('/' + app + relative)) !=
          key)
        relative.clear();
    } else {
      relative.clear();
    }
    // A path below a folder that an earlier record makes is listed too: the
    // run finds that record done where the folder is there already, and
    // then judges the path by what the disk holds, which may be a file the
    // user put there.
    if (!relative.empty() && !laid.Names(key) && listed.insert(key).second) {
      // Nothing lies below a path that is no folder in oldDir, which needs
      // no look: a new tree's records come parents first, and looking up
      // each of them whole would cost the square of its depth.
      const size_t cut = key.find_last_of(u"\\/");
      std::optional<expect::Expected> item;
      if (cut != std::u16string::npos && noFolder.contains(key.substr(0, cut)))
        item = expect::Expected{relative};
      else
        item = StateInOld(oldDir, relative, output);
      if (item && item->kind != expect::Kind::Folder)
        noFolder.insert(key);
      if (item)
        list.push_back(std::move(*item));
    }
    laid.Lay(key, record.operation);
  }
  return expect::FormatExpected(list);
}

} // namespace tools
