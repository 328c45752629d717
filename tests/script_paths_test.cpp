// Script paths outside {app} and {temp}, as verify and run warn of them.
#include <gtest/gtest.h>

#include <string>

#include "package/entry_limits.h"
#include "package/long_records.h"
#include "package/script_record.h"
#include "platform/codepage.h"
#include "tools/script_paths.h"

namespace {

using namespace std::string_literals;

TEST(ScriptPaths, OutsideTheTwoFolders) {
  const struct {
    std::string field; // \0 is {temp}, \1 is {app}
    bool outside;
  } cases[] = {
      {"\1"s, false},
      {"\1\\a\\b.txt  ", false},
      {"  \0/x"s, false},
      {"\1\\a\\..\\b", false},
      {"\1\\.\\a\\.\\..", false},
      {"\1\\*.tmp", false},
      {"C:\\Windows\\x.dll", true},
      {"x.txt", true},
      {"\\\\server\\share", true},
      {"", true},
      {"\1sibling\\x", true},
      {"\1\\..", true},
      {"\0\\a\\..\\..\\b"s, true},
      {"\1\\... \\x", true},
      {"\1/../x", true},
      {"\1\\a\\\0"s, true},
  };
  for (const auto &c : cases)
    EXPECT_EQ(tools::PathOutsideFolders(c.field), c.outside)
        << "\"" << c.field << "\"";
}

TEST(ScriptPaths, NamesBelowTheMarkAsWindowsReadsThem) {
  const struct {
    std::string field; // \0 is {temp}, \1 is {app}
    const char *names; // joined by "|"; "-" for none read
  } cases[] = {
      {"\0"s, ""},
      {"\0\\."s, ""},
      {"\0\\sub\\.."s, ""},
      {"\0\\.\\a.txt"s, "a.txt"},
      {"\0\\sub\\..\\a.txt "s, "a.txt"},
      {"\0\\a.txt\\."s, "a.txt"},
      {"\1/a//b\\", "a|b"},
      {"\1\\a\\..\\..", "-"},
      {"\1\\...\\a", "-"},
      {"\1\\a\\. .\\b", "-"},
      {"C:\\a", "-"},
      // The dots and blanks that end the name left last go, wherever it
      // stands; a name before a separator loses one dot and keeps blanks.
      {"\1\\a.txt.", "a.txt"},
      {"\1\\a.\\.", "a"},
      {"\1\\a. \\.", "a"},
      {"\1\\a..\\.", "a"},
      {"\1\\a \\b\\..", "a"},
      {"\1\\x\\..\\b.", "b"},
      {"\1\\s.\\a", "s|a"},
      {"\1\\s..\\a", "s.|a"},
      {"\1\\s. \\a", "s. |a"},
      {"\1\\a.\\", "a"},
      {"\1\\a. \\b\\..\\", "a. "},
  };
  for (const auto &c : cases) {
    const auto names = tools::NamesBelowMark(c.field);
    std::string joined = names ? "" : "-";
    for (const std::string &name : names.value_or(std::vector<std::string>{}))
      joined += (joined.empty() ? "" : "|") + name;
    EXPECT_EQ(joined, c.names) << "\"" << c.field << "\"";
  }
}

TEST(ScriptPaths, ARepeatedPlaceholderCountsItsWholeFolder) {
  namespace record = package::script;
  const struct {
    std::string field;
    int64_t bytes; // with {temp} 10 bytes long and {app} 3
  } cases[] = {
      {"C:\\x", 0},    {"\1\\a\\b", 0},   {"\0\\a\\\1"s, 3},
      {"\1\0\0"s, 20}, {"\0\0\1\1"s, 16}, {"a\0b\0"s, 10},
  };
  for (const auto &c : cases)
    EXPECT_EQ(record::RepeatedPlaceholderBytes(c.field, 10, 3), c.bytes)
        << "\"" << c.field << "\"";
  // Both script forms are measured, each folder at its longest; another
  // entry is not a script.
  const std::string twice = "\1\\\1"s; // {app}\{app}
  std::string flat;
  record::EncodeRecord({record::kCopyFile, twice, twice}, flat);
  std::string longForm;
  record::EncodeLongRecord({record::kCopyFile, twice, "\1\\x"}, longForm);
  const auto at = package::kLongestFolderBytes;
  EXPECT_EQ(tools::RepeatedPlaceholderBytesAtLongest("SCRIPT", flat + flat),
            static_cast<int64_t>(4 * at));
  EXPECT_EQ(tools::RepeatedPlaceholderBytesAtLongest(record::kLongScriptName,
                                                     longForm),
            static_cast<int64_t>(at));
  EXPECT_EQ(tools::RepeatedPlaceholderBytesAtLongest("data.bin", flat), 0);
}

TEST(ScriptPaths, NewNamesWindowsRefuses) {
  namespace record = package::script;
  const std::string tooLong(256, 'a');
  const std::string longest(255, '\xE9'); // 255 characters, 510 UTF-8 bytes
  const struct {
    uint8_t operation;
    std::string target;  // \0 is {temp}, \1 is {app}
    const char *refused; // nullptr: none
  } cases[] = {
      {record::kCopyFile, "\1\\CON", "CON"},
      {record::kCopyFile, "\1\\sub\\nul.txt  ", "nul.txt"},
      {record::kCopyFile, "\1\\a:b", "a:b"},
      {record::kCopyFile, "\1\\\xF4\xE0\xE9\xEB?",
       "\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB?"},
      {record::kCreateFolder, "\1\\LPT1\\", "LPT1"},
      {record::kCreateFolder, "\1\\a*", "a*"},
      {record::kCopyFile, "\1\\a.txt", nullptr},
      {record::kCopyFile, "\1\\", "{app}\\"},
      {record::kCopyFile, "\1\\a.txt\\  ", "a.txt\\"},
      {record::kCopyFile, "\1\\sub\\a b /", "a b /"},
      {record::kCreateFolder, "\1\\sub\\", nullptr},
      {record::kCreateFolder, "\1", nullptr},
      {record::kCopyFile, "\0\\CONFIG.SYS"s, nullptr},
      {record::kDeleteFiles, "\1\\NUL", nullptr},
      {record::kDeleteFolder, "\1\\aux", nullptr},
      {7, "\1\\CON", nullptr},
      {record::kCopyFile, "\1\\" + tooLong, tooLong.c_str()},
      {record::kCreateFolder, "\1\\" + tooLong + "\\x", tooLong.c_str()},
      {record::kCopyFile, "\1\\" + longest, nullptr},
      {record::kCopyFile, "\1\\" + tooLong.substr(1) + "..", nullptr},
      {record::kDeleteFiles, "\1\\" + tooLong, nullptr},
  };
  platform::SetFileCodePage(1251);
  for (const auto &c : cases) {
    SCOPED_TRACE(c.target);
    EXPECT_EQ(tools::RefusedNewName(c.operation, c.target).value_or("-"),
              c.refused ? c.refused : "-");
  }
  platform::SetFileCodePage(0);
}

// Records every run fails at (verify's faults) and those whose run depends
// on the machine (warnings), in a package of the base format and of ours.
TEST(ScriptPaths, FailingRecordsAndWarningsByFormat) {
  namespace record = package::script;
  const struct {
    uint8_t operation;
    std::string source, target; // \0 is {temp}, \1 is {app}
    const char *base, *ours;    // W: a warning, F: fails every run
  } cases[] = {
      {record::kCopyFile, "\0\\a"s, "\1\\PRN", "F", "F"},
      {record::kCreateFolder, "", "\1\\PRN", "F", "F"},
      {record::kDeleteFiles, "", "\1\\PRN", "", ""},
      {record::kCopyFile, "\1\\a.txt\\ ", "\1\\b", "F", "F"},
      {record::kCopyFile, "C:\\x/", "\1\\b", "WF", "WF"},
      {record::kDeleteFiles, "", "\1\\sub\\", "F", "W"},
      {record::kDeleteFiles, "", "\1\\", "F", "W"},
      {record::kDeleteFiles, "", "\1\\a.txt", "", ""},
      {record::kDeleteFolder, "", "\1\\sub\\", "", ""},
      {record::kCreateFolder, "", "\1\\sub/", "", ""},
      {7, "\1\\a\\", "\1\\b\\", "", ""},
      {record::kDeleteFiles, "", "C:\\x\\", "WF", "WW"},
      // An empty source, a folder mark itself, a file onto itself.
      {record::kCopyFile, "", "\1\\x", "WF", "WF"},
      {record::kCopyFile, "\0"s, "\1\\x", "F", "F"},
      {record::kCopyFile, "\0\\a\\.."s, "\1\\x", "F", "F"},
      {record::kCopyFile, "\0\\a"s, "\1", "F", "F"},
      {record::kCopyFile, "\0\\a"s, "\1\\sub\\..", "F", "F"},
      {record::kCopyFile, "\1\\a.txt", "\1\\.\\A.TXT. ", "F", "F"},
      {record::kCopyFile, "\1\\s\\a", "\1\\b\\..\\S\\a", "F", "F"},
      {record::kCopyFile, "\1\\a.txt", "\0\\a.txt"s, "", ""},
      {record::kCopyFile, "\1\\a.txt", "\1\\a.txt\\b", "", ""},
      // As Windows reads them: a name before a separator loses one dot, and
      // the name left last the dots and blanks that end it.
      {record::kCopyFile, "\1\\s.\\a", "\1\\s\\a", "F", "F"},
      {record::kCopyFile, "\1\\a.txt", "\1\\a.txt.", "F", "F"},
      {record::kCopyFile, "\1\\x\\..\\a.txt", "\1\\a.txt", "F", "F"},
      {record::kCopyFile, "\1\\a.", "\1\\a\\.", "F", "F"},
      {record::kCopyFile, "\1\\a", "\1\\a.\\.", "F", "F"},
      {record::kCopyFile, "\1\\a", "\1\\a. \\.", "F", "F"},
      {record::kCopyFile, "\1\\a", "\1\\a \\b\\..", "F", "F"},
      {record::kCopyFile, "\1\\s..\\a", "\1\\s\\a", "", ""},
      {record::kCopyFile, "\1\\s. \\a", "\1\\s\\a", "", ""},
      // "...\" is "..\" to Windows, above {app} and no name it takes.
      {record::kCopyFile, "\1\\...\\a", "\1\\a", "WF", "WF"},
      // The run holds {temp}; the base format runs from {app}, which is
      // there, and no deletion of files finds a folder.
      {record::kDeleteFolder, "", "\0"s, "F", "F"},
      {record::kDeleteFolder, "", "\1", "F", ""},
      {record::kDeleteFolder, "", "\1\\sub\\..", "F", ""},
      {record::kDeleteFolder, "", "\1\\sub", "", ""},
      {record::kDeleteFiles, "", "\1", "F", ""},
      {record::kCreateFolder, "", "\1\\.", "F", ""},
      // A folder named as a device on the way: none there on Windows, but
      // one made around its calls is gone through.
      {record::kCopyFile, "\0\\a"s, "\1\\CON\\x.txt", "W", "W"},
      {record::kCreateFolder, "", "\1\\nul.txt\\y", "W", "W"},
      {record::kDeleteFiles, "", "\1\\com1 .\\*", "W", "W"},
      {record::kCopyFile, "\1\\LPT1\\a", "\1\\b", "W", "W"},
      {record::kCreateFolder, "", "\1\\CON\\", "F", "F"},
      {record::kCopyFile, "\0\\a"s, "\1\\COM10\\b", "", ""},
      // A name the run of ours keeps for its own work, anywhere on the
      // target's way and as Windows reads it; the base format's run keeps
      // none, but what it installs so outside {temp} a later run of ours
      // finds.
      {record::kCopyFile, "\0\\a"s, "\1\\~UPDPACK.DEL", "W", "F"},
      {record::kCreateFolder, "", "\1\\d\\~updpack.bak.\\e", "W", "F"},
      {record::kCopyFile, "\0\\a"s, "\1\\sub\\..\\~updpack.new", "W", "F"},
      {record::kCopyFile, "\0\\a"s, "\1/~updpack.del. \\x/..", "W", "F"},
      {record::kCopyFile, "\0\\a"s, "\1\\..\\~UPDPACK.BAK.\\x", "WW", "WF"},
      // Windows keeps the blanks and all but one dot that end a name
      // before a separator: a folder of its own, which the run never takes
      // for its work.
      {record::kCreateFolder, "", "\1\\d\\~updpack.bak. \\e", "", ""},
      {record::kCopyFile, "\0\\a"s, "\1/~updpack.bak /x.txt", "", ""},
      {record::kCopyFile, "\0\\a"s, "\1\\~updpack.bak..\\x", "", ""},
      {record::kCopyFile, "\0\\a"s, "\1\\~updpack.new\\..\\y.txt", "", ""},
      {record::kCopyFile, "\0\\a"s, "\0\\~UpdPack.New"s, "", "F"},
      {record::kDeleteFiles, "", "\1\\~updpack.new\\*", "", "F"},
      {record::kDeleteFolder, "", "\1\\~updpack.del", "", "F"},
      {record::kCopyFile, "\1\\~updpack.bak\\a", "\1\\b", "", ""},
      {record::kCopyFile, "\0\\a"s, "\1\\~updpack.bak2", "", ""},
      {7, "\0\\a"s, "\1\\~updpack.bak", "", ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.source + " " + c.target);
    std::string script;
    record::EncodeRecord({c.operation, c.source, c.target}, script);
    for (const bool ours : {false, true}) {
      const auto warnings =
          tools::OutsidePathWarnings(script, tools::ScriptForm::Records)
              .size() +
          tools::DeviceFolderWarnings(script, tools::ScriptForm::Records)
              .size() +
          tools::SeparatorDeletionWarnings(script, tools::ScriptForm::Records,
                                           ours)
              .size() +
          tools::WorkNameInstallWarnings(script, tools::ScriptForm::Records,
                                         ours)
              .size();
      const auto failures =
          tools::FailingRecords(script, tools::ScriptForm::Records, ours)
              .size();
      EXPECT_EQ(std::string(warnings, 'W') + std::string(failures, 'F'),
                ours ? c.ours : c.base)
          << (ours ? "ours" : "base");
      EXPECT_EQ(tools::ScriptWarnings(script, tools::ScriptForm::Records, ours)
                    .size(),
                warnings + failures);
    }
  }
  std::string script;
  record::EncodeRecord({record::kCreateFolder, "", "\1\\PRN"}, script);
  const std::vector<std::string> failures =
      tools::FailingRecords(script, tools::ScriptForm::Records, true);
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].rfind("record 1 makes a name Windows refuses", 0), 0u);
  // No file has a name longer than Windows makes one: its copy fails.
  std::string longForm;
  for (const size_t length : {255, 256})
    record::EncodeLongRecord(
        {record::kCopyFile, "\1\\" + std::string(length, 'a') + "\\b", "\1\\x"},
        longForm);
  for (const bool ours : {false, true}) {
    const std::vector<std::string> tooLong =
        tools::FailingRecords(longForm, tools::ScriptForm::Long, ours);
    ASSERT_EQ(tooLong.size(), 1u);
    EXPECT_EQ(tooLong[0].rfind("record 2 copies a path with a name longer", 0),
              0u);
  }
}

