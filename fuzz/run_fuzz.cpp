// Fuzz target: the whole update run on a package made of the input, as the
// program's own executable in a sandbox program folder with TMP in the
// sandbox, every question answered Yes. The run must end through the end of
// the program with success or failure, and leave only ordinary files and
// folders in the program folder.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "fuzz/harness.h"
#include "platform/env.h"
#include "platform/ui.h"
#include "run/mdl_main.h"

namespace {

namespace stdfs = std::filesystem;
using fuzzing::Fail;

// The first byte chooses how the rest becomes a package. Mostly it is the
// archive behind a two-byte program image, with a trailer that points at it,
// so that mutations work on the archive and its script; every fourth value
// takes the rest as the whole package, so that the trailer read and the
// carve-out see any bytes too.
std::string Package(const uint8_t *data, size_t size) {
  if (size == 0)
    return {};
  std::string rest(reinterpret_cast<const char *>(data) + 1, size - 1);
  if (data[0] % 4 == 0)
    return rest;
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
