/*
 * transforms.cpp - whole-file and delta-block transforms (transforms.h).
 *
 * Positions are 64-bit so that no sum of two 32-bit fields can wrap. The
 * only memory is two fixed work buffers on the stack: copy runs and block
 * data stream through them, whatever the file size.
 */
#include "engine/transforms/transforms.h"

#include <string.h>

#define XFORM_CHUNK 32768
#define XFORM_GAUGE_STEP 1024

typedef unsigned long long QWORD64;

static uint32_t XformGet32(const unsigned char* pb)
{
    return (uint32_t)pb[0] | ((uint32_t)pb[1] << 8) | ((uint32_t)pb[2] << 16) | ((uint32_t)pb[3] << 24);
}

static void XformGauge(XFORM_IO* pIo, int iCommand, uint32_t dwValue)
{
    if (pIo->pfnGauge) pIo->pfnGauge(pIo->pvContext, iCommand, dwValue);
}

static void XformGaugeStart(XFORM_IO* pIo, uint32_t dwSize)
{
    XformGauge(pIo, XFORM_GAUGE_RANGE, dwSize <= XFORM_GAUGE_STEP ? dwSize : dwSize / XFORM_GAUGE_STEP);
    XformGauge(pIo, XFORM_GAUGE_POS, 0);
}

/* Reads exactly cb source bytes; 0 when the source ends first. */
static int XformReadExact(XFORM_IO* pIo, unsigned char* pb, size_t cb)
{
    while (cb > 0) {
        size_t cbGot = pIo->pfnRead(pIo->pvContext, pb, cb);
        if (cbGot == 0 || cbGot > cb) return 0;
        pb += cbGot;
        cb -= cbGot;
    }
    return 1;
}

int TransformReadHeader(const unsigned char* pbPayload, size_t cbPayload, uint32_t i, XFORM_BLOCK* pBlock,
                        size_t* pcbData)
{
    QWORD64 qwPos = 0;
    uint32_t k;
    for (k = 0;; k++) {
        if (qwPos + XFORM_HEADER_SIZE > cbPayload) return 0;
        const unsigned char* pb = pbPayload + qwPos;
        pBlock->dwOldOffset = XformGet32(pb + 4);
        pBlock->dwNewOffset = XformGet32(pb + 8);
        pBlock->dwOldLength = XformGet32(pb + 12);
        pBlock->dwNewLength = XformGet32(pb + 16);
        if (k == i) {
            if (pcbData) *pcbData = (size_t)(qwPos + XFORM_HEADER_SIZE);
            return 1;
        }
        qwPos += XFORM_HEADER_SIZE;
        qwPos += pBlock->dwOldLength > pBlock->dwNewLength ? pBlock->dwOldLength : pBlock->dwNewLength;
    }
}

int TransformWholeFile(const unsigned char* pbPayload, size_t cbPayload, uint32_t dwNewSize, XFORM_IO* pIo)
{
    QWORD64 qwPos = 0;
    XformGaugeStart(pIo, dwNewSize);
    if ((QWORD64)dwNewSize > (QWORD64)cbPayload) return XFORM_FAILED;
    while (qwPos < dwNewSize) {
        size_t cb = (size_t)(dwNewSize - qwPos < XFORM_CHUNK ? dwNewSize - qwPos : XFORM_CHUNK);
        QWORD64 qwMark;
        if (!pIo->pfnWrite(pIo->pvContext, pbPayload + qwPos, cb)) return XFORM_FAILED;
        /* The position follows every written byte index that is a multiple of 1,024. */
        for (qwMark = (qwPos + XFORM_GAUGE_STEP - 1) / XFORM_GAUGE_STEP * XFORM_GAUGE_STEP; qwMark < qwPos + cb;
             qwMark += XFORM_GAUGE_STEP)
            XformGauge(pIo, XFORM_GAUGE_POS, (uint32_t)(qwMark / XFORM_GAUGE_STEP));
        qwPos += cb;
    }
    return XFORM_DONE;
}

/* The state of one delta application. */
typedef struct XFORM_RUN {
    XFORM_IO* pIo;
    QWORD64 qwOut;   /* bytes written */
    QWORD64 qwIn;    /* source bytes consumed (counted also without a source) */
    unsigned char abSource[XFORM_CHUNK];
    unsigned char abOut[XFORM_CHUNK];
} XFORM_RUN;

/* Copies source bytes until the output holds qwTo bytes. */
static int XformCopyRun(XFORM_RUN* pRun, QWORD64 qwTo)
{
    XFORM_IO* pIo = pRun->pIo;
    if (qwTo <= pRun->qwOut) return 1;
    if (!pIo->pfnRead) return 0;
    while (pRun->qwOut < qwTo) {
        size_t cb = (size_t)(qwTo - pRun->qwOut < XFORM_CHUNK ? qwTo - pRun->qwOut : XFORM_CHUNK);
        QWORD64 qwMark;
        if (!XformReadExact(pIo, pRun->abSource, cb)) return 0;
        if (!pIo->pfnWrite(pIo->pvContext, pRun->abSource, cb)) return 0;
        for (qwMark = (pRun->qwOut / XFORM_GAUGE_STEP + 1) * XFORM_GAUGE_STEP; qwMark <= pRun->qwOut + cb;
             qwMark += XFORM_GAUGE_STEP)
            XformGauge(pIo, XFORM_GAUGE_POS, (uint32_t)(qwMark / XFORM_GAUGE_STEP));
        pRun->qwOut += cb;
        pRun->qwIn += cb;
    }
    return 1;
}

