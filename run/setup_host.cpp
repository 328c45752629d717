// The run's side of the progress window.
#include "run/setup_host.h"

#include "platform/files.h"
#include "platform/ui.h"
#include "run/install_script.h"
#include "run/mdl_main.h"
#include "run/run_texts.h"

namespace mdl_main {

namespace {

class Host final : public ui::SetupHost {
public:
  const std::string &EntryName() override { return Arch().DefFile(); }

  void AbortConfirmed() override {
    // Files still open (the executable and the pack file during the copy,
    // the archive and an entry during the unpacking) are closed first:
    // Windows does not delete a file that is open.
    platform::files::CloseAllQuietly();
    script::UndoOnAbort();
    RemoveTempFolder();
    RemovePackFile();
    platform::Ui().EndProgram(platform::exitcode::kAborted);
  }
};

} // namespace

ui::SetupTexts CurrentSetupTexts() {
  using package::Text;
  return {CurrentText(Text::Title),     CurrentText(Text::Preparing),
          CurrentText(Text::Unpacking), CurrentText(Text::Installing),
          CurrentText(Text::Progress),  CurrentText(Text::Abort)};
}

ui::SetupHost &RunSetupHost() {
  static Host host;
  return host;
}

void LoadSetup(ui::Setup &form) {
  form.Load(CurrentSetupTexts(), RunSetupHost());
}

} // namespace mdl_main
