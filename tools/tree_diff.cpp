// Comparing two folder trees into a text install script.
#include "tools/tree_diff.h"

#include "tools/entry_names.h"
#include "tools/name_index.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "archive/catalog.h"
#include "package/long_records.h"
#include "package/script_record.h"
#include "platform/codepage.h"
#include "platform/fs.h"
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

bool SameContent(const stdfs::path &a, const stdfs::path &b) {
  if (stdfs::file_size(a) != stdfs::file_size(b))
    return false;
  std::ifstream fa(a, std::ios::binary);
  std::ifstream fb(b, std::ios::binary);
  std::vector<char> ba(1 << 16);
  std::vector<char> bb(1 << 16);
  while (fa && fb) {
    fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
    fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
    if (fa.gcount() != fb.gcount() ||
        !std::equal(ba.begin(), ba.begin() + fa.gcount(), bb.begin()))
      return false;
  }
  return fa.eof() && fb.eof();
}

class Differ {
public:
  Differ(stdfs::path oldRoot, stdfs::path newRoot, int codePage)
      : oldRoot_(std::move(oldRoot)), newRoot_(std::move(newRoot)),
        codePage_(codePage) {}

  TreeDiff Run() {
    Walk("");
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
  // relative: "" for the roots, else "a/b" (with "/").
  void Walk(const std::string &relative) {
    const Listing olds = List(oldRoot_ / relative);
    const Listing news = List(newRoot_ / relative);
    CheckClashes(relative, news);
    for (const auto &[name, kind] : olds) {
      const std::string path = Join(relative, name);
      const auto found = news.find(name);
      const bool kept = found != news.end() && found->second == kind;
      if (kind == Kind::Other)
        continue; // never installed by us, so never removed either
      if (!kept)
        Add(kind == Kind::Folder ? rmdirs_ : deletes_,
            kind == Kind::Folder ? "rmdir" : "delete", path);
    }
    for (const auto &[name, kind] : news) {
      const std::string path = Join(relative, name);
      const auto found = olds.find(name);
      const bool existed = found != olds.end() && found->second == kind;
      if (kind == Kind::Other) {
        result_.skipped.push_back((newRoot_ / path).string());
      } else if (kind == Kind::Folder) {
        if (!existed)
          Add(mkdirs_, "mkdir", path);
        Walk(path);
      } else if (!existed || !SameContent(oldRoot_ / path, newRoot_ / path)) {
        Add(installs_, "install", path);
      }
    }
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
    for (const stdfs::path &part : stdfs::path(path))
      if (!IsWindowsName(part.string())) {
        result_.errors.push_back(path + ": \"" + part.string() +
                                 "\" is not a name Windows can hold");
        return;
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
  std::vector<Pending> rmdirs_, deletes_, mkdirs_, installs_;
};

} // namespace

TreeDiff DiffTrees(const std::string &oldDir, const std::string &newDir,
                   int codePage) {
  return Differ(oldDir, newDir, codePage).Run();
}

} // namespace tools
