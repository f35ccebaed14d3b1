/*
 * utils.cpp - file and path utilities shared by the whole installer.
 */
#include "shell/utils.h"

#include "package/explode/crc32.h"
#include "shell/log.h"
#include "shell/text.h"

#include <string.h>

#define UTILS_BUFFER 65536 /* large reads: files are read whole for their CRC-32 and copies */

/* A file that is there but cannot be opened now (held by another program,
 * access denied) still exists: taking it for missing would let a caller
 * create or overwrite it (a configuration file, a backup). Directories are
 * not files. The open's error stays the last error. */
int FileExists(const char* szPath)
{
    PLATFILE* pf;
    DWORD dwError, dwAttributes;
    if (!szPath || !*szPath) return 0;
    pf = PlatFopen(szPath, "rb");
    if (pf) {
        PlatFclose(pf);
        return 1;
    }
    dwError = PlatGetLastError();
    if (dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND) return 0;
    dwAttributes = PlatGetFileAttributes(szPath);
    PlatSetLastError(dwError);
    return dwAttributes != INVALID_FILE_ATTRIBUTES && !(dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

int DirectoryExists(const char* szPath)
{
    char szSaved[260];
    char* szLong = NULL;
    const char* szRestore = szSaved;
    DWORD cch;
    int bResult;
    if (!szPath || !*szPath) return 0;
    cch = PlatGetCurrentDirectory(sizeof(szSaved), szSaved);
    if (cch >= sizeof(szSaved)) {
        /* A current directory longer than a path buffer is restored too. */
        szLong = (char*)PlatHeapAlloc((size_t)cch + 1);
        if (!szLong || PlatGetCurrentDirectory(cch + 1, szLong) > cch) return 0;
        szRestore = szLong;
    } else if (cch == 0) {
        /* Without the current directory to go back to, the test must not
         * leave it: the attributes answer (later relative names would
         * otherwise point into szPath). */
        DWORD dwAttributes = PlatGetFileAttributes(szPath);
        return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
    }
    bResult = PlatSetCurrentDirectory(szPath) ? 1 : 0;
    /* A failed return is tried once more: the run goes on with relative
     * names. */
    if (bResult && !PlatSetCurrentDirectory(szRestore)) PlatSetCurrentDirectory(szRestore);
    PlatHeapFree(szLong);
    return bResult;
}

DWORD FileSizeOf(const char* szPath)
{
    unsigned long long cb = 0;
    DWORD dwAttr;
    if (!szPath || !PlatGetFileSize(szPath, &cb)) return 0;
    /* A directory has no size of its own. */
    dwAttr = PlatGetFileAttributes(szPath);
    if (dwAttr != INVALID_FILE_ATTRIBUTES && (dwAttr & FILE_ATTRIBUTE_DIRECTORY)) return 0;
    return (DWORD)cb;
}

DWORD StreamSize(PLATFILE* pf)
{
    long long llSize;
    if (!pf) return 0;
    PlatFseek(pf, 0, 2);
    llSize = PlatFtell(pf);
    PlatFseek(pf, 0, 0);
    return llSize > 0 ? (DWORD)llSize : 0;
}

DWORD FileCrc32(PLATFILE* pf)
{
    BYTE* pbBuffer;
    DWORD dwCrc = 0xFFFFFFFFu;
    size_t cbRead;
    if (!pf) return 0;
    PlatFseek(pf, 0, 0);
    pbBuffer = (BYTE*)PlatHeapAlloc(UTILS_BUFFER);
    if (!pbBuffer) {
        LogFormat(0, "Failed to alloc memory on line %d in %s", 2368, "utils");
        return 0;
    }
    while (!PlatFeof(pf)) {
        cbRead = PlatFread(pbBuffer, 1, UTILS_BUFFER, pf);
        if (cbRead == 0) break;
        dwCrc = UpdateCrc32(pbBuffer, (unsigned int)cbRead, dwCrc);
    }
    PlatHeapFree(pbBuffer);
    PlatFseek(pf, 0, 0);
    return ~dwCrc;
}

int CopyFileContents(const char* szSource, const char* szDest)
{
    PLATFILE* pfIn;
    PLATFILE* pfOut;
    BYTE* pbBuffer;
    size_t cbRead;
    int bResult = 1;

    pfIn = PlatFopen(szSource, "rb");
    if (!pfIn) {
        LogFormat(1, "Can't open old backup file %s for reading", szSource);
        return 0;
    }
    pfOut = PlatFopen(szDest, "wb");
    if (!pfOut) {
        LogFormat(1, "Can't open new backup file %s for writing", szDest);
        PlatFclose(pfIn);
        return 0;
    }
    pbBuffer = (BYTE*)PlatHeapAlloc(UTILS_BUFFER);
    if (!pbBuffer) {
        LogFormat(0, "Failed to alloc memory on line %d in %s", 1979, "utils");
        /* Mended: the streams are closed too, not left open for the run. */
        PlatFclose(pfIn);
        PlatFclose(pfOut);
        return 0;
    }
    for (;;) {
        cbRead = PlatFread(pbBuffer, 1, UTILS_BUFFER, pfIn);
        if (cbRead == 0) break;
        if (PlatFwrite(pbBuffer, 1, cbRead, pfOut) != cbRead) {
            bResult = 0;
            break;
        }
    }
    if (PlatFerror(pfIn)) bResult = 0;
    PlatHeapFree(pbBuffer);
    PlatFclose(pfIn);
    /* A copy cut by a full disk is no copy. */
    if (PlatFclose(pfOut) != 0) bResult = 0;
    if (!bResult) LogFormat(1, "Can't write new backup file %s", szDest);
    return bResult;
}

int CreatePath(const char* szPath)
{
    char szWork[260];
    size_t i;
    int bResult = 1;
    if (!szPath) return 0;
    TextCopy(szWork, sizeof(szWork), szPath);
    for (i = 0; szWork[i]; i++) {
        char ch = szWork[i];
        if (ch == ':' && (szWork[i + 1] == '\\' || szWork[i + 1] == '/')) {
            /* A drive root is never created. */
            i++;
            continue;
        }
        if (ch == '\\' || ch == '/' || ch == ':') {
            if (i == 0) continue; /* a leading separator names the root */
            szWork[i] = 0;
            bResult = PlatCreateDirectory(szWork) ? 1 : 0;
            szWork[i] = ch;
        }
    }
    return bResult;
}

int RemoveTree(const char* szDir)
{
    char szPattern[262];
    char szEntry[262];
    PLAT_FIND_DATA fd;
    HANDLE hFind;
    int bResult = 1;

    if (strlen(szDir) + 2 >= sizeof(szPattern)) return 0; /* never a cut, other directory */
    TextFormat(szPattern, sizeof(szPattern), "%s\\*", szDir);
    hFind = PlatFindFirstFile(szPattern, &fd);
    if (!hFind) return 0;
    do {
        if (IsDotEntry(fd.cFileName)) continue;
        if (strstr(fd.cFileName, "nl1") || strstr(fd.cFileName, "nl2") || strstr(fd.cFileName, "nl3")) continue;
        if (strlen(szDir) + 1 + strlen(fd.cFileName) >= sizeof(szEntry)) {
            bResult = 0;
            break;
        }
        TextFormat(szEntry, sizeof(szEntry), "%s\\%s", szDir, fd.cFileName);
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            /* A link or junction goes itself; what it points at stays. */
            int bGone = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? PlatRemoveDirectory(szEntry)
                                                                         : PlatDeleteFile(szEntry);
            if (!bGone) {
                bResult = 0;
                break;
            }
        } else if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!RemoveTree(szEntry)) {
                bResult = 0;
                break;
            }
            PlatRemoveDirectory(szEntry);
        } else if (fd.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
            continue;
        } else if (!PlatDeleteFile(szEntry)) {
            bResult = 0;
            break;
        }
    } while (PlatFindNextFile(hFind, &fd));
    if (bResult && PlatGetLastError() != ERROR_NO_MORE_FILES) bResult = 0;
    PlatFindClose(hFind);
    return bResult;
}

