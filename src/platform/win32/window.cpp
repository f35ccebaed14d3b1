/*
 * window.cpp - the Windows backend of the window interface (platform/
 * dialog.h): real dialogs, controls, the message queue, timers, GDI drawing
 * and cursors.
 *
 * Dialog resources: the program's templates (PlatFindDialogTemplate) are
 * turned into an in-memory DLGTEMPLATE with DS_SETFONT and handed to
 * CreateDialogIndirectParamA / DialogBoxIndirectParamA, so both builds
 * draw the same dialogs from one description.
 *
 * Procedures: the logic's dialog and window procedures have the platform's
 * types. A dialog's procedure is handed over through WM_INITDIALOG's
 * parameter and kept in a window property; a registered class's procedure
 * is kept in a small table by class name. WM_CREATE's parameter is given
 * to the logic as a PLAT_CREATESTRUCT (Win32's CREATESTRUCT has a menu
 * field the platform's has not).
 */
#include "platform/win32/win32.h"

#include <stdlib.h>
#include <string.h>

#define WIN_PROP_DLGPROC "HeronDlgProc"

/* ---- Dialog templates --------------------------------------------------- */

typedef struct TPLBUF {
    BYTE* pb;
    size_t cb;
    size_t cbAlloc;
    int bFailed;
} TPLBUF;

static void TplAlign(TPLBUF* pBuf, size_t cbAlign)
{
    while (!pBuf->bFailed && pBuf->cb % cbAlign) {
        if (pBuf->cb == pBuf->cbAlloc) {
            pBuf->bFailed = 1;
            return;
        }
        pBuf->pb[pBuf->cb++] = 0;
    }
}

static void TplBytes(TPLBUF* pBuf, const void* pv, size_t cb)
{
    if (pBuf->bFailed || pBuf->cbAlloc - pBuf->cb < cb) {
        pBuf->bFailed = 1;
        return;
    }
    memcpy(pBuf->pb + pBuf->cb, pv, cb);
    pBuf->cb += cb;
}

static void TplWord(TPLBUF* pBuf, WORD w) { TplBytes(pBuf, &w, 2); }
static void TplDword(TPLBUF* pBuf, DWORD dw) { TplBytes(pBuf, &dw, 4); }

/* A single-byte text as UTF-16 with its NUL (Latin-1 units). */
static void TplText(TPLBUF* pBuf, const char* sz)
{
    const unsigned char* p = (const unsigned char*)(sz ? sz : "");
    for (; *p; p++) TplWord(pBuf, (WORD)*p);
    TplWord(pBuf, 0);
}

/* The window class and the Win32 style of a template item. */
static WORD TplClass(const PLAT_DLGITEM* pItem, DWORD* pdwStyle)
{
    DWORD dwStyle = pItem->dwStyle | WS_CHILD;
    WORD wClass = 0x0082; /* static */
    switch (pItem->iKind) {
    case PLAT_CTL_EDIT: wClass = 0x0081; break;
    case PLAT_CTL_BUTTON: wClass = 0x0080; break; /* BS_PUSHBUTTON 0, BS_DEFPUSHBUTTON 1 */
    case PLAT_CTL_RADIO:
        wClass = 0x0080;
        dwStyle |= BS_AUTORADIOBUTTON;
        break;
    case PLAT_CTL_GROUPBOX:
        wClass = 0x0080;
        dwStyle |= BS_GROUPBOX;
        break;
    case PLAT_CTL_COMBO:
        wClass = 0x0085;
        dwStyle |= CBS_DROPDOWN;
        break;
    case PLAT_CTL_LIST: wClass = 0x0083; break;
    case PLAT_CTL_ICON:
        wClass = 0x0082;
        dwStyle |= SS_ICON;
        break;
    case PLAT_CTL_CUSTOM: wClass = 0; break;
    default: break;
    }
    *pdwStyle = dwStyle;
    return wClass;
}

/* Builds the DLGTEMPLATE of pTemplate into a malloc'ed block; NULL when it
 * cannot be built. */
