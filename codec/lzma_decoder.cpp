// The LZMA decoder over the dictionary interface of the LZMA SDK's
// LzmaDec.c: the SDK decodes into our dictionary, we copy out what it made.
#include "codec/lzma_decoder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/byte_order.h"

// The SDK's Types.h includes <windows.h> on Windows, for one typedef; no
// other file of ours sees it (the header keeps the SDK's state opaque).
#include "codec/sdk_allocator.h"
#include <LzmaDec.h>

namespace codec {

struct LzmaDecoder::Sdk {
  CLzmaDec state;
};

LzmaDecoder::~LzmaDecoder() {
  if (sdk_ == nullptr)
    return;
  LzmaDec_FreeProbs(&sdk_->state, &sdk::gAllocator);
  std::free(sdk_->state.dic);
  std::free(sdk_);
}

DecodeStatus LzmaDecoder::Start() {
  const unsigned lcLpPb = header_[0];
  if (lcLpPb >= 9 * 5 * 5 || lcLpPb % 9 + lcLpPb / 9 % 5 > kMaxLcPlusLp)
    return DecodeStatus::kBadProperties;
  if (platform::ReadLE32(header_ + 1) > kMaxDictionary)
    return DecodeStatus::kDictionaryTooLarge;
  // malloc and a cleared block rather than calloc: one import fewer.
  sdk_ = static_cast<Sdk *>(std::malloc(sizeof(Sdk)));
  if (sdk_ == nullptr)
    return DecodeStatus::kNoMemory;
  std::memset(sdk_, 0, sizeof(Sdk));
  CLzmaDec &state = sdk_->state;
  LzmaDec_Construct(&state);
  // The header is checked above, so only the allocation can fail here.
  if (LzmaDec_AllocateProbs(&state, header_, kPropertiesSize,
                            &sdk::gAllocator) != SZ_OK)
    return DecodeStatus::kNoMemory;
  // The SDK accepts a distance only below its dictionary size (at least
  // 4 KiB) and below the bytes produced so far, so a buffer of the raw
  // length, when that is smaller, holds every byte a match can reach.
  const uint64_t size =
      std::max<uint64_t>(1, std::min<uint64_t>(state.prop.dicSize, raw_));
  state.dic = static_cast<Byte *>(std::malloc(static_cast<size_t>(size)));
  if (state.dic == nullptr)
    return DecodeStatus::kNoMemory;
  state.dicBufSize = static_cast<size_t>(size);
  LzmaDec_Init(&state);
  return DecodeStatus::kMore;
}

DecodeStep LzmaDecoder::Fail(DecodeStatus status, size_t consumed,
                             size_t produced) {
  status_ = status;
  return {status, consumed, produced};
}

DecodeStep LzmaDecoder::Decode(const uint8_t *in, size_t inSize, uint8_t *out,
                               size_t outSize) {
  if (status_ == DecodeStatus::kDone && inSize > 0)
    return Fail(DecodeStatus::kCorrupt, 0, 0);
  if (status_ != DecodeStatus::kMore)
    return {status_, 0, 0};
  size_t consumed = 0;
  size_t produced = 0;
  while (headerSize_ < kPropertiesSize && consumed < inSize)
    header_[headerSize_++] = in[consumed++];
  if (headerSize_ < kPropertiesSize)
    return {DecodeStatus::kMore, consumed, 0};
  if (sdk_ == nullptr) {
    const DecodeStatus started = Start();
    if (started != DecodeStatus::kMore)
      return Fail(started, consumed, 0);
  }

  CLzmaDec &state = sdk_->state;
  for (;;) {
    if (state.dicPos == state.dicBufSize)
      state.dicPos = 0;
    const size_t start = state.dicPos;
    const uint64_t left = end_ - produced_;
    const size_t room = static_cast<size_t>(std::min<uint64_t>(
        {left, state.dicBufSize - start, outSize - produced}));
    // Decoding up to the last raw byte also reads the end marker after it.
    const ELzmaFinishMode mode =
        room == left && end_ == raw_ ? LZMA_FINISH_END : LZMA_FINISH_ANY;
    SizeT used = inSize - consumed;
    ELzmaStatus sdkStatus = LZMA_STATUS_NOT_SPECIFIED;
    const SRes result = LzmaDec_DecodeToDic(&state, start + room, in + consumed,
                                            &used, mode, &sdkStatus);
    const size_t made = state.dicPos - start;
    if (made > 0)
      std::memcpy(out + produced, state.dic + start, made);
    consumed += used;
    produced += made;
    produced_ += made;
    if (result != SZ_OK)
      return Fail(DecodeStatus::kCorrupt, consumed, produced);
    if (produced_ == end_ && end_ < raw_) {
      // The first part ends with its coder at rest and no end marker, and
      // the second starts its coder afresh, its matches reaching back into
      // the bytes before it (as the SDK's LzmaDec_InitDicAndState(&state,
      // False, True) would start it; at rest, its other fields are as that
      // sets them).
      if (sdkStatus != LZMA_STATUS_MAYBE_FINISHED_WITHOUT_MARK)
        return Fail(DecodeStatus::kCorrupt, consumed, produced);
      state.needFlush = 1;
      state.needInitState = 1;
      end_ = raw_;
      continue;
    }
    if (sdkStatus == LZMA_STATUS_FINISHED_WITH_MARK) {
      // The end marker: right after the last raw byte, and last in the input.
      if (produced_ != raw_ || consumed != inSize)
        return Fail(DecodeStatus::kCorrupt, consumed, produced);
      status_ = DecodeStatus::kDone;
      return {DecodeStatus::kDone, consumed, produced};
    }
    // All raw bytes out and the coder at rest: a stream without the end
    // marker that ours carry (a marker cannot follow such a state).
    if (sdkStatus == LZMA_STATUS_MAYBE_FINISHED_WITHOUT_MARK &&
        produced_ == raw_)
      return Fail(DecodeStatus::kCorrupt, consumed, produced);
    if (used == 0 && made == 0)
      return {DecodeStatus::kMore, consumed, produced};
  }
}

size_t LzmaDecoder::DictionaryBytes() const {
  return sdk_ != nullptr && sdk_->state.dic != nullptr ? sdk_->state.dicBufSize
                                                       : 0;
}

DecodeStatus LzmaDecoder::Finish() {
  if (status_ == DecodeStatus::kMore)
    status_ = DecodeStatus::kTruncated;
  return status_;
}

} // namespace codec
