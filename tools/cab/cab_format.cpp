/*
 * cab_format.cpp - checksum, table checks and data decoding of cabinets
 * (layout in cab_format.h).
 *
 * Divisions:
 *   1. Little-endian fields and the checksum
 *   2. CabOpenView: header, folders, entries, data block chains
 *   3. CabExtract: one folder at a time, block by block, handing each
 *      block's bytes to the entries that overlap it
 *
 * Nothing here trusts the cabinet: every offset is checked against the
 * buffer before use, sizes are added in 64 bits, and a block never yields
 * more than its declared 32 KB at most.
 */
#include "cab_format.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

/* ---- 1. Little-endian fields and the checksum ------------------------- */

WORD CabGet16(const BYTE* pb) { return (WORD)(pb[0] | (pb[1] << 8)); }

DWORD CabGet32(const BYTE* pb)
{
    return (DWORD)pb[0] | ((DWORD)pb[1] << 8) | ((DWORD)pb[2] << 16) | ((DWORD)pb[3] << 24);
}

void CabPut16(BYTE* pb, WORD w)
{
    pb[0] = (BYTE)(w & 0xFF);
    pb[1] = (BYTE)(w >> 8);
}

void CabPut32(BYTE* pb, DWORD dw)
{
    pb[0] = (BYTE)(dw & 0xFF);
    pb[1] = (BYTE)((dw >> 8) & 0xFF);
    pb[2] = (BYTE)((dw >> 16) & 0xFF);
    pb[3] = (BYTE)(dw >> 24);
}

DWORD CabChecksum(const BYTE* pb, size_t cb, DWORD dwSeed)
{
    DWORD dw = dwSeed, dwTail = 0;
    size_t i, cWords = cb / 4;
    for (i = 0; i < cWords; i++) dw ^= CabGet32(pb + 4 * i);
    pb += 4 * cWords;
    /* The leftover bytes go in most significant first: the opposite of the
     * words' order, as every existing cabinet has it. */
    switch (cb % 4) {
    case 3: dwTail |= (DWORD)(*pb++) << 16; /* fall through */
    case 2: dwTail |= (DWORD)(*pb++) << 8;  /* fall through */
    case 1: dwTail |= (DWORD)(*pb++);
    default: break;
    }
    return dw ^ dwTail;
}

DWORD CabBlockChecksum(const BYTE* pbData, WORD cbData, WORD cbUncomp)
{
    BYTE abHead[4];
    CabPut16(abHead, cbData);
    CabPut16(abHead + 2, cbUncomp);
    return CabChecksum(abHead, 4, CabChecksum(pbData, cbData, 0));
}

const char* CabCompressName(WORD wCompress)
{
    switch (wCompress & CAB_COMPRESS_MASK) {
    case 0: return "none";
    case 1: return "MSZIP";
    case 2: return "Quantum";
    case 3: return "LZX";
    default: return "unknown";
    }
}

/* snprintf into the caller's error buffer (NULL or 0 bytes: nothing). */
static void CabSay(char* szError, size_t cbError, const char* szFormat, ...)
{
    va_list args;
    if (!szError || cbError == 0) return;
    va_start(args, szFormat);
    vsnprintf(szError, cbError, szFormat, args);
    va_end(args);
}

/* ---- 2. CabOpenView ----------------------------------------------------- */

/* 1 when [off, off + cbWant) lies inside [0, cbLimit). */
static int CabFits(unsigned long long off, unsigned long long cbWant, size_t cbLimit)
{
    return off <= cbLimit && cbWant <= cbLimit - off;
}

/* Walks the data block headers of one folder: each must lie inside the
 * cabinet with at most CAB_BLOCK_INPUT_MAX stored and CAB_BLOCK_MAX
 * uncompressed bytes. Sets cbUncompressed. 1, or 0 with a reason. */
