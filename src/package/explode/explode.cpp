// explode.cpp - decoder for the PKWARE DCL implode format.
//
// Divisions
//   1. Code tables        the format's published codes, in stream bit order
//                         (dcl_tables.cpp, shared with the encoder)
//   2. Work area          the state laid over the caller's buffer
//   3. Table building     256-entry lookups built at the start of each call
//   4. Input              refilling the 64-bit bit buffer from the read callback
//   5. Items              decoding one literal or copy, fast and checked forms
//   6. Explode            the driver: header, item loop, output blocks
//
// The bit buffer holds up to 64 bits, the next stream bit in bit 0. The
// format's rule for the end of input is that every drop must leave 8 bits of
// look-ahead: a drop that would leave fewer than 8 stream bits fails. While
// more than an item's worth (30 bits) plus those 8 bits is buffered, an item
// is decoded without any checks; only near the end of the input, once the
// read callback has reported the end, the checked form runs, which applies
// the rule to each item and so gives the exact same results as a decoder
// that refills its look-ahead one byte at a time.

#include "package/explode/explode.h"
#include "package/explode/dcl_tables.h"

#include <stddef.h>
#include <stdint.h>
#include <string.h>

namespace
{

// ---------------------------------------------------------------------------
// 2. Work area.
// ---------------------------------------------------------------------------

// Bits a single item can take at most: flag 1, length code 7, extra bits 8,
// distance code 8, low part 6.
const unsigned int kcItemBitsMax = 30;

// The look-ahead every drop must leave in the bit buffer.
const unsigned int kcLookAheadBits = 8;

// Below this count the next item might not fit with its look-ahead.
const unsigned int kcFastBitsMin = kcItemBitsMax + kcLookAheadBits;

// Window positions: the output block is [kiBlockStart, kiBlockEnd), the
// 4,096 bytes before it are the history a copy may reach into.
const unsigned int kiBlockStart = EXPLODE_BLOCK_SIZE;
const unsigned int kiBlockEnd = 2 * EXPLODE_BLOCK_SIZE;

// The word-wise copy loop writes whole 8-byte words, up to 7 bytes past the
// copy's end, and a copy of a period under 8 bytes starts with up to 14
// single bytes (12 past the end of a short copy). The window's 16 spare
// bytes beyond the longest copy absorb both.
static_assert(EXPLODE_WINDOW_SIZE >= kiBlockEnd - 1 + EXPLODE_MAX_COPY + 16,
              "the window must hold the longest copy from its last start");

// A length lookup entry: base length in bits 0-15, code bits in 16-23,
// extra bits in 24-31.
// A distance lookup entry: high part in bits 0-7, code bits in 8-15.
// A literal lookup entry: byte value in bits 0-7, the literal code's whole
// bit length in bits 8-15. An entry of the first literal table whose length
// is 0 sends the decoder to the second, third or fourth table.
struct EXPLODE_WORK
{
    EXPLODE_READ pfnRead;
    EXPLODE_WRITE pfnWrite;
    void* pContext;
    unsigned int nMode;          // 0 binary, 1 ASCII literals
    unsigned int nDictBits;      // 4, 5 or 6
    unsigned int dwDictMask;     // 0xFFFF >> (16 - nDictBits)
    unsigned int cbIn;           // bytes in abIn
    unsigned int iIn;            // next byte of abIn to go to the bit buffer
    unsigned int fInputEnded;    // the read callback has delivered 0 bytes
    uint32_t adwLenLookup[256];
    uint16_t awDistLookup[256];
    uint16_t awLitLookup1[256];  // codes of up to 8 bits; 0 = longer code
    uint16_t awLitLookup2[256];  // longer codes, low 6 bits not 0, after 4 bits
    uint16_t awLitLookup3[128];  // longer codes, low 6 bits 0, after 6 bits
    uint16_t awLitLookup4[256];  // codes whose low 8 bits are 0, after 8 bits
    unsigned char abIn[EXPLODE_IN_SIZE];
    unsigned char abWindow[EXPLODE_WINDOW_SIZE];
};

static_assert(sizeof(EXPLODE_WORK) <= EXPLODE_WORK_SIZE, "EXPLODE_WORK_SIZE is too small");

// ---------------------------------------------------------------------------
// 3. Table building.
// ---------------------------------------------------------------------------

// ExplodeFillLookup: stores wEntry at every index below cEntries whose low
// cBits bits equal dwPattern. Indices are the low bits of the bit buffer.
void ExplodeFillLookup(uint16_t* pawLookup, unsigned int cEntries, unsigned int dwPattern,
                       unsigned int cBits, uint16_t wEntry)
{
    for (unsigned int i = dwPattern; i < cEntries; i += 1u << cBits)
        pawLookup[i] = wEntry;
}

// ExplodeBuildTables: fills the length and distance lookups, and for ASCII
// mode the four literal lookups, of pWork. Every code is at most 8 bits long
// except the literal codes, which are split over the four tables by their
// low pattern bits (all literal codes longer than 8 bits start with four 0
// bits, so dropping 4 or 6 bits leaves a code that fits an 8-bit or 7-bit
// lookup). Codes are entered from the last to the first.
void ExplodeBuildTables(EXPLODE_WORK* pWork)
{
    for (int iCode = 15; iCode >= 0; iCode--)
    {
        uint32_t dwEntry = kawLenBase[iCode] | (uint32_t)kabLenCodeBits[iCode] << 16 |
                           (uint32_t)kabLenExtraBits[iCode] << 24;
        for (unsigned int i = kabLenCodePattern[iCode]; i < 256; i += 1u << kabLenCodeBits[iCode])
            pWork->adwLenLookup[i] = dwEntry;
    }
    for (int iCode = 63; iCode >= 0; iCode--)
        ExplodeFillLookup(pWork->awDistLookup, 256, kabDistCodePattern[iCode], kabDistCodeBits[iCode],
                          (uint16_t)(iCode | kabDistCodeBits[iCode] << 8));
    if (pWork->nMode != 1)
        return;

    memset(pWork->awLitLookup1, 0, sizeof(pWork->awLitLookup1));
    for (int iValue = 255; iValue >= 0; iValue--)
    {
        unsigned int cBits = kabLitCodeBits[iValue];
        unsigned int dwPattern = kawLitCodePattern[iValue];
        uint16_t wEntry = (uint16_t)(iValue | cBits << 8);
        if (cBits <= 8)
            ExplodeFillLookup(pWork->awLitLookup1, 256, dwPattern, cBits, wEntry);
        else if ((dwPattern & 0xFF) != 0)
        {
            pWork->awLitLookup1[dwPattern & 0xFF] = 0;
            if ((dwPattern & 0x3F) != 0)
                ExplodeFillLookup(pWork->awLitLookup2, 256, dwPattern >> 4, cBits - 4, wEntry);
            else
                ExplodeFillLookup(pWork->awLitLookup3, 128, dwPattern >> 6, cBits - 6, wEntry);
        }
        else
            ExplodeFillLookup(pWork->awLitLookup4, 256, dwPattern >> 8, cBits - 8, wEntry);
    }
}

// ---------------------------------------------------------------------------
// 4. Input.
// ---------------------------------------------------------------------------

// ExplodeLoad64: the 8 bytes at pb as a little-endian number (compilers turn
// this into one load on little-endian machines).
inline uint64_t ExplodeLoad64(const unsigned char* pb)
{
    return (uint64_t)pb[0] | (uint64_t)pb[1] << 8 | (uint64_t)pb[2] << 16 | (uint64_t)pb[3] << 24 |
           (uint64_t)pb[4] << 32 | (uint64_t)pb[5] << 40 | (uint64_t)pb[6] << 48 |
           (uint64_t)pb[7] << 56;
}

// ExplodeReadBlock: asks the read callback for a new input block.
// Returns the number of bytes delivered (cut to the buffer's size); sets
// fInputEnded when it is 0, after which the callback is not asked again.
unsigned int ExplodeReadBlock(EXPLODE_WORK* pWork)
{
    unsigned int cbWanted = EXPLODE_IN_SIZE;
    unsigned int cbGot = pWork->pfnRead((char*)pWork->abIn, &cbWanted, pWork->pContext);
    if (cbGot > EXPLODE_IN_SIZE)
        cbGot = EXPLODE_IN_SIZE;
    pWork->cbIn = cbGot;
    pWork->iIn = 0;
    if (cbGot == 0)
        pWork->fInputEnded = 1;
    return cbGot;
}

// ExplodeRefillSlow: moves input bytes into the bit buffer one at a time
// until it holds more than 56 bits; asks the read callback for more only
// when the buffer holds fewer than kcFastBitsMin bits. So on return either
// *pcBits >= kcFastBitsMin, or the input has ended and every input byte is
// in the buffer.
void ExplodeRefillSlow(EXPLODE_WORK* pWork, uint64_t* pqwBits, unsigned int* pcBits)
{
    while (*pcBits <= 56)
    {
        if (pWork->iIn < pWork->cbIn)
        {
            *pqwBits |= (uint64_t)pWork->abIn[pWork->iIn++] << *pcBits;
            *pcBits += 8;
        }
        else if (*pcBits >= kcFastBitsMin || pWork->fInputEnded || ExplodeReadBlock(pWork) == 0)
            break;
    }
}

// ExplodeRefill: as ExplodeRefillSlow, eight bytes at a time while the
// input block has them. Bits above *pcBits may hold the next input bits
// afterwards (never anything else), so later refills can OR the same bytes
// in again at the same place.
inline void ExplodeRefill(EXPLODE_WORK* pWork, uint64_t* pqwBits, unsigned int* pcBits)
{
    if (pWork->iIn + 8 <= pWork->cbIn)
    {
        *pqwBits |= ExplodeLoad64(pWork->abIn + pWork->iIn) << *pcBits;
        pWork->iIn += (63 - *pcBits) >> 3;
        *pcBits |= 56;
    }
    else
        ExplodeRefillSlow(pWork, pqwBits, pcBits);
}

// ---------------------------------------------------------------------------
// 5. Items.
// ---------------------------------------------------------------------------

// Results of ExplodeItem.
enum
{
    EXPLODE_ITEM_DONE = 0,  // a literal or copy went to the window
    EXPLODE_ITEM_END = 1,   // the end mark
    EXPLODE_ITEM_ERROR = 2  // the input ended inside the item
};

// ExplodeCopy: copies cbLen bytes from cbDist bytes behind pbOut to pbOut,
// front to back, so that a copy overlapping its own output repeats it.
// May write up to 12 bytes past the copy's end (the window's spare bytes):
// they lie beyond the output position, so no write callback and no copy
// sees them before later output replaces them.
inline void ExplodeCopy(unsigned char* pbOut, unsigned int cbDist, unsigned int cbLen)
{
    unsigned int i = 0;
    unsigned int cbStride = cbDist;
    if (cbDist < 8)
    {
        // A period shorter than a word: lay down a whole multiple of the
        // period of at least 8 bytes one byte at a time, then repeat that.
        while (cbStride < 8)
            cbStride += cbDist;
        for (; i < cbStride; i++)
            pbOut[i] = pbOut[(int)i - (int)cbDist];
    }
    for (; i < cbLen; i += 8)
        memcpy(pbOut + i, pbOut + i - cbStride, 8);
}

// ExplodeItem: decodes one item at the front of the bit buffer and puts
// its bytes at *ppbOut, which moves on past them.
// fChecked false: the caller guarantees at least kcFastBitsMin bits in the
// buffer, so no drop can fail. fChecked true: the buffer holds every input
// bit there is (fewer than kcFastBitsMin), bits above *pcBits are 0, and
// each drop must leave 8 bits: if the length code's drop does not, or the
// item as a whole does not, it is an error; the end mark stands even when
// the drop of its own extra bits fails (its last bit is the input's last).
// Returns EXPLODE_ITEM_DONE, _END or _ERROR; on _ERROR nothing is written.
template <bool fChecked>
inline unsigned int ExplodeItem(const EXPLODE_WORK* pWork, uint64_t* pqwBits, unsigned int* pcBits,
                                unsigned char** ppbOut)
{
    uint64_t qwBits = *pqwBits;
    unsigned int cUsed;
    if ((qwBits & 1) == 0)
    {
        unsigned int bLiteral;
        if (pWork->nMode == 0)
        {
            bLiteral = (unsigned int)(qwBits >> 1) & 0xFF;
            cUsed = 9;
        }
        else
        {
            unsigned int dwLow = (unsigned int)(qwBits >> 1);
            unsigned int wEntry = pWork->awLitLookup1[dwLow & 0xFF];
            if ((wEntry >> 8) == 0)
            {
                if ((dwLow & 0xFF) == 0)
                    wEntry = pWork->awLitLookup4[(dwLow >> 8) & 0xFF];
                else if ((dwLow & 0x3F) != 0)
                    wEntry = pWork->awLitLookup2[(dwLow >> 4) & 0xFF];
                else
                    wEntry = pWork->awLitLookup3[(dwLow >> 6) & 0x7F];
            }
            bLiteral = wEntry & 0xFF;
            cUsed = 1 + (wEntry >> 8);
        }
        if (fChecked && *pcBits < cUsed + kcLookAheadBits)
            return EXPLODE_ITEM_ERROR;
        **ppbOut = (unsigned char)bLiteral;
        *ppbOut += 1;
    }
    else
    {
        uint32_t dwLen = pWork->adwLenLookup[(qwBits >> 1) & 0xFF];
        unsigned int cCodeBits = (dwLen >> 16) & 0xFF;
        unsigned int cExtraBits = dwLen >> 24;
        cUsed = 1 + cCodeBits;
        if (fChecked && *pcBits < cUsed + kcLookAheadBits)
            return EXPLODE_ITEM_ERROR;
        unsigned int cbLen = (dwLen & 0xFFFF) + ((unsigned int)(qwBits >> cUsed) & ((1u << cExtraBits) - 1));
        if (cbLen == EXPLODE_MAX_COPY + 1)
            return EXPLODE_ITEM_END;
        cUsed += cExtraBits;
        unsigned int wDist = pWork->awDistLookup[(qwBits >> cUsed) & 0xFF];
        cUsed += wDist >> 8;
        unsigned int cLowBits = cbLen == 2 ? 2 : pWork->nDictBits;
        unsigned int dwLowMask = cbLen == 2 ? 3 : pWork->dwDictMask;
        unsigned int cbDist = (((wDist & 0xFF) << cLowBits) | ((unsigned int)(qwBits >> cUsed) & dwLowMask)) + 1;
        cUsed += cLowBits;
        if (fChecked && *pcBits < cUsed + kcLookAheadBits)
            return EXPLODE_ITEM_ERROR;
        // The distance is at most 4,096 and the output position at least
        // 4,096, so the source lies inside the window (zeros before the
        // first output byte).
        ExplodeCopy(*ppbOut, cbDist, cbLen);
        *ppbOut += cbLen;
    }
    *pqwBits = qwBits >> cUsed;
    *pcBits -= cUsed;
    return EXPLODE_ITEM_DONE;
}

// ExplodeWrite: hands cb bytes at pb to the write callback.
inline void ExplodeWrite(EXPLODE_WORK* pWork, unsigned char* pb, unsigned int cb)
{
    pWork->pfnWrite((char*)pb, &cb, pWork->pContext);
}

} // namespace

