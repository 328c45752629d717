// The expected state of a script against an old product folder.
#include "tools/expected_state_of.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <set>

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

namespace stdfs = std::filesystem;
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
  std::error_code error;
  const stdfs::file_status status = stdfs::symlink_status(path, error);
  // A path not looked at (a folder on the way without permission, a path
  // too long for posix) would leave the expected state without it.
  if (status.type() == stdfs::file_type::none)
    throw ToolError("cannot look at " + path + ": " + error.message());
  expect::Expected item{relative};
  if (stdfs::is_regular_file(status)) {
    if (output && os::IdOfPath(path) == output)
      throw ToolError("the output would overwrite the old version's file: " +
                      path);
    std::ifstream in(path, std::ios::binary);
    std::vector<char> buffer(size_t{1} << 16);
    item.kind = expect::Kind::File;
    while (in) {
      in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
      const auto got = static_cast<size_t>(in.gcount());
      item.crc = package::Crc32(
          item.crc, reinterpret_cast<const uint8_t *>(buffer.data()), got);
      item.length += static_cast<int64_t>(got);
    }
    if (!in.eof())
      throw ToolError("cannot read " + path);
  } else if (stdfs::is_directory(status)) {
    item.kind = expect::Kind::Folder;
  } else if (status.type() != stdfs::file_type::not_found) {
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
  expect::LaidRecords laid;
  std::set<std::u16string> listed;
  std::vector<expect::Expected> list;
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
    const std::string relative = target.substr(app.size());
    const std::u16string key =
        platform::fs::FoldName(platform::AnsiToText(relative));
    // A path below a folder that an earlier record makes is listed too: the
    // run finds that record done where the folder is there already, and
    // then judges the path by what the disk holds, which may be a file the
    // user put there.
    if (!laid.Names(key) && listed.insert(key).second)
      if (auto item = StateInOld(oldDir, relative, output))
        list.push_back(std::move(*item));
    laid.Lay(key, record.operation);
  }
  return expect::FormatExpected(list);
}

} // namespace tools