TEST(ScriptPaths, TheLongScriptsRecordsAreNumberedOnFromTheScripts) {
  // The run counts its records through "script" and on into the long
  // script; its warnings named the long script's first record 1.
  namespace record = package::script;
  std::string flat;
  for (const uint8_t operation : {record::kCopyFile, uint8_t{9}})
    record::EncodeRecord({operation, "\0\\a"s, "\1\\a"}, flat);
  flat += "tail";
  std::string longForm;
  record::EncodeLongRecord({record::kDeleteFiles, "", "C:\\x"}, longForm);
  record::EncodeLongRecord({record::kCreateFolder, "", "\1\\CON"}, longForm);
  EXPECT_EQ(tools::RecordCount(flat, tools::ScriptForm::Records), 2u);
  EXPECT_EQ(tools::RecordCount(longForm, tools::ScriptForm::Long), 2u);
  EXPECT_EQ(tools::RecordCount("", tools::ScriptForm::Records), 0u);
  const size_t before = tools::RecordCount(flat, tools::ScriptForm::Records);
  const std::vector<std::string> warnings =
      tools::ScriptWarnings(longForm, tools::ScriptForm::Long, true, before);
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_EQ(warnings[0].rfind("record 3 works outside", 0), 0u) << warnings[0];
  EXPECT_EQ(warnings[1].rfind("record 4 makes a name", 0), 0u) << warnings[1];
  EXPECT_EQ(
      tools::FailingRecords(longForm, tools::ScriptForm::Long, false, before)[0]
          .rfind("record 4 ", 0),
      0u);
}

