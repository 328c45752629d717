// Reading and writing the version resource of a program image in place.
#include "tools/version_resource.h"

#include <cstring>
#include <string_view>

#include "platform/codepage.h"
#include "run/pe_image.h"
#include "tools/cli.h"

namespace tools {

namespace {

// Layout of the headers around the section table, as the PE format names
// it.
constexpr size_t kNumberOfSectionsOffset = 2; // in the COFF header
constexpr size_t kSectionHeaderSize = 40;
constexpr size_t kSectionSizeOfRawData = 16;
constexpr size_t kSectionPointerToRawData = 20;
constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
// In VS_FIXEDFILEINFO: dwFileVersionMS, dwFileVersionLS, dwProductVersionMS,
// dwProductVersionLS.
constexpr size_t kFileVersionOffset = 8;
constexpr size_t kProductVersionOffset = 16;

uint32_t Get(const std::string &bytes, size_t offset, int width) {
  uint32_t value = 0;
  for (int k = 0; k < width; ++k)
    value |= static_cast<uint32_t>(
                 static_cast<uint8_t>(bytes[offset + static_cast<size_t>(k)]))
             << (8 * k);
  return value;
}

void Put(std::string &bytes, size_t offset, uint32_t value, int width) {
  for (int k = 0; k < width; ++k)
    bytes[offset + static_cast<size_t>(k)] =
        static_cast<char>((value >> (8 * k)) & 0xFF);
}

[[noreturn]] void Broken(const std::string &what) {
  throw ToolError("the program image's version resource " + what);
}

// UTF-16LE of ASCII text, without a closing zero.
std::string Utf16(std::string_view ascii) {
  std::string wide;
  for (char c : ascii) {
    wide += c;
    wide += '\0';
  }
  return wide;
}

// The raw bytes of the .rsrc section: [first, end).
bool ResourceSection(const std::string &image, size_t &first, size_t &end) {
  if (image.size() < pe::kDosLfanewOffset + 4)
    return false;
  const size_t coff = Get(image, pe::kDosLfanewOffset, 4) + 4;
  if (coff + pe::kCoffHeaderSize > image.size())
    return false;
  const size_t count = Get(image, coff + kNumberOfSectionsOffset, 2);
  const size_t table = coff + pe::kCoffHeaderSize +
                       Get(image, coff + pe::kSizeOfOptionalHeaderOffset, 2);
  for (size_t k = 0; k < count; ++k) {
    const size_t header = table + k * kSectionHeaderSize;
    if (header + kSectionHeaderSize > image.size())
      return false;
    if (image.compare(header, 8, std::string(".rsrc\0\0\0", 8)) != 0)
      continue;
    first = Get(image, header + kSectionPointerToRawData, 4);
    end = first + Get(image, header + kSectionSizeOfRawData, 4);
    return end <= image.size() && first < end;
  }
  return false;
}

// One node of the resource's tree: wLength, wValueLength, wType, the key,
// the value, the children; every part starts on a 32-bit boundary.
struct Node {
  size_t start, end; // [start, end) in the image
  std::string key;   // UTF-8
  size_t value;      // offset of the value
  size_t valueBytes;
  size_t children; // offset of the first child
};

size_t Align4(size_t offset, size_t base) {
  return base + (offset - base + 3) / 4 * 4;
}

Node ReadNode(const std::string &image, size_t start, size_t limit,
              size_t base) {
  if (start + 6 > limit)
    Broken("is cut short");
  Node node;
  node.start = start;
  const size_t length = Get(image, start, 2);
  const size_t valueLength = Get(image, start + 2, 2);
  const uint32_t type = Get(image, start + 4, 2);
  node.end = start + length;
  if (length < 6 || node.end > limit)
    Broken("has a node that does not fit");
  std::u16string key;
  size_t at = start + 6;
  for (;; at += 2) {
    if (at + 2 > node.end)
      Broken("has a key without its end");
    const auto unit = static_cast<char16_t>(Get(image, at, 2));
    if (unit == 0)
      break;
    key += unit;
  }
  for (char16_t unit : key)
    platform::AppendUtf8(node.key, unit);
  node.value = Align4(at + 2, base);
  node.valueBytes = type == 1 ? valueLength * 2 : valueLength;
  if (node.value + node.valueBytes > node.end)
    node.valueBytes = node.value <= node.end ? node.end - node.value : 0;
  node.children = Align4(node.value + node.valueBytes, base);
  return node;
}

} // namespace

VersionResource::VersionResource(std::string &image) : image_(image) {
  size_t first = 0;
  size_t end = 0;
  if (!ResourceSection(image, first, end))
    throw Missing("the program image has no resource section");
  const std::string key = Utf16("VS_VERSION_INFO") + std::string(2, '\0');
  const size_t found = image.find(key, first);
  if (found == std::string::npos || found + key.size() > end || found < 6)
    throw Missing("the program image has no version resource");
  const size_t base = found - 6;
  const Node root = ReadNode(image, base, end, base);
  if (root.valueBytes < 52 ||
      Get(image, root.value, 4) != kFixedFileInfoSignature)
    Broken("has no fixed file information");
  fixedInfo_ = root.value;
  for (size_t at = root.children; at + 6 <= root.end;) {
    const Node info = ReadNode(image, at, root.end, base);
    if (info.key == "StringFileInfo") {
      for (size_t t = info.children; t + 6 <= info.end;) {
        const Node table = ReadNode(image, t, info.end, base);
        for (size_t s = table.children; s + 6 <= table.end;) {
          const Node string = ReadNode(image, s, table.end, base);
          if (!strings_.count(string.key))
            strings_[string.key] = {string.value, string.valueBytes / 2};
          s = Align4(string.end, base);
        }
        t = Align4(table.end, base);
      }
    }
    at = Align4(info.end, base);
  }
}

std::map<std::string, std::string> VersionResource::Strings() const {
  std::map<std::string, std::string> strings;
  for (const auto &[key, value] : strings_) {
    std::string text;
    for (size_t k = 0; k < value.units; ++k) {
      const auto unit =
          static_cast<char16_t>(Get(image_, value.offset + 2 * k, 2));
      if (unit == 0)
        break;
      platform::AppendUtf8(text, unit);
    }
    strings[key] = text;
  }
  return strings;
}

size_t VersionResource::Room(const std::string &key) const {
  const auto found = strings_.find(key);
  return found == strings_.end() || found->second.units == 0
             ? 0
             : found->second.units - 1;
}

void VersionResource::SetString(const std::string &key,
                                const std::string &value) {
  const auto found = strings_.find(key);
  if (found == strings_.end())
    throw ToolError("the program image's version resource has no " + key);
  std::u16string units;
  size_t i = 0;
  while (i < value.size()) {
    const char32_t code = platform::NextCodePoint(value, i);
    if (code > 0xFFFF)
      throw ToolError(key + ": \"" + value +
                      "\" holds a character outside the Basic Multilingual "
                      "Plane");
    units += static_cast<char16_t>(code);
  }
  if (units.size() > Room(key))
    throw ToolError(key + " \"" + value + "\" is " +
                    std::to_string(units.size()) +
                    " characters; the program image has room for " +
                    std::to_string(Room(key)));
  for (size_t k = 0; k < found->second.units; ++k)
    Put(image_, found->second.offset + 2 * k, k < units.size() ? units[k] : 0,
        2);
}

void VersionResource::SetVersionNumbers(const uint16_t numbers[4]) {
  const uint32_t ms = static_cast<uint32_t>(numbers[0]) << 16 | numbers[1];
  const uint32_t ls = static_cast<uint32_t>(numbers[2]) << 16 | numbers[3];
  for (size_t offset : {kFileVersionOffset, kProductVersionOffset}) {
    Put(image_, fixedInfo_ + offset, ms, 4);
    Put(image_, fixedInfo_ + offset + 4, ls, 4);
  }
}

bool ParseVersionNumbers(const std::string &text, uint16_t numbers[4]) {
  size_t part = 0;
  uint32_t value = 0;
  bool digits = false;
  std::memset(numbers, 0, 4 * sizeof numbers[0]);
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '.') {
      if (!digits || part >= 4)
        return false;
      numbers[part++] = static_cast<uint16_t>(value);
      value = 0;
      digits = false;
    } else if (text[i] >= '0' && text[i] <= '9') {
      value = value * 10 + static_cast<uint32_t>(text[i] - '0');
      if (value > 0xFFFF)
        return false;
      digits = true;
    } else {
      return false;
    }
  }
  return true;
}

} // namespace tools
