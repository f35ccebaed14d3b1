/*
 * process.cpp - child processes with CreateProcessA's behaviour on Linux.
 *
 * Starting a command line:
 *   1. split it by the C runtime's rules (cmdline.cpp): the child's argv;
 *      argv[0] becomes the program's Linux path when the token is a Windows
 *      path, so the child can find itself;
 *   2. find the program as CreateProcessA does: a quoted token is the text
 *      between the quotes; an unquoted token that is not found grows to the
 *      next blank and is tried again ("C:\a b\x.exe -p" tries "C:\a", then
 *      "C:\a b\x.exe"). A name with a path is taken as it stands; a bare name
 *      is looked for in the installer's own directory, the current
 *      directory, then each PATH directory. A name without an extension is
 *      tried with ".exe" first, then as it stands;
 *   3. fork; the child gets stdin from /dev/null (it has its own console on
 *      Windows), no handles but 0-2 (the installer's files stay unheld), the
 *      current directory asked for, the installer's environment plus
 *      HERON_COMMAND_LINE = the whole command line unchanged; ".bat" and
 *      ".cmd" run as "/bin/sh FILE ARGS", a file the kernel cannot run
 *      directly (no "#!") also goes to /bin/sh;
 *   4. a pipe closed on exec tells the parent whether exec worked: a missing
 *      program is 0 with 2, exec failures map errno to the Win32 code.
 *
 * Handles: the process and thread handles point into one PROCOBJ; it is
 * freed when both are closed. A child still running when its handles are
 * closed is not reaped (as on Windows, it runs on).
 */
#include "platform/posix/posix.h"
#include "platform/process.h"

#include <errno.h>
#include <fcntl.h>
#include <stddef.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

#define HOST_MAX 4096
#define PROC_MAGIC 0x50524F43u
#define THREAD_MAGIC 0x54485244u

typedef struct PROCTHREAD {
    DWORD dwMagic;
} PROCTHREAD;

typedef struct PROCOBJ {
    DWORD dwMagic;
    PROCTHREAD thread;
    pid_t pid;
    int bExited;
    DWORD dwExitCode;
    int bProcessOpen;
    int bThreadOpen;
} PROCOBJ;

/* ---- Finding the program --------------------------------------------- */

static int ProcIsRegularFile(const char* szHost)
{
    struct stat st;
    return stat(szHost, &st) == 0 && S_ISREG(st.st_mode);
}

/* 1 when szName (a Windows or Linux path, maybe relative) names a regular
 * file; tries "name.exe" first when the last component has no extension. */
static int ProcTryCandidate(const char* szName, char* szHost, size_t cbHost)
{
    const char* pBase = szName;
    const char* p;
    for (p = szName; *p; p++)
        if (*p == '\\' || *p == '/') pBase = p + 1;
    if (!strchr(pBase, '.')) {
        char szExe[HOST_MAX];
        if (PosixCopy(szExe, sizeof(szExe), szName) && strlen(szExe) + 4 < sizeof(szExe)) {
            strcat(szExe, ".exe");
            if (PlatHostPath(szExe, szHost, cbHost) && ProcIsRegularFile(szHost)) return 1;
        }
    }
    return PlatHostPath(szName, szHost, cbHost) && ProcIsRegularFile(szHost);
}

static int ProcTryInDir(const char* szDir, const char* szName, char* szHost, size_t cbHost)
{
    char szPath[HOST_MAX];
    size_t cch = strlen(szDir);
    if (cch + 1 + strlen(szName) + 1 > sizeof(szPath)) return 0;
    memcpy(szPath, szDir, cch);
    if (cch && szDir[cch - 1] != '\\' && szDir[cch - 1] != '/') szPath[cch++] = '\\';
    strcpy(szPath + cch, szName);
    return ProcTryCandidate(szPath, szHost, cbHost);
}

/* Finds one program name; szHost gets its Linux path. */
static int ProcFindProgram(const char* szName, char* szHost, size_t cbHost)
{
    char szDir[HOST_MAX];
    const char* szPathVar;
    size_t iPos = 0;

    if (!*szName) return 0;
    if (strchr(szName, '\\') || strchr(szName, '/') || (szName[0] && szName[1] == ':'))
        return ProcTryCandidate(szName, szHost, cbHost);

    /* The installer's own directory (read directly, so that a fault armed
     * for GetModuleFileName is left to the logic that calls it). */
    {
        ssize_t cb = readlink("/proc/self/exe", szDir, sizeof(szDir) - 1);
        char* pSlash;
        if (cb > 0) {
            szDir[cb] = 0;
            pSlash = strrchr(szDir, '/');
            if (pSlash && pSlash != szDir) {
                *pSlash = 0;
                if (ProcTryInDir(szDir, szName, szHost, cbHost)) return 1;
            }
        }
    }
    /* The current directory. */
    if (getcwd(szDir, sizeof(szDir)) && ProcTryInDir(szDir, szName, szHost, cbHost)) return 1;
    /* PATH. */
    szPathVar = getenv("PATH");
    if (szPathVar) {
        while (PlatNextSearchDir(szPathVar, &iPos, szDir, sizeof(szDir))) {
            if (ProcTryInDir(szDir, szName, szHost, cbHost)) return 1;
        }
    }
    return 0;
}

