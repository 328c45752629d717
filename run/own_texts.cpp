// Reading the run's own texts from the end of its program image.
#include "run/own_texts.h"

#include <algorithm>
#include <optional>
#include <string>

#include "package/file_source.h"
#include "package/pe_image.h"
#include "package/texts.h"
#include "package/trailer.h"
#include "platform/error.h"
#include "platform/files.h"
#include "run/container.h"
#include "run/run_texts.h"

namespace mdl_main {

namespace {

namespace files = platform::files;

// The payload of the executable's own texts, into payload: the block that
// ends right before the archive, else the one that begins where the
// program image ends (a damaged trailer does not lose them); false for
// none.
bool FindOwnPayload(const Container &exe, std::string &payload) {
  constexpr auto kMost = static_cast<int64_t>(package::kMaxTextsPayload +
                                              package::kTextsTrailerSize);
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
  if (imageEnd > 0 && imageEnd <= exe.L - package::kTrailerSize) {
    read(imageEnd - kMost, imageEnd);
    found = package::TextsPayload(payload);
  }
  const int64_t headersEnd =
      package::pe::ReadImageHeaders(package::FileSource(exe.fileNum))
          .end.value_or(0);
  if (!found && headersEnd > 0) {
    read(headersEnd, headersEnd + kMost);
    found = package::LeadingTextsPayload(payload);
  }
  if (found)
    payload = std::string(*found);
  return found.has_value();
}

} // namespace

PackageTexts LoadPackageTexts() {
  PackageTexts found;
  // Texts of their own start from build's defaults: a block of an older
  // build without the damaged sentence still has it.
  package::Texts texts = package::DefaultTexts();
  const int16_t number = files::FreeFile(); // the one ReadTrailer takes
  try {
    std::string payload;
    found.own = FindOwnPayload(ReadTrailer(), payload) &&
                package::ApplyTextPayload(payload, texts, &found.sums);
  } catch (const platform::Error &) {
    // The run's own steps read the executable again and report it.
  }
  try {
    files::Close(number);
  } catch (const platform::Error &) {
  }
  if (!found.own)
    texts[static_cast<size_t>(package::Text::Damaged)].clear(); // PlainTexts()
  SetTexts(texts);
  return found;
}

} // namespace mdl_main
