// Fuzz target for Explode (and UpdateCrc32 over what it writes).
//
// Input: byte 0 chooses how the read callback cuts the input (bit 7: the
// first read too; bits 0-6 seed the piece sizes), the rest is the stream.
// Every input is decoded twice, in pieces and in whole blocks; both must
// agree, and both must keep the callback contract: reads asked for 2,048
// bytes and never again after the end, writes of exactly 4,096 bytes except
// the last, no writes for codes 1 to 3, and the output bounded by what the
// input's bits can express.

#include "package/explode/crc32.h"
#include "package/explode/explode.h"

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

namespace
{

struct FUZZ_RUN
{
    const uint8_t* pbIn;
    size_t cbIn;
    size_t iIn;
    uint32_t dwPieceSeed; // 0: whole blocks
    bool fFirstCut;
    bool fEnded;
    bool fLastWriteSeen;
    unsigned int cReads;
    size_t cbOut;
    uint32_t dwCrc;
};

void Check(bool f)
{
    if (!f)
        abort();
}

unsigned int FuzzRead(char* pbBuf, unsigned int* pcbSize, void* pContext)
{
    FUZZ_RUN* p = (FUZZ_RUN*)pContext;
    Check(*pcbSize == EXPLODE_IN_SIZE);
    Check(!p->fEnded);
    size_t cb = p->cbIn - p->iIn;
    if (cb > *pcbSize)
        cb = *pcbSize;
    if (p->dwPieceSeed != 0 && (p->cReads > 0 || p->fFirstCut))
    {
        p->dwPieceSeed = p->dwPieceSeed * 1103515245u + 12345u;
        size_t cbPiece = 1 + (p->dwPieceSeed >> 16) % 37;
        if (cb > cbPiece)
            cb = cbPiece;
    }
    p->cReads++;
    if (cb > 0)
        memcpy(pbBuf, p->pbIn + p->iIn, cb);
    p->iIn += cb;
    p->fEnded = cb == 0;
    *pcbSize = (unsigned int)cb;
    return (unsigned int)cb;
}

void FuzzWrite(char* pbBuf, unsigned int* pcbSize, void* pContext)
{
    FUZZ_RUN* p = (FUZZ_RUN*)pContext;
    Check(!p->fLastWriteSeen);
    Check(*pcbSize <= EXPLODE_BLOCK_SIZE);
    if (*pcbSize < EXPLODE_BLOCK_SIZE)
        p->fLastWriteSeen = true;
    p->dwCrc = UpdateCrc32((const unsigned char*)pbBuf, *pcbSize, p->dwCrc);
    // The table path against the fast one, on the start of the last block
    // only (on every block it would triple the cost of an execution).
    if (p->fLastWriteSeen)
    {
        unsigned int cb = *pcbSize < 512 ? *pcbSize : 512;
        Check(UpdateCrc32Sliced((const unsigned char*)pbBuf, cb, 0) ==
              UpdateCrc32((const unsigned char*)pbBuf, cb, 0));
    }
    p->cbOut += *pcbSize;
}

unsigned int FuzzDecode(FUZZ_RUN* pRun)
{
    // Not zero-filled: must not matter. Made once, refilled per decode.
    static char* s_pWork = new char[EXPLODE_WORK_SIZE];
    memset(s_pWork, 0xA5, EXPLODE_WORK_SIZE);
    unsigned int nCode = Explode(FuzzRead, FuzzWrite, s_pWork, pRun);
    Check(nCode <= EXPLODE_DATA_ERROR);
    if (nCode == EXPLODE_OK || nCode == EXPLODE_DATA_ERROR)
        Check(pRun->fLastWriteSeen || pRun->cbOut % EXPLODE_BLOCK_SIZE == 0);
    else
        Check(pRun->cbOut == 0 && !pRun->fLastWriteSeen);
    // The cheapest item is a copy of up to 518 bytes in 16 bits or more.
    Check(pRun->cbOut <= (pRun->cbIn * 8 / 16 + 1) * EXPLODE_MAX_COPY);
    return nCode;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pbData, size_t cbData)
{
    if (cbData < 1)
        return 0;
    FUZZ_RUN cut = {pbData + 1, cbData - 1, 0, 0x80000000u | pbData[0], (pbData[0] & 0x80) != 0,
                    false, false, 0, 0, 0xFFFFFFFFu};
    FUZZ_RUN whole = cut;
    whole.dwPieceSeed = 0;
    unsigned int nCut = FuzzDecode(&cut);
    unsigned int nWhole = FuzzDecode(&whole);
    // Cutting the first read short may turn a stream into a short one.
    if (nCut != EXPLODE_SHORT_INPUT || !cut.fFirstCut)
    {
        Check(nCut == nWhole);
        Check(cut.cbOut == whole.cbOut && cut.dwCrc == whole.dwCrc);
    }
    return 0;
}
