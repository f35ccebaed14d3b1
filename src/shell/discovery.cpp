/*
 * discovery.cpp - where the product lives.
 *
 * Sources, in order of preference:
 *   program directory  HKLM "Software\Vireo\Garnet\" value "Path"
 *                      -> the directory of "QSERVER.EXE" on the search path
 *                      -> HKLM "Software\Vireo\Parlance Mux\" value "Path"
 *                      -> "C:\VIREO\GARNET" (result 0)
 *   data directories   every subkey of the product key but "5.0": "DataPath"
 *                      -> QSD package: the program directory, uncounted
 *                      -> QUILL.INI [Quill] Directory (on the search path,
 *                         else in the Windows directory), default "NULL"
 *   system directory   the platform's GetSystemDirectoryA
 *
 * All keys are opened with KEY_READ | KEY_WOW64_64KEY; a key or value that
 * cannot be read counts as missing. Values are read as bytes whatever their
 * type and end with a NUL put after the bytes read, so a value without one
 * (or a REG_DWORD) never runs into older buffer contents.
 */
#include "shell/discovery.h"

#include "platform/process.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "shell/text.h"
#include "shell/utils.h"

#include <string.h>

#define DISC_DIR_BUFFER 261
#define DISC_ENTRY_BUFFER 521
#define DISC_REG_ACCESS (KEY_READ | KEY_WOW64_64KEY)

/* ---- Small helpers --------------------------------------------------------- */

static void DiscUpper(char* sz)
{
    for (; *sz; sz++)
        if (*sz >= 'a' && *sz <= 'z') *sz = (char)(*sz - 'a' + 'A');
}

static void DiscDropBackslash(char* sz)
{
    size_t cch = strlen(sz);
    if (cch && sz[cch - 1] == '\\') sz[cch - 1] = 0;
}

static int DiscProgramDirSet(void) { return gpProgramDir && gpProgramDir[0]; }

/* "%s\\%s" into szOut; 0 (empty text) when it would be cut. bMerge leaves
 * out the backslash when the directory already ends with one (search path
 * entries such as "C:\TOOLS\"). */
static int DiscJoin(char* szOut, size_t cbOut, const char* szDir, const char* szName, int bMerge)
{
    size_t cchDir = strlen(szDir);
    int bSlash = !bMerge || cchDir == 0 || szDir[cchDir - 1] != '\\';
    if (cchDir + (bSlash ? 1 : 0) + strlen(szName) + 1 > cbOut) {
        if (cbOut) szOut[0] = 0;
        return 0;
    }
    TextCopy(szOut, cbOut, szDir);
    if (bSlash) TextAppend(szOut, cbOut, "\\");
    TextAppend(szOut, cbOut, szName);
    return 1;
}

/*
 * Reads a value as bytes into pbBuf (cbBuf bytes, one kept for the NUL) and
 * ends it with a NUL after the bytes read. 1 on success; on failure the
 * buffer is left as it was.
 */
static int DiscReadValue(HKEY hKey, const char* szValue, char* pbBuf, DWORD cbBuf)
{
    DWORD cbData = cbBuf - 1;
    if (PlatRegQueryValueEx(hKey, szValue, NULL, (BYTE*)pbBuf, &cbData) != ERROR_SUCCESS) return 0;
    pbBuf[cbData < cbBuf ? cbData : cbBuf - 1] = 0;
    return 1;
}

/* The same, with the registry's result: ERROR_SUCCESS, ERROR_FILE_NOT_FOUND
 * for a value that is not there, or the error of a read that failed. */
static LONG DiscReadValueResult(HKEY hKey, const char* szValue, char* pbBuf, DWORD cbBuf)
{
    DWORD cbData = cbBuf - 1;
    LONG lResult = PlatRegQueryValueEx(hKey, szValue, NULL, (BYTE*)pbBuf, &cbData);
    if (lResult == ERROR_SUCCESS) pbBuf[cbData < cbBuf ? cbData : cbBuf - 1] = 0;
    return lResult;
}

/* ---- The search path ---------------------------------------------------------- */

/* szDir\szName when it is a regular file. */
static int DiscTryDir(const char* szDir, const char* szName, char* szOut, size_t cbOut)
{
    char szPath[MAX_PATH];
    DWORD dwAttr;
    if (!DiscJoin(szPath, sizeof(szPath), szDir, szName, 1)) return 0;
    dwAttr = PlatGetFileAttributes(szPath);
    if (dwAttr == INVALID_FILE_ATTRIBUTES || (dwAttr & FILE_ATTRIBUTE_DIRECTORY)) return 0;
    return TextCopy(szOut, cbOut, szPath);
}

