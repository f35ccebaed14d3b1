/*
 * upgradefile.cpp - UpgradeFile and RevertFile: the pure transforms of
 * engine/transforms run on open streams, with the version test of a kind-1
 * source, the log lines and the file gauge.
 */
#include "engine/engine_private.h"
#include "engine/transforms/transforms.h"

#include "shell/globals.h"
#include "shell/log.h"
#include "shell/utils.h"

typedef struct ENGINE_STREAMS {
    PLATFILE* pfSource;
    PLATFILE* pfOut;
} ENGINE_STREAMS;

static size_t EngineRead(void* pvContext, unsigned char* pb, size_t cb)
{
    return PlatFread(pb, 1, cb, ((ENGINE_STREAMS*)pvContext)->pfSource);
}

static int EngineWrite(void* pvContext, const unsigned char* pb, size_t cb)
{
    return PlatFwrite(pb, 1, cb, ((ENGINE_STREAMS*)pvContext)->pfOut) == cb;
}

static void EngineGaugeCommand(void* pvContext, int iCommand, uint32_t dwValue)
{
    (void)pvContext;
    EngineGauge(ghGaugeFile, iCommand, dwValue);
}

int EngineSourceMatches(PLATFILE* pfSource, DWORD dwSize, DWORD dwCrc)
{
    if (!pfSource) return 0;
    if (StreamSize(pfSource) != dwSize || PlatFsize(pfSource) != (long long)dwSize) return 0;
    return FileCrc32(pfSource) == dwCrc;
}

static int EngineTransform(int bRevert, PLATFILE* pfSource, PLATFILE* pfOut, const BYTE* pbPayload, DWORD cbPayload,
                           const FILEENTRY_FIELDS* pFields)
{
    ENGINE_STREAMS streams = {pfSource, pfOut};
    XFORM_IO io;
    io.pvContext = &streams;
    io.pfnRead = pfSource ? EngineRead : NULL;
    io.pfnWrite = EngineWrite;
    io.pfnGauge = EngineGaugeCommand;
    return TransformDelta(bRevert, pbPayload, cbPayload, pFields->dwDeltaBlocks, pFields->dwOldSize,
                          pFields->dwNewSize, &io);
}

int UpgradeFile(PLATFILE* pfSource, PLATFILE* pfOut, const BYTE* pbPayload, DWORD cbPayload,
                const FILEENTRY_FIELDS* pFields, const char* szName)
{
    if (pFields->dwKind == FILE_KIND_DELTA &&
        !EngineSourceMatches(pfSource, pFields->dwOldSize, pFields->dwOldCrc)) {
        LogFormat(0, "UpgradeFile: original version or size is different for %s\n", szName);
        return XFORM_NOT_APPLICABLE;
    }
    if (pFields->dwKind == FILE_KIND_WHOLE) {
        ENGINE_STREAMS streams = {NULL, pfOut};
        XFORM_IO io = {&streams, NULL, EngineWrite, EngineGaugeCommand};
        LogFormat(0, "Copying %ld bytes\n", pFields->dwNewSize);
        return TransformWholeFile(pbPayload, cbPayload, pFields->dwNewSize, &io);
    }
    /* Only kind 1 reads its source; the others apply their blocks without one. */
    return EngineTransform(0, pFields->dwKind == FILE_KIND_DELTA ? pfSource : NULL, pfOut, pbPayload, cbPayload,
                           pFields);
}

int RevertFile(PLATFILE* pfSource, PLATFILE* pfOut, const BYTE* pbPayload, DWORD cbPayload,
               const FILEENTRY_FIELDS* pFields, const char* szName)
{
    (void)szName;
    if (pFields->dwKind == FILE_KIND_DELTA &&
        !EngineSourceMatches(pfSource, pFields->dwNewSize, pFields->dwNewCrc))
        return XFORM_NOT_APPLICABLE;
    if (pFields->dwKind == FILE_KIND_WHOLE) {
        DWORD dwSize = pFields->dwOldSize;
        EngineGauge(ghGaugeFile, XFORM_GAUGE_RANGE, dwSize <= 1024 ? dwSize : dwSize / 1024);
        EngineGauge(ghGaugeFile, XFORM_GAUGE_POS, 0);
        return 1;
    }
    return EngineTransform(1, pFields->dwKind == FILE_KIND_DELTA ? pfSource : NULL, pfOut, pbPayload, cbPayload,
                           pFields);
}
