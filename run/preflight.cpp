// The check of the installed product before the install.
#include "run/preflight.h"

#include "archive/catalog.h"
#include "package/checksums.h"
#include "package/damage.h"
#include "package/entry_limits.h"
#include "package/expected_state.h"
#include "package/long_records.h"
#include "package/path_overlay.h"
#include "package/script_record.h"
#include "package/texts.h"
#include "platform/codepage.h"
#include "platform/env.h"
#include "platform/error.h"
#include "platform/fs.h"
#include "platform/os_file.h"
#include "platform/ui.h"
#include "run/file_crc.h"
#include "run/installed_names.h"
#include "run/mdl_main.h"
#include "run/run_texts.h"
#include "run/temp_entry.h"
#include "run/unattended.h"
#include "ui/Setup.h"

namespace mdl_main::preflight {

namespace {

namespace fs = platform::fs;
namespace expect = package::expect;
namespace record = package::script;
using package::Text;

// What lies at a path; Other (a link, a device) is never what a record
// expects. The first three in expect::Kind's order: a kind is its state.
enum class State { File, Folder, Nothing, Other };

static_assert(State(expect::Kind::File) == State::File &&
              State(expect::Kind::Folder) == State::Folder &&
              State(expect::Kind::Nothing) == State::Nothing);

State FromKind(expect::Kind kind) { return static_cast<State>(kind); }

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

// Asks Retry or Cancel for a file in use; false for Cancel.
bool Retry(const std::string &shown) {
  const std::string text =
      package::FillIn(CurrentText(Text::InUse), {{"file", shown}});
  return platform::Ui().ShowMessage(text, platform::MsgIcon::Warning,
                                    platform::MsgButtons::RetryCancel) ==
         platform::MsgAnswer::Retry;
}

struct Step {
  uint8_t operation = 0;
  // A copy's source; a folder's record's target as written, which the
  // install makes (a blank before its separator stays) and names.
  std::string source;
  std::string target;
  std::u16string key; // the target's fs::PathKey
  bool wildcard = false;
  const expect::Expected *expected = nullptr; // first record on its path
};

// The verdict on one record.
enum class Verdict { Todo, Done, Differs };

class Judge {
public:
  Judge(ui::Setup &form, std::string programFolder)
      : form_(form), programFolder_(std::move(programFolder)) {}

  void AddStep(Step step) {
    // A folder's record names it with or without separators after it
    // ("{app}\new\" is the folder new of {app}), as the install reads it.
    // Windows reads the last name of a path without the dots and blanks
    // that end it, a name followed by a separator with them: the install
    // removes a folder by its path without separators ("{app}\e \" removes
    // e), and makes it by the path as written ("{app}\e ." makes e, "{app}\e
    // \" the folder "e "). A file's record keeps its text, which the install
    // opens and names. Every record is known by its path as Windows reads
    // it whole ("x.txt." and "sub\..\x.txt" are x.txt), as every other
    // record on that file or folder is; a pattern is matched as written.
    const bool folder = step.operation == record::kCreateFolder ||
                        step.operation == record::kDeleteFolder;
    bool asWritten = false;
    if (folder) {
      step.source = step.target;
      step.target = fs::WithoutTrailingSeparators(std::move(step.target));
      asWritten = step.operation == record::kCreateFolder &&
                  step.source.size() != step.target.size();
    }
    const size_t slash = step.target.find_last_of("\\/");
    step.wildcard =
        step.target.find_first_of(
            "*?", slash == std::string::npos ? 0 : slash) != std::string::npos;
    if (folder && !asWritten && !step.wildcard)
      step.target.resize(archive::LengthAsRead(step.target));
    const bool made = step.operation == record::kCreateFolder;
    step.key = fs::PathKey(made ? step.source : step.target, made);
    steps_.push_back(std::move(step));
  }

  // After the steps: each line goes to the first record on its path. Kept
  // until the judge goes, as the steps point at them.
  void SetExpected(std::vector<expect::Expected> list) {
    expected_ = std::move(list);
    expect::KeyIndex first;
    for (size_t k = steps_.size(); k-- > 0;)
      first.Set(steps_[k].key, k);
    for (const expect::Expected &item : expected_) {
      const size_t k = first.Find(fs::PathKey(PathOf(item))); // as a target is
      if (k != expect::KeyIndex::kNone)
        steps_[k].expected = &item;
    }
  }

