/*
 * shim.cpp - the Win32 calls of the profile probe on the Linux emulation
 * (windows.h beside this file): each one the platform layer's operation of
 * the same name.
 */
#include "platform/platform.h"
#include "platform/profile.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef struct SHIM_FIND_DATA {
    DWORD dwFileAttributes;
    char cFileName[MAX_PATH];
} SHIM_FIND_DATA;

extern "C" {

DWORD GetLastError(void) { return PlatGetLastError(); }
void SetLastError(DWORD dwError) { PlatSetLastError(dwError); }

DWORD GetPrivateProfileStringA(const char* szSection, const char* szKey, const char* szDefault, char* szBuf,
                               DWORD cchBuf, const char* szFile)
{
    return PlatGetPrivateProfileString(szSection, szKey, szDefault, szBuf, cchBuf, szFile);
}

BOOL WritePrivateProfileStringA(const char* szSection, const char* szKey, const char* szValue, const char* szFile)
{
    return PlatWritePrivateProfileString(szSection, szKey, szValue, szFile);
}

DWORD GetPrivateProfileSectionA(const char* szSection, char* szBuf, DWORD cchBuf, const char* szFile)
{
    return PlatGetPrivateProfileSection(szSection, szBuf, cchBuf, szFile);
}

BOOL WritePrivateProfileSectionA(const char* szSection, const char* szEntries, const char* szFile)
{
    return PlatWritePrivateProfileSection(szSection, szEntries, szFile);
}

BOOL SetFileAttributesA(const char* szPath, DWORD dwAttributes) { return PlatSetFileAttributes(szPath, dwAttributes); }
DWORD GetFileAttributesA(const char* szPath) { return PlatGetFileAttributes(szPath); }
BOOL DeleteFileA(const char* szPath) { return PlatDeleteFile(szPath); }
BOOL CreateDirectoryA(const char* szPath, void* pSecurity)
{
    (void)pSecurity;
    return PlatCreateDirectory(szPath);
}
BOOL RemoveDirectoryA(const char* szPath) { return PlatRemoveDirectory(szPath); }

HANDLE FindFirstFileA(const char* szPattern, SHIM_FIND_DATA* pData)
{
    PLAT_FIND_DATA fd;
    HANDLE h = PlatFindFirstFile(szPattern, &fd);
    if (!h) return (HANDLE)(intptr_t)-1;
    pData->dwFileAttributes = fd.dwFileAttributes;
    memcpy(pData->cFileName, fd.cFileName, sizeof(pData->cFileName));
    return h;
}

BOOL FindNextFileA(HANDLE hFind, SHIM_FIND_DATA* pData)
{
    PLAT_FIND_DATA fd;
    if (!PlatFindNextFile(hFind, &fd)) return 0;
    pData->dwFileAttributes = fd.dwFileAttributes;
    memcpy(pData->cFileName, fd.cFileName, sizeof(pData->cFileName));
    return 1;
}

BOOL FindClose(HANDLE hFind) { return PlatFindClose(hFind); }

FILE* ShimFopen(const char* szPath, const char* szMode)
{
    char szHost[4096];
    if (!PlatHostPath(szPath, szHost, sizeof(szHost))) return NULL;
    return fopen(szHost, szMode);
}
}
