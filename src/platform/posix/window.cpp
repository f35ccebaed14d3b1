/*
 * dialog.cpp - the window model of the Linux build (dialog.h).
 *
 * Divisions:
 *   1. Window table, handles, change counter, front end
 *   2. Classes, creation of dialogs and windows, destruction
 *   3. Controls: text, state, list items, Win32 control messages
 *   4. Input of a person (PLAT_UIA_...)
 *   5. Message queue, timers, loops
 *   6. Geometry
 *   7. Drawing and cursors
 *   8. Model access
 *
 * A handle is a number derived from the window's slot; a slot is never used
 * again, so a handle of a destroyed window stays invalid and every call with
 * it fails harmlessly. The record of a destroyed window is freed only when
 * no window procedure runs any more, because a window may be destroyed
 * while one of its own handlers still runs further up the stack.
 */
#include "platform/dialog.h"
#include "platform/posix/posix.h"
#include "platform/ui.h"

#include <deque>
#include <map>
#include <string>
#include <vector>

#include <ctype.h>
#include <string.h>
#include <strings.h>
#include <time.h>

/* Private message: input of a person for a control (wParam the action,
 * lParam the key of its arguments). In the range Win32 reserves for itself
 * and leaves unused. */
#define PLAT_WM_UIACTION 0x03F0

#define SCREEN_CX 1024
#define SCREEN_CY 768
#define BASE_X 6
#define BASE_Y 13
#define CAPTION_CY 19
#define DLGFRAME_CX 3

struct PLATITEM {
    std::string sText;
    LPARAM lData;
};

struct PLATWND {
    HWND hSelf;
    int iKind; /* 0 dialog, PLAT_CTL_... */
    int iId;
    DWORD dwStyle;
    DWORD dwUi;
    HWND hParent; /* NULL for a top-level dialog */
    HWND hOwner;
    std::string sText;
    PLAT_RECT rcDu;
    LONG x, y, cx, cy; /* child: parent's client coordinates; dialog: screen */
    int bVisible, bEnabled, iCheck;
    int bDestroying;
    LONG lUserData;
    std::map<std::string, HANDLE> mProps;
    std::vector<HWND> aChildren;
    /* dialogs */
    PLAT_DLGPROC pfnDlg;
    int iTemplate;
    int bEnded;
    INT_PTR iResult;
    HWND hFocus;
    /* combo and list */
    std::vector<PLATITEM> aItems;
    int iSel;
    int bDropped;
    /* custom windows */
    int iClass;
    std::vector<BYTE> abExtra;
    int bInvalid;
    std::vector<PLAT_PAINTOP> aPaint;
};

struct PLATCLASS {
    std::string sName;
    PLAT_WNDCLASS wc;
};

struct PLATTIMER {
    HWND hWnd;
    UINT uId;
    UINT uElapse;
    long long llDue;
};

struct PLATINPUT {
    int iIndex;
    std::string sText;
};

static std::vector<PLATWND*> s_apWnd;  /* slot i holds handle (i + 1) * 16 */
static std::vector<PLATWND*> s_apDead; /* destroyed, freed by GraveyardSweep */
static std::vector<PLATCLASS> s_aClasses;
static std::deque<PLAT_MSG> s_qMsg;
static std::vector<PLATTIMER> s_aTimers;
static std::map<LPARAM, PLATINPUT> s_mInput;
static LPARAM s_lInputKey;
static int s_bQuit;
static int s_iQuitCode;
static HWND s_hFocus;
static int s_iCursor = IDC_ARROW;
static unsigned long s_ulChanges;
static const PLAT_FRONTEND* s_pFront;
static int s_iDepth; /* window procedures running (nested) */

/* ---- 1. Window table, handles, change counter, front end ------------- */

static HWND WndHandle(size_t iSlot) { return (HWND)(uintptr_t)((iSlot + 1) * 16); }

/* The live window of a handle, NULL for none. */
static PLATWND* W(HWND h)
{
    uintptr_t u = (uintptr_t)h;
    if (u == 0 || (u % 16) != 0) return NULL;
    u = u / 16 - 1;
    if (u >= s_apWnd.size()) return NULL;
    return s_apWnd[u];
}

/* Counts a change of the model, for front ends that redraw. */
static void Changed(void) { s_ulChanges++; }

/* Frees the records of destroyed windows once no window procedure runs
 * (one of them might still hold its own record). */
static void GraveyardSweep(void)
{
    size_t i;
    if (s_iDepth > 0) return;
    for (i = 0; i < s_apDead.size(); i++) delete s_apDead[i];
    s_apDead.clear();
}

/* A new window record in the next slot: hidden, enabled, no selection. */
static PLATWND* WndNew(int iKind)
{
    PLATWND* p = new PLATWND();
    p->hSelf = WndHandle(s_apWnd.size());
    p->iKind = iKind;
    p->bVisible = 0;
    p->bEnabled = 1;
    p->iSel = -1;
    p->iClass = -1;
    s_apWnd.push_back(p);
    Changed();
    return p;
}

/* Tells the front end that the set of shown dialogs changed. */
static void FrontDialogsChanged(void)
{
    if (s_pFront && s_pFront->pfnDialogsChanged) s_pFront->pfnDialogsChanged();
}

void PlatSetFrontEnd(const PLAT_FRONTEND* pFront)
{
    s_pFront = pFront;
    if (pFront && pFront->pfnStart) pFront->pfnStart();
}

const PLAT_FRONTEND* PlatGetFrontEnd(void) { return s_pFront; }

/* ---- 2. Classes, creation, destruction ------------------------------- */

static LONG MulDivRound(LONG a, LONG b, LONG c)
{
    long long ll = (long long)a * b;
    if (ll >= 0) return (LONG)((ll * 2 + c) / (2 * c));
    return (LONG) - ((-ll * 2 + c) / (2 * c));
}

/* Pixels of a dialog's frame on each side. */
static int DlgFrame(const PLATWND* p)
{
    if (p->dwStyle & DS_MODALFRAME) return DLGFRAME_CX;
    if ((p->dwStyle & WS_CAPTION) == WS_CAPTION) return DLGFRAME_CX;
    return (p->dwStyle & WS_BORDER) ? 1 : 0;
}

/* Pixels of a dialog's caption bar (0 without WS_CAPTION). */
static int DlgCaption(const PLATWND* p) { return ((p->dwStyle & WS_CAPTION) == WS_CAPTION) ? CAPTION_CY : 0; }

/* Border width of a window's non-client area and the caption height. */
static void WndNonClient(const PLATWND* p, int* piBorder, int* piCaption)
{
    if (p->iKind == 0) {
        *piBorder = DlgFrame(p);
        *piCaption = DlgCaption(p);
    } else if (p->iKind == PLAT_CTL_CUSTOM) {
        *piBorder = (p->dwStyle & WS_BORDER) ? 1 : 0;
        *piCaption = 0;
    } else {
        *piBorder = 0;
        *piCaption = 0;
    }
}

/* The size of the window's client area (never negative). */
static void WndClientSize(const PLATWND* p, LONG* pcx, LONG* pcy)
{
    int iBorder, iCaption;
    WndNonClient(p, &iBorder, &iCaption);
    *pcx = p->cx - 2 * iBorder;
    *pcy = p->cy - 2 * iBorder - iCaption;
    if (*pcx < 0) *pcx = 0;
    if (*pcy < 0) *pcy = 0;
}

/* Runs the window's procedure for the message; 0 for an invalid handle. */
static LRESULT WndCall(HWND h, UINT uMsg, WPARAM wParam, LPARAM lParam);

