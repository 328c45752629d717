// Packages built from a product folder or a payload folder.
#include "tools/package_build.h"
#include "run/checksums.h"

#include <filesystem>
#include <iostream>
#include <map>

#include "platform/codepage.h"
#include "platform/fs.h"
#include "run/install_script.h"
#include "tools/cli.h"
#include "tools/entry_names.h"
#include "tools/pack_folder.h"
#include "tools/package_writer.h"
#include "tools/script_compiler.h"
#include "tools/script_field.h"
#include "tools/source_listing.h"
#include "tools/staging.h"

namespace tools {

namespace {

namespace stdfs = std::filesystem;
namespace script = mdl_main::script;
using script_text::CompiledScript;

// Compiles the script or prints its errors and fails.
CompiledScript Compile(const ScriptSource &source,
                       script_text::Installs installs) {
  CompiledScript compiled = script_text::CompileScript(source.text, installs);
  if (!compiled.errors.empty()) {
    PrintDiagnostics(std::cerr, source.fileName, source.text, compiled.errors);
    throw ReportedFailure();
  }
  return compiled;
}

// The product file an install line names, or an error message. Paths are
// relative to the product folder, with "/" or "\", and stay inside it.
std::string ProductFile(const std::string &productDir,
                        const std::string &written, std::string &error) {
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
  std::string full = (stdfs::path(productDir) / path).string();
  std::error_code code;
  if (!stdfs::is_regular_file(full, code)) {
    error = "no file " + relative + " in the product folder " + productDir;
    return {};
  }
  return full;
}

// The source field of a copy out of the temporary folder: {temp}\NAME.
std::string TempSourceField(const std::string &entryName) {
  std::string bytes;
  platform::TextToAnsi(entryName, bytes); // the namer chose an encodable name
  return script_text::PadField(std::string(1, script::kTempFolderMark) + "\\" +
                                   bytes,
                               script::kSourceSize);
}

void PackAndJoin(const ScratchFolder &scratch, const std::string &payload,
                 const PackageOutput &output) {
  const std::string archive = scratch / "update.pack";
  PackWithProgress(payload, archive);
  WritePackage(archive, output);
}

} // namespace

void BuildFromProduct(const std::string &productDir, const ScriptSource &source,
                      const PackageOutput &output) {
  std::error_code code;
  if (!stdfs::is_directory(productDir, code))
    throw ToolError("product folder does not exist: " + productDir);
  CompiledScript compiled = Compile(source, script_text::Installs::Allowed);

  ScratchFolder scratch("build");
  const std::string payload = scratch / "payload";
  stdfs::create_directory(payload);
  EntryNamer namer;
  std::map<std::string, std::string> entryOf; // product file -> entry name
  std::vector<Diagnostic> errors;
  for (script_text::CompiledRecord &record : compiled.records) {
    if (!record.install)
      continue;
    std::string error;
    const std::string file = ProductFile(productDir, record.payload, error);
    if (file.empty()) {
      errors.push_back({record.payloadPos, error});
      if (errors.size() > kMaxDiagnostics)
        break;
      continue;
    }
    const std::string key = stdfs::canonical(file).string();
    auto found = entryOf.find(key);
    if (found == entryOf.end()) {
      const std::string name =
          namer.Assign(stdfs::path(file).filename().string());
      LinkOrCopy(file, payload + "/" + name);
      found = entryOf.emplace(key, name).first;
    }
    record.source = TempSourceField(found->second);
  }
  if (!errors.empty()) {
    PrintDiagnostics(std::cerr, source.fileName, source.text, errors);
    throw ReportedFailure();
  }
  WriteNewFile(payload + "/" + script::kScriptName,
               script_text::ScriptBytes(compiled));
  PackAndJoin(scratch, payload, output);
}

void BuildFromPayload(const std::string &payloadDir, const ScriptSource *source,
                      const PackageOutput &output) {
  const SourceListing listing = ListSource(payloadDir);
  WarnSkipped(payloadDir, listing);
  std::string scriptBytes;
  if (source)
    scriptBytes = script_text::ScriptBytes(
        Compile(*source, script_text::Installs::Refused));

  ScratchFolder scratch("build");
  const std::string payload = scratch / "payload";
  stdfs::create_directory(payload);
  for (const std::string &name : listing.files) {
    const std::string path = payloadDir + "/" + name;
    if (platform::fs::SameFile(path, output.path))
      continue; // an older package in the payload folder is replaced
    if (platform::fs::CompareNamesNoCase(name, mdl_main::sums::kEntryName) == 0)
      throw ToolError(path + ": the entry name " + mdl_main::sums::kEntryName +
                      " is kept for the tool");
    if (source &&
        platform::fs::CompareNamesNoCase(name, script::kScriptName) == 0)
      throw ToolError(path + " is a script already; give --script or keep "
                             "the file, not both");
    LinkOrCopy(path, payload + "/" + name);
  }
  if (source)
    WriteNewFile(payload + "/" + script::kScriptName, scriptBytes);
  else if (!stdfs::exists(payload + "/" + script::kScriptName))
    Warn("the payload holds no script: the package unpacks its files and "
         "installs nothing");
  PackAndJoin(scratch, payload, output);
}

} // namespace tools
