/*
 * system.cpp - the Windows backend: the registry (read only), profile files,
 * processes and version resources, each a thin wrapper of the Win32 call
 * it is named after.
 */
#include "platform/win32/win32.h"

#include <stdlib.h>
#include <string.h>

/* ---- Registry ---------------------------------------------------------- */

/* The platform's predefined key is 0x80000002 without sign extension. */
static HKEY RegKey(PLAT_HKEY hKey) { return hKey == PLAT_HKLM ? HKEY_LOCAL_MACHINE : (HKEY)hKey; }

static PLAT_LONG RegResult(LONG lResult)
{
    if (lResult != ERROR_SUCCESS) PlatSetLastError((DWORD)lResult);
    return (PLAT_LONG)lResult;
}

PLAT_LONG PlatRegOpenKeyEx(PLAT_HKEY hKey, const char* szSubKey, PLAT_DWORD dwOptions, PLAT_DWORD samDesired,
                           PLAT_HKEY* phResult)
{
    HKEY hOut = NULL;
    LONG l;
    if (PlatFaultHit("RegOpenKeyEx")) return (PLAT_LONG)PlatGetLastError();
    l = RegOpenKeyExA(RegKey(hKey), szSubKey, dwOptions, samDesired, &hOut);
    if (phResult) *phResult = l == ERROR_SUCCESS ? (PLAT_HKEY)hOut : NULL;
    return RegResult(l);
}

PLAT_LONG PlatRegQueryValueEx(PLAT_HKEY hKey, const char* szValueName, PLAT_DWORD* pdwType, PLAT_BYTE* pbData,
                              PLAT_DWORD* pcbData)
{
    DWORD dwType = 0, cbData = pcbData ? *pcbData : 0;
    LONG l;
    if (PlatFaultHit("RegQueryValueEx")) return (PLAT_LONG)PlatGetLastError();
    l = RegQueryValueExA(RegKey(hKey), szValueName, NULL, &dwType, pbData, pcbData ? &cbData : NULL);
    if (pdwType) *pdwType = dwType;
    if (pcbData) *pcbData = cbData;
    return RegResult(l);
}

PLAT_LONG PlatRegQueryInfoKey(PLAT_HKEY hKey, PLAT_DWORD* pcSubKeys, PLAT_DWORD* pcchMaxSubKeyLen,
                              PLAT_DWORD* pcValues, PLAT_DWORD* pcchMaxValueNameLen, PLAT_DWORD* pcbMaxValueLen)
{
    DWORD cSubKeys = 0, cchMaxSubKey = 0, cValues = 0, cchMaxValueName = 0, cbMaxValue = 0;
    LONG l;
    if (PlatFaultHit("RegQueryInfoKey")) return (PLAT_LONG)PlatGetLastError();
    l = RegQueryInfoKeyA(RegKey(hKey), NULL, NULL, NULL, &cSubKeys, &cchMaxSubKey, NULL, &cValues,
                         &cchMaxValueName, &cbMaxValue, NULL, NULL);
    if (pcSubKeys) *pcSubKeys = cSubKeys;
    if (pcchMaxSubKeyLen) *pcchMaxSubKeyLen = cchMaxSubKey;
    if (pcValues) *pcValues = cValues;
    if (pcchMaxValueNameLen) *pcchMaxValueNameLen = cchMaxValueName;
    if (pcbMaxValueLen) *pcbMaxValueLen = cbMaxValue;
    return RegResult(l);
}

PLAT_LONG PlatRegEnumKeyEx(PLAT_HKEY hKey, PLAT_DWORD dwIndex, char* szName, PLAT_DWORD* pcchName)
{
    DWORD cch = pcchName ? *pcchName : 0;
    LONG l;
    if (PlatFaultHit("RegEnumKeyEx")) return (PLAT_LONG)PlatGetLastError();
    l = RegEnumKeyExA(RegKey(hKey), dwIndex, szName, &cch, NULL, NULL, NULL, NULL);
    if (pcchName) *pcchName = cch;
    return RegResult(l);
}

