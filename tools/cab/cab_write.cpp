/*
 * cab_write.cpp - the cabinet writer (layout in cab_format.h).
 *
 * Divisions:
 *   1. The tables: header, folders and entries, built in memory first with
 *      the folder offsets left open, written again at the end
 *   2. Data blocks: the folder's stream is gathered into 32 KB blocks, each
 *      stored as it is or as one MSZIP block (deflate with the folder's last
 *      32 KB as its dictionary), with its checksum
 *   3. CabWrite: assigns folders, streams the files, finishes the tables
 */
#include "cab_write.h"

#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <zlib.h>

#define CAB_CABINET_MAX 0xFFFFFFFFull

typedef struct CAB_WRITER {
    int fd;
    WORD wCompress;
    z_stream zs;
    int bZlib;
    BYTE* pbWork;           /* history (up to 32 KB), then the block being gathered */
    size_t cbHist;
    size_t cbBlock;
    BYTE* pbOut;            /* block header and stored bytes */
    size_t cbOutMax;
    unsigned long long offOut; /* bytes of the cabinet written so far */
    unsigned cBlocks;       /* blocks of the current folder */
    char* szError;
    size_t cbError;
} CAB_WRITER;

/* Puts the reason into the caller's error buffer; returns 0. */
static int CabFail(CAB_WRITER* pw, const char* szFormat, ...)
{
    va_list args;
    va_start(args, szFormat);
    vsnprintf(pw->szError, pw->cbError, szFormat, args);
    va_end(args);
    return 0;
}

/* write() all of pb. 1, or 0 with a reason. */
static int CabPutBytes(CAB_WRITER* pw, const BYTE* pb, size_t cb)
{
    while (cb > 0) {
        ssize_t n = write(pw->fd, pb, cb);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return CabFail(pw, "cannot write the cabinet (%s)", n < 0 ? strerror(errno) : "no progress");
        pb += n;
        cb -= (size_t)n;
    }
    return 1;
}

/* ---- 2. Data blocks ------------------------------------------------------- */

/* Stores the gathered block (if any) and keeps its tail as history. 1, or 0
 * with a reason. */
static int CabFlushBlock(CAB_WRITER* pw)
{
    BYTE* pbIn = pw->pbWork + pw->cbHist;
    BYTE* pbData = pw->pbOut + CAB_DATA_SIZE;
    size_t cbData;

    if (pw->cbBlock == 0) return 1;
    if (pw->cBlocks >= CAB_FOLDER_BLOCKS_MAX) return CabFail(pw, "internal error: folder block count");
    if (pw->wCompress == CAB_COMPRESS_MSZIP) {
        if (deflateReset(&pw->zs) != Z_OK ||
            (pw->cbHist && deflateSetDictionary(&pw->zs, pw->pbWork, (uInt)pw->cbHist) != Z_OK)) {
            return CabFail(pw, "compressor failure");
        }
        pbData[0] = 'C';
        pbData[1] = 'K';
        pw->zs.next_in = pbIn;
        pw->zs.avail_in = (uInt)pw->cbBlock;
        pw->zs.next_out = pbData + 2;
        pw->zs.avail_out = (uInt)(pw->cbOutMax - CAB_DATA_SIZE - 2);
        if (deflate(&pw->zs, Z_FINISH) != Z_STREAM_END) return CabFail(pw, "compressor failure");
        cbData = 2 + pw->zs.total_out;
        if (cbData > CAB_BLOCK_INPUT_MAX) return CabFail(pw, "compressor failure (block of %zu bytes)", cbData);
    } else {
        memcpy(pbData, pbIn, pw->cbBlock);
        cbData = pw->cbBlock;
    }
    CabPut16(pw->pbOut + 4, (WORD)cbData);
    CabPut16(pw->pbOut + 6, (WORD)pw->cbBlock);
    CabPut32(pw->pbOut, CabBlockChecksum(pbData, (WORD)cbData, (WORD)pw->cbBlock));
    if (pw->offOut + CAB_DATA_SIZE + cbData > CAB_CABINET_MAX)
        return CabFail(pw, "the cabinet would pass 4 GB, the format's limit");
    if (!CabPutBytes(pw, pw->pbOut, CAB_DATA_SIZE + cbData)) return 0;
    pw->offOut += CAB_DATA_SIZE + cbData;
    pw->cBlocks++;
    {
        size_t cbAll = pw->cbHist + pw->cbBlock;
        if (cbAll > CAB_BLOCK_MAX) {
            memmove(pw->pbWork, pw->pbWork + (cbAll - CAB_BLOCK_MAX), CAB_BLOCK_MAX);
            cbAll = CAB_BLOCK_MAX;
        }
        pw->cbHist = cbAll;
        pw->cbBlock = 0;
    }
    return 1;
}

