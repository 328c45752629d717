// The install of a package with a manifest applies completely or not at
// all: whatever system call fails, and wherever the user aborts, the
// program folder ends byte for byte as it was or as the update makes it. A
// package without a manifest keeps its strict, nothing-undone install.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <sys/stat.h>

#include "package/texts.h"
#include "platform/posix/syscalls.h"
#include "platform/ui.h"
#include "run/mdl_main.h"
#include "tests/support/package_builder.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_folder.h"

namespace {

using pkgbuild::P;
using pkgbuild::ScriptRecord;
using pkgbuild::T;
using platform::MsgAnswer;
using platform::posix::Call;
using testsupport::MakeFolder;
using testsupport::WriteFile;
namespace exitcode = platform::exitcode;

// Every entry below folder (the package itself left out): a folder as "/",
// a file as its bytes and whether its owner may write it.
using Tree = std::map<std::string, std::string>;
Tree Snapshot(const std::string &folder) {
  Tree tree;
  for (const auto &entry :
       std::filesystem::recursive_directory_iterator(folder)) {
    const std::string name =
        std::filesystem::relative(entry.path(), folder).string();
    struct stat st {};
    ::lstat(entry.path().c_str(), &st);
    // The package itself, and what a clean-up could not remove of the
    // backup it no longer needs.
    if (name == "update.exe" || name.rfind("~updpack.del", 0) == 0)
      continue;
    std::string bytes = entry.is_directory()
                            ? ""
                            : testsupport::ReadFile(entry.path().string());
    if (bytes.size() > 64) // compared whole, shown short
      bytes = std::to_string(std::hash<std::string>()(bytes)) + " (" +
              std::to_string(bytes.size()) + " bytes)";
    tree[name] = entry.is_directory()
                     ? std::string("/")
                     : bytes + ((st.st_mode & S_IWUSR) ? "" : " (read-only)");
  }
  return tree;
}

const std::string kBig(70000, 'N');

// An installed product, and an update of every kind of record: a file
// replaced (one of them read-only), files deleted by a wildcard, a folder
// made and filled, a folder with read-only content removed.
struct Product {
  pkgbuild::RunWorld world;
  std::string src;

  explicit Product(bool manifest, const std::string &extraRecords = {}) {
    src = world.box / "src";
    MakeFolder(src);
    WriteFile(src + "/app.exe", kBig);
    WriteFile(src + "/lib.dll", "new library");
    WriteFile(src + "/script",
              ScriptRecord(0, T + "\\app.exe", P + "\\app.exe") +
                  ScriptRecord(0, T + "\\lib.dll", P + "\\lib.dll") +
                  ScriptRecord(1, "", P + "\\*.old") +
                  ScriptRecord(2, "", P + "\\data") +
                  ScriptRecord(0, T + "\\lib.dll", P + "\\data\\lib.dll") +
                  ScriptRecord(3, "", P + "\\cach?") + extraRecords);
    WriteFile(world.prog + "/app.exe", "old app");
    WriteFile(world.prog + "/lib.dll", "old library");
    ::chmod((world.prog + "/lib.dll").c_str(), 0444);
    WriteFile(world.prog + "/a.old", "a");
    WriteFile(world.prog + "/b.old", "b");
    MakeFolder(world.prog + "/cache/deep");
    WriteFile(world.prog + "/cache/deep/c", "c");
    ::chmod((world.prog + "/cache/deep/c").c_str(), 0444);
    WriteFile(world.prog + "/keep.txt", "the user's");
    if (manifest)
      world.InstallPackage(pkgbuild::BuiltPackage(
          pkgbuild::MinimalPe(), "",
          pkgbuild::PackFolder(src, world.box / "a.pack")));
    else
      world.InstallFolder(src);
  }

