/*
 * pilot.cpp - a person's click for the Wine tests: waits for a visible
 * dialog (of any process in the same Wine prefix) with a visible, enabled
 * control of the given id, and, when --when names a text, one of whose
 * controls shows that text; then clicks the control (WM_COMMAND with
 * BN_CLICKED, as a button's click sends it) and reports which dialog it
 * pressed. --steady MS asks that all this holds for MS milliseconds on end
 * first, so that a page the program passes on its own is left alone.
 *
 *   pilot.exe [--when TEXT] [--steady MS] ID SECONDS
 *
 * Exit code 0 pressed, 1 no such dialog within SECONDS, 2 usage.
 */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

struct PILOT {
    int iId;
    const char* szWhen;
    HWND hFound;
    HWND hControl;
    int bTextSeen;
};

static BOOL CALLBACK PilotChild(HWND hChild, LPARAM lParam)
{
    PILOT* p = (PILOT*)lParam;
    char sz[2048];
    if (IsWindowVisible(hChild) && GetWindowTextA(hChild, sz, sizeof(sz)) > 0 && strstr(sz, p->szWhen))
        p->bTextSeen = 1;
    return TRUE;
}

static BOOL CALLBACK PilotTop(HWND hWnd, LPARAM lParam)
{
    PILOT* p = (PILOT*)lParam;
    char szClass[32];
    HWND hCtl;
    if (!IsWindowVisible(hWnd) || !GetClassNameA(hWnd, szClass, sizeof(szClass)) || strcmp(szClass, "#32770") != 0)
        return TRUE;
    hCtl = GetDlgItem(hWnd, p->iId);
    if (!hCtl || !IsWindowVisible(hCtl) || !IsWindowEnabled(hCtl)) return TRUE;
    if (p->szWhen) {
        p->bTextSeen = 0;
        EnumChildWindows(hWnd, PilotChild, lParam);
        if (!p->bTextSeen) return TRUE;
    }
    p->hFound = hWnd;
    p->hControl = hCtl;
    return FALSE;
}

int main(int argc, char** argv)
{
    PILOT pilot;
    int i = 1;
    DWORD dwEnd, dwSteady = 0, dwSince = 0;
    HWND hLast = NULL;
    memset(&pilot, 0, sizeof(pilot));
    while (argc > i + 1 && argv[i][0] == '-' && argv[i][1] == '-') {
        if (strcmp(argv[i], "--when") == 0) pilot.szWhen = argv[i + 1];
        else if (strcmp(argv[i], "--steady") == 0) dwSteady = (DWORD)atoi(argv[i + 1]);
        else break;
        i += 2;
    }
    if (argc != i + 2) {
        fputs("usage: pilot.exe [--when TEXT] [--steady MS] ID SECONDS\n", stderr);
        return 2;
    }
    pilot.iId = atoi(argv[i]);
    dwEnd = GetTickCount() + (DWORD)atoi(argv[i + 1]) * 1000;
    while ((LONG)(GetTickCount() - dwEnd) < 0) {
        pilot.hFound = NULL;
        EnumWindows(PilotTop, (LPARAM)&pilot);
        if (pilot.hFound != hLast) {
            hLast = pilot.hFound;
            dwSince = GetTickCount();
        }
        if (pilot.hFound && GetTickCount() - dwSince >= dwSteady) {
            char szCaption[256];
            GetWindowTextA(pilot.hFound, szCaption, sizeof(szCaption));
            PostMessageA(pilot.hFound, WM_COMMAND, MAKEWPARAM(pilot.iId, BN_CLICKED), (LPARAM)pilot.hControl);
            printf("pilot: pressed %d in \"%s\"\n", pilot.iId, szCaption);
            return 0;
        }
        Sleep(100);
    }
    printf("pilot: no dialog with control %d%s%s\n", pilot.iId, pilot.szWhen ? " showing " : "",
           pilot.szWhen ? pilot.szWhen : "");
    return 1;
}
