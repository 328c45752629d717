// The PACK1 layout and its catalog: the header markers, the entry text
// name?start?end and its fields, the clean-up and safety check of entry
// names, and a reader of the header and catalog of an open archive.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/messages.h"

namespace archive {

// Archive layout. Positions are 1-based, counted from the archive's first
// byte:
//   1..5   signature "PACK1"
//   6      compression method byte
//   7      catalog start marker 0x01
//   8..    entry texts, each followed by 0x02
//   then   catalog end marker 0x01, then the data region.
inline constexpr char kSignature[] = "PACK1";
inline constexpr int32_t kSignatureSize = 5;
inline constexpr uint8_t kCatalogMark = 0x01; // opens and closes the catalog
inline constexpr uint8_t kEntryEnd = 0x02;    // ends each entry text
inline constexpr char kFieldSeparator = '?';  // between name, start and end
// Bytes from the archive's first byte to the first catalog byte.
inline constexpr int32_t kHeaderSize = kSignatureSize + 2;

// Longest entry name (UTF-8 bytes, as stored) that a reader keeps; no file
// system takes a longer one.
inline constexpr size_t kMaxNameBytes = 4096;

// One entry: its name as stored and its range in the data region, 1-based,
// start inclusive and end exclusive (end - start is the file's length).
struct CatalogEntry {
  std::string name;
  int32_t start = 0;
  int32_t end = 0;
};

// Splits an entry text at "?" as its characters arrive, keeping only the
// name and the two numbers, so that a hostile catalog cannot make it grow.
// Fields after the third are ignored. The accessors raise the errors of
// the extraction for the field they are asked for.
class EntryParser {
public:
  void Reset();
  // One byte of UTF-8 text.
  void Add(char c);
  // One code-page byte of a stored entry text.
  void AddAnsi(uint8_t byte);
  void AddText(std::string_view text) {
    for (char c : text)
      Add(c);
  }

  // Fields seen so far; an empty text has none.
  int32_t FieldCount() const { return empty_ ? 0 : fields_; }
  // The first field; kSubscript for an empty text, kErrBadEntryName when it
  // is longer than kMaxNameBytes.
  const std::string &Name() const;
  // The second and third fields as 32-bit numbers: kSubscript when the
  // field is missing, kTypeMismatch when it is not an optional sign
  // followed by decimal digits, kOverflow outside the 32-bit range.
  int32_t Start() const { return start_.Value(fields_, 2); }
  int32_t End() const { return end_.Value(fields_, 3); }

private:
  struct Number {
    bool sign = false; // a leading + or - was seen
    bool negative = false;
    bool invalid = false; // a character other than a leading sign or digit
    bool digits = false;  // at least one digit
    int64_t value = 0;    // magnitude, capped just past the 32-bit range
    void Reset() { *this = Number(); }
    void Add(char c);
    int32_t Value(int32_t fieldCount, int32_t field) const;
  };

