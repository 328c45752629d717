// Carrying out the install script (package/script_record.h) record by
// record.
#pragma once

namespace mdl_main::script {

// Carries out TempFolder\script record by record. A missing script file in
// an existing folder counts as empty; a missing folder and every failing
// operation raise, with the records before it carried out.
void RunInstallScript();

} // namespace mdl_main::script
