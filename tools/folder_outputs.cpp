#include "tools/folder_outputs.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "package/manifest.h"
#include "platform/fs.h"
#include "tools/cli.h"
#include "tools/file_io.h"
#include "tools/package_file.h"

namespace tools {

namespace {

// Whether path lies below folder, both as they resolve.
bool Inside(const std::string &path, const std::string &folder) {
  namespace stdfs = std::filesystem;
  std::error_code error;
  const stdfs::path file = stdfs::weakly_canonical(path, error);
  const stdfs::path base = stdfs::weakly_canonical(folder, error);
  if (error)
    return false;
  const auto [end, unused] =
      std::mismatch(base.begin(), base.end(), file.begin(), file.end());
  return end == base.end();
}

bool StartsWith(const std::string &path, std::string_view header) {
  std::ifstream in(path, std::ios::binary);
  std::string head(header.size(), '\0');
  return in.read(head.data(), static_cast<std::streamsize>(head.size())) &&
         head == header;
}

bool IsOwnOutput(const std::string &path, OutputKind kind) {
  switch (kind) {
  case OutputKind::Archive:
    return LocateArchive(path).kind == FileKind::Archive;
  case OutputKind::Package: {
    const OsFile file(path, platform::OpenMode::ReadOnly);
    return package::FindManifest(OsFileSource(file)).state ==
           package::ManifestState::Intact;
  }
  case OutputKind::DiffScript:
    return StartsWith(path, kDiffScriptHeader);
  }
  return false;
}

} // namespace

void RefuseOverFolderFile(const std::string &output, OutputKind kind,
                          const std::string &folder, const char *fileOf) {
  if (platform::fs::KindOf(output) != platform::fs::EntryKind::File ||
      !Inside(output, folder) || IsOwnOutput(output, kind))
    return;
  static constexpr const char *kWhat[] = {
      "an archive", "a package updpack built", "a script updpack diff wrote"};
  throw ToolError("the output would overwrite " + output + ", a " + fileOf +
                  " (not " + kWhat[static_cast<int>(kind)] + ")");
}

} // namespace tools
