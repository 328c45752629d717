// Fuzz target: any bytes as a PACK1 archive. Extract must end cleanly (true,
// or false after its error box), and whatever it writes lands as ordinary
// files directly inside the target folder.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "archive/cls_arch.h"
#include "platform/files.h"
#include "platform/ui.h"

namespace {

namespace stdfs = std::filesystem;

// A window system with nobody at it: boxes are answered OK, the yield does
// nothing, and ending the program is a failure of the target.
class QuietUi : public platform::UiBackend {
public:
  platform::MsgAnswer ShowMessage(const std::string &, platform::MsgIcon,
                                  platform::MsgButtons buttons) override {
    return buttons == platform::MsgButtons::Ok ? platform::MsgAnswer::Ok
                                               : platform::MsgAnswer::No;
  }
  void CreateForm(const platform::FormDesign &,
                  platform::FormEvents *) override {}
  void ShowForm() override {}
  void SetLabelText(int, const std::string &) override {}
  void SetTimerEnabled(bool) override {}
  int32_t OnYield() override { return 4096; }
  [[noreturn]] void EndProgram(int) override { std::abort(); }
};

[[noreturn]] void Fail(const std::string &what) {
  std::fprintf(stderr, "extract_fuzz: %s\n", what.c_str());
  std::abort();
}

const stdfs::path &Base() {
  static const stdfs::path base = [] {
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp && *tmp ? tmp : "/tmp") + "/extract_fuzz_XXXXXX";
    if (!mkdtemp(pattern.data()))
      Fail("cannot create " + pattern);
    return stdfs::path(pattern);
  }();
  return base;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static QuietUi ui;
  platform::SetUi(&ui);
  const stdfs::path base = Base();
  // Registered once the folder's path exists, so it runs before the path
  // itself is destroyed at exit.
  static const bool cleanupRegistered = [] {
    return std::atexit([] {
             std::error_code ec;
             stdfs::remove_all(Base(), ec);
           }) == 0;
  }();
  (void)cleanupRegistered;
  const stdfs::path out = base / "out";
  stdfs::remove_all(out);
  stdfs::create_directory(out);
  const std::string archivePath = (base / "a.pack").string();
  {
    std::ofstream file(archivePath, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char *>(data),
               static_cast<std::streamsize>(size));
  }

  archive::cls_arch arch;
  arch.FileName(archivePath);
  if (arch.Load() != platform::kTrue)
    Fail("cannot load the archive");
  const platform::Boolean result = arch.Extract(out.string());
  if (result != platform::kTrue && result != platform::kFalse)
    Fail("Extract returned neither true nor false");
  if (arch.ActionMode() != archive::mode::kIdle || !arch.DefFile().empty())
    Fail("Extract did not return to idle");
  platform::files::CloseAllQuietly();

  // Nothing beside the archive and the target folder, and inside the folder
  // only ordinary files.
  for (const auto &entry : stdfs::directory_iterator(base))
    if (entry.path() != out && entry.path() != stdfs::path(archivePath))
      Fail("written outside the target folder: " + entry.path().string());
  for (const auto &entry : stdfs::directory_iterator(out))
    if (!entry.is_regular_file() || entry.is_symlink())
      Fail("not an ordinary file in the target folder: " +
           entry.path().string());
  return 0;
}
