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
    {"usage",
     "Параметры командной строки:\r\n"
     "/S — обновить без вопросов и окон, итог — в коде выхода\r\n"
     "/LOG=ФАЙЛ — записать ход обновления в файл\r\n"
     "/D=ПАПКА — обновить программу в этой папке\r\n"
     "/? — показать эту справку\r\n"
     "Коды выхода: 0 — успешно, 1 — ошибка, 2 — отказ, 3 — прервано, "
     "4 — не та версия программы, 5 — файлы заняты, 6 — уже идет другое "
     "обновление."},
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
