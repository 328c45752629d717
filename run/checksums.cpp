// The checksum entry: CRC-32, its text form and the run's check of the
// extracted files.
#include "run/checksums.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>

#include "archive/catalog.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/fs.h"
#include "platform/ui.h"
#include "run/mdl_main.h"
#include "run/texts.h"
#include "ui/Setup.h"

namespace mdl_main::sums {

namespace files = platform::files;

namespace {

// Slicing by sixteen: sixteen tables, sixteen bytes a step.
constexpr size_t kSlices = 16;
using Tables = std::array<std::array<uint32_t, 256>, kSlices>;

// Filled on first use rather than by the compiler: 16 KB of tables that the
// program image would otherwise carry as data take no room there.
const Tables &CrcTables() {
  static Tables t;
  static bool built = false;
  if (built)
    return t;
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k)
      c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[0][i] = c;
  }
  for (uint32_t i = 0; i < 256; ++i)
    for (size_t k = 1; k < kSlices; ++k)
      t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
  built = true;
  return t;
}

// "Файл «name» <what>", then the sentence that the package is damaged.
[[noreturn]] void RaiseDamaged(std::string_view name, const char *what) {
  std::string text = "Файл \xC2\xAB";
  text += name;
  text += "\xC2\xBB ";
  text += what;
  throw platform::Error(kErrPackageDamaged,
                        WithDamagedSentence(std::move(text)));
}

constexpr const char *kMissing = "отсутствует в пакете обновления.";

// The list itself is damaged: its line is not as written.
[[noreturn]] void RaiseBadList() {
  RaiseDamaged(kEntryName, "в пакете обновления поврежден.");
}

bool ParseDecimal(std::string_view text, int64_t &value) {
  if (text.empty() || text.size() > 18)
    return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9')
      return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

bool ParseHex32(std::string_view text, uint32_t &value) {
  if (text.size() != 8)
    return false;
  value = 0;
  for (char c : text) {
    int digit = 0;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return false;
    value = value << 4 | static_cast<uint32_t>(digit);
  }
  return true;
}

// Reads the next line (without its CR LF) of the file under number; false
// at the end of the file.
bool ReadLine(int16_t number, int64_t length, std::string &line) {
  line.clear();
  platform::BufferedFile &file = files::At(number);
  if (file.Position() > length)
    return false;
  while (file.Position() <= length) {
    const char c = static_cast<char>(file.Get());
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r')
        line.pop_back();
      return true;
    }
    if (line.size() >= kMaxLineBytes)
      RaiseBadList();
    line += c;
  }
  return true;
}

// The piece of a file read back at a time.
constexpr size_t kPiece = size_t{256} * 1024;

// Checks one listed file against its length and CRC-32. The file is open
// under a number of the table, so that an abort inside a yield, which
// closes them all, leaves nothing open in the folder it removes.
void VerifyFile(const std::string &folder, const Sum &sum, uint8_t *buffer) {
  const std::string path = folder + "\\" + sum.name;
  const int16_t number = files::FreeFile();
  try {
    files::Open(number, path, platform::OpenMode::ReadOnly);
  } catch (const platform::Error &e) {
    if (e.Number() == platform::err::kFileNotFound ||
        e.Number() == platform::err::kPathNotFound)
      RaiseDamaged(sum.name, kMissing);
    throw;
  }
  platform::BufferedFile &file = files::At(number);
  const int64_t length = file.Length();
  if (length != sum.length)
    RaiseDamaged(sum.name,
                 "в пакете обновления поврежден: длина не совпадает.");
  uint32_t crc = 0;
  for (int64_t done = 0; done < length;) {
    const auto n = static_cast<int64_t>(
        std::min<uint64_t>(kPiece, static_cast<uint64_t>(length - done)));
    file.GetRun(done + 1, buffer, n);
    crc = Crc32(crc, buffer, static_cast<size_t>(n));
    done += n;
    // A yield for every byte read, as the extraction yields, without a
    // call for each.
    const int32_t quiet = platform::QuietYields();
    if (quiet >= n) {
      platform::SkipQuietYields(static_cast<int32_t>(n));
    } else {
      platform::SkipQuietYields(quiet);
      platform::Yield();
    }
  }
  files::Close(number);
  if (crc != sum.crc)
    RaiseDamaged(
        sum.name,
        "в пакете обновления поврежден: контрольная сумма не совпадает.");
}

} // namespace

