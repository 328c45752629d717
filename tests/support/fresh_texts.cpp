// Every test starts with the texts and messages a run starts with: a run of
// a package with a manifest leaves its own in place, which would otherwise
// reach the next test when the whole binary runs in one process.
#include <gtest/gtest.h>

#include "package/texts.h"
#include "platform/messages.h"
#include "run/run_texts.h"

namespace {

class FreshTexts : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo &) override {
    mdl_main::SetTexts(package::PlainTexts());
    platform::ResetMsgTexts();
  }
};

const bool registered = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new FreshTexts);
  return true;
}();

} // namespace
