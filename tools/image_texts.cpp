// Texts and file properties of the program image.
#include "tools/image_texts.h"

#include <cstdint>

#include "package/expected_state.h"
#include "package/file_times.h"
#include "package/long_records.h"
#include "package/stream_layout.h"
#include "platform/codepage.h"
#include "platform/messages.h"
#include "tools/cli.h"
#include "tools/file_io.h"
#include "tools/version_resource.h"

namespace tools {

namespace {

// What each text is, and the most characters its window or box shows
// whole; in the order of package::Text.
struct TextLimit {
  const char *meaning;
  size_t maxChars;
  bool lineBreaks; // may hold CR LF (message boxes only)
  bool question;   // a box that asks: it must say something
};
constexpr TextLimit kLimits[package::kTextCount] = {
    {"the confirmation question", 1000, true, true},
    {"the success message", 1000, true, false},
    {"the first line of the critical-error message", 200, false, false},
    {"the sentence after a damaged package's failure", 500, false, false},
    {"the progress window's title", 60, false, false},
    {"the caption of every message box", 60, false, false},
    {"status line: copying the archive", 40, false, false},
    {"status line: unpacking", 40, false, false},
    {"status line: installing", 40, false, false},
    {"the progress line before the percentage", 30, false, false},
    {"the question when the window is closed", 500, true, true},
    {"status line: checking the installed product", 40, false, false},
    {"the message when the product is already up to date", 1000, true, false},
    {"the message when another version is installed ({for}, {file})", 1000,
     true, false},
    {"what {for} says when no --for-version is given", 100, false, false},
    {"the message when started outside the product's folder", 1000, true,
     false},
    {"the Retry/Cancel box for a file in use ({file})", 1000, true, false},
    {"a failed install that was undone ({cause})", 1000, true, false},
    {"a failed install that could not be undone whole ({cause}, {files}, "
     "{folder})",
     1000, true, false},
    {"the message when the update is already running", 1000, true, false},
    {"the box of the /? switch (switches, exit codes)", 1000, true, false},
    {"the file's description in its properties", 47, false, false},
    {"a backup left by an interrupted update ({folder})", 1000, true, false},
    {"why an undo was needed: the user aborted", 200, false, false},
    {"a failed install undone but for new files ({cause}, {files})", 1000, true,
     false},
};

// The index of a text's key, or kTextCount for no text.
size_t FindKey(std::string_view key) {
  size_t k = 0;
  while (k < package::kTextCount && key != package::KeyOf(k).key)
    ++k;
  return k;
}

// The composed message of a key, or kMsgCount for none.
size_t FindMessage(std::string_view key) {
  size_t k = 0;
  while (k < platform::kMsgCount &&
         key != platform::MsgKey(static_cast<platform::Msg>(k)))
    ++k;
  return k;
}

// The manifest's key of the texts' language, for verify; the run does not
// read it.
constexpr const char *kLanguageKey = "lang";

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos)
    return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::string Unescaped(std::string_view value) {
  std::string text;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size() &&
        (value[i + 1] == 'n' || value[i + 1] == '\\')) {
      text += value[++i] == 'n' ? "\r\n" : "\\";
      continue;
    }
    text += value[i];
  }
  return text;
}

// What keeps text from being shown as it is by a window or box ("" when
// nothing does): it must be valid UTF-8, characters of the Basic
// Multilingual Plane that are no control characters (line breaks where
// lineBreaks), at most maxChars of them.
std::string ShowableFault(const std::string &what, const std::string &text,
                          size_t maxChars, bool lineBreaks) {
  size_t chars = 0;
  for (size_t i = 0; i < text.size();) {
    const size_t at = i;
    const char32_t code = platform::NextCodePoint(text, i);
    const bool malformed =
        code == 0xFFFD && text.compare(at, 3, "\xEF\xBF\xBD");
    const bool lineBreak = code == '\r' && i < text.size() && text[i] == '\n';
    if (lineBreak && lineBreaks) {
      ++i;
      ++chars;
      continue;
    }
    if (malformed || code < 0x20 || (code >= 0x7F && code < 0xA0) ||
        code > 0xFFFF || code == 0xFFFE || code == 0xFFFF ||
        (code >= 0xD800 && code < 0xE000))
      return what + ": \"" + ConsoleUi::Printable(text) +
             "\" holds a character Windows cannot show there (position " +
             std::to_string(chars + 1) + ")";
    ++chars;
  }
  if (chars > maxChars)
    return what + " is " + std::to_string(chars) + " characters; at most " +
           std::to_string(maxChars) + " show whole: \"" +
           ConsoleUi::Printable(text) + "\"";
  return {};
}

void AddFault(std::vector<std::string> &faults, std::string fault) {
  if (!fault.empty())
    faults.push_back(std::move(fault));
}

} // namespace

bool ImageTexts::Asked() const {
  return product != package::kDefaultProduct ||
         version != package::kDefaultVersion || !company.empty() ||
         !copyright.empty() || !replaced.empty();
}

