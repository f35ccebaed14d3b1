/*
 * registry.cpp - the registry, read only, from $HERON_ROOT/registry.reg.
 *
 * The file is in the registry editor's export format:
 *
 *   Windows Registry Editor Version 5.00          (header; not required)
 *
 *   [HKEY_LOCAL_MACHINE\Software\Vireo\Garnet]    a key line; parents are
 *   "Path"="C:\\VIREO\\GARNET"                    made as needed
 *   @="default value"                             the default value
 *   "Count"=dword:0000002a                        REG_DWORD, 1-8 hex digits
 *   "Blob"=hex:01,02,\                            REG_BINARY; hex(N): is type
 *     03                                          N; "\" continues the line
 *
 * Strings and value names take the escapes \\ and \" (any other backslash
 * is literal). Lines end in LF or CR LF; a UTF-16LE file (as the editor
 * writes it, with its byte-order mark) is read as single-byte text. Lines
 * starting with ";" are comments. Anything else that does not fit, keys of
 * other hives, "[-...]" deletions and "=-" value deletions are skipped: a bad
 * line never stops the reading. A key or value met twice is merged (the last
 * value wins). Key and value names match without regard to case; subkeys
 * enumerate in the order the file first names them, keys that only exist as
 * parents of deeper keys included. A key line deeper than 512 levels (the
 * Windows limit) is skipped, which also bounds the recursion that frees the
 * tree; files beyond 64 MB are read only that far.
 *
 * The file is parsed again at every open of HKEY_LOCAL_MACHINE, so a program
 * the installer started may rewrite it (the service registration does);
 * keys opened below an open key share that key's parsed tree, which lives
 * until its last handle is closed. Without HERON_ROOT the registry is empty.
 */
#include "platform/posix/posix.h"
#include "platform/registry.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#define REG_HANDLE_MAGIC 0x5245474Bu
#define REG_FILE_MAX (64u * 1024u * 1024u)
#define REG_DEPTH_MAX 512

typedef struct REGVALUE {
    char* szName; /* "" for the default value */
    DWORD dwType;
    BYTE* pbData;
    DWORD cbData;
} REGVALUE;

typedef struct REGNODE {
    char* szName;
    struct REGNODE** ppChildren;
    DWORD cChildren;
    DWORD cChildAlloc;
    REGVALUE* pValues;
    DWORD cValues;
    DWORD cValueAlloc;
} REGNODE;

typedef struct REGTREE {
    int nRefs;
    REGNODE* pRoot; /* HKEY_LOCAL_MACHINE */
} REGTREE;

typedef struct REGHANDLE {
    DWORD dwMagic;
    REGTREE* pTree;
    REGNODE* pNode;
} REGHANDLE;

/* ---- The tree ------------------------------------------------------------- */

static REGNODE* RegNewNode(const char* pName, size_t cchName)
{
    REGNODE* pNode = (REGNODE*)calloc(1, sizeof(REGNODE));
    if (!pNode) return NULL;
    pNode->szName = PosixDupN(pName, cchName);
    if (!pNode->szName) {
        free(pNode);
        return NULL;
    }
    return pNode;
}

static void RegFreeNode(REGNODE* pNode)
{
    DWORD i;
    if (!pNode) return;
    for (i = 0; i < pNode->cChildren; i++) RegFreeNode(pNode->ppChildren[i]);
    for (i = 0; i < pNode->cValues; i++) {
        free(pNode->pValues[i].szName);
        free(pNode->pValues[i].pbData);
    }
    free(pNode->ppChildren);
    free(pNode->pValues);
    free(pNode->szName);
    free(pNode);
}

static REGNODE* RegFindChild(REGNODE* pNode, const char* pName, size_t cchName)
{
    DWORD i;
    for (i = 0; i < pNode->cChildren; i++) {
        const char* szChild = pNode->ppChildren[i]->szName;
        if (strlen(szChild) == cchName && strncasecmp(szChild, pName, cchName) == 0) return pNode->ppChildren[i];
    }
    return NULL;
}

