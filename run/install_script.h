// Carrying out the install script (package/script_record.h) record by
// record.
#pragma once

#include <cstdint>
#include <vector>

namespace mdl_main::script {

// Carries out TempFolder\script record by record. A missing script file in
// an existing folder counts as empty; a missing folder and every failing
// operation raise, with the records before it carried out. Records marked
// in skip (0-based) are read and not carried out: their effect is there.
void RunInstallScript(const std::vector<uint8_t> &skip = {});

} // namespace mdl_main::script
