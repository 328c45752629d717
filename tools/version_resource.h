// The version resource of a program image (VS_VERSION_INFO), as Windows
// shows it in a file's properties: its strings and its version numbers,
// read and written in place within the room the image keeps for them.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "tools/cli.h"

namespace tools {

class VersionResource {
public:
  // An image without a version resource (a stub of another making).
  class Missing : public ToolError {
  public:
    using ToolError::ToolError;
  };

  // Finds the resource in the image's .rsrc section. Raises Missing when
  // the image has none, ToolError when it does not parse.
  explicit VersionResource(std::string &image);

  // The strings of the first string table, by key (UTF-8); a value ends at
  // its first zero.
  std::map<std::string, std::string> Strings() const;
  // Room for a string's value, in UTF-16 units, a closing zero left aside;
  // 0 for a key the resource does not have.
  size_t Room(const std::string &key) const;
  // Writes value (UTF-8) over the string's room, zeros after it. Raises
  // ToolError when the key is missing or the value does not fit.
  void SetString(const std::string &key, const std::string &value);
  // Sets the file and product version numbers of the fixed part
  // (FILEVERSION, PRODUCTVERSION): four 16-bit numbers each.
  void SetVersionNumbers(const uint16_t numbers[4]);

private:
  struct Value {
    size_t offset; // of the value's first byte in the image
    size_t units;  // UTF-16 units of room, the closing zero included
  };
  std::string &image_;
  size_t fixedInfo_ = 0; // offset of VS_FIXEDFILEINFO
  std::map<std::string, Value> strings_;
};

// "1.2.3" as up to four 16-bit numbers (missing ones 0); false for text
// that is not that.
bool ParseVersionNumbers(const std::string &text, uint16_t numbers[4]);

} // namespace tools
