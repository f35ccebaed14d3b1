/*
 * errors.cpp - the last-error value, fault injection and errno mapping.
 *
 * Fault injection follows the failure-countdown idea: an armed operation
 * counts its calls and fails at the nth one with the chosen Win32 code, so
 * the recovery paths of the logic can be exercised against real files.
 */
#include "platform/posix/posix.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

static DWORD s_dwLastError;

DWORD PlatGetLastError(void) { return s_dwLastError; }
void PlatSetLastError(DWORD dwError) { s_dwLastError = dwError; }

#define FAULT_SLOTS 16
typedef struct FAULT {
    char szOp[32];
    int nCountdown;
    DWORD dwError;
    int bSticky;
    int bFired;
} FAULT;
static FAULT s_aFaults[FAULT_SLOTS];
static int s_bFaultEnvRead;

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

void PlatFaultArm(const char* szOp, int nCall, DWORD dwError, int bSticky)
{
    int i;
    for (i = 0; i < FAULT_SLOTS; i++) {
        if (s_aFaults[i].szOp[0] == 0 || strcmp(s_aFaults[i].szOp, szOp) == 0) {
            PosixCopy(s_aFaults[i].szOp, sizeof(s_aFaults[i].szOp), szOp);
            s_aFaults[i].nCountdown = nCall < 1 ? 1 : nCall;
            s_aFaults[i].dwError = dwError;
            s_aFaults[i].bSticky = bSticky;
            s_aFaults[i].bFired = 0;
            return;
        }
    }
}

void PlatFaultReset(void)
{
    memset(s_aFaults, 0, sizeof(s_aFaults));
    s_bFaultEnvRead = 1;
}

/* HERON_FAULT="MoveFile:2:5,Fwrite:1:112:sticky" */
void PosixFaultInitFromEnv(void)
{
    const char* szEnv;
    char szCopy[512];
    char* pSave = NULL;
    char* pItem;
    if (s_bFaultEnvRead) return;
    s_bFaultEnvRead = 1;
    szEnv = getenv("HERON_FAULT");
    if (!szEnv || !*szEnv) return;
    PosixCopy(szCopy, sizeof(szCopy), szEnv);
    for (pItem = strtok_r(szCopy, ",", &pSave); pItem; pItem = strtok_r(NULL, ",", &pSave)) {
        char* pColon1 = strchr(pItem, ':');
        char* pColon2;
        int nCall = 1;
        DWORD dwError = ERROR_ACCESS_DENIED;
        int bSticky = 0;
        if (pColon1) {
            *pColon1 = 0;
            nCall = atoi(pColon1 + 1);
            pColon2 = strchr(pColon1 + 1, ':');
            if (pColon2) {
                char* pColon3;
                dwError = (DWORD)strtoul(pColon2 + 1, NULL, 10);
                pColon3 = strchr(pColon2 + 1, ':');
                if (pColon3 && strcmp(pColon3 + 1, "sticky") == 0) bSticky = 1;
            }
        }
        PlatFaultArm(pItem, nCall, dwError, bSticky);
    }
}

int PlatFaultHit(const char* szOp)
{
    int i;
    PosixFaultInitFromEnv();
    for (i = 0; i < FAULT_SLOTS; i++) {
        FAULT* pFault = &s_aFaults[i];
        if (pFault->szOp[0] == 0 || strcmp(pFault->szOp, szOp) != 0) continue;
        if (pFault->bFired) {
            if (pFault->bSticky) {
                PlatSetLastError(pFault->dwError);
                return 1;
            }
            return 0;
        }
        if (--pFault->nCountdown <= 0) {
            pFault->bFired = 1;
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
