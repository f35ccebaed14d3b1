/*
 * posix_compat.c - the POSIX calls of the tools on Windows (posix_compat.h).
 */
#include <windows.h>

#include <direct.h>
#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <stdarg.h>
#include <stdio.h>
#include <sys/stat.h>
#include <time.h>

#include "sys/mman.h"

int HeronCompatOpen(const char* szPath, int nFlags, ...)
{
    int nMode = 0666;
    if (nFlags & O_CREAT) {
        va_list ap;
        va_start(ap, nFlags);
        nMode = va_arg(ap, int);
        va_end(ap);
    }
    return _open(szPath, nFlags | O_BINARY, nMode & (_S_IREAD | _S_IWRITE) ? nMode & (_S_IREAD | _S_IWRITE)
                                                                            : _S_IREAD | _S_IWRITE);
}

int HeronCompatRename(const char* szFrom, const char* szTo)
{
    DWORD dwAttr;
    if (MoveFileExA(szFrom, szTo, MOVEFILE_REPLACE_EXISTING)) return 0;
    dwAttr = GetFileAttributesA(szTo);
    if (dwAttr != INVALID_FILE_ATTRIBUTES && (dwAttr & FILE_ATTRIBUTE_READONLY) &&
        !(dwAttr & FILE_ATTRIBUTE_DIRECTORY) && SetFileAttributesA(szTo, dwAttr & ~FILE_ATTRIBUTE_READONLY)) {
        if (MoveFileExA(szFrom, szTo, MOVEFILE_REPLACE_EXISTING)) return 0;
        SetFileAttributesA(szTo, dwAttr);
    }
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: errno = ENOENT; break;
    default: errno = EACCES; break;
    }
    return -1;
}

int HeronCompatMkdir(const char* szPath, int nMode)
{
    (void)nMode;
    return _mkdir(szPath);
}

void* mmap(void* pvAddr, size_t cb, int nProt, int nFlags, int fd, off_t off)
{
    HANDLE hFile = (HANDLE)_get_osfhandle(fd);
    HANDLE hMap;
    void* pv;
    (void)pvAddr;
    (void)nProt;
    (void)nFlags;
    if (hFile == INVALID_HANDLE_VALUE || cb == 0) {
        errno = EINVAL;
        return MAP_FAILED;
    }
    hMap = CreateFileMappingA(hFile, NULL, PAGE_READONLY, 0, 0, NULL);
    if (!hMap) {
        errno = EACCES;
        return MAP_FAILED;
    }
    pv = MapViewOfFile(hMap, FILE_MAP_READ, 0, (DWORD)off, cb);
    CloseHandle(hMap); /* the view keeps the mapping */
    if (!pv) {
        errno = ENOMEM;
        return MAP_FAILED;
    }
    return pv;
}

int munmap(void* pv, size_t cb)
{
    (void)cb;
    return UnmapViewOfFile(pv) ? 0 : -1;
}

struct tm* HeronCompatLocaltime(const time_t* pt, struct tm* ptm)
{
    return localtime_s(ptm, pt) == 0 ? ptm : NULL;
}

int HeronCompatUtimensat(int fdDir, const char* szPath, const struct timespec* ats, int nFlags)
{
    HANDLE h;
    FILETIME ft;
    unsigned long long ull = ((unsigned long long)ats[1].tv_sec + 11644473600ULL) * 10000000ULL;
    BOOL bOk;
    (void)fdDir;
    (void)nFlags;
    h = CreateFileA(szPath, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE) {
        errno = ENOENT;
        return -1;
    }
    ft.dwLowDateTime = (DWORD)ull;
    ft.dwHighDateTime = (DWORD)(ull >> 32);
    bOk = SetFileTime(h, NULL, NULL, &ft);
    CloseHandle(h);
    return bOk ? 0 : -1;
}
