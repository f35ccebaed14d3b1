/*
 * transforms.h - the per-file transforms: the bytes of one file after (or
 * before) a fix, made from an unpacked UPDATE payload and, for a delta
 * against the installed file, that file's bytes.
 *
 * A pure core: bytes come in through the payload buffer and the caller's read
 * callback, go out through the write callback, and the gauge is driven through
 * a callback too. No file, clock, log or global state is touched here.
 *
 * Whole-file payload (kind 2): the new file's bytes, at least new-size long.
 *
 * Delta payload (every other kind): blocks, each a 20-byte header of five
 * little-endian 32-bit values, then its data:
 *
 *   0   reserved      not read
 *   4   old offset    where the block starts in the old file
 *   8   new offset    where the block starts in the new file
 *   12  old length    old bytes the block replaces
 *   16  new length    new bytes the block produces
 *   20  data          max(old, new length) bytes: the first min(old, new
 *                     length) are old XOR new, the rest are the plain bytes
 *                     of the longer side
 *
 * Between blocks both files hold the same bytes (copy runs). The same payload
 * serves both directions: upgrade reads the old file and writes the new one,
 * revert reads the new file and writes the old one. The entry's delta-block
 * count is the number of headers; the first header is always read, even for a
 * count of 0. A header with new offset 0 and new length 0 ends the list in the
 * upgrade direction (the first header excepted: there it asks for a copy run
 * up to its old offset); one with old offset 0 and old length 0 ends it in the
 * revert direction, the first header included. After the list the rest of the
 * source is copied up to the output's size.
 *
 * Checks (every length in 64-bit arithmetic, before use): a header or block
 * data running past the payload, a block writing past the output size, a
 * block that starts before the current position in either file (out of order
 * or overlapping), and a source that ends during a copy run or a block fail
 * the transform. A copy run with no source fails as well (payloads applied
 * without an installed file hold none).
 *
 * Gauge: for an output of S bytes the range is S when S <= 1,024, else
 * S / 1,024; the position is 0 at the start. A whole file moves it to i / 1,024
 * after writing byte i (0-based) when i is a multiple of 1,024; a delta moves
 * it in copy runs to p / 1,024 each time the output position p reaches a
 * multiple of 1,024, and at the end sets the position to S (S <= 1,024) or the
 * range to S / 1,024 again.
 */
#ifndef HERON_ENGINE_TRANSFORMS_TRANSFORMS_H
#define HERON_ENGINE_TRANSFORMS_TRANSFORMS_H

#include <stddef.h>
#include <stdint.h>

#define XFORM_FAILED 0
#define XFORM_DONE 1

#define XFORM_HEADER_SIZE 20

/* Gauge commands passed to pfnGauge (the gauge control's own codes). */
#define XFORM_GAUGE_RANGE 102
#define XFORM_GAUGE_POS 103

typedef struct XFORM_IO {
    void* pvContext;
    /* Reads up to cb bytes of the source into pb; returns the count read,
     * 0 at its end or on error. NULL when there is no source. */
    size_t (*pfnRead)(void* pvContext, unsigned char* pb, size_t cb);
    /* Writes cb bytes; 1 when all were written, 0 on a write error. */
    int (*pfnWrite)(void* pvContext, const unsigned char* pb, size_t cb);
    /* A gauge command; may be NULL. */
    void (*pfnGauge)(void* pvContext, int iCommand, uint32_t dwValue);
} XFORM_IO;

/* The fields of a delta header. */
typedef struct XFORM_BLOCK {
    uint32_t dwOldOffset;
    uint32_t dwNewOffset;
    uint32_t dwOldLength;
    uint32_t dwNewLength;
} XFORM_BLOCK;

/* Writes the first dwNewSize bytes of a whole-file payload. XFORM_DONE, or
 * XFORM_FAILED when the payload is shorter or a write fails. */
int TransformWholeFile(const unsigned char* pbPayload, size_t cbPayload, uint32_t dwNewSize, XFORM_IO* pIo);

/* Applies a delta payload in one direction (bRevert 0: old -> new of
 * dwNewSize bytes; 1: new -> old of dwOldSize bytes). dwBlocks is the
 * entry's delta-block count. XFORM_DONE or XFORM_FAILED (checks above). */
int TransformDelta(int bRevert, const unsigned char* pbPayload, size_t cbPayload, uint32_t dwBlocks,
                   uint32_t dwOldSize, uint32_t dwNewSize, XFORM_IO* pIo);

/* Reads header i (0-based) of a payload laid out block after block; 1 with
 * *pBlock and the offset of its data in *pcbData, 0 when the payload ends
 * first. Walks the earlier blocks, so it is for tools and tests. */
int TransformReadHeader(const unsigned char* pbPayload, size_t cbPayload, uint32_t i, XFORM_BLOCK* pBlock,
                        size_t* pcbData);

#endif
