// Carrying out the install script (package/script_record.h) record by
// record.
#pragma once

#include <cstdint>
#include <vector>

namespace mdl_main::script {

// Carries out TempFolder\script record by record, then, when the package's
// manifest declares it (longDeclared), the records of TempFolder\
// ~updpack.scr (package/long_records.h). A missing script file in an
// existing folder counts as empty; a missing folder and every failing
// operation raise, with the records before it carried out; a declared
// long script that is missing or ends inside a record raises
// package::kErrPackageDamaged. Records marked in skip (0-based, counted
// through both entries) are read and not carried out: their effect is
// there.
void RunInstallScript(const std::vector<uint8_t> &skip = {},
                      bool longDeclared = false);

} // namespace mdl_main::script
