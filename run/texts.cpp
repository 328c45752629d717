// The texts of a package: defaults, the current ones, and the package's
// own ones from the end of its program image.
#include "run/texts.h"

#include <algorithm>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/ui.h"
#include "run/container.h"
#include "run/mdl_main.h"
#include "run/pe_image.h"
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
  static Texts texts = PlainTexts();
  return texts;
}

// Reads count bytes at the 0-based offset of the file under number; false
// when they are not all there.
bool ReadExe(int16_t number, int64_t offset, uint8_t *bytes, size_t count) {
  const int64_t length = platform::files::At(number).Length();
  if (offset < 0 || offset + static_cast<int64_t>(count) > length)
    return false;
  platform::files::At(number).GetRun(offset + 1, bytes,
                                     static_cast<int64_t>(count));
  return true;
}

// The bytes of the executable under number in [from, to), clipped to the
// file; empty when nothing of it is there.
std::string ReadSpan(int16_t number, int64_t from, int64_t to) {
  const int64_t length = platform::files::At(number).Length();
  from = std::max<int64_t>(from, 0);
  to = std::min(to, length);
  if (to <= from)
    return {};
  std::string bytes(static_cast<size_t>(to - from), '\0');
  ReadExe(number, from, reinterpret_cast<uint8_t *>(bytes.data()),
          bytes.size());
  return bytes;
}

// The payload of the executable's own texts: the block that ends right
// before the archive, else the one that begins where the program image
// ends (a damaged trailer does not lose them); nullopt for none.
std::optional<std::string> FindOwnPayload(const Container &exe) {
  constexpr auto kMost =
      static_cast<int64_t>(kMaxTextsPayload + kTextsTrailerSize);
  // The image ends right before the archive's first byte.
  const int64_t imageEnd = int64_t{exe.ArchiveStart} - 1;
  if (imageEnd > 0 && imageEnd <= exe.L - kTrailerSize) {
    const std::string tail = ReadSpan(exe.fileNum, imageEnd - kMost, imageEnd);
    if (const auto payload = TextsPayload(tail))
      return std::string(*payload);
  }
  const auto end =
      pe::ImageEnd([&](int64_t offset, uint8_t *bytes, size_t count) {
        return ReadExe(exe.fileNum, offset, bytes, count);
      });
  if (!end)
    return std::nullopt;
  const std::string head = ReadSpan(exe.fileNum, *end, *end + kMost);
  if (const auto payload = LeadingTextsPayload(head))
    return std::string(*payload);
  return std::nullopt;
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
  if (!sentence.empty())
    description += "\r\n" + sentence;
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
  const std::string_view magic(kTextsMagic, sizeof kTextsMagic - 1);
  // The first magic whose length field reaches back to the first byte.
  for (size_t at = bytes.find(magic); at != std::string_view::npos;
       at = bytes.find(magic, at + 1)) {
    const auto payload = TextsPayload(bytes.substr(0, at + magic.size()));
    if (payload && payload->data() == bytes.data())
      return payload;
  }
  return std::nullopt;
}

bool ApplyTextPayload(std::string_view payload, Texts &texts) {
  return ForEachTextPair(payload,
                         [&](std::string_view key, std::string_view value) {
                           for (size_t k = 0; k < kTextCount; ++k)
                             if (key == kKeys[k].key)
                               texts[k] = value;
                         });
}

bool DeclaresChecksums(std::string_view payload) {
  bool declared = false;
  ForEachTextPair(payload, [&](std::string_view key, std::string_view value) {
    if (key == kSumsKey)
      declared = value == "1";
  });
  return declared;
}

PackageTexts LoadPackageTexts() {
  SetTexts(PlainTexts());
  namespace files = platform::files;
  PackageTexts found;
  const int16_t number = files::FreeFile(); // the one ReadTrailer takes
  try {
    const auto payload = FindOwnPayload(ReadTrailer());
    // Texts of their own start from build's defaults: a block of an older
    // build without the damaged sentence still has it.
    Texts texts = DefaultTexts();
    if (payload && ApplyTextPayload(*payload, texts)) {
      SetTexts(texts);
      found.own = true;
      found.sums = DeclaresChecksums(*payload);
    }
  } catch (const platform::Error &) {
    // The run's own steps read the executable again and report it.
  }
  try {
    files::Close(number);
  } catch (const platform::Error &) {
  }
  return found;
}

} // namespace mdl_main
