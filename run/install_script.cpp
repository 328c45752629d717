// The install script: reads TempFolder\script record by record and carries
// out each record as soon as it has been read.
#include "run/install_script.h"

#include "package/script_record.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/fs.h"
#include "run/mdl_main.h"
#include "run/run_log.h"
#include "run/unattended.h"

namespace mdl_main::script {

namespace files = platform::files;
namespace record = package::script;

namespace {

const char *OperationWord(uint8_t operation) {
  switch (operation) {
  case record::kCopyFile:
    return "copy";
  case record::kDeleteFiles:
    return "delete";
  case record::kCreateFolder:
    return "mkdir";
  case record::kDeleteFolder:
    return "rmdir";
  default:
    return "ignored operation";
  }
}

void CarryOut(uint8_t operation, const std::string &source,
              const std::string &target) {
  switch (operation) {
  case record::kCopyFile:
    platform::fs::FileCopy(source, target);
    break;
  case record::kDeleteFiles:
    platform::fs::Kill(target);
    break;
  case record::kCreateFolder:
    platform::fs::MkDir(target);
    break;
  case record::kDeleteFolder:
    DeleteFolderAt(target);
    break;
  default:
    break; // read and ignored
  }
}

} // namespace

void RunInstallScript(const std::vector<uint8_t> &skip) {
  const std::string tempFolder = TempFolder;
  const std::string programFolder = AppFolder();
  // Targets are often new names in the same folder: its names are listed
  // once.
  const platform::fs::KeepFolderNames keepNames;
  const int16_t number = files::FreeFile();
  // Opened for reading and writing, so a folder without a script gets an
  // empty one and nothing is carried out; a missing folder fails here. It is
  // read from the folder found to be the user's own and held since, so that
  // nobody can have put another in its place.
  const platform::OpenMode mode = platform::OpenMode::ReadWrite;
  files::Open(number, tempFolder + "\\" + record::kScriptName, mode,
              HeldTempFolder().OpenFile(record::kScriptName, mode));
  const int32_t count = files::Lof(number) / record::kRecordSize;
  LogLine("install script: ", count, " records");
  std::string bytes(record::kRecordSize, '\0');
  for (int32_t k = 1; k <= count; ++k) {
    // The operation byte, the source and the target, one after the other.
    for (char &b : bytes)
      b = static_cast<char>(files::Get(number));
    const record::Record read = record::DecodeRecord(bytes);
    const std::string source =
        record::PrepareField(read.source, tempFolder, programFolder);
    const std::string target =
        record::PrepareField(read.target, tempFolder, programFolder);
    const auto index = static_cast<size_t>(k - 1);
    if (index < skip.size() && skip[index]) {
      LogLine("record ", k, ": already done");
      continue;
    }
    LogLine("record ", k, ": ", OperationWord(read.operation), " ", source,
            source.empty() ? "" : " -> ", target);
    try {
      CarryOut(read.operation, source, target);
    } catch (const platform::Error &e) {
      LogLine("record ", k, " failed: ", e.Description());
      throw;
    }
  }
  files::Close(number);
}

} // namespace mdl_main::script
