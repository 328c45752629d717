// Packages around fuzz inputs.
#include "fuzz/package_maker.h"

#include <algorithm>

#include "package/coding.h"
#include "package/expected_state.h"
#include "package/file_times.h"
#include "package/long_records.h"
#include "package/manifest.h"
#include "package/pe_image.h"

namespace fuzzing {

std::string ImageHeadersOnly() {
  namespace pe = package::pe;
  std::string image(512, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  package::WriteLE(image, pe::kDosLfanewOffset, 0x40, 4);
  package::WriteLE(image, 0x40, pe::kPeSignature, 4);
  package::WriteLE(image, 0x44 + pe::kSizeOfOptionalHeaderOffset, 240, 2);
  const size_t optional = 0x44 + pe::kCoffHeaderSize;
  package::WriteLE(image, optional, pe::kPe32PlusMagic, 2);
  package::WriteLE(image, optional + pe::kSizeOfHeadersOffset, 512, 4);
  return image;
}

std::string PackageAround(const std::string &archive,
                          const std::string &payload) {
  std::string package = ImageHeadersOnly();
  package += package::EncodeManifestWithLength(payload, [&](int64_t manifest) {
    return static_cast<int64_t>(package.size() + archive.size() + 4) + manifest;
  });
  const auto archiveStart = static_cast<uint32_t>(package.size() + 1);
  package += archive;
  for (int k = 0; k < 4; ++k) // little-endian
    package += static_cast<char>((archiveStart >> (8 * k)) & 0xFF);
  return package;
}

std::string DeclaredEntries(uint8_t flags) {
  std::string payload;
  if (flags & 1)
    package::AppendPair(payload, package::kSumsKey, "1");
  if (flags & 2)
    package::AppendPair(payload, package::script::kLongScriptKey, "1");
  if (flags & 4)
    package::AppendPair(payload, package::expect::kExpectKey, "1");
  if (flags & 8)
    package::AppendPair(payload, package::times::kTimesKey, "1");
  return payload;
}

std::string TakePayload(std::string &rest) {
  if (rest.size() < 2) {
    rest.clear();
    return {};
  }
  const size_t length =
      std::min<size_t>(package::ReadLE(rest, 0, 2), rest.size() - 2);
  std::string payload = rest.substr(2, length);
  rest.erase(0, 2 + length);
  return payload;
}

} // namespace fuzzing
