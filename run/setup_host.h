// The run's side of the progress window (ui::SetupHost) and the texts it
// shows.
#pragma once

#include "ui/Setup.h"

namespace mdl_main {

// The window's texts among the run's current ones.
ui::SetupTexts CurrentSetupTexts();

// The host of the run's window: the entry name is Arch().DefFile() at every
// tick; a confirmed abort closes every file quietly (Windows deletes no
// open file), undoes an install under way (script::UndoOnAbort), removes the
// temporary folder and the pack file, and ends the program with
// exitcode::kAborted.
ui::SetupHost &RunSetupHost();

// Loads form hidden with the current texts and the run as its host.
void LoadSetup(ui::Setup &form);

} // namespace mdl_main
