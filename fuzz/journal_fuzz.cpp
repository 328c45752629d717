// Fuzz target: any bytes as the journal of an install cut off, in the backup
// area of a sandbox program folder that holds files, a subfolder, a symbolic
// link and a hard link to canary files outside it, with two old files in the
// area and a new file half written. The next run's undo ends with a result
// or a platform::Error, and no canary changes; an undo it reports done
// leaves no backup area.
#include <cstdint>
#include <filesystem>
#include <string>

#include "fuzz/harness.h"
#include "platform/error.h"
#include "run/transaction.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  namespace stdfs = std::filesystem;
  namespace txn = mdl_main::txn;
  static fuzzing::Sandbox sandbox("journal_fuzz");
  const std::string box = sandbox.Begin();
  const std::string prog = box + "/prog";
  const std::string area = prog + "/" + txn::kBackupName;
  stdfs::create_directories(area);
  stdfs::create_directories(prog + "/data");
  fuzzing::WriteFile(area + "/" + txn::kJournalName,
                     {reinterpret_cast<const char *>(data), size});
  fuzzing::WriteFile(area + "/1", "old program");
  fuzzing::WriteFile(area + "/2", "old data");
  fuzzing::WriteFile(prog + "/app.exe", "new program");
  fuzzing::WriteFile(prog + "/" + txn::kNewFileName, "new da");
  fuzzing::WriteFile(prog + "/data/inner.dat", "data in a subfolder");
  stdfs::create_symlink(sandbox.CanaryFile("linked.txt"), prog + "/link.txt");
  stdfs::create_hard_link(sandbox.CanaryFile("hard.txt"), prog + "/hard.txt");
  stdfs::create_directory_symlink(sandbox.CanaryFile("sub"), prog + "/out");

  try {
    if (txn::RecoverInterrupted(prog) == txn::Recovery::Undone &&
        stdfs::exists(stdfs::symlink_status(area)))
      fuzzing::Fail("an undo reported done left " + area);
  } catch (const platform::Error &) {
    // A journal that cannot be followed is refused, naming the area.
  }
  sandbox.End();
  return 0;
}
