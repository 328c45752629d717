// The run's check of the extracted files against the checksum entry.
#include "run/checksum_check.h"

#include "package/checksums.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/fs.h"
#include "platform/ui.h"
#include "run/file_crc.h"
#include "run/installed_names.h"
#include "run/run_log.h"
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

// How a damaged file is named in the message: by the file it installs.
struct Naming {
  bool longDeclared = false;
  std::string Of(const std::string &entry) const {
    return names::InstalledFileOf(entry, longDeclared);
  }
};

// Checks one listed file against its length and CRC-32. A file that
// cannot be opened because it is not there is missing from the package.
void VerifyFile(const std::string &folder, const package::sums::Sum &sum,
                const Naming &naming) {
  FileFacts facts;
  const std::string path = folder + "\\" + sum.name;
  try {
    facts = ReadFileFacts(path, sum.length);
  } catch (const platform::Error &e) {
    const std::string shown = naming.Of(sum.name);
    if (e.Number() == platform::err::kFileNotFound ||
        e.Number() == platform::err::kPathNotFound)
      RaiseDamaged(shown, package::sums::kMissing);
    names::RaiseRenamed(e, {path}, shown);
  }
  if (facts.length != sum.length || facts.crc != sum.crc)
    RaiseDamaged(naming.Of(sum.name), facts.length != sum.length
                                          ? platform::Msg::FileLengthDiffers
                                          : platform::Msg::FileCrcDiffers);
}

void CheckFolder(const std::string &folder, bool declared, int64_t listedAtMost,
                 ui::Setup &form, const Naming &naming) {
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
  while (ReadLine(number, length, line)) {
    const package::sums::Sum sum = package::sums::ParseSumLine(line);
    listedAtMost -= sum.length;
    if (listedAtMost < 0)
      RaiseDamaged(package::sums::kEntryName, package::sums::kListDamaged);
    form.SetCheckedFile(sum.name);
    VerifyFile(folder, sum, naming);
    LogLine("checked: ", sum.name);
  }
  form.SetCheckedFile({});
  files::Close(number);
}

} // namespace

void VerifyFolder(const std::string &folder, bool declared,
                  int64_t listedAtMost, ui::Setup &form, bool longDeclared) {
  try {
    CheckFolder(folder, declared, listedAtMost, form, {longDeclared});
  } catch (const platform::Error &e) {
    // Every message that shows the package damaged ends in the sentence
    // asking for it to be downloaded again.
    if (e.Number() != package::kErrPackageDamaged)
      throw;
    RaiseWithDamagedSentence(e);
  }
}

} // namespace mdl_main::sums
