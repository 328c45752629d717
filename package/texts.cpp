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
    {"rolledback",
     "Обновление не выполнено, продукт оставлен в прежнем состоянии.\r\n"
     "{cause}"},
    {"notrestored",
     "Обновление не выполнено, и прежнее состояние продукта восстановить не "
     "удалось.\r\n{cause}\r\nНе восстановлены: {files}\r\nПрежние версии "
     "файлов остались в папке {folder}."},
    {"interrupted",
     "Предыдущее обновление было прервано: прежние версии файлов продукта "
     "остались в папке {folder}. Верните их оттуда на место или удалите эту "
     "папку и запустите обновление снова."},
    {"aborted", "Обновление прервано."},
};

} // namespace

std::string FillIn(std::string_view pattern,
                   std::initializer_list<Fill> fills) {
  std::string text;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const Fill *found = nullptr;
    if (pattern[i] == '{')
      for (const Fill &fill : fills)
        if (pattern.compare(i + 1, fill.name.size(), fill.name) == 0 &&
            pattern.compare(i + 1 + fill.name.size(), 1, "}") == 0)
          found = &fill;
    if (!found) {
      text += pattern[i];
      continue;
    }
    text += found->value;
    i += found->name.size() + 1;
  }
  return text;
}

const TextKey &KeyOf(Text text) { return kKeys[static_cast<size_t>(text)]; }

Texts DefaultTexts(std::string_view product, std::string_view version) {
  Texts texts;
  for (size_t k = 0; k < kTextCount; ++k)
    texts[k] =
        FillIn(kKeys[k].pattern, {{"product", product}, {"version", version}});
  return texts;
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
