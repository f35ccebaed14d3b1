/*
 * profile.cpp - profile files on Linux (GetPrivateProfileStringA,
 * WritePrivateProfileStringA, GetPrivateProfileSectionA,
 * WritePrivateProfileSectionA).
 *
 * A profile file as this module reads it:
 *
 *   [EF BB BF]       an optional UTF-8 byte-order mark: skipped when reading,
 *                    kept when writing; nothing is converted
 *   line ...         ends with LF or CR LF; the last one may have no end
 *     header         first non-blank '[' and a ']' later on the line; the name
 *                    runs to the LAST ']', blanks trimmed, quotes included:
 *                    ["Release 7.0.1|May 1, 2009"] is found only with quotes
 *     comment        first non-blank ';' (a comment with '=' is not listed
 *                    but is found by its literal name, ";key", as in Win32)
 *     blank          only blanks (space, tab, CR, VT, FF)
 *     key line       name '=' value: the name runs to the first '=', both
 *                    parts trimmed of blanks; '#' and ';' inside are text
 *     junk           a non-blank line without '=' (also "[x" without ']'):
 *                    never a key, but GetPrivateProfileSection lists it
 *   Lines before the first header belong to no section. A NUL byte ends the
 *   meaning of its line; the bytes after it stay in the file untouched.
 *   Names match without regard to case (ASCII letters). With duplicated
 *   sections or keys the first copy answers and takes writes.
 *
 * Divisions:
 *   1. Texts: blanks, case folding, hashing
 *   2. Parsing a file into lines, sections and look-up tables
 *   3. Loading, with the content-checked cache
 *   4. Growing buffers and the Win32 result layouts
 *   5. Editing and committing a file
 *   6. The four operations
 *
 * Decisions where Win32 leaves room (the probe write-up in
 * shared/formats/win32-behaviour.md lists the observed facts):
 *   - Writes change only the lines they concern; every other line, comments,
 *     blank lines, blanks and line ends included, stays byte for byte. New
 *     lines take the line end of the file's first line (CR LF for a new file
 *     or one without any line end), so an LF-only file stays LF-only.
 *   - A new key goes after the last non-blank line of its section, so the
 *     blank lines that separate sections stay in front of the next header.
 *   - Replacing a section's entries keeps its comment and blank lines in
 *     place; the new entries go where the first old entry was.
 *   - Deleting a key removes every copy of it in the section that answers
 *     reads, and deleting a section removes every copy of it, so that a read
 *     afterwards gives the default rather than a hidden older copy.
 *   - WritePrivateProfileSection with an empty list creates the header, and
 *     the file, when missing; a delete on a missing file leaves an empty
 *     file. Both as Windows does (Wine creates nothing).
 *   - A read that fails for another reason than a missing file or directory
 *     (access denied, a directory, no memory) returns 0 and an empty buffer
 *     with the code set: answering the default there would tell the caller
 *     "no such entry" about a file it could not read.
 *   - An empty (or all-blank) section or key name is refused by the writers
 *     with ERROR_INVALID_PARAMETER: readers never find such a name.
 *   - Values, keys and section names are written verbatim, as Win32 does: a
 *     CR or LF inside a value starts a new line in the file. The Windows
 *     build behaves the same, so guarding against it belongs to the callers.
 *
 * A file is replaced by writing a temporary file in the same directory,
 * flushing it to the disk and renaming it over the old one, so a failure at
 * any point leaves either the old or the new file, never a part. The new
 * file gets the old one's permission bits and owner. A read-only file
 * (owner write bit clear) is refused with ERROR_ACCESS_DENIED and left
 * alone; a write that changes nothing does not touch the file.
 *
 * Process-wide state: a cache of the last PROF_CACHE parsed files. Each
 * operation still reads the whole file and uses a cached parse only when the
 * bytes are identical, so the result always reflects the file as it is now
 * (another program's edit within the same timestamp tick included); the cache
 * saves only the parsing. A write through this module drops the file's
 * entry. Single-threaded, like the installer.
 */
#include "platform/posix/posix.h"
#include "platform/profile.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#define HOST_MAX 4096
#define PROF_NONE 0xFFFFFFFFu
/* Larger files are refused (ERROR_NOT_ENOUGH_MEMORY): offsets are 32 bits
 * and a parse costs about 40 bytes per line. */
#define PROF_MAX_FILE (16u * 1024u * 1024u)
#define PROF_CACHE 4

/* ---- 1. Texts: blanks, case folding, hashing ------------------------- */

/* 1 for the characters Win32 trims around names and values. */
static int ProfIsBlank(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

/* ASCII letters to lower case; other bytes as they are (names here are ASCII). */
static unsigned char ProfFold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? (unsigned char)(c + 32) : c; }

/* 1 when the two names are equal without regard to ASCII case. */
static int ProfSameName(const char* pA, size_t cchA, const char* pB, size_t cchB)
{
    size_t i;
    if (cchA != cchB) return 0;
    for (i = 0; i < cchA; i++)
        if (ProfFold((unsigned char)pA[i]) != ProfFold((unsigned char)pB[i])) return 0;
    return 1;
}

/* FNV-1a over the case-folded name; dwSeed separates the sections' key sets. */
static uint32_t ProfHash(const char* p, size_t cch, uint32_t dwSeed)
{
    uint32_t dwHash = 2166136261u ^ (dwSeed * 0x9E3779B1u);
    size_t i;
    for (i = 0; i < cch; i++) {
        dwHash ^= ProfFold((unsigned char)p[i]);
        dwHash *= 16777619u;
    }
    return dwHash;
}

/* Narrows [*pp, *pp + *pcch) to its text without leading and trailing blanks. */
static void ProfTrim(const char** pp, size_t* pcch)
{
    const char* p = *pp;
    size_t cch = *pcch;
    while (cch && ProfIsBlank((unsigned char)*p)) {
        p++;
        cch--;
    }
    while (cch && ProfIsBlank((unsigned char)p[cch - 1])) cch--;
    *pp = p;
    *pcch = cch;
}

/* ---- 2. Parsing a file into lines, sections and look-up tables ------- */

enum { PL_BLANK, PL_COMMENT, PL_HEADER, PL_KEY, PL_JUNK };

typedef struct PROFLINE {
    uint32_t ib, cb;            /* raw bytes of the line, its line end included */
    uint32_t ibName, cchName;   /* header name, key name, or the text of a junk line */
    uint32_t ibValue, cchValue; /* value of a key line or of a comment with '=' */
    uint32_t iSec;              /* owning section, PROF_NONE before the first header */
    uint8_t bKind;              /* PL_... */
    uint8_t bNamed;             /* found by name: key lines and comments with '=' */
} PROFLINE;

typedef struct PROFSEC {
    uint32_t iHeader; /* line of the header */
    uint32_t iEnd;    /* one past the last line of the body */
    uint32_t iFirst;  /* the first section of the same name (itself when first) */
} PROFSEC;

typedef struct PROFDOC {
    char* szHost;       /* the cache key: host path the bytes were read from */
    char* pb;           /* the file's bytes */
    size_t cb;
    uint32_t ibBody;    /* 3 after a UTF-8 byte-order mark, else 0 */
    PROFLINE* aLines;
    uint32_t cLines;
    PROFSEC* aSecs;
    uint32_t cSecs;
    uint32_t* aSecSlots; /* open addressing: section index + 1 of first copies, 0 free */
    uint32_t cSecSlots;  /* a power of two, or 0 */
    uint32_t* aKeySlots; /* line index + 1 of the first named line per (first copy, name) */
    uint32_t cKeySlots;
} PROFDOC;

/* Frees a parse and everything it owns; NULL is allowed. */
static void ProfDocFree(PROFDOC* pDoc)
{
    if (!pDoc) return;
    free(pDoc->szHost);
    free(pDoc->pb);
    free(pDoc->aLines);
    free(pDoc->aSecs);
    free(pDoc->aSecSlots);
    free(pDoc->aKeySlots);
    free(pDoc);
}

