// Writing and reading the program's icon resources.
#include "tools/program_icon.h"

#include <algorithm>
#include <set>

#include "package/coding.h"
#include "platform/win32/resource.h"
#include "tools/cli.h"
#include "tools/pe_resources.h"

namespace tools {

using package::ReadLE;
using package::WriteLE;

namespace {

// GRPICONDIR: reserved 0, type 1, count; then one 14-byte GRPICONDIRENTRY
// each: the file's directory entry, with the RT_ICON's id in place of the
// image's offset.
constexpr size_t kGroupHeader = 6;
constexpr size_t kGroupEntry = 14;
constexpr size_t kGroupEntryId = 12;

bool IsProgramGroup(const Resource &r) {
  return r.type == ResourceId{kRtGroupIcon, {}} &&
         r.name == ResourceId{IDI_PROGRAM, {}};
}

// The ids of the RT_ICON images a group names.
std::vector<uint16_t> GroupIds(std::string_view group) {
  std::vector<uint16_t> ids;
  const size_t count = group.size() >= kGroupHeader ? ReadLE(group, 4, 2) : 0;
  for (size_t k = 0; k < count; ++k) {
    const size_t entry = kGroupHeader + k * kGroupEntry;
    if (entry + kGroupEntry > group.size())
      break;
    ids.push_back(
        static_cast<uint16_t>(ReadLE(group, entry + kGroupEntryId, 2)));
  }
  return ids;
}

} // namespace

void PutIcon(std::string &image, const std::vector<IconImage> &images) {
  std::vector<Resource> resources = ReadResources(image);
  const auto group =
      std::find_if(resources.begin(), resources.end(), IsProgramGroup);
  Resource added;
  added.language = group != resources.end() ? group->language : 0;
  // The old group and the images it names go; other icons keep their ids.
  const std::vector<uint16_t> oldIds = group != resources.end()
                                           ? GroupIds(group->data)
                                           : std::vector<uint16_t>{};
  std::erase_if(resources, [&](const Resource &r) {
    return IsProgramGroup(r) ||
           (r.type == ResourceId{kRtIcon, {}} && r.name.name.empty() &&
            std::count(oldIds.begin(), oldIds.end(), r.name.id));
  });
  std::set<uint16_t> taken;
  for (const Resource &r : resources)
    if (r.type == ResourceId{kRtIcon, {}} && r.name.name.empty())
      taken.insert(r.name.id);

  std::string groupData(kGroupHeader, '\0');
  WriteLE(groupData, 2, 1, 2);
  WriteLE(groupData, 4, static_cast<uint32_t>(images.size()), 2);
  uint32_t id = 0;
  for (const IconImage &icon : images) {
    do {
      if (++id > 0xFFFF)
        throw ToolError("the program image has no icon id left");
    } while (taken.count(static_cast<uint16_t>(id)));
    Resource resource = added;
    resource.type = {kRtIcon, {}};
    resource.name = {static_cast<uint16_t>(id), {}};
    resource.data = icon.data;
    resources.push_back(std::move(resource));
    // A directory that leaves planes and depth out (common for PNG images)
    // gets them from the image itself.
    const size_t entry = groupData.size();
    groupData.resize(entry + kGroupEntry, '\0');
    WriteLE(groupData, entry, icon.width, 1);
    WriteLE(groupData, entry + 1, icon.height, 1);
    WriteLE(groupData, entry + 2, icon.colours, 1);
    WriteLE(groupData, entry + 4, icon.planes ? icon.planes : 1, 2);
    WriteLE(groupData, entry + 6,
            icon.bitCount ? icon.bitCount : ShapeOf(icon.data).bits, 2);
    WriteLE(groupData, entry + 8, static_cast<uint32_t>(icon.data.size()), 4);
    WriteLE(groupData, entry + kGroupEntryId, id, 2);
  }
  added.type = {kRtGroupIcon, {}};
  added.name = {IDI_PROGRAM, {}};
  added.data = std::move(groupData);
  resources.push_back(std::move(added));
  WriteResources(image, resources);
}

std::vector<IconImage> ReadProgramIcon(std::string_view image) {
  const std::vector<Resource> resources = ReadResources(image);
  const auto group =
      std::find_if(resources.begin(), resources.end(), IsProgramGroup);
  std::vector<IconImage> images;
  if (group == resources.end())
    return images;
  const std::vector<uint16_t> ids = GroupIds(group->data);
  for (size_t k = 0; k < ids.size(); ++k) {
    const size_t entry = kGroupHeader + k * kGroupEntry;
    const auto found = std::find_if(
        resources.begin(), resources.end(), [&](const Resource &r) {
          return r.type == ResourceId{kRtIcon, {}} &&
                 r.name == ResourceId{ids[k], {}};
        });
    if (found == resources.end())
      throw ToolError("the program's icon names an image it does not hold");
    IconImage icon;
    icon.width = static_cast<uint8_t>(ReadLE(group->data, entry, 1));
    icon.height = static_cast<uint8_t>(ReadLE(group->data, entry + 1, 1));
    icon.colours = static_cast<uint8_t>(ReadLE(group->data, entry + 2, 1));
    icon.planes = static_cast<uint16_t>(ReadLE(group->data, entry + 4, 2));
    icon.bitCount = static_cast<uint16_t>(ReadLE(group->data, entry + 6, 2));
    icon.data = found->data;
    images.push_back(std::move(icon));
  }
  return images;
}

} // namespace tools
