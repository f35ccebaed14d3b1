/*
 * errors.cpp - the last-error value, fault injection and errno mapping.
 *
 * Fault injection follows the failure-countdown idea: an armed operation
 * counts its calls and fails at the nth one with the chosen Win32 code, so
 * the recovery paths of the logic can be exercised against real files.
 */
#include "platform/posix/posix.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

/* This file is also built into the Windows backend. */
#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif
#ifndef SIGKILL
#define SIGKILL 9
#endif

static DWORD s_dwLastError;

DWORD PlatGetLastError(void) { return s_dwLastError; }
void PlatSetLastError(DWORD dwError) { s_dwLastError = dwError; }

int PosixCopy(char* szDst, size_t cbDst, const char* szSrc)
{
    size_t cch;
    if (cbDst == 0) return 0;
    if (!szSrc) szSrc = "";
    cch = strlen(szSrc);
    if (cch >= cbDst) {
        memcpy(szDst, szSrc, cbDst - 1);
        szDst[cbDst - 1] = 0;
        return 0;
    }
    memcpy(szDst, szSrc, cch + 1);
    return 1;
}

char* PosixDupN(const char* p, size_t cch)
{
    char* sz = (char*)malloc(cch + 1);
    if (!sz) return NULL;
    memcpy(sz, p, cch);
    sz[cch] = 0;
    return sz;
}

/* Every operation of this layer that can be made to fail, by the name a test
 * arms. Arming any other name is refused: a misspelt name would otherwise
 * never fire and a fault test would pass without testing anything. */
static const char* const s_aszFaultOps[] = {
    /* files and streams */
    "Fopen", "Fread", "Fwrite", "CreateDirectory", "RemoveDirectory", "DeleteFile", "MoveFile",
    "MoveFileReplace",
    "GetFileAttributes", "SetFileAttributes", "GetFileSize", "GetFileTime", "SetFileTime", "MarkProgram",
    "FindFirstFile", "FindNextFile",
    /* paths and the current directory */
    "GetCurrentDirectory", "SetCurrentDirectory", "GetModuleFileName", "GetWindowsDirectory",
    "GetSystemDirectory",
    /* memory, environment, volumes */
    "GlobalAlloc", "HeapAlloc", "GetEnvironmentVariable", "GetDiskFreeSpaceEx",
    /* registry */
    "RegOpenKeyEx", "RegQueryValueEx", "RegQueryInfoKey", "RegEnumKeyEx",
    /* profiles */
    "GetPrivateProfileString", "GetPrivateProfileSection", "WritePrivateProfileString",
    "WritePrivateProfileSection",
    /* processes, resources, version information, message boxes */
    "CreateProcess", "FindResource", "GetFileVersionInfoSize", "GetFileVersionInfo", "MessageBox",
};
#define FAULT_OPS ((int)(sizeof(s_aszFaultOps) / sizeof(s_aszFaultOps[0])))

/* What an armed fault does when it fires: fail the call with its error, or
 * end the process there as a power cut would (no clean-up, no stream of the
 * process flushed: only what already reached the files stays). */
#define FAULT_FAIL 0
#define FAULT_EXIT 1

#define FAULT_SLOTS 16
typedef struct FAULT {
    int iOp; /* index in s_aszFaultOps, -1 for a free slot */
    int nCountdown;
    DWORD dwError;
    int bSticky;
    int bFired;
    int nAction;
} FAULT;
static FAULT s_aFaults[FAULT_SLOTS];
static int s_cFaults;
static int s_bFaultEnvRead;
/* HERON_FAULT_TRACE: every operation's name, one a line, as it is called. */
static int s_fdTrace = -1;

int PlatFaultOpCount(void) { return FAULT_OPS; }

const char* PlatFaultOpName(int iOp) { return iOp >= 0 && iOp < FAULT_OPS ? s_aszFaultOps[iOp] : NULL; }

static int FaultOpIndex(const char* szOp)
{
    int i;
    if (!szOp) return -1;
    for (i = 0; i < FAULT_OPS; i++) {
        if (strcmp(s_aszFaultOps[i], szOp) == 0) return i;
    }
    return -1;
}

