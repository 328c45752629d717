/* One addition to the LZMA SDK's encoder (codec/sdk_part_encoder.c), for a
 * stream in parts (codec/lzma_stream.h). Include after <LzmaEnc.h>. */
#ifndef CODEC_SDK_PART_ENCODER_H
#define CODEC_SDK_PART_ENCODER_H

#ifdef __cplusplus
extern "C" {
#endif

/* As LzmaEnc_Encode, for a part of a stream that starts at the stream's raw
 * position startPos: the first indexOnly bytes inStream gives are the ones
 * right before the part (at most the dictionary's size of them), which its
 * matches may reach; the rest are the part's. The part's coder starts
 * afresh, and its positions count from startPos. */
SRes LzmaEnc_EncodePart(CLzmaEncHandle pp, ISeqOutStream *outStream,
                        ISeqInStream *inStream, UInt32 indexOnly,
                        UInt64 startPos, ICompressProgress *progress,
                        ISzAlloc *alloc, ISzAlloc *allocBig);

#ifdef __cplusplus
}
#endif

#endif
