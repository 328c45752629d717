// The run's check of the extracted files against the checksum entry.
#include "run/checksum_check.h"

#include <algorithm>
#include <memory>

#include "package/checksums.h"
#include "package/crc32.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/fs.h"
#include "platform/ui.h"
#include "run/run_texts.h"
#include "ui/Setup.h"

namespace mdl_main::sums {

namespace files = platform::files;
using package::sums::RaiseDamaged;

namespace {

// Reads the next line (without its CR LF) of the file under number; false
// at the end of the file.
bool ReadLine(int16_t number, int64_t length, std::string &line) {
  line.clear();
  platform::BufferedFile &file = files::At(number);
  if (file.Position() > length)
    return false;
  while (file.Position() <= length) {
    const char c = static_cast<char>(file.Get());
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r')
        line.pop_back();
      return true;
    }
    if (line.size() >= package::sums::kMaxLineBytes)
      RaiseDamaged(package::sums::kEntryName, package::sums::kListDamaged);
    line += c;
  }
  return true;
}

// The piece of a file read back at a time.
constexpr size_t kPiece = size_t{256} * 1024;

// Checks one listed file against its length and CRC-32. The file is open
// under a number of the table, so that an abort inside a yield, which
// closes them all, leaves nothing open in the folder it removes.
void VerifyFile(const std::string &folder, const package::sums::Sum &sum,
                uint8_t *buffer) {
  const std::string path = folder + "\\" + sum.name;
  const int16_t number = files::FreeFile();
  try {
    files::Open(number, path, platform::OpenMode::ReadOnly);
  } catch (const platform::Error &e) {
    if (e.Number() == platform::err::kFileNotFound ||
        e.Number() == platform::err::kPathNotFound)
      RaiseDamaged(sum.name, package::sums::kMissing);
    throw;
  }
  platform::BufferedFile &file = files::At(number);
  const int64_t length = file.Length();
  if (length != sum.length)
    RaiseDamaged(sum.name, platform::Msg::FileLengthDiffers);
  uint32_t crc = 0;
  for (int64_t done = 0; done < length;) {
    const auto n = static_cast<int64_t>(
        std::min<uint64_t>(kPiece, static_cast<uint64_t>(length - done)));
    file.GetRun(done + 1, buffer, n);
    crc = package::Crc32(crc, buffer, static_cast<size_t>(n));
    done += n;
    // A yield for every byte read, as the extraction yields, without a
    // call for each.
    const int32_t quiet = platform::QuietYields();
    if (quiet >= n) {
      platform::SkipQuietYields(static_cast<int32_t>(n));
    } else {
      platform::SkipQuietYields(quiet);
      platform::Yield();
    }
  }
  files::Close(number);
  if (crc != sum.crc)
    RaiseDamaged(sum.name, platform::Msg::FileCrcDiffers);
}

void CheckFolder(const std::string &folder, bool declared, ui::Setup &form) {
  const std::string listPath = folder + "\\" + package::sums::kEntryName;
  if (platform::fs::ListFiles(listPath).empty()) {
    // A package that declares the list and lost it is damaged; one
    // without it runs as it always has.
    if (declared)
      RaiseDamaged(package::sums::kEntryName, package::sums::kMissing);
    return;
  }
  const int16_t number = files::FreeFile();
  files::Open(number, listPath, platform::OpenMode::ReadOnly);
  const int64_t length = files::Lof(number);
  std::string line;
  if (!ReadLine(number, length, line))
    line.clear();
  package::sums::CheckSumsHeader(line);
  const auto buffer = std::make_unique<uint8_t[]>(kPiece);
  while (ReadLine(number, length, line)) {
    const package::sums::Sum sum = package::sums::ParseSumLine(line);
    form.SetCheckedFile(sum.name);
    VerifyFile(folder, sum, buffer.get());
  }
  form.SetCheckedFile({});
  files::Close(number);
}

} // namespace

void VerifyFolder(const std::string &folder, bool declared, ui::Setup &form) {
  try {
    CheckFolder(folder, declared, form);
  } catch (const platform::Error &e) {
    // Every message that shows the package damaged ends in the sentence
    // asking for it to be downloaded again.
    if (e.Number() != package::kErrPackageDamaged)
      throw;
    throw platform::Error(e.Number(), WithDamagedSentence(e.Description()));
  }
}

} // namespace mdl_main::sums
