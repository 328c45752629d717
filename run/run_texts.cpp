// The texts of this run.
#include "run/run_texts.h"

#include "platform/ui.h"

namespace mdl_main {

namespace {

package::Texts &Current() {
  static package::Texts texts = package::PlainTexts();
  return texts;
}

} // namespace

const std::string &CurrentText(package::Text text) {
  return package::TextOf(Current(), text);
}

void SetTexts(const package::Texts &texts) {
  Current() = texts;
  platform::SetProgramTitle(CurrentText(package::Text::Caption));
}

std::string WithDamagedSentence(std::string description) {
  const std::string &sentence = CurrentText(package::Text::Damaged);
  if (!sentence.empty()) {
    description += "\r\n";
    description += sentence;
  }
  return description;
}

void RaiseWithDamagedSentence(const platform::Error &error) {
  throw platform::Error(error.Number(),
                        WithDamagedSentence(error.Description()));
}

} // namespace mdl_main