int SearchPathFile(const char* szName, char* szOut, size_t cbOut)
{
    char szCwd[MAX_PATH];
    char szEntry[1024];
    char szDir[1024];
    char* szPathVar;
    DWORD cchPath;
    size_t iPos = 0;
    int bFound = 0;

    if (!szOut || cbOut == 0) return 0;
    szOut[0] = 0;
    if (!szName || !*szName) return 0;

    cchPath = PlatGetCurrentDirectory(sizeof(szCwd), szCwd);
    if (cchPath == 0 || cchPath >= sizeof(szCwd)) szCwd[0] = 0;
    if (szCwd[0] && DiscTryDir(szCwd, szName, szOut, cbOut)) return 1;

    cchPath = PlatGetEnvironmentVariable("PATH", NULL, 0);
    if (cchPath == 0) return 0;
    szPathVar = (char*)PlatHeapAlloc(cchPath + 1);
    if (!szPathVar) return 0;
    if (PlatGetEnvironmentVariable("PATH", szPathVar, cchPath + 1) <= cchPath) {
        while (!bFound && PlatNextSearchDir(szPathVar, &iPos, szEntry, sizeof(szEntry))) {
            if (szEntry[0] == '/') {
                if (!PlatWindowsPath(szEntry, szDir, sizeof(szDir))) continue;
            } else if (szEntry[0] == '\\' || (szEntry[0] && szEntry[1] == ':')) {
                if (!TextCopy(szDir, sizeof(szDir), szEntry)) continue; /* never a cut directory */
            } else {
                if (!szCwd[0] || !DiscJoin(szDir, sizeof(szDir), szCwd, szEntry, 1)) continue;
            }
            bFound = DiscTryDir(szDir, szName, szOut, cbOut);
        }
    }
    PlatHeapFree(szPathVar);
    if (!bFound) szOut[0] = 0;
    return bFound;
}

/* ---- Program directory -------------------------------------------------------- */

int FindProgramDir(void)
{
    HKEY hKey;
    char szFound[MAX_PATH];

    if (!gpProgramDir) gpProgramDir = (char*)PlatHeapAlloc(DISC_DIR_BUFFER);
    if (!gpProgramDir) return 0;

    if (PlatRegOpenKeyEx(HKEY_LOCAL_MACHINE, DISCOVERY_PRODUCT_KEY, 0, DISC_REG_ACCESS, &hKey) == ERROR_SUCCESS) {
        int bRead = DiscReadValue(hKey, "Path", gpProgramDir, DISC_DIR_BUFFER);
        PlatRegCloseKey(hKey);
        if (bRead) {
            DiscUpper(gpProgramDir);
            DiscDropBackslash(gpProgramDir);
            return 1;
        }
    }

    if (SearchPathFile("QSERVER.EXE", szFound, sizeof(szFound))) {
        size_t cch = strlen(szFound);
        /* The backslash and "QSERVER.EXE". */
        szFound[cch >= 12 ? cch - 12 : 0] = 0;
        TextCopy(gpProgramDir, DISC_DIR_BUFFER, szFound);
        DiscUpper(gpProgramDir);
        DiscDropBackslash(gpProgramDir);
        return 1;
    }

    if (PlatRegOpenKeyEx(HKEY_LOCAL_MACHINE, DISCOVERY_PARLANCE_KEY, 0, DISC_REG_ACCESS, &hKey) != ERROR_SUCCESS) {
        LogLine("NOT found Parlance Key", 0);
    } else {
        LogLine("Found Parlance Key", 0);
        if (DiscReadValue(hKey, "Path", gpProgramDir, DISC_DIR_BUFFER)) {
            LogLine("Found string Path in Parlance Key", 0);
            DiscUpper(gpProgramDir);
            PlatRegCloseKey(hKey);
            DiscDropBackslash(gpProgramDir);
            return 1;
        }
        LogLine("NOT found string BasePath in Parlance Key", 0);
        PlatRegCloseKey(hKey);
    }

    TextCopy(gpProgramDir, DISC_DIR_BUFFER, DISCOVERY_DEFAULT_PROGRAM_DIR);
    return 0;
}

/* ---- Data directories ----------------------------------------------------------- */

