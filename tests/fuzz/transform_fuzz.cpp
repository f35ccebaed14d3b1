// Fuzz target for the per-file transforms (engine/transforms).
//
// Input: 16 bytes of entry fields (direction and source flag, delta-block
// count, old size and new size, each cut to 20 bits so that outputs stay
// small), 2 bytes giving the length of the source file, then the source
// bytes, then the payload. Every input runs the delta transform in the
// direction chosen and the whole-file transform on the payload. Checked: no
// read past the payload (ASan), the output never longer than the size asked
// for, a result of 1 only with exactly that many bytes written, a bounded
// number of callbacks (no endless loop), and reads never asked for 0 bytes.

#include "engine/transforms/transforms.h"

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

namespace
{

struct FUZZ_IO
{
    const uint8_t* pbSource;
    size_t cbSource;
    size_t iSource;
    size_t cbOut;
    size_t cbLimit;
    unsigned long cCalls;
};

void Check(bool f)
{
    if (!f)
        abort();
}

size_t FuzzRead(void* pv, unsigned char* pb, size_t cb)
{
    FUZZ_IO* p = (FUZZ_IO*)pv;
    Check(cb > 0);
    Check(++p->cCalls < 10000000ul);
    size_t n = p->cbSource - p->iSource;
    if (n > cb)
        n = cb;
    if (n > 0)
        memcpy(pb, p->pbSource + p->iSource, n);
    p->iSource += n;
    return n;
}

int FuzzWrite(void* pv, const unsigned char* pb, size_t cb)
{
    FUZZ_IO* p = (FUZZ_IO*)pv;
    Check(++p->cCalls < 10000000ul);
    Check(p->cbOut + cb <= p->cbLimit);
    if (cb > 0)
    {
        volatile unsigned char b = pb[0];
        b = pb[cb - 1];
        (void)b;
    }
    p->cbOut += cb;
    return 1;
}

void FuzzGauge(void* pv, int iCommand, uint32_t dwValue)
{
    FUZZ_IO* p = (FUZZ_IO*)pv;
    Check(++p->cCalls < 10000000ul);
    Check(iCommand == XFORM_GAUGE_RANGE || iCommand == XFORM_GAUGE_POS);
    (void)dwValue;
}

uint32_t Get32(const uint8_t* pb)
{
    return (uint32_t)pb[0] | ((uint32_t)pb[1] << 8) | ((uint32_t)pb[2] << 16) | ((uint32_t)pb[3] << 24);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pbData, size_t cbData)
{
    if (cbData < 18)
        return 0;
    uint32_t dwFlags = Get32(pbData);
    uint32_t dwBlocks = Get32(pbData + 4) & 0xFF;
    uint32_t dwOldSize = Get32(pbData + 8) & 0xFFFFF;
    uint32_t dwNewSize = Get32(pbData + 12) & 0xFFFFF;
    size_t cbSource = (size_t)pbData[16] | ((size_t)pbData[17] << 8);
    const uint8_t* pbRest = pbData + 18;
    size_t cbRest = cbData - 18;
    if (cbSource > cbRest)
        cbSource = cbRest;
    // Copies of exactly the right size, so that ASan sees any over-read.
    std::vector<uint8_t> vSource(pbRest, pbRest + cbSource);
    std::vector<uint8_t> vPayload(pbRest + cbSource, pbRest + cbRest);
    int bRevert = dwFlags & 1;
    int bSource = (dwFlags & 2) != 0;

    FUZZ_IO run = {vSource.data(), vSource.size(), 0, 0, bRevert ? dwOldSize : dwNewSize, 0};
    XFORM_IO io = {&run, bSource ? FuzzRead : NULL, FuzzWrite, FuzzGauge};
    int iResult = TransformDelta(bRevert, vPayload.data(), vPayload.size(), dwBlocks, dwOldSize, dwNewSize, &io);
    Check(iResult == XFORM_DONE || iResult == XFORM_FAILED);
    if (iResult == XFORM_DONE)
        Check(run.cbOut == run.cbLimit);

    FUZZ_IO whole = {NULL, 0, 0, 0, dwNewSize, 0};
    XFORM_IO ioWhole = {&whole, NULL, FuzzWrite, FuzzGauge};
    iResult = TransformWholeFile(vPayload.data(), vPayload.size(), dwNewSize, &ioWhole);
    Check(iResult == (dwNewSize <= vPayload.size() ? XFORM_DONE : XFORM_FAILED));
    if (iResult == XFORM_DONE)
        Check(whole.cbOut == dwNewSize);
    return 0;
}
