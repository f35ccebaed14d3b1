/*
 * posix.h - helpers shared by the Linux backend of the platform layer.
 * Nothing outside src/platform/posix/ includes this file.
 */
#ifndef HERON_PLATFORM_POSIX_H
#define HERON_PLATFORM_POSIX_H

#include "platform/platform.h"

#include <sys/stat.h>

/* The directory of the emulated machine: HERON_ROOT, or $HOME/.heron. */
int PosixRootDir(char* szRoot, size_t cbRoot);
/* Maps errno to a Win32 code. szHost, when given, tells 2 from 3 for ENOENT
 * (3 when the parent directory is missing). */
DWORD PosixErrorFromErrno(int nErrno, const char* szHost);
/* Sets the last error from errno as above and returns 0. */
int PosixFail(int nErrno, const char* szHost);
/* What a host-path look-up learnt of the path it returned, so the caller
 * need not ask the file system again. */
typedef struct HOSTLOOK {
    int iKnown;          /* 1: it exists and stLink is its lstat; 0: no entry of
                            that name in any case; -1: not looked at */
    struct stat stLink;
} HOSTLOOK;
/* PlatHostPath, filling *pLook. */
int PosixHostPathLook(const char* szPath, char* szHost, size_t cbHost, HOSTLOOK* pLook);
/* stat() and lstat() of the path a look-up returned: from the look when it
 * tells (a link is followed by a real stat), else from the file system;
 * -1 with errno set as they do. */
int PosixStat(const char* szHost, const HOSTLOOK* pLook, struct stat* pst);
int PosixLstat(const char* szHost, const HOSTLOOK* pLook, struct stat* pst);
/* 0 when no other process holds the file, 1 when one holds it open,
 * 2 when one has it mapped (a loaded library). pst: the file's stat when the
 * caller has it, else NULL. */
int PosixInUse(const char* szHost, const struct stat* pst);
/* 1 when the owner lacks write permission (the emulated read-only flag). */
int PosixReadOnly(const char* szHost);
/* Arms faults from HERON_FAULT once per process: 1, or 0 after a message on
 * stderr when the variable names an unknown operation, is malformed or arms
 * more faults than the table holds. */
int PosixFaultInitFromEnv(void);
/* Bounded copy for the backend: copies at most cb-1 bytes, always ends with NUL;
 * returns 1 when the whole text fitted. */
int PosixCopy(char* szDst, size_t cbDst, const char* szSrc);
/* A new block (malloc) with the cch bytes at p and a NUL; NULL without memory. */
char* PosixDupN(const char* p, size_t cch);

#endif
