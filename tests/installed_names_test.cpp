// What the user reads of a package with a manifest names the installed
// file (bin\app.exe), never the entry it travels as (f4.exe) nor the name
// it is written under; a package of the base format keeps its entry names.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <string>

#include "platform/posix/syscalls.h"
#include "platform/ui.h"
#include "run/installed_names.h"
#include "run/mdl_main.h"
#include "tests/support/package_builder.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_folder.h"

namespace {

using pkgbuild::P;
using pkgbuild::ScriptRecord;
using pkgbuild::T;
using platform::posix::Call;
using testsupport::WriteFile;

struct Case {
  const char *what;
  bool manifest;
  bool sums; // the package carries and declares the checksum entry
  // After the checksum entry is made: what becomes of the payload.
  std::function<void(const std::string &src)> damage;
  // The errno of the file layer's call on a path holding this text.
  Call call;
  const char *failing;
  const char *named;    // the message names this
  const char *notNamed; // and not this
  // The copy's source below the program folder, made there, instead of
  // the entry f4.exe.
  const char *fromProgram = nullptr;
  // After f4.exe in the copy's source, which Windows reads as f4.exe.
  const char *sourceTail = "";
};

const auto kIntact = [](const std::string &) {};

TEST(InstalledNames, MessagesNameTheInstalledFile) {
  const Case cases[] = {
      {"checksum differs", true, true,
       [](const std::string &src) { WriteFile(src + "/f4.exe", "NEW APP"); },
       Call::Open, nullptr, "bin\\app.exe", "f4.exe"},
      {"checksum differs, the copy from \"f4.exe.\"", true, true,
       [](const std::string &src) { WriteFile(src + "/f4.exe", "NEW APP"); },
       Call::Open, nullptr, "bin\\app.exe", "f4.exe", nullptr, "."},
      {"length differs", true, true,
       [](const std::string &src) { WriteFile(src + "/f4.exe", "new app!"); },
       Call::Open, nullptr, "bin\\app.exe", "f4.exe"},
      {"missing from the package", true, true,
       [](const std::string &src) { std::remove((src + "/f4.exe").c_str()); },
       Call::Open, nullptr, "bin\\app.exe", "f4.exe"},
      {"missing, no checksum entry", true, false,
       [](const std::string &src) { std::remove((src + "/f4.exe").c_str()); },
       Call::Open, nullptr, "bin\\app.exe", "f4.exe"},
      {"the new file cannot be written", true, true, kIntact, Call::Write,
       "~updpack.new", "bin\\app.exe", "~updpack.new"},
      {"the new file cannot be put in place", true, true, kIntact, Call::Rename,
       "~updpack.new", "bin\\app.exe", "~updpack.new"},
      {"the entry cannot be read", true, true, kIntact, Call::Read, "f4.exe",
       "bin\\app.exe", "f4.exe"},
      // A file that is no file of the package is named as it is: here one
      // of the program folder, there for the check before the install,
      // that the install cannot read.
      {"a copy from the program folder cannot read it", true, true, kIntact,
       Call::Read, "old.exe", "old.exe", "bin\\app.exe", "old.exe"},
      // The base format's messages stay as they were.
      {"base format: the entry cannot be read", false, false, kIntact,
       Call::Read, "f4.exe", "f4.exe", "bin\\app.exe"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    pkgbuild::RunWorld world;
    const std::string src = world.box / "src";
    testsupport::MakeFolder(src);
    testsupport::MakeFolder(world.prog + "/bin");
    WriteFile(src + "/f4.exe", "new app");
    if (c.fromProgram)
      WriteFile(world.prog + "/" + c.fromProgram, "old app");
    WriteFile(src + "/script",
              ScriptRecord(0,
                           c.fromProgram ? P + "\\" + c.fromProgram
                                         : T + "\\f4.exe" + c.sourceTail,
                           P + "\\bin\\app.exe"));
    if (c.sums) {
      const std::string sums = pkgbuild::SumsOf(src);
      WriteFile(src + "/~updpack.sum", sums);
    }
    c.damage(src);
    if (c.manifest)
      world.InstallPackage(pkgbuild::BuiltPackage(
          pkgbuild::MinimalPe(),
          c.sums ? std::string("sums\0"
                               "1\0",
                               7)
                 : std::string(),
          pkgbuild::PackFolder(src, world.box / "a.pack")));
    else
      world.InstallFolder(src);
    testsupport::ScriptedUi ui;
    ui.QueueAnswer(platform::MsgAnswer::Yes);
    platform::posix::SetFaultHook([&](Call call, const std::string &path) {
      const bool fails = c.failing && call == c.call &&
                         path.find(c.failing) != std::string::npos;
      return fails ? (call == Call::Read ? EIO : ENOSPC) : 0;
    });
    const int code = testsupport::RunProgram(mdl_main::Main);
    platform::posix::SetFaultHook(nullptr);
    EXPECT_EQ(code, platform::exitcode::kFailed);
    ASSERT_FALSE(ui.messages.empty());
    const std::string &shown = ui.messages.back().text;
    EXPECT_NE(shown.find(c.named), std::string::npos) << shown;
    EXPECT_EQ(shown.find(c.notNamed), std::string::npos) << shown;
  }
}

// A file of the package is one name in the temporary folder; any other
// source of a copy is named as it is.
TEST(InstalledNames, FileOfThePackage) {
  const std::string saved = mdl_main::TempFolder;
  mdl_main::TempFolder = "C:\\tmp\\VLSFX_QUORIX";
  const struct {
    const char *after; // the source after the temporary folder
    bool ofPackage;
  } cases[] = {
      {"\\a.txt", true},       {"/a.txt", true},     {"\\a.txt. ", true},
      {"\\.profile", true},    {"", false},          {"\\", false},
      {"\\.", false},          {"\\..", false},      {"\\...", false},
      {"\\. .", false},        {"\\sub\\..", false}, {"\\.\\a.txt", false},
      {"\\sub\\a.txt", false}, {"\\a.txt\\", false}, {"\\a.txt/", false},
      {"2\\a.txt", false},
  };
  for (const auto &c : cases) {
    const std::string source = mdl_main::TempFolder + c.after;
    EXPECT_EQ(!mdl_main::names::OfPackage(source).empty(), c.ofPackage)
        << source;
  }
  mdl_main::TempFolder = saved;
}

} // namespace
