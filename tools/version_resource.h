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
  // Names the strings' language: the string table's name ("040904B0",
  // language and code page 1200, UTF-16) and the Translation that
  // VarFileInfo lists. Raises ToolError when either is missing.
  void SetLanguage(uint16_t language);

private:
  struct Value {
    size_t offset; // of the value's first byte in the image
    size_t units;  // UTF-16 units of room, the closing zero included
  };
  std::string &image_;
  size_t fixedInfo_ = 0;   // offset of VS_FIXEDFILEINFO
  size_t tableKey_ = 0;    // of the first string table's name, 0: none
  size_t translation_ = 0; // of the first Translation value, 0: none
  std::map<std::string, Value> strings_;
};

// A --version: up to four dotted 16-bit numbers (missing ones 0),
// optionally followed by a blank, "-" or "+" and more text for the
// version's string ("4.3 beta 2": 4.3.0.0); false for anything else.
bool ParseVersion(const std::string &text, uint16_t numbers[4]);

// Gives the image's version resource the resource language in its
// resource tree (rewritten only when it differs). An image without one is
// left as it is.
void SetVersionLanguage(std::string &image, uint16_t language);

} // namespace tools