/* Classifies one line; pb..pbEnd is the line's text before its line end. */
static void ProfParseLine(const char* pbFile, const char* pb, const char* pbEnd, PROFLINE* pLine)
{
    const char* pNul = (const char*)memchr(pb, 0, (size_t)(pbEnd - pb));
    const char* p = pb;
    const char* pEq;
    if (pNul) pbEnd = pNul;
    while (p < pbEnd && ProfIsBlank((unsigned char)*p)) p++;
    if (p == pbEnd) {
        pLine->bKind = PL_BLANK;
        return;
    }
    if (*p == '[') {
        const char* pClose = pbEnd;
        while (pClose > p + 1 && pClose[-1] != ']') pClose--;
        if (pClose > p + 1) {
            const char* pName = p + 1;
            size_t cchName = (size_t)(pClose - 1 - pName);
            ProfTrim(&pName, &cchName);
            pLine->bKind = PL_HEADER;
            pLine->ibName = (uint32_t)(pName - pbFile);
            pLine->cchName = (uint32_t)cchName;
            return;
        }
        /* "[name" without ']' is an ordinary line of the previous section. */
    }
    pEq = (const char*)memchr(p, '=', (size_t)(pbEnd - p));
    if (pEq) {
        const char* pName = p;
        size_t cchName = (size_t)(pEq - p);
        const char* pValue = pEq + 1;
        size_t cchValue = (size_t)(pbEnd - pValue);
        ProfTrim(&pName, &cchName);
        ProfTrim(&pValue, &cchValue);
        pLine->bKind = *p == ';' ? PL_COMMENT : PL_KEY;
        pLine->bNamed = 1;
        pLine->ibName = (uint32_t)(pName - pbFile);
        pLine->cchName = (uint32_t)cchName;
        pLine->ibValue = (uint32_t)(pValue - pbFile);
        pLine->cchValue = (uint32_t)cchValue;
        return;
    }
    if (*p == ';') {
        pLine->bKind = PL_COMMENT;
        return;
    }
    {
        const char* pText = p;
        size_t cchText = (size_t)(pbEnd - p);
        ProfTrim(&pText, &cchText);
        pLine->bKind = PL_JUNK;
        pLine->ibName = (uint32_t)(pText - pbFile);
        pLine->cchName = (uint32_t)cchText;
    }
}

/* A hash table size: a power of two at least twice the items, so probes stay short. */
static uint32_t ProfSlotCount(uint32_t cItems)
{
    uint32_t cSlots = 8;
    while (cSlots < cItems * 2u) cSlots <<= 1;
    return cSlots;
}

/* The first section named pName (the copy that answers), PROF_NONE when none. */
static uint32_t ProfFindSection(const PROFDOC* pDoc, const char* pName, size_t cchName)
{
    uint32_t dwMask, i;
    if (pDoc->cSecSlots == 0) return PROF_NONE;
    dwMask = pDoc->cSecSlots - 1;
    for (i = ProfHash(pName, cchName, 0) & dwMask; pDoc->aSecSlots[i]; i = (i + 1) & dwMask) {
        uint32_t iSec = pDoc->aSecSlots[i] - 1;
        const PROFLINE* pHeader = &pDoc->aLines[pDoc->aSecs[iSec].iHeader];
        if (ProfSameName(pDoc->pb + pHeader->ibName, pHeader->cchName, pName, cchName)) return iSec;
    }
    return PROF_NONE;
}

/* The first line of section iSec (a first copy) named pName, PROF_NONE when none. */
static uint32_t ProfFindKey(const PROFDOC* pDoc, uint32_t iSec, const char* pName, size_t cchName)
{
    uint32_t dwMask, i;
    if (pDoc->cKeySlots == 0) return PROF_NONE;
    dwMask = pDoc->cKeySlots - 1;
    for (i = ProfHash(pName, cchName, iSec + 1) & dwMask; pDoc->aKeySlots[i]; i = (i + 1) & dwMask) {
        uint32_t iLine = pDoc->aKeySlots[i] - 1;
        const PROFLINE* pLine = &pDoc->aLines[iLine];
        if (pLine->iSec == iSec && ProfSameName(pDoc->pb + pLine->ibName, pLine->cchName, pName, cchName))
            return iLine;
    }
    return PROF_NONE;
}

/*
 * Splits pDoc->pb into lines and builds the section and key tables.
 * Returns 1, or 0 when memory runs out (the partial tables are freed with
 * the document).
 */
static int ProfParse(PROFDOC* pDoc)
{
    const char* pb = pDoc->pb;
    const char* pbEnd = pb + pDoc->cb;
    const char* p;
    uint32_t cLines = 0, cHeaders = 0, cNamed = 0, iLine, iSec;

    pDoc->ibBody = 0;
    if (pDoc->cb >= 3 && memcmp(pb, "\xEF\xBB\xBF", 3) == 0) pDoc->ibBody = 3;

    for (p = pb + pDoc->ibBody; p < pbEnd; cLines++) {
        const char* pNl = (const char*)memchr(p, '\n', (size_t)(pbEnd - p));
        p = pNl ? pNl + 1 : pbEnd;
    }
    pDoc->aLines = (PROFLINE*)calloc(cLines ? cLines : 1, sizeof(PROFLINE));
    if (!pDoc->aLines) return 0;
    pDoc->cLines = cLines;

    for (p = pb + pDoc->ibBody, iLine = 0; p < pbEnd; iLine++) {
        const char* pNl = (const char*)memchr(p, '\n', (size_t)(pbEnd - p));
        const char* pNext = pNl ? pNl + 1 : pbEnd;
        const char* pText = pNl ? pNl : pbEnd;
        PROFLINE* pLine = &pDoc->aLines[iLine];
        pLine->ib = (uint32_t)(p - pb);
        pLine->cb = (uint32_t)(pNext - p);
        ProfParseLine(pb, p, pText, pLine);
        if (pLine->bKind == PL_HEADER) cHeaders++;
        if (pLine->bNamed) cNamed++;
        p = pNext;
    }

    pDoc->aSecs = (PROFSEC*)calloc(cHeaders ? cHeaders : 1, sizeof(PROFSEC));
    if (!pDoc->aSecs) return 0;
    iSec = PROF_NONE;
    for (iLine = 0; iLine < cLines; iLine++) {
        PROFLINE* pLine = &pDoc->aLines[iLine];
        if (pLine->bKind == PL_HEADER) {
            if (iSec != PROF_NONE) pDoc->aSecs[iSec].iEnd = iLine;
            iSec = iSec == PROF_NONE ? 0 : iSec + 1;
            pDoc->aSecs[iSec].iHeader = iLine;
        }
        pLine->iSec = iSec;
    }
    if (iSec != PROF_NONE) pDoc->aSecs[iSec].iEnd = cLines;
    pDoc->cSecs = cHeaders;

    if (cHeaders) {
        pDoc->cSecSlots = ProfSlotCount(cHeaders);
        pDoc->aSecSlots = (uint32_t*)calloc(pDoc->cSecSlots, sizeof(uint32_t));
        if (!pDoc->aSecSlots) return 0;
        for (iSec = 0; iSec < cHeaders; iSec++) {
            const PROFLINE* pHeader = &pDoc->aLines[pDoc->aSecs[iSec].iHeader];
            uint32_t iFound = ProfFindSection(pDoc, pb + pHeader->ibName, pHeader->cchName);
            if (iFound == PROF_NONE) {
                uint32_t dwMask = pDoc->cSecSlots - 1;
                uint32_t i = ProfHash(pb + pHeader->ibName, pHeader->cchName, 0) & dwMask;
                while (pDoc->aSecSlots[i]) i = (i + 1) & dwMask;
                pDoc->aSecSlots[i] = iSec + 1;
                iFound = iSec;
            }
            pDoc->aSecs[iSec].iFirst = iFound;
        }
    }
    if (cNamed) {
        pDoc->cKeySlots = ProfSlotCount(cNamed);
        pDoc->aKeySlots = (uint32_t*)calloc(pDoc->cKeySlots, sizeof(uint32_t));
        if (!pDoc->aKeySlots) return 0;
        for (iLine = 0; iLine < cLines; iLine++) {
            const PROFLINE* pLine = &pDoc->aLines[iLine];
            if (!pLine->bNamed || pLine->cchName == 0 || pLine->iSec == PROF_NONE) continue;
            if (pDoc->aSecs[pLine->iSec].iFirst != pLine->iSec) continue; /* later copies never answer */
            if (ProfFindKey(pDoc, pLine->iSec, pb + pLine->ibName, pLine->cchName) == PROF_NONE) {
                uint32_t dwMask = pDoc->cKeySlots - 1;
                uint32_t i = ProfHash(pb + pLine->ibName, pLine->cchName, pLine->iSec + 1) & dwMask;
                while (pDoc->aKeySlots[i]) i = (i + 1) & dwMask;
                pDoc->aKeySlots[i] = iLine + 1;
            }
        }
    }
    return 1;
}

/* ---- 3. Loading, with the content-checked cache ---------------------- */

static PROFDOC* s_apCache[PROF_CACHE]; /* most recently used first */
static char* s_pbScratch;              /* read buffer reused while the bytes match a cached parse */
static size_t s_cbScratch;
static PROFDOC s_docEmpty;             /* the parse of a missing file: no lines */

/* Drops the cached parse of szHost (after a write through this module). */
static void ProfForget(const char* szHost)
{
    int i, j;
    for (i = 0; i < PROF_CACHE; i++) {
        if (s_apCache[i] && strcmp(s_apCache[i]->szHost, szHost) == 0) {
            ProfDocFree(s_apCache[i]);
            for (j = i; j + 1 < PROF_CACHE; j++) s_apCache[j] = s_apCache[j + 1];
            s_apCache[PROF_CACHE - 1] = NULL;
            return;
        }
    }
}

