// The PACK1 layout: entry texts, entry names, and the header and catalog
// reader used by the command-line tool.
#include <gtest/gtest.h>

#include <climits>

#include "archive/arch_errors.h"
#include "archive/catalog.h"
#include "platform/error.h"
#include "platform/files.h"
#include "tests/support/archive_builder.h"
#include "tests/support/caught.h"
#include "tests/support/temp_folder.h"

namespace {

using archive::CatalogEntry;
using archtest::kExample;
using testsupport::Caught;
namespace err = platform::err;

TEST(ArchiveFormat, BuilderWritesTheWorkedExample) {
  const std::string built =
      archtest::BuildArchive({{"one.txt", "HELLO"}, {"two.dat", "abc"}});
  EXPECT_EQ(archtest::Hex(built), archtest::Hex(kExample));
  EXPECT_EQ(built.size(), 40u);
}

// ---- Entry texts ----------------------------------------------------------

struct GoodEntry {
  const char *text;
  const char *name;
  int32_t start;
  int32_t end;
};

class GoodEntryTest : public ::testing::TestWithParam<GoodEntry> {};

TEST_P(GoodEntryTest, Parses) {
  const GoodEntry &c = GetParam();
  const CatalogEntry entry = archive::ParseEntry(c.text);
  EXPECT_EQ(entry.name, c.name);
  EXPECT_EQ(entry.start, c.start);
  EXPECT_EQ(entry.end, c.end);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, GoodEntryTest,
    ::testing::Values(
        GoodEntry{"one.txt?1?6", "one.txt", 1, 6},
        GoodEntry{"b?4?4", "b", 4, 4},
        GoodEntry{"x?1?2?junk?more", "x", 1, 2}, // further fields ignored
        GoodEntry{"?1?2", "", 1, 2},             // empty name is a name
        GoodEntry{"a?+7?-3", "a", 7, -3},        // optional sign
        GoodEntry{"a?007?0010", "a", 7, 10},     // leading zeros
        GoodEntry{"a?-0?0", "a", 0, 0},
        GoodEntry{"a?-2147483648?2147483647", "a", INT32_MIN, INT32_MAX},
        GoodEntry{"a?1?00000000000000000000002", "a", 1, 2},
        GoodEntry{"файл.txt?1?2", "файл.txt", 1, 2},
        GoodEntry{"a:b*c?1?2", "a:b*c", 1, 2}));

struct BadEntry {
  const char *text;
  int32_t number;
};

class BadEntryTest : public ::testing::TestWithParam<BadEntry> {};

TEST_P(BadEntryTest, RaisesTheExtractionsError) {
  const BadEntry &c = GetParam();
  const platform::Error e = Caught([&] { archive::ParseEntry(c.text); });
  EXPECT_EQ(e.Number(), c.number) << c.text << ": " << e.Description();
  EXPECT_FALSE(e.Description().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Texts, BadEntryTest,
    ::testing::Values(
        BadEntry{"", err::kSubscript},       // two 0x02 in a row
        BadEntry{"name", err::kSubscript},   // one field
        BadEntry{"name?1", err::kSubscript}, // two fields
        BadEntry{"a?x?2", err::kTypeMismatch},
        BadEntry{"a?1?x", err::kTypeMismatch},
        BadEntry{"a?1?", err::kTypeMismatch},
        BadEntry{"a??2", err::kTypeMismatch},
        BadEntry{"a?1? 2", err::kTypeMismatch},
        BadEntry{"a?1?2 ", err::kTypeMismatch},
        BadEntry{"a?1?+", err::kTypeMismatch},
        BadEntry{"a?1?--2", err::kTypeMismatch},
        BadEntry{"a?1?2-", err::kTypeMismatch},
        BadEntry{"a?1?1e3", err::kTypeMismatch},
        BadEntry{"a?1?1.5", err::kTypeMismatch},
        BadEntry{"a?1?&H10", err::kTypeMismatch},
        BadEntry{"a?1?٣", err::kTypeMismatch}, // a non-ASCII digit
        BadEntry{"a?1?2147483648", err::kOverflow},
        BadEntry{"a?-2147483649?1", err::kOverflow},
        BadEntry{"a?1?99999999999999999999999999", err::kOverflow},
        // The end is converted before the start, as the extraction does.
        BadEntry{"a?x?2147483648", err::kOverflow},
        BadEntry{"a?2147483648?x", err::kTypeMismatch}));

TEST(ArchiveFormat, ParseNumberAcceptsASignThenDigitsOnly) {
  EXPECT_EQ(archive::ParseNumber("42"), 42);
  EXPECT_EQ(archive::ParseNumber("-42"), -42);
  EXPECT_EQ(archive::ParseNumber("+0042"), 42);
  EXPECT_EQ(Caught([] { archive::ParseNumber(""); }).Number(),
            err::kTypeMismatch);
  EXPECT_EQ(Caught([] { archive::ParseNumber("4?2"); }).Number(),
            err::kTypeMismatch);
  EXPECT_EQ(Caught([] { archive::ParseNumber("2147483648"); }).Number(),
            err::kOverflow);
}

TEST(ArchiveFormat, ParserKeepsNoMoreThanANameAndTwoNumbers) {
  archive::EntryParser parser;
  parser.AddText("a?1?2?");
  for (int i = 0; i < 1000000; ++i) // an ignored field of a megabyte
    parser.Add('x');
  EXPECT_EQ(parser.FieldCount(), 4);
  EXPECT_EQ(parser.Name(), "a");
  EXPECT_EQ(parser.End(), 2);

  parser.Reset();
  for (size_t i = 0; i < archive::kMaxNameBytes + 10; ++i)
    parser.Add('n');
  parser.AddText("?1?2");
  EXPECT_EQ(Caught([&] { parser.Name(); }).Number(), archive::kErrBadEntryName);
  EXPECT_EQ(parser.Start(), 1);
}

TEST(ArchiveFormat, ParserTurnsCodePageBytesIntoCharacters) {
  archive::EntryParser parser;
  for (uint8_t b : {0xF4, 0xE0, 0xE9, 0xEB}) // "файл" in Windows-1251
    parser.AddAnsi(b);
  parser.AddText("?1?1");
  EXPECT_EQ(parser.Name(), "файл");
}

// ---- Entry names ----------------------------------------------------------

TEST(ArchiveFormat, RemovesTheNineReservedCharacters) {
  EXPECT_EQ(archive::RemoveReservedChars("a:b.txt"), "ab.txt");
  EXPECT_EQ(archive::RemoveReservedChars("<>*?:/\\|\"x"), "x");
  EXPECT_EQ(archive::RemoveReservedChars("..\\..\\evil"), "....evil");
  EXPECT_EQ(archive::RemoveReservedChars("C:\\Windows\\x.dll"),
            "CWindowsx.dll");
  EXPECT_EQ(archive::RemoveReservedChars("отчёт «1».txt"), "отчёт «1».txt");
  EXPECT_EQ(archive::RemoveReservedChars("<>"), "");
}

struct NameCase {
  const char *name;
  bool safe;
};

class EntryNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(EntryNameTest, IsSafeOnlyInsideTheFolderAndOffDevices) {
  const NameCase &c = GetParam();
  EXPECT_EQ(archive::IsSafeEntryName(c.name), c.safe) << c.name;
  if (c.safe) {
    EXPECT_NO_THROW(archive::CheckEntryName(c.name));
  } else {
    const platform::Error e = Caught([&] { archive::CheckEntryName(c.name); });
    EXPECT_EQ(e.Number(), archive::kErrBadEntryName);
    EXPECT_EQ(e.Description().rfind(
                  platform::MsgDefault(archive::kMsgBadEntryName), 0),
              0u)
        << e.Description();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, EntryNameTest,
    ::testing::Values(
        NameCase{"a.txt", true}, NameCase{"script", true},
        NameCase{".hidden", true}, NameCase{"a..b", true},
        NameCase{"....evil", true}, NameCase{"..x", true},
        NameCase{"файл.txt", true}, NameCase{"CONSOLE", true},
        NameCase{"COM10", true}, NameCase{"LPT", true}, NameCase{"COMA", true},
        NameCase{"file.con", true}, NameCase{"xCON", true},
        NameCase{"NULL.txt", true}, NameCase{"COM¹0", true},
        NameCase{"CONIN", true},
        // Windows drops the trailing dots and spaces: these are a and a.b.
        NameCase{"a.", true}, NameCase{"a ", true}, NameCase{"a. .", true},
        NameCase{"a.b..", true},
        // Outside the folder or no name at all.
        NameCase{"", false}, NameCase{".", false}, NameCase{"..", false},
        NameCase{"...", false}, NameCase{".. ", false}, NameCase{". .", false},
        NameCase{" ", false}, NameCase{"CON.", false},
        // Control characters, the byte 0x00 among them; DEL is none.
        NameCase{"a\tb", false}, NameCase{"a\x1F", false},
        NameCase{"a\x7F", true},
        // Devices, any case, with or without an extension.
        NameCase{"CON", false}, NameCase{"con", false},
        NameCase{"Con.txt", false}, NameCase{"CON .txt", false},
        NameCase{"CON  ", false}, NameCase{"NUL.tar.gz", false},
        NameCase{"prn", false}, NameCase{"aux.c", false},
        NameCase{"COM1", false}, NameCase{"com9.log", false},
        NameCase{"COM0", false}, NameCase{"LPT1", false},
        NameCase{"lpt9.txt", false}, NameCase{"COM¹", false},
        NameCase{"com².x", false}, NameCase{"LPT³", false},
        NameCase{"CONIN$", false}, NameCase{"conout$.txt", false}));

TEST(ArchiveFormat, NameWithAZeroByteIsRefused) {
  EXPECT_FALSE(archive::IsSafeEntryName(std::string("ok\0../x", 7)));
  EXPECT_FALSE(archive::IsSafeEntryName(std::string(5000, 'n')));
}

// ---- Ranges ---------------------------------------------------------------

TEST(ArchiveFormat, RangesInsideTheDataRegionPass) {
  // one.txt of the example: data start 33, archive of 40 bytes.
  const auto range = archive::CheckEntryRange({"one.txt", 1, 6}, 33, 1, 40);
  EXPECT_EQ(range.first, 33);
  EXPECT_EQ(range.last, 37);
  const auto last = archive::CheckEntryRange({"two.dat", 6, 9}, 33, 1, 40);
  EXPECT_EQ(last.first, 38);
  EXPECT_EQ(last.last, 40);
  // Empty and reversed ranges read nothing, wherever they point.
  EXPECT_NO_THROW(archive::CheckEntryRange({"e", 500, 500}, 33, 1, 40));
  EXPECT_NO_THROW(archive::CheckEntryRange({"e", -5, -5}, 33, 1, 40));
  EXPECT_NO_THROW(archive::CheckEntryRange({"e", 9, 2}, 33, 1, 40));
  // A range that starts in the catalog or the header is read like any other.
  const auto header = archive::CheckEntryRange({"h", -31, 2}, 33, 1, 40);
  EXPECT_EQ(header.first, 1);
  EXPECT_EQ(archive::CheckEntryRange({"m", 0, 2}, 33, 1, 40).first, 32);
  // Inside a package the archive's first byte is further on.
  EXPECT_NO_THROW(archive::CheckEntryRange({"p", -31, 2}, 1033, 1001, 1040));
}

struct RangeCase {
  int32_t start;
  int32_t end;
  int32_t number;
};

class BadRangeTest : public ::testing::TestWithParam<RangeCase> {};

TEST_P(BadRangeTest, IsRefused) {
  const RangeCase &c = GetParam();
  const platform::Error e = Caught([&] {
    archive::CheckEntryRange({"x.bin", c.start, c.end}, 33, 1, 40);
  });
  EXPECT_EQ(e.Number(), c.number) << e.Description();
  if (c.number == archive::kErrEntryPastEnd) {
    EXPECT_NE(e.Description().find("x.bin"), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, BadRangeTest,
    ::testing::Values(
        RangeCase{1, 10, archive::kErrEntryPastEnd}, // one byte past the end
        RangeCase{8, 100, archive::kErrEntryPastEnd},
        RangeCase{-32, 2, archive::kErrEntryPastEnd}, // before the first byte
        RangeCase{1, INT32_MAX, err::kOverflow},      // end + 31
        RangeCase{INT32_MAX, INT32_MAX, err::kOverflow},
        RangeCase{INT32_MAX, 1, err::kOverflow}, // start + 32
        // The last 32-bit positions: INT32_MAX itself is a position, one
        // more overflows.
        RangeCase{1, INT32_MAX - 31, archive::kErrEntryPastEnd},
        RangeCase{1, INT32_MAX - 30, err::kOverflow},
        RangeCase{INT32_MAX - 32, INT32_MAX - 31, archive::kErrEntryPastEnd},
        RangeCase{INT32_MAX - 31, INT32_MAX - 31, err::kOverflow},
        RangeCase{INT32_MIN, 1, archive::kErrEntryPastEnd}));

// ---- Header and catalog ---------------------------------------------------

class CatalogReaderTest : public ::testing::Test {
protected:
  void SetUp() override { platform::files::CloseAllQuietly(); }
  void TearDown() override { platform::files::CloseAllQuietly(); }

  int16_t Open(const std::string &bytes) {
    const std::string path = dir_ / "a.pack";
    testsupport::WriteFile(path, bytes);
    const int16_t number = platform::files::FreeFile();
    platform::files::Open(number, path, platform::OpenMode::ReadOnly);
    return number;
  }

  testsupport::TempFolder dir_;
};

TEST_F(CatalogReaderTest, ReadsTheWorkedExample) {
  const int16_t n = Open(kExample);
  const archive::CatalogInfo info = archive::ReadCatalogInfo(n);
  EXPECT_EQ(info.compression, 0);
  EXPECT_EQ(info.catalogStart, 8);
  EXPECT_EQ(info.catalogEnd, 32);
  EXPECT_EQ(info.dataStart, 33);
  EXPECT_EQ(info.length, 40);

  archive::CatalogReader reader(n, info);
  archive::EntryParser parser;
  ASSERT_TRUE(reader.Next(parser));
  EXPECT_EQ(parser.Name(), "one.txt");
  EXPECT_EQ(parser.Start(), 1);
  EXPECT_EQ(parser.End(), 6);
  ASSERT_TRUE(reader.Next(parser));
  EXPECT_EQ(parser.Name(), "two.dat");
  EXPECT_FALSE(reader.Next(parser));
}

TEST_F(CatalogReaderTest, EmptyCatalogHasDataAtNine) {
  const int16_t n = Open(std::string("PACK1\x07\x01\x01", 8));
  const archive::CatalogInfo info = archive::ReadCatalogInfo(n);
  EXPECT_EQ(info.compression, 7);
  EXPECT_EQ(info.dataStart, 9);
  archive::CatalogReader reader(n, info);
  archive::EntryParser parser;
  EXPECT_FALSE(reader.Next(parser));
}

TEST_F(CatalogReaderTest, TextAfterTheLastEntryEndIsNoEntry) {
  const int16_t n = Open(archtest::RawArchive(
      {"a?1?1", "", std::string("z\x00z", 3)}, "dangling?1?2\x01"));
  const archive::CatalogInfo info = archive::ReadCatalogInfo(n);
  archive::CatalogReader reader(n, info);
  archive::EntryParser parser;
  ASSERT_TRUE(reader.Next(parser));
  EXPECT_EQ(parser.Name(), "a");
  ASSERT_TRUE(reader.Next(parser)); // the empty text counts
  EXPECT_EQ(parser.FieldCount(), 0);
  ASSERT_TRUE(reader.Next(parser)); // 0x00 is an ordinary character
  EXPECT_EQ(parser.Name(), std::string("z\x00z", 3));
  EXPECT_FALSE(reader.Next(parser));
}

struct Rejection {
  const char *label;
  std::string bytes;
  int32_t number;
  std::string message;
};

class RejectionTest : public CatalogReaderTest,
                      public ::testing::WithParamInterface<Rejection> {};

TEST_P(RejectionTest, RaisesItsNumberAndMessage) {
  const Rejection &c = GetParam();
  const int16_t n = Open(c.bytes);
  const platform::Error e = Caught([&] { archive::ReadCatalogInfo(n); });
  EXPECT_EQ(e.Number(), c.number);
  EXPECT_EQ(e.Description(), c.message);
}

// The numbers and texts that users and callers know, character for
// character.
constexpr int32_t kNotNumber = -1234007;
const std::string kNot = "Файл не является архивом Kestrova PACK.";
constexpr int32_t kNoCatNumber = -1234006;
const std::string kNoCat =
    "Не обнаружен каталог файлов в архиве Kestrova PACK.";
const std::string kUnterm =
    platform::MsgDefault(archive::kMsgCatalogUnterminated);

INSTANTIATE_TEST_SUITE_P(
    Archives, RejectionTest,
    ::testing::Values(
        Rejection{"empty", "", kNotNumber, kNot},
        Rejection{"short", "PACK", kNotNumber, kNot},
        Rejection{"lower", std::string("pack1\0\1\1", 8), kNotNumber, kNot},
        Rejection{"other", "PK\3\4 a zip file", kNotNumber, kNot},
        Rejection{"no method", "PACK1", kNoCatNumber, kNoCat},
        Rejection{"no marker", std::string("PACK1\0", 6), kNoCatNumber, kNoCat},
        Rejection{"wrong marker", std::string("PACK1\0\2\1", 8), kNoCatNumber,
                  kNoCat},
        Rejection{"nothing after", std::string("PACK1\0\1", 7),
                  archive::kErrCatalogUnterminated, kUnterm},
        Rejection{"cut catalog", std::string("PACK1\0\1a?1?2\2b?2", 16),
                  archive::kErrCatalogUnterminated, kUnterm}),
    [](const auto &info) {
      std::string name = info.param.label;
      for (char &c : name)
        if (c == ' ')
          c = '_';
      return name;
    });

} // namespace
