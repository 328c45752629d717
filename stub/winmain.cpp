// The program's entry point: hardens the DLL search, installs the Win32
// window system and runs the update.
#include <exception>
#include <string>

#include "platform/error.h"
#include "platform/ui.h"
#include "platform/win32/win32_ui.h"
#include "platform/win32/windows_support.h"
#include "run/command_line.h"
#include "run/mdl_main.h"
#include "run/run_texts.h"
#include "run/unattended.h"

namespace {

// The package is run from wherever it was downloaded to, often a folder that
// holds other people's files. Every DLL it imports is one that Windows keeps
// in its own list (KnownDLLs); DLLs loaded later (by OLE, by the common
// controls) come only from System32.
void HardenDllSearch() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI *)(DWORD);
  HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  // Windows 7 has the call only with update KB2533623: look it up.
  const auto setDefault =
      reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void (*)()>(
          kernel ? ::GetProcAddress(kernel, "SetDefaultDllDirectories")
                 : nullptr));
  if (!setDefault || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
    ::SetDllDirectoryW(L""); // at least not the current folder
}

// The switches of the program's own command line.
mdl_main::Switches CommandLineSwitches() {
  const wchar_t *line = ::GetCommandLineW();
  return mdl_main::ParseSwitches(
      mdl_main::SplitCommandLine(line ? platform::win32::Narrow(line) : ""));
}

} // namespace

// A GUI program has no console for the default handler's report of an
// uncaught exception; replacing it also keeps its name demangler (about a
// sixth of the image) out of the program.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
  ::ExitProcess(platform::exitcode::kFailed);
}
} // namespace __gnu_cxx

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  HardenDllSearch();
  platform::win32::Win32Ui ui(instance);
  platform::SetUi(&ui);
  mdl_main::SetSwitches(CommandLineSwitches());
  // Main handles its own errors and ends the program on every path; what
  // still escapes it ends the program the same way rather than with a
  // crash report.
  std::string cause;
  try {
    mdl_main::Main();
  } catch (const std::exception &e) {
    cause = e.what();
  } catch (...) {
    cause = platform::StandardText(platform::err::kInvalidCall);
  }
  ui.ShowMessage(mdl_main::CurrentText(package::Text::Critical) + "\r\n" +
                     cause,
                 platform::MsgIcon::Error, platform::MsgButtons::Ok);
  ui.EndProgram(platform::exitcode::kFailed);
}