/* The program of a command line, as CreateProcessA picks it. */
static int ProcFindInCommandLine(const char* szCommandLine, char* szHost, size_t cbHost)
{
    char szName[HOST_MAX];
    const char* p = szCommandLine;
    while (*p == ' ' || *p == '\t') p++;
    if (*p == '"') {
        const char* pEnd = strchr(p + 1, '"');
        size_t cch = pEnd ? (size_t)(pEnd - p - 1) : strlen(p + 1);
        if (cch >= sizeof(szName)) return 0;
        memcpy(szName, p + 1, cch);
        szName[cch] = 0;
        return ProcFindProgram(szName, szHost, cbHost);
    }
    {
        const char* pEnd = p;
        for (;;) {
            size_t cch;
            while (*pEnd && *pEnd != ' ' && *pEnd != '\t') pEnd++;
            cch = (size_t)(pEnd - p);
            if (cch >= sizeof(szName)) return 0;
            memcpy(szName, p, cch);
            szName[cch] = 0;
            if (ProcFindProgram(szName, szHost, cbHost)) return 1;
            if (!*pEnd) return 0;
            while (*pEnd == ' ' || *pEnd == '\t') pEnd++;
            if (!*pEnd) return 0;
        }
    }
}

static int ProcHasExtension(const char* szHost, const char* szExt)
{
    size_t cch = strlen(szHost), cchExt = strlen(szExt);
    return cch > cchExt && strcasecmp(szHost + cch - cchExt, szExt) == 0;
}

/* ---- Starting ---------------------------------------------------------- */

static DWORD ProcExecError(int nErrno)
{
    switch (nErrno) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case ENOEXEC: return 193; /* ERROR_BAD_EXE_FORMAT */
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    default: return ERROR_ACCESS_DENIED;
    }
}

/* The environment of the child: ours without HERON_COMMAND_LINE, then the
 * new one. Returns a heap array (entries point into environ and *ppszOwn). */
static char** ProcBuildEnvironment(const char* szCommandLine, char** ppszOwn)
{
    static const char szVar[] = "HERON_COMMAND_LINE=";
    size_t cEnv = 0, i, j;
    char** ppEnv;
    char* szOwn;
    while (environ && environ[cEnv]) cEnv++;
    ppEnv = (char**)calloc(cEnv + 2, sizeof(char*));
    szOwn = (char*)malloc(sizeof(szVar) + strlen(szCommandLine));
    if (!ppEnv || !szOwn) {
        free(ppEnv);
        free(szOwn);
        return NULL;
    }
    for (i = 0, j = 0; i < cEnv; i++) {
        if (strncmp(environ[i], szVar, sizeof(szVar) - 1) == 0) continue;
        /* Armed faults and their trace belong to the process they were
         * armed for: a tool it starts counts its own calls from nothing. */
        if (strncmp(environ[i], "HERON_FAULT=", 12) == 0 || strncmp(environ[i], "HERON_FAULT_TRACE=", 18) == 0)
            continue;
        ppEnv[j++] = environ[i];
    }
    memcpy(szOwn, szVar, sizeof(szVar) - 1);
    strcpy(szOwn + sizeof(szVar) - 1, szCommandLine);
    ppEnv[j++] = szOwn;
    ppEnv[j] = NULL;
    *ppszOwn = szOwn;
    return ppEnv;
}

/* Runs in the forked child: only async-signal-safe calls. ppShellArgv is
 * {"sh", program, args..., NULL}; bScript runs it through the shell at once. */
static void ProcChild(const char* szHostCwd, const char* szProgram, char** ppArgv, char** ppShellArgv, int bScript,
                      char** ppEnv, int fdReport)
{
    int nErr;
    int fdNull = open("/dev/null", O_RDONLY);
    if (fdNull >= 0) {
        dup2(fdNull, 0);
        if (fdNull != 0) close(fdNull);
    }
    /* No handle of the installer is inherited but the standard ones. */
    if (fdReport > 3) close_range(3, (unsigned)fdReport - 1, 0);
    close_range((unsigned)fdReport + 1, ~0u, 0);
    if (szHostCwd && chdir(szHostCwd) != 0) {
        nErr = errno;
        (void)!write(fdReport, &nErr, sizeof(nErr));
        _exit(127);
    }
    if (bScript) {
        execve("/bin/sh", ppShellArgv, ppEnv);
    } else {
        execve(szProgram, ppArgv, ppEnv);
        if (errno == ENOEXEC) execve("/bin/sh", ppShellArgv, ppEnv);
    }
    nErr = errno;
    (void)!write(fdReport, &nErr, sizeof(nErr));
    _exit(127);
}

