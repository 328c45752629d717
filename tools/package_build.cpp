// Packages built from a product folder or a payload folder.
#include "tools/package_build.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>

#include "archive/catalog.h"
#include "codec/solid_order.h"
#include "package/byte_source.h"
#include "package/checksums.h"
#include "package/expected_state.h"
#include "package/file_times.h"
#include "package/long_records.h"
#include "package/pe_image.h"
#include "package/script_record.h"
#include "platform/codepage.h"
#include "platform/fs.h"
#include "tools/cli.h"
#include "tools/code_page_choice.h"
#include "tools/entry_names.h"
#include "tools/expected_state_of.h"
#include "tools/file_io.h"
#include "tools/folder_outputs.h"
#include "tools/name_index.h"
#include "tools/pack_folder.h"
#include "tools/package_writer.h"
#include "tools/script_compiler.h"
#include "tools/script_field.h"
#include "tools/script_paths.h"
#include "tools/source_listing.h"
#include "tools/staging.h"
#include "tools/temp_copies.h"
#include "tools/tool_os.h"

namespace tools {

namespace {

namespace stdfs = std::filesystem;
namespace script = package::script;
using script_text::CompiledScript;

// Errors for the records that name, on their way, a file or folder the
// install keeps for itself (WorkNameOn): every package build writes is one
// of ours.
void RefuseWorkNames(CompiledScript &compiled) {
  for (const script_text::CompiledRecord &record : compiled.records) {
    if (compiled.errors.size() > kMaxDiagnostics)
      return;
    if (const std::optional<std::string> name =
            WorkNameOn(record.operation, record.target))
      compiled.errors.push_back(
          {record.targetPos,
           "\"" + *name + "\" is a name the update's run keeps for itself"});
  }
}

// Compiles the script or prints its errors and fails.
CompiledScript Compile(const ScriptSource &source,
                       script_text::Installs installs) {
  CompiledScript compiled = script_text::CompileScript(source.text, installs);
  if (compiled.errors.empty())
    RefuseWorkNames(compiled);
  if (!compiled.errors.empty()) {
    PrintDiagnostics(std::cerr, source.fileName, source.text, compiled.errors);
    throw ReportedFailure();
  }
  return compiled;
}

// Errors for the records that every run of the package would fail at: a
// copy out of the temporary folder of a file that neither an entry of
// `entries` nor a copy before it gives (`holder` names what holds the
// entries), every fault `verify` finds in a record (FailuresOf) and every
// record the records before make fail (TempCopies::Faults), in its words.
// Install records must have their source filled in.
void RefuseFailingRecords(const ScriptSource &source,
                          const CompiledScript &compiled,
                          const NameIndex &entries, const std::string &holder) {
  TempCopies copies;
  std::vector<Diagnostic> errors;
  size_t laid = 0;
  for (const script_text::CompiledRecord &record : compiled.records) {
    if (errors.size() > kMaxDiagnostics)
      break;
    ++laid;
    const std::string unmet =
        copies.Unmet(record.operation, record.source, record.target, entries);
    copies.Lay({record.operation, record.source, record.target}, true);
    if (!unmet.empty())
      errors.push_back({record.sourcePos, "{temp}\\" + unmet + " is not in " +
                                              holder +
                                              ": the run would fail here"});
    // Every package `build` writes carries a manifest: one of ours. Each
    // fault at its path, the source's (written first) first; a missing
    // source is that path's fault.
    std::vector<RecordFailure> failures =
        FailuresOf({record.operation, record.source, record.target}, true);
    std::stable_partition(
        failures.begin(), failures.end(),
        [](const RecordFailure &failure) { return failure.atSource; });
    for (const RecordFailure &failure : failures) {
      if (failure.atSource && !unmet.empty())
        continue;
      std::string message = std::string("the record ") + failure.what;
      // Of a long path, which name Windows refuses.
      if (failure.refusedName)
        message += ": \"" + *failure.refusedName + "\"";
      errors.push_back(
          {failure.atSource ? record.sourcePos : record.targetPos, message});
    }
  }
  // Judged once every record is laid: a later one may undo a fault.
  if (laid == compiled.records.size())
    for (const LaidFault &fault : copies.Faults()) {
      const script_text::CompiledRecord &record =
          compiled.records[fault.record - 1];
      errors.push_back(
          {fault.atSource ? record.sourcePos : record.targetPos,
           "the record " + fault.what + ", and every run fails there"});
    }
  if (!errors.empty()) {
    PrintDiagnostics(std::cerr, source.fileName, source.text, errors);
    throw ReportedFailure();
  }
}

// The product file an install line names, relative to the product folder
// with "/", or "" and an error message. Paths use "/" or "\" and stay
// inside the folder.
std::string ProductPath(const std::string &written, std::string &error) {
  std::string relative = written;
  for (char &c : relative)
    if (c == '\\')
      c = '/';
  const stdfs::path path(relative);
  if (relative.empty() || path.is_absolute()) {
    error = "the product file must be a path inside the product folder";
    return {};
  }
  for (const stdfs::path &part : path)
    if (part == "..") {
      error = "the product file must stay inside the product folder (no ..)";
      return {};
    }
  return relative;
}

// The source field of a copy out of the temporary folder: {temp}\NAME.
std::string TempSourceField(const std::string &entryName) {
  std::string bytes;
  platform::TextToAnsi(entryName, bytes); // the namer chose an encodable name
  return std::string(1, script::kTempFolderMark) + "\\" + bytes;
}

// The install script as the entry "script", and the long script entry when
// the script needs one. The records whose run depends on the machine are
// warned of as `verify` and `run` warn of them.
void AddScriptItems(const CompiledScript &compiled,
                    std::vector<PackItem> &items) {
  script_text::ScriptEntries entries = script_text::ScriptForms(compiled);
  size_t before = 0;
  for (auto &[name, bytes] :
       {std::pair{script::kScriptName, &entries.script},
        std::pair{script::kLongScriptName, &entries.longScript}}) {
    if (name == script::kLongScriptName && bytes->empty())
      continue;
    const ScriptForm form = FormOfEntry(name);
    for (const std::string &warning :
         ScriptWarnings(*bytes, form, true, before))
      Warn(warning);
    before += RecordCount(*bytes, form);
    const auto length = static_cast<int64_t>(bytes->size());
    items.push_back({name, {}, std::move(*bytes), length});
  }
}

// The entries the tool writes (the script, the long script, the checksums)
// first, so that a look at the script decodes only the stream's start; then
// the product's files of one kind side by side (codec::SolidOrder), program
// files first: what a solid stream compresses best. Names are unique, so
// the order of the catalog changes nothing of what is unpacked.
void SolidOrder(const os::RootFolder &root, std::vector<PackItem> &items) {
  const auto files = std::stable_partition(
      items.begin(), items.end(),
      [](const PackItem &item) { return item.relative.empty(); });
  std::vector<codec::SolidEntry> entries;
  for (auto item = files; item != items.end(); ++item) {
    std::string head(4096, '\0');
    head.resize(
        root.Open(item->relative).file.ReadAt(0, head.data(), head.size()));
    entries.push_back(
        {item->name, package::pe::IsX86Image(package::MemorySource(head))});
  }
  std::vector<PackItem> ordered;
  ordered.reserve(entries.size());
  for (const size_t k : codec::SolidOrder(entries))
    ordered.push_back(std::move(files[static_cast<ptrdiff_t>(k)]));
  std::move(ordered.begin(), ordered.end(), files);
}

// The entry of the files' times, when any file has one: installed files
// keep the times their files had here. Each goes under the name the
// extraction writes (a:b is ab), by which a copy names it.
void AddTimesItem(std::vector<PackItem> &items) {
  std::vector<package::times::EntryTime> list;
  for (const PackItem &item : items) {
    if (!item.modified)
      continue;
    list.push_back({archive::RemoveReservedChars(item.name),
                    item.modified->seconds, item.modified->nanoseconds});
  }
  if (list.empty())
    return;
  std::string bytes;
  if (!package::times::FormatTimes(list, bytes))
    throw ToolError("an entry name is too long for the entry " +
                    std::string(package::times::kTimesName));
  const auto length = static_cast<int64_t>(bytes.size());
  items.push_back({package::times::kTimesName, {}, std::move(bytes), length});
}

// Packs items from root into a scratch archive and joins it with the stub.
void PackAndJoin(const os::RootFolder &root, std::vector<PackItem> items,
                 const PackageOutput &output) {
  AddTimesItem(items);
  SortForPacking(items);
  if (output.compress)
    SolidOrder(root, items);
  ScratchFolder scratch("build");
  const std::string archive = scratch / "update.pack";
  {
    InstalledConsole console;
    OsFile file(archive, platform::OpenMode::CreateNew);
    PackItems(root, items, 0, file, console.ui());
    file.Close();
  }
  WritePackage(archive, output);
}

} // namespace

PackageOutput WithCodePage(const PackageOutput &output,
                           const std::vector<std::string> &texts) {
  PackageOutput chosen = output;
  chosen.texts.codePage = ChooseCodePage(texts, output.texts.codePage);
  return chosen;
}

void BuildFromProduct(const std::string &productDir, const ScriptSource &source,
                      const PackageOutput &asked,
                      const std::string *expectDir) {
  std::error_code code;
  if (!stdfs::is_directory(productDir, code))
    throw ToolError("product folder does not exist: " + productDir);
  // Entry names that a page cannot write are replaced by the namer, so the
  // script's paths choose the page.
  PackageOutput output =
      WithCodePage(asked, script_text::PathTexts(source.text));
  output.readyScript = PackageOutput::ReadyScript::Compiled;
  CompiledScript compiled = Compile(source, script_text::Installs::Allowed);

  const os::RootFolder root(productDir, "the product folder " + productDir);
  EntryNamer namer;
  std::vector<PackItem> items;
  std::map<os::FileId, size_t> itemOf; // one entry for each product file
  // A package written over a product file would take its place.
  const std::optional<os::FileId> outputId = os::IdOfPath(output.path);
  std::vector<Diagnostic> errors;
  for (script_text::CompiledRecord &record : compiled.records) {
    if (!record.install)
      continue;
    std::string error;
    const std::string relative = ProductPath(record.payload, error);
    os::FileStamp stamp;
    if (error.empty()) {
      try {
        stamp = root.Open(relative).stamp;
        if (stamp.id == outputId)
          error = "the output would overwrite the product file: " + relative;
      } catch (const ToolError &e) {
        error = e.what();
      }
    }
    if (!error.empty()) {
      errors.push_back({record.sourcePos, error});
      if (errors.size() > kMaxDiagnostics)
        break;
      continue;
    }
    auto found = itemOf.find(stamp.id);
    if (found == itemOf.end()) {
      const std::string name =
          namer.Assign(stdfs::path(relative).filename().string());
      items.push_back({name, relative, {}, stamp.size, stamp.modified, stamp});
      found = itemOf.emplace(stamp.id, items.size() - 1).first;
    }
    record.source = TempSourceField(items[found->second].name);
  }
  if (!errors.empty()) {
    PrintDiagnostics(std::cerr, source.fileName, source.text, errors);
    throw ReportedFailure();
  }
  RefuseOverFolderFile(output.path, OutputKind::Package, productDir,
                       "product file");
  NameIndex entries;
  for (size_t k = 0; k < items.size(); ++k)
    entries.Add(items[k].name, k);
  RefuseFailingRecords(source, compiled, entries,
                       "the package (only install lines add files)");
  AddScriptItems(compiled, items);
  if (expectDir) {
    if (!platform::fs::FolderExists(*expectDir))
      throw ToolError("old product folder does not exist: " + *expectDir);
    std::string bytes = ExpectedStateOf(compiled.records, *expectDir, outputId);
    RefuseOverFolderFile(output.path, OutputKind::Package, *expectDir,
                         "file of the old version");
    const auto length = static_cast<int64_t>(bytes.size());
    items.push_back(
        {package::expect::kEntryName, {}, std::move(bytes), length});
    output.texts.expect = true;
  }
  PackAndJoin(root, std::move(items), output);
}

void BuildFromPayload(const std::string &payloadDir, const ScriptSource *source,
                      const std::vector<std::string> &excludes,
                      const PackageOutput &asked) {
  RefuseOverFolderFile(asked.path, OutputKind::Package, payloadDir,
                       "file of the payload folder");
  const SourceListing listing = ListSource(payloadDir, excludes);
  WarnSkipped(payloadDir, listing);
  std::vector<std::string> texts = source ? script_text::PathTexts(source->text)
                                          : std::vector<std::string>();
  for (const SourceListing::File &file : listing.files)
    texts.push_back(file.name);
  PackageOutput output = WithCodePage(asked, texts);
  CompiledScript compiled;
  if (source) {
    compiled = Compile(*source, script_text::Installs::Refused);
    output.readyScript = PackageOutput::ReadyScript::Compiled;
  } else {
    output.packedFrom = payloadDir;
  }

  // An older package in the payload folder is replaced, not packed.
  const std::optional<os::FileId> older = os::IdOfPath(output.path);
  std::vector<PackItem> items;
  NameIndex names;
  for (const SourceListing::File &file : listing.files) {
    const std::string path = payloadDir + "/" + file.name;
    if (file.stamp.id == older)
      continue;
    // The name the extraction writes: without the characters Windows keeps
    // out of names (a:b is ab).
    const std::string written = archive::RemoveReservedChars(file.name);
    for (const char *kept :
         {package::sums::kEntryName, package::expect::kEntryName,
          package::times::kTimesName})
      if (platform::fs::CompareNamesNoCase(written, kept) == 0)
        throw ToolError(path + ": the entry name " + kept +
                        " is kept for the tool");
    if (source &&
        (platform::fs::CompareNamesNoCase(written, script::kScriptName) == 0 ||
         platform::fs::CompareNamesNoCase(written, script::kLongScriptName) ==
             0))
      throw ToolError(path + " is a script already; give --script or keep "
                             "the file, not both");
    // Windows would write both into one file, and the run would then find
    // one of them damaged.
    if (const NameIndex::Found found = names.Clashing(written);
        found.clash != NameClash::None)
      throw ToolError(ClashText(found.clash,
                                payloadDir + "/" + items[found.id].name, path));
    names.Add(written, items.size());
    items.push_back({file.name,
                     file.name,
                     {},
                     file.stamp.size,
                     file.stamp.modified,
                     file.stamp});
  }
  if (source) {
    RefuseFailingRecords(*source, compiled, names,
                         "the payload folder " + payloadDir);
    AddScriptItems(compiled, items);
  } else if (names.Find(script::kScriptName) == NameIndex::kNone &&
             names.Find(script::kLongScriptName) == NameIndex::kNone) {
    Warn("the payload holds no script: the package unpacks its files and "
         "installs nothing");
  }
  PackAndJoin(os::RootFolder(payloadDir, "the payload folder " + payloadDir),
              std::move(items), output);
}

} // namespace tools