TEST(ScriptPaths, AScriptThatBeginsAsTheLongFormIsReadAsRecords) {
  // Its first record (operation 'u', the source "pdpack script 2") does
  // nothing; read as the long form, the rmdir of C:\Windows after it was
  // never seen.
  namespace record = package::script;
  std::string script;
  record::EncodeRecord({'u', "pdpack script 2", ""}, script);
  record::EncodeRecord({record::kDeleteFolder, "", "C:\\Windows"}, script);
  ASSERT_TRUE(record::IsLongScript(script));
  EXPECT_EQ(tools::FormOfEntry("SCRIPT"), tools::ScriptForm::Records);
  EXPECT_EQ(tools::FormOfEntry("~UPDPACK.SCR"), tools::ScriptForm::Long);
  const tools::ScriptForm form = tools::FormOfEntry(record::kScriptName);
  EXPECT_EQ(tools::RecordCount(script, form), 2u);
  const std::vector<std::string> warnings =
      tools::ScriptWarnings(script, form, false);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0].rfind("record 2 works outside", 0), 0u) << warnings[0];
}

TEST(ScriptPaths, AFloodOfWarningsIsCountedAfterTheFirst) {
  namespace record = package::script;
  std::string script;
  for (int k = 0; k < 25; ++k)
    record::EncodeRecord({record::kDeleteFiles, "", "C:\\x"}, script);
  const std::vector<std::string> warnings =
      tools::OutsidePathWarnings(script, tools::ScriptForm::Records);
  ASSERT_EQ(warnings.size(), 21u);
  EXPECT_EQ(warnings[19].rfind("record 20 works outside", 0), 0u);
  EXPECT_EQ(warnings[20], "5 more records work outside {app} and {temp}");
}