static DLGTEMPLATE* TplBuild(const PLAT_DLGTEMPLATE* pTemplate)
{
    TPLBUF buf;
    int i;
    size_t cbAlloc = 256;
    if (!pTemplate || pTemplate->cItems < 0 || pTemplate->cItems > 255) return NULL;
    for (i = 0; i < pTemplate->cItems; i++)
        cbAlloc += 64 + 2 * (strlen(pTemplate->pItems[i].szText ? pTemplate->pItems[i].szText : "") + 1);
    cbAlloc += 2 * (strlen(pTemplate->szCaption ? pTemplate->szCaption : "") +
                    strlen(pTemplate->szFont ? pTemplate->szFont : "") + 2);
    memset(&buf, 0, sizeof(buf));
    buf.pb = (BYTE*)calloc(1, cbAlloc);
    buf.cbAlloc = cbAlloc;
    if (!buf.pb) return NULL;

    TplDword(&buf, pTemplate->dwStyle | DS_SETFONT);
    TplDword(&buf, 0); /* extended style */
    TplWord(&buf, (WORD)pTemplate->cItems);
    TplWord(&buf, 0);
    TplWord(&buf, 0);
    TplWord(&buf, (WORD)pTemplate->cx);
    TplWord(&buf, (WORD)pTemplate->cy);
    TplWord(&buf, 0); /* no menu */
    TplWord(&buf, 0); /* the dialog class */
    TplText(&buf, pTemplate->szCaption);
    TplWord(&buf, (WORD)pTemplate->iPointSize);
    TplText(&buf, pTemplate->szFont ? pTemplate->szFont : "MS Sans Serif");
    for (i = 0; i < pTemplate->cItems; i++) {
        const PLAT_DLGITEM* pItem = &pTemplate->pItems[i];
        DWORD dwStyle;
        WORD wClass = TplClass(pItem, &dwStyle);
        TplAlign(&buf, 4);
        TplDword(&buf, dwStyle);
        TplDword(&buf, 0);
        TplWord(&buf, (WORD)pItem->x);
        TplWord(&buf, (WORD)pItem->y);
        TplWord(&buf, (WORD)pItem->cx);
        TplWord(&buf, (WORD)pItem->cy);
        TplWord(&buf, (WORD)pItem->iId);
        if (wClass) {
            TplWord(&buf, 0xFFFF);
            TplWord(&buf, wClass);
        } else {
            TplText(&buf, pItem->szText); /* a custom item names its class */
        }
        /* An icon without an icon resource of that name shows nothing. */
        TplText(&buf, pItem->iKind == PLAT_CTL_ICON || wClass == 0 ? "" : pItem->szText);
        TplWord(&buf, 0); /* no creation data */
    }
    if (buf.bFailed) {
        free(buf.pb);
        return NULL;
    }
    return (DLGTEMPLATE*)buf.pb;
}

/* ---- Procedures --------------------------------------------------------- */

typedef struct DLGSTART {
    PLAT_DLGPROC pfnDlg;
    PLAT_LPARAM lParam;
} DLGSTART;

static INT_PTR CALLBACK WinDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    PLAT_DLGPROC pfn;
    if (uMsg == WM_INITDIALOG) {
        const DLGSTART* pStart = (const DLGSTART*)lParam;
        SetPropA(hDlg, WIN_PROP_DLGPROC, (HANDLE)pStart->pfnDlg);
        return pStart->pfnDlg((PLAT_HWND)hDlg, uMsg, wParam, pStart->lParam);
    }
    pfn = (PLAT_DLGPROC)GetPropA(hDlg, WIN_PROP_DLGPROC);
    if (!pfn) return FALSE;
    if (uMsg == WM_NCDESTROY) RemovePropA(hDlg, WIN_PROP_DLGPROC);
    return pfn((PLAT_HWND)hDlg, uMsg, wParam, lParam);
}

#define WIN_CLASSES 16
typedef struct WINCLASS {
    char szName[64];
    PLAT_WNDPROC pfnWnd;
} WINCLASS;
static WINCLASS s_aClasses[WIN_CLASSES];
static int s_cClasses;

