// implode.cpp - the package builder's DCL implode encoder.
//
// Map of the stream it writes (what Explode reads):
//   header      byte 0 literal mode (0 plain, 1 ASCII code), byte 1 dictionary
//               bits (4, 5, 6)
//   items       LSB-first bits; each item opens with a flag bit:
//                 0  literal: 8 plain bits, or the byte's ASCII literal code
//                 1  copy: length code + extra bits, distance code (high part
//                    of distance - 1), low part (2 bits for length 2, else the
//                    dictionary bits); lengths 2..518, distances up to 256 for
//                    length 2 and up to the dictionary size otherwise
//   end         the length 519 (code 15 + eight 1 bits), zero bits up to the
//               byte boundary, zero bytes up to a 5-byte minimum
//
// Divisions of this file:
//   code tables    the format's fixed codes (patterns as they lie in the
//                  stream) and the per-item bit costs derived from them
//   bit writer     a growable LSB-first writer; every store is bounds-checked
//   match finder   the nearest earlier position of every 2-byte pair (copies
//                  of length 2) and of every hashed triple (length 3), and
//                  hash chains of bounded depth over 4-byte prefixes for
//                  longer copies; positions are kept as 16-bit values and
//                  every candidate is verified byte by byte, so stale or
//                  wrapped entries cost time but never correctness
//   parser         because every code is fixed, an item's cost in bits is
//                  exact; a forward shortest-path parse over segments of the
//                  input picks literals and copies of minimum total size, so a
//                  short copy is only used where it beats the literals. For
//                  speed, a copy of IMP_NICE_LEN or more is taken at once and
//                  positions inside a copy of IMP_COVER_LEN or more are not
//                  searched (up to 1.5% larger output, twice as fast on text)
//
// The decoder's history starts as 4,096 zero bytes, but not every decoder of
// the format is known to do that, so no copy reaches before the first byte.
#include "implode.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

// ---- Code tables (read-only) ----------------------------------------------
//
// The format's published codes: length codes by code number 0..15 (with the
// extra-bit counts and the real base lengths), distance codes by high part
// 0..63, ASCII literal codes by byte value. A pattern is stored as it lies in
// the stream (first stream bit = bit 0), so it is written like a plain number.

