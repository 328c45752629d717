// The package's formats read beside their writers, in memory: the trailer
// and the script record.
#include <gtest/gtest.h>

#include "package/byte_source.h"
#include "package/script_record.h"
#include "package/trailer.h"
#include "tests/support/package_builder.h"

namespace {

using namespace std::string_literals;
namespace script = package::script;

TEST(PackageTrailer, ReadBackFromMemoryWhereThePackageEnds) {
  const std::string table(1496, 'S');
  for (const int32_t start : {1, 513, -1, INT32_MAX, INT32_MIN}) {
    const auto trailer = package::EncodeTrailer(start);
    // As build leaves it: a multiple of 8 bytes, so that signing adds none.
    const std::string plain = pkgbuild::MinimalPe() + "PACK1" +
                              std::string(7, '\0') +
                              std::string(trailer.begin(), trailer.end());
    // A signing tool's table after the trailer is no part of the package.
    for (const std::string &file : {plain, pkgbuild::Sign(plain, table)}) {
      const package::MemorySource source(file);
      const int64_t length = package::PackageLength(source);
      EXPECT_EQ(length, static_cast<int64_t>(plain.size()));
      EXPECT_EQ(package::ReadArchiveStart(source, length), start);
    }
  }
  for (const std::string &file : {""s, "abc"s}) {
    const package::MemorySource source(file);
    EXPECT_EQ(package::ReadArchiveStart(source, package::PackageLength(source)),
              std::nullopt);
  }
}

TEST(PackageScriptRecord, EncodedRecordsDecodeToTheirPaddedFields) {
  const struct {
    uint8_t operation;
    std::string source, target;
  } cases[] = {
      {script::kCopyFile, "\x00\\app.exe"s, "\x01\\app.exe"s},
      {script::kDeleteFolder, "", std::string(48, 'x')},
      {255, std::string(16, '\x00'), ""},
  };
  std::string bytes;
  for (const auto &c : cases)
    ASSERT_TRUE(script::EncodeRecord({c.operation, c.source, c.target}, bytes));
  ASSERT_EQ(bytes.size(), std::size(cases) * script::kRecordSize);
  for (size_t k = 0; k < std::size(cases); ++k) {
    const script::Record record = script::DecodeRecord(
        std::string_view(bytes).substr(k * script::kRecordSize));
    EXPECT_EQ(record.operation, cases[k].operation);
    EXPECT_EQ(record.source,
              cases[k].source + std::string(16 - cases[k].source.size(), ' '));
    EXPECT_EQ(record.target,
              cases[k].target + std::string(48 - cases[k].target.size(), ' '));
  }
  // A field longer than its room is refused, and nothing is written.
  EXPECT_FALSE(script::EncodeRecord({0, std::string(17, 's'), ""}, bytes));
  EXPECT_FALSE(script::EncodeRecord({0, "", std::string(49, 't')}, bytes));
  EXPECT_EQ(bytes.size(), std::size(cases) * script::kRecordSize);
}

} // namespace
