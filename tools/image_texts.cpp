// Texts and file properties of the program image.
#include "tools/image_texts.h"

#include <memory>

#include "platform/codepage.h"
#include "tools/cli.h"
#include "tools/file_io.h"
#include "tools/version_resource.h"

namespace tools {

namespace {

using mdl_main::TextKey;

const TextKey *FindKey(std::string_view key) {
  for (size_t k = 0; k < mdl_main::kTextKeyCount; ++k)
    if (key == mdl_main::TextKeys()[k].key)
      return &mdl_main::TextKeys()[k];
  return nullptr;
}

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

// Raises unless text is what a window or box shows as it is: valid UTF-8,
// characters of the Basic Multilingual Plane that are no control
// characters (line breaks where lineBreaks), at most maxChars of them.
void CheckShowable(const std::string &what, const std::string &text,
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
      throw ToolError(what + ": \"" + ConsoleUi::Printable(text) +
                      "\" holds a character Windows cannot show there "
                      "(position " +
                      std::to_string(chars + 1) + ")");
    ++chars;
  }
  if (chars > maxChars)
    throw ToolError(what + " is " + std::to_string(chars) +
                    " characters; at most " + std::to_string(maxChars) +
                    " show whole: \"" + ConsoleUi::Printable(text) + "\"");
}

// The offset of the one text block in image; npos when there is none.
size_t FindBlock(std::string_view image) {
  const std::string_view magic(mdl_main::kTextBlockMagic,
                               sizeof mdl_main::kTextBlockMagic - 1);
  const size_t found = image.find(magic);
  if (found == std::string_view::npos ||
      found + mdl_main::kTextBlockSize > image.size())
    return std::string_view::npos;
  if (image.find(magic, found + 1) != std::string_view::npos)
    throw ToolError("the program image holds two text blocks");
  return found;
}

void AppendPair(std::string &payload, const std::string &key,
                const std::string &value) {
  payload += key;
  payload += '\0';
  payload += value;
  payload += '\0';
}

} // namespace

bool ImageTexts::Asked() const {
  return product != mdl_main::kDefaultProduct ||
         version != mdl_main::kDefaultVersion || !company.empty() ||
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
    if (!FindKey(key))
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
  for (size_t k = 0; k < mdl_main::kTextKeyCount; ++k) {
    const TextKey &key = mdl_main::TextKeys()[k];
    std::string name = key.key;
    name.resize(12, ' ');
    help += "    " + name + key.meaning + " (at most " +
            std::to_string(key.maxChars) + " characters)\n";
  }
  return help;
}

void PutTexts(std::string &image, const ImageTexts &texts) {
  // Everything is checked first: a failure leaves the image as it is.
  CheckShowable("--product", texts.product, 40, false);
  CheckShowable("--version", texts.version, 24, false);
  CheckShowable("--company", texts.company, 127, false);
  CheckShowable("--copyright", texts.copyright, 127, false);
  mdl_main::Texts result = mdl_main::DefaultTexts(texts.product, texts.version);
  for (const auto &[key, value] : texts.replaced)
    result.*FindKey(key)->member = value;
  for (size_t k = 0; k < mdl_main::kTextKeyCount; ++k) {
    const TextKey &key = mdl_main::TextKeys()[k];
    CheckShowable(std::string("the text \"") + key.key + "\"",
                  result.*key.member, key.maxChars, key.lineBreaks);
  }
  std::string payload;
  AppendPair(payload, "product", texts.product);
  AppendPair(payload, "version", texts.version);
  for (const auto &[key, value] : texts.replaced)
    AppendPair(payload, key, value);
  const size_t room = mdl_main::kTextBlockSize - mdl_main::kTextBlockHeader;
  if (payload.size() > room)
    throw ToolError("the texts take " + std::to_string(payload.size()) +
                    " bytes; the program image has room for " +
                    std::to_string(room));

  const size_t block = FindBlock(image);
  if (block == std::string::npos) {
    if (texts.Asked())
      throw ToolError("the program image has no text block; texts and "
                      "product details need the stub of this updpack");
    return; // a stub of another making is joined as it is
  }
  std::string copy = image; // written back only when every part fits
  const size_t at = block + sizeof mdl_main::kTextBlockMagic - 1;
  for (int k = 0; k < 4; ++k)
    copy[at + static_cast<size_t>(k)] =
        static_cast<char>((payload.size() >> (8 * k)) & 0xFF);
  copy.replace(at + 4, room,
               payload + std::string(room - payload.size(), '\0'));
  std::unique_ptr<VersionResource> version;
  try {
    version = std::make_unique<VersionResource>(copy);
  } catch (const ToolError &e) {
    if (texts.Asked())
      Warn(std::string(e.what()) + ": the package's file properties stay "
                                   "blank");
  }
  if (version) {
    version->SetString("ProductName", texts.product);
    version->SetString("ProductVersion", texts.version);
    version->SetString("FileVersion", texts.version);
    version->SetString("FileDescription", "Обновление " + texts.product +
                                              " до версии " + texts.version);
    version->SetString("CompanyName", texts.company);
    version->SetString("LegalCopyright", texts.copyright);
    uint16_t numbers[4];
    if (ParseVersionNumbers(texts.version, numbers))
      version->SetVersionNumbers(numbers);
  }
  image = std::move(copy);
}

FoundTexts ReadImageTexts(std::string_view image) {
  FoundTexts found;
  const size_t block = FindBlock(image);
  if (block == std::string_view::npos)
    return found;
  const std::string_view payload = mdl_main::TextPayload(image.substr(
      block + sizeof mdl_main::kTextBlockMagic - 1,
      mdl_main::kTextBlockSize - (sizeof mdl_main::kTextBlockMagic - 1)));
  found.block = true;
  if (!mdl_main::ApplyTextPayload(payload, found.texts, &found.product,
                                  &found.version))
    return found;
  // The replaced texts: what differs from the defaults for that product.
  const mdl_main::Texts defaults =
      mdl_main::DefaultTexts(found.product, found.version);
  for (size_t k = 0; k < mdl_main::kTextKeyCount; ++k) {
    const TextKey &key = mdl_main::TextKeys()[k];
    if (found.texts.*key.member != defaults.*key.member)
      found.replaced[key.key] = found.texts.*key.member;
  }
  return found;
}

} // namespace tools
