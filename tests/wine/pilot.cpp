/*
 * pilot.cpp - a person's click for the Wine tests: waits for a visible
 * dialog (of any process in the same Wine prefix) with a visible, enabled
 * control of the given id, and, when --when names a text, one of whose
 * controls shows that text; then clicks the control (a button with
 * BM_CLICK, as a person's click; any other control's command goes to the
 * dialog) and reports which dialog it pressed. --steady MS asks that all this holds for MS milliseconds on end
 * first, so that a page the program passes on its own is left alone.
 *
 * --shot FILE first saves the dialog's picture as a 24-bit BMP file (the
 * screenshots of the README); ID 0 then clicks nothing.
 *
 *   pilot.exe [--when TEXT] [--steady MS] [--shot FILE] ID SECONDS
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

/* The window's picture as it is on the screen, into a BMP file. */
static int PilotShot(HWND hWnd, const char* szFile)
{
    RECT rc;
    HDC hdcScreen, hdcMem;
    HBITMAP hbm;
    BITMAPINFOHEADER bih;
    BITMAPFILEHEADER bfh;
    int cx, cy, cbRow, bOk = 0;
    unsigned char* pb;
    FILE* fp;
    SetForegroundWindow(hWnd);
    RedrawWindow(hWnd, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(300);
    if (!GetWindowRect(hWnd, &rc)) return 0;
    cx = rc.right - rc.left;
    cy = rc.bottom - rc.top;
    cbRow = (cx * 3 + 3) & ~3;
    hdcScreen = GetDC(NULL);
    hdcMem = CreateCompatibleDC(hdcScreen);
    hbm = CreateCompatibleBitmap(hdcScreen, cx, cy);
    SelectObject(hdcMem, hbm);
    BitBlt(hdcMem, 0, 0, cx, cy, hdcScreen, rc.left, rc.top, SRCCOPY);
    memset(&bih, 0, sizeof(bih));
    bih.biSize = sizeof(bih);
    bih.biWidth = cx;
    bih.biHeight = cy;
    bih.biPlanes = 1;
    bih.biBitCount = 24;
    bih.biCompression = BI_RGB;
    pb = (unsigned char*)malloc((size_t)cbRow * cy);
    if (pb && GetDIBits(hdcMem, hbm, 0, cy, pb, (BITMAPINFO*)&bih, DIB_RGB_COLORS) == cy) {
        memset(&bfh, 0, sizeof(bfh));
        bfh.bfType = 0x4D42;
        bfh.bfOffBits = sizeof(bfh) + sizeof(bih);
        bfh.bfSize = bfh.bfOffBits + (DWORD)cbRow * cy;
        fp = fopen(szFile, "wb");
        if (fp) {
            bOk = fwrite(&bfh, sizeof(bfh), 1, fp) == 1 && fwrite(&bih, sizeof(bih), 1, fp) == 1 &&
                  fwrite(pb, (size_t)cbRow * cy, 1, fp) == 1;
            if (fclose(fp) != 0) bOk = 0;
        }
    }
    free(pb);
    DeleteObject(hbm);
    DeleteDC(hdcMem);
    ReleaseDC(NULL, hdcScreen);
    return bOk;
}

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
    hCtl = p->iId ? GetDlgItem(hWnd, p->iId) : NULL;
    if (p->iId && (!hCtl || !IsWindowVisible(hCtl) || !IsWindowEnabled(hCtl))) return TRUE;
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
    const char* szShot = NULL;
    HWND hLast = NULL;
    memset(&pilot, 0, sizeof(pilot));
    while (argc > i + 1 && argv[i][0] == '-' && argv[i][1] == '-') {
        if (strcmp(argv[i], "--when") == 0) pilot.szWhen = argv[i + 1];
        else if (strcmp(argv[i], "--steady") == 0) dwSteady = (DWORD)atoi(argv[i + 1]);
        else if (strcmp(argv[i], "--shot") == 0) szShot = argv[i + 1];
        else break;
        i += 2;
    }
    if (argc != i + 2) {
        fputs("usage: pilot.exe [--when TEXT] [--steady MS] [--shot FILE] ID SECONDS\n", stderr);
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
            char szCaption[256], szClass[32];
            GetWindowTextA(pilot.hFound, szCaption, sizeof(szCaption));
            if (szShot) {
                if (!PilotShot(pilot.hFound, szShot)) {
                    printf("pilot: cannot save %s\n", szShot);
                    return 1;
                }
                printf("pilot: saved \"%s\" as %s\n", szCaption, szShot);
                if (!pilot.iId) return 0;
            }
            /* A button clicks itself (a radio button also checks itself);
             * any other control's command goes to the dialog. */
            GetClassNameA(pilot.hControl, szClass, sizeof(szClass));
            if (_stricmp(szClass, "Button") == 0)
                PostMessageA(pilot.hControl, BM_CLICK, 0, 0);
            else
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