WORD PlatRegisterClass(const PLAT_WNDCLASS* pClass)
{
    size_t i;
    if (!pClass || !pClass->lpszClassName || !pClass->lpfnWndProc) {
        PlatSetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    for (i = 0; i < s_aClasses.size(); i++) {
        if (strcasecmp(s_aClasses[i].sName.c_str(), pClass->lpszClassName) == 0) {
            PlatSetLastError(ERROR_CLASS_ALREADY_EXISTS);
            return 0;
        }
    }
    PLATCLASS cls;
    cls.sName = pClass->lpszClassName;
    cls.wc = *pClass;
    cls.wc.lpszClassName = NULL;
    s_aClasses.push_back(cls);
    return (WORD)(0xC000 + s_aClasses.size());
}

/* The index of a registered class (name without regard to case), -1. */
static int ClassFind(const char* szClass)
{
    size_t i;
    for (i = 0; szClass && i < s_aClasses.size(); i++) {
        if (strcasecmp(s_aClasses[i].sName.c_str(), szClass) == 0) return (int)i;
    }
    return -1;
}

HWND PlatCreateWindowEx(DWORD dwExStyle, const char* szClass, const char* szName, DWORD dwStyle, int x, int y, int cx,
                        int cy, HWND hParent, int iId, HINSTANCE hInstance, void* pParam)
{
    int iClass = ClassFind(szClass);
    PLATWND* pParent = W(hParent);
    PLATWND* p;
    HWND h;
    PLAT_CREATESTRUCT cs;
    LONG cxClient, cyClient;
    (void)dwExStyle;
    if (iClass < 0 || (hParent && !pParent)) {
        PlatSetLastError(1407); /* ERROR_CANNOT_FIND_WND_CLASS */
        return NULL;
    }
    p = WndNew(PLAT_CTL_CUSTOM);
    h = p->hSelf;
    p->iClass = iClass;
    p->iId = iId;
    p->dwStyle = dwStyle;
    p->hParent = hParent;
    p->sText = szName ? szName : "";
    p->x = x, p->y = y, p->cx = cx, p->cy = cy;
    p->bVisible = (dwStyle & WS_VISIBLE) != 0;
    p->bEnabled = (dwStyle & WS_DISABLED) == 0;
    p->abExtra.assign(s_aClasses[iClass].wc.cbWndExtra > 0 ? (size_t)s_aClasses[iClass].wc.cbWndExtra : 0, 0);
    p->bInvalid = 1;
    if (pParent) pParent->aChildren.push_back(h);

    memset(&cs, 0, sizeof(cs));
    cs.lpCreateParams = pParam;
    cs.hInstance = hInstance;
    cs.hwndParent = hParent;
    cs.x = x, cs.y = y, cs.cx = cx, cs.cy = cy;
    cs.style = dwStyle;
    cs.lpszName = szName;
    cs.lpszClass = szClass;
    if (WndCall(h, WM_CREATE, 0, (LPARAM)&cs) == -1) {
        PlatDestroyWindow(h);
        return NULL;
    }
    p = W(h);
    if (!p) return NULL;
    WndClientSize(p, &cxClient, &cyClient);
    WndCall(h, WM_SIZE, 0, MAKELPARAM(cxClient, cyClient));
    return W(h) ? h : NULL;
}

LRESULT PlatDefWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    PLATWND* p = W(hWnd);
    (void)wParam, (void)lParam;
    if (p && uMsg == WM_PAINT) p->bInvalid = 0;
    return 0;
}

/* The first visible enabled WS_TABSTOP control, NULL for none. */
static HWND FirstTabStop(PLATWND* pDlg)
{
    size_t i;
    for (i = 0; i < pDlg->aChildren.size(); i++) {
        PLATWND* c = W(pDlg->aChildren[i]);
        if (c && (c->dwStyle & WS_TABSTOP) && c->bVisible && c->bEnabled) return c->hSelf;
    }
    return NULL;
}

/* Builds a dialog and its controls from the template and initialises it
 * (PlatCreateDialogParam). NULL for no template or a dialog destroyed during
 * WM_INITDIALOG. */
static HWND DlgCreate(const PLAT_DLGTEMPLATE* pT, HWND hOwner, PLAT_DLGPROC pfnDlg, LPARAM lParam)
{
    PLATWND* p;
    HWND h, hFirst;
    int i;
    INT_PTR r;
    if (!pT) {
        PlatSetLastError(1813); /* ERROR_RESOURCE_TYPE_NOT_FOUND */
        return NULL;
    }
    p = WndNew(0);
    h = p->hSelf;
    p->dwStyle = pT->dwStyle & ~WS_VISIBLE;
    p->hOwner = W(hOwner) ? hOwner : NULL;
    p->sText = pT->szCaption ? pT->szCaption : "";
    p->iTemplate = pT->iId;
    p->pfnDlg = pfnDlg;
    p->rcDu.left = 0, p->rcDu.top = 0, p->rcDu.right = pT->cx, p->rcDu.bottom = pT->cy;
    {
        int iFrame = DlgFrame(p), iCaption = DlgCaption(p);
        p->cx = MulDivRound(pT->cx, BASE_X, 4) + 2 * iFrame;
        p->cy = MulDivRound(pT->cy, BASE_Y, 8) + 2 * iFrame + iCaption;
    }
    if (pT->dwStyle & DS_CENTER) {
        p->x = (SCREEN_CX - p->cx) / 2;
        p->y = (SCREEN_CY - p->cy) / 2;
    }
    for (i = 0; i < pT->cItems; i++) {
        const PLAT_DLGITEM* pItem = &pT->pItems[i];
        PLATWND* c = WndNew(pItem->iKind);
        p = W(h);
        c->iId = pItem->iId;
        c->dwStyle = pItem->dwStyle | WS_CHILD;
        c->dwUi = pItem->dwUi;
        c->hParent = h;
        c->sText = pItem->szText ? pItem->szText : "";
        c->rcDu.left = pItem->x, c->rcDu.top = pItem->y;
        c->rcDu.right = pItem->x + pItem->cx, c->rcDu.bottom = pItem->y + pItem->cy;
        c->x = MulDivRound(pItem->x, BASE_X, 4);
        c->y = MulDivRound(pItem->y, BASE_Y, 8);
        c->cx = MulDivRound(pItem->cx, BASE_X, 4);
        c->cy = MulDivRound(pItem->cy, BASE_Y, 8);
        c->bVisible = (pItem->dwStyle & WS_VISIBLE) != 0;
        c->bEnabled = (pItem->dwStyle & WS_DISABLED) == 0;
        p->aChildren.push_back(c->hSelf);
    }
    p = W(h);
    hFirst = FirstTabStop(p);
    s_iDepth++;
    r = pfnDlg ? pfnDlg(h, WM_INITDIALOG, (WPARAM)hFirst, lParam) : 1;
    s_iDepth--;
    GraveyardSweep();
    p = W(h);
    if (!p) return NULL; /* destroyed during its initialisation */
    if (r) {
        hFirst = FirstTabStop(p);
        if (hFirst) PlatSetFocus(hFirst);
    }
    if (pT->dwStyle & WS_VISIBLE) PlatShowWindow(h, SW_SHOW);
    return h;
}

HWND PlatCreateDialogIndirectParam(HINSTANCE hInstance, const PLAT_DLGTEMPLATE* pTemplate, HWND hOwner,
                                   PLAT_DLGPROC pfnDlg, LPARAM lParam)
{
    (void)hInstance;
    return DlgCreate(pTemplate, hOwner, pfnDlg, lParam);
}

HWND PlatCreateDialogParam(HINSTANCE hInstance, int iTemplate, HWND hOwner, PLAT_DLGPROC pfnDlg, LPARAM lParam)
{
    return PlatCreateDialogIndirectParam(hInstance, PlatFindDialogTemplate(iTemplate), hOwner, pfnDlg, lParam);
}

BOOL PlatEndDialog(HWND hDlg, INT_PTR iResult)
{
    PLATWND* p = W(hDlg);
    if (!p || p->iKind != 0) return 0;
    p->bEnded = 1;
    p->iResult = iResult;
    PlatShowWindow(hDlg, SW_HIDE);
    return 1;
}

/* Stops every timer of the window. */
static void WndRemoveTimers(HWND h)
{
    size_t i = 0;
    while (i < s_aTimers.size()) {
        if (s_aTimers[i].hWnd == h)
            s_aTimers.erase(s_aTimers.begin() + (long)i);
        else
            i++;
    }
}

/* Makes the handle invalid and empties the record (it stays allocated). */
static void WndBury(PLATWND* p)
{
    uintptr_t iSlot = (uintptr_t)p->hSelf / 16 - 1;
    PLATWND* pParent = W(p->hParent);
    size_t i;
    WndRemoveTimers(p->hSelf);
    if (s_hFocus == p->hSelf) s_hFocus = NULL;
    if (pParent) {
        for (i = 0; i < pParent->aChildren.size(); i++) {
            if (pParent->aChildren[i] == p->hSelf) {
                pParent->aChildren.erase(pParent->aChildren.begin() + (long)i);
                break;
            }
        }
        if (pParent->hFocus == p->hSelf) pParent->hFocus = NULL;
    }
    s_apWnd[iSlot] = NULL;
    p->aItems.clear();
    p->aPaint.clear();
    p->mProps.clear();
    p->sText.clear();
    s_apDead.push_back(p);
    Changed();
}

