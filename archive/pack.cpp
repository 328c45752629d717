// Packing: every ordinary file of one folder written into a PACK1 archive,
// with the phase, file name and progress kept up to date, a yield after
// every data byte and a cancel test after every data byte.
#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "archive/arch_errors.h"
#include "archive/catalog.h"
#include "archive/cls_arch.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/fs.h"
#include "platform/ui.h"

namespace archive {

namespace files = platform::files;
namespace fs = platform::fs;

namespace {

// Bytes moved at once between two yields that reach the user interface.
constexpr int64_t kCopyRun = int64_t{64} * 1024;

// One file to pack.
struct PackEntry {
  std::string name;   // bare name, as listed
  std::string text;   // its catalog entry name?start?end in code-page bytes
  int32_t length = 0; // bytes, as measured when the catalog was built
};

// Closes a file number that packing opened when packing stops early, so a
// failed or cancelled call leaves nothing open; the failure that stopped it
// matters more than one in closing.
class CloseOnExit {
public:
  ~CloseOnExit() {
    if (number_) {
      try {
        files::Close(number_);
      } catch (const platform::Error &) {
      }
    }
  }
  void Hold(int16_t number) { number_ = number; }
  // Closes now, raising a failure to close.
  void Close() {
    const int16_t number = number_;
    number_ = 0;
    files::Close(number);
  }

private:
  int16_t number_ = 0;
};

// The target path names no single file when it holds wildcards; it is then
// only truncated by opening it, never deleted by pattern.
bool HasWildcard(const std::string &path) {
  return path.find_first_of("*?") != std::string::npos;
}

} // namespace

void cls_arch::CopySourceBytes(int16_t sourceNum, int16_t archiveNum,
                               int32_t length, int32_t &written) {
  int64_t i = 1;
  bool runs = true; // false once a run failed: the rest goes byte by byte
  uint8_t chunk[kCopyRun];
  while (i <= length) {
    // Between two yields that reach the user interface nobody can set
    // Abort or look at the progress, so those bytes move in one run.
    const int32_t quiet = platform::QuietYields();
    if (runs && quiet > 0 && !Abort_) {
      const int64_t n =
          std::min({int64_t{quiet}, int64_t{length} - i + 1, kCopyRun});
      try {
        files::At(sourceNum).GetRun(i, chunk, n);
      } catch (const platform::Error &) {
        runs = false; // byte by byte, it copies what it can, then fails
        continue;
      }
      platform::BufferedFile &archive = files::At(archiveNum);
      const int64_t before = archive.Position();
      try {
        archive.PutRun(before, chunk, n);
      } catch (const platform::Error &) {
        const int64_t moved = archive.Position() - before;
        if (moved > 0)
          Seek_[0] = written += static_cast<int32_t>(moved);
        throw;
      }
      written += static_cast<int32_t>(n);
      Seek_[0] = written;
      i += n;
      platform::SkipQuietYields(static_cast<int32_t>(n));
      continue;
    }
    files::Put(archiveNum, files::GetAt(sourceNum, static_cast<int32_t>(i)));
    Seek_[0] = ++written;
    platform::Yield();
    if (Abort_) {
      Abort_ = platform::kFalse;
      throw platform::Error(kErrCancelled,
                            platform::MsgText(kMsgPackCancelled));
    }
    ++i;
  }
}

platform::Boolean cls_arch::Pack(const std::string &scr_fold) {
  // Phase 1: start.
  platform::Yield();
  int32_t running = 1; // data-region position of the next entry
  ActionMode_ = mode::kPackScan;
  UnLoad();

  // Phase 2: the catalog, built in memory before the target is touched.
  std::vector<PackEntry> entries;
  int64_t archiveSize = kHeaderSize + 1; // header and closing 0x01
  for (const std::string &name : fs::ListFiles(scr_fold + "\\*")) {
    const std::string path = scr_fold + "\\" + name;
    // An older archive at the target path is replaced, not packed into the
    // new one. A link is no file of the folder: packing it would pack
    // whatever it points to, wherever that is.
    if (fs::SameFile(path, FileName_) ||
        fs::KindOf(path) == fs::EntryKind::Link)
      continue;
    DefFile_ = name;
    platform::Yield();
    CheckStorableName(name);
    std::string text;
    if (!platform::TextToAnsi(name, text))
      platform::Raise(platform::err::kOverflow,
                      "символ имени файла вне кодовой страницы: " + name);
    ApplyCompression(path, Compression_, platform::kTrue);
    const int32_t length = fs::FileLen(path);
    if (int64_t{running} + length > INT32_MAX)
      platform::Raise(platform::err::kOverflow,
                      "файлы вместе занимают 2 ГБ или больше: " + path);
    const int32_t end = running + length;
    text += kFieldSeparator + std::to_string(running) + kFieldSeparator +
            std::to_string(end);
    archiveSize += static_cast<int64_t>(text.size()) + 1 + length;
    if (archiveSize > INT32_MAX)
      platform::Raise(platform::err::kOverflow,
                      "архив достигает 2 ГБ: " + FileName_);
    entries.push_back({name, std::move(text), length});
    running = end;
  }

  // Phase 3: the target, replaced.
  if (!HasWildcard(FileName_) && !fs::ListFiles(FileName_).empty())
    fs::Kill(FileName_);
  CloseOnExit archiveFile;
  const int16_t archiveNum = files::FreeFile();
  files::Open(archiveNum, FileName_, platform::OpenMode::Output);
  archiveFile.Hold(archiveNum);
  ActionMode_ = mode::kPackWrite;
  Seek_[1] = -1;

  // Phase 4: header and catalog.
  for (int32_t i = 0; i < kSignatureSize; ++i)
    files::Put(archiveNum, static_cast<uint8_t>(kSignature[i]));
  files::Put(archiveNum, Compression());
  files::Put(archiveNum, kCatalogMark);
  for (const PackEntry &entry : entries) {
    for (char c : entry.text)
      files::Put(archiveNum, static_cast<uint8_t>(c));
    files::Put(archiveNum, kEntryEnd);
  }
  files::Put(archiveNum, kCatalogMark);
  platform::Yield();

  // Phase 5: the data region.
  int32_t written = files::Seek(archiveNum) - 1;
  for (const PackEntry &entry : entries) {
    const std::string path = scr_fold + "\\" + entry.name;
    const int32_t length = fs::FileLen(path);
    if (length != entry.length)
      RaiseArchiveError(kErrSourceChanged, kMsgSourceChanged,
                        path + " (было " + std::to_string(entry.length) +
                            " байт, стало " + std::to_string(length) + ")");
    DefFile_ = entry.name;
    CloseOnExit sourceFile;
    const int16_t sourceNum = files::FreeFile();
    files::Open(sourceNum, path, platform::OpenMode::ReadOnly);
    sourceFile.Hold(sourceNum);
    CopySourceBytes(sourceNum, archiveNum, length, written);
    sourceFile.Close();
  }
  archiveFile.Close();

  DefFile_ = "0";
  ActionMode_ = mode::kIdle;
  return platform::kTrue;
}

} // namespace archive
