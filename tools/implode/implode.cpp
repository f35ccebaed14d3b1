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

#include "package/explode/dcl_tables.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

// The format's published code tables are shared with the decoder
// (package/explode/dcl_tables.h).

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
            ps->adwLitCode[b] = (uint32_t)kawLitCodePattern[b] << 1;
            ps->abLitBits[b] = (unsigned char)(1 + kabLitCodeBits[b]);
        } else {
            ps->adwLitCode[b] = (uint32_t)b << 1;
            ps->abLitBits[b] = 9;
        }
    }
    unsigned iCode = 0;
    for (unsigned cbLen = IMP_MIN_COPY; cbLen <= IMP_END_MARK; cbLen++) {
        while (iCode < 15 && cbLen >= kawLenBase[iCode + 1])
            iCode++;
        uint32_t dwExtra = cbLen - kawLenBase[iCode];
        ps->adwLenCode[cbLen] = 1 | ((uint32_t)kabLenCodePattern[iCode] << 1) |
                                (dwExtra << (1 + kabLenCodeBits[iCode]));
        ps->abLenBits[cbLen] = (unsigned char)(1 + kabLenCodeBits[iCode] + kabLenExtraBits[iCode]);
    }
    for (unsigned cbDist = 1; cbDist <= ps->cbDict; cbDist++)
        ps->abDistCost[cbDist] =
            (unsigned char)(kabDistCodeBits[(cbDist - 1) >> ps->nDictBits] + ps->nDictBits);
    for (unsigned cbDist = 1; cbDist <= IMP_MAX_DIST2; cbDist++)
        ps->abDist2Cost[cbDist] = (unsigned char)(kabDistCodeBits[(cbDist - 1) >> 2] + 2);
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
    BwPut(pbw, kabDistCodePattern[iHigh] | (dwLow << kabDistCodeBits[iHigh]), kabDistCodeBits[iHigh] + nLow);
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
