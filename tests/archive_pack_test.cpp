// Packing: the bytes it writes, the values it shows while it runs, its
// cancel, what it refuses, and round trips through Extract.
#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include "archive/arch_errors.h"
#include "archive/cls_arch.h"
#include "platform/error.h"
#include "platform/files.h"
#include "tests/support/archive_builder.h"
#include "tests/support/recording_ui.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace std::string_literals;

using archive::cls_arch;
using archtest::BuildArchive;
using archtest::Snapshot;
using testsupport::ReadFile;
using testsupport::WriteFile;
namespace files = platform::files;

class PackTest : public archtest::ArchFixture {
protected:
  void SetUp() override {
    ArchFixture::SetUp();
    src_ = dir_ / "src";
    testsupport::MakeFolder(src_);
    arch_.FileName(target_);
  }

  // The error Pack raised; fails the test when it returned.
  platform::Error PackFails() {
    try {
      arch_.Pack(src_);
    } catch (const platform::Error &e) {
      return e;
    }
    ADD_FAILURE() << "Pack returned";
    return platform::Error(0, "");
  }

  std::string src_;
  std::string target_ = dir_ / "out.pack";
};

TEST_F(PackTest, WritesTheWorkedExample) {
  WriteFile(src_ + "/a.txt", "xyz");
  WriteFile(src_ + "/b", "");
  EXPECT_EQ(arch_.Pack(src_), platform::kTrue);
  const std::string want = std::string("PACK1\x00\x01", 7) + "a.txt?1?4\x02" +
                           "b?4?4\x02" + "\x01" + "xyz";
  EXPECT_EQ(archtest::Hex(ReadFile(target_)), archtest::Hex(want));
  EXPECT_EQ(arch_.ActionMode(), 0);
  EXPECT_EQ(arch_.DefFile(), "0");
  EXPECT_EQ(arch_.DefSeek(), 27);
  EXPECT_EQ(arch_.FullSeek(), -1);
  EXPECT_EQ(files::FreeFile(), 1);             // nothing left open
  EXPECT_EQ(ReadFile(src_ + "/a.txt"), "xyz"); // the hook changed nothing
  EXPECT_EQ(arch_.FileName(), target_);        // nor did Pack
  EXPECT_EQ(arch_.Compression(), 0);

  const std::vector<Snapshot> want_seen = {
      {0, "", 0, 0},      // phase 1 yields before anything is set
      {3, "a.txt", 0, 0}, // each listed file
      {3, "b", 0, 0},       {2, "b", 0, -1}, // after the catalog
      {2, "a.txt", 25, -1},                  // each data byte
      {2, "a.txt", 26, -1}, {2, "a.txt", 27, -1}};
  EXPECT_EQ(ui_.seen, want_seen);
}

TEST_F(PackTest, AgreesWithTheInMemoryBuilder) {
  const std::vector<archtest::Entry> entries = {
      {"Данные.bin", std::string("\x00\x01\x02\xFF", 4)},
      {"empty", ""},
      {"Zeta.txt", std::string(70000, 'z')},
      {"альфа", "а"}};
  for (const auto &e : entries)
    WriteFile(src_ + "/" + e.name, e.bytes);
  arch_.Compression(17);
  ASSERT_EQ(arch_.Pack(src_), platform::kTrue);
  // The listing comes sorted without regard to case, Latin before Cyrillic.
  const std::string want =
      BuildArchive({entries[1], entries[2], entries[3], entries[0]}, 17);
  EXPECT_EQ(ReadFile(target_), want);
  EXPECT_EQ(arch_.DefSeek(), static_cast<int32_t>(want.size()));
  EXPECT_EQ(arch_.Compression(), 17);
}

TEST_F(PackTest, EmptyOrMissingFolderGivesTheEightByteArchive) {
  for (const std::string &folder : {src_, dir_ / "missing"}) {
    arch_.Abort(platform::kTrue);
    ASSERT_EQ(arch_.Pack(folder), platform::kTrue);
    EXPECT_EQ(ReadFile(target_), std::string("PACK1\x00\x01\x01", 8));
    EXPECT_EQ(arch_.DefFile(), "0");
    EXPECT_EQ(arch_.FullSeek(), -1);
    EXPECT_EQ(arch_.DefSeek(), 0);             // no data byte written
    EXPECT_EQ(arch_.Abort(), platform::kTrue); // never read
  }
  EXPECT_FALSE(testsupport::Exists(dir_ / "missing"));
}

