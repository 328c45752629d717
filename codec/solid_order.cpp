// The order of files in a solid stream.
#include "codec/solid_order.h"

#include <algorithm>
#include <numeric>
#include <string>

namespace codec {

namespace {

// The extension in lower case: what follows the last dot of the name's last
// component, unless that dot begins it (".profile" has none).
std::string Extension(std::string_view name) {
  const size_t slash = name.find_last_of("/\\");
  if (slash != std::string_view::npos)
    name.remove_prefix(slash + 1);
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0)
    return {};
  std::string extension(name.substr(dot + 1));
  for (char &c : extension)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  return extension;
}

} // namespace

std::vector<size_t> SolidOrder(const std::vector<SolidEntry> &entries) {
  std::vector<std::string> extensions;
  extensions.reserve(entries.size());
  for (const SolidEntry &entry : entries)
    extensions.push_back(Extension(entry.name));
  std::vector<size_t> order(entries.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    if (entries[a].x86Code != entries[b].x86Code)
      return entries[a].x86Code;
    return extensions[a] < extensions[b];
  });
  return order;
}

} // namespace codec