  Tree Updated() const {
    // app.exe as Snapshot shows it.
    return {{"app.exe", Snapshot(src)["app.exe"]},
            {"lib.dll", "new library"},
            {"data", "/"},
            {"data/lib.dll", "new library"},
            {"keep.txt", "the user's"}};
  }
};

// The words a text begins with, before its first line break or blank.
std::string Text(package::Text text) {
  const package::Texts texts = package::DefaultTexts();
  const std::string &shown = package::TextOf(texts, text);
  return shown.substr(0, shown.find_first_of("\r{"));
}

std::string LastMessage(const testsupport::ScriptedUi &ui) {
  return ui.messages.empty() ? "" : ui.messages.back().text;
}

// Fails the failAt-th call of the file layer, or every call that when
// names, as the errno the OS gives a refused change.
class Faults {
public:
  template <typename When> explicit Faults(When when) {
    platform::posix::SetFaultHook(when);
  }
  ~Faults() { platform::posix::SetFaultHook(nullptr); }
  Faults(const Faults &) = delete;
  Faults &operator=(const Faults &) = delete;
};

// Whether a call changes the file system.
bool Changes(Call call) {
  return call != Call::Open && call != Call::Read && call != Call::Inspect &&
         call != Call::Close;
}

TEST(Transaction, EveryFailingCallLeavesTheProductAsItWasOrUpdated) {
  const std::string undone = Text(package::Text::RolledBack);
  // The install phase starts with the first change in the program folder;
  // the check of the installed product before it only reads there.
  int64_t installFrom = 0;
  {
    Product product(true);
    testsupport::ScriptedUi ui;
    ui.QueueAnswer(MsgAnswer::Yes);
    int64_t calls = 0;
    const Faults faults([&](Call call, const std::string &path) {
      ++calls;
      if (installFrom == 0 && Changes(call) &&
          path.rfind(product.world.prog, 0) == 0 &&
          path.find("update.exe") == std::string::npos)
        installFrom = calls;
      return 0;
    });
    ASSERT_EQ(testsupport::RunProgram(mdl_main::Main), exitcode::kSuccess);
  }
  ASSERT_GT(installFrom, 0);
  for (int64_t n = 1;; ++n) {
    SCOPED_TRACE("call " + std::to_string(n));
    Product product(true);
    const Tree before = Snapshot(product.world.prog);
    testsupport::ScriptedUi ui;
    ui.QueueAnswer(MsgAnswer::Yes);
    // A file the check before the install cannot open as its own counts
    // as in use: Cancel.
    ui.QueueAnswer(MsgAnswer::Cancel);
    int64_t calls = 0;
    std::string failed;
    int code = 0;
    {
      const Faults faults([&](Call, const std::string &path) {
        if (++calls != n)
          return 0;
        failed = path;
        return EACCES;
      });
      code = testsupport::RunProgram(mdl_main::Main);
    }
    if (failed.empty()) {
      EXPECT_EQ(code, exitcode::kSuccess);
      EXPECT_EQ(Snapshot(product.world.prog), product.Updated());
      break;
    }
    SCOPED_TRACE("failed at " + failed);
    if (code == exitcode::kSuccess) {
      EXPECT_EQ(Snapshot(product.world.prog), product.Updated());
      continue; // a failure that a fallback or a clean-up absorbed
    }
    EXPECT_EQ(Snapshot(product.world.prog), before);
    if (code == exitcode::kInUse) {
      EXPECT_LT(n, installFrom);
      continue;
    }
    EXPECT_EQ(code, exitcode::kFailed);
    // A failure in the program folder from the first change on, but for
    // the package itself, is one of the install phase.
    if (n >= installFrom && failed.rfind(product.world.prog, 0) == 0 &&
        failed.find("update.exe") == std::string::npos) {
      EXPECT_NE(LastMessage(ui).find(undone), std::string::npos)
          << LastMessage(ui);
    }
    ASSERT_LT(n, 3000);
  }
}

TEST(Transaction, AnAbortAtEveryYieldOfTheInstallUndoesIt) {
  // The yields of a run that is not aborted: the install phase yields once
  // after each of its 6 records, and nothing yields after it.
  int64_t yields = 0;
  {
    Product product(true);
    testsupport::ScriptedUi ui;
    ui.QueueAnswer(MsgAnswer::Yes);
    ASSERT_EQ(testsupport::RunProgram(mdl_main::Main), exitcode::kSuccess);
    yields = ui.yields;
  }
  for (int64_t n = yields - 6; n <= yields + 1; ++n) {
    SCOPED_TRACE("abort at yield " + std::to_string(n));
    Product product(true);
    const Tree before = Snapshot(product.world.prog);
    testsupport::ScriptedUi ui;
    ui.QueueAnswer(MsgAnswer::Yes); // install
    ui.QueueAnswer(MsgAnswer::Yes); // abort
    // Whether the abort meets a product already changed: the install
    // phase yields between its steps.
    bool changed = false;
    ui.AtYield(n, [&] { changed = Snapshot(product.world.prog) != before; });
    ui.CloseAtYield(n);
    const int code = testsupport::RunProgram(mdl_main::Main);
    EXPECT_EQ(changed, n > yields - 6 && n <= yields);
    if (n > yields) {
      EXPECT_EQ(code, exitcode::kSuccess);
      EXPECT_EQ(Snapshot(product.world.prog), product.Updated());
    } else {
      EXPECT_EQ(code, exitcode::kAborted);
      EXPECT_EQ(Snapshot(product.world.prog), before);
    }
  }
}

// A step of the undo that fails is reported with what it could not
// restore, and the old file stays in the backup area.
TEST(Transaction, AnUndoThatFailsNamesWhatStaysAndWhere) {
  // The last record meets a full disk, which no check before foresees.
  Product product(true, ScriptRecord(2, "", P + "\\late"));
  testsupport::ScriptedUi ui;
  ui.QueueAnswer(MsgAnswer::Yes);
  int code = 0;
  {
    // app.exe neither goes back by a rename nor by a copy.
    const std::string app = product.world.prog + "\\app.exe";
    // The check before the install reads app.exe: only once the backup
    // area is in use does reading it fail.
    bool backedUp = false;
    const Faults faults([&](Call call, const std::string &path) {
      backedUp = backedUp || path.find("~updpack.bak") != std::string::npos;
      const bool restore = call == Call::Rename &&
                           path.find("~updpack.bak\\1") != std::string::npos;
      const bool copyBack = backedUp && call == Call::Open && path == app;
      if (call == Call::CreateFolder && path.ends_with("late"))
        return ENOSPC;
      return restore || copyBack ? EBUSY : 0;
    });
    code = testsupport::RunProgram(mdl_main::Main);
  }
  EXPECT_EQ(code, exitcode::kFailed);
  const std::string shown = LastMessage(ui);
  const std::string area = product.world.prog + "\\~updpack.bak";
  EXPECT_NE(shown.find(Text(package::Text::Unrestored)), std::string::npos);
  EXPECT_NE(shown.find(area), std::string::npos) << shown;
  EXPECT_NE(shown.find(product.world.prog + "\\app.exe"), std::string::npos);
  EXPECT_EQ(shown.find(product.world.prog + "\\lib.dll"), std::string::npos);
  EXPECT_EQ(testsupport::ReadFile(product.world.prog + "/~updpack.bak/1"),
            "old app");
}

// An undo that puts every old file back but cannot remove a new one leaves
// no backup area behind: the message says the old files are back, and the
// next run is not refused as if one had been cut off.
TEST(Transaction, AnUndoThatLeavesOnlyANewFileKeepsNoBackupArea) {
  Product product(true, ScriptRecord(2, "", P + "\\late"));
  const std::string placed = product.world.prog + "\\data\\lib.dll";
  {
    testsupport::ScriptedUi ui;
    ui.QueueAnswer(MsgAnswer::Yes);
    const Faults faults([&](Call call, const std::string &path) {
      if (call == Call::CreateFolder && path.ends_with("late"))
        return ENOSPC;
      return call == Call::Delete && path == placed ? EBUSY : 0;
    });
    EXPECT_EQ(testsupport::RunProgram(mdl_main::Main), exitcode::kFailed);
    const std::string shown = LastMessage(ui);
    EXPECT_NE(shown.find(Text(package::Text::Leftover)), std::string::npos)
        << shown;
    EXPECT_NE(shown.find(placed), std::string::npos) << shown;
  }
  Tree expected = Snapshot(product.world.prog);
  EXPECT_EQ(expected.count("~updpack.bak"), 0U);
  EXPECT_EQ(expected["app.exe"], "old app");
  EXPECT_EQ(expected["data/lib.dll"], "new library");
  testsupport::ScriptedUi again;
  again.QueueAnswer(MsgAnswer::Yes);
  testsupport::RunProgram(mdl_main::Main);
  EXPECT_EQ(LastMessage(again).find(Text(package::Text::LeftBackup)),
            std::string::npos)
      << LastMessage(again);
}

// The base format: a failing record (the folder with a read-only file, not
// forced) leaves the records before it done and shows the platform's
// description alone. A backup area left by a run that
// was cut off is neither used nor removed: the update refuses, naming it.
TEST(Transaction, StrictInstallAndAnInterruptedRunsBackup) {
  struct Case {
    bool manifest;
    bool leftover;
    const char *shows;
  };
  const Case cases[] = {
      {false, false, "cache"},
      {true, true, "~updpack.bak"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.shows);
    Product product(c.manifest);
    if (c.leftover)
      MakeFolder(product.world.prog + "/~updpack.bak");
    if (c.leftover)
      WriteFile(product.world.prog + "/~updpack.bak/1", "older app");
    const Tree before = Snapshot(product.world.prog);
    testsupport::ScriptedUi ui;
    ui.QueueAnswer(MsgAnswer::Yes);
    EXPECT_EQ(testsupport::RunProgram(mdl_main::Main), exitcode::kFailed);
    const std::string shown = LastMessage(ui);
    EXPECT_NE(shown.find(c.shows), std::string::npos) << shown;
    const bool undone =
        shown.find(Text(package::Text::RolledBack)) != std::string::npos;
    EXPECT_EQ(undone, c.manifest) << shown;
    if (c.manifest) {
      EXPECT_EQ(Snapshot(product.world.prog), before);
    } else { // the records before the failing one stay carried out
      EXPECT_EQ(Snapshot(product.world.prog)["app.exe"],
                product.Updated()["app.exe"]);
    }
  }
}

} // namespace