// A record with a fault in each path has both, each at its path, in the
// order they are checked; a copy onto its own source is a fault only of a
// record whose paths have none of their own.
TEST(ScriptPaths, EachPathOfARecordHasItsOwnFault) {
  namespace record = package::script;
  const std::string tooLong(256, 'a');
  const struct {
    uint8_t operation;
    std::string source, target; // \0 is {temp}, \1 is {app}
    const char *faults; // "S " or "T ", what up to its first comma, and "|"
  } cases[] = {
      {record::kCopyFile, "\1\\a\\", "\1\\CON",
       "T makes a name Windows refuses|S copies a path that ends in a "
       "separator|"},
      {record::kCopyFile, "", "\1",
       "S copies an empty path|T copies onto {temp} or {app} itself|"},
      {record::kCopyFile, "\0"s, "\1\\a:b",
       "T makes a name Windows refuses|S copies {temp} or {app} itself|"},
      {record::kCopyFile, "\1\\" + tooLong + "\\x", "\1\\sub\\..",
       "T copies onto {temp} or {app} itself|S copies a path with a name "
       "longer than Windows makes one (255 characters)|"},
      {record::kCopyFile, "\1\\a\\", "\1\\a",
       "S copies a path that ends in a separator|"},
      {record::kCopyFile, "\1\\a", "\1\\A.", "T copies a file onto itself|"},
      {record::kCopyFile, "\1\\a", "\1\\b", ""},
      {record::kCreateFolder, "\1\\x\\", "\1\\CON\\",
       "T makes a name Windows refuses|"},
      {record::kCopyFile, "\1\\a\\", "\1\\~updpack.new",
       "T names a file or folder as the run names its own work (~updpack.new|"
       "S copies a path that ends in a separator|"},
      // Windows reads a folder "..." as "..", which no call takes; once
      // ".." has taken it away, or where it ends the path, it goes.
      {record::kCopyFile, "\0\\...\\a"s, "\1\\...\\b",
       "S goes through a folder \"...\"|T goes through a folder \"...\"|"},
      {record::kDeleteFolder, "", "\1\\sub\\...\\",
       "T goes through a folder \"...\"|"},
      {record::kCreateFolder, "", "\1\\...\\..\\x", ""},
      {record::kDeleteFolder, "", "\1\\sub\\...", ""},
      {record::kCreateFolder, "", "\1\\....\\x", ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.source + " " + c.target);
    std::string faults;
    for (const tools::RecordFailure &failure :
         tools::FailuresOf({c.operation, c.source, c.target}, true)) {
      const std::string what = failure.what;
      faults += (failure.atSource ? "S " : "T ") +
                what.substr(0, what.find(',')) + "|";
      // The refused name goes with its fault, and only with it.
      EXPECT_EQ(failure.refusedName.has_value(),
                what.rfind("makes a name", 0) == 0);
    }
    EXPECT_EQ(faults, c.faults);
  }
  std::string script;
  record::EncodeRecord({record::kCopyFile, "\1\\a\\", "\1\\CON"}, script);
  EXPECT_EQ(
      tools::FailingRecords(script, tools::ScriptForm::Records, true),
      (std::vector<std::string>{
          "record 1 makes a name Windows refuses, and every run fails there: "
          "copy    {app}\\a\\                {app}\\CON",
          "record 1 copies a path that ends in a separator, which names no "
          "file, and every run fails there: copy    {app}\\a\\                "
          "{app}\\CON"}));
}