static const unsigned char gabLenBits[16] = {
    0x03, 0x02, 0x03, 0x03, 0x04, 0x04, 0x04, 0x05, 0x05, 0x05, 0x05, 0x06, 0x06, 0x06, 0x07, 0x07,
};
static const unsigned char gabLenPattern[16] = {
    0x05, 0x03, 0x01, 0x06, 0x0A, 0x02, 0x0C, 0x14, 0x04, 0x18, 0x08, 0x30, 0x10, 0x20, 0x40, 0x00,
};
static const unsigned char gabLenExtra[16] = {
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08,
};
static const unsigned short gawLenBase[16] = {
    0x002, 0x003, 0x004, 0x005, 0x006, 0x007, 0x008, 0x009,
    0x00A, 0x00C, 0x010, 0x018, 0x028, 0x048, 0x088, 0x108,
};
static const unsigned char gabDistBits[64] = {
    0x02, 0x04, 0x04, 0x05, 0x05, 0x05, 0x05, 0x06, 0x06, 0x06, 0x06, 0x06, 0x06, 0x06, 0x06, 0x06,
    0x06, 0x06, 0x06, 0x06, 0x06, 0x06, 0x07, 0x07, 0x07, 0x07, 0x07, 0x07, 0x07, 0x07, 0x07, 0x07,
    0x07, 0x07, 0x07, 0x07, 0x07, 0x07, 0x07, 0x07, 0x07, 0x07, 0x07, 0x07, 0x07, 0x07, 0x07, 0x07,
    0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08,
};
static const unsigned char gabDistPattern[64] = {
    0x03, 0x0D, 0x05, 0x19, 0x09, 0x11, 0x01, 0x3E, 0x1E, 0x2E, 0x0E, 0x36, 0x16, 0x26, 0x06, 0x3A,
    0x1A, 0x2A, 0x0A, 0x32, 0x12, 0x22, 0x42, 0x02, 0x7C, 0x3C, 0x5C, 0x1C, 0x6C, 0x2C, 0x4C, 0x0C,
    0x74, 0x34, 0x54, 0x14, 0x64, 0x24, 0x44, 0x04, 0x78, 0x38, 0x58, 0x18, 0x68, 0x28, 0x48, 0x08,
    0xF0, 0x70, 0xB0, 0x30, 0xD0, 0x50, 0x90, 0x10, 0xE0, 0x60, 0xA0, 0x20, 0xC0, 0x40, 0x80, 0x00,
};
static const unsigned char gabLitBits[256] = {
    0x0B, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x08, 0x07, 0x0C, 0x0C, 0x07, 0x0C, 0x0C,
    0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0D, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C,
    0x04, 0x0A, 0x08, 0x0C, 0x0A, 0x0C, 0x0A, 0x08, 0x07, 0x07, 0x08, 0x09, 0x07, 0x06, 0x07, 0x08,
    0x07, 0x06, 0x07, 0x07, 0x07, 0x07, 0x08, 0x07, 0x07, 0x08, 0x08, 0x0C, 0x0B, 0x07, 0x09, 0x0B,
    0x0C, 0x06, 0x07, 0x06, 0x06, 0x05, 0x07, 0x08, 0x08, 0x06, 0x0B, 0x09, 0x06, 0x07, 0x06, 0x06,
    0x07, 0x0B, 0x06, 0x06, 0x06, 0x07, 0x09, 0x08, 0x09, 0x09, 0x0B, 0x08, 0x0B, 0x09, 0x0C, 0x08,
    0x0C, 0x05, 0x06, 0x06, 0x06, 0x05, 0x06, 0x06, 0x06, 0x05, 0x0B, 0x07, 0x05, 0x06, 0x05, 0x05,
    0x06, 0x0A, 0x05, 0x05, 0x05, 0x05, 0x08, 0x07, 0x08, 0x08, 0x0A, 0x0B, 0x0B, 0x0C, 0x0C, 0x0C,
    0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D,
    0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D,
    0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D,
    0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C,
    0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C,
    0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C,
    0x0D, 0x0C, 0x0D, 0x0D, 0x0D, 0x0C, 0x0D, 0x0D, 0x0D, 0x0C, 0x0D, 0x0D, 0x0D, 0x0D, 0x0C, 0x0D,
    0x0D, 0x0D, 0x0C, 0x0C, 0x0C, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D,
};
static const unsigned short gawLitPattern[256] = {
    0x0490, 0x0FE0, 0x07E0, 0x0BE0, 0x03E0, 0x0DE0, 0x05E0, 0x09E0,
    0x01E0, 0x00B8, 0x0062, 0x0EE0, 0x06E0, 0x0022, 0x0AE0, 0x02E0,
    0x0CE0, 0x04E0, 0x08E0, 0x00E0, 0x0F60, 0x0760, 0x0B60, 0x0360,
    0x0D60, 0x0560, 0x1240, 0x0960, 0x0160, 0x0E60, 0x0660, 0x0A60,
    0x000F, 0x0250, 0x0038, 0x0260, 0x0050, 0x0C60, 0x0390, 0x00D8,
    0x0042, 0x0002, 0x0058, 0x01B0, 0x007C, 0x0029, 0x003C, 0x0098,
    0x005C, 0x0009, 0x001C, 0x006C, 0x002C, 0x004C, 0x0018, 0x000C,
    0x0074, 0x00E8, 0x0068, 0x0460, 0x0090, 0x0034, 0x00B0, 0x0710,
    0x0860, 0x0031, 0x0054, 0x0011, 0x0021, 0x0017, 0x0014, 0x00A8,
    0x0028, 0x0001, 0x0310, 0x0130, 0x003E, 0x0064, 0x001E, 0x002E,
    0x0024, 0x0510, 0x000E, 0x0036, 0x0016, 0x0044, 0x0030, 0x00C8,
    0x01D0, 0x00D0, 0x0110, 0x0048, 0x0610, 0x0150, 0x0060, 0x0088,
    0x0FA0, 0x0007, 0x0026, 0x0006, 0x003A, 0x001B, 0x001A, 0x002A,
    0x000A, 0x000B, 0x0210, 0x0004, 0x0013, 0x0032, 0x0003, 0x001D,
    0x0012, 0x0190, 0x000D, 0x0015, 0x0005, 0x0019, 0x0008, 0x0078,
    0x00F0, 0x0070, 0x0290, 0x0410, 0x0010, 0x07A0, 0x0BA0, 0x03A0,
    0x0240, 0x1C40, 0x0C40, 0x1440, 0x0440, 0x1840, 0x0840, 0x1040,
    0x0040, 0x1F80, 0x0F80, 0x1780, 0x0780, 0x1B80, 0x0B80, 0x1380,
    0x0380, 0x1D80, 0x0D80, 0x1580, 0x0580, 0x1980, 0x0980, 0x1180,
    0x0180, 0x1E80, 0x0E80, 0x1680, 0x0680, 0x1A80, 0x0A80, 0x1280,
    0x0280, 0x1C80, 0x0C80, 0x1480, 0x0480, 0x1880, 0x0880, 0x1080,
    0x0080, 0x1F00, 0x0F00, 0x1700, 0x0700, 0x1B00, 0x0B00, 0x1300,
    0x0DA0, 0x05A0, 0x09A0, 0x01A0, 0x0EA0, 0x06A0, 0x0AA0, 0x02A0,
    0x0CA0, 0x04A0, 0x08A0, 0x00A0, 0x0F20, 0x0720, 0x0B20, 0x0320,
    0x0D20, 0x0520, 0x0920, 0x0120, 0x0E20, 0x0620, 0x0A20, 0x0220,
    0x0C20, 0x0420, 0x0820, 0x0020, 0x0FC0, 0x07C0, 0x0BC0, 0x03C0,
    0x0DC0, 0x05C0, 0x09C0, 0x01C0, 0x0EC0, 0x06C0, 0x0AC0, 0x02C0,
    0x0CC0, 0x04C0, 0x08C0, 0x00C0, 0x0F40, 0x0740, 0x0B40, 0x0340,
    0x0300, 0x0D40, 0x1D00, 0x0D00, 0x1500, 0x0540, 0x0500, 0x1900,
    0x0900, 0x0940, 0x1100, 0x0100, 0x1E00, 0x0E00, 0x0140, 0x1600,
    0x0600, 0x1A00, 0x0E40, 0x0640, 0x0A40, 0x0A00, 0x1200, 0x0200,
    0x1C00, 0x0C00, 0x1400, 0x0400, 0x1800, 0x0800, 0x1000, 0x0000,
};

