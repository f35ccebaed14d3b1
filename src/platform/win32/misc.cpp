/*
 * misc.cpp - the Windows backend: last error, paths and the current
 * directory, environment, clock, disk space, memory.
 *
 * The last error of the platform layer is its own value (posix/errors.cpp,
 * shared by both builds with the fault injection); every failing Win32 call
 * copies GetLastError into it here, so the logic reads the real code.
 *
 * The test knobs of the Linux build that make runs comparable work here too:
 * HERON_TIME (the clock) and HERON_FREE_KB (free space of every volume).
 */
#include "platform/win32/win32.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

int Win32Fail(void)
{
    DWORD dwError = GetLastError();
    PlatSetLastError(dwError ? dwError : ERROR_ACCESS_DENIED);
    return 0;
}

int Win32FailWith(DWORD dwError)
{
    PlatSetLastError(dwError);
    return 0;
}

/* ---- Paths ------------------------------------------------------------ */

int PlatHostPath(const char* szPath, char* szHost, size_t cbHost)
{
    if (!szPath) return Win32FailWith(ERROR_INVALID_PARAMETER);
    if (!PosixCopy(szHost, cbHost, szPath)) return Win32FailWith(ERROR_PATH_NOT_FOUND);
    return 1;
}

int PlatWindowsPath(const char* szHost, char* szPath, size_t cbPath)
{
    if (!szHost) return Win32FailWith(ERROR_INVALID_PARAMETER);
    if (!PosixCopy(szPath, cbPath, szHost)) return Win32FailWith(ERROR_INSUFFICIENT_BUFFER);
    return 1;
}

PLAT_DWORD PlatGetCurrentDirectory(PLAT_DWORD cchBuf, char* szBuf)
{
    DWORD dw;
    if (PlatFaultHit("GetCurrentDirectory")) return 0;
    dw = GetCurrentDirectoryA(cchBuf, szBuf);
    if (dw == 0) Win32Fail();
    return dw;
}

PLAT_BOOL PlatSetCurrentDirectory(const char* szPath)
{
    if (PlatFaultHit("SetCurrentDirectory")) return 0;
    if (!szPath || !*szPath) return Win32FailWith(ERROR_INVALID_PARAMETER);
    if (!SetCurrentDirectoryA(szPath)) return Win32Fail();
    return 1;
}

PLAT_DWORD PlatGetModuleFileName(char* szBuf, PLAT_DWORD cchBuf)
{
    DWORD dw;
    if (PlatFaultHit("GetModuleFileName")) return 0;
    dw = GetModuleFileNameA(NULL, szBuf, cchBuf);
    if (dw == 0) Win32Fail();
    else if (dw >= cchBuf) PlatSetLastError(ERROR_INSUFFICIENT_BUFFER);
    return dw;
}

PLAT_UINT PlatGetWindowsDirectory(char* szBuf, PLAT_UINT cchBuf)
{
    UINT u;
    if (PlatFaultHit("GetWindowsDirectory")) return 0;
    u = GetWindowsDirectoryA(szBuf, cchBuf);
    if (u == 0) Win32Fail();
    return u;
}

PLAT_UINT PlatGetSystemDirectory(char* szBuf, PLAT_UINT cchBuf)
{
    UINT u;
    if (PlatFaultHit("GetSystemDirectory")) return 0;
    u = GetSystemDirectoryA(szBuf, cchBuf);
    if (u == 0) Win32Fail();
    return u;
}

/* ---- Environment, time, disk space ----------------------------------- */

PLAT_DWORD PlatGetEnvironmentVariable(const char* szName, char* szBuf, PLAT_DWORD cchBuf)
{
    DWORD dw;
    if (PlatFaultHit("GetEnvironmentVariable")) return 0;
    dw = GetEnvironmentVariableA(szName, szBuf, cchBuf);
    if (dw == 0) Win32Fail();
    return dw;
}

long long PlatTime(void)
{
    const char* szFake = getenv("HERON_TIME");
    if (szFake && *szFake) return strtoll(szFake, NULL, 10);
    return (long long)time(NULL);
}

