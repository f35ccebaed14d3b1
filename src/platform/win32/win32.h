/*
 * win32.h - the Windows backend's view of the platform interface.
 *
 * The platform headers mirror the Win32 type names with types of their own
 * (DWORD is uint32_t, HWND is void*, ...), which clash with <windows.h>. This
 * header includes them with every such name renamed to PLAT_<name>, then
 * includes <windows.h>, so a backend file sees both: PLAT_DWORD and PLAT_HWND
 * in the signatures of the Plat functions, DWORD and HWND for the real API.
 * The renamed types are the same C++ types as the originals, so the
 * functions defined here are the ones the logic calls. Macros of the
 * platform headers that <windows.h> defines again take the system's value.
 *
 * Nothing outside src/platform/win32/ includes this file.
 */
#ifndef HERON_PLATFORM_WIN32_H
#define HERON_PLATFORM_WIN32_H

#define DWORD PLAT_DWORD
#define WORD PLAT_WORD
#define BYTE PLAT_BYTE
#define LONG PLAT_LONG
#define BOOL PLAT_BOOL
#define UINT PLAT_UINT
#define HANDLE PLAT_HANDLE
#define HGLOBAL PLAT_HGLOBAL
#define HKEY PLAT_HKEY
#define HWND PLAT_HWND
#define HINSTANCE PLAT_HINSTANCE
#define WPARAM PLAT_WPARAM
#define LPARAM PLAT_LPARAM
#define LRESULT PLAT_LRESULT
#define INT_PTR PLAT_INT_PTR
#define HDC PLAT_HDC
#define HGDIOBJ PLAT_HGDIOBJ
#define HBRUSH PLAT_HBRUSH
#define HPEN PLAT_HPEN
#define HCURSOR PLAT_HCURSOR
#define COLORREF PLAT_COLORREF

#include "platform/dialog.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/ui.h"
#include "platform/version.h"

#undef DWORD
#undef WORD
#undef BYTE
#undef LONG
#undef BOOL
#undef UINT
#undef HANDLE
#undef HGLOBAL
#undef HKEY
#undef HWND
#undef HINSTANCE
#undef WPARAM
#undef LPARAM
#undef LRESULT
#undef INT_PTR
#undef HDC
#undef HGDIOBJ
#undef HBRUSH
#undef HPEN
#undef HCURSOR
#undef COLORREF

/* Platform macros that <windows.h> defines in its own way. */
#undef HKEY_LOCAL_MACHINE
#undef MAX_PATH
#undef LOWORD
#undef HIWORD
#undef MAKELONG
#undef MAKEWPARAM
#undef MAKELPARAM

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

/* The platform's HKEY_LOCAL_MACHINE (0x80000002, not sign-extended). */
#define PLAT_HKLM ((PLAT_HKEY)(uintptr_t)0x80000002u)

/* The last error and the fault table are shared with the Linux build
 * (posix/errors.cpp, portable C): arms the faults of HERON_FAULT once; 1, or
 * 0 after a message on stderr. */
int PosixFaultInitFromEnv(void);
/* Bounded copy (posix/errors.cpp as well): at most cb-1 bytes and a NUL; 1
 * when the whole text fitted. */
int PosixCopy(char* szDst, size_t cbDst, const char* szSrc);

/* Copies GetLastError into the platform's last error and returns 0. */
int Win32Fail(void);
/* Sets the platform's last error to dwError and returns 0. */
int Win32FailWith(DWORD dwError);
/* The module whose resources are the package (the running executable, or
 * the file PlatSetModuleOverride named). */
HMODULE Win32PackageModule(void);
/* The message box of the test knob HERON_ANSWERS, when it is set: prints the
 * box on standard output as the headless Linux front end does and answers it
 * without a window (1 with *piResult); 0 when the variable is unset. */
int Win32ScriptedBox(const char* szText, const char* szCaption, UINT uType, int* piResult);

#endif