static PLAT_WNDPROC WinClassProc(HWND hWnd)
{
    char szName[64];
    int i;
    if (!GetClassNameA(hWnd, szName, sizeof(szName))) return NULL;
    for (i = 0; i < s_cClasses; i++) {
        if (_stricmp(s_aClasses[i].szName, szName) == 0) return s_aClasses[i].pfnWnd;
    }
    return NULL;
}

static LRESULT CALLBACK WinWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    PLAT_WNDPROC pfn = WinClassProc(hWnd);
    if (!pfn) return DefWindowProcA(hWnd, uMsg, wParam, lParam);
    if (uMsg == WM_CREATE) {
        const CREATESTRUCTA* pcs = (const CREATESTRUCTA*)lParam;
        PLAT_CREATESTRUCT cs;
        memset(&cs, 0, sizeof(cs));
        cs.lpCreateParams = pcs->lpCreateParams;
        cs.hInstance = pcs->hInstance;
        cs.hwndParent = pcs->hwndParent;
        cs.cx = pcs->cx;
        cs.cy = pcs->cy;
        cs.x = pcs->x;
        cs.y = pcs->y;
        cs.style = (PLAT_DWORD)pcs->style;
        cs.lpszName = pcs->lpszName;
        cs.lpszClass = pcs->lpszClass;
        return pfn((PLAT_HWND)hWnd, uMsg, wParam, (PLAT_LPARAM)&cs);
    }
    return pfn((PLAT_HWND)hWnd, uMsg, wParam, lParam);
}

/* ---- 3. Creating and ending dialogs, windows and classes ---------------- */

PLAT_HWND PlatCreateDialogIndirectParam(PLAT_HINSTANCE hInstance, const PLAT_DLGTEMPLATE* pTemplate,
                                        PLAT_HWND hOwner, PLAT_DLGPROC pfnDlg, PLAT_LPARAM lParam)
{
    DLGTEMPLATE* pDlg = TplBuild(pTemplate);
    DLGSTART start;
    HWND h;
    (void)hInstance;
    if (!pDlg) {
        Win32FailWith(1813); /* ERROR_RESOURCE_TYPE_NOT_FOUND */
        return NULL;
    }
    start.pfnDlg = pfnDlg;
    start.lParam = lParam;
    h = CreateDialogIndirectParamA(GetModuleHandleA(NULL), pDlg, (HWND)hOwner, WinDlgProc, (LPARAM)&start);
    if (!h) Win32Fail();
    free(pDlg);
    return (PLAT_HWND)h;
}

PLAT_HWND PlatCreateDialogParam(PLAT_HINSTANCE hInstance, int iTemplate, PLAT_HWND hOwner, PLAT_DLGPROC pfnDlg,
                                PLAT_LPARAM lParam)
{
    return PlatCreateDialogIndirectParam(hInstance, PlatFindDialogTemplate(iTemplate), hOwner, pfnDlg, lParam);
}

PLAT_INT_PTR PlatDialogBoxIndirectParam(PLAT_HINSTANCE hInstance, const PLAT_DLGTEMPLATE* pTemplate,
                                        PLAT_HWND hOwner, PLAT_DLGPROC pfnDlg, PLAT_LPARAM lParam)
{
    DLGTEMPLATE* pDlg = TplBuild(pTemplate);
    DLGSTART start;
    INT_PTR iResult;
    (void)hInstance;
    if (!pDlg) {
        Win32FailWith(1813);
        return -1;
    }
    start.pfnDlg = pfnDlg;
    start.lParam = lParam;
    iResult = DialogBoxIndirectParamA(GetModuleHandleA(NULL), pDlg, (HWND)hOwner, WinDlgProc, (LPARAM)&start);
    if (iResult == -1) Win32Fail();
    free(pDlg);
    return iResult;
}

PLAT_INT_PTR PlatDialogBoxParam(PLAT_HINSTANCE hInstance, int iTemplate, PLAT_HWND hOwner, PLAT_DLGPROC pfnDlg,
                                PLAT_LPARAM lParam)
{
    return PlatDialogBoxIndirectParam(hInstance, PlatFindDialogTemplate(iTemplate), hOwner, pfnDlg, lParam);
}

