// updpack verify PACKAGE_OR_ARCHIVE [--json]: a report of everything the
// package's run would trip over; nothing is written.
#include <cstdio>
#include <iostream>

#include "platform/codepage.h"
#include "tools/cli.h"
#include "tools/package_check.h"

namespace tools {

namespace {

const char *KindName(FileKind kind) {
  switch (kind) {
  case FileKind::Archive:
    return "archive";
  case FileKind::Package:
    return "package";
  case FileKind::Compressed:
    return "compressed package";
  case FileKind::Other:
    break;
  }
  return "unknown";
}

// Package bytes for every raw byte of a compressed archive, 4 decimals;
// 1 for any other.
std::string Ratio(const PackageCheck &c) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4f",
                c.rawLength > 0 ? static_cast<double>(c.packedLength) /
                                      static_cast<double>(c.rawLength)
                                : 1.0);
  return text;
}

// A JSON string, valid whatever the bytes: quotes and backslashes
// escaped, control characters (C0, DEL, C1) as \u00XX, and every byte of
// malformed UTF-8 as U+FFFD.
std::string Json(const std::string &text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    const size_t at = i;
    const char32_t code = platform::NextCodePoint(text, i);
    if (code == 0xFFFD && text.compare(at, i - at, "\xEF\xBF\xBD") != 0) {
      out += "\\ufffd";
    } else if (code == '"' || code == '\\') {
      out += '\\';
      out += static_cast<char>(code);
    } else if (code < 0x20 || (code >= 0x7F && code < 0xA0)) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x",
                    static_cast<unsigned>(code));
      out += escaped;
    } else {
      out.append(text, at, i - at);
    }
  }
  return out + "\"";
}

std::string JsonList(const std::vector<std::string> &items) {
  std::string out = "[";
  for (size_t k = 0; k < items.size(); ++k)
    out += (k ? ", " : "") + Json(items[k]);
  return out + "]";
}

void PrintJson(const PackageCheck &c) {
  std::cout << "{\n  \"file\": " << Json(c.path)
            << ",\n  \"bytes\": " << c.fileLength << ",\n  \"kind\": \""
            << KindName(c.kind)
            << "\",\n  \"archive_first\": " << c.archiveFirst
            << ",\n  \"archive_last\": " << c.archiveLast
            << ",\n  \"manifest\": \"" << c.manifest
            << "\",\n  \"manifest_offset\": " << c.manifestOffset
            << ",\n  \"manifest_keys\": " << JsonList(c.manifestKeys)
            << ",\n  \"declared_bytes\": " << c.declaredLength
            << ",\n  \"package_bytes\": " << c.fileLength - c.certificateTable
            << ",\n  \"product\": " << Json(c.product)
            << ",\n  \"version\": " << Json(c.version)
            << ",\n  \"code_page\": " << c.codePage
            << ",\n  \"icon\": " << Json(c.icon) << ",\n  \"texts\": {";
  bool first = true;
  for (const auto &[key, text] : c.replacedTexts) {
    std::cout << (first ? "" : ", ") << Json(key) << ": " << Json(text);
    first = false;
  }
  std::cout << "},\n  \"shown_texts\": {";
  first = true;
  for (const auto *list : {&c.shownTexts, &c.messages})
    for (const auto &[key, text] : *list) {
      std::cout << (first ? "" : ", ") << Json(key) << ": " << Json(text);
      first = false;
    }
  std::cout << "}"
            << ",\n  \"certificate_table_bytes\": " << c.certificateTable
            << ",\n  \"packed_bytes\": " << c.packedLength
            << ",\n  \"raw_bytes\": " << c.rawLength
            << ",\n  \"ratio\": " << Ratio(c)
            << ",\n  \"restart\": " << c.restart
            << ",\n  \"compression\": " << c.compression
            << ",\n  \"data_start\": " << c.dataStart << ",\n  \"entries\": [";
  for (size_t k = 0; k < c.entries.size(); ++k) {
    const ListedEntry &e = c.entries[k];
    std::cout << (k ? ",\n" : "\n") << "    {\"name\": " << Json(e.name)
              << ", \"start\": " << e.start << ", \"end\": " << e.end
              << ", \"size\": " << e.size << "}";
  }
  std::cout << (c.entries.empty() ? "]" : "\n  ]")
            << ",\n  \"checksums\": " << (c.checksums ? "true" : "false")
            << ",\n  \"checksummed_entries\": " << c.checksummed
            << ",\n  \"expected_paths\": " << c.expected
            << ",\n  \"timed_entries\": " << c.timed
            << ",\n  \"for_version\": " << Json(c.forVersion)
            << ",\n  \"script\": " << (c.script ? "true" : "false")
            << ",\n  \"records\": [";
  for (size_t k = 0; k < c.records.size(); ++k) {
    const CheckedRecord &r = c.records[k];
    std::cout << (k ? ",\n" : "\n")
              << "    {\"operation\": " << static_cast<int>(r.operation)
              << ", \"source_bytes\": " << r.sourceLength
              << ", \"target_bytes\": " << r.targetLength
              << ", \"text\": " << Json(r.line) << "}";
  }
  std::cout << (c.records.empty() ? "]" : "\n  ]")
            << ",\n  \"unlisted_records\": " << c.unlistedRecords
            << ",\n  \"script_tail_bytes\": " << c.scriptTail
            << ",\n  \"faults\": " << JsonList(c.faults)
            << ",\n  \"warnings\": " << JsonList(c.warnings)
            << ",\n  \"notes\": " << JsonList(c.notes)
            << ",\n  \"sound\": " << (c.Sound() ? "true" : "false") << "\n}\n";
}