enum {
    IMP_MIN_COPY = 2,
    IMP_MAX_COPY = 518,
    IMP_END_MARK = 519,
    IMP_MAX_DICT = 4096,
    IMP_MAX_DIST2 = 256,             // a length-2 copy has only 2 low bits
    IMP_HASH3_BITS = 15,
    IMP_HASH4_BITS = 14,
    IMP_SEGMENT = 16384,             // positions per shortest-path segment
    IMP_CHAIN_DEPTH = 32,            // candidates examined per position
    IMP_NICE_LEN = 64,               // a copy this long is taken at once
    IMP_COVER_LEN = 12,              // positions inside such a copy are not searched
    IMP_MIN_STREAM = 5               // Explode wants more than 4 bytes at first
};

// ---- Bit writer ------------------------------------------------------------

typedef struct BitWriter {
    unsigned char* pb;
    size_t cb;
    size_t cbCap;
    uint64_t qwAcc;                  // pending bits, next stream bit at bit 0
    unsigned nAcc;                   // number of pending bits (< 32 between calls)
    int bOverflow;                   // a store found no room (a reservation was short)
} BitWriter;

// Makes room for cbMore more bytes (plus the accumulator's flush) by growing
// the buffer. Returns 1, or 0 when memory runs out (the buffer is kept).
static int BwReserve(BitWriter* pbw, size_t cbMore)
{
    size_t cbNeed = pbw->cb + cbMore + 16;
    if (cbNeed < pbw->cb)
        return 0;
    if (cbNeed <= pbw->cbCap)
        return 1;
    size_t cbNew = pbw->cbCap ? pbw->cbCap : 256;
    while (cbNew < cbNeed) {
        if (cbNew > ((size_t)-1) / 2)
            return 0;
        cbNew *= 2;
    }
    unsigned char* pbNew = (unsigned char*)realloc(pbw->pb, cbNew);
    if (!pbNew)
        return 0;
    pbw->pb = pbNew;
    pbw->cbCap = cbNew;
    return 1;
}

