// The texts of a package: their keys and defaults, and those of a manifest.
#include "package/texts.h"

#include <optional>
#include <utility>

#include "package/manifest.h"
#include "platform/packed_pairs.h"
#include "platform/ui.h"

namespace package {

namespace {

struct KeyPattern {
  const char *key;
  const char *pattern;
};

constexpr KeyPattern kKeys[kTextCount] = {
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
    {"checking", "Проверка установленной программы..."},
    {"uptodate", "{product} уже обновлен до версии {version}."},
    {"notexpected", "Это обновление предназначено для {product} {for}; файл "
                    "\xC2\xAB{file}\xC2\xBB не соответствует этой версии.\r\n"
                    "Ничего не изменено."},
    {"earlier", "более ранней версии"},
    {"wrongfolder", "Запустите обновление из папки, в которую установлен "
                    "{product}.\r\nНичего не изменено."},
    {"inuse", "Файл \xC2\xAB{file}\xC2\xBB используется. Закройте {product} "
              "и нажмите \xC2\xABПовтор\xC2\xBB."},
    {"rolledback",
     "Обновление не выполнено, продукт оставлен в прежнем состоянии.\r\n"
     "{cause}"},
    {"notrestored",
     "Обновление не выполнено, и прежнее состояние продукта восстановить не "
     "удалось.\r\n{cause}\r\nНе восстановлены: {files}\r\nПрежние версии "
     "файлов остались в папке {folder}."},
    {"running", "Обновление {product} уже выполняется."},
    {"usage",
     "Параметры командной строки:\r\n"
     "/S — обновить без вопросов и окон, итог — в коде выхода\r\n"
     "/LOG=ФАЙЛ — записать ход обновления в файл\r\n"
     "/D=ПАПКА — обновить программу в этой папке\r\n"
     "/? — показать эту справку\r\n"
     "Коды выхода: 0 — успешно, 1 — ошибка, 2 — отказ, 3 — прервано, "
     "4 — не та версия программы, 5 — файлы заняты, 6 — уже идет другое "
     "обновление."},
    {"description", "Обновление {product}"},
    {"interrupted",
     "Предыдущее обновление было прервано: прежние версии файлов продукта "
     "остались в папке {folder}. Верните их оттуда на место или удалите эту "
     "папку и запустите обновление снова."},
    {"aborted", "Обновление прервано."},
    {"leftover",
     "Обновление не выполнено, прежние файлы восстановлены.\r\n{cause}\r\n"
     "Не удалены новые файлы: {files}"},
};

// As the image carries the table (platform/packed_pairs.h).
constexpr std::array<platform::TextPair, kTextCount> kPairs = [] {
  std::array<platform::TextPair, kTextCount> pairs{};
  for (size_t k = 0; k < kTextCount; ++k)
    pairs[k] = {kKeys[k].key, kKeys[k].pattern};
  return pairs;
}();
constexpr auto kPacked =
    platform::packed::Pack<platform::packed::SizeOf(kPairs)>(kPairs);

// A pattern with {product} and {version} filled in, in that order: a
// product's name that holds {version} has it filled too.
std::string Filled(std::string_view pattern, std::string_view product,
                   std::string_view version) {
  return FillIn(FillIn(pattern, {{"product", product}}),
                {{"version", version}});
}

} // namespace

std::string FillIn(std::string_view pattern,
                   std::initializer_list<Fill> fills) {
  std::string text;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const Fill *found = nullptr;
    if (pattern[i] == '{')
      for (const Fill &fill : fills) {
        const std::string_view rest = pattern.substr(i + 1);
        if (rest.size() > fill.name.size() && rest[fill.name.size()] == '}' &&
            rest.starts_with(fill.name))
          found = &fill;
      }
    if (!found) {
      text += pattern[i];
      continue;
    }
    text += found->value;
    i += found->name.size() + 1;
  }
  return text;
}

TextKey KeyOf(Text text) {
  const auto k = static_cast<size_t>(text);
  return {kPacked.First(k), kPacked.Second(k)};
}

Texts DefaultTexts(std::string_view product, std::string_view version,
                   Language language) {
  Texts texts;
  for (size_t k = 0; k < kTextCount; ++k) {
    const TextKey key = KeyOf(static_cast<Text>(k));
    const std::optional<std::string> set = SetText(language, key.key);
    texts[k] =
        Filled(set ? std::string_view(*set) : key.pattern, product, version);
  }
  return texts;
}

std::string MessageTextIn(Language language, platform::Msg msg) {
  std::optional<std::string> text = SetText(language, platform::MsgKey(msg));
  return text ? std::move(*text) : platform::MsgDefault(msg);
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
                         if (kPacked.FirstIs(k, key))
                           texts[k] = value;
                     });
}

} // namespace package
