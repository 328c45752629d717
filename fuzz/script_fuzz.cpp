// Fuzz target: any bytes as the install script, carried out against a
// sandbox program folder that holds files, a subfolder, a symbolic link and
// a hard link to canary files outside it: first strictly, as the base
// format runs it, then in a fresh sandbox as the undoable install of a
// package of ours, whose steps move files aside and back. Each ends with a
// result or a platform::Error, and no canary changes.
#include <cstdint>
#include <filesystem>
#include <string>

#include "fuzz/harness.h"
#include "package/script_record.h"
#include "platform/env.h"
#include "platform/error.h"
#include "run/install_script.h"
#include "run/mdl_main.h"

namespace {

void CarryOut(fuzzing::Sandbox &sandbox, const uint8_t *data, size_t size,
              bool undoable) {
  namespace stdfs = std::filesystem;
  const std::string box = sandbox.Begin();
  const std::string temp = box + "/tmp";
  const std::string prog = box + "/prog";
  stdfs::create_directories(temp);
  stdfs::create_directories(prog + "/data");
  fuzzing::WriteFile(temp + "/" + package::script::kScriptName,
                     {reinterpret_cast<const char *>(data), size});
  fuzzing::WriteFile(temp + "/app.exe", "new program");
  fuzzing::WriteFile(temp + "/new.dat", "new data");
  fuzzing::WriteFile(prog + "/update.exe", "the package");
  fuzzing::WriteFile(prog + "/app.exe", "installed program");
  fuzzing::WriteFile(prog + "/old.tmp", "left by the last version");
  fuzzing::WriteFile(prog + "/data/inner.dat", "data in a subfolder");
  stdfs::create_symlink(sandbox.CanaryFile("linked.txt"), prog + "/link.txt");
  stdfs::create_hard_link(sandbox.CanaryFile("hard.txt"), prog + "/hard.txt");
  mdl_main::TempFolder = temp;
  platform::SetProgramPath(prog + "/update.exe");

  try {
    mdl_main::script::RunInstallScript({}, false, undoable);
  } catch (const platform::Error &) {
    // A failing record ends the script, as it ends the run.
  }
  sandbox.End();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static fuzzing::Sandbox sandbox("script_fuzz");
  CarryOut(sandbox, data, size, false);
  CarryOut(sandbox, data, size, true);
  return 0;
}
