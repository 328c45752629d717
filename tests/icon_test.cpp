// Icons for `updpack build --icon`: icon files checked, the resource tree of
// a program image read and rebuilt, the program's icon replaced and read
// back.
#include <gtest/gtest.h>

#include <string>

#include "package/coding.h"
#include "tests/support/caught.h"
#include "tests/support/package_builder.h"
#include "tools/cli.h"
#include "tools/icon_file.h"
#include "tools/pe_resources.h"
#include "tools/program_icon.h"
#include "tools/version_resource.h"

namespace {

using namespace std::string_literals;
using package::ReadLE;
using package::WriteLE;
using tools::IconImage;
using tools::Resource;
using tools::ResourceId;

// A bitmap icon image of size x size and bits, all zeros past its header.
std::string Bitmap(uint32_t size, uint16_t bits) {
  std::string data(40 + size * size * bits / 8 + size * size / 8, '\0');
  WriteLE(data, 0, 40, 4);
  WriteLE(data, 4, size, 4);
  WriteLE(data, 8, 2 * size, 4);
  WriteLE(data, 12, 1, 2);
  WriteLE(data, 14, bits, 2);
  return data;
}

// The start of a PNG of size x size, 8-bit RGBA.
std::string Png(uint32_t size) {
  std::string data = "\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR"s + std::string(8, '\0') +
                     "\x08\x06\0\0\0"s;
  for (int k = 0; k < 4; ++k) {
    data[16 + k] = static_cast<char>(size >> (24 - 8 * k));
    data[20 + k] = static_cast<char>(size >> (24 - 8 * k));
  }
  return data;
}

// An icon file of images; a directory width of 0 means 256.
std::string IconFile(const std::vector<std::string> &images) {
  std::string file(6 + 16 * images.size(), '\0');
  WriteLE(file, 2, 1, 2);
  WriteLE(file, 4, static_cast<uint32_t>(images.size()), 2);
  for (size_t k = 0; k < images.size(); ++k) {
    const size_t entry = 6 + 16 * k;
    const uint32_t size = images[k][0] == '\x89' ? 0 : ReadLE(images[k], 4, 1);
    WriteLE(file, entry, size, 1);
    WriteLE(file, entry + 1, size, 1);
    WriteLE(file, entry + 8, static_cast<uint32_t>(images[k].size()), 4);
    WriteLE(file, entry + 12, static_cast<uint32_t>(file.size()), 4);
    file += images[k];
  }
  return file;
}

TEST(IconFile, ImagesOfAnySizeAndDepthAreTakenAndDescribed) {
  const auto icon = tools::ParseIcon(
      IconFile({Png(256), Bitmap(48, 32), Bitmap(32, 8), Bitmap(16, 4)}));
  ASSERT_EQ(icon.size(), 4u);
  EXPECT_EQ(icon[0].width, 0); // 256
  EXPECT_EQ(icon[1].data, Bitmap(48, 32));
  EXPECT_EQ(tools::DescribeIcon(icon),
            "256 x 256 32-bit PNG, 48 x 48 32-bit, 32 x 32 8-bit, 16 x 16 "
            "4-bit");
}

TEST(IconFile, WhatIsNotAnIconIsNamed) {
  const std::string good = IconFile({Bitmap(16, 4)});
  std::string count0 = good;
  WriteLE(count0, 4, 0, 2);
  std::string outside = good;
  WriteLE(outside, 6 + 12, static_cast<uint32_t>(good.size()) - 10, 4);
  std::string tooLong = good;
  WriteLE(tooLong, 6 + 8, static_cast<uint32_t>(good.size()), 4);
  std::string inDirectory = good;
  WriteLE(inDirectory, 6 + 12, 4, 4);
  std::string zero = good;
  WriteLE(zero, 6 + 8, 0, 4);
  std::string manyImages = good;
  WriteLE(manyImages, 4, 40, 2);
  std::string notImage = good;
  WriteLE(notImage, 22, 7, 4); // the bitmap header's size
  const struct {
    std::string bytes;
    const char *error;
  } cases[] = {
      {"", "not an icon file"},
      {"BM" + good.substr(2), "not an icon file"},
      {"\0\0\2\0"s + good.substr(4), "not an icon file"},
      {count0, "holds no image"},
      {manyImages, "directory of 40 images runs past the end"},
      {outside, "image 1 (200 bytes at offset 212) lies outside"},
      {tooLong, "lies outside"},
      {inDirectory, "lies outside"},
      {zero, "image 1 has a size of 0"},
      {notImage, "image 1 is an image that is neither a PNG nor a bitmap"},
      {IconFile({Png(0)}), "no pixels"},
      {IconFile({Png(32).substr(0, 20)}), "a PNG image without its header"},
  };
  for (const auto &c : cases) {
    const std::string error =
        testsupport::ToolErrorText([&] { tools::ParseIcon(c.bytes); });
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
}

// A PE32+ image with one section of 0x200 bytes at 0x1000, file offset
// 0x400; file alignment 0x200, section alignment 0x1000.
std::string ImageWithASection() {
  std::string image = pkgbuild::MinimalPe(true, 0x400);
  const size_t coff = 0x80 + 4;
  const size_t optional = coff + 20;
  WriteLE(image, coff + 2, 1, 2);
  WriteLE(image, optional + 32, 0x1000, 4);
  WriteLE(image, optional + 36, 0x200, 4);
  WriteLE(image, optional + 56, 0x2000, 4);
  WriteLE(image, optional + 60, 0x400, 4);
  WriteLE(image, optional + 64, 0x1234, 4); // a checksum
  const size_t section = optional + 240;
  image.replace(section, 5, ".text");
  WriteLE(image, section + 8, 0x1F0, 4);
  WriteLE(image, section + 12, 0x1000, 4);
  WriteLE(image, section + 16, 0x200, 4);
  WriteLE(image, section + 20, 0x400, 4);
  return image + std::string(0x200, 'T');
}

Resource Res(ResourceId type, ResourceId name, uint16_t language,
             std::string data) {
  Resource r;
  r.type = std::move(type);
  r.name = std::move(name);
  r.language = language;
  r.codePage = 1251;
  r.data = std::move(data);
  return r;
}

TEST(PeResources, ATreeWrittenReadsBackAndTheHeadersFollow) {
  std::string image = ImageWithASection();
  const std::vector<Resource> resources = {
      Res({0, u"MUI"}, {7, {}}, 0, "named type"),
      Res({10, {}}, {0, u"Zeta"}, 1033, "second name"),
      Res({10, {}}, {0, u"alpha"}, 1033, "first name"),
      Res({10, {}}, {101, {}}, 1033, "picture, English"),
      Res({10, {}}, {101, {}}, 1049, "picture, Russian"),
      Res({tools::kRtVersion, {}}, {1, {}}, 1033, std::string(913, 'v')),
  };
  tools::WriteResources(image, resources);
  const std::vector<Resource> back = tools::ReadResources(image);
  // The loader's order: names (by their upper case) before numbers.
  const std::vector<size_t> order = {0, 2, 1, 3, 4, 5};
  ASSERT_EQ(back.size(), order.size());
  for (size_t k = 0; k < order.size(); ++k) {
    const Resource &want = resources[order[k]];
    EXPECT_TRUE(back[k].type == want.type && back[k].name == want.name) << k;
    EXPECT_EQ(back[k].language, want.language) << k;
    EXPECT_EQ(back[k].codePage, 1251u) << k;
    EXPECT_EQ(back[k].data, want.data) << k;
    EXPECT_EQ(image.substr(back[k].fileOffset, want.data.size()), want.data);
  }
  // After the section's 0x200 bytes: it grows, and the headers say so.
  const size_t optional = 0x80 + 24;
  const size_t section = optional + 240;
  const uint32_t virtualSize = ReadLE(image, section + 8, 4);
  EXPECT_EQ(image.substr(0x400, 0x200), std::string(0x200, 'T'));
  EXPECT_EQ(ReadLE(image, optional + 112 + 16, 4), 0x1200u); // the directory
  EXPECT_EQ(virtualSize, 0x200 + ReadLE(image, optional + 112 + 20, 4));
  EXPECT_EQ(ReadLE(image, section + 16, 4),
            (virtualSize + 0x1FF) / 0x200 * 0x200);
  EXPECT_EQ(image.size(), 0x400 + ReadLE(image, section + 16, 4));
  EXPECT_EQ(ReadLE(image, optional + 56, 4),
            0x1000 + (virtualSize + 0xFFF) / 0x1000 * 0x1000);
  EXPECT_EQ(ReadLE(image, optional + 64, 4), 0u); // the checksum
  EXPECT_EQ(ReadLE(image, section + 36, 4) & 0x40000040u, 0x40000040u);
}

// A package's language goes into the version resource's directory entry
// where it stands: rebuilding the tree after the last section would add a
// copy of every resource (some 4 KB) to every package.
TEST(PeResources, TheVersionsLanguageChangesInPlace) {
  std::string image = ImageWithASection();
  tools::WriteResources(image, {Res({10, {}}, {101, {}}, 1033, "picture"),
                                Res({tools::kRtVersion, {}}, {1, {}}, 1033,
                                    std::string(92, 'v'))});
  const std::string before = image;
  tools::SetVersionLanguage(image, 1033);
  EXPECT_EQ(image, before);
  tools::SetVersionLanguage(image, 1049);
  ASSERT_EQ(image.size(), before.size());
  size_t differing = 0;
  for (size_t k = 0; k < image.size(); ++k)
    differing += image[k] != before[k];
  EXPECT_EQ(differing, 1u); // 0x0409 to 0x0419
  const std::vector<Resource> back = tools::ReadResources(image);
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].language, 1033);
  EXPECT_EQ(back[0].data, "picture");
  EXPECT_EQ(back[1].language, 1049);
  EXPECT_EQ(back[1].data, std::string(92, 'v'));
}

