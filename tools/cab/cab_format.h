/*
 * cab_format.h - the Microsoft Cabinet format: layout constants, the data
 * block checksum, and a reader that works on a byte buffer (the cabinet file
 * mapped into memory, or a fuzzer's input). No file system calls: the
 * caller owns the bytes and receives the extracted data through callbacks.
 *
 * Layout of one cabinet (all numbers little-endian):
 *
 *   CFHEADER   36 bytes   "MSCF", reserved, cbCabinet, reserved, coffFiles,
 *                         reserved, versionMinor 3, versionMajor 1, cFolders,
 *                         cFiles, flags, setID, iCabinet
 *              (flags & 4) cbCFHeader u16, cbCFFolder u8, cbCFData u8 and
 *                         cbCFHeader reserved bytes
 *              (flags & 1 / 2) names of the previous / next cabinet of a
 *                         set: not supported, such a cabinet is refused
 *   CFFOLDER   8 bytes each (+ cbCFFolder): coffCabStart, cCFData, typeCompress
 *   CFFILE     16 bytes each at coffFiles: cbFile, uoffFolderStart, iFolder,
 *                         date, time, attribs, then the NUL-terminated name
 *   CFDATA     8 bytes (+ cbCFData) then cbData bytes, cCFData of them per
 *                         folder from coffCabStart: csum, cbData, cbUncomp
 *
 * A folder is one stream: its files' bytes one after another, cut into
 * blocks of 32768 bytes (the last one shorter). Type 0 stores the blocks as
 * they are; type 1 (MSZIP) stores "CK" and a complete deflate stream per
 * block whose history is the folder's preceding 32 KB of output.
 */
#ifndef HERON_TOOLS_CAB_FORMAT_H
#define HERON_TOOLS_CAB_FORMAT_H

#include "platform/platform.h"

#include <stddef.h>
#include <stdint.h>

#define CAB_HEADER_SIZE 36u
#define CAB_FOLDER_SIZE 8u
#define CAB_ENTRY_SIZE 16u
#define CAB_DATA_SIZE 8u
#define CAB_VERSION_MINOR 3
#define CAB_VERSION_MAJOR 1

#define CAB_FLAG_PREV 0x0001
#define CAB_FLAG_NEXT 0x0002
#define CAB_FLAG_RESERVE 0x0004

#define CAB_COMPRESS_MASK 0x000F
#define CAB_COMPRESS_NONE 0
#define CAB_COMPRESS_MSZIP 1

#define CAB_ATTR_READONLY 0x0001
#define CAB_ATTR_ARCHIVE 0x0020
#define CAB_ATTR_NAME_UTF 0x0080

/* Uncompressed bytes of one data block; every block of a folder but the last
 * holds exactly this many. */
#define CAB_BLOCK_MAX 32768u
/* Stored bytes accepted in one block: the block and room for a compressor's
 * worst case (what common readers allow too). */
#define CAB_BLOCK_INPUT_MAX (32768u + 6144u)
/* Blocks in one folder (cCFData is 16 bits) and so the bytes a folder holds. */
#define CAB_FOLDER_BLOCKS_MAX 65535u
#define CAB_FOLDER_BYTES_MAX ((unsigned long long)CAB_FOLDER_BLOCKS_MAX * CAB_BLOCK_MAX)
/* Longest stored name without its NUL. */
#define CAB_NAME_MAX 255u
/* Entries and folders in one cabinet (16-bit counts). */
#define CAB_COUNT_MAX 65535u
/* iFolder values at and above this one continue a file across a cabinet set. */
#define CAB_FOLDER_CONTINUED 0xFFFDu

typedef struct CAB_FOLDER {
    DWORD offData;          /* coffCabStart: the first CFDATA header */
    WORD cBlocks;           /* cCFData */
    WORD wCompress;         /* typeCompress as stored */
    unsigned long long cbUncompressed; /* sum of the blocks' cbUncomp */
} CAB_FOLDER;

