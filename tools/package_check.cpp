// The checks of `updpack verify`.
#include "tools/package_check.h"

#include <algorithm>
#include <optional>

#include "package/checksums.h"
#include "package/crc32.h"
#include "package/entry_limits.h"
#include "package/expected_state.h"
#include "package/file_times.h"
#include "package/long_records.h"
#include "package/manifest.h"
#include "package/pe_image.h"
#include "package/script_record.h"
#include "package/stream_layout.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "tools/cli.h"
#include "tools/code_page_choice.h"
#include "tools/entry_names.h"
#include "tools/file_io.h"
#include "tools/image_texts.h"
#include "tools/name_index.h"
#include "tools/program_icon.h"
#include "tools/record_check.h"
#include "tools/script_paths.h"
#include "tools/script_printer.h"
#include "tools/staging.h"

namespace tools {

namespace pe = package::pe;

namespace {

namespace sums = package::sums;
namespace script = package::script;

// The records verify keeps to list: as many as the largest script a run of
// a package of ours reads. A larger script (of a package in the base
// format, which the run reads a record at a time) is checked whole.
constexpr size_t kMaxKeptRecords =
    static_cast<size_t>(package::kMaxOwnEntryBytes) / script::kRecordSize;

std::string Quoted(const std::string &name) { return "\"" + name + "\""; }

// The entries by the name the extraction leaves each under; two entries
// that are one file on Windows are reported. Entry k has the id k.
NameIndex IndexEntries(PackageCheck &check) {
  // A catalog of one short name repeated would otherwise get a line of a
  // hundred bytes for every six of its own: the first ones and a count.
  constexpr size_t kMaxListed = 20;
  size_t listed[2] = {0, 0}; // short-name faults, repeated-name notes
  NameIndex index;
  for (size_t k = 0; k < check.entries.size(); ++k) {
    const std::string &name = check.entries[k].name;
    const NameIndex::Found found = index.Clashing(name);
    index.Add(name, k);
    if (found.clash == NameClash::None)
      continue;
    const bool shortName = found.clash == NameClash::ShortName;
    if (listed[shortName ? 0 : 1]++ >= kMaxListed)
      continue;
    const std::string clash =
        "the entries " +
        ClashText(found.clash, check.entries[found.id].name, name);
    // A short name may land either entry in the other's file, whatever
    // the order; a repeated name is the later entry, as the checksum
    // entry of build counts it.
    if (shortName)
      check.faults.push_back(clash + ": one overwrites the other");
    else
      check.notes.push_back(clash + ": the later entry is the file");
  }
  if (listed[0] > kMaxListed)
    check.faults.push_back(std::to_string(listed[0] - kMaxListed) +
                           " more entries could be another's short name");
  if (listed[1] > kMaxListed)
    check.notes.push_back(std::to_string(listed[1] - kMaxListed) +
                          " more entries repeat an earlier name");
  return index;
}

// The entry that the extraction leaves under name: the last of that name.
const ListedEntry *Written(const PackageCheck &check, const NameIndex &index,
                           const std::string &name) {
  const size_t id = index.Find(name);
  return id == NameIndex::kNone ? nullptr : &check.entries[id];
}

// The fault of an entry that the manifest declares and the package lacks.
void AddMissing(PackageCheck &check, const std::string &name) {
  check.faults.push_back("the package's manifest declares a " + name +
                         " entry, and it holds none");
}

// An entry's bytes; nullopt, and a fault, for one that a run of this
// package of ours reads whole and is larger than it takes.
std::optional<std::string> ReadOrFault(PackageCheck &check,
                                       ArchiveReader &reader,
                                       const ListedEntry &entry) {
  if (check.manifest == "present" && IsReadWholeEntryName(entry.name) &&
      entry.size > package::kMaxOwnEntryBytes) {
    check.faults.push_back("the entry " + Quoted(entry.name) + " is " +
                           std::to_string(entry.size) + " bytes, more than " +
                           std::to_string(package::kMaxOwnEntryBytes) +
                           ": the run ends as on a damaged package");
    return std::nullopt;
  }
  return reader.Read(entry);
}

// parse(bytes) of an entry's bytes; a parse that fails is a fault (the
// first line of its description) and gives nullopt.
template <typename Parse>
auto ParsedOrFault(PackageCheck &check, ArchiveReader &reader,
                   const ListedEntry &entry, Parse parse)
    -> std::optional<decltype(parse(reader.Read(entry)))> {
  try {
    const std::optional<std::string> bytes = ReadOrFault(check, reader, entry);
    if (!bytes)
      return std::nullopt;
    return parse(*bytes);
  } catch (const platform::Error &e) {
    check.faults.push_back(
        e.Description().substr(0, e.Description().find('\r')));
    return std::nullopt;
  }
}

// A certificate table that the security directory names but that does not
// end the file: whatever follows it is no part of what was signed, and the
// package is taken to end at the file's end, after those bytes.
void CheckSignatureEnd(PackageCheck &check, const OsFile &file) {
  const auto named = pe::ReadImageHeaders(OsFileSource(file)).table;
  if (!named || named->offset + named->size == check.fileLength)
    return;
  const int64_t after = check.fileLength - named->offset - named->size;
  check.faults.push_back(
      "the security directory names a certificate table of " +
      std::to_string(named->size) + " bytes at offset " +
      std::to_string(named->offset) +
      (after > 0
           ? " with " + std::to_string(after) + " bytes after the signature"
           : " that runs past the end of the file"));
}

// What is wrong with a damaged manifest.
std::string ManifestDamage(const package::Manifest &manifest,
                           int64_t fileLength) {
  const std::string payload =
      "its payload of " + std::to_string(manifest.payloadLength) + " bytes";
  switch (manifest.fault) {
  case package::ManifestFault::Cut:
    return "it runs past the end of the file (" + std::to_string(fileLength) +
           " bytes): cut short";
  case package::ManifestFault::TooLong:
    return payload + " is more than a run reads (" +
           std::to_string(package::kMaxManifestPayload) + ")";
  case package::ManifestFault::Crc:
    return payload + " does not match its CRC-32";
  case package::ManifestFault::NotPairs:
    return payload + " is not a list of key and value pairs";
  case package::ManifestFault::BadLength:
    return std::string("its \"") + package::kLengthKey +
           "\" is not a decimal number";
  case package::ManifestFault::None:
    break;
  }
  return "damaged";
}

// The manifest where the program image ends: absent (the base format),
// damaged, or its keys, the texts it carries and the length it declares.
void CheckManifest(PackageCheck &check, const OsFile &file) {
  const package::Manifest manifest = package::FindManifest(OsFileSource(file));
  check.manifestOffset = manifest.offset;
  // What a run shows, the defaults included.
  const FoundTexts shown = ManifestTexts(manifest);
  for (size_t k = 0; k < package::kTextCount; ++k)
    check.shownTexts.emplace_back(package::KeyOf(k).key, shown.texts[k]);
  check.messages = shown.messages;
  // Those the texts name: the shipped ones without an intact manifest.
  check.product = shown.product;
  check.version = shown.version;
  switch (manifest.state) {
  case package::ManifestState::Absent:
    check.manifest = "absent";
    check.notes.push_back(
        "no manifest where the program image ends: the base format, whose "
        "run shows the shipped texts and tells no cut download");
    return;
  case package::ManifestState::Damaged:
    check.manifest = "damaged";
    check.faults.push_back(
        "the manifest at offset " + std::to_string(manifest.offset) +
        " is damaged: " + ManifestDamage(manifest, check.fileLength));
    return;
  case package::ManifestState::Intact:
    check.manifest = "present";
    break;
  }
  package::ForEachPair(manifest.payload,
                       [&](std::string_view key, std::string_view) {
                         check.manifestKeys.emplace_back(key);
                       });
  check.declaredLength = manifest.length;
  const int64_t length = check.fileLength - check.certificateTable;
  if (manifest.length < 0)
    check.notes.push_back("the manifest declares no length: a cut download "
                          "is told only by what is missing");
  else if (manifest.length != length)
    check.faults.push_back("the manifest declares a package of " +
                           std::to_string(manifest.length) +
                           " bytes, and it is " + std::to_string(length) +
                           " (cut short, or bytes added after it)");
  check.codePage = package::DeclaredCodePage(manifest.payload);
  if (check.codePage < 0 ||
      (check.codePage != 0 && !platform::SetFileCodePage(check.codePage)))
    check.faults.push_back("the manifest's code page " +
                           Quoted(std::string(*package::FindValue(
                               manifest.payload, package::kCodePageKey))) +
                           " is none a run can read names in (" +
                           CodePageList() + ")");
  package::StreamLayout layout;
  if (!package::ReadStreamLayout(manifest.payload, layout))
    check.faults.push_back(kRefusedLayout);
  // The run takes such ranges as they are: the archive they decode to is
  // judged by its CRC-32, as the run judges it.
  else if (!package::RangesDisjoint(layout))
    check.warnings.push_back("the manifest's x86 and stored ranges share "
                             "bytes, which no build writes: the archive is "
                             "sound only as far as its CRC-32 says");
  const FoundTexts texts = ManifestTexts(manifest);
  check.ownTexts = texts.own;
  check.sumsDeclared = texts.sums;
  check.expectDeclared = texts.expect;
  check.forVersion = texts.forVersion;
  check.longScriptDeclared =
      package::FindValue(manifest.payload, script::kLongScriptKey) == "1";
  check.timesDeclared =
      package::FindValue(manifest.payload, package::times::kTimesKey) == "1";
  check.replacedTexts = texts.replaced;
  for (const std::string &key : texts.unknownKeys)
    check.notes.push_back("the manifest's key " + Quoted(key) +
                          " is not known here: a run passes it over");
  // Judged by the rules build applies to them.
  for (std::string &fault :
       TextFaults(texts.product, texts.version, texts.texts))
    check.faults.push_back(std::move(fault));
}

// The program image ends, as its headers say, before the archive: build
// puts the manifest there. Headers that say otherwise were damaged or made
// up (a section's raw data past the file, a section table that is not
// there); the manifest is not found then, and the package would be taken
// for one of the base format. The one exception is how the packages of the
// base format were joined: without a manifest, the archive's first byte in
// the place of the image's last (a padding byte of its last section).
void CheckImageBeforeArchive(PackageCheck &check,
                             const std::optional<int64_t> &end,
                             const ArchiveSpan &span) {
  if (!end)
    check.faults.push_back("the program image's headers do not say where it "
                           "ends (a section table outside the file, or no "
                           "PE header): damaged headers");
  else if (*end == span.first && check.manifest == "absent")
    check.notes.push_back("the archive's first byte takes the place of the "
                          "program image's last, as in the packages of the "
                          "base format");
  else if (*end > span.first - 1)
    check.faults.push_back(
        "the program image's headers say it ends at offset " +
        std::to_string(*end) + ", past the archive's start at offset " +
        std::to_string(span.first - 1) + ": damaged headers");
}

void CheckContainer(PackageCheck &check) {
  const OsFile file(check.path, platform::OpenMode::ReadOnly);
  check.fileLength = file.Size();
  const int64_t end = PackageEnd(file);
  check.certificateTable = check.fileLength - end;
  CheckSignatureEnd(check, file);
  const ArchiveSpan span = LocateArchive(file);
  check.kind = span.kind;
  check.archiveFirst = span.first;
  check.archiveLast = span.last;
  if (span.kind != FileKind::Archive)
    CheckManifest(check, file);
  if (span.kind == FileKind::Compressed) {
    check.packedLength = span.layout.streamLength + span.layout.StoredLength();
    check.rawLength = span.layout.rawLength;
    check.restart = span.layout.restart;
  }
  // The icon of the program image: the part before the archive, as far as
  // the image's headers say it goes (a hand-made package may put anything
  // of any length after it). One whose headers do not parse fails to give
  // an icon within its first kilobytes.
  if (span.kind == FileKind::Package || span.kind == FileKind::Compressed) {
    const std::optional<int64_t> end =
        pe::ReadImageHeaders(OsFileSource(file)).end;
    CheckImageBeforeArchive(check, end, span);
    constexpr int64_t kNotAnImage = int64_t{64} * 1024;
    std::string image(static_cast<size_t>(
                          std::min(end.value_or(kNotAnImage), span.first - 1)),
                      '\0');
    image.resize(file.ReadAt(0, image.data(), image.size()));
    try {
      check.icon = DescribeIcon(ReadProgramIcon(image));
    } catch (const ToolError &e) {
      check.notes.push_back(std::string("no icon: ") + e.what());
    }
  }
  if (span.kind == FileKind::Other) {
    check.faults.push_back(NoArchiveFault(check.certificateTable));
  }
}

void CheckChecksums(PackageCheck &check, const NameIndex &entries,
                    ArchiveReader &reader, int64_t held) {
  const ListedEntry *list = Written(check, entries, sums::kEntryName);
  if (!list && check.sumsDeclared) {
    AddMissing(check, sums::kEntryName);
    return;
  }
  if (!list) {
    check.notes.push_back("no checksum entry: damage inside an entry cannot "
                          "be told");
    return;
  }
  check.checksums = true;
  const auto parsed = ParsedOrFault(check, reader, *list, sums::ParseSums);
  if (!parsed)
    return;
  const std::vector<sums::Sum> &listed = *parsed;
  // As the run: what the list names may come to the bytes the entries
  // hold (what the extraction wrote), so that a line repeated does not read
  // one large entry again and again.
  int64_t listedAtMost = held;
  for (const sums::Sum &sum : listed) {
    listedAtMost -= sum.length;
    if (listedAtMost < 0) {
      check.faults.push_back(std::string("the entry ") + sums::kEntryName +
                             " lists more bytes than the " +
                             std::to_string(held) +
                             " the entries hold: the run ends as on a "
                             "damaged package");
      break;
    }
    const ListedEntry *entry = Written(check, entries, sum.name);
    if (!entry) {
      check.faults.push_back("the entry " + Quoted(sum.name) + " listed in " +
                             sums::kEntryName + " is missing");
      continue;
    }
    uint32_t crc = 0;
    if (entry->size == sum.length)
      reader.ReadPieces(*entry, [&](const uint8_t *bytes, size_t count) {
        crc = package::Crc32(crc, bytes, count);
      });
    if (entry->size != sum.length)
      check.faults.push_back("the entry " + Quoted(sum.name) + " is " +
                             std::to_string(entry->size) + " bytes, not " +
                             std::to_string(sum.length));
    else if (crc != sum.crc)
      check.faults.push_back("the entry " + Quoted(sum.name) +
                             " does not match its CRC-32");
    else
      ++check.checksummed;
  }
  NameIndex covered;
  for (size_t k = 0; k < listed.size(); ++k)
    covered.Add(listed[k].name, k);
  covered.Add(sums::kEntryName, listed.size());
  for (const ListedEntry &entry : check.entries) {
    if (covered.Find(entry.name) == NameIndex::kNone)
      check.faults.push_back("the entry " + Quoted(entry.name) +
                             " is not covered by " + sums::kEntryName);
  }
}

// The records of one script entry, numbered on from those before.
void CheckRecords(PackageCheck &check, RecordCheck &records,
                  const std::string &name, const std::string &bytes) {
  if (check.manifest == "present" &&
      RepeatedPlaceholderBytesAtLongest(name, bytes) >
          package::kMaxRepeatedPlaceholderBytes) {
    check.faults.push_back("the entry " + Quoted(name) +
                           " repeats {temp} or {app} within its paths more "
                           "than a run may take: it can end as on a damaged "
                           "package");
    return;
  }
  script::ForEachRecord(
      bytes, FormOfEntry(name), [&](const script::Record &fields) {
        if (check.records.size() == kMaxKeptRecords) {
          ++check.unlistedRecords;
          return;
        }
        CheckedRecord checked;
        checked.operation = fields.operation;
        checked.sourceLength = script::TrimBlanks(fields.source).size();
        checked.target = script::TrimBlanks(fields.target);
        checked.targetLength = checked.target.size();
        checked.line = script_text::RecordLine(fields);
        check.records.push_back(std::move(checked));
      });
  check.scriptTail +=
      records.Check(name, bytes, check.faults, check.warnings).tail;
}

// ours: the package has a manifest; without one the run knows no long
// script, and an entry of its name is a file like any other.
void CheckScript(PackageCheck &check, const NameIndex &entries,
                 ArchiveReader &reader, bool ours) {
  RecordCheck records(entries, ours);
  const ListedEntry *entry = Written(check, entries, script::kScriptName);
  const ListedEntry *longEntry =
      ours ? Written(check, entries, script::kLongScriptName) : nullptr;
  // The run passes over one its manifest does not declare.
  if (longEntry && !check.longScriptDeclared) {
    check.warnings.push_back(std::string("the package holds ") +
                             script::kLongScriptName +
                             ", which its manifest does not declare: a run "
                             "carries out none of its records");
    longEntry = nullptr;
  }
  if (!entry && !longEntry) {
    check.notes.push_back("no script: the package unpacks and installs "
                          "nothing");
  }
  if (entry) {
    check.script = true;
    if (const auto bytes = ReadOrFault(check, reader, *entry))
      CheckRecords(check, records, script::kScriptName, *bytes);
  }
  if (longEntry) {
    check.script = true;
    const auto bytes = ReadOrFault(check, reader, *longEntry);
    if (bytes && !script::IsLongScript(*bytes))
      check.faults.push_back(std::string("the entry ") +
                             script::kLongScriptName +
                             " does not begin as a long script does");
    else if (bytes)
      CheckRecords(check, records, script::kLongScriptName, *bytes);
  } else if (check.longScriptDeclared) {
    AddMissing(check, script::kLongScriptName);
  }
  records.Finish(check.faults);
  if (check.unlistedRecords)
    check.notes.push_back(
        std::to_string(check.unlistedRecords) + " records after the first " +
        std::to_string(kMaxKeptRecords) + " are checked but not listed");
  if (check.scriptTail)
    check.notes.push_back(std::to_string(check.scriptTail) +
                          " bytes after the script's last whole record are "
                          "never carried out");
}

// The expected state: present when declared, and about the script's own
// paths: each it lists is one a record copies to, deletes, creates or
// removes under {app}.
void CheckExpected(PackageCheck &check, const NameIndex &entries,
                   ArchiveReader &reader) {
  namespace expect = package::expect;
  const ListedEntry *entry = Written(check, entries, expect::kEntryName);
  if (!entry) {
    if (check.expectDeclared)
      AddMissing(check, expect::kEntryName);
    else if (check.script)
      check.notes.push_back("no expected state: the run checks only what the "
                            "script implies before it installs");
    return;
  }
  // The run reads one the manifest does not declare all the same.
  if (!check.expectDeclared)
    check.notes.push_back(std::string("the entry ") + expect::kEntryName +
                          " is not declared by the manifest: a run checks "
                          "the product against it all the same");
  const auto parsed =
      ParsedOrFault(check, reader, *entry, expect::ParseExpected);
  if (!parsed)
    return;
  const std::vector<expect::Expected> &list = *parsed;
  check.expected = static_cast<int64_t>(list.size());
  NameIndex targets;
  const std::string app = std::string(1, script::kProgramFolderMark) + "\\";
  for (size_t k = 0; k < check.records.size(); ++k) {
    const CheckedRecord &record = check.records[k];
    if (record.operation <= script::kDeleteFolder &&
        record.target.rfind(app, 0) == 0)
      targets.Add(platform::AnsiToText(record.target.substr(app.size())), k);
  }
  for (const expect::Expected &item : list)
    if (targets.Find(platform::AnsiToText(item.path)) == NameIndex::kNone)
      check.faults.push_back("the expected state names " +
                             Quoted(platform::AnsiToText(item.path)) +
                             ", which no record of the script changes");
}

// The files' times: present when declared, readable, and each for an
// entry the package holds.
void CheckTimes(PackageCheck &check, const NameIndex &entries,
                ArchiveReader &reader) {
  namespace times = package::times;
  const ListedEntry *entry = Written(check, entries, times::kTimesName);
  if (!entry) {
    if (check.timesDeclared)
      AddMissing(check, times::kTimesName);
    return;
  }
  // The run never reads one the manifest does not declare.
  if (!check.timesDeclared) {
    check.notes.push_back(std::string("the entry ") + times::kTimesName +
                          " is not declared by the manifest: a run neither "
                          "reads it nor sets a time");
    return;
  }
  const auto parsed = ParsedOrFault(check, reader, *entry, times::ParseTimes);
  if (!parsed)
    return;
  const std::vector<times::EntryTime> &list = *parsed;
  check.timed = static_cast<int64_t>(list.size());
  for (const times::EntryTime &item : list)
    if (!Written(check, entries, item.name))
      check.faults.push_back("the entry " + std::string(times::kTimesName) +
                             " gives a time to " + Quoted(item.name) +
                             ", which the package does not hold");
}

} // namespace

PackageCheck CheckPackage(const std::string &path) {
  PackageCheck check;
  check.path = path;
  CheckContainer(check);
  if (check.kind == FileKind::Other)
    return check;
  try {
    ArchiveReader reader(path);
    check.compression = reader.Compression();
    check.dataStart = reader.DataStart();
    ListedEntry entry;
    while (reader.Next(entry))
      check.entries.push_back(entry);
    const NameIndex entries = IndexEntries(check);
    // build never overlaps two entries' bytes, and a run of a package of
    // ours refuses ranges that do (cls_arch::DataBound).
    int64_t held = 0;
    for (const ListedEntry &listed : check.entries)
      held += listed.size;
    if (check.manifest == "present" && held > reader.DataBytes())
      check.faults.push_back(
          "the entries hold " + std::to_string(held) +
          " bytes together, more than the " +
          std::to_string(reader.DataBytes()) +
          " of the data region (their ranges overlap): the run ends as on a "
          "damaged package");
    // Without a manifest (the base format, or an archive alone) the run
    // reads no checksum list, long script, expected state or times:
    // entries of those names are files like any other.
    const bool ours = check.manifest != "absent";
    if (ours)
      CheckChecksums(check, entries, reader, held);
    else
      check.notes.push_back("no manifest: the run checks no checksums, and "
                            "damage inside an entry cannot be told");
    CheckScript(check, entries, reader, ours);
    if (ours) {
      CheckExpected(check, entries, reader);
      CheckTimes(check, entries, reader);
    }
  } catch (const ScratchError &) {
    // No room here to read the package in: no verdict on it.
    throw;
  } catch (const platform::Error &e) {
    // The header, the catalog or an entry the extraction would refuse.
    check.faults.push_back(e.Description() + " (" + std::to_string(e.Number()) +
                           ")");
  } catch (const ToolError &e) {
    // A compressed archive that does not decode.
    check.faults.push_back(e.what());
  }
  return check;
}

} // namespace tools
