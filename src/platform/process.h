/*
 * process.h - child processes (CreateProcessA, WaitForSingleObject,
 * GetExitCodeProcess, CloseHandle).
 *
 * The Linux backend splits the command line by the Microsoft C runtime's
 * rules, passes the whole line unchanged in HERON_COMMAND_LINE, searches the
 * program as CreateProcessA does (the installer's own directory, the current
 * directory, then PATH; ".exe" added to a name without an extension) and runs
 * ".bat"/".cmd" files through /bin/sh.
 */
#ifndef HERON_PLATFORM_PROCESS_H
#define HERON_PLATFORM_PROCESS_H

#include "platform/platform.h"

#define STILL_ACTIVE 259
#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0
#define WAIT_TIMEOUT 258
#define WAIT_FAILED 0xFFFFFFFFu

typedef struct PLAT_PROCESS {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
} PLAT_PROCESS;

/* CreateProcessA with no application name: szCommandLine names the program
 * first. szCurrentDir NULL keeps the installer's current directory. The
 * flags mirror the installer's uses: bNewConsole asks for a new console
 * window (ignored on Linux), bInheritableHandle marks the process handle
 * inheritable with a null access list. 1 or 0 (2 when the program is missing). */
BOOL PlatCreateProcess(const char* szCommandLine, const char* szCurrentDir, int bNewConsole,
                       int bInheritableHandle, PLAT_PROCESS* pProcess);
/* WaitForSingleObject on a process handle: WAIT_OBJECT_0, WAIT_TIMEOUT, or
 * WAIT_FAILED (6 in the last error) for a handle that is not a process. */
DWORD PlatWaitForSingleObject(HANDLE hProcess, DWORD dwMilliseconds);
/* GetExitCodeProcess: STILL_ACTIVE while the child runs; afterwards the
 * child's exit status (on Linux 128 + the signal for a killed child). */
BOOL PlatGetExitCodeProcess(HANDLE hProcess, DWORD* pdwExitCode);
BOOL PlatCloseHandle(HANDLE h);

/* Splits a command line into arguments by the Microsoft C runtime's rules
 * (2n backslashes + quote: n backslashes and a quote toggle; 2n+1: n and a
 * literal quote; backslashes elsewhere literal; "" inside quotes a literal
 * quote; the program token only drops its quotes). Writes at most cArgsMax
 * pointers into ppszArgs, pointing into szBuf (cbBuf bytes, at least
 * strlen(szCommandLine) + 1). Returns the number of arguments, also those
 * beyond cArgsMax, or -1 when szBuf is too small. Pure: no system calls. */
int PlatSplitCommandLine(const char* szCommandLine, char** ppszArgs, int cArgsMax, char* szBuf, size_t cbBuf);

/* Takes the next directory from a search path list (the PATH variable's
 * text), starting at *piPos and advancing it. A list that contains ";" or a
 * backslash is in Windows form and splits on ";" (quotes around an entry
 * dropped), any other on ":". Empty entries and entries longer than cbDir-1
 * are skipped. 1 with the entry in szDir, 0 at the end of the list. Pure. */
int PlatNextSearchDir(const char* szList, size_t* piPos, char* szDir, size_t cbDir);

#endif
