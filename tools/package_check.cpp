// The checks of `updpack verify`.
#include "tools/package_check.h"

#include <algorithm>

#include "archive/catalog.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/fs.h"
#include "run/checksums.h"
#include "run/install_script.h"
#include "run/pe_image.h"
#include "tools/cli.h"
#include "tools/file_io.h"
#include "tools/image_texts.h"
#include "tools/program_icon.h"
#include "tools/script_paths.h"
#include "tools/script_printer.h"

namespace tools {

namespace {

namespace sums = mdl_main::sums;
namespace script = mdl_main::script;

std::string Quoted(const std::string &name) { return "\"" + name + "\""; }

// The entry that the extraction leaves under name: the last of that name
// (names compare as Windows compares them).
const ListedEntry *Written(const std::vector<ListedEntry> &entries,
                           const std::string &name) {
  const std::string_view wanted = archive::WithoutTrailingDotsAndSpaces(name);
  for (auto it = entries.rbegin(); it != entries.rend(); ++it)
    if (platform::fs::CompareNamesNoCase(
            std::string(archive::WithoutTrailingDotsAndSpaces(it->name)),
            std::string(wanted)) == 0)
      return &*it;
  return nullptr;
}

// A certificate table that the security directory names but that does not
// end the file: whatever follows it is no part of what was signed, and the
// package is taken to end at the file's end, after those bytes.
void CheckSignatureEnd(PackageCheck &check, const OsFile &file) {
  const auto named =
      pe::ReadImageHeaders([&](int64_t offset, uint8_t *bytes, size_t count) {
        return file.ReadAt(offset, bytes, count) == count;
      }).table;
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
  // The texts of the program image, the part before the archive.
  if (span.kind == FileKind::Package) {
    std::string image(static_cast<size_t>(span.first - 1), '\0');
    image.resize(file.ReadAt(0, image.data(), image.size()));
    const FoundTexts texts = ReadImageTexts(image);
    check.ownTexts = texts.own;
    check.sumsDeclared = texts.sums;
    check.product = texts.product;
    check.version = texts.version;
    check.replacedTexts = texts.replaced;
    try {
      check.icon = DescribeIcon(ReadProgramIcon(image));
    } catch (const ToolError &e) {
      check.notes.push_back(std::string("no icon: ") + e.what());
    }
    // Judged by the rules build applies to them.
    if (texts.own)
      for (std::string &fault :
           TextFaults(texts.product, texts.version, texts.texts))
        check.faults.push_back(std::move(fault));
  }
  if (span.kind == FileKind::Other) {
    check.faults.push_back(
        "no archive: the file does not begin with PACK1, and the trailer in "
        "its last 4 bytes" +
        std::string(check.certificateTable ? " before the certificate table"
                                           : "") +
        " does not lead to one (damaged or incomplete)");
  }
}

void CheckChecksums(PackageCheck &check, ArchiveReader &reader) {
  const ListedEntry *list = Written(check.entries, sums::kEntryName);
  if (!list && check.sumsDeclared) {
    check.faults.push_back(std::string("the package's texts declare a ") +
                           sums::kEntryName + " entry, and it holds none");
    return;
  }
  if (!list) {
    check.notes.push_back("no checksum entry: damage inside an entry cannot "
                          "be told");
    return;
  }
  check.checksums = true;
  std::vector<sums::Sum> listed;
  try {
    listed = sums::ParseSums(reader.Read(*list));
  } catch (const platform::Error &e) {
    check.faults.push_back(
        e.Description().substr(0, e.Description().find('\r')));
    return;
  }
  for (const sums::Sum &sum : listed) {
    const ListedEntry *entry = Written(check.entries, sum.name);
    if (!entry) {
      check.faults.push_back("the entry " + Quoted(sum.name) + " listed in " +
                             sums::kEntryName + " is missing");
      continue;
    }
    uint32_t crc = 0;
    reader.ReadPieces(*entry, [&](const uint8_t *bytes, size_t count) {
      crc = sums::Crc32(crc, bytes, count);
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
  for (const ListedEntry &entry : check.entries) {
    const std::string name(archive::WithoutTrailingDotsAndSpaces(entry.name));
    const bool covered =
        platform::fs::CompareNamesNoCase(name, sums::kEntryName) == 0 ||
        std::any_of(listed.begin(), listed.end(), [&](const sums::Sum &sum) {
          return platform::fs::CompareNamesNoCase(sum.name, name) == 0;
        });
    if (!covered)
      check.faults.push_back("the entry " + Quoted(entry.name) +
                             " is not covered by " + sums::kEntryName);
  }
}

// The name a field reads from the temporary folder: the rest of "\0\NAME"
// when it names a file directly in it, "" otherwise.
std::string TempFolderName(std::string_view field) {
  if (field.size() < 3 || field[0] != script::kTempFolderMark ||
      field[1] != '\\' ||
      field.find_first_of("\\/", 2) != std::string_view::npos)
    return {};
  return std::string(field.substr(2));
}

void CheckScript(PackageCheck &check, ArchiveReader &reader) {
  const ListedEntry *entry = Written(check.entries, script::kScriptName);
  if (!entry) {
    check.notes.push_back("no script: the package unpacks and installs "
                          "nothing");
    return;
  }
  check.script = true;
  const std::string bytes = reader.Read(*entry);
  const size_t count = bytes.size() / script::kRecordSize;
  check.scriptTail = bytes.size() % script::kRecordSize;
  for (size_t k = 0; k < count; ++k) {
    const std::string_view record = std::string_view(bytes).substr(
        k * script::kRecordSize, script::kRecordSize);
    const std::string_view source = script::TrimBlanks(
        record.substr(script::kSourceOffset, script::kSourceSize));
    const std::string_view target = script::TrimBlanks(
        record.substr(script::kTargetOffset, script::kTargetSize));
    CheckedRecord checked;
    checked.operation = static_cast<uint8_t>(record[0]);
    checked.sourceLength = source.size();
    checked.targetLength = target.size();
    checked.line = script_text::RecordLine(record);
    // A copy out of the temporary folder needs the entry it names.
    if (checked.operation == script::kCopyFile) {
      const std::string name = platform::AnsiToText(TempFolderName(source));
      if (!name.empty() && !Written(check.entries, name))
        check.faults.push_back("record " + std::to_string(k + 1) +
                               " copies {temp}\\" + name +
                               ", which the package does not hold");
    }
    check.records.push_back(std::move(checked));
  }
  check.warnings = OutsidePathWarnings(bytes);
  if (check.scriptTail)
    check.notes.push_back(std::to_string(check.scriptTail) +
                          " bytes after the script's last whole record are "
                          "never carried out");
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
    CheckChecksums(check, reader);
    CheckScript(check, reader);
  } catch (const platform::Error &e) {
    // The header, the catalog or an entry the extraction would refuse.
    check.faults.push_back(e.Description() + " (" + std::to_string(e.Number()) +
                           ")");
  }
  return check;
}

} // namespace tools
