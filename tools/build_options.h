// The options of `build` that say what goes into the package besides its
// files: one table, which `diff --build` takes whole.
#pragma once

#include <string>
#include <vector>

#include "tools/cli.h"
#include "tools/package_writer.h"

namespace tools {

// --stub, --product, --version, --company, --copyright, --texts, --icon,
// --codepage, --lang.
const std::vector<OptionSpec> &PackageOptions();

// The usage lines of those options, for `updpack help build` and `diff`.
std::string PackageOptionsHelp();

// The package written at path as those options of args ask, its stub
// found, its icon read and the image checked (CheckImage) before anything
// is packed. Raises UsageError and ToolError for what they ask wrongly.
PackageOutput PackageOutputOf(const Args &args, const std::string &path);

} // namespace tools