static int CabCheckBlocks(const CAB_VIEW* pView, int iFolder, CAB_FOLDER* pFolder, char* szError, size_t cbError)
{
    unsigned long long off = pFolder->offData, cbTotal = 0;
    unsigned iBlock;
    for (iBlock = 0; iBlock < pFolder->cBlocks; iBlock++) {
        WORD cbData, cbUncomp;
        if (!CabFits(off, CAB_DATA_SIZE + pView->cbDataReserve, pView->cb)) {
            CabSay(szError, cbError, "data block %u of folder %d lies outside the cabinet (offset %llu)", iBlock,
                   iFolder, off);
            return 0;
        }
        cbData = CabGet16(pView->pb + off + 4);
        cbUncomp = CabGet16(pView->pb + off + 6);
        if (cbData > CAB_BLOCK_INPUT_MAX || cbUncomp > CAB_BLOCK_MAX) {
            CabSay(szError, cbError, "data block %u of folder %d has impossible sizes (%u stored, %u uncompressed)",
                   iBlock, iFolder, cbData, cbUncomp);
            return 0;
        }
        off += CAB_DATA_SIZE + pView->cbDataReserve;
        if (!CabFits(off, cbData, pView->cb)) {
            CabSay(szError, cbError, "data block %u of folder %d runs past the end of the cabinet", iBlock, iFolder);
            return 0;
        }
        off += cbData;
        cbTotal += cbUncomp;
    }
    pFolder->cbUncompressed = cbTotal;
    return 1;
}

