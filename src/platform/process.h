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
/* WaitForSingleObject on a process handle: WAIT_OBJECT_0 or WAIT_TIMEOUT. */
DWORD PlatWaitForSingleObject(HANDLE hProcess, DWORD dwMilliseconds);
/* GetExitCodeProcess: STILL_ACTIVE while the child runs. */
BOOL PlatGetExitCodeProcess(HANDLE hProcess, DWORD* pdwExitCode);
BOOL PlatCloseHandle(HANDLE h);

/* Splits a command line into arguments by the Microsoft C runtime's rules
 * (2n backslashes + quote: n backslashes and a quote toggle; 2n+1: n and a
 * literal quote; backslashes elsewhere literal; "" inside quotes a literal
 * quote). Writes at most cArgsMax pointers into ppszArgs, pointing into
 * szBuf (cbBuf bytes). Returns the number of arguments. */
int PlatSplitCommandLine(const char* szCommandLine, char** ppszArgs, int cArgsMax, char* szBuf, size_t cbBuf);

#endif
