// Comparing two folder trees into a text install script.
#include "tools/tree_diff.h"

#include "tools/entry_names.h"
#include "tools/name_index.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "archive/catalog.h"
#include "package/long_records.h"
#include "package/script_record.h"
#include "platform/codepage.h"
#include "platform/fs.h"
#include "run/transaction.h"
#include "tools/cli.h"
#include "tools/code_page_choice.h"
#include "tools/script_field.h"
#include "tools/tool_os.h"

namespace tools {

namespace {

namespace stdfs = std::filesystem;
namespace script = package::script;

enum class Kind { File, Folder, Other };

struct Entry {
  Kind kind = Kind::Other;
  os::FileStamp stamp; // of a file
};

// Names of one folder, in the engine's listing order.
struct NameLess {
  bool operator()(const std::string &a, const std::string &b) const {
    const int order = platform::fs::CompareNamesNoCase(a, b);
    return order != 0 ? order < 0 : a < b;
  }
};
using Listing = std::map<std::string, Entry, NameLess>;

// Where trail stands; a link is no folder and no file.
Listing List(os::FolderTrail &trail) {
  using Found = os::FolderEntry::Kind;
  Listing listing;
  for (os::FolderEntry &entry : trail.List()) {
    if (entry.kind == Found::Unreadable)
      throw ToolError("cannot look at " + trail.PathOf(entry.name));
    listing[std::move(entry.name)] = {entry.kind == Found::File ? Kind::File
                                      : entry.kind == Found::Folder
                                          ? Kind::Folder
                                          : Kind::Other,
                                      entry.stamp};
  }
  return listing;
}

// A listing's names by their folded form (platform::fs::FoldName), the
// first of each form: Windows takes names equal but for case for one.
using Folded = std::map<std::u16string, const Listing::value_type *>;

Folded Fold(const Listing &listing) {
  Folded folded;
  for (const auto &entry : listing)
    folded.try_emplace(platform::fs::FoldName(entry.first), &entry);
  return folded;
}

// The entry of folded whose name is name but for case, or nullptr.
const Listing::value_type *FindNoCase(const Folded &folded,
                                      const std::string &name) {
  const auto found = folded.find(platform::fs::FoldName(name));
  return found == folded.end() ? nullptr : found->second;
}

// Whether the files name in a and b hold the same bytes, sizes as listed.
// One that cannot be read is an error naming it: taking it as changed
// would write a script that the file's content never chose.
bool SameContent(os::FolderTrail &a, const std::string &aName,
                 const Entry &aEntry, os::FolderTrail &b,
                 const std::string &bName, const Entry &bEntry) {
  if (aEntry.stamp.size != bEntry.stamp.size)
    return false;
  const os::OpenedFile fa = a.Open(aName);
  const os::OpenedFile fb = b.Open(bName);
  std::vector<char> ba(1 << 16);
  std::vector<char> bb(1 << 16);
  for (int64_t at = 0;; at += static_cast<int64_t>(ba.size())) {
    const size_t ga = fa.file.ReadAt(at, ba.data(), ba.size());
    const size_t gb = fb.file.ReadAt(at, bb.data(), bb.size());
    if (ga != gb || !std::equal(ba.begin(), ba.begin() + ga, bb.begin()))
      return false;
    if (ga < ba.size())
      return true;
  }
}

class Differ {
public:
  Differ(const std::string &oldRoot, const std::string &newRoot, int codePage,
         const std::vector<std::string> &leaveOut)
      : oldRoot_(oldRoot), newRoot_(newRoot), old_(oldRoot), new_(newRoot),
        codePage_(codePage) {
    for (const std::string &output : leaveOut)
      if (const std::optional<os::FileId> id = os::IdOfPath(output))
        leaveOut_.emplace_back(stdfs::path(output).filename().string(), *id);
  }

