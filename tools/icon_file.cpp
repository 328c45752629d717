// Reading and checking icon files.
#include "tools/icon_file.h"

#include "package/coding.h"
#include "tools/cli.h"
#include "tools/file_io.h"

namespace tools {

using package::ReadLE;

namespace {

// ICONDIR: reserved 0, type 1, count; then one 16-byte ICONDIRENTRY each:
// width, height, colours, reserved, planes, bit count, bytes, offset.
constexpr size_t kDirectorySize = 6;
constexpr size_t kEntrySize = 16;
constexpr uint16_t kIconType = 1;
// The largest icon file taken: far beyond any real one.
constexpr size_t kMaxIconFile = size_t{16} * 1024 * 1024;

constexpr std::string_view kPngSignature("\x89PNG\r\n\x1a\n", 8);
// The IHDR chunk follows the signature: length, "IHDR", width, height,
// bit depth, colour type.
constexpr size_t kPngIhdrType = 12;
constexpr size_t kPngWidth = 16;
constexpr size_t kPngHeight = 20;
constexpr size_t kPngBitDepth = 24;
constexpr size_t kPngColourType = 25;
// BITMAPINFOHEADER: biSize, biWidth, biHeight (both masks), biPlanes,
// biBitCount.
constexpr size_t kBmpMinHeader = 40;
constexpr size_t kBmpWidth = 4;
constexpr size_t kBmpHeight = 8;
constexpr size_t kBmpPlanes = 12;
constexpr size_t kBmpBitCount = 14;

uint32_t GetBE32(std::string_view bytes, size_t offset) {
  return ReadLE(bytes, offset + 3, 1) | ReadLE(bytes, offset + 2, 1) << 8 |
         ReadLE(bytes, offset + 1, 1) << 16 | ReadLE(bytes, offset, 1) << 24;
}

// Channels of a PNG colour type: grey, -, RGB, palette, grey + alpha, -,
// RGBA.
uint32_t PngChannels(uint32_t colourType) {
  constexpr uint32_t kChannels[] = {1, 0, 3, 1, 2, 0, 4};
  return colourType < 7 ? kChannels[colourType] : 0;
}

} // namespace

IconShape ShapeOf(std::string_view data) {
  IconShape shape;
  if (data.substr(0, kPngSignature.size()) == kPngSignature) {
    if (data.size() <= kPngColourType || data.substr(kPngIhdrType, 4) != "IHDR")
      throw ToolError("a PNG image without its header");
    shape.png = true;
    shape.width = GetBE32(data, kPngWidth);
    shape.height = GetBE32(data, kPngHeight);
    shape.bits = ReadLE(data, kPngBitDepth, 1) *
                 PngChannels(ReadLE(data, kPngColourType, 1));
  } else {
    if (data.size() < kBmpMinHeader || ReadLE(data, 0, 4) < kBmpMinHeader ||
        ReadLE(data, 0, 4) > data.size())
      throw ToolError("an image that is neither a PNG nor a bitmap");
    shape.width = ReadLE(data, kBmpWidth, 4);
    shape.height =
        ReadLE(data, kBmpHeight, 4) / 2; // the colours, then the mask
    shape.bits = ReadLE(data, kBmpPlanes, 2) * ReadLE(data, kBmpBitCount, 2);
  }
  if (shape.width == 0 || shape.height == 0 || shape.bits == 0)
    throw ToolError("an image of no pixels or no colour depth");
  return shape;
}

std::vector<IconImage> ParseIcon(std::string_view bytes) {
  if (bytes.size() < kDirectorySize || ReadLE(bytes, 0, 2) != 0 ||
      ReadLE(bytes, 2, 2) != kIconType)
    throw ToolError("not an icon file: it does not begin with 00 00 01 00");
  const size_t count = ReadLE(bytes, 4, 2);
  if (count == 0)
    throw ToolError("the icon holds no image");
  const size_t images = kDirectorySize + count * kEntrySize;
  if (images > bytes.size())
    throw ToolError("the directory of " + std::to_string(count) +
                    " images runs past the end of the file");
  std::vector<IconImage> icon;
  for (size_t k = 0; k < count; ++k) {
    const size_t entry = kDirectorySize + k * kEntrySize;
    const std::string which = "image " + std::to_string(k + 1);
    IconImage image;
    image.width = static_cast<uint8_t>(ReadLE(bytes, entry, 1));
    image.height = static_cast<uint8_t>(ReadLE(bytes, entry + 1, 1));
    image.colours = static_cast<uint8_t>(ReadLE(bytes, entry + 2, 1));
    image.reserved = static_cast<uint8_t>(ReadLE(bytes, entry + 3, 1));
    image.planes = static_cast<uint16_t>(ReadLE(bytes, entry + 4, 2));
    image.bitCount = static_cast<uint16_t>(ReadLE(bytes, entry + 6, 2));
    const size_t size = ReadLE(bytes, entry + 8, 4);
    const size_t offset = ReadLE(bytes, entry + 12, 4);
    if (size == 0)
      throw ToolError(which + " has a size of 0");
    if (offset < images || offset > bytes.size() ||
        size > bytes.size() - offset)
      throw ToolError(which + " (" + std::to_string(size) +
                      " bytes at offset " + std::to_string(offset) +
                      ") lies outside the file's images");
    image.data = std::string(bytes.substr(offset, size));
    try {
      ShapeOf(image.data);
    } catch (const ToolError &e) {
      throw ToolError(which + " is " + e.what());
    }
    icon.push_back(std::move(image));
  }
  return icon;
}

std::vector<IconImage> ReadIconFile(const std::string &path) {
  const OsFile file(path, platform::OpenMode::ReadOnly);
  if (file.Size() > static_cast<int64_t>(kMaxIconFile))
    throw ToolError(path + ": an icon file of " + std::to_string(file.Size()) +
                    " bytes; at most " + std::to_string(kMaxIconFile));
  std::string bytes(static_cast<size_t>(file.Size()), '\0');
  bytes.resize(file.ReadAt(0, bytes.data(), bytes.size()));
  try {
    return ParseIcon(bytes);
  } catch (const ToolError &e) {
    throw ToolError(path + ": " + e.what());
  }
}

std::string DescribeIcon(const std::vector<IconImage> &images) {
  std::string text;
  for (const IconImage &image : images) {
    if (!text.empty())
      text += ", ";
    try {
      const IconShape shape = ShapeOf(image.data);
      text += std::to_string(shape.width) + " x " +
              std::to_string(shape.height) + " " + std::to_string(shape.bits) +
              "-bit" + (shape.png ? " PNG" : "");
    } catch (const ToolError &e) {
      text += e.what();
    }
  }
  return text;
}

} // namespace tools