PLAT_LONG PlatRegCloseKey(PLAT_HKEY hKey)
{
    if (!hKey || hKey == PLAT_HKLM) return ERROR_SUCCESS;
    return RegResult(RegCloseKey((HKEY)hKey));
}

/* ---- Profile files ------------------------------------------------------ */

PLAT_DWORD PlatGetPrivateProfileString(const char* szSection, const char* szKey, const char* szDefault,
                                       char* szBuf, PLAT_DWORD cchBuf, const char* szFile)
{
    DWORD dw;
    if (PlatFaultHit("GetPrivateProfileString")) {
        if (szBuf && cchBuf) szBuf[0] = 0;
        return 0;
    }
    SetLastError(0);
    dw = GetPrivateProfileStringA(szSection, szKey, szDefault, szBuf, cchBuf, szFile);
    PlatSetLastError(GetLastError());
    return dw;
}

PLAT_BOOL PlatWritePrivateProfileString(const char* szSection, const char* szKey, const char* szValue,
                                        const char* szFile)
{
    if (PlatFaultHit("WritePrivateProfileString")) return 0;
    if (!WritePrivateProfileStringA(szSection, szKey, szValue, szFile)) return Win32Fail();
    return 1;
}

PLAT_DWORD PlatGetPrivateProfileSection(const char* szSection, char* szBuf, PLAT_DWORD cchBuf, const char* szFile)
{
    DWORD dw;
    if (PlatFaultHit("GetPrivateProfileSection")) {
        if (szBuf && cchBuf >= 2) szBuf[0] = szBuf[1] = 0;
        return 0;
    }
    SetLastError(0);
    dw = GetPrivateProfileSectionA(szSection, szBuf, cchBuf, szFile);
    PlatSetLastError(GetLastError());
    return dw;
}

PLAT_BOOL PlatWritePrivateProfileSection(const char* szSection, const char* szEntries, const char* szFile)
{
    if (PlatFaultHit("WritePrivateProfileSection")) return 0;
    /* An empty list keeps (or creates) the section's header and the file, as
     * Windows documents it; Wine creates nothing for a missing section. */
    if (szSection && szEntries && !szEntries[0]) {
        static char szAll[32768];
        int bFound = 0;
        DWORD dwNames = GetPrivateProfileStringA(NULL, NULL, "", szAll, sizeof(szAll), szFile);
        for (const char* p = szAll; p < szAll + dwNames && *p; p += strlen(p) + 1) {
            if (_stricmp(p, szSection) == 0) bFound = 1;
        }
        if (!bFound) {
            /* A placeholder key makes the writer create the header, then it
             * goes again. */
            if (!WritePrivateProfileStringA(szSection, "HeronPlaceholder", "", szFile)) return Win32Fail();
            if (!WritePrivateProfileStringA(szSection, "HeronPlaceholder", NULL, szFile)) return Win32Fail();
            return 1;
        }
    }
    if (!WritePrivateProfileSectionA(szSection, szEntries, szFile)) return Win32Fail();
    return 1;
}

/* The writes go to the file one by one here. */
PLAT_BOOL PlatProfileDefer(const char* szFile)
{
    (void)szFile;
    return 0;
}

PLAT_BOOL PlatProfileFlush(PLAT_BOOL bStore)
{
    (void)bStore;
    return 1;
}

/* ---- Processes ---------------------------------------------------------- */