// A path that Windows takes from no folder: "\\?\\C:\\" (a program in a
// drive's root) or "\\?\\C:\\VLSFX_QUORIX\\" ({temp} in one), the path
// read as Windows reads it and its NUL pass 32,767 UTF-16 units. One of
// ours writes a copy as ~updpack.new beside its target first.
TEST(ScriptPaths, APathLongerThanWindowsTakesFromEveryFolder) {
  namespace record = package::script;
  // units UTF-16 units below the folder: names of 200 and the rest.
  const auto below = [](size_t units, char c = 'n') {
    std::string path;
    while (units > 201) {
      path += std::string(200, c) + "\\";
      units -= 201;
    }
    return path + std::string(units, c);
  };
  const std::string app = "\1\\";
  const std::string temp = "\0\\"s;
  const struct {
    uint8_t operation;
    std::string source, target; // \0 is {temp}, \1 is {app}
    const char *base, *ours;    // "S" or "T" for a path at fault
  } cases[] = {
      {record::kCopyFile, temp + "a", app + below(32759), "", ""},
      {record::kCopyFile, temp + "a", app + below(32760), "T", "T"},
      {record::kCreateFolder, "", app + below(32759), "", ""},
      {record::kCreateFolder, "", app + below(32760), "T", "T"},
      {record::kDeleteFiles, "", app + below(32760), "T", "T"},
      {record::kDeleteFolder, "", app + below(32760), "T", "T"},
      {7, "", app + below(32760), "", ""},
      {record::kCopyFile, temp + "a", temp + below(32746), "", ""},
      {record::kCopyFile, temp + "a", temp + below(32747), "T", "T"},
      {record::kCopyFile, app + below(32760), app + "x", "S", "S"},
      {record::kCopyFile, temp + below(32747), app + "x", "S", "S"},
      // One byte of the code page is one unit, as many UTF-8 bytes as it
      // takes.
      {record::kCopyFile, temp + "a", app + below(32759, '\xE9'), "", ""},
      {record::kCopyFile, temp + "a", app + below(32760, '\xE9'), "T", "T"},
      // As Windows reads it: "." and ".." go, and so do the dots and
      // blanks that end a name.
      {record::kCopyFile, temp + "a", app + "x\\..\\" + below(32759), "", ""},
      {record::kCopyFile, temp + "a", app + ".\\" + below(32758) + ". ", "",
       ""},
      // ~updpack.new beside a target of a shorter name.
      {record::kCopyFile, temp + "a", app + below(32746) + "\\x", "", ""},
      {record::kCopyFile, temp + "a", app + below(32747) + "\\x", "", "T"},
      {record::kCopyFile, temp + "a", app + below(32746) + "\\x23456789abc", "",
       ""},
      // Outside the two folders: a drive's path, one from its root or the
      // current folder (a drive's root at the shortest), a UNC path (its
      // long form "\\?\\UNC\\s\\h\\..."), a mark after a name.
      {record::kCopyFile, temp + "a", "C:\\" + below(32759), "", ""},
      {record::kCopyFile, temp + "a", "C:\\" + below(32760), "T", "T"},
      {record::kCreateFolder, "", "D:" + below(32760), "T", "T"},
      {record::kDeleteFiles, "", "\\" + below(32759), "", ""},
      {record::kDeleteFiles, "", "\\" + below(32760), "T", "T"},
      {record::kDeleteFolder, "", below(32760), "T", "T"},
      {record::kDeleteFolder, "", "..\\..\\" + below(32760), "T", "T"},
      {record::kDeleteFolder, "", "x\\..\\" + below(32759), "", ""},
      {record::kCopyFile, temp + "a", "\\\\s\\h\\" + below(32754), "", ""},
      {record::kCopyFile, temp + "a", "\\\\s\\h\\" + below(32755), "T", "T"},
      {record::kCopyFile, temp + "a", "x\\\1\\" + below(32754), "", ""},
      {record::kCopyFile, temp + "a", "x\\\1\\" + below(32755), "T", "T"},
      {record::kCopyFile, "C:\\" + below(32760), app + "x", "S", "S"},
      {record::kCopyFile, temp + "a", "C:\\" + below(32747) + "\\x", "", "T"},
      // Windows takes a path of \\?\\ as written.
      {record::kCopyFile, temp + "a", "\\\\?\\C:\\" + below(32760), "", ""},
  };
  platform::SetFileCodePage(1251);
  for (const auto &c : cases) {
    SCOPED_TRACE(std::to_string(c.operation) + " " +
                 std::to_string(c.source.size()) + " " +
                 std::to_string(c.target.size()));
    for (const bool ours : {false, true}) {
      std::string faults;
      for (const tools::RecordFailure &failure :
           tools::FailuresOf({c.operation, c.source, c.target}, ours)) {
        EXPECT_EQ(std::string(failure.what).rfind("holds a path longer", 0),
                  0u);
        faults += failure.atSource ? "S" : "T";
      }
      EXPECT_EQ(faults, ours ? c.ours : c.base) << (ours ? "ours" : "base");
    }
  }
  platform::SetFileCodePage(0);
}

// The first 20 records are listed with all their faults, the rest counted.
TEST(ScriptPaths, AFloodOfFailingRecordsIsCountedByRecord) {
  namespace record = package::script;
  std::string script;
  for (int k = 0; k < 22; ++k)
    record::EncodeRecord({record::kCopyFile, "", "\1"}, script);
  const std::vector<std::string> faults =
      tools::FailingRecords(script, tools::ScriptForm::Records, true);
  ASSERT_EQ(faults.size(), 41u);
  EXPECT_EQ(faults[38].rfind("record 20 copies an empty path", 0), 0u);
  EXPECT_EQ(faults[39].rfind("record 20 copies onto", 0), 0u);
  EXPECT_EQ(faults[40], "2 more records fail every run");
}

} // namespace
