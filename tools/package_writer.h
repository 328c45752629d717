// Joining a program image and a PACK1 archive into a package: the stub,
// the archive, then a 4-byte little-endian trailer holding the 1-based
// position of the archive's first byte.
#pragma once

#include <string>
#include <vector>

#include "codec/lzma_encoder.h"
#include "tools/cli.h"
#include "tools/icon_file.h"
#include "tools/image_texts.h"

namespace tools {

// Where a package goes, the program image it starts with and what build
// puts into that image.
struct PackageOutput {
  std::string stubPath;
  std::string path;
  ImageTexts texts;
  std::vector<IconImage> icon; // in place of the stub's; empty: the stub's
  // The archive compressed at level (package/stream_layout.h), or stored as
  // any reader of the base format carves it.
  bool compress = false;
  int level = codec::kDefaultLevel;
  // A script the archive brings that the build did not compile (an
  // archive's, a payload folder's) is checked as `verify` checks it: a
  // record verify faults refuses the build (Refuse) or, for a package made
  // to fail (--unchecked), is warned of (Warn). Compiled: the build
  // compiled the script and refused such records at their lines already.
  enum class ReadyScript { Refuse, Warn, Compiled };
  ReadyScript readyScript = ReadyScript::Refuse;
  // The folder the archive was packed from (build --payload): the errors
  // of a ready script name its file there; empty: they name the archive.
  std::string packedFrom;
};

// build's and diff --build's --store and --level N: compressed unless
// --store. Raises UsageError for a level that is not 0 to 9, or with
// --store.
void TakeCompressionOptions(const Args &args, PackageOutput &output);
// The options TakeCompressionOptions reads, for ParseArgs.
inline constexpr OptionSpec kStoreOption{"--store", false};
inline constexpr OptionSpec kLevelOption{"--level", true};

// Raises, before anything is packed, what WritePackage would raise for the
// program image: a stub that is no PE image or cannot take the icon, texts
// that build refuses.
void CheckImage(const PackageOutput &output);

// Raises ToolError when output names the file input (what it is), which
// writing the output would replace.
void RefuseOverwriting(const std::string &output, const std::string &input,
                       const std::string &what);

// Writes the package at output.path under a temporary name, renamed into
// place when complete. Raises ToolError when the stub is not a PE image or
// cannot take the texts, the archive does not begin with PACK1 or does not
// parse, the output would overwrite an input, or the package would reach
// 2 GiB; prints the faults of a ready script's records (see
// PackageOutput::readyScript) and raises ReportedFailure.
void WritePackage(const std::string &archivePath, const PackageOutput &output);

} // namespace tools