PLAT_BOOL PlatCreateProcess(const char* szCommandLine, const char* szCurrentDir, int bNewConsole,
                            int bInheritableHandle, PLAT_PROCESS* pProcess)
{
    STARTUPINFOA si;
    PROCESS_INFORMATION pi;
    SECURITY_ATTRIBUTES sa;
    SECURITY_DESCRIPTOR sd;
    char szLine[32768];
    if (pProcess) memset(pProcess, 0, sizeof(*pProcess));
    if (PlatFaultHit("CreateProcess")) return 0;
    if (!szCommandLine || !PosixCopy(szLine, sizeof(szLine), szCommandLine)) return Win32FailWith(ERROR_INVALID_PARAMETER);
    memset(&si, 0, sizeof(si));
    si.cb = sizeof(si);
    memset(&pi, 0, sizeof(pi));
    if (bInheritableHandle) {
        /* A null access list: anyone may use the handle. */
        InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
        SetSecurityDescriptorDacl(&sd, TRUE, NULL, FALSE);
        sa.nLength = sizeof(sa);
        sa.lpSecurityDescriptor = &sd;
        sa.bInheritHandle = TRUE;
    }
    if (!CreateProcessA(NULL, szLine, bInheritableHandle ? &sa : NULL, NULL, FALSE,
                        bNewConsole ? CREATE_NEW_CONSOLE : 0, NULL, szCurrentDir, &si, &pi))
        return Win32Fail();
    if (pProcess) {
        pProcess->hProcess = pi.hProcess;
        pProcess->hThread = pi.hThread;
        pProcess->dwProcessId = pi.dwProcessId;
    } else {
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    return 1;
}

PLAT_DWORD PlatWaitForSingleObject(PLAT_HANDLE hProcess, PLAT_DWORD dwMilliseconds)
{
    DWORD dw;
    if (!hProcess) {
        Win32FailWith(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    dw = WaitForSingleObject((HANDLE)hProcess, dwMilliseconds);
    if (dw == WAIT_FAILED) Win32Fail();
    return dw;
}

PLAT_BOOL PlatGetExitCodeProcess(PLAT_HANDLE hProcess, PLAT_DWORD* pdwExitCode)
{
    DWORD dw = 0;
    if (!hProcess || !GetExitCodeProcess((HANDLE)hProcess, &dw)) return Win32Fail();
    if (pdwExitCode) *pdwExitCode = dw;
    return 1;
}

PLAT_BOOL PlatCloseHandle(PLAT_HANDLE h)
{
    if (!h || !CloseHandle((HANDLE)h)) return Win32Fail();
    return 1;
}

/* ---- Version resources --------------------------------------------------- */

PLAT_DWORD PlatGetFileVersionInfoSize(const char* szPath, PLAT_DWORD* pdwHandle)
{
    DWORD dwHandle = 0, dw;
    if (pdwHandle) *pdwHandle = 0;
    if (PlatFaultHit("GetFileVersionInfoSize")) return 0;
    dw = GetFileVersionInfoSizeA(szPath, &dwHandle);
    if (dw == 0) Win32Fail();
    return dw;
}

PLAT_BOOL PlatGetFileVersionInfo(const char* szPath, PLAT_DWORD dwHandle, PLAT_DWORD cbData, void* pvData)
{
    if (PlatFaultHit("GetFileVersionInfo")) return 0;
    if (!pvData) return Win32FailWith(ERROR_INVALID_PARAMETER);
    if (!GetFileVersionInfoA(szPath, dwHandle, cbData, pvData)) return Win32Fail();
    return 1;
}

PLAT_BOOL PlatVerQueryValue(void* pvBlock, const char* szSubBlock, void** ppvBuffer, PLAT_UINT* puLen)
{
    UINT uLen = 0;
    void* pv = NULL;
    if (ppvBuffer) *ppvBuffer = NULL;
    if (puLen) *puLen = 0;
    if (!pvBlock || !szSubBlock || !ppvBuffer || !puLen) return 0;
    if (!VerQueryValueA(pvBlock, szSubBlock, &pv, &uLen) || uLen == 0) return 0;
    *ppvBuffer = pv;
    *puLen = uLen;
    return 1;
}

PLAT_WORD PlatGetUserDefaultLangID(void)
{
    /* HERON_LANGID, as on Linux, lets a test pin the language. */
    char szLang[16];
    DWORD cch = GetEnvironmentVariableA("HERON_LANGID", szLang, sizeof(szLang));
    if (cch > 0 && cch < sizeof(szLang)) {
        char* pEnd;
        unsigned long ul = strtoul(szLang, &pEnd, 16);
        if (*pEnd == 0 && ul > 0 && ul <= 0xFFFF) return (PLAT_WORD)ul;
    }
    return GetUserDefaultLangID();
}
