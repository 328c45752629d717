// Fuzz target: a `updpack build --texts` file, and what build makes of
// it. The first byte's low bit chooses the language of the texts, the rest
// is the file. Reading it ends with its texts or the tool's error; texts
// read come back the same from the file they write as (`key = value`,
// backslashes and line breaks escaped); and texts that build takes into a
// manifest are, read back as verify reads that manifest, the texts and
// messages the package shows.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

#include "fuzz/harness.h"
#include "package/byte_source.h"
#include "package/manifest.h"
#include "tools/cli.h"
#include "tools/image_texts.h"

namespace {

using fuzzing::Fail;
using fuzzing::WriteFile;

// A value as a line of a texts file writes it.
std::string Escaped(const std::string &value) {
  std::string out;
  for (size_t k = 0; k < value.size(); ++k) {
    if (value[k] == '\\')
      out += "\\\\";
    else if (value.compare(k, 2, "\r\n") == 0)
      out += "\\n", ++k;
    else
      out += value[k];
  }
  return out;
}

const std::string &Path() {
  static const std::string path = [] {
    const char *tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/texts_fuzz.txt";
  }();
  return path;
}

void CheckManifest(const tools::ImageTexts &texts) {
  std::string payload;
  package::Texts shown;
  try {
    payload = tools::ManifestPayload(texts);
    shown = tools::CheckTexts(texts);
  } catch (const tools::ToolError &) {
    return; // refused: build stops with the reason
  }
  const std::string bytes = package::EncodeManifest(payload);
  const package::Manifest manifest =
      package::ReadManifest(package::MemorySource(bytes), 0);
  if (manifest.state != package::ManifestState::Intact)
    Fail("the manifest of the texts does not read back");
  const tools::FoundTexts found = tools::ManifestTexts(manifest);
  if (found.texts != shown)
    Fail("the manifest's texts are not the texts build took");
  if (!found.unknownKeys.empty())
    Fail("the manifest of the texts has a key nobody reads: " +
         found.unknownKeys[0]);
  for (const auto &[key, text] : found.messages) {
    const auto given = texts.replaced.find(key);
    if (given != texts.replaced.end() && given->second != text)
      Fail("the manifest's message " + key + " is not the one given");
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  WriteFile(Path(), {reinterpret_cast<const char *>(data) + 1, size - 1});
  tools::ImageTexts texts;
  texts.language =
      data[0] & 1 ? package::Language::English : package::Language::Russian;
  texts.codePage = 1251;
  texts.textsFile = Path();
  try {
    texts.replaced = tools::ReadTextsFile(Path());
  } catch (const tools::ToolError &) {
    return 0; // refused, naming the file and the line
  }
  std::string again;
  for (const auto &[key, value] : texts.replaced)
    again += key + " = " + Escaped(value) + "\n";
  WriteFile(Path(), again);
  if (tools::ReadTextsFile(Path()) != texts.replaced)
    Fail("the texts read do not come back from their file:\n" + again);
  CheckManifest(texts);
  return 0;
}