int CabOpenView(const BYTE* pb, size_t cb, CAB_VIEW* pView, char* szError, size_t cbError)
{
    const BYTE* pbHead = pb;
    unsigned long long off, cbCabinet, offEntries;
    WORD wFlags, cbHeaderReserve = 0;
    BYTE cbFolderReserve = 0;
    unsigned i;

    memset(pView, 0, sizeof(*pView));
    if (cb < CAB_HEADER_SIZE || memcmp(pbHead, "MSCF", 4) != 0) {
        CabSay(szError, cbError, "not a cabinet (no \"MSCF\" signature)");
        return 0;
    }
    cbCabinet = CabGet32(pbHead + 8);
    if (cbCabinet > cb) {
        CabSay(szError, cbError, "truncated: the header says %llu bytes, the file has %llu", cbCabinet,
               (unsigned long long)cb);
        return 0;
    }
    if (pbHead[0x19] != CAB_VERSION_MAJOR) {
        CabSay(szError, cbError, "unknown format version %u.%u", pbHead[0x19], pbHead[0x18]);
        return 0;
    }
    pView->pb = pb;
    pView->cb = (size_t)cbCabinet;
    pView->cFolders = CabGet16(pbHead + 0x1A);
    pView->cEntries = CabGet16(pbHead + 0x1C);
    wFlags = CabGet16(pbHead + 0x1E);
    offEntries = CabGet32(pbHead + 0x10);
    if (wFlags & (CAB_FLAG_PREV | CAB_FLAG_NEXT)) {
        CabSay(szError, cbError, "part of a multi-cabinet set, which is not supported");
        return 0;
    }
    off = CAB_HEADER_SIZE;
    if (wFlags & CAB_FLAG_RESERVE) {
        if (!CabFits(off, 4, pView->cb)) {
            CabSay(szError, cbError, "truncated header");
            return 0;
        }
        cbHeaderReserve = CabGet16(pb + off);
        cbFolderReserve = pb[off + 2];
        pView->cbDataReserve = pb[off + 3];
        off += 4 + (unsigned long long)cbHeaderReserve;
    }
    if (!CabFits(off, (unsigned long long)pView->cFolders * (CAB_FOLDER_SIZE + cbFolderReserve), pView->cb)) {
        CabSay(szError, cbError, "the folder table (%u folders) runs past the end of the cabinet", pView->cFolders);
        return 0;
    }
    if (!CabFits(offEntries, (unsigned long long)pView->cEntries * (CAB_ENTRY_SIZE + 1), pView->cb)) {
        CabSay(szError, cbError, "the file table (%u files at offset %llu) runs past the end of the cabinet",
               pView->cEntries, offEntries);
        return 0;
    }
    pView->pFolders = (CAB_FOLDER*)calloc(pView->cFolders ? pView->cFolders : 1, sizeof(CAB_FOLDER));
    pView->pEntries = (CAB_ENTRY*)calloc(pView->cEntries ? pView->cEntries : 1, sizeof(CAB_ENTRY));
    if (!pView->pFolders || !pView->pEntries) {
        CabSay(szError, cbError, "out of memory");
        CabCloseView(pView);
        return 0;
    }
    for (i = 0; i < pView->cFolders; i++) {
        CAB_FOLDER* pFolder = &pView->pFolders[i];
        const BYTE* pbFolder = pb + off + (unsigned long long)i * (CAB_FOLDER_SIZE + cbFolderReserve);
        pFolder->offData = CabGet32(pbFolder);
        pFolder->cBlocks = CabGet16(pbFolder + 4);
        pFolder->wCompress = CabGet16(pbFolder + 6);
        if (!CabCheckBlocks(pView, (int)i, pFolder, szError, cbError)) {
            CabCloseView(pView);
            return 0;
        }
    }
    off = offEntries;
    for (i = 0; i < pView->cEntries; i++) {
        CAB_ENTRY* pEntry = &pView->pEntries[i];
        const BYTE* pbEntry;
        const BYTE* pbNul;
        size_t cbRest;
        if (!CabFits(off, CAB_ENTRY_SIZE + 1, pView->cb)) {
            CabSay(szError, cbError, "the file table runs past the end of the cabinet at file %u", i);
            CabCloseView(pView);
            return 0;
        }
        pbEntry = pb + off;
        pEntry->cbFile = CabGet32(pbEntry);
        pEntry->offFolder = CabGet32(pbEntry + 4);
        pEntry->iFolder = CabGet16(pbEntry + 8);
        pEntry->wDate = CabGet16(pbEntry + 10);
        pEntry->wTime = CabGet16(pbEntry + 12);
        pEntry->wAttribs = CabGet16(pbEntry + 14);
        cbRest = pView->cb - (size_t)off - CAB_ENTRY_SIZE;
        if (cbRest > CAB_NAME_MAX + 1) cbRest = CAB_NAME_MAX + 1;
        pbNul = (const BYTE*)memchr(pbEntry + CAB_ENTRY_SIZE, 0, cbRest);
        if (!pbNul || pbNul == pbEntry + CAB_ENTRY_SIZE) {
            CabSay(szError, cbError, "file %u has an empty, unterminated or overlong name", i);
            CabCloseView(pView);
            return 0;
        }
        pEntry->szName = (const char*)(pbEntry + CAB_ENTRY_SIZE);
        off = (unsigned long long)(pbNul - pb) + 1;
        if (pEntry->iFolder >= CAB_FOLDER_CONTINUED) {
            CabSay(szError, cbError, "file \"%s\" continues in another cabinet, which is not supported", pEntry->szName);
            CabCloseView(pView);
            return 0;
        }
        if (pEntry->iFolder >= pView->cFolders) {
            CabSay(szError, cbError, "file \"%s\" names folder %u of %u", pEntry->szName, pEntry->iFolder,
                   pView->cFolders);
            CabCloseView(pView);
            return 0;
        }
        if ((unsigned long long)pEntry->offFolder + pEntry->cbFile > pView->pFolders[pEntry->iFolder].cbUncompressed) {
            CabSay(szError, cbError, "file \"%s\" (%lu bytes at %lu) extends past its folder's %llu bytes",
                   pEntry->szName, (unsigned long)pEntry->cbFile, (unsigned long)pEntry->offFolder,
                   pView->pFolders[pEntry->iFolder].cbUncompressed);
            CabCloseView(pView);
            return 0;
        }
    }
    return 1;
}

void CabCloseView(CAB_VIEW* pView)
{
    free(pView->pFolders);
    free(pView->pEntries);
    pView->pFolders = NULL;
    pView->pEntries = NULL;
}

