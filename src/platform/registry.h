/*
 * registry.h - the registry, read only (RegOpenKeyExA and friends).
 *
 * On Linux the registry is the file $HERON_ROOT/registry.reg in the registry
 * editor's export format; a missing file is an empty registry. Key paths
 * match without regard to case, a trailing backslash allowed. Results are
 * Win32 codes: ERROR_SUCCESS (0), ERROR_FILE_NOT_FOUND (2), ERROR_MORE_DATA
 * (234), ERROR_NO_MORE_ITEMS (259).
 */
#ifndef HERON_PLATFORM_REGISTRY_H
#define HERON_PLATFORM_REGISTRY_H

#include "platform/platform.h"

#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)
#define KEY_READ 0x20019
#define KEY_WOW64_64KEY 0x0100
#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7

LONG PlatRegOpenKeyEx(HKEY hKey, const char* szSubKey, DWORD dwOptions, DWORD samDesired, HKEY* phResult);
/* Value data for REG_SZ includes the terminating NUL in *pcbData. A NULL
 * szValueName or "" reads the default value. ERROR_MORE_DATA when cbData is too small. */
LONG PlatRegQueryValueEx(HKEY hKey, const char* szValueName, DWORD* pdwType, BYTE* pbData, DWORD* pcbData);
/* Counts and longest lengths (in characters without NUL; the longest value
 * data in bytes, NUL included for strings). Any pointer may be NULL. */
LONG PlatRegQueryInfoKey(HKEY hKey, DWORD* pcSubKeys, DWORD* pcchMaxSubKeyLen, DWORD* pcValues,
                         DWORD* pcchMaxValueNameLen, DWORD* pcbMaxValueLen);
/* The name of subkey dwIndex (in the order the file lists them);
 * *pcchName in: buffer size; out: the length copied. */
LONG PlatRegEnumKeyEx(HKEY hKey, DWORD dwIndex, char* szName, DWORD* pcchName);
LONG PlatRegCloseKey(HKEY hKey);

#endif
