// Entry names as Windows tells them apart, indexed once: the one lookup of
// verify's checksum, coverage and script checks, build's checksum list and
// the entry namer, and diff's check of a folder's names. Every look-up is
// a few hash probes, so a catalog of any length is checked in linear time.
//
// Two names are one file on Windows when
// - they are the same name once the dots and spaces that end a name are
//   dropped and both are folded by the one case table
//   (platform::fs::FoldName), or
// - one is shaped like a generated short name, NAME~N.EXT (NAME 1 to 6
//   characters, a tilde, digits, at most 8 characters before the dot and
//   an extension of at most 3), and the other could have been given it:
//   the other's abbreviation (leading dots and every blank and inner dot
//   dropped, + , ; = [ ] read as _, folded) begins with NAME, and its
//   extension's first 3 characters are EXT. Windows' own choice among
//   such names depends on what the folder held before; any of them is
//   taken as a clash.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tools {

enum class NameClash {
  None,
  SameName,  // equal once folded
  ShortName, // one could be the other's generated short name
};

class NameIndex {
public:
  static constexpr size_t kNone = static_cast<size_t>(-1);

  struct Found {
    NameClash clash = NameClash::None;
    size_t id = kNone; // the earlier name's id
  };

  // The name added before that Windows would write into the same file as
  // name; the same name comes before a short-name clash.
  Found Clashing(std::string_view name) const;
  // Adds name under id. A later name of the same folded form takes its
  // place for Find, as the extraction's later entry wins.
  void Add(std::string_view name, size_t id);
  // The id of the last name added that folds to the same name, or kNone.
  size_t Find(std::string_view name) const;

private:
  std::unordered_map<std::u16string, size_t> names_;   // folded -> last id
  std::unordered_map<std::u16string, size_t> longs_;   // abbreviation -> id
  std::unordered_map<std::u16string, size_t> aliases_; // NAME.EXT -> id
};

// "A and B are one file on Windows" with the reason, for messages; a and b
// as the caller shows them (perhaps after a folder and "/"), a the earlier.
std::string ClashText(NameClash clash, const std::string &a,
                      const std::string &b);

} // namespace tools