/* Appends one file's bytes to the folder's stream. 1, or 0 with a reason. */
static int CabPutFile(CAB_WRITER* pw, const CAB_SOURCE* pSource)
{
    unsigned long long cbLeft = pSource->cbFile;
    BYTE bExtra;
    ssize_t n;
    int fd = open(pSource->szHost, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return CabFail(pw, "cannot read %s (%s)", pSource->szHost, strerror(errno));
    while (cbLeft > 0) {
        size_t cbRoom = CAB_BLOCK_MAX - pw->cbBlock;
        if (cbRoom > cbLeft) cbRoom = (size_t)cbLeft;
        n = read(fd, pw->pbWork + pw->cbHist + pw->cbBlock, cbRoom);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            close(fd);
            if (n < 0) return CabFail(pw, "cannot read %s (%s)", pSource->szHost, strerror(errno));
            return CabFail(pw, "%s shrank while it was being packed", pSource->szHost);
        }
        pw->cbBlock += (size_t)n;
        cbLeft -= (unsigned long long)n;
        if (pw->cbBlock == CAB_BLOCK_MAX && !CabFlushBlock(pw)) {
            close(fd);
            return 0;
        }
    }
    do n = read(fd, &bExtra, 1);
    while (n < 0 && errno == EINTR);
    close(fd);
    if (n != 0) return CabFail(pw, "%s grew while it was being packed", pSource->szHost);
    return 1;
}

/* ---- 3. CabWrite ---------------------------------------------------------- */

