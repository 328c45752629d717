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

namespace files = platform::files;

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
  static Texts texts = PlainTexts();
  return texts;
}

// The payload of the executable's own texts, into payload: the block that
// ends right before the archive, else the one that begins where the
// program image ends (a damaged trailer does not lose them); false for
// none.
bool FindOwnPayload(const Container &exe, std::string &payload) {
  constexpr auto kMost =
      static_cast<int64_t>(kMaxTextsPayload + kTextsTrailerSize);
  const auto read = [&](int64_t from, int64_t to) {
    platform::BufferedFile &file = files::At(exe.fileNum);
    from = std::max<int64_t>(from, 0);
    to = std::min(to, file.Length());
    payload.assign(static_cast<size_t>(std::max<int64_t>(to - from, 0)), '\0');
    file.GetRun(from + 1, reinterpret_cast<uint8_t *>(payload.data()),
                static_cast<int64_t>(payload.size()));
  };
  // The image ends right before the archive's first byte.
  const int64_t imageEnd = int64_t{exe.ArchiveStart} - 1;
  std::optional<std::string_view> found;
  if (imageEnd > 0 && imageEnd <= exe.L - kTrailerSize) {
    read(imageEnd - kMost, imageEnd);
    found = TextsPayload(payload);
  }
  if (!found && exe.imageEnd > 0) {
    read(exe.imageEnd, exe.imageEnd + kMost);
    found = LeadingTextsPayload(payload);
  }
  if (found)
    payload = std::string(*found);
  return found.has_value();
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

const std::string &CurrentText(Text text) {
  return Current()[static_cast<size_t>(text)];
}

void SetTexts(const Texts &texts) {
  Current() = texts;
  platform::SetProgramTitle(CurrentText(Text::Caption));
}

std::string WithDamagedSentence(std::string description) {
  const std::string &sentence = CurrentText(Text::Damaged);
  if (!sentence.empty()) {
    description += "\r\n";
    description += sentence;
  }
  return description;
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

PackageTexts LoadPackageTexts() {
  PackageTexts found;
  // Texts of their own start from build's defaults: a block of an older
  // build without the damaged sentence still has it.
  Texts texts = DefaultTexts();
  const int16_t number = files::FreeFile(); // the one ReadTrailer takes
  try {
    std::string payload;
    found.own = FindOwnPayload(ReadTrailer(), payload) &&
                ApplyTextPayload(payload, texts, &found.sums);
  } catch (const platform::Error &) {
    // The run's own steps read the executable again and report it.
  }
  try {
    files::Close(number);
  } catch (const platform::Error &) {
  }
  if (!found.own)
    texts[static_cast<size_t>(Text::Damaged)].clear(); // as PlainTexts()
  SetTexts(texts);
  return found;
}

} // namespace mdl_main
