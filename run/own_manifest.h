// The run's own manifest (package/manifest.h), read from its executable
// before the first question: the texts it shows, whether the package
// carries the checksum entry, and whether the package is whole.
#pragma once

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
bool LoadOwnManifest();

// True when the executable holds an intact manifest: the package is one
// of ours, and its install applies completely or not at all. Read again
// when LoadOwnManifest could not read it; raises when it still cannot.
bool HasOwnManifest();

} // namespace mdl_main
