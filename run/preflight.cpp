// The check of the installed product before the install.
#include "run/preflight.h"

#include <map>
#include <optional>

#include "package/checksums.h"
#include "package/damage.h"
#include "package/expected_state.h"
#include "package/path_overlay.h"
#include "package/script_record.h"
#include "package/texts.h"
#include "platform/codepage.h"
#include "platform/env.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/fs.h"
#include "platform/ui.h"
#include "run/file_crc.h"
#include "run/mdl_main.h"
#include "run/run_texts.h"
#include "ui/Setup.h"

namespace mdl_main::preflight {

namespace {

namespace fs = platform::fs;
namespace files = platform::files;
namespace expect = package::expect;
namespace record = package::script;
using package::Text;

// What lies at a path; Other (a link, a device) is never what a record
// expects.
enum class State { Nothing, File, Folder, Other };

State FromKind(expect::Kind kind) {
  switch (kind) {
  case expect::Kind::File:
    return State::File;
  case expect::Kind::Folder:
    return State::Folder;
  case expect::Kind::Nothing:
    break;
  }
  return State::Nothing;
}

State OnDisk(const std::string &path) {
  switch (fs::KindOf(path)) {
  case fs::EntryKind::Missing:
    return State::Nothing;
  case fs::EntryKind::File:
    return State::File;
  case fs::EntryKind::Folder:
    return State::Folder;
  case fs::EntryKind::Link:
  case fs::EntryKind::Other:
    break;
  }
  return State::Other;
}

// An entry of the temporary folder, read whole from the folder held since
// it was found to be the user's own; nullopt when it is not there.
std::optional<std::string> ReadEntry(const char *name) {
  const std::string path = TempFolder + "\\" + name;
  if (fs::ListFiles(path).empty())
    return std::nullopt;
  const platform::OpenMode mode = platform::OpenMode::ReadOnly;
  const int16_t number = files::FreeFile();
  files::Open(number, path, mode, HeldTempFolder().OpenFile(name, mode));
  platform::BufferedFile &file = files::At(number);
  std::string bytes(static_cast<size_t>(file.Length()), '\0');
  if (!bytes.empty())
    file.GetRun(1, reinterpret_cast<uint8_t *>(bytes.data()),
                static_cast<int64_t>(bytes.size()));
  files::Close(number);
  return bytes;
}

// The user cancelled the Retry box of a file in use.
struct Cancelled {};

// Asks Retry or Cancel for a file in use; raises Cancelled for Cancel.
void AskToClose(const std::string &shown) {
  const std::string text =
      package::FillPlaceholder(CurrentText(Text::InUse), "{file}", shown);
  if (platform::Ui().ShowMessage(text, platform::MsgIcon::Warning,
                                 platform::MsgButtons::RetryCancel) !=
      platform::MsgAnswer::Retry)
    throw Cancelled{};
}

struct Step {
  uint8_t operation = 0;
  std::string source;
  std::string target;
  std::u16string key; // the target, folded
  bool wildcard = false;
};

class Judge {
public:
  Judge(ui::Setup &form, const std::string &programFolder)
      : form_(form), programFolder_(programFolder) {}

  void AddExpected(const expect::Expected &item) {
    const std::string path = platform::AnsiToText(item.path);
    expected_.emplace(fs::FoldName(path), item);
    if (item.kind != expect::Kind::Nothing)
      oldPaths_.push_back(programFolder_ + "\\" + path);
  }

  void AddStep(Step step) {
    step.key = fs::FoldName(step.target);
    const std::string name = step.target.substr(
        step.target.find_last_of("\\/") + 1); // npos + 1 is 0
    step.wildcard = name.find_first_of("*?") != std::string::npos;
    last_[step.key] = steps_.size();
    steps_.push_back(std::move(step));
  }

