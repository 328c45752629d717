// Extraction: every entry of the loaded archive written as a file of its own
// into one folder, with the phase, entry name and progress kept up to date
// and a yield after every catalog byte and every data byte.
#include <algorithm>
#include <exception>
#include <new>
#include <string>

#include "archive/arch_errors.h"
#include "archive/catalog.h"
#include "archive/cls_arch.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/fs.h"
#include "platform/ui.h"

namespace archive {

namespace files = platform::files;

namespace {

// Bytes moved at once between two yields that reach the user interface.
constexpr int64_t kCopyRun = int64_t{64} * 1024;

// The error path's tail: the message box that every failure ends in.
platform::Boolean ShowFailure(const std::string &text) {
  platform::Ui().ShowMessage(text, platform::MsgIcon::Error,
                             platform::MsgButtons::Ok);
  return platform::kFalse;
}

} // namespace

void cls_arch::CopyEntryBytes(int16_t outNum, int32_t first, int32_t last) {
  int64_t p = first;
  int64_t out = 1;  // output positions run 1, 2, 3 ...
  bool runs = true; // false once a run failed: the rest goes byte by byte
  uint8_t chunk[kCopyRun];
  while (p <= last) {
    // Yields that cannot reach the user interface: nobody can look at the
    // progress or the files meanwhile, so those bytes move in one run.
    const int32_t quiet = platform::QuietYields();
    if (runs && quiet > 0) {
      const int64_t n =
          std::min({int64_t{quiet}, int64_t{last} - p + 1, kCopyRun});
      try {
        files::At(FileNum_).GetRun(p, chunk, n);
      } catch (const platform::Error &) {
        runs = false; // byte by byte, it writes what it can, then fails
        continue;
      }
      platform::BufferedFile &target = files::At(outNum);
      try {
        target.PutRun(out, chunk, n);
      } catch (const platform::Error &) {
        const int64_t moved = target.Position() - out;
        if (moved > 0)
          Seek_[0] = static_cast<int32_t>(p + moved - 1);
        throw;
      }
      p += n;
      out += n;
      Seek_[0] = static_cast<int32_t>(p - 1);
      platform::SkipQuietYields(static_cast<int32_t>(n));
      continue;
    }
    files::PutAt(outNum, static_cast<int32_t>(out),
                 files::GetAt(FileNum_, static_cast<int32_t>(p)));
    Seek_[0] = static_cast<int32_t>(p);
    platform::Yield();
    ++p;
    ++out;
  }
}

platform::Boolean cls_arch::Extract(const std::string &TargetFolder) {
  int16_t openOutput = 0; // the entry's output file while it is open
  try {
    platform::Yield();
    ActionMode_ = mode::kExtractHeader;

    // Header, read from the current position; a file that ends early is
    // no archive, or has no catalog.
    const int32_t length = files::Lof(FileNum_);
    int32_t position = files::Seek(FileNum_);
    const auto more = [&] { return position <= length; };
    for (int32_t i = 0; i < kSignatureSize; ++i)
      if (!more() || files::GetAt(FileNum_, position++) !=
                         static_cast<uint8_t>(kSignature[i]))
        RaiseArchiveError(kErrNotArchive, kMsgNotArchive);
    if (!more())
      RaiseArchiveError(kErrNoCatalog, kMsgNoCatalog);
    const uint8_t method = files::GetAt(FileNum_, position++);
    Compression_ = method;
    if (!more() || files::GetAt(FileNum_, position++) != kCatalogMark)
      RaiseArchiveError(kErrNoCatalog, kMsgNoCatalog);

    // Catalog: up to the first 0x01, which must come before the file ends.
    // The entry texts are read again one at a time when their turn comes,
    // so a huge catalog takes no memory.
    const int32_t catalogStart = position;
    if (!more())
      RaiseArchiveError(kErrCatalogUnterminated, kMsgCatalogUnterminated);
    uint8_t byte = files::GetAt(FileNum_, position++);
    while (byte != kCatalogMark) {
      if (!more())
        RaiseArchiveError(kErrCatalogUnterminated, kMsgCatalogUnterminated);
      byte = files::GetAt(FileNum_, position++);
      Seek_[0] = position - 1;
      platform::Yield();
    }
    const int32_t catalogEnd = position - 1;
    const int32_t dataStart = position;

    // Reads the next entry text while the archive is open; false after the
    // last 0x02 (text after it is no entry).
    int32_t cursor = catalogStart;
    EntryParser parser;
    const auto nextEntry = [&] {
      parser.Reset();
      while (cursor < catalogEnd) {
        const uint8_t b = files::GetAt(FileNum_, cursor++);
        if (b == kEntryEnd)
          return true;
        parser.AddAnsi(b);
      }
      return false;
    };

    for (bool more_entries = nextEntry(); more_entries;) {
      platform::Yield();
      const int16_t outNum = files::FreeFile();
      const std::string name = RemoveReservedChars(parser.Name());
      // Every entry lands inside the target folder and on no device.
      CheckEntryName(name);
      const std::string path = TargetFolder + "\\" + name;
      if (platform::fs::SameFile(path, FileName_))
        RaiseArchiveError(kErrBadEntryName, kMsgEntryIsArchive,
                          "\xC2\xAB" + name + "\xC2\xBB");
      ActionMode_ = mode::kExtractCopy;
      files::Open(outNum, path, platform::OpenMode::Output);
      openOutput = outNum;
      DefFile_ = name;

      const int32_t last = LastPosition(parser.End(), dataStart);
      const int32_t first = FirstPosition(parser.Start(), dataStart);
      if (first <= last)
        CheckRangeInside(name, first, last, dataStart, files::Lof(FileNum_));
      CopyEntryBytes(outNum, first, last);
      more_entries = nextEntry();

      openOutput = 0;
      files::Close(outNum);
      UnLoad();
      files::CloseAll();
      ActionMode_ = mode::kExtractHook;
      ApplyCompression(path, method, platform::kFalse);
      Load();

      if (Abort_) {
        Abort_ = platform::kFalse;
        throw platform::Error(kErrCancelled, kMsgExtractCancelled);
      }
    }

    ActionMode_ = mode::kIdle;
    DefFile_.clear();
    return platform::kTrue;
  } catch (const platform::Error &e) {
    return FailExtract(openOutput, e.Description());
  } catch (const std::bad_alloc &) {
    return FailExtract(openOutput,
                       platform::StandardText(platform::err::kOutOfMemory));
  } catch (const std::exception &e) {
    return FailExtract(openOutput, e.what());
  }
  // Anything else (the end of the program, thrown from inside a yield)
  // passes through.
}

platform::Boolean cls_arch::FailExtract(int16_t openOutput,
                                        const std::string &text) {
  if (openOutput) {
    try {
      files::Close(openOutput);
    } catch (const platform::Error &) {
      // The failure being reported matters more.
    }
  }
  const platform::Boolean result = ShowFailure(text);
  ActionMode_ = mode::kIdle;
  DefFile_.clear();
  return result;
}

} // namespace archive
