// Extraction: every entry of the loaded archive written as a file of its own
// into one folder, with the phase, entry name and progress kept up to date
// and a yield after every catalog byte and every data byte.
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

// The error path's tail: the message box that every failure ends in.
platform::Boolean ShowFailure(const std::string &text) {
  platform::Ui().ShowMessage(text, platform::MsgIcon::Error,
                             platform::MsgButtons::Ok);
  return platform::kFalse;
}

} // namespace

platform::Boolean cls_arch::Extract(const std::string &TargetFolder) {
  // Keeps the object's counters up to date while the catalog is read, and
  // takes the method byte before the catalog marker is checked, so that an
  // archive without a catalog still reports its method.
  class Progress final : public CatalogObserver {
  public:
    explicit Progress(cls_arch &arch) : arch_(arch) {}
    void Method(uint8_t method) override { arch_.Compression_ = method; }
    void CatalogByte(int32_t position) override {
      arch_.Seek_[0] = position;
      platform::Yield();
    }

  private:
    cls_arch &arch_;
  };

  int16_t openOutput = 0; // the entry's output file while it is open
  // Every entry is a new name in one folder: its names are listed once.
  const platform::fs::KeepFolderNames keepNames;
  try {
    platform::Yield();
    ActionMode_ = mode::kExtractHeader;

    // Header and catalog, from the current read position. The entry texts
    // are read again one at a time when their turn comes, so a huge
    // catalog takes no memory.
    CheckLoaded();
    Progress progress(*this);
    const CatalogInfo info = ReadCatalogInfo(FileNum_, &progress);
    const uint8_t method = info.compression;
    CatalogReader catalog(FileNum_, info);
    EntryParser parser;
    // Held to the data region when DataBound asks for it.
    const int64_t bound =
        DataBound_ ? int64_t{info.length} - info.dataStart + 1 : -1;
    Extracted_ = 0;

    for (bool more = catalog.Next(parser); more;) {
      platform::Yield();
      const int16_t outNum = files::FreeFile();
      // Every entry lands inside the target folder and on no device.
      const std::string name = CheckedEntryName(parser);
      const std::string path = TargetFolder + "\\" + name;
      if (platform::fs::SameFile(path, FileName_))
        RaiseAboutEntry(kErrBadEntryName, kMsgEntryIsArchive, name);
      ActionMode_ = mode::kExtractCopy;
      // The unpacked files are the user's alone: nobody else may read or
      // change what is about to be installed.
      files::Open(outNum, path, platform::OpenMode::PrivateOutput);
      openOutput = outNum;
      DefFile_ = name;

      // A reopening that failed after the last entry is reported here,
      // before a byte is read through a number that is not the archive's.
      CheckLoaded();
      const EntryRange range = CheckEntryRange(
          parser, name, info.dataStart, info.first, files::Lof(FileNum_));
      CountEntryBytes(name, range.first, range.last, Extracted_, bound);
      CopyEntryBytes(outNum, range.first, range.last);
      more = catalog.Next(parser);

      openOutput = 0;
      files::Close(outNum);
      UnLoad();
      files::CloseAll();
      ActionMode_ = mode::kExtractHook;
      ApplyCompression(path, method, platform::kFalse);
      Load();

      if (Abort_) {
        Abort_ = platform::kFalse;
        RaiseArchiveError(kErrCancelled, kMsgExtractCancelled);
      }
    }

    ActionMode_ = mode::kIdle;
    DefFile_.clear();
    return platform::kTrue;
  } catch (const platform::Error &e) {
    return FailExtract(openOutput, e.Number(), e.Description());
  } catch (const std::bad_alloc &) {
    return FailExtract(openOutput, platform::err::kOutOfMemory,
                       platform::StandardText(platform::err::kOutOfMemory));
  } catch (const std::exception &e) {
    return FailExtract(openOutput, platform::err::kInvalidCall, e.what());
  }
  // Anything else (the end of the program, thrown from inside a yield)
  // passes through.
}

platform::Boolean cls_arch::FailExtract(int16_t openOutput, int32_t number,
                                        const std::string &text) {
  if (openOutput) {
    try {
      files::Close(openOutput);
    } catch (const platform::Error &) {
      // The failure being reported matters more.
    }
  }
  const platform::Boolean result =
      ShowFailure(number == kErrNotArchive && !NotArchiveNote_.empty()
                      ? text + "\r\n" + NotArchiveNote_
                      : text);
  ActionMode_ = mode::kIdle;
  DefFile_.clear();
  return result;
}

} // namespace archive
