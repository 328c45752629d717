// A script's records in order, as far as they tell what is at a path:
// the files copies put into the temporary folder, which a copy out of it
// may read, and what the records before each one leave at the paths it
// uses, where every run fails once they have run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "package/path_overlay.h"
#include "package/script_record.h"
#include "tools/name_index.h"

namespace tools {

// A record at which every run fails, as the records before it leave its
// paths: "copies onto a path where record 2 leaves a folder" (what), of
// its source or its target.
struct LaidFault {
  size_t record = 0; // numbered as the run counts them
  bool atSource = false;
  std::string what;
  std::string line; // the record as `script show` writes it
};

class TempCopies {
public:
  // For the next record of the script (fields as the record holds them, in
  // the package's code page): the name of the temporary folder's file that
  // it copies and that neither an entry of `entries` (names as the
  // extraction writes them) nor a copy before it gives; "" when none.
  std::string Unmet(uint8_t operation, std::string_view source,
                    std::string_view target, const NameIndex &entries);

  // The next record of the script, after its Unmet if asked: judges it
  // against what the records before leave at its paths, then lays its
  // effect over them. ours: the package has a manifest.
  void Lay(const package::script::Record &record, bool ours);

  // After the last record: each record at which every run fails, in
  // order. The base format's run carries out every record as written. One
  // of ours skips a record whose effect is there, or whose path a later
  // record leaves as it is there already: it fails only where the record
  // that leaves the path so is the last on its path, and a copy or mkdir
  // into a folder that is none is the last on its own.
  std::vector<LaidFault> Faults() const;

private:
  // A record laid over the paths: at a path, or at the folder of a
  // pattern (what lies in that folder is not known after it).
  struct Laid {
    size_t record = 0;
    uint8_t operation = 0;
    std::string pattern; // the last name with * or ?, UTF-8
  };
  // What lies at a path as the records before tell it.
  enum class Kind { File, Folder, Nothing, NoFile, Unknown };
  struct Look {
    Kind kind = Kind::Unknown;
    const Laid *by = nullptr;
    size_t length = 0; // of the key that by is laid at
  };
  Look At(const std::u16string &key, std::string_view name, bool ours) const;
  void Judge(const package::script::Record &record, bool ours);
  void Add(const package::script::Record &record, bool atSource,
           const char *what, const Look &look, const std::u16string &key,
           const std::u16string &self, bool ours);
  void Forget(); // after a record whose paths are not read here

  NameIndex made_; // names copies put into the temporary folder
  size_t records_ = 0;
  bool blind_ = false;               // a record wrote the script being read
  package::expect::KeyIndex latest_; // key -> its latest record in laid_
  std::vector<Laid> laid_;
  package::expect::KeyIndex last_; // key -> the last record on that path
  size_t forgotten_ = 0;           // the record of the last Forget
  // Faults found; those of ours wait for the records after them.
  struct Pending {
    LaidFault fault;
    bool certain = false; // else only where by and self are the last
    std::u16string by;    // the path of the record that leaves it so
    std::u16string self;  // the record's own, when it must be the last
    size_t byRecord = 0;
  };
  std::vector<Pending> pending_;
};

// The faults as verify and run report them: "record 3 ..., and every run
// fails there: " and the record, the first 20, then a count of the rest.
std::vector<std::string> LaidFaultLines(const std::vector<LaidFault> &faults);

} // namespace tools