  bool empty_ = true;
  int32_t fields_ = 1;
  bool nameTooLong_ = false;
  std::string name_;
  Number start_;
  Number end_;
};

// Parses a whole entry text (UTF-8), raising as EntryParser does; the end
// is converted before the start, as the extraction computes them.
CatalogEntry ParseEntry(std::string_view text);

// Reads a number field: an optional sign, then decimal digits.
// kTypeMismatch or kOverflow as for EntryParser.
int32_t ParseNumber(std::string_view field);

// The name without any of < > * ? : / \ | and the double quotation mark.
std::string RemoveReservedChars(std::string_view name);
// True when the name holds one of them: RemoveReservedChars would change it.
bool HasReservedChars(std::string_view name);

// The name as the file system stores it: Windows drops the dots and spaces
// that end a name ("readme." is readme), and so does the posix backend.
std::string_view WithoutTrailingDotsAndSpaces(std::string_view name);

// How much of path its last name leaves when read so ("a\\x.txt. " is
// a\\x.txt): all of it for a name of dots and blanks alone ("a\\.." is
// above a), which is no name to read. A pattern is matched as written, and
// is the caller's to keep whole.
size_t LengthAsRead(std::string_view path);

// True for a name that may be created inside the target folder: not empty
// and not "." or ".." once its trailing dots and spaces are dropped, no
// control character, not a device name (platform::fs::IsDeviceName).
// Expects a name already cleaned by RemoveReservedChars.
bool IsSafeEntryName(std::string_view name);
// Raises kErrBadEntryName naming the name unless IsSafeEntryName.
void CheckEntryName(std::string_view name);
// Raises kErrNameNotStorable naming a file's name that a writer must not
// pack: "?" separates the fields and 0x01 and 0x02 mark the catalog, so a
// name holding them cannot be read back; nor is a name packed that the
// extraction would refuse (control characters, device names, a trailing
// dot or space), so that every archive written unpacks.
void CheckStorableName(const std::string &name);

// The text of an error whose number the archive object raises itself, with
// a detail: "<message>: <detail>".
[[noreturn]] void RaiseArchiveError(int32_t number, platform::Msg message,
                                    std::string_view detail = {});
// The same with an entry's name in guillemets as the detail: "<message>:
// «<name>»".
[[noreturn]] void RaiseAboutEntry(int32_t number, platform::Msg message,
                                  std::string_view name);

// Header and catalog of an archive open under a file number.
struct CatalogInfo {
  int32_t first = 1;        // position of the signature's first byte
  uint8_t compression = 0;  // the method byte
  int32_t catalogStart = 0; // position of the first catalog byte
  int32_t catalogEnd = 0;   // position of the closing 0x01
  int32_t dataStart = 0;    // position of the first data byte
  int32_t length = 0;       // position of the archive's last byte
};

// Told of the reader's progress; the extraction keeps its phase, counters
// and yields up to date through it.
class CatalogObserver {
public:
  // The method byte, as soon as it is read: before the catalog start marker
  // is checked.
  virtual void Method(uint8_t method) = 0;
  // After each catalog byte that follows the first one (position: the byte
  // just read), up to and including the closing 0x01.
  virtual void CatalogByte(int32_t position) = 0;

protected:
  // Never deleted through this interface: no destructor in its table.
  ~CatalogObserver() = default;
  CatalogObserver() = default;
  CatalogObserver(const CatalogObserver &) = default;
  CatalogObserver &operator=(const CatalogObserver &) = default;
};

// Reads the header and finds the end of the catalog of the archive open
// under number: from first (its signature) to length (its last byte), or
// from the current read position to the end of the file. Raises
// kErrNotArchive, kErrNoCatalog, kErrCatalogUnterminated, or the file
// table's errors. The one reader of headers and catalogs: `list`, `verify`
// and the extraction all go through it.
CatalogInfo ReadCatalogInfo(int16_t number, int32_t first, int32_t length,
                            CatalogObserver *observer = nullptr);
CatalogInfo ReadCatalogInfo(int16_t number,
                            CatalogObserver *observer = nullptr);

// Walks the entry texts of a catalog found by ReadCatalogInfo, one at a
// time, reading them from the open archive. Text after the last 0x02 is not
// an entry. number is held, not copied: the extraction reopens the archive
// after every entry, perhaps under another number, and the next entry text
// is read from it there.
class CatalogReader {
public:
  CatalogReader(const int16_t &number, const CatalogInfo &info)
      : number_(number), cursor_(info.catalogStart), end_(info.catalogEnd) {}
  CatalogReader(int16_t &&, const CatalogInfo &) = delete;
  // Fills parser with the next entry text; false after the last entry.
  bool Next(EntryParser &parser);
  // Position of the next catalog byte to be read.
  int32_t Cursor() const { return cursor_; }

private:
  const int16_t &number_;
  int32_t cursor_;
  int32_t end_;
};

// Archive positions of an entry's first and last byte, in 32-bit
// arithmetic: first = start + dataStart - 1, last = end + dataStart - 2.
// kOverflow when a result leaves the 32-bit range.
int32_t FirstPosition(int32_t start, int32_t dataStart);
int32_t LastPosition(int32_t end, int32_t dataStart);
// Raises kErrEntryPastEnd naming the entry when a non-empty range
// (first <= last) begins before the archive's first byte (lowest) or ends
// past its last (highest). A range may start anywhere inside: in the header
// or the catalog its bytes are read like any others.
void CheckRangeInside(std::string_view name, int32_t first, int32_t last,
                      int32_t lowest, int32_t highest);

// Adds a non-empty range's bytes to held; with a bound (0 or more), raises
// kErrEntryPastEnd naming the entry once held exceeds it: the entries of an
// archive that Pack writes share no byte, so together they hold no more
// than its data region.
void CountEntryBytes(std::string_view name, int32_t first, int32_t last,
                     int64_t &held, int64_t bound);

// The three checks above for a parsed entry.
struct EntryRange {
  int32_t first; // archive position of the first byte
  int32_t last;  // of the last byte; below first for an empty entry
};
EntryRange CheckEntryRange(const CatalogEntry &entry, int32_t dataStart,
                           int32_t lowest, int32_t highest);
// The same for the entry text in parser; the end is converted before the
// start, as the extraction computes them.
EntryRange CheckEntryRange(const EntryParser &parser, std::string_view name,
                           int32_t dataStart, int32_t lowest, int32_t highest);

// The name of the entry text in parser as it is written into the target
// folder: the nine characters removed, then checked (CheckEntryName).
std::string CheckedEntryName(const EntryParser &parser);

} // namespace archive
