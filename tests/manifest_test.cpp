// The package's manifest in memory: written and read back where the image
// ends, told absent from damaged, and its declared length counting its own
// digits.
#include <gtest/gtest.h>

#include "package/byte_source.h"
#include "package/coding.h"
#include "package/manifest.h"
#include "tests/support/package_builder.h"

namespace {

using namespace std::string_literals;
using package::ManifestFault;
using package::ManifestState;

const std::string kPayload =
    "product\0Orbit\0caption\0Орбита\0next step\0unknown\0length\0999\0"s;

package::Manifest Found(const std::string &file) {
  return package::FindManifest(package::MemorySource(file));
}

TEST(Manifest, ReadBackWhereTheImageEnds) {
  const std::string image = pkgbuild::MinimalPe(false, 700);
  const std::string file =
      image + package::EncodeManifest(kPayload) + "PACK1 and the rest";
  const package::Manifest found = Found(file);
  EXPECT_EQ(found.state, ManifestState::Intact);
  EXPECT_EQ(found.offset, 700);
  EXPECT_EQ(found.payload, kPayload);
  EXPECT_EQ(found.length, 999);
  EXPECT_EQ(file.substr(static_cast<size_t>(found.End()), 5), "PACK1");
  EXPECT_EQ(package::FindValue(found.payload, "caption"), "Орбита");
  EXPECT_EQ(package::FindValue(found.payload, "none"), std::nullopt);
}

TEST(Manifest, DeclaresTheLengthOfThePackageItEndsUpIn) {
  // Around the lengths where the number gains a digit.
  for (int64_t rest = 9900; rest < 10000; ++rest) {
    const std::string manifest = package::EncodeManifestWithLength(
        "a\0b\0"s, [&](int64_t size) { return size + rest; });
    const package::Manifest found =
        package::ReadManifest(package::MemorySource(manifest), 0);
    ASSERT_EQ(found.length, static_cast<int64_t>(manifest.size()) + rest);
  }
}

// Damage to the manifest is told apart from its absence: absent is no
// magic where the image ends, damaged is the magic and then something
// wrong.
TEST(Manifest, AbsentIsToldApartFromDamaged) {
  const std::string image = pkgbuild::MinimalPe();
  const std::string manifest = package::EncodeManifest(kPayload);
  const std::string whole = image + manifest + "PACK1";
  const size_t at = image.size();
  const auto changed = [&](size_t offset, char mask) {
    std::string file = whole;
    file[at + offset] ^= mask;
    return file;
  };
  const auto withLength = [&](uint32_t length) {
    std::string file = whole;
    package::WriteLE(file, at + package::kManifestLengthOffset, length, 4);
    return file;
  };
  const auto valued = [&](const std::string &payload) {
    return image + package::EncodeManifest(payload);
  };
  const struct {
    const char *label;
    std::string file;
    ManifestState state;
    ManifestFault fault;
  } cases[] = {
      {"intact", whole, ManifestState::Intact, ManifestFault::None},
      {"the base format", image + "PACK1", ManifestState::Absent,
       ManifestFault::None},
      {"the file ends with the image", image, ManifestState::Absent,
       ManifestFault::None},
      {"no PE image", "MZ" + manifest, ManifestState::Absent,
       ManifestFault::None},
      {"a bit of the magic", changed(3, 1), ManifestState::Absent,
       ManifestFault::None},
      {"a bit of the payload", changed(40, 2), ManifestState::Damaged,
       ManifestFault::Crc},
      {"a bit of the CRC-32", changed(21, 8), ManifestState::Damaged,
       ManifestFault::Crc},
      {"a bit of the length", changed(17, 1), ManifestState::Damaged,
       ManifestFault::Cut},
      {"a length of 1 MiB and a byte", withLength(1024 * 1024 + 1),
       ManifestState::Damaged, ManifestFault::TooLong},
      {"cut in the payload", whole.substr(0, at + 30), ManifestState::Damaged,
       ManifestFault::Cut},
      {"cut in the header", whole.substr(0, at + 18), ManifestState::Damaged,
       ManifestFault::Cut},
      {"cut in the magic", whole.substr(0, at + 9), ManifestState::Damaged,
       ManifestFault::Cut},
      {"no list of pairs", valued("key\0value"s), ManifestState::Damaged,
       ManifestFault::NotPairs},
      {"a length that is no number", valued("length\0-5\0"s),
       ManifestState::Damaged, ManifestFault::BadLength},
  };
  for (const auto &c : cases) {
    const package::Manifest found = Found(c.file);
    EXPECT_EQ(found.state, c.state) << c.label;
    EXPECT_EQ(found.fault, c.fault) << c.label;
    EXPECT_EQ(found.payload.empty(), c.state != ManifestState::Intact)
        << c.label;
    if (c.state == ManifestState::Damaged) {
      EXPECT_EQ(found.length, -1) << c.label;
    }
  }
}

} // namespace
