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

#include <ctype.h>
#include <dirent.h>
#include <errno.h>
#include <limits.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <unordered_map>
#include <vector>

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
 * watched by inotify, set up before the listing is read; the kernel queues
 * each change of the directory's entries, by any process, before the
 * changing call returns, and every look-up first applies the queued changes,
 * so a kept listing is always the directory as it is. A directory that goes
 * away or moves, a full queue, or a path that now names another directory
 * (same device and inode checked) drops the listing; without inotify every
 * look-up lists the directory as before.
 */
#define DIRCACHE_SLOTS 4

typedef struct DIRCACHE {
    std::string strDir;
    int iWatch; /* -1: slot free */
    dev_t dev;
    ino_t ino;
    /* case-folded name -> the names with that folding */
    std::unordered_map<std::string, std::vector<std::string>> names;
} DIRCACHE;

static DIRCACHE s_aDirCache[DIRCACHE_SLOTS] = {{"", -1, 0, 0, {}}, {"", -1, 0, 0, {}}, {"", -1, 0, 0, {}}, {"", -1, 0, 0, {}}};
static int s_iDirCacheNext;
static int s_fdNotify = -1;
/* Set in a child made by fork: it shares the parent's queue and needs its own
 * (asked on every look-up without a system call). */
static volatile int s_bForked;
static int s_bAtFork;

static void PathForked(void)
{
    s_bForked = 1;
}

static std::string PathFold(const char* sz)
{
    std::string str(sz);
    for (char& ch : str) ch = (char)tolower((unsigned char)ch);
    return str;
}

static void PathDropSlot(DIRCACHE* pCache)
{
    if (pCache->iWatch >= 0 && s_fdNotify >= 0) inotify_rm_watch(s_fdNotify, pCache->iWatch);
    pCache->iWatch = -1;
    pCache->strDir.clear();
    pCache->names.clear();
}

static void PathAddName(DIRCACHE* pCache, const char* szName)
{
    std::vector<std::string>& v = pCache->names[PathFold(szName)];
    for (const std::string& str : v)
        if (str == szName) return;
    v.push_back(szName);
}

static void PathRemoveName(DIRCACHE* pCache, const char* szName)
{
    auto it = pCache->names.find(PathFold(szName));
    if (it == pCache->names.end()) return;
    std::vector<std::string>& v = it->second;
    for (size_t i = 0; i < v.size(); i++) {
        if (v[i] == szName) {
            v.erase(v.begin() + (long)i);
            break;
        }
    }
    if (v.empty()) pCache->names.erase(it);
}

/* Applies the queued changes to the kept listings; 0 when inotify is not there. */
static int PathDrainChanges(void)
{
    alignas(struct inotify_event) char abEvents[16384];
    int i;
    if (s_fdNotify >= 0 && s_bForked) {
        /* A forked child shares the parent's queue: it gets one of its own. */
        close(s_fdNotify);
        s_fdNotify = -1;
        for (i = 0; i < DIRCACHE_SLOTS; i++) {
            s_aDirCache[i].iWatch = -1;
            PathDropSlot(&s_aDirCache[i]);
        }
    }
    if (s_fdNotify < 0) {
        if (!s_bAtFork) s_bAtFork = pthread_atfork(NULL, NULL, PathForked) == 0;
        if (!s_bAtFork) return 0;
        s_bForked = 0;
        s_fdNotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (s_fdNotify < 0) return 0;
    }
    for (;;) {
        ssize_t cb = read(s_fdNotify, abEvents, sizeof(abEvents));
        const char* p;
        if (cb <= 0) break;
        for (p = abEvents; p < abEvents + cb;) {
            const struct inotify_event* pEvent = (const struct inotify_event*)(const void*)p;
            p += sizeof(struct inotify_event) + pEvent->len;
            if (pEvent->mask & IN_Q_OVERFLOW) {
                for (i = 0; i < DIRCACHE_SLOTS; i++) PathDropSlot(&s_aDirCache[i]);
                continue;
            }
            for (i = 0; i < DIRCACHE_SLOTS; i++) {
                DIRCACHE* pCache = &s_aDirCache[i];
                if (pCache->iWatch != pEvent->wd) continue;
                if (pEvent->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) {
                    if (pEvent->mask & IN_IGNORED) pCache->iWatch = -1; /* already gone */
                    PathDropSlot(pCache);
                } else if (pEvent->len && (pEvent->mask & (IN_CREATE | IN_MOVED_TO))) {
                    PathAddName(pCache, pEvent->name);
                } else if (pEvent->len && (pEvent->mask & (IN_DELETE | IN_MOVED_FROM))) {
                    PathRemoveName(pCache, pEvent->name);
                }
            }
        }
    }
    return 1;
}

/* szBest: the entry of szDir that matches szName without regard to case
 * (the first in byte order), "" when none. */
