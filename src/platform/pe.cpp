/*
 * pe.cpp - the Portable Executable resource reader (map of the format in
 * pe.h).
 *
 * Divisions:
 *   1. Little-endian reads and the header check
 *   2. RVA mapping
 *   3. The resource tree
 *   4. String tables
 *   5. Version blocks
 *
 * Arithmetic on offsets read from the file is done in 64 bits and compared
 * with what remains, never added first and checked after, so that no sum
 * can wrap.
 */
#include "platform/pe.h"

#include <string.h>

/* ---- 1. Little-endian reads and the header check ---------------------- */

WORD PeRead16(const BYTE* pb) { return (WORD)(pb[0] | (pb[1] << 8)); }

DWORD PeRead32(const BYTE* pb)
{
    return (DWORD)pb[0] | ((DWORD)pb[1] << 8) | ((DWORD)pb[2] << 16) | ((DWORD)pb[3] << 24);
}

#define PE_DOS_LFANEW 0x3C
#define PE_FILE_HEADER_SIZE 20
#define PE_SECTION_SIZE 40
#define PE_RSRC_DIRECTORY 2

int PeParseImage(const BYTE* pb, size_t cb, PE_IMAGE* pImage)
{
    unsigned long long offPe, offOpt, offSections;
    WORD cbOptional, wMagic;
    DWORD cDirectories, offDirCount, offDirs;

    memset(pImage, 0, sizeof(*pImage));
    if (!pb || cb < 64 || pb[0] != 'M' || pb[1] != 'Z') return 0;
    offPe = PeRead32(pb + PE_DOS_LFANEW);
    if (offPe > cb || cb - offPe < 4 + PE_FILE_HEADER_SIZE) return 0;
    if (memcmp(pb + offPe, "PE\0\0", 4) != 0) return 0;

    pImage->wMachine = PeRead16(pb + offPe + 4);
    pImage->cSections = PeRead16(pb + offPe + 6);
    cbOptional = PeRead16(pb + offPe + 20);
    offOpt = offPe + 4 + PE_FILE_HEADER_SIZE;
    if (cbOptional < 2 || cb - offOpt < cbOptional) return 0;
    wMagic = PeRead16(pb + offOpt);
    if (wMagic == 0x10B) {
        offDirCount = 92;
        offDirs = 96;
    } else if (wMagic == 0x20B) {
        offDirCount = 108;
        offDirs = 112;
        pImage->bPe32Plus = 1;
    } else {
        return 0;
    }

    offSections = offOpt + cbOptional;
    if ((unsigned long long)pImage->cSections * PE_SECTION_SIZE > cb - offSections) return 0;
    pImage->offSections = (size_t)offSections;
    pImage->pbFile = pb;
    pImage->cbFile = cb;

    /* A file without a resource directory is still a PE file. */
    if (cbOptional >= offDirCount + 4) {
        cDirectories = PeRead32(pb + offOpt + offDirCount);
        if (cDirectories > PE_RSRC_DIRECTORY && cbOptional >= offDirs + 8 * (PE_RSRC_DIRECTORY + 1)) {
            pImage->dwRsrcRva = PeRead32(pb + offOpt + offDirs + 8 * PE_RSRC_DIRECTORY);
            pImage->dwRsrcSize = PeRead32(pb + offOpt + offDirs + 8 * PE_RSRC_DIRECTORY + 4);
        }
    }
    return 1;
}

/* ---- 2. RVA mapping ------------------------------------------------------ */

int PeRvaToOffset(const PE_IMAGE* pImage, DWORD dwRva, DWORD cb, size_t* poff)
{
    WORD i;
    for (i = 0; i < pImage->cSections; i++) {
        const BYTE* pbSec = pImage->pbFile + pImage->offSections + (size_t)i * PE_SECTION_SIZE;
        unsigned long long ullVirtual = PeRead32(pbSec + 8);
        unsigned long long ullVa = PeRead32(pbSec + 12);
        unsigned long long ullRaw = PeRead32(pbSec + 16);
        unsigned long long ullPtr = PeRead32(pbSec + 20);
        unsigned long long ullAvail = ullRaw;
        unsigned long long ullInto;
        /* Bytes past the virtual size belong to no one; bytes past the file's
         * end are not there. */
        if (ullVirtual != 0 && ullVirtual < ullAvail) ullAvail = ullVirtual;
        if (ullPtr >= pImage->cbFile) continue;
        if (ullAvail > pImage->cbFile - ullPtr) ullAvail = pImage->cbFile - ullPtr;
        if (dwRva < ullVa) continue;
        ullInto = dwRva - ullVa;
        if (ullInto >= ullAvail && !(ullInto == ullAvail && cb == 0)) continue;
        if (cb > ullAvail - ullInto) continue;
        *poff = (size_t)(ullPtr + ullInto);
        return 1;
    }
    return 0;
}

/* ---- 3. The resource tree ---------------------------------------------- */

