// What every fuzz target shares: a sandbox folder that is made afresh for
// each input, a jail that refuses every file-system call of the runtime
// outside it, a canary folder beside it that must come through every input
// unchanged, a user interface with nobody at it; and the failure that keeps
// an input, and the choice a first byte makes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "platform/ui.h"

namespace fuzzing {

// Message boxes are answered OK, a question Yes; the yield does nothing.
// Ending the program closes every file and throws platform::ProgramEnded.
class QuietUi : public platform::UiBackend {
public:
  platform::MsgAnswer ShowMessage(const std::string &, platform::MsgIcon,
                                  platform::MsgButtons buttons) override;
  void CreateForm(const platform::FormDesign &,
                  platform::FormEvents *) override {}
  void ShowForm() override {}
  void SetLabelText(int, const std::string &) override {}
  void SetTimerEnabled(bool) override {}
  int32_t OnYield() override { return 1 << 20; }
  [[noreturn]] void EndProgram(int exitCode) override;
};

// Prints what went wrong, after the program's name, and aborts, so that
// the fuzzer keeps the input.
[[noreturn]] void Fail(const std::string &what);

// A check of the bytes of an input after its first byte.
using Check = void (*)(std::string_view rest);
// For the targets whose input's first byte chooses what the rest is: hands
// the rest to even when that byte's low bit is 0, to odd when it is 1; an
// empty input goes to neither. Returns 0, as LLVMFuzzerTestOneInput does.
int ByFirstBit(const uint8_t *data, size_t size, Check even, Check odd);

// Writes a whole file; fails the target when it cannot.
void WriteFile(const std::string &path, std::string_view bytes);

// The folders of one fuzz target under a fresh folder of $TMPDIR (or
// /dev/shm, or /tmp):
//   box/     the sandbox, made afresh for each input
//   canary/  files that no input may change: plain.txt, linked.txt and
//            hard.txt (for links that a target plants in the sandbox) and
//            sub/deep.txt
// Removed with everything in it when the object goes.
class Sandbox {
public:
  explicit Sandbox(const std::string &target);
  ~Sandbox();
  Sandbox(const Sandbox &) = delete;
  Sandbox &operator=(const Sandbox &) = delete;

  // Starts an input: closes every file of the numbered-file table, makes the
  // box afresh, enters it as the current folder, installs the quiet UI and
  // the jail (fuzz/jail.h) of the box. Returns the box.
  const std::string &Begin();
  // Ends an input: removes the jail, closes every file, lets go of the
  // run's temporary folder (the next input's is made afresh), returns to
  // the folder the process started in, and fails the target when the
  // canary folder changed or anything but box and canary stands beside it.
  void End();

  const std::string &Box() const { return box_; }
  std::string CanaryFile(const std::string &name) const {
    return canary_ + "/" + name;
  }

private:
  // Removes the box if it is there and makes it anew; fails the target when
  // it cannot.
  void MakeBox() const;
  // Fails the target unless the jail refuses every kind of call on the
  // canary folder: named straight, up out of the box with "..", and through
  // a link planted in the box. Inputs in the corpora name paths such as
  // /etc/*: run unjailed, they would delete real files, so none runs before
  // this passes.
  void ProveJail() const;

  std::string base_;
  std::string box_;
  std::string canary_;
  std::string startFolder_;
  std::map<std::string, std::string> canaryShot_;
};

} // namespace fuzzing