void PrintText(const PackageCheck &c) {
  std::cout << ConsoleUi::Printable(c.path) << ": " << KindName(c.kind) << ", "
            << c.fileLength << " bytes\n";
  if (c.kind == FileKind::Package)
    std::cout << "  archive:     positions " << c.archiveFirst << " to "
              << c.archiveLast << ", trailer after it\n";
  if (c.kind == FileKind::Compressed)
    std::cout << "  archive:     compressed from position " << c.archiveFirst
              << ": " << c.packedLength << " bytes for " << c.rawLength
              << " (ratio " << Ratio(c) << ")"
              << (c.restart > 0 ? "; the stream in two parts, the second from "
                                  "raw byte " +
                                      std::to_string(c.restart)
                                : std::string())
              << "\n";
  if (c.kind != FileKind::Archive) {
    std::cout << "  manifest:    " << c.manifest;
    if (c.manifest != "absent")
      std::cout << " at offset " << c.manifestOffset;
    if (!c.manifestKeys.empty()) {
      std::cout << "; keys";
      for (const std::string &key : c.manifestKeys)
        std::cout << " " << ConsoleUi::Printable(key);
    }
    std::cout << "\n";
    if (c.declaredLength >= 0)
      std::cout << "  length:      " << c.fileLength - c.certificateTable
                << " bytes, " << c.declaredLength
                << " declared by the manifest\n";
  }
  if (c.kind == FileKind::Package || c.kind == FileKind::Compressed) {
    std::cout << "  product:     " << ConsoleUi::Printable(c.product)
              << ", version " << ConsoleUi::Printable(c.version)
              << (c.ownTexts ? "" : " (the shipped texts)") << "\n";
    std::cout << "  code page:   "
              << (c.codePage > 0 ? std::to_string(c.codePage)
                                 : std::string("the system's"))
              << "\n";
    // What the run shows: the texts given in place of the language's
    // defaults, and the defaults, marked so.
    for (const auto *list : {&c.shownTexts, &c.messages})
      for (const auto &[key, text] : *list)
        std::cout << "  text " << key
                  << (c.replacedTexts.count(key) ? ": " : " (default): ")
                  << ConsoleUi::Printable(text) << "\n";
    std::cout << "  icon:        " << (c.icon.empty() ? "none" : c.icon)
              << "\n";
  }
  std::cout << "  signature:   "
            << (c.certificateTable ? "certificate table present (" +
                                         std::to_string(c.certificateTable) +
                                         " bytes; not verified here)"
                                   : std::string("none"))
            << "\n";
  if (c.compression >= 0)
    std::cout << "  catalog:     " << c.entries.size()
              << " entries, compression " << c.compression << ", data start "
              << c.dataStart << "\n";
  for (const ListedEntry &e : c.entries)
    std::cout << "    " << ConsoleUi::Printable(e.name) << "  " << e.size
              << " bytes\n";
  if (c.checksums)
    std::cout << "  checksums:   " << c.checksummed
              << " entries match their length and CRC-32\n";
  if (c.timed >= 0)
    std::cout << "  times:       " << c.timed
              << " entries keep their modification times when installed\n";
  if (c.expected >= 0)
    std::cout << "  expected:    " << c.expected
              << " paths of the installed version checked before the "
                 "install, for version "
              << (c.forVersion.empty() ? "(not named)"
                                       : ConsoleUi::Printable(c.forVersion))
              << "\n";
  if (c.script) {
    std::cout << "  script:      " << c.records.size() + c.unlistedRecords
              << " records";
    if (c.scriptTail)
      std::cout << ", " << c.scriptTail << " bytes after the last";
    std::cout << "\n";
    for (size_t k = 0; k < c.records.size(); ++k) {
      const CheckedRecord &r = c.records[k];
      std::cout << "    " << k + 1 << ". op " << static_cast<int>(r.operation)
                << ", source " << r.sourceLength << " bytes, target "
                << r.targetLength << " bytes:  " << ConsoleUi::Printable(r.line)
                << "\n";
    }
  }
  for (const std::string &warning : c.warnings)
    std::cout << "  warning:     " << ConsoleUi::Printable(warning) << "\n";
  for (const std::string &note : c.notes)
    std::cout << "  note:        " << ConsoleUi::Printable(note) << "\n";
  for (const std::string &fault : c.faults)
    std::cout << "  FAULT:       " << ConsoleUi::Printable(fault) << "\n";
  std::cout << (c.Sound() ? "sound\n"
                          : "damaged or would fail: the package must not be "
                            "shipped\n");
}

} // namespace

int VerifyCommand(const std::vector<std::string> &arguments) {
  const Args args = ParseArgs(arguments, {{"--json", false}});
  if (args.help)
    return ShowUsage("verify");
  ExpectPositional(args, {"PACKAGE_OR_ARCHIVE"});
  CheckReadable(args.positional[0]);
  const PackageCheck check = CheckPackage(args.positional[0]);
  if (args.Has("--json"))
    PrintJson(check);
  else
    PrintText(check);
  return check.Sound() ? kExitOk : kExitFailed;
}

} // namespace tools
