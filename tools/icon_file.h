// Icon files (.ico) as `updpack build --icon` takes them: the directory and
// the images it points at, checked; any sizes and depths, bitmaps and
// PNG-compressed images alike.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tools {

// One image with its directory entry as the file (and an RT_GROUP_ICON
// resource) has it.
struct IconImage {
  uint8_t width = 0;  // 0 means 256
  uint8_t height = 0; // 0 means 256
  uint8_t colours = 0;
  uint8_t reserved = 0;
  uint16_t planes = 0;
  uint16_t bitCount = 0;
  std::string data; // a BITMAPINFOHEADER image or a PNG file
};

// What an image holds, read from its own header (not from the directory).
struct IconShape {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bits = 0; // per pixel
  bool png = false;
};
// Raises ToolError saying what is wrong when data is neither a PNG nor a
// bitmap with a header that fits.
IconShape ShapeOf(std::string_view data);

// The images of an icon file's bytes. Raises ToolError saying what is wrong:
// a header that is not an icon's, no image, an image of size 0 or out of
// the file, an image that is neither a PNG nor a bitmap.
std::vector<IconImage> ParseIcon(std::string_view bytes);
// The same for the file at path; the message names the file.
std::vector<IconImage> ReadIconFile(const std::string &path);

// "256 x 256 32-bit PNG, 32 x 32 4-bit": each image's size and depth.
std::string DescribeIcon(const std::vector<IconImage> &images);

} // namespace tools
