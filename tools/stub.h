// The program image every package starts with: the one installed with the
// tool, and the check that a file is a PE image at all.
#pragma once

#include <string>
#include <string_view>

namespace tools {

// Name of the stub installed with the tool.
inline constexpr const char *kStubFileName = "updpack-stub.exe";

// The stub beside the running tool, or in ../share/updpack/ from its
// folder. Raises ToolError naming both places when neither holds one.
std::string DefaultStubPath();

// The stub given with --stub, or the default one when none was given;
// raises ToolError unless it is a PE image.
std::string ResolveStub(const std::string &given);

// Raises ToolError unless the file begins with "MZ" and the 32-bit offset
// at 0x3C (e_lfanew) points, inside the file, at "PE\0\0", and the file
// ends where the image's headers say the image ends (CheckImageEnd).
void CheckPeImage(const std::string &path);

// Raises ToolError, naming path, unless image ends exactly where its
// headers say the image ends: build puts the manifest there, where the run
// looks for it, so a stub with bytes after its image (a signature,
// appended data) or one cut short cannot take it.
void CheckImageEnd(std::string_view image, const std::string &path);

// Clears the security directory's entry of a stub's image. A stub that
// CheckImageEnd takes holds no certificate table, so an entry left there
// (a signature cut off the stub) would name bytes of the package as one:
// verify would call the package faulty and Windows its signature broken.
void ClearCertificateEntry(std::string &image);

} // namespace tools
