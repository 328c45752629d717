// The text block of the program image: `updpack build` finds it by its
// magic in the image's file and fills it.
#include "stub/text_block.h"

#include <string>

#include "run/texts.h"

// volatile: what counts is what the file holds when the program starts, not
// the blank block it was compiled with. The initializer is the block's only
// copy of its magic, so build finds one block in the image.
extern "C" __attribute__((
    used)) volatile const char updpack_text_block[mdl_main::kTextBlockSize] =
    "updpack texts v1";

namespace stub {

void UseOwnTexts() {
  std::string block(mdl_main::kTextBlockSize, '\0');
  for (size_t i = 0; i < block.size(); ++i)
    block[i] = updpack_text_block[i];
  mdl_main::Texts texts;
  if (mdl_main::ApplyTextPayload(
          mdl_main::TextPayload(std::string_view(block).substr(
              sizeof mdl_main::kTextBlockMagic - 1)),
          texts))
    mdl_main::SetTexts(texts);
}

} // namespace stub