int CabWrite(const char* szHostOut, const CAB_SOURCE* pSources, size_t cSources, WORD wCompress, char* szError,
             size_t cbError)
{
    CAB_WRITER w;
    WORD* piFolder = NULL;
    DWORD* poffFolder = NULL;
    BYTE* pbTable = NULL;
    size_t i, cbTable, off, cFolders = 0;
    unsigned long long cbFolder = 0;
    int bOk = 0;

    memset(&w, 0, sizeof(w));
    w.fd = -1;
    w.wCompress = wCompress;
    w.szError = szError;
    w.cbError = cbError;
    if (cSources == 0 || cSources > CAB_COUNT_MAX) {
        CabFail(&w, "a cabinet holds 1 to %u files, not %zu", CAB_COUNT_MAX, cSources);
        return 0;
    }
    piFolder = (WORD*)malloc(sizeof(WORD) * cSources);
    poffFolder = (DWORD*)malloc(sizeof(DWORD) * cSources);
    if (!piFolder || !poffFolder) {
        CabFail(&w, "out of memory");
        goto done;
    }
    /* A file never spans folders, so a folder ends before the file that
     * would take it past its 65535 blocks. */
    cbTable = CAB_HEADER_SIZE;
    for (i = 0; i < cSources; i++) {
        size_t cchName = strlen(pSources[i].szName);
        if (cchName == 0 || cchName > CAB_NAME_MAX) {
            CabFail(&w, "the name \"%s\" does not fit a cabinet (1 to %u bytes)", pSources[i].szName, CAB_NAME_MAX);
            goto done;
        }
        if (pSources[i].cbFile > CAB_FOLDER_BYTES_MAX) {
            CabFail(&w, "%s is too large for a cabinet (%llu bytes)", pSources[i].szHost, pSources[i].cbFile);
            goto done;
        }
        if (cFolders == 0 || cbFolder + pSources[i].cbFile > CAB_FOLDER_BYTES_MAX) {
            cFolders++;
            cbFolder = 0;
        }
        piFolder[i] = (WORD)(cFolders - 1);
        poffFolder[i] = (DWORD)cbFolder;
        cbFolder += pSources[i].cbFile;
        cbTable += CAB_ENTRY_SIZE + cchName + 1;
    }
    cbTable += cFolders * CAB_FOLDER_SIZE;

    /* 1. The tables. */
    pbTable = (BYTE*)calloc(1, cbTable);
    w.pbWork = (BYTE*)malloc(2 * CAB_BLOCK_MAX);
    w.cbOutMax = CAB_DATA_SIZE + 2 + CAB_BLOCK_INPUT_MAX;
    w.pbOut = (BYTE*)malloc(w.cbOutMax);
    if (!pbTable || !w.pbWork || !w.pbOut) {
        CabFail(&w, "out of memory");
        goto done;
    }
    memcpy(pbTable, "MSCF", 4);
    CabPut32(pbTable + 0x10, (DWORD)(CAB_HEADER_SIZE + cFolders * CAB_FOLDER_SIZE));
    pbTable[0x18] = CAB_VERSION_MINOR;
    pbTable[0x19] = CAB_VERSION_MAJOR;
    CabPut16(pbTable + 0x1A, (WORD)cFolders);
    CabPut16(pbTable + 0x1C, (WORD)cSources);
    for (i = 0; i < cFolders; i++) CabPut16(pbTable + CAB_HEADER_SIZE + i * CAB_FOLDER_SIZE + 6, wCompress);
    off = CAB_HEADER_SIZE + cFolders * CAB_FOLDER_SIZE;
    for (i = 0; i < cSources; i++) {
        size_t cchName = strlen(pSources[i].szName);
        CabPut32(pbTable + off, (DWORD)pSources[i].cbFile);
        CabPut32(pbTable + off + 4, poffFolder[i]);
        CabPut16(pbTable + off + 8, piFolder[i]);
        CabPut16(pbTable + off + 10, pSources[i].wDate);
        CabPut16(pbTable + off + 12, pSources[i].wTime);
        CabPut16(pbTable + off + 14, pSources[i].wAttribs);
        memcpy(pbTable + off + CAB_ENTRY_SIZE, pSources[i].szName, cchName + 1);
        off += CAB_ENTRY_SIZE + cchName + 1;
    }
    if (wCompress == CAB_COMPRESS_MSZIP) {
        if (deflateInit2(&w.zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
            CabFail(&w, "out of memory");
            goto done;
        }
        w.bZlib = 1;
    }
    w.fd = open(szHostOut, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (w.fd < 0) {
        CabFail(&w, "cannot create the cabinet %s (%s)", szHostOut, strerror(errno));
        goto done;
    }
    if (!CabPutBytes(&w, pbTable, cbTable)) goto done;
    w.offOut = cbTable;

    /* 2. The data, folder by folder. */
    for (i = 0; i < cSources; i++) {
        if (i == 0 || piFolder[i] != piFolder[i - 1]) {
            if (i > 0) {
                if (!CabFlushBlock(&w)) goto done;
                CabPut16(pbTable + CAB_HEADER_SIZE + (size_t)piFolder[i - 1] * CAB_FOLDER_SIZE + 4, (WORD)w.cBlocks);
            }
            CabPut32(pbTable + CAB_HEADER_SIZE + (size_t)piFolder[i] * CAB_FOLDER_SIZE, (DWORD)w.offOut);
            w.cBlocks = 0;
            w.cbHist = 0;
        }
        if (!CabPutFile(&w, &pSources[i])) goto done;
    }
    if (!CabFlushBlock(&w)) goto done;
    CabPut16(pbTable + CAB_HEADER_SIZE + (size_t)piFolder[cSources - 1] * CAB_FOLDER_SIZE + 4, (WORD)w.cBlocks);

    /* 3. The tables again, now with the offsets and counts. */
    CabPut32(pbTable + 8, (DWORD)w.offOut);
    if (lseek(w.fd, 0, SEEK_SET) != 0) {
        CabFail(&w, "cannot write the cabinet (%s)", strerror(errno));
        goto done;
    }
    if (!CabPutBytes(&w, pbTable, cbTable)) goto done;
    if (fsync(w.fd) != 0) {
        CabFail(&w, "cannot write the cabinet (%s)", strerror(errno));
        goto done;
    }
    bOk = 1;

done:
    if (w.fd >= 0 && close(w.fd) != 0 && bOk) bOk = CabFail(&w, "cannot write the cabinet (%s)", strerror(errno));
    if (w.bZlib) deflateEnd(&w.zs);
    free(w.pbWork);
    free(w.pbOut);
    free(pbTable);
    free(piFolder);
    free(poffFolder);
    return bOk;
}
