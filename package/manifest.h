// The package's manifest: what a package built by `updpack build` says of
// itself, right where its program image ends as the image's own headers
// say (the furthest end of a section's raw data, pe::ImageHeaders), before
// the archive. A program finds it from its own headers even when the end
// of the file is missing, and it carries its own length and CRC-32, so
// that damage to it is told apart from its absence (a package made to the
// base format, which runs exactly as it always has).
//
// Layout, offsets from its first byte:
//   kManifestMagicOffset    16 bytes, "updpack manifest"
//   kManifestLengthOffset   u32 LE, the payload's length in bytes
//   kManifestCrcOffset      u32 LE, the CRC-32 of the payload
//   kManifestPayloadOffset  the payload: pairs key 0x00 value 0x00, UTF-8
//
// Keys: the texts of the run by their keys (package/texts.h) where they
// differ from the defaults for kProductKey and kVersionKey, which the texts
// were made for, kSumsKey, kLengthKey and kCodePageKey. Any other key is
// passed over by the run, so newer packages may add keys.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "package/byte_source.h"
#include "platform/decimal.h"

namespace package {

inline constexpr char kManifestMagic[17] = "updpack manifest";
inline constexpr int64_t kManifestMagicOffset = 0;
inline constexpr int64_t kManifestMagicSize = 16;
inline constexpr int64_t kManifestLengthOffset = 16;
inline constexpr int64_t kManifestCrcOffset = 20;
inline constexpr int64_t kManifestPayloadOffset = 24;
static_assert(kManifestMagicSize == sizeof kManifestMagic - 1);
static_assert(kManifestLengthOffset ==
              kManifestMagicOffset + kManifestMagicSize);
static_assert(kManifestCrcOffset == kManifestLengthOffset + 4);
static_assert(kManifestPayloadOffset == kManifestCrcOffset + 4);
// The longest payload a reader takes.
inline constexpr uint32_t kMaxManifestPayload = 1024 * 1024;

// The product and version the texts were made for.
inline constexpr const char *kProductKey = "product";
inline constexpr const char *kVersionKey = "version";
// "1": the package carries the checksum entry (~updpack.sum), so a package
// that comes out without it is damaged.
inline constexpr const char *kSumsKey = "sums";
// The package's length in bytes, in decimal: image, manifest, archive,
// filler and trailer; not a signing tool's certificate table.
inline constexpr const char *kLengthKey = "length";
// The Windows single-byte code page of the package's entry names, script
// and checksum entry, in decimal (one of platform::kPackageCodePages). A
// package without it is read in the system's code page.
inline constexpr const char *kCodePageKey = "codepage";

// The code page a payload declares: 0 when it declares none, -1 when its
// value is not a decimal number of at most five digits.
int DeclaredCodePage(const std::string &payload);

// Calls visit(key, value) for every pair of a payload, in order. False,
// without a call, for a payload that is not a list of pairs: such a list
// holds an even number of zeros and ends in one.
template <typename Visit>
bool ForEachPair(std::string_view payload, Visit visit) {
  size_t zeros = 0;
  for (const char c : payload)
    zeros += c == '\0';
  if (zeros % 2 != 0 || (!payload.empty() && payload.back() != '\0'))
    return false;
  while (!payload.empty()) {
    const size_t keyEnd = payload.find('\0');
    const size_t valueEnd = payload.find('\0', keyEnd + 1);
    visit(payload.substr(0, keyEnd),
          payload.substr(keyEnd + 1, valueEnd - keyEnd - 1));
    payload.remove_prefix(valueEnd + 1);
  }
  return true;
}

// The value of the last pair with key; nullopt when there is none or the
// payload is not a list of pairs. The readers below take the payload as the
// string a Manifest holds and the key as one of the constant names, both
// passed in a register: views were built on every caller's stack.
std::optional<std::string_view> FindValue(const std::string &payload,
                                          const char *key);
// True when the last pair with key says "1" (a flag such as kSumsKey).
bool FlagSet(const std::string &payload, const char *key);
// Appends a pair; neither may hold a 0x00.
void AppendPair(std::string &payload, std::string_view key,
                std::string_view value);

// The manifest's bytes for a payload of at most kMaxManifestPayload bytes.
std::string EncodeManifest(std::string_view payload);

// The manifest of payload and a kLengthKey pair that declares the length
// of the package it goes into, lengthWith(n) being that length when the
// manifest takes n bytes (it must not shrink as n grows). The declared
// number's own digits count.
template <typename LengthWith>
std::string EncodeManifestWithLength(std::string_view payload,
                                     LengthWith lengthWith) {
  int64_t length = lengthWith(static_cast<int64_t>(payload.size()));
  for (;;) {
    std::string pairs(payload);
    AppendPair(pairs, kLengthKey, platform::Decimal(length));
    std::string bytes = EncodeManifest(pairs);
    const int64_t whole = lengthWith(static_cast<int64_t>(bytes.size()));
    if (whole == length)
      return bytes;
    length = whole; // one digit more: at most once more round
  }
}

enum class ManifestState : uint8_t {
  Absent,  // no magic where the image ends (or no PE image)
  Damaged, // the magic, and then something that is wrong (ManifestFault)
  Intact,
};
enum class ManifestFault : uint8_t {
  None,
  Cut,       // the file ends inside it
  TooLong,   // its payload length is above kMaxManifestPayload
  Crc,       // the payload differs from its CRC-32
  NotPairs,  // the payload is not a list of pairs
  BadLength, // the value of kLengthKey is not a decimal number
};

struct Manifest {
  ManifestState state = ManifestState::Absent;
  ManifestFault fault = ManifestFault::None;
  int64_t offset = 0;         // where it begins
  uint32_t payloadLength = 0; // as its header says (read so far)
  std::string payload;        // Intact: the pairs
  int64_t length = -1; // Intact: the package length it declares, -1: none

  // Just past its last byte, where the archive of a built package begins.
  int64_t End() const {
    return offset + kManifestPayloadOffset + payloadLength;
  }
};

// The manifest at offset of file.
Manifest ReadManifest(const ByteSource &file, int64_t offset);
// The manifest where the PE image that file begins with ends; Absent for a
// file that begins with no PE image.
Manifest FindManifest(const ByteSource &file);

} // namespace package
