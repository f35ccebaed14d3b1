/*
 * files.cpp - buffered streams, files and directories with Win32 semantics.
 *
 * Divisions: the in-use test (other processes holding a file), streams with
 * text mode, single-file operations, directory listing.
 *
 * Win32 facts copied here (observed under Win32 and recorded with the
 * project's probes):
 *   - deleting or opening for writing a read-only file fails with 5; the
 *     emulation checks the owner's write bit itself, because the tests run as
 *     root, whom the kernel lets write anything;
 *   - a file another process holds open: opening it for update fails with 32,
 *     deleting it with 32; a file another process has mapped (a loaded
 *     library): opening for update 32, deleting 5; renaming works in both
 *     cases;
 *   - MoveFile onto an existing target fails with 183;
 *   - RemoveDirectory of a directory that is not empty fails with 145, of the
 *     current directory with 32.
 */
#include "platform/posix/posix.h"

#include <ctype.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/time.h>
#include <unistd.h>

#define HOST_MAX 4096

/* ---- The in-use test ------------------------------------------------- */

static int InUseIsPid(const char* sz)
{
    if (!*sz) return 0;
    for (; *sz; sz++)
        if (!isdigit((unsigned char)*sz)) return 0;
    return 1;
}

/* 1 when no open file of any process (this one included) refers to the
 * file: the kernel grants a write lease only then, and a mapping or a
 * running program keeps its file open. A quick answer that spares the scan
 * of every process below, which costs milliseconds; 0 whenever it cannot
 * tell (someone has it open, no lease for this file system or owner). The
 * lease is given back at once; a lease break in that moment would signal
 * SIGURG, which is ignored by default, instead of the fatal SIGIO. */
