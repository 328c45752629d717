// An entry of the temporary folder read whole: the small entries of the
// tool (the script, the expected state, the times) that the run reads
// before or beside the install.
#pragma once

#include <string>

namespace mdl_main {

// Reads the file name of TempFolder into bytes, from the folder held since
// it was found to be the user's own; false, with bytes empty, when it is
// not there. One larger than package::kMaxOwnEntryBytes, which no package
// of ours holds, raises package::kErrPackageDamaged naming it.
bool ReadTempEntry(const char *name, std::string &bytes);

} // namespace mdl_main
