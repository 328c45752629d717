// Compressing the raw archive into the package's stream.
#include "tools/archive_compressor.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "codec/lzma_encoder.h"
#include "package/crc32.h"
#include "tools/cli.h"
#include "tools/file_io.h"
#include "tools/tool_os.h"

namespace tools {

namespace {

constexpr size_t kBlock = size_t{64} * 1024;

// The raw archive's bytes in order, filtered, without the stored ranges:
// what the encoder takes. Also the CRC-32 of the raw bytes.
class StreamSource {
public:
  StreamSource(const std::vector<RawPiece> &pieces,
               const package::StreamLayout &layout)
      : pieces_(pieces), stored_(layout.stored),
        filter_(layout.x86.data(), layout.x86.size(),
                codec::FilterDirection::kEncode) {}

  size_t Fill(uint8_t *buffer, size_t size) {
    while (pendingAt_ == pending_.size()) {
      if (finished_)
        return 0;
      Refill();
    }
    const size_t n = std::min(size, pending_.size() - pendingAt_);
    std::copy_n(pending_.data() + pendingAt_, n, buffer);
    pendingAt_ += n;
    return n;
  }

  uint32_t Crc() const { return crc_; }

private:
  // The next raw bytes, at most kBlock.
  size_t ReadRaw(uint8_t *raw) {
    while (piece_ < pieces_.size() && pieceDone_ == pieces_[piece_].length) {
      ++piece_;
      pieceDone_ = 0;
    }
    if (piece_ == pieces_.size())
      return 0;
    const RawPiece &piece = pieces_[piece_];
    const auto n = static_cast<size_t>(
        std::min<int64_t>(kBlock, piece.length - pieceDone_));
    if (piece.file == nullptr)
      std::copy_n(piece.bytes.data() + pieceDone_, n, raw);
    else if (piece.file->ReadAt(piece.offset + pieceDone_, raw, n) != n)
      throw ToolError(piece.file->path() + " ended while it was compressed");
    pieceDone_ += static_cast<int64_t>(n);
    return n;
  }

  void Refill() {
    pending_.clear();
    pendingAt_ = 0;
    uint8_t *raw = raw_.data();
    uint8_t *filtered = filtered_.data();
    const size_t n = ReadRaw(raw);
    crc_ = package::Crc32(crc_, raw, n);
    if (n == 0) {
      finished_ = true;
      Keep(filtered, filter_.Finish(filtered));
    } else {
      Keep(filtered, filter_.Convert(raw, n, filtered));
    }
  }

  // Takes filtered bytes at the stream's next raw offsets, leaving out those
  // of the stored ranges.
  void Keep(const uint8_t *bytes, size_t count) {
    for (size_t k = 0; k < count;) {
      while (next_ < stored_.size() &&
             stored_[next_].offset + stored_[next_].length <= offset_)
        ++next_;
      size_t step = count - k;
      const bool inStored =
          next_ < stored_.size() && offset_ >= stored_[next_].offset;
      if (inStored)
        step = static_cast<size_t>(std::min<uint64_t>(
            step, stored_[next_].offset + stored_[next_].length - offset_));
      else if (next_ < stored_.size())
        step = static_cast<size_t>(
            std::min<uint64_t>(step, stored_[next_].offset - offset_));
      if (!inStored)
        pending_.insert(pending_.end(), bytes + k, bytes + k + step);
      k += step;
      offset_ += step;
    }
  }

  const std::vector<RawPiece> &pieces_;
  const std::vector<codec::ByteRange> &stored_;
  codec::RangeFilter filter_;
  size_t piece_ = 0;
  int64_t pieceDone_ = 0;
  std::vector<uint8_t> raw_ = std::vector<uint8_t>(kBlock);
  std::vector<uint8_t> filtered_ =
      std::vector<uint8_t>(kBlock + codec::RangeFilter::kMaxHeld);
  std::vector<uint8_t> pending_;
  size_t pendingAt_ = 0;
  bool finished_ = false;
  size_t next_ = 0;     // the stored range at or after offset_
  uint64_t offset_ = 0; // raw offset of the next filtered byte
  uint32_t crc_ = 0;
};

const char *Failure(codec::EncodeStatus status) {
  switch (status) {
  case codec::EncodeStatus::kBadLevel:
    return "the level must be 0 to 9";
  case codec::EncodeStatus::kNoMemory:
    return "out of memory";
  case codec::EncodeStatus::kBadRestart:
    return "the stream's second part would start past its end";
  case codec::EncodeStatus::kWrongLength:
  case codec::EncodeStatus::kOk:
    break;
  }
  return "the archive changed while it was compressed";
}

} // namespace

void CompressArchive(const std::vector<RawPiece> &pieces, int level,
                     package::StreamLayout &layout, OsFile &stream,
                     const std::string &spillPath,
                     const std::function<void(int64_t, int64_t)> &progress) {
  layout.compressed = true;
  layout.rawLength = 0;
  for (const RawPiece &piece : pieces)
    layout.rawLength += piece.length;
  const auto streamRaw = static_cast<uint64_t>(layout.StreamRawLength());
  layout.restart = static_cast<int64_t>(codec::RestartOf(streamRaw, level));
  // Each part reads the raw archive from its start; the last one reads it
  // all, so its CRC-32 is the archive's.
  std::vector<std::shared_ptr<StreamSource>> sources;
  // Part 0 goes into stream; part 1, made at the same time, into a file of
  // its own, appended once both are done.
  std::unique_ptr<OsFile> spill;
  if (layout.restart > 0)
    spill = std::make_unique<OsFile>(spillPath, platform::OpenMode::CreateNew);
  // The parts at once only where the machine has the memory for both: one
  // after the other makes the same bytes, in more time.
  const std::optional<uint64_t> available = os::AvailableMemory();
  const bool atOnce =
      !available || codec::EncodeMemory(streamRaw, level,
                                        static_cast<uint64_t>(layout.restart),
                                        true) <= *available;
  int64_t written[2] = {0, 0};
  const codec::EncodeStatus status = codec::EncodeParts(
      streamRaw, level, static_cast<uint64_t>(layout.restart),
      [&]() -> codec::Source {
        auto source = std::make_shared<StreamSource>(pieces, layout);
        sources.push_back(source);
        return [source](uint8_t *buffer, size_t size) {
          return source->Fill(buffer, size);
        };
      },
      [&](size_t part, const uint8_t *bytes, size_t size) {
        OsFile &file = part == 0 ? stream : *spill;
        file.WriteAt(written[part], bytes, size);
        written[part] += static_cast<int64_t>(size);
      },
      [&](uint64_t rawDone, uint64_t) {
        if (progress)
          progress(static_cast<int64_t>(rawDone),
                   static_cast<int64_t>(streamRaw));
      },
      atOnce);
  if (status != codec::EncodeStatus::kOk)
    throw ToolError(std::string("compressing the archive failed: ") +
                    Failure(status));
  layout.streamLength = written[0];
  if (spill) {
    CopyBytes(*spill, 0, written[1], stream, layout.streamLength);
    layout.streamLength += written[1];
  }
  layout.rawCrc = sources.back()->Crc();
}

bool Compressible(const uint8_t *sample, size_t size) {
  size_t made = 0;
  codec::Encode(
      size, 1,
      [&, at = size_t{0}](uint8_t *buffer, size_t room) mutable {
        const size_t n = std::min(room, size - at);
        std::copy_n(sample + at, n, buffer);
        at += n;
        return n;
      },
      [&](const uint8_t *, size_t count) { made += count; });
  return made < size - size / 32;
}

} // namespace tools