#define PE_HIGH_BIT 0x80000000u

/* Maps cb bytes at offset dwRel of the resource directory. */
static const BYTE* PeRsrcBytes(const PE_IMAGE* pImage, DWORD dwRel, DWORD cb)
{
    unsigned long long ullRva = (unsigned long long)pImage->dwRsrcRva + dwRel;
    size_t off;
    if (ullRva > 0xFFFFFFFFull) return NULL;
    if (!PeRvaToOffset(pImage, (DWORD)ullRva, cb, &off)) return NULL;
    return pImage->pbFile + off;
}

/* The entries of the directory at dwRel: a pointer to the first and their count. */
static const BYTE* PeRsrcEntries(const PE_IMAGE* pImage, DWORD dwRel, DWORD* pcEntries)
{
    const BYTE* pbDir = PeRsrcBytes(pImage, dwRel, 16);
    DWORD cEntries;
    if (!pbDir) return NULL;
    cEntries = (DWORD)PeRead16(pbDir + 12) + PeRead16(pbDir + 14);
    if (dwRel > 0xFFFFFFFFu - 16) return NULL;
    *pcEntries = cEntries;
    if (cEntries == 0) return pbDir + 16;
    return PeRsrcBytes(pImage, dwRel + 16, cEntries * 8);
}

/* The subdirectory offset of the entry with integer id dwId in the directory at dwRel. */
static int PeRsrcFindSubdir(const PE_IMAGE* pImage, DWORD dwRel, DWORD dwId, DWORD* pdwSub)
{
    DWORD cEntries, i;
    const BYTE* pbEntries = PeRsrcEntries(pImage, dwRel, &cEntries);
    if (!pbEntries) return 0;
    for (i = 0; i < cEntries; i++) {
        DWORD dwName = PeRead32(pbEntries + 8 * i);
        DWORD dwOffset = PeRead32(pbEntries + 8 * i + 4);
        if ((dwName & PE_HIGH_BIT) || dwName != dwId) continue;
        if (!(dwOffset & PE_HIGH_BIT)) return 0;
        *pdwSub = dwOffset & ~PE_HIGH_BIT;
        return 1;
    }
    return 0;
}

int PeFindResource(const PE_IMAGE* pImage, DWORD dwType, DWORD dwName, int iLanguage, PE_RESOURCE* pResource)
{
    DWORD dwTypeDir, dwNameDir, cEntries, i;
    const BYTE* pbEntries;
    const BYTE* pbPicked = NULL;
    const BYTE* pbNeutral = NULL;
    const BYTE* pbFirst = NULL;
    const BYTE* pbData;
    size_t offData;

    memset(pResource, 0, sizeof(*pResource));
    if (!pImage->pbFile || pImage->dwRsrcRva == 0) return 0;
    if (!PeRsrcFindSubdir(pImage, 0, dwType, &dwTypeDir)) return 0;
    if (!PeRsrcFindSubdir(pImage, dwTypeDir, dwName, &dwNameDir)) return 0;
    pbEntries = PeRsrcEntries(pImage, dwNameDir, &cEntries);
    if (!pbEntries) return 0;
    for (i = 0; i < cEntries; i++) {
        const BYTE* pbEntry = pbEntries + 8 * i;
        DWORD dwLang = PeRead32(pbEntry);
        if ((dwLang & PE_HIGH_BIT) || dwLang > 0xFFFF) continue;
        if (PeRead32(pbEntry + 4) & PE_HIGH_BIT) continue; /* a leaf must be data */
        if (!pbFirst) pbFirst = pbEntry;
        if (dwLang == 0 && !pbNeutral) pbNeutral = pbEntry;
        if (iLanguage >= 0 && dwLang == (DWORD)iLanguage) {
            pbPicked = pbEntry;
            break;
        }
    }
    if (!pbPicked) pbPicked = pbNeutral ? pbNeutral : pbFirst;
    if (!pbPicked) return 0;

    pbData = PeRsrcBytes(pImage, PeRead32(pbPicked + 4), 16);
    if (!pbData) return 0;
    if (!PeRvaToOffset(pImage, PeRead32(pbData), PeRead32(pbData + 4), &offData)) return 0;
    pResource->offData = offData;
    pResource->cbData = PeRead32(pbData + 4);
    pResource->wLanguage = (WORD)PeRead32(pbPicked);
    return 1;
}

/* ---- 4. String tables ---------------------------------------------------- */

