/*
 * unpack.cpp - turns compressed resources into bytes and writes the
 * package's files out (the EXTRACT mode).
 *
 * The decoder reads the resource in blocks of 2,048 bytes and writes blocks
 * of 4,096 straight into the final memory block; the write callback never
 * writes past the block's stated size, whatever the stream decodes to.
 */
#include "package/unpack.h"

#include "package/explode/explode.h"
#include "package/store.h"
#include "platform/ui.h"
#include "shell/log.h"
#include "shell/text.h"

#include <string.h>

/* The decoder's context. */
typedef struct UNPACK_CONTEXT {
    const BYTE* pbIn;   /* compressed bytes (after the size) */
    BYTE* pbOut;        /* the locked output block */
    DWORD dwInOffset;   /* read offset */
    DWORD dwOutOffset;  /* write offset */
    DWORD dwInLeft;     /* compressed bytes not yet read */
    DWORD dwOutSize;    /* the block's stated size */
} UNPACK_CONTEXT;

static unsigned int UnpackRead(char* pbBuf, unsigned int* pcbSize, void* pContext)
{
    UNPACK_CONTEXT* pCtx = (UNPACK_CONTEXT*)pContext;
    unsigned int cb;
    if (pCtx->dwInLeft == 0) return 0;
    cb = *pcbSize;
    if (cb > pCtx->dwInLeft) cb = pCtx->dwInLeft;
    *pcbSize = cb;
    memcpy(pbBuf, pCtx->pbIn + pCtx->dwInOffset, cb);
    pCtx->dwInOffset += cb;
    pCtx->dwInLeft -= cb;
    return cb;
}

static void UnpackWrite(char* pbBuf, unsigned int* pcbSize, void* pContext)
{
    UNPACK_CONTEXT* pCtx = (UNPACK_CONTEXT*)pContext;
    DWORD cb = *pcbSize;
    /* A stream that decodes to more than its stated size is cut there. */
    if (pCtx->dwOutOffset >= pCtx->dwOutSize) return;
    if (cb > pCtx->dwOutSize - pCtx->dwOutOffset) cb = pCtx->dwOutSize - pCtx->dwOutOffset;
    memcpy(pCtx->pbOut + pCtx->dwOutOffset, pbBuf, cb);
    pCtx->dwOutOffset += cb;
}

int UnpackPayload(const BYTE* pbResource, DWORD cbResource, HGLOBAL* phBlock, DWORD* pdwSize)
{
    UNPACK_CONTEXT ctx;
    DWORD dwSize;
    HGLOBAL hBlock;
    char* pWork;
    unsigned int uResult;

    if (!pbResource) return 0;
    /* A resource too short for its size field states 0 bytes. */
    dwSize = cbResource >= 4 ? ReadLe32(pbResource) : 0;
    *pdwSize = dwSize;
    LogFormat(0, "Outsize: %d; Insize: %d ", (int)dwSize, (int)(cbResource >= 4 ? cbResource - 4 : 0));

    hBlock = PlatGlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, dwSize);
    *phBlock = hBlock;
    if (!hBlock) {
        *pdwSize = 0;
        LogFormat(0, "Failed to alloc memory on line %d in %s", __LINE__, "unpack");
        return 0;
    }
    if (cbResource < 4) {
        LogLine("Failed to decompress buffer.", 0);
        return 0;
    }
    memset(&ctx, 0, sizeof(ctx));
    ctx.pbIn = pbResource + 4;
    ctx.pbOut = (BYTE*)PlatGlobalLock(hBlock);
    ctx.dwInLeft = cbResource - 4;
    ctx.dwOutSize = dwSize;

    pWork = (char*)PlatHeapAlloc(EXPLODE_WORK_SIZE);
    if (!pWork) {
        PlatGlobalUnlock(hBlock);
        LogFormat(0, "Failed to alloc memory on line %d in %s", __LINE__, "unpack");
        LogLine("Failed to decompress buffer.", 0);
        return 0;
    }
    uResult = Explode(UnpackRead, UnpackWrite, pWork, &ctx);
    PlatHeapFree(pWork);
    PlatGlobalUnlock(hBlock);
    if (uResult != 0) {
        LogLine("Failed to decompress buffer.", 0);
        return 0;
    }
    return 1;
}

/* Writes the block's dwSize bytes to szFile (created or emptied, binary) in
 * one write and releases the block, also when the file cannot be created
 * (then 0). */
static int UnpackWriteBlock(const char* szFile, HGLOBAL hBlock, DWORD dwSize)
{
    PLATFILE* pf = PlatFopen(szFile, "wb");
    if (pf && hBlock && dwSize) {
        void* pv = PlatGlobalLock(hBlock);
        PlatFwrite(pv, 1, dwSize, pf);
        PlatGlobalUnlock(hBlock);
    }
    if (hBlock) PlatGlobalFree(hBlock);
    if (!pf) return 0;
    PlatFclose(pf);
    return 1;
}

void ExtractFiles(char* szDest)
{
    FILE_TABLE_ENTRY* pTable;
    DWORD dwCount, i;
    size_t cchDest;

    pTable = (FILE_TABLE_ENTRY*)PlatHeapAlloc(sizeof(FILE_TABLE_ENTRY) * FILE_TABLE_SLOTS);
    if (!pTable) {
        LogFormat(0, "Failed to alloc memory on line %d in %s", __LINE__, "unpack");
        return;
    }
    dwCount = LoadFileTable(pTable);
    if (dwCount >= FILE_TABLE_MAX) {
        PlatMessageBox(NULL, "Too many entries in the fixes list!", "Info", MB_OK);
        FreeFileTable(pTable);
        PlatHeapFree(pTable);
        return;
    }
    for (i = 1; i <= dwCount; i++) {
        char szName[260];
        char szBase[260];
        char szOut[520];
        FILEENTRY_FIELDS fields;
        const BYTE* pbUpdate;
        DWORD cbUpdate = 0, dwSize = 0;
        HGLOBAL hBlock = NULL;
        const char* pSlash;

        if (!ReadFileEntry(pTable[i].dwPayloadId, szName, sizeof(szName), &fields)) {
            LogLine("Failed to load file entry resource.", 0);
            continue;
        }
        pbUpdate = FindPayload(pTable[i].dwPayloadId, KIND_UPDATE, &cbUpdate);
        if (!pbUpdate) {
            LogFormat(0, "Failed to load update resource %d.", (int)i);
            break;
        }
        UnpackPayload(pbUpdate, cbUpdate, &hBlock, &dwSize);

        cchDest = strlen(szDest);
        if (cchDest == 0 || szDest[cchDest - 1] != '\\') TextAppend(szDest, 261, "\\");
        pSlash = strrchr(szName, '\\');
        TextCopy(szBase, sizeof(szBase), pSlash ? pSlash + 1 : szName);
        TextFormat(szOut, sizeof(szOut), "%s%s", szDest, szBase);

        if (!UnpackWriteBlock(szOut, hBlock, dwSize)) {
            LogFormat(2, "Failed to open the temp file %s.", szBase);
            break;
        }
    }
    FreeFileTable(pTable);
    PlatHeapFree(pTable);
}

int WritePayloadFile(int iKind, const char* szFile)
{
    DWORD cb = 0, dwSize = 0;
    const BYTE* pb = FindPayload(0, iKind, &cb);
    HGLOBAL hBlock = NULL;
    if (!pb) return 0;
    UnpackPayload(pb, cb, &hBlock, &dwSize);
    return UnpackWriteBlock(szFile, hBlock, dwSize) ? 1 : -1;
}