typedef struct CAB_ENTRY {
    DWORD cbFile;
    DWORD offFolder;        /* uoffFolderStart */
    WORD iFolder;
    WORD wDate;             /* MS-DOS date and time */
    WORD wTime;
    WORD wAttribs;
    const char* szName;     /* NUL-terminated, inside the cabinet's bytes */
} CAB_ENTRY;

/* A checked cabinet. Every offset and count in it was proven to lie inside
 * the buffer by CabOpenView; the arrays are heap memory. */
typedef struct CAB_VIEW {
    const BYTE* pb;
    size_t cb;              /* cbCabinet: the bytes the cabinet claims, <= the buffer */
    BYTE cbDataReserve;     /* reserved bytes after every CFDATA header */
    WORD cFolders;
    WORD cEntries;
    CAB_FOLDER* pFolders;
    CAB_ENTRY* pEntries;
} CAB_VIEW;

/* Receives the extracted bytes of the selected entries (see CabExtract).
 * pfnBegin: the entry's data starts; 0 refuses the entry (it is skipped, and
 *           pfnEnd is not called for it).
 * pfnWrite: the next bytes of a begun entry; 0 drops the entry (pfnEnd then
 *           follows with bComplete 0).
 * pfnEnd:   the entry is finished: bComplete 1 when it received all cbFile
 *           bytes, 0 when the cabinet's data broke off or pfnWrite failed. */
typedef struct CAB_SINK {
    int (*pfnBegin)(void* pvCtx, int iEntry);
    int (*pfnWrite)(void* pvCtx, int iEntry, const BYTE* pb, size_t cb);
    void (*pfnEnd)(void* pvCtx, int iEntry, int bComplete);
    void* pvCtx;
} CAB_SINK;

/* The format's checksum of cb bytes, starting from dwSeed: XOR of the
 * little-endian 32-bit words, with the 1 to 3 bytes left over taken most
 * significant first. Pure. */
DWORD CabChecksum(const BYTE* pb, size_t cb, DWORD dwSeed);
/* The csum field of a data block: the checksum of its stored bytes, then of
 * its cbData and cbUncomp fields. Pure. */
DWORD CabBlockChecksum(const BYTE* pbData, WORD cbData, WORD cbUncomp);

/* Little-endian fields. Pure; the caller guarantees the bytes exist. */
WORD CabGet16(const BYTE* pb);
DWORD CabGet32(const BYTE* pb);
void CabPut16(BYTE* pb, WORD w);
void CabPut32(BYTE* pb, DWORD dw);

/* Checks the cabinet in pb[0..cb) and fills *pView: the header, the folder
 * and entry tables, every entry's name and folder range, and each folder's
 * chain of data block headers. 1 on success (free with CabCloseView); 0 with
 * a one-line reason in szError (nothing to free) when the bytes are not a
 * cabinet, are damaged, belong to a cabinet set, or memory runs out. Reads
 * only inside pb[0..cb). */
int CabOpenView(const BYTE* pb, size_t cb, CAB_VIEW* pView, char* szError, size_t cbError);
void CabCloseView(CAB_VIEW* pView);

/* Decodes the data of the entries whose pbSelected[i] is nonzero and hands
 * each one's bytes, in order, to the sink (empty entries are begun and ended
 * at once). Folders are independent: damage in one (checksum, bad
 * compressed data, a compression type other than none or MSZIP) ends the
 * entries of that folder still open with bComplete 0 and leaves its later
 * entries unbegun; the other folders are still extracted. 1 when no damage
 * was met, 0 with the first reason in szError. */
int CabExtract(const CAB_VIEW* pView, const BYTE* pbSelected, const CAB_SINK* pSink, char* szError, size_t cbError);

/* The name of a compression type for messages ("none", "MSZIP", "LZX", ...). */
const char* CabCompressName(WORD wCompress);

#endif
