// The index of entry names as Windows tells them apart.
#include "tools/name_index.h"

#include <vector>

#include "archive/catalog.h"
#include "platform/fs.h"

namespace tools {

namespace {

constexpr size_t kShortBase = 8; // characters before the dot
constexpr size_t kShortExt = 3;  // characters after it
constexpr size_t kAliasStem = 6; // characters before the tilde, at most
constexpr char16_t kKeyDot = u'.';

std::u16string Folded(std::string_view name) {
  return platform::fs::FoldName(archive::WithoutTrailingDotsAndSpaces(name));
}

// The key NAME.EXT of a folded name shaped like NAME~N.EXT, or false.
bool AliasKey(const std::u16string &folded, std::u16string &key) {
  const size_t dot = folded.rfind(u'.');
  const std::u16string_view all(folded);
  const std::u16string_view base = all.substr(0, dot);
  const std::u16string_view ext =
      dot == std::u16string::npos ? std::u16string_view() : all.substr(dot + 1);
  const size_t tilde = base.rfind(u'~');
  if (base.size() > kShortBase || ext.size() > kShortExt ||
      tilde == std::u16string_view::npos || tilde == 0 || tilde > kAliasStem ||
      tilde + 1 == base.size())
    return false;
  for (const char16_t c : base.substr(tilde + 1))
    if (c < u'0' || c > u'9')
      return false;
  const std::u16string_view stem = base.substr(0, tilde);
  if (stem.find_first_of(u". ") != std::u16string_view::npos)
    return false;
  key.assign(stem);
  key += kKeyDot;
  key += ext;
  return true;
}

// Up to limit characters of part as a short name takes them: blanks and
// dots dropped, the characters a short name cannot hold read as '_'.
std::u16string Abbreviated(std::u16string_view part, size_t limit) {
  std::u16string out;
  for (const char16_t c : part) {
    if (out.size() == limit)
      break;
    if (c == u' ' || c == u'.')
      continue;
    out += std::u16string_view(u"+,;=[]").find(c) == std::u16string_view::npos
               ? c
               : u'_';
  }
  return out;
}

// Every NAME.EXT that a short name of this (folded, not alias-shaped) name
// could carry: NAME any non-empty beginning of its abbreviation, since
// Windows shortens NAME as the number after the tilde grows.
std::vector<std::u16string> ShortKeys(const std::u16string &folded) {
  const size_t first = folded.find_first_not_of(u'.');
  std::u16string_view name(folded);
  name.remove_prefix(first == std::u16string::npos ? name.size() : first);
  const size_t dot = name.rfind(u'.');
  const std::u16string base = Abbreviated(name.substr(0, dot), kAliasStem);
  const std::u16string ext = dot == std::u16string_view::npos
                                 ? std::u16string()
                                 : Abbreviated(name.substr(dot + 1), kShortExt);
  std::vector<std::u16string> keys;
  for (size_t k = 1; k <= base.size(); ++k)
    keys.push_back(base.substr(0, k) + kKeyDot + ext);
  return keys;
}

} // namespace

NameIndex::Found NameIndex::Clashing(std::string_view name) const {
  const std::u16string folded = Folded(name);
  if (const auto same = names_.find(folded); same != names_.end())
    return {NameClash::SameName, same->second};
  std::u16string key;
  if (AliasKey(folded, key)) {
    if (const auto other = longs_.find(key); other != longs_.end())
      return {NameClash::ShortName, other->second};
    return {};
  }
  for (const std::u16string &k : ShortKeys(folded))
    if (const auto other = aliases_.find(k); other != aliases_.end())
      return {NameClash::ShortName, other->second};
  return {};
}

void NameIndex::Add(std::string_view name, size_t id) {
  const std::u16string folded = Folded(name);
  names_[folded] = id;
  std::u16string key;
  if (AliasKey(folded, key)) {
    aliases_.emplace(std::move(key), id);
    return;
  }
  for (std::u16string &k : ShortKeys(folded))
    longs_.emplace(std::move(k), id);
}

size_t NameIndex::Find(std::string_view name) const {
  const auto found = names_.find(Folded(name));
  return found == names_.end() ? kNone : found->second;
}

std::string ClashText(NameClash clash, const std::string &a,
                      const std::string &b) {
  const std::string both = a + " and " + b + " are one file on Windows";
  if (clash == NameClash::SameName)
    return both + " (the same name but for case)";
  std::u16string key;
  const bool bIsShort =
      AliasKey(Folded(std::string_view(b).substr(b.rfind('/') + 1)), key);
  return both + " (" + (bIsShort ? b : a) +
         " could be the short name Windows gives " + (bIsShort ? a : b) + ")";
}

} // namespace tools
