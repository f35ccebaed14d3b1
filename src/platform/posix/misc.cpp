/*
 * misc.cpp - environment, clock, disk space and memory blocks.
 *
 * Test knobs (documented in the README):
 *   HERON_TIME     seconds since 1970 that PlatTime reports instead of the clock
 *   HERON_FREE_KB  free space of every volume in kilobytes ("N"), or per
 *                  drive ("C=N,D=M", a bare "N" for the drives not named)
 */
#include "platform/posix/posix.h"

#include <ctype.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

DWORD PlatGetEnvironmentVariable(const char* szName, char* szBuf, DWORD cchBuf)
{
    const char* szValue;
    size_t cch;
    if (PlatFaultHit("GetEnvironmentVariable")) return 0;
    szValue = szName ? getenv(szName) : NULL;
    if (!szValue) {
        PlatSetLastError(203); /* ERROR_ENVVAR_NOT_FOUND */
        return 0;
    }
    cch = strlen(szValue);
    if (cch + 1 > cchBuf) return (DWORD)(cch + 1);
    memcpy(szBuf, szValue, cch + 1);
    return (DWORD)cch;
}

long long PlatTime(void)
{
    const char* szFake = getenv("HERON_TIME");
    if (szFake && *szFake) return strtoll(szFake, NULL, 10);
    return (long long)time(NULL);
}

void PlatLocalTimeText(long long llTime, char* szBuf, size_t cbBuf)
{
    time_t t = (time_t)llTime;
    struct tm tmLocal;
    if (cbBuf == 0) return;
    szBuf[0] = 0;
    if (!localtime_r(&t, &tmLocal)) return;
    /* The C runtime's ctime form, the day padded with a blank. */
    strftime(szBuf, cbBuf, "%a %b %e %H:%M:%S %Y", &tmLocal);
}

BOOL PlatGetDiskFreeSpaceEx(const char* szDir, unsigned long long* pcbFreeToCaller, unsigned long long* pcbTotal,
                            unsigned long long* pcbTotalFree)
{
    char szHost[4096];
    struct statvfs sv;
    const char* szFake;
    if (PlatFaultHit("GetDiskFreeSpaceEx")) return 0;
    if (!PlatHostPath(szDir, szHost, sizeof(szHost))) return 0;
    if (statvfs(szHost, &sv) != 0) return PosixFail(errno, szHost);
    szFake = getenv("HERON_FREE_KB");
    unsigned long long cbFree = (unsigned long long)sv.f_bavail * sv.f_frsize;
    unsigned long long cbTotal = (unsigned long long)sv.f_blocks * sv.f_frsize;
    if (szFake && *szFake) {
        /* "N" for every volume, or entries "X=N" per drive letter (any case)
         * and a bare "N" for the drives not named, separated by commas. */
        char chDrive = (char)toupper((unsigned char)szDir[0]);
        const char* p = szFake;
        while (*p) {
            const char* pEnd = strchr(p, ',');
            size_t cch = pEnd ? (size_t)(pEnd - p) : strlen(p);
            if (cch > 0 && !(cch >= 2 && p[1] == '=')) cbFree = strtoull(p, NULL, 10) * 1024ULL;
            p += cch;
            if (*p == ',') p++;
        }
        /* A drive named anywhere in the list wins over a bare number. */
        for (p = szFake; *p;) {
            const char* pEnd = strchr(p, ',');
            size_t cch = pEnd ? (size_t)(pEnd - p) : strlen(p);
            if (cch >= 2 && p[1] == '=' && toupper((unsigned char)p[0]) == chDrive)
                cbFree = strtoull(p + 2, NULL, 10) * 1024ULL;
            p += cch;
            if (*p == ',') p++;
        }
    }
    if (pcbFreeToCaller) *pcbFreeToCaller = cbFree;
    if (pcbTotal) *pcbTotal = cbTotal;
    if (pcbTotalFree) *pcbTotalFree = cbFree;
    return 1;
}

