// Joining a program image and a PACK1 archive into a package: the stub,
// the archive, then a 4-byte little-endian trailer holding the 1-based
// position of the archive's first byte.
#pragma once

#include <string>

namespace tools {

// Writes the package at outputPath under a temporary name, renamed into
// place when complete. Raises ToolError when the stub is not a PE image,
// the archive does not begin with PACK1 or does not parse, the output
// would overwrite an input, or the package would reach 2 GiB.
void WritePackage(const std::string &stubPath, const std::string &archivePath,
                  const std::string &outputPath);

} // namespace tools
