// Helpers that build folders, archives, packages and scripts for tests.
#include "tests/support/package_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "archive/cls_arch.h"
#include "platform/env.h"
#include "platform/files.h"
#include "run/install_script.h"
#include "run/mdl_main.h"

namespace pkgbuild {

namespace stdfs = std::filesystem;

Sandbox::Sandbox() {
  const char *base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base && *base ? base : "/tmp") + "/updpack_run_XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!mkdtemp(buffer.data())) {
    ADD_FAILURE() << "cannot create a temporary folder under " << pattern;
    return;
  }
  path_ = buffer.data();
}

Sandbox::~Sandbox() {
  if (path_.empty())
    return;
  std::error_code ec;
  // Read-only folders made by a test must not keep their contents.
  for (auto it = stdfs::recursive_directory_iterator(path_, ec);
       !ec && it != stdfs::recursive_directory_iterator(); it.increment(ec))
    stdfs::permissions(it->path(), stdfs::perms::owner_all,
                       stdfs::perm_options::add, ec);
  stdfs::remove_all(path_, ec);
}

std::string Sandbox::operator/(const std::string &relative) const {
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
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
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
  if (!stdfs::create_directory(path, ec))
    ADD_FAILURE() << "cannot create the folder " << path;
}

std::vector<std::string> ListNames(const std::string &folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (auto it = stdfs::directory_iterator(folder, ec);
       !ec && it != stdfs::directory_iterator(); it.increment(ec))
    names.push_back(it->path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string PackFolder(const std::string &folder,
                       const std::string &archivePath) {
  archive::cls_arch writer;
  writer.FileName(archivePath);
  try {
    writer.Pack(folder);
  } catch (const std::exception &e) {
    ADD_FAILURE() << "packing " << folder << " failed: " << e.what();
    platform::files::CloseAllQuietly();
    return {};
  }
  return ReadFile(archivePath);
}

std::string Trailer(int32_t archiveStart) {
  const auto v = static_cast<uint32_t>(archiveStart);
  std::string bytes(4, '\0');
  for (int k = 0; k < 4; ++k)
    bytes[k] = static_cast<char>((v >> (8 * k)) & 0xFF);
  return bytes;
}

std::string JoinPackage(std::string_view stub, std::string_view archive,
                        std::string_view filler, int32_t archiveStart) {
  std::string package;
  package.reserve(stub.size() + archive.size() + filler.size() + 4);
  package.append(stub);
  package.append(archive);
  package.append(filler);
  package += Trailer(archiveStart);
  return package;
}

std::string JoinPackage(std::string_view stub, std::string_view archive,
                        std::string_view filler) {
  return JoinPackage(stub, archive, filler,
                     static_cast<int32_t>(stub.size()) + 1);
}

std::string ScriptRecord(uint8_t operation, std::string_view source,
                         std::string_view target, char pad) {
  namespace s = mdl_main::script;
  EXPECT_LE(source.size(), static_cast<size_t>(s::kSourceSize)) << source;
  EXPECT_LE(target.size(), static_cast<size_t>(s::kTargetSize)) << target;
  std::string record(s::kRecordSize, pad);
  record[s::kOperationOffset] = static_cast<char>(operation);
  record.replace(s::kSourceOffset,
                 std::min<size_t>(source.size(), s::kSourceSize), source.data(),
                 std::min<size_t>(source.size(), s::kSourceSize));
  record.replace(s::kTargetOffset,
                 std::min<size_t>(target.size(), s::kTargetSize), target.data(),
                 std::min<size_t>(target.size(), s::kTargetSize));
  return record;
}

namespace {
void ClearRunState() {
  mdl_main::ReleaseArch();
  mdl_main::TempFolder.clear();
  mdl_main::PackFile.clear();
  mdl_main::Fso.reset();
}
} // namespace

RunWorld::RunWorld()
    : tmp(box / "tmp"), prog(box / "prog"), exe(prog + "/update.exe"),
      tempFolder(tmp + "/VLSFX_QUORIX"), packFile(tmp + "/VLSFX_QUORIX.PACK") {
  ClearRunState();
  MakeFolder(tmp);
  MakeFolder(prog);
  if (const char *old = std::getenv("TMP")) {
    hadTmp_ = true;
    oldTmp_ = old;
  }
  setenv("TMP", tmp.c_str(), 1);
  platform::SetProgramPath(exe);
}

RunWorld::~RunWorld() {
  platform::files::CloseAllQuietly();
  ClearRunState();
  platform::SetProgramPath("");
  if (hadTmp_)
    setenv("TMP", oldTmp_.c_str(), 1);
  else
    unsetenv("TMP");
}

void RunWorld::InstallPackage(std::string_view package) {
  WriteFile(exe, package);
}

int32_t RunWorld::InstallFolder(const std::string &src, std::string_view stub,
                                std::string_view filler) {
  archive = PackFolder(src, box / "built.pack");
  const std::string package = JoinPackage(stub, archive, filler);
  InstallPackage(package);
  return static_cast<int32_t>(package.size());
}

} // namespace pkgbuild
