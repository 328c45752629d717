// The times of the installed files.
#include "run/installed_times.h"

#include <algorithm>

#include "package/byte_source.h"
#include "package/checksums.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/fs.h"
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
    for (entry::EntryTime &item :
         entry::ParseTimes(package::MemorySource(bytes))) {
      std::u16string key =
          platform::fs::FoldName(platform::AnsiToText(item.name));
      table.sorted_.emplace_back(std::move(key), std::move(item));
    }
  } catch (const platform::Error &e) {
    if (e.Number() != package::kErrPackageDamaged)
      throw;
    throw platform::Error(e.Number(), WithDamagedSentence(e.Description()));
  }
  std::stable_sort(
      table.sorted_.begin(), table.sorted_.end(),
      [](const auto &a, const auto &b) { return a.first < b.first; });
  return table;
}

const entry::EntryTime *Table::Of(const std::string &source) const {
  const size_t n = TempFolder.size();
  if (sorted_.empty() || source.size() <= n + 1 ||
      source.compare(0, n, TempFolder) != 0 || source[n] != '\\' ||
      source.find_first_of("\\/", n + 1) != std::string::npos)
    return nullptr;
  const std::u16string key = platform::fs::FoldName(source.substr(n + 1));
  const auto found = std::lower_bound(
      sorted_.begin(), sorted_.end(), key,
      [](const auto &item, const std::u16string &k) { return item.first < k; });
  return found != sorted_.end() && found->first == key ? &found->second
                                                       : nullptr;
}

} // namespace mdl_main::times