static int InUseByNobody(const char* szHost)
{
    int bFree = 0;
    int fd = open(szHost, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return 0;
    if (fcntl(fd, F_SETSIG, SIGURG) == 0 && fcntl(fd, F_SETLEASE, F_WRLCK) == 0) {
        bFree = 1;
        fcntl(fd, F_SETLEASE, F_UNLCK);
    }
    close(fd);
    return bFree;
}

int PosixInUse(const char* szHost, const struct stat* pst)
{
    struct stat stFile;
    DIR* pProc;
    struct dirent* pEnt;
    char szSelf[32];
    int nResult = 0;

    if (pst) stFile = *pst;
    else if (stat(szHost, &stFile) != 0) return 0;
    if (!S_ISREG(stFile.st_mode)) return 0;
    if (InUseByNobody(szHost)) return 0;
    snprintf(szSelf, sizeof(szSelf), "%d", (int)getpid());
    pProc = opendir("/proc");
    if (!pProc) return 0;
    while (nResult != 2 && (pEnt = readdir(pProc)) != NULL) {
        char szDir[300];
        if (!InUseIsPid(pEnt->d_name) || strcmp(pEnt->d_name, szSelf) == 0) continue;

        /* Mapped files: /proc/<pid>/maps lines carry "major:minor inode". */
        snprintf(szDir, sizeof(szDir), "/proc/%s/maps", pEnt->d_name);
        FILE* fp = fopen(szDir, "r");
        if (fp) {
            char szLine[4096];
            while (fgets(szLine, sizeof(szLine), fp)) {
                unsigned long ulStart, ulEnd, ulOffset, ulInode;
                unsigned int uMajor, uMinor;
                char szPerm[8];
                if (sscanf(szLine, "%lx-%lx %7s %lx %x:%x %lu", &ulStart, &ulEnd, szPerm, &ulOffset, &uMajor,
                           &uMinor, &ulInode) == 7) {
                    if (ulInode == (unsigned long)stFile.st_ino && uMajor == major(stFile.st_dev) &&
                        uMinor == minor(stFile.st_dev)) {
                        nResult = 2;
                        break;
                    }
                }
            }
            fclose(fp);
        }
        if (nResult == 2) break;

        /* Open files: /proc/<pid>/fd/<n> links. */
        snprintf(szDir, sizeof(szDir), "/proc/%s/fd", pEnt->d_name);
        DIR* pFd = opendir(szDir);
        if (pFd) {
            struct dirent* pFdEnt;
            while ((pFdEnt = readdir(pFd)) != NULL) {
                char szLink[600];
                struct stat stFd;
                if (!InUseIsPid(pFdEnt->d_name)) continue;
                snprintf(szLink, sizeof(szLink), "%s/%s", szDir, pFdEnt->d_name);
                if (stat(szLink, &stFd) == 0 && stFd.st_ino == stFile.st_ino && stFd.st_dev == stFile.st_dev) {
                    nResult = 1;
                    break;
                }
            }
            closedir(pFd);
        }
    }
    closedir(pProc);
    return nResult;
}

int PosixReadOnly(const char* szHost)
{
    struct stat st;
    if (stat(szHost, &st) != 0) return 0;
    return (st.st_mode & S_IWUSR) == 0;
}

/* ---- Streams ------------------------------------------------------- */

struct PLATFILE {
    FILE* fp;
    int bText;
    int bFault; /* a failed read or write was injected */
};

PLATFILE* PlatFopen(const char* szPath, const char* szMode)
{
    char szHost[HOST_MAX];
    char szCMode[8];
    struct stat st;
    HOSTLOOK look;
    int bWrite, bText;
    size_t i, j;
    PLATFILE* pf;
    FILE* fp;

    if (PlatFaultHit("Fopen")) return NULL;
    if (!szPath || !szMode || !*szPath) {
        PlatSetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    if (!PosixHostPathLook(szPath, szHost, sizeof(szHost), &look)) return NULL;
    bWrite = strchr(szMode, 'w') || strchr(szMode, 'a') || strchr(szMode, '+');
    bText = strchr(szMode, 'b') == NULL;

    /* Nothing by that name: a read fails as fopen would. */
    if (look.iKnown == 0 && !bWrite) {
        PosixFail(ENOENT, szHost);
        return NULL;
    }
    if (PosixStat(szHost, &look, &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            PlatSetLastError(ERROR_ACCESS_DENIED);
            errno = EACCES;
            return NULL;
        }
        if (bWrite) {
            if ((st.st_mode & S_IWUSR) == 0) {
                PlatSetLastError(ERROR_ACCESS_DENIED);
                errno = EACCES;
                return NULL;
            }
            if (PosixInUse(szHost, &st)) {
                PlatSetLastError(ERROR_SHARING_VIOLATION);
                errno = EACCES;
                return NULL;
            }
        }
    }
    /* The C mode without the text/binary letters. */
    for (i = 0, j = 0; szMode[i] && j + 1 < sizeof(szCMode); i++) {
        if (szMode[i] != 'b' && szMode[i] != 't') szCMode[j++] = szMode[i];
    }
    szCMode[j] = 0;
    fp = fopen(szHost, szCMode);
    if (!fp) {
        PosixFail(errno, szHost);
        return NULL;
    }
    pf = (PLATFILE*)calloc(1, sizeof(PLATFILE));
    if (!pf) {
        fclose(fp);
        PlatSetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    pf->fp = fp;
    pf->bText = bText;
    return pf;
}

int PlatFclose(PLATFILE* pf)
{
    int nResult;
    if (!pf) return -1;
    nResult = fclose(pf->fp);
    if (nResult != 0) PosixFail(errno, NULL);
    free(pf);
    return nResult;
}

int PlatFgetc(PLATFILE* pf)
{
    int c;
    if (!pf) return -1;
    c = getc(pf->fp);
    if (pf->bText && c == '\r') {
        int cNext = getc(pf->fp);
        if (cNext == '\n') return '\n';
        if (cNext != EOF) ungetc(cNext, pf->fp);
    }
    return c;
}

size_t PlatFread(void* pv, size_t cbItem, size_t cItems, PLATFILE* pf)
{
    size_t cbWanted, cbGot;
    unsigned char* pb = (unsigned char*)pv;
    if (!pf || cbItem == 0) return 0;
    /* A failed read sets the stream's error indicator, as the C runtime's
     * does when the system's read fails. */
    if (PlatFaultHit("Fread")) {
        pf->bFault = 1;
        return 0;
    }
    cbWanted = cbItem * cItems;
    if (!pf->bText) {
        size_t cGot = fread(pv, cbItem, cItems, pf->fp);
        if (cGot < cItems && ferror(pf->fp)) PosixFail(errno, NULL);
        return cGot;
    }
    for (cbGot = 0; cbGot < cbWanted; cbGot++) {
        int c = PlatFgetc(pf);
        if (c < 0) break;
        pb[cbGot] = (unsigned char)c;
    }
    if (cbGot < cbWanted && ferror(pf->fp)) PosixFail(errno, NULL);
    return cbGot / cbItem;
}

size_t PlatFwrite(const void* pv, size_t cbItem, size_t cItems, PLATFILE* pf)
{
    const unsigned char* pb = (const unsigned char*)pv;
    size_t cb, iStart, i;
    if (!pf || cbItem == 0) return 0;
    if (PlatFaultHit("Fwrite")) {
        pf->bFault = 1;
        return 0;
    }
    if (!pf->bText) {
        size_t cDone = fwrite(pv, cbItem, cItems, pf->fp);
        if (cDone < cItems) PosixFail(errno, NULL);
        return cDone;
    }
    cb = cbItem * cItems;
    iStart = 0;
    for (i = 0; i < cb; i++) {
        if (pb[i] == '\n') {
            if (i > iStart && fwrite(pb + iStart, 1, i - iStart, pf->fp) != i - iStart) {
                PosixFail(errno, NULL);
                return i / cbItem;
            }
            if (fwrite("\r\n", 1, 2, pf->fp) != 2) {
                PosixFail(errno, NULL);
                return i / cbItem;
            }
            iStart = i + 1;
        }
    }
    if (cb > iStart && fwrite(pb + iStart, 1, cb - iStart, pf->fp) != cb - iStart) {
        PosixFail(errno, NULL);
        return iStart / cbItem;
    }
    return cItems;
}

char* PlatFgets(char* sz, int cch, PLATFILE* pf)
{
    int i = 0;
    if (!pf || !sz || cch <= 0) return NULL;
    if (cch == 1) {
        sz[0] = 0;
        return sz;
    }
    while (i < cch - 1) {
        int c = PlatFgetc(pf);
        if (c < 0) break;
        sz[i++] = (char)c;
        if (c == '\n') break;
    }
    sz[i] = 0;
    return i ? sz : NULL;
}

int PlatFputs(const char* sz, PLATFILE* pf)
{
    size_t cch = strlen(sz);
    if (cch == 0) return 0;
    return PlatFwrite(sz, 1, cch, pf) == cch ? 0 : -1;
}

int PlatFflush(PLATFILE* pf)
{
    if (!pf) return -1;
    if (fflush(pf->fp) != 0) {
        PosixFail(errno, NULL);
        return -1;
    }
    return 0;
}

int PlatFseek(PLATFILE* pf, long long llOffset, int nOrigin)
{
    if (!pf) return -1;
    if (fseeko(pf->fp, (off_t)llOffset, nOrigin == 0 ? SEEK_SET : nOrigin == 1 ? SEEK_CUR : SEEK_END) != 0) {
        PosixFail(errno, NULL);
        return -1;
    }
    return 0;
}

long long PlatFtell(PLATFILE* pf)
{
    long long ll;
    if (!pf) return -1;
    ll = (long long)ftello(pf->fp);
    if (ll < 0) PosixFail(errno, NULL);
    return ll;
}
int PlatFeof(PLATFILE* pf) { return pf ? feof(pf->fp) : 1; }
int PlatFerror(PLATFILE* pf) { return pf ? ferror(pf->fp) || pf->bFault : 1; }

long long PlatFsize(PLATFILE* pf)
{
    struct stat st;
    if (!pf) return 0;
    fflush(pf->fp);
    if (fstat(fileno(pf->fp), &st) != 0) return PosixFail(errno, NULL);
    return (long long)st.st_size;
}

/* ---- Single-file operations ------------------------------------------ */

BOOL PlatCreateDirectory(const char* szPath)
{
    char szHost[HOST_MAX];
    if (PlatFaultHit("CreateDirectory")) return 0;
    if (!PlatHostPath(szPath, szHost, sizeof(szHost))) return 0;
    if (mkdir(szHost, 0777) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            PlatSetLastError(ERROR_PATH_NOT_FOUND);
            return 0;
        }
        return PosixFail(errno, szHost);
    }
    return 1;
}

BOOL PlatRemoveDirectory(const char* szPath)
{
    char szHost[HOST_MAX];
    char szCwd[HOST_MAX];
    struct stat st, stCwd;
    HOSTLOOK look;
    if (PlatFaultHit("RemoveDirectory")) return 0;
    if (!PosixHostPathLook(szPath, szHost, sizeof(szHost), &look)) return 0;
    if (PosixStat(szHost, &look, &st) != 0) return PosixFail(errno, szHost);
    if (!S_ISDIR(st.st_mode)) {
        PlatSetLastError(ERROR_DIRECTORY);
        return 0;
    }
    /* A link to a directory goes as a junction goes: the link alone. */
    {
        struct stat stLink;
        if (PosixLstat(szHost, &look, &stLink) == 0 && S_ISLNK(stLink.st_mode)) {
            if (unlink(szHost) != 0) return PosixFail(errno, szHost);
            return 1;
        }
    }
    if (getcwd(szCwd, sizeof(szCwd)) && stat(szCwd, &stCwd) == 0 && stCwd.st_ino == st.st_ino &&
        stCwd.st_dev == st.st_dev) {
        PlatSetLastError(ERROR_SHARING_VIOLATION);
        return 0;
    }
    if (rmdir(szHost) != 0) {
        if (errno == EEXIST) errno = ENOTEMPTY;
        return PosixFail(errno, szHost);
    }
    return 1;
}

BOOL PlatDeleteFile(const char* szPath)
{
    char szHost[HOST_MAX];
    struct stat st;
    HOSTLOOK look;
    int nUse;
    if (PlatFaultHit("DeleteFile")) return 0;
    if (!PosixHostPathLook(szPath, szHost, sizeof(szHost), &look)) return 0;
    if (PosixLstat(szHost, &look, &st) != 0) return PosixFail(errno, szHost);
    if (S_ISDIR(st.st_mode) || (st.st_mode & S_IWUSR) == 0) {
        PlatSetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    nUse = S_ISLNK(st.st_mode) ? PosixInUse(szHost, NULL) : PosixInUse(szHost, &st);
    if (nUse) {
        PlatSetLastError(nUse == 2 ? ERROR_ACCESS_DENIED : ERROR_SHARING_VIOLATION);
        return 0;
    }
    if (unlink(szHost) != 0) return PosixFail(errno, szHost);
    return 1;
}

BOOL PlatMoveFile(const char* szFrom, const char* szTo)
{
    char szHostFrom[HOST_MAX];
    char szHostTo[HOST_MAX];
    struct stat stFrom, stTo;
    HOSTLOOK lookFrom, lookTo;
    if (PlatFaultHit("MoveFile")) return 0;
    if (!PosixHostPathLook(szFrom, szHostFrom, sizeof(szHostFrom), &lookFrom)) return 0;
    if (!PosixHostPathLook(szTo, szHostTo, sizeof(szHostTo), &lookTo)) return 0;
    if (PosixLstat(szHostFrom, &lookFrom, &stFrom) != 0) return PosixFail(errno, szHostFrom);
    if (PosixLstat(szHostTo, &lookTo, &stTo) == 0) {
        /* A change of case only names the same file: allowed. */
        if (!(stTo.st_ino == stFrom.st_ino && stTo.st_dev == stFrom.st_dev)) {
            PlatSetLastError(ERROR_ALREADY_EXISTS);
            return 0;
        }
    }
    if (rename(szHostFrom, szHostTo) != 0) {
        if (errno == ENOENT) {
            PlatSetLastError(ERROR_PATH_NOT_FOUND);
            return 0;
        }
        return PosixFail(errno, szHostTo);
    }
    return 1;
}

BOOL PlatMoveFileReplace(const char* szFrom, const char* szTo)
{
    char szHostFrom[HOST_MAX];
    char szHostTo[HOST_MAX];
    struct stat stTo;
    HOSTLOOK lookTo;
    if (PlatFaultHit("MoveFileReplace")) return 0;
    if (!PlatHostPath(szFrom, szHostFrom, sizeof(szHostFrom))) return 0;
    if (!PosixHostPathLook(szTo, szHostTo, sizeof(szHostTo), &lookTo)) return 0;
    /* A directory is never replaced (Windows refuses it with 5). */
    if (PosixLstat(szHostTo, &lookTo, &stTo) == 0 && S_ISDIR(stTo.st_mode)) {
        PlatSetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    if (rename(szHostFrom, szHostTo) != 0) {
        if (errno == ENOENT) {
            PlatSetLastError(ERROR_PATH_NOT_FOUND);
            return 0;
        }
        return PosixFail(errno, szHostTo);
    }
    return 1;
}

DWORD PlatGetFileAttributes(const char* szPath)
{
    char szHost[HOST_MAX];
    struct stat st;
    HOSTLOOK look;
    DWORD dwAttr = 0;
    if (PlatFaultHit("GetFileAttributes")) return INVALID_FILE_ATTRIBUTES;
    if (!PosixHostPathLook(szPath, szHost, sizeof(szHost), &look)) return INVALID_FILE_ATTRIBUTES;
    if (PosixStat(szHost, &look, &st) != 0) {
        PosixFail(errno, szHost);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISDIR(st.st_mode)) dwAttr |= FILE_ATTRIBUTE_DIRECTORY;
    if ((st.st_mode & S_IWUSR) == 0) dwAttr |= FILE_ATTRIBUTE_READONLY;
    return dwAttr ? dwAttr : FILE_ATTRIBUTE_NORMAL;
}

BOOL PlatSetFileAttributes(const char* szPath, DWORD dwAttributes)
{
    char szHost[HOST_MAX];
    struct stat st;
    HOSTLOOK look;
    mode_t mode;
    if (PlatFaultHit("SetFileAttributes")) return 0;
    if (!PosixHostPathLook(szPath, szHost, sizeof(szHost), &look)) return 0;
    if (PosixStat(szHost, &look, &st) != 0) return PosixFail(errno, szHost);
    mode = st.st_mode & 07777;
    if (dwAttributes & FILE_ATTRIBUTE_READONLY) mode &= (mode_t) ~(S_IWUSR | S_IWGRP | S_IWOTH);
    else mode |= S_IWUSR;
    if (chmod(szHost, mode) != 0) return PosixFail(errno, szHost);
    return 1;
}

BOOL PlatGetFileSize(const char* szPath, unsigned long long* pcbSize)
{
    char szHost[HOST_MAX];
    struct stat st;
    HOSTLOOK look;
    if (pcbSize) *pcbSize = 0;
    if (PlatFaultHit("GetFileSize")) return 0;
    if (!PosixHostPathLook(szPath, szHost, sizeof(szHost), &look)) return 0;
    if (PosixStat(szHost, &look, &st) != 0) return PosixFail(errno, szHost);
    if (pcbSize) *pcbSize = (unsigned long long)st.st_size;
    return 1;
}

BOOL PlatGetFileTime(const char* szPath, long long* pllTime)
{
    char szHost[HOST_MAX];
    struct stat st;
    HOSTLOOK look;
    if (PlatFaultHit("GetFileTime")) return 0;
    if (!PosixHostPathLook(szPath, szHost, sizeof(szHost), &look)) return 0;
    if (PosixStat(szHost, &look, &st) != 0) return PosixFail(errno, szHost);
    if (pllTime) *pllTime = (long long)st.st_mtime;
    return 1;
}

BOOL PlatSetFileTime(const char* szPath, long long llTime)
{
    char szHost[HOST_MAX];
    struct timeval atv[2];
    if (PlatFaultHit("SetFileTime")) return 0;
    if (!PlatHostPath(szPath, szHost, sizeof(szHost))) return 0;
    atv[0].tv_sec = (time_t)llTime;
    atv[0].tv_usec = 0;
    atv[1] = atv[0];
    if (utimes(szHost, atv) != 0) return PosixFail(errno, szHost);
    return 1;
}

BOOL PlatMarkProgram(const char* szPath)
{
    char szHost[HOST_MAX];
    struct stat st;
    HOSTLOOK look;
    if (PlatFaultHit("MarkProgram")) return 0;
    if (!PosixHostPathLook(szPath, szHost, sizeof(szHost), &look)) return 0;
    if (PosixStat(szHost, &look, &st) != 0) return PosixFail(errno, szHost);
    if (chmod(szHost, (st.st_mode & 07777) | S_IXUSR | S_IXGRP | S_IXOTH) != 0) return PosixFail(errno, szHost);
    return 1;
}

/* ---- Directory listing ----------------------------------------------- */

typedef struct FINDSTATE {
    char szDir[HOST_MAX];
    char** ppszNames;
    size_t cNames;
    size_t iNext;
} FINDSTATE;

/* Wildcard match without regard to case: "*" any run, "?" one character. */
static int FindMatch(const char* szPattern, const char* szName)
{
    while (*szPattern) {
        if (*szPattern == '*') {
            while (*szPattern == '*') szPattern++;
            if (!*szPattern) return 1;
            for (; *szName; szName++)
                if (FindMatch(szPattern, szName)) return 1;
            return FindMatch(szPattern, szName);
        }
        if (!*szName) return 0;
        if (*szPattern != '?' && tolower((unsigned char)*szPattern) != tolower((unsigned char)*szName)) return 0;
        szPattern++;
        szName++;
    }
    return *szName == 0;
}

/* A pattern ending in ".*" also matches names without an extension ("*.*" matches "a"). */
static int FindMatchWin(const char* szPattern, const char* szName)
{
    size_t cch;
    char szBase[MAX_PATH];
    if (FindMatch(szPattern, szName)) return 1;
    cch = strlen(szPattern);
    if (cch >= 2 && strcmp(szPattern + cch - 2, ".*") == 0 && strchr(szName, '.') == NULL && cch - 2 < sizeof(szBase)) {
        memcpy(szBase, szPattern, cch - 2);
        szBase[cch - 2] = 0;
        return FindMatch(szBase, szName);
    }
    return 0;
}

static int FindCompare(const void* pA, const void* pB)
{
    const char* szA = *(const char* const*)pA;
    const char* szB = *(const char* const*)pB;
    int n = strcasecmp(szA, szB);
    return n ? n : strcmp(szA, szB);
}

static void FindFill(FINDSTATE* pState, const char* szName, PLAT_FIND_DATA* pData)
{
    char szFull[HOST_MAX + 512];
    struct stat st;
    memset(pData, 0, sizeof(*pData));
    PosixCopy(pData->cFileName, sizeof(pData->cFileName), szName);
    snprintf(szFull, sizeof(szFull), "%s/%s", pState->szDir, szName);
    if (lstat(szFull, &st) == 0 && S_ISLNK(st.st_mode)) pData->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    if (stat(szFull, &st) == 0) {
        if (S_ISDIR(st.st_mode)) pData->dwFileAttributes |= FILE_ATTRIBUTE_DIRECTORY;
        if ((st.st_mode & S_IWUSR) == 0) pData->dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
        if (!pData->dwFileAttributes) pData->dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
        pData->cbFileSize = S_ISDIR(st.st_mode) ? 0 : (unsigned long long)st.st_size;
        pData->llWriteTime = (long long)st.st_mtime;
    } else {
        pData->dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
    }
}

static void FindFree(FINDSTATE* pState)
{
    size_t i;
    for (i = 0; i < pState->cNames; i++) free(pState->ppszNames[i]);
    free(pState->ppszNames);
    free(pState);
}

HANDLE PlatFindFirstFile(const char* szPattern, PLAT_FIND_DATA* pData)
{
    char szDirWin[HOST_MAX];
    const char* szMask;
    const char* pSep;
    FINDSTATE* pState;
    DIR* pDir;
    struct dirent* pEnt;
    struct stat st;
    size_t cAlloc = 0;

    if (PlatFaultHit("FindFirstFile")) return NULL;
    if (!szPattern || !*szPattern) {
        PlatSetLastError(ERROR_FILE_NOT_FOUND);
        return NULL;
    }
    pSep = strrchr(szPattern, '\\');
    {
        const char* pSlash = strrchr(szPattern, '/');
        if (pSlash && (!pSep || pSlash > pSep)) pSep = pSlash;
    }
    if (pSep) {
        size_t cch = (size_t)(pSep - szPattern) + 1;
        if (cch >= sizeof(szDirWin)) cch = sizeof(szDirWin) - 1;
        memcpy(szDirWin, szPattern, cch);
        szDirWin[cch] = 0;
        szMask = pSep + 1;
    } else if (szPattern[0] && szPattern[1] == ':') {
        szDirWin[0] = szPattern[0];
        szDirWin[1] = ':';
        szDirWin[2] = 0;
        szMask = szPattern + 2;
    } else {
        PosixCopy(szDirWin, sizeof(szDirWin), ".");
        szMask = szPattern;
    }
    pState = (FINDSTATE*)calloc(1, sizeof(FINDSTATE));
    if (!pState) {
        PlatSetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    if (!PlatHostPath(szDirWin, pState->szDir, sizeof(pState->szDir))) {
        free(pState);
        return NULL;
    }
    if (stat(pState->szDir, &st) != 0 || !S_ISDIR(st.st_mode)) {
        free(pState);
        PlatSetLastError(ERROR_PATH_NOT_FOUND);
        return NULL;
    }
    pDir = opendir(pState->szDir);
    if (!pDir) {
        PosixFail(errno, pState->szDir);
        free(pState);
        return NULL;
    }
    while ((pEnt = readdir(pDir)) != NULL) {
        if (!FindMatchWin(szMask, pEnt->d_name)) continue;
        if (pState->cNames == cAlloc) {
            size_t cNew = cAlloc ? cAlloc * 2 : 16;
            char** ppNew = (char**)realloc(pState->ppszNames, cNew * sizeof(char*));
            if (!ppNew) break;
            pState->ppszNames = ppNew;
            cAlloc = cNew;
        }
        pState->ppszNames[pState->cNames] = strdup(pEnt->d_name);
        if (pState->ppszNames[pState->cNames]) pState->cNames++;
    }
    closedir(pDir);
    if (pState->cNames == 0) {
        FindFree(pState);
        PlatSetLastError(ERROR_FILE_NOT_FOUND);
        return NULL;
    }
    qsort(pState->ppszNames, pState->cNames, sizeof(char*), FindCompare);
    FindFill(pState, pState->ppszNames[0], pData);
    pState->iNext = 1;
    return (HANDLE)pState;
}

BOOL PlatFindNextFile(HANDLE hFind, PLAT_FIND_DATA* pData)
{
    FINDSTATE* pState = (FINDSTATE*)hFind;
    if (!pState) {
        PlatSetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (PlatFaultHit("FindNextFile")) return 0;
    if (pState->iNext >= pState->cNames) {
        PlatSetLastError(ERROR_NO_MORE_FILES);
        return 0;
    }
    FindFill(pState, pState->ppszNames[pState->iNext++], pData);
    return 1;
}

BOOL PlatFindClose(HANDLE hFind)
{
    if (!hFind) return 0;
    FindFree((FINDSTATE*)hFind);
    return 1;
}