static REGNODE* RegAddChild(REGNODE* pNode, const char* pName, size_t cchName)
{
    REGNODE* pChild = RegFindChild(pNode, pName, cchName);
    if (pChild) return pChild;
    if (pNode->cChildren == pNode->cChildAlloc) {
        DWORD cNew = pNode->cChildAlloc ? pNode->cChildAlloc * 2 : 4;
        REGNODE** pp = (REGNODE**)realloc(pNode->ppChildren, cNew * sizeof(REGNODE*));
        if (!pp) return NULL;
        pNode->ppChildren = pp;
        pNode->cChildAlloc = cNew;
    }
    pChild = RegNewNode(pName, cchName);
    if (!pChild) return NULL;
    pNode->ppChildren[pNode->cChildren++] = pChild;
    return pChild;
}

static REGVALUE* RegFindValue(REGNODE* pNode, const char* szName)
{
    DWORD i;
    for (i = 0; i < pNode->cValues; i++)
        if (strcasecmp(pNode->pValues[i].szName, szName) == 0) return &pNode->pValues[i];
    return NULL;
}

/* Takes ownership of szName and pbData (frees them on failure). */
static void RegSetValue(REGNODE* pNode, char* szName, DWORD dwType, BYTE* pbData, DWORD cbData)
{
    REGVALUE* pValue = RegFindValue(pNode, szName);
    if (pValue) {
        free(szName);
        free(pValue->pbData);
    } else {
        if (pNode->cValues == pNode->cValueAlloc) {
            DWORD cNew = pNode->cValueAlloc ? pNode->cValueAlloc * 2 : 4;
            REGVALUE* p = (REGVALUE*)realloc(pNode->pValues, cNew * sizeof(REGVALUE));
            if (!p) {
                free(szName);
                free(pbData);
                return;
            }
            pNode->pValues = p;
            pNode->cValueAlloc = cNew;
        }
        pValue = &pNode->pValues[pNode->cValues++];
        pValue->szName = szName;
    }
    pValue->dwType = dwType;
    pValue->pbData = pbData;
    pValue->cbData = cbData;
}

/* Walks a path of names separated by backslashes from pNode; empty names
 * (doubled or trailing backslashes) are passed over. bCreate makes missing
 * keys, at most REG_DEPTH_MAX levels deep (as Windows). NULL when a key is
 * missing (or cannot be made). */
static REGNODE* RegWalk(REGNODE* pNode, const char* p, size_t cch, int bCreate)
{
    const char* pEnd = p + cch;
    int cDepth = 0;
    while (pNode && p < pEnd) {
        const char* pSep = (const char*)memchr(p, '\\', (size_t)(pEnd - p));
        size_t cchName = (size_t)((pSep ? pSep : pEnd) - p);
        if (cchName) {
            if (bCreate && ++cDepth > REG_DEPTH_MAX) return NULL;
            pNode = bCreate ? RegAddChild(pNode, p, cchName) : RegFindChild(pNode, p, cchName);
        }
        p += cchName + 1;
    }
    return pNode;
}

/* ---- Parsing ----------------------------------------------------------------- */

static int RegIsSpace(char ch) { return ch == ' ' || ch == '\t' || ch == '\r'; }

static void RegTrim(const char** pp, const char** ppEnd)
{
    while (*pp < *ppEnd && RegIsSpace(**pp)) (*pp)++;
    while (*ppEnd > *pp && RegIsSpace((*ppEnd)[-1])) (*ppEnd)--;
}

/* A quoted text from *pp (at the opening quote) with \\ and \" escapes.
 * Returns a new NUL-terminated text (its length in *pcch) and moves *pp past
 * the closing quote, or NULL when there is no closing quote. */
static char* RegParseQuoted(const char** pp, const char* pEnd, size_t* pcch)
{
    const char* p = *pp + 1;
    char* sz = (char*)malloc((size_t)(pEnd - p) + 1);
    size_t j = 0;
    if (!sz) return NULL;
    while (p < pEnd && *p != '"') {
        if (*p == '\\' && p + 1 < pEnd && (p[1] == '\\' || p[1] == '"')) {
            sz[j++] = p[1];
            p += 2;
        } else {
            sz[j++] = *p++;
        }
    }
    if (p >= pEnd) {
        free(sz);
        return NULL;
    }
    sz[j] = 0;
    *pp = p + 1;
    if (pcch) *pcch = j;
    return sz;
}