void PlatLocalTimeText(long long llTime, char* szBuf, size_t cbBuf)
{
    static const char* const s_aszDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const s_aszMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    __time64_t t = (__time64_t)llTime;
    struct tm tmLocal;
    if (cbBuf == 0) return;
    szBuf[0] = 0;
    if (_localtime64_s(&tmLocal, &t) != 0) return;
    /* The C runtime's ctime form, the day padded with a blank. */
    snprintf(szBuf, cbBuf, "%s %s %2d %02d:%02d:%02d %d", s_aszDays[tmLocal.tm_wday % 7],
             s_aszMonths[tmLocal.tm_mon % 12], tmLocal.tm_mday, tmLocal.tm_hour, tmLocal.tm_min, tmLocal.tm_sec,
             tmLocal.tm_year + 1900);
}

PLAT_BOOL PlatGetDiskFreeSpaceEx(const char* szDir, unsigned long long* pcbFreeToCaller,
                                 unsigned long long* pcbTotal, unsigned long long* pcbTotalFree)
{
    ULARGE_INTEGER uFree, uTotal, uTotalFree;
    const char* szFake;
    if (PlatFaultHit("GetDiskFreeSpaceEx")) return 0;
    if (!GetDiskFreeSpaceExA(szDir, &uFree, &uTotal, &uTotalFree)) return Win32Fail();
    szFake = getenv("HERON_FREE_KB");
    if (szFake && *szFake) uFree.QuadPart = uTotalFree.QuadPart = strtoull(szFake, NULL, 10) * 1024ULL;
    if (pcbFreeToCaller) *pcbFreeToCaller = uFree.QuadPart;
    if (pcbTotal) *pcbTotal = uTotal.QuadPart;
    if (pcbTotalFree) *pcbTotalFree = uTotalFree.QuadPart;
    return 1;
}

void PlatSleep(PLAT_DWORD dwMilliseconds) { Sleep(dwMilliseconds); }

PLAT_DWORD PlatGetTickCount(void) { return GetTickCount(); }

static void (*s_pfnExitHook)(PLAT_UINT);

void PlatSetExitHook(void (*pfnHook)(PLAT_UINT uExitCode)) { s_pfnExitHook = pfnHook; }

void PlatExitProcess(PLAT_UINT uExitCode)
{
    void (*pfnHook)(PLAT_UINT) = s_pfnExitHook;
    /* Once: a hook that ends up here again does not run twice. */
    s_pfnExitHook = NULL;
    if (pfnHook) pfnHook(uExitCode);
    fflush(NULL);
    ExitProcess(uExitCode);
}

/* ---- Memory ----------------------------------------------------------- */

PLAT_HGLOBAL PlatGlobalAlloc(PLAT_UINT uFlags, size_t cbBytes)
{
    HGLOBAL h;
    (void)uFlags; /* every block is zero-filled and movable, as on Linux */
    if (PlatFaultHit("GlobalAlloc")) return NULL;
    h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, cbBytes);
    if (!h) Win32FailWith(ERROR_NOT_ENOUGH_MEMORY);
    return h;
}

void* PlatGlobalLock(PLAT_HGLOBAL hMem)
{
    void* pv = hMem ? GlobalLock(hMem) : NULL;
    if (!pv) Win32FailWith(ERROR_INVALID_HANDLE);
    return pv;
}

PLAT_BOOL PlatGlobalUnlock(PLAT_HGLOBAL hMem) { return hMem ? GlobalUnlock(hMem) : 0; }

PLAT_HGLOBAL PlatGlobalFree(PLAT_HGLOBAL hMem) { return hMem ? GlobalFree(hMem) : NULL; }

size_t PlatGlobalSize(PLAT_HGLOBAL hMem) { return hMem ? GlobalSize(hMem) : 0; }

void* PlatHeapAlloc(size_t cbBytes)
{
    void* pv;
    if (PlatFaultHit("HeapAlloc")) return NULL;
    pv = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, cbBytes ? cbBytes : 1);
    if (!pv) Win32FailWith(ERROR_NOT_ENOUGH_MEMORY);
    return pv;
}

void PlatHeapFree(void* pv)
{
    if (pv) HeapFree(GetProcessHeap(), 0, pv);
}
