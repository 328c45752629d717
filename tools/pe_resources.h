// The resources of a PE program image as a flat list, read from the tree
// that the resource data directory names and written back as a new tree.
// The new tree goes into the image's last section (in place of the old one
// when that section holds only it), which grows as needed; the headers
// follow (the section's sizes, SizeOfImage, the data directory) and the
// checksum field becomes 0.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tools {

// Resource types, as the PE format numbers them.
inline constexpr uint16_t kRtIcon = 3;
inline constexpr uint16_t kRtGroupIcon = 14;
inline constexpr uint16_t kRtVersion = 16;

// A type or a name: a number, or a UTF-16 string when name is not empty.
struct ResourceId {
  uint16_t id = 0;
  std::u16string name;
  bool operator==(const ResourceId &) const = default;
};

struct Resource {
  ResourceId type;
  ResourceId name;
  uint16_t language = 0;
  uint32_t codePage = 0;
  std::string data;
  size_t fileOffset = 0; // where ReadResources found the data
  // Where ReadResources found its entry in its name's directory of
  // languages, and how many entries that directory has.
  size_t languageEntry = 0;
  size_t languageCount = 0;
};

// Every resource of the image, in the tree's order; empty when the image
// has none. Raises ToolError for a tree that does not parse or data
// outside the image.
std::vector<Resource> ReadResources(std::string_view image);

// Replaces the image's resources with resources (see the top of the file).
// Raises ToolError, before anything changes, for headers that do not
// parse, bytes after the last section (a signature) or an image that
// would reach 2 GiB.
void WriteResources(std::string &image, const std::vector<Resource> &resources);

} // namespace tools
