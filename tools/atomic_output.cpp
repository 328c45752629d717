// Output files renamed into place when complete.
#include "tools/atomic_output.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <unistd.h>

#include "tools/cli.h"

namespace tools {

namespace {

namespace stdfs = std::filesystem;

// The separators the tool's paths may use; the file layer takes both.
std::string Native(std::string path) {
  for (char &c : path)
    if (c == '\\')
      c = '/';
  return path;
}

std::string UniqueTempPath(const std::string &finalPath) {
  static std::atomic<unsigned> counter{0};
  const stdfs::path path(finalPath);
  std::string name = ".";
  name += path.filename().string();
  name += ".updpack-";
  name += std::to_string(getpid());
  name += '-';
  name += std::to_string(counter++);
  name += ".tmp";
  return (path.parent_path() / name).string();
}

} // namespace

AtomicOutput::AtomicOutput(std::string finalPath)
    : final_(Native(std::move(finalPath))), temp_(UniqueTempPath(final_)) {
  std::error_code error;
  if (stdfs::is_directory(final_, error))
    throw ToolError("the output path names a folder: " + final_);
  const stdfs::path folder = stdfs::path(final_).parent_path();
  if (!folder.empty() && !stdfs::is_directory(folder, error))
    throw ToolError("the output's folder does not exist: " + final_);
}

AtomicOutput::~AtomicOutput() {
  if (!committed_)
    std::remove(temp_.c_str());
}

void AtomicOutput::TakeOverExisting() {
  if (std::rename(final_.c_str(), temp_.c_str()) != 0 && errno != ENOENT)
    throw ToolError("cannot move " + final_ +
                    " aside: " + std::strerror(errno));
}

void AtomicOutput::Commit() {
  if (std::rename(temp_.c_str(), final_.c_str()) != 0)
    throw ToolError("cannot rename " + temp_ + " to " + final_ + ": " +
                    std::strerror(errno));
  committed_ = true;
}

} // namespace tools