  // Out of line, so that JudgeStep and JudgeWildcard, called once each, go
  // into it: inlined into the run's one large function, it left them apart
  // (96 bytes of code more, and a function).
  [[gnu::noinline]] Decision Run(const std::string &forVersion) {
    // Paths that are not there as written (new files, files deleted) are
    // looked up without regard to case in their folder: listed once, not
    // once for each such path.
    const fs::KeepFolderNames keepNames;
    Decision decision;
    decision.skip.assign(steps_.size(), 0);
    size_t effective = 0;
    Verdict verdict = Verdict::Todo;
    size_t k = 0;
    for (; k < steps_.size() && !cancelled_; ++k) {
      const Step &step = steps_[k];
      form_.SetCheckedFile(Shown(step.target));
      platform::Yield();
      if (step.operation > record::kDeleteFolder)
        continue; // read and ignored by the install too
      ++effective;
      verdict = JudgeNamed(step);
      if (verdict == Verdict::Done)
        decision.skip[k] = 1;
      else if (verdict != Verdict::Todo)
        break;
    }
    form_.SetCheckedFile({});
    const bool differs = verdict == Verdict::Differs;
    if (cancelled_ || (!differs && !AllClosed())) {
      decision.outcome = Outcome::InUse;
    } else if ((differs || todo_ > 0) && NoneOfTheOldHere()) {
      decision.outcome = Outcome::WrongFolder;
      decision.message = CurrentText(Text::WrongFolder);
    } else if (differs) {
      decision.outcome = Outcome::NotExpected;
      const std::string &forText =
          forVersion.empty() ? CurrentText(Text::Earlier) : forVersion;
      decision.message = package::FillIn(
          package::FillIn(CurrentText(Text::NotExpected), {{"for", forText}}),
          {{"file", Shown(steps_[k].target)}});
    } else if (effective > 0 && todo_ == 0) {
      decision.outcome = Outcome::UpToDate;
    }
    return decision;
  }

private:
  // JudgeStep, its failures naming the file a copy installs rather than
  // the file of the package it comes from; any other source is named as
  // it is.
  Verdict JudgeNamed(const Step &step) {
    try {
      return JudgeStep(step);
    } catch (const platform::Error &e) {
      if (step.operation != record::kCopyFile)
        throw;
      names::RaiseRenamed(e, {names::OfPackage(step.source)},
                          Shown(step.target));
    }
  }

  // A copy's source that is no file, and a target that ends in a
  // separator (which names no file and opens on neither system), fail as
  // the install's open of them fails, before anything changes. What the
  // records before leave at the name and in the folder above it decides:
  // a folder there is a folder opened as a file; a missing name in a
  // folder is a missing file to read and a bad name to write, a file with
  // a separator after it a bad name; with no folder there, a path not
  // found. Only where no record names the path or a folder above it does
  // the disk decide, asked as the install asks it.
  void CheckOpen(const std::string &path, bool toRead) const {
    const std::string name = fs::WithoutTrailingSeparators(path);
    const bool named = name.size() == path.size();
    bool fromDisk = false; // at the path Windows reads ("n.txt." is n.txt)
    const State state = StateAt(name, &fromDisk, &path);
    if (named && state == State::File)
      return;
    if (fromDisk)
      platform::os::CloseFile(
          platform::os::OpenFile(path, toRead ? platform::OpenMode::ReadOnly
                                              : platform::OpenMode::Output),
          path);
    if (state == State::Folder)
      platform::Raise(platform::err::kPathFileAccess, path);
    int32_t number = platform::err::kPathNotFound;
    if (InAFolder(name))
      number = toRead && state != State::File ? platform::err::kFileNotFound
                                              : platform::err::kBadFileName;
    platform::os::RaiseNotOpened(number, path);
  }

