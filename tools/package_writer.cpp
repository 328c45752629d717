// Joining stub, archive and trailer.
#include "tools/package_writer.h"

#include "platform/error.h"
#include "platform/fs.h"
#include "tools/atomic_output.h"
#include "tools/cli.h"
#include "tools/file_io.h"
#include "tools/package_file.h"
#include "tools/stub.h"

namespace tools {

namespace {

// The package, trailer included, must stay below 2^31 bytes: every
// position in it is a 32-bit signed number.
constexpr int64_t kMaxPackage = (int64_t{1} << 31) - 1;
constexpr int64_t kTrailerSize = 4;

void CheckArchiveFile(const std::string &path) {
  const ArchiveSpan span = LocateArchive(path);
  if (span.kind == FileKind::Package)
    throw ToolError(path + " is a package, not an archive");
  if (span.kind != FileKind::Archive)
    throw ToolError(path + " is not a PACK1 archive");
  try {
    CheckArchive(path);
  } catch (const platform::Error &e) {
    throw ToolError(path + " does not parse: " + e.Description() + " (" +
                    std::to_string(e.Number()) + ")");
  }
}

} // namespace

void WritePackage(const std::string &stubPath, const std::string &archivePath,
                  const std::string &outputPath) {
  CheckPeImage(stubPath);
  if (platform::fs::SameFile(outputPath, stubPath))
    throw ToolError("the output would overwrite the stub: " + outputPath);
  if (platform::fs::SameFile(outputPath, archivePath))
    throw ToolError("the output would overwrite the archive: " + outputPath);
  CheckArchiveFile(archivePath);

  const OsFile stub(stubPath, platform::OpenMode::ReadOnly);
  const OsFile archive(archivePath, platform::OpenMode::ReadOnly);
  const int64_t stubLength = stub.Size();
  const int64_t archiveLength = archive.Size();
  const int64_t total = stubLength + archiveLength + kTrailerSize;
  if (total > kMaxPackage)
    throw ToolError("the package would be " + std::to_string(total) +
                    " bytes; it must stay below 2147483648 bytes (2 GiB)");

  // ArchiveStart: the 1-based position of the archive's first byte.
  const auto archiveStart = static_cast<uint32_t>(stubLength + 1);
  const uint8_t trailer[kTrailerSize] = {
      static_cast<uint8_t>(archiveStart),
      static_cast<uint8_t>(archiveStart >> 8),
      static_cast<uint8_t>(archiveStart >> 16),
      static_cast<uint8_t>(archiveStart >> 24)};

  AtomicOutput output(outputPath);
  {
    OsFile file(output.TempPath(), platform::OpenMode::Output);
    CopyBytes(stub, 0, stubLength, file, 0);
    CopyBytes(archive, 0, archiveLength, file, stubLength);
    file.WriteAt(stubLength + archiveLength, trailer, sizeof trailer);
    file.Close();
  }
  output.Commit();
}

} // namespace tools