/* ---- 3. CabExtract -------------------------------------------------------- */

/* The state of one extraction: the decoder and the folder in progress. */
typedef struct CAB_RUN {
    const CAB_VIEW* pView;
    const CAB_SINK* pSink;
    z_stream zs;
    int bZlib;              /* zs initialised */
    BYTE* pbWork;           /* history (up to 32 KB) then the block being decoded */
    size_t cbHist;
    int* piOrder;           /* selected entries of the folder, by offset */
    int* piActive;          /* begun entries that continue past the current block */
    int cActive;
} CAB_RUN;

#define CAB_WORK_SIZE (2u * CAB_BLOCK_MAX + 1u)

/* Decodes data block iBlock at *pOff of the folder into pRun->pbWork after
 * the history; advances *pOff. 1 with *ppbOut and *pcbOut set, or 0 with
 * a reason. The history itself is moved by CabShiftHistory. */
static int CabDecodeBlock(CAB_RUN* pRun, const CAB_FOLDER* pFolder, int iFolder, unsigned iBlock, size_t* pOff,
                          const BYTE** ppbOut, size_t* pcbOut, char* szError, size_t cbError)
{
    const CAB_VIEW* pView = pRun->pView;
    const BYTE* pbHead;
    const BYTE* pbData;
    DWORD dwSum;
    WORD cbData, cbUncomp;
    BYTE* pbOut;

    /* The chain was checked by CabOpenView; check again, it costs nothing. */
    if (!CabFits(*pOff, CAB_DATA_SIZE + pView->cbDataReserve, pView->cb)) goto outside;
    pbHead = pView->pb + *pOff;
    dwSum = CabGet32(pbHead);
    cbData = CabGet16(pbHead + 4);
    cbUncomp = CabGet16(pbHead + 6);
    if (cbUncomp > CAB_BLOCK_MAX || !CabFits(*pOff + CAB_DATA_SIZE + pView->cbDataReserve, cbData, pView->cb))
        goto outside;
    pbData = pbHead + CAB_DATA_SIZE + pView->cbDataReserve;
    *pOff += CAB_DATA_SIZE + pView->cbDataReserve + cbData;
    if (dwSum != 0 && dwSum != CabBlockChecksum(pbData, cbData, cbUncomp)) {
        CabSay(szError, cbError, "checksum error in data block %u of folder %d", iBlock, iFolder);
        return 0;
    }
    pbOut = pRun->pbWork + pRun->cbHist;
    switch (pFolder->wCompress & CAB_COMPRESS_MASK) {
    case CAB_COMPRESS_NONE:
        if (cbData != cbUncomp) {
            CabSay(szError, cbError, "stored data block %u of folder %d has %u bytes for %u", iBlock, iFolder, cbData,
                   cbUncomp);
            return 0;
        }
        memcpy(pbOut, pbData, cbData);
        break;
    case CAB_COMPRESS_MSZIP:
        if (cbData < 2 || pbData[0] != 'C' || pbData[1] != 'K') {
            CabSay(szError, cbError, "data block %u of folder %d lacks the MSZIP signature", iBlock, iFolder);
            return 0;
        }
        if (!pRun->bZlib) {
            memset(&pRun->zs, 0, sizeof(pRun->zs));
            if (inflateInit2(&pRun->zs, -MAX_WBITS) != Z_OK) {
                CabSay(szError, cbError, "out of memory");
                return 0;
            }
            pRun->bZlib = 1;
        }
        if (inflateReset(&pRun->zs) != Z_OK ||
            (pRun->cbHist && inflateSetDictionary(&pRun->zs, pRun->pbWork, (uInt)pRun->cbHist) != Z_OK)) {
            CabSay(szError, cbError, "decoder failure");
            return 0;
        }
        pRun->zs.next_in = (Bytef*)(pbData + 2);
        pRun->zs.avail_in = (uInt)(cbData - 2);
        pRun->zs.next_out = pbOut;
        /* One byte of room more than declared, so overlong data shows. */
        pRun->zs.avail_out = (uInt)cbUncomp + 1;
        if (inflate(&pRun->zs, Z_FINISH) != Z_STREAM_END || pRun->zs.total_out != cbUncomp) {
            CabSay(szError, cbError, "compressed data block %u of folder %d is damaged", iBlock, iFolder);
            return 0;
        }
        break;
    default:
        CabSay(szError, cbError, "folder %d uses compression type %u (%s), which is not supported", iFolder,
               pFolder->wCompress & CAB_COMPRESS_MASK, CabCompressName(pFolder->wCompress));
        return 0;
    }
    *ppbOut = pbOut;
    *pcbOut = cbUncomp;
    return 1;

outside:
    CabSay(szError, cbError, "data block %u of folder %d lies outside the cabinet", iBlock, iFolder);
    return 0;
}