TEST(PeResources, WhatCannotHoldATreeIsRefusedUnchanged) {
  std::string signed_ = ImageWithASection() + "signature";
  std::string noSection = pkgbuild::MinimalPe();
  // A file alignment of nearly 2 GiB would pad the section up to it.
  std::string hugeAlignment = ImageWithASection();
  WriteLE(hugeAlignment, 0x80 + 24 + 36, 0x7E000200, 4);
  for (std::string *image : {&signed_, &noSection, &hugeAlignment}) {
    const std::string before = *image;
    EXPECT_NE(
        testsupport::ToolErrorText([&] { tools::WriteResources(*image, {}); }),
        "");
    EXPECT_EQ(*image, before);
  }
  EXPECT_NE(testsupport::ToolErrorText([&] { tools::ReadResources("MZ"); }),
            "");
  // An e_lfanew of 0xFFFFFFFC does not wrap round to the 4 bytes before
  // the image (here a PE signature).
  std::string behind = std::string("PE\0\0", 4) + pkgbuild::MinimalPe();
  WriteLE(behind, 4 + 0x3C, 0xFFFFFFFC, 4);
  EXPECT_NE(testsupport::ToolErrorText([&] {
              tools::ReadResources(std::string_view(behind).substr(4));
            }).find("no PE header"),
            std::string::npos);
  // A tree whose section claims more raw data than the file holds.
  std::string image = ImageWithASection();
  tools::WriteResources(image, {Res({10, {}}, {1, {}}, 0, "data")});
  image.resize(0x600 + 0x10); // the tree begins at 0x600
  EXPECT_NE(testsupport::ToolErrorText([&] { tools::ReadResources(image); }),
            "");
}

