/*
 * resources.cpp - the package store of the Windows build: real resources of
 * the executable (FindResourceA, SizeofResource, LoadResource,
 * LockResource), of language 1033 first, and its string table (LoadStringA).
 * PlatSetModuleOverride loads another package file as a data file instead.
 */
#include "platform/win32/win32.h"

static HMODULE s_hOverride;

HMODULE Win32PackageModule(void) { return s_hOverride ? s_hOverride : GetModuleHandleA(NULL); }

void PlatSetModuleOverride(const char* szHostPath)
{
    if (s_hOverride) FreeLibrary(s_hOverride);
    s_hOverride = NULL;
    if (szHostPath && *szHostPath)
        s_hOverride = LoadLibraryExA(szHostPath, NULL, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
}

const PLAT_BYTE* PlatFindResource(const char* szType, PLAT_DWORD dwId, PLAT_DWORD* pcbSize)
{
    HMODULE hModule = Win32PackageModule();
    HRSRC hRes;
    HGLOBAL hData;
    if (pcbSize) *pcbSize = 0;
    if (PlatFaultHit("FindResource")) return NULL;
    hRes = FindResourceExA(hModule, szType, MAKEINTRESOURCEA(dwId), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    if (!hRes) hRes = FindResourceA(hModule, MAKEINTRESOURCEA(dwId), szType);
    if (!hRes) {
        Win32Fail();
        return NULL;
    }
    hData = LoadResource(hModule, hRes);
    if (!hData) {
        Win32Fail();
        return NULL;
    }
    if (pcbSize) *pcbSize = SizeofResource(hModule, hRes);
    return (const PLAT_BYTE*)LockResource(hData);
}

int PlatLoadString(PLAT_DWORD dwId, char* szBuf, int cchBuf)
{
    if (!szBuf || cchBuf <= 0) return 0;
    szBuf[0] = 0;
    return LoadStringA(Win32PackageModule(), dwId, szBuf, cchBuf);
}
