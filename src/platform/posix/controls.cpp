/*
 * controls.cpp - the controls of the window model (edit, combo, list,
 * buttons): text, state, list items, their Win32 messages, and the input of
 * a person (PLAT_UIA_...). See window.h.
 */
#include "platform/posix/window.h"

/* ---- 1. Controls ------------------------------------------------------- */

HWND PlatGetDlgItem(HWND hDlg, int iId)
{
    PLATWND* p = WndOf(hDlg);
    size_t i;
    if (!p) return NULL;
    for (i = 0; i < p->aChildren.size(); i++) {
        PLATWND* c = WndOf(p->aChildren[i]);
        if (c && c->iId == iId) return c->hSelf;
    }
    PlatSetLastError(1421); /* ERROR_CONTROL_ID_NOT_FOUND */
    return NULL;
}

int PlatGetDlgCtrlID(HWND hWnd)
{
    PLATWND* p = WndOf(hWnd);
    return p ? p->iId : 0;
}

HWND PlatGetParent(HWND hWnd)
{
    PLATWND* p = WndOf(hWnd);
    if (!p) return NULL;
    return p->hParent ? p->hParent : p->hOwner;
}

BOOL PlatSetWindowText(HWND hWnd, const char* szText)
{
    PLATWND* p = WndOf(hWnd);
    if (!p) return 0;
    p->sText = szText ? szText : "";
    if (p->iKind == PLAT_CTL_CUSTOM) p->bInvalid = 1;
    WndChanged();
    return 1;
}

int PlatGetWindowText(HWND hWnd, char* szBuf, int cchMax)
{
    PLATWND* p = WndOf(hWnd);
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
    PLATWND* p = WndOf(hWnd);
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
    PLATWND* p = WndOf(hWnd);
    int bWas, bNow;
    if (!p) return 0;
    bWas = p->bVisible;
    bNow = nCmdShow != SW_HIDE;
    /* The open list of a combo box goes with it. */
    if (!bNow && p->bDropped) {
        p->bDropped = 0;
        WndChanged();
    }
    if (bWas != bNow) {
        p->bVisible = bNow;
        if (bNow && p->iKind == PLAT_CTL_CUSTOM) p->bInvalid = 1;
        WndChanged();
        if (p->iKind == 0) FrontDialogsChanged();
    }
    return bWas;
}

BOOL PlatEnableWindow(HWND hWnd, BOOL bEnable)
{
    PLATWND* p = WndOf(hWnd);
    int bWasDisabled;
    if (!p) return 0;
    bWasDisabled = !p->bEnabled;
    if (p->bEnabled != (bEnable != 0)) {
        p->bEnabled = bEnable != 0;
        WndChanged();
    }
    return bWasDisabled;
}

BOOL PlatIsWindowVisible(HWND hWnd)
{
    PLATWND* p = WndOf(hWnd);
    while (p) {
        if (!p->bVisible) return 0;
        if (!p->hParent) return 1;
        p = WndOf(p->hParent);
    }
    return 0;
}

BOOL PlatIsWindowEnabled(HWND hWnd)
{
    PLATWND* p = WndOf(hWnd);
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
    HWND hPrev = gWm.hFocus;
    PLATWND* p = WndOf(hWnd);
    if (hWnd && !p) return NULL;
    gWm.hFocus = hWnd;
    if (p && p->hParent) {
        PLATWND* pParent = WndOf(p->hParent);
        if (pParent) pParent->hFocus = hWnd;
    }
    WndChanged();
    return hPrev;
}

HWND PlatGetFocus(void) { return WndOf(gWm.hFocus) ? gWm.hFocus : NULL; }

