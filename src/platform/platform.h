/*
 * platform.h - the only door from the installer's logic to the operating
 * system.
 *
 * Every operation the logic needs from the system is declared here under one
 * naming pattern: "Plat" followed by the Win32 name it mirrors (PlatDeleteFile
 * mirrors DeleteFileA), or by a short descriptive name where no single Win32
 * call matches (PlatFopen mirrors the C runtime's fopen). The Linux backend in
 * platform/posix/ emulates the Win32 behaviour the logic relies on; a Windows
 * backend maps the same calls onto the real API. Logic above this layer never
 * includes a system header for I/O, processes, time or memory.
 *
 * Divisions:
 *   1. Types and constants mirrored from Win32
 *   2. Last error and fault injection
 *   3. Paths, the emulated machine and the current directory
 *   4. Buffered file streams (text mode = CRLF on disk)
 *   5. Files and directories
 *   6. Environment, time, disk space
 *   7. Memory blocks and heap memory
 *   8. Resources of the executable (the package store)
 *   -  The installer's entry (HeronMain, provided by the logic)
 *
 * The other operations have headers of their own: platform/registry.h
 * (registry, read only), platform/profile.h (profile files),
 * platform/process.h (processes), platform/version.h (version resources),
 * platform/ui.h (message boxes, front ends, script verbs) and
 * platform/dialog.h (the window model: dialogs, controls, messages,
 * drawing); platform/pe.h and platform/container.h read the executable's
 * formats.
 *
 * Paths given to and returned by these operations are Windows paths
 * ("C:\VIREO\GARNET", "Z:\tmp\run"); the Linux backend translates them at the
 * last moment.
 */
#ifndef HERON_PLATFORM_H
#define HERON_PLATFORM_H

#include <stddef.h>
#include <stdint.h>

/* ---- 1. Types and constants mirrored from Win32 ---------------------- */

typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef uint8_t BYTE;
typedef int32_t LONG;
typedef int BOOL;
typedef unsigned int UINT;
typedef void* HANDLE;
typedef void* HGLOBAL;
typedef void* HKEY;
typedef void* HWND;
typedef void* HINSTANCE;

#ifndef MAX_PATH
#define MAX_PATH 260
#endif

#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_NO_MORE_FILES 18
#define ERROR_WRITE_FAULT 29
#define ERROR_READ_FAULT 30
#define ERROR_SHARING_VIOLATION 32
#define ERROR_HANDLE_EOF 38
#define ERROR_FILE_EXISTS 80
#define ERROR_INVALID_PARAMETER 87
#define ERROR_DISK_FULL 112
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_DIR_NOT_EMPTY 145
#define ERROR_FILENAME_EXCED_RANGE 206
#define ERROR_ALREADY_EXISTS 183
#define ERROR_MORE_DATA 234
#define ERROR_NO_MORE_ITEMS 259
#define ERROR_DIRECTORY 267

#define FILE_ATTRIBUTE_READONLY 0x01
#define FILE_ATTRIBUTE_DIRECTORY 0x10
#define FILE_ATTRIBUTE_NORMAL 0x80
#define FILE_ATTRIBUTE_REPARSE_POINT 0x400 /* a symbolic link or junction */
#define INVALID_FILE_ATTRIBUTES ((DWORD)0xFFFFFFFF)

#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040

/* ---- 2. Last error and fault injection ------------------------------- */

/* The Win32 error code of the last failed operation of this layer. */
DWORD PlatGetLastError(void);
void PlatSetLastError(DWORD dwError);

/*
 * Fault injection for tests. PlatFaultArm makes the nth call (1 = the next
 * one) of the operation named szOp fail with dwError, and every later call too
 * when bSticky is set. The names are those of the functions below without the
 * "Plat" prefix ("MoveFile", "Fopen", "Fwrite", "GlobalAlloc", "HeapAlloc",
 * "CreateDirectory", ...); PlatFaultOpName lists them all. Up to 16
 * operations may be armed at once. Arming a name not in the list, or a 17th
 * operation, arms nothing, writes why on stderr and returns 0.
 * The environment variable HERON_FAULT ("Op:n:error[:sticky][:exit],...") arms
 * faults at the start of the program (or the first call of this layer), so a
 * test can fail an operation inside a child process of the installer; a value
 * that cannot be armed ends the program with exit code 1 and a message. The
 * word "exit" ends the process at the call instead (SIGKILL, as a power cut:
 * nothing buffered is written). HERON_FAULT_TRACE names a file to which every
 * operation's name is appended as it is called. Neither variable is handed to
 * the processes started through PlatCreateProcess.
 */
int PlatFaultArm(const char* szOp, int nCall, DWORD dwError, int bSticky);
void PlatFaultReset(void);
/* The operations that can be armed: iOp from 0 to PlatFaultOpCount() - 1. */
int PlatFaultOpCount(void);
const char* PlatFaultOpName(int iOp);
/* 1 when the operation must fail now (the last error is then set). */
int PlatFaultHit(const char* szOp);

