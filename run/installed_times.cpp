// The times of the installed files.
#include "run/installed_times.h"

#include "archive/catalog.h"
#include "package/checksums.h"
#include "platform/error.h"
#include "run/mdl_main.h"
#include "run/run_texts.h"
#include "run/temp_entry.h"

namespace mdl_main::times {

namespace entry = package::times;

Table Table::Load() {
  Table table;
  try {
    std::string bytes;
    if (!ReadTempEntry(entry::kTimesName, bytes))
      package::sums::RaiseDamaged(entry::kTimesName, package::sums::kMissing);
    table.list_ = entry::ParseTimes(bytes);
  } catch (const platform::Error &e) {
    if (e.Number() != package::kErrPackageDamaged)
      throw;
    RaiseWithDamagedSentence(e);
  }
  return table;
}

const platform::fs::FileTime *Table::Of(const std::string &source) const {
  const size_t n = TempFolder.size();
  if (list_.empty() || source.size() <= n + 1 ||
      source.compare(0, n, TempFolder) != 0 || source[n] != '\\' ||
      source.find_first_of("\\/", n + 1) != std::string::npos)
    return nullptr;
  // The entry Windows reads ("{temp}\a.txt." is a.txt).
  const entry::EntryTime *found = entry::FindTime(
      list_, source.substr(n + 1, archive::LengthAsRead(source) - n - 1));
  return found ? &found->time : nullptr;
}

} // namespace mdl_main::times