/* Sends WM_COMMAND with the control's id and the code to its dialog. */
static void Notify(HWND hCtl, int iCode)
{
    PLATWND* p = WndOf(hCtl);
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
    WndChanged();
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
    WndChanged();
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
            WndChanged();
            return 1;
        case CB_FINDSTRING: return ItemFind(p, w, (const char*)l, 0);
        case CB_FINDSTRINGEXACT: return ItemFind(p, w, (const char*)l, 1);
        case CB_SETCURSEL:
            WndChanged();
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
                p = WndOf(h);
                if (p) p->bDropped = 1;
                WndChanged();
            } else if (!w && p->bDropped) {
                p->bDropped = 0;
                WndChanged();
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
            WndChanged();
            return 0;
        case LB_SETCURSEL:
            WndChanged();
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
    PLATWND* p = WndOf(h);
    if (!p) return 0;
    switch (uMsg) {
        case WM_SETTEXT: return PlatSetWindowText(h, (const char*)l);
        case WM_GETTEXT: return PlatGetWindowText(h, (char*)l, (int)w);
        case WM_GETTEXTLENGTH: return (LRESULT)p->sText.size();
        case BM_GETCHECK: return p->iCheck;
        case BM_SETCHECK:
            p->iCheck = (int)w;
            WndChanged();
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
    PLATWND* p = WndOf(h);
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
    PLATWND* p = WndOf(h);
    if (!p) return 0;
    if (p->iKind == 0) return DlgDispatch(h, uMsg, wParam, lParam);
    if (p->iKind == PLAT_CTL_CUSTOM) {
        PLAT_WNDPROC pfn = gWm.aClasses[(size_t)p->iClass].wc.lpfnWndProc;
        return pfn(h, uMsg, wParam, lParam);
    }
    return CtlProc(h, uMsg, wParam, lParam);
}

/* WndCallKind, counted as a running window procedure. */
LRESULT WndCall(HWND h, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    LRESULT r;
    gWm.iDepth++;
    r = WndCallKind(h, uMsg, wParam, lParam);
    gWm.iDepth--;
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

/* ---- 2. Input of a person -------------------------------------------- */

BOOL PlatUiPost(HWND hCtl, int iAction, int iIndex, const char* szText)
{
    PLATINPUT in;
    if (!WndOf(hCtl)) return 0;
    in.iIndex = iIndex;
    in.sText = szText ? szText : "";
    gWm.mInput[++gWm.lInputKey] = in;
    return PlatPostMessage(hCtl, PLAT_WM_UIACTION, (WPARAM)iAction, gWm.lInputKey);
}

/* A person can reach the control: it and its dialog are visible and enabled. */
static int UiReachable(const PLATWND* p)
{
    const PLATWND* pDlg = WndOf(p->hParent);
    if (!p->bEnabled || !PlatIsWindowVisible(p->hSelf)) return 0;
    return !pDlg || pDlg->bEnabled;
}

/* Moves the focus to h as a person does: open lists elsewhere close. */
static void UiFocus(HWND h)
{
    PLATWND* p = WndOf(h);
    PLATWND* pDlg = p ? WndOf(p->hParent) : NULL;
    size_t i;
    if (!pDlg) return;
    for (i = 0; i < pDlg->aChildren.size(); i++) {
        PLATWND* c = WndOf(pDlg->aChildren[i]);
        if (c && c->hSelf != h && c->iKind == PLAT_CTL_COMBO && c->bDropped) {
            c->bDropped = 0;
            WndChanged();
            Notify(c->hSelf, CBN_CLOSEUP);
            pDlg = WndOf(WndOf(h) ? WndOf(h)->hParent : NULL);
            if (!pDlg) return;
        }
    }
    if (WndOf(h)) PlatSetFocus(h);
}

static void UiClick(HWND h)
{
    PLATWND* p = WndOf(h);
    PLATWND* pDlg;
    if (!p) return;
    if (p->iKind == PLAT_CTL_RADIO) {
        pDlg = WndOf(p->hParent);
        if (pDlg) {
            /* The group runs from the WS_GROUP control at or before this one
             * to the next WS_GROUP control. */
            size_t iAt = 0, iStart = 0, iEnd, i;
            for (i = 0; i < pDlg->aChildren.size(); i++) {
                if (pDlg->aChildren[i] == h) iAt = i;
            }
            for (i = 0; i <= iAt; i++) {
                PLATWND* c = WndOf(pDlg->aChildren[i]);
                if (c && (c->dwStyle & WS_GROUP)) iStart = i;
            }
            for (iEnd = iAt + 1; iEnd < pDlg->aChildren.size(); iEnd++) {
                PLATWND* c = WndOf(pDlg->aChildren[iEnd]);
                if (c && (c->dwStyle & WS_GROUP)) break;
            }
            for (i = iStart; i < iEnd; i++) {
                PLATWND* c = WndOf(pDlg->aChildren[i]);
                if (c && c->iKind == PLAT_CTL_RADIO) c->iCheck = c->hSelf == h ? BST_CHECKED : BST_UNCHECKED;
            }
            WndChanged();
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
    std::map<LPARAM, PLATINPUT>::iterator it = gWm.mInput.find(lKey);
    if (it == gWm.mInput.end()) return;
    in = it->second;
    gWm.mInput.erase(it);
    p = WndOf(h);
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
                WndChanged();
                Notify(h, EN_UPDATE);
                Notify(h, EN_CHANGE);
            } else if (p->iKind == PLAT_CTL_COMBO) {
                p->sText = in.sText;
                WndChanged();
                Notify(h, CBN_EDITUPDATE);
                p = WndOf(h);
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
                p = WndOf(h);
                if (!p) break;
                p->iSel = in.iIndex;
                WndChanged();
                if (p->dwStyle & LBS_NOTIFY) Notify(h, LBN_SELCHANGE);
            } else if (p->iKind == PLAT_CTL_COMBO) {
                int bDropped = p->bDropped;
                p->iSel = in.iIndex;
                p->sText = p->aItems[(size_t)in.iIndex].sText;
                WndChanged();
                Notify(h, CBN_SELCHANGE);
                p = WndOf(h);
                if (p && bDropped) {
                    p->bDropped = 0;
                    WndChanged();
                    Notify(h, CBN_SELENDOK);
                    Notify(h, CBN_CLOSEUP);
                }
            }
            break;
        case PLAT_UIA_FOCUS: UiFocus(h); break;
        default: break;
    }
}
