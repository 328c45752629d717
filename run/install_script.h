// Carrying out the install script (package/script_record.h) record by
// record.
#pragma once

#include <cstdint>
#include <vector>

namespace mdl_main::script {

// Carries out TempFolder\script record by record, then, when the package's
// manifest declares it (longDeclared), the records of the long script
// entry TempFolder\~updpack.scr (package/long_records.h). A missing script file
// in an existing folder counts as empty; a missing folder and every failing
// operation raise, with the records before it carried out; a declared
// long script that is missing or ends inside a record raises
// package::kErrPackageDamaged. Records marked in skip (0-based, counted
// through both entries) are read and not carried out: their effect is
// there.
//
// undoable (a package with a manifest): every record is a step of a
// transaction (run/transaction.h) and the run yields after each, so that
// the window repaints and can be closed. A failure undoes every step and
// raises the failure as the product left as it was, or naming what could
// not be restored; success removes the backup areas.
//
// timesDeclared (the manifest declares package/file_times.h's entry): each
// file a copy installs from {temp}\NAME gets the time recorded for NAME;
// the entry missing or damaged raises package::kErrPackageDamaged before
// the first record.
void RunInstallScript(const std::vector<uint8_t> &skip = {},
                      bool longDeclared = false, bool undoable = false,
                      bool timesDeclared = false);

// Called when the user confirms the abort: undoes the steps of a running
// undoable install, and shows the files that could not be restored, if
// any. Nothing to do at any other time.
void UndoOnAbort();

} // namespace mdl_main::script
