/*
 * windows.h for the Win32 probes built on Linux against the emulation: the
 * few Win32 names the profile probe uses, answered by the platform layer of
 * the Linux build (shim.cpp), and fopen() of Windows paths translated
 * through the emulated machine. Used only by tests/wine/profile_conformance.sh.
 */
#ifndef HERON_PROBE_SHIM_WINDOWS_H
#define HERON_PROBE_SHIM_WINDOWS_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

typedef uint32_t DWORD;
typedef int BOOL;
typedef void* HANDLE;
#define MAX_PATH 260
#define WINAPI
#define TRUE 1
#define FALSE 0
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define INVALID_FILE_ATTRIBUTES ((DWORD)0xFFFFFFFF)
#define FILE_ATTRIBUTE_READONLY 0x01
#define FILE_ATTRIBUTE_DIRECTORY 0x10
#define FILE_ATTRIBUTE_NORMAL 0x80

typedef struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    char cFileName[MAX_PATH];
} WIN32_FIND_DATAA;

#ifdef __cplusplus
extern "C" {
#endif
DWORD GetLastError(void);
void SetLastError(DWORD dwError);
DWORD GetPrivateProfileStringA(const char* szSection, const char* szKey, const char* szDefault, char* szBuf,
                               DWORD cchBuf, const char* szFile);
BOOL WritePrivateProfileStringA(const char* szSection, const char* szKey, const char* szValue, const char* szFile);
DWORD GetPrivateProfileSectionA(const char* szSection, char* szBuf, DWORD cchBuf, const char* szFile);
BOOL WritePrivateProfileSectionA(const char* szSection, const char* szEntries, const char* szFile);
BOOL SetFileAttributesA(const char* szPath, DWORD dwAttributes);
DWORD GetFileAttributesA(const char* szPath);
BOOL DeleteFileA(const char* szPath);
BOOL CreateDirectoryA(const char* szPath, void* pSecurity);
BOOL RemoveDirectoryA(const char* szPath);
HANDLE FindFirstFileA(const char* szPattern, WIN32_FIND_DATAA* pData);
BOOL FindNextFileA(HANDLE hFind, WIN32_FIND_DATAA* pData);
BOOL FindClose(HANDLE hFind);
FILE* ShimFopen(const char* szPath, const char* szMode);
#ifdef __cplusplus
}
#endif

#define fopen ShimFopen

#endif
