// Fuzz target: any bytes as the install script, carried out against a
// sandbox program folder that holds files, a subfolder, a symbolic link and
// a hard link to canary files outside it. Carrying it out ends with a
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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  namespace stdfs = std::filesystem;
  static fuzzing::Sandbox sandbox("script_fuzz");
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
    mdl_main::script::RunInstallScript();
  } catch (const platform::Error &) {
    // A failing record ends the script, as it ends the run.
  }
  sandbox.End();
  return 0;
}
