// Folder trees and in-memory archives for the archive engine's tests.
#include "tests/support/archive_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/codepage.h"

namespace archtest {

namespace stdfs = std::filesystem;

std::vector<std::string> Tree(const std::string &folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (auto it = stdfs::recursive_directory_iterator(folder, ec);
       !ec && it != stdfs::recursive_directory_iterator(); it.increment(ec)) {
    std::string name = stdfs::relative(it->path(), folder).string();
    if (it->is_directory(ec))
      name += "/";
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string BuildArchive(const std::vector<Entry> &entries,
                         uint8_t compression) {
  std::vector<std::string> texts;
  std::string data;
  int64_t running = 1;
  for (const Entry &entry : entries) {
    std::string name;
    EXPECT_TRUE(platform::TextToAnsi(entry.name, name)) << entry.name;
    const int64_t end = running + static_cast<int64_t>(entry.bytes.size());
    texts.push_back(name + "?" + std::to_string(running) + "?" +
                    std::to_string(end));
    data += entry.bytes;
    running = end;
  }
  return RawArchive(texts, "\x01" + data, compression);
}

std::string RawArchive(const std::vector<std::string> &entryTexts,
                       std::string_view tail, uint8_t compression) {
  std::string bytes = "PACK1";
  bytes += static_cast<char>(compression);
  bytes += '\x01';
  for (const std::string &text : entryTexts) {
    bytes += text;
    bytes += '\x02';
  }
  bytes += tail;
  return bytes;
}

std::string Hex(std::string_view bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  for (unsigned char c : bytes) {
    if (!text.empty())
      text += ' ';
    text += digits[c >> 4];
    text += digits[c & 0xF];
  }
  return text;
}

} // namespace archtest
