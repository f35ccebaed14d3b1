/*
 * paths.cpp - Windows paths on Linux.
 *
 * Drive X: is $HERON_ROOT/drive_x (lower-case letter); Z: is the Linux root,
 * so every Linux path has a Windows form. Without HERON_ROOT the drives live
 * below $HOME/.heron. Translation happens at the last moment:
 *
 *   "C:\A\b.txt"   -> <root>/drive_c/A/b.txt
 *   "\TEMP"        -> the root of the current drive, then TEMP
 *   "C:rel"        -> relative to the current directory when it is on C:,
 *                     else to the root of C:
 *   "/tmp/x"       -> a Linux path, unchanged
 *   "rel\x"        -> relative to the current directory
 *
 * "." and ".." are folded lexically, as Win32 does. Each component that does
 * not exist with its exact spelling is matched without regard to case against
 * the entries of its directory (the first match in byte order wins), so the
 * logic can spell "QUILL.INI" while the file on disk is "quill.ini".
 */
#include "platform/posix/posix.h"

#include <dirent.h>
#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#define HOST_MAX 4096

int PosixRootDir(char* szRoot, size_t cbRoot)
{
    const char* szEnv = getenv("HERON_ROOT");
    if (szEnv && *szEnv) {
        /* The canonical form, so reverse mapping works on getcwd's output;
         * kept for the value it was found for, as every path asks for it. */
        static char s_szEnvSeen[HOST_MAX];
        static char s_szReal[PATH_MAX];
        char szReal[PATH_MAX];
        if (s_szReal[0] && strcmp(szEnv, s_szEnvSeen) == 0) return PosixCopy(szRoot, cbRoot, s_szReal);
        if (realpath(szEnv, szReal)) {
            if (strlen(szEnv) < sizeof(s_szEnvSeen)) {
                PosixCopy(s_szEnvSeen, sizeof(s_szEnvSeen), szEnv);
                PosixCopy(s_szReal, sizeof(s_szReal), szReal);
            }
            return PosixCopy(szRoot, cbRoot, szReal);
        }
        return PosixCopy(szRoot, cbRoot, szEnv);
    }
    const char* szHome = getenv("HOME");
    char szBuf[HOST_MAX];
    if (!szHome || !*szHome) szHome = "/tmp";
    if (!PosixCopy(szBuf, sizeof(szBuf), szHome)) return 0;
    size_t cch = strlen(szBuf);
    while (cch > 1 && szBuf[cch - 1] == '/') szBuf[--cch] = 0;
    if (cch + 8 >= sizeof(szBuf)) return 0;
    strcat(szBuf, "/.heron");
    {
        char szReal[PATH_MAX];
        if (realpath(szBuf, szReal)) return PosixCopy(szRoot, cbRoot, szReal);
    }
    return PosixCopy(szRoot, cbRoot, szBuf);
}

/* The host directory of a drive letter, without a trailing slash ("" for Z:). */
static int PathDriveDir(char chDrive, char* szOut, size_t cbOut)
{
    char szRoot[HOST_MAX];
    char chLower = (char)(chDrive | 0x20);
    if (chLower == 'z') {
        szOut[0] = 0;
        return 1;
    }
    if (!PosixRootDir(szRoot, sizeof(szRoot))) return 0;
    size_t cch = strlen(szRoot);
    if (cch + 9 >= cbOut) return 0;
    memcpy(szOut, szRoot, cch);
    memcpy(szOut + cch, "/drive_", 7);
    szOut[cch + 7] = chLower;
    szOut[cch + 8] = 0;
    return 1;
}

