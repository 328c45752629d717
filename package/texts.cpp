// The texts of a package: their keys and defaults, and those of a manifest.
#include "package/texts.h"

#include "package/manifest.h"
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
    {"description", "Обновление {product}"},
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

Texts DefaultTexts(std::string_view product, std::string_view version,
                   Language language) {
  Texts texts;
  for (size_t k = 0; k < kTextCount; ++k) {
    const char *pattern = SetText(language, kKeys[k].key);
    texts[k] = Filled(pattern ? pattern : kKeys[k].pattern, product, version);
  }
  return texts;
}

std::string MessageTextIn(Language language, platform::Msg msg) {
  const char *text = SetText(language, platform::MsgKey(msg));
  return text ? text : platform::MsgDefault(msg);
}

void ApplyMessages(std::string_view payload) {
  ForEachPair(payload, [](std::string_view key, std::string_view value) {
    for (size_t k = 0; k < platform::kMsgCount; ++k) {
      const auto msg = static_cast<platform::Msg>(k);
      if (key == platform::MsgKey(msg))
        platform::SetMsgText(msg, std::string(value));
    }
  });
}

Texts PlainTexts() {
  Texts texts = DefaultTexts();
  texts[static_cast<size_t>(Text::Damaged)].clear();
  return texts;
}

bool ApplyTexts(std::string_view payload, Texts &texts) {
  // A payload that is no list of pairs is refused before the first visit.
  return ForEachPair(payload,
                     [&](std::string_view key, std::string_view value) {
                       for (size_t k = 0; k < kTextCount; ++k)
                         if (key == kKeys[k].key)
                           texts[k] = value;
                     });
}

} // namespace package
