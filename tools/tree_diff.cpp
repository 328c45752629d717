// Comparing two folder trees into a text install script.
#include "tools/tree_diff.h"

#include "tools/entry_names.h"
#include "tools/name_index.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
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

namespace tools {

namespace {

namespace stdfs = std::filesystem;
namespace script = package::script;

enum class Kind { File, Folder, Other };

// Names of one folder, in the engine's listing order.
struct NameLess {
  bool operator()(const std::string &a, const std::string &b) const {
    const int order = platform::fs::CompareNamesNoCase(a, b);
    return order != 0 ? order < 0 : a < b;
  }
};
using Listing = std::map<std::string, Kind, NameLess>;

Listing List(const stdfs::path &folder) {
  Listing listing;
  std::error_code error;
  if (!stdfs::is_directory(stdfs::symlink_status(folder, error)))
    return listing;
  for (const stdfs::directory_entry &entry :
       stdfs::directory_iterator(folder)) {
    const stdfs::file_status status = entry.symlink_status();
    listing[entry.path().filename().string()] =
        stdfs::is_regular_file(status) ? Kind::File
        : stdfs::is_directory(status)  ? Kind::Folder
                                       : Kind::Other;
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

// A file that cannot be read is an error naming it: taking it as changed
// would write a script that the file's content never chose.
[[noreturn]] void RaiseUnreadable(const stdfs::path &path) {
  throw ToolError("cannot read " + path.string() + ": " + std::strerror(errno));
}

bool SameContent(const stdfs::path &a, const stdfs::path &b) {
  if (stdfs::file_size(a) != stdfs::file_size(b))
    return false;
  std::ifstream fa(a, std::ios::binary);
  if (!fa)
    RaiseUnreadable(a);
  std::ifstream fb(b, std::ios::binary);
  if (!fb)
    RaiseUnreadable(b);
  std::vector<char> ba(1 << 16);
  std::vector<char> bb(1 << 16);
  while (fa && fb) {
    fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
    fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
    for (const auto *in : {&fa, &fb})
      if (in->bad())
        RaiseUnreadable(in == &fa ? a : b);
    if (fa.gcount() != fb.gcount() ||
        !std::equal(ba.begin(), ba.begin() + fa.gcount(), bb.begin()))
      return false;
  }
  return fa.eof() && fb.eof();
}

class Differ {
public:
  Differ(stdfs::path oldRoot, stdfs::path newRoot, int codePage,
         std::vector<std::string> leaveOut)
      : oldRoot_(std::move(oldRoot)), newRoot_(std::move(newRoot)),
        codePage_(codePage), leaveOut_(std::move(leaveOut)) {}

  TreeDiff Run() {
    Walk("", "");
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
  // One folder of each tree, relative to its root ("" for the roots, else
  // "a/b", with "/"): the same folder, its name in OLD and in NEW equal but
  // perhaps for case. A name that changes only in case is the same file or
  // folder, as on Windows: an install over it keeps its name, and deleting
  // and making it again would make a second run do it all again (and take
  // with it whatever the user has put in the folder since).
  void Walk(const std::string &oldRelative, const std::string &newRelative) {
    const Listing olds = List(oldRoot_ / oldRelative);
    const Listing news = List(newRoot_ / newRelative);
    CheckClashes(newRelative, news);
    const Folded oldNames = Fold(olds);
    const Folded newNames = Fold(news);
    for (const auto &[name, kind] : olds) {
      const std::string path = Join(oldRelative, name);
      const Listing::value_type *found = FindNoCase(newNames, name);
      if (kind == Kind::Other) {
        // Never installed by us, so never removed either; and what stands
        // there is nothing the run replaces.
        result_.skipped.push_back((oldRoot_ / path).string());
        if (found && found->second != Kind::Other)
          result_.errors.push_back(
              Join(newRelative, found->first) +
              ": a link or special file in the old version, which the "
              "update's run would refuse to replace");
        continue;
      }
      if (kind == Kind::File && IsLeftOut(name, oldRoot_ / path))
        continue;
      if (!found || found->second != kind)
        Add(kind == Kind::Folder ? rmdirs_ : deletes_,
            kind == Kind::Folder ? "rmdir" : "delete", path);
    }
    for (const auto &[name, kind] : news) {
      const std::string path = Join(newRelative, name);
      const Listing::value_type *found = FindNoCase(oldNames, name);
      const bool existed = found && found->second == kind;
      const std::string oldPath =
          existed ? Join(oldRelative, found->first) : path;
      if (kind == Kind::Other) {
        result_.skipped.push_back((newRoot_ / path).string());
      } else if (kind == Kind::Folder) {
        if (!existed)
          Add(mkdirs_, "mkdir", path);
        Walk(oldPath, path);
      } else if (IsLeftOut(name, newRoot_ / path)) {
        continue;
      } else if (!existed ||
                 !SameContent(oldRoot_ / oldPath, newRoot_ / path)) {
        Add(installs_, "install", path);
      }
    }
  }

  // The package being built or the script written, an earlier one of
  // which may lie in either version's folder: no product file.
  bool IsLeftOut(const std::string &name, const stdfs::path &path) const {
    std::error_code error;
    for (const std::string &output : leaveOut_)
      if (name == stdfs::path(output).filename().string() &&
          stdfs::equivalent(path, output, error))
        return true;
    return false;
  }

  static std::string Join(const std::string &relative,
                          const std::string &name) {
    return relative.empty() ? name : relative + "/" + name;
  }

  // Names of one folder that Windows would take for one file.
  void CheckClashes(const std::string &relative, const Listing &news) {
    NameIndex index;
    std::vector<const std::string *> names;
    for (const auto &entry : news) {
      const NameIndex::Found found = index.Clashing(entry.first);
      if (found.clash != NameClash::None)
        result_.errors.push_back(
            Join(relative, entry.first) + ": " +
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
    stdfs::path named = removal ? oldRoot_ : newRoot_;
    bool decomposed = false;
    for (const stdfs::path &part : stdfs::path(path)) {
      named /= part;
      if (!decomposed && HoldsCombiningMark(part.string())) {
        decomposed = true;
        if (decomposedNamed_.insert(named.string()).second)
          result_.decomposed.push_back(named.string());
      }
      if (!IsWindowsName(part.string())) {
        result_.errors.push_back(path + ": \"" + part.string() +
                                 "\" is not a name Windows can hold");
        return;
      }
      // The names the install works under: a file or folder of one of
      // them would fail every run of the package.
      if (mdl_main::txn::IsWorkName(part.string())) {
        result_.errors.push_back(path + ": \"" + part.string() +
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

  stdfs::path oldRoot_;
  stdfs::path newRoot_;
  TreeDiff result_;
  int codePage_;
  std::vector<std::string> leaveOut_;
  std::vector<Pending> rmdirs_, deletes_, mkdirs_, installs_;
  std::set<std::string> decomposedNamed_; // those in result_.decomposed
};

} // namespace

TreeDiff DiffTrees(const std::string &oldDir, const std::string &newDir,
                   int codePage, const std::vector<std::string> &leaveOut) {
  return Differ(oldDir, newDir, codePage, leaveOut).Run();
}

} // namespace tools
