// Entries of the temporary folder read whole.
#include "run/temp_entry.h"

#include "package/checksums.h"
#include "package/entry_limits.h"
#include "platform/files.h"
#include "platform/fs.h"
#include "run/mdl_main.h"

namespace mdl_main {

bool ReadTempEntry(const char *name, std::string &bytes) {
  namespace files = platform::files;
  const std::string path = TempFolder + "\\" + name;
  bytes.clear();
  if (platform::fs::ListFiles(path).empty())
    return false;
  const platform::OpenMode mode = platform::OpenMode::ReadOnly;
  const int16_t number = files::FreeFile();
  files::Open(number, path, mode, HeldTempFolder().OpenFile(name, mode));
  platform::BufferedFile &file = files::At(number);
  if (file.Length() > package::kMaxOwnEntryBytes) {
    files::Close(number);
    package::sums::RaiseDamaged(name, package::sums::kListDamaged);
  }
  bytes.resize(static_cast<size_t>(file.Length()));
  if (!bytes.empty())
    file.GetRun(1, reinterpret_cast<uint8_t *>(bytes.data()),
                static_cast<int64_t>(bytes.size()));
  files::Close(number);
  return true;
}

} // namespace mdl_main