/*
 * Reads the whole of szHost into s_pbScratch. Returns 1 with the byte count,
 * or 0 with the Win32 code: 2 missing file, 3 missing directory, 5 a
 * directory or no permission, 8 too large or out of memory.
 */
static int ProfReadFile(const char* szHost, size_t* pcb, DWORD* pdwError)
{
    struct stat st;
    size_t cb = 0;
    int fd = open(szHost, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *pdwError = PosixErrorFromErrno(errno, szHost);
        return 0;
    }
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        close(fd);
        *pdwError = ERROR_ACCESS_DENIED;
        return 0;
    }
    for (;;) {
        ssize_t cbGot;
        /* Room for the size fstat gave plus one byte, to see the end without a second pass. */
        size_t cbWant = cb + 1 > (size_t)st.st_size + 1 ? cb + 65536 : (size_t)st.st_size + 1;
        if (cbWant > PROF_MAX_FILE + 1) cbWant = PROF_MAX_FILE + 1;
        if (cb >= cbWant) {
            close(fd);
            *pdwError = ERROR_NOT_ENOUGH_MEMORY;
            return 0;
        }
        if (s_cbScratch < cbWant) {
            char* pbNew = (char*)realloc(s_pbScratch, cbWant);
            if (!pbNew) {
                close(fd);
                *pdwError = ERROR_NOT_ENOUGH_MEMORY;
                return 0;
            }
            s_pbScratch = pbNew;
            s_cbScratch = cbWant;
        }
        cbGot = read(fd, s_pbScratch + cb, s_cbScratch - cb);
        if (cbGot < 0) {
            if (errno == EINTR) continue;
            *pdwError = ERROR_READ_FAULT;
            close(fd);
            return 0;
        }
        if (cbGot == 0) break;
        cb += (size_t)cbGot;
    }
    close(fd);
    *pcb = cb;
    return 1;
}

/*
 * The parse of the file szHost as it is now. Returns 1 with *ppDoc (valid
 * until the next call of this module), or 0 with the Win32 code in
 * *pdwError as ProfReadFile. With bMissingOk a missing file (2) gives the
 * empty document instead, and *pbExists says which.
 */
static int DeferLoad(const char* szHost, int bMissingOk, PROFDOC** ppDoc, int* pbExists, DWORD* pdwError);

static int ProfLoad(const char* szHost, int bMissingOk, PROFDOC** ppDoc, int* pbExists, DWORD* pdwError)
{
    size_t cb;
    int i;
    PROFDOC* pDoc;
    if (pbExists) *pbExists = 0;
    if (DeferLoad(szHost, bMissingOk, ppDoc, pbExists, pdwError) >= 0) return *ppDoc != NULL;
    if (!ProfReadFile(szHost, &cb, pdwError)) {
        if (bMissingOk && *pdwError == ERROR_FILE_NOT_FOUND) {
            *ppDoc = &s_docEmpty;
            return 1;
        }
        return 0;
    }
    if (pbExists) *pbExists = 1;
    for (i = 0; i < PROF_CACHE; i++) {
        pDoc = s_apCache[i];
        if (!pDoc || strcmp(pDoc->szHost, szHost) != 0) continue;
        if (pDoc->cb == cb && (cb == 0 || memcmp(pDoc->pb, s_pbScratch, cb) == 0)) {
            for (; i > 0; i--) s_apCache[i] = s_apCache[i - 1];
            s_apCache[0] = pDoc;
            *ppDoc = pDoc;
            return 1;
        }
        ProfForget(szHost);
        break;
    }

    pDoc = (PROFDOC*)calloc(1, sizeof(PROFDOC));
    if (!pDoc) goto nomem;
    pDoc->szHost = strdup(szHost);
    /* The document takes the scratch buffer over; the next read gets a new one. */
    pDoc->pb = s_pbScratch;
    pDoc->cb = cb;
    s_pbScratch = NULL;
    s_cbScratch = 0;
    if (!pDoc->szHost || !ProfParse(pDoc)) {
        ProfDocFree(pDoc);
        goto nomem;
    }
    if (s_apCache[PROF_CACHE - 1]) ProfDocFree(s_apCache[PROF_CACHE - 1]);
    for (i = PROF_CACHE - 1; i > 0; i--) s_apCache[i] = s_apCache[i - 1];
    s_apCache[0] = pDoc;
    *ppDoc = pDoc;
    return 1;
nomem:
    *pdwError = ERROR_NOT_ENOUGH_MEMORY;
    return 0;
}

/* ---- 4. Growing buffers and the Win32 result layouts ----------------- */

typedef struct PROFOUT {
    char* pb;
    size_t cb, cbAlloc;
    int bNoMem; /* set once an append failed; later appends do nothing */
} PROFOUT;

/* Appends cb bytes, growing the buffer; on failure sets bNoMem and drops this and later appends. */
static void OutBytes(PROFOUT* pOut, const void* pv, size_t cb)
{
    if (pOut->bNoMem || cb == 0) return;
    if (pOut->cb + cb > pOut->cbAlloc) {
        size_t cbNew = pOut->cbAlloc ? pOut->cbAlloc * 2 : 256;
        char* pbNew;
        while (cbNew < pOut->cb + cb) cbNew *= 2;
        pbNew = (char*)realloc(pOut->pb, cbNew);
        if (!pbNew) {
            pOut->bNoMem = 1;
            return;
        }
        pOut->pb = pbNew;
        pOut->cbAlloc = cbNew;
    }
    memcpy(pOut->pb + pOut->cb, pv, cb);
    pOut->cb += cb;
}

/* Appends a text without its NUL. */
static void OutText(PROFOUT* pOut, const char* sz) { OutBytes(pOut, sz, strlen(sz)); }

/* Frees the buffer and leaves an empty one. */
static void OutFree(PROFOUT* pOut)
{
    free(pOut->pb);
    memset(pOut, 0, sizeof(*pOut));
}

/*
 * Copies a value (or default) into szBuf as GetPrivateProfileStringA does and
 * returns the characters copied. A value of two or more characters enclosed
 * in the same quote, '"' or '\'', loses both quotes. Win32 measures the room
 * against the value with its closing quote still on: a buffer of exactly
 * inner length + 1 comes back one character short ("text" in 5 gives "tex",
 * 3; in 6 gives "text", 4), which is copied here.
 */
static DWORD ProfPutValue(char* szBuf, DWORD cchBuf, const char* p, size_t cch)
{
    size_t cchCopy;
    if (cchBuf == 0) return 0;
    if (cch >= 2 && (p[0] == '"' || p[0] == '\'') && p[cch - 1] == p[0]) {
        size_t cchInner = cch - 2;
        if ((size_t)cchBuf > cchInner + 1) cchCopy = cchInner;
        else if ((size_t)cchBuf == cchInner + 1) cchCopy = cchInner ? cchInner - 1 : 0;
        else cchCopy = (size_t)cchBuf - 1;
        p++;
    } else {
        cchCopy = cch < (size_t)cchBuf - 1 ? cch : (size_t)cchBuf - 1;
    }
    memcpy(szBuf, p, cchCopy);
    szBuf[cchCopy] = 0;
    return (DWORD)cchCopy;
}

/* The default as Win32 returns it: NULL is "", trailing blanks go, leading
 * ones stay, and quotes come off as from a value. */
static DWORD ProfPutDefault(char* szBuf, DWORD cchBuf, const char* szDefault)
{
    size_t cch = szDefault ? strlen(szDefault) : 0;
    while (cch && ProfIsBlank((unsigned char)szDefault[cch - 1])) cch--;
    return ProfPutValue(szBuf, cchBuf, szDefault ? szDefault : "", cch);
}

/*
 * Copies a list of NUL-terminated names (cbList bytes, each name's NUL
 * included) into szBuf, followed by the final NUL, and returns cbList. When
 * it does not fit, the list is cut at cchBuf-2 characters and ends with two
 * NULs (the documented Win32 layout); the result is then cchBuf-2 and *pbCut
 * is set. An empty list gives two NULs when there is room.
 */
static DWORD ProfPutList(char* szBuf, DWORD cchBuf, const char* pbList, size_t cbList, int* pbCut)
{
    *pbCut = 0;
    if (cchBuf == 0) return 0;
    if (cbList + 1 <= (size_t)cchBuf) {
        if (cbList) memcpy(szBuf, pbList, cbList);
        szBuf[cbList] = 0;
        if (cbList == 0 && cchBuf >= 2) szBuf[1] = 0;
        return (DWORD)cbList;
    }
    *pbCut = 1;
    if (cchBuf < 2) {
        szBuf[0] = 0;
        return 0;
    }
    memcpy(szBuf, pbList, (size_t)cchBuf - 2);
    szBuf[cchBuf - 2] = 0;
    szBuf[cchBuf - 1] = 0;
    return cchBuf - 2;
}

/* ---- 5. Editing and committing a file -------------------------------- */

/*
 * One change to a file: lines left out, one line's text replaced (its line
 * end kept), one text inserted after a line, one text appended at the end.
 */
