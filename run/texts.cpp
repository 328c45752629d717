// The texts of a package: defaults, the current ones and the text block.
#include "run/texts.h"

#include "platform/ui.h"
#include "run/mdl_main.h"
#include "ui/Setup.h"

namespace mdl_main {

namespace {

// Placeholders of the defaults that name the product and the version.
std::string Filled(std::string_view pattern, std::string_view product,
                   std::string_view version) {
  std::string text;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern.substr(i, 9) == "{product}") {
      text += product;
      i += 8;
    } else if (pattern.substr(i, 9) == "{version}") {
      text += version;
      i += 8;
    } else {
      text += pattern[i];
    }
  }
  return text;
}

Texts &Current() {
  static Texts texts = DefaultTexts();
  return texts;
}

constexpr TextKey kKeys[kTextKeyCount] = {
    {"confirm", &Texts::confirm, "the confirmation question", 1000, true},
    {"success", &Texts::success, "the success message", 1000, true},
    {"critical", &Texts::critical,
     "the first line of the critical-error message", 200, false},
    {"damaged", &Texts::damaged,
     "the sentence after a damaged package's failure", 500, false},
    {"title", &Texts::title, "the progress window's title", 60, false},
    {"caption", &Texts::caption, "the caption of every message box", 60, false},
    {"preparing", &Texts::preparing, "status line: copying the archive", 40,
     false},
    {"unpacking", &Texts::unpacking, "status line: unpacking", 40, false},
    {"installing", &Texts::installing, "status line: installing", 40, false},
    {"progress", &Texts::progress, "the progress line before the percentage",
     30, false},
    {"abort", &Texts::abort, "the question when the window is closed", 500,
     true},
};

} // namespace

const TextKey *TextKeys() { return kKeys; }

Texts DefaultTexts(std::string_view product, std::string_view version) {
  Texts texts;
  texts.confirm = Filled("Сейчас будет произведено обновление {product} до "
                         "версии {version}.\r\nПродолжить?",
                         product, version);
  texts.success = Filled("Обновление до версии {version} прошло успешно!",
                         product, version);
  texts.critical = kCriticalText;
  texts.damaged = kDamagedPackageText;
  texts.title = Filled("{product} Dravell", product, version);
  texts.caption = platform::kProgramTitle;
  texts.preparing = ui::kStatusPreparing;
  texts.unpacking = ui::kStatusUnpacking;
  texts.installing = ui::kStatusInstalling;
  texts.progress = ui::kProgressPrefix;
  texts.abort = ui::kAbortQuestion;
  return texts;
}

const Texts &CurrentTexts() { return Current(); }

void SetTexts(const Texts &texts) {
  Current() = texts;
  platform::SetProgramTitle(texts.caption);
}

std::string_view TextPayload(std::string_view blockAfterMagic) {
  if (blockAfterMagic.size() < 4)
    return {};
  const auto *b = reinterpret_cast<const uint8_t *>(blockAfterMagic.data());
  const uint32_t length =
      static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
      static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
  if (length > blockAfterMagic.size() - 4)
    return {};
  return blockAfterMagic.substr(4, length);
}

bool ApplyTextPayload(std::string_view payload, Texts &texts,
                      std::string *product, std::string *version) {
  // The pairs, checked whole before anything changes.
  std::string_view rest = payload;
  std::string productValue = kDefaultProduct;
  std::string versionValue = kDefaultVersion;
  size_t pairs = 0;
  while (!rest.empty()) {
    const size_t keyEnd = rest.find('\0');
    if (keyEnd == std::string_view::npos)
      return false;
    const size_t valueEnd = rest.find('\0', keyEnd + 1);
    if (valueEnd == std::string_view::npos)
      return false;
    const std::string_view key = rest.substr(0, keyEnd);
    const std::string_view value =
        rest.substr(keyEnd + 1, valueEnd - keyEnd - 1);
    if (key == "product")
      productValue = value;
    else if (key == "version")
      versionValue = value;
    rest.remove_prefix(valueEnd + 1);
    ++pairs;
  }
  Texts result = DefaultTexts(productValue, versionValue);
  rest = payload;
  for (size_t k = 0; k < pairs; ++k) {
    const size_t keyEnd = rest.find('\0');
    const size_t valueEnd = rest.find('\0', keyEnd + 1);
    const std::string_view key = rest.substr(0, keyEnd);
    for (size_t i = 0; i < kTextKeyCount; ++i)
      if (key == kKeys[i].key)
        result.*kKeys[i].member =
            std::string(rest.substr(keyEnd + 1, valueEnd - keyEnd - 1));
    rest.remove_prefix(valueEnd + 1);
  }
  texts = std::move(result);
  if (product)
    *product = productValue;
  if (version)
    *version = versionValue;
  return true;
}

} // namespace mdl_main
