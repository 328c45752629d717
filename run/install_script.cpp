// The install script: reads TempFolder\script record by record and carries
// out each record as soon as it has been read.
#include "run/install_script.h"

#include <new>
#include <string>
#include <vector>

#include "package/script_record.h"
#include "package/texts.h"
#include "platform/env.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/fs.h"
#include "platform/ui.h"
#include "run/mdl_main.h"
#include "run/run_texts.h"
#include "run/transaction.h"

namespace mdl_main::script {

namespace files = platform::files;
namespace record = package::script;

namespace {

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

// Reads the script and carries out every record as soon as it has been
// read: as a step of undoable, which then yields, or strictly without it.
void ForEachRecord(txn::Transaction *undoable) {
  const std::string tempFolder = TempFolder;
  const std::string programFolder = platform::ProgramFolder();
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
    if (!undoable) {
      CarryOut(read.operation, source, target);
      continue;
    }
    undoable->CarryOut(read.operation, source, target);
    platform::CheckClockAtNextYield();
    platform::Yield();
  }
  files::Close(number);
}

// The message of an undone install: the product as it was, or the files
// that could not be restored and where their old versions are.
std::string UndoneMessage(const txn::Transaction &transaction,
                          const std::vector<std::string> &failed,
                          const std::string &cause) {
  using package::Text;
  if (failed.empty())
    return package::FillIn(CurrentText(Text::RolledBack), {{"cause", cause}});
  std::string files;
  for (const std::string &path : failed)
    files += (files.empty() ? "" : ", ") + path;
  return package::FillIn(CurrentText(Text::Unrestored),
                         {{"cause", cause},
                          {"files", files},
                          {"folder", transaction.BackupAreas()}});
}

// Undoes transaction after a failure and raises it as an undone install.
[[noreturn]] void RaiseUndone(txn::Transaction &transaction, int32_t number,
                              const std::string &cause) {
  txn::SetActive(nullptr);
  const std::vector<std::string> failed = transaction.Undo();
  throw platform::Error(number, UndoneMessage(transaction, failed, cause));
}

void RunUndoable() {
  txn::Transaction transaction(platform::ProgramFolder());
  // No abort may reach the transaction once it is gone, however the run
  // leaves this function.
  struct Activation {
    explicit Activation(txn::Transaction *t) { txn::SetActive(t); }
    ~Activation() { txn::SetActive(nullptr); }
    Activation(const Activation &) = delete;
    Activation &operator=(const Activation &) = delete;
  } activation(&transaction);
  try {
    ForEachRecord(&transaction);
  } catch (const platform::Error &e) {
    RaiseUndone(transaction, e.Number(), e.Description());
  } catch (const std::bad_alloc &) {
    RaiseUndone(transaction, platform::err::kOutOfMemory,
                platform::StandardText(platform::err::kOutOfMemory));
  }
  txn::SetActive(nullptr);
  transaction.Commit();
}

} // namespace

void RunInstallScript(bool undoable) {
  if (undoable) {
    RunUndoable();
    return;
  }
  ForEachRecord(nullptr);
}

void UndoOnAbort() {
  txn::Transaction *transaction = txn::Active();
  if (!transaction)
    return;
  txn::SetActive(nullptr);
  const std::vector<std::string> failed = transaction->Undo();
  if (!failed.empty())
    platform::Ui().ShowMessage(
        UndoneMessage(*transaction, failed,
                      CurrentText(package::Text::Aborted)),
        platform::MsgIcon::Error, platform::MsgButtons::Ok);
}

} // namespace mdl_main::script
