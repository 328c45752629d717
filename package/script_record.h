// The install script: the archive entry "script", a sequence of 65-byte
// records that copy files, delete files, create and delete folders. The
// number of records is the entry's length divided by 65; bytes after the
// last whole record are never read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace package::script {

// The entry's name in the archive, and the script file's in the temporary
// folder.
inline constexpr const char *kScriptName = "script";

// Layout of one record.
inline constexpr int kOperationOffset = 0; // operation code, unsigned byte
inline constexpr int kOperationSize = 1;
inline constexpr int kSourceOffset = 1; // source path, space-padded
inline constexpr int kSourceSize = 16;
inline constexpr int kTargetOffset = 17; // target path, space-padded
inline constexpr int kTargetSize = 48;
inline constexpr int kRecordSize = 65;
static_assert(kSourceOffset == kOperationOffset + kOperationSize);
static_assert(kTargetOffset == kSourceOffset + kSourceSize);
static_assert(kRecordSize == kTargetOffset + kTargetSize);

// Operation codes; any other code is read and ignored.
inline constexpr uint8_t kCopyFile = 0;     // source -> target, replacing
inline constexpr uint8_t kDeleteFiles = 1;  // target, wildcards allowed
inline constexpr uint8_t kCreateFolder = 2; // target, one level
inline constexpr uint8_t kDeleteFolder = 3; // target with its contents

// Placeholders in a path: the temporary folder and the program's folder.
inline constexpr char kTempFolderMark = '\x00';
inline constexpr char kProgramFolderMark = '\x01';

// One record, its fields as they are stored (code-page bytes with their
// padding), viewing the bytes it was decoded from.
struct Record {
  uint8_t operation = 0;
  std::string_view source;
  std::string_view target;
};

// The record in the first kRecordSize bytes of bytes, which must hold them.
Record DecodeRecord(std::string_view bytes);
// Appends the record's 65 bytes to out, each field padded on the right with
// blanks (0x20); false, with out unchanged, for a field longer than its
// size.
bool EncodeRecord(const Record &record, std::string &out);

// Text without the blanks (0x20, and no other character) at its ends, as
// the run trims a field.
std::string_view TrimBlanks(std::string_view text);

// A field's bytes as a path: code-page bytes to text, spaces (0x20 only)
// trimmed at both ends, then every 0x00 replaced by tempFolder, then every
// 0x01 by programFolder.
std::string PrepareField(std::string_view bytes, const std::string &tempFolder,
                         const std::string &programFolder);

// The bytes that a field's placeholders after its first add to it once
// PrepareField replaces them by folders of tempLength and programLength
// bytes. A path names one folder, so only a script made to blow up in
// memory has any (see package::kMaxRepeatedPlaceholderBytes).
int64_t RepeatedPlaceholderBytes(std::string_view field, size_t tempLength,
                                 size_t programLength);

} // namespace package::script