BOOL PlatDestroyWindow(HWND hWnd)
{
    PLATWND* p = W(hWnd);
    int bTop;
    if (!p || p->bDestroying) return 0;
    p->bDestroying = 1;
    bTop = p->iKind == 0;
    WndCall(hWnd, WM_DESTROY, 0, 0);
    for (;;) {
        p = W(hWnd);
        if (!p || p->aChildren.empty()) break;
        HWND hChild = p->aChildren.back();
        if (!PlatDestroyWindow(hChild)) {
            PLATWND* c = W(hChild);
            if (c)
                WndBury(c);
            else
                p->aChildren.pop_back();
        }
    }
    /* Owned dialogs go with their owner. */
    {
        size_t i;
        for (i = 0; i < s_apWnd.size(); i++) {
            if (s_apWnd[i] && s_apWnd[i]->iKind == 0 && s_apWnd[i]->hOwner == hWnd)
                PlatDestroyWindow(s_apWnd[i]->hSelf);
        }
    }
    p = W(hWnd);
    if (p) WndBury(p);
    if (bTop) FrontDialogsChanged();
    GraveyardSweep();
    return 1;
}

BOOL PlatIsWindow(HWND hWnd) { return W(hWnd) != NULL; }

LONG PlatGetWindowLong(HWND hWnd, int iIndex)
{
    PLATWND* p = W(hWnd);
    LONG l = 0;
    if (!p) {
        PlatSetLastError(1400); /* ERROR_INVALID_WINDOW_HANDLE */
        return 0;
    }
    switch (iIndex) {
        case GWL_ID: return p->iId;
        case GWL_STYLE: return (LONG)(p->dwStyle | (p->bVisible ? WS_VISIBLE : 0) | (p->bEnabled ? 0 : WS_DISABLED));
        case GWLP_USERDATA: return p->lUserData;
        default: break;
    }
    if (iIndex < 0 || (size_t)iIndex + sizeof(LONG) > p->abExtra.size()) {
        PlatSetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    memcpy(&l, &p->abExtra[(size_t)iIndex], sizeof(l));
    return l;
}

LONG PlatSetWindowLong(HWND hWnd, int iIndex, LONG lValue)
{
    PLATWND* p = W(hWnd);
    LONG lOld;
    if (!p) {
        PlatSetLastError(1400);
        return 0;
    }
    lOld = PlatGetWindowLong(hWnd, iIndex);
    switch (iIndex) {
        case GWL_ID: p->iId = lValue; return lOld;
        case GWL_STYLE:
            p->dwStyle = (DWORD)lValue & ~(WS_VISIBLE | WS_DISABLED);
            Changed();
            return lOld;
        case GWLP_USERDATA: p->lUserData = lValue; return lOld;
        default: break;
    }
    if (iIndex < 0 || (size_t)iIndex + sizeof(LONG) > p->abExtra.size()) {
        PlatSetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    memcpy(&p->abExtra[(size_t)iIndex], &lValue, sizeof(lValue));
    return lOld;
}

BOOL PlatSetProp(HWND hWnd, const char* szName, HANDLE hValue)
{
    PLATWND* p = W(hWnd);
    if (!p || !szName) return 0;
    p->mProps[szName] = hValue;
    Changed();
    return 1;
}

HANDLE PlatGetProp(HWND hWnd, const char* szName)
{
    PLATWND* p = W(hWnd);
    if (!p || !szName) return NULL;
    std::map<std::string, HANDLE>::const_iterator it = p->mProps.find(szName);
    return it == p->mProps.end() ? NULL : it->second;
}

HANDLE PlatRemoveProp(HWND hWnd, const char* szName)
{
    PLATWND* p = W(hWnd);
    HANDLE h;
    if (!p || !szName) return NULL;
    h = PlatGetProp(hWnd, szName);
    p->mProps.erase(szName);
    return h;
}

/* ---- 3. Controls ------------------------------------------------------- */

HWND PlatGetDlgItem(HWND hDlg, int iId)
{
    PLATWND* p = W(hDlg);
    size_t i;
    if (!p) return NULL;
    for (i = 0; i < p->aChildren.size(); i++) {
        PLATWND* c = W(p->aChildren[i]);
        if (c && c->iId == iId) return c->hSelf;
    }
    PlatSetLastError(1421); /* ERROR_CONTROL_ID_NOT_FOUND */
    return NULL;
}

int PlatGetDlgCtrlID(HWND hWnd)
{
    PLATWND* p = W(hWnd);
    return p ? p->iId : 0;
}

HWND PlatGetParent(HWND hWnd)
{
    PLATWND* p = W(hWnd);
    if (!p) return NULL;
    return p->hParent ? p->hParent : p->hOwner;
}

BOOL PlatSetWindowText(HWND hWnd, const char* szText)
{
    PLATWND* p = W(hWnd);
    if (!p) return 0;
    p->sText = szText ? szText : "";
    if (p->iKind == PLAT_CTL_CUSTOM) p->bInvalid = 1;
    Changed();
    return 1;
}

int PlatGetWindowText(HWND hWnd, char* szBuf, int cchMax)
{
    PLATWND* p = W(hWnd);
    size_t cch;
    if (!szBuf || cchMax <= 0) return 0;
    szBuf[0] = 0;
    if (!p) return 0;
    cch = p->sText.size();
    if (cch > (size_t)cchMax - 1) cch = (size_t)cchMax - 1;
    memcpy(szBuf, p->sText.data(), cch);
    szBuf[cch] = 0;
    return (int)cch;
}

int PlatGetWindowTextLength(HWND hWnd)
{
    PLATWND* p = W(hWnd);
    return p ? (int)p->sText.size() : 0;
}

BOOL PlatSetDlgItemText(HWND hDlg, int iId, const char* szText)
{
    return PlatSetWindowText(PlatGetDlgItem(hDlg, iId), szText);
}

UINT PlatGetDlgItemText(HWND hDlg, int iId, char* szBuf, int cchMax)
{
    HWND h = PlatGetDlgItem(hDlg, iId);
    if (!h) {
        if (szBuf && cchMax > 0) szBuf[0] = 0;
        return 0;
    }
    return (UINT)PlatGetWindowText(h, szBuf, cchMax);
}

BOOL PlatShowWindow(HWND hWnd, int nCmdShow)
{
    PLATWND* p = W(hWnd);
    int bWas, bNow;
    if (!p) return 0;
    bWas = p->bVisible;
    bNow = nCmdShow != SW_HIDE;
    /* The open list of a combo box goes with it. */
    if (!bNow && p->bDropped) {
        p->bDropped = 0;
        Changed();
    }
    if (bWas != bNow) {
        p->bVisible = bNow;
        if (bNow && p->iKind == PLAT_CTL_CUSTOM) p->bInvalid = 1;
        Changed();
        if (p->iKind == 0) FrontDialogsChanged();
    }
    return bWas;
}

BOOL PlatEnableWindow(HWND hWnd, BOOL bEnable)
{
    PLATWND* p = W(hWnd);
    int bWasDisabled;
    if (!p) return 0;
    bWasDisabled = !p->bEnabled;
    if (p->bEnabled != (bEnable != 0)) {
        p->bEnabled = bEnable != 0;
        Changed();
    }
    return bWasDisabled;
}

BOOL PlatIsWindowVisible(HWND hWnd)
{
    PLATWND* p = W(hWnd);
    while (p) {
        if (!p->bVisible) return 0;
        if (!p->hParent) return 1;
        p = W(p->hParent);
    }
    return 0;
}

BOOL PlatIsWindowEnabled(HWND hWnd)
{
    PLATWND* p = W(hWnd);
    return p ? p->bEnabled : 0;
}

BOOL PlatCheckDlgButton(HWND hDlg, int iId, UINT uCheck)
{
    HWND h = PlatGetDlgItem(hDlg, iId);
    if (!h) return 0;
    PlatSendMessage(h, BM_SETCHECK, uCheck, 0);
    return 1;
}

UINT PlatIsDlgButtonChecked(HWND hDlg, int iId)
{
    HWND h = PlatGetDlgItem(hDlg, iId);
    return h ? (UINT)PlatSendMessage(h, BM_GETCHECK, 0, 0) : 0;
}

HWND PlatSetFocus(HWND hWnd)
{
    HWND hPrev = s_hFocus;
    PLATWND* p = W(hWnd);
    if (hWnd && !p) return NULL;
    s_hFocus = hWnd;
    if (p && p->hParent) {
        PLATWND* pParent = W(p->hParent);
        if (pParent) pParent->hFocus = hWnd;
    }
    Changed();
    return hPrev;
}

HWND PlatGetFocus(void) { return W(s_hFocus) ? s_hFocus : NULL; }

/* Sends WM_COMMAND with the control's id and the code to its dialog. */
static void Notify(HWND hCtl, int iCode)
{
    PLATWND* p = W(hCtl);
    if (!p || !p->hParent) return;
    PlatSendMessage(p->hParent, WM_COMMAND, MAKEWPARAM(p->iId, iCode), (LPARAM)hCtl);
}

/* The first item after wStart (wrapping) that begins with (bExact:
 * equals) the text without regard to case; -1 for none. */
static int ItemFind(const PLATWND* p, WPARAM wStart, const char* szText, int bExact)
{
    int cItems = (int)p->aItems.size();
    int iStart = (int)(INT_PTR)wStart;
    int i, n;
    size_t cch;
    if (!szText || cItems == 0) return -1;
    cch = strlen(szText);
    if (iStart < -1 || iStart >= cItems) iStart = -1;
    for (n = 0; n < cItems; n++) {
        i = (iStart + 1 + n) % cItems;
        const std::string& s = p->aItems[(size_t)i].sText;
        if (bExact) {
            if (strcasecmp(s.c_str(), szText) == 0) return i;
        } else if (s.size() >= cch && strncasecmp(s.c_str(), szText, cch) == 0) {
            return i;
        }
    }
    return -1;
}

/* Inserts an item (iIndex -1 or past the end: at the end) and keeps the
 * selection on its item. Returns the index. */
static int ItemInsert(PLATWND* p, int iIndex, const char* szText)
{
    PLATITEM item;
    item.sText = szText ? szText : "";
    item.lData = 0;
    if (iIndex < 0 || iIndex > (int)p->aItems.size()) iIndex = (int)p->aItems.size();
    p->aItems.insert(p->aItems.begin() + iIndex, item);
    if (p->iSel >= iIndex) p->iSel++;
    Changed();
    return iIndex;
}

/* The order of a sorted list, close to the Windows one: without regard to
 * case, blanks and symbols before digits, digits before letters. */
static int ItemCollate(const char* sz1, const char* sz2)
{
    for (;; sz1++, sz2++) {
        int c1 = (unsigned char)*sz1, c2 = (unsigned char)*sz2;
        int k1, k2;
        if (c1 == 0 || c2 == 0) return c1 - c2;
        k1 = isalpha(c1) ? 0x300 + tolower(c1) : isdigit(c1) ? 0x200 + c1 : c1 >= 0x20 ? 0x100 + c1 : c1;
        k2 = isalpha(c2) ? 0x300 + tolower(c2) : isdigit(c2) ? 0x200 + c2 : c2 >= 0x20 ? 0x100 + c2 : c2;
        if (k1 != k2) return k1 - k2;
    }
}

static int ItemSortedPosition(const PLATWND* p, const char* szText)
{
    int i;
    for (i = 0; i < (int)p->aItems.size(); i++) {
        if (ItemCollate(p->aItems[(size_t)i].sText.c_str(), szText ? szText : "") > 0) return i;
    }
    return (int)p->aItems.size();
}

/* Deletes an item: the count left, -1 for a bad index. Deleting the
 * selected item leaves no selection. */
static LRESULT ItemDelete(PLATWND* p, WPARAM w)
{
    int i = (int)(INT_PTR)w;
    if (i < 0 || i >= (int)p->aItems.size()) return -1;
    p->aItems.erase(p->aItems.begin() + i);
    if (p->iSel == i)
        p->iSel = -1;
    else if (p->iSel > i)
        p->iSel--;
    Changed();
    return (LRESULT)p->aItems.size();
}

/* Copies a whole item into the buffer l: its length, -1 for a bad index. */
static LRESULT ItemCopy(const PLATWND* p, WPARAM w, LPARAM l)
{
    int i = (int)(INT_PTR)w;
    if (i < 0 || i >= (int)p->aItems.size() || !l) return -1;
    memcpy((char*)l, p->aItems[(size_t)i].sText.c_str(), p->aItems[(size_t)i].sText.size() + 1);
    return (LRESULT)p->aItems[(size_t)i].sText.size();
}

/* The CB_ messages of a combo box (dialog.h, PlatSendMessage). */
static LRESULT ComboProc(PLATWND* p, UINT uMsg, WPARAM w, LPARAM l)
{
    HWND h = p->hSelf;
    int i = (int)(INT_PTR)w;
    switch (uMsg) {
        case CB_ADDSTRING: return ItemInsert(p, -1, (const char*)l);
        case CB_INSERTSTRING: return ItemInsert(p, i, (const char*)l);
        case CB_DELETESTRING: return ItemDelete(p, w);
        case CB_GETCOUNT: return (LRESULT)p->aItems.size();
        case CB_GETCURSEL: return p->iSel;
        case CB_GETLBTEXT: return ItemCopy(p, w, l);
        case CB_GETLBTEXTLEN:
            return (i < 0 || i >= (int)p->aItems.size()) ? -1 : (LRESULT)p->aItems[(size_t)i].sText.size();
        case CB_RESETCONTENT:
            p->aItems.clear();
            p->iSel = -1;
            p->sText.clear();
            Changed();
            return 1;
        case CB_FINDSTRING: return ItemFind(p, w, (const char*)l, 0);
        case CB_FINDSTRINGEXACT: return ItemFind(p, w, (const char*)l, 1);
        case CB_SETCURSEL:
            Changed();
            if (i < 0 || i >= (int)p->aItems.size()) {
                p->iSel = -1;
                p->sText.clear();
                return -1;
            }
            p->iSel = i;
            p->sText = p->aItems[(size_t)i].sText;
            return i;
        case CB_SHOWDROPDOWN:
            if (w && !p->bDropped) {
                Notify(h, CBN_DROPDOWN);
                p = W(h);
                if (p) p->bDropped = 1;
                Changed();
            } else if (!w && p->bDropped) {
                p->bDropped = 0;
                Changed();
                Notify(h, CBN_CLOSEUP);
            }
            return 1;
        case CB_GETDROPPEDSTATE: return p->bDropped;
        case CB_GETITEMDATA: return (i < 0 || i >= (int)p->aItems.size()) ? -1 : p->aItems[(size_t)i].lData;
        case CB_SETITEMDATA:
            if (i < 0 || i >= (int)p->aItems.size()) return -1;
            p->aItems[(size_t)i].lData = l;
            return 1;
        default: return 0;
    }
}

/* The LB_ messages of a list box (dialog.h, PlatSendMessage). */
static LRESULT ListProc(PLATWND* p, UINT uMsg, WPARAM w, LPARAM l)
{
    int i = (int)(INT_PTR)w;
    switch (uMsg) {
        case LB_ADDSTRING:
            return ItemInsert(p, (p->dwStyle & LBS_SORT) ? ItemSortedPosition(p, (const char*)l) : -1, (const char*)l);
        case LB_INSERTSTRING: return ItemInsert(p, i, (const char*)l);
        case LB_DELETESTRING: return ItemDelete(p, w);
        case LB_RESETCONTENT:
            p->aItems.clear();
            p->iSel = -1;
            Changed();
            return 0;
        case LB_SETCURSEL:
            Changed();
            if (i < 0 || i >= (int)p->aItems.size()) {
                p->iSel = -1;
                return -1;
            }
            p->iSel = i;
            return i;
        case LB_GETCURSEL: return p->iSel;
        case LB_GETTEXT: return ItemCopy(p, w, l);
        case LB_GETTEXTLEN:
            return (i < 0 || i >= (int)p->aItems.size()) ? -1 : (LRESULT)p->aItems[(size_t)i].sText.size();
        case LB_GETCOUNT: return (LRESULT)p->aItems.size();
        case LB_FINDSTRING: return ItemFind(p, w, (const char*)l, 0);
        case LB_FINDSTRINGEXACT: return ItemFind(p, w, (const char*)l, 1);
        case LB_GETITEMDATA: return (i < 0 || i >= (int)p->aItems.size()) ? -1 : p->aItems[(size_t)i].lData;
        case LB_SETITEMDATA:
            if (i < 0 || i >= (int)p->aItems.size()) return -1;
            p->aItems[(size_t)i].lData = l;
            return 1;
        default: return 0;
    }
}

/* Carries out queued input of a person (PLAT_UIA_..., dialog.h) and
 * releases its arguments. */
static void UiAction(HWND h, int iAction, LPARAM lKey);
/* A click: a radio button is checked and the rest of its group cleared;
 * buttons notify BN_CLICKED. */
static void UiClick(HWND h);

/* The window procedure of every standard control: text, button state,
 * list messages and the input of a person. -1 for a list message that the
 * kind does not know. */
static LRESULT CtlProc(HWND h, UINT uMsg, WPARAM w, LPARAM l)
{
    PLATWND* p = W(h);
    if (!p) return 0;
    switch (uMsg) {
        case WM_SETTEXT: return PlatSetWindowText(h, (const char*)l);
        case WM_GETTEXT: return PlatGetWindowText(h, (char*)l, (int)w);
        case WM_GETTEXTLENGTH: return (LRESULT)p->sText.size();
        case BM_GETCHECK: return p->iCheck;
        case BM_SETCHECK:
            p->iCheck = (int)w;
            Changed();
            return 0;
        case BM_CLICK:
            if (p->bEnabled) UiClick(h);
            return 0;
        case PLAT_WM_UIACTION: UiAction(h, (int)w, l); return 0;
        default: break;
    }
    if (p->iKind == PLAT_CTL_COMBO && uMsg >= CB_ADDSTRING && uMsg <= CB_FINDSTRINGEXACT)
        return ComboProc(p, uMsg, w, l);
    if (p->iKind == PLAT_CTL_LIST && uMsg >= LB_ADDSTRING && uMsg <= LB_FINDSTRINGEXACT) return ListProc(p, uMsg, w, l);
    if (uMsg >= CB_ADDSTRING && uMsg <= LB_FINDSTRINGEXACT) return -1;
    return 0;
}

/* A dialog's window procedure: the dialog procedure first; a message it
 * leaves (0) gets the default handling (WM_CLOSE becomes IDCANCEL). */
static LRESULT DlgDispatch(HWND h, UINT uMsg, WPARAM w, LPARAM l)
{
    PLATWND* p = W(h);
    INT_PTR r;
    if (!p) return 0;
    if (uMsg == WM_SETTEXT) PlatSetWindowText(h, (const char*)l);
    r = p->pfnDlg ? p->pfnDlg(h, uMsg, w, l) : 0;
    if (r) return r;
    switch (uMsg) {
        case WM_CLOSE:
            PlatPostMessage(h, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), (LPARAM)PlatGetDlgItem(h, IDCANCEL));
            break;
        case WM_GETTEXT: return PlatGetWindowText(h, (char*)l, (int)w);
        case WM_GETTEXTLENGTH: return PlatGetWindowTextLength(h);
        default: break;
    }
    return 0;
}

static LRESULT WndCallKind(HWND h, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    PLATWND* p = W(h);
    if (!p) return 0;
    if (p->iKind == 0) return DlgDispatch(h, uMsg, wParam, lParam);
    if (p->iKind == PLAT_CTL_CUSTOM) {
        PLAT_WNDPROC pfn = s_aClasses[(size_t)p->iClass].wc.lpfnWndProc;
        return pfn(h, uMsg, wParam, lParam);
    }
    return CtlProc(h, uMsg, wParam, lParam);
}

/* WndCallKind, counted as a running window procedure. */
static LRESULT WndCall(HWND h, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    LRESULT r;
    s_iDepth++;
    r = WndCallKind(h, uMsg, wParam, lParam);
    s_iDepth--;
    GraveyardSweep();
    return r;
}

LRESULT PlatSendMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    return WndCall(hWnd, uMsg, wParam, lParam);
}