typedef struct PROFPLAN {
    uint8_t* abDrop; /* per line, 1 = leave out; NULL when nothing is dropped */
    uint32_t iReplace;
    const char* pReplace;
    size_t cbReplace;
    uint32_t iInsertAfter;
    const char* pInsert;
    size_t cbInsert;
    const char* pAppend;
    size_t cbAppend;
} PROFPLAN;

/* A plan that changes nothing. */
static void ProfPlanInit(PROFPLAN* pPlan)
{
    memset(pPlan, 0, sizeof(*pPlan));
    pPlan->iReplace = PROF_NONE;
    pPlan->iInsertAfter = PROF_NONE;
}

/* The line end new lines get: that of the file's first line, else CR LF. */
static const char* ProfEol(const PROFDOC* pDoc)
{
    const char* pNl = pDoc->cb ? (const char*)memchr(pDoc->pb, '\n', pDoc->cb) : NULL;
    if (pNl && (pNl == pDoc->pb || pNl[-1] != '\r')) return "\n";
    return "\r\n";
}

/* Writes the document with the plan applied into pOut (check pOut->bNoMem). */
static void ProfApply(const PROFDOC* pDoc, const PROFPLAN* pPlan, const char* szEol, PROFOUT* pOut)
{
    uint32_t iLine;
    OutBytes(pOut, pDoc->pb, pDoc->ibBody);
    for (iLine = 0; iLine < pDoc->cLines; iLine++) {
        const PROFLINE* pLine = &pDoc->aLines[iLine];
        const char* pbLine = pDoc->pb + pLine->ib;
        int bHasEnd = pLine->cb && pbLine[pLine->cb - 1] == '\n';
        if (pPlan->abDrop && pPlan->abDrop[iLine]) continue;
        if (iLine == pPlan->iReplace) {
            size_t cbEnd = !bHasEnd ? 0 : (pLine->cb >= 2 && pbLine[pLine->cb - 2] == '\r') ? 2 : 1;
            OutBytes(pOut, pPlan->pReplace, pPlan->cbReplace);
            OutBytes(pOut, pbLine + pLine->cb - cbEnd, cbEnd);
        } else {
            OutBytes(pOut, pbLine, pLine->cb);
        }
        if (iLine == pPlan->iInsertAfter && pPlan->cbInsert) {
            if (!bHasEnd) OutText(pOut, szEol);
            OutBytes(pOut, pPlan->pInsert, pPlan->cbInsert);
        }
    }
    if (pPlan->cbAppend) {
        if (pOut->cb > pDoc->ibBody && pOut->pb[pOut->cb - 1] != '\n') OutText(pOut, szEol);
        OutBytes(pOut, pPlan->pAppend, pPlan->cbAppend);
    }
}

/* The Win32 code for a failed write: a full disk or a size limit is 112, the rest as elsewhere in the layer. */
static DWORD ProfWriteError(int nErrno, const char* szHost)
{
    if (nErrno == ENOSPC || nErrno == EFBIG || nErrno == EDQUOT) return ERROR_DISK_FULL;
    return PosixErrorFromErrno(nErrno, szHost);
}

/*
 * Replaces the file szHost by the cb bytes at pb: writes a temporary file in
 * the same directory, flushes it to the disk and renames it over the target
 * (through a symbolic link to the file it names). An existing file's
 * permission bits and owner carry over. Returns 1, or 0 with the Win32 code
 * in *pdwError (112 disk full, 5 no permission, ...) and the old file, if
 * any, untouched and no temporary file left.
 */