static int RegHexDigit(char ch)
{
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

/* "aa,bb,cc" (blanks allowed around the commas) into bytes; 0 when malformed. */
static int RegParseHexBytes(const char* p, const char* pEnd, BYTE** ppb, DWORD* pcb)
{
    BYTE* pb = (BYTE*)malloc((size_t)(pEnd - p) / 2 + 1);
    DWORD cb = 0;
    if (!pb) return 0;
    RegTrim(&p, &pEnd);
    while (p < pEnd) {
        int nHi, nLo;
        while (p < pEnd && RegIsSpace(*p)) p++;
        if (pEnd - p < 1) break;
        nHi = RegHexDigit(*p);
        nLo = (pEnd - p >= 2) ? RegHexDigit(p[1]) : -1;
        if (nHi < 0) goto bad;
        if (nLo < 0) {
            pb[cb++] = (BYTE)nHi;
            p += 1;
        } else {
            pb[cb++] = (BYTE)(nHi * 16 + nLo);
            p += 2;
        }
        while (p < pEnd && RegIsSpace(*p)) p++;
        if (p < pEnd) {
            if (*p != ',') goto bad;
            p++;
        }
    }
    *ppb = pb;
    *pcb = cb;
    return 1;
bad:
    free(pb);
    return 0;
}

/* One value line (already joined with its continuation lines) of pKey. */
static void RegParseValueLine(REGNODE* pKey, const char* p, const char* pEnd)
{
    char* szName;
    BYTE* pbData = NULL;
    DWORD cbData = 0;
    DWORD dwType;

    if (*p == '@') {
        szName = PosixDupN("", 0);
        p++;
    } else {
        szName = RegParseQuoted(&p, pEnd, NULL);
    }
    if (!szName) return;
    while (p < pEnd && RegIsSpace(*p)) p++;
    if (p >= pEnd || *p != '=') goto skip;
    p++;
    while (p < pEnd && RegIsSpace(*p)) p++;

    if (p < pEnd && *p == '"') {
        size_t cch = 0;
        char* szData = RegParseQuoted(&p, pEnd, &cch);
        if (!szData) goto skip;
        while (p < pEnd && RegIsSpace(*p)) p++;
        if (p != pEnd) {
            free(szData);
            goto skip;
        }
        dwType = REG_SZ;
        pbData = (BYTE*)szData;
        cbData = (DWORD)cch + 1;
    } else if ((size_t)(pEnd - p) >= 6 && strncasecmp(p, "dword:", 6) == 0) {
        DWORD dw = 0;
        int cDigits = 0;
        p += 6;
        while (p < pEnd && RegHexDigit(*p) >= 0 && cDigits < 9) {
            dw = dw * 16 + (DWORD)RegHexDigit(*p++);
            cDigits++;
        }
        while (p < pEnd && RegIsSpace(*p)) p++;
        if (cDigits == 0 || cDigits > 8 || p != pEnd) goto skip;
        pbData = (BYTE*)malloc(4);
        if (!pbData) goto skip;
        memcpy(pbData, &dw, 4); /* little-endian on the machines this runs on, as REG_DWORD */
        dwType = REG_DWORD;
        cbData = 4;
    } else if ((size_t)(pEnd - p) >= 3 && strncasecmp(p, "hex", 3) == 0) {
        p += 3;
        dwType = REG_BINARY;
        if (p < pEnd && *p == '(') {
            DWORD dwKind = 0;
            int cDigits = 0;
            p++;
            while (p < pEnd && RegHexDigit(*p) >= 0 && cDigits < 9) {
                dwKind = dwKind * 16 + (DWORD)RegHexDigit(*p++);
                cDigits++;
            }
            if (cDigits == 0 || cDigits > 8 || p >= pEnd || *p != ')') goto skip;
            p++;
            dwType = dwKind;
        }
        if (p >= pEnd || *p != ':') goto skip;
        p++;
        if (!RegParseHexBytes(p, pEnd, &pbData, &cbData)) goto skip;
    } else {
        goto skip;
    }
    RegSetValue(pKey, szName, dwType, pbData, cbData);
    return;
skip:
    free(szName);
}

/* Next physical line of the text from *piPos: [*ppLine, *ppEnd), without
 * the line end. 0 at the end of the text. */
static int RegNextLine(const char* szText, size_t cbText, size_t* piPos, const char** ppLine, const char** ppEnd)
{
    const char* p;
    const char* pNl;
    if (*piPos >= cbText) return 0;
    p = szText + *piPos;
    pNl = (const char*)memchr(p, '\n', cbText - *piPos);
    if (!pNl) pNl = szText + cbText;
    *ppLine = p;
    *ppEnd = pNl;
    *piPos = (size_t)(pNl - szText) + 1;
    return 1;
}

/* A value line whose data is "hex..." and ends with "\" continues on the
 * next lines; this joins them (each continuation trimmed) into a new text. */
static char* RegJoinContinuation(const char* p, const char* pEnd, const char* szText, size_t cbText, size_t* piPos,
                                 size_t* pcchOut)
{
    size_t cchAlloc = (size_t)(pEnd - p) + 1;
    size_t cch = 0;
    char* sz = (char*)malloc(cchAlloc);
    if (!sz) return NULL;
    memcpy(sz, p, (size_t)(pEnd - p));
    cch = (size_t)(pEnd - p);
    while (cch > 0 && sz[cch - 1] == '\\') {
        const char* pLine;
        const char* pLineEnd;
        char* szGrown;
        cch--; /* drop the "\" */
        if (!RegNextLine(szText, cbText, piPos, &pLine, &pLineEnd)) break;
        RegTrim(&pLine, &pLineEnd);
        szGrown = (char*)realloc(sz, cch + (size_t)(pLineEnd - pLine) + 1);
        if (!szGrown) {
            free(sz);
            return NULL;
        }
        sz = szGrown;
        memcpy(sz + cch, pLine, (size_t)(pLineEnd - pLine));
        cch += (size_t)(pLineEnd - pLine);
    }
    sz[cch] = 0;
    *pcchOut = cch;
    return sz;
}

/* 1 when the value line's data part starts with "hex" (may continue). */
static int RegIsHexValueLine(const char* p, const char* pEnd)
{
    const char* pEq;
    if (*p == '"') {
        const char* q = p + 1;
        while (q < pEnd && *q != '"') q += (*q == '\\' && q + 1 < pEnd) ? 2 : 1;
        if (q >= pEnd) return 0;
        p = q + 1;
    } else {
        p++;
    }
    pEq = (const char*)memchr(p, '=', (size_t)(pEnd - p));
    if (!pEq) return 0;
    p = pEq + 1;
    while (p < pEnd && RegIsSpace(*p)) p++;
    return (size_t)(pEnd - p) >= 3 && strncasecmp(p, "hex", 3) == 0;
}

static void RegParseText(REGNODE* pRoot, const char* szText, size_t cbText)
{
    static const char szHive[] = "HKEY_LOCAL_MACHINE";
    const size_t cchHive = sizeof(szHive) - 1;
    REGNODE* pKey = NULL;
    size_t iPos = 0;
    const char* p;
    const char* pEnd;

    while (RegNextLine(szText, cbText, &iPos, &p, &pEnd)) {
        RegTrim(&p, &pEnd);
        if (p == pEnd || *p == ';') continue;
        if (memchr(p, 0, (size_t)(pEnd - p))) {
            continue; /* a NUL inside a line: not text */
        }
        if (*p == '[') {
            const char* pClose = pEnd;
            while (pClose > p && pClose[-1] != ']') pClose--;
            pKey = NULL;
            if (pClose <= p + 1) continue;
            p++;
            pClose--; /* at the "]" */
            if ((size_t)(pClose - p) >= cchHive && strncasecmp(p, szHive, cchHive) == 0 &&
                (p + cchHive == pClose || p[cchHive] == '\\')) {
                pKey = RegWalk(pRoot, p + cchHive, (size_t)(pClose - p - cchHive), 1);
            }
            continue;
        }
        if (!pKey || (*p != '"' && *p != '@')) continue;
        if (pEnd[-1] == '\\' && RegIsHexValueLine(p, pEnd)) {
            size_t cchJoined = 0;
            char* szJoined = RegJoinContinuation(p, pEnd, szText, cbText, &iPos, &cchJoined);
            if (szJoined) RegParseValueLine(pKey, szJoined, szJoined + cchJoined);
            free(szJoined);
            continue;
        }
        RegParseValueLine(pKey, p, pEnd);
    }
}

/* Reads and parses the registry file into a new tree with one reference. */
static REGTREE* RegLoad(void)
{
    REGTREE* pTree = (REGTREE*)calloc(1, sizeof(REGTREE));
    const char* szEnv = getenv("HERON_ROOT");
    char szRoot[4096];
    char szFile[4200];
    FILE* fp;
    char* pb = NULL;
    size_t cb = 0, cbAlloc = 0;

    if (!pTree) return NULL;
    pTree->nRefs = 1;
    pTree->pRoot = RegNewNode("HKEY_LOCAL_MACHINE", 18);
    if (!pTree->pRoot) {
        free(pTree);
        return NULL;
    }
    if (!szEnv || !*szEnv || !PosixRootDir(szRoot, sizeof(szRoot))) return pTree;
    snprintf(szFile, sizeof(szFile), "%s/registry.reg", szRoot);
    fp = fopen(szFile, "rb");
    if (!fp) return pTree;
    for (;;) {
        size_t cbGot;
        if (cb == cbAlloc) {
            char* pbNew;
            if (cbAlloc >= REG_FILE_MAX) break;
            cbAlloc = cbAlloc ? cbAlloc * 2 : 4096;
            pbNew = (char*)realloc(pb, cbAlloc);
            if (!pbNew) break;
            pb = pbNew;
        }
        cbGot = fread(pb + cb, 1, cbAlloc - cb, fp);
        if (cbGot == 0) break;
        cb += cbGot;
    }
    fclose(fp);
    if (!pb) return pTree;

    if (cb >= 2 && (BYTE)pb[0] == 0xFF && (BYTE)pb[1] == 0xFE) {
        /* UTF-16LE: keep characters below 256, others become "?". */
        size_t i, j = 0;
        for (i = 2; i + 1 < cb; i += 2) {
            unsigned int u = (BYTE)pb[i] | ((unsigned int)(BYTE)pb[i + 1] << 8);
            pb[j++] = u < 256 ? (char)u : '?';
        }
        cb = j;
        RegParseText(pTree->pRoot, pb, cb);
    } else if (cb >= 3 && (BYTE)pb[0] == 0xEF && (BYTE)pb[1] == 0xBB && (BYTE)pb[2] == 0xBF) {
        RegParseText(pTree->pRoot, pb + 3, cb - 3);
    } else {
        RegParseText(pTree->pRoot, pb, cb);
    }
    free(pb);
    return pTree;
}

static void RegRelease(REGTREE* pTree)
{
    if (pTree && --pTree->nRefs == 0) {
        RegFreeNode(pTree->pRoot);
        free(pTree);
    }
}

/* ---- The Win32 calls ---------------------------------------------------------- */

static int RegIsPredefined(HKEY hKey)
{
    uintptr_t u = (uintptr_t)hKey;
    return u >= 0x80000000u && u <= 0x80000006u;
}

static REGHANDLE* RegFromHandle(HKEY hKey)
{
    REGHANDLE* pHandle = (REGHANDLE*)hKey;
    if (!pHandle || RegIsPredefined(hKey) || pHandle->dwMagic != REG_HANDLE_MAGIC) return NULL;
    return pHandle;
}

LONG PlatRegOpenKeyEx(HKEY hKey, const char* szSubKey, DWORD dwOptions, DWORD samDesired, HKEY* phResult)
{
    REGTREE* pTree;
    REGNODE* pNode;
    REGHANDLE* pHandle;
    (void)dwOptions;
    (void)samDesired; /* read only; one view */
    if (!phResult) return ERROR_INVALID_PARAMETER;
    *phResult = NULL;
    if (PlatFaultHit("RegOpenKeyEx")) return (LONG)PlatGetLastError();
    if (!szSubKey) szSubKey = "";

    if (hKey == HKEY_LOCAL_MACHINE) {
        pTree = RegLoad();
        if (!pTree) return ERROR_NOT_ENOUGH_MEMORY;
        pNode = pTree->pRoot;
    } else if (RegIsPredefined(hKey)) {
        return ERROR_FILE_NOT_FOUND; /* other hives are empty */
    } else {
        REGHANDLE* pParent = RegFromHandle(hKey);
        if (!pParent) return ERROR_INVALID_HANDLE;
        pTree = pParent->pTree;
        pTree->nRefs++;
        pNode = pParent->pNode;
    }
    pNode = RegWalk(pNode, szSubKey, strlen(szSubKey), 0);
    if (!pNode) {
        RegRelease(pTree);
        return ERROR_FILE_NOT_FOUND;
    }
    pHandle = (REGHANDLE*)calloc(1, sizeof(REGHANDLE));
    if (!pHandle) {
        RegRelease(pTree);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    pHandle->dwMagic = REG_HANDLE_MAGIC;
    pHandle->pTree = pTree;
    pHandle->pNode = pNode;
    *phResult = (HKEY)pHandle;
    return ERROR_SUCCESS;
}

LONG PlatRegQueryValueEx(HKEY hKey, const char* szValueName, DWORD* pdwType, BYTE* pbData, DWORD* pcbData)
{
    REGHANDLE* pHandle = RegFromHandle(hKey);
    REGVALUE* pValue;
    if (PlatFaultHit("RegQueryValueEx")) return (LONG)PlatGetLastError();
    if (!pHandle) return RegIsPredefined(hKey) ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_HANDLE;
    if (pbData && !pcbData) return ERROR_INVALID_PARAMETER;
    pValue = RegFindValue(pHandle->pNode, szValueName ? szValueName : "");
    if (!pValue) return ERROR_FILE_NOT_FOUND;
    if (pdwType) *pdwType = pValue->dwType;
    if (!pcbData) return ERROR_SUCCESS;
    if (pbData) {
        if (*pcbData < pValue->cbData) {
            *pcbData = pValue->cbData;
            return ERROR_MORE_DATA;
        }
        if (pValue->cbData) memcpy(pbData, pValue->pbData, pValue->cbData);
    }
    *pcbData = pValue->cbData;
    return ERROR_SUCCESS;
}

LONG PlatRegQueryInfoKey(HKEY hKey, DWORD* pcSubKeys, DWORD* pcchMaxSubKeyLen, DWORD* pcValues,
                         DWORD* pcchMaxValueNameLen, DWORD* pcbMaxValueLen)
{
    REGHANDLE* pHandle = RegFromHandle(hKey);
    REGNODE* pNode;
    DWORD cchMaxSub = 0, cchMaxName = 0, cbMaxValue = 0, i;
    if (PlatFaultHit("RegQueryInfoKey")) return (LONG)PlatGetLastError();
    if (!pHandle) return RegIsPredefined(hKey) ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_HANDLE;
    pNode = pHandle->pNode;
    for (i = 0; i < pNode->cChildren; i++) {
        DWORD cch = (DWORD)strlen(pNode->ppChildren[i]->szName);
        if (cch > cchMaxSub) cchMaxSub = cch;
    }
    for (i = 0; i < pNode->cValues; i++) {
        DWORD cch = (DWORD)strlen(pNode->pValues[i].szName);
        if (cch > cchMaxName) cchMaxName = cch;
        if (pNode->pValues[i].cbData > cbMaxValue) cbMaxValue = pNode->pValues[i].cbData;
    }
    if (pcSubKeys) *pcSubKeys = pNode->cChildren;
    if (pcchMaxSubKeyLen) *pcchMaxSubKeyLen = cchMaxSub;
    if (pcValues) *pcValues = pNode->cValues;
    if (pcchMaxValueNameLen) *pcchMaxValueNameLen = cchMaxName;
    if (pcbMaxValueLen) *pcbMaxValueLen = cbMaxValue;
    return ERROR_SUCCESS;
}

LONG PlatRegEnumKeyEx(HKEY hKey, DWORD dwIndex, char* szName, DWORD* pcchName)
{
    REGHANDLE* pHandle = RegFromHandle(hKey);
    const char* szChild;
    DWORD cch;
    if (PlatFaultHit("RegEnumKeyEx")) return (LONG)PlatGetLastError();
    if (!pHandle) return RegIsPredefined(hKey) ? ERROR_NO_MORE_ITEMS : ERROR_INVALID_HANDLE;
    if (!szName || !pcchName) return ERROR_INVALID_PARAMETER;
    if (dwIndex >= pHandle->pNode->cChildren) return ERROR_NO_MORE_ITEMS;
    szChild = pHandle->pNode->ppChildren[dwIndex]->szName;
    cch = (DWORD)strlen(szChild);
    if (cch + 1 > *pcchName) return ERROR_MORE_DATA;
    memcpy(szName, szChild, cch + 1);
    *pcchName = cch;
    return ERROR_SUCCESS;
}

LONG PlatRegCloseKey(HKEY hKey)
{
    REGHANDLE* pHandle;
    if (RegIsPredefined(hKey)) return ERROR_SUCCESS;
    pHandle = RegFromHandle(hKey);
    if (!pHandle) return ERROR_INVALID_HANDLE;
    pHandle->dwMagic = 0;
    RegRelease(pHandle->pTree);
    free(pHandle);
    return ERROR_SUCCESS;
}