LRESULT PlatSendDlgItemMessage(HWND hDlg, int iId, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    HWND h = PlatGetDlgItem(hDlg, iId);
    return h ? PlatSendMessage(h, uMsg, wParam, lParam) : 0;
}

/* ---- 4. Input of a person -------------------------------------------- */

BOOL PlatUiPost(HWND hCtl, int iAction, int iIndex, const char* szText)
{
    PLATINPUT in;
    if (!W(hCtl)) return 0;
    in.iIndex = iIndex;
    in.sText = szText ? szText : "";
    s_mInput[++s_lInputKey] = in;
    return PlatPostMessage(hCtl, PLAT_WM_UIACTION, (WPARAM)iAction, s_lInputKey);
}

/* A person can reach the control: it and its dialog are visible and enabled. */
static int UiReachable(const PLATWND* p)
{
    const PLATWND* pDlg = W(p->hParent);
    if (!p->bEnabled || !PlatIsWindowVisible(p->hSelf)) return 0;
    return !pDlg || pDlg->bEnabled;
}

/* Moves the focus to h as a person does: open lists elsewhere close. */
static void UiFocus(HWND h)
{
    PLATWND* p = W(h);
    PLATWND* pDlg = p ? W(p->hParent) : NULL;
    size_t i;
    if (!pDlg) return;
    for (i = 0; i < pDlg->aChildren.size(); i++) {
        PLATWND* c = W(pDlg->aChildren[i]);
        if (c && c->hSelf != h && c->iKind == PLAT_CTL_COMBO && c->bDropped) {
            c->bDropped = 0;
            Changed();
            Notify(c->hSelf, CBN_CLOSEUP);
            pDlg = W(W(h) ? W(h)->hParent : NULL);
            if (!pDlg) return;
        }
    }
    if (W(h)) PlatSetFocus(h);
}

