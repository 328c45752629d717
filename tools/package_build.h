// The two ways `build` makes a package from folders: from a product folder
// and a script whose install lines name its files, or from a payload folder
// packed as it is with an optional script. Both pack the files, opened
// where they lie and never through a link, into a scratch archive and join
// it with the stub.
#pragma once

#include <string>
#include <vector>

#include "tools/package_writer.h"

namespace tools {

// A text install script and the name it is reported under.
struct ScriptSource {
  std::string fileName;
  std::string text;
};

// output with its code page chosen for names and paths (texts) and put
// into effect: the one output.texts.codePage asks for, else the first
// that holds them all (tools/code_page_choice.h).
PackageOutput WithCodePage(const PackageOutput &output,
                           const std::vector<std::string> &texts);

// build --from: the payload is exactly the files named by install lines,
// each under a short unique entry name; each install line becomes a copy
// record from {temp}\NAME. A product file must be a regular file reached
// from productDir through no link (os::RootFolder). Compile errors and
// product files that cannot be taken are printed (ReportedFailure).
// With expectDir, the installed old version, the package carries the
// script's expected state (tools/expected_state_of.h) and its manifest
// declares it.
void BuildFromProduct(const std::string &productDir, const ScriptSource &script,
                      const PackageOutput &output,
                      const std::string *expectDir = nullptr);

// build --payload: the folder's files as `pack` takes them (names that
// match excludes left out); script, when given, is compiled into the
// "script" entry (a payload holding one is refused), else a script the
// folder holds is checked as output.readyScript asks. Two files that
// Windows would take for one are refused.
void BuildFromPayload(const std::string &payloadDir, const ScriptSource *script,
                      const std::vector<std::string> &excludes,
                      const PackageOutput &output);

} // namespace tools
