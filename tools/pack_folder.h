// The tool's packer: PACK1 archives written from files it opens itself,
// never through a link, and from bytes in memory, after one listing of the
// source; bytes copied in the kernel; a progress line on the terminal and
// Ctrl-C as the cancel request.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/console_ui.h"
#include "tools/file_io.h"
#include "tools/tool_os.h"

namespace tools {

// One entry to pack.
struct PackItem {
  std::string name;     // the entry name
  std::string relative; // its file under the source folder ("/" between
                        // names); empty: the entry holds bytes
  std::string bytes;
  int64_t length = 0; // when listed
  // The file's time of last change, which a package records
  // (package/file_times.h); none for bytes.
  std::optional<os::FileTime> modified = std::nullopt;
  // The file when listed: the bytes packed are those of that very file,
  // unchanged since.
  os::FileStamp listed{};
};

// Raises Pack's cancel error when Ctrl-C was pressed since the last look:
// a writer looks once more before it puts its output into place.
void TakeCancel(ConsoleUi &ui);

// Sorts items by entry name into the order of the engine's listing.
void SortForPacking(std::vector<PackItem> &items);

// Writes items, in their order, into out as a PACK1 archive with the
// method byte compression: the bytes that the engine's Pack writes for a
// folder whose listing gives the same files in that order. Refuses what
// Pack refuses: a name the catalog cannot carry, one outside the code page,
// 2 GiB, a file that changed since it was listed (its length, or another
// stamp once read: rewritten, or another file at its name). Files are opened
// from root (os::RootFolder::Open). The progress line goes to ui, and
// Ctrl-C, caught by ui since before the call or from now on, cancels
// (TakeCancel).
void PackItems(const os::RootFolder &root, const std::vector<PackItem> &items,
               uint8_t compression, OsFile &out, ConsoleUi &ui);

} // namespace tools
