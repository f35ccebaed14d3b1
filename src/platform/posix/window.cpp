/*
 * window.cpp - the window model of the Linux build (dialog.h): the window
 * table, classes, creation and destruction, geometry, model access. The
 * other families are in controls.cpp, msgloop.cpp and paint.cpp (window.h).
 *
 * Divisions:
 *   1. Window table, handles, change counter, front end
 *   2. Classes, creation of dialogs and windows, destruction
 *   3. Geometry
 *   4. Model access
 *
 * A handle is a number derived from the window's slot; a slot is never used
 * again, so a handle of a destroyed window stays invalid and every call with
 * it fails harmlessly. The record of a destroyed window is freed only when
 * no window procedure runs any more, because a window may be destroyed
 * while one of its own handlers still runs further up the stack.
 */
#include "platform/posix/window.h"

WNDMODEL gWm;

/* ---- 1. Window table, handles, change counter, front end ------------- */

static HWND WndHandle(size_t iSlot) { return (HWND)(uintptr_t)((iSlot + 1) * 16); }

/* The live window of a handle, NULL for none. */
PLATWND* WndOf(HWND h)
{
    uintptr_t u = (uintptr_t)h;
    if (u == 0 || (u % 16) != 0) return NULL;
    u = u / 16 - 1;
    if (u >= gWm.apWnd.size()) return NULL;
    return gWm.apWnd[u];
}

/* Counts a change of the model, for front ends that redraw. */
/* Changes of what a window shows besides its painting (texts, visibility,
 * windows made or gone, properties, styles): never reset, so a reader can
 * tell that nothing of it changed since it last looked. */
static unsigned long s_ulShownChanges;

void WndChanged(void)
{
    gWm.ulChanges++;
    s_ulShownChanges++;
}

void WndRepainted(void) { gWm.ulChanges++; }

unsigned long WndShownChanges(void) { return s_ulShownChanges; }

/* Frees the records of destroyed windows once no window procedure runs
 * (one of them might still hold its own record). */
void GraveyardSweep(void)
{
    size_t i;
    if (gWm.iDepth > 0) return;
    for (i = 0; i < gWm.apDead.size(); i++) delete gWm.apDead[i];
    gWm.apDead.clear();
}

/* A new window record in the next slot: hidden, enabled, no selection. */
static PLATWND* WndNew(int iKind)
{
    PLATWND* p = new PLATWND();
    p->hSelf = WndHandle(gWm.apWnd.size());
    p->iKind = iKind;
    p->bVisible = 0;
    p->bEnabled = 1;
    p->iSel = -1;
    p->iClass = -1;
    gWm.apWnd.push_back(p);
    WndChanged();
    return p;
}

/* Tells the front end that the set of shown dialogs changed. */
void FrontDialogsChanged(void)
{
    if (gWm.pFront && gWm.pFront->pfnDialogsChanged) gWm.pFront->pfnDialogsChanged();
}

void PlatSetFrontEnd(const PLAT_FRONTEND* pFront)
{
    gWm.pFront = pFront;
    if (pFront && pFront->pfnStart) pFront->pfnStart();
}

const PLAT_FRONTEND* PlatGetFrontEnd(void) { return gWm.pFront; }

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
void WndClientSize(const PLATWND* p, LONG* pcx, LONG* pcy)
{
    int iBorder, iCaption;
    WndNonClient(p, &iBorder, &iCaption);
    *pcx = p->cx - 2 * iBorder;
    *pcy = p->cy - 2 * iBorder - iCaption;
    if (*pcx < 0) *pcx = 0;
    if (*pcy < 0) *pcy = 0;
}

/* Runs the window's procedure for the message; 0 for an invalid handle. */

