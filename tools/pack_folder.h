// The engine's Pack run from the tool: a progress line on the terminal and
// Ctrl-C as the cancel request.
#pragma once

#include <cstdint>
#include <string>

namespace tools {

// Packs the ordinary files of folder into the archive at archivePath with
// the engine's Pack. Raises what Pack raises (a cancel included).
void PackWithProgress(const std::string &folder, const std::string &archivePath,
                      uint8_t compression = 0);

} // namespace tools
