// Verify's look at the records of a package's script entries.
#include "tools/record_check.h"

#include "package/script_record.h"
#include "tools/script_paths.h"

namespace tools {

namespace {

namespace script = package::script;

// Records of one fault named one by one; the rest counted.
constexpr size_t kMaxListed = 20;

} // namespace

script::ScriptWalk RecordCheck::Check(const std::string &name,
                                      std::string_view bytes,
                                      std::vector<std::string> &faults,
                                      std::vector<std::string> &warnings) {
  const size_t before = records_;
  const ScriptForm form = FormOfEntry(name);
  const script::ScriptWalk walk =
      script::ForEachRecord(bytes, form, [&](const script::Record &fields) {
        const size_t number = ++records_;
        const std::string unmet =
            copies_.Unmet(fields.operation, script::TrimBlanks(fields.source),
                          script::TrimBlanks(fields.target), entries_);
        // A source that ends in a separator is a failing record below.
        if (!unmet.empty() && !EndsInSeparator(unmet) &&
            ++missing_ <= kMaxListed)
          faults.push_back("record " + std::to_string(number) +
                           " copies {temp}\\" + unmet +
                           ", which the package does not hold");
        copies_.Lay(fields, ours_);
      });
  if (walk.cut)
    faults.push_back(std::string("the entry ") + script::kLongScriptName +
                     " ends inside a record: the run stops there as on a "
                     "damaged package");
  // Whether the run fails at a path outside the two folders depends on
  // the machine; at a failing record, it fails every time.
  for (std::string &warning : OutsidePathWarnings(bytes, form, before))
    warnings.push_back(std::move(warning));
  for (std::string &warning : DeviceFolderWarnings(bytes, form, before))
    warnings.push_back(std::move(warning));
  for (std::string &warning :
       SeparatorDeletionWarnings(bytes, form, ours_, before))
    warnings.push_back(std::move(warning));
  for (std::string &warning :
       WorkNameInstallWarnings(bytes, form, ours_, before))
    warnings.push_back(std::move(warning));
  for (std::string &fault : FailingRecords(bytes, form, ours_, before))
    faults.push_back(std::move(fault));
  return walk;
}

void RecordCheck::Finish(std::vector<std::string> &faults) const {
  if (missing_ > kMaxListed)
    faults.push_back(std::to_string(missing_ - kMaxListed) +
                     " more records copy entries the package does not hold");
  for (std::string &line : LaidFaultLines(copies_.Faults()))
    faults.push_back(std::move(line));
}

} // namespace tools