std::map<std::string, std::string> ReadTextsFile(const std::string &path) {
  const std::string text = ReadWholeFile(path);
  std::map<std::string, std::string> texts;
  size_t lineNumber = 0;
  for (size_t at = 0; at < text.size();) {
    const size_t end = std::min(text.find('\n', at), text.size());
    const std::string_view line =
        Trim(std::string_view(text).substr(at, end - at));
    at = end + 1;
    ++lineNumber;
    const std::string where = path + ":" + std::to_string(lineNumber) + ": ";
    if (line.empty() || line[0] == '#')
      continue;
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos)
      throw ToolError(where + "expected key = value");
    const std::string key(Trim(line.substr(0, equals)));
    if (FindKey(key) == package::kTextCount &&
        FindMessage(key) == platform::kMsgCount)
      throw ToolError(where + "unknown key \"" + key +
                      "\" (see updpack help build)");
    if (texts.count(key))
      throw ToolError(where + "\"" + key + "\" is given twice");
    texts[key] = Unescaped(Trim(line.substr(equals + 1)));
  }
  return texts;
}

std::string TextKeysHelp() {
  std::string help;
  for (size_t k = 0; k < package::kTextCount; ++k) {
    std::string name = package::KeyOf(k).key;
    name.resize(12, ' ');
    help += "    " + name + kLimits[k].meaning + " (at most " +
            std::to_string(kLimits[k].maxChars) + " characters)\n";
  }
  return help + "    and the messages the program composes, by their keys\n"
                "    (error-53, file-missing, ...: `updpack verify` shows\n"
                "    each key with its text)\n";
}

namespace {

// What is wrong with text as the text of key k, "" when nothing; after
// source and ": " when the text comes from a file.
std::string TextFault(size_t k, const std::string &text,
                      const std::string &source = {}) {
  const std::string what = (source.empty() ? "" : source + ": ") +
                           "the text \"" + package::KeyOf(k).key + "\"";
  if (kLimits[k].question && text.empty())
    return what + " is empty: its box would ask nothing";
  return ShowableFault(what, text, kLimits[k].maxChars, kLimits[k].lineBreaks);
}

} // namespace

std::vector<std::string> TextFaults(const std::string &product,
                                    const std::string &version,
                                    const package::Texts &texts) {
  std::vector<std::string> faults;
  // The version resource keeps room for these (stub/updpack-stub.rc).
  AddFault(faults, ShowableFault("--product", product, 32, false));
  AddFault(faults, ShowableFault("--version", version, 20, false));
  for (size_t k = 0; k < package::kTextCount; ++k)
    AddFault(faults, TextFault(k, texts[k]));
  return faults;
}

package::Language ParseLanguageOption(const std::string &code) {
  const package::LanguageInfo *info = package::FindLanguage(code);
  if (!info)
    throw UsageError("--lang takes ru or en, not \"" + code + "\"");
  return info->language;
}

package::Texts CheckTexts(const ImageTexts &texts) {
  package::Texts result =
      package::DefaultTexts(texts.product, texts.version, texts.language);
  for (const auto &[key, value] : texts.replaced)
    if (FindKey(key) < package::kTextCount)
      result[FindKey(key)] = value;
  uint16_t numbers[4];
  if (!ParseVersion(texts.version, numbers))
    throw UsageError("--version \"" + texts.version +
                     "\" is not up to four dotted numbers (each at most "
                     "65535), optionally followed by a blank, - or + and "
                     "more text: 4.3, 4.3.1.7, \"4.3 beta 2\", 4.3-rc1");
  // The texts a file gives are named with the file. Its messages have no
  // length of their own, but a character Windows cannot show (a 0x00 would
  // also cut the manifest's pairs apart) is refused as in a text.
  for (const auto &[key, value] : texts.replaced) {
    std::string fault =
        FindKey(key) < package::kTextCount
            ? TextFault(FindKey(key), value, texts.textsFile)
            : ShowableFault(texts.textsFile + ": the message \"" + key + "\"",
                            value, SIZE_MAX, true);
    if (!fault.empty())
      throw ToolError(fault);
  }
  std::vector<std::string> faults =
      TextFaults(texts.product, texts.version, result);
  AddFault(faults, ShowableFault("--company", texts.company, 47, false));
  AddFault(faults, ShowableFault("--copyright", texts.copyright, 47, false));
  if (!faults.empty())
    throw ToolError(faults.front());
  return result;
}

