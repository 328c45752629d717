// Decoding a compressed package's archive as far as asked.
#include "tools/archive_decoding.h"

#include <algorithm>
#include <cstring>

#include "archive/catalog.h"
#include "platform/error.h"
#include "tools/cli.h"
#include "tools/package_file.h"
#include "tools/staging.h"
#include "tools/tool_os.h"

namespace tools {

namespace {

// Package bytes read between two looks at what has been written.
constexpr int64_t kStep = int64_t{64} * 1024;

} // namespace

ArchiveDecoding::ArchiveDecoding(const std::string &packagePath,
                                 const ArchiveSpan &span, OsFile &out)
    : ArchiveDecoding(OsFile(packagePath, platform::OpenMode::ReadOnly), span,
                      out) {}

ArchiveDecoding::ArchiveDecoding(const OsFile &package, const ArchiveSpan &span,
                                 OsFile &out)
    : package_(package.path(), os::Duplicate(package)), source_(package_),
      out_(out), decoder_(source_, span.first - 1, span.layout, Take, this) {
  if (span.layout.streamLength + span.layout.StoredLength() >
      span.last - span.first + 1)
    Fail(package::StreamFault::OutsidePackage);
}

void ArchiveDecoding::Take(void *context, const uint8_t *bytes, size_t count) {
  auto &self = *static_cast<ArchiveDecoding *>(context);
  try {
    self.out_.WriteAt(self.written_, bytes, count);
  } catch (const platform::Error &e) {
    throw ScratchError(e.Description() + " (" + std::to_string(e.Number()) +
                       ")");
  }
  // The catalog starts after the signature, the method byte and the 0x01
  // that opens it, and ends at the next 0x01.
  const int64_t from = std::max<int64_t>(archive::kHeaderSize, self.written_);
  if (self.catalogEnd_ < 0 &&
      from < self.written_ + static_cast<int64_t>(count)) {
    const uint8_t *start = bytes + (from - self.written_);
    const auto *mark = static_cast<const uint8_t *>(
        std::memchr(start, archive::kCatalogMark,
                    static_cast<size_t>(bytes + count - start)));
    if (mark != nullptr)
      self.catalogEnd_ = from + (mark - start);
  }
  self.written_ += static_cast<int64_t>(count);
}

template <typename Done> void ArchiveDecoding::Until(Done done) {
  while (!finished_ && !done()) {
    const int64_t read = decoder_.Advance(kStep);
    if (read < 0)
      Fail(decoder_.Fault());
    if (read == 0)
      Finish();
  }
}

void ArchiveDecoding::Through(int64_t count) {
  Until([&] { return written_ >= count; });
}

void ArchiveDecoding::ThroughCatalog() {
  Until([&] { return catalogEnd_ >= 0; });
}

void ArchiveDecoding::Finish() {
  if (finished_)
    return;
  finished_ = true;
  int64_t read = 0;
  while ((read = decoder_.Advance(kStep)) > 0) {
  }
  if (read < 0)
    Fail(decoder_.Fault());
  if (const package::StreamFault fault = decoder_.Finish();
      fault != package::StreamFault::None)
    Fail(fault);
}

void ArchiveDecoding::Fail(package::StreamFault fault) const {
  const char *what = "out of memory for the compressed archive";
  switch (fault) {
  case package::StreamFault::OutsidePackage:
    what = "the compressed archive reaches past the package's end";
    break;
  case package::StreamFault::Corrupt:
    what = "the compressed archive does not decode";
    break;
  case package::StreamFault::Truncated:
    what = "the compressed archive ends before its declared length";
    break;
  case package::StreamFault::Crc:
    what = "the compressed archive differs from its CRC-32";
    break;
  case package::StreamFault::None:
  case package::StreamFault::NoMemory:
    break;
  }
  throw ToolError(package_.path() + ": " + what);
}

} // namespace tools