int JoinPath(char* szOut, size_t cbOut, const char* szDir, const char* szName)
{
    if (!szDir) szDir = "";
    if (!szName) szName = "";
    if (strlen(szDir) + 1 + strlen(szName) >= cbOut) {
        if (cbOut) szOut[0] = 0;
        LogFormat(0, "Path too long: %s\\%s", szDir, szName);
        return 0;
    }
    TextFormat(szOut, cbOut, "%s\\%s", szDir, szName);
    return 1;
}

void BaseName(const char* szPath, char* szOut, size_t cbOut)
{
    const char* pSlash = strrchr(szPath, '\\');
    TextCopy(szOut, cbOut, pSlash ? pSlash + 1 : szPath);
}

void StripExtension(const char* szName, char* szOut, size_t cbOut)
{
    const char* pDot = strrchr(szName, '.');
    if (!pDot) TextCopy(szOut, cbOut, szName);
    else TextCopyN(szOut, cbOut, szName, (size_t)(pDot - szName));
}

void ExtensionOf(const char* szName, char* szOut, size_t cbOut)
{
    const char* pDot = strrchr(szName, '.');
    TextCopy(szOut, cbOut, pDot ? pDot + 1 : "");
}

void TrimTrailingBlanks(char* szText)
{
    size_t cch;
    if (!szText) return;
    cch = strlen(szText);
    while (cch > 0 && szText[cch - 1] == ' ') szText[--cch] = 0;
}

int IsDotEntry(const char* szName)
{
    return strcmp(szName, ".") == 0 || strcmp(szName, "..") == 0;
}

void CopyBytes(void* pDest, const void* pSource, long cb)
{
    if (cb > 0) memcpy(pDest, pSource, (size_t)cb);
}
