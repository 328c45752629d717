// The modification times the installed files get (package/file_times.h):
// the time recorded for the entry a copy record installs from
// {temp}\NAME.
#pragma once

#include <string>
#include <vector>

#include "package/file_times.h"

namespace mdl_main::times {

class Table {
public:
  // No times: a package that does not declare the entry.
  Table() = default;
  // TempFolder's times entry, which the manifest declares: one that is
  // missing or damaged raises package::kErrPackageDamaged with the damaged
  // sentence. Read in the package's code page, which is in effect by now.
  static Table Load();

  // The time of the file that a copy from source installs, when source is
  // TempFolder\NAME and NAME has one; else nullptr.
  const platform::fs::FileTime *Of(const std::string &source) const;

private:
  std::vector<package::times::EntryTime> list_; // in name order
};

} // namespace mdl_main::times