TEST_F(PackTest, SkipsSubfoldersButPacksDotFiles) {
  testsupport::MakeFolder(src_ + "/sub");
  WriteFile(src_ + "/sub/inner.txt", "no");
  WriteFile(src_ + "/.settings", "dot"); // posix marks nothing hidden
  WriteFile(src_ + "/seen", "yes");
  ASSERT_EQ(arch_.Pack(src_), platform::kTrue);
  EXPECT_EQ(ReadFile(target_),
            BuildArchive({{".settings", "dot"}, {"seen", "yes"}}));
}

TEST_F(PackTest, UnLoadsAnArchiveLoadedEarlier) {
  WriteFile(target_, BuildArchive({{"old", "old"}}));
  ASSERT_EQ(arch_.Load(), platform::kTrue);
  const int16_t loaded = arch_.FileNum();
  WriteFile(src_ + "/new", "new");
  ASSERT_EQ(arch_.Pack(src_), platform::kTrue);
  EXPECT_THROW(files::At(loaded), platform::Error);
  EXPECT_EQ(ReadFile(target_), BuildArchive({{"new", "new"}}));
}

TEST_F(PackTest, ReplacesALongerTargetCompletely) {
  WriteFile(target_, std::string(10000, '#'));
  WriteFile(src_ + "/f", "1");
  ASSERT_EQ(arch_.Pack(src_), platform::kTrue);
  EXPECT_EQ(ReadFile(target_), BuildArchive({{"f", "1"}}));
}

TEST_F(PackTest, HiddenTargetIsShortenedNotOverwrittenInPlace) {
  target_ = dir_ / ".hidden.pack";
  arch_.FileName(target_);
  WriteFile(target_, std::string(10000, '#'));
  WriteFile(src_ + "/f", "1");
  ASSERT_EQ(arch_.Pack(src_), platform::kTrue);
  EXPECT_EQ(ReadFile(target_), BuildArchive({{"f", "1"}}));
}

TEST_F(PackTest, TargetInsideTheSourceFolderIsNotPackedIntoItself) {
  target_ = src_ + "/self.pack";
  arch_.FileName(target_);
  WriteFile(target_, "an older archive");
  WriteFile(src_ + "/data", "payload");
  ASSERT_EQ(arch_.Pack(src_), platform::kTrue);
  EXPECT_EQ(ReadFile(target_), BuildArchive({{"data", "payload"}}));
}

// A target with a wildcard is no pattern of files to replace, and no name
// Windows would make either: the files it matches stay.
TEST_F(PackTest, WildcardTargetDeletesNothingElse) {
  WriteFile(dir_ / "keep1.pack", "keep");
  WriteFile(dir_ / "keep2.pack", "keep");
  target_ = dir_ / "k*.pack";
  arch_.FileName(target_);
  WriteFile(src_ + "/f", "1");
  EXPECT_EQ(PackFails().Number(), platform::err::kBadFileName);
  EXPECT_EQ(ReadFile(dir_ / "keep1.pack"), "keep");
  EXPECT_EQ(ReadFile(dir_ / "keep2.pack"), "keep");
}

// ---- Cancel ---------------------------------------------------------------

