// The CRC-32 of a file, read through the numbered-file table (an abort
// inside a yield closes them all) with one yield for every byte read, as
// the extraction yields.
#pragma once

#include <cstdint>
#include <string>

namespace mdl_main {

struct FileFacts {
  int64_t length = 0;
  uint32_t crc = 0;
};

// The file's length and CRC-32. The CRC only when the length is one of
// the two given (-1: none), so that a file of another length than the
// ones looked for is not read. Raises as the open or a read fails.
FileFacts ReadFileFacts(const std::string &path, int64_t crcIfLength,
                        int64_t orIfLength = -1);

} // namespace mdl_main