/*
 * Reads "DataPath" of every subkey (but "5.0") of the open product key into
 * a new list of cSubKeys slots. The read buffer is as long as the longest
 * value of the product key or of the subkey, whichever is longer, plus one:
 * sizing it by the product key alone would drop every data path longer than
 * that key's own values. Returns the list (NULL when it cannot be made) and
 * the number of entries in *pcFound. A subkey without "DataPath" is no data
 * directory; a read that fails is no answer, and *plError receives its
 * error (a run with one data directory fewer would leave it at the old
 * level while reporting success).
 */
static char** DiscReadDataPaths(HKEY hKey, DWORD cSubKeys, DWORD cchMaxSubKey, DWORD cbMaxValue, int* pcFound,
                                LONG* plError)
{
    char** ppList = (char**)PlatHeapAlloc((cSubKeys ? cSubKeys : 1) * sizeof(char*));
    char* szName = (char*)PlatHeapAlloc(cchMaxSubKey + 1);
    DWORD dwIndex;
    int cFound = 0;

    *pcFound = 0;
    *plError = ERROR_SUCCESS;
    if (!ppList || !szName) {
        PlatHeapFree(ppList);
        PlatHeapFree(szName);
        *plError = ERROR_NOT_ENOUGH_MEMORY;
        return NULL;
    }
    for (dwIndex = 0;; dwIndex++) {
        DWORD cchName = cchMaxSubKey + 1;
        DWORD cbSubMax = 0;
        DWORD cbBuf;
        HKEY hSub;
        char* pbValue;
        LONG lResult = PlatRegEnumKeyEx(hKey, dwIndex, szName, &cchName);
        if (lResult != ERROR_SUCCESS) {
            if (lResult != ERROR_NO_MORE_ITEMS) *plError = lResult;
            break;
        }
        if (strcmp(szName, "5.0") == 0) continue;
        lResult = PlatRegOpenKeyEx(hKey, szName, 0, DISC_REG_ACCESS, &hSub);
        if (lResult != ERROR_SUCCESS) {
            *plError = lResult;
            break;
        }
        lResult = PlatRegQueryInfoKey(hSub, NULL, NULL, NULL, NULL, &cbSubMax);
        cbBuf = (cbSubMax > cbMaxValue ? cbSubMax : cbMaxValue) + 1;
        pbValue = lResult == ERROR_SUCCESS ? (char*)PlatHeapAlloc(cbBuf < DISC_ENTRY_BUFFER ? DISC_ENTRY_BUFFER : cbBuf)
                                           : NULL;
        if (lResult == ERROR_SUCCESS && !pbValue) lResult = ERROR_NOT_ENOUGH_MEMORY;
        if (pbValue && (DWORD)cFound < cSubKeys) lResult = DiscReadValueResult(hSub, "DataPath", pbValue, cbBuf);
        if (pbValue && lResult == ERROR_SUCCESS && (DWORD)cFound < cSubKeys) {
            DiscUpper(pbValue);
            ppList[cFound++] = pbValue;
        } else {
            PlatHeapFree(pbValue);
        }
        PlatRegCloseKey(hSub);
        if (lResult != ERROR_SUCCESS && lResult != ERROR_FILE_NOT_FOUND) {
            *plError = lResult;
            break;
        }
    }
    PlatHeapFree(szName);
    *pcFound = cFound;
    return ppList;
}

