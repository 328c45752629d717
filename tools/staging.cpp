// Scratch folders.
#include "tools/staging.h"

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "tools/cli.h"
#include "tools/tool_os.h"

namespace tools {

namespace {

namespace stdfs = std::filesystem;

constexpr std::string_view kPrefix = "updpack-";
constexpr size_t kRandomPart = 6; // mkdtemp's XXXXXX

std::string TempBase() {
  std::error_code error;
  stdfs::path base = stdfs::temp_directory_path(error);
  return error ? std::string("/tmp") : base.string();
}

// The process id in a name "updpack-PURPOSE-PID-XXXXXX", or 0.
int PidOfScratchName(std::string_view name) {
  if (!name.starts_with(kPrefix) || name.size() < kRandomPart + 1 ||
      name[name.size() - kRandomPart - 1] != '-')
    return 0;
  name.remove_suffix(kRandomPart + 1);
  const size_t dash = name.rfind('-');
  const std::string_view digits = name.substr(dash + 1);
  if (dash < kPrefix.size() || digits.empty() || digits.size() > 9 ||
      digits.find_first_not_of("0123456789") != std::string_view::npos)
    return 0;
  return std::stoi(std::string(digits));
}

// Makes the folder after removing the leftovers of killed commands.
std::string MakeScratch(const std::string &purpose) {
  const std::string base = TempBase();
  for (const std::string &name : os::ReadNames(base))
    if (const int pid = PidOfScratchName(name))
      os::RemoveIfLeftover(base, name, pid, true);
  std::string pattern = base + "/" + std::string(kPrefix) + purpose + "-" +
                        std::to_string(os::ProcessId()) + "-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!mkdtemp(buffer.data()))
    throw ScratchError("cannot create a temporary folder in " + base);
  return buffer.data();
}

} // namespace

ScratchFolder::ScratchFolder(const std::string &purpose)
    : path_(MakeScratch(purpose)), lock_(os::LockFolder(path_)) {}

ScratchFolder::~ScratchFolder() {
  std::error_code error;
  stdfs::remove_all(path_, error);
}

} // namespace tools