static void UiClick(HWND h)
{
    PLATWND* p = W(h);
    PLATWND* pDlg;
    if (!p) return;
    if (p->iKind == PLAT_CTL_RADIO) {
        pDlg = W(p->hParent);
        if (pDlg) {
            /* The group runs from the WS_GROUP control at or before this one
             * to the next WS_GROUP control. */
            size_t iAt = 0, iStart = 0, iEnd, i;
            for (i = 0; i < pDlg->aChildren.size(); i++) {
                if (pDlg->aChildren[i] == h) iAt = i;
            }
            for (i = 0; i <= iAt; i++) {
                PLATWND* c = W(pDlg->aChildren[i]);
                if (c && (c->dwStyle & WS_GROUP)) iStart = i;
            }
            for (iEnd = iAt + 1; iEnd < pDlg->aChildren.size(); iEnd++) {
                PLATWND* c = W(pDlg->aChildren[iEnd]);
                if (c && (c->dwStyle & WS_GROUP)) break;
            }
            for (i = iStart; i < iEnd; i++) {
                PLATWND* c = W(pDlg->aChildren[i]);
                if (c && c->iKind == PLAT_CTL_RADIO) c->iCheck = c->hSelf == h ? BST_CHECKED : BST_UNCHECKED;
            }
            Changed();
        }
        Notify(h, BN_CLICKED);
    } else if (p->iKind == PLAT_CTL_BUTTON) {
        Notify(h, BN_CLICKED);
    }
}

