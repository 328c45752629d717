// Scratch folders and hard-linked staging.
#include "tools/staging.h"

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "platform/os_file.h"
#include "tools/cli.h"
#include "tools/file_io.h"

namespace tools {

namespace stdfs = std::filesystem;

ScratchFolder::ScratchFolder(const std::string &purpose) {
  std::error_code error;
  stdfs::path base = stdfs::temp_directory_path(error);
  if (error)
    base = "/tmp";
  std::string pattern = (base / ("updpack-" + purpose + ".XXXXXX")).string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!mkdtemp(buffer.data()))
    throw ToolError("cannot create a temporary folder in " + base.string());
  path_ = buffer.data();
}

ScratchFolder::~ScratchFolder() {
  std::error_code error;
  stdfs::remove_all(path_, error);
}

void LinkOrCopy(const std::string &from, const std::string &to) {
  std::error_code error;
  const stdfs::path source = stdfs::canonical(from, error);
  if (error)
    throw ToolError("cannot read " + from + ": " + error.message());
  stdfs::create_hard_link(source, to, error);
  if (!error)
    return;
  stdfs::copy_file(source, to, error);
  if (error)
    throw ToolError("cannot copy " + from + " to " + to + ": " +
                    error.message());
}

void WriteNewFile(const std::string &path, const std::string &bytes) {
  OsFile file(path, platform::OpenMode::Output);
  file.WriteAt(0, bytes.data(), bytes.size());
  file.Close();
}

} // namespace tools
