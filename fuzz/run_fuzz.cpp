// Fuzz target: the whole update run on a package made of the input, as the
// program's own executable in a sandbox program folder with TMP in the
// sandbox, every question answered Yes. The run must end through the end of
// the program with success or failure, and leave only ordinary files and
// folders in the program folder.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "fuzz/harness.h"
#include "package/coding.h"
#include "package/manifest.h"
#include "package/pe_image.h"
#include "package/stream_layout.h"
#include "platform/env.h"
#include "platform/ui.h"
#include "run/mdl_main.h"

namespace {

namespace stdfs = std::filesystem;
using fuzzing::Fail;

// A PE image of headers alone, 512 bytes, whose manifest follows it.
std::string ImageHeadersOnly() {
  namespace pe = package::pe;
  std::string image(512, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  package::WriteLE(image, pe::kDosLfanewOffset, 0x40, 4);
  package::WriteLE(image, 0x40, pe::kPeSignature, 4);
  package::WriteLE(image, 0x44 + pe::kSizeOfOptionalHeaderOffset, 240, 2);
  const size_t optional = 0x44 + pe::kCoffHeaderSize;
  package::WriteLE(image, optional, pe::kPe32PlusMagic, 2);
  package::WriteLE(image, optional + pe::kSizeOfHeadersOffset, 512, 4);
  return image;
}

// A compressed package (package/stream_layout.h): after the first byte, the
// raw archive's length (below 1 MiB) and CRC-32, 4 bytes each, then the
// stream, behind an image and a manifest that declare them.
std::string CompressedPackage(std::string rest) {
  rest.resize(std::max<size_t>(rest.size(), 8));
  const uint32_t raw = package::ReadLE(rest, 0, 4) % (1u << 20);
  const uint32_t crc = package::ReadLE(rest, 4, 4);
  const std::string stream = rest.substr(8);
  std::string payload;
  package::AppendPair(payload, package::kCodecKey, package::kCodecLzma);
  package::AppendPair(payload, package::kStreamKey,
                      std::to_string(stream.size()));
  package::AppendPair(payload, package::kRawKey, std::to_string(raw));
  package::AppendPair(payload, package::kRawCrcKey, std::to_string(crc));
  std::string package = ImageHeadersOnly();
  package += package::EncodeManifestWithLength(payload, [&](int64_t manifest) {
    return static_cast<int64_t>(package.size() + stream.size() + 4) + manifest;
  });
  const auto archiveStart = static_cast<uint32_t>(package.size() + 1);
  package += stream;
  for (int k = 0; k < 4; ++k) // little-endian
    package += static_cast<char>((archiveStart >> (8 * k)) & 0xFF);
  return package;
}

// The first byte chooses how the rest becomes a package. Mostly it is the
// archive behind a two-byte program image, with a trailer that points at it,
// so that mutations work on the archive and its script; every fourth value
// takes the rest as the whole package, so that the trailer read and the
// carve-out see any bytes too; every eighth value (7 and so on) makes the
// rest a compressed archive (CompressedPackage), for the carve-out's decoder.
std::string Package(const uint8_t *data, size_t size) {
  if (size == 0)
    return {};
  std::string rest(reinterpret_cast<const char *>(data) + 1, size - 1);
  if (data[0] % 4 == 0)
    return rest;
  if (data[0] % 8 == 7)
    return CompressedPackage(std::move(rest));
  constexpr uint32_t kArchiveStart = 3; // right after the image "MZ"
  std::string package = "MZ" + rest;
  for (int k = 0; k < 4; ++k) // little-endian
    package += static_cast<char>((kArchiveStart >> (8 * k)) & 0xFF);
  return package;
}

void CheckOnlyFilesAndFolders(const std::string &folder) {
  for (const auto &entry : stdfs::recursive_directory_iterator(folder)) {
    const stdfs::file_status status = entry.symlink_status();
    if (!stdfs::is_regular_file(status) && !stdfs::is_directory(status))
      Fail("neither a file nor a folder: " + entry.path().string());
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static fuzzing::Sandbox sandbox("run_fuzz");
  const std::string box = sandbox.Begin();
  const std::string prog = box + "/prog";
  const std::string tmp = box + "/tmp";
  stdfs::create_directory(prog);
  stdfs::create_directory(tmp);
  // An installed program for the script to work on.
  fuzzing::WriteFile(prog + "/app.exe", "installed program");
  fuzzing::WriteFile(prog + "/old.tmp", "left by the last version");
  fuzzing::WriteFile(prog + "/update.exe", Package(data, size));
  // The process is the fuzzer's own: its TMP can point here for good.
  setenv("TMP", tmp.c_str(), 1);
  platform::SetProgramPath(prog + "/update.exe");

  int exitCode = -1;
  try {
    mdl_main::Main();
  } catch (const platform::ProgramEnded &ended) {
    exitCode = ended.exitCode;
  }
  if (exitCode != platform::exitcode::kSuccess &&
      exitCode != platform::exitcode::kFailed)
    Fail("the run ended with " + std::to_string(exitCode));
  CheckOnlyFilesAndFolders(prog);
  sandbox.End();
  return 0;
}
