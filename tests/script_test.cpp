// The install script: record layout, field preparation and the operations.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "package/script_record.h"
#include "platform/error.h"
#include "platform/files.h"
#include "run/install_script.h"
#include "run/mdl_main.h"
#include "tests/support/package_builder.h"
#include "tests/support/temp_folder.h"

namespace {

namespace script = package::script;
using pkgbuild::ListNames;
using pkgbuild::P;
using pkgbuild::ScriptRecord;
using pkgbuild::T;
using testsupport::FileExists;
using testsupport::FolderExists;
using testsupport::MakeFolder;
using testsupport::ReadFile;
using testsupport::WriteFile;

TEST(ScriptField, Preparation) {
  const std::string tf = "C:\\Temp\\VLSFX_QUORIX";
  const std::string pf = "D:\\Tools";
  const struct {
    std::string bytes;
    std::string path;
  } cases[] = {
      // The example record's fields.
      {T + "\\app.exe       ", tf + "\\app.exe"},
      {P + "\\app.exe" + std::string(39, ' '), pf + "\\app.exe"},
      {std::string(16, ' '), ""},
      {"", ""},
      // Only spaces are trimmed, at both ends; inner spaces stay.
      {"  a b  ", "a b"},
      {"\ta\t", "\ta\t"},
      {std::string("\xA0x\xA0"), "\u00A0x\u00A0"},
      // Placeholders anywhere, any number of times, in that order.
      {"x" + T + "y" + P + "z", "x" + tf + "y" + pf + "z"},
      {P + P, pf + pf},
      {" " + T + " ", tf},
      // Padding with 0x00 instead of spaces: each byte becomes TempFolder.
      {P + "\\a" + std::string(3, '\0'), pf + "\\a" + tf + tf + tf},
      // Code page bytes become characters.
      {"\xCF\xF0\xE8\xE2\xE5\xF2.txt", "Привет.txt"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(script::PrepareField(c.bytes, tf, pf), c.path) << c.bytes;
}

TEST(ScriptField, PlaceholdersAreReplacedTempFolderFirst) {
  // A TempFolder holding the program-folder mark gets it replaced too.
  EXPECT_EQ(script::PrepareField(T, "a" + P + "b", "PF"), "aPFb");
  // A ProgramFolder holding the temp-folder mark keeps it.
  EXPECT_EQ(script::PrepareField(P, "TF", "a" + T + "b"), "a" + T + "b");
}

TEST(ScriptRecordLayout, ExampleRecordBytes) {
  const std::string record = ScriptRecord(0, T + "\\app.exe", P + "\\app.exe");
  ASSERT_EQ(record.size(), 65u);
  const std::string expected =
      std::string("\x00", 1) + std::string("\x00\\app.exe", 9) +
      std::string(7, ' ') + std::string("\x01\\app.exe", 9) +
      std::string(39, ' ');
  EXPECT_EQ(record, expected);
}

class ScriptTest : public ::testing::Test {
protected:
  void SetUp() override {
    temp = world.tempFolder;
    MakeFolder(temp);
    mdl_main::TempFolder = world.tmp + "\\VLSFX_QUORIX";
  }

  void WriteScript(const std::string &bytes) {
    WriteFile(temp + "/script", bytes);
  }

  // Runs the script; returns the error it raised, if any.
  std::optional<platform::Error> RunScript() {
    try {
      mdl_main::script::RunInstallScript();
    } catch (const platform::Error &e) {
      platform::files::CloseAllQuietly();
      return e;
    }
    EXPECT_EQ(platform::files::FreeFile(), 1) << "the script stayed open";
    return std::nullopt;
  }

  pkgbuild::RunWorld world;
  std::string temp; // the temporary folder as the file system sees it
};

TEST_F(ScriptTest, ExampleRecordCopiesFromTempToProgramFolder) {
  WriteFile(temp + "/app.exe", "new app");
  WriteFile(world.prog + "/app.exe", "old app with more bytes than new");
  WriteScript(ScriptRecord(0, T + "\\app.exe", P + "\\app.exe"));
  EXPECT_FALSE(RunScript());
  EXPECT_EQ(ReadFile(world.prog + "/app.exe"), "new app");
  EXPECT_EQ(ReadFile(temp + "/app.exe"), "new app");
}

TEST_F(ScriptTest, NamesAreFoundWithoutRegardToCaseAsOnWindows) {
  WriteFile(temp + "/app.exe", "new app");
  WriteFile(world.prog + "/App.exe", "old app");
  MakeFolder(world.prog + "/Data");
  WriteFile(world.prog + "/Data/Old.TXT", "old");
  WriteScript(ScriptRecord(0, T + "\\APP.EXE", P + "\\app.exe") +
              ScriptRecord(0, T + "\\App.Exe", P + "\\DATA\\app.exe") +
              ScriptRecord(1, "", P + "\\data\\old.txt"));
  EXPECT_FALSE(RunScript());
  EXPECT_EQ(ListNames(world.prog),
            (std::vector<std::string>{"App.exe", "Data"}));
  EXPECT_EQ(ReadFile(world.prog + "/App.exe"), "new app");
  EXPECT_EQ(ListNames(world.prog + "/Data"),
            std::vector<std::string>{"app.exe"});
}

TEST_F(ScriptTest, ShortScriptsCarryOutNothing) {
  for (size_t length : {0u, 1u, 64u}) {
    const std::string whole = ScriptRecord(2, "", P + "\\made");
    WriteScript(whole.substr(0, length));
    EXPECT_FALSE(RunScript()) << length;
    EXPECT_FALSE(FolderExists(world.prog + "/made")) << length;
  }
}

TEST_F(ScriptTest, MissingScriptInAnExistingFolderCountsAsEmpty) {
  EXPECT_FALSE(RunScript());
  EXPECT_EQ(ListNames(world.prog), std::vector<std::string>{});
}

TEST_F(ScriptTest, MissingTempFolderFails) {
  mdl_main::TempFolder = world.tmp + "\\gone";
  const auto error = RunScript();
  ASSERT_TRUE(error);
  EXPECT_FALSE(FolderExists(world.tmp + "/gone"));
}

TEST_F(ScriptTest, ScriptComesFromTheFolderCheckedAndHeld) {
  WriteScript(ScriptRecord(2, "", P + "\\made"));
  mdl_main::HeldTempFolder(); // as the run does before it unpacks
  // Someone puts another folder with another script in its place.
  std::filesystem::rename(temp, world.tmp + "/moved");
  MakeFolder(temp);
  WriteScript(ScriptRecord(2, "", P + "\\planted"));
  EXPECT_FALSE(RunScript());
  EXPECT_EQ(ListNames(world.prog), std::vector<std::string>{"made"});
}

TEST_F(ScriptTest, TempFolderThatOthersCanWriteIsRefused) {
  WriteScript(ScriptRecord(2, "", P + "\\made"));
  std::filesystem::permissions(temp, std::filesystem::perms::all);
  const auto error = RunScript();
  ASSERT_TRUE(error);
  EXPECT_EQ(error->Number(), platform::err::kPermissionDenied);
  EXPECT_EQ(ListNames(world.prog), std::vector<std::string>{});
}

TEST_F(ScriptTest, RemainderAfterTheLastWholeRecordIsIgnored) {
  // 194 bytes: two records and 64 bytes of a third.
  const std::string third = ScriptRecord(2, "", P + "\\c");
  WriteScript(ScriptRecord(2, "", P + "\\a") + ScriptRecord(2, "", P + "\\b") +
              third.substr(0, 64));
  EXPECT_FALSE(RunScript());
  EXPECT_EQ(ListNames(world.prog), (std::vector<std::string>{"a", "b"}));
}

TEST_F(ScriptTest, UnknownOperationsAreReadAndSkipped) {
  WriteFile(world.prog + "/keep.txt", "k");
  std::string s;
  for (uint8_t op : {4, 7, 0x80, 0xFF})
    s += ScriptRecord(op, T + "\\nothing", P + "\\keep.txt");
  s += ScriptRecord(2, "", P + "\\after");
  WriteScript(s);
  EXPECT_FALSE(RunScript());
  EXPECT_EQ(ReadFile(world.prog + "/keep.txt"), "k");
  EXPECT_TRUE(FolderExists(world.prog + "/after"));
  EXPECT_EQ(ListNames(world.prog),
            (std::vector<std::string>{"after", "keep.txt"}));
}

TEST_F(ScriptTest, RecordsRunInOrderEachBeforeTheNextIsRead) {
  WriteFile(temp + "/f.txt", "f");
  WriteScript(ScriptRecord(2, "", P + "\\d") +
              ScriptRecord(0, T + "\\f.txt", P + "\\d\\f.txt") +
              ScriptRecord(0, P + "\\d\\f.txt", P + "\\g.txt") +
              ScriptRecord(1, "", P + "\\d\\f.txt") +
              ScriptRecord(3, "", P + "\\d"));
  EXPECT_FALSE(RunScript());
  EXPECT_EQ(ReadFile(world.prog + "/g.txt"), "f");
  EXPECT_FALSE(FolderExists(world.prog + "/d"));
}

TEST_F(ScriptTest, ARecordIsReadAfterTheOneBeforeItWroteOverTheScript) {
  // The first record copies a new script over the one being carried out;
  // the second is read from the file as that copy left it.
  const std::string first = ScriptRecord(0, T + "\\new", T + "\\script");
  const std::string old = ScriptRecord(0, T + "\\a.txt", P + "\\old.txt");
  const struct {
    const char *what;
    std::string written; // what the copy puts in the script's place
    const char *made;    // the file the second record makes, or none
  } cases[] = {
      {"the same length",
       ScriptRecord(7, "", "") +
           ScriptRecord(0, T + "\\a.txt", P + "\\new.txt"),
       "new.txt"},
      {"shorter: the second record is gone", "tiny", nullptr},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(world.prog);
    MakeFolder(world.prog);
    WriteFile(temp + "/a.txt", "a");
    WriteFile(temp + "/new", c.written);
    WriteScript(first + old);
    const auto error = RunScript();
    EXPECT_EQ(error.has_value(), c.made == nullptr);
    EXPECT_EQ(ListNames(world.prog), c.made ? std::vector<std::string>{c.made}
                                            : std::vector<std::string>{});
  }
}

TEST_F(ScriptTest, SourceOfDeleteAndCreateIsNotUsed) {
  WriteFile(world.prog + "/x.txt", "x");
  WriteScript(ScriptRecord(1, "\\\\no\\such", P + "\\x.txt") +
              ScriptRecord(2, "*", P + "\\y"));
  EXPECT_FALSE(RunScript());
  EXPECT_FALSE(FileExists(world.prog + "/x.txt"));
  EXPECT_TRUE(FolderExists(world.prog + "/y"));
}

TEST_F(ScriptTest, ZeroPaddingMakesAUselessPathThatFails) {
  WriteScript(ScriptRecord(2, "", P + "\\new", '\0'));
  const auto error = RunScript();
  ASSERT_TRUE(error);
  EXPECT_FALSE(FolderExists(world.prog + "/new"));
}

TEST_F(ScriptTest, EachFailingOperationStopsWithEarlierRecordsDone) {
  namespace err = platform::err;
  const struct {
    const char *what;
    std::string record;
    int32_t number; // the failure as the platform numbers it
  } cases[] = {
      {"copy of a missing source", ScriptRecord(0, T + "\\none", P + "\\x"),
       err::kFileNotFound},
      {"copy into a missing folder",
       ScriptRecord(0, T + "\\have.txt", P + "\\no\\x"), err::kPathNotFound},
      {"copy onto a folder", ScriptRecord(0, T + "\\have.txt", P + "\\exists"),
       err::kPathFileAccess},
      {"delete of a missing file", ScriptRecord(1, "", P + "\\none.txt"),
       err::kFileNotFound},
      {"delete matching nothing", ScriptRecord(1, "", P + "\\*.none"),
       err::kFileNotFound},
      {"delete of a folder as a file", ScriptRecord(1, "", P + "\\exists"),
       err::kFileNotFound},
      {"create of an existing folder", ScriptRecord(2, "", P + "\\exists"),
       err::kPathFileAccess},
      {"create over a file", ScriptRecord(2, "", P + "\\file.txt"),
       err::kPathFileAccess},
      {"create without a parent", ScriptRecord(2, "", P + "\\no\\sub"),
       err::kPathNotFound},
      {"delete of a missing folder", ScriptRecord(3, "", P + "\\none"),
       err::kPathNotFound},
      {"delete of folders matching nothing", ScriptRecord(3, "", P + "\\z*"),
       err::kPathNotFound},
      {"delete of a file as a folder", ScriptRecord(3, "", P + "\\file.txt"),
       err::kPathNotFound},
      {"delete of the open script", ScriptRecord(1, "", T + "\\script"),
       err::kPermissionDenied},
      {"empty target", ScriptRecord(2, "", ""), err::kPathNotFound},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(world.prog);
    MakeFolder(world.prog);
    WriteFile(temp + "/have.txt", "h");
    MakeFolder(world.prog + "/exists");
    WriteFile(world.prog + "/file.txt", "f");
    WriteScript(ScriptRecord(2, "", P + "\\before") + c.record +
                ScriptRecord(2, "", P + "\\after"));
    const auto error = RunScript();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number(), c.number);
    EXPECT_FALSE(error->Description().empty());
    EXPECT_TRUE(FolderExists(world.prog + "/before"));
    EXPECT_FALSE(FolderExists(world.prog + "/after"));
    EXPECT_EQ(ReadFile(world.prog + "/file.txt"), "f");
  }
}

TEST_F(ScriptTest, WildcardDeleteOfFiles) {
  for (const char *name : {"a.tmp", "b.TMP", "c.tmp.txt", "d.txt", "tmp"})
    WriteFile(world.prog + "/" + name, "x");
  MakeFolder(world.prog + "/sub.tmp");
  WriteScript(ScriptRecord(1, "", P + "\\*.tmp"));
  EXPECT_FALSE(RunScript());
  EXPECT_EQ(ListNames(world.prog),
            (std::vector<std::string>{"c.tmp.txt", "d.txt", "sub.tmp", "tmp"}));
}

TEST_F(ScriptTest, WildcardDeleteOfFolders) {
  for (const char *name : {"old1", "old2", "keep"}) {
    MakeFolder(world.prog + "/" + name);
    WriteFile(world.prog + "/" + name + "/inner.txt", "i");
  }
  MakeFolder(world.prog + "/old1/deeper");
  WriteFile(world.prog + "/old1/deeper/x", "x");
  WriteFile(world.prog + "/old3", "a file, not a folder");
  WriteScript(ScriptRecord(3, "", P + "\\old?"));
  EXPECT_FALSE(RunScript());
  EXPECT_EQ(ListNames(world.prog), (std::vector<std::string>{"keep", "old3"}));
  EXPECT_EQ(ReadFile(world.prog + "/keep/inner.txt"), "i");
}

TEST_F(ScriptTest, PathWithoutPlaceholderIsUsedAsIs) {
  const std::string abs = world.box / "elsewhere";
  ASSERT_LE(abs.size(), 48u) << "sandbox path too long for the field";
  // An absolute path, and one taken from the process's current folder.
  WriteFile(world.box / "here.txt", "h");
  WriteScript(ScriptRecord(2, "", abs) +
              ScriptRecord(0, "here.txt", "elsewhere\\copied.txt"));
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(world.box.Path());
  const auto error = RunScript();
  std::filesystem::current_path(before);
  EXPECT_FALSE(error);
  EXPECT_EQ(ReadFile(abs + "/copied.txt"), "h");
}

} // namespace
