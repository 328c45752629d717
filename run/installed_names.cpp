// Installed names instead of entry names in messages.
#include "run/installed_names.h"

#include "archive/catalog.h"
#include "package/long_records.h"
#include "package/script_record.h"
#include "platform/fs.h"
#include "run/mdl_main.h"
#include "run/temp_entry.h"
#include "run/unattended.h"

namespace mdl_main::names {

namespace record = package::script;

std::string Shown(const std::string &path, const std::string &programFolder) {
  if (platform::fs::IsBelow(programFolder, path))
    return path.substr(programFolder.size() + 1);
  return path;
}

std::string_view OfPackage(const std::string &source) {
  // One name in the folder, as the package holds its files: nothing after
  // a separator, and not "." or ".." (nor any name of dots and blanks
  // alone, which Windows reads as the folder it is in).
  const size_t name = TempFolder.size() + 1;
  if (!platform::fs::IsBelow(TempFolder, source) ||
      source.find_first_of("\\/", name) != std::string::npos ||
      source.find_first_not_of(". ", name) == std::string::npos)
    return {};
  return source;
}

std::string InstalledFileOf(const std::string &entry, bool longDeclared) {
  const std::string programFolder = AppFolder();
  const std::u16string wanted =
      platform::fs::FoldName(TempFolder + "\\" + entry);
  std::string found;
  const auto look = [&](const record::Record &read) {
    if (!found.empty() || read.operation != record::kCopyFile)
      return;
    // The entry Windows reads ("{temp}\a.txt." is a.txt).
    const std::string source =
        record::PrepareField(read.source, TempFolder, programFolder);
    if (platform::fs::FoldName(std::string_view(
            source.data(), archive::LengthAsRead(source))) == wanted)
      found =
          Shown(record::PrepareField(read.target, TempFolder, programFolder),
                programFolder);
  };
  try {
    std::string bytes;
    if (ReadTempEntry(record::kScriptName, bytes))
      record::ForEachRecord(bytes, record::Form::Records, look);
    if (longDeclared && ReadTempEntry(record::kLongScriptName, bytes))
      record::ForEachRecord(bytes, record::Form::Long, look);
  } catch (const std::exception &) {
    // A message about a damaged package must not fail for want of a name.
  }
  return found.empty() ? entry : found;
}

void RaiseRenamed(const platform::Error &error,
                  std::initializer_list<std::string_view> paths,
                  std::string_view shown) {
  std::string description = error.Description();
  for (const std::string_view path : paths) {
    if (path.empty())
      continue;
    for (size_t at = description.find(path); at != std::string::npos;
         at = description.find(path, at + shown.size()))
      description.replace(at, path.size(), shown);
  }
  throw platform::Error(error.Number(), std::move(description));
}

} // namespace mdl_main::names