  TreeDiff Run() {
    Walk();
    // Every target in one code page, the package's.
    std::vector<std::string> targets;
    for (const auto *lines : {&rmdirs_, &deletes_, &mkdirs_, &installs_})
      for (const Pending &line : *lines)
        targets.push_back(line.windows);
    try {
      ChooseCodePage(targets, codePage_);
    } catch (const ToolError &e) {
      result_.errors.emplace_back(e.what());
    }
    std::string &text = result_.script;
    for (const auto *lines : {&rmdirs_, &deletes_, &mkdirs_, &installs_})
      for (const Pending &line : *lines)
        text += Line(line, lines == &installs_);
    result_.operations =
        rmdirs_.size() + deletes_.size() + mkdirs_.size() + installs_.size();
    if (!result_.errors.empty())
      result_.script.clear();
    return std::move(result_);
  }

private:
  // A folder of the walk: where the trails stand (oldAt_, newAt_), the
  // same folder, its name in OLD and in NEW equal but perhaps for case;
  // oldThere is false where OLD has none, its trail then standing higher.
  // A name that changes only in case is the same file or folder, as on
  // Windows: an install over it keeps its name, and deleting and making it
  // again would make a second run do it all again (and take with it
  // whatever the user has put in the folder since).
  struct Folder {
    Listing olds;
    Listing news;
    Folded oldNames;              // into olds
    Listing::const_iterator next; // the entry of news to look at next
    bool intoOld = false; // OLD's trail went into the subfolder walked now
  };

  // The walk keeps its folders on a stack of its own: a tree as deep as
  // Windows takes (16,000 levels of one-letter folders) would overflow the
  // program's stack as calls.
  void Walk() {
    std::vector<std::unique_ptr<Folder>> open;
    open.push_back(Begin(true));
    while (!open.empty()) {
      Folder &here = *open.back();
      if (here.next == here.news.end()) {
        open.pop_back();
        if (!open.empty())
          Up(open.back()->intoOld);
        continue;
      }
      const auto &[name, entry] = *here.next++;
      const Listing::value_type *found = FindNoCase(here.oldNames, name);
      const bool existed = found && found->second.kind == entry.kind;
      const std::string &oldName = existed ? found->first : name;
      if (entry.kind == Kind::Other) {
        result_.skipped.push_back(new_.PathOf(name));
      } else if (entry.kind == Kind::Folder) {
        if (!existed)
          Add(mkdirs_, "mkdir", Join(newAt_, name));
        const auto inOld = here.olds.find(oldName);
        here.intoOld =
            inOld != here.olds.end() && inOld->second.kind == Kind::Folder;
        if (here.intoOld)
          old_.Enter(oldName);
        new_.Enter(name);
        oldAt_ = Join(std::move(oldAt_), oldName);
        newAt_ = Join(std::move(newAt_), name);
        open.push_back(Begin(here.intoOld));
      } else if (!IsLeftOut(name, entry) &&
                 (!existed || !SameContent(old_, oldName, found->second, new_,
                                           name, entry))) {
        Add(installs_, "install", Join(newAt_, name));
      }
    }
  }

  // Lists the folder the trails have gone into, and notes what is gone
  // from it.
  std::unique_ptr<Folder> Begin(bool oldThere) {
    auto folder = std::make_unique<Folder>();
    if (oldThere)
      folder->olds = List(old_);
    folder->news = List(new_);
    CheckClashes(folder->news);
    folder->oldNames = Fold(folder->olds);
    const Folded newNames = Fold(folder->news);
    for (const auto &[name, entry] : folder->olds) {
      const Kind kind = entry.kind;
      const Listing::value_type *found = FindNoCase(newNames, name);
      if (kind == Kind::Other) {
        // Never installed by us, so never removed either; and what stands
        // there is nothing the run replaces.
        result_.skipped.push_back(old_.PathOf(name));
        if (found && found->second.kind != Kind::Other)
          result_.errors.push_back(
              Join(newAt_, found->first) +
              ": a link or special file in the old version, which the "
              "update's run would refuse to replace");
        continue;
      }
      if (kind == Kind::File && IsLeftOut(name, entry))
        continue;
      if (!found || found->second.kind != kind)
        Add(kind == Kind::Folder ? rmdirs_ : deletes_,
            kind == Kind::Folder ? "rmdir" : "delete", Join(oldAt_, name));
    }
    folder->next = folder->news.begin();
    return folder;
  }

  // Back up from the folder walked.
  void Up(bool intoOld) {
    new_.Leave();
    if (intoOld)
      old_.Leave();
    for (std::string *at : {&oldAt_, &newAt_}) {
      const size_t slash = at->rfind('/');
      at->resize(slash == std::string::npos ? 0 : slash);
    }
  }

