// The LZMA encoder over the LZMA SDK's LzmaEnc.c: a stream in parts, one
// thread each.
#include "codec/lzma_encoder.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <thread>
#include <vector>

#include "codec/lzma_stream.h"
#include "codec/range_filter.h"

#include "codec/sdk_allocator.h"
#include <LzmaEnc.h>

#include "codec/sdk_part_encoder.h"

namespace codec {

namespace {

// What a level sets. Levels 0 to 4 parse fast over a hash chain with a
// growing window; 5 and up parse for the smallest price over a binary tree,
// taking longer matches and trying more candidates as they go up.
struct LevelSettings {
  uint32_t dictionary;  // the most; DictionarySize takes less for less data
  bool fast;            // the SDK's fast parser and a hash-chain match finder
                        // instead of the optimal parser and a binary tree
  int fastBytes;        // a match this long is taken without looking further
  uint32_t matchCycles; // how many candidates the match finder tries
};

constexpr LevelSettings kLevels[kMaxLevel + 1] = {
    {64u << 10, true, 32, 16},   // 0
    {256u << 10, true, 32, 16},  // 1
    {1u << 20, true, 32, 16},    // 2
    {4u << 20, true, 32, 16},    // 3
    {8u << 20, true, 32, 16},    // 4
    {8u << 20, false, 32, 32},   // 5
    {64u << 20, false, 64, 32},  // 6, the default
    {64u << 20, false, 64, 48},  // 7
    {64u << 20, false, 128, 80}, // 8
    {64u << 20, false, 273, 152} // 9
};
static_assert(kLevels[kMaxLevel].dictionary <= kMaxDictionary);

// One part's callbacks behind the SDK's stream interfaces. The SDK is C: an
// exception must not pass through it, so it is kept here and thrown again
// once the SDK has returned.
struct Bridge {
  Source source;
  const PartSink *sink = nullptr;
  size_t part = 0; // for the sink
  uint64_t drop;   // raw bytes before those the SDK takes, read and dropped
  uint64_t limit;  // raw bytes the SDK takes: the window before, the part
  bool last;       // the part ends the raw bytes: the source must end there
  uint64_t read = 0;
  bool tooLong = false;
  std::atomic<uint64_t> done{0}; // the part's raw bytes encoded
  std::atomic<uint64_t> made{0}; // the part's stream bytes
  std::exception_ptr error;
  // Shared by the parts: one that fails stops the others at their next
  // read or report rather than let them run to their end for nothing.
  std::atomic<bool> *stop = nullptr;

