/*
 * posix_compat.h - the POSIX calls of the tools on Windows, force-included
 * into the tools' Windows build (tools/updver, tools/cab) so that their
 * sources stay as they are:
 *   - open() in binary mode (the C runtime's default is text);
 *   - O_CLOEXEC and O_DIRECTORY mean nothing there;
 *   - fsync() is _commit(); opening a directory to sync it fails quietly;
 *   - mkdir() takes no mode; lstat() is stat() (no links);
 *   - rename() replaces an existing target, read-only or not, as it does on
 *     POSIX (the C runtime's refuses);
 *   - localtime_r() is localtime_s(); utimensat() sets the modification
 *     time of a path;
 *   - mmap()/munmap() map a whole file read-only (tools/wincompat/sys/mman.h).
 */
#ifndef HERON_WINCOMPAT_POSIX_COMPAT_H
#define HERON_WINCOMPAT_POSIX_COMPAT_H

#ifdef __cplusplus
#include <cstdio>
#else
#include <stdio.h>
#endif
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif
#ifndef O_DIRECTORY
#define O_DIRECTORY 0
#endif

#ifdef __cplusplus
extern "C" {
#endif
int HeronCompatOpen(const char* szPath, int nFlags, ...);
int HeronCompatRename(const char* szFrom, const char* szTo);
int HeronCompatMkdir(const char* szPath, int nMode);
struct tm* HeronCompatLocaltime(const time_t* pt, struct tm* ptm);
int HeronCompatUtimensat(int fdDir, const char* szPath, const struct timespec* ats, int nFlags);
#ifdef __cplusplus
}
#endif

#define open HeronCompatOpen
#define rename HeronCompatRename
#define mkdir HeronCompatMkdir
#define fsync _commit
#define lstat stat
#define localtime_r HeronCompatLocaltime
#define utimensat HeronCompatUtimensat
#define AT_FDCWD (-100)

#endif
