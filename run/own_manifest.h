// The run's own manifest (package/manifest.h), read from its executable
// before the first question: the texts it shows, whether the package
// carries the checksum entry, and whether the package is whole.
#pragma once

#include <string>

#include "package/stream_layout.h"

namespace mdl_main {

// What the manifest says of the running package.
struct OwnManifest {
  bool ours = false;         // it carries one, intact or damaged
  bool sumsDeclared = false; // it declares the checksum entry
  bool longScript = false;   // it declares the long script entry
  bool expect = false;       // it declares the expected state
  bool times = false;        // it declares the payload's times
  std::string forVersion;    // the version the update is for; empty: not named
  int codePage = 0;          // the code page of its names; 0: the system's
  package::StreamLayout layout; // how it carries its archive: stored unless
                                // the manifest declares otherwise
  std::string damage; // what is wrong, with the damaged sentence; "" if whole
};

// Reads the manifest of the running package and puts its texts into
// effect: the package's own, or for a package without one (the base
// format) the shipped texts, which add no damaged sentence. Texts a
// manifest lacks are build's defaults for its product and version. Returns
// what it found. A layout of the archive that no writer makes
// (package/stream_layout.h) is damage too.
//
// damage names a damaged manifest (build's defaults are then in effect) and
// a package whose length is not the one its manifest declares (with the
// package's own texts); RaiseDamage raises it. An executable that cannot be
// read here counts as one without a manifest: the run's own step reports it.
OwnManifest LoadOwnManifest();
// Raises package::kErrPackageDamaged with own.damage, when there is one;
// then puts the package's code page into effect: names in the catalog, the
// script and the checksum entry are read in it, whatever the system's is
// (raises when the system lacks it).
void RaiseDamage(const OwnManifest &own);

// Raises package::kErrPackageDamaged: description, then the damaged
// sentence.
[[noreturn]] void RaiseDamaged(std::string description);

// True when the executable holds an intact manifest: the package is one
// of ours, and its install applies completely or not at all. Read again
// when LoadOwnManifest could not read it; raises when it still cannot.
bool HasOwnManifest();

} // namespace mdl_main
