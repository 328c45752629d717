// The raw archive of a compressed package decoded into a file as far as a
// reader needs it: a look at the catalog or at the first entries need not
// decode the whole stream.
#pragma once

#include <cstdint>
#include <string>

#include "package/stream_decoder.h"
#include "tools/file_io.h"

namespace tools {

struct ArchiveSpan;

class ArchiveDecoding {
public:
  // Decodes the Compressed span of the file at packagePath, or of the file
  // open as package (through a handle of its own), into out, from its
  // offset 0; span and out must outlive the decoding.
  ArchiveDecoding(const std::string &packagePath, const ArchiveSpan &span,
                  OsFile &out);
  ArchiveDecoding(const OsFile &package, const ArchiveSpan &span, OsFile &out);
  ArchiveDecoding(const ArchiveDecoding &) = delete;
  ArchiveDecoding &operator=(const ArchiveDecoding &) = delete;

  // Until out holds the raw bytes [0, count), or all of them.
  void Through(int64_t count);
  // Until out holds the catalog's closing 0x01, or all raw bytes.
  void ThroughCatalog();
  // The rest; checks the length and the CRC-32. Raises ToolError naming the
  // package and what is wrong, as every call does for a stream that does
  // not decode; never writes more than the declared length.
  void Finish();

private:
  static void Take(void *context, const uint8_t *bytes, size_t count);
  // Decodes until done() holds; Finish when the stream is used up first.
  template <typename Done> void Until(Done done);
  [[noreturn]] void Fail(package::StreamFault fault) const;

  OsFile package_;
  const OsFileSource source_;
  OsFile &out_;
  package::StreamDecoder decoder_;
  int64_t written_ = 0;
  int64_t catalogEnd_ = -1; // offset of the closing 0x01, once written
  bool finished_ = false;
};

} // namespace tools