PLAT_BOOL PlatEndDialog(PLAT_HWND hDlg, PLAT_INT_PTR iResult) { return EndDialog((HWND)hDlg, iResult); }
PLAT_BOOL PlatDestroyWindow(PLAT_HWND hWnd) { return DestroyWindow((HWND)hWnd); }
PLAT_BOOL PlatIsWindow(PLAT_HWND hWnd) { return hWnd && IsWindow((HWND)hWnd); }

PLAT_WORD PlatRegisterClass(const PLAT_WNDCLASS* pClass)
{
    WNDCLASSA wc;
    ATOM atom;
    if (!pClass || !pClass->lpszClassName || !pClass->lpfnWndProc) return (PLAT_WORD)Win32FailWith(ERROR_INVALID_PARAMETER);
    memset(&wc, 0, sizeof(wc));
    wc.style = pClass->style;
    wc.lpfnWndProc = WinWndProc;
    wc.cbClsExtra = pClass->cbClsExtra;
    wc.cbWndExtra = pClass->cbWndExtra;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.hIcon = (HICON)pClass->hIcon;
    wc.hCursor = (HCURSOR)pClass->hCursor;
    wc.hbrBackground = (HBRUSH)pClass->hbrBackground;
    wc.lpszMenuName = pClass->lpszMenuName;
    wc.lpszClassName = pClass->lpszClassName;
    atom = RegisterClassA(&wc);
    if (!atom) return (PLAT_WORD)Win32Fail();
    if (s_cClasses < WIN_CLASSES) {
        PosixCopy(s_aClasses[s_cClasses].szName, sizeof(s_aClasses[s_cClasses].szName), pClass->lpszClassName);
        s_aClasses[s_cClasses].pfnWnd = pClass->lpfnWndProc;
        s_cClasses++;
    }
    return atom;
}

PLAT_HWND PlatCreateWindowEx(PLAT_DWORD dwExStyle, const char* szClass, const char* szName, PLAT_DWORD dwStyle,
                             int x, int y, int cx, int cy, PLAT_HWND hParent, int iId, PLAT_HINSTANCE hInstance,
                             void* pParam)
{
    HWND h;
    (void)hInstance;
    h = CreateWindowExA(dwExStyle, szClass, szName, dwStyle, x, y, cx, cy, (HWND)hParent,
                        (dwStyle & WS_CHILD) ? (HMENU)(INT_PTR)iId : NULL, GetModuleHandleA(NULL), pParam);
    if (!h) Win32Fail();
    return (PLAT_HWND)h;
}

PLAT_LRESULT PlatDefWindowProc(PLAT_HWND hWnd, PLAT_UINT uMsg, PLAT_WPARAM wParam, PLAT_LPARAM lParam)
{
    return DefWindowProcA((HWND)hWnd, uMsg, wParam, lParam);
}

PLAT_LONG PlatGetWindowLong(PLAT_HWND hWnd, int iIndex) { return GetWindowLongA((HWND)hWnd, iIndex); }
PLAT_LONG PlatSetWindowLong(PLAT_HWND hWnd, int iIndex, PLAT_LONG lValue)
{
    return SetWindowLongA((HWND)hWnd, iIndex, lValue);
}
PLAT_BOOL PlatSetProp(PLAT_HWND hWnd, const char* szName, PLAT_HANDLE hValue)
{
    return SetPropA((HWND)hWnd, szName, (HANDLE)hValue);
}
PLAT_HANDLE PlatGetProp(PLAT_HWND hWnd, const char* szName) { return GetPropA((HWND)hWnd, szName); }
PLAT_HANDLE PlatRemoveProp(PLAT_HWND hWnd, const char* szName) { return RemovePropA((HWND)hWnd, szName); }

/* ---- 4. Controls ---------------------------------------------------------- */

