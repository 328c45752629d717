// Carrying out the install script (package/script_record.h) record by
// record.
#pragma once

namespace mdl_main::script {

// Carries out TempFolder\script record by record, then, when the package's
// manifest declares it (longDeclared), the records of TempFolder\
// ~updpack.scr (package/long_records.h). A missing script file in an
// existing folder counts as empty; a missing folder and every failing
// operation raise, with the records before it carried out; a declared
// long script that is missing or ends inside a record raises
// package::kErrPackageDamaged.
void RunInstallScript(bool longDeclared = false);

} // namespace mdl_main::script
