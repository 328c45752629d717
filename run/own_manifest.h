// The run's own manifest (package/manifest.h), read from its executable
// before the first question: the texts it shows, whether the package
// carries the checksum entry, and whether the package is whole.
#pragma once

#include <string>

#include "package/stream_layout.h"

namespace mdl_main {

// Reads the manifest of the running package and puts its texts into
// effect: the package's own, or for a package without one (the base
// format) the shipped texts, which add no damaged sentence. Returns
// whether the package declares the checksum entry.
//
// Raises package::kErrPackageDamaged, with the damaged sentence, for a
// damaged manifest (after putting build's defaults into effect) and for a
// package whose length is not the one its manifest declares (with the
// package's own texts). An executable that cannot be read here counts as
// one without a manifest: the run's own step reports it.
//
// A layout of the archive that no writer makes (package/stream_layout.h)
// is damage too.
bool LoadOwnManifest();

// Raises package::kErrPackageDamaged: description, then the damaged
// sentence.
[[noreturn]] void RaiseDamaged(std::string description);

// How the package carries its archive, as LoadOwnManifest found it: stored
// unless its manifest declares otherwise.
const package::StreamLayout &OwnStreamLayout();

} // namespace mdl_main
