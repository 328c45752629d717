// The install script: reads TempFolder\script record by record and carries
// out each record as soon as it has been read.
#include "run/install_script.h"

#include <new>
#include <string>
#include <vector>

#include "package/checksums.h"
#include "package/coding.h"
#include "package/long_records.h"
#include "package/script_record.h"
#include "package/texts.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/fs.h"
#include "platform/ui.h"
#include "run/installed_names.h"
#include "run/installed_times.h"
#include "run/mdl_main.h"
#include "run/run_log.h"
#include "run/run_texts.h"
#include "run/transaction.h"
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
              const std::string &target,
              const platform::fs::FileTime *modified) {
  switch (operation) {
  case record::kCopyFile:
    platform::fs::FileCopy(source, target, modified);
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

// Carries out record k (1-based through both entries) unless skip marks
// it, naming it in the log; a copy gives the new file its time in times.
void Perform(int32_t k, const record::Record &read,
             const std::vector<uint8_t> &skip, txn::Transaction *undoable,
             const std::string &tempFolder, const std::string &programFolder,
             const times::Table &times) {
  const auto index = static_cast<size_t>(k - 1);
  if (index < skip.size() && skip[index]) {
    LogLine("record ", k, ": already done");
    return;
  }
  const std::string source =
      record::PrepareField(read.source, tempFolder, programFolder);
  const std::string target =
      record::PrepareField(read.target, tempFolder, programFolder);
  LogLine("record ", k, ": ", OperationWord(read.operation), " ", source,
          source.empty() ? "" : " -> ", target);
  const platform::fs::FileTime *modified =
      read.operation == record::kCopyFile ? times.Of(source) : nullptr;
  try {
    if (!undoable) {
      CarryOut(read.operation, source, target, modified);
      return;
    }
    // As a step of the transaction, which then yields.
    undoable->CarryOut(read.operation, source, target, modified);
  } catch (const platform::Error &e) {
    LogLine("record ", k, " failed: ", e.Description());
    // The user knows the file installed, not the entry it comes from nor
    // the name it is written under.
    if (undoable && read.operation == record::kCopyFile)
      names::RaiseRenamed(e, {names::OfPackage(source), txn::NewFileOf(target)},
                          names::Shown(target, programFolder));
    throw;
  }
  platform::CheckClockAtNextYield();
  platform::Yield();
}

// The long script ends before a record it holds, or holds one that is
// not as the tool writes them.
[[noreturn]] void RaiseLongScriptDamaged() {
  package::sums::RaiseDamaged(record::kLongScriptName,
                              platform::Msg::FileDamaged);
}

// Each record is read from the script as it is once the one before it is
// done: a copy may have written over the script itself.
void RereadAfterCopy(int16_t number, uint8_t operation) {
  if (operation == record::kCopyFile)
    files::At(number).Reread();
}

// The next n bytes of the file under number into buffer; the long script
// is damaged when it ends before them.
void ReadBytes(int16_t number, int64_t length, size_t n, std::string &buffer) {
  const int64_t position = files::At(number).Position();
  if (length - position + 1 < static_cast<int64_t>(n))
    RaiseLongScriptDamaged();
  buffer.resize(n);
  if (n != 0)
    files::At(number).GetRun(position,
                             reinterpret_cast<uint8_t *>(buffer.data()),
                             static_cast<int64_t>(n));
}

// The records of the long script, one read and carried out at a time.
void RunLongScript(int32_t k, const std::vector<uint8_t> &skip,
                   txn::Transaction *undoable, const std::string &tempFolder,
                   const std::string &programFolder,
                   const times::Table &times) {
  const int16_t number = files::FreeFile();
  const platform::OpenMode mode = platform::OpenMode::ReadOnly;
  try {
    files::Open(number, tempFolder + "\\" + record::kLongScriptName, mode,
                HeldTempFolder().OpenFile(record::kLongScriptName, mode));
  } catch (const platform::Error &e) {
    if (e.Number() != platform::err::kFileNotFound)
      throw;
    package::sums::RaiseDamaged(record::kLongScriptName,
                                platform::Msg::FileMissing);
  }
  const int64_t length = files::Lof(number);
  std::string bytes;
  ReadBytes(number, length, record::kLongMagicSize, bytes);
  if (!record::IsLongScript(bytes))
    RaiseLongScriptDamaged();
  std::string head;
  std::string fields;
  while (files::At(number).Position() <= length) {
    // The head gives the lengths; the record is then decoded whole, after
    // the magic that its decoder expects before it.
    ReadBytes(number, length, record::kLongHeadSize, head);
    const size_t sourceLength =
        package::ReadLE(head, record::kLongSourceLengthOffset, 2);
    const size_t targetLength =
        package::ReadLE(head, record::kLongTargetLengthOffset, 2);
    if (sourceLength > record::kMaxLongField ||
        targetLength > record::kMaxLongField)
      RaiseLongScriptDamaged();
    ReadBytes(number, length, sourceLength + targetLength, fields);
    bytes.resize(record::kLongMagicSize);
    bytes += head;
    bytes += fields;
    const std::optional<record::LongRecordAt> read =
        record::DecodeLongRecord(bytes, record::kLongMagicSize);
    if (!read)
      RaiseLongScriptDamaged();
    Perform(++k, read->record, skip, undoable, tempFolder, programFolder,
            times);
    RereadAfterCopy(number, read->record.operation);
  }
  files::Close(number);
}

// Reads the script and carries out every record as soon as it has been
// read: as a step of undoable, which then yields, or strictly without it.
void ForEachRecord(const std::vector<uint8_t> &skip, bool longDeclared,
                   txn::Transaction *undoable, const times::Table &times) {
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
    Perform(k, read, skip, undoable, tempFolder, programFolder, times);
    RereadAfterCopy(number, read.operation);
  }
  files::Close(number);
  if (longDeclared)
    RunLongScript(count, skip, undoable, tempFolder, programFolder, times);
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
    (files += files.empty() ? "" : ", ") += path;
  // No backup area left: every old file went back, and what stays are new
  // files or folders.
  const std::string areas = transaction.BackupAreas();
  return package::FillIn(
      CurrentText(areas.empty() ? Text::Leftover : Text::Unrestored),
      {{"cause", cause}, {"files", files}, {"folder", areas}});
}

// The undo in the log: done whole, or each path it could not restore.
void LogUndo(const std::vector<std::string> &failed) {
  LogLine(failed.empty() ? "undone: the product is as it was"
                         : "undone in part");
  for (const std::string &path : failed)
    LogLine("not restored: ", path);
}

// Undoes transaction after a failure and raises it as an undone install.
[[noreturn]] void RaiseUndone(txn::Transaction &transaction, int32_t number,
                              const std::string &cause) {
  txn::SetActive(nullptr);
  const std::vector<std::string> failed = transaction.Undo();
  LogUndo(failed);
  throw platform::Error(number, UndoneMessage(transaction, failed, cause));
}

void RunUndoable(const std::vector<uint8_t> &skip, bool longDeclared,
                 const times::Table &times) {
  txn::Transaction transaction(AppFolder());
  // No abort may reach the transaction once it is gone, however the run
  // leaves this function.
  struct Activation {
    explicit Activation(txn::Transaction *t) { txn::SetActive(t); }
    ~Activation() { txn::SetActive(nullptr); }
    Activation(const Activation &) = delete;
    Activation &operator=(const Activation &) = delete;
  } activation(&transaction);
  try {
    ForEachRecord(skip, longDeclared, &transaction, times);
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

void RunInstallScript(const std::vector<uint8_t> &skip, bool longDeclared,
                      bool undoable, bool timesDeclared) {
  // Read before the first record: a damaged entry changes nothing.
  const times::Table times =
      timesDeclared ? times::Table::Load() : times::Table();
  if (undoable) {
    RunUndoable(skip, longDeclared, times);
    return;
  }
  ForEachRecord(skip, longDeclared, nullptr, times);
}

void UndoOnAbort() {
  txn::Transaction *transaction = txn::Active();
  if (!transaction)
    return;
  txn::SetActive(nullptr);
  const std::vector<std::string> failed = transaction->Undo();
  LogUndo(failed);
  if (!failed.empty())
    platform::Ui().ShowMessage(
        UndoneMessage(*transaction, failed,
                      CurrentText(package::Text::Aborted)),
        platform::MsgIcon::Error, platform::MsgButtons::Ok);
}

} // namespace mdl_main::script
