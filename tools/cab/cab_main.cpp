/*
 * cab_main.cpp - heron-cab, the cabinet tool the installer writes out as
 * "cabarc.exe" (docs/cabinet-tool.md).
 *
 *   heron-cab [-r] [-p] [-o] [-m none|mszip] n CABINET PATTERN...
 *   heron-cab [-p] [-o] x CABINET [PATTERN...] [DESTDIR]
 *   heron-cab l CABINET
 *
 * The arguments come from HERON_COMMAND_LINE when it is set (the whole line
 * as the parent gave it, program first, split by the Microsoft C runtime's
 * rules), else from argv. Paths are Windows paths translated through the
 * emulated machine, or Linux paths.
 *
 * Divisions:
 *   1. Messages, paths, names and wildcards
 *   2. n: gathering the files, writing the cabinet beside its target name
 *      and renaming it into place
 *   3. x: the extraction sink (each file written beside its target name,
 *      then renamed over it) and the extract command
 *   4. l: the listing
 *   5. The command line
 *
 * Exit codes: 0 done; 1 failed (a message on standard error); 2 wrong
 * command line. Nothing ever asks a question: the installer runs this tool
 * unattended.
 */
#include "cab_format.h"
#include "cab_write.h"
#include "platform/platform.h"
#include "platform/process.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#define CAB_PATH_MAX 4096

/* ---- 1. Messages, paths, names and wildcards ------------------------------ */

/* Writes "heron-cab: <message>" and a line end to standard error. */
static void CabError(const char* szFormat, ...)
{
    va_list args;
    fputs("heron-cab: ", stderr);
    va_start(args, szFormat);
    vfprintf(stderr, szFormat, args);
    va_end(args);
    fputc('\n', stderr);
}

/* Bounded "%s" copy: 1, or 0 when szSrc does not fit. */
static int CabCopy(char* szDst, size_t cbDst, const char* szSrc)
{
    int n = snprintf(szDst, cbDst, "%s", szSrc);
    return n >= 0 && (size_t)n < cbDst;
}

/* The host path of a Windows or Linux path argument; 0 with a message. */
static int CabHost(const char* szArg, char* szHost, size_t cbHost)
{
    if (PlatHostPath(szArg, szHost, cbHost)) return 1;
    CabError("cannot translate the path %s", szArg);
    return 0;
}

/* mkdir -p of a host path. 1 when it is a directory afterwards; 0 with errno. */
static int CabMakeDirs(const char* szHost)
{
    char szPath[CAB_PATH_MAX];
    struct stat st;
    size_t i;
    if (!CabCopy(szPath, sizeof(szPath), szHost)) {
        errno = ENAMETOOLONG;
        return 0;
    }
    for (i = 1; szPath[i]; i++) {
        if (szPath[i] != '/') continue;
        szPath[i] = 0;
        if (mkdir(szPath, 0777) != 0 && errno != EEXIST) return 0;
        szPath[i] = '/';
    }
    if (mkdir(szPath, 0777) != 0 && errno != EEXIST) return 0;
    if (stat(szPath, &st) != 0) return 0;
    if (!S_ISDIR(st.st_mode)) {
        errno = ENOTDIR;
        return 0;
    }
    return 1;
}

/* A character as the wildcard match compares it: lower case, "/" as "\\". */
static int CabFold(int ch)
{
    if (ch == '/') return '\\';
    return (ch >= 'A' && ch <= 'Z') ? ch + ('a' - 'A') : ch;
}

/* "*" and "?" without regard to case, "/" equal to "\"; "*.*" matches every
 * name as on Windows. Linear backtracking on the last "*": no recursion. */
static int CabWild(const char* szPattern, const char* szName)
{
    const char* pStar = NULL;
    const char* pResume = NULL;
    if (strcmp(szPattern, "*.*") == 0) return 1;
    while (*szName) {
        if (*szPattern == '*') {
            pStar = ++szPattern;
            pResume = szName;
        } else if (*szPattern == '?' || (*szPattern && CabFold((unsigned char)*szPattern) == CabFold((unsigned char)*szName))) {
            szPattern++;
            szName++;
        } else if (pStar) {
            szPattern = pStar;
            szName = ++pResume;
        } else {
            return 0;
        }
    }
    while (*szPattern == '*') szPattern++;
    return *szPattern == 0;
}

/* 1 when sz holds "*" or "?". */
static int CabHasWild(const char* sz) { return strpbrk(sz, "*?") != NULL; }

/* The part after the last "\" or "/". */
static const char* CabBaseName(const char* sz)
{
    const char* pBase = sz;
    for (; *sz; sz++) {
        if (*sz == '\\' || *sz == '/') pBase = sz + 1;
    }
    return pBase;
}

/* Packs a time into MS-DOS date and time (local time, 2-second steps),
 * clamped to the years 1980 to 2107 the fields can hold. */
