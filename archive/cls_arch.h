// The archive object: one PACK1 archive file, its extraction into a folder
// and the packing of a folder, with the values a user interface polls while
// these run (phase, entry name, progress counters) and the cancel flag.
#pragma once

#include <cstdint>
#include <string>

#include "platform/boolean.h"

namespace archive {

// Phase codes of ActionMode.
namespace mode {
constexpr int16_t kIdle = 0;
constexpr int16_t kExtractCopy = 1;   // copying an entry's bytes out
constexpr int16_t kPackWrite = 2;     // writing the archive
constexpr int16_t kPackScan = 3;      // scanning the source folder
constexpr int16_t kExtractHook = 4;   // compression hook and reopening
constexpr int16_t kExtractHeader = 5; // reading the header and catalog
} // namespace mode

class cls_arch {
public:
  cls_arch() { Class_Initialize(); }

  // Properties: plain getters and setters, no checks, no side effects.
  void FileName(const std::string &theFileName) { FileName_ = theFileName; }
  const std::string &FileName() const { return FileName_; }
  void Abort(platform::Boolean theAbortVal) { Abort_ = theAbortVal; }
  platform::Boolean Abort() const { return Abort_; }
  int32_t DefSeek() const { return Seek_[0]; }
  int32_t FullSeek() const { return Seek_[1]; }
  const std::string &DefFile() const { return DefFile_; }
  int16_t ActionMode() const { return ActionMode_; }
  uint8_t Compression() const { return Compression_; }
  void Compression(uint8_t theCmp) { Compression_ = theCmp; }
  // True: Extract fails, as on a range past the end, once the entries
  // together hold more bytes than the data region, as no archive that Pack
  // writes does. Without it ranges may overlap freely, and a catalog of a
  // few kilobytes may write the same bytes out terabytes of times.
  void DataBound(platform::Boolean theBound) { DataBound_ = theBound; }
  // The bytes of the entries the last Extract wrote, so far.
  int64_t Extracted() const { return Extracted_; }

  // Writes every entry of the loaded archive into TargetFolder. Shows any
  // failure in an error message box and returns false; raises nothing.
  platform::Boolean Extract(const std::string &TargetFolder);
  // Packs the ordinary files of scr_fold into the archive at FileName.
  // Returns true; every failure, a cancel included, is raised.
  platform::Boolean Pack(const std::string &scr_fold);
  // Opens FileName for reading under a new number; false on any failure.
  platform::Boolean Load();
  // Closes the archive that Load opened under FileNum; false when closing
  // fails. A file that someone else opened under that number since is not
  // the archive and stays open.
  platform::Boolean UnLoad();

  // A sentence that Extract's error box adds on a line of its own when the
  // file is not an archive (-1234007): the update run says there that the
  // package it came from is damaged.
  void NotArchiveNote(const std::string &theNote) { NotArchiveNote_ = theNote; }

  // The number the archive is open under (tests and the tool look at it).
  int16_t FileNum() const { return FileNum_; }

private:
  void Class_Initialize();
  // Per-file compression hook: no method transforms anything yet.
  platform::Boolean ApplyCompression(const std::string &path, uint8_t method,
                                     platform::Boolean packing);
  // The byte loops of Extract and Pack: one byte at a time as far as the
  // user interface can tell (progress, yield and cancel test per byte).
  void CopyEntryBytes(int16_t outNum, int32_t first, int32_t last);
  void CopySourceBytes(int16_t sourceNum, int16_t archiveNum, int32_t length,
                       int32_t &written);
  // Extract's error path: closes the entry's output file, shows text in an
  // error box, returns to idle; the result is false.
  platform::Boolean FailExtract(int16_t openOutput, int32_t number,
                                const std::string &text);
  // Raises unless the archive that Load opened is open under FileNum: the
  // failure of the last Load when it failed, so that no read goes through a
  // number that another file has taken since.
  void CheckLoaded() const;

  int16_t FileNum_ = 0;
  std::string FileName_;
  std::string DefFile_;
  int16_t ActionMode_ = mode::kIdle;
  uint8_t Compression_ = 0;
  int32_t Seek_[2] = {0, 0}; // DefSeek, FullSeek
  platform::Boolean Abort_ = platform::kFalse;
  platform::Boolean DataBound_ = platform::kFalse;
  int64_t Extracted_ = 0;
  std::string NotArchiveNote_;

  // What the last Load did: the serial of the file it opened (0: none), or
  // the failure that stopped it.
  uint64_t loaded_ = 0;
  int32_t loadErrorNumber_ = 0;
  std::string loadErrorText_;
};

} // namespace archive