std::string ManifestPayload(const ImageTexts &texts) {
  const package::Texts result = CheckTexts(texts);
  std::string payload;
  package::AppendPair(payload, package::kProductKey, texts.product);
  package::AppendPair(payload, package::kVersionKey, texts.version);
  package::AppendPair(payload, kLanguageKey,
                      package::InfoOf(texts.language).code);
  package::AppendPair(payload, package::kSumsKey, "1");
  if (texts.expect)
    package::AppendPair(payload, package::expect::kExpectKey, "1");
  if (!texts.forVersion.empty())
    package::AppendPair(payload, package::expect::kForVersionKey,
                        texts.forVersion);
  if (texts.codePage != 0)
    package::AppendPair(payload, package::kCodePageKey,
                        std::to_string(texts.codePage));
  // The run starts from the Russian defaults for the product and version
  // and from the program's own messages: what equals those goes without
  // saying (about 7 KB of a Russian package).
  const package::Texts start =
      package::DefaultTexts(texts.product, texts.version);
  for (size_t k = 0; k < package::kTextCount; ++k)
    if (result[k] != start[k])
      package::AppendPair(payload, package::KeyOf(k).key, result[k]);
  for (size_t k = 0; k < platform::kMsgCount; ++k) {
    const auto msg = static_cast<platform::Msg>(k);
    const auto replaced = texts.replaced.find(platform::MsgKey(msg));
    const std::string text = replaced != texts.replaced.end()
                                 ? replaced->second
                                 : package::MessageTextIn(texts.language, msg);
    if (text != platform::MsgDefault(msg))
      package::AppendPair(payload, platform::MsgKey(msg), text);
  }
  if (payload.size() > kTextsRoom)
    throw ToolError("the texts take " + std::to_string(payload.size()) +
                    " bytes; a package has room for " +
                    std::to_string(kTextsRoom));
  return payload;
}

void PutProperties(std::string &image, const ImageTexts &texts) {
  const package::Texts result = CheckTexts(texts);
  // The file's properties, in the room the image's version resource keeps
  // (the shipped product and version when nothing else is asked for).
  std::string copy = image; // written back only when every part fits
  try {
    SetVersionLanguage(copy, package::InfoOf(texts.language).windowsId);
    VersionResource version(copy);
    version.SetString("ProductName", texts.product);
    version.SetString("ProductVersion", texts.version);
    version.SetString("FileVersion", texts.version);
    version.SetString("FileDescription",
                      package::TextOf(result, package::Text::Description));
    version.SetString("CompanyName", texts.company);
    version.SetString("LegalCopyright", texts.copyright);
    version.SetLanguage(package::InfoOf(texts.language).windowsId);
    uint16_t numbers[4];
    ParseVersion(texts.version, numbers);
    version.SetVersionNumbers(numbers);
  } catch (const VersionResource::Missing &e) {
    if (texts.Asked())
      Warn(std::string(e.what()) +
           ": the package's file properties stay blank");
  }
  image = std::move(copy);
}

FoundTexts ManifestTexts(const package::Manifest &manifest) {
  FoundTexts found;
  const bool intact = manifest.state == package::ManifestState::Intact;
  // The messages a run shows: the manifest's, else the shipped ones.
  for (size_t k = 0; k < platform::kMsgCount; ++k) {
    const auto msg = static_cast<platform::Msg>(k);
    const std::optional<std::string_view> own =
        intact ? package::FindValue(manifest.payload, platform::MsgKey(msg))
               : std::nullopt;
    found.messages.emplace_back(platform::MsgKey(msg),
                                own ? std::string(*own)
                                    : platform::MsgDefault(msg));
  }
  if (!intact)
    return found;
  const std::string &payload = manifest.payload;
  found.product =
      package::FindValue(payload, package::kProductKey).value_or(found.product);
  found.version =
      package::FindValue(payload, package::kVersionKey).value_or(found.version);
  // As the run takes them: texts the manifest lacks are the defaults for
  // its product and version.
  package::Texts texts = package::DefaultTexts(found.product, found.version);
  package::ApplyTexts(payload, texts);
  found.own = true;
  found.texts = std::move(texts);
  found.sums = package::FindValue(payload, package::kSumsKey) == "1";
  found.expect =
      package::FindValue(payload, package::expect::kExpectKey) == "1";
  found.forVersion =
      package::FindValue(payload, package::expect::kForVersionKey).value_or("");
  // The replaced texts: what differs from the defaults for that product.
  if (const package::LanguageInfo *info = package::FindLanguage(
          package::FindValue(payload, kLanguageKey).value_or("ru")))
    found.language = info->language;
  // The replaced texts: what differs from the language's defaults for that
  // product.
  const package::Texts defaults =
      package::DefaultTexts(found.product, found.version, found.language);
  for (size_t k = 0; k < package::kTextCount; ++k)
    if (found.texts[k] != defaults[k])
      found.replaced[package::KeyOf(k).key] = found.texts[k];
  package::ForEachPair(payload, [&](std::string_view key, std::string_view) {
    const bool known =
        FindKey(key) < package::kTextCount || key == package::kProductKey ||
        key == package::kVersionKey || key == package::kSumsKey ||
        key == package::kLengthKey || key == package::expect::kExpectKey ||
        key == package::expect::kForVersionKey ||
        FindMessage(key) < platform::kMsgCount || key == kLanguageKey ||
        key == package::kCodePageKey ||
        key == package::script::kLongScriptKey ||
        key == package::times::kTimesKey || package::IsStreamLayoutKey(key);
    if (!known)
      found.unknownKeys.emplace_back(key);
  });
  return found;
}

} // namespace tools