PLAT_HWND PlatGetDlgItem(PLAT_HWND hDlg, int iId) { return GetDlgItem((HWND)hDlg, iId); }
int PlatGetDlgCtrlID(PLAT_HWND hWnd) { return GetDlgCtrlID((HWND)hWnd); }
PLAT_HWND PlatGetParent(PLAT_HWND hWnd) { return GetParent((HWND)hWnd); }
PLAT_BOOL PlatSetWindowText(PLAT_HWND hWnd, const char* szText) { return SetWindowTextA((HWND)hWnd, szText); }
int PlatGetWindowText(PLAT_HWND hWnd, char* szBuf, int cchMax) { return GetWindowTextA((HWND)hWnd, szBuf, cchMax); }
int PlatGetWindowTextLength(PLAT_HWND hWnd) { return GetWindowTextLengthA((HWND)hWnd); }
PLAT_BOOL PlatSetDlgItemText(PLAT_HWND hDlg, int iId, const char* szText)
{
    return SetDlgItemTextA((HWND)hDlg, iId, szText);
}
PLAT_UINT PlatGetDlgItemText(PLAT_HWND hDlg, int iId, char* szBuf, int cchMax)
{
    return GetDlgItemTextA((HWND)hDlg, iId, szBuf, cchMax);
}
PLAT_BOOL PlatShowWindow(PLAT_HWND hWnd, int nCmdShow)
{
    /* Hiding a combo box closes its list, as the platform promises: Wine
     * leaves a dropped list on the screen after its combo box is hidden. */
    char szClass[16];
    if (nCmdShow == SW_HIDE && GetClassNameA((HWND)hWnd, szClass, sizeof(szClass)) &&
        _stricmp(szClass, "ComboBox") == 0 && SendMessageA((HWND)hWnd, CB_GETDROPPEDSTATE, 0, 0))
        SendMessageA((HWND)hWnd, CB_SHOWDROPDOWN, FALSE, 0);
    return ShowWindow((HWND)hWnd, nCmdShow);
}
PLAT_BOOL PlatEnableWindow(PLAT_HWND hWnd, PLAT_BOOL bEnable) { return EnableWindow((HWND)hWnd, bEnable); }
PLAT_BOOL PlatIsWindowVisible(PLAT_HWND hWnd) { return IsWindowVisible((HWND)hWnd); }
PLAT_BOOL PlatIsWindowEnabled(PLAT_HWND hWnd) { return IsWindowEnabled((HWND)hWnd); }
PLAT_BOOL PlatCheckDlgButton(PLAT_HWND hDlg, int iId, PLAT_UINT uCheck) { return CheckDlgButton((HWND)hDlg, iId, uCheck); }
PLAT_UINT PlatIsDlgButtonChecked(PLAT_HWND hDlg, int iId) { return IsDlgButtonChecked((HWND)hDlg, iId); }
PLAT_HWND PlatSetFocus(PLAT_HWND hWnd) { return SetFocus((HWND)hWnd); }
PLAT_HWND PlatGetFocus(void) { return GetFocus(); }
PLAT_LRESULT PlatSendMessage(PLAT_HWND hWnd, PLAT_UINT uMsg, PLAT_WPARAM wParam, PLAT_LPARAM lParam)
{
    return SendMessageA((HWND)hWnd, uMsg, wParam, lParam);
}
PLAT_LRESULT PlatSendDlgItemMessage(PLAT_HWND hDlg, int iId, PLAT_UINT uMsg, PLAT_WPARAM wParam, PLAT_LPARAM lParam)
{
    return SendDlgItemMessageA((HWND)hDlg, iId, uMsg, wParam, lParam);
}

/* ---- 5. The message queue and timers ------------------------------------ */

/* The last message taken, whole (time and cursor position), so that
 * translating and dispatching it hands Windows what it gave. */
static MSG s_msgLast;

static void MsgOut(const MSG* pMsg, PLAT_MSG* pOut)
{
    s_msgLast = *pMsg;
    pOut->hwnd = (PLAT_HWND)pMsg->hwnd;
    pOut->message = pMsg->message;
    pOut->wParam = pMsg->wParam;
    pOut->lParam = pMsg->lParam;
}