// Directories shared by a crafted tree name the same data over and over
// (a 68 KB image named 4 GB so): more data than the image holds is refused.
TEST(PeResources, ATreeThatNamesMoreDataThanTheImageIsRefused) {
  std::string image = ImageWithASection();
  tools::WriteResources(
      image, {Res({1, {}}, {1, {}}, 0, std::string(0x3000, 'd')),
              Res({2, {}}, {1, {}}, 0, "b"), Res({3, {}}, {1, {}}, 0, "c")});
  ASSERT_EQ(tools::ReadResources(image).size(), 3u);
  // The root's entries (at 0x610, 8 bytes each) all lead to type 1's names.
  for (const size_t entry : {0x618, 0x620})
    WriteLE(image, entry + 4, ReadLE(image, 0x614, 4), 4);
  EXPECT_NE(testsupport::ToolErrorText([&] {
              tools::ReadResources(image);
            }).find("names more data than the image holds"),
            std::string::npos);
}

TEST(ProgramIcon, ReplacedWithEveryOtherResourceKept) {
  std::string image = ImageWithASection();
  std::string oldGroup(6 + 2 * 14, '\0');
  WriteLE(oldGroup, 2, 1, 2);
  WriteLE(oldGroup, 4, 2, 2);
  WriteLE(oldGroup, 6 + 12, 1, 2);
  WriteLE(oldGroup, 6 + 14 + 12, 2, 2);
  tools::WriteResources(
      image, {Res({tools::kRtIcon, {}}, {1, {}}, 1033, Bitmap(32, 4)),
              Res({tools::kRtIcon, {}}, {2, {}}, 1033, Bitmap(16, 4)),
              Res({tools::kRtIcon, {}}, {3, {}}, 1033, "another icon's"),
              Res({tools::kRtGroupIcon, {}}, {1, {}}, 1033, oldGroup),
              Res({tools::kRtVersion, {}}, {1, {}}, 1033, "version")});
  EXPECT_EQ(tools::DescribeIcon(tools::ReadProgramIcon(image)),
            "32 x 32 4-bit, 16 x 16 4-bit");

  const auto icon = tools::ParseIcon(IconFile({Png(256), Bitmap(48, 32)}));
  tools::PutIcon(image, icon);
  const auto back = tools::ReadProgramIcon(image);
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].data, icon[0].data);
  EXPECT_EQ(back[0].bitCount, 32); // the PNG's own depth where 0 was given
  EXPECT_EQ(back[0].planes, 1);
  EXPECT_EQ(back[1].data, icon[1].data);
  std::vector<std::string> kept;
  for (const Resource &r : tools::ReadResources(image))
    if (r.type.id != tools::kRtGroupIcon)
      kept.push_back(
          std::to_string(r.type.id) + "/" + std::to_string(r.name.id) + "/" +
          std::to_string(r.language) + ":" + std::to_string(r.data.size()));
  // The other icon keeps id 3; the new images take 1 and 2.
  EXPECT_EQ(kept, (std::vector<std::string>{
                      "3/1/1033:" + std::to_string(icon[0].data.size()),
                      "3/2/1033:" + std::to_string(icon[1].data.size()),
                      "3/3/1033:14", "16/1/1033:7"}));
}

} // namespace
