// Bytes read at 0-based offsets, from a file or from memory: the one way the
// package's readers take their input, so that tests and fuzzers run them in
// memory and the run and the tool on their own files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace package {

class ByteSource {
public:
  virtual int64_t Size() const = 0;
  // Reads count bytes at offset into bytes; false, with bytes undefined,
  // when they are not all there. A source may raise for a failing read.
  virtual bool Read(int64_t offset, uint8_t *bytes, size_t count) const = 0;

protected:
  // Never deleted through this interface: no destructor in its table.
  ~ByteSource() = default;
  ByteSource() = default;
  ByteSource(const ByteSource &) = default;
  ByteSource &operator=(const ByteSource &) = default;
};

// The bytes of a string_view, which must outlive the source.
class MemorySource final : public ByteSource {
public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  int64_t Size() const override { return static_cast<int64_t>(bytes_.size()); }
  bool Read(int64_t offset, uint8_t *bytes, size_t count) const override;

private:
  std::string_view bytes_;
};

} // namespace package