  void Fail(std::exception_ptr e) {
    error = std::move(e);
    *stop = true;
  }
};

// One of the SDK's interfaces and the bridge it calls: the SDK hands the
// interface's address back, which is the hook's.
template <typename Interface> struct Hook {
  Interface sdk;
  Bridge *bridge;
};

template <typename Interface> Bridge &BridgeOf(void *self) {
  return *static_cast<Hook<Interface> *>(self)->bridge;
}

SRes Read(void *self, void *buffer, size_t *size) {
  Bridge &b = BridgeOf<ISeqInStream>(self);
  auto *bytes = static_cast<uint8_t *>(buffer);
  if (*b.stop)
    return SZ_ERROR_READ;
  try {
    while (b.drop > 0) {
      const size_t n = b.source(bytes, std::min<uint64_t>(*size, b.drop));
      if (n == 0)
        break; // short: the length check after the encoding tells
      b.drop -= n;
    }
    *size = b.source(bytes, std::min<uint64_t>(*size, b.limit - b.read));
    // The whole source must be the declared length: one byte more is one
    // too many.
    uint8_t probe = 0;
    if (b.last && b.read + *size == b.limit && b.source(&probe, 1) > 0)
      b.tooLong = *b.stop = true;
  } catch (...) {
    b.Fail(std::current_exception());
    return SZ_ERROR_READ;
  }
  b.read += *size;
  return b.tooLong ? SZ_ERROR_READ : SZ_OK;
}

size_t Write(void *self, const void *bytes, size_t size) {
  Bridge &b = BridgeOf<ISeqOutStream>(self);
  try {
    (*b.sink)(b.part, static_cast<const uint8_t *>(bytes), size);
  } catch (...) {
    b.Fail(std::current_exception());
    return 0;
  }
  b.made += size;
  return size;
}

// The SDK counts raw bytes from the stream's start, a part's from its own.
struct ReportHook {
  ICompressProgress sdk;
  Bridge *bridge;
  uint64_t start;
  const std::function<void()> *tell; // null but on the calling thread
};

SRes Report(void *self, UInt64 rawDone, UInt64 /*streamDone*/) {
  auto &hook = *static_cast<ReportHook *>(self);
  Bridge &b = *hook.bridge;
  b.done = rawDone - hook.start;
  if (*b.stop)
    return SZ_ERROR_PROGRESS;
  try {
    if (hook.tell != nullptr)
      (*hook.tell)();
  } catch (...) {
    b.Fail(std::current_exception());
    return SZ_ERROR_PROGRESS;
  }
  return SZ_OK;
}

CLzmaEncProps PropsOf(int level, uint64_t rawLength) {
  const LevelSettings &settings = kLevels[level];
  CLzmaEncProps props;
  LzmaEncProps_Init(&props);
  props.level = level;
  props.dictSize = DictionarySize(level, rawLength);
  props.lc = 3;
  props.lp = 0;
  props.pb = 2;
  props.algo = settings.fast ? 0 : 1;
  props.btMode = settings.fast ? 0 : 1;
  props.numHashBytes = 4;
  props.fb = settings.fastBytes;
  props.mc = settings.matchCycles;
  props.writeEndMark = 1;
  props.numThreads = 1;
  return props;
}

// Encodes one part: its bridge is set up, the header (part 0 only) is in
// header[0, headerSize).
SRes EncodePart(int level, const ByteRange &part, Bridge &bridge,
                const uint8_t *header, size_t headerSize,
                const std::function<void()> *tell) {
  CLzmaEncProps props = PropsOf(level, part.offset + part.length);
  props.writeEndMark = bridge.last ? 1 : 0;
  Hook<ISeqInStream> in{{Read}, &bridge};
  Hook<ISeqOutStream> out{{Write}, &bridge};
  ReportHook report{{Report}, &bridge, part.offset, tell};
  CLzmaEncHandle encoder = LzmaEnc_Create(&sdk::gAllocator);
  if (encoder == nullptr)
    return SZ_ERROR_MEM;
  SRes result = LzmaEnc_SetProps(encoder, &props);
  if (result == SZ_OK && headerSize > 0)
    result =
        Write(&out, header, headerSize) == headerSize ? SZ_OK : SZ_ERROR_WRITE;
  if (result == SZ_OK)
    result = LzmaEnc_EncodePart(encoder, &out.sdk, &in.sdk,
                                static_cast<UInt32>(bridge.limit - part.length),
                                part.offset, &report.sdk, &sdk::gAllocator,
                                &sdk::gAllocator);
  LzmaEnc_Destroy(encoder, &sdk::gAllocator, &sdk::gAllocator);
  return result;
}

} // namespace

uint32_t DictionarySize(int level, uint64_t rawLength) {
  constexpr uint64_t kLeast = 4096; // the format's least
  return static_cast<uint32_t>(
      std::clamp<uint64_t>(rawLength, kLeast, kLevels[level].dictionary));
}

uint64_t RestartOf(uint64_t rawLength, int level) {
  if (rawLength < kLeastSplit || level < 0 || level > kMaxLevel)
    return 0;
  // Indexing a byte before the part costs about half of encoding one
  // (codec/sdk_part_encoder.c; measured on a product tree, bench/README.md).
  // With the cut at c and a window w: part 0 takes c, part 1
  // min(c, w) / 2 + (n - c).
  const uint64_t window = kLevels[level].dictionary;
  const uint64_t cut = rawLength / 20 * 13;
  return cut <= window ? cut : (rawLength + window / 2) / 2;
}

uint64_t EncodeMemory(uint64_t rawLength, int level, uint64_t restart,
                      bool atOnce) {
  if (level < 0 || level > kMaxLevel)
    return 0;
  constexpr uint64_t kPerWindowByte = 11;
  constexpr uint64_t kFixed = uint64_t{16} << 20; // buffers, price tables
  const uint64_t last = kPerWindowByte * DictionarySize(level, rawLength);
  if (restart == 0)
    return kFixed + last;
  const uint64_t first = kPerWindowByte * DictionarySize(level, restart);
  return 2 * kFixed + (atOnce ? first + last : last);
}

EncodeStatus EncodeParts(uint64_t rawLength, int level, uint64_t restart,
                         const SourceMaker &maker, const PartSink &sink,
                         const Progress &progress,
                         [[maybe_unused]] bool atOnce) {
  if (level < 0 || level > kMaxLevel)
    return EncodeStatus::kBadLevel;
  if (restart > 0 && restart >= rawLength)
    return EncodeStatus::kBadRestart;
  std::vector<ByteRange> parts = {{0, rawLength}};
  if (restart > 0)
    parts = {{0, restart}, {restart, rawLength - restart}};
  // The header declares the window of the whole stream; each part's
  // encoder needs only the window its own bytes can use.
  uint8_t header[kPropertiesSize];
  SizeT headerSize = sizeof header;
  {
    const CLzmaEncProps props = PropsOf(level, rawLength);
    CLzmaEncHandle encoder = LzmaEnc_Create(&sdk::gAllocator);
    if (encoder == nullptr)
      return EncodeStatus::kNoMemory;
    const bool written =
        LzmaEnc_SetProps(encoder, &props) == SZ_OK &&
        LzmaEnc_WriteProperties(encoder, header, &headerSize) == SZ_OK;
    LzmaEnc_Destroy(encoder, &sdk::gAllocator, &sdk::gAllocator);
    if (!written)
      return EncodeStatus::kNoMemory;
  }

  std::atomic<bool> stop{false};
  std::vector<std::unique_ptr<Bridge>> bridges;
  for (size_t k = 0; k < parts.size(); ++k) {
    const ByteRange &part = parts[k];
    const uint64_t window = std::min<uint64_t>(
        part.offset, DictionarySize(level, part.offset + part.length));
    auto bridge = std::make_unique<Bridge>();
    bridge->source = maker();
    bridge->sink = &sink;
    bridge->part = k;
    bridge->drop = part.offset - window;
    bridge->limit = window + part.length;
    bridge->last = k + 1 == parts.size();
    bridge->stop = &stop;
    bridges.push_back(std::move(bridge));
  }
  const std::function<void()> tell = [&] {
    uint64_t done = 0;
    uint64_t made = 0;
    for (const auto &bridge : bridges) {
      done += bridge->done;
      made += bridge->made;
    }
    progress(done, made);
  };
  // Only the calling thread tells progress.
  std::vector<SRes> results(parts.size(), SZ_OK);
  auto run = [&](size_t k, bool ownThread) {
    results[k] = EncodePart(level, parts[k], *bridges[k], header,
                            k == 0 ? headerSize : 0,
                            ownThread || !progress ? nullptr : &tell);
  };
  size_t first = 0; // the first part the calling thread encodes
#if defined(_GLIBCXX_HAS_GTHREADS) || !defined(__GLIBCXX__)
  // (Without: mingw-w64's win32 thread model, one part after another.)
  if (atOnce) {
    std::vector<std::thread> threads;
    for (size_t k = 1; k < parts.size(); ++k)
      threads.emplace_back(run, k, true);
    run(0, false);
    for (std::thread &thread : threads)
      thread.join();
    first = parts.size();
  }
#endif
  for (size_t k = first; k < parts.size(); ++k)
    run(k, false);
  for (const auto &bridge : bridges)
    if (bridge->error)
      std::rethrow_exception(bridge->error);
  for (size_t k = 0; k < parts.size(); ++k) {
    const Bridge &bridge = *bridges[k];
    if (bridge.tooLong || (results[k] == SZ_OK &&
                           (bridge.drop > 0 || bridge.read != bridge.limit)))
      return EncodeStatus::kWrongLength;
  }
  for (const SRes result : results)
    if (result != SZ_OK)
      return EncodeStatus::kNoMemory; // the settings are the table's
  return EncodeStatus::kOk;
}

EncodeStatus Encode(uint64_t rawLength, int level, const Source &source,
                    const Sink &sink, const Progress &progress) {
  return EncodeParts(
      rawLength, level, 0, [&] { return source; },
      [&](size_t, const uint8_t *bytes, size_t size) { sink(bytes, size); },
      progress);
}

} // namespace codec
