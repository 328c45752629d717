// Extraction: the files it writes, the values it shows while it runs, its
// cancel and its error path, and hostile archives.
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <filesystem>

#include "archive/arch_errors.h"
#include "archive/cls_arch.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/posix/syscalls.h"
#include "tests/support/archive_builder.h"
#include "tests/support/package_builder.h"
#include "tests/support/recording_ui.h"
#include "tests/support/temp_folder.h"
#include "tools/cli.h"

namespace {

using namespace std::string_literals;

using archive::cls_arch;
using archtest::BuildArchive;
using archtest::kExample;
using archtest::RawArchive;
using archtest::Snapshot;
using testsupport::ReadFile;
using testsupport::WriteFile;
namespace files = platform::files;

class ExtractTest : public archtest::ArchFixture {
protected:
  void SetUp() override {
    ArchFixture::SetUp();
    out_ = dir_ / "out";
    testsupport::MakeFolder(out_);
  }

  // Writes the archive, loads it and extracts it into out_.
  platform::Boolean Run(const std::string &bytes) {
    WriteFile(archive_, bytes);
    arch_.FileName(archive_);
    EXPECT_EQ(arch_.Load(), platform::kTrue);
    return arch_.Extract(out_);
  }

  // The one error box Extract showed.
  std::string Shown() {
    EXPECT_EQ(ui_.messages.size(), 1u);
    if (ui_.messages.empty())
      return "";
    EXPECT_EQ(ui_.messages[0].icon, platform::MsgIcon::Error);
    EXPECT_EQ(ui_.messages[0].buttons, platform::MsgButtons::Ok);
    EXPECT_EQ(ui_.messages[0].title, "Dravell");
    return ui_.messages[0].text;
  }

  void ExpectIdleAfterFailure() {
    EXPECT_EQ(arch_.ActionMode(), 0);
    EXPECT_EQ(arch_.DefFile(), "");
  }

  bool ArchiveOpen() {
    try {
      files::At(arch_.FileNum());
      return true;
    } catch (const platform::Error &) {
      return false;
    }
  }