/* ---- 3. Paths, the emulated machine and the current directory -------- */

/*
 * GetCurrentDirectoryA: writes the current directory in Windows form (no
 * trailing backslash unless it is a drive root) and returns its length, or
 * the size needed including the NUL when cchBuf is too small, 0 on failure.
 */
DWORD PlatGetCurrentDirectory(DWORD cchBuf, char* szBuf);
/* SetCurrentDirectoryA: 1 or 0 (2, 3 or 267 in the last error). */
BOOL PlatSetCurrentDirectory(const char* szPath);
/* GetModuleFileNameA for the running executable: length, 0 on failure. */
DWORD PlatGetModuleFileName(char* szBuf, DWORD cchBuf);
/* GetWindowsDirectoryA ("C:\WINDOWS") and GetSystemDirectoryA
 * ("C:\WINDOWS\SYSTEM32"): length, or the size needed when too small. */
UINT PlatGetWindowsDirectory(char* szBuf, UINT cchBuf);
UINT PlatGetSystemDirectory(char* szBuf, UINT cchBuf);
/*
 * Translates a Windows path into the host's path (the Linux path on the
 * emulation, the same text on Windows). Existing components are matched
 * without regard to case. Returns 1, or 0 with ERROR_PATH_NOT_FOUND /
 * ERROR_INSUFFICIENT_BUFFER when the result does not fit.
 */
int PlatHostPath(const char* szPath, char* szHost, size_t cbHost);
/* The reverse: the Windows form of a host path. */
int PlatWindowsPath(const char* szHost, char* szPath, size_t cbPath);

/* ---- 4. Buffered file streams ----------------------------------------- */

/*
 * A stream as the C runtime gives it. Modes are the C runtime's ("rb", "r+b",
 * "wb", "w+", "a", "r", ...): without "b" the stream is in text mode, which
 * stores a line feed as CR LF and drops a CR before a LF when reading.
 * Opening fails (NULL) with the Win32 code in the last error: 2 missing file,
 * 3 missing directory, 5 read-only file opened for writing or a directory,
 * 32 a file that another process holds.
 */
typedef struct PLATFILE PLATFILE;

PLATFILE* PlatFopen(const char* szPath, const char* szMode);
int PlatFclose(PLATFILE* pf);
size_t PlatFread(void* pv, size_t cbItem, size_t cItems, PLATFILE* pf);
size_t PlatFwrite(const void* pv, size_t cbItem, size_t cItems, PLATFILE* pf);
int PlatFgetc(PLATFILE* pf); /* -1 at the end */
/* fgets: at most cch-1 characters, stops after a line feed; NULL at the end. */
char* PlatFgets(char* sz, int cch, PLATFILE* pf);
int PlatFputs(const char* sz, PLATFILE* pf);
int PlatFflush(PLATFILE* pf);
/* nOrigin: 0 start, 1 current, 2 end, as SEEK_SET, SEEK_CUR, SEEK_END. */
int PlatFseek(PLATFILE* pf, long long llOffset, int nOrigin);
long long PlatFtell(PLATFILE* pf);
int PlatFeof(PLATFILE* pf);
int PlatFerror(PLATFILE* pf);
/* Size of an open stream's file, 0 when unknown. */
long long PlatFsize(PLATFILE* pf);

/* ---- 5. Files and directories ---------------------------------------- */

BOOL PlatCreateDirectory(const char* szPath);  /* 183 when it exists, 3 parent missing */
BOOL PlatRemoveDirectory(const char* szPath);  /* 145 not empty, 2, 3, 267 */
BOOL PlatDeleteFile(const char* szPath);       /* 2, 3, 5 read-only/directory/loaded, 32 held */
BOOL PlatMoveFile(const char* szFrom, const char* szTo); /* 183 target exists, 2, 3 */
/* MoveFileExA with MOVEFILE_REPLACE_EXISTING: szFrom takes szTo's place in
 * one step (an existing szTo is replaced, never first deleted); 2, 3, 5. */
BOOL PlatMoveFileReplace(const char* szFrom, const char* szTo);
DWORD PlatGetFileAttributes(const char* szPath); /* INVALID_FILE_ATTRIBUTES on failure */
BOOL PlatSetFileAttributes(const char* szPath, DWORD dwAttributes);
/* The size of a file from the file system; 0 with the last error set when it cannot be read. */
BOOL PlatGetFileSize(const char* szPath, unsigned long long* pcbSize);
/* Modification time in seconds since 1970-01-01 00:00 UTC. */
BOOL PlatGetFileTime(const char* szPath, long long* pllTime);
BOOL PlatSetFileTime(const char* szPath, long long llTime);
/* Marks a file the installer wrote as a program (the package's tools) as
 * runnable: the execute bits on Linux, nothing on Windows. */
BOOL PlatMarkProgram(const char* szPath);