static void UiAction(HWND h, int iAction, LPARAM lKey)
{
    PLATINPUT in;
    PLATWND* p;
    std::map<LPARAM, PLATINPUT>::iterator it = s_mInput.find(lKey);
    if (it == s_mInput.end()) return;
    in = it->second;
    s_mInput.erase(it);
    p = W(h);
    if (!p || !UiReachable(p)) return;
    switch (iAction) {
        case PLAT_UIA_CLICK:
            if (p->iKind == PLAT_CTL_BUTTON || p->iKind == PLAT_CTL_RADIO || p->iKind == PLAT_CTL_EDIT ||
                p->iKind == PLAT_CTL_LIST || p->iKind == PLAT_CTL_COMBO)
                UiFocus(h);
            UiClick(h);
            break;
        case PLAT_UIA_TYPE:
            /* Keys that leave the text as it was change nothing. */
            if (p->sText == in.sText) break;
            if (p->iKind == PLAT_CTL_EDIT) {
                if (p->dwStyle & ES_READONLY) break;
                p->sText = in.sText;
                Changed();
                Notify(h, EN_UPDATE);
                Notify(h, EN_CHANGE);
            } else if (p->iKind == PLAT_CTL_COMBO) {
                p->sText = in.sText;
                Changed();
                Notify(h, CBN_EDITUPDATE);
                p = W(h);
                if (!p) break;
                p->iSel = (p->bDropped && !p->sText.empty()) ? ItemFind(p, (WPARAM)-1, p->sText.c_str(), 0) : -1;
                Notify(h, CBN_EDITCHANGE);
            }
            break;
        case PLAT_UIA_DROPDOWN:
            if (p->iKind == PLAT_CTL_COMBO && !p->bDropped) {
                UiFocus(h);
                PlatSendMessage(h, CB_SHOWDROPDOWN, 1, 0);
            }
            break;
        case PLAT_UIA_CLOSEUP:
            if (p->iKind == PLAT_CTL_COMBO) PlatSendMessage(h, CB_SHOWDROPDOWN, 0, 0);
            break;
        case PLAT_UIA_SELECT:
            if (in.iIndex < 0 || in.iIndex >= (int)p->aItems.size()) break;
            if (p->iKind == PLAT_CTL_LIST) {
                UiFocus(h);
                p = W(h);
                if (!p) break;
                p->iSel = in.iIndex;
                Changed();
                if (p->dwStyle & LBS_NOTIFY) Notify(h, LBN_SELCHANGE);
            } else if (p->iKind == PLAT_CTL_COMBO) {
                int bDropped = p->bDropped;
                p->iSel = in.iIndex;
                p->sText = p->aItems[(size_t)in.iIndex].sText;
                Changed();
                Notify(h, CBN_SELCHANGE);
                p = W(h);
                if (p && bDropped) {
                    p->bDropped = 0;
                    Changed();
                    Notify(h, CBN_SELENDOK);
                    Notify(h, CBN_CLOSEUP);
                }
            }
            break;
        case PLAT_UIA_FOCUS: UiFocus(h); break;
        default: break;
    }
}

/* ---- 5. Message queue, timers, loops --------------------------------- */

static long long NowMs(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

/* Releases what a message that will never be dispatched holds. */
static void DropMessage(const PLAT_MSG& msg)
{
    if (msg.message == PLAT_WM_UIACTION) s_mInput.erase(msg.lParam);
}

BOOL PlatPostMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    PLAT_MSG msg;
    if (!W(hWnd)) {
        PlatSetLastError(1400);
        return 0;
    }
    msg.hwnd = hWnd;
    msg.message = uMsg;
    msg.wParam = wParam;
    msg.lParam = lParam;
    s_qMsg.push_back(msg);
    return 1;
}

void PlatPostQuitMessage(int iExitCode)
{
    s_bQuit = 1;
    s_iQuitCode = iExitCode;
}

UINT PlatSetTimer(HWND hWnd, UINT uId, UINT uElapse)
{
    size_t i;
    PLATTIMER t;
    if (!W(hWnd)) return 0;
    for (i = 0; i < s_aTimers.size(); i++) {
        if (s_aTimers[i].hWnd == hWnd && s_aTimers[i].uId == uId) {
            s_aTimers[i].uElapse = uElapse;
            s_aTimers[i].llDue = NowMs() + uElapse;
            return uId;
        }
    }
    t.hWnd = hWnd;
    t.uId = uId;
    t.uElapse = uElapse;
    t.llDue = NowMs() + uElapse;
    s_aTimers.push_back(t);
    return uId ? uId : 1;
}

BOOL PlatKillTimer(HWND hWnd, UINT uId)
{
    size_t i;
    for (i = 0; i < s_aTimers.size(); i++) {
        if (s_aTimers[i].hWnd == hWnd && s_aTimers[i].uId == uId) {
            s_aTimers.erase(s_aTimers.begin() + (long)i);
            return 1;
        }
    }
    return 0;
}

/* One pass over the sources of messages. bWait: GetMessage. Returns 1 with
 * a message, 0 when there is none (peek), -1 when none can arrive. */
static int MsgFetch(PLAT_MSG* pMsg, int bRemove, int bWait)
{
    for (;;) {
        size_t i;
        long long llNow, llNext = -1;
        int iWait, r;
        while (!s_qMsg.empty()) {
            PLAT_MSG msg = s_qMsg.front();
            if (!W(msg.hwnd)) {
                s_qMsg.pop_front();
                DropMessage(msg);
                continue;
            }
            if (bRemove) s_qMsg.pop_front();
            *pMsg = msg;
            return 1;
        }
        if (s_bQuit) {
            pMsg->hwnd = NULL;
            pMsg->message = WM_QUIT;
            pMsg->wParam = (WPARAM)(INT_PTR)s_iQuitCode;
            pMsg->lParam = 0;
            if (bRemove) s_bQuit = 0;
            return 1;
        }
        for (i = 0; i < s_apWnd.size(); i++) {
            PLATWND* p = s_apWnd[i];
            if (p && p->iKind == PLAT_CTL_CUSTOM && p->bInvalid && PlatIsWindowVisible(p->hSelf)) {
                pMsg->hwnd = p->hSelf;
                pMsg->message = WM_PAINT;
                pMsg->wParam = 0;
                pMsg->lParam = 0;
                return 1;
            }
        }
        llNow = NowMs();
        for (i = 0; i < s_aTimers.size(); i++) {
            if (s_aTimers[i].llDue <= llNow) {
                pMsg->hwnd = s_aTimers[i].hWnd;
                pMsg->message = WM_TIMER;
                pMsg->wParam = s_aTimers[i].uId;
                pMsg->lParam = 0;
                if (bRemove) s_aTimers[i].llDue = llNow + s_aTimers[i].uElapse;
                return 1;
            }
            if (llNext < 0 || s_aTimers[i].llDue < llNext) llNext = s_aTimers[i].llDue;
        }
        if (!bWait)
            iWait = 0;
        else if (llNext >= 0)
            iWait = (int)(llNext - llNow > 0 ? llNext - llNow : 1);
        else
            iWait = -1;
        r = (s_pFront && s_pFront->pfnIdle) ? s_pFront->pfnIdle(iWait) : 0;
        if (r) continue;
        if (!bWait) return 0;
        if (iWait < 0) return -1;
        llNow = NowMs();
        if (llNext > llNow) PlatSleep((DWORD)(llNext - llNow));
    }
}

int PlatGetMessage(PLAT_MSG* pMsg, HWND hWnd, UINT uMin, UINT uMax)
{
    int r;
    (void)hWnd, (void)uMin, (void)uMax;
    r = MsgFetch(pMsg, 1, 1);
    if (r < 0) return -1;
    return pMsg->message == WM_QUIT ? 0 : 1;
}

BOOL PlatPeekMessage(PLAT_MSG* pMsg, HWND hWnd, UINT uMin, UINT uMax, UINT uRemove)
{
    (void)hWnd, (void)uMin, (void)uMax;
    return MsgFetch(pMsg, (uRemove & PM_REMOVE) != 0, 0) == 1;
}

/* 1 when hChild is hParent or lies below it. */
static int WndIsChildOf(HWND hChild, HWND hParent)
{
    PLATWND* p = W(hChild);
    while (p) {
        if (p->hSelf == hParent) return 1;
        p = W(p->hParent);
    }
    return 0;
}

BOOL PlatIsDialogMessage(HWND hDlg, PLAT_MSG* pMsg)
{
    if (!pMsg || !W(hDlg) || !pMsg->hwnd || !WndIsChildOf(pMsg->hwnd, hDlg)) return 0;
    PlatDispatchMessage(pMsg);
    return 1;
}

BOOL PlatTranslateMessage(const PLAT_MSG* pMsg)
{
    (void)pMsg;
    return 0;
}

