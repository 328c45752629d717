// The run's check of the extracted files against the package's checksum
// entry (package/checksums.h), after the extraction and before a single
// record of the install script is carried out, so that a damaged download
// never installs. A package without the entry runs as before.
#pragma once

#include <cstdint>
#include <string>

namespace ui {
class Setup;
}

namespace mdl_main::sums {

// When folder holds the checksum entry, every file it lists must be in
// folder with its length and CRC-32; when the package declared the entry
// (declared), folder must hold it. Raises package::kErrPackageDamaged
// naming the first file that is missing or differs, with the damaged
// sentence of the run's texts. Reads through the numbered-file table (an
// abort inside a yield closes them all) and yields as it goes, as the
// extraction does; form's timer shows the file being checked.
//
// The message names the file that the entry installs
// (run/installed_names.h), looked up in the script entries (the long one
// when longDeclared).
//
// The lengths the entry lists may come to listedAtMost bytes together (what
// the extraction wrote, as build lists each file once); a list that names
// more is damaged, so that the check never reads more than that, however
// often a line names one large file.
//
// Only a package with a manifest is checked: in one of the base format the
// entry's name is a file's like any other.
void VerifyFolder(const std::string &folder, bool declared,
                  int64_t listedAtMost, ui::Setup &form,
                  bool longDeclared = false);

} // namespace mdl_main::sums
