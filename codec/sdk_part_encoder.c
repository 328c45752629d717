/* The SDK's encoder (LzmaEnc.c, compiled here rather than on its own) and
 * the one thing a stream in parts needs of it that its interface lacks: a
 * part after the first starts with the bytes before it already in its
 * window, so its matches reach back into them, though it writes none of
 * them. */
#include <LzmaEnc.c> // NOLINT(bugprone-suspicious-include): on purpose

#include "codec/sdk_part_encoder.h"

SRes LzmaEnc_EncodePart(CLzmaEncHandle pp, ISeqOutStream *outStream,
                        ISeqInStream *inStream, UInt32 indexOnly,
                        UInt64 startPos, ICompressProgress *progress,
                        ISzAlloc *alloc, ISzAlloc *allocBig) {
  CLzmaEnc *p = (CLzmaEnc *)pp;
  RINOK(LzmaEnc_Prepare(pp, outStream, inStream, alloc, allocBig));
  /* The match finder takes the bytes before the part as it takes those a
   * match covers: into its index, without a search. That costs nearly as
   * much as encoding them, and the part before is being encoded on another
   * thread meanwhile; half the candidates per byte there make it about half
   * the cost, for a stream 0.02 % longer. */
  p->matchFinder.Init(p->matchFinderObj);
  p->needInit = 0;
  if (indexOnly > 0) {
    const UInt32 cutValue = p->matchFinderBase.cutValue;
    p->matchFinderBase.cutValue = (cutValue + 1) / 2;
    /* Never past the bytes read: the SDK skips only over bytes it has, and
     * a source that ends early must end the part, not the process. */
    while (indexOnly > 0) {
      UInt32 n = p->matchFinder.GetNumAvailableBytes(p->matchFinderObj);
      if (n == 0)
        break;
      if (n > indexOnly)
        n = indexOnly;
      p->matchFinder.Skip(p->matchFinderObj, n);
      indexOnly -= n;
    }
    p->matchFinderBase.cutValue = cutValue;
  }
  /* Positions count on from the stream's start: the decoder's position
   * states and first-byte rule run on through a part's start. */
  p->nowPos64 = startPos;
  return LzmaEnc_Encode2(p, progress);
}