/* Keeps the folder's last 32 KB of output at the front of the work buffer
 * once a block has been handed out (its bytes must stay in place until then). */
static void CabShiftHistory(CAB_RUN* pRun, size_t cbBlock)
{
    size_t cbAll = pRun->cbHist + cbBlock;
    if (cbAll > CAB_BLOCK_MAX) {
        memmove(pRun->pbWork, pRun->pbWork + (cbAll - CAB_BLOCK_MAX), CAB_BLOCK_MAX);
        cbAll = CAB_BLOCK_MAX;
    }
    pRun->cbHist = cbAll;
}

/* Hands the part of [offBlock, offBlock + cb) that belongs to entry iEntry
 * to the sink; ends the entry when its last byte has come. 1 while the entry
 * stays open, 0 once it has been ended. */
static int CabFeed(CAB_RUN* pRun, int iEntry, unsigned long long offBlock, const BYTE* pb, size_t cb)
{
    const CAB_ENTRY* pEntry = &pRun->pView->pEntries[iEntry];
    unsigned long long offStart = pEntry->offFolder, offEnd = offStart + pEntry->cbFile;
    unsigned long long offFrom = offStart > offBlock ? offStart : offBlock;
    unsigned long long offTo = offEnd < offBlock + cb ? offEnd : offBlock + cb;
    if (offFrom < offTo &&
        !pRun->pSink->pfnWrite(pRun->pSink->pvCtx, iEntry, pb + (offFrom - offBlock), (size_t)(offTo - offFrom))) {
        pRun->pSink->pfnEnd(pRun->pSink->pvCtx, iEntry, 0);
        return 0;
    }
    if (offEnd <= offBlock + cb) {
        pRun->pSink->pfnEnd(pRun->pSink->pvCtx, iEntry, 1);
        return 0;
    }
    return 1;
}

static const CAB_VIEW* s_pSortView; /* qsort has no context argument */

/* qsort order of entry indexes by folder offset, then index (reads
 * s_pSortView). */
static int CabCompareOffsets(const void* pvA, const void* pvB)
{
    const CAB_ENTRY* pA = &s_pSortView->pEntries[*(const int*)pvA];
    const CAB_ENTRY* pB = &s_pSortView->pEntries[*(const int*)pvB];
    if (pA->offFolder != pB->offFolder) return pA->offFolder < pB->offFolder ? -1 : 1;
    return *(const int*)pvA - *(const int*)pvB;
}

/* Extracts the selected entries of one folder. 1, or 0 with a reason (the
 * entries still open are ended incomplete). Sets s_pSortView. */