  // Judges one record against the version the update is for and against
  // what the update leaves.
  Verdict JudgeStep(const Step &step) {
    if (step.operation == record::kCopyFile) {
      CheckOpen(step.source, true);
      if (step.target.ends_with('\\') || step.target.ends_with('/'))
        CheckOpen(step.target, false);
    }
    // A folder on the way that is a link (a junction) leads out of the
    // product: no version the update is for has one there.
    if (fs::LinkOnTheWay(programFolder_, step.target))
      return Verdict::Differs;
    if (step.wildcard)
      return JudgeWildcard(step);
    bool fromDisk = false;
    // What the records before leave at the path Windows reads, else the
    // disk; a folder is made as written, a separator after it.
    const State state = StateAt(
        step.key, step.target, &fromDisk,
        step.operation == record::kCreateFolder ? &step.source : nullptr);
    if (Leaves(step, state, fromDisk))
      return Verdict::Done; // the disk shows it: nothing to lay over it
    if (ParentIsFolder(step) && WasBefore(step, state, fromDisk)) {
      ++todo_;
      if (fromDisk && state == State::File)
        toReplace_.push_back(step.target);
      if (fromDisk && state == State::Folder &&
          step.operation == record::kDeleteFolder)
        toRemove_.push_back(step.target);
      Apply(step);
      return Verdict::Todo;
    }
    // A record whose path a later record of the script changes again, with
    // that later effect there already (a folder that became a file).
    const Step &last = LastOnItsPath(step);
    if (fromDisk && &last != &step && Leaves(last, state, true))
      return Verdict::Done;
    // Where the records before decide, the script fails the install here,
    // whatever version is installed: it fails so now, changing nothing.
    if (!fromDisk) {
      const bool folder = step.operation >= record::kCreateFolder;
      int32_t number = platform::err::kPathNotFound; // no folder there
      if (step.operation == record::kCopyFile)
        CheckOpen(step.target, false);
      else if (step.operation == record::kDeleteFiles)
        number = platform::err::kFileNotFound; // a folder is no file
      else if (step.operation == record::kCreateFolder)
        fs::RaiseNotMade(state != State::Nothing
                             ? platform::err::kPathFileAccess // over a name
                             : number,
                         step.source);
      platform::Raise(number, folder ? step.source : step.target);
    }
    return Verdict::Differs;
  }

  // The last record on step's path (step itself when no later one names
  // it). Indexed at the first question, which few runs ask: a search of
  // every record for each record asking made a script that deletes and
  // copies each of its files take minutes on its second run.
  const Step &LastOnItsPath(const Step &step) {
    if (!lastIndexed_) {
      for (size_t k = 0; k < steps_.size(); ++k)
        lastOnPath_.Set(steps_[k].key, k);
      lastIndexed_ = true;
    }
    return steps_[lastOnPath_.Find(step.key)];
  }

  // A deletion of files or folders by a pattern: before, something
  // matches; after, nothing. What matches is the folder as the records
  // before leave it: a name one of them deleted is gone, one it made is
  // there; and the records after find every match gone. Any other pattern
  // is carried out as it is.
  Verdict JudgeWildcard(const Step &step) {
    const size_t slash = step.target.find_last_of("\\/");
    const std::string folder =
        slash == std::string::npos ? "" : step.target.substr(0, slash);
    const std::string written = step.target.substr(0, slash + 1);
    const bool files = step.operation == record::kDeleteFiles;
    if (!files && step.operation != record::kDeleteFolder) {
      ++todo_;
      return Verdict::Todo;
    }
    const std::u16string folderKey = fs::PathKey(written, true);
    if (StateAt(folder, nullptr, &written) != State::Folder)
      return Verdict::Done;
    size_t matched = 0;
    // A name listed is one of the folder: a file known by the name Windows
    // reads, a folder by its name as it is (a separator after it).
    for (const std::string &name :
         files ? fs::ListFiles(step.target) : fs::ListFolders(step.target)) {
      const std::string path = written + name;
      matched +=
          Match(step, path,
                files ? fs::PathKey(path) : fs::PathKey(path + '\\', true));
    }
    const std::string pattern = step.target.substr(slash + 1);
    for (const Step *earlier = steps_.data(); earlier != &step; ++earlier) {
      const size_t cut = earlier->key.find_last_of(u"\\/");
      if (earlier->wildcard ||
          earlier->operation !=
              (files ? record::kCopyFile : record::kCreateFolder) ||
          cut != folderKey.size() ||
          earlier->key.compare(0, cut, folderKey) != 0)
        continue;
      // A copy makes the file Windows reads ("x.txt." makes x.txt); a
      // folder's target is read so already.
      const std::string &made = earlier->target;
      const size_t start = made.find_last_of("\\/") + 1;
      const size_t end = files ? archive::LengthAsRead(made) : made.size();
      if (fs::MatchesPattern(made.substr(start, end - start), pattern))
        matched += Match(step, made, earlier->key);
    }
    if (matched == 0)
      return Verdict::Done;
    ++todo_;
    return Verdict::Todo;
  }