int PlatWindowsPath(const char* szHost, char* szPath, size_t cbPath)
{
    char szRoot[HOST_MAX];
    char szBuf[HOST_MAX];
    const char* szRest = szHost;
    char chDrive = 'Z';
    size_t cchRoot;
    size_t i, j;

    if (PosixRootDir(szRoot, sizeof(szRoot))) {
        cchRoot = strlen(szRoot);
        if (strncmp(szHost, szRoot, cchRoot) == 0 && strncmp(szHost + cchRoot, "/drive_", 7) == 0) {
            char chLetter = szHost[cchRoot + 7];
            char chAfter = szHost[cchRoot + 8];
            if (chLetter >= 'a' && chLetter <= 'y' && (chAfter == 0 || chAfter == '/')) {
                chDrive = (char)(chLetter - 'a' + 'A');
                szRest = szHost + cchRoot + 8;
            }
        }
    }
    j = 0;
    szBuf[j++] = chDrive;
    szBuf[j++] = ':';
    if (*szRest == 0) szBuf[j++] = '\\';
    for (i = 0; szRest[i] && j + 1 < sizeof(szBuf); i++) {
        szBuf[j++] = szRest[i] == '/' ? '\\' : szRest[i];
    }
    szBuf[j] = 0;
    /* No trailing backslash except at a drive root. */
    while (j > 3 && szBuf[j - 1] == '\\') szBuf[--j] = 0;
    if (!PosixCopy(szPath, cbPath, szBuf)) {
        PlatSetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    return 1;
}

/* The drive letter of the current directory. */
static char PathCurrentDrive(void)
{
    char szCwd[HOST_MAX];
    char szWin[HOST_MAX];
    if (!getcwd(szCwd, sizeof(szCwd))) return 'Z';
    if (!PlatWindowsPath(szCwd, szWin, sizeof(szWin))) return 'Z';
    return szWin[0];
}

/*
 * The names of a few directories, kept from their last listing: a run looks
 * up many names that do not exist (temporary files, backups) in the same
 * large directory, and each look-up would list it again. A kept listing is
 * used only while the directory's change time is the one it had then, and
 * it is kept only when that change time lies before the coarse clock's
 * reading taken before the listing: any later change of the directory gets
 * a change time at or after that reading, so it can never go unseen.
 */
#define DIRCACHE_SLOTS 4

typedef struct DIRCACHE {
    char szDir[HOST_MAX];
    dev_t dev;
    ino_t ino;
    struct timespec tsChange;
    char* pNames; /* NUL after each name */
    size_t cbNames;
} DIRCACHE;

static DIRCACHE s_aDirCache[DIRCACHE_SLOTS];
static int s_iDirCacheNext;

static int PathTimeBefore(const struct timespec* pA, const struct timespec* pB)
{
    return pA->tv_sec < pB->tv_sec || (pA->tv_sec == pB->tv_sec && pA->tv_nsec < pB->tv_nsec);
}

/* The first name in byte order among those of szNames (NUL-separated, cb
 * bytes) equal to szName without regard to case, into szBest ("" for none). */
static void PathBestOf(const char* pNames, size_t cbNames, const char* szName, char* szBest)
{
    const char* p;
    for (p = pNames; p < pNames + cbNames; p += strlen(p) + 1) {
        if (strcasecmp(p, szName) == 0 && (szBest[0] == 0 || strcmp(p, szBest) < 0))
            PosixCopy(szBest, NAME_MAX + 1, p);
    }
}

/* szBest: the entry of szDir that matches szName without regard to case
 * (the first in byte order), "" when none. */
static void PathMatchInDirectory(const char* szDir, const char* szName, char* szBest)
{
    struct timespec tsNow;
    struct stat st;
    DIR* pDir;
    struct dirent* pEnt;
    char* pNames = NULL;
    size_t cbNames = 0, cbAlloc = 0;
    int i, bKeep;

    szBest[0] = 0;
    if (clock_gettime(CLOCK_REALTIME_COARSE, &tsNow) != 0 || stat(szDir, &st) != 0) {
        st.st_ino = 0;
        tsNow.tv_sec = 0;
        tsNow.tv_nsec = 0;
    }
    for (i = 0; st.st_ino && i < DIRCACHE_SLOTS; i++) {
        DIRCACHE* pCache = &s_aDirCache[i];
        if (!pCache->pNames || pCache->ino != st.st_ino || pCache->dev != st.st_dev ||
            pCache->tsChange.tv_sec != st.st_ctim.tv_sec || pCache->tsChange.tv_nsec != st.st_ctim.tv_nsec ||
            strcmp(pCache->szDir, szDir) != 0)
            continue;
        PathBestOf(pCache->pNames, pCache->cbNames, szName, szBest);
        return;
    }

    bKeep = st.st_ino != 0 && PathTimeBefore(&st.st_ctim, &tsNow) && strlen(szDir) < HOST_MAX;
    pDir = opendir(szDir);
    if (!pDir) return;
    while ((pEnt = readdir(pDir)) != NULL) {
        size_t cb = strlen(pEnt->d_name) + 1;
        if (strcasecmp(pEnt->d_name, szName) == 0 && (szBest[0] == 0 || strcmp(pEnt->d_name, szBest) < 0))
            PosixCopy(szBest, NAME_MAX + 1, pEnt->d_name);
        if (!bKeep) continue;
        if (cbNames + cb > cbAlloc) {
            size_t cbNew = cbAlloc ? cbAlloc * 2 : 4096;
            char* pNew;
            while (cbNew < cbNames + cb) cbNew *= 2;
            pNew = (char*)realloc(pNames, cbNew);
            if (!pNew) {
                bKeep = 0;
                continue;
            }
            pNames = pNew;
            cbAlloc = cbNew;
        }
        memcpy(pNames + cbNames, pEnt->d_name, cb);
        cbNames += cb;
    }
    closedir(pDir);
    if (bKeep && pNames) {
        DIRCACHE* pCache = &s_aDirCache[s_iDirCacheNext];
        s_iDirCacheNext = (s_iDirCacheNext + 1) % DIRCACHE_SLOTS;
        free(pCache->pNames);
        PosixCopy(pCache->szDir, sizeof(pCache->szDir), szDir);
        pCache->dev = st.st_dev;
        pCache->ino = st.st_ino;
        pCache->tsChange = st.st_ctim;
        pCache->pNames = pNames;
        pCache->cbNames = cbNames;
        pNames = NULL;
    }
    free(pNames);
}

/* Appends one component to szOut, matching it without regard to case when
 * the exact spelling does not exist. bResolve is cleared once a component is
 * missing: nothing below it can exist. */
static int PathAppendComponent(char* szOut, size_t cbOut, const char* pComp, size_t cchComp, int* pbResolve)
{
    size_t cch = strlen(szOut);
    char szName[NAME_MAX + 1];
    struct stat st;
    if (cchComp > NAME_MAX) cchComp = NAME_MAX;
    memcpy(szName, pComp, cchComp);
    szName[cchComp] = 0;

    if (strcmp(szName, ".") == 0) return 1;
    if (strcmp(szName, "..") == 0) {
        char* pSlash = strrchr(szOut, '/');
        if (pSlash && pSlash != szOut) *pSlash = 0;
        else if (pSlash) szOut[1] = 0;
        return 1;
    }
    if (cch + 1 + cchComp + 1 > cbOut) return 0;
    if (cch == 0 || szOut[cch - 1] != '/') {
        szOut[cch++] = '/';
        szOut[cch] = 0;
    }
    memcpy(szOut + cch, szName, cchComp + 1);
    if (!*pbResolve) return 1;
    if (lstat(szOut, &st) == 0) return 1;

    /* Look for the entry that matches without regard to case. */
    szOut[cch] = 0;
    {
        char szBest[NAME_MAX + 1];
        PathMatchInDirectory(cch ? szOut : "/", szName, szBest);
        if (szBest[0]) {
            memcpy(szOut + cch, szBest, strlen(szBest) + 1);
        } else {
            memcpy(szOut + cch, szName, cchComp + 1);
            *pbResolve = 0;
        }
    }
    return 1;
}

int PlatHostPath(const char* szPath, char* szHost, size_t cbHost)
{
    char szOut[HOST_MAX];
    const char* p = szPath;
    int bResolve = 1;

    if (!szPath) {
        PlatSetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    szOut[0] = 0;
    if (p[0] == '/') {
        /* A Linux path. */
        szOut[0] = 0;
        p++;
    } else if (((p[0] | 0x20) >= 'a' && (p[0] | 0x20) <= 'z') && p[1] == ':') {
        char chDrive = p[0];
        p += 2;
        if (*p == '\\' || *p == '/') {
            if (!PathDriveDir(chDrive, szOut, sizeof(szOut))) goto toolong;
            p++;
        } else if ((PathCurrentDrive() | 0x20) == (chDrive | 0x20)) {
            if (!getcwd(szOut, sizeof(szOut))) return PosixFail(errno, NULL);
        } else {
            if (!PathDriveDir(chDrive, szOut, sizeof(szOut))) goto toolong;
        }
    } else if (p[0] == '\\') {
        if (!PathDriveDir(PathCurrentDrive(), szOut, sizeof(szOut))) goto toolong;
        p++;
    } else {
        if (!getcwd(szOut, sizeof(szOut))) return PosixFail(errno, NULL);
    }
    if (strcmp(szOut, "/") == 0) szOut[0] = 0;

    while (*p) {
        const char* pEnd = p;
        while (*pEnd && *pEnd != '\\' && *pEnd != '/') pEnd++;
        if (pEnd > p) {
            if (!PathAppendComponent(szOut, sizeof(szOut), p, (size_t)(pEnd - p), &bResolve)) goto toolong;
        }
        p = *pEnd ? pEnd + 1 : pEnd;
    }
    if (szOut[0] == 0) PosixCopy(szOut, sizeof(szOut), "/");
    if (!PosixCopy(szHost, cbHost, szOut)) goto toolong;
    return 1;
toolong:
    PlatSetLastError(ERROR_PATH_NOT_FOUND);
    return 0;
}

DWORD PlatGetCurrentDirectory(DWORD cchBuf, char* szBuf)
{
    char szCwd[HOST_MAX];
    char szWin[HOST_MAX];
    size_t cch;
    if (PlatFaultHit("GetCurrentDirectory")) return 0;
    if (!getcwd(szCwd, sizeof(szCwd))) return (DWORD)PosixFail(errno, NULL);
    if (!PlatWindowsPath(szCwd, szWin, sizeof(szWin))) return 0;
    cch = strlen(szWin);
    if (cch + 1 > cchBuf) return (DWORD)(cch + 1);
    memcpy(szBuf, szWin, cch + 1);
    return (DWORD)cch;
}

BOOL PlatSetCurrentDirectory(const char* szPath)
{
    char szHost[HOST_MAX];
    struct stat st;
    if (PlatFaultHit("SetCurrentDirectory")) return 0;
    if (!szPath || !*szPath) {
        PlatSetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!PlatHostPath(szPath, szHost, sizeof(szHost))) return 0;
    if (stat(szHost, &st) != 0) return PosixFail(errno, szHost);
    if (!S_ISDIR(st.st_mode)) {
        PlatSetLastError(ERROR_DIRECTORY);
        return 0;
    }
    if (chdir(szHost) != 0) return PosixFail(errno, szHost);
    return 1;
}

DWORD PlatGetModuleFileName(char* szBuf, DWORD cchBuf)
{
    char szExe[HOST_MAX];
    char szWin[HOST_MAX];
    ssize_t cb;
    size_t cch;
    if (PlatFaultHit("GetModuleFileName")) return 0;
    cb = readlink("/proc/self/exe", szExe, sizeof(szExe) - 1);
    if (cb <= 0) return (DWORD)PosixFail(errno, NULL);
    szExe[cb] = 0;
    if (!PlatWindowsPath(szExe, szWin, sizeof(szWin))) return 0;
    cch = strlen(szWin);
    if (cchBuf == 0) return 0;
    /* Win32 cuts the path and reports the buffer size when it does not fit. */
    if (cch >= cchBuf) {
        memcpy(szBuf, szWin, cchBuf - 1);
        szBuf[cchBuf - 1] = 0;
        PlatSetLastError(ERROR_INSUFFICIENT_BUFFER);
        return cchBuf;
    }
    memcpy(szBuf, szWin, cch + 1);
    return (DWORD)cch;
}

static UINT PathConstant(const char* szValue, char* szBuf, UINT cchBuf)
{
    size_t cch = strlen(szValue);
    if (cch + 1 > cchBuf) return (UINT)(cch + 1);
    memcpy(szBuf, szValue, cch + 1);
    return (UINT)cch;
}

UINT PlatGetWindowsDirectory(char* szBuf, UINT cchBuf)
{
    if (PlatFaultHit("GetWindowsDirectory")) return 0;
    return PathConstant("C:\\WINDOWS", szBuf, cchBuf);
}

UINT PlatGetSystemDirectory(char* szBuf, UINT cchBuf)
{
    if (PlatFaultHit("GetSystemDirectory")) return 0;
    return PathConstant("C:\\WINDOWS\\SYSTEM32", szBuf, cchBuf);
}