static int FaultArm(int iOp, int nCall, DWORD dwError, int bSticky, int nAction)
{
    int i;
    for (i = 0; i < s_cFaults; i++) {
        if (s_aFaults[i].iOp == iOp) break;
    }
    if (i == s_cFaults) {
        if (s_cFaults == FAULT_SLOTS) {
            fprintf(stderr, "heron: fault injection: more than %d faults armed (%s)\n", FAULT_SLOTS,
                    s_aszFaultOps[iOp]);
            return 0;
        }
        s_cFaults++;
    }
    s_aFaults[i].iOp = iOp;
    s_aFaults[i].nCountdown = nCall < 1 ? 1 : nCall;
    s_aFaults[i].dwError = dwError;
    s_aFaults[i].bSticky = bSticky;
    s_aFaults[i].bFired = 0;
    s_aFaults[i].nAction = nAction;
    return 1;
}

int PlatFaultArm(const char* szOp, int nCall, DWORD dwError, int bSticky)
{
    int iOp = FaultOpIndex(szOp);
    if (iOp < 0) {
        fprintf(stderr, "heron: fault injection: unknown operation \"%s\"\n", szOp ? szOp : "");
        return 0;
    }
    return FaultArm(iOp, nCall, dwError, bSticky, FAULT_FAIL);
}

void PlatFaultReset(void)
{
    memset(s_aFaults, 0, sizeof(s_aFaults));
    s_cFaults = 0;
    s_bFaultEnvRead = 1;
}

/* A whole decimal number that fits an int (or a DWORD); 0 for anything else. */
static int FaultNumber(const char* sz, unsigned long ulMax, unsigned long* pul)
{
    char* pEnd = NULL;
    unsigned long ul;
    if (!sz || *sz < '0' || *sz > '9') return 0;
    errno = 0;
    ul = strtoul(sz, &pEnd, 10);
    if (errno != 0 || *pEnd != 0 || ul > ulMax) return 0;
    *pul = ul;
    return 1;
}

/* One item of HERON_FAULT: "Op[:n[:error][:word...]]". The words after the
 * call number are flags: "sticky" keeps the fault failing after its first
 * time, "exit" ends the process at that call instead of failing it.
 * Returns 1, or 0 after a message on stderr. */
static int FaultParseItem(char* szItem)
{
    char* apField[8] = {NULL};
    int cField = 0;
    char* p = szItem;
    unsigned long ulCall = 1, ulError = ERROR_ACCESS_DENIED;
    int bSticky = 0, nAction = FAULT_FAIL, iOp, i, iWords = 3;
    while (cField < 8) {
        apField[cField++] = p;
        p = strchr(p, ':');
        if (!p) break;
        *p++ = 0;
    }
    if (p) {
        fprintf(stderr, "heron: HERON_FAULT: too many fields in \"%s\"\n", szItem);
        return 0;
    }
    iOp = FaultOpIndex(apField[0]);
    if (iOp < 0) {
        fprintf(stderr, "heron: HERON_FAULT: unknown operation \"%s\"\n", apField[0]);
        return 0;
    }
    if (cField > 1 && (!FaultNumber(apField[1], 0x7fffffffUL, &ulCall) || ulCall < 1)) {
        fprintf(stderr, "heron: HERON_FAULT: the call number of %s is not a number from 1: \"%s\"\n",
                apField[0], apField[1]);
        return 0;
    }
    /* The error may be left out before a word ("MoveFile:3:exit"). */
    if (cField > 2 && (strcmp(apField[2], "exit") == 0 || strcmp(apField[2], "sticky") == 0)) iWords = 2;
    else if (cField > 2 && !FaultNumber(apField[2], 0xffffffffUL, &ulError)) {
        fprintf(stderr, "heron: HERON_FAULT: the error code of %s is not a number: \"%s\"\n", apField[0],
                apField[2]);
        return 0;
    }
    for (i = iWords; i < cField; i++) {
        if (strcmp(apField[i], "sticky") == 0) bSticky = 1;
        else if (strcmp(apField[i], "exit") == 0) nAction = FAULT_EXIT;
        else {
            fprintf(stderr, "heron: HERON_FAULT: unknown word \"%s\" after %s\n", apField[i], apField[0]);
            return 0;
        }
    }
    return FaultArm(iOp, (int)ulCall, (DWORD)ulError, bSticky, nAction);
}

