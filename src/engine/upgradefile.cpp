/*
 * upgradefile.cpp - UpgradeFile and RevertFile: the pure transforms of
 * engine/transforms run on open streams, with the version test of a kind-1
 * source, the log lines and the file gauge.
 */
#include "engine/engine_private.h"
#include "engine/transforms/transforms.h"

#include "package/explode/crc32.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "shell/utils.h"

#include <string.h>

/* The streams of one transform with buffers of their own: a delta moves
 * its bytes in short runs and blocks, and the streams' small default
 * buffers would turn each into a system call. */
#define ENGINE_STREAM_BUFFER 65536

typedef struct ENGINE_STREAMS {
    PLATFILE* pfSource;
    PLATFILE* pfOut;
    BYTE* pbIn;      /* ENGINE_STREAM_BUFFER bytes read ahead */
    size_t cbIn;
    size_t iIn;
    BYTE* pbOut;     /* ENGINE_STREAM_BUFFER bytes waiting to be written */
    size_t cbOut;
    int bWriteFailed;
    DWORD dwCrc;     /* running CRC-32 of the source bytes delivered */
    DWORD dwOutCrc;  /* running CRC-32 of the bytes written */
    unsigned long long qwOut; /* bytes written */
} ENGINE_STREAMS;

/* What the last transform wrote (EngineLastOutput). */
static int s_bOutputKnown;
static DWORD s_dwOutputCrc;
static unsigned long long s_qwOutputSize;

int EngineLastOutput(DWORD* pdwCrc, DWORD* pdwSize)
{
    if (!s_bOutputKnown || s_qwOutputSize > 0xFFFFFFFFull) return 0;
    *pdwCrc = ~s_dwOutputCrc;
    *pdwSize = (DWORD)s_qwOutputSize;
    return 1;
}

/* Keeps what the streams wrote for EngineLastOutput (1) or forgets it (0). */
static void EngineNoteOutput(const ENGINE_STREAMS* p, int bKnown)
{
    s_bOutputKnown = bKnown;
    s_dwOutputCrc = p ? p->dwOutCrc : 0;
    s_qwOutputSize = p ? p->qwOut : 0;
}

static size_t EngineReadRaw(ENGINE_STREAMS* p, unsigned char* pb, size_t cb)
{
    size_t cbDone = 0;
    if (!p->pbIn) return PlatFread(pb, 1, cb, p->pfSource);
    while (cbDone < cb) {
        if (p->iIn == p->cbIn) {
            if (cb - cbDone >= ENGINE_STREAM_BUFFER) return cbDone + PlatFread(pb + cbDone, 1, cb - cbDone, p->pfSource);
            p->cbIn = PlatFread(p->pbIn, 1, ENGINE_STREAM_BUFFER, p->pfSource);
            p->iIn = 0;
            if (p->cbIn == 0) break;
        }
        size_t cbTake = p->cbIn - p->iIn < cb - cbDone ? p->cbIn - p->iIn : cb - cbDone;
        memcpy(pb + cbDone, p->pbIn + p->iIn, cbTake);
        p->iIn += cbTake;
        cbDone += cbTake;
    }
    return cbDone;
}

static size_t EngineRead(void* pvContext, unsigned char* pb, size_t cb)
{
    ENGINE_STREAMS* p = (ENGINE_STREAMS*)pvContext;
    size_t cbGot = EngineReadRaw(p, pb, cb);
    if (cbGot) p->dwCrc = UpdateCrc32(pb, (unsigned int)cbGot, p->dwCrc);
    return cbGot;
}

static int EngineFlush(ENGINE_STREAMS* p)
{
    if (p->cbOut > 0 && PlatFwrite(p->pbOut, 1, p->cbOut, p->pfOut) != p->cbOut) p->bWriteFailed = 1;
    p->cbOut = 0;
    return !p->bWriteFailed;
}