LRESULT PlatDispatchMessage(const PLAT_MSG* pMsg)
{
    LRESULT r;
    PLATWND* p;
    if (!pMsg) return 0;
    if (!W(pMsg->hwnd)) {
        DropMessage(*pMsg);
        return 0;
    }
    r = WndCall(pMsg->hwnd, pMsg->message, pMsg->wParam, pMsg->lParam);
    /* A handler that does not validate would be asked to paint forever. */
    p = W(pMsg->hwnd);
    if (p && pMsg->message == WM_PAINT) p->bInvalid = 0;
    return r;
}

INT_PTR PlatDialogBoxIndirectParam(HINSTANCE hInstance, const PLAT_DLGTEMPLATE* pTemplate, HWND hOwner,
                                   PLAT_DLGPROC pfnDlg, LPARAM lParam)
{
    HWND h;
    PLATWND* p;
    PLAT_MSG msg;
    INT_PTR iResult = -1;
    int bOwnerWasEnabled = 0;
    (void)hInstance;
    if (W(hOwner)) bOwnerWasEnabled = !PlatEnableWindow(hOwner, 0);
    h = DlgCreate(pTemplate, hOwner, pfnDlg, lParam);
    p = W(h);
    if (p && !p->bEnded) PlatShowWindow(h, SW_SHOW);
    for (;;) {
        int r;
        p = W(h);
        if (!p || p->bEnded) break;
        r = PlatGetMessage(&msg, NULL, 0, 0);
        if (r == 0) {
            PlatPostQuitMessage((int)(INT_PTR)msg.wParam);
            break;
        }
        if (r < 0) break;
        if (!PlatIsDialogMessage(h, &msg)) {
            PlatTranslateMessage(&msg);
            PlatDispatchMessage(&msg);
        }
    }
    p = W(h);
    if (p && p->bEnded) iResult = p->iResult;
    if (bOwnerWasEnabled) PlatEnableWindow(hOwner, 1);
    if (p) PlatDestroyWindow(h);
    return iResult;
}

INT_PTR PlatDialogBoxParam(HINSTANCE hInstance, int iTemplate, HWND hOwner, PLAT_DLGPROC pfnDlg, LPARAM lParam)
{
    return PlatDialogBoxIndirectParam(hInstance, PlatFindDialogTemplate(iTemplate), hOwner, pfnDlg, lParam);
}

/* ---- 6. Geometry ------------------------------------------------------- */

int PlatGetSystemMetrics(int iIndex)
{
    if (iIndex == SM_CXSCREEN) return SCREEN_CX;
    if (iIndex == SM_CYSCREEN) return SCREEN_CY;
    return 0;
}

static void WndOrigin(const PLATWND* p, LONG* px, LONG* py);

/* The screen position of the window's client area. */
static void WndClientOrigin(const PLATWND* p, LONG* px, LONG* py)
{
    int iBorder, iCaption;
    WndOrigin(p, px, py);
    WndNonClient(p, &iBorder, &iCaption);
    *px += iBorder;
    *py += iBorder + iCaption;
}

static void WndOrigin(const PLATWND* p, LONG* px, LONG* py)
{
    const PLATWND* pParent = W(p->hParent);
    if (!pParent) {
        *px = p->x;
        *py = p->y;
        return;
    }
    WndClientOrigin(pParent, px, py);
    *px += p->x;
    *py += p->y;
}

BOOL PlatGetWindowRect(HWND hWnd, PLAT_RECT* pRect)
{
    PLATWND* p = W(hWnd);
    LONG x, y;
    if (!p || !pRect) return 0;
    WndOrigin(p, &x, &y);
    pRect->left = x;
    pRect->top = y;
    pRect->right = x + p->cx;
    pRect->bottom = y + p->cy;
    return 1;
}

BOOL PlatGetClientRect(HWND hWnd, PLAT_RECT* pRect)
{
    PLATWND* p = W(hWnd);
    LONG cx, cy;
    if (!p || !pRect) return 0;
    WndClientSize(p, &cx, &cy);
    pRect->left = 0;
    pRect->top = 0;
    pRect->right = cx;
    pRect->bottom = cy;
    return 1;
}

BOOL PlatScreenToClient(HWND hWnd, PLAT_POINT* pPoint)
{
    PLATWND* p = W(hWnd);
    LONG x, y;
    if (!p || !pPoint) return 0;
    WndClientOrigin(p, &x, &y);
    pPoint->x -= x;
    pPoint->y -= y;
    return 1;
}

BOOL PlatMoveWindow(HWND hWnd, int x, int y, int cx, int cy, BOOL bRepaint)
{
    PLATWND* p = W(hWnd);
    LONG cxClient, cyClient;
    if (!p) return 0;
    p->x = x, p->y = y, p->cx = cx, p->cy = cy;
    Changed();
    WndClientSize(p, &cxClient, &cyClient);
    WndCall(hWnd, WM_SIZE, 0, MAKELPARAM(cxClient, cyClient));
    if (bRepaint) PlatInvalidateRect(hWnd, NULL, 1);
    return 1;
}

BOOL PlatInvalidateRect(HWND hWnd, const PLAT_RECT* pRect, BOOL bErase)
{
    PLATWND* p = W(hWnd);
    size_t i;
    (void)pRect, (void)bErase;
    if (!p) return 0;
    if (p->iKind == PLAT_CTL_CUSTOM) p->bInvalid = 1;
    for (i = 0; i < p->aChildren.size(); i++) PlatInvalidateRect(p->aChildren[i], NULL, bErase);
    Changed();
    return 1;
}

BOOL PlatUpdateWindow(HWND hWnd)
{
    PLATWND* p = W(hWnd);
    if (!p) return 0;
    if (p->iKind == PLAT_CTL_CUSTOM && p->bInvalid && PlatIsWindowVisible(hWnd)) {
        WndCall(hWnd, WM_PAINT, 0, 0);
        p = W(hWnd);
        if (p) p->bInvalid = 0;
    }
    return 1;
}

/* ---- 7. Drawing and cursors ------------------------------------------ */

#define GDI_BRUSH 1
#define GDI_PEN 2

struct PLATGDI {
    int iKind;
    COLORREF cr;
    int bStock;
    int cSelected;
};

struct PLATDC {
    HWND hWnd;
    PLATGDI* pBrush;
    PLATGDI* pPen;
    COLORREF crText;
    int iBkMode;
    std::vector<PLAT_PAINTOP> aOps;
};

static PLATGDI s_gdiWhiteBrush = {GDI_BRUSH, 0xFFFFFF, 1, 0};
static PLATGDI s_gdiBlackPen = {GDI_PEN, 0x000000, 1, 0};
static int s_cGdiObjects;

HDC PlatBeginPaint(HWND hWnd, PLAT_PAINTSTRUCT* pPaint)
{
    PLATWND* p = W(hWnd);
    PLATDC* pdc;
    LONG cx, cy;
    if (!p || !pPaint) return NULL;
    pdc = new PLATDC();
    pdc->hWnd = hWnd;
    pdc->pBrush = &s_gdiWhiteBrush;
    pdc->pPen = &s_gdiBlackPen;
    pdc->crText = 0;
    pdc->iBkMode = OPAQUE;
    p->bInvalid = 0;
    WndClientSize(p, &cx, &cy);
    pPaint->hdc = (HDC)pdc;
    pPaint->fErase = 0;
    pPaint->rcPaint.left = 0, pPaint->rcPaint.top = 0, pPaint->rcPaint.right = cx, pPaint->rcPaint.bottom = cy;
    return (HDC)pdc;
}

BOOL PlatEndPaint(HWND hWnd, const PLAT_PAINTSTRUCT* pPaint)
{
    PLATDC* pdc;
    PLATWND* p = W(hWnd);
    if (!pPaint || !pPaint->hdc) return 0;
    pdc = (PLATDC*)pPaint->hdc;
    pdc->pBrush->cSelected--;
    pdc->pPen->cSelected--;
    if (p) {
        p->aPaint = pdc->aOps;
        Changed();
    }
    delete pdc;
    return 1;
}

/* A new brush or pen, counted as alive until deleted. */
static PLATGDI* GdiNew(int iKind, COLORREF cr)
{
    PLATGDI* p = new PLATGDI();
    p->iKind = iKind;
    p->cr = cr & 0xFFFFFF;
    s_cGdiObjects++;
    return p;
}

HBRUSH PlatCreateSolidBrush(COLORREF cr) { return (HBRUSH)GdiNew(GDI_BRUSH, cr); }

