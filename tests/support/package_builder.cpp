// Helpers that build folders, archives, packages and scripts for tests.
#include "tests/support/package_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "archive/cls_arch.h"
#include "package/checksums.h"
#include "package/coding.h"
#include "package/crc32.h"
#include "package/manifest.h"
#include "package/pe_image.h"
#include "package/script_record.h"
#include "package/trailer.h"
#include "platform/env.h"
#include "platform/files.h"
#include "run/mdl_main.h"

namespace pkgbuild {

namespace stdfs = std::filesystem;
namespace pe = package::pe;
using package::ReadLE;
using package::WriteLE;
using testsupport::MakeFolder;
using testsupport::ReadFile;
using testsupport::WriteFile;

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
  const auto bytes = package::EncodeTrailer(archiveStart);
  return {bytes.begin(), bytes.end()};
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

std::string BuiltPackage(std::string_view image, std::string_view payload,
                         std::string_view archive) {
  size_t filler = 0;
  const std::string manifest =
      package::EncodeManifestWithLength(payload, [&](int64_t size) {
        const size_t before =
            image.size() + static_cast<size_t>(size) + archive.size() + 4;
        filler = (8 - before % 8) % 8;
        return static_cast<int64_t>(before + filler);
      });
  return JoinPackage(std::string(image) + manifest, archive,
                     std::string(filler, '\0'));
}

std::string ScriptRecord(uint8_t operation, std::string_view source,
                         std::string_view target, char pad) {
  namespace s = package::script;
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

std::string SumsOf(const std::string &folder) {
  std::vector<package::sums::Sum> sums;
  for (const std::string &name : ListNames(folder)) {
    const std::string bytes = ReadFile(folder + "/" + name);
    sums.push_back(
        {name, static_cast<int64_t>(bytes.size()),
         package::Crc32(0, reinterpret_cast<const uint8_t *>(bytes.data()),
                        bytes.size())});
  }
  return package::sums::FormatSums(sums);
}

namespace {

// Where the security directory entry of a MinimalPe image lies.
size_t SecurityEntry(const std::string &image) {
  const size_t optional = ReadLE(image, pe::kDosLfanewOffset, 4) + 4 +
                          static_cast<size_t>(pe::kCoffHeaderSize);
  const bool plus = ReadLE(image, optional, 2) == pe::kPe32PlusMagic;
  return optional +
         static_cast<size_t>(
             (plus ? pe::kDataDirectoriesPe32Plus : pe::kDataDirectoriesPe32) +
             pe::kDirectoryEntrySecurity * pe::kDataDirectorySize);
}

} // namespace

std::string MinimalPe(bool plus, size_t size) {
  std::string image(size, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  const size_t lfanew = 0x80;
  WriteLE(image, pe::kDosLfanewOffset, lfanew, 4);
  WriteLE(image, lfanew, pe::kPeSignature, 4);
  const size_t coff = lfanew + 4;
  WriteLE(image, coff, plus ? 0x8664 : 0x14C, 2); // machine
  const size_t optionalSize = plus ? 240 : 224;
  WriteLE(image, coff + pe::kSizeOfOptionalHeaderOffset, optionalSize, 2);
  const size_t optional = coff + pe::kCoffHeaderSize;
  WriteLE(image, optional, plus ? pe::kPe32PlusMagic : pe::kPe32Magic, 2);
  WriteLE(image,
          optional + (plus ? pe::kNumberOfRvaAndSizesPe32Plus
                           : pe::kNumberOfRvaAndSizesPe32),
          16, 4);
  // No sections: the headers are the whole image.
  WriteLE(image, optional + pe::kSizeOfHeadersOffset, size, 4);
  return image;
}

std::string Sign(std::string file, std::string_view table) {
  file.resize((file.size() + 7) / 8 * 8, '\0');
  const size_t entry = SecurityEntry(file);
  WriteLE(file, entry, file.size(), 4);
  WriteLE(file, entry + 4, table.size(), 4);
  file.append(table);
  return file;
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