// Appends the low nBits (<= 32) of dwVal, first stream bit = bit 0. Stores
// only within the reserved buffer; a store without room sets bOverflow.
static inline void BwPut(BitWriter* pbw, uint32_t dwVal, unsigned nBits)
{
    pbw->qwAcc |= (uint64_t)dwVal << pbw->nAcc;
    pbw->nAcc += nBits;
    if (pbw->nAcc >= 32) {
        if (pbw->cb + 4 > pbw->cbCap) {
            pbw->bOverflow = 1;
            pbw->nAcc -= 32;
            pbw->qwAcc >>= 32;
            return;
        }
        unsigned char* pbDst = pbw->pb + pbw->cb;
        pbDst[0] = (unsigned char)pbw->qwAcc;
        pbDst[1] = (unsigned char)(pbw->qwAcc >> 8);
        pbDst[2] = (unsigned char)(pbw->qwAcc >> 16);
        pbDst[3] = (unsigned char)(pbw->qwAcc >> 24);
        pbw->cb += 4;
        pbw->qwAcc >>= 32;
        pbw->nAcc -= 32;
    }
}

// Writes the pending bits, zero-padded to a whole byte. Returns 1, or 0 when
// there was no room (only after a short reservation).
static int BwFlush(BitWriter* pbw)
{
    while (pbw->nAcc > 0) {
        if (pbw->cb >= pbw->cbCap) {
            pbw->bOverflow = 1;
            return 0;
        }
        pbw->pb[pbw->cb++] = (unsigned char)pbw->qwAcc;
        pbw->qwAcc >>= 8;
        pbw->nAcc = pbw->nAcc > 8 ? pbw->nAcc - 8 : 0;
    }
    return !pbw->bOverflow;
}

// ---- Encoder state ---------------------------------------------------------

typedef struct ParseNode {
    uint32_t dwPrice;                // fewest bits to reach this position
    uint16_t wLen;                   // last item: 1 literal, else copy length
    uint16_t wDist;                  // copy distance
} ParseNode;

typedef struct CopyMatch {
    unsigned cbLen;
    unsigned cbDist;
} CopyMatch;

typedef struct ImplodeState {
    const unsigned char* pbIn;
    size_t cbIn;
    unsigned nDictBits;
    unsigned cbDict;
    int bAscii;

    // Per-item codes and costs; a code value already holds the flag bit.
    uint32_t adwLitCode[256];
    unsigned char abLitBits[256];
    uint32_t adwLenCode[IMP_END_MARK + 1];       // flag + length code + extra bits
    unsigned char abLenBits[IMP_END_MARK + 1];
    unsigned char abDistCost[IMP_MAX_DICT + 1];   // distance code + low bits, length >= 3
    unsigned char abDist2Cost[IMP_MAX_DIST2 + 1]; // the same for length 2

    // Match finder: positions modulo 65,536.
    uint16_t awHead2[65536];
    uint16_t awHead3[1 << IMP_HASH3_BITS];        // nearest triple
    uint16_t awHead4[1 << IMP_HASH4_BITS];        // chain heads over 4 bytes
    uint16_t awPrev[IMP_MAX_DICT];

    ParseNode aNode[IMP_SEGMENT + IMP_MAX_COPY + 1];
    uint32_t adwPath[IMP_SEGMENT + 1];
} ImplodeState;