// ---------------------------------------------------------------------------
// 6. Explode.
// ---------------------------------------------------------------------------

unsigned int Explode(EXPLODE_READ pfnRead, EXPLODE_WRITE pfnWrite, char* pWorkArea, void* pContext)
{
    EXPLODE_WORK* pWork = (EXPLODE_WORK*)pWorkArea;
    pWork->pfnRead = pfnRead;
    pWork->pfnWrite = pfnWrite;
    pWork->pContext = pContext;
    pWork->fInputEnded = 0;
    if (ExplodeReadBlock(pWork) <= 4)
        return EXPLODE_SHORT_INPUT;

    pWork->nMode = pWork->abIn[0];
    pWork->nDictBits = pWork->abIn[1];
    if (pWork->nDictBits < 4 || pWork->nDictBits > 6)
        return EXPLODE_BAD_DICT;
    pWork->dwDictMask = 0xFFFFu >> (16 - pWork->nDictBits);
    if (pWork->nMode > 1)
        return EXPLODE_BAD_MODE;
    ExplodeBuildTables(pWork);

    // The history before the first output byte is zeros. Cleared here so
    // that a reused work area decodes the same as a fresh one.
    memset(pWork->abWindow, 0, kiBlockStart);

    pWork->iIn = 2;
    uint64_t qwBits = 0;
    unsigned int cBits = 0;
    unsigned char* pbWindow = pWork->abWindow;
    unsigned char* pbOut = pbWindow + kiBlockStart;
    unsigned char* pbBlockEnd = pbWindow + kiBlockEnd;
    unsigned int nItem = EXPLODE_ITEM_DONE;
    for (;;)
    {
        if (cBits < kcFastBitsMin)
            ExplodeRefill(pWork, &qwBits, &cBits);
        if (cBits >= kcFastBitsMin)
            nItem = ExplodeItem<false>(pWork, &qwBits, &cBits, &pbOut);
        else
        {
            // All of the input is in the buffer; clear the bits above it,
            // so that codes read past its end see zeros.
            qwBits &= (UINT64_C(1) << cBits) - 1;
            nItem = ExplodeItem<true>(pWork, &qwBits, &cBits, &pbOut);
        }
        if (nItem != EXPLODE_ITEM_DONE)
            break;
        if (pbOut >= pbBlockEnd)
        {
            ExplodeWrite(pWork, pbWindow + kiBlockStart, EXPLODE_BLOCK_SIZE);
            memmove(pbWindow, pbWindow + EXPLODE_BLOCK_SIZE, (size_t)(pbOut - (pbWindow + kiBlockStart)));
            pbOut -= EXPLODE_BLOCK_SIZE;
        }
    }
    ExplodeWrite(pWork, pbWindow + kiBlockStart, (unsigned int)(pbOut - (pbWindow + kiBlockStart)));
    return nItem == EXPLODE_ITEM_ERROR ? EXPLODE_DATA_ERROR : EXPLODE_OK;
}
