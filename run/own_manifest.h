// The run's own manifest (package/manifest.h), read from its executable
// before the first question: the texts it shows, whether the package
// carries the checksum entry, and whether the package is whole.
#pragma once

#include <string>

namespace mdl_main {

// What the manifest says of the package, beyond its texts.
struct OwnFacts {
  bool manifest = false;  // an intact manifest: the package's own behaviour
  bool sums = false;      // it declares the checksum entry
  bool expect = false;    // it declares the expected state
  std::string forVersion; // the version the update is for; empty: not named
};

// Reads the manifest of the running package and puts its texts into
// effect: the package's own, or for a package without one (the base
// format) the shipped texts, which add no damaged sentence. Texts a
// manifest lacks are build's defaults for its product and version.
//
// Raises package::kErrPackageDamaged, with the damaged sentence, for a
// damaged manifest (after putting build's defaults into effect) and for a
// package whose length is not the one its manifest declares (with the
// package's own texts). An executable that cannot be read here counts as
// one without a manifest: the run's own step reports it.
OwnFacts LoadOwnManifest();

} // namespace mdl_main
