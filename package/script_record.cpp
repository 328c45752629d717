// The 65-byte record of the install script and the preparation of its
// fields.
#include "package/script_record.h"

#include "platform/codepage.h"

namespace package::script {

namespace {

// text with every mark replaced.
std::string Replaced(std::string_view text, char mark,
                     const std::string &with) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == mark)
      out += with;
    else
      out += c;
  }
  return out;
}

} // namespace

Record DecodeRecord(std::string_view bytes) {
  return {static_cast<uint8_t>(bytes[kOperationOffset]),
          bytes.substr(kSourceOffset, kSourceSize),
          bytes.substr(kTargetOffset, kTargetSize)};
}

bool EncodeRecord(const Record &record, std::string &out) {
  if (record.source.size() > kSourceSize || record.target.size() > kTargetSize)
    return false;
  out += static_cast<char>(record.operation);
  out += record.source;
  out.append(kSourceSize - record.source.size(), ' ');
  out += record.target;
  out.append(kTargetSize - record.target.size(), ' ');
  return true;
}

std::string_view TrimBlanks(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos)
    return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string PrepareField(std::string_view bytes, const std::string &tempFolder,
                         const std::string &programFolder) {
  // Only the space is trimmed; 0x00 and 0x01 are placeholders, not padding.
  const std::string decoded = platform::AnsiToText(bytes);
  return Replaced(Replaced(TrimBlanks(decoded), kTempFolderMark, tempFolder),
                  kProgramFolderMark, programFolder);
}

int64_t RepeatedPlaceholderBytes(std::string_view field, size_t tempLength,
                                 size_t programLength) {
  int64_t bytes = 0;
  bool first = true;
  for (const char c : field) {
    if (c != kTempFolderMark && c != kProgramFolderMark)
      continue;
    if (!first)
      bytes += static_cast<int64_t>(c == kTempFolderMark ? tempLength
                                                         : programLength);
    first = false;
  }
  return bytes;
}

} // namespace package::script
