// Finding the archive in a file that is a PACK1 archive or a package (a
// program image, the archive and a 4-byte trailer holding the 1-based
// position of the archive's first byte), and reading its catalog and
// entries in place. Every command that takes "an archive or a package"
// goes through here.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "archive/catalog.h"
#include "package/long_records.h"
#include "package/script_record.h"
#include "package/stream_layout.h"

namespace tools {

enum class FileKind {
  Archive,    // the file begins with "PACK1"
  Package,    // its trailer leads to "PACK1"
  Compressed, // its manifest declares a compressed archive (package/
              // stream_layout.h), which its trailer leads to
  Other,      // none of these
};

// Where the archive lies, 1-based and inclusive. For Other: the whole file.
struct ArchiveSpan {
  FileKind kind = FileKind::Other;
  int64_t first = 1;
  int64_t last = 0;
  int64_t fileLength = 0;
  package::StreamLayout layout; // Compressed: as the manifest declares it
  // An intact manifest declares the archive in a way no build writes, which
  // the run refuses (the kind is Other then).
  bool refusedLayout = false;
  // An intact manifest declares a long script, which the run then carries
  // out; without it an entry of that name is a file like any other.
  bool longScript = false;
};

// What is wrong with a span's refusedLayout, after the file's name.
inline constexpr const char *kRefusedLayout =
    "the manifest declares the archive in a way no build writes (codec, "
    "stream, raw, rawcrc, x86, stored): the run refuses it";

// What is wrong with a file of kind Other, after the file's name; signed
// when the trailer read is the one before a certificate table.
std::string NoArchiveFault(bool signedFile);

class OsFile;
class ScratchFolder;

// Position of the last byte of a package's content, the trailer's last
// byte. The one place that knows where a package ends.
int64_t PackageEnd(const OsFile &file);

// Looks at the file's first five bytes and at its trailer. For a package,
// puts the code page its manifest declares into effect (the system's when
// it declares none), so that its names and script are read as its run
// reads them.
ArchiveSpan LocateArchive(const std::string &path);
ArchiveSpan LocateArchive(const OsFile &file);
// The same for a command that reads the archive: raises ToolError naming
// path for a refusedLayout, which no reading could tell from a file that
// holds no archive, and for a file that holds none (kind Other).
ArchiveSpan LocateReadableArchive(const std::string &path);

// The raw archive of a Compressed span of package, written into out from
// its offset 0. Raises ToolError naming the package and what is wrong when
// it does not decode to the declared length and CRC-32; never writes more
// than that length.
void DecodeArchive(const std::string &package, const ArchiveSpan &span,
                   OsFile &out);

// One catalog entry with the extraction's checks done: its name as the
// extraction writes it and its archive positions (relative to the archive's
// first byte, as in a bare archive).
struct ListedEntry {
  std::string name;
  int32_t start = 0; // data-region positions, end exclusive
  int32_t end = 0;
  int64_t size = 0;
};

// An archive or package opened under a number of the file table for reading
// its catalog in place. Closes the number when it goes.
class ArchiveReader {
public:
  // Raises the file layer's errors, and the reader's errors for a file that
  // holds no archive (kind Other is read from position 1, so "not an
  // archive" is the extraction's own error). A compressed package's archive
  // is decoded into a scratch file and read there: at once and checked
  // against its CRC-32 (Whole), or as far as the catalog and the entries
  // read need (AsRead; checked only when that reaches the end).
  enum class Extent : uint8_t { Whole, AsRead };
  // The file at path is opened once; a file open already (file need not
  // outlive the reader) is read through handles of the reader's own,
  // whatever is put at its name meanwhile.
  explicit ArchiveReader(const std::string &path,
                         Extent extent = Extent::Whole);
  explicit ArchiveReader(const OsFile &file, Extent extent = Extent::Whole);
  ~ArchiveReader();
  ArchiveReader(const ArchiveReader &) = delete;
  ArchiveReader &operator=(const ArchiveReader &) = delete;

  const ArchiveSpan &span() const { return span_; }
  uint8_t Compression() const { return info_.compression; }
  // Data start, relative to the archive's first byte.
  int32_t DataStart() const { return info_.dataStart - info_.first + 1; }
  // Bytes from the data start to the archive's end: what the entries of an
  // archive that `pack` writes hold together.
  int64_t DataBytes() const {
    return int64_t{info_.length} - info_.dataStart + 1;
  }

  // The next entry; false after the last. Raises as the extraction does for
  // an entry it cannot take (a bad field, an unsafe name, a range outside
  // the archive).
  bool Next(ListedEntry &entry);
  // The bytes of an entry returned by Next.
  std::string Read(const ListedEntry &entry);
  // The same, handed over a piece at a time (memory stays flat).
  void ReadPieces(const ListedEntry &entry,
                  const std::function<void(const uint8_t *, size_t)> &piece);

  // Positions in the file (1-based): the header and catalog as read, and
  // the position just past the last entry's 0x02 (the catalog's first
  // byte when there is none), as far as Next has read.
  const archive::CatalogInfo &Info() const { return info_; }
  int32_t EntriesEnd() const { return entriesEnd_; }
  // An entry's first and last archive position in the file.
  archive::EntryRange Range(const ListedEntry &entry) const;

private:
  // The file's number in the table, closed when the reader goes (also when
  // a later member's constructor fails): path opened, or a handle of file
  // when one is given.
  struct Number {
    Number(const std::string &path, const OsFile *file);
    ~Number();
    int16_t value;
  };

  // The scratch file and its decoding (tools/archive_decoding.h).
  struct Decoding;
  static std::unique_ptr<Decoding> StartDecoding(const OsFile &file,
                                                 const ArchiveSpan &span,
                                                 const ScratchFolder *scratch,
                                                 Extent extent);

  ArchiveSpan span_;
  std::unique_ptr<ScratchFolder> scratch_; // holds a decoded archive
  std::unique_ptr<Decoding> decoding_;     // AsRead, until it is all decoded
  std::string readPath_;                   // the file read: it or the input
  Number number_;
  archive::CatalogInfo info_;
  archive::CatalogReader reader_;
  archive::EntryParser parser_;
  int32_t entriesEnd_;
};

// The bytes of the script entries of an archive or package: of each name
// ("script" and the long script entry) the last entry the extraction would
// write under it (names compare without regard to case there); nullopt
// when it holds none. The long script only where a manifest declares
// one, as the run reads it. One reading, which decodes a compressed archive
// only as far as those entries. Raises as ArchiveReader does.
struct ScriptEntries {
  std::optional<std::string> records;
  std::optional<std::string> longRecords;

  // Each entry with the form of its records, in the order the run carries
  // them out: "script" (65-byte records), then the long script.
  using WithForm =
      std::pair<const std::optional<std::string> *, package::script::Form>;
  std::array<WithForm, 2> InRunOrder() const {
    return {{{&records, package::script::Form::Records},
             {&longRecords, package::script::Form::Long}}};
  }
};
ScriptEntries ScriptEntriesOf(const std::string &path);

// Every entry parses and lies inside the archive, and the entries together
// hold no more than its data region (a run of a package of ours refuses
// ranges that overlap, cls_arch::DataBound): what `build` asks of an
// archive. Raises the reader's error, or ToolError for the overlap.
void CheckArchive(const std::string &path);
void CheckArchive(const OsFile &file);

} // namespace tools
