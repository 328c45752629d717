// The LZMA encoder over the LZMA SDK's LzmaEnc.c, single-threaded.
#include "codec/lzma_encoder.h"

#include <algorithm>
#include <exception>

#include "codec/lzma_stream.h"

#include "codec/sdk_allocator.h"
#include <LzmaEnc.h>

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

// The callbacks behind the SDK's stream interfaces. The SDK is C: an
// exception must not pass through it, so it is kept here and thrown again
// once the SDK has returned.
struct Bridge {
  const Source &source;
  const Sink &sink;
  const Progress &progress;
  uint64_t rawLength;
  uint64_t read = 0;
  bool tooLong = false;
  std::exception_ptr error;
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
  try {
    *size = b.source(static_cast<uint8_t *>(buffer), *size);
  } catch (...) {
    b.error = std::current_exception();
    return SZ_ERROR_READ;
  }
  b.read += *size;
  if (b.read > b.rawLength) {
    b.tooLong = true;
    return SZ_ERROR_READ;
  }
  return SZ_OK;
}

size_t Write(void *self, const void *bytes, size_t size) {
  Bridge &b = BridgeOf<ISeqOutStream>(self);
  try {
    b.sink(static_cast<const uint8_t *>(bytes), size);
  } catch (...) {
    b.error = std::current_exception();
    return 0;
  }
  return size;
}

SRes Report(void *self, UInt64 rawDone, UInt64 streamDone) {
  Bridge &b = BridgeOf<ICompressProgress>(self);
  try {
    if (b.progress)
      b.progress(rawDone, kPropertiesSize + streamDone);
  } catch (...) {
    b.error = std::current_exception();
    return SZ_ERROR_PROGRESS;
  }
  return SZ_OK;
}

} // namespace

uint32_t DictionarySize(int level, uint64_t rawLength) {
  constexpr uint64_t kLeast = 4096; // the format's least
  return static_cast<uint32_t>(
      std::clamp<uint64_t>(rawLength, kLeast, kLevels[level].dictionary));
}

EncodeStatus Encode(uint64_t rawLength, int level, const Source &source,
                    const Sink &sink, const Progress &progress) {
  if (level < 0 || level > kMaxLevel)
    return EncodeStatus::kBadLevel;
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

  Bridge bridge{source, sink, progress, rawLength, 0, false, nullptr};
  Hook<ISeqInStream> in{{Read}, &bridge};
  Hook<ISeqOutStream> out{{Write}, &bridge};
  Hook<ICompressProgress> report{{Report}, &bridge};
  CLzmaEncHandle encoder = LzmaEnc_Create(&sdk::gAllocator);
  if (encoder == nullptr)
    return EncodeStatus::kNoMemory;
  uint8_t header[kPropertiesSize];
  SizeT headerSize = sizeof header;
  SRes result = LzmaEnc_SetProps(encoder, &props);
  if (result == SZ_OK)
    result = LzmaEnc_WriteProperties(encoder, header, &headerSize);
  if (result == SZ_OK)
    result =
        Write(&out, header, headerSize) == headerSize ? SZ_OK : SZ_ERROR_WRITE;
  if (result == SZ_OK)
    result = LzmaEnc_Encode(encoder, &out.sdk, &in.sdk, &report.sdk,
                            &sdk::gAllocator, &sdk::gAllocator);
  LzmaEnc_Destroy(encoder, &sdk::gAllocator, &sdk::gAllocator);
  if (bridge.error)
    std::rethrow_exception(bridge.error);
  if (bridge.tooLong || (result == SZ_OK && bridge.read != rawLength))
    return EncodeStatus::kWrongLength;
  // The settings are the table's, so what is left is the memory.
  return result == SZ_OK ? EncodeStatus::kOk : EncodeStatus::kNoMemory;
}

} // namespace codec
