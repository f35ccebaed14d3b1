/*
 * unpack.cpp - turns compressed resources into bytes and writes the
 * package's files out (the EXTRACT mode).
 *
 * The decoder reads the resource in blocks of 2,048 bytes and writes blocks
 * of 4,096 straight into the final memory block; the write callback never
 * writes past the block's stated size, whatever the stream decodes to.
 */
#include "package/unpack.h"

#include "package/explode/crc32.h"
#include "package/explode/explode.h"
#include "package/store.h"
#include "platform/ui.h"
#include "shell/exitcodes.h"
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
    /* A stream that ends before its stated size is as damaged as one the
     * decoder refuses: the block would end in zeros that no file held. */
    if (uResult != 0 || ctx.dwOutOffset != dwSize) {
        LogLine("Failed to decompress buffer.", 0);
        return 0;
    }
    return 1;
}

/* Writes the block's dwSize bytes to szFile (created or emptied, binary) in
 * one write and releases the block whatever happens. 1 written whole, 0 when
 * the file cannot be created (nothing logged), -1 when the write or the
 * close failed (the file is then short). */
static int UnpackWriteBlock(const char* szFile, HGLOBAL hBlock, DWORD dwSize)
{
    PLATFILE* pf = PlatFopen(szFile, "wb");
    int iResult = 1;
    if (pf && hBlock && dwSize) {
        void* pv = PlatGlobalLock(hBlock);
        if (PlatFwrite(pv, 1, dwSize, pf) != dwSize) iResult = -1;
        PlatGlobalUnlock(hBlock);
    }
    if (hBlock) PlatGlobalFree(hBlock);
    if (!pf) return 0;
    if (PlatFclose(pf) != 0) iResult = -1;
    return iResult;
}

/* CRC-32 of the block's dwSize bytes. */
static DWORD UnpackBlockCrc(HGLOBAL hBlock, DWORD dwSize)
{
    DWORD dwCrc = 0xFFFFFFFFu;
    if (hBlock && dwSize) {
        const BYTE* pb = (const BYTE*)PlatGlobalLock(hBlock);
        dwCrc = UpdateCrc32(pb, dwSize, dwCrc);
        PlatGlobalUnlock(hBlock);
    }
    return ~dwCrc;
}

/* Raises *piCode to iCode unless a write failure (EXIT_EXTRACT_WRITE) is
 * already reported: that one says the most about what is on disk. */
static void UnpackNote(int* piCode, int iCode)
{
    if (*piCode != EXIT_EXTRACT_WRITE) *piCode = iCode;
}

int ExtractFiles(char* szDest)
{
    FILE_TABLE_ENTRY* pTable;
    DWORD dwCount, i;
    size_t cchDest;
    int iCode = EXIT_DONE;

    pTable = (FILE_TABLE_ENTRY*)PlatHeapAlloc(sizeof(FILE_TABLE_ENTRY) * FILE_TABLE_SLOTS);
    if (!pTable) {
        LogFormat(0, "Failed to alloc memory on line %d in %s", __LINE__, "unpack");
        return EXIT_EXTRACT_WRITE;
    }
    cchDest = strlen(szDest);
    if (cchDest == 0 || szDest[cchDest - 1] != '\\') {
        if (!TextAppend(szDest, 261, "\\")) {
            LogFormat(0, "Path too long: %s", szDest);
            PlatHeapFree(pTable);
            return EXIT_EXTRACT_WRITE;
        }
    }
    dwCount = LoadFileTable(pTable);
    if (FileTableDamaged()) iCode = EXIT_DAMAGED;
    if (dwCount >= FILE_TABLE_MAX) {
        PlatMessageBox(NULL, "Too many entries in the fixes list!", "Info", MB_OK);
        FreeFileTable(pTable);
        PlatHeapFree(pTable);
        return EXIT_DAMAGED;
    }
    for (i = 1; i <= dwCount; i++) {
        char szName[260];
        char szOut[MAX_PATH];
        FILEENTRY_FIELDS fields;
        const BYTE* pbUpdate;
        DWORD cbUpdate = 0, dwSize = 0, dwCrc;
        HGLOBAL hBlock = NULL;
        const char* pSlash;
        const char* szBase;
        int iWrite;

        if (!ReadFileEntry(pTable[i].dwPayloadId, szName, sizeof(szName), &fields)) {
            LogLine("Failed to load file entry resource.", 0);
            UnpackNote(&iCode, EXIT_DAMAGED);
            continue;
        }
        pbUpdate = FindPayload(pTable[i].dwPayloadId, KIND_UPDATE, &cbUpdate);
        if (!pbUpdate) {
            LogFormat(0, "Failed to load update resource %d.", (int)i);
            UnpackNote(&iCode, EXIT_DAMAGED);
            break;
        }
        pSlash = strrchr(szName, '\\');
        szBase = pSlash ? pSlash + 1 : szName;
        /* The target path whole, never a shorter name. */
        if (strlen(szDest) + strlen(szBase) >= sizeof(szOut)) {
            LogFormat(0, "Path too long: %s%s", szDest, szBase);
            iCode = EXIT_EXTRACT_WRITE;
            continue;
        }
        TextFormat(szOut, sizeof(szOut), "%s%s", szDest, szBase);

        /* A payload that fails to unpack or to match its record becomes no
         * file at all, never a silently wrong one. */
        if (!UnpackPayload(pbUpdate, cbUpdate, &hBlock, &dwSize)) {
            if (hBlock) PlatGlobalFree(hBlock);
            LogFormat(0, "Not extracted: %s", szOut);
            UnpackNote(&iCode, EXIT_DAMAGED);
            continue;
        }
        if (fields.dwKind == FILE_KIND_WHOLE && (dwCrc = UnpackBlockCrc(hBlock, dwSize)) != fields.dwNewCrc) {
            PlatGlobalFree(hBlock);
            LogFormat(0, "CRC-32 of %s is %#lx, its record says %#lx: not extracted", szOut, dwCrc,
                      fields.dwNewCrc);
            UnpackNote(&iCode, EXIT_DAMAGED);
            continue;
        }

        iWrite = UnpackWriteBlock(szOut, hBlock, dwSize);
        if (iWrite == 0) {
            LogFormat(2, "Failed to open the temp file %s.", szOut);
            iCode = EXIT_EXTRACT_WRITE;
        } else if (iWrite < 0) {
            LogFormat(2, "Failed to write the file %s.", szOut);
            iCode = EXIT_EXTRACT_WRITE;
        }
    }
    FreeFileTable(pTable);
    PlatHeapFree(pTable);
    return iCode;
}

int WritePayloadFile(int iKind, const char* szFile)
{
    DWORD cb = 0, dwSize = 0;
    const BYTE* pb = FindPayload(0, iKind, &cb);
    HGLOBAL hBlock = NULL;
    if (!pb) return 0;
    if (!UnpackPayload(pb, cb, &hBlock, &dwSize)) {
        if (hBlock) PlatGlobalFree(hBlock);
        return -2;
    }
    switch (UnpackWriteBlock(szFile, hBlock, dwSize)) {
    case 1: return 1;
    case 0: return -1;
    default:
        /* A short tool is no tool: it is not left behind to be run. */
        PlatDeleteFile(szFile);
        return -3;
    }
}