WORD PlatRegisterClass(const PLAT_WNDCLASS* pClass)
{
    size_t i;
    if (!pClass || !pClass->lpszClassName || !pClass->lpfnWndProc) {
        PlatSetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    for (i = 0; i < gWm.aClasses.size(); i++) {
        if (strcasecmp(gWm.aClasses[i].sName.c_str(), pClass->lpszClassName) == 0) {
            PlatSetLastError(ERROR_CLASS_ALREADY_EXISTS);
            return 0;
        }
    }
    PLATCLASS cls;
    cls.sName = pClass->lpszClassName;
    cls.wc = *pClass;
    cls.wc.lpszClassName = NULL;
    gWm.aClasses.push_back(cls);
    return (WORD)(0xC000 + gWm.aClasses.size());
}

/* The index of a registered class (name without regard to case), -1. */
static int ClassFind(const char* szClass)
{
    size_t i;
    for (i = 0; szClass && i < gWm.aClasses.size(); i++) {
        if (strcasecmp(gWm.aClasses[i].sName.c_str(), szClass) == 0) return (int)i;
    }
    return -1;
}

HWND PlatCreateWindowEx(DWORD dwExStyle, const char* szClass, const char* szName, DWORD dwStyle, int x, int y, int cx,
                        int cy, HWND hParent, int iId, HINSTANCE hInstance, void* pParam)
{
    int iClass = ClassFind(szClass);
    PLATWND* pParent = WndOf(hParent);
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
    p->abExtra.assign(gWm.aClasses[iClass].wc.cbWndExtra > 0 ? (size_t)gWm.aClasses[iClass].wc.cbWndExtra : 0, 0);
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
    p = WndOf(h);
    if (!p) return NULL;
    WndClientSize(p, &cxClient, &cyClient);
    WndCall(h, WM_SIZE, 0, MAKELPARAM(cxClient, cyClient));
    return WndOf(h) ? h : NULL;
}

LRESULT PlatDefWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    PLATWND* p = WndOf(hWnd);
    (void)wParam, (void)lParam;
    if (p && uMsg == WM_PAINT) p->bInvalid = 0;
    return 0;
}

/* The first visible enabled WS_TABSTOP control, NULL for none. */
static HWND FirstTabStop(PLATWND* pDlg)
{
    size_t i;
    for (i = 0; i < pDlg->aChildren.size(); i++) {
        PLATWND* c = WndOf(pDlg->aChildren[i]);
        if (c && (c->dwStyle & WS_TABSTOP) && c->bVisible && c->bEnabled) return c->hSelf;
    }
    return NULL;
}

/* Builds a dialog and its controls from the template and initialises it
 * (PlatCreateDialogParam). NULL for no template or a dialog destroyed during
 * WM_INITDIALOG. */
HWND DlgCreate(const PLAT_DLGTEMPLATE* pT, HWND hOwner, PLAT_DLGPROC pfnDlg, LPARAM lParam)
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
    p->hOwner = WndOf(hOwner) ? hOwner : NULL;
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
        p = WndOf(h);
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
    p = WndOf(h);
    hFirst = FirstTabStop(p);
    gWm.iDepth++;
    r = pfnDlg ? pfnDlg(h, WM_INITDIALOG, (WPARAM)hFirst, lParam) : 1;
    gWm.iDepth--;
    GraveyardSweep();
    p = WndOf(h);
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
    PLATWND* p = WndOf(hDlg);
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
    while (i < gWm.aTimers.size()) {
        if (gWm.aTimers[i].hWnd == h)
            gWm.aTimers.erase(gWm.aTimers.begin() + (long)i);
        else
            i++;
    }
}

/* Makes the handle invalid and empties the record (it stays allocated). */
static void WndBury(PLATWND* p)
{
    uintptr_t iSlot = (uintptr_t)p->hSelf / 16 - 1;
    PLATWND* pParent = WndOf(p->hParent);
    size_t i;
    WndRemoveTimers(p->hSelf);
    if (gWm.hFocus == p->hSelf) gWm.hFocus = NULL;
    if (pParent) {
        for (i = 0; i < pParent->aChildren.size(); i++) {
            if (pParent->aChildren[i] == p->hSelf) {
                pParent->aChildren.erase(pParent->aChildren.begin() + (long)i);
                break;
            }
        }
        if (pParent->hFocus == p->hSelf) pParent->hFocus = NULL;
    }
    gWm.apWnd[iSlot] = NULL;
    p->aItems.clear();
    p->aPaint.clear();
    p->mProps.clear();
    p->sText.clear();
    gWm.apDead.push_back(p);
    WndChanged();
}

