// Temporary folders and whole files for the native tests.
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <stdlib.h>

namespace testsupport {

namespace stdfs = std::filesystem;

TempFolder::TempFolder() {
  const char *base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base && *base ? base : "/tmp") + "/updpack_test_XXXXXX";
  if (!mkdtemp(pattern.data()))
    throw std::runtime_error("cannot create a temporary folder " + pattern +
                             ": " + std::strerror(errno));
  path_ = pattern;
}

TempFolder::~TempFolder() {
  const stdfs::perms owner = stdfs::perms::owner_all;
  const stdfs::perm_options add = stdfs::perm_options::add;
  std::error_code ec;
  stdfs::permissions(path_, owner, add, ec);
  // Each folder gets its permissions back before the walk goes into it.
  for (auto it = stdfs::recursive_directory_iterator(path_, ec);
       !ec && it != stdfs::recursive_directory_iterator(); it.increment(ec)) {
    std::error_code ignored;
    if (!it->is_symlink(ignored))
      stdfs::permissions(it->path(), owner, add, ignored);
  }
  stdfs::remove_all(path_, ec);
}

std::string TempFolder::operator/(const std::string &relative) const {
  return path_ + "/" + relative;
}

void WriteFile(const std::string &path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out)
    ADD_FAILURE() << "cannot write " << path;
}

std::string ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "cannot read " << path;
    return {};
  }
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool Exists(const std::string &path) {
  std::error_code ec;
  return stdfs::exists(stdfs::symlink_status(path, ec));
}

bool FileExists(const std::string &path) {
  std::error_code ec;
  return stdfs::is_regular_file(path, ec);
}

bool FolderExists(const std::string &path) {
  std::error_code ec;
  return stdfs::is_directory(path, ec);
}

void MakeFolder(const std::string &path) {
  std::error_code ec;
  stdfs::create_directories(path, ec);
  if (ec || !FolderExists(path))
    ADD_FAILURE() << "cannot create the folder " << path << ": "
                  << ec.message();
}

} // namespace testsupport