  // 1 when path is a file (a folder, for a folder pattern) where step's
  // pattern deletes it, as the records before leave the folder; laid as
  // deleted at once, so that it counts once and the records after find it
  // gone. key: path's, as a record's target is known.
  [[gnu::noinline]] size_t Match(const Step &step, const std::string &path,
                                 const std::u16string &key) {
    const bool files = step.operation == record::kDeleteFiles;
    expect::Kind laid = expect::Kind::Nothing;
    if ((laid_.At(key, laid) ? FromKind(laid) : OnDisk(path)) !=
        (files ? State::File : State::Folder))
      return 0;
    (files ? toReplace_ : toRemove_).push_back(path);
    laid_.Lay(key, step.operation);
    return 1;
  }

  // What the records before leave at path (fs::PathKey), else what the
  // disk holds. A folder on the disk is looked at again through written,
  // the path as the install reaches it, separator kept, which the records
  // know it by: "Keep \" is the folder "Keep ", which "Keep " read alone
  // is not (Windows reads it as Keep). A file stays one (no name with a
  // separator after it opens on Windows).
  State StateAt(const std::string &path, bool *fromDisk = nullptr,
                const std::string *written = nullptr) const {
    return StateAt(written ? fs::PathKey(*written, true) : fs::PathKey(path),
                   path, fromDisk, written);
  }
  // The same, path's key known (a record's own: one reading of its path).
  State StateAt(const std::u16string &key, const std::string &path,
                bool *fromDisk, const std::string *written) const {
    expect::Kind kind = expect::Kind::Nothing;
    if (laid_.At(key, kind))
      return FromKind(kind);
    if (fromDisk)
      *fromDisk = true;
    const State state = OnDisk(path);
    return written && state == State::Folder ? OnDisk(*written) : state;
  }

  // A product file's length, and its CRC-32 when its length is
  // crcIfLength; a file that another program keeps from being read gives
  // the Retry box, and Cancel a length that matches nothing (-1).
  FileFacts ProductFacts(const std::string &path, int64_t crcIfLength,
                         int64_t orIfLength = -1) {
    while (!cancelled_) {
      try {
        return ReadFileFacts(path, crcIfLength, orIfLength);
      } catch (const platform::Error &) {
        if (!fs::InUse(path))
          throw;
        cancelled_ = !Retry(Shown(path));
      }
    }
    return {-1, 0};
  }

  // The file at a copy's target, read once for both questions asked of it
  // (is it the new file, is it the old one): its CRC-32 when its length is
  // the source's or the expected one.
  FileFacts TargetFacts(const Step &step, int64_t sourceLength) {
    const expect::Expected *item = step.expected;
    facts_ = ProductFacts(
        step.target, sourceLength,
        item && item->kind == expect::Kind::File ? item->length : -1);
    factsOf_ = &step;
    return facts_;
  }

  // What the record leaves at its target is there.
  bool Leaves(const Step &step, State state, bool fromDisk) {
    switch (step.operation) {
    case record::kCopyFile: {
      if (!fromDisk || state != State::File)
        return false;
      const FileFacts source = ReadFileFacts(step.source, -1);
      const FileFacts target = TargetFacts(step, source.length);
      return target.length == source.length &&
             ReadFileFacts(step.source, source.length).crc == target.crc;
    }
    case record::kCreateFolder:
      return state == State::Folder;
    default:
      return state == State::Nothing;
    }
  }