static void MsgIn(const PLAT_MSG* pMsg, MSG* pOut)
{
    if ((HWND)pMsg->hwnd == s_msgLast.hwnd && pMsg->message == s_msgLast.message &&
        pMsg->wParam == s_msgLast.wParam && pMsg->lParam == s_msgLast.lParam) {
        *pOut = s_msgLast;
        return;
    }
    memset(pOut, 0, sizeof(*pOut));
    pOut->hwnd = (HWND)pMsg->hwnd;
    pOut->message = pMsg->message;
    pOut->wParam = pMsg->wParam;
    pOut->lParam = pMsg->lParam;
    pOut->time = GetMessageTime();
}

PLAT_BOOL PlatPostMessage(PLAT_HWND hWnd, PLAT_UINT uMsg, PLAT_WPARAM wParam, PLAT_LPARAM lParam)
{
    return PostMessageA((HWND)hWnd, uMsg, wParam, lParam);
}

void PlatPostQuitMessage(int iExitCode) { PostQuitMessage(iExitCode); }

int PlatGetMessage(PLAT_MSG* pMsg, PLAT_HWND hWnd, PLAT_UINT uMin, PLAT_UINT uMax)
{
    MSG msg;
    BOOL b = GetMessageA(&msg, (HWND)hWnd, uMin, uMax);
    if (b == -1) return -1;
    MsgOut(&msg, pMsg);
    return b ? 1 : 0;
}

PLAT_BOOL PlatPeekMessage(PLAT_MSG* pMsg, PLAT_HWND hWnd, PLAT_UINT uMin, PLAT_UINT uMax, PLAT_UINT uRemove)
{
    MSG msg;
    if (!PeekMessageA(&msg, (HWND)hWnd, uMin, uMax, uRemove)) return 0;
    MsgOut(&msg, pMsg);
    return 1;
}

PLAT_BOOL PlatIsDialogMessage(PLAT_HWND hDlg, PLAT_MSG* pMsg)
{
    MSG msg;
    MsgIn(pMsg, &msg);
    return IsDialogMessageA((HWND)hDlg, &msg);
}

PLAT_BOOL PlatTranslateMessage(const PLAT_MSG* pMsg)
{
    MSG msg;
    MsgIn(pMsg, &msg);
    return TranslateMessage(&msg);
}

PLAT_LRESULT PlatDispatchMessage(const PLAT_MSG* pMsg)
{
    MSG msg;
    MsgIn(pMsg, &msg);
    return DispatchMessageA(&msg);
}

PLAT_UINT PlatSetTimer(PLAT_HWND hWnd, PLAT_UINT uId, PLAT_UINT uElapse)
{
    return (PLAT_UINT)SetTimer((HWND)hWnd, uId, uElapse, NULL);
}
PLAT_BOOL PlatKillTimer(PLAT_HWND hWnd, PLAT_UINT uId) { return KillTimer((HWND)hWnd, uId); }

/* ---- 6. Geometry ------------------------------------------------------------ */

int PlatGetSystemMetrics(int iIndex) { return GetSystemMetrics(iIndex); }

static void RectOut(const RECT* prc, PLAT_RECT* pOut)
{
    pOut->left = prc->left;
    pOut->top = prc->top;
    pOut->right = prc->right;
    pOut->bottom = prc->bottom;
}

PLAT_BOOL PlatGetWindowRect(PLAT_HWND hWnd, PLAT_RECT* pRect)
{
    RECT rc;
    if (!pRect || !GetWindowRect((HWND)hWnd, &rc)) return 0;
    RectOut(&rc, pRect);
    return 1;
}

PLAT_BOOL PlatGetClientRect(PLAT_HWND hWnd, PLAT_RECT* pRect)
{
    RECT rc;
    if (!pRect || !GetClientRect((HWND)hWnd, &rc)) return 0;
    RectOut(&rc, pRect);
    return 1;
}

PLAT_BOOL PlatScreenToClient(PLAT_HWND hWnd, PLAT_POINT* pPoint)
{
    POINT pt;
    if (!pPoint) return 0;
    pt.x = pPoint->x;
    pt.y = pPoint->y;
    if (!ScreenToClient((HWND)hWnd, &pt)) return 0;
    pPoint->x = pt.x;
    pPoint->y = pt.y;
    return 1;
}

PLAT_BOOL PlatMoveWindow(PLAT_HWND hWnd, int x, int y, int cx, int cy, PLAT_BOOL bRepaint)
{
    return MoveWindow((HWND)hWnd, x, y, cx, cy, bRepaint);
}