// Fills the code and cost tables for the chosen literal mode and dictionary.
// Reads and changes only *ps.
static void BuildTables(ImplodeState* ps)
{
    for (unsigned b = 0; b < 256; b++) {
        if (ps->bAscii) {
            ps->adwLitCode[b] = (uint32_t)gawLitPattern[b] << 1;
            ps->abLitBits[b] = (unsigned char)(1 + gabLitBits[b]);
        } else {
            ps->adwLitCode[b] = (uint32_t)b << 1;
            ps->abLitBits[b] = 9;
        }
    }
    unsigned iCode = 0;
    for (unsigned cbLen = IMP_MIN_COPY; cbLen <= IMP_END_MARK; cbLen++) {
        while (iCode < 15 && cbLen >= gawLenBase[iCode + 1])
            iCode++;
        uint32_t dwExtra = cbLen - gawLenBase[iCode];
        ps->adwLenCode[cbLen] = 1 | ((uint32_t)gabLenPattern[iCode] << 1) |
                                (dwExtra << (1 + gabLenBits[iCode]));
        ps->abLenBits[cbLen] = (unsigned char)(1 + gabLenBits[iCode] + gabLenExtra[iCode]);
    }
    for (unsigned cbDist = 1; cbDist <= ps->cbDict; cbDist++)
        ps->abDistCost[cbDist] =
            (unsigned char)(gabDistBits[(cbDist - 1) >> ps->nDictBits] + ps->nDictBits);
    for (unsigned cbDist = 1; cbDist <= IMP_MAX_DIST2; cbDist++)
        ps->abDist2Cost[cbDist] = (unsigned char)(gabDistBits[(cbDist - 1) >> 2] + 2);
}

// ---- Match finder ----------------------------------------------------------

// Hash of the 3 bytes at pb, IMP_HASH3_BITS wide.
static inline unsigned Hash3(const unsigned char* pb)
{
    uint32_t dw = (uint32_t)pb[0] | ((uint32_t)pb[1] << 8) | ((uint32_t)pb[2] << 16);
    return (dw * 0x9E3779B1u) >> (32 - IMP_HASH3_BITS);
}

// Hash of the 4 bytes at pb, IMP_HASH4_BITS wide.
static inline unsigned Hash4(const unsigned char* pb)
{
    uint32_t dw = (uint32_t)pb[0] | ((uint32_t)pb[1] << 8) | ((uint32_t)pb[2] << 16) |
                  ((uint32_t)pb[3] << 24);
    return (dw * 0x9E3779B1u) >> (32 - IMP_HASH4_BITS);
}

// Number of equal leading bytes of pbA and pbB, at most cbMax.
static inline unsigned MatchLength(const unsigned char* pbA, const unsigned char* pbB,
                                   unsigned cbMax)
{
    unsigned cb = 0;
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    while (cb + 8 <= cbMax) {
        uint64_t qwA, qwB;
        memcpy(&qwA, pbA + cb, 8);
        memcpy(&qwB, pbB + cb, 8);
        if (qwA != qwB)
            return cb + (unsigned)(__builtin_ctzll(qwA ^ qwB) >> 3);
        cb += 8;
    }
#endif
    while (cb < cbMax && pbA[cb] == pbB[cb])
        cb++;
    return cb;
}

// Distance back to the position recorded as wPos (positions are kept modulo
// 65,536), or 0 when that position cannot be a source for position i: not
// within cbLimit bytes, or before the input.
static inline unsigned SourceDistance(size_t i, uint16_t wPos, unsigned cbLimit)
{
    unsigned cbDist = (uint16_t)((uint16_t)i - wPos);
    return (cbDist <= cbLimit && cbDist <= i) ? cbDist : 0;
}

// Records position i in the match finder without searching.
static inline void InsertPosition(ImplodeState* ps, size_t i)
{
    const unsigned char* pbCur = ps->pbIn + i;
    size_t cbLeft = ps->cbIn - i;
    if (cbLeft >= 2)
        ps->awHead2[pbCur[0] | (pbCur[1] << 8)] = (uint16_t)i;
    if (cbLeft >= 3)
        ps->awHead3[Hash3(pbCur)] = (uint16_t)i;
    if (cbLeft >= 4) {
        unsigned h = Hash4(pbCur);
        ps->awPrev[i & (IMP_MAX_DICT - 1)] = ps->awHead4[h];
        ps->awHead4[h] = (uint16_t)i;
    }
}

