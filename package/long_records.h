// The install script's second entry, "~updpack.scr": records whose paths
// do not fit the 65-byte record (a source longer than 16 bytes, a target
// longer than 48), with the same four operations, the same placeholders
// and the package's code page, each field as long as it is. A package
// declares it in its manifest (kLongScriptKey), so that losing it shows the
// package damaged, and its checksum entry covers it.
//
// Order: the run carries out the records of "script", then those of this
// entry. `updpack build` writes every record here, and "script" empty, as
// soon as one record does not fit, so the script's order is kept; a
// script whose records all fit goes into "script" alone, byte for byte as
// before.
//
// Layout: kLongMagic, then records one after the other:
//   offset 0  u8      operation (package/script_record.h)
//   offset 1  u16 LE  source length in bytes, at most kMaxLongField
//   offset 3  u16 LE  target length in bytes, at most kMaxLongField
//   offset 5          the source's bytes, then the target's
// No padding: the run trims blanks at both ends of a field as it trims a
// 65-byte record's. Bytes after the last whole record make the entry
// damaged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "package/script_record.h"

namespace package::script {

inline constexpr const char *kLongScriptName = "~updpack.scr";
// The manifest key that declares the entry ("1").
inline constexpr const char *kLongScriptKey = "longscript";

inline constexpr char kLongMagic[17] = "updpack script 2";
inline constexpr size_t kLongMagicSize = 16;
static_assert(kLongMagicSize == sizeof kLongMagic - 1);
inline constexpr size_t kLongOperationOffset = 0;
inline constexpr size_t kLongSourceLengthOffset = 1;
inline constexpr size_t kLongTargetLengthOffset = 3;
inline constexpr size_t kLongHeadSize = 5; // before the source's bytes
static_assert(kLongHeadSize == kLongTargetLengthOffset + 2);
// The longest field: Windows' longest path.
inline constexpr size_t kMaxLongField = 32767;

// True when the record's fields fit the 65-byte record.
bool FitsRecord(const Record &record);

// Appends the record (kLongMagic first when out is empty); false, with out
// unchanged, for a field longer than kMaxLongField.
bool EncodeLongRecord(const Record &record, std::string &out);

// True when bytes begin with kLongMagic.
bool IsLongScript(std::string_view bytes);

// The record at offset at of an entry (at >= kLongMagicSize), viewing
// bytes, and the offset of the next; nullopt when the entry ends inside it
// or a length is above kMaxLongField.
struct LongRecordAt {
  Record record;
  size_t next = 0;
};
std::optional<LongRecordAt> DecodeLongRecord(std::string_view bytes, size_t at);

// The two forms of a script entry: 65-byte records ("script") and the long
// form (kLongScriptName: kLongMagic, then long records). The form goes by
// the entry's name, never by its bytes: a "script" that begins with
// kLongMagic is 65-byte records all the same, as the run reads it.
enum class Form { Records, Long };
// The form of a file that is no entry of a package (`script show FILE`):
// taken from its first bytes.
inline Form FormOfBytes(std::string_view bytes) {
  return IsLongScript(bytes) ? Form::Long : Form::Records;
}

// Calls visit(record) for every record of a script entry of the form, in
// order, and says how the entry ends.
struct ScriptWalk {
  size_t records = 0;
  size_t tail = 0;  // 65-byte form: bytes after the last whole record
  bool cut = false; // long form: it ends inside a record, or lacks kLongMagic
};
template <typename Visit>
ScriptWalk ForEachRecord(std::string_view bytes, Form form, Visit visit) {
  ScriptWalk walk;
  if (form == Form::Long) {
    walk.cut = !IsLongScript(bytes);
    for (size_t at = kLongMagicSize; !walk.cut && at < bytes.size();
         ++walk.records) {
      const std::optional<LongRecordAt> found = DecodeLongRecord(bytes, at);
      if (!found) {
        walk.cut = true;
        break;
      }
      visit(found->record);
      at = found->next;
    }
    return walk;
  }
  for (size_t at = 0; at + kRecordSize <= bytes.size(); at += kRecordSize) {
    visit(DecodeRecord(bytes.substr(at, kRecordSize)));
    ++walk.records;
  }
  walk.tail = bytes.size() % kRecordSize;
  return walk;
}

} // namespace package::script