  // The target is as the version the update is for has it: as its
  // expected state says, else as the record itself implies.
  bool WasBefore(const Step &step, State state, bool fromDisk) {
    const expect::Expected *item = step.expected;
    if (fromDisk && item) {
      if (state != FromKind(item->kind) || item->kind != expect::Kind::File)
        return state == FromKind(item->kind);
      const FileFacts facts =
          factsOf_ == &step ? facts_ : ProductFacts(step.target, item->length);
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
  bool ParentIsFolder(const Step &step) const {
    return (step.operation != record::kCopyFile &&
            step.operation != record::kCreateFolder) ||
           InAFolder(step.target);
  }

  // The folder that holds path's last name is one, as the records before
  // leave it, reached through its separator.
  bool InAFolder(const std::string &path) const {
    const size_t slash = path.find_last_of("\\/");
    if (slash == std::string::npos)
      return true;
    // The program folder is one, whatever way leads to it (a link to it
    // too); links below it are what the install refuses.
    const std::string parent = path.substr(0, slash);
    const std::string written = path.substr(0, slash + 1);
    return parent == programFolder_ ||
           StateAt(parent, nullptr, &written) == State::Folder;
  }

  void Apply(const Step &step) { laid_.Lay(step.key, step.operation); }

  // The expected state names files or folders of the old version, and
  // none of them is here: not the product's folder.
  bool NoneOfTheOldHere() const {
    bool named = false;
    for (const expect::Expected &item : expected_) {
      if (item.kind == expect::Kind::Nothing)
        continue;
      named = true;
      if (OnDisk(PathOf(item)) != State::Nothing)
        return false;
    }
    return named;
  }

  // Asks Retry or Cancel while a file to replace or delete, or a file in a
  // folder to remove, is in use; false for Cancel.
  bool AllClosed() const {
    const size_t files = toReplace_.size();
    for (size_t k = 0; k < files + toRemove_.size();) {
      const std::string held = k >= files
                                   ? fs::FileInUseBelow(toRemove_[k - files])
                               : fs::InUse(toReplace_[k]) ? toReplace_[k]
                                                          : std::string();
      if (held.empty()) {
        ++k;
        continue;
      }
      if (!Retry(Shown(held)))
        return false;
      k = 0; // the user closed something: look at every file again
    }
    return true;
  }

  // Where an item of the expected state is in the program folder.
  std::string PathOf(const expect::Expected &item) const {
    std::string path = programFolder_ + "\\";
    path += platform::AnsiToText(item.path);
    return path;
  }

  // path without the program folder and its separator when it begins
  // with them, as every {app} path of the script does.
  std::string Shown(const std::string &path) const {
    return names::Shown(path, programFolder_);
  }

  ui::Setup &form_;
  std::string programFolder_;
  std::vector<Step> steps_;
  std::vector<expect::Expected> expected_;
  expect::LaidRecords laid_;
  FileFacts facts_; // of factsOf_'s target
  const Step *factsOf_ = nullptr;
  std::vector<std::string> toReplace_;
  std::vector<std::string> toRemove_; // folders, whose every file is checked
  size_t todo_ = 0;
  bool cancelled_ = false;      // Cancel in a Retry box
  expect::KeyIndex lastOnPath_; // once lastIndexed_: key -> last step
  bool lastIndexed_ = false;
};

} // namespace

Decision Check(ui::Setup &form, bool expectDeclared, bool longDeclared,
               const std::string &forVersion) {
  form.SetStatus(CurrentText(Text::Checking));
  const std::string programFolder = AppFolder();
  Judge judge(form, programFolder);
  std::string bytes;
  try {
    // The records of both script entries, in the order the install carries
    // them out (a damaged long entry is the install's to report).
    const char *entry = record::kScriptName;
    int64_t repeated = 0; // what the judge holds stays bounded
    const auto add = [&](const record::Record &read) {
      for (const std::string_view field : {read.source, read.target})
        repeated += record::RepeatedPlaceholderBytes(field, TempFolder.size(),
                                                     programFolder.size());
      if (repeated > package::kMaxRepeatedPlaceholderBytes)
        package::sums::RaiseDamaged(entry, package::sums::kListDamaged);
      Step step;
      step.operation = read.operation;
      step.source =
          record::PrepareField(read.source, TempFolder, programFolder);
      step.target =
          record::PrepareField(read.target, TempFolder, programFolder);
      judge.AddStep(std::move(step));
    };
    ReadTempEntry(record::kScriptName, bytes);
    record::ForEachRecord(bytes, record::Form::Records, add);
    entry = record::kLongScriptName;
    if (longDeclared && ReadTempEntry(record::kLongScriptName, bytes))
      record::ForEachRecord(bytes, record::Form::Long, add);
    const bool expected = ReadTempEntry(expect::kEntryName, bytes);
    // Declared and lost: damage must not switch the check off.
    if (expectDeclared && !expected)
      package::sums::RaiseDamaged(expect::kEntryName, package::sums::kMissing);
    if (expected)
      judge.SetExpected(expect::ParseExpected(bytes));
  } catch (const platform::Error &e) {
    if (e.Number() != package::kErrPackageDamaged)
      throw;
    RaiseWithDamagedSentence(e);
  }
  return judge.Run(forVersion);
}

} // namespace mdl_main::preflight
