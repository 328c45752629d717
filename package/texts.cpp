// The texts of a package: their keys and defaults, and the texts block.
#include "package/texts.h"

#include "package/coding.h"
#include "platform/ui.h"

namespace package {

namespace {

constexpr TextKey kKeys[kTextCount] = {
    {"confirm", "Сейчас будет произведено обновление {product} до версии "
                "{version}.\r\nПродолжить?"},
    {"success", "Обновление до версии {version} прошло успешно!"},
    {"critical", kCriticalText},
    {"damaged", kDamagedPackageText},
    {"title", "{product} Dravell"},
    {"caption", platform::kProgramTitle},
    {"preparing", "Идет подготовка к установке..."},
    {"unpacking", "Распаковка пакета обновления..."},
    {"installing", "Установка обновления..."},
    {"progress", "Выполнено "},
    {"abort", "Прервать обновление?"},
};

// A pattern with {product} and {version} filled in.
std::string Filled(std::string_view pattern, std::string_view product,
                   std::string_view version) {
  std::string text;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const std::string_view rest = pattern.substr(i);
    if (rest.rfind("{product}", 0) == 0) {
      text += product;
      i += 8;
    } else if (rest.rfind("{version}", 0) == 0) {
      text += version;
      i += 8;
    } else {
      text += pattern[i];
    }
  }
  return text;
}

} // namespace

const TextKey &KeyOf(Text text) { return kKeys[static_cast<size_t>(text)]; }

Texts DefaultTexts(std::string_view product, std::string_view version) {
  Texts texts;
  for (size_t k = 0; k < kTextCount; ++k)
    texts[k] = Filled(kKeys[k].pattern, product, version);
  return texts;
}

Texts PlainTexts() {
  Texts texts = DefaultTexts();
  texts[static_cast<size_t>(Text::Damaged)].clear();
  return texts;
}

std::string EncodeTextsBlock(std::string_view payload) {
  std::string block(payload);
  const size_t at = block.size();
  block.resize(at + 4);
  WriteLE(block, at, static_cast<uint32_t>(payload.size()), 4);
  block.append(kTextsMagic, sizeof kTextsMagic - 1);
  return block;
}

std::optional<std::string_view> TextsPayload(std::string_view image) {
  const std::string_view magic(kTextsMagic, sizeof kTextsMagic - 1);
  if (image.size() < kTextsTrailerSize ||
      image.substr(image.size() - magic.size()) != magic)
    return std::nullopt;
  const uint32_t length = ReadLE(image, image.size() - kTextsTrailerSize, 4);
  if (length > kMaxTextsPayload || length > image.size() - kTextsTrailerSize)
    return std::nullopt;
  return image.substr(image.size() - kTextsTrailerSize - length, length);
}

std::optional<std::string_view> LeadingTextsPayload(std::string_view bytes) {
  // The first magic ends the block when its length reaches back to the
  // first byte (texts that hold the magic themselves are not found here).
  const std::string_view magic(kTextsMagic, sizeof kTextsMagic - 1);
  const size_t at = bytes.find(magic);
  const auto payload = at == std::string_view::npos
                           ? std::nullopt
                           : TextsPayload(bytes.substr(0, at + magic.size()));
  if (payload && payload->data() == bytes.data())
    return payload;
  return std::nullopt;
}

bool ApplyTextPayload(std::string_view payload, Texts &texts, bool *sums) {
  return ForEachTextPair(payload,
                         [&](std::string_view key, std::string_view value) {
                           for (size_t k = 0; k < kTextCount; ++k)
                             if (key == kKeys[k].key)
                               texts[k] = value;
                           if (sums && key == kSumsKey)
                             *sums = value == "1";
                         });
}

} // namespace package