void PlatSleep(DWORD dwMilliseconds)
{
    struct timespec ts;
    ts.tv_sec = dwMilliseconds / 1000;
    ts.tv_nsec = (long)(dwMilliseconds % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

DWORD PlatGetTickCount(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (DWORD)((unsigned long long)ts.tv_sec * 1000u + (unsigned long long)ts.tv_nsec / 1000000u);
}

/* ---- Memory blocks --------------------------------------------------- */

typedef struct GLOBALBLOCK {
    size_t cb;
    int nLocks;
    unsigned int uMagic;
    /* The bytes follow, aligned for any type. */
} GLOBALBLOCK;

#define GLOBAL_MAGIC 0x48474C42u
#define GLOBAL_HEADER ((sizeof(GLOBALBLOCK) + 15) & ~(size_t)15)

HGLOBAL PlatGlobalAlloc(UINT uFlags, size_t cbBytes)
{
    GLOBALBLOCK* pBlock;
    (void)uFlags; /* every block is zero-filled and may move */
    if (PlatFaultHit("GlobalAlloc")) return NULL;
    if (cbBytes > (size_t)-1 - GLOBAL_HEADER) {
        PlatSetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    pBlock = (GLOBALBLOCK*)calloc(1, GLOBAL_HEADER + cbBytes);
    if (!pBlock) {
        PlatSetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    pBlock->cb = cbBytes;
    pBlock->uMagic = GLOBAL_MAGIC;
    return (HGLOBAL)pBlock;
}

void* PlatGlobalLock(HGLOBAL hMem)
{
    GLOBALBLOCK* pBlock = (GLOBALBLOCK*)hMem;
    if (!pBlock || pBlock->uMagic != GLOBAL_MAGIC) {
        PlatSetLastError(ERROR_INVALID_HANDLE);
        return NULL;
    }
    pBlock->nLocks++;
    return (char*)pBlock + GLOBAL_HEADER;
}

BOOL PlatGlobalUnlock(HGLOBAL hMem)
{
    GLOBALBLOCK* pBlock = (GLOBALBLOCK*)hMem;
    if (!pBlock || pBlock->uMagic != GLOBAL_MAGIC) return 0;
    if (pBlock->nLocks > 0) pBlock->nLocks--;
    return pBlock->nLocks > 0;
}

HGLOBAL PlatGlobalFree(HGLOBAL hMem)
{
    GLOBALBLOCK* pBlock = (GLOBALBLOCK*)hMem;
    if (!pBlock) return NULL;
    if (pBlock->uMagic != GLOBAL_MAGIC) return hMem;
    pBlock->uMagic = 0;
    free(pBlock);
    return NULL;
}

size_t PlatGlobalSize(HGLOBAL hMem)
{
    GLOBALBLOCK* pBlock = (GLOBALBLOCK*)hMem;
    if (!pBlock || pBlock->uMagic != GLOBAL_MAGIC) return 0;
    return pBlock->cb;
}

void* PlatHeapAlloc(size_t cbBytes)
{
    void* pv;
    if (PlatFaultHit("HeapAlloc")) return NULL;
    pv = calloc(1, cbBytes ? cbBytes : 1);
    if (!pv) PlatSetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return pv;
}

void PlatHeapFree(void* pv) { free(pv); }

static void (*s_pfnExitHook)(UINT);

void PlatSetExitHook(void (*pfnHook)(UINT uExitCode)) { s_pfnExitHook = pfnHook; }

void PlatExitProcess(UINT uExitCode)
{
    void (*pfnHook)(UINT) = s_pfnExitHook;
    /* Once: a hook that ends up here again does not run twice. */
    s_pfnExitHook = NULL;
    if (pfnHook) pfnHook(uExitCode);
    fflush(NULL);
    _exit((int)uExitCode);
}
