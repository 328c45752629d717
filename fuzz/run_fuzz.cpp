// Fuzz target: the whole update run on a package made of the input, as the
// program's own executable in a sandbox program folder with TMP in the
// sandbox, every question answered Yes. The run must end through the end of
// the program with success, failure, or the check of the installed product's
// refusal, and leave only ordinary files and folders in the program folder.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "fuzz/harness.h"
#include "fuzz/package_maker.h"
#include "package/coding.h"
#include "package/manifest.h"
#include "package/stream_layout.h"
#include "platform/env.h"
#include "platform/ui.h"
#include "run/mdl_main.h"

namespace {

namespace stdfs = std::filesystem;
using fuzzing::Fail;

// A compressed package (package/stream_layout.h): after the first byte, the
// raw archive's length (below 1 MiB) and CRC-32, 4 bytes each, then the
// stream, behind an image and a manifest that declare them.
std::string CompressedPackage(std::string rest) {
  rest.resize(std::max<size_t>(rest.size(), 8));
  const uint32_t raw = package::ReadLE(rest, 0, 4) % (1u << 20);
  const uint32_t crc = package::ReadLE(rest, 4, 4);
  std::string payload;
  package::AppendPair(payload, package::kCodecKey, package::kCodecLzma);
  package::AppendPair(payload, package::kStreamKey,
                      std::to_string(rest.size() - 8));
  package::AppendPair(payload, package::kRawKey, std::to_string(raw));
  package::AppendPair(payload, package::kRawCrcKey, std::to_string(crc));
  return fuzzing::PackageAround(rest.substr(8), payload);
}

// The first byte chooses how the rest becomes a package. Mostly it is the
// archive behind a two-byte program image, with a trailer that points at it,
// so that mutations work on the archive and its script; every fourth value
// takes the rest as the whole package, so that the trailer read and the
// carve-out see any bytes too; every eighth value (7 and so on) makes the
// rest a compressed archive (CompressedPackage), for the carve-out's decoder;
// every eighth from 3 on makes it the archive of a package whose manifest
// declares the tool's entries by bits 3 to 6, so that the run reads the
// checksum entry, the long script, the expected state and the times, and
// with bit 7 pairs of the input too (fuzzing::TakePayload).
std::string Package(const uint8_t *data, size_t size) {
  if (size == 0)
    return {};
  std::string rest(reinterpret_cast<const char *>(data) + 1, size - 1);
  if (data[0] % 4 == 0)
    return rest;
  if (data[0] % 8 == 7)
    return CompressedPackage(std::move(rest));
  if (data[0] % 8 == 3) {
    std::string payload =
        fuzzing::DeclaredEntries(static_cast<uint8_t>(data[0] >> 3));
    if (data[0] & 0x80) // and pairs of the input: the texts, any keys
      payload += fuzzing::TakePayload(rest);
    return fuzzing::PackageAround(rest, payload);
  }
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
  // The check of the installed product ends a package with a manifest as
  // not for this version, or with the package itself in use (the program
  // running is held as Windows holds it) when Cancel answers the retry.
  if (exitCode != platform::exitcode::kSuccess &&
      exitCode != platform::exitcode::kFailed &&
      exitCode != platform::exitcode::kNotExpected &&
      exitCode != platform::exitcode::kInUse)
    Fail("the run ended with " + std::to_string(exitCode));
  CheckOnlyFilesAndFolders(prog);
  sandbox.End();
  return 0;
}
