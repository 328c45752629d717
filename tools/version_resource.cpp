// Reading and writing the version resource of a program image in place.
#include "tools/version_resource.h"

#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "package/coding.h"
#include "platform/codepage.h"
#include "tools/cli.h"
#include "tools/pe_resources.h"

namespace tools {

using package::ReadLE;
using package::WriteLE;

namespace {

constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
// In VS_FIXEDFILEINFO: dwFileVersionMS, dwFileVersionLS, dwProductVersionMS,
// dwProductVersionLS.
constexpr size_t kFileVersionOffset = 8;
constexpr size_t kProductVersionOffset = 16;
// The code page of the strings: UTF-16.
constexpr uint16_t kUtf16CodePage = 1200;

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
  const size_t length = ReadLE(image, start, 2);
  const size_t valueLength = ReadLE(image, start + 2, 2);
  const uint32_t type = ReadLE(image, start + 4, 2);
  node.end = start + length;
  if (length < 6 || node.end > limit)
    Broken("has a node that does not fit");
  std::u16string key;
  size_t at = start + 6;
  for (;; at += 2) {
    if (at + 2 > node.end)
      Broken("has a key without its end");
    const auto unit = static_cast<char16_t>(ReadLE(image, at, 2));
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
  // The first version resource in the tree the image's headers name.
  std::optional<Resource> version;
  try {
    for (const Resource &r : ReadResources(image))
      if (!version && r.type == ResourceId{kRtVersion, {}})
        version = r;
  } catch (const ToolError &e) {
    throw Missing(e.what());
  }
  if (!version)
    throw Missing("the program image has no version resource");
  const size_t base = version->fileOffset;
  const size_t end = base + version->data.size();
  const std::string key = Utf16("VS_VERSION_INFO") + std::string(2, '\0');
  if (version->data.size() < 6 + key.size() ||
      image.compare(base + 6, key.size(), key) != 0)
    Broken("does not begin with VS_VERSION_INFO");
  const Node root = ReadNode(image, base, end, base);
  if (root.valueBytes < 52 ||
      ReadLE(image, root.value, 4) != kFixedFileInfoSignature)
    Broken("has no fixed file information");
  fixedInfo_ = root.value;
  for (size_t at = root.children; at + 6 <= root.end;) {
    const Node info = ReadNode(image, at, root.end, base);
    if (info.key == "StringFileInfo") {
      for (size_t t = info.children; t + 6 <= info.end;) {
        const Node table = ReadNode(image, t, info.end, base);
        if (tableKey_ == 0 && table.key.size() == 8)
          tableKey_ = table.start + 6;
        for (size_t s = table.children; s + 6 <= table.end;) {
          const Node string = ReadNode(image, s, table.end, base);
          if (!strings_.count(string.key))
            strings_[string.key] = {string.value, string.valueBytes / 2};
          s = Align4(string.end, base);
        }
        t = Align4(table.end, base);
      }
    }
    if (info.key == "VarFileInfo") {
      for (size_t v = info.children; v + 6 <= info.end;) {
        const Node var = ReadNode(image, v, info.end, base);
        if (translation_ == 0 && var.key == "Translation" &&
            var.valueBytes >= 4)
          translation_ = var.value;
        v = Align4(var.end, base);
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
          static_cast<char16_t>(ReadLE(image_, value.offset + 2 * k, 2));
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
    WriteLE(image_, found->second.offset + 2 * k,
            k < units.size() ? units[k] : 0, 2);
}

void VersionResource::SetVersionNumbers(const uint16_t numbers[4]) {
  const uint32_t ms = static_cast<uint32_t>(numbers[0]) << 16 | numbers[1];
  const uint32_t ls = static_cast<uint32_t>(numbers[2]) << 16 | numbers[3];
  for (size_t offset : {kFileVersionOffset, kProductVersionOffset}) {
    WriteLE(image_, fixedInfo_ + offset, ms, 4);
    WriteLE(image_, fixedInfo_ + offset + 4, ls, 4);
  }
}

void VersionResource::SetLanguage(uint16_t language) {
  if (tableKey_ == 0 || translation_ == 0)
    Broken("has no string table or no Translation");
  static const char kHex[] = "0123456789ABCDEF";
  const uint32_t name = uint32_t{language} << 16 | kUtf16CodePage;
  for (int k = 0; k < 8; ++k)
    WriteLE(image_, tableKey_ + 2 * static_cast<size_t>(k),
            static_cast<uint8_t>(kHex[(name >> (28 - 4 * k)) & 0xF]), 2);
  WriteLE(image_, translation_, language, 2);
  WriteLE(image_, translation_ + 2, kUtf16CodePage, 2);
}

void SetVersionLanguage(std::string &image, uint16_t language) {
  std::vector<Resource> resources;
  try {
    resources = ReadResources(image);
  } catch (const ToolError &) {
    return; // VersionResource says what is wrong
  }
  bool changed = false;
  bool inPlace = true; // each the only language of its name: no order to keep
  for (Resource &r : resources)
    if (r.type == ResourceId{kRtVersion, {}} && r.language != language) {
      r.language = language;
      changed = true;
      inPlace = inPlace && r.languageCount == 1;
    }
  if (!changed)
    return;
  if (!inPlace) {
    WriteResources(image, resources); // a new tree, after the last section
    return;
  }
  for (const Resource &r : resources)
    if (r.type == ResourceId{kRtVersion, {}})
      WriteLE(image, r.languageEntry, language, 4);
}

bool ParseVersion(const std::string &written, uint16_t numbers[4]) {
  // The numbers end at the first blank, "-" or "+", which must be followed
  // by the rest of the string.
  const size_t suffix = written.find_first_of(" -+");
  if (suffix != std::string::npos &&
      (suffix + 1 == written.size() || suffix == 0))
    return false;
  const std::string text = written.substr(0, suffix);
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