uint32_t Crc32(uint32_t crc, const uint8_t *bytes, size_t count) {
  const Tables &t = CrcTables();
  crc = ~crc;
  while (count >= kSlices) {
    const uint32_t low = crc ^ (static_cast<uint32_t>(bytes[0]) |
                                static_cast<uint32_t>(bytes[1]) << 8 |
                                static_cast<uint32_t>(bytes[2]) << 16 |
                                static_cast<uint32_t>(bytes[3]) << 24);
    uint32_t next = t[15][low & 0xFF] ^ t[14][(low >> 8) & 0xFF] ^
                    t[13][(low >> 16) & 0xFF] ^ t[12][low >> 24];
    for (size_t k = 4; k < kSlices; ++k)
      next ^= t[kSlices - 1 - k][bytes[k]];
    crc = next;
    bytes += kSlices;
    count -= kSlices;
  }
  while (count-- > 0)
    crc = t[0][(crc ^ *bytes++) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::string FormatSums(const std::vector<Sum> &sums) {
  static const char kHex[] = "0123456789abcdef";
  std::string text = std::string(kHeader) + "\r\n";
  for (const Sum &sum : sums) {
    for (int shift = 28; shift >= 0; shift -= 4)
      text += kHex[(sum.crc >> shift) & 0xF];
    text += ' ' + std::to_string(sum.length) + ' ';
    std::string name;
    if (!platform::TextToAnsi(sum.name, name))
      platform::Raise(platform::err::kOverflow,
                      "символ имени файла вне кодовой страницы: " + sum.name);
    text += name + "\r\n";
  }
  return text;
}

void CheckSumsHeader(std::string_view line) {
  if (line != kHeader)
    RaiseBadList();
}

Sum ParseSumLine(std::string_view line) {
  const size_t first = line.find(' ');
  const size_t second =
      first == std::string_view::npos ? first : line.find(' ', first + 1);
  Sum sum;
  if (second == std::string_view::npos ||
      !ParseHex32(line.substr(0, first), sum.crc) ||
      !ParseDecimal(line.substr(first + 1, second - first - 1), sum.length))
    RaiseBadList();
  sum.name = platform::AnsiToText(line.substr(second + 1));
  // Only names the extraction writes as they are: nothing outside the
  // folder, no device, not the list itself.
  if (archive::RemoveReservedChars(sum.name) != sum.name ||
      !archive::IsSafeEntryName(sum.name) ||
      platform::fs::CompareNamesNoCase(sum.name, kEntryName) == 0)
    RaiseBadList();
  return sum;
}

std::vector<Sum> ParseSums(std::string_view text) {
  std::vector<Sum> sums;
  bool header = true;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r')
      line.remove_suffix(1);
    if (header)
      CheckSumsHeader(line);
    else
      sums.push_back(ParseSumLine(line));
    header = false;
  }
  if (header)
    CheckSumsHeader({});
  return sums;
}

void VerifyFolder(const std::string &folder, bool declared, ui::Setup &form) {
  const std::string listPath = folder + "\\" + kEntryName;
  if (platform::fs::ListFiles(listPath).empty()) {
    // A package that declares the list and lost it is damaged; one
    // without it runs as it always has.
    if (declared)
      RaiseDamaged(kEntryName, kMissing);
    return;
  }
  const int16_t number = files::FreeFile();
  files::Open(number, listPath, platform::OpenMode::ReadOnly);
  const int64_t length = files::Lof(number);
  std::string line;
  if (!ReadLine(number, length, line))
    line.clear();
  CheckSumsHeader(line);
  const auto buffer = std::make_unique<uint8_t[]>(kPiece);
  while (ReadLine(number, length, line)) {
    const Sum sum = ParseSumLine(line);
    form.SetCheckedFile(sum.name);
    VerifyFile(folder, sum, buffer.get());
  }
  form.SetCheckedFile({});
  files::Close(number);
}

} // namespace mdl_main::sums
