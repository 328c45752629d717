// The block of texts that `updpack build` fills in the program image.
#pragma once

namespace stub {

// Puts the texts of the block into effect for the run; a block left empty
// (or one that does not parse) keeps the defaults.
void UseOwnTexts();

} // namespace stub