/* Applies one block: reads cbIn source bytes, writes cbOut, data at pbData
 * (max(cbIn, cbOut) bytes, checked by the caller). */
static int XformBlock(XFORM_RUN* pRun, const unsigned char* pbData, uint32_t cbIn, uint32_t cbOut)
{
    XFORM_IO* pIo = pRun->pIo;
    QWORD64 qwDone = 0;
    uint32_t cbMin = cbIn < cbOut ? cbIn : cbOut;
    /* The XOR part: source bytes (zeros without a source) XOR data. */
    while (qwDone < cbMin) {
        size_t cb = (size_t)(cbMin - qwDone < XFORM_CHUNK ? cbMin - qwDone : XFORM_CHUNK);
        size_t i;
        if (pIo->pfnRead) {
            if (!XformReadExact(pIo, pRun->abSource, cb)) return 0;
            for (i = 0; i < cb; i++) pRun->abOut[i] = (unsigned char)(pRun->abSource[i] ^ pbData[qwDone + i]);
            if (!pIo->pfnWrite(pIo->pvContext, pRun->abOut, cb)) return 0;
        } else if (!pIo->pfnWrite(pIo->pvContext, pbData + qwDone, cb)) {
            return 0;
        }
        qwDone += cb;
    }
    /* The longer side's plain bytes: written when the output is longer,
     * passed over in both the data and the source when the source is. */
    if (cbOut > cbMin) {
        if (!pIo->pfnWrite(pIo->pvContext, pbData + cbMin, cbOut - cbMin)) return 0;
    } else if (cbIn > cbMin && pIo->pfnRead) {
        QWORD64 qwSkip = cbIn - cbMin;
        while (qwSkip > 0) {
            size_t cb = (size_t)(qwSkip < XFORM_CHUNK ? qwSkip : XFORM_CHUNK);
            if (!XformReadExact(pIo, pRun->abSource, cb)) return 0;
            qwSkip -= cb;
        }
    }
    pRun->qwOut += cbOut;
    pRun->qwIn += cbIn;
    return 1;
}

int TransformDelta(int bRevert, const unsigned char* pbPayload, size_t cbPayload, uint32_t dwBlocks,
                   uint32_t dwOldSize, uint32_t dwNewSize, XFORM_IO* pIo)
{
    XFORM_RUN run;
    const uint32_t dwSize = bRevert ? dwOldSize : dwNewSize;
    const QWORD64 qwPayload = cbPayload;
    QWORD64 qwPos = 0;
    uint32_t cRead = 0, cHeaders = dwBlocks ? dwBlocks : 1;
    int bFinished = 0, bFirst = 1;
    uint32_t dwInOff = 0, dwOutOff = 0, dwInLen = 0, dwOutLen = 0;

    run.pIo = pIo;
    run.qwOut = 0;
    run.qwIn = 0;
    XformGaugeStart(pIo, dwSize);

    for (;;) {
        if (!bFinished) {
            /* Read the next header. */
            if (qwPos + XFORM_HEADER_SIZE > qwPayload) return XFORM_FAILED;
            const unsigned char* pb = pbPayload + qwPos;
            uint32_t dwOldOff = XformGet32(pb + 4), dwNewOff = XformGet32(pb + 8);
            uint32_t dwOldLen = XformGet32(pb + 12), dwNewLen = XformGet32(pb + 16);
            qwPos += XFORM_HEADER_SIZE;
            cRead++;
            dwInOff = bRevert ? dwNewOff : dwOldOff;
            dwOutOff = bRevert ? dwOldOff : dwNewOff;
            dwInLen = bRevert ? dwNewLen : dwOldLen;
            dwOutLen = bRevert ? dwOldLen : dwNewLen;
            if (dwOutOff == 0 && dwOutLen == 0 && (bRevert || !bFirst)) bFinished = 1;
        }
        if (bFinished || run.qwOut >= dwSize) break;

        /* The copy run up to the block (the first header of an upgrade
         * that produces nothing at 0 asks for one up to its old offset). */
        QWORD64 qwTo = (dwOutOff == 0 && dwOutLen == 0) ? dwInOff : dwOutOff;
        if (qwTo < run.qwOut || qwTo > dwSize) return XFORM_FAILED;
        if (!XformCopyRun(&run, qwTo)) return XFORM_FAILED;

        if (run.qwOut == dwOutOff) {
            QWORD64 qwData = dwInLen > dwOutLen ? dwInLen : dwOutLen;
            if (pIo->pfnRead && run.qwIn != dwInOff) return XFORM_FAILED;
            if ((QWORD64)dwOutOff + dwOutLen > dwSize) return XFORM_FAILED;
            if (qwPos + qwData > qwPayload) return XFORM_FAILED;
            if (!XformBlock(&run, pbPayload + qwPos, dwInLen, dwOutLen)) return XFORM_FAILED;
            qwPos += qwData;
        }
        bFirst = 0;
        if (cRead >= cHeaders) bFinished = 1;
    }

    /* After the list: the rest of the source. */
    if (!XformCopyRun(&run, dwSize)) return XFORM_FAILED;
    if (dwSize <= XFORM_GAUGE_STEP) XformGauge(pIo, XFORM_GAUGE_POS, dwSize);
    else XformGauge(pIo, XFORM_GAUGE_RANGE, dwSize / XFORM_GAUGE_STEP);
    return XFORM_DONE;
}