static int ProfCommit(const char* szHost, int bExists, const char* pb, size_t cb, DWORD* pdwError)
{
    static unsigned s_uTemp;
    char szTarget[HOST_MAX];
    char szTemp[HOST_MAX + 64];
    struct stat st;
    const char* pSlash;
    size_t cbDone = 0;
    int fd = -1, nTry, nErr;

    if (!bExists || !realpath(szHost, szTarget)) {
        if (!PosixCopy(szTarget, sizeof(szTarget), szHost)) {
            *pdwError = ERROR_PATH_NOT_FOUND;
            return 0;
        }
    }
    pSlash = strrchr(szTarget, '/');
    for (nTry = 0; nTry < 100 && fd < 0; nTry++) {
        snprintf(szTemp, sizeof(szTemp), "%.*s/.~profile.%ld.%u.tmp", pSlash ? (int)(pSlash - szTarget) : 1,
                 pSlash ? szTarget : ".", (long)getpid(), ++s_uTemp);
        fd = open(szTemp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        *pdwError = ProfWriteError(errno, szTarget);
        return 0;
    }
    while (cbDone < cb) {
        ssize_t cbPut = write(fd, pb + cbDone, cb - cbDone);
        if (cbPut < 0) {
            if (errno == EINTR) continue;
            goto fail;
        }
        cbDone += (size_t)cbPut;
    }
    if (bExists && stat(szTarget, &st) == 0) {
        if (fchown(fd, st.st_uid, st.st_gid) != 0) { /* not ours to give away: keep the current owner */
        }
        if (fchmod(fd, st.st_mode & 07777) != 0) goto fail;
    }
    if (fdatasync(fd) != 0) goto fail;
    if (close(fd) != 0) {
        fd = -1;
        goto fail;
    }
    fd = -1;
    if (rename(szTemp, szTarget) != 0) goto fail;
    return 1;
fail:
    nErr = errno;
    if (fd >= 0) close(fd);
    unlink(szTemp);
    *pdwError = ProfWriteError(nErr, szTarget);
    return 0;
}

/* ---- 5a. Deferred writes of one file ----------------------------------
 *
 * Between PlatProfileDefer and PlatProfileFlush the writes to one file are
 * kept in memory and the file is written once at the end, as by one write.
 * Writes that set a plain key (no line break in any argument, a key that
 * neither contains '=' nor starts with '[' or ';') are only noted: their
 * effect is known without parsing the file again. A new key goes after the
 * last non-blank line of its section, so the keys noted for a section follow
 * one another there in the order written; a key already in the file or
 * already noted is replaced in place; a missing section is appended at the
 * end with its keys. Any other operation on the file first applies what is
 * noted (one pass over the file) and then runs as usual on the kept bytes.
 */

static const char* ProfWriteForm(const char* sz);
static uint32_t ProfLastLine(const PROFDOC* pDoc, uint32_t iSec);

#define DEFER_NEW_SECTION 0x80000000u /* section ids of sections the noted writes create */

typedef struct DEFERKEY {
    uint32_t iSec;  /* first copy of a section of the kept parse, or DEFER_NEW_SECTION + k */
    uint32_t iLine; /* the kept parse's line it replaces, PROF_NONE for a new line */
    char* pName;    /* the name as the file will spell it (trimmed): found by it, replaced under it */
    size_t cchName;
    char* pText;    /* the line without its end */
    size_t cbText;
    uint32_t iNext; /* the next new line after the same line (index + 1), 0 at the end */
} DEFERKEY;

typedef struct DEFERSEC {
    char* pName;   /* trimmed name */
    size_t cchName;
    char* pHeader; /* the name as written between the brackets */
} DEFERSEC;

static struct {
    int bActive;
    char szHost[HOST_MAX];
    char szFile[HOST_MAX]; /* the path as PlatProfileDefer was given it */
    int bExistsOnDisk; /* the file existed when the deferral began */
    int bExists;       /* the kept file exists (on disk or made by a kept write) */
    int bWritten;      /* a kept write happened */
    PROFDOC* pDoc;     /* the kept bytes and their parse (own, never in the cache); NULL while missing */
    DEFERKEY* aKeys;
    uint32_t cKeys, cKeysAlloc;
    uint32_t* aSlots; /* key index + 1 by (section id, name), open addressing */
    uint32_t cSlots;
    uint32_t* aLineKey; /* per kept line: the key index + 1 that replaces it; NULL until needed */
    DEFERSEC* aSecs;
    uint32_t cSecs, cSecsAlloc;
} s_defer;

static int DeferActiveFor(const char* szHost) { return s_defer.bActive && strcmp(s_defer.szHost, szHost) == 0; }

/* Forgets the noted writes (not the kept bytes). */
static void DeferDropNoted(void)
{
    uint32_t i;
    for (i = 0; i < s_defer.cKeys; i++) {
        free(s_defer.aKeys[i].pName);
        free(s_defer.aKeys[i].pText);
    }
    for (i = 0; i < s_defer.cSecs; i++) {
        free(s_defer.aSecs[i].pName);
        free(s_defer.aSecs[i].pHeader);
    }
    free(s_defer.aKeys);
    free(s_defer.aSlots);
    free(s_defer.aLineKey);
    free(s_defer.aSecs);
    s_defer.aKeys = NULL;
    s_defer.aSlots = NULL;
    s_defer.aLineKey = NULL;
    s_defer.aSecs = NULL;
    s_defer.cKeys = s_defer.cKeysAlloc = s_defer.cSlots = s_defer.cSecs = s_defer.cSecsAlloc = 0;
}

static void DeferEnd(void)
{
    DeferDropNoted();
    ProfDocFree(s_defer.pDoc);
    s_defer.pDoc = NULL;
    s_defer.bActive = 0;
    s_defer.szHost[0] = 0;
}

/* An array of *pcAlloc items of cbItem bytes, doubled (cFirst items when
 * empty); NULL without memory, the array then as it was. */
static void* DeferGrow(void* pArray, uint32_t* pcAlloc, uint32_t cFirst, size_t cbItem)
{
    uint32_t cAlloc = *pcAlloc ? *pcAlloc * 2 : cFirst;
    void* pNew = realloc(pArray, cAlloc * cbItem);
    if (pNew) *pcAlloc = cAlloc;
    return pNew;
}

/* The noted new key of section iSec named pName, PROF_NONE when none. */
static uint32_t DeferFindKey(uint32_t iSec, const char* pName, size_t cchName)
{
    uint32_t dwMask, i;
    if (s_defer.cSlots == 0) return PROF_NONE;
    dwMask = s_defer.cSlots - 1;
    for (i = ProfHash(pName, cchName, iSec + 1) & dwMask; s_defer.aSlots[i]; i = (i + 1) & dwMask) {
        const DEFERKEY* pKey = &s_defer.aKeys[s_defer.aSlots[i] - 1];
        if (pKey->iSec == iSec && ProfSameName(pKey->pName, pKey->cchName, pName, cchName))
            return s_defer.aSlots[i] - 1;
    }
    return PROF_NONE;
}

/* Enters key iKey in the table of new keys; 0 without memory. */
static int DeferIndexKey(uint32_t iKey)
{
    uint32_t dwMask, i;
    if ((iKey + 1) * 2 > s_defer.cSlots) {
        uint32_t cSlots = ProfSlotCount(iKey + 1) * 2, k;
        uint32_t* aSlots = (uint32_t*)calloc(cSlots, sizeof(uint32_t));
        if (!aSlots) return 0;
        free(s_defer.aSlots);
        s_defer.aSlots = aSlots;
        s_defer.cSlots = cSlots;
        for (k = 0; k < iKey; k++)
            if (s_defer.aKeys[k].iLine == PROF_NONE && !DeferIndexKey(k)) return 0;
    }
    dwMask = s_defer.cSlots - 1;
    i = ProfHash(s_defer.aKeys[iKey].pName, s_defer.aKeys[iKey].cchName, s_defer.aKeys[iKey].iSec + 1) & dwMask;
    while (s_defer.aSlots[i]) i = (i + 1) & dwMask;
    s_defer.aSlots[i] = iKey + 1;
    return 1;
}

/* 1 when the arguments make a write that can be noted. */
static int DeferIsPlain(const char* szSection, const char* szKey, const char* szValue)
{
    const char* szForm;
    if (!szKey || !szValue) return 0;
    if (strpbrk(szSection, "\r\n") || strpbrk(szKey, "\r\n=") || strpbrk(szValue, "\r\n")) return 0;
    szForm = ProfWriteForm(szKey);
    return *szForm != '[' && *szForm != ';';
}

/* Notes szKey=szValue in szSection. 1, or 0 without memory (nothing noted). */
static int DeferNote(const char* szSection, const char* szKey, const char* szValue)
{
    const char* pSec = szSection;
    const char* pKey = ProfWriteForm(szKey);
    const char* szVal = ProfWriteForm(szValue);
    const char* pName = pKey;
    size_t cchSec = strlen(szSection), cchName = strlen(pKey), cchVal = strlen(szVal);
    uint32_t iSec = PROF_NONE, iLine = PROF_NONE, iKey;
    DEFERKEY* pEntry;
    ProfTrim(&pSec, &cchSec);
    ProfTrim(&pName, &cchName);

    if (s_defer.pDoc) iSec = ProfFindSection(s_defer.pDoc, pSec, cchSec);
    if (iSec == PROF_NONE) {
        uint32_t k;
        for (k = 0; k < s_defer.cSecs; k++)
            if (ProfSameName(s_defer.aSecs[k].pName, s_defer.aSecs[k].cchName, pSec, cchSec)) break;
        if (k == s_defer.cSecs) {
            DEFERSEC* pNew;
            if (s_defer.cSecs == s_defer.cSecsAlloc) {
                DEFERSEC* aNew = (DEFERSEC*)DeferGrow(s_defer.aSecs, &s_defer.cSecsAlloc, 4, sizeof(DEFERSEC));
                if (!aNew) return 0;
                s_defer.aSecs = aNew;
            }
            pNew = &s_defer.aSecs[k];
            pNew->pName = PosixDupN(pSec, cchSec);
            pNew->cchName = cchSec;
            pNew->pHeader = PosixDupN(ProfWriteForm(szSection), strlen(ProfWriteForm(szSection)));
            if (!pNew->pName || !pNew->pHeader) {
                free(pNew->pName);
                free(pNew->pHeader);
                return 0;
            }
            s_defer.cSecs++;
        }
        iSec = DEFER_NEW_SECTION + k;
    } else {
        iLine = ProfFindKey(s_defer.pDoc, iSec, pName, cchName);
    }

    /* A key noted before, or replaced before: the line's text changes. */
    if (iLine != PROF_NONE && s_defer.aLineKey && s_defer.aLineKey[iLine]) iKey = s_defer.aLineKey[iLine] - 1;
    else if (iLine == PROF_NONE) iKey = DeferFindKey(iSec, pName, cchName);
    else iKey = PROF_NONE;
    if (iKey != PROF_NONE) {
        pEntry = &s_defer.aKeys[iKey];
        char* pText = (char*)malloc(pEntry->cchName + 1 + cchVal + 1);
        if (!pText) return 0;
        memcpy(pText, pEntry->pName, pEntry->cchName);
        pText[pEntry->cchName] = '=';
        memcpy(pText + pEntry->cchName + 1, szVal, cchVal + 1);
        free(pEntry->pText);
        pEntry->pText = pText;
        pEntry->cbText = pEntry->cchName + 1 + cchVal;
        s_defer.bWritten = 1;
        return 1;
    }

    if (s_defer.cKeys == s_defer.cKeysAlloc) {
        DEFERKEY* aNew = (DEFERKEY*)DeferGrow(s_defer.aKeys, &s_defer.cKeysAlloc, 64, sizeof(DEFERKEY));
        if (!aNew) return 0;
        s_defer.aKeys = aNew;
    }
    if (iLine != PROF_NONE && !s_defer.aLineKey) {
        s_defer.aLineKey = (uint32_t*)calloc(s_defer.pDoc->cLines, sizeof(uint32_t));
        if (!s_defer.aLineKey) return 0;
    }
    pEntry = &s_defer.aKeys[s_defer.cKeys];
    memset(pEntry, 0, sizeof(*pEntry));
    pEntry->iSec = iSec;
    pEntry->iLine = iLine;
    if (iLine != PROF_NONE) {
        /* Replaced under the spelling already in the file. */
        const PROFLINE* pLine = &s_defer.pDoc->aLines[iLine];
        pEntry->pName = PosixDupN(s_defer.pDoc->pb + pLine->ibName, pLine->cchName);
        pEntry->cchName = pLine->cchName;
        pEntry->cbText = pLine->cchName + 1 + cchVal;
        pEntry->pText = (char*)malloc(pEntry->cbText + 1);
        if (pEntry->pText && pEntry->pName) {
            memcpy(pEntry->pText, pEntry->pName, pEntry->cchName);
            pEntry->pText[pEntry->cchName] = '=';
            memcpy(pEntry->pText + pEntry->cchName + 1, szVal, cchVal + 1);
        }
    } else {
        size_t cchKeyForm = strlen(pKey);
        pEntry->pName = PosixDupN(pName, cchName);
        pEntry->cchName = cchName;
        pEntry->cbText = cchKeyForm + 1 + cchVal;
        pEntry->pText = (char*)malloc(pEntry->cbText + 1);
        if (pEntry->pText) {
            memcpy(pEntry->pText, pKey, cchKeyForm);
            pEntry->pText[cchKeyForm] = '=';
            memcpy(pEntry->pText + cchKeyForm + 1, szVal, cchVal + 1);
        }
    }
    if (!pEntry->pName || !pEntry->pText) {
        free(pEntry->pName);
        free(pEntry->pText);
        return 0;
    }
    s_defer.cKeys++;
    if (iLine != PROF_NONE) {
        s_defer.aLineKey[iLine] = s_defer.cKeys;
    } else if (!DeferIndexKey(s_defer.cKeys - 1)) {
        /* Without the index a later write could not find this key: the
         * noted writes are applied now instead. */
        return -1;
    }
    s_defer.bWritten = 1;
    return 1;
}

/* The kept bytes with the noted writes applied, in one pass. */
static void DeferCompose(PROFOUT* pOut)
{
    const PROFDOC* pDoc = s_defer.pDoc;
    const char* szEol = pDoc ? ProfEol(pDoc) : "\r\n";
    uint32_t* aFirst = NULL;
    uint32_t* aLast = NULL;
    uint32_t iKey, iLine, k;

    /* The new lines of each section of the file, in order, after its last non-blank line. */
    if (pDoc && pDoc->cLines) {
        aFirst = (uint32_t*)calloc(pDoc->cLines, sizeof(uint32_t));
        aLast = (uint32_t*)calloc(pDoc->cLines, sizeof(uint32_t));
        if (!aFirst || !aLast) {
            free(aFirst);
            free(aLast);
            pOut->bNoMem = 1;
            return;
        }
    }
    for (iKey = 0; iKey < s_defer.cKeys; iKey++) {
        DEFERKEY* pKey = &s_defer.aKeys[iKey];
        pKey->iNext = 0;
        if (pKey->iLine != PROF_NONE || pKey->iSec >= DEFER_NEW_SECTION) continue;
        iLine = ProfLastLine(pDoc, pKey->iSec);
        if (aLast[iLine]) s_defer.aKeys[aLast[iLine] - 1].iNext = iKey + 1;
        else aFirst[iLine] = iKey + 1;
        aLast[iLine] = iKey + 1;
    }
    if (pDoc) {
        OutBytes(pOut, pDoc->pb, pDoc->ibBody);
        for (iLine = 0; iLine < pDoc->cLines; iLine++) {
            const PROFLINE* pLine = &pDoc->aLines[iLine];
            const char* pbLine = pDoc->pb + pLine->ib;
            int bHasEnd = pLine->cb && pbLine[pLine->cb - 1] == '\n';
            if (s_defer.aLineKey && s_defer.aLineKey[iLine]) {
                const DEFERKEY* pKey = &s_defer.aKeys[s_defer.aLineKey[iLine] - 1];
                size_t cbEnd = !bHasEnd ? 0 : (pLine->cb >= 2 && pbLine[pLine->cb - 2] == '\r') ? 2 : 1;
                OutBytes(pOut, pKey->pText, pKey->cbText);
                OutBytes(pOut, pbLine + pLine->cb - cbEnd, cbEnd);
            } else {
                OutBytes(pOut, pbLine, pLine->cb);
            }
            if (aFirst && aFirst[iLine]) {
                if (!bHasEnd) OutText(pOut, szEol);
                for (iKey = aFirst[iLine]; iKey; iKey = s_defer.aKeys[iKey - 1].iNext) {
                    OutBytes(pOut, s_defer.aKeys[iKey - 1].pText, s_defer.aKeys[iKey - 1].cbText);
                    OutText(pOut, szEol);
                }
            }
        }
    }
    for (k = 0; k < s_defer.cSecs; k++) {
        size_t cbBody = pDoc ? pDoc->ibBody : 0;
        if (pOut->cb > cbBody && pOut->pb[pOut->cb - 1] != '\n') OutText(pOut, szEol);
        OutText(pOut, "[");
        OutText(pOut, s_defer.aSecs[k].pHeader);
        OutText(pOut, "]");
        OutText(pOut, szEol);
        for (iKey = 0; iKey < s_defer.cKeys; iKey++) {
            if (s_defer.aKeys[iKey].iSec != DEFER_NEW_SECTION + k) continue;
            OutBytes(pOut, s_defer.aKeys[iKey].pText, s_defer.aKeys[iKey].cbText);
            OutText(pOut, szEol);
        }
    }
    free(aFirst);
    free(aLast);
}

/* Makes pOut's bytes the kept file (taking them over) and parses them.
 * 1, or 0 without memory (the kept file is then as before). */
static int DeferKeep(PROFOUT* pOut)
{
    PROFDOC* pDoc = (PROFDOC*)calloc(1, sizeof(PROFDOC));
    if (!pDoc) return 0;
    pDoc->szHost = strdup(s_defer.szHost);
    pDoc->pb = pOut->pb ? pOut->pb : (char*)malloc(1);
    pDoc->cb = pOut->cb;
    if (!pDoc->szHost || !pDoc->pb || !ProfParse(pDoc)) {
        if (pDoc->pb == pOut->pb) pDoc->pb = NULL;
        ProfDocFree(pDoc);
        return 0;
    }
    pOut->pb = NULL;
    pOut->cb = pOut->cbAlloc = 0;
    ProfDocFree(s_defer.pDoc);
    s_defer.pDoc = pDoc;
    s_defer.bExists = 1;
    return 1;
}

/* Applies the noted writes to the kept file. 1, or 0 without memory. */
static int DeferApply(void)
{
    PROFOUT out = {NULL, 0, 0, 0};
    if (s_defer.cKeys == 0 && s_defer.cSecs == 0) return 1;
    DeferCompose(&out);
    if (out.bNoMem || !DeferKeep(&out)) {
        OutFree(&out);
        return 0;
    }
    DeferDropNoted();
    return 1;
}

/* ProfLoad for the deferred file: -1 for another file; else 1 with *ppDoc
 * (NULL and the code in *pdwError when it fails). */
static int DeferLoad(const char* szHost, int bMissingOk, PROFDOC** ppDoc, int* pbExists, DWORD* pdwError)
{
    if (!DeferActiveFor(szHost)) return -1;
    *ppDoc = NULL;
    if (!DeferApply()) {
        *pdwError = ERROR_NOT_ENOUGH_MEMORY;
        return 1;
    }
    if (!s_defer.bExists) {
        *pdwError = ERROR_FILE_NOT_FOUND;
        if (bMissingOk) *ppDoc = &s_docEmpty;
        return 1;
    }
    if (pbExists) *pbExists = 1;
    *ppDoc = s_defer.pDoc;
    return 1;
}

/* ProfStore for the deferred file: -1 for another file; else 1, with 0 or
 * the failure's code in *pdwError. */
static int DeferStore(const char* szHost, PROFOUT* pOut, DWORD* pdwError)
{
    if (!DeferActiveFor(szHost)) return -1;
    *pdwError = 0;
    if (!DeferKeep(pOut)) *pdwError = ERROR_NOT_ENOUGH_MEMORY;
    else s_defer.bWritten = 1;
    return 1;
}

BOOL PlatProfileDefer(const char* szFile)
{
    char szHost[HOST_MAX];
    DWORD dwError = 0;
    size_t cb;
    PlatProfileFlush(0);
    if (!szFile || !PlatHostPath(szFile, szHost, sizeof(szHost))) return 0;
    PosixCopy(s_defer.szFile, sizeof(s_defer.szFile), szFile);
    if (!ProfReadFile(szHost, &cb, &dwError)) {
        /* A missing file is kept as missing; any other trouble is left to the writes. */
        if (dwError != ERROR_FILE_NOT_FOUND) return 0;
        PosixCopy(s_defer.szHost, sizeof(s_defer.szHost), szHost);
        s_defer.bActive = 1;
        s_defer.bExistsOnDisk = s_defer.bExists = 0;
        s_defer.bWritten = 0;
        return 1;
    }
    /* A read-only file is refused by every write that changes it: left to them. */
    if (PosixReadOnly(szHost)) return 0;
    {
        PROFOUT out = {s_pbScratch, cb, s_cbScratch, 0};
        PosixCopy(s_defer.szHost, sizeof(s_defer.szHost), szHost);
        if (!DeferKeep(&out)) {
            s_defer.szHost[0] = 0;
            return 0;
        }
        s_pbScratch = NULL;
        s_cbScratch = 0;
    }
    s_defer.bActive = 1;
    s_defer.bExistsOnDisk = 1;
    s_defer.bWritten = 0;
    return 1;
}

BOOL PlatProfileFlush(BOOL bStore)
{
    DWORD dwError = 0;
    size_t cb;
    int bOk = 1;
    if (!s_defer.bActive) return 1;
    if (bStore && s_defer.bWritten) {
        if (!DeferApply()) {
            dwError = ERROR_NOT_ENOUGH_MEMORY;
        } else if (s_defer.bExists) {
            const PROFDOC* pDoc = s_defer.pDoc;
            int bSame = s_defer.bExistsOnDisk && ProfReadFile(s_defer.szHost, &cb, &dwError) && cb == pDoc->cb &&
                        (cb == 0 || memcmp(s_pbScratch, pDoc->pb, cb) == 0);
            dwError = 0;
            if (!bSame) {
                ProfForget(s_defer.szHost);
                if (s_defer.bExistsOnDisk && PosixReadOnly(s_defer.szHost)) dwError = ERROR_ACCESS_DENIED;
                else if (!ProfCommit(s_defer.szHost, s_defer.bExistsOnDisk, pDoc->pb, pDoc->cb, &dwError)) bOk = 0;
            }
        }
        if (dwError) bOk = 0;
    }
    DeferEnd();
    if (!bOk) PlatSetLastError(dwError);
    return bOk;
}

/*
 * Applies the plan to the file and stores the result, unless it equals the
 * present bytes of an existing file. Returns 1, or 0 with the last error set:
 * 5 a read-only file (left as it is), 8 no memory, or the commit's code.
 * Drops the file's cached parse.
 */
static BOOL ProfStore(const char* szHost, PROFDOC* pDoc, int bExists, const PROFPLAN* pPlan)
{
    PROFOUT out = {NULL, 0, 0, 0};
    DWORD dwError = 0;
    int bOk;
    ProfApply(pDoc, pPlan, ProfEol(pDoc), &out);
    if (out.bNoMem) {
        OutFree(&out);
        PlatSetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    if (bExists && out.cb == pDoc->cb && (out.cb == 0 || memcmp(out.pb, pDoc->pb, out.cb) == 0)) {
        OutFree(&out);
        return 1;
    }
    if (bExists && !DeferActiveFor(szHost) && PosixReadOnly(szHost)) {
        OutFree(&out);
        PlatSetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    if (DeferStore(szHost, &out, &dwError) >= 0) {
        OutFree(&out);
        if (dwError) PlatSetLastError(dwError);
        return dwError == 0;
    }
    ProfForget(szHost); /* pDoc is gone from here on */
    bOk = ProfCommit(szHost, bExists, out.pb ? out.pb : "", out.cb, &dwError);
    OutFree(&out);
    if (!bOk) PlatSetLastError(dwError);
    return bOk;
}

/* Marks every line of every copy of the section iFirst for dropping; bEntriesOnly keeps the headers,
 * comments and blank lines. Returns the first line dropped from the first copy, PROF_NONE when none. */
static uint32_t ProfDropSection(const PROFDOC* pDoc, uint32_t iFirst, int bEntriesOnly, uint8_t* abDrop)
{
    uint32_t iSec, iLine, iFirstDropped = PROF_NONE;
    for (iSec = iFirst; iSec < pDoc->cSecs; iSec++) {
        const PROFSEC* pSec = &pDoc->aSecs[iSec];
        if (pSec->iFirst != iFirst) continue;
        for (iLine = pSec->iHeader; iLine < pSec->iEnd; iLine++) {
            uint8_t bKind = pDoc->aLines[iLine].bKind;
            if (bEntriesOnly && bKind != PL_KEY && bKind != PL_JUNK) continue;
            abDrop[iLine] = 1;
            if (iSec == iFirst && iFirstDropped == PROF_NONE) iFirstDropped = iLine;
        }
    }
    return iFirstDropped;
}

/* The line after which a new entry of section iSec goes: its last non-blank line. */
static uint32_t ProfLastLine(const PROFDOC* pDoc, uint32_t iSec)
{
    const PROFSEC* pSec = &pDoc->aSecs[iSec];
    uint32_t iLine = pSec->iEnd;
    while (iLine > pSec->iHeader + 1 && pDoc->aLines[iLine - 1].bKind == PL_BLANK) iLine--;
    return iLine - 1;
}

/*
 * Resolves the file for a write: its host path and current parse. Returns 1,
 * or 0 with the last error set (3 missing directory, 5, 8, ...); a missing
 * file is an empty document with *pbExists 0.
 */
static int ProfOpenForWrite(const char* szFile, char* szHost, size_t cbHost, PROFDOC** ppDoc, int* pbExists)
{
    DWORD dwError = 0;
    if (!PlatHostPath(szFile, szHost, cbHost)) return 0;
    if (!ProfLoad(szHost, 1, ppDoc, pbExists, &dwError)) {
        PlatSetLastError(dwError);
        return 0;
    }
    return 1;
}

/* ---- 6. The four operations ------------------------------------------ */

/* Contract in platform/profile.h. Fault name "GetPrivateProfileString": 0, buffer "", the armed code. */
DWORD PlatGetPrivateProfileString(const char* szSection, const char* szKey, const char* szDefault, char* szBuf,
                                  DWORD cchBuf, const char* szFile)
{
    char szHost[HOST_MAX];
    PROFDOC* pDoc;
    DWORD dwError = 0, dwResult;
    const char* pSec;
    const char* pKey;
    size_t cchSec, cchKey;
    uint32_t iSec, iLine;

    if (cchBuf && szBuf) szBuf[0] = 0;
    if (PlatFaultHit("GetPrivateProfileString")) return 0;
    if (!szBuf) cchBuf = 0;
    if (!szFile) {
        PlatSetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    pDoc = NULL;
    if (!PlatHostPath(szFile, szHost, sizeof(szHost))) dwError = PlatGetLastError();
    else ProfLoad(szHost, 0, &pDoc, NULL, &dwError);
    if (!pDoc) {
        PlatSetLastError(dwError);
        /* A missing file reads as empty: the default, or no section names. */
        if (dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND)
            return szSection ? ProfPutDefault(szBuf, cchBuf, szDefault) : 0;
        return 0;
    }
    PlatSetLastError(ERROR_SUCCESS);

    if (!szSection) {
        PROFOUT out = {NULL, 0, 0, 0};
        int bCut;
        for (iSec = 0; iSec < pDoc->cSecs; iSec++) {
            const PROFLINE* pHeader = &pDoc->aLines[pDoc->aSecs[iSec].iHeader];
            if (pHeader->cchName == 0) continue; /* an empty name would end the list */
            OutBytes(&out, pDoc->pb + pHeader->ibName, pHeader->cchName);
            OutBytes(&out, "", 1);
        }
        if (out.bNoMem) {
            OutFree(&out);
            PlatSetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        dwResult = ProfPutList(szBuf, cchBuf, out.pb, out.cb, &bCut);
        OutFree(&out);
        return dwResult;
    }

    pSec = szSection;
    cchSec = strlen(szSection);
    ProfTrim(&pSec, &cchSec);
    iSec = cchSec ? ProfFindSection(pDoc, pSec, cchSec) : PROF_NONE;
    if (iSec == PROF_NONE) return ProfPutDefault(szBuf, cchBuf, szDefault);

    if (!szKey) {
        const PROFSEC* pSecInfo = &pDoc->aSecs[iSec];
        PROFOUT out = {NULL, 0, 0, 0};
        int bCut;
        for (iLine = pSecInfo->iHeader + 1; iLine < pSecInfo->iEnd; iLine++) {
            const PROFLINE* pLine = &pDoc->aLines[iLine];
            if (pLine->bKind != PL_KEY || pLine->cchName == 0) continue;
            OutBytes(&out, pDoc->pb + pLine->ibName, pLine->cchName);
            OutBytes(&out, "", 1);
        }
        if (out.bNoMem) {
            OutFree(&out);
            PlatSetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        /* A section without keys answers with the default, as Win32 does. */
        dwResult = out.cb ? ProfPutList(szBuf, cchBuf, out.pb, out.cb, &bCut)
                          : ProfPutDefault(szBuf, cchBuf, szDefault);
        OutFree(&out);
        return dwResult;
    }

    pKey = szKey;
    cchKey = strlen(szKey);
    ProfTrim(&pKey, &cchKey);
    iLine = cchKey ? ProfFindKey(pDoc, iSec, pKey, cchKey) : PROF_NONE;
    if (iLine == PROF_NONE) return ProfPutDefault(szBuf, cchBuf, szDefault);
    return ProfPutValue(szBuf, cchBuf, pDoc->pb + pDoc->aLines[iLine].ibValue, pDoc->aLines[iLine].cchValue);
}

/* Contract in platform/profile.h. Fault name "GetPrivateProfileSection": 0, buffer "\0\0", the armed code. */
DWORD PlatGetPrivateProfileSection(const char* szSection, char* szBuf, DWORD cchBuf, const char* szFile)
{
    char szHost[HOST_MAX];
    PROFDOC* pDoc;
    PROFOUT out = {NULL, 0, 0, 0};
    DWORD dwError = 0, dwResult;
    const char* pSec;
    size_t cchSec;
    uint32_t iSec, iLine;
    int bCut;

    if (!szBuf) cchBuf = 0;
    if (cchBuf) szBuf[0] = 0;
    if (cchBuf > 1) szBuf[1] = 0;
    if (PlatFaultHit("GetPrivateProfileSection")) return 0;
    if (!szSection || !szFile) {
        PlatSetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!PlatHostPath(szFile, szHost, sizeof(szHost))) return 0;
    if (!ProfLoad(szHost, 0, &pDoc, NULL, &dwError)) {
        PlatSetLastError(dwError);
        return 0;
    }
    PlatSetLastError(ERROR_SUCCESS);
    pSec = szSection;
    cchSec = strlen(szSection);
    ProfTrim(&pSec, &cchSec);
    iSec = cchSec ? ProfFindSection(pDoc, pSec, cchSec) : PROF_NONE;
    if (iSec == PROF_NONE) return 0;

    for (iLine = pDoc->aSecs[iSec].iHeader + 1; iLine < pDoc->aSecs[iSec].iEnd; iLine++) {
        const PROFLINE* pLine = &pDoc->aLines[iLine];
        if (pLine->bKind == PL_KEY) {
            /* "key=value" with the blanks around '=' gone; quotes stay. */
            OutBytes(&out, pDoc->pb + pLine->ibName, pLine->cchName);
            OutBytes(&out, "=", 1);
            OutBytes(&out, pDoc->pb + pLine->ibValue, pLine->cchValue);
            OutBytes(&out, "", 1);
        } else if (pLine->bKind == PL_JUNK) {
            OutBytes(&out, pDoc->pb + pLine->ibName, pLine->cchName);
            OutBytes(&out, "", 1);
        }
    }
    if (out.bNoMem) {
        OutFree(&out);
        PlatSetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    dwResult = ProfPutList(szBuf, cchBuf, out.pb, out.cb, &bCut);
    OutFree(&out);
    if (bCut) PlatSetLastError(ERROR_INSUFFICIENT_BUFFER);
    return dwResult;
}

/* Skips the leading blanks of a name or value about to be written (trailing ones stay, as in Win32). */
static const char* ProfWriteForm(const char* sz)
{
    while (*sz && ProfIsBlank((unsigned char)*sz)) sz++;
    return sz;
}

/* 1 when sz holds something besides blanks. */
static int ProfHasName(const char* sz)
{
    const char* p = sz;
    size_t cch = strlen(sz);
    ProfTrim(&p, &cch);
    return cch != 0;
}

/* The first section named szSection (blanks around it ignored), PROF_NONE when absent. */
static uint32_t ProfLocateSection(const PROFDOC* pDoc, const char* szSection)
{
    const char* pSec = szSection;
    size_t cchSec = strlen(szSection);
    ProfTrim(&pSec, &cchSec);
    return ProfFindSection(pDoc, pSec, cchSec);
}

/* Contract in platform/profile.h. Fault name "WritePrivateProfileString": 0, file untouched. */
BOOL PlatWritePrivateProfileString(const char* szSection, const char* szKey, const char* szValue,
                                   const char* szFile)
{
    char szHost[HOST_MAX];
    PROFDOC* pDoc;
    PROFPLAN plan;
    PROFOUT text = {NULL, 0, 0, 0};
    int bExists;
    const char* szSecName;
    uint32_t iSec;
    BOOL bOk;

    if (PlatFaultHit("WritePrivateProfileString")) return 0;
    if (!szSection) {
        /* All three NULL only flushes Win32's cache: 0 all the same. Otherwise Win32 answers 2. */
        PlatSetLastError(!szKey && !szValue ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
        return 0;
    }
    if (!szFile || !ProfHasName(szSection) || (szKey && !ProfHasName(szKey))) {
        PlatSetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (s_defer.bActive && DeferIsPlain(szSection, szKey, szValue)) {
        /* The deferral's own spelling of the path needs no translation. */
        if (strcmp(szFile, s_defer.szFile) == 0) PosixCopy(szHost, sizeof(szHost), s_defer.szHost);
        else if (!PlatHostPath(szFile, szHost, sizeof(szHost))) return 0;
        if (DeferActiveFor(szHost)) {
            int iNoted = DeferNote(szSection, szKey, szValue);
            if (iNoted > 0) return 1;
            /* Without memory for the note: the writes noted so far are
             * applied and this one runs as usual. */
            if (!DeferApply()) {
                PlatSetLastError(ERROR_NOT_ENOUGH_MEMORY);
                return 0;
            }
        }
    }
    if (!ProfOpenForWrite(szFile, szHost, sizeof(szHost), &pDoc, &bExists)) return 0;

    szSecName = ProfWriteForm(szSection);
    iSec = ProfLocateSection(pDoc, szSection);
    ProfPlanInit(&plan);

    if (!szKey || !szValue) {
        /* Deletions. Nothing to delete leaves an existing file alone (a missing one is created empty). */
        if (iSec != PROF_NONE) {
            plan.abDrop = (uint8_t*)calloc(pDoc->cLines, 1);
            if (!plan.abDrop) {
                PlatSetLastError(ERROR_NOT_ENOUGH_MEMORY);
                return 0;
            }
            if (!szKey) {
                ProfDropSection(pDoc, iSec, 0, plan.abDrop);
            } else {
                const char* pKey = szKey;
                size_t cchKey = strlen(szKey);
                uint32_t iLine;
                ProfTrim(&pKey, &cchKey);
                for (iLine = pDoc->aSecs[iSec].iHeader + 1; iLine < pDoc->aSecs[iSec].iEnd; iLine++) {
                    const PROFLINE* pLine = &pDoc->aLines[iLine];
                    if (pLine->bNamed && ProfSameName(pDoc->pb + pLine->ibName, pLine->cchName, pKey, cchKey))
                        plan.abDrop[iLine] = 1;
                }
            }
        }
    } else {
        const char* pKey = szKey;
        size_t cchKey = strlen(szKey);
        uint32_t iLine;
        ProfTrim(&pKey, &cchKey);
        iLine = iSec == PROF_NONE ? PROF_NONE : ProfFindKey(pDoc, iSec, pKey, cchKey);
        if (iLine != PROF_NONE) {
            /* Replaced in place under the spelling already in the file. */
            OutBytes(&text, pDoc->pb + pDoc->aLines[iLine].ibName, pDoc->aLines[iLine].cchName);
            OutText(&text, "=");
            OutText(&text, ProfWriteForm(szValue));
            plan.iReplace = iLine;
            plan.pReplace = text.pb;
            plan.cbReplace = text.cb;
        } else {
            if (iSec == PROF_NONE) {
                OutText(&text, "[");
                OutText(&text, szSecName);
                OutText(&text, "]");
                OutText(&text, ProfEol(pDoc));
            }
            OutText(&text, ProfWriteForm(szKey));
            OutText(&text, "=");
            OutText(&text, ProfWriteForm(szValue));
            OutText(&text, ProfEol(pDoc));
            if (iSec == PROF_NONE) {
                plan.pAppend = text.pb;
                plan.cbAppend = text.cb;
            } else {
                plan.iInsertAfter = ProfLastLine(pDoc, iSec);
                plan.pInsert = text.pb;
                plan.cbInsert = text.cb;
            }
        }
        if (text.bNoMem) {
            OutFree(&text);
            PlatSetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
    }
    bOk = ProfStore(szHost, pDoc, bExists, &plan);
    free(plan.abDrop);
    OutFree(&text);
    return bOk;
}

/* Contract in platform/profile.h. Fault name "WritePrivateProfileSection": 0, file untouched. */
BOOL PlatWritePrivateProfileSection(const char* szSection, const char* szEntries, const char* szFile)
{
    char szHost[HOST_MAX];
    PROFDOC* pDoc;
    PROFPLAN plan;
    PROFOUT text = {NULL, 0, 0, 0};
    const char* szEol;
    int bExists;
    uint32_t iSec;
    BOOL bOk;

    if (PlatFaultHit("WritePrivateProfileSection")) return 0;
    if (!szSection || !szFile || !ProfHasName(szSection)) {
        PlatSetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!ProfOpenForWrite(szFile, szHost, sizeof(szHost), &pDoc, &bExists)) return 0;
    szEol = ProfEol(pDoc);
    iSec = ProfLocateSection(pDoc, szSection);
    ProfPlanInit(&plan);
    if (iSec != PROF_NONE) {
        plan.abDrop = (uint8_t*)calloc(pDoc->cLines, 1);
        if (!plan.abDrop) {
            PlatSetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
    }

    if (!szEntries) {
        if (iSec != PROF_NONE) ProfDropSection(pDoc, iSec, 0, plan.abDrop);
    } else {
        const char* pEntry;
        uint32_t iFirstDropped;
        if (iSec == PROF_NONE) {
            OutText(&text, "[");
            OutText(&text, ProfWriteForm(szSection));
            OutText(&text, "]");
            OutText(&text, szEol);
        }
        /* Entries without '=' and comments are left out; blanks before the key and after '=' go. */
        for (pEntry = szEntries; *pEntry; pEntry += strlen(pEntry) + 1) {
            const char* pKey = ProfWriteForm(pEntry);
            const char* pEq = strchr(pKey, '=');
            if (!pEq || *pKey == ';') continue;
            OutBytes(&text, pKey, (size_t)(pEq - pKey));
            OutText(&text, "=");
            OutText(&text, ProfWriteForm(pEq + 1));
            OutText(&text, szEol);
        }
        if (iSec == PROF_NONE) {
            plan.pAppend = text.pb;
            plan.cbAppend = text.cb;
        } else {
            iFirstDropped = ProfDropSection(pDoc, iSec, 1, plan.abDrop);
            plan.iInsertAfter = iFirstDropped != PROF_NONE ? iFirstDropped - 1 : ProfLastLine(pDoc, iSec);
            plan.pInsert = text.pb;
            plan.cbInsert = text.cb;
        }
        if (text.bNoMem) {
            free(plan.abDrop);
            OutFree(&text);
            PlatSetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
    }
    bOk = ProfStore(szHost, pDoc, bExists, &plan);
    free(plan.abDrop);
    OutFree(&text);
    return bOk;
}