  // The package being built or the script written, an earlier one of
  // which may lie in either version's folder: no product file.
  bool IsLeftOut(const std::string &name, const Entry &entry) const {
    return std::any_of(
        leaveOut_.begin(), leaveOut_.end(), [&](const auto &output) {
          return output.first == name && output.second == entry.stamp.id;
        });
  }

  // relative ("" for a root, else "a/b", with "/") and name below it.
  static std::string Join(std::string relative, const std::string &name) {
    if (!relative.empty())
      relative += '/';
    relative += name;
    return relative;
  }

  // Names of one folder that Windows would take for one file.
  void CheckClashes(const Listing &news) {
    NameIndex index;
    std::vector<const std::string *> names;
    for (const auto &entry : news) {
      const NameIndex::Found found = index.Clashing(entry.first);
      if (found.clash != NameClash::None)
        result_.errors.push_back(
            Join(newAt_, entry.first) + ": " +
            ClashText(found.clash, *names[found.id], entry.first));
      index.Add(entry.first, names.size());
      names.push_back(&entry.first);
    }
  }

  // A line to be written once the code page is known.
  struct Pending {
    const char *operation;
    std::string path;    // relative, with "/"
    std::string windows; // with "\\"
  };

  void Add(std::vector<Pending> &lines, const char *operation,
           const std::string &path) {
    std::string windows = path;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    const bool removal = &lines == &rmdirs_ || &lines == &deletes_;
    bool decomposed = false;
    for (size_t at = 0; at <= path.size();) {
      const size_t end = std::min(path.find('/', at), path.size());
      const std::string part = path.substr(at, end - at);
      at = end + 1;
      if (!decomposed && HoldsCombiningMark(part)) {
        decomposed = true;
        const std::string named =
            (removal ? oldRoot_ : newRoot_) + "/" + path.substr(0, end);
        if (decomposedNamed_.insert(named).second)
          result_.decomposed.push_back(named);
      }
      if (!IsWindowsName(part)) {
        result_.errors.push_back(path + ": \"" + part +
                                 "\" is not a name Windows can hold");
        return;
      }
      // The names the install works under: a file or folder of one of
      // them would fail every run of the package.
      if (mdl_main::txn::IsWorkName(part)) {
        result_.errors.push_back(path + ": \"" + part +
                                 "\" is a name the update's run keeps "
                                 "for itself");
        return;
      }
    }
    lines.push_back({operation, path, std::move(windows)});
  }

  // "op TARGET" or "install PRODUCT_FILE TARGET", in the code page in
  // effect, which holds every target. A target longer than a 65-byte
  // record's goes into the long script (package/long_records.h).
  std::string Line(const Pending &pending, bool install) {
    std::string bytes;
    platform::TextToAnsi(pending.windows, bytes);
    const std::string field =
        std::string(1, script::kProgramFolderMark) + "\\" + bytes;
    if (field.size() > script::kMaxLongField) {
      result_.errors.push_back(pending.path + ": the target is " +
                               std::to_string(field.size()) +
                               " bytes; a path holds at most " +
                               std::to_string(script::kMaxLongField));
      return {};
    }
    std::string line = pending.operation;
    line.resize(8, ' ');
    const std::string &path = pending.path;
    if (install) {
      const bool quote = path.find(' ') != std::string::npos || path[0] == '#';
      line += (quote ? "\"" + path + "\"" : path) + "  ";
    }
    return line + script_text::FieldWord(field) + "\n";
  }

  std::string oldRoot_;
  std::string newRoot_;
  os::FolderTrail old_;
  os::FolderTrail new_;
  std::string oldAt_, newAt_; // where they stand, relative to their roots
  TreeDiff result_;
  int codePage_;
  // The outputs' names and files.
  std::vector<std::pair<std::string, os::FileId>> leaveOut_;
  std::vector<Pending> rmdirs_, deletes_, mkdirs_, installs_;
  std::set<std::string> decomposedNamed_; // those in result_.decomposed
};

} // namespace

TreeDiff DiffTrees(const std::string &oldDir, const std::string &newDir,
                   int codePage, const std::vector<std::string> &leaveOut) {
  return Differ(oldDir, newDir, codePage, leaveOut).Run();
}

} // namespace tools
