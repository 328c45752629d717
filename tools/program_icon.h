// The program's icon in a package's program image: the RT_GROUP_ICON that
// the program loads for its window (IDI_PROGRAM, also the icon Explorer
// shows for the file) and the RT_ICON images it names.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tools/icon_file.h"

namespace tools {

// Puts images in place of the program's icon; every other resource stays.
// Raises ToolError as WriteResources does.
void PutIcon(std::string &image, const std::vector<IconImage> &images);

// The images of the program's icon; empty when the image has none. Raises
// ToolError for resources that do not parse.
std::vector<IconImage> ReadProgramIcon(std::string_view image);

} // namespace tools