BOOL PlatCreateProcess(const char* szCommandLine, const char* szCurrentDir, int bNewConsole,
                       int bInheritableHandle, PLAT_PROCESS* pProcess)
{
    char szProgram[HOST_MAX];
    char szHostCwd[HOST_MAX];
    char* szSplit = NULL;
    char** ppArgs = NULL;
    char** ppArgv = NULL;
    char** ppShellArgv = NULL;
    char** ppEnv = NULL;
    char* szEnvOwn = NULL;
    PROCOBJ* pObj = NULL;
    int cArgs, i;
    int bScript;
    int afdReport[2] = {-1, -1};
    int nChildErr = 0;
    ssize_t cbRead;
    pid_t pid;
    BOOL bResult = 0;

    (void)bNewConsole;        /* the child never shares the installer's console input */
    (void)bInheritableHandle; /* handles are private to this process on Linux */
    if (PlatFaultHit("CreateProcess")) return 0;
    if (!szCommandLine || !pProcess) {
        PlatSetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    memset(pProcess, 0, sizeof(*pProcess));

    if (!ProcFindInCommandLine(szCommandLine, szProgram, sizeof(szProgram))) {
        PlatSetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    if (szCurrentDir && *szCurrentDir) {
        struct stat st;
        if (!PlatHostPath(szCurrentDir, szHostCwd, sizeof(szHostCwd))) return 0;
        if (stat(szHostCwd, &st) != 0 || !S_ISDIR(st.st_mode)) {
            PlatSetLastError(ERROR_DIRECTORY);
            return 0;
        }
    }

    /* argv as the C runtime would give it. */
    szSplit = (char*)malloc(strlen(szCommandLine) + 1);
    cArgs = szSplit ? PlatSplitCommandLine(szCommandLine, NULL, 0, szSplit, strlen(szCommandLine) + 1) : -1;
    if (cArgs < 1) {
        PlatSetLastError(cArgs < 0 ? ERROR_NOT_ENOUGH_MEMORY : ERROR_FILE_NOT_FOUND);
        goto done;
    }
    ppArgs = (char**)calloc((size_t)cArgs + 1, sizeof(char*));
    ppArgv = (char**)calloc((size_t)cArgs + 1, sizeof(char*));
    ppShellArgv = (char**)calloc((size_t)cArgs + 2, sizeof(char*));
    if (!ppArgs || !ppArgv || !ppShellArgv) {
        PlatSetLastError(ERROR_NOT_ENOUGH_MEMORY);
        goto done;
    }
    PlatSplitCommandLine(szCommandLine, ppArgs, cArgs, szSplit, strlen(szCommandLine) + 1);
    for (i = 0; i < cArgs; i++) ppArgv[i] = ppArgs[i];
    if (strchr(ppArgs[0], '\\') || (ppArgs[0][0] && ppArgs[0][1] == ':')) ppArgv[0] = szProgram;
    bScript = ProcHasExtension(szProgram, ".bat") || ProcHasExtension(szProgram, ".cmd");
    ppShellArgv[0] = (char*)"sh";
    ppShellArgv[1] = szProgram;
    for (i = 1; i < cArgs; i++) ppShellArgv[i + 1] = ppArgs[i];

    ppEnv = ProcBuildEnvironment(szCommandLine, &szEnvOwn);
    pObj = (PROCOBJ*)calloc(1, sizeof(PROCOBJ));
    if (!ppEnv || !pObj) {
        PlatSetLastError(ERROR_NOT_ENOUGH_MEMORY);
        goto done;
    }
    if (pipe2(afdReport, O_CLOEXEC) != 0) {
        PosixFail(errno, NULL);
        goto done;
    }

    pid = fork();
    if (pid < 0) {
        PosixFail(errno, NULL);
        goto done;
    }
    if (pid == 0) {
        ProcChild(szCurrentDir && *szCurrentDir ? szHostCwd : NULL, szProgram, ppArgv, ppShellArgv, bScript, ppEnv,
                  afdReport[1]);
    }
    close(afdReport[1]);
    afdReport[1] = -1;
    do {
        cbRead = read(afdReport[0], &nChildErr, sizeof(nChildErr));
    } while (cbRead < 0 && errno == EINTR);
    if (cbRead == (ssize_t)sizeof(nChildErr)) {
        /* exec failed: collect the child and report. */
        while (waitpid(pid, NULL, 0) < 0 && errno == EINTR) {
        }
        PlatSetLastError(ProcExecError(nChildErr));
        goto done;
    }

    pObj->dwMagic = PROC_MAGIC;
    pObj->thread.dwMagic = THREAD_MAGIC;
    pObj->pid = pid;
    pObj->bProcessOpen = 1;
    pObj->bThreadOpen = 1;
    pProcess->hProcess = (HANDLE)pObj;
    pProcess->hThread = (HANDLE)&pObj->thread;
    pProcess->dwProcessId = (DWORD)pid;
    pObj = NULL;
    bResult = 1;

done:
    if (afdReport[0] >= 0) close(afdReport[0]);
    if (afdReport[1] >= 0) close(afdReport[1]);
    free(pObj);
    free(ppEnv);
    free(szEnvOwn);
    free(ppShellArgv);
    free(ppArgv);
    free(ppArgs);
    free(szSplit);
    return bResult;
}

/* ---- Handles, waiting, exit codes --------------------------------------- */

static PROCOBJ* ProcFromHandle(HANDLE h)
{
    PROCOBJ* pObj = (PROCOBJ*)h;
    if (!pObj || pObj->dwMagic != PROC_MAGIC || !pObj->bProcessOpen) return NULL;
    return pObj;
}

/* Collects the child's status when it has ended; bBlock waits for it. */
static void ProcReap(PROCOBJ* pObj, int bBlock)
{
    int nStatus = 0;
    pid_t r;
    if (pObj->bExited) return;
    do {
        r = waitpid(pObj->pid, &nStatus, bBlock ? 0 : WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == pObj->pid) {
        pObj->bExited = 1;
        if (WIFEXITED(nStatus)) pObj->dwExitCode = (DWORD)WEXITSTATUS(nStatus);
        else if (WIFSIGNALED(nStatus)) pObj->dwExitCode = 128u + (DWORD)WTERMSIG(nStatus);
        else pObj->dwExitCode = 1;
    } else if (r < 0) {
        /* Someone else collected it (ECHILD): it has ended, code unknown. */
        pObj->bExited = 1;
        pObj->dwExitCode = 1;
    }
}

DWORD PlatWaitForSingleObject(HANDLE hProcess, DWORD dwMilliseconds)
{
    PROCOBJ* pObj = ProcFromHandle(hProcess);
    struct timespec tsStart, tsNow;
    if (!pObj) {
        PlatSetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    if (dwMilliseconds == INFINITE) {
        ProcReap(pObj, 1);
        return WAIT_OBJECT_0;
    }
    clock_gettime(CLOCK_MONOTONIC, &tsStart);
    for (;;) {
        long long llElapsed;
        ProcReap(pObj, 0);
        if (pObj->bExited) return WAIT_OBJECT_0;
        clock_gettime(CLOCK_MONOTONIC, &tsNow);
        llElapsed = (long long)(tsNow.tv_sec - tsStart.tv_sec) * 1000 + (tsNow.tv_nsec - tsStart.tv_nsec) / 1000000;
        if (llElapsed >= (long long)dwMilliseconds) return WAIT_TIMEOUT;
        PlatSleep(dwMilliseconds - (DWORD)llElapsed < 5 ? dwMilliseconds - (DWORD)llElapsed : 5);
    }
}

BOOL PlatGetExitCodeProcess(HANDLE hProcess, DWORD* pdwExitCode)
{
    PROCOBJ* pObj = ProcFromHandle(hProcess);
    if (!pObj || !pdwExitCode) {
        PlatSetLastError(pObj ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return 0;
    }
    ProcReap(pObj, 0);
    *pdwExitCode = pObj->bExited ? pObj->dwExitCode : STILL_ACTIVE;
    return 1;
}

BOOL PlatCloseHandle(HANDLE h)
{
    PROCOBJ* pObj = NULL;
    if (h && ((PROCTHREAD*)h)->dwMagic == THREAD_MAGIC) {
        pObj = (PROCOBJ*)((char*)h - offsetof(PROCOBJ, thread));
        if (pObj->dwMagic != PROC_MAGIC || !pObj->bThreadOpen) pObj = NULL;
        else pObj->bThreadOpen = 0;
    } else if (h && ((PROCOBJ*)h)->dwMagic == PROC_MAGIC && ((PROCOBJ*)h)->bProcessOpen) {
        pObj = (PROCOBJ*)h;
        pObj->bProcessOpen = 0;
    }
    if (!pObj) {
        PlatSetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (!pObj->bProcessOpen && !pObj->bThreadOpen) {
        ProcReap(pObj, 0);
        pObj->dwMagic = 0;
        pObj->thread.dwMagic = 0;
        free(pObj);
    }
    return 1;
}