HPEN PlatCreatePen(int iStyle, int iWidth, COLORREF cr)
{
    (void)iStyle, (void)iWidth;
    return (HPEN)GdiNew(GDI_PEN, cr);
}

HGDIOBJ PlatGetStockObject(int iObject) { return iObject == WHITE_BRUSH ? (HGDIOBJ)&s_gdiWhiteBrush : NULL; }

HGDIOBJ PlatSelectObject(HDC hdc, HGDIOBJ hObject)
{
    PLATDC* pdc = (PLATDC*)hdc;
    PLATGDI* pNew = (PLATGDI*)hObject;
    PLATGDI* pOld;
    if (!pdc || !pNew) return NULL;
    if (pNew->iKind == GDI_BRUSH) {
        pOld = pdc->pBrush;
        pdc->pBrush = pNew;
    } else {
        pOld = pdc->pPen;
        pdc->pPen = pNew;
    }
    pNew->cSelected++;
    pOld->cSelected--;
    return (HGDIOBJ)pOld;
}

BOOL PlatDeleteObject(HGDIOBJ hObject)
{
    PLATGDI* p = (PLATGDI*)hObject;
    if (!p || p->bStock || p->cSelected > 0) return 0;
    delete p;
    s_cGdiObjects--;
    return 1;
}

BOOL PlatRectangle(HDC hdc, int left, int top, int right, int bottom)
{
    PLATDC* pdc = (PLATDC*)hdc;
    PLAT_PAINTOP op;
    if (!pdc) return 0;
    if (right <= left || bottom <= top) return 1;
    memset(&op, 0, sizeof(op));
    op.iOp = PLAT_PAINT_RECT;
    op.left = left, op.top = top, op.right = right, op.bottom = bottom;
    op.crFill = pdc->pBrush->cr;
    op.crPen = pdc->pPen->cr;
    pdc->aOps.push_back(op);
    return 1;
}

COLORREF PlatSetTextColor(HDC hdc, COLORREF cr)
{
    PLATDC* pdc = (PLATDC*)hdc;
    COLORREF crOld;
    if (!pdc) return 0xFFFFFFFF;
    crOld = pdc->crText;
    pdc->crText = cr;
    return crOld;
}

int PlatSetBkMode(HDC hdc, int iMode)
{
    PLATDC* pdc = (PLATDC*)hdc;
    int iOld;
    if (!pdc) return 0;
    iOld = pdc->iBkMode;
    pdc->iBkMode = iMode;
    return iOld;
}

DWORD PlatGetTabbedTextExtent(HDC hdc, const char* szText, int cch)
{
    int i, iCol = 0;
    (void)hdc;
    if (!szText) return 0;
    if (cch < 0) cch = (int)strlen(szText);
    for (i = 0; i < cch; i++) iCol = szText[i] == '\t' ? (iCol / 8 + 1) * 8 : iCol + 1;
    return (DWORD)MAKELONG(iCol * BASE_X, BASE_Y);
}

BOOL PlatTextOut(HDC hdc, int x, int y, const char* szText, int cch)
{
    PLATDC* pdc = (PLATDC*)hdc;
    PLAT_PAINTOP op;
    if (!pdc || !szText) return 0;
    if (cch < 0) cch = (int)strlen(szText);
    memset(&op, 0, sizeof(op));
    op.iOp = PLAT_PAINT_TEXT;
    op.left = x, op.top = y;
    op.crPen = pdc->crText;
    PosixCopy(op.szText, (size_t)(cch + 1 < (int)sizeof(op.szText) ? cch + 1 : (int)sizeof(op.szText)), szText);
    pdc->aOps.push_back(op);
    return 1;
}

HCURSOR PlatLoadCursor(HINSTANCE hInstance, int iId)
{
    (void)hInstance;
    return (iId == IDC_ARROW || iId == IDC_WAIT) ? (HCURSOR)(intptr_t)iId : NULL;
}

HCURSOR PlatSetCursor(HCURSOR hCursor)
{
    HCURSOR hOld = (HCURSOR)(intptr_t)s_iCursor;
    if (hCursor) {
        s_iCursor = (int)(intptr_t)hCursor;
        Changed();
    }
    return hOld;
}

/* ---- 8. Model access --------------------------------------------------- */

int PlatUiDialogs(HWND* ahOut, int cMax)
{
    size_t i;
    int c = 0;
    for (i = 0; i < s_apWnd.size(); i++) {
        PLATWND* p = s_apWnd[i];
        if (p && p->iKind == 0 && p->bVisible) {
            if (c < cMax && ahOut) ahOut[c] = p->hSelf;
            c++;
        }
    }
    return c;
}

HWND PlatUiActiveDialog(void)
{
    size_t i = s_apWnd.size();
    while (i-- > 0) {
        PLATWND* p = s_apWnd[i];
        if (p && p->iKind == 0 && p->bVisible && p->bEnabled) return p->hSelf;
    }
    return NULL;
}

int PlatUiChildren(HWND hDlg, HWND* ahOut, int cMax)
{
    PLATWND* p = W(hDlg);
    size_t i;
    int c = 0;
    if (!p) return 0;
    for (i = 0; i < p->aChildren.size(); i++) {
        if (c < cMax && ahOut) ahOut[c] = p->aChildren[i];
        c++;
    }
    return c;
}

BOOL PlatUiInfo(HWND hWnd, PLAT_CTLINFO* pInfo)
{
    PLATWND* p = W(hWnd);
    if (!p || !pInfo) return 0;
    memset(pInfo, 0, sizeof(*pInfo));
    pInfo->iKind = p->iKind;
    pInfo->iId = p->iId;
    pInfo->dwStyle = p->dwStyle;
    pInfo->dwUi = p->dwUi;
    pInfo->rcDu = p->rcDu;
    pInfo->rcPx.left = p->x, pInfo->rcPx.top = p->y;
    pInfo->rcPx.right = p->x + p->cx, pInfo->rcPx.bottom = p->y + p->cy;
    pInfo->bVisible = p->bVisible;
    pInfo->bEnabled = p->bEnabled;
    pInfo->iCheck = p->iCheck;
    pInfo->bFocus = s_hFocus == hWnd;
    pInfo->bDropped = p->bDropped;
    pInfo->iSel = p->iSel;
    pInfo->cItems = (int)p->aItems.size();
    pInfo->iTemplate = p->iTemplate;
    pInfo->szClass = p->iClass >= 0 ? s_aClasses[(size_t)p->iClass].sName.c_str() : "";
    return 1;
}

const char* PlatUiText(HWND hWnd)
{
    PLATWND* p = W(hWnd);
    return p ? p->sText.c_str() : "";
}

const char* PlatUiItemText(HWND hWnd, int iItem)
{
    PLATWND* p = W(hWnd);
    if (!p || iItem < 0 || iItem >= (int)p->aItems.size()) return "";
    return p->aItems[(size_t)iItem].sText.c_str();
}

int PlatUiPaint(HWND hWnd, const PLAT_PAINTOP** ppOps)
{
    PLATWND* p = W(hWnd);
    if (ppOps) *ppOps = NULL;
    if (!p || p->aPaint.empty()) return 0;
    if (ppOps) *ppOps = &p->aPaint[0];
    return (int)p->aPaint.size();
}

int PlatUiGdiObjects(void) { return s_cGdiObjects; }
int PlatUiCursor(void) { return s_iCursor; }
unsigned long PlatUiChangeCount(void) { return s_ulChanges; }
BOOL PlatUiQueued(void) { return !s_qMsg.empty() || s_bQuit; }

void PlatDialogReset(void)
{
    size_t i;
    for (i = 0; i < s_apWnd.size(); i++) {
        if (s_apWnd[i]) s_apDead.push_back(s_apWnd[i]);
    }
    /* Slots stay used so that old handles stay invalid. */
    for (i = 0; i < s_apWnd.size(); i++) s_apWnd[i] = NULL;
    for (i = 0; i < s_apDead.size(); i++) delete s_apDead[i];
    s_apDead.clear();
    s_aClasses.clear();
    s_qMsg.clear();
    s_aTimers.clear();
    s_mInput.clear();
    s_bQuit = 0;
    s_iQuitCode = 0;
    s_hFocus = NULL;
    s_iCursor = IDC_ARROW;
    s_pFront = NULL;
    Changed();
}