BOOL PlatDestroyWindow(HWND hWnd)
{
    PLATWND* p = WndOf(hWnd);
    int bTop;
    if (!p || p->bDestroying) return 0;
    p->bDestroying = 1;
    bTop = p->iKind == 0;
    WndCall(hWnd, WM_DESTROY, 0, 0);
    for (;;) {
        p = WndOf(hWnd);
        if (!p || p->aChildren.empty()) break;
        HWND hChild = p->aChildren.back();
        if (!PlatDestroyWindow(hChild)) {
            PLATWND* c = WndOf(hChild);
            if (c)
                WndBury(c);
            else
                p->aChildren.pop_back();
        }
    }
    /* Owned dialogs go with their owner. */
    {
        size_t i;
        for (i = 0; i < gWm.apWnd.size(); i++) {
            if (gWm.apWnd[i] && gWm.apWnd[i]->iKind == 0 && gWm.apWnd[i]->hOwner == hWnd)
                PlatDestroyWindow(gWm.apWnd[i]->hSelf);
        }
    }
    p = WndOf(hWnd);
    if (p) WndBury(p);
    if (bTop) FrontDialogsChanged();
    GraveyardSweep();
    return 1;
}

BOOL PlatIsWindow(HWND hWnd) { return WndOf(hWnd) != NULL; }

LONG PlatGetWindowLong(HWND hWnd, int iIndex)
{
    PLATWND* p = WndOf(hWnd);
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
    PLATWND* p = WndOf(hWnd);
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
            WndChanged();
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
    PLATWND* p = WndOf(hWnd);
    if (!p || !szName) return 0;
    p->mProps[szName] = hValue;
    WndChanged();
    return 1;
}

HANDLE PlatGetProp(HWND hWnd, const char* szName)
{
    PLATWND* p = WndOf(hWnd);
    if (!p || !szName) return NULL;
    std::map<std::string, HANDLE>::const_iterator it = p->mProps.find(szName);
    return it == p->mProps.end() ? NULL : it->second;
}

HANDLE PlatRemoveProp(HWND hWnd, const char* szName)
{
    PLATWND* p = WndOf(hWnd);
    HANDLE h;
    if (!p || !szName) return NULL;
    h = PlatGetProp(hWnd, szName);
    p->mProps.erase(szName);
    return h;
}

/* ---- 3. Geometry ------------------------------------------------------- */

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
    const PLATWND* pParent = WndOf(p->hParent);
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
    PLATWND* p = WndOf(hWnd);
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
    PLATWND* p = WndOf(hWnd);
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
    PLATWND* p = WndOf(hWnd);
    LONG x, y;
    if (!p || !pPoint) return 0;
    WndClientOrigin(p, &x, &y);
    pPoint->x -= x;
    pPoint->y -= y;
    return 1;
}

BOOL PlatMoveWindow(HWND hWnd, int x, int y, int cx, int cy, BOOL bRepaint)
{
    PLATWND* p = WndOf(hWnd);
    LONG cxClient, cyClient;
    if (!p) return 0;
    p->x = x, p->y = y, p->cx = cx, p->cy = cy;
    WndChanged();
    WndClientSize(p, &cxClient, &cyClient);
    WndCall(hWnd, WM_SIZE, 0, MAKELPARAM(cxClient, cyClient));
    if (bRepaint) PlatInvalidateRect(hWnd, NULL, 1);
    return 1;
}

BOOL PlatInvalidateRect(HWND hWnd, const PLAT_RECT* pRect, BOOL bErase)
{
    PLATWND* p = WndOf(hWnd);
    size_t i;
    (void)pRect, (void)bErase;
    if (!p) return 0;
    if (p->iKind == PLAT_CTL_CUSTOM) p->bInvalid = 1;
    for (i = 0; i < p->aChildren.size(); i++) PlatInvalidateRect(p->aChildren[i], NULL, bErase);
    WndRepainted();
    return 1;
}