static void PathMatchInDirectory(const char* szDir, const char* szName, char* szBest, const struct stat* pstDir)
{
    struct stat st;
    DIR* pDir;
    struct dirent* pEnt;
    DIRCACHE* pCache = NULL;
    int i, bWatched = PathDrainChanges();

    szBest[0] = 0;
    /* The caller's look at the directory itself (not through a link) will do. */
    if (pstDir) st = *pstDir;
    if (bWatched && (pstDir || stat(szDir, &st) == 0)) {
        for (i = 0; i < DIRCACHE_SLOTS; i++) {
            DIRCACHE* pSlot = &s_aDirCache[i];
            if (pSlot->iWatch < 0 || pSlot->strDir != szDir) continue;
            if (pSlot->dev != st.st_dev || pSlot->ino != st.st_ino) {
                PathDropSlot(pSlot);
                continue;
            }
            auto it = pSlot->names.find(PathFold(szName));
            if (it != pSlot->names.end())
                for (const std::string& str : it->second)
                    if (szBest[0] == 0 || strcmp(str.c_str(), szBest) < 0) PosixCopy(szBest, NAME_MAX + 1, str.c_str());
            return;
        }
        /* Watched before it is read: no change between the two is missed. */
        int iWatch = inotify_add_watch(s_fdNotify, szDir,
                                       IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
                                           IN_MOVE_SELF | IN_ONLYDIR);
        if (iWatch >= 0) {
            /* The same directory under another path has the same watch. */
            for (i = 0; i < DIRCACHE_SLOTS; i++)
                if (s_aDirCache[i].iWatch == iWatch) {
                    s_aDirCache[i].iWatch = -1;
                    PathDropSlot(&s_aDirCache[i]);
                }
            pCache = &s_aDirCache[s_iDirCacheNext];
            s_iDirCacheNext = (s_iDirCacheNext + 1) % DIRCACHE_SLOTS;
            PathDropSlot(pCache);
            pCache->strDir = szDir;
            pCache->iWatch = iWatch;
            pCache->dev = st.st_dev;
            pCache->ino = st.st_ino;
        }
    }
    pDir = opendir(szDir);
    if (!pDir) {
        if (pCache) PathDropSlot(pCache);
        return;
    }
    while ((pEnt = readdir(pDir)) != NULL) {
        if (strcasecmp(pEnt->d_name, szName) == 0 && (szBest[0] == 0 || strcmp(pEnt->d_name, szBest) < 0))
            PosixCopy(szBest, NAME_MAX + 1, pEnt->d_name);
        if (pCache) PathAddName(pCache, pEnt->d_name);
    }
    closedir(pDir);
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
        PathMatchInDirectory(cch ? szOut : "/", szName, szBest, NULL);
        if (szBest[0]) {
            memcpy(szOut + cch, szBest, strlen(szBest) + 1);
        } else {
            memcpy(szOut + cch, szName, cchComp + 1);
            *pbResolve = 0;
        }
    }
    return 1;
}

int PosixStat(const char* szHost, const HOSTLOOK* pLook, struct stat* pst)
{
    if (pLook && pLook->iKnown == 1 && !S_ISLNK(pLook->stLink.st_mode)) {
        *pst = pLook->stLink;
        return 0;
    }
    if (pLook && pLook->iKnown == 0) {
        errno = ENOENT;
        return -1;
    }
    return stat(szHost, pst);
}

int PosixLstat(const char* szHost, const HOSTLOOK* pLook, struct stat* pst)
{
    if (pLook && pLook->iKnown == 1) {
        *pst = pLook->stLink;
        return 0;
    }
    if (pLook && pLook->iKnown == 0) {
        errno = ENOENT;
        return -1;
    }
    return lstat(szHost, pst);
}

int PlatHostPath(const char* szPath, char* szHost, size_t cbHost)
{
    return PosixHostPathLook(szPath, szHost, cbHost, NULL);
}

int PosixHostPathLook(const char* szPath, char* szHost, size_t cbHost, HOSTLOOK* pLook)
{
    char szOut[HOST_MAX];
    const char* p = szPath;
    int bResolve = 1;

    if (pLook) pLook->iKnown = -1;
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

    /* Most paths exist as they are spelled: one look at the whole path then
     * spares a look at every component. */
    if (*p) {
        char szWhole[HOST_MAX];
        const char* q = p;
        int bLexical = 0, bFits = 1;
        struct stat st;
        PosixCopy(szWhole, sizeof(szWhole), szOut);
        while (*q && bFits) {
            const char* pEnd = q;
            while (*pEnd && *pEnd != '\\' && *pEnd != '/') pEnd++;
            if (pEnd > q) bFits = PathAppendComponent(szWhole, sizeof(szWhole), q, (size_t)(pEnd - q), &bLexical);
            q = *pEnd ? pEnd + 1 : pEnd;
        }
        if (bFits && szWhole[0] && lstat(szWhole, &st) == 0) {
            if (!PosixCopy(szHost, cbHost, szWhole)) goto toolong;
            if (pLook) {
                pLook->iKnown = 1;
                pLook->stLink = st;
            }
            return 1;
        }
        /* A name not there in a directory that is: only the last component
         * is looked for without regard to case. */
        if (bFits && errno == ENOENT) {
            char* pSlash = strrchr(szWhole, '/');
            if (pSlash && pSlash != szWhole && pSlash[1]) {
                char szBest[NAME_MAX + 1];
                *pSlash = 0;
                if (lstat(szWhole, &st) == 0 && S_ISDIR(st.st_mode)) {
                    PathMatchInDirectory(szWhole, pSlash + 1, szBest, &st);
                    *pSlash = '/';
                    if (szBest[0]) {
                        pSlash[1] = 0;
                        if (strlen(szWhole) + strlen(szBest) >= sizeof(szWhole)) goto toolong;
                        strcat(szWhole, szBest);
                    }
                    if (!PosixCopy(szHost, cbHost, szWhole)) goto toolong;
                    /* No entry of that name in any case: the caller's own
                     * look would only say so again. */
                    if (pLook && !szBest[0]) pLook->iKnown = 0;
                    return 1;
                }
                *pSlash = '/';
            }
        }
    }

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
