// Output files put into place when complete.
#include "tools/atomic_output.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/error.h"
#include "tools/cli.h"

namespace tools {

namespace {

namespace stdfs = std::filesystem;

constexpr std::string_view kTempMark = ".updpack-";
constexpr std::string_view kTempEnd = ".tmp";

// The separators the tool's paths may use; the file layer takes both.
std::string Native(std::string path) {
  for (char &c : path)
    if (c == '\\')
      c = '/';
  return path;
}

// ".NAME.updpack-PID-N.tmp"
std::string TempName(const std::string &finalName) {
  static std::atomic<unsigned> counter{0};
  return "." + finalName + std::string(kTempMark) +
         std::to_string(os::ProcessId()) + "-" + std::to_string(counter++) +
         std::string(kTempEnd);
}

// The process id in a temporary name as TempName makes them, or 0.
int PidOfTempName(std::string_view name) {
  const size_t mark = name.rfind(kTempMark);
  if (name.empty() || name[0] != '.' || !name.ends_with(kTempEnd) ||
      mark == std::string_view::npos)
    return 0;
  std::string_view rest = name.substr(mark + kTempMark.size());
  rest.remove_suffix(kTempEnd.size());
  const size_t dash = rest.find('-');
  if (dash == 0 || dash == std::string_view::npos || dash > 9 ||
      rest.find_first_not_of("0123456789-") != std::string_view::npos)
    return 0;
  return std::stoi(std::string(rest.substr(0, dash)));
}

} // namespace

void CheckOutputPath(const std::string &finalPath) {
  const std::string output = Native(finalPath);
  // Named, renamed and removed by its whole path, which Linux takes only
  // below PATH_MAX: its folder would be taken for one that is missing.
  if (output.size() >= PATH_MAX)
    throw ToolError("the output path is longer than Linux takes whole "
                    "(PATH_MAX, " +
                    std::to_string(PATH_MAX) + " bytes): " + output);
  std::error_code error;
  const stdfs::file_status status = stdfs::status(output, error);
  if (stdfs::is_directory(status))
    throw ToolError("the output path names a folder: " + output);
  // The new file would take the place of a device, a fifo or a socket
  // (/dev/null, as root).
  if (stdfs::exists(status) && !stdfs::is_regular_file(status))
    throw ToolError("the output path names no regular file (a device, a "
                    "fifo or a socket): " +
                    output);
  const std::string folder = stdfs::path(output).parent_path().string();
  if (!folder.empty() && !stdfs::is_directory(folder, error))
    throw ToolError("the output's folder does not exist: " + output);
  // Read-only as the run takes it (no write permission for the owner):
  // not replaced, as Windows and the run leave such a file.
  if (stdfs::is_regular_file(status) &&
      (status.permissions() & stdfs::perms::owner_write) == stdfs::perms::none)
    throw ToolError("the output is read-only (its owner may not write it): " +
                    output);
}

AtomicOutput::AtomicOutput(std::string finalPath)
    : final_(Native(std::move(finalPath))) {
  CheckOutputPath(final_);
  const stdfs::path path(final_);
  const std::string folder = path.parent_path().string();
  for (const std::string &name : os::ReadNames(folder))
    if (const int pid = PidOfTempName(name))
      os::RemoveIfLeftover(folder.empty() ? "." : folder, name, pid, false);

  temp_ = (path.parent_path() / TempName(path.filename().string())).string();
  if (const auto handle = os::OpenUnnamed(folder)) {
    file_.emplace(final_, *handle);
    unnamed_ = true;
  } else {
    try {
      file_.emplace(temp_, platform::OpenMode::CreateNew);
    } catch (const platform::Error &e) {
      // The temporary name is none the user gave.
      throw ToolError("cannot write " + final_ + ": " + e.Description());
    }
  }
  os::HoldLock(*file_);
  id_ = os::IdOf(*file_);
}

AtomicOutput::~AtomicOutput() {
  if (committed_)
    return;
  file_.reset();
  if (!unnamed_)
    std::remove(temp_.c_str());
}

void AtomicOutput::Commit() {
  // An unnamed file gets its name while it is open; from then on it is
  // removed like a named one if what follows fails.
  if (unnamed_) {
    os::NameUnnamed(*file_, temp_);
    unnamed_ = false;
  }
  file_->Close();
  if (std::rename(temp_.c_str(), final_.c_str()) != 0)
    throw ToolError("cannot rename " + temp_ + " to " + final_ + ": " +
                    std::strerror(errno));
  committed_ = true;
}

} // namespace tools