  Decision Run(const std::string &forVersion) {
    try {
      return Judged(forVersion);
    } catch (const Cancelled &) {
      form_.SetCheckedFile({});
      Decision decision;
      decision.outcome = Outcome::InUse;
      return decision;
    }
  }

private:
  Decision Judged(const std::string &forVersion) {
    Decision decision;
    decision.skip.assign(steps_.size(), false);
    std::optional<std::string> differs;
    for (size_t k = 0; k < steps_.size() && !differs; ++k) {
      const Step &step = steps_[k];
      form_.SetCheckedFile(Shown(step.target));
      platform::Yield();
      if (step.operation > record::kDeleteFolder)
        continue; // read and ignored by the install too
      ++effective_;
      if (!JudgeStep(step, decision.skip[k]))
        differs = Shown(step.target);
    }
    form_.SetCheckedFile({});
    if ((differs || todo_ > 0) && NoneOfTheOldHere()) {
      decision.outcome = Outcome::WrongFolder;
      decision.message = CurrentText(Text::WrongFolder);
    } else if (differs) {
      decision.outcome = Outcome::NotExpected;
      const std::string &forText =
          forVersion.empty() ? CurrentText(Text::Earlier) : forVersion;
      decision.message = package::FillPlaceholder(
          package::FillPlaceholder(CurrentText(Text::NotExpected), "{for}",
                                   forText),
          "{file}", *differs);
    } else if (effective_ > 0 && todo_ == 0) {
      decision.outcome = Outcome::UpToDate;
    } else {
      WaitAllClosed();
    }
    return decision;
  }

  // Judges one record; false when the target is neither as the version the
  // update is for has it nor as the update leaves it.
  bool JudgeStep(const Step &step, std::vector<bool>::reference skip) {
    if (step.operation == record::kCopyFile &&
        StateAt(step.source) != State::File)
      platform::Raise(platform::err::kFileNotFound, step.source);
    if (step.wildcard)
      return JudgeWildcard(step, skip);
    bool fromDisk = false;
    const State state = StateAt(step.target, &fromDisk);
    if (Leaves(step, state, fromDisk)) {
      skip = true; // the disk shows it already: nothing to lay over it
      return true;
    }
    if (ParentIsFolder(step) && WasBefore(step, state, fromDisk)) {
      ++todo_;
      if (fromDisk && state == State::File)
        toReplace_.push_back(step.target);
      Apply(step);
      return true;
    }
    // A record whose path a later record of the script changes again, with
    // that later effect there already (a folder that became a file).
    const size_t last = last_[step.key];
    if (fromDisk && &steps_[last] != &step &&
        Leaves(steps_[last], state, true)) {
      skip = true;
      return true;
    }
    return false;
  }

  // A delete with a wildcard: before, something matches; after, nothing.
  bool JudgeWildcard(const Step &step, std::vector<bool>::reference skip) {
    if (step.operation != record::kDeleteFiles) {
      ++todo_; // a folder pattern: carried out as it is
      return true;
    }
    const size_t slash = step.target.find_last_of("\\/");
    const std::string folder =
        slash == std::string::npos ? "" : step.target.substr(0, slash);
    const std::vector<std::string> matches = StateAt(folder) == State::Folder
                                                 ? fs::ListFiles(step.target)
                                                 : std::vector<std::string>{};
    skip = matches.empty();
    if (!skip)
      ++todo_;
    for (const std::string &name : matches)
      toReplace_.push_back(folder + "\\" + name);
    return true;
  }

  State StateAt(const std::string &path, bool *fromDisk = nullptr) {
    if (const auto kind = overlay_.Lookup(fs::FoldName(path)))
      return FromKind(*kind);
    if (fromDisk)
      *fromDisk = true;
    return OnDisk(path);
  }

  // A file of the product, read as ReadFileFacts does; one that another
  // program keeps from being read gives the Retry box.
  FileFacts ProductFacts(const std::string &path, int64_t crcIfLength) const {
    for (;;) {
      try {
        return ReadFileFacts(path, crcIfLength);
      } catch (const platform::Error &) {
        if (!fs::InUse(path))
          throw;
        AskToClose(Shown(path));
      }
    }
  }

  bool SameBytes(const std::string &source, const std::string &target) const {
    const FileFacts lengthOfSource = ReadFileFacts(source, -1);
    const FileFacts facts = ProductFacts(target, lengthOfSource.length);
    return facts.length == lengthOfSource.length &&
           ReadFileFacts(source, facts.length).crc == facts.crc;
  }

  // What the record leaves at its target is there.
  bool Leaves(const Step &step, State state, bool fromDisk) const {
    switch (step.operation) {
    case record::kCopyFile:
      return fromDisk && state == State::File &&
             SameBytes(step.source, step.target);
    case record::kCreateFolder:
      return state == State::Folder;
    default:
      return state == State::Nothing;
    }
  }

