// The pieces the program composes its failure messages of: the texts of
// the platform's error numbers, the archive's errors, the descriptions of
// a damaged package. Each has a key and the shipped program's Russian
// text; a package's manifest may give any of them in its own language
// (package/texts.h), and a package without one shows them as shipped.
// "{1}", "{2}"... in a text stand for what the message fills in (a path, a
// number).
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace platform {

enum class Msg : uint8_t {
  // The platform's error numbers (platform/error.h), and one without a text.
  ErrInvalidCall,
  ErrOverflow,
  ErrOutOfMemory,
  ErrSubscript,
  ErrTypeMismatch,
  ErrBadFileNumber,
  ErrFileNotFound,
  ErrBadFileMode,
  ErrFileAlreadyOpen,
  ErrDeviceIo,
  ErrFileExists,
  ErrDiskFull,
  ErrPastEnd,
  ErrBadRecordNumber,
  ErrBadFileName,
  ErrTooManyFiles,
  ErrPermissionDenied,
  ErrPathFileAccess,
  ErrPathNotFound,
  ErrOther,       // {1}: the number
  TooLarge,       // {1}: the path
  AtPosition,     // {1}: the path, {2}: the position
  RecordPosition, // {1}: the file, {2}: the position
  CopyOntoItself, // {1}: the source, {2}: the target
  OsCode,         // {1}: the system's error code
  ReadOnly,       // after a path
  WriteThroughLink,
  NotRealFolder,
  NotOwnFolder,
  OthersCanWrite,
  // The archive's errors (archive/arch_errors.h) and their details.
  NotArchive,
  NoCatalog,
  ExtractCancelled,
  PackCancelled,
  CatalogUnterminated,
  EntryPastEnd,
  BadEntryName,
  EntryIsArchive,
  SourceChanged,
  NameNotStorable,
  ArchiveNotOpen, // {1}: the archive
  EmptyEntry,
  NameTooLong, // {1}: the longest name in bytes
  FewerFields,
  NotANumber,
  NumberTooLarge,
  StartOutOfRange,
  EndOutOfRange,
  RangeOutside, // {1} name, {2}-{3} its positions, {4}-{5} the archive's
  // A damaged package.
  FileMissing,       // {1}: the file
  FileDamaged,       // {1}: the file
  FileLengthDiffers, // {1}: the file
  FileCrcDiffers,    // {1}: the file
  ManifestCut,       // {1}: the package's bytes
  ManifestTooLong,   // {1}: the manifest's bytes
  ManifestCrc,
  ManifestUnreadable,
  PackageLength,   // {1}: its bytes, {2}: the bytes declared
  CodePageMissing, // {1}: the code page
  StreamDamaged,   // the compressed archive does not decode
};
inline constexpr size_t kMsgCount = static_cast<size_t>(Msg::StreamDamaged) + 1;

// The key of a message in a manifest and in `updpack build --texts` files.
const char *MsgKey(Msg msg);
// The shipped program's text.
std::string MsgDefault(Msg msg);

// The text in effect (the shipped one until SetMsgText).
const std::string &MsgText(Msg msg);
void SetMsgText(Msg msg, std::string text);
// Every text as shipped again.
void ResetMsgTexts();

// pattern with "{1}"... "{9}" replaced by values[0]...; a number without a
// value stays as written.
std::string FillIn(std::string_view pattern,
                   std::initializer_list<std::string_view> values);
// The text in effect of msg, filled in.
std::string Message(Msg msg,
                    std::initializer_list<std::string_view> values = {});

} // namespace platform
