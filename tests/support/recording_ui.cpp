// The recording UI and the fixture of the archive tests.
#include "tests/support/recording_ui.h"

#include "platform/files.h"

namespace archtest {

std::ostream &operator<<(std::ostream &out, const Snapshot &s) {
  return out << "{" << s.mode << ", \"" << s.file << "\", " << s.seek << ", "
             << s.full << "}";
}

Snapshot SnapshotOf(const archive::cls_arch &arch) {
  return {arch.ActionMode(), arch.DefFile(), arch.DefSeek(), arch.FullSeek()};
}

int32_t RecordingUi::OnYield() {
  if (arch)
    seen.push_back(SnapshotOf(*arch));
  return ScriptedUi::OnYield();
}

void ArchFixture::SetUp() {
  platform::files::CloseAllQuietly();
  ui_.arch = &arch_;
}

void ArchFixture::TearDown() { platform::files::CloseAllQuietly(); }

} // namespace archtest