  std::string archive_ = dir_ / "a.pack";
  std::string out_;
};

TEST_F(ExtractTest, WritesTheWorkedExample) {
  arch_.Compression(9);
  EXPECT_EQ(Run(kExample), platform::kTrue);
  EXPECT_EQ(archtest::Tree(out_),
            (std::vector<std::string>{"one.txt", "two.dat"}));
  EXPECT_EQ(ReadFile(out_ + "/one.txt"), "HELLO");
  EXPECT_EQ(ReadFile(out_ + "/two.dat"), "abc");
  EXPECT_EQ(arch_.Compression(), 0);
  EXPECT_EQ(arch_.ActionMode(), 0);
  EXPECT_EQ(arch_.DefFile(), "");
  EXPECT_EQ(arch_.DefSeek(), 1);
  EXPECT_EQ(arch_.FullSeek(), 40);
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_TRUE(ArchiveOpen()); // reopened after the last entry
  EXPECT_EQ(arch_.FileNum(), 1);
  EXPECT_EQ(ReadFile(archive_), kExample);
}

TEST_F(ExtractTest, ShowsEachPhaseInsideItsYields) {
  arch_.FileName(archive_);
  WriteFile(archive_, kExample);
  ASSERT_EQ(arch_.Load(), platform::kTrue);
  ASSERT_EQ(arch_.Extract(out_), platform::kTrue);

  std::vector<Snapshot> want;
  want.push_back({0, "", 1, 40});   // step 1 yields before the phase is set
  for (int32_t p = 9; p <= 32; ++p) // one yield per catalog byte
    want.push_back({5, "", p, 40});
  want.push_back({5, "", 32, 40}); // first entry prepared
  for (int32_t p = 33; p <= 37; ++p)
    want.push_back({1, "one.txt", p, 40});
  want.push_back({4, "one.txt", 1, 40}); // second entry, after reopening
  for (int32_t p = 38; p <= 40; ++p)
    want.push_back({1, "two.dat", p, 40});
  ASSERT_EQ(ui_.seen.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i)
    EXPECT_EQ(ui_.seen[i], want[i]) << "yield " << i + 1;
}

TEST_F(ExtractTest, EmptyCatalogWritesNothingAndLeavesAbortAlone) {
  // A catalog without an entry: none at all, or text that no 0x02 ends.
  // DefSeek is set after each catalog byte but the first: it keeps Load's 1,
  // or reads the closing 0x01's position.
  const struct {
    std::string catalog;
    int32_t defSeek;
    int yields; // step 1, then one for each catalog byte but the first
  } cases[] = {{"\x01", 1, 1}, {"ab\x01", 10, 3}};
  for (const auto &c : cases) {
    SCOPED_TRACE(archtest::Hex(c.catalog));
    files::CloseAllQuietly();
    ui_.yields = 0;
    arch_.Abort(platform::kTrue);
    EXPECT_EQ(Run(std::string("PACK1\x05\x01", 7) + c.catalog + "trailing"),
              platform::kTrue);
    EXPECT_TRUE(archtest::Tree(out_).empty());
    EXPECT_EQ(arch_.Abort(), platform::kTrue);
    EXPECT_EQ(arch_.Compression(), 5);
    EXPECT_EQ(arch_.ActionMode(), 0);
    EXPECT_EQ(arch_.DefFile(), "");
    EXPECT_EQ(arch_.DefSeek(), c.defSeek);
    EXPECT_EQ(ui_.yields, c.yields);
  }
}

TEST_F(ExtractTest, EmptyAndReversedRangesGiveEmptyFiles) {
  EXPECT_EQ(Run(RawArchive({"e?4?4", "r?9?2", "far?99999?99999"}, "\x01xyz")),
            platform::kTrue);
  for (const char *name : {"e", "r", "far"})
    EXPECT_EQ(ReadFile(out_ + "/" + name), "") << name;
}

TEST_F(ExtractTest, ReplacesALongerFileAndKeepsOthers) {
  WriteFile(out_ + "/one.txt", std::string(5000, 'x'));
  WriteFile(out_ + "/keep.me", "old");
  EXPECT_EQ(Run(kExample), platform::kTrue);
  EXPECT_EQ(ReadFile(out_ + "/one.txt"), "HELLO");
  EXPECT_EQ(ReadFile(out_ + "/keep.me"), "old");
}

TEST_F(ExtractTest, ReservedCharactersLeaveTheName) {
  const std::string bytes =
      RawArchive({"a:b.txt?1?3", "sub\\..\\x<y>?3?4"}, "\x01xyz");
  EXPECT_EQ(Run(bytes), platform::kTrue);
  int copying = 0; // yields that showed the cleaned name while copying
  for (const Snapshot &s : ui_.seen)
    copying += s.mode == 1 && s.file == "ab.txt";
  EXPECT_EQ(copying, 2);
  EXPECT_EQ(archtest::Tree(out_),
            (std::vector<std::string>{"ab.txt", "sub..xy"}));
  EXPECT_EQ(ReadFile(out_ + "/ab.txt"), "xy");
  EXPECT_EQ(ReadFile(out_ + "/sub..xy"), "z");
}

TEST_F(ExtractTest, RangesReachingIntoTheCatalogAreReadLikeAnyOther) {
  // Data start 25: "m" takes the closing 0x01 and "x"; "h" the signature.
  EXPECT_EQ(Run(RawArchive({"m?0?2", "h?-23?-18"}, "\x01xyz")),
            platform::kTrue);
  EXPECT_EQ(ReadFile(out_ + "/m"), "\x01x");
  EXPECT_EQ(ReadFile(out_ + "/h"), "PACK1");
}

TEST_F(ExtractTest, TrailingDotsAndSpacesAreDroppedAsWindowsDrops) {
  EXPECT_EQ(Run(RawArchive({"readme.?1?2", "b ?2?3", "c. .?3?4"}, "\x01xyz")),
            platform::kTrue);
  EXPECT_EQ(archtest::Tree(out_),
            (std::vector<std::string>{"b", "c", "readme"}));
  EXPECT_EQ(ReadFile(out_ + "/readme"), "x");
  EXPECT_EQ(ReadFile(out_ + "/c"), "z");
}

TEST_F(ExtractTest, MethodIsKeptWhenTheCatalogMarkIsMissing) {
  EXPECT_EQ(Run(std::string("PACK1\x07\x00", 7)), platform::kFalse);
  EXPECT_EQ(Shown(), platform::MsgDefault(archive::kMsgNoCatalog));
  EXPECT_EQ(arch_.Compression(), 7);
}

TEST_F(ExtractTest, EveryFileOfTheTableIsClosedAfterAnEntry) {
  // A file the caller holds open goes with the first entry's close-all.
  const int16_t callers = files::FreeFile();
  files::Open(callers, dir_ / "held", platform::OpenMode::ReadWrite);
  // The archive comes back under a number of its own: the entries after the
  // first are still its, not those of a file that took its old number (2.txt
  // does, and is long enough to be read from where the catalog goes on).
  const std::vector<archtest::Entry> entries = {
      {"1.txt", "first"}, {"2.txt", std::string(100, 'x')}, {"3.txt", "x"}};
  EXPECT_EQ(Run(BuildArchive(entries)), platform::kTrue);
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(archtest::Tree(out_),
            (std::vector<std::string>{"1.txt", "2.txt", "3.txt"}));
  for (const archtest::Entry &e : entries)
    EXPECT_EQ(ReadFile(out_ + "/" + e.name), e.bytes) << e.name;
  // Its number was free again for the reopened archive.
  EXPECT_EQ(arch_.FileNum(), callers);
  EXPECT_EQ(files::At(callers).Path(), archive_);
}

TEST_F(ExtractTest, FailedReopeningIsReportedAndNothingReadsThroughItsNumber) {
  // The second open of the archive (the reopening after one.txt) fails; the
  // next entry's output file then takes the free number, and must not be
  // read as if it were the archive.
  int opens = 0;
  platform::posix::SetFaultHook(
      [&](platform::posix::Call call, const std::string &path) {
        return call == platform::posix::Call::Open && path == archive_ &&
                       ++opens == 2
                   ? EACCES
                   : 0;
      });
  const platform::Boolean result = Run(kExample);
  platform::posix::SetFaultHook(nullptr);
  EXPECT_EQ(result, platform::kFalse);
  const std::string shown = Shown();
  EXPECT_NE(shown.find(archive_), std::string::npos) << shown;
  EXPECT_EQ(
      shown.rfind(platform::StandardText(platform::err::kPermissionDenied), 0),
      0u)
      << shown;
  EXPECT_EQ(ReadFile(out_ + "/one.txt"), "HELLO");
  EXPECT_EQ(ReadFile(out_ + "/two.dat"), "");
  ExpectIdleAfterFailure();
}

// A read that fails in the middle of an entry: the entries before it stay
// whole, and its own file keeps the bytes copied up to the byte that
// DefSeek names.
TEST_F(ExtractTest, FailureInsideAnEntryKeepsTheBytesCopiedSoFar) {
  std::string big(40000, '\0');
  for (size_t k = 0; k < big.size(); ++k)
    big[k] = static_cast<char>(k * 7);
  const std::string bytes = BuildArchive({{"a", "first"}, {"big", big}});
  int reads = 0; // the first window holds the catalog and a.txt
  platform::posix::SetFaultHook(
      [&](platform::posix::Call call, const std::string &path) {
        return call == platform::posix::Call::Read && path == archive_ &&
                       ++reads > 2
                   ? EIO
                   : 0;
      });
  const platform::Boolean result = Run(bytes);
  platform::posix::SetFaultHook(nullptr);
  EXPECT_EQ(result, platform::kFalse);
  EXPECT_FALSE(Shown().empty());
  ExpectIdleAfterFailure();
  EXPECT_EQ(ReadFile(out_ + "/a"), "first");
  const std::string kept = ReadFile(out_ + "/big");
  EXPECT_GT(kept.size(), 0u);
  EXPECT_LT(kept.size(), big.size());
  EXPECT_EQ(kept, big.substr(0, kept.size()));
  // big's bytes take the archive's last 40000 positions.
  EXPECT_EQ(arch_.DefSeek(),
            static_cast<int32_t>(bytes.size() - big.size() + kept.size()));
}

TEST_F(ExtractTest, LaterEntryOfTheSameNameWins) {
  EXPECT_EQ(Run(RawArchive({"f?1?3", "f?3?4"}, "\x01xyz")), platform::kTrue);
  EXPECT_EQ(ReadFile(out_ + "/f"), "z");
}

TEST_F(ExtractTest, NamesThatDifferOnlyInCaseAreOneFileAsOnWindows) {
  WriteFile(out_ + "/Readme.TXT", "older");
  EXPECT_EQ(Run(BuildArchive({{"Ёлка.txt", "1"},
                              {"ЁЛКА.TXT", "2"},
                              {"readme.txt", "3"},
                              {"ёлка.Txt", "4"}})),
            platform::kTrue);
  EXPECT_EQ(pkgbuild::ListNames(out_),
            (std::vector<std::string>{"Readme.TXT", "Ёлка.txt"}));
  EXPECT_EQ(ReadFile(out_ + "/Ёлка.txt"), "4");
  EXPECT_EQ(ReadFile(out_ + "/Readme.TXT"), "3");
}

TEST_F(ExtractTest, CyrillicNamesComeFromTheCodePage) {
  EXPECT_EQ(Run(BuildArchive({{"Отчёт №1.txt", "да"}, {"пусто", ""}})),
            platform::kTrue);
  EXPECT_EQ(ReadFile(out_ + "/Отчёт №1.txt"), "да");
  EXPECT_EQ(ReadFile(out_ + "/пусто"), "");
}

TEST_F(ExtractTest, AnyMethodByteLeavesTheBytesAsStored) {
  for (int method : {1, 2, 127, 255}) {
    ui_.messages.clear();
    const std::string bytes = BuildArchive({{"m.bin", "\x01\x02\x00\xFF"s}},
                                           static_cast<uint8_t>(method));
    EXPECT_EQ(Run(bytes), platform::kTrue) << method;
    EXPECT_EQ(arch_.Compression(), method);
    EXPECT_EQ(ReadFile(out_ + "/m.bin"), "\x01\x02\x00\xFF"s);
    files::CloseAllQuietly();
  }
}

// ---- Cancel ---------------------------------------------------------------

const std::string kThree =
    BuildArchive({{"1.txt", "first"}, {"2.txt", "second"}, {"3.txt", "x"}});

TEST_F(ExtractTest, AbortDuringTheFirstEntryFinishesItThenStops) {
  // The catalog's 33 bytes are yields 2..34, the first entry is prepared in
  // yield 35 and its bytes are yields 36..40.
  ui_.AtYield(37, [&] { arch_.Abort(platform::kTrue); });
  EXPECT_EQ(Run(kThree), platform::kFalse);
  EXPECT_EQ(Shown(), "Распаковка архива отменена пользователем!");
  EXPECT_EQ(archtest::Tree(out_), std::vector<std::string>{"1.txt"});
  EXPECT_EQ(ReadFile(out_ + "/1.txt"), "first");
  EXPECT_EQ(arch_.Abort(), platform::kFalse);
  ExpectIdleAfterFailure();
  EXPECT_TRUE(ArchiveOpen()); // the cancel comes after the reopening
  EXPECT_EQ(arch_.DefSeek(), 1);
}

TEST_F(ExtractTest, AbortSetBeforehandStillWritesTheFirstEntry) {
  arch_.Abort(platform::kTrue);
  EXPECT_EQ(Run(kThree), platform::kFalse);
  EXPECT_EQ(Shown(), platform::MsgDefault(archive::kMsgExtractCancelled));
  EXPECT_EQ(archtest::Tree(out_), std::vector<std::string>{"1.txt"});
  EXPECT_EQ(ReadFile(out_ + "/1.txt"), "first");
  EXPECT_EQ(arch_.Abort(), platform::kFalse);
  ExpectIdleAfterFailure();
}

TEST_F(ExtractTest, AbortDuringTheLastEntryStillFails) {
  // 2.txt: prepared in yield 41, bytes 42..47; 3.txt: 48, its byte 49.
  ui_.AtYield(49, [&] { arch_.Abort(platform::kTrue); });
  EXPECT_EQ(Run(kThree), platform::kFalse);
  EXPECT_EQ(Shown(), platform::MsgDefault(archive::kMsgExtractCancelled));
  EXPECT_EQ(archtest::Tree(out_),
            (std::vector<std::string>{"1.txt", "2.txt", "3.txt"}));
}

TEST_F(ExtractTest, EndOfProgramInsideAYieldPassesThrough) {
  ui_.AtYield(35, [&] { ui_.EndProgram(3); });
  EXPECT_EQ(testsupport::RunProgram([&] { Run(kThree); }), 3);
  EXPECT_TRUE(ui_.messages.empty()); // no error box for the ending
}

// ---- Rejections -----------------------------------------------------------

struct Rejected {
  const char *label;
  std::string bytes;
  std::string message; // the whole text, or its beginning when prefix
  bool prefix;
  std::vector<std::string> files; // what the target folder holds afterwards
};

class RejectTest : public ExtractTest,
                   public ::testing::WithParamInterface<Rejected> {};

TEST_P(RejectTest, ShowsTheMessageAndReturnsFalse) {
  const Rejected &c = GetParam();
  EXPECT_EQ(Run(c.bytes), platform::kFalse);
  const std::string shown = Shown();
  if (c.prefix)
    EXPECT_EQ(shown.rfind(c.message, 0), 0u) << shown;
  else
    EXPECT_EQ(shown, c.message);
  ExpectIdleAfterFailure();
  EXPECT_EQ(archtest::Tree(out_), c.files);
  EXPECT_EQ(files::FreeFile(), 2); // only the archive is open
  EXPECT_TRUE(ArchiveOpen());
}

const std::string kOk = "ok?1?3\x02";

INSTANTIATE_TEST_SUITE_P(
    Archives, RejectTest,
    ::testing::Values(
        Rejected{"empty_file",
                 "",
                 platform::MsgDefault(archive::kMsgNotArchive),
                 false,
                 {}},
        Rejected{"short_file",
                 "PAC",
                 platform::MsgDefault(archive::kMsgNotArchive),
                 false,
                 {}},
        Rejected{"lower_case",
                 BuildArchive({{"a", "b"}}).replace(0, 5, "pack1"),
                 platform::MsgDefault(archive::kMsgNotArchive),
                 false,
                 {}},
        Rejected{"no_method",
                 "PACK1",
                 platform::MsgDefault(archive::kMsgNoCatalog),
                 false,
                 {}},
        Rejected{"no_marker",
                 std::string("PACK1\x00", 6),
                 platform::MsgDefault(archive::kMsgNoCatalog),
                 false,
                 {}},
        Rejected{"bad_marker",
                 std::string("PACK1\x00\x02x?1?2\x02\x01", 14),
                 platform::MsgDefault(archive::kMsgNoCatalog),
                 false,
                 {}},
        Rejected{"unterminated_empty",
                 std::string("PACK1\x00\x01", 7),
                 platform::MsgDefault(archive::kMsgCatalogUnterminated),
                 false,
                 {}},
        Rejected{"unterminated",
                 std::string("PACK1\x00\x01"
                             "a?1?2\x02zz",
                             14),
                 platform::MsgDefault(archive::kMsgCatalogUnterminated),
                 false,
                 {}},
        // Entries before a bad one are written; a bad one after its file
        // is created when its fields are the trouble.
        Rejected{"empty_text",
                 RawArchive({"ok?1?3", ""}, "\x01xy"),
                 "Индекс вне допустимого диапазона",
                 true,
                 {"ok"}},
        Rejected{"one_field",
                 RawArchive({"ok?1?3", "one"}, "\x01xy"),
                 "Индекс вне допустимого диапазона",
                 true,
                 {"ok", "one"}},
        Rejected{"two_fields",
                 RawArchive({"two?1"}, "\x01xy"),
                 "Индекс вне допустимого диапазона",
                 true,
                 {"two"}},
        Rejected{"start_not_number",
                 RawArchive({"n?one?3"}, "\x01xy"),
                 "Несоответствие типа",
                 true,
                 {"n"}},
        Rejected{"end_not_number",
                 RawArchive({"n?1? 3"}, "\x01xy"),
                 "Несоответствие типа",
                 true,
                 {"n"}},
        Rejected{"end_overflow",
                 RawArchive({"n?1?2147483648"}, "\x01xy"),
                 "Переполнение",
                 true,
                 {"n"}},
        Rejected{"position_overflow",
                 RawArchive({"n?1?2147483640"}, "\x01xy"),
                 "Переполнение",
                 true,
                 {"n"}},
        Rejected{"start_overflow",
                 RawArchive({"n?2147483640?1"}, "\x01xy"),
                 "Переполнение",
                 true,
                 {"n"}},
        Rejected{"past_end",
                 RawArchive({"ok?1?3", "big?3?100"}, "\x01xyz"),
                 platform::MsgDefault(archive::kMsgEntryPastEnd),
                 true,
                 {"big", "ok"}},
        Rejected{"one_past_end",
                 RawArchive({"big?1?5"}, "\x01xyz"),
                 platform::MsgDefault(archive::kMsgEntryPastEnd),
                 true,
                 {"big"}},
        Rejected{"before_data",
                 RawArchive({"hdr?-20?3"}, "\x01xyz"),
                 platform::MsgDefault(archive::kMsgEntryPastEnd),
                 true,
                 {"hdr"}},
        Rejected{"before_the_first_byte",
                 RawArchive({"z?-18?2"}, "\x01xyz"),
                 platform::MsgDefault(archive::kMsgEntryPastEnd),
                 true,
                 {"z"}}),
    [](const auto &info) { return std::string(info.param.label); });

// Names that would leave the folder or reach a device fail before anything
// is created for them.
class BadNameTest : public ExtractTest,
                    public ::testing::WithParamInterface<std::string> {};

TEST_P(BadNameTest, FailsBeforeCreatingAnything) {
  const std::string bytes =
      RawArchive({"ok?1?3", GetParam() + "?1?3"}, "\x01xyz");
  EXPECT_EQ(Run(bytes), platform::kFalse);
  const std::string shown = Shown();
  EXPECT_EQ(shown.rfind(platform::MsgDefault(archive::kMsgBadEntryName), 0), 0u)
      << shown;
  ExpectIdleAfterFailure();
  EXPECT_EQ(archtest::Tree(out_), std::vector<std::string>{"ok"});
  // Nothing appeared beside the target folder either.
  EXPECT_EQ(archtest::Tree(dir_.Path()),
            (std::vector<std::string>{"a.pack", "out/", "out/ok"}));
}

INSTANTIATE_TEST_SUITE_P(Names, BadNameTest,
                         ::testing::Values(".", "..", "...", ".. ", "../",
                                           "..\\", "/..", "<>", "\"\"", "",
                                           "CON", "nul.txt", "Com1", "LPT9.log",
                                           "con .txt", "CONOUT$", "lpt1 .txt",
                                           " . ", std::string("a\x00", 2),
                                           "tab\there",
                                           std::string(5000, 'n')));

TEST_F(ExtractTest, BadNameIsShownWithItsControlCharactersAsCodes) {
  EXPECT_EQ(Run(RawArchive({"a\tb.?1?3"}, "\x01xyz")), platform::kFalse);
  EXPECT_EQ(Shown(), platform::MsgDefault(archive::kMsgBadEntryName) +
                         ": \xC2\xAB"
                         "a\\x09b.\xC2\xBB");
}

TEST_F(ExtractTest, EntryNamedLikeTheArchiveCannotOverwriteIt) {
  const std::string bytes = BuildArchive({{"ok", "1"}, {"a.pack", "boom"}});
  WriteFile(archive_, bytes);
  arch_.FileName(archive_);
  ASSERT_EQ(arch_.Load(), platform::kTrue);
  EXPECT_EQ(arch_.Extract(dir_.Path()), platform::kFalse);
  EXPECT_EQ(Shown(), platform::MsgDefault(archive::kMsgEntryIsArchive) +
                         ": \xC2\xAB"
                         "a.pack\xC2\xBB");
  EXPECT_EQ(ReadFile(archive_), bytes);
  EXPECT_EQ(ReadFile(dir_ / "ok"), "1");
}

TEST_F(ExtractTest, MissingTargetFolderFailsAtTheFirstCreate) {
  WriteFile(archive_, kExample);
  arch_.FileName(archive_);
  ASSERT_EQ(arch_.Load(), platform::kTrue);
  EXPECT_EQ(arch_.Extract(dir_ / "nowhere"), platform::kFalse);
  EXPECT_NE(Shown().find("nowhere"), std::string::npos);
  EXPECT_FALSE(testsupport::Exists(dir_ / "nowhere"));
  ExpectIdleAfterFailure();
}

TEST_F(ExtractTest, WithoutLoadTheFirstReadFails) {
  arch_.FileName(archive_);
  WriteFile(archive_, kExample);
  EXPECT_EQ(arch_.Extract(out_), platform::kFalse);
  const std::string notOpen =
      platform::StandardText(platform::err::kBadFileNumber) +
      ": архив не открыт: ";
  EXPECT_EQ(Shown(), notOpen + archive_);
  EXPECT_TRUE(archtest::Tree(out_).empty());
  ExpectIdleAfterFailure();
  arch_.FileName("");
  ui_.messages.clear();
  EXPECT_EQ(arch_.Extract(out_), platform::kFalse);
  EXPECT_EQ(Shown(), notOpen + "\"\"");
}

TEST_F(ExtractTest, NotAnArchiveLeavesItOpenAndWritesNothing) {
  EXPECT_EQ(Run("just some text file"), platform::kFalse);
  EXPECT_EQ(Shown(), "Файл не является архивом Kestrova PACK.");
  EXPECT_TRUE(ArchiveOpen());
  EXPECT_TRUE(archtest::Tree(out_).empty());
  EXPECT_EQ(arch_.ActionMode(), 0);
}

TEST_F(ExtractTest, ArchiveInsideALargerFileIsReadFromItsPosition) {
  // The reader starts at the current position and never reads past the
  // last entry: bytes after it are ignored.
  EXPECT_EQ(Run(kExample + "\x00TRAILER"s), platform::kTrue);
  EXPECT_EQ(ReadFile(out_ + "/two.dat"), "abc");
}

// A valid archive cut at every length: never a crash, never a file outside
// the target folder, and either every entry or an error box.
TEST_F(ExtractTest, TruncationSweep) {
  const std::string full = BuildArchive({{"a.txt", "alpha"},
                                         {"пусто", ""},
                                         {"b.bin", std::string(40, '\x01')},
                                         {"c", "\x02\x01"}});
  for (size_t cut = 0; cut <= full.size(); ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    files::CloseAllQuietly();
    ui_.messages.clear();
    std::string folder = "t";
    folder += std::to_string(cut);
    const std::string target = dir_ / folder;
    testsupport::MakeFolder(target);
    WriteFile(archive_, full.substr(0, cut));
    arch_.FileName(archive_);
    ASSERT_EQ(arch_.Load(), platform::kTrue);
    const platform::Boolean ok = arch_.Extract(target);
    if (cut == full.size()) {
      EXPECT_EQ(ok, platform::kTrue);
      EXPECT_TRUE(ui_.messages.empty());
    } else {
      EXPECT_EQ(ok, platform::kFalse);
      EXPECT_EQ(ui_.messages.size(), 1u);
    }
    for (const std::string &name : archtest::Tree(target))
      EXPECT_TRUE(name == "a.txt" || name == "пусто" || name == "b.bin" ||
                  name == "c")
          << name;
    EXPECT_EQ(arch_.ActionMode(), 0);
    EXPECT_EQ(arch_.DefFile(), "");
  }
  // Nothing but the targets and the archive beside them.
  for (const std::string &name : archtest::Tree(dir_.Path()))
    EXPECT_TRUE(name == "a.pack" || name.rfind('t', 0) == 0 ||
                name.rfind("out", 0) == 0)
        << name;
}

// Hostile bytes anywhere in the catalog: every result is an entry inside
// the folder or an error box, never a crash.
TEST_F(ExtractTest, MutatedCatalogsNeverEscapeTheFolder) {
  const std::string base = BuildArchive({{"a.txt", "alpha"}, {"b", "beta"}});
  const std::string catalogEnd = base.substr(0, base.find('\x01', 7) + 1);
  uint32_t seed = 12345;
  const char specials[] = {'\x00', '\x01', '\x02', '?', '.', '/',
                           '\\',   ':',    '9',    '-', ' ', 'C'};
  for (int round = 0; round < 150; ++round) {
    std::string bytes = base;
    for (int k = 0; k < 3; ++k) {
      seed = seed * 1103515245 + 12345;
      const size_t at = 7 + (seed >> 8) % (catalogEnd.size() - 7);
      bytes[at] = specials[(seed >> 20) % sizeof specials];
    }
    files::CloseAllQuietly();
    ui_.messages.clear();
    const std::string target = dir_ / "m";
    testsupport::MakeFolder(target);
    WriteFile(archive_, bytes);
    arch_.FileName(archive_);
    ASSERT_EQ(arch_.Load(), platform::kTrue);
    const platform::Boolean ok = arch_.Extract(target);
    EXPECT_EQ(ok == platform::kTrue, ui_.messages.empty()) << round;
    EXPECT_EQ(arch_.ActionMode(), 0);
    for (const std::string &name : archtest::Tree(dir_.Path()))
      EXPECT_TRUE(name == "a.pack" || name == "out/" ||
                  (name.rfind("m/", 0) == 0 &&
                   name.find('/', 2) == std::string::npos) ||
                  name == "m/")
          << archtest::Hex(name);
    std::error_code ec;
    std::filesystem::remove_all(target, ec);
  }
}

// updpack extract holds its target folder: a link renamed into the
// folder's place at the first entry it opens leads nowhere.
TEST(ExtractCommand, LinkSwappedInForTheTargetLeadsNowhere) {
  const testsupport::TempFolder box;
  const std::string src = box / "src";
  const std::string target = box / "target";
  const std::string outside = box / "outside";
  for (const std::string &folder : {src, target, outside})
    testsupport::MakeFolder(folder);
  testsupport::WriteFile(src + "/a.txt", "new a");
  testsupport::WriteFile(src + "/b.txt", "new b");
  testsupport::WriteFile(outside + "/a.txt", "outside");
  ASSERT_EQ(tools::PackCommand({src, box / "a.pack"}), 0);
  bool swapped = false;
  platform::posix::SetFaultHook(
      [&](platform::posix::Call call, const std::string &path) {
        if (!swapped && path.starts_with(target + "\\") &&
            (call == platform::posix::Call::Create ||
             call == platform::posix::Call::Open)) {
          swapped = true;
          std::filesystem::rename(target, box / "moved");
          std::filesystem::create_directory_symlink(outside, target);
        }
        return 0;
      });
  const int code = tools::ExtractCommand({box / "a.pack", target});
  platform::posix::SetFaultHook(nullptr);
  ASSERT_TRUE(swapped);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(pkgbuild::ListNames(outside), std::vector<std::string>{"a.txt"});
  EXPECT_EQ(ReadFile(outside + "/a.txt"), "outside");
  EXPECT_EQ(ReadFile(box / "moved/a.txt"), "new a");
  EXPECT_EQ(ReadFile(box / "moved/b.txt"), "new b");
}

} // namespace