PLAT_BOOL PlatInvalidateRect(PLAT_HWND hWnd, const PLAT_RECT* pRect, PLAT_BOOL bErase)
{
    (void)pRect; /* the whole window, as the Linux build does */
    return InvalidateRect((HWND)hWnd, NULL, bErase);
}

PLAT_BOOL PlatUpdateWindow(PLAT_HWND hWnd) { return UpdateWindow((HWND)hWnd); }

/* ---- 7. Drawing and cursors -------------------------------------------------- */

/* The real paint structures of the paints under way (one per window). */
#define WIN_PAINTS 8
static struct {
    HWND hWnd;
    PAINTSTRUCT ps;
} s_aPaints[WIN_PAINTS];

PLAT_HDC PlatBeginPaint(PLAT_HWND hWnd, PLAT_PAINTSTRUCT* pPaint)
{
    int i;
    HDC hdc;
    for (i = 0; i < WIN_PAINTS && s_aPaints[i].hWnd; i++) {
    }
    if (i == WIN_PAINTS || !pPaint) return NULL;
    hdc = BeginPaint((HWND)hWnd, &s_aPaints[i].ps);
    if (!hdc) return NULL;
    s_aPaints[i].hWnd = (HWND)hWnd;
    pPaint->hdc = hdc;
    pPaint->fErase = s_aPaints[i].ps.fErase;
    RectOut(&s_aPaints[i].ps.rcPaint, &pPaint->rcPaint);
    return hdc;
}

PLAT_BOOL PlatEndPaint(PLAT_HWND hWnd, const PLAT_PAINTSTRUCT* pPaint)
{
    int i;
    (void)pPaint;
    for (i = 0; i < WIN_PAINTS; i++) {
        if (s_aPaints[i].hWnd == (HWND)hWnd) {
            EndPaint((HWND)hWnd, &s_aPaints[i].ps);
            s_aPaints[i].hWnd = NULL;
            return 1;
        }
    }
    return 0;
}

PLAT_HBRUSH PlatCreateSolidBrush(PLAT_COLORREF cr) { return CreateSolidBrush(cr); }
PLAT_HPEN PlatCreatePen(int iStyle, int iWidth, PLAT_COLORREF cr) { return CreatePen(iStyle, iWidth, cr); }
PLAT_HGDIOBJ PlatGetStockObject(int iObject) { return GetStockObject(iObject); }
PLAT_HGDIOBJ PlatSelectObject(PLAT_HDC hdc, PLAT_HGDIOBJ hObject) { return SelectObject((HDC)hdc, (HGDIOBJ)hObject); }
PLAT_BOOL PlatDeleteObject(PLAT_HGDIOBJ hObject) { return DeleteObject((HGDIOBJ)hObject); }
PLAT_BOOL PlatRectangle(PLAT_HDC hdc, int left, int top, int right, int bottom)
{
    return Rectangle((HDC)hdc, left, top, right, bottom);
}
PLAT_COLORREF PlatSetTextColor(PLAT_HDC hdc, PLAT_COLORREF cr) { return SetTextColor((HDC)hdc, cr); }
int PlatSetBkMode(PLAT_HDC hdc, int iMode) { return SetBkMode((HDC)hdc, iMode); }
PLAT_DWORD PlatGetTabbedTextExtent(PLAT_HDC hdc, const char* szText, int cch)
{
    return GetTabbedTextExtentA((HDC)hdc, szText, cch, 0, NULL);
}
PLAT_BOOL PlatTextOut(PLAT_HDC hdc, int x, int y, const char* szText, int cch)
{
    return TextOutA((HDC)hdc, x, y, szText, cch);
}
PLAT_HCURSOR PlatLoadCursor(PLAT_HINSTANCE hInstance, int iId)
{
    (void)hInstance; /* system cursors only */
    return LoadCursorA(NULL, MAKEINTRESOURCEA(iId));
}
PLAT_HCURSOR PlatSetCursor(PLAT_HCURSOR hCursor) { return SetCursor((HCURSOR)hCursor); }
