// The expected state (package/expected_state.h) of a compiled script
// against the installed old version of a product.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/script_compiler.h"
#include "tools/tool_os.h"

namespace tools {

// For every path under {app} that a record copies to, deletes, creates or
// removes (no wildcard), its state in oldDir as the records before it
// leave it: a file with its length and CRC-32, a folder, or nothing. Each
// path once, at its first record. The entry's bytes. Raises ToolError when
// such a file of oldDir is the output, which would replace it.
std::string
ExpectedStateOf(const std::vector<script_text::CompiledRecord> &records,
                const std::string &oldDir,
                const std::optional<os::FileId> &output = std::nullopt);

} // namespace tools