  // The target is as the version the update is for has it: as its
  // expected state says, else as the record itself implies.
  bool WasBefore(const Step &step, State state, bool fromDisk) {
    if (fromDisk)
      if (const expect::Expected *item = ExpectedAt(step.target)) {
        if (item->kind != expect::Kind::File)
          return state == FromKind(item->kind);
        if (state != State::File)
          return false;
        const FileFacts facts = ProductFacts(step.target, item->length);
        return facts.length == item->length && facts.crc == item->crc;
      }
    switch (step.operation) {
    case record::kCopyFile:
      return state == State::File || state == State::Nothing;
    case record::kDeleteFiles:
      return state == State::File;
    case record::kCreateFolder:
      return state == State::Nothing;
    default:
      return state == State::Folder;
    }
  }

  // A copy or a new folder needs the folder it goes into.
  bool ParentIsFolder(const Step &step) {
    if (step.operation != record::kCopyFile &&
        step.operation != record::kCreateFolder)
      return true;
    const size_t slash = step.target.find_last_of("\\/");
    return slash == std::string::npos ||
           StateAt(step.target.substr(0, slash)) == State::Folder;
  }

  void Apply(const Step &step) {
    switch (step.operation) {
    case record::kCopyFile:
      overlay_.Set(step.key, expect::Kind::File);
      break;
    case record::kCreateFolder:
      overlay_.Set(step.key, expect::Kind::Folder, true);
      break;
    default:
      overlay_.Set(step.key, expect::Kind::Nothing);
      break;
    }
  }

  const expect::Expected *ExpectedAt(const std::string &target) const {
    const std::string relative = Relative(target);
    if (relative.size() == target.size())
      return nullptr;
    const auto found = expected_.find(fs::FoldName(relative));
    return found == expected_.end() ? nullptr : &found->second;
  }

  // The expected state names files or folders of the old version, and
  // none of them is here: not the product's folder.
  bool NoneOfTheOldHere() const {
    for (const std::string &path : oldPaths_)
      if (fs::KindOf(path) != fs::EntryKind::Missing)
        return false;
    return !oldPaths_.empty();
  }

  // Asks Retry or Cancel while a file to replace or delete is in use.
  void WaitAllClosed() const {
    for (size_t k = 0; k < toReplace_.size();) {
      if (!fs::InUse(toReplace_[k])) {
        ++k;
        continue;
      }
      AskToClose(Shown(toReplace_[k]));
      k = 0; // the user closed something: look at every file again
    }
  }

  // path without the program folder and its separator, when it lies in it.
  std::string Relative(const std::string &path) const {
    const size_t n = programFolder_.size();
    if (path.size() > n + 1 && (path[n] == '\\' || path[n] == '/') &&
        fs::FoldName(path.substr(0, n)) == fs::FoldName(programFolder_))
      return path.substr(n + 1);
    return path;
  }
  std::string Shown(const std::string &path) const { return Relative(path); }

  ui::Setup &form_;
  std::string programFolder_;
  std::vector<Step> steps_;
  std::map<std::u16string, size_t> last_; // the last step on each target
  std::map<std::u16string, expect::Expected> expected_;
  std::vector<std::string> oldPaths_;
  std::vector<std::string> toReplace_;
  expect::PathOverlay overlay_;
  size_t effective_ = 0;
  size_t todo_ = 0;
};

} // namespace

Decision Check(ui::Setup &form, bool expectDeclared,
               const std::string &forVersion) {
  form.SetStatus(CurrentText(Text::Checking));
  const std::string programFolder = platform::ProgramFolder();
  Judge judge(form, programFolder);
  try {
    const std::optional<std::string> expected = ReadEntry(expect::kEntryName);
    // Declared and lost: damage must not switch the check off.
    if (expectDeclared && !expected)
      package::sums::RaiseDamaged(expect::kEntryName, package::sums::kMissing);
    if (expected)
      for (const expect::Expected &item : expect::ParseExpected(*expected))
        judge.AddExpected(item);
  } catch (const platform::Error &e) {
    if (e.Number() != package::kErrPackageDamaged)
      throw;
    throw platform::Error(e.Number(), WithDamagedSentence(e.Description()));
  }
  const std::string bytes = ReadEntry(record::kScriptName).value_or("");
  for (size_t at = 0; at + record::kRecordSize <= bytes.size();
       at += record::kRecordSize) {
    const record::Record read =
        record::DecodeRecord(std::string_view(bytes).substr(at));
    Step step;
    step.operation = read.operation;
    step.source = record::PrepareField(read.source, TempFolder, programFolder);
    step.target = record::PrepareField(read.target, TempFolder, programFolder);
    judge.AddStep(std::move(step));
  }
  return judge.Run(forVersion);
}

} // namespace mdl_main::preflight
