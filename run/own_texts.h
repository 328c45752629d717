// The run's own texts (package/texts.h), read from its executable before
// the first question.
#pragma once

namespace mdl_main {

// What a package says of itself in its texts.
struct PackageTexts {
  bool own = false;  // it has texts of its own
  bool sums = false; // it declares the checksum entry
};

// Puts the package's own texts into effect for the run, read from its own
// executable: right before the archive that the trailer names, or, when
// the trailer is damaged, right after the program image. A package without
// them, or one that cannot be read here, shows PlainTexts() (a run that
// then fails to read its executable says so in its own step).
PackageTexts LoadPackageTexts();

} // namespace mdl_main
