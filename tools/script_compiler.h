// The text form of an install script compiled into its 65-byte records.
//
//   mkdir   {app}\data            one operation a line; "#" comments
//   copy    {temp}\app.exe  {app}\app.exe
//   delete  {app}\*.tmp
//   rmdir   {app}\cache
//   op 7    {temp}\x  {app}\y     any code 0-255, both fields raw
//   install data/big.dat  {app}\data\big.dat
//   #@tail  BYTES                 bytes after the last whole record
//
// "install" names a file of a product folder; only `updpack build --from`
// resolves it (into a copy record from {temp}\ENTRY).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/diagnostics.h"

namespace tools::script_text {

struct CompiledRecord {
  uint8_t operation = 0;
  std::string source; // field bytes, not padded
  std::string target;
  SourcePos targetPos;
  // An install line: the product file as written; the source field is
  // filled in once the file has its entry name.
  bool install = false;
  std::string payload;
  SourcePos sourcePos; // of the source path, or of an install's product file
};

struct CompiledScript {
  std::vector<CompiledRecord> records;
  std::string tail;               // bytes after the last whole record
  std::vector<Diagnostic> errors; // at most kMaxDiagnostics + 1
};

enum class Installs { Refused, Allowed };

// Compiles the text (UTF-8; CR LF line ends too). The compilation stops
// once it has found more than kMaxDiagnostics errors.
CompiledScript CompileScript(std::string_view text, Installs installs);

// The text of every path word of the script as written (UTF-8, {...}
// escapes as they stand), the product files of install lines left out:
// what must be written in the package's code page. Lines that do not
// split into words are passed over (the compilation reports them).
std::vector<std::string> PathTexts(std::string_view text);

// The binary script: every record, then the tail, in the "script" entry
// when every record fits 65 bytes; else every record in the long script
// entry (package/long_records.h) and "script" empty, a tail then being a
// ToolError. Install records must have their source filled in.
struct ScriptEntries {
  std::string script;
  std::string longScript; // empty: none
};
ScriptEntries ScriptForms(const CompiledScript &script);
// What `script compile` writes: the "script" entry when every record fits,
// else the long script entry.
std::string ScriptBytes(const CompiledScript &script);

} // namespace tools::script_text