int FindDataDirs(void)
{
    HKEY hKey;
    char** ppList = NULL;
    int cFound = 0;
    int bFound = 0;
    int i;
    LONG lResult = PlatRegOpenKeyEx(HKEY_LOCAL_MACHINE, DISCOVERY_PRODUCT_KEY, 0, DISC_REG_ACCESS, &hKey);

    if (lResult == ERROR_SUCCESS) {
        DWORD cSubKeys = 0, cchMaxSubKey = 0, cbMaxValue = 0;
        lResult = PlatRegQueryInfoKey(hKey, &cSubKeys, &cchMaxSubKey, NULL, NULL, &cbMaxValue);
        if (lResult == ERROR_SUCCESS) {
            BYTE* pbValid = (BYTE*)PlatHeapAlloc(cSubKeys);
            if (pbValid) gpDataDirValid = pbValid;
            ppList = DiscReadDataPaths(hKey, cSubKeys, cchMaxSubKey, cbMaxValue, &cFound, &lResult);
            bFound = cFound > 0;
        }
        PlatRegCloseKey(hKey);
    }
    /* A registry that could not be read is no answer: the run must not go
     * on with fewer data directories than the installation has. */
    if (lResult != ERROR_SUCCESS && lResult != ERROR_FILE_NOT_FOUND) {
        char** ppOne = (char**)PlatHeapAlloc(sizeof(char*));
        char* szEntry = (char*)PlatHeapAlloc(DISC_ENTRY_BUFFER);
        LogFormat(0, "Reading the data directories from the registry failed: %d", (int)lResult);
        if (ppList)
            for (i = 0; i < cFound; i++) PlatHeapFree(ppList[i]);
        PlatHeapFree(ppList);
        if (!ppOne || !szEntry) {
            PlatHeapFree(ppOne);
            PlatHeapFree(szEntry);
            return 0;
        }
        /* As when no data directory is known. */
        TextCopy(szEntry, DISC_ENTRY_BUFFER, "NULL");
        ppOne[0] = szEntry;
        gpQuillData = ppOne;
        giPartitions = 1;
        return 0;
    }

    if (!bFound) {
        char* szEntry;
        char** ppOne = (char**)PlatHeapAlloc(sizeof(char*));
        szEntry = (char*)PlatHeapAlloc(DISC_ENTRY_BUFFER);
        PlatHeapFree(ppList); /* no entries in it */
        ppList = NULL;
        if (!ppOne || !szEntry) {
            PlatHeapFree(ppOne);
            PlatHeapFree(szEntry);
            return 0;
        }
        ppOne[0] = szEntry;
        ppList = ppOne;

        if (strcmp(StringText(42), "QSD") == 0) {
            TextCopy(szEntry, DISC_ENTRY_BUFFER, gpProgramDir);
            gpQuillData = ppList;
            giPartitions = 0;
            return 1;
        }

        {
            char szIni[MAX_PATH];
            LogLine(StringText(42), 0);
            if (!SearchPathFile("QUILL.INI", szIni, sizeof(szIni))) {
                char szWindows[MAX_PATH];
                UINT cch = PlatGetWindowsDirectory(szWindows, sizeof(szWindows));
                if (cch == 0 || cch >= sizeof(szWindows)) szWindows[0] = 0;
                /* A path that does not fit is no file ("", read as missing), never a cut name. */
                DiscJoin(szIni, sizeof(szIni), szWindows, "QUILL.INI", 0);
            }
            PlatGetPrivateProfileString("Quill", "Directory", "NULL", szEntry, MAX_PATH, szIni);
            DiscUpper(szEntry);
            cFound = 1;
            bFound = 1;
        }
    }

    for (i = 0; i < cFound; i++)
        if (ppList[i][0]) DiscDropBackslash(ppList[i]);
    if (strcmp(ppList[0], "NULL") == 0) {
        cFound = 1;
        bFound = 0;
    }
    gpQuillData = ppList;
    giPartitions = cFound;
    return bFound;
}

/* ---- System directory and presence tests ------------------------------------------ */

int FindSystemDir(void)
{
    UINT cch;
    if (!gpSystemDir) gpSystemDir = (char*)PlatHeapAlloc(DISC_DIR_BUFFER);
    if (!gpSystemDir) return 0;
    cch = PlatGetSystemDirectory(gpSystemDir, DISC_DIR_BUFFER - 1);
    if (cch == 0 || cch >= DISC_DIR_BUFFER - 1) {
        gpSystemDir[0] = 0;
        return 0;
    }
    return 1;
}

int KeyFilePath(char* szOut, size_t cbOut)
{
    if (!szOut || cbOut == 0) return 0;
    szOut[0] = 0;
    if (!DiscProgramDirSet()) return 0;
    return DiscJoin(szOut, cbOut, gpProgramDir, StringText(1), 0);
}

int KeyFileExists(void)
{
    char szPath[MAX_PATH];
    if (strcmp(StringText(42), "Custom Fix") == 0) return 1;
    if (!DiscProgramDirSet()) return 1;
    if (!KeyFilePath(szPath, sizeof(szPath))) {
        /* Too long to name a file: log what it would be, and fail. */
        LogFormat(0, "%s\\%s", gpProgramDir, StringText(1));
    } else {
        LogLine(szPath, 0);
        if (FileExists(szPath)) return 1;
    }
    LogLine("Checksum file above doesn't exist", 0);
    return 0;
}

int PatchIniExists(void)
{
    char szPath[MAX_PATH];
    if (!DiscProgramDirSet()) return 1;
    if (!DiscJoin(szPath, sizeof(szPath), gpProgramDir, "PATCH.INI", 0)) return 0;
    return FileExists(szPath);
}