/* HERON_FAULT="MoveFile:2:5,Fwrite:1:112:sticky" */
int PosixFaultInitFromEnv(void)
{
    const char* szEnv;
    char szCopy[512];
    char* pSave = NULL;
    char* pItem;
    if (s_bFaultEnvRead) return 1;
    s_bFaultEnvRead = 1;
    szEnv = getenv("HERON_FAULT_TRACE");
    if (szEnv && *szEnv) {
        s_fdTrace = open(szEnv, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
        if (s_fdTrace < 0) {
            fprintf(stderr, "heron: HERON_FAULT_TRACE: cannot open \"%s\"\n", szEnv);
            return 0;
        }
    }
    szEnv = getenv("HERON_FAULT");
    if (!szEnv || !*szEnv) return 1;
    if (!PosixCopy(szCopy, sizeof(szCopy), szEnv)) {
        fprintf(stderr, "heron: HERON_FAULT is longer than %d characters\n", (int)sizeof(szCopy) - 1);
        return 0;
    }
    for (pItem = strtok_r(szCopy, ",", &pSave); pItem; pItem = strtok_r(NULL, ",", &pSave)) {
        if (!FaultParseItem(pItem)) return 0;
    }
    return 1;
}

/* Ends the process at once, as a power cut would: no handler, no exit
 * function, no buffered stream written. */
static void FaultEndProcess(void)
{
#ifndef _WIN32
    kill(getpid(), SIGKILL);
#endif
    _exit(128 + SIGKILL);
}

static void FaultTrace(const char* szOp)
{
    char szLine[64];
    size_t cch = strlen(szOp);
    if (cch + 1 >= sizeof(szLine)) return;
    memcpy(szLine, szOp, cch);
    szLine[cch++] = '\n';
    /* One write per line, appended: the trace stays whole when the process ends. */
    (void)!write(s_fdTrace, szLine, cch);
}

int PlatFaultHit(const char* szOp)
{
    int i;
    if (!s_bFaultEnvRead && !PosixFaultInitFromEnv()) exit(1);
    if (s_fdTrace >= 0) FaultTrace(szOp);
    for (i = 0; i < s_cFaults; i++) {
        FAULT* pFault = &s_aFaults[i];
        if (strcmp(s_aszFaultOps[pFault->iOp], szOp) != 0) continue;
        if (pFault->bFired) {
            if (pFault->bSticky) {
                if (pFault->nAction == FAULT_EXIT) FaultEndProcess();
                PlatSetLastError(pFault->dwError);
                return 1;
            }
            return 0;
        }
        if (--pFault->nCountdown <= 0) {
            pFault->bFired = 1;
            if (pFault->nAction == FAULT_EXIT) FaultEndProcess();
            PlatSetLastError(pFault->dwError);
            return 1;
        }
        return 0;
    }
    return 0;
}

DWORD PosixErrorFromErrno(int nErrno, const char* szHost)
{
    switch (nErrno) {
    case 0: return ERROR_SUCCESS;
    case ENOENT:
    case ENOTDIR:
        if (szHost && *szHost) {
            /* Win32 tells a missing file (2) from a missing directory on the way (3). */
            char szParent[4096];
            char* pSlash;
            struct stat st;
            PosixCopy(szParent, sizeof(szParent), szHost);
            pSlash = strrchr(szParent, '/');
            if (pSlash && pSlash != szParent) {
                *pSlash = 0;
                if (stat(szParent, &st) != 0 || !S_ISDIR(st.st_mode)) return ERROR_PATH_NOT_FOUND;
            }
        }
        return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case EBUSY:
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    case ENOSPC: return ERROR_DISK_FULL;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENAMETOOLONG: return ERROR_PATH_NOT_FOUND;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    default: return ERROR_ACCESS_DENIED;
    }
}

int PosixFail(int nErrno, const char* szHost)
{
    PlatSetLastError(PosixErrorFromErrno(nErrno, szHost));
    return 0;
}
