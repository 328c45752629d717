// The texts of this run: the package's own ones (package/texts.h) once the
// run has read its manifest, the shipped ones until then.
#pragma once

#include <string>

#include "package/texts.h"
#include "platform/error.h"

namespace mdl_main {

// A text of this run (PlainTexts() until SetTexts).
const std::string &CurrentText(package::Text text);
// Changes them all, which also gives every message box its caption.
void SetTexts(const package::Texts &texts);

// description, then on a line of its own the current damaged sentence; the
// description alone when there is none (a package without a manifest).
std::string WithDamagedSentence(std::string description);
// Raises error once more, with the damaged sentence after its description.
[[noreturn]] void RaiseWithDamagedSentence(const platform::Error &error);

} // namespace mdl_main
