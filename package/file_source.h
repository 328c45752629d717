// A file open under a number of the numbered-file table as a byte source:
// how the run hands its own executable to the package's readers.
#pragma once

#include <cstdint>

#include "package/byte_source.h"

namespace package {

class FileSource final : public ByteSource {
public:
  explicit FileSource(int16_t number) : number_(number) {}
  int64_t Size() const override;
  // Raises the file layer's error for a read that fails.
  bool Read(int64_t offset, uint8_t *bytes, size_t count) const override;

private:
  int16_t number_;
};

} // namespace package
