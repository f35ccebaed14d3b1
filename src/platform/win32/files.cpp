/*
 * files.cpp - the Windows backend: buffered streams of the C runtime, files
 * and directories through the Win32 calls.
 *
 * Streams are the C runtime's own, so text mode (CR LF on disk) is the
 * runtime's. Directory listings are read whole and handed out sorted
 * without regard to case, as the Linux build does: Windows leaves the order
 * to the file system, and the installer's log must not depend on it.
 */
#include "platform/win32/win32.h"

#include <errno.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

struct PLATFILE {
    FILE* fp;
    int bFault; /* a failed read or write was injected */
};

/* The Win32 code of a failed C runtime call: the last error of the call the
 * runtime made, else errno mapped. */
static void FileFailErrno(int nErrno)
{
    DWORD dwError = GetLastError();
    if (dwError == 0 || dwError == ERROR_SUCCESS) {
        switch (nErrno) {
        case ENOENT: dwError = ERROR_FILE_NOT_FOUND; break;
        case EEXIST: dwError = ERROR_ALREADY_EXISTS; break;
        case ENOSPC: dwError = ERROR_DISK_FULL; break;
        case ENOMEM: dwError = ERROR_NOT_ENOUGH_MEMORY; break;
        case EINVAL: dwError = ERROR_INVALID_PARAMETER; break;
        default: dwError = ERROR_ACCESS_DENIED; break;
        }
    }
    PlatSetLastError(dwError);
}

