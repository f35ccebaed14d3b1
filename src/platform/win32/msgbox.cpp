/*
 * msgbox.cpp - the Windows backend: message boxes, the start-up look-up of
 * an earlier instance's window, and the front-end choice (Windows has one
 * front end: its own windows).
 *
 * Test knob: when HERON_ANSWERS is set, a message box is not shown but
 * written on standard output and answered as the headless front end of the
 * Linux build does it (=== CAPTION ===, the text, === answer: BUTTON ===,
 * the answers taken one per box from the comma-separated list, the default
 * button when it is used up), so that runs under Wine can be compared with
 * Linux runs word for word. A person never sets it.
 */
#include "platform/win32/win32.h"
#include "platform/answers.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static PLAT_MSGBOX_HANDLER s_pfnHandler;
static const PLAT_FRONTEND* s_pFront;

int PlatUiMode(void) { return UI_HEADLESS; }

void PlatSetFrontEnd(const PLAT_FRONTEND* pFront)
{
    s_pFront = pFront;
    if (pFront && pFront->pfnStart) pFront->pfnStart();
}

const PLAT_FRONTEND* PlatGetFrontEnd(void) { return s_pFront; }

void PlatSetMessageBoxHandler(PLAT_MSGBOX_HANDLER pfnHandler) { s_pfnHandler = pfnHandler; }

void PlatSetScriptVerbs(int iDialog, const PLAT_SCRIPT_VERB* pVerbs, int cVerbs)
{
    /* A person works the dialogs on Windows. */
    (void)iDialog;
    (void)pVerbs;
    (void)cVerbs;
}

void PlatConsoleLine(const char* szText)
{
    fputs(szText ? szText : "", stdout);
    fputc('\n', stdout);
    fflush(stdout);
}

int Win32ScriptedBox(const char* szText, const char* szCaption, UINT uType, int* piResult)
{
    if (!getenv("HERON_ANSWERS")) return 0;
    *piResult = PlatScriptedBox(szText, szCaption, uType);
    return 1;
}

int PlatMessageBox(PLAT_HWND hOwner, const char* szText, const char* szCaption, PLAT_UINT uType)
{
    int iResult;
    if (PlatFaultHit("MessageBox")) return 0;
    if (s_pfnHandler) return s_pfnHandler(hOwner, szText, szCaption, uType);
    if (Win32ScriptedBox(szText, szCaption, uType, &iResult)) return iResult;
    iResult = MessageBoxA((HWND)hOwner, szText, szCaption, uType);
    if (iResult == 0) Win32Fail();
    return iResult;
}

PLAT_HWND PlatFindWindow(const char* szClass, const char* szTitle) { return (PLAT_HWND)FindWindowA(szClass, szTitle); }
PLAT_HWND PlatGetLastActivePopup(PLAT_HWND hWnd) { return (PLAT_HWND)GetLastActivePopup((HWND)hWnd); }
PLAT_BOOL PlatBringWindowToTop(PLAT_HWND hWnd) { return BringWindowToTop((HWND)hWnd); }
PLAT_BOOL PlatIsIconic(PLAT_HWND hWnd) { return IsIconic((HWND)hWnd); }
PLAT_BOOL PlatRestoreWindow(PLAT_HWND hWnd) { return ShowWindow((HWND)hWnd, SW_RESTORE); }