BOOL PlatUpdateWindow(HWND hWnd)
{
    PLATWND* p = WndOf(hWnd);
    if (!p) return 0;
    if (p->iKind == PLAT_CTL_CUSTOM && p->bInvalid && PlatIsWindowVisible(hWnd)) {
        WndCall(hWnd, WM_PAINT, 0, 0);
        p = WndOf(hWnd);
        if (p) p->bInvalid = 0;
    }
    return 1;
}

/* ---- 4. Model access --------------------------------------------------- */

int PlatUiDialogs(HWND* ahOut, int cMax)
{
    size_t i;
    int c = 0;
    for (i = 0; i < gWm.apWnd.size(); i++) {
        PLATWND* p = gWm.apWnd[i];
        if (p && p->iKind == 0 && p->bVisible) {
            if (c < cMax && ahOut) ahOut[c] = p->hSelf;
            c++;
        }
    }
    return c;
}

HWND PlatUiActiveDialog(void)
{
    size_t i = gWm.apWnd.size();
    while (i-- > 0) {
        PLATWND* p = gWm.apWnd[i];
        if (p && p->iKind == 0 && p->bVisible && p->bEnabled) return p->hSelf;
    }
    return NULL;
}

int PlatUiChildren(HWND hDlg, HWND* ahOut, int cMax)
{
    PLATWND* p = WndOf(hDlg);
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
    PLATWND* p = WndOf(hWnd);
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
    pInfo->bFocus = gWm.hFocus == hWnd;
    pInfo->bDropped = p->bDropped;
    pInfo->iSel = p->iSel;
    pInfo->cItems = (int)p->aItems.size();
    pInfo->iTemplate = p->iTemplate;
    pInfo->szClass = p->iClass >= 0 ? gWm.aClasses[(size_t)p->iClass].sName.c_str() : "";
    return 1;
}

const char* PlatUiText(HWND hWnd)
{
    PLATWND* p = WndOf(hWnd);
    return p ? p->sText.c_str() : "";
}

const char* PlatUiItemText(HWND hWnd, int iItem)
{
    PLATWND* p = WndOf(hWnd);
    if (!p || iItem < 0 || iItem >= (int)p->aItems.size()) return "";
    return p->aItems[(size_t)iItem].sText.c_str();
}

int PlatUiPaint(HWND hWnd, const PLAT_PAINTOP** ppOps)
{
    PLATWND* p = WndOf(hWnd);
    if (ppOps) *ppOps = NULL;
    if (!p || p->aPaint.empty()) return 0;
    if (ppOps) *ppOps = &p->aPaint[0];
    return (int)p->aPaint.size();
}

int PlatUiGdiObjects(void) { return gWm.cGdiObjects; }
int PlatUiCursor(void) { return gWm.iCursor; }
unsigned long PlatUiChangeCount(void) { return gWm.ulChanges; }
BOOL PlatUiQueued(void) { return !gWm.qMsg.empty() || gWm.bQuit; }

void PlatDialogReset(void)
{
    size_t i;
    for (i = 0; i < gWm.apWnd.size(); i++) {
        if (gWm.apWnd[i]) gWm.apDead.push_back(gWm.apWnd[i]);
    }
    /* Slots stay used so that old handles stay invalid. */
    for (i = 0; i < gWm.apWnd.size(); i++) gWm.apWnd[i] = NULL;
    for (i = 0; i < gWm.apDead.size(); i++) delete gWm.apDead[i];
    gWm.apDead.clear();
    gWm.aClasses.clear();
    gWm.qMsg.clear();
    gWm.aTimers.clear();
    gWm.mInput.clear();
    gWm.bQuit = 0;
    gWm.iQuitCode = 0;
    gWm.hFocus = NULL;
    gWm.iCursor = IDC_ARROW;
    gWm.pFront = NULL;
    WndChanged();
}