typedef struct PLAT_FIND_DATA {
    DWORD dwFileAttributes;
    unsigned long long cbFileSize;
    long long llWriteTime;
    char cFileName[MAX_PATH];
} PLAT_FIND_DATA;

/*
 * FindFirstFileA: szPattern is a directory, a backslash and a pattern with
 * "*" and "?" matched without regard to case ("*" and "*.*" match every name,
 * "." and ".." included). Entries come sorted without regard to case.
 * Returns NULL with 2 (no match) or 3 (no directory) in the last error.
 */
HANDLE PlatFindFirstFile(const char* szPattern, PLAT_FIND_DATA* pData);
/* FindNextFileA: 0 with 18 in the last error at the end of the list. */
BOOL PlatFindNextFile(HANDLE hFind, PLAT_FIND_DATA* pData);
BOOL PlatFindClose(HANDLE hFind);

/* ---- 6. Environment, time, disk space -------------------------------- */

/* GetEnvironmentVariableA: length, the size needed with NUL when too small, 0 when unset. */
DWORD PlatGetEnvironmentVariable(const char* szName, char* szBuf, DWORD cchBuf);
/* Seconds since 1970-01-01 00:00 UTC (HERON_TIME overrides it for tests). */
long long PlatTime(void);
/* The local time of llTime in the C runtime's fixed form "Www Mmm dd hh:mm:ss yyyy". */
void PlatLocalTimeText(long long llTime, char* szBuf, size_t cbBuf);
/* GetDiskFreeSpaceExA for the volume of a directory (HERON_FREE_KB overrides). */
BOOL PlatGetDiskFreeSpaceEx(const char* szDir, unsigned long long* pcbFreeToCaller,
                            unsigned long long* pcbTotal, unsigned long long* pcbTotalFree);
/* Waits the given milliseconds. */
void PlatSleep(DWORD dwMilliseconds);
/* GetTickCount: milliseconds from a fixed moment, wrapping at 32 bits; only
 * differences mean anything. */
DWORD PlatGetTickCount(void);
/* Ends the process at once with the exit code (ExitProcess). The exit hook,
 * when one is set, runs first, once, with the code. */
void PlatExitProcess(UINT uExitCode);
/* Sets the function that PlatExitProcess calls before the process ends (NULL
 * removes it); the hook must not end the process itself. */
void PlatSetExitHook(void (*pfnHook)(UINT uExitCode));

/* ---- 7. Memory blocks and heap memory -------------------------------- */

/* GlobalAlloc with GMEM_MOVEABLE | GMEM_ZEROINIT semantics; NULL on failure (8). */
HGLOBAL PlatGlobalAlloc(UINT uFlags, size_t cbBytes);
void* PlatGlobalLock(HGLOBAL hMem);
BOOL PlatGlobalUnlock(HGLOBAL hMem);
HGLOBAL PlatGlobalFree(HGLOBAL hMem); /* NULL on success */
size_t PlatGlobalSize(HGLOBAL hMem);
/* Zero-filled heap memory; NULL on failure (8). */
void* PlatHeapAlloc(size_t cbBytes);
void PlatHeapFree(void* pv);

/* ---- 8. Resources of the executable ---------------------------------- */

/*
 * The package store: FindResourceA/SizeofResource/LoadResource/LockResource
 * in one call. Finds the resource of the named type and id in the running
 * executable (language 1033) and returns its read-only bytes, valid for the
 * whole run, with their length in *pcbSize; NULL when it is missing.
 */
const BYTE* PlatFindResource(const char* szType, DWORD dwId, DWORD* pcbSize);
/* LoadStringA: copies string dwId (at most cchBuf-1 characters) and returns
 * its length, 0 when the string is missing or empty. */
int PlatLoadString(DWORD dwId, char* szBuf, int cchBuf);
/* Tests: read the package of this file instead of the running executable. */
void PlatSetModuleOverride(const char* szHostPath);
/* Tests and fuzzing, Linux build only: read the package of the file image
 * pb[0..cb) (kept by the caller until the next PlatSetModuleOverride or
 * PlatSetModuleImage) instead of the running executable. */
void PlatSetModuleImage(const BYTE* pb, size_t cb);
/*
 * Where the package builder stored the byte sum of the executable file open
 * in pf: 4 bytes, little-endian, that the sum leaves out (offset 28 of a
 * Portable Executable; on the Linux build, 12 bytes into the container's
 * trailer, file size - 20). 1 with the offset, 0 when the file carries no
 * stored sum. The stream's position is kept.
 */
BOOL PlatStoredSumOffset(PLATFILE* pf, long long* pllOffset);

/* ---- The installer's entry -------------------------------------------- */

/* Implemented by the logic: the command line without the program name;
 * returns the process exit code. The platform's process entry calls it. */
int HeronMain(HINSTANCE hInstance, const char* szCmdLine);

#endif /* HERON_PLATFORM_H */
