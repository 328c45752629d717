// The check of the installed product before the install script changes
// anything (packages with a manifest only): whether the update is applied
// already, whether the product is the version it is for (each file in its
// old form or already its new one), and whether a file to replace or
// delete is in use.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ui {
class Setup;
}

namespace mdl_main::preflight {

enum class Outcome {
  Go,          // install, skipping the records marked
  UpToDate,    // every record's effect is there already
  NotExpected, // message: another version is installed
  WrongFolder, // message: none of the product's files is here
  InUse,       // a file in use, and the user cancelled
};

struct Decision {
  Outcome outcome = Outcome::Go;
  // Go: records (in script order, 0-based) whose effect is there already.
  std::vector<uint8_t> skip; // 1: skip
  std::string message;       // NotExpected and WrongFolder: the text to show
};

// Reads TempFolder's script (and its long script entry when declared,
// longDeclared) and, when declared, its expected state
// (package/expected_state.h; declared and missing is a damaged package),
// and judges every record in order against the program folder as the
// records before it would leave it; then asks Retry/Cancel while a file
// that the install replaces or deletes is in use. Yields as it reads, with
// form's status line saying what it does. forVersion: the version the
// update is for, "" when the package names none.
Decision Check(ui::Setup &form, bool expectDeclared, bool longDeclared,
               const std::string &forVersion);

} // namespace mdl_main::preflight
