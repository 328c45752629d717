// updpack build --stub STUB --archive ARCHIVE -o PACKAGE.exe: the program
// image, the archive and the 4-byte trailer, streamed into one file.
#include <cstdio>
#include <iostream>
#include <memory>

#include "platform/error.h"
#include "platform/fs.h"
#include "platform/os_file.h"
#include "tools/cli.h"

namespace tools {

void CheckReadable(const std::string &path); // cmd_extract.cpp

namespace {

// The package, trailer included, must stay below 2^31 bytes: every
// position in it is a 32-bit signed number.
constexpr int64_t kMaxPackage = (int64_t{1} << 31) - 1;
constexpr size_t kChunk = 1 << 20;
constexpr int64_t kTrailerSize = 4;

class OsFile {
public:
  OsFile(const std::string &path, platform::OpenMode mode)
      : path_(path), handle_(platform::os::OpenFile(path, mode)) {}
  ~OsFile() {
    if (open_) {
      try {
        platform::os::CloseFile(handle_, path_);
      } catch (const platform::Error &) {
      }
    }
  }
  OsFile(const OsFile &) = delete;
  OsFile &operator=(const OsFile &) = delete;

  int64_t Size() const { return platform::os::FileSize(handle_, path_); }
  platform::os::FileHandle handle() const { return handle_; }
  const std::string &path() const { return path_; }
  void Close() {
    open_ = false;
    platform::os::CloseFile(handle_, path_);
  }

private:
  std::string path_;
  platform::os::FileHandle handle_;
  bool open_ = true;
};

// Copies exactly length bytes of source to target at offset `at`.
void CopyInto(OsFile &source, int64_t length, OsFile &target, int64_t at,
              uint8_t *buffer) {
  int64_t done = 0;
  while (done < length) {
    const size_t want =
        static_cast<size_t>(std::min<int64_t>(kChunk, length - done));
    const size_t got = platform::os::ReadAt(source.handle(), done, buffer, want,
                                            source.path());
    if (got == 0)
      throw ToolError("file became shorter while it was read: " +
                      source.path());
    platform::os::WriteAt(target.handle(), at + done, buffer, got,
                          target.path());
    done += static_cast<int64_t>(got);
  }
}

bool BeginsWithSignature(OsFile &archive) {
  char head[5] = {};
  const size_t got = platform::os::ReadAt(archive.handle(), 0, head,
                                          sizeof head, archive.path());
  return got == sizeof head && std::string(head, sizeof head) == "PACK1";
}

} // namespace

int BuildCommand(const std::vector<std::string> &arguments) {
  const Args args = ParseArgs(
      arguments,
      {{"--stub", true}, {"--archive", true}, {"--output", true, "-o"}});
  if (args.help)
    return ShowUsage("build");
  ExpectPositional(args, 0);
  for (const char *needed : {"--stub", "--archive", "--output"})
    if (!args.Has(needed))
      throw UsageError(std::string("missing ") + needed);
  const std::string &stubPath = args.options.at("--stub");
  const std::string &archivePath = args.options.at("--archive");
  const std::string &outputPath = args.options.at("--output");

  CheckReadable(stubPath);
  CheckReadable(archivePath);
  if (platform::fs::FolderExists(outputPath))
    throw ToolError("the output path names a folder: " + outputPath);
  if (platform::fs::SameFile(outputPath, stubPath))
    throw ToolError("the output would overwrite the stub: " + outputPath);
  if (platform::fs::SameFile(outputPath, archivePath))
    throw ToolError("the output would overwrite the archive: " + outputPath);

  OsFile stub(stubPath, platform::OpenMode::ReadOnly);
  OsFile archive(archivePath, platform::OpenMode::ReadOnly);
  const int64_t stubLength = stub.Size();
  const int64_t archiveLength = archive.Size();
  const int64_t total = stubLength + archiveLength + kTrailerSize;
  if (total > kMaxPackage)
    throw ToolError("the package would be " + std::to_string(total) +
                    " bytes; it must stay below 2147483648 bytes (2 GiB)");
  if (!BeginsWithSignature(archive))
    Warn(archivePath +
         " does not begin with PACK1; the package's run will reject it");

  // ArchiveStart: the 1-based position of the archive's first byte.
  const int32_t archiveStart = static_cast<int32_t>(stubLength + 1);
  const uint8_t trailer[kTrailerSize] = {
      static_cast<uint8_t>(archiveStart),
      static_cast<uint8_t>(archiveStart >> 8),
      static_cast<uint8_t>(archiveStart >> 16),
      static_cast<uint8_t>(archiveStart >> 24)};

  auto buffer = std::make_unique<uint8_t[]>(kChunk);
  std::unique_ptr<OsFile> output =
      std::make_unique<OsFile>(outputPath, platform::OpenMode::Output);
  try {
    CopyInto(stub, stubLength, *output, 0, buffer.get());
    CopyInto(archive, archiveLength, *output, stubLength, buffer.get());
    platform::os::WriteAt(output->handle(), stubLength + archiveLength, trailer,
                          sizeof trailer, output->path());
    output->Close();
  } catch (...) {
    // A half-written package must not pass for a whole one.
    output.reset();
    RemoveQuietly(outputPath);
    throw;
  }
  return kExitOk;
}

} // namespace tools