static int EngineWrite(void* pvContext, const unsigned char* pb, size_t cb)
{
    ENGINE_STREAMS* p = (ENGINE_STREAMS*)pvContext;
    if (p->bWriteFailed) return 0;
    /* The output's CRC-32 is taken as it goes out: the file holds exactly
     * these bytes once every write and the close succeeded. */
    if (cb) p->dwOutCrc = UpdateCrc32(pb, (unsigned int)cb, p->dwOutCrc);
    p->qwOut += cb;
    if (!p->pbOut) return PlatFwrite(pb, 1, cb, p->pfOut) == cb;
    if (p->cbOut + cb > ENGINE_STREAM_BUFFER) {
        if (!EngineFlush(p)) return 0;
        if (cb >= ENGINE_STREAM_BUFFER) return PlatFwrite(pb, 1, cb, p->pfOut) == cb;
    }
    memcpy(p->pbOut + p->cbOut, pb, cb);
    p->cbOut += cb;
    return 1;
}

/* Sets up the buffers (without them the streams are used directly). */
static void EngineStreamsOpen(ENGINE_STREAMS* p, PLATFILE* pfSource, PLATFILE* pfOut)
{
    memset(p, 0, sizeof(*p));
    p->dwCrc = 0xFFFFFFFFu;
    p->dwOutCrc = 0xFFFFFFFFu;
    p->pfSource = pfSource;
    p->pfOut = pfOut;
    p->pbOut = (BYTE*)PlatHeapAlloc(ENGINE_STREAM_BUFFER);
    if (pfSource) p->pbIn = (BYTE*)PlatHeapAlloc(ENGINE_STREAM_BUFFER);
}

/* Writes what waits and frees the buffers; 0 when a write failed. */
static int EngineStreamsClose(ENGINE_STREAMS* p)
{
    int bOk = 1;
    if (p->pbOut) {
        bOk = EngineFlush(p);
        PlatHeapFree(p->pbOut);
    }
    if (p->pbIn) PlatHeapFree(p->pbIn);
    return bOk && !p->bWriteFailed;
}

/* The file gauge gets its range, its first and last positions, and the
 * positions between at most every ENGINE_GAUGE_MS: a transform reports one
 * per kilobyte, and each costs a repaint and a pass of the message loop
 * that no one could see. */
#define ENGINE_GAUGE_MS 15
static uint32_t s_dwGaugeRange;
static DWORD s_dwGaugeTick;

static void EngineGaugeCommand(void* pvContext, int iCommand, uint32_t dwValue)
{
    (void)pvContext;
    if (iCommand == XFORM_GAUGE_RANGE) {
        s_dwGaugeRange = dwValue;
    } else if (iCommand == XFORM_GAUGE_POS && dwValue != 0 && dwValue < s_dwGaugeRange) {
        DWORD dwNow = PlatGetTickCount();
        if (dwNow - s_dwGaugeTick < ENGINE_GAUGE_MS) return;
        s_dwGaugeTick = dwNow;
    }
    EngineGauge(ghGaugeFile, iCommand, dwValue);
}

#define ENGINE_CRC_BUFFER 65536

int EngineSourceMatches(PLATFILE* pfSource, DWORD dwSize, DWORD dwCrc)
{
    DWORD dwRunning = 0xFFFFFFFFu;
    BYTE* pbBuffer;
    int bOk = 1;
    if (!pfSource) return 0;
    if (StreamSize(pfSource) != dwSize || PlatFsize(pfSource) != (long long)dwSize) return 0;
    /* The CRC-32 in large reads: this pass is as long as the transform's own. */
    pbBuffer = (BYTE*)PlatHeapAlloc(ENGINE_CRC_BUFFER);
    if (!pbBuffer) return FileCrc32(pfSource) == dwCrc;
    PlatFseek(pfSource, 0, 0);
    for (;;) {
        size_t cbRead = PlatFread(pbBuffer, 1, ENGINE_CRC_BUFFER, pfSource);
        if (cbRead == 0) break;
        dwRunning = UpdateCrc32(pbBuffer, (unsigned int)cbRead, dwRunning);
    }
    if (PlatFerror(pfSource)) bOk = 0;
    PlatHeapFree(pbBuffer);
    PlatFseek(pfSource, 0, 0);
    return bOk && ~dwRunning == dwCrc;
}

/* Applies a delta. With a source of known size and CRC-32 (kind 1), the
 * checksum is taken from the bytes the transform reads, and the rest of the
 * source afterwards, so the installed file is read once: a mismatch gives
 * XFORM_NOT_APPLICABLE and the output is to be thrown away. */