static void CabDosTime(time_t t, WORD* pwDate, WORD* pwTime)
{
    struct tm tm;
    int nYear;
    if (!localtime_r(&t, &tm)) memset(&tm, 0, sizeof(tm));
    nYear = tm.tm_year + 1900;
    if (nYear < 1980) {
        *pwDate = (WORD)((1 << 5) | 1);
        *pwTime = 0;
        return;
    }
    if (nYear > 2107) {
        *pwDate = (WORD)((127 << 9) | (12 << 5) | 31);
        *pwTime = (WORD)((23 << 11) | (59 << 5) | 29);
        return;
    }
    *pwDate = (WORD)(((nYear - 1980) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
    *pwTime = (WORD)((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
}

/* The reverse; 0 when the fields hold no valid date. */
static int CabUnixTime(WORD wDate, WORD wTime, time_t* pt)
{
    struct tm tm;
    memset(&tm, 0, sizeof(tm));
    tm.tm_year = (wDate >> 9) + 80;
    tm.tm_mon = ((wDate >> 5) & 15) - 1;
    tm.tm_mday = wDate & 31;
    tm.tm_hour = wTime >> 11;
    tm.tm_min = (wTime >> 5) & 63;
    tm.tm_sec = (wTime & 31) * 2;
    tm.tm_isdst = -1;
    if (tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1 || tm.tm_hour > 23 || tm.tm_min > 59 || tm.tm_sec > 59)
        return 0;
    *pt = mktime(&tm);
    return *pt != (time_t)-1;
}

/* ---- 2. n: creating a cabinet --------------------------------------------- */

typedef struct CAB_GATHER {
    CAB_SOURCE* pSources;
    size_t cSources;
    size_t cAlloc;
    int bRecurse;
    int bKeepPaths;
    int bHaveSkip;          /* the cabinet's own file exists: never pack it into itself */
    dev_t devSkip;
    ino_t inoSkip;
    int bFailed;
} CAB_GATHER;

/* Appends one file to pg with its size, time and attributes from *pst.
 * 1, or 0 after a message (too many files, out of memory). */
static int CabAddSource(CAB_GATHER* pg, const char* szHost, const char* szName, const struct stat* pst)
{
    CAB_SOURCE* pSource;
    const char* p;
    if (pg->cSources >= CAB_COUNT_MAX) {
        CabError("more than %u files: too many for one cabinet", CAB_COUNT_MAX);
        return 0;
    }
    if (pg->cSources == pg->cAlloc) {
        size_t cNew = pg->cAlloc ? 2 * pg->cAlloc : 64;
        CAB_SOURCE* pNew = (CAB_SOURCE*)realloc(pg->pSources, cNew * sizeof(CAB_SOURCE));
        if (!pNew) {
            CabError("out of memory");
            return 0;
        }
        pg->pSources = pNew;
        pg->cAlloc = cNew;
    }
    pSource = &pg->pSources[pg->cSources];
    memset(pSource, 0, sizeof(*pSource));
    pSource->szHost = strdup(szHost);
    pSource->szName = strdup(szName);
    if (!pSource->szHost || !pSource->szName) {
        free(pSource->szHost);
        free(pSource->szName);
        CabError("out of memory");
        return 0;
    }
    pSource->cbFile = (unsigned long long)pst->st_size;
    CabDosTime(pst->st_mtime, &pSource->wDate, &pSource->wTime);
    pSource->wAttribs = CAB_ATTR_ARCHIVE;
    if ((pst->st_mode & S_IWUSR) == 0) pSource->wAttribs |= CAB_ATTR_READONLY;
    for (p = szName; *p; p++) {
        if ((unsigned char)*p >= 0x80) pSource->wAttribs |= CAB_ATTR_NAME_UTF;
    }
    pg->cSources++;
    return 1;
}

/* qsort order of names: without regard to case, then byte order. */
static int CabCompareNames(const void* pvA, const void* pvB)
{
    const char* szA = *(char* const*)pvA;
    const char* szB = *(char* const*)pvB;
    int n = strcasecmp(szA, szB);
    return n ? n : strcmp(szA, szB);
}

/* The entries of a host directory, sorted without regard to case (as the
 * Windows directory listing gives them), "." and ".." left out. 1 with a
 * malloc'ed array of malloc'ed names, or 0 with errno. */
static int CabReadDir(const char* szHost, char*** pppszNames, size_t* pcNames)
{
    DIR* pDir = opendir(szHost);
    struct dirent* pEnt;
    char** ppsz = NULL;
    size_t c = 0, cAlloc = 0;
    *pppszNames = NULL;
    *pcNames = 0;
    if (!pDir) return 0;
    while ((pEnt = readdir(pDir)) != NULL) {
        if (strcmp(pEnt->d_name, ".") == 0 || strcmp(pEnt->d_name, "..") == 0) continue;
        if (c == cAlloc) {
            size_t cNew = cAlloc ? 2 * cAlloc : 32;
            char** ppNew = (char**)realloc(ppsz, cNew * sizeof(char*));
            if (!ppNew) break;
            ppsz = ppNew;
            cAlloc = cNew;
        }
        if ((ppsz[c] = strdup(pEnt->d_name)) == NULL) break;
        c++;
    }
    closedir(pDir);
    if (c) qsort(ppsz, c, sizeof(char*), CabCompareNames);
    *pppszNames = ppsz;
    *pcNames = c;
    return 1;
}

/* Frees what CabReadDir returned. */
static void CabFreeNames(char** ppsz, size_t c)
{
    size_t i;
    for (i = 0; i < c; i++) free(ppsz[i]);
    free(ppsz);
}

/* Adds the files of szHostDir matching szPattern (and, recursing, those of
 * its subdirectories), stored under szPrefix. Directory symbolic links are
 * not followed (no loops). 1, or 0 after a message. */
static int CabGatherDir(CAB_GATHER* pg, const char* szHostDir, const char* szPrefix, const char* szPattern)
{
    char** ppszNames;
    size_t cNames, i;
    int bOk = 1;

    if (!CabReadDir(szHostDir, &ppszNames, &cNames)) {
        CabError("cannot read the directory %s (%s)", szHostDir, strerror(errno));
        return 0;
    }
    /* Files first, then the subdirectories, each in name order. */
    for (int iPass = 0; bOk && iPass < 2; iPass++) {
        for (i = 0; bOk && i < cNames; i++) {
            char szHost[CAB_PATH_MAX], szName[CAB_PATH_MAX];
            struct stat stLink, st;
            int n = snprintf(szHost, sizeof(szHost), "%s/%s", strcmp(szHostDir, "/") ? szHostDir : "", ppszNames[i]);
            int m = snprintf(szName, sizeof(szName), "%s%s", szPrefix, ppszNames[i]);
            if (n < 0 || (size_t)n >= sizeof(szHost) || m < 0 || (size_t)m >= sizeof(szName)) {
                CabError("path too long below %s", szHostDir);
                bOk = 0;
                break;
            }
            if (lstat(szHost, &stLink) != 0 || stat(szHost, &st) != 0) continue; /* vanished or a dangling link */
            if (iPass == 0 && S_ISREG(st.st_mode) && CabWild(szPattern, ppszNames[i])) {
                if (pg->bHaveSkip && st.st_dev == pg->devSkip && st.st_ino == pg->inoSkip) continue;
                bOk = CabAddSource(pg, szHost, pg->bKeepPaths ? szName : ppszNames[i], &st);
            } else if (iPass == 1 && pg->bRecurse && S_ISDIR(stLink.st_mode)) {
                if (!CabCopy(szName + m, sizeof(szName) - (size_t)m, "\\")) {
                    CabError("path too long below %s", szHostDir);
                    bOk = 0;
                    break;
                }
                bOk = CabGatherDir(pg, szHost, szName, szPattern);
            }
        }
    }
    CabFreeNames(ppszNames, cNames);
    return bOk;
}

/* One pattern of the command line: a directory part (Windows or Linux path,
 * relative to the current directory) and a last part with wildcards. A
 * pattern without wildcards that names a directory means all its files.
 * Stored names are relative to the directory part, so that a tree packed
 * as "tree\*" unpacks into any directory as the same tree. 1, or 0 after a
 * message. */
static int CabGatherPattern(CAB_GATHER* pg, const char* szArg)
{
    char szDir[CAB_PATH_MAX], szHostDir[CAB_PATH_MAX], szHost[CAB_PATH_MAX];
    const char* szPattern = CabBaseName(szArg);
    struct stat st;

    if (!CabCopy(szDir, sizeof(szDir), szArg)) {
        CabError("pattern too long: %s", szArg);
        return 0;
    }
    szDir[szPattern - szArg] = 0;
    if (!CabHasWild(szPattern) && *szPattern) {
        if (!CabHost(szArg, szHost, sizeof(szHost))) return 0;
        if (stat(szHost, &st) == 0 && S_ISDIR(st.st_mode)) {
            if (!CabCopy(szDir, sizeof(szDir), szArg)) return 0;
            szPattern = "*";
        }
    }
    if (CabHasWild(szDir)) {
        CabError("wildcards are allowed only in the last part of a pattern: %s", szArg);
        return 0;
    }
    if (!*szPattern) szPattern = "*";
    if (!CabHost(*szDir ? szDir : ".", szHostDir, sizeof(szHostDir))) return 0;
    if (stat(szHostDir, &st) != 0 || !S_ISDIR(st.st_mode)) {
        CabError("no directory for the pattern %s", szArg);
        return 1; /* nothing from this pattern; "no files matched" decides */
    }
    return CabGatherDir(pg, szHostDir, "", szPattern);
}

static const CAB_GATHER* s_pSortGather; /* qsort has no context argument */

/* qsort order of source indexes by host path (reads s_pSortGather). */
static int CabCompareHosts(const void* pvA, const void* pvB)
{
    size_t iA = *(const size_t*)pvA, iB = *(const size_t*)pvB;
    int n = strcmp(s_pSortGather->pSources[iA].szHost, s_pSortGather->pSources[iB].szHost);
    return n ? n : (iA < iB ? -1 : 1);
}

/* Overlapping patterns name some files twice: keeps the first of each.
 * 1, or 0 after a message (out of memory). Sets s_pSortGather. */
static int CabDropDuplicates(CAB_GATHER* pg)
{
    size_t* pi = (size_t*)malloc(sizeof(size_t) * (pg->cSources + 1));
    BYTE* pbDrop = (BYTE*)calloc(pg->cSources + 1, 1);
    size_t i, j;
    if (!pi || !pbDrop) {
        free(pi);
        free(pbDrop);
        CabError("out of memory");
        return 0;
    }
    for (i = 0; i < pg->cSources; i++) pi[i] = i;
    s_pSortGather = pg;
    qsort(pi, pg->cSources, sizeof(size_t), CabCompareHosts);
    for (i = 1; i < pg->cSources; i++) {
        if (strcmp(pg->pSources[pi[i]].szHost, pg->pSources[pi[i - 1]].szHost) == 0) pbDrop[pi[i]] = 1;
    }
    for (i = 0, j = 0; i < pg->cSources; i++) {
        if (pbDrop[i]) {
            free(pg->pSources[i].szHost);
            free(pg->pSources[i].szName);
        } else {
            pg->pSources[j++] = pg->pSources[i];
        }
    }
    pg->cSources = j;
    free(pi);
    free(pbDrop);
    return 1;
}

/* The n command: gathers the files of the patterns and writes the cabinet
 * through a temporary file renamed into place. Exit code: 0, or 1 after a
 * message (no files matched, a file or the cabinet cannot be read or
 * written); an existing cabinet is untouched on failure. */
static int CabCreate(const char* szCabinet, char** ppszPatterns, int cPatterns, int bRecurse, int bKeepPaths,
                     WORD wCompress)
{
    char szHostCab[CAB_PATH_MAX], szTemp[CAB_PATH_MAX + 64], szError[512];
    CAB_GATHER g;
    struct stat st;
    unsigned long long cbTotal = 0;
    size_t i;
    int bOk = 1, iPattern;

    memset(&g, 0, sizeof(g));
    g.bRecurse = bRecurse;
    g.bKeepPaths = bKeepPaths;
    if (!CabHost(szCabinet, szHostCab, sizeof(szHostCab))) return 1;
    if (stat(szHostCab, &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            CabError("the cabinet %s is a directory", szCabinet);
            return 1;
        }
        g.bHaveSkip = 1;
        g.devSkip = st.st_dev;
        g.inoSkip = st.st_ino;
    }
    for (iPattern = 0; bOk && iPattern < cPatterns; iPattern++) bOk = CabGatherPattern(&g, ppszPatterns[iPattern]);
    if (bOk) bOk = CabDropDuplicates(&g);
    if (bOk && g.cSources == 0) {
        CabError("no files matched; the cabinet %s was not written", szCabinet);
        bOk = 0;
    }
    if (bOk) {
        /* Written beside its name and renamed into place: an existing cabinet
         * stays whole until the new one is complete. */
        snprintf(szTemp, sizeof(szTemp), "%s.heron-cab-%ld.tmp", szHostCab, (long)getpid());
        if (!CabWrite(szTemp, g.pSources, g.cSources, wCompress, szError, sizeof(szError))) {
            CabError("%s", szError);
            bOk = 0;
        } else if (rename(szTemp, szHostCab) != 0) {
            CabError("cannot create the cabinet %s (%s)", szCabinet, strerror(errno));
            bOk = 0;
        }
        if (!bOk) unlink(szTemp);
    }
    for (i = 0; i < g.cSources; i++) {
        cbTotal += g.pSources[i].cbFile;
        free(g.pSources[i].szHost);
        free(g.pSources[i].szName);
    }
    free(g.pSources);
    if (!bOk) return 1;
    printf("heron-cab: %zu files (%llu bytes) packed into %s\n", g.cSources, cbTotal, szCabinet);
    return 0;
}

/* ---- 3. x: extracting ------------------------------------------------------- */

/* A cabinet file mapped into memory. */
typedef struct CAB_MAPPED {
    BYTE* pb;
    size_t cb;
} CAB_MAPPED;

/* Maps the cabinet and checks its tables. 1 with *pView, or 0 after a message. */
static int CabLoad(const char* szCabinet, CAB_MAPPED* pMap, CAB_VIEW* pView)
{
    char szHost[CAB_PATH_MAX], szError[512];
    struct stat st;
    int fd;

    pMap->pb = NULL;
    pMap->cb = 0;
    if (!CabHost(szCabinet, szHost, sizeof(szHost))) return 0;
    fd = open(szHost, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        CabError("cannot open the cabinet %s (%s)", szCabinet, strerror(errno));
        return 0;
    }
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        CabError("the cabinet %s is not a file", szCabinet);
        close(fd);
        return 0;
    }
    if (st.st_size < (off_t)CAB_HEADER_SIZE) {
        CabError("damaged cabinet %s: only %lld bytes", szCabinet, (long long)st.st_size);
        close(fd);
        return 0;
    }
    pMap->cb = (size_t)st.st_size;
    pMap->pb = (BYTE*)mmap(NULL, pMap->cb, PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    if (pMap->pb == (BYTE*)MAP_FAILED) {
        pMap->pb = NULL;
        CabError("cannot read the cabinet %s (%s)", szCabinet, strerror(errno));
        return 0;
    }
    if (!CabOpenView(pMap->pb, pMap->cb, pView, szError, sizeof(szError))) {
        CabError("damaged cabinet %s: %s", szCabinet, szError);
        munmap(pMap->pb, pMap->cb);
        pMap->pb = NULL;
        return 0;
    }
    return 1;
}

static void CabUnload(CAB_MAPPED* pMap, CAB_VIEW* pView)
{
    CabCloseView(pView);
    if (pMap->pb) munmap(pMap->pb, pMap->cb);
    pMap->pb = NULL;
}

/* What became of each selected entry. */
#define CAB_ST_PENDING 0    /* never begun: the folder's data broke off before it */
#define CAB_ST_DONE 1
#define CAB_ST_REPORTED 2   /* failed, message already written */
#define CAB_ST_BROKEN 3     /* ended incomplete by damaged data */

typedef struct CAB_OUT {
    const CAB_VIEW* pView;
    const char* szHostDest;
    int bKeepPaths;
    BYTE* pbState;
    int* pfd;               /* per entry: the temporary file being written */
    char** ppszTemp;
    char** ppszTarget;
    size_t cDone;
    unsigned long long cbDone;
} CAB_OUT;

/* The stored name made into a path below the destination ("/" between the
 * parts; without -p only the last part). 0 when it would leave the
 * destination or is not a usable name: absolute, a drive, "." or ".."
 * parts, empty parts. */
static int CabSafeName(const char* szStored, int bKeepPaths, char* szOut, size_t cbOut)
{
    const char* p = bKeepPaths ? szStored : CabBaseName(szStored);
    size_t cch = 0;
    while (1) {
        const char* pEnd = p;
        size_t cchPart;
        while (*pEnd && *pEnd != '\\' && *pEnd != '/') pEnd++;
        cchPart = (size_t)(pEnd - p);
        if (cchPart == 0 || (cchPart == 1 && p[0] == '.') || (cchPart == 2 && p[0] == '.' && p[1] == '.')) return 0;
        if (memchr(p, ':', cchPart)) return 0;
        if (cch + cchPart + 2 > cbOut) return 0;
        if (cch) szOut[cch++] = '/';
        memcpy(szOut + cch, p, cchPart);
        cch += cchPart;
        if (!*pEnd) break;
        p = pEnd + 1;
    }
    szOut[cch] = 0;
    return 1;
}

/* Sink: opens the temporary file of entry iEntry beside its target,
 * creating directories. 1, or 0 after a message (state CAB_ST_REPORTED). */
static int CabOutBegin(void* pvCtx, int iEntry)
{
    CAB_OUT* po = (CAB_OUT*)pvCtx;
    const char* szStored = po->pView->pEntries[iEntry].szName;
    char szRel[CAB_PATH_MAX], szJoined[2 * CAB_PATH_MAX], szTarget[CAB_PATH_MAX], szTemp[CAB_PATH_MAX + 64];
    char* pSlash;
    struct stat st;
    int fd;

    if (!CabSafeName(szStored, po->bKeepPaths, szRel, sizeof(szRel))) {
        CabError("refusing the unsafe name \"%s\" (it would land outside the destination)", szStored);
        po->pbState[iEntry] = CAB_ST_REPORTED;
        return 0;
    }
    /* Existing directories and files are found without regard to case, as
     * on Windows. */
    if (snprintf(szJoined, sizeof(szJoined), "%s/%s", po->szHostDest, szRel) >= (int)CAB_PATH_MAX ||
        !PlatHostPath(szJoined, szTarget, sizeof(szTarget))) {
        CabError("%s: path too long", szStored);
        po->pbState[iEntry] = CAB_ST_REPORTED;
        return 0;
    }
    pSlash = strrchr(szTarget, '/');
    if (pSlash && pSlash != szTarget) {
        *pSlash = 0;
        if (!CabMakeDirs(szTarget)) {
            CabError("cannot create the directory %s (%s)", szTarget, strerror(errno));
            po->pbState[iEntry] = CAB_ST_REPORTED;
            return 0;
        }
        *pSlash = '/';
    }
    if (stat(szTarget, &st) == 0 && S_ISDIR(st.st_mode)) {
        CabError("cannot extract %s: a directory of that name exists", szStored);
        po->pbState[iEntry] = CAB_ST_REPORTED;
        return 0;
    }
    /* A short name of its own: the target's name may already be as long as
     * a name can be. */
    pSlash = strrchr(szTarget, '/');
    snprintf(szTemp, sizeof(szTemp), "%.*s/.heron-cab-%ld-%d.tmp", pSlash ? (int)(pSlash - szTarget) : 1,
             pSlash ? szTarget : ".", (long)getpid(), iEntry);
    unlink(szTemp);
    fd = open(szTemp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        CabError("cannot create %s (%s)", szTarget, strerror(errno));
        po->pbState[iEntry] = CAB_ST_REPORTED;
        return 0;
    }
    po->ppszTemp[iEntry] = strdup(szTemp);
    po->ppszTarget[iEntry] = strdup(szTarget);
    if (!po->ppszTemp[iEntry] || !po->ppszTarget[iEntry]) {
        close(fd);
        unlink(szTemp);
        free(po->ppszTemp[iEntry]);
        free(po->ppszTarget[iEntry]);
        po->ppszTemp[iEntry] = po->ppszTarget[iEntry] = NULL;
        CabError("out of memory");
        po->pbState[iEntry] = CAB_ST_REPORTED;
        return 0;
    }
    po->pfd[iEntry] = fd;
    return 1;
}

/* Sink: writes the next bytes of entry iEntry. 1, or 0 after a message. */
static int CabOutWrite(void* pvCtx, int iEntry, const BYTE* pb, size_t cb)
{
    CAB_OUT* po = (CAB_OUT*)pvCtx;
    while (cb > 0) {
        ssize_t n = write(po->pfd[iEntry], pb, cb);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            CabError("cannot write %s (%s)", po->ppszTarget[iEntry], n < 0 ? strerror(errno) : "no progress");
            po->pbState[iEntry] = CAB_ST_REPORTED;
            return 0;
        }
        pb += n;
        cb -= (size_t)n;
    }
    return 1;
}

/* Sink: a complete entry gets its time and read-only attribute and is
 * renamed over its target (state CAB_ST_DONE); an incomplete one
 * (CAB_ST_BROKEN unless already reported) loses its temporary file. */
static void CabOutEnd(void* pvCtx, int iEntry, int bComplete)
{
    CAB_OUT* po = (CAB_OUT*)pvCtx;
    const CAB_ENTRY* pEntry = &po->pView->pEntries[iEntry];
    const char* szTemp = po->ppszTemp[iEntry];
    struct stat st;
    time_t t;

    if (close(po->pfd[iEntry]) != 0 && bComplete) {
        CabError("cannot write %s (%s)", po->ppszTarget[iEntry], strerror(errno));
        po->pbState[iEntry] = CAB_ST_REPORTED;
        bComplete = 0;
    }
    po->pfd[iEntry] = -1;
    if (bComplete) {
        if (CabUnixTime(pEntry->wDate, pEntry->wTime, &t)) {
            struct timespec ats[2];
            ats[0].tv_sec = ats[1].tv_sec = t;
            ats[0].tv_nsec = ats[1].tv_nsec = 0;
            utimensat(AT_FDCWD, szTemp, ats, 0);
        }
        if ((pEntry->wAttribs & CAB_ATTR_READONLY) && stat(szTemp, &st) == 0)
            chmod(szTemp, st.st_mode & 07555);
        /* The rename replaces an existing file, read-only or not: the
         * installer replaces whole trees and never answers questions. */
        if (rename(szTemp, po->ppszTarget[iEntry]) != 0) {
            CabError("cannot create %s (%s)", po->ppszTarget[iEntry], strerror(errno));
            po->pbState[iEntry] = CAB_ST_REPORTED;
            bComplete = 0;
        }
    }
    if (bComplete) {
        po->pbState[iEntry] = CAB_ST_DONE;
        po->cDone++;
        po->cbDone += pEntry->cbFile;
    } else {
        unlink(szTemp);
        if (po->pbState[iEntry] != CAB_ST_REPORTED) po->pbState[iEntry] = CAB_ST_BROKEN;
    }
    free(po->ppszTemp[iEntry]);
    free(po->ppszTarget[iEntry]);
    po->ppszTemp[iEntry] = po->ppszTarget[iEntry] = NULL;
}

/* Whether a stored name matches a pattern: the whole name, or, for a
 * pattern without a directory part, the last part of the name. */
static int CabNameMatches(const char* szPattern, const char* szName)
{
    if (CabWild(szPattern, szName)) return 1;
    return strpbrk(szPattern, "\\/") == NULL && CabWild(szPattern, CabBaseName(szName));
}

/* The destination as given: a trailing quote (what `"C:\dir\"` becomes
 * under the C runtime's splitting) and trailing separators are dropped,
 * except for a root. */
static void CabTrimDest(const char* szArg, char* szOut, size_t cbOut)
{
    size_t cch;
    CabCopy(szOut, cbOut, szArg);
    cch = strlen(szOut);
    while (cch > 0 && szOut[cch - 1] == '"') szOut[--cch] = 0;
    while (cch > 1 && (szOut[cch - 1] == '\\' || szOut[cch - 1] == '/') && !(cch == 3 && szOut[1] == ':'))
        szOut[--cch] = 0;
    if (cch == 0) CabCopy(szOut, cbOut, ".");
}

/* The x command. Exit code: 0 when every matching file was extracted;
 * 1 after messages (cabinet missing or damaged, nothing matched, the
 * destination unusable, files refused or not extracted). */
static int CabExtractCommand(const char* szCabinet, char** ppszPatterns, int cPatterns, const char* szDestArg,
                             int bKeepPaths)
{
    static char szStar[] = "*";
    static char* s_apszAll[] = {szStar};
    char szDest[CAB_PATH_MAX], szHostDest[CAB_PATH_MAX], szError[512];
    CAB_MAPPED map;
    CAB_VIEW view;
    CAB_OUT out;
    CAB_SINK sink;
    size_t cSelected = 0, cFailed = 0;
    int i, iPattern, bDataOk;

    if (cPatterns == 0) {
        ppszPatterns = s_apszAll;
        cPatterns = 1;
    }
    CabTrimDest(szDestArg ? szDestArg : ".", szDest, sizeof(szDest));
    if (!CabLoad(szCabinet, &map, &view)) return 1;
    memset(&out, 0, sizeof(out));
    out.pView = &view;
    out.bKeepPaths = bKeepPaths;
    out.pbState = (BYTE*)calloc(view.cEntries + 1u, 1);
    out.pfd = (int*)malloc(sizeof(int) * (view.cEntries + 1u));
    out.ppszTemp = (char**)calloc(view.cEntries + 1u, sizeof(char*));
    out.ppszTarget = (char**)calloc(view.cEntries + 1u, sizeof(char*));
    BYTE* pbSelected = (BYTE*)calloc(view.cEntries + 1u, 1);
    if (!out.pbState || !out.pfd || !out.ppszTemp || !out.ppszTarget || !pbSelected) {
        CabError("out of memory");
        cFailed = 1;
        goto done;
    }
    for (i = 0; i < view.cEntries; i++) {
        out.pfd[i] = -1;
        for (iPattern = 0; iPattern < cPatterns && !pbSelected[i]; iPattern++) {
            if (CabNameMatches(ppszPatterns[iPattern], view.pEntries[i].szName)) pbSelected[i] = 1;
        }
        if (pbSelected[i]) cSelected++;
    }
    if (cSelected == 0) {
        CabError("no files in %s matched", szCabinet);
        cFailed = 1;
        goto done;
    }
    if (!CabHost(szDest, szHostDest, sizeof(szHostDest))) {
        cFailed = 1;
        goto done;
    }
    if (!CabMakeDirs(szHostDest)) {
        CabError("cannot use the destination directory %s (%s)", szDest, strerror(errno));
        cFailed = 1;
        goto done;
    }
    out.szHostDest = szHostDest;
    sink.pfnBegin = CabOutBegin;
    sink.pfnWrite = CabOutWrite;
    sink.pfnEnd = CabOutEnd;
    sink.pvCtx = &out;
    bDataOk = CabExtract(&view, pbSelected, &sink, szError, sizeof(szError));
    if (!bDataOk) CabError("damaged cabinet %s: %s", szCabinet, szError);
    for (i = 0; i < view.cEntries; i++) {
        if (!pbSelected[i] || out.pbState[i] == CAB_ST_DONE) continue;
        cFailed++;
        if (out.pbState[i] != CAB_ST_REPORTED) CabError("not extracted: %s", view.pEntries[i].szName);
    }
    printf("heron-cab: %zu of %zu files (%llu bytes) extracted to %s\n", out.cDone, cSelected, out.cbDone, szDest);

done:
    free(out.pbState);
    free(out.pfd);
    free(out.ppszTemp);
    free(out.ppszTarget);
    free(pbSelected);
    CabUnload(&map, &view);
    return cFailed ? 1 : 0;
}

/* ---- 4. l: listing ---------------------------------------------------------- */

/* The l command: the table on standard output. Exit code 0, or 1 after a
 * message (cabinet missing or damaged). */
static int CabListCommand(const char* szCabinet)
{
    CAB_MAPPED map;
    CAB_VIEW view;
    unsigned long long cbTotal = 0;
    int i;

    if (!CabLoad(szCabinet, &map, &view)) return 1;
    printf("Cabinet %s: %u files in %u folders", szCabinet, view.cEntries, view.cFolders);
    if (view.cFolders) printf(" (%s)", CabCompressName(view.pFolders[0].wCompress));
    printf("\n%12s  %-10s %-8s  %-4s  %s\n", "size", "date", "time", "attr", "name");
    for (i = 0; i < view.cEntries; i++) {
        const CAB_ENTRY* p = &view.pEntries[i];
        printf("%12lu  %04u-%02u-%02u %02u:%02u:%02u  %c%c%c%c  %s\n", (unsigned long)p->cbFile,
               1980u + (p->wDate >> 9), (p->wDate >> 5) & 15u, p->wDate & 31u, p->wTime >> 11u,
               (p->wTime >> 5) & 63u, (p->wTime & 31u) * 2u, (p->wAttribs & CAB_ATTR_READONLY) ? 'r' : '-',
               (p->wAttribs & 0x02) ? 'h' : '-', (p->wAttribs & 0x04) ? 's' : '-',
               (p->wAttribs & CAB_ATTR_ARCHIVE) ? 'a' : '-', p->szName);
        cbTotal += p->cbFile;
    }
    printf("%12llu  bytes in %u files\n", cbTotal, view.cEntries);
    CabUnload(&map, &view);
    return 0;
}

/* ---- 5. The command line ------------------------------------------------------ */

/* Writes the reason (if any) and the usage to standard error; returns 2. */
static int CabUsage(const char* szWhy)
{
    if (szWhy) CabError("%s", szWhy);
    fputs("usage: heron-cab [-r] [-p] [-m none|mszip] n CABINET PATTERN...\n"
          "       heron-cab [-p] [-o] x CABINET [PATTERN...] [DESTDIR\\]\n"
          "       heron-cab l CABINET\n",
          stderr);
    return 2;
}

/* A destination is the last argument after the cabinet when at least two
 * follow it, or when the only one ends in a separator or in the quote a
 * trailing backslash leaves behind. */
static int CabLooksLikeDir(const char* sz)
{
    size_t cch = strlen(sz);
    return cch > 0 && (sz[cch - 1] == '\\' || sz[cch - 1] == '/' || sz[cch - 1] == '"');
}

/* Runs the command line (ppszArgs[0] is the program); returns the exit code. */
static int CabRun(int cArgs, char** ppszArgs)
{
    int iArg = 1, bRecurse = 0, bKeepPaths = 0;
    WORD wCompress = CAB_COMPRESS_MSZIP;
    const char* szCommand;

    if (cArgs == 2 && (strcmp(ppszArgs[1], "--help") == 0 || strcmp(ppszArgs[1], "-h") == 0)) {
        fputs("usage: heron-cab [-r] [-p] [-m none|mszip] n CABINET PATTERN...\n"
              "       heron-cab [-p] [-o] x CABINET [PATTERN...] [DESTDIR\\]\n"
              "       heron-cab l CABINET\n",
              stdout);
        return 0;
    }
    if (cArgs == 2 && strcmp(ppszArgs[1], "--version") == 0) {
        puts("heron-cab FI1.01");
        return 0;
    }

    while (iArg < cArgs && ppszArgs[iArg][0] == '-') {
        const char* szOpt = ppszArgs[iArg++];
        if (strcasecmp(szOpt, "-r") == 0) bRecurse = 1;
        else if (strcasecmp(szOpt, "-p") == 0) bKeepPaths = 1;
        else if (strcasecmp(szOpt, "-o") == 0) continue; /* always so: see CabOutEnd */
        else if (strcasecmp(szOpt, "-m") == 0 && iArg < cArgs) {
            const char* szType = ppszArgs[iArg++];
            if (strcasecmp(szType, "none") == 0) wCompress = CAB_COMPRESS_NONE;
            else if (strcasecmp(szType, "mszip") == 0) wCompress = CAB_COMPRESS_MSZIP;
            else return CabUsage("-m takes none or mszip");
        } else {
            CabError("unknown option %s", szOpt);
            return CabUsage(NULL);
        }
    }
    if (iArg + 1 >= cArgs) return CabUsage("a command and a cabinet are needed");
    szCommand = ppszArgs[iArg++];
    if (strcasecmp(szCommand, "n") == 0) {
        if (iArg + 1 >= cArgs) return CabUsage("n needs at least one pattern");
        return CabCreate(ppszArgs[iArg], ppszArgs + iArg + 1, cArgs - iArg - 1, bRecurse, bKeepPaths, wCompress);
    }
    if (strcasecmp(szCommand, "x") == 0) {
        int cRest = cArgs - iArg - 1;
        const char* szDest = NULL;
        if (cRest >= 2 || (cRest == 1 && CabLooksLikeDir(ppszArgs[cArgs - 1]))) {
            szDest = ppszArgs[cArgs - 1];
            cRest--;
        }
        return CabExtractCommand(ppszArgs[iArg], ppszArgs + iArg + 1, cRest, szDest, bKeepPaths);
    }
    if (strcasecmp(szCommand, "l") == 0) {
        if (iArg + 1 != cArgs) return CabUsage("l takes only the cabinet");
        return CabListCommand(ppszArgs[iArg]);
    }
    CabError("unknown command %s", szCommand);
    return CabUsage(NULL);
}

int main(int argc, char** argv)
{
    const char* szLine = getenv("HERON_COMMAND_LINE");
    int iResult;

    if (szLine && *szLine) {
        size_t cbBuf = strlen(szLine) + 1;
        /* Every argument takes at least one character of the line. */
        char** ppszArgs = (char**)calloc(cbBuf + 1, sizeof(char*));
        char* szBuf = (char*)malloc(cbBuf);
        int cArgs;
        if (!ppszArgs || !szBuf) {
            CabError("out of memory");
            return 1;
        }
        cArgs = PlatSplitCommandLine(szLine, ppszArgs, (int)cbBuf, szBuf, cbBuf);
        if (cArgs < 0 || cArgs > (int)cbBuf) {
            CabError("cannot split the command line");
            iResult = 2;
        } else {
            iResult = CabRun(cArgs, ppszArgs);
        }
        free(ppszArgs);
        free(szBuf);
    } else {
        iResult = CabRun(argc, argv);
    }
    fflush(stdout);
    return iResult;
}