static int CabExtractFolder(CAB_RUN* pRun, int iFolder, const BYTE* pbSelected, char* szError, size_t cbError)
{
    const CAB_VIEW* pView = pRun->pView;
    const CAB_FOLDER* pFolder = &pView->pFolders[iFolder];
    const CAB_SINK* pSink = pRun->pSink;
    unsigned long long offBlock = 0, cbWanted = 0;
    size_t off = pFolder->offData;
    int cOrder = 0, iNext = 0, i, bOk = 1;
    unsigned iBlock;

    for (i = 0; i < pView->cEntries; i++) {
        const CAB_ENTRY* pEntry = &pView->pEntries[i];
        if (!pbSelected[i] || pEntry->iFolder != iFolder) continue;
        if (pEntry->cbFile == 0) {
            if (pSink->pfnBegin(pSink->pvCtx, i)) pSink->pfnEnd(pSink->pvCtx, i, 1);
            continue;
        }
        pRun->piOrder[cOrder++] = i;
        if ((unsigned long long)pEntry->offFolder + pEntry->cbFile > cbWanted)
            cbWanted = (unsigned long long)pEntry->offFolder + pEntry->cbFile;
    }
    if (cOrder == 0) return 1;
    s_pSortView = pView;
    qsort(pRun->piOrder, (size_t)cOrder, sizeof(int), CabCompareOffsets);
    pRun->cbHist = 0;
    pRun->cActive = 0;

    for (iBlock = 0; iBlock < pFolder->cBlocks && offBlock < cbWanted; iBlock++) {
        const BYTE* pbOut;
        size_t cbOut;
        int cKeep = 0;
        if (!CabDecodeBlock(pRun, pFolder, iFolder, iBlock, &off, &pbOut, &cbOut, szError, cbError)) {
            bOk = 0;
            break;
        }
        /* Entries begun in earlier blocks first, then those that start here,
         * each finished before the next begins (a block may hold thousands
         * of small files; only one at a time is open). */
        for (i = 0; i < pRun->cActive; i++) {
            if (CabFeed(pRun, pRun->piActive[i], offBlock, pbOut, cbOut)) pRun->piActive[cKeep++] = pRun->piActive[i];
        }
        pRun->cActive = cKeep;
        while (iNext < cOrder && pView->pEntries[pRun->piOrder[iNext]].offFolder < offBlock + cbOut) {
            int iEntry = pRun->piOrder[iNext++];
            if (!pSink->pfnBegin(pSink->pvCtx, iEntry)) continue;
            if (CabFeed(pRun, iEntry, offBlock, pbOut, cbOut)) pRun->piActive[pRun->cActive++] = iEntry;
        }
        CabShiftHistory(pRun, cbOut);
        offBlock += cbOut;
    }
    if (bOk && offBlock < cbWanted) {
        CabSay(szError, cbError, "folder %d ends after %llu of %llu bytes", iFolder, offBlock, cbWanted);
        bOk = 0;
    }
    for (i = 0; i < pRun->cActive; i++) pSink->pfnEnd(pSink->pvCtx, pRun->piActive[i], 0);
    pRun->cActive = 0;
    return bOk;
}

int CabExtract(const CAB_VIEW* pView, const BYTE* pbSelected, const CAB_SINK* pSink, char* szError, size_t cbError)
{
    CAB_RUN run;
    char szFolderError[256];
    int iFolder, bOk = 1;

    memset(&run, 0, sizeof(run));
    run.pView = pView;
    run.pSink = pSink;
    run.pbWork = (BYTE*)malloc(CAB_WORK_SIZE);
    run.piOrder = (int*)malloc(sizeof(int) * (pView->cEntries + 1u));
    run.piActive = (int*)malloc(sizeof(int) * (pView->cEntries + 1u));
    if (!run.pbWork || !run.piOrder || !run.piActive) {
        CabSay(szError, cbError, "out of memory");
        bOk = 0;
    }
    /* After damage in one folder the others still give what they hold. */
    for (iFolder = 0; run.pbWork && run.piOrder && run.piActive && iFolder < pView->cFolders; iFolder++) {
        if (CabExtractFolder(&run, iFolder, pbSelected, szFolderError, sizeof(szFolderError))) continue;
        if (bOk) CabSay(szError, cbError, "%s", szFolderError);
        bOk = 0;
    }
    if (run.bZlib) inflateEnd(&run.zs);
    free(run.pbWork);
    free(run.piOrder);
    free(run.piActive);
    return bOk;
}