static int EngineTransform(int bRevert, PLATFILE* pfSource, PLATFILE* pfOut, const BYTE* pbPayload, DWORD cbPayload,
                           const FILEENTRY_FIELDS* pFields, int bCheck, DWORD dwCrc)
{
    ENGINE_STREAMS streams;
    XFORM_IO io;
    int iResult;
    EngineStreamsOpen(&streams, pfSource, pfOut);
    io.pvContext = &streams;
    io.pfnRead = pfSource ? EngineRead : NULL;
    io.pfnWrite = EngineWrite;
    io.pfnGauge = EngineGaugeCommand;
    iResult = TransformDelta(bRevert, pbPayload, cbPayload, pFields->dwDeltaBlocks, pFields->dwOldSize,
                             pFields->dwNewSize, &io);
    if (bCheck) {
        BYTE ab[4096];
        while (EngineRead(&streams, ab, sizeof(ab)) > 0) {
        }
        if (PlatFerror(pfSource)) iResult = 0;
        else if (~streams.dwCrc != dwCrc) iResult = XFORM_NOT_APPLICABLE;
    }
    if (!EngineStreamsClose(&streams) && iResult == 1) iResult = 0;
    EngineNoteOutput(&streams, iResult == 1);
    return iResult;
}

/* The size test of a kind-1 source, before anything is read. */
static int EngineSizeMatches(PLATFILE* pfSource, DWORD dwSize)
{
    return pfSource && StreamSize(pfSource) == dwSize && PlatFsize(pfSource) == (long long)dwSize;
}

int UpgradeFile(PLATFILE* pfSource, PLATFILE* pfOut, const BYTE* pbPayload, DWORD cbPayload,
                const FILEENTRY_FIELDS* pFields, const char* szName)
{
    EngineNoteOutput(NULL, 0);
    if (pFields->dwKind == FILE_KIND_WHOLE) {
        ENGINE_STREAMS streams;
        XFORM_IO io;
        int iResult;
        memset(&streams, 0, sizeof(streams));
        streams.dwOutCrc = 0xFFFFFFFFu;
        streams.pfOut = pfOut; /* whole files go out in large writes: no buffer of our own */
        io.pvContext = &streams;
        io.pfnRead = NULL;
        io.pfnWrite = EngineWrite;
        io.pfnGauge = EngineGaugeCommand;
        LogFormat(0, "Copying %ld bytes\n", pFields->dwNewSize);
        iResult = TransformWholeFile(pbPayload, cbPayload, pFields->dwNewSize, &io);
        EngineNoteOutput(&streams, iResult == 1);
        return iResult;
    }
    if (pFields->dwKind == FILE_KIND_DELTA) {
        int iResult = XFORM_NOT_APPLICABLE;
        if (EngineSizeMatches(pfSource, pFields->dwOldSize))
            iResult = EngineTransform(0, pfSource, pfOut, pbPayload, cbPayload, pFields, 1, pFields->dwOldCrc);
        if (iResult == XFORM_NOT_APPLICABLE)
            LogFormat(0, "UpgradeFile: original version or size is different for %s\n", szName);
        return iResult;
    }
    /* The other kinds apply their blocks without a source. */
    return EngineTransform(0, NULL, pfOut, pbPayload, cbPayload, pFields, 0, 0);
}

int RevertFile(PLATFILE* pfSource, PLATFILE* pfOut, const BYTE* pbPayload, DWORD cbPayload,
               const FILEENTRY_FIELDS* pFields, const char* szName)
{
    (void)szName;
    EngineNoteOutput(NULL, 0);
    if (pFields->dwKind == FILE_KIND_WHOLE) {
        DWORD dwSize = pFields->dwOldSize;
        EngineGauge(ghGaugeFile, XFORM_GAUGE_RANGE, dwSize <= 1024 ? dwSize : dwSize / 1024);
        EngineGauge(ghGaugeFile, XFORM_GAUGE_POS, 0);
        return 1;
    }
    if (pFields->dwKind == FILE_KIND_DELTA) {
        if (!EngineSizeMatches(pfSource, pFields->dwNewSize)) return XFORM_NOT_APPLICABLE;
        return EngineTransform(1, pfSource, pfOut, pbPayload, cbPayload, pFields, 1, pFields->dwNewCrc);
    }
    return EngineTransform(1, NULL, pfOut, pbPayload, cbPayload, pFields, 0, 0);
}