// Finds the copies available at position i and records i. *pcbDist2 gets
// the distance of the nearest length-2 copy within reach (0: none). aMatch
// gets copies of 3 or more with strictly growing lengths and distances (for
// each length the nearest, i.e. cheapest, candidate seen); returns their
// count, at most IMP_CHAIN_DEPTH + 1.
//
// The nearest pair and the nearest triple are kept directly, because for
// lengths 2 and 3 the nearest source is the cheapest; longer copies come from
// chains over 4-byte prefixes, which are shorter and more selective than
// chains over 3 bytes would be.
static unsigned FindMatches(ImplodeState* ps, size_t i, unsigned* pcbDist2, CopyMatch* aMatch)
{
    const unsigned char* pbCur = ps->pbIn + i;
    size_t cbLeft = ps->cbIn - i;
    unsigned cbMax = cbLeft < IMP_MAX_COPY ? (unsigned)cbLeft : (unsigned)IMP_MAX_COPY;
    *pcbDist2 = 0;
    if (cbMax < 2)
        return 0;

    unsigned iPair = pbCur[0] | (pbCur[1] << 8);
    unsigned cbDist = SourceDistance(i, ps->awHead2[iPair], IMP_MAX_DIST2);
    if (cbDist && pbCur[0] == pbCur[-(ptrdiff_t)cbDist] && pbCur[1] == pbCur[1 - (ptrdiff_t)cbDist])
        *pcbDist2 = cbDist;
    ps->awHead2[iPair] = (uint16_t)i;
    if (cbMax < 3)
        return 0;

    unsigned nMatch = 0;
    unsigned cbBest = 2;
    unsigned h3 = Hash3(pbCur);
    cbDist = SourceDistance(i, ps->awHead3[h3], ps->cbDict);
    ps->awHead3[h3] = (uint16_t)i;
    if (cbDist) {
        const unsigned char* pbRef = pbCur - cbDist;
        if (pbRef[0] == pbCur[0] && pbRef[1] == pbCur[1] && pbRef[2] == pbCur[2]) {
            cbBest = MatchLength(pbCur, pbRef, cbMax);
            aMatch[0].cbLen = cbBest;
            aMatch[0].cbDist = cbDist;
            nMatch = 1;
        }
    }
    if (cbMax < 4)
        return nMatch;

    unsigned h4 = Hash4(pbCur);
    uint16_t wHead = ps->awHead4[h4];
    unsigned nDepth = IMP_CHAIN_DEPTH;
    cbDist = 0;
    if (cbBest < IMP_NICE_LEN && cbBest < cbMax)
        cbDist = SourceDistance(i, wHead, ps->cbDict);
    while (cbDist) {
        const unsigned char* pbRef = pbCur - cbDist;
        if (pbRef[cbBest] == pbCur[cbBest] && memcmp(pbRef, pbCur, 4) == 0) {
            unsigned cbLen = MatchLength(pbCur, pbRef, cbMax);
            if (cbLen > cbBest) {
                cbBest = cbLen;
                aMatch[nMatch].cbLen = cbLen;
                aMatch[nMatch].cbDist = cbDist;
                nMatch++;
                if (cbLen >= IMP_NICE_LEN || cbLen == cbMax)
                    break;
            }
        }
        if (--nDepth == 0)
            break;
        unsigned cbNext = SourceDistance(i, ps->awPrev[(i - cbDist) & (IMP_MAX_DICT - 1)], ps->cbDict);
        if (cbNext <= cbDist)
            break;
        cbDist = cbNext;
    }
    // Linked after the walk: a candidate exactly 4,096 back shares i's slot.
    ps->awPrev[i & (IMP_MAX_DICT - 1)] = wHead;
    ps->awHead4[h4] = (uint16_t)i;
    return nMatch;
}

