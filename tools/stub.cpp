// Finding and checking the program image of a package.
#include "tools/stub.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>

#include "package/byte_source.h"
#include "package/coding.h"
#include "package/pe_image.h"
#include "platform/env.h"
#include "platform/os_file.h"
#include "tools/cli.h"
#include "tools/file_io.h"

namespace tools {

namespace pe = package::pe;

namespace {

namespace stdfs = std::filesystem;

void CheckEnd(std::optional<int64_t> end, int64_t length,
              const std::string &path) {
  if (!end)
    throw ToolError(path + " is not a Windows program image whose headers "
                           "say where it ends");
  if (*end != length)
    throw ToolError(path + ": its image ends at byte " + std::to_string(*end) +
                    " of " + std::to_string(length) +
                    "; build puts the package's manifest where the image "
                    "ends and needs a program image without bytes after "
                    "it (a signature, appended data) and not cut short");
}

} // namespace

std::string DefaultStubPath() {
  const stdfs::path folder =
      stdfs::path(platform::OsProgramPath()).parent_path();
  const stdfs::path candidates[] = {
      folder / kStubFileName,
      folder / ".." / "share" / "updpack" / kStubFileName,
  };
  for (const stdfs::path &candidate : candidates) {
    std::error_code error;
    if (stdfs::is_regular_file(candidate, error))
      return candidate.lexically_normal().string();
  }
  throw ToolError("no program image installed with the tool: looked for " +
                  candidates[0].lexically_normal().string() + " and " +
                  candidates[1].lexically_normal().string() +
                  "; give one with --stub");
}

std::string ResolveStub(const std::string &given) {
  std::string path = given.empty() ? DefaultStubPath() : given;
  CheckPeImage(path);
  return path;
}

void CheckPeImage(const std::string &path) {
  const OsFile file(path, platform::OpenMode::ReadOnly);
  const int64_t length = file.Size();
  // "MZ", then e_lfanew pointing, inside the file, at "PE\0\0".
  uint8_t dos[pe::kDosLfanewOffset + 4];
  const bool hasDosHeader = file.ReadAt(0, dos, sizeof dos) == sizeof dos &&
                            std::memcmp(dos, "MZ", 2) == 0;
  const int64_t peOffset =
      hasDosHeader
          ? static_cast<uint32_t>(package::ReadLE32(dos + pe::kDosLfanewOffset))
          : 0;
  uint8_t signature[4] = {};
  if (!hasDosHeader || peOffset + int64_t{sizeof signature} > length ||
      file.ReadAt(peOffset, signature, sizeof signature) != sizeof signature ||
      package::ReadLE32(signature) != pe::kPeSignature)
    throw ToolError(path + " is not a Windows program image (no MZ header "
                           "leading to a PE signature)");
  CheckEnd(pe::ReadImageHeaders(OsFileSource(file)).end, length, path);
}

void CheckImageEnd(std::string_view image, const std::string &path) {
  CheckEnd(pe::ReadImageHeaders(package::MemorySource(image)).end,
           static_cast<int64_t>(image.size()), path);
}

void ClearCertificateEntry(std::string &image) {
  if (!pe::ReadImageHeaders(package::MemorySource(image)).table)
    return;
  // The headers named a table, so every field read here lies in the image.
  const auto *bytes = reinterpret_cast<const uint8_t *>(image.data());
  const int64_t optional =
      int64_t{package::ReadLE32(bytes + pe::kDosLfanewOffset)} + 4 +
      pe::kCoffHeaderSize;
  const bool plus = package::ReadLE16(bytes + optional) == pe::kPe32PlusMagic;
  const int64_t entry =
      optional + pe::DataDirectoryOffset(plus, pe::kDirectoryEntrySecurity);
  std::fill_n(image.begin() + entry, pe::kDataDirectorySize, '\0');
}

} // namespace tools