TEST_F(PackTest, AbortBeforeTheCallStopsAfterTheFirstDataByte) {
  WriteFile(src_ + "/a.txt", "xyz");
  WriteFile(src_ + "/b", "");
  arch_.Abort(platform::kTrue);
  const platform::Error e = PackFails();
  EXPECT_EQ(e.Number(), -1234013);
  EXPECT_EQ(e.Description(), "Запаковка архива отменена пользователем!");
  EXPECT_EQ(arch_.Abort(), platform::kFalse);
  EXPECT_EQ(ReadFile(target_), std::string("PACK1\x00\x01", 7) +
                                   "a.txt?1?4\x02" + "b?4?4\x02" + "\x01" +
                                   "x");
  EXPECT_EQ(arch_.ActionMode(), 2);
  EXPECT_EQ(arch_.DefFile(), "a.txt");
  EXPECT_EQ(arch_.DefSeek(), 25);
  EXPECT_EQ(arch_.FullSeek(), -1);
  EXPECT_EQ(files::FreeFile(), 1); // archive and source closed
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(PackTest, AbortDuringTheDataStopsAfterThatByte) {
  WriteFile(src_ + "/a", "0123456789");
  WriteFile(src_ + "/b", "never");
  // Yields: 1 start, 2-3 listing, 4 after the catalog, 5.. data bytes.
  ui_.AtYield(8, [&] { arch_.Abort(platform::kTrue); });
  EXPECT_EQ(PackFails().Number(), archive::kErrCancelled);
  const std::string archive = ReadFile(target_);
  const std::string header = std::string("PACK1\x00\x01", 7) + "a?1?11\x02"
                                                               "b?11?16\x02"
                                                               "\x01";
  EXPECT_EQ(archive, header + "0123");
  EXPECT_EQ(arch_.DefSeek(), static_cast<int32_t>(archive.size()));
  EXPECT_EQ(arch_.Abort(), platform::kFalse);
  EXPECT_EQ(ui_.yields, 8);
}

TEST_F(PackTest, AbortDuringListingWaitsForTheFirstDataByte) {
  WriteFile(src_ + "/a", "0123");
  ui_.AtYield(2, [&] { arch_.Abort(platform::kTrue); });
  EXPECT_EQ(PackFails().Number(), archive::kErrCancelled);
  EXPECT_EQ(ReadFile(target_), BuildArchive({{"a", "0123"}}).substr(0, 15));
}

TEST_F(PackTest, OnlyEmptyFilesNeverReadAbort) {
  WriteFile(src_ + "/e1", "");
  WriteFile(src_ + "/e2", "");
  arch_.Abort(platform::kTrue);
  ASSERT_EQ(arch_.Pack(src_), platform::kTrue);
  EXPECT_EQ(arch_.Abort(), platform::kTrue);
  EXPECT_EQ(ReadFile(target_), BuildArchive({{"e1", ""}, {"e2", ""}}));
}

// ---- Refusals -------------------------------------------------------------

struct Unstorable {
  const char *label;
  std::string name;
  int32_t number;
};

class UnstorableTest : public PackTest,
                       public ::testing::WithParamInterface<Unstorable> {};

TEST_P(UnstorableTest, IsRefusedBeforeTheTargetIsTouched) {
  WriteFile(src_ + "/a", "fine");
  WriteFile(src_ + "/" + GetParam().name, "bad");
  WriteFile(target_, "older archive");
  const platform::Error e = PackFails();
  EXPECT_EQ(e.Number(), GetParam().number) << e.Description();
  EXPECT_EQ(ReadFile(target_), "older archive");
  EXPECT_EQ(arch_.ActionMode(), 3);
  EXPECT_EQ(files::FreeFile(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Names, UnstorableTest,
    ::testing::Values(
        Unstorable{"question", "what?.txt", archive::kErrNameNotStorable},
        Unstorable{"code1", "one\x01", archive::kErrNameNotStorable},
        Unstorable{"code2", "two\x02", archive::kErrNameNotStorable},
        // Names the extraction refuses are not packed either.
        Unstorable{"escape", "esc\x1B[2J", archive::kErrNameNotStorable},
        Unstorable{"device", "con.txt", archive::kErrNameNotStorable},
        Unstorable{"only_reserved", "::", archive::kErrNameNotStorable},
        Unstorable{"cjk", "漢字.txt", platform::err::kOverflow},
        Unstorable{"emoji", "smile\xF0\x9F\x98\x80", platform::err::kOverflow}),
    [](const auto &info) { return std::string(info.param.label); });

TEST_F(PackTest, LinksAndNamesNoPathCanAddressAreNotPacked) {
  WriteFile(src_ + "/a", "fine");
  WriteFile(dir_ / "outside", "secret");
  std::filesystem::create_symlink(dir_ / "outside", src_ + "/link");
  std::filesystem::create_symlink(dir_ / "missing", src_ + "/dangling");
  // Windows would name these "name" and "x": a path cannot reach them.
  WriteFile(src_ + "/name.", "dot");
  WriteFile(src_ + "/x ", "space");
  ASSERT_EQ(arch_.Pack(src_), platform::kTrue);
  EXPECT_EQ(ReadFile(target_), BuildArchive({{"a", "fine"}}));
}

TEST_F(PackTest, SourceThatChangesLengthFailsInsteadOfLying) {
  WriteFile(src_ + "/a", "abc");
  WriteFile(src_ + "/b", "defgh");
  // After the catalog is written b grows.
  ui_.AtYield(4, [&] { WriteFile(src_ + "/b", "defghij"); });
  const platform::Error e = PackFails();
  EXPECT_EQ(e.Number(), archive::kErrSourceChanged);
  EXPECT_NE(e.Description().find("src\\b (было 5 байт, стало 7)"),
            std::string::npos)
      << e.Description();
  EXPECT_EQ(files::FreeFile(), 1);
}

TEST_F(PackTest, SourceThatShrinksMidCopyFailsWithTheReadError) {
  ui_.arch = nullptr;
  WriteFile(src_ + "/a", std::string(300000, 'a')); // beyond one buffer
  ui_.AtYield(6, [&] {
    if (truncate((src_ + "/a").c_str(), 10) != 0)
      ADD_FAILURE() << "truncate";
  });
  const platform::Error e = PackFails();
  EXPECT_EQ(e.Number(), platform::err::kPastEnd) << e.Description();
  EXPECT_EQ(files::FreeFile(), 1);
}

TEST_F(PackTest, SourceVanishingBeforeItsTurnFails) {
  WriteFile(src_ + "/a", "abc");
  ui_.AtYield(3, [&] { std::filesystem::remove(src_ + "/a"); }); // catalog
  const platform::Error e = PackFails();
  EXPECT_EQ(e.Number(), platform::err::kFileNotFound) << e.Description();
  EXPECT_FALSE(testsupport::Exists(src_ + "/a")); // not created by opening
}

TEST_F(PackTest, TwoGigabytesOfDataOverflowBeforeTheTargetIsTouched) {
  // Sparse files: no disk space is used.
  WriteFile(src_ + "/big", "");
  ASSERT_EQ(truncate((src_ + "/big").c_str(), 2147483000), 0);
  WriteFile(src_ + "/more", std::string(1000, 'm'));
  WriteFile(target_, "older");
  const platform::Error e = PackFails();
  EXPECT_EQ(e.Number(), platform::err::kOverflow) << e.Description();
  EXPECT_EQ(ReadFile(target_), "older");
}

// The archive may reach 2,147,483,647 bytes and not one more: a file that
// brings it there is packed (the cancel after its first byte shows the
// target written), one a byte longer is refused before the target is
// touched. "big?1?", ten digits and 0x02, with the header and the closing
// 0x01, make the archive 25 bytes longer than the file. Sparse files.
TEST_F(PackTest, ArchiveReachesTheLast32BitLengthAndNoFurther) {
  const struct {
    int64_t length;
    bool packed;
  } cases[] = {{INT32_MAX - 25, true}, {INT32_MAX - 24, false}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.length);
    WriteFile(src_ + "/big", "");
    ASSERT_EQ(truncate((src_ + "/big").c_str(), c.length), 0);
    WriteFile(target_, "older");
    arch_.Abort(platform::kTrue);
    const platform::Error e = PackFails();
    arch_.Abort(platform::kFalse);
    EXPECT_EQ(e.Number(),
              c.packed ? archive::kErrCancelled : platform::err::kOverflow);
    // The header, the catalog and the file's first byte (0).
    const std::string written = "PACK1\x00\x01"s + "big?1?" +
                                std::to_string(c.length + 1) + "\x02\x01" +
                                '\0';
    EXPECT_EQ(ReadFile(target_), c.packed ? written : "older");
  }
}

TEST_F(PackTest, MissingTargetFolderFailsWithTheFileSystemsError) {
  WriteFile(src_ + "/a", "abc");
  arch_.FileName(dir_ / "no/such/folder/out.pack");
  const platform::Error e = PackFails();
  EXPECT_EQ(e.Number(), platform::err::kPathNotFound) << e.Description();
}

// ---- Round trips ----------------------------------------------------------

TEST_F(PackTest, RoundTripKeepsNamesAndBytes) {
  ui_.arch = nullptr;
  std::vector<archtest::Entry> entries = {
      {"Ёлка.txt", "новогодняя"},
      {"empty.dat", ""},
      {"binary.bin", "\x00\x01\x02\x03PACK1\xFF"s},
      {"большой файл.bin", std::string(600000, '\x5A')},
      {"№ 5 (копия).doc", "x"}};
  for (size_t i = 0; i < 256; ++i)
    entries[3].bytes[i * 2000] = static_cast<char>(i);
  for (const auto &e : entries)
    WriteFile(src_ + "/" + e.name, e.bytes);
  ASSERT_EQ(arch_.Pack(src_), platform::kTrue);

  const std::string out = dir_ / "out";
  testsupport::MakeFolder(out);
  ASSERT_EQ(arch_.Load(), platform::kTrue);
  ASSERT_EQ(arch_.Extract(out), platform::kTrue);
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(archtest::Tree(out).size(), entries.size());
  for (const auto &e : entries)
    EXPECT_EQ(ReadFile(out + "/" + e.name), e.bytes) << e.name;
}

} // namespace
