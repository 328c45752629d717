// The fuzz targets' sandbox, jail, canary check, quiet user interface,
// failure and first-byte choice.
#include "fuzz/harness.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>
#include <vector>

#include "fuzz/jail.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/posix/syscalls.h"
#include "run/mdl_main.h"

namespace fuzzing {

namespace stdfs = std::filesystem;

platform::MsgAnswer QuietUi::ShowMessage(const std::string &, platform::MsgIcon,
                                         platform::MsgButtons buttons) {
  return buttons == platform::MsgButtons::Ok ? platform::MsgAnswer::Ok
                                             : platform::MsgAnswer::Yes;
}

void QuietUi::EndProgram(int exitCode) {
  platform::files::CloseAllQuietly();
  throw platform::ProgramEnded{exitCode};
}

void Fail(const std::string &what) {
  std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, what.c_str());
  std::abort();
}

int ByFirstBit(const uint8_t *data, size_t size, Check even, Check odd) {
  if (size == 0)
    return 0;
  const std::string_view rest(reinterpret_cast<const char *>(data) + 1,
                              size - 1);
  (data[0] & 1 ? odd : even)(rest);
  return 0;
}

void WriteFile(const std::string &path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush())
    Fail("cannot write " + path);
}

namespace {

void EnterFolder(const std::string &folder) {
  if (chdir(folder.c_str()) != 0)
    Fail("cannot enter " + folder);
}

std::string ReadWhole(const stdfs::path &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every name below folder, with its kind and contents or link target.
std::map<std::string, std::string> Snapshot(const std::string &folder) {
  std::map<std::string, std::string> shot;
  std::error_code ec;
  for (auto it = stdfs::recursive_directory_iterator(folder, ec);
       !ec && it != stdfs::recursive_directory_iterator(); it.increment(ec)) {
    const std::string name = stdfs::relative(it->path(), folder).string();
    const stdfs::file_status status = it->symlink_status();
    if (stdfs::is_symlink(status))
      shot[name] = "link " + stdfs::read_symlink(it->path()).string();
    else if (stdfs::is_regular_file(status))
      shot[name] = "file " + ReadWhole(it->path());
    else if (stdfs::is_directory(status))
      shot[name] = "folder";
    else
      shot[name] = "other";
  }
  if (ec)
    Fail("cannot list " + folder + ": " + ec.message());
  return shot;
}

} // namespace

Sandbox::Sandbox(const std::string &target) {
  // Each input makes and removes a folder tree: in memory that is ten times
  // faster than on a disk.
  const char *tmp = std::getenv("TMPDIR");
  const std::string parent = tmp && *tmp                       ? tmp
                             : stdfs::is_directory("/dev/shm") ? "/dev/shm"
                                                               : "/tmp";
  std::string pattern = parent + "/" + target + "_XXXXXX";
  if (!mkdtemp(pattern.data()))
    Fail("cannot create " + pattern);
  // The jail's walk of a path below the box starts at the box: no link may
  // stand in the box's own path.
  base_ = stdfs::canonical(pattern).string();
  box_ = base_ + "/box";
  canary_ = base_ + "/canary";
  startFolder_ = CurrentFolder();
  stdfs::create_directories(canary_ + "/sub");
  WriteFile(CanaryFile("plain.txt"), "plain canary\n");
  WriteFile(CanaryFile("linked.txt"), "canary behind a symbolic link\n");
  WriteFile(CanaryFile("hard.txt"), "canary behind a hard link\n");
  WriteFile(CanaryFile("sub/deep.txt"), "canary in a subfolder\n");
  canaryShot_ = Snapshot(canary_);
  ProveJail();
}

Sandbox::~Sandbox() {
  platform::posix::SetFaultHook({});
  std::error_code ec;
  stdfs::remove_all(base_, ec);
}

const std::string &Sandbox::Begin() {
  static QuietUi ui;
  platform::SetUi(&ui);
  platform::files::CloseAllQuietly();
  MakeBox();
  EnterFolder(box_);
  platform::posix::SetFaultHook(Jail(box_));
  return box_;
}

void Sandbox::MakeBox() const {
  EnterFolder(base_);
  std::error_code ec;
  stdfs::remove_all(box_, ec);
  if (ec || !stdfs::create_directory(box_, ec))
    Fail("cannot make the sandbox " + box_ + " afresh");
}

void Sandbox::ProveJail() const {
  MakeBox();
  std::error_code ec;
  stdfs::create_directory_symlink(canary_, box_ + "/out", ec);
  if (ec)
    Fail("cannot plant a link in " + box_);
  EnterFolder(box_);
  platform::posix::SetFaultHook(Jail(box_));
  std::string through;
  for (const std::string &folder : {canary_, std::string("../canary"),
                                    box_ + "/out", std::string("out/sub/..")})
    for (const std::string &call : CallsLetThrough(folder))
      through += "\n  " + call + " in " + folder;
  platform::posix::SetFaultHook({});
  MakeBox();
  EnterFolder(startFolder_);
  if (!through.empty() || Snapshot(canary_) != canaryShot_)
    Fail("the jail let calls outside the sandbox through:" + through);
}

void Sandbox::End() {
  platform::files::CloseAllQuietly();
  // The run holds its temporary folder open from the first use on; the
  // next input's is another folder under the same name.
  mdl_main::ReleaseTempFolder();
  platform::posix::SetFaultHook({});
  if (CurrentFolder() != box_)
    Fail("the current folder moved to " + CurrentFolder());
  EnterFolder(startFolder_);

  const std::map<std::string, std::string> shot = Snapshot(canary_);
  for (const auto &[name, was] : canaryShot_)
    if (const auto now = shot.find(name);
        now == shot.end() || now->second != was)
      Fail("the canary " + canary_ + "/" + name + " was changed or deleted");
  if (shot.size() != canaryShot_.size())
    Fail("a name was added to the canary folder " + canary_);
  for (const auto &entry : stdfs::directory_iterator(base_)) {
    const std::string path = entry.path().string();
    if (path != box_ && path != canary_)
      Fail("made beside the sandbox: " + path);
  }
}

} // namespace fuzzing
