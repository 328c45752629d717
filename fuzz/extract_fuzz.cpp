// Fuzz target: any bytes as a PACK1 archive. Extract must end cleanly (true,
// or false after its error box), and whatever it writes lands as ordinary
// files directly inside the target folder.
#include <cstdint>
#include <filesystem>
#include <string>

#include "archive/cls_arch.h"
#include "fuzz/harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  namespace stdfs = std::filesystem;
  using fuzzing::Fail;
  static fuzzing::Sandbox sandbox("extract_fuzz");
  const std::string box = sandbox.Begin();
  const std::string out = box + "/out";
  const std::string archivePath = box + "/a.pack";
  stdfs::create_directory(out);
  fuzzing::WriteFile(archivePath, {reinterpret_cast<const char *>(data), size});

  archive::cls_arch arch;
  arch.FileName(archivePath);
  if (arch.Load() != platform::kTrue)
    Fail("cannot load the archive");
  const platform::Boolean result = arch.Extract(out);
  if (result != platform::kTrue && result != platform::kFalse)
    Fail("Extract returned neither true nor false");
  if (arch.ActionMode() != archive::mode::kIdle || !arch.DefFile().empty())
    Fail("Extract did not return to idle");

  // Nothing beside the archive and the target folder, and inside the folder
  // only ordinary files.
  for (const auto &entry : stdfs::directory_iterator(box))
    if (entry.path() != out && entry.path() != archivePath)
      Fail("written outside the target folder: " + entry.path().string());
  for (const auto &entry : stdfs::directory_iterator(out))
    if (!entry.is_regular_file() || entry.is_symlink())
      Fail("not an ordinary file in the target folder: " +
           entry.path().string());
  sandbox.End();
  return 0;
}
