// The install of a package with a manifest applies completely or not at
// all: whatever system call fails, and wherever the user aborts, the
// program folder ends byte for byte as it was or as the update makes it. A
// package without a manifest keeps its strict, nothing-undone install.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "package/texts.h"
#include "platform/error.h"
#include "platform/posix/syscalls.h"
#include "platform/ui.h"
#include "run/mdl_main.h"
#include "run/transaction.h"
#include "tests/support/package_builder.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_folder.h"

namespace {

using pkgbuild::P;
using pkgbuild::ScriptRecord;
using pkgbuild::T;
namespace fs = platform::fs;
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

  explicit Product(bool manifest, const std::string &extraRecords = {},
                   const std::string &app = kBig) {
    src = world.box / "src";
    MakeFolder(src);
    WriteFile(src + "/app.exe", app);
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

// The calls of a run: the number of the first call of the install phase,
// which starts with the first change in the program folder (the check of
// the installed product before it only reads there); how many calls
// changed the file system before it, and how many in all.
struct RunCalls {
  int64_t installFrom = 0;
  int64_t changesBefore = 0;
  int64_t changes = 0;
};
RunCalls InstallCalls() {
  RunCalls counted;
  int64_t &installFrom = counted.installFrom;
  int64_t calls = 0;
  Product product(true);
  testsupport::ScriptedUi ui;
  ui.QueueAnswer(MsgAnswer::Yes);
  const Faults faults([&](Call call, const std::string &path) {
    ++calls;
    if (installFrom == 0 && Changes(call) &&
        path.rfind(product.world.prog, 0) == 0 &&
        path.find("update.exe") == std::string::npos)
      installFrom = calls;
    if (Changes(call))
      (installFrom == 0 ? counted.changesBefore : counted.changes) += 1;
    return 0;
  });
  EXPECT_EQ(testsupport::RunProgram(mdl_main::Main), exitcode::kSuccess);
  counted.changes += counted.changesBefore;
  return counted;
}

TEST(Transaction, EveryFailingCallLeavesTheProductAsItWasOrUpdated) {
  const std::string undone = Text(package::Text::RolledBack);
  const int64_t installFrom = InstallCalls().installFrom;
  ASSERT_GT(installFrom, 0);
  for (int64_t n = 1;; ++n) {
    SCOPED_TRACE("call " + std::to_string(n));
    Product product(true);
    const Tree before = Snapshot(product.world.prog);
    testsupport::ScriptedUi ui;
    ui.yieldInterval = testsupport::ScriptedUi::kFewYields;
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
  // after each of its 7 records, after each whole piece of 64 KiB that a
  // copy writes (app.exe's, of 5 pieces, yields 4 times inside it) and
  // between the files or folders a pattern moves aside (a.old and b.old,
  // d1 and d2), and nothing after it.
  // A package of the base format yields nowhere in its install: not in
  // app.exe's copy, before it fails at the read-only lib.dll.
  const std::string app(300000, 'N');
  int64_t yields = 0;
  int64_t install = 0;
  const std::string folders = ScriptRecord(3, "", P + "\\d?");
  const auto twoFolders = [](const Product &product) {
    MakeFolder(product.world.prog + "/d1");
    MakeFolder(product.world.prog + "/d2");
  };
  for (const bool manifest : {false, true}) {
    Product product(manifest, folders, app);
    twoFolders(product);
    testsupport::ScriptedUi ui;
    ui.QueueAnswer(MsgAnswer::Yes);
    const std::string installing =
        package::TextOf(package::DefaultTexts(), package::Text::Installing);
    install = 0;
    ui.onEveryYield = [&] { install += ui.label[0] == installing ? 1 : 0; };
    ASSERT_EQ(testsupport::RunProgram(mdl_main::Main),
              manifest ? exitcode::kSuccess : exitcode::kFailed);
    EXPECT_EQ(install, manifest ? 7 + 4 + 2 : 0);
    yields = ui.yields;
  }
  for (int64_t n = yields - install; n <= yields + 1; ++n) {
    SCOPED_TRACE("abort at yield " + std::to_string(n));
    Product product(true, folders, app);
    twoFolders(product);
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
    EXPECT_EQ(changed, n > yields - install && n <= yields);
    if (n > yields) {
      EXPECT_EQ(code, exitcode::kSuccess);
      EXPECT_EQ(Snapshot(product.world.prog), product.Updated());
    } else {
      EXPECT_EQ(code, exitcode::kAborted);
      EXPECT_EQ(Snapshot(product.world.prog), before);
    }
  }
}

// The success message comes once the update stands: the old files wait in
// the backup area, renamed as done, and go only once the message is
// closed, so that the user never waits for them.
TEST(Transaction, TheOldFilesGoAfterTheSuccessMessage) {
  Product product(true);
  const std::string &prog = product.world.prog;
  testsupport::ScriptedUi ui;
  ui.QueueAnswer(MsgAnswer::Yes);
  std::vector<std::string> atMessage;
  ui.onMessage = [&](const std::string &) {
    for (const auto &entry : std::filesystem::directory_iterator(prog))
      atMessage.push_back(entry.path().filename().string());
  };
  EXPECT_EQ(testsupport::RunProgram(mdl_main::Main), exitcode::kSuccess);
  EXPECT_EQ(LastMessage(ui).find(Text(package::Text::Success)), 0u);
  EXPECT_NE(std::find(atMessage.begin(), atMessage.end(), "~updpack.del"),
            atMessage.end());
  EXPECT_EQ(std::find(atMessage.begin(), atMessage.end(), "~updpack.bak"),
            atMessage.end());
  EXPECT_EQ(fs::KindOf(prog + "\\~updpack.del"), fs::EntryKind::Missing);
  EXPECT_EQ(Snapshot(prog), product.Updated());
}

// The exit code of a process cut off at the cutAt-th call of the file layer
// (0: never), as if killed there.
constexpr int kCut = 99;

// Runs body in a process of its own that ends just before the cutAt-th
// call of the file layer that changes anything (0: never) with kCut, else
// with body's result. A cut before a call that only reads leaves the same
// files as one before the next change. With fails, the first call it names
// fails (EIO) and the changes are counted from there: a cut in what follows
// the failure, the undo among it.
using CallTest = std::function<bool(Call, const std::string &)>;
int CutOffAt(int64_t cutAt, const std::function<int()> &body,
             const CallTest &fails = nullptr) {
  const pid_t child = ::fork();
  if (child == 0) {
    int64_t changes = 0;
    bool failed = !fails;
    const Faults faults([&](Call call, const std::string &path) {
      if (!failed) {
        failed = fails(call, path);
        return failed ? EIO : 0;
      }
      if (Changes(call) && ++changes == cutAt)
        ::_exit(kCut);
      return 0;
    });
    ::_exit(body());
  }
  int status = 0;
  EXPECT_EQ(::waitpid(child, &status, 0), child);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// An old file the OS will not rename into the backup area (another volume
// mounted below the program folder) is copied there and deleted, and an
// undo brings it back the same way.
TEST(Transaction, AnOldFileOnAnotherVolumeIsCopiedAsideAndBack) {
  for (const bool undone : {false, true}) {
    SCOPED_TRACE(undone ? "undone" : "installed");
    Product product(true, undone ? ScriptRecord(2, "", P + "\\late") : "");
    const std::string &prog = product.world.prog;
    const Tree before = Snapshot(prog);
    testsupport::ScriptedUi ui;
    ui.QueueAnswer(MsgAnswer::Yes);
    int renames = 0; // refused
    int code = 0;
    {
      const Faults faults([&](Call call, const std::string &path) {
        if (undone && call == Call::CreateFolder && path.ends_with("late"))
          return ENOSPC;
        if (call != Call::Rename ||
            (path != prog + "\\app.exe" && !path.ends_with("~updpack.bak\\1")))
          return 0;
        ++renames;
        return EXDEV;
      });
      code = testsupport::RunProgram(mdl_main::Main);
    }
    EXPECT_EQ(code, undone ? exitcode::kFailed : exitcode::kSuccess)
        << LastMessage(ui);
    EXPECT_EQ(renames, undone ? 2 : 1);
    EXPECT_EQ(Snapshot(prog), undone ? before : product.Updated());
  }
}

// A move to another volume is a copy and a deletion. One cut off in its
// copy aside leaves the old file in place and part of it in the area: the
// next run's undo never writes that part over the old file, and keeps the
// area. One cut off in its copy back leaves the old file whole in the area:
// the next run's undo writes it over the part, also where the move was the
// journal's last step (an undo cut off in its copy back, nothing at the
// path before it).
TEST(Transaction, AMoveToAnotherVolumeCutOffLosesNoOldFile) {
  struct Case {
    const char *what;
    const char *journal;
    const char *aside; // in the area
    const char *there; // at app.exe; nullptr: nothing
    bool refused;
    int64_t cutBack; // first an undo cut off at this change of its copy back
  };
  const Case cases[] = {
      {"aside", "Mapp.exe\t1\n", "old", "old app", true, 0},
      {"back", "Mapp.exe\t1\n-~updpack.new\n", "old app", "old", false, 0},
      {"back, the last step", "Mapp.exe\t1\n", "old app", nullptr, false, 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Product product(true);
    const std::string &prog = product.world.prog;
    MakeFolder(prog + "/~updpack.bak");
    WriteFile(prog + "/~updpack.bak/1", c.aside);
    WriteFile(prog + "/~updpack.bak/journal", c.journal);
    ::unlink((prog + "/app.exe").c_str());
    if (c.there)
      WriteFile(prog + "/app.exe", c.there);
    const auto aside = [](Call call, const std::string &path) {
      return call == Call::Rename && path.ends_with("~updpack.bak\\1");
    };
    if (c.cutBack > 0) {
      // The rename refused (a copy instead), the copy cut off once it has
      // made the file.
      ASSERT_EQ(CutOffAt(
                    c.cutBack,
                    [&] {
                      return static_cast<int>(
                          mdl_main::txn::RecoverInterrupted(prog));
                    },
                    aside),
                kCut);
      ASSERT_EQ(fs::KindOf(prog + "/app.exe"), fs::EntryKind::File);
      ASSERT_NE(testsupport::ReadFile(prog + "/app.exe"), "old app");
    }
    const Faults faults([&](Call call, const std::string &path) {
      return aside(call, path) ? EXDEV : 0;
    });
    bool refused = false;
    try {
      mdl_main::txn::RecoverInterrupted(prog);
    } catch (const platform::Error &) {
      refused = true;
    }
    EXPECT_EQ(refused, c.refused);
    EXPECT_EQ(testsupport::ReadFile(prog + "/app.exe"), "old app");
    EXPECT_EQ(fs::KindOf(prog + "/~updpack.bak/1") != fs::EntryKind::Missing,
              c.refused);
  }
}

// The check before the install reads the script in the temporary folder
// held, not by the folder's name: a link renamed into the folder's place
// (to one without a script) passes no record over unchecked.
TEST(Transaction, TheCheckReadsTheScriptInTheHeldTempFolder) {
  Product product(true, ScriptRecord(0, T + "\\lib.dll", P + "\\ld\\x"));
  const std::string outside = product.world.box / "outside";
  MakeFolder(outside);
  std::filesystem::create_directory_symlink(outside,
                                            product.world.prog + "/ld");
  testsupport::ScriptedUi ui;
  ui.QueueAnswer(MsgAnswer::Yes);
  const std::string script = product.world.tmp + "\\VLSFX_QUORIX\\script";
  bool swapped = false;
  int code = 0;
  {
    const Faults faults([&](Call call, const std::string &path) {
      if (!swapped && call == Call::Inspect && path == script) {
        swapped = true;
        std::filesystem::rename(product.world.tempFolder,
                                product.world.box / "moved");
        std::filesystem::create_directory_symlink(outside,
                                                  product.world.tempFolder);
      }
      return 0;
    });
    code = testsupport::RunProgram(mdl_main::Main);
  }
  ASSERT_TRUE(swapped);
  EXPECT_EQ(code, exitcode::kNotExpected);
  EXPECT_EQ(testsupport::ReadFile(product.world.prog + "/app.exe"), "old app");
  EXPECT_TRUE(pkgbuild::ListNames(outside).empty());
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
      backedUp = backedUp || (call == Call::CreateFolder &&
                              path.find("~updpack.bak") != std::string::npos);
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

// A disk without room for the journal's first line: nothing was changed,
// so the undo names no file as not restored and leaves no backup area,
// though it cannot mark the journal either.
TEST(Transaction, AJournalWithoutRoomLeavesNeitherAFileNorTheArea) {
  Product product(true);
  const Tree before = Snapshot(product.world.prog);
  testsupport::ScriptedUi ui;
  ui.QueueAnswer(MsgAnswer::Yes);
  {
    const Faults faults([&](Call call, const std::string &path) {
      return call == Call::Write && path.ends_with("journal") ? ENOSPC : 0;
    });
    EXPECT_EQ(testsupport::RunProgram(mdl_main::Main), exitcode::kFailed);
  }
  EXPECT_NE(LastMessage(ui).find(Text(package::Text::RolledBack)),
            std::string::npos)
      << LastMessage(ui);
  EXPECT_EQ(Snapshot(product.world.prog), before);
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
// description alone. A backup area without a journal (left by an older
// program, or by hand) is neither used nor removed: the update refuses,
// naming it.
TEST(Transaction, StrictInstallAndAnInterruptedRunsBackup) {
  struct Case {
    bool manifest;
    bool leftover;
    const char *shows;
  };
  const Case cases[] = {
      {false, false, "lib.dll"}, // read-only, as Windows has it
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
    // Neither changes anything that would need undoing: the strict install
    // fails at its first record, and an area without a journal is refused
    // before the install.
    EXPECT_EQ(shown.find(Text(package::Text::RolledBack)), std::string::npos)
        << shown;
    if (c.manifest) {
      EXPECT_EQ(Snapshot(product.world.prog), before);
    } else { // the records before the failing one stay carried out
      EXPECT_EQ(Snapshot(product.world.prog)["app.exe"],
                product.Updated()["app.exe"]);
    }
  }
}

// A run cut off at any call of its install (its process ends there, as when
// it is killed or the power goes) is undone from its journal by the next
// run, which then installs the update; the undo alone gives back the
// product exactly as it was, or as updated once the journal has recorded
// the end of the install.
TEST(Transaction, ARunCutOffAtAnyCallIsUndoneByTheNext) {
  const RunCalls counted = InstallCalls();
  ASSERT_GT(counted.installFrom, 0);
  int64_t cuts = 0;
  for (int64_t n = counted.changesBefore + 1; n <= counted.changes; ++n) {
    SCOPED_TRACE("cut at change " + std::to_string(n));
    Product product(true);
    const Tree before = Snapshot(product.world.prog);
    const int code = CutOffAt(n, [] {
      testsupport::ScriptedUi ui;
      ui.QueueAnswer(MsgAnswer::Yes);
      return testsupport::RunProgram(mdl_main::Main);
    });
    if (code != kCut) {
      EXPECT_EQ(code, exitcode::kSuccess);
      continue; // the cut came after the run's end
    }
    ++cuts;
    const std::string &prog = product.world.prog;
    const mdl_main::txn::Recovery found =
        mdl_main::txn::RecoverInterrupted(prog);
    const Tree after = Snapshot(prog);
    if (after == product.Updated())
      continue; // cut off once the journal said the install was complete
    EXPECT_EQ(after, before);
    EXPECT_NE(found, mdl_main::txn::Recovery::Running);
    // The next run finds nothing left to undo and installs the update (at
    // every tenth cut: the run is the ordinary one from there on).
    if ((n - counted.changesBefore) % 10 != 1)
      continue;
    testsupport::ScriptedUi ui;
    ui.QueueAnswer(MsgAnswer::Yes);
    EXPECT_EQ(testsupport::RunProgram(mdl_main::Main), exitcode::kSuccess)
        << LastMessage(ui);
    EXPECT_EQ(Snapshot(prog), product.Updated());
  }
  EXPECT_GT(cuts, 15);
}

// A failure undoes the install; a run cut off at any change of that undo
// (or of what follows it) leaves what the next run finishes: the product
// exactly as it was, which one more run then updates. The failures: a new
// file that cannot be renamed into place, a folder that cannot be made.
TEST(Transaction, AnUndoAfterAFailureCutOffIsFinishedByTheNext) {
  const std::pair<const char *, CallTest> failures[] = {
      {"data\\lib.dll placed",
       [](Call call, const std::string &path) {
         return call == Call::Rename && path.ends_with("data\\~updpack.new");
       }},
      {"data made",
       [](Call call, const std::string &path) {
         return call == Call::CreateFolder && path.ends_with("\\data");
       }},
  };
  for (const auto &[what, fails] : failures) {
    int64_t cuts = 0;
    for (int64_t m = 1;; ++m) {
      SCOPED_TRACE(std::string(what) + " failed, cut at change " +
                   std::to_string(m) + " after it");
      Product product(true);
      const std::string &prog = product.world.prog;
      const Tree before = Snapshot(prog);
      const int code = CutOffAt(
          m,
          [] {
            testsupport::ScriptedUi ui;
            ui.QueueAnswer(MsgAnswer::Yes);
            return testsupport::RunProgram(mdl_main::Main);
          },
          fails);
      if (code != kCut) {
        EXPECT_EQ(code, exitcode::kFailed);
        EXPECT_EQ(Snapshot(prog), before);
        break;
      }
      ++cuts;
      EXPECT_NE(mdl_main::txn::RecoverInterrupted(prog),
                mdl_main::txn::Recovery::Running);
      EXPECT_EQ(Snapshot(prog), before);
      testsupport::ScriptedUi ui;
      ui.QueueAnswer(MsgAnswer::Yes);
      EXPECT_EQ(testsupport::RunProgram(mdl_main::Main), exitcode::kSuccess)
          << LastMessage(ui);
      EXPECT_EQ(Snapshot(prog), product.Updated());
      ASSERT_LT(m, 1000);
    }
    EXPECT_GT(cuts, 5) << what;
  }
}

// A power cut can lose the journal's last lines while the steps they name
// stand (the journal is not flushed line by line). The next run then undoes
// what the journal still lists, and whatever old file no line names stays
// in the area, which the run refuses to remove: no old file is ever lost.
TEST(Transaction, AJournalThatLostItsLastLinesLosesNoOldFile) {
  const RunCalls counted = InstallCalls();
  const auto contents = [](const Tree &tree) {
    std::multiset<std::string> files;
    for (const auto &[name, bytes] : tree)
      if (bytes != "/" && name.find("journal") == std::string::npos)
        files.insert(bytes);
    return files;
  };
  int64_t refused = 0;
  for (int64_t n = counted.changesBefore + 1; n <= counted.changes; ++n)
    for (const size_t lost : {1, 2}) {
      SCOPED_TRACE("cut at change " + std::to_string(n) +
                   ", lines lost: " + std::to_string(lost));
      Product product(true);
      const std::string &prog = product.world.prog;
      const std::multiset<std::string> old = contents(Snapshot(prog));
      if (CutOffAt(n, [] {
            testsupport::ScriptedUi ui;
            ui.QueueAnswer(MsgAnswer::Yes);
            return testsupport::RunProgram(mdl_main::Main);
          }) != kCut)
        continue;
      const std::string journal = prog + "/~updpack.bak/journal";
      if (::access(journal.c_str(), F_OK) != 0)
        continue;
      std::string text = testsupport::ReadFile(journal);
      for (size_t k = 0; k < lost && !text.empty(); ++k)
        text.erase(text.find_last_of('\n', text.size() - 2) + 1);
      WriteFile(journal, text);
      try {
        mdl_main::txn::RecoverInterrupted(prog);
      } catch (const platform::Error &) {
        ++refused;
        EXPECT_EQ(fs::KindOf(prog + "\\~updpack.bak"), fs::EntryKind::Folder);
      }
      // Every old file is in its place or in the area, where no new one is.
      const std::multiset<std::string> now = contents(Snapshot(prog));
      EXPECT_TRUE(
          std::includes(now.begin(), now.end(), old.begin(), old.end()));
    }
  EXPECT_GT(refused, 0);
}

// A journal held open by another process is another run's, still going:
// the next run ends as a second copy would, and changes nothing.
TEST(Transaction, AJournalHeldOpenIsARunStillGoing) {
  Product product(true);
  const std::string &prog = product.world.prog;
  mdl_main::txn::Transaction going(prog);
  going.CopyFile(product.src + "/lib.dll", prog + "\\app.exe");
  const Tree during = Snapshot(prog);
  testsupport::ScriptedUi ui;
  ui.QueueAnswer(MsgAnswer::Yes);
  EXPECT_EQ(testsupport::RunProgram(mdl_main::Main), exitcode::kAlreadyRunning);
  EXPECT_EQ(Snapshot(prog), during);
}

// A journal is trusted only for steps inside the program folder, by names
// that lead nowhere else, and for old files from its own area: anything
// else leaves the area and every file where they are, and the refusal names
// the area. Names that only look like paths elsewhere (an absolute path, a
// drive) stay names inside the folder, and reach nothing outside it.
TEST(Transaction, AJournalThatNamesAnythingElseIsRefused) {
  struct Case {
    const char *what;
    const char *journal; // after a first line that moves app.exe away
    bool refused;
  };
  const Case cases[] = {
      {"a way out", "M..\\outside.txt\t2\n", true},
      {"a way out, deeper", "Mdata\\..\\..\\outside.txt\t2\n", true},
      {"a way out of a removal", "P..\\outside.txt\n", true},
      {"the writer's mark of a path elsewhere", "M..\t2\n", true},
      {"an old file from outside its area", "Mkeep.txt\t..\\..\\outside.txt\n",
       true},
      {"an old file without its number", "Mkeep.txt\n", true},
      {"an old file in a folder of its area", "Mgone.txt\tsub\\2\n", true},
      {"an old file by a name, not its number", "Mgone.txt\tjournal\n", true},
      {"an area elsewhere", "A..\n", true},
      {"an unknown step", "Zkeep.txt\n", true},
      {"an empty line", "\n", true},
      {"an absolute path", "M/outside.txt\t2\n", false},
      {"a drive", "MC:\\outside.txt\t2\n", false},
      {"a line cut off", "P..\\outside.txt", false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Product product(true);
    const std::string &prog = product.world.prog;
    const Tree original = Snapshot(prog);
    const std::string outside = product.world.box / "outside.txt";
    WriteFile(outside, "not the product's");
    MakeFolder(prog + "/~updpack.bak");
    ::rename((prog + "/app.exe").c_str(), (prog + "/~updpack.bak/1").c_str());
    WriteFile(prog + "/~updpack.bak/journal",
              std::string("Mapp.exe\t1\n") + c.journal);
    const Tree before = Snapshot(prog);
    bool refused = false;
    try {
      mdl_main::txn::RecoverInterrupted(prog);
    } catch (const platform::Error &e) {
      refused = true;
      EXPECT_NE(e.Description().find(prog + "\\~updpack.bak"),
                std::string::npos)
          << e.Description();
    }
    EXPECT_EQ(refused, c.refused);
    EXPECT_EQ(Snapshot(prog), c.refused ? before : original);
    EXPECT_EQ(testsupport::ReadFile(outside), "not the product's");
  }
  // A journal or an area that is a link is not followed, nor a path through
  // a folder that is one, and a journal with another name is not written.
  for (const char *link :
       {"journal", "area", "folder", "in the area", "journal's other name"}) {
    SCOPED_TRACE(std::string("a link: ") + link);
    Product product(true);
    const std::string &prog = product.world.prog;
    const std::string elsewhere = product.world.box / "elsewhere";
    MakeFolder(elsewhere);
    WriteFile(elsewhere + "/journal", "Mkeep.txt\t1\n");
    WriteFile(elsewhere + "/1", "planted");
    std::string from = elsewhere;
    std::string at = prog + "/~updpack.bak";
    const bool hard = link == std::string("journal's other name");
    if (hard || link == std::string("journal")) {
      MakeFolder(at);
      from += "/journal";
      at += "/journal";
    } else if (link == std::string("folder")) {
      MakeFolder(at);
      WriteFile(at + "/journal", "Pthrough\\1\n");
      at = prog + "/through";
    } else if (link == std::string("in the area")) {
      MakeFolder(at);
      WriteFile(at + "/journal", "Mgone.txt\tthrough\\1\n");
      at += "/through";
    }
    ASSERT_EQ(hard ? ::link(from.c_str(), at.c_str())
                   : ::symlink(from.c_str(), at.c_str()),
              0);
    EXPECT_THROW(mdl_main::txn::RecoverInterrupted(prog), platform::Error);
    EXPECT_EQ(testsupport::ReadFile(prog + "/keep.txt"), "the user's");
    EXPECT_EQ(testsupport::ReadFile(elsewhere + "/1"), "planted");
    EXPECT_EQ(testsupport::ReadFile(elsewhere + "/journal"), "Mkeep.txt\t1\n");
  }
}

// The undo of a cut-off run can be cut off in turn, at any call: the run
// after it finishes the undo without taking back a step twice (a new file
// removed twice would be the old one put back in its place). Steps through
// "nosuch\..\" are undone as those of the path Windows reads.
TEST(Transaction, AnUndoCutOffInTurnIsFinishedByTheNext) {
  int64_t cuts = 0;
  for (int64_t m = 1;; ++m) {
    SCOPED_TRACE("undo cut at change " + std::to_string(m));
    Product product(true);
    const std::string &prog = product.world.prog;
    const Tree before = Snapshot(prog);
    const std::string lib = product.src + "/lib.dll";
    // Every step of the update taken, none committed.
    ASSERT_EQ(CutOffAt(0,
                       [&] {
                         mdl_main::txn::Transaction cut(prog);
                         cut.CopyFile(product.src + "/app.exe",
                                      prog + "\\app.exe");
                         cut.CopyFile(lib, prog + "\\lib.dll");
                         cut.DeleteFiles(prog + "\\*.old");
                         cut.CreateFolder(prog + "\\data");
                         cut.CopyFile(lib, prog + "\\data\\lib.dll");
                         cut.DeleteFolders(prog + "\\cach?");
                         // Read as Windows reads them: app.exe, the
                         // program folder's area, and a folder below it.
                         cut.CopyFile(lib, prog + "\\nosuch\\..\\app.exe");
                         cut.CreateFolder(prog + "\\nosuch\\..\\made");
                         return 0;
                       }),
              0);
    ASSERT_EQ(Snapshot(prog).count("~updpack.bak"), 1U);
    const bool cutOff =
        CutOffAt(m, [&] {
          return static_cast<int>(mdl_main::txn::RecoverInterrupted(prog));
        }) == kCut;
    EXPECT_NE(mdl_main::txn::RecoverInterrupted(prog),
              mdl_main::txn::Recovery::Running);
    EXPECT_EQ(Snapshot(prog), before);
    if (!cutOff)
      break;
    ++cuts;
    ASSERT_LT(m, 1000);
  }
  EXPECT_GT(cuts, 10);
}

// A new file that could not be renamed into place, because another program
// put a file of its own there meanwhile, is undone without removing that
// file: the undo removes only what the run itself placed.
TEST(Transaction, AnUndoLeavesAFileItDidNotPlace) {
  Product product(true);
  const std::string &prog = product.world.prog;
  mdl_main::txn::Transaction transaction(prog);
  {
    const Faults faults([&](Call call, const std::string &path) {
      if (call != Call::Rename || !path.ends_with("~updpack.new"))
        return 0;
      WriteFile(prog + "/app.exe", "another program's");
      return EEXIST;
    });
    EXPECT_THROW(
        transaction.CopyFile(product.src + "/lib.dll", prog + "\\app.exe"),
        platform::Error);
  }
  const std::vector<std::string> failed = transaction.Undo();
  EXPECT_EQ(failed, std::vector<std::string>{prog + "\\app.exe"});
  EXPECT_EQ(testsupport::ReadFile(prog + "/app.exe"), "another program's");
  EXPECT_EQ(testsupport::ReadFile(prog + "/~updpack.bak/1"), "old app");
}

// A folder to create that another program made meanwhile (after the
// pre-flight, or between the step's own look and its mkdir) fails the step,
// and is never removed: not by the run's own undo, nor by the next run's
// undo of a run cut off right after it.
TEST(Transaction, AFolderMadeMeanwhileIsNotTheUndosToRemove) {
  for (const bool cutOff : {false, true})
    for (const bool inTheStep : {false, true}) {
      SCOPED_TRACE(cutOff ? "undone by the next run" : "undone by the run");
      SCOPED_TRACE(inTheStep ? "made in the step" : "made before the step");
      Product product(true);
      const std::string &prog = product.world.prog;
      {
        mdl_main::txn::Transaction transaction(prog);
        transaction.CopyFile(product.src + "/lib.dll", prog + "\\app.exe");
        if (!inTheStep)
          MakeFolder(prog + "/made");
        const Faults faults([&](Call call, const std::string &path) {
          if (!inTheStep || call != Call::CreateFolder ||
              !path.ends_with("made"))
            return 0;
          MakeFolder(prog + "/made");
          return EEXIST;
        });
        EXPECT_THROW(transaction.CreateFolder(prog + "\\made"),
                     platform::Error);
        if (!cutOff) {
          EXPECT_EQ(transaction.Undo(), std::vector<std::string>{});
        }
      }
      if (cutOff) {
        EXPECT_EQ(mdl_main::txn::RecoverInterrupted(prog),
                  mdl_main::txn::Recovery::Undone);
      }
      EXPECT_EQ(testsupport::ReadFile(prog + "/app.exe"), "old app");
      EXPECT_EQ(fs::KindOf(prog + "\\made"), fs::EntryKind::Folder);
      EXPECT_EQ(fs::KindOf(prog + "\\~updpack.bak"), fs::EntryKind::Missing);
    }
}

// Another run on the same folder (another user's, with its own TMP) that
// makes the backup area between this run's look and its mkdir owns it and
// its journal: this run's step fails and its undo leaves both.
TEST(Transaction, ABackupAreaMadeMeanwhileIsTheOtherRunsToKeep) {
  Product product(true);
  const std::string &prog = product.world.prog;
  const std::string area = prog + "/~updpack.bak";
  mdl_main::txn::Transaction transaction(prog);
  {
    const Faults faults([&](Call call, const std::string &path) {
      if (call != Call::CreateFolder || !path.ends_with("~updpack.bak"))
        return 0;
      MakeFolder(area);
      WriteFile(area + "/journal", "M app.exe\t1\n");
      return EEXIST;
    });
    EXPECT_THROW(
        transaction.CopyFile(product.src + "/lib.dll", prog + "\\app.exe"),
        platform::Error);
  }
  transaction.Undo();
  EXPECT_EQ(testsupport::ReadFile(prog + "/app.exe"), "old app");
  EXPECT_EQ(testsupport::ReadFile(area + "/journal"), "M app.exe\t1\n");
}

// A file or folder the script names in another case ("APP.EXE" for
// app.exe) keeps its own name: replaced, as a copy over it keeps it in the
// strict install, and put back by the run's undo and by the next run's
// alike, whether replaced, deleted or removed.
TEST(Transaction, AFileKeepsItsOwnNameWhateverCaseTheScriptWrites) {
  {
    Product product(true);
    mdl_main::txn::Transaction transaction(product.world.prog);
    transaction.CopyFile(product.src + "/lib.dll",
                         product.world.prog + "\\APP.EXE");
    transaction.Commit();
    mdl_main::txn::RemoveDoneAreas();
    EXPECT_EQ(Snapshot(product.world.prog).count("app.exe"), 1u);
    EXPECT_EQ(Snapshot(product.world.prog).count("APP.EXE"), 0u);
  }
  // Operation (as in the script) and target; the dots and blanks that end
  // a path are no part of the name Windows reads ("CACHE\\..." is CACHE,
  // and so is "CACHE.\\...", whose name before the last goes last).
  const std::pair<uint8_t, const char *> steps[] = {
      {0, "\\APP.EXE"},     {0, "\\APP.EXE."},   {1, "\\KEEP.TXT"},
      {3, "\\CACHE"},       {3, "\\CACHE."},     {3, "\\CACHE\\..."},
      {3, "\\CACHE.\\..."}, {3, "\\CACHE.\\. ."}};
  for (const auto &[operation, target] : steps)
    for (const bool cutOff : {false, true}) {
      SCOPED_TRACE(testing::Message()
                   << target << (cutOff ? ", undone by the next run" : ""));
      Product product(true);
      const std::string &prog = product.world.prog;
      const Tree before = Snapshot(prog);
      {
        mdl_main::txn::Transaction transaction(prog);
        transaction.CarryOut(operation, product.src + "/lib.dll",
                             prog + target);
        if (!cutOff) {
          EXPECT_EQ(transaction.Undo(), std::vector<std::string>{});
        }
      }
      if (cutOff) {
        EXPECT_EQ(mdl_main::txn::RecoverInterrupted(prog),
                  mdl_main::txn::Recovery::Undone);
      }
      EXPECT_EQ(Snapshot(prog), before);
    }
}

// A folder link in the program folder made after the pre-flight: no step
// goes through it, so nothing it leads to is moved, removed or written.
TEST(Transaction, NoStepGoesThroughAFolderLink) {
  const struct {
    uint8_t operation;
    const char *target;
  } steps[] = {
      {1, "\\ld\\s.txt"}, {1, "\\LD\\*.*"},   {3, "\\ld\\sub\\"},
      {2, "\\ld\\new"},   {0, "\\ld\\s.txt"}, {0, "\\ld\\new.txt"},
  };
  for (const auto &step : steps) {
    SCOPED_TRACE(step.target);
    Product product(true);
    const std::string &prog = product.world.prog;
    const std::string outside = product.world.box / "outside";
    MakeFolder(outside + "/sub");
    WriteFile(outside + "/s.txt", "secret");
    ASSERT_EQ(::symlink(outside.c_str(), (prog + "/ld").c_str()), 0);
    const Tree before = Snapshot(outside);
    mdl_main::txn::Transaction transaction(prog);
    EXPECT_THROW(transaction.CarryOut(step.operation, prog + "\\app.exe",
                                      prog + step.target),
                 platform::Error);
    EXPECT_EQ(transaction.Undo(), std::vector<std::string>{});
    EXPECT_EQ(Snapshot(outside), before);
  }
}

// A folder of the product, or the backup area, made a link to another
// folder once steps were taken in it: neither the steps after that nor the
// undo go through the link, so nothing it leads to changes; what cannot go
// back is named.
TEST(Transaction, AFolderMadeALinkSinceLeadsNoStepOut) {
  const struct {
    const char *what;
    uint8_t first;       // the record before the link: a copy or a mkdir
    const char *swapped; // made a link after it
    bool secondCopy;     // another copy into the folder, which fails
  } cases[] = {
      {"the product's folder, then the undo", 0, "d", false},
      {"the product's folder, then a copy", 0, "d", true},
      {"the backup area, then the undo", 0, "~updpack.bak", false},
      {"the backup area, then a copy", 0, "~updpack.bak", true},
      {"the backup area of a new folder only, then the undo", 2, "~updpack.bak",
       false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    Product product(true);
    const std::string &prog = product.world.prog;
    MakeFolder(prog + "/d");
    WriteFile(prog + "/d/a.txt", "old a");
    WriteFile(prog + "/d/b.txt", "old b");
    const std::string outside = product.world.box / "outside";
    MakeFolder(outside);
    for (const char *name : {"a.txt", "b.txt", "1", "2", "journal"})
      WriteFile(outside + "/" + name, "secret");
    const Tree before = Snapshot(outside);
    mdl_main::txn::Transaction transaction(prog);
    transaction.CarryOut(c.first, prog + "\\app.exe",
                         prog + (c.first ? "\\d\\new" : "\\d\\a.txt"));
    const std::string swapped = prog + "/" + c.swapped;
    ASSERT_EQ(::rename(swapped.c_str(), (swapped + ".real").c_str()), 0);
    ASSERT_EQ(::symlink(outside.c_str(), swapped.c_str()), 0);
    if (c.secondCopy) {
      EXPECT_THROW(
          transaction.CarryOut(0, prog + "\\app.exe", prog + "\\d\\b.txt"),
          platform::Error);
    }
    EXPECT_FALSE(transaction.Undo().empty());
    EXPECT_EQ(Snapshot(outside), before);
  }
}

// A folder that a run cut off had made, and that another program has put a
// file in since, cannot go: the next run's undo puts every old file back all
// the same and lets the run go on, the area gone and the folder kept.
TEST(Transaction, AFolderFilledSinceDoesNotStopTheNextRun) {
  Product product(true);
  const std::string &prog = product.world.prog;
  {
    mdl_main::txn::Transaction transaction(prog);
    transaction.CopyFile(product.src + "/lib.dll", prog + "\\app.exe");
    transaction.CreateFolder(prog + "\\data");
  }
  WriteFile(prog + "/data/user.txt", "the user's");
  EXPECT_EQ(mdl_main::txn::RecoverInterrupted(prog),
            mdl_main::txn::Recovery::Undone);
  EXPECT_EQ(testsupport::ReadFile(prog + "/app.exe"), "old app");
  EXPECT_EQ(testsupport::ReadFile(prog + "/data/user.txt"), "the user's");
  EXPECT_EQ(fs::KindOf(prog + "\\~updpack.bak"), fs::EntryKind::Missing);
}

// A run that succeeded and was cut off before it removed its old files
// leaves them renamed as done: the next run removes them, also when it then
// finds the product up to date and installs nothing (its folder pattern,
// cach?, matching nothing any more, is done).
TEST(Transaction, OldFilesLeftAsDoneGoWithTheNextRun) {
  Product product(true);
  const std::string &prog = product.world.prog;
  {
    testsupport::ScriptedUi ui;
    ui.QueueAnswer(MsgAnswer::Yes);
    ASSERT_EQ(testsupport::RunProgram(mdl_main::Main), exitcode::kSuccess);
  }
  MakeFolder(prog + "/~updpack.del");
  WriteFile(prog + "/~updpack.del/journal", "M app.exe\t1\nK\n");
  WriteFile(prog + "/~updpack.del/1", "old app");
  testsupport::ScriptedUi ui;
  ui.QueueAnswer(MsgAnswer::Yes);
  EXPECT_EQ(testsupport::RunProgram(mdl_main::Main), exitcode::kSuccess);
  EXPECT_NE(LastMessage(ui).find(Text(package::Text::UpToDate)),
            std::string::npos)
      << LastMessage(ui);
  EXPECT_EQ(Snapshot(prog), product.Updated());
  EXPECT_EQ(fs::KindOf(prog + "\\~updpack.del"), fs::EntryKind::Missing);
}

} // namespace