// ---- Output of items -------------------------------------------------------

// Writes the literal item for byte b; the caller has reserved room.
static inline void PutLiteral(BitWriter* pbw, const ImplodeState* ps, unsigned char b)
{
    BwPut(pbw, ps->adwLitCode[b], ps->abLitBits[b]);
}

// Writes a copy item of cbLen (2..518) bytes from
// cbDist back (up to 256 for length 2, else up to the dictionary size); the
// caller has reserved room.
static inline void PutCopy(BitWriter* pbw, const ImplodeState* ps, unsigned cbLen, unsigned cbDist)
{
    BwPut(pbw, ps->adwLenCode[cbLen], ps->abLenBits[cbLen]);
    unsigned nLow = cbLen == 2 ? 2 : ps->nDictBits;
    unsigned iHigh = (cbDist - 1) >> nLow;
    uint32_t dwLow = (cbDist - 1) & ((1u << nLow) - 1);
    BwPut(pbw, gabDistPattern[iHigh] | (dwLow << gabDistBits[iHigh]), gabDistBits[iHigh] + nLow);
}

// Writes the cheapest items from segment start s to s + cbCut, as the parse
// in ps->aNode recorded them. The caller has reserved room.
static void EmitPath(ImplodeState* ps, BitWriter* pbw, size_t s, size_t cbCut)
{
    size_t nPath = 0;
    size_t k = cbCut;
    while (k > 0) {
        ps->adwPath[nPath++] = (uint32_t)k;
        k -= ps->aNode[k].wLen;
    }
    while (nPath > 0) {
        k = ps->adwPath[--nPath];
        const ParseNode* pn = &ps->aNode[k];
        if (pn->wLen == 1)
            PutLiteral(pbw, ps, ps->pbIn[s + k - 1]);
        else
            PutCopy(pbw, ps, pn->wLen, pn->wDist);
    }
}

// ---- Parser ----------------------------------------------------------------

// Encodes the whole input into pbw (after the header). Returns 1, or 0 when
// memory runs out. Changes only *ps and *pbw.
static int EncodeItems(ImplodeState* ps, BitWriter* pbw)
{
    const size_t cbIn = ps->cbIn;
    CopyMatch aMatch[IMP_CHAIN_DEPTH + 2];
    size_t s = 0;
    while (s < cbIn) {
        size_t cbSeg = cbIn - s < IMP_SEGMENT ? cbIn - s : (size_t)IMP_SEGMENT;
        size_t cbReach = cbIn - s < cbSeg + IMP_MAX_COPY ? cbIn - s : cbSeg + IMP_MAX_COPY;
        ParseNode* aNode = ps->aNode;
        aNode[0].dwPrice = 0;
        aNode[0].wLen = 0;
        // Nodes are cleared just ahead of the relaxations, so a segment cut
        // short by a long copy costs only what it used.
        size_t cbCleared = 0;

        size_t cbCut = cbSeg;
        unsigned cbLong = 0, cbLongDist = 0;
        // Positions inside a copy of IMP_COVER_LEN or more are recorded but
        // not searched: their copies mostly continue the covering one to the
        // same end, and skipping them saves most of the search on text.
        size_t cbCovered = 0;
        for (size_t j = 0; j < cbSeg; j++) {
            size_t i = s + j;
            size_t cbAhead = j + IMP_MAX_COPY < cbReach ? j + IMP_MAX_COPY : cbReach;
            while (cbCleared < cbAhead)
                aNode[++cbCleared].dwPrice = UINT32_MAX;
            ParseNode* pn = aNode + j;
            uint32_t dwPrice = pn->dwPrice;

            uint32_t dwCost = dwPrice + ps->abLitBits[ps->pbIn[i]];
            if (dwCost < pn[1].dwPrice) {
                pn[1].dwPrice = dwCost;
                pn[1].wLen = 1;
            }

            if (j < cbCovered) {
                InsertPosition(ps, i);
                continue;
            }
            unsigned cbDist2;
            unsigned nMatch = FindMatches(ps, i, &cbDist2, aMatch);
            if (nMatch > 0) {
                unsigned cbLongest = aMatch[nMatch - 1].cbLen;
                if (cbLongest >= IMP_NICE_LEN) {
                    cbCut = j;
                    cbLong = cbLongest;
                    cbLongDist = aMatch[nMatch - 1].cbDist;
                    break;
                }
                if (cbLongest >= IMP_COVER_LEN)
                    cbCovered = j + cbLongest;
            }
            if (cbDist2) {
                dwCost = dwPrice + ps->abLenBits[2] + ps->abDist2Cost[cbDist2];
                if (dwCost < pn[2].dwPrice) {
                    pn[2].dwPrice = dwCost;
                    pn[2].wLen = 2;
                    pn[2].wDist = (uint16_t)cbDist2;
                }
            }
            unsigned cbLen = 3;
            for (unsigned m = 0; m < nMatch; m++) {
                unsigned cbDist = aMatch[m].cbDist;
                uint32_t dwBase = dwPrice + ps->abDistCost[cbDist];
                for (; cbLen <= aMatch[m].cbLen; cbLen++) {
                    dwCost = dwBase + ps->abLenBits[cbLen];
                    if (dwCost < pn[cbLen].dwPrice) {
                        pn[cbLen].dwPrice = dwCost;
                        pn[cbLen].wLen = (uint16_t)cbLen;
                        pn[cbLen].wDist = (uint16_t)cbDist;
                    }
                }
            }
        }

        // At most 15 bits per input byte: a literal takes up to 14, a copy
        // of 2 or more bytes up to 30.
        if (!BwReserve(pbw, (cbCut + cbLong) * 2 + 8))
            return 0;
        EmitPath(ps, pbw, s, cbCut);
        s += cbCut;
        if (cbLong) {
            PutCopy(pbw, ps, cbLong, cbLongDist);
            for (size_t i = s + 1; i < s + cbLong; i++)
                InsertPosition(ps, i);
            s += cbLong;
        }
    }
    return 1;
}

