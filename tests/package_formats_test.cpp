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

// Signing tools put zero bytes before their table, up to the next multiple
// of 8: a package of any length keeps the trailer before them.
TEST(PackageTrailer, IsFoundBeforeTheZerosASigningToolAdds) {
  constexpr size_t kTrailer = package::kTrailerSize;
  const std::string image = pkgbuild::MinimalPe();
  const int32_t start = static_cast<int32_t>(image.size()) + 1;
  // The image, the archive's bytes and a trailer holding at, short of a
  // multiple of 8.
  const auto package = [&](const std::string &archive, int32_t at) {
    std::string bytes = image + archive;
    if ((bytes.size() + kTrailer) % 8 == 0)
      bytes += 'x';
    const auto trailer = package::EncodeTrailer(at);
    return bytes + std::string(trailer.begin(), trailer.end());
  };
  const struct {
    const char *name;
    std::string plain;
    bool found; // else the package ends at the table
  } cases[] = {
      {"an archive", package("PACK1", start), true},
      {"a short archive", package("PACK1\x01", start), true},
      {"no signature there", package("PACK2", start), false},
      {"a position past the package", package("PACK1", INT32_MAX), false},
      {"a position before the file", package("PACK1", 0), false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_NE(c.plain.size() % 8, 0U);
    const std::string signedFile = pkgbuild::Sign(c.plain, "table");
    const package::MemorySource source(signedFile);
    const int64_t length = package::PackageLength(source);
    const int64_t table = static_cast<int64_t>(signedFile.size()) - 5;
    EXPECT_EQ(length, c.found ? static_cast<int64_t>(c.plain.size()) : table);
  }
  // Every count of zeros.
  for (size_t extra = 0; extra < 8; ++extra) {
    SCOPED_TRACE(extra);
    const auto trailer = package::EncodeTrailer(start);
    const std::string plain = image + "PACK1" + std::string(2 + extra, '\0') +
                              std::string(trailer.begin(), trailer.end());
    const std::string signedFile = pkgbuild::Sign(plain, "table");
    const package::MemorySource source(signedFile);
    EXPECT_EQ(package::PackageLength(source),
              static_cast<int64_t>(plain.size()));
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
