// The faults and warnings of a package's script entries, record by record,
// as `verify` reports them; `build` refuses a ready script (an archive's, a
// payload folder's) by the same faults.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "package/long_records.h"
#include "tools/name_index.h"
#include "tools/temp_copies.h"

namespace tools {

class RecordCheck {
public:
  // entries: the package's, by the names the extraction writes; ours: the
  // package has a manifest, whose run checks the product before its first
  // record.
  RecordCheck(const NameIndex &entries, bool ours)
      : entries_(entries), ours_(ours) {}

  // The records of the script entry name (its form by the name), numbered
  // on from those of the entries checked before, as the run counts them:
  // the faults (a copy of a file that neither an entry nor a copy before
  // it puts into {temp}, the first 20 named and the rest counted by Finish;
  // a long script cut inside a record; every fault of FailingRecords) and
  // the warnings (a path outside the two folders, a folder named as a
  // device on the way, a deletion of a path that ends in a separator).
  package::script::ScriptWalk Check(const std::string &name,
                                    std::string_view bytes,
                                    std::vector<std::string> &faults,
                                    std::vector<std::string> &warnings);

  // After the last entry: the count of copies of missing files beyond
  // those named, and the records at which every run fails as the records
  // before leave their paths (TempCopies::Faults), the first 20 named.
  void Finish(std::vector<std::string> &faults) const;

private:
  const NameIndex &entries_;
  bool ours_;
  TempCopies copies_;
  size_t records_ = 0;
  size_t missing_ = 0;
};

} // namespace tools