// ---- Interface -------------------------------------------------------------

int Implode(const unsigned char* pbIn, size_t cbIn, int bAscii, unsigned int cbDict,
            unsigned char** ppbOut, size_t* pcbOut)
{
    if (!ppbOut || !pcbOut)
        return 0;
    *ppbOut = NULL;
    *pcbOut = 0;
    if ((bAscii != 0 && bAscii != 1) || (!pbIn && cbIn > 0))
        return 0;
    unsigned nDictBits;
    switch (cbDict) {
    case 1024: nDictBits = 4; break;
    case 2048: nDictBits = 5; break;
    case 4096: nDictBits = 6; break;
    default: return 0;
    }

    ImplodeState* ps = (ImplodeState*)calloc(1, sizeof(ImplodeState));
    if (!ps)
        return 0;
    ps->pbIn = pbIn;
    ps->cbIn = cbIn;
    ps->nDictBits = nDictBits;
    ps->cbDict = cbDict;
    ps->bAscii = bAscii;
    BuildTables(ps);

    BitWriter bw;
    memset(&bw, 0, sizeof(bw));
    int bOk = BwReserve(&bw, cbIn / 2 + IMP_MIN_STREAM);
    if (bOk) {
        bw.pb[bw.cb++] = (unsigned char)bAscii;
        bw.pb[bw.cb++] = (unsigned char)nDictBits;
        bOk = EncodeItems(ps, &bw);
    }
    if (bOk) {
        BwPut(&bw, ps->adwLenCode[IMP_END_MARK], ps->abLenBits[IMP_END_MARK]);
        bOk = BwFlush(&bw);
    }
    if (bOk) {
        while (bw.cb < IMP_MIN_STREAM)
            bw.pb[bw.cb++] = 0;
    }
    free(ps);
    if (!bOk) {
        free(bw.pb);
        return 0;
    }
    *ppbOut = bw.pb;
    *pcbOut = bw.cb;
    return 1;
}

void ImplodeFree(unsigned char* pb)
{
    free(pb);
}
