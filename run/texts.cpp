// The texts of a package: defaults, the current ones, and the package's
// own ones from the end of its program image.
#include "run/texts.h"

#include <algorithm>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/ui.h"
#include "run/container.h"
#include "run/mdl_main.h"
#include "ui/Setup.h"

namespace mdl_main {

namespace {

constexpr TextKey kKeys[kTextCount] = {
    {"confirm", "Сейчас будет произведено обновление {product} до версии "
                "{version}.\r\nПродолжить?"},
    {"success", "Обновление до версии {version} прошло успешно!"},
    {"critical", kCriticalText},
    {"damaged", kDamagedPackageText},
    {"title", "{product} Dravell"},
    {"caption", platform::kProgramTitle},
    {"preparing", ui::kStatusPreparing},
    {"unpacking", ui::kStatusUnpacking},
    {"installing", ui::kStatusInstalling},
    {"progress", ui::kProgressPrefix},
    {"abort", ui::kAbortQuestion},
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

Texts &Current() {
  static Texts texts = DefaultTexts();
  return texts;
}

} // namespace

const TextKey &KeyOf(Text text) { return kKeys[static_cast<size_t>(text)]; }

Texts DefaultTexts(std::string_view product, std::string_view version) {
  Texts texts;
  for (size_t k = 0; k < kTextCount; ++k)
    texts[k] = Filled(kKeys[k].pattern, product, version);
  return texts;
}

const std::string &CurrentText(Text text) {
  return Current()[static_cast<size_t>(text)];
}

void SetTexts(const Texts &texts) {
  Current() = texts;
  platform::SetProgramTitle(CurrentText(Text::Caption));
}

std::optional<std::string_view> TextsPayload(std::string_view image) {
  const std::string_view magic(kTextsMagic, sizeof kTextsMagic - 1);
  if (image.size() < kTextsTrailerSize ||
      image.substr(image.size() - magic.size()) != magic)
    return std::nullopt;
  const auto length =
      static_cast<uint32_t>(ReadLE32(reinterpret_cast<const uint8_t *>(
          image.data() + image.size() - kTextsTrailerSize)));
  if (length > kMaxTextsPayload || length > image.size() - kTextsTrailerSize)
    return std::nullopt;
  return image.substr(image.size() - kTextsTrailerSize - length, length);
}

bool ApplyTextPayload(std::string_view payload, Texts &texts) {
  return ForEachTextPair(payload,
                         [&](std::string_view key, std::string_view value) {
                           for (size_t k = 0; k < kTextCount; ++k)
                             if (key == kKeys[k].key)
                               texts[k] = value;
                         });
}

void LoadPackageTexts() {
  SetTexts(DefaultTexts());
  namespace files = platform::files;
  const int16_t number = files::FreeFile(); // the one ReadTrailer takes
  try {
    const Container exe = ReadTrailer();
    // The image ends right before the archive's first byte.
    const int64_t imageEnd = int64_t{exe.ArchiveStart} - 1;
    const int64_t tail = std::min<int64_t>(
        imageEnd, static_cast<int64_t>(kMaxTextsPayload + kTextsTrailerSize));
    if (tail > 0 && imageEnd <= exe.L - kTrailerSize) {
      std::string bytes(static_cast<size_t>(tail), '\0');
      files::At(exe.fileNum)
          .GetRun(imageEnd - tail + 1,
                  reinterpret_cast<uint8_t *>(bytes.data()), tail);
      const auto payload = TextsPayload(bytes);
      if (payload && ApplyTextPayload(*payload, Current()))
        platform::SetProgramTitle(CurrentText(Text::Caption));
    }
  } catch (const platform::Error &) {
    // The run's own steps read the executable again and report it.
  }
  try {
    files::Close(number);
  } catch (const platform::Error &) {
  }
}

} // namespace mdl_main