int PeFindString(const PE_IMAGE* pImage, DWORD dwId, PE_STRING* pString)
{
    PE_RESOURCE res;
    size_t pos = 0;
    DWORD i, iIndex = dwId & 15;

    memset(pString, 0, sizeof(*pString));
    if (dwId > 0xFFFF) return 0;
    if (!PeFindResource(pImage, PE_RT_STRING, (dwId >> 4) + 1, PE_ANY_LANGUAGE, &res)) return 0;
    for (i = 0; i <= iIndex; i++) {
        WORD cch;
        if (res.cbData - pos < 2) return 0;
        cch = PeRead16(pImage->pbFile + res.offData + pos);
        if ((size_t)cch * 2 > res.cbData - pos - 2) return 0;
        if (i == iIndex) {
            pString->offCount = res.offData + pos;
            pString->offText = res.offData + pos + 2;
            pString->cchText = cch;
            pString->wLanguage = res.wLanguage;
            return 1;
        }
        pos += 2 + (size_t)cch * 2;
    }
    return 0;
}

/* ---- 5. Version blocks ---------------------------------------------------- */

typedef struct PE_NODE {
    size_t offNode;
    size_t offEnd;       /* offNode + length */
    size_t offKey;
    size_t cchKey;       /* UTF-16 units before the key's NUL */
    size_t offValue;
    size_t cbValue;
    size_t offChildren;
    WORD wType;
} PE_NODE;

static size_t PeAlign4(size_t off) { return (off + 3) & ~(size_t)3; }

/* Reads the node at offNode that must end by offLimit. */
static int PeVersionNode(const BYTE* pb, size_t offNode, size_t offLimit, PE_NODE* pNode)
{
    WORD wLength, wValueLength;
    size_t off;
    if (offNode > offLimit || offLimit - offNode < 6) return 0;
    wLength = PeRead16(pb + offNode);
    if (wLength < 6 || wLength > offLimit - offNode) return 0;
    pNode->offNode = offNode;
    pNode->offEnd = offNode + wLength;
    wValueLength = PeRead16(pb + offNode + 2);
    pNode->wType = PeRead16(pb + offNode + 4);

    pNode->offKey = offNode + 6;
    for (off = pNode->offKey;; off += 2) {
        if (pNode->offEnd - off < 2) return 0; /* a key must end inside its node */
        if (PeRead16(pb + off) == 0) break;
    }
    pNode->cchKey = (off - pNode->offKey) / 2;
    off += 2;

    pNode->offValue = PeAlign4(off);
    if (pNode->offValue > pNode->offEnd) pNode->offValue = pNode->offEnd;
    /* Some resource compilers count text values in bytes, not units: the
     * node's own length is the limit either way. */
    pNode->cbValue = pNode->wType == 1 ? (size_t)wValueLength * 2 : wValueLength;
    if (pNode->cbValue > pNode->offEnd - pNode->offValue) pNode->cbValue = pNode->offEnd - pNode->offValue;
    pNode->offChildren = PeAlign4(pNode->offValue + pNode->cbValue);
    if (pNode->offChildren > pNode->offEnd) pNode->offChildren = pNode->offEnd;
    return 1;
}

static int PeLowerAscii(int c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

/* 1 when the node's key equals cch characters of sz (ASCII, without regard to case). */
static int PeKeyEquals(const BYTE* pb, const PE_NODE* pNode, const char* sz, size_t cch)
{
    size_t i;
    if (pNode->cchKey != cch) return 0;
    for (i = 0; i < cch; i++) {
        WORD wUnit = PeRead16(pb + pNode->offKey + 2 * i);
        if (wUnit >= 0x80 || PeLowerAscii(wUnit) != PeLowerAscii((unsigned char)sz[i])) return 0;
    }
    return 1;
}

size_t PeVersionBlockSize(const BYTE* pb, size_t cb)
{
    WORD wLength;
    if (!pb || cb < 6) return 0;
    wLength = PeRead16(pb);
    return (wLength >= 6 && wLength <= cb) ? wLength : 0;
}

int PeVersionQuery(const BYTE* pb, size_t cb, const char* szPath, PE_VERSION_VALUE* pValue)
{
    PE_NODE node;
    const char* p = szPath ? szPath : "";

    memset(pValue, 0, sizeof(*pValue));
    if (!pb || !PeVersionNode(pb, 0, cb, &node)) return 0;
    if (!PeKeyEquals(pb, &node, "VS_VERSION_INFO", 15)) return 0;

    for (;;) {
        const char* pEnd;
        size_t off;
        int bFound = 0;
        while (*p == '\\') p++;
        if (!*p) break;
        pEnd = p;
        while (*pEnd && *pEnd != '\\') pEnd++;
        /* Each child is inside its parent and is at least 6 bytes long, so
         * the walk moves forward and ends. */
        for (off = node.offChildren; off < node.offEnd; ) {
            PE_NODE child;
            if (!PeVersionNode(pb, off, node.offEnd, &child)) break;
            if (PeKeyEquals(pb, &child, p, (size_t)(pEnd - p))) {
                node = child;
                bFound = 1;
                break;
            }
            off = PeAlign4(child.offEnd);
        }
        if (!bFound) return 0;
        p = pEnd;
    }
    pValue->offValue = node.offValue;
    pValue->cbValue = (DWORD)node.cbValue;
    pValue->wType = node.wType;
    return 1;
}