PLATFILE* PlatFopen(const char* szPath, const char* szMode)
{
    PLATFILE* pf;
    FILE* fp;
    if (PlatFaultHit("Fopen")) return NULL;
    if (!szPath || !szMode || !*szPath) {
        Win32FailWith(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    SetLastError(0);
    fp = fopen(szPath, szMode);
    if (!fp) {
        FileFailErrno(errno);
        return NULL;
    }
    pf = (PLATFILE*)calloc(1, sizeof(PLATFILE));
    if (!pf) {
        fclose(fp);
        Win32FailWith(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    pf->fp = fp;
    return pf;
}

int PlatFclose(PLATFILE* pf)
{
    int nResult;
    if (!pf) return -1;
    nResult = fclose(pf->fp);
    if (nResult != 0) FileFailErrno(errno);
    free(pf);
    return nResult;
}

size_t PlatFread(void* pv, size_t cbItem, size_t cItems, PLATFILE* pf)
{
    size_t cGot;
    if (!pf || cbItem == 0) return 0;
    /* A failed read sets the stream's error indicator, as the C runtime's
     * does when the system's read fails. */
    if (PlatFaultHit("Fread")) {
        pf->bFault = 1;
        return 0;
    }
    cGot = fread(pv, cbItem, cItems, pf->fp);
    if (cGot < cItems && ferror(pf->fp)) FileFailErrno(errno);
    return cGot;
}

size_t PlatFwrite(const void* pv, size_t cbItem, size_t cItems, PLATFILE* pf)
{
    size_t cDone;
    if (!pf || cbItem == 0) return 0;
    if (PlatFaultHit("Fwrite")) {
        pf->bFault = 1;
        return 0;
    }
    cDone = fwrite(pv, cbItem, cItems, pf->fp);
    if (cDone < cItems) FileFailErrno(errno);
    return cDone;
}

int PlatFgetc(PLATFILE* pf) { return pf ? getc(pf->fp) : -1; }

char* PlatFgets(char* sz, int cch, PLATFILE* pf)
{
    if (!pf || !sz || cch <= 0) return NULL;
    return fgets(sz, cch, pf->fp);
}

int PlatFputs(const char* sz, PLATFILE* pf)
{
    size_t cch = strlen(sz);
    if (cch == 0) return 0;
    return PlatFwrite(sz, 1, cch, pf) == cch ? 0 : -1;
}

int PlatFflush(PLATFILE* pf)
{
    if (!pf) return -1;
    if (fflush(pf->fp) != 0) {
        FileFailErrno(errno);
        return -1;
    }
    return 0;
}

int PlatFseek(PLATFILE* pf, long long llOffset, int nOrigin)
{
    if (!pf) return -1;
    if (_fseeki64(pf->fp, llOffset, nOrigin == 0 ? SEEK_SET : nOrigin == 1 ? SEEK_CUR : SEEK_END) != 0) {
        FileFailErrno(errno);
        return -1;
    }
    return 0;
}

long long PlatFtell(PLATFILE* pf)
{
    long long ll;
    if (!pf) return -1;
    ll = _ftelli64(pf->fp);
    if (ll < 0) FileFailErrno(errno);
    return ll;
}

int PlatFeof(PLATFILE* pf) { return pf ? feof(pf->fp) : 1; }
int PlatFerror(PLATFILE* pf) { return pf ? ferror(pf->fp) || pf->bFault : 1; }

long long PlatFsize(PLATFILE* pf)
{
    long long ll;
    if (!pf) return 0;
    fflush(pf->fp);
    ll = _filelengthi64(_fileno(pf->fp));
    if (ll < 0) {
        FileFailErrno(errno);
        return 0;
    }
    return ll;
}

/* ---- Single-file operations ------------------------------------------ */

PLAT_BOOL PlatCreateDirectory(const char* szPath)
{
    if (PlatFaultHit("CreateDirectory")) return 0;
    if (!CreateDirectoryA(szPath, NULL)) return Win32Fail();
    return 1;
}

PLAT_BOOL PlatRemoveDirectory(const char* szPath)
{
    if (PlatFaultHit("RemoveDirectory")) return 0;
    if (!RemoveDirectoryA(szPath)) return Win32Fail();
    return 1;
}

PLAT_BOOL PlatDeleteFile(const char* szPath)
{
    if (PlatFaultHit("DeleteFile")) return 0;
    if (!DeleteFileA(szPath)) return Win32Fail();
    return 1;
}

PLAT_BOOL PlatMoveFile(const char* szFrom, const char* szTo)
{
    if (PlatFaultHit("MoveFile")) return 0;
    if (!MoveFileA(szFrom, szTo)) return Win32Fail();
    return 1;
}

PLAT_BOOL PlatMoveFileReplace(const char* szFrom, const char* szTo)
{
    if (PlatFaultHit("MoveFileReplace")) return 0;
    if (!MoveFileExA(szFrom, szTo, MOVEFILE_REPLACE_EXISTING)) return Win32Fail();
    return 1;
}

/* The attributes the installer looks at, as the Linux build reports them:
 * directory, read-only, else normal. */
static DWORD FileAttributes(DWORD dwAttr)
{
    DWORD dwOut = dwAttr & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY);
    return dwOut ? dwOut : FILE_ATTRIBUTE_NORMAL;
}

PLAT_DWORD PlatGetFileAttributes(const char* szPath)
{
    DWORD dw;
    if (PlatFaultHit("GetFileAttributes")) return INVALID_FILE_ATTRIBUTES;
    dw = GetFileAttributesA(szPath);
    if (dw == INVALID_FILE_ATTRIBUTES) {
        Win32Fail();
        return INVALID_FILE_ATTRIBUTES;
    }
    return FileAttributes(dw);
}

PLAT_BOOL PlatSetFileAttributes(const char* szPath, PLAT_DWORD dwAttributes)
{
    DWORD dwOld;
    if (PlatFaultHit("SetFileAttributes")) return 0;
    dwOld = GetFileAttributesA(szPath);
    if (dwOld == INVALID_FILE_ATTRIBUTES) return Win32Fail();
    /* Only the read-only flag is the installer's to change. */
    dwOld &= ~(DWORD)(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_NORMAL);
    if (dwAttributes & FILE_ATTRIBUTE_READONLY) dwOld |= FILE_ATTRIBUTE_READONLY;
    if (dwOld == 0) dwOld = FILE_ATTRIBUTE_NORMAL;
    if (!SetFileAttributesA(szPath, dwOld)) return Win32Fail();
    return 1;
}

PLAT_BOOL PlatGetFileSize(const char* szPath, unsigned long long* pcbSize)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (pcbSize) *pcbSize = 0;
    if (PlatFaultHit("GetFileSize")) return 0;
    if (!GetFileAttributesExA(szPath, GetFileExInfoStandard, &data)) return Win32Fail();
    if (pcbSize) *pcbSize = ((unsigned long long)data.nFileSizeHigh << 32) | data.nFileSizeLow;
    return 1;
}

/* FILETIME (100 ns since 1601) and seconds since 1970. */
#define FILE_EPOCH_DIFF 11644473600LL
static long long FileTimeToUnix(const FILETIME* pft)
{
    unsigned long long ull = ((unsigned long long)pft->dwHighDateTime << 32) | pft->dwLowDateTime;
    return (long long)(ull / 10000000ULL) - FILE_EPOCH_DIFF;
}

PLAT_BOOL PlatGetFileTime(const char* szPath, long long* pllTime)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (PlatFaultHit("GetFileTime")) return 0;
    if (!GetFileAttributesExA(szPath, GetFileExInfoStandard, &data)) return Win32Fail();
    if (pllTime) *pllTime = FileTimeToUnix(&data.ftLastWriteTime);
    return 1;
}

PLAT_BOOL PlatSetFileTime(const char* szPath, long long llTime)
{
    HANDLE h;
    FILETIME ft;
    unsigned long long ull = (unsigned long long)(llTime + FILE_EPOCH_DIFF) * 10000000ULL;
    BOOL bOk;
    if (PlatFaultHit("SetFileTime")) return 0;
    h = CreateFileA(szPath, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (h == INVALID_HANDLE_VALUE) return Win32Fail();
    ft.dwLowDateTime = (DWORD)ull;
    ft.dwHighDateTime = (DWORD)(ull >> 32);
    bOk = SetFileTime(h, &ft, &ft, &ft);
    if (!bOk) Win32Fail();
    CloseHandle(h);
    return bOk ? 1 : 0;
}

PLAT_BOOL PlatMarkProgram(const char* szPath)
{
    /* Windows runs any .exe: nothing to mark, but the file must be there. */
    if (PlatFaultHit("MarkProgram")) return 0;
    if (GetFileAttributesA(szPath) == INVALID_FILE_ATTRIBUTES) return Win32Fail();
    return 1;
}

/* ---- Directory listing ----------------------------------------------- */

typedef struct FINDSTATE {
    PLAT_FIND_DATA* pEntries;
    size_t cEntries;
    size_t iNext;
} FINDSTATE;

static int FindCompare(const void* pA, const void* pB)
{
    const char* szA = ((const PLAT_FIND_DATA*)pA)->cFileName;
    const char* szB = ((const PLAT_FIND_DATA*)pB)->cFileName;
    int n = _stricmp(szA, szB);
    return n ? n : strcmp(szA, szB);
}

PLAT_HANDLE PlatFindFirstFile(const char* szPattern, PLAT_FIND_DATA* pData)
{
    WIN32_FIND_DATAA fd;
    HANDLE hFind;
    FINDSTATE* pState;
    size_t cAlloc = 0;

    if (PlatFaultHit("FindFirstFile")) return NULL;
    if (!szPattern || !*szPattern) {
        Win32FailWith(ERROR_FILE_NOT_FOUND);
        return NULL;
    }
    hFind = FindFirstFileA(szPattern, &fd);
    if (hFind == INVALID_HANDLE_VALUE) {
        Win32Fail();
        return NULL;
    }
    pState = (FINDSTATE*)calloc(1, sizeof(FINDSTATE));
    if (!pState) {
        FindClose(hFind);
        Win32FailWith(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    do {
        PLAT_FIND_DATA* pEntry;
        if (pState->cEntries == cAlloc) {
            size_t cNew = cAlloc ? cAlloc * 2 : 16;
            PLAT_FIND_DATA* pNew = (PLAT_FIND_DATA*)realloc(pState->pEntries, cNew * sizeof(PLAT_FIND_DATA));
            if (!pNew) break;
            pState->pEntries = pNew;
            cAlloc = cNew;
        }
        pEntry = &pState->pEntries[pState->cEntries++];
        memset(pEntry, 0, sizeof(*pEntry));
        pEntry->dwFileAttributes = FileAttributes(fd.dwFileAttributes);
        pEntry->cbFileSize = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                                 ? 0
                                 : (((unsigned long long)fd.nFileSizeHigh << 32) | fd.nFileSizeLow);
        pEntry->llWriteTime = FileTimeToUnix(&fd.ftLastWriteTime);
        PosixCopy(pEntry->cFileName, sizeof(pEntry->cFileName), fd.cFileName);
    } while (FindNextFileA(hFind, &fd));
    FindClose(hFind);
    qsort(pState->pEntries, pState->cEntries, sizeof(PLAT_FIND_DATA), FindCompare);
    *pData = pState->pEntries[0];
    pState->iNext = 1;
    return (PLAT_HANDLE)pState;
}

PLAT_BOOL PlatFindNextFile(PLAT_HANDLE hFind, PLAT_FIND_DATA* pData)
{
    FINDSTATE* pState = (FINDSTATE*)hFind;
    if (!pState) return Win32FailWith(ERROR_INVALID_HANDLE);
    if (PlatFaultHit("FindNextFile")) return 0;
    if (pState->iNext >= pState->cEntries) return Win32FailWith(ERROR_NO_MORE_FILES);
    *pData = pState->pEntries[pState->iNext++];
    return 1;
}

PLAT_BOOL PlatFindClose(PLAT_HANDLE hFind)
{
    FINDSTATE* pState = (FINDSTATE*)hFind;
    if (!pState) return 0;
    free(pState->pEntries);
    free(pState);
    return 1;
}
