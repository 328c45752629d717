// The carve-out of a package whose manifest declares a compressed archive
// (package/stream_layout.h): it decodes while it copies, and the pack file
// it writes is the same PACK1 archive that a stored package carries.
#pragma once

#include <string>

#include "package/stream_layout.h"
#include "run/container.h"

namespace ui {
class Setup;
}

namespace mdl_main {

// Writes the raw archive of layout into a new file at packFile (nothing may
// be at that name), then closes it and the executable. The percentage
// counts the package bytes read, as CarveOut's counts those it copies, with
// the same yields. Never writes more than the declared raw length. A stream
// that does not decode to it, a CRC-32 that differs or ranges outside the
// package raise package::kErrPackageDamaged with the damaged sentence; the
// other failures raise as CarveOut's.
void CarveCompressed(const Container &exe, const package::StreamLayout &layout,
                     const std::string &packFile, ui::Setup &form);

} // namespace mdl_main
