/*
 * msgloop.cpp - the message queue of the window model, timers and the
 * message loops. See window.h.
 */
#include "platform/posix/window.h"

/* ---- Message queue, timers, loops --------------------------------- */

static long long NowMs(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

/* Releases what a message that will never be dispatched holds. */
static void DropMessage(const PLAT_MSG& msg)
{
    if (msg.message == PLAT_WM_UIACTION) gWm.mInput.erase(msg.lParam);
}

BOOL PlatPostMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    PLAT_MSG msg;
    if (!WndOf(hWnd)) {
        PlatSetLastError(1400);
        return 0;
    }
    msg.hwnd = hWnd;
    msg.message = uMsg;
    msg.wParam = wParam;
    msg.lParam = lParam;
    gWm.qMsg.push_back(msg);
    return 1;
}

void PlatPostQuitMessage(int iExitCode)
{
    gWm.bQuit = 1;
    gWm.iQuitCode = iExitCode;
}

UINT PlatSetTimer(HWND hWnd, UINT uId, UINT uElapse)
{
    size_t i;
    PLATTIMER t;
    if (!WndOf(hWnd)) return 0;
    for (i = 0; i < gWm.aTimers.size(); i++) {
        if (gWm.aTimers[i].hWnd == hWnd && gWm.aTimers[i].uId == uId) {
            gWm.aTimers[i].uElapse = uElapse;
            gWm.aTimers[i].llDue = NowMs() + uElapse;
            return uId;
        }
    }
    t.hWnd = hWnd;
    t.uId = uId;
    t.uElapse = uElapse;
    t.llDue = NowMs() + uElapse;
    gWm.aTimers.push_back(t);
    return uId ? uId : 1;
}

BOOL PlatKillTimer(HWND hWnd, UINT uId)
{
    size_t i;
    for (i = 0; i < gWm.aTimers.size(); i++) {
        if (gWm.aTimers[i].hWnd == hWnd && gWm.aTimers[i].uId == uId) {
            gWm.aTimers.erase(gWm.aTimers.begin() + (long)i);
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
        while (!gWm.qMsg.empty()) {
            PLAT_MSG msg = gWm.qMsg.front();
            if (!WndOf(msg.hwnd)) {
                gWm.qMsg.pop_front();
                DropMessage(msg);
                continue;
            }
            if (bRemove) gWm.qMsg.pop_front();
            *pMsg = msg;
            return 1;
        }
        if (gWm.bQuit) {
            pMsg->hwnd = NULL;
            pMsg->message = WM_QUIT;
            pMsg->wParam = (WPARAM)(INT_PTR)gWm.iQuitCode;
            pMsg->lParam = 0;
            if (bRemove) gWm.bQuit = 0;
            return 1;
        }
        for (i = 0; i < gWm.apWnd.size(); i++) {
            PLATWND* p = gWm.apWnd[i];
            if (p && p->iKind == PLAT_CTL_CUSTOM && p->bInvalid && PlatIsWindowVisible(p->hSelf)) {
                pMsg->hwnd = p->hSelf;
                pMsg->message = WM_PAINT;
                pMsg->wParam = 0;
                pMsg->lParam = 0;
                return 1;
            }
        }
        llNow = NowMs();
        for (i = 0; i < gWm.aTimers.size(); i++) {
            if (gWm.aTimers[i].llDue <= llNow) {
                pMsg->hwnd = gWm.aTimers[i].hWnd;
                pMsg->message = WM_TIMER;
                pMsg->wParam = gWm.aTimers[i].uId;
                pMsg->lParam = 0;
                if (bRemove) gWm.aTimers[i].llDue = llNow + gWm.aTimers[i].uElapse;
                return 1;
            }
            if (llNext < 0 || gWm.aTimers[i].llDue < llNext) llNext = gWm.aTimers[i].llDue;
        }
        if (!bWait)
            iWait = 0;
        else if (llNext >= 0)
            iWait = (int)(llNext - llNow > 0 ? llNext - llNow : 1);
        else
            iWait = -1;
        r = (gWm.pFront && gWm.pFront->pfnIdle) ? gWm.pFront->pfnIdle(iWait) : 0;
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
    PLATWND* p = WndOf(hChild);
    while (p) {
        if (p->hSelf == hParent) return 1;
        p = WndOf(p->hParent);
    }
    return 0;
}

BOOL PlatIsDialogMessage(HWND hDlg, PLAT_MSG* pMsg)
{
    if (!pMsg || !WndOf(hDlg) || !pMsg->hwnd || !WndIsChildOf(pMsg->hwnd, hDlg)) return 0;
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
    if (!WndOf(pMsg->hwnd)) {
        DropMessage(*pMsg);
        return 0;
    }
    r = WndCall(pMsg->hwnd, pMsg->message, pMsg->wParam, pMsg->lParam);
    /* A handler that does not validate would be asked to paint forever. */
    p = WndOf(pMsg->hwnd);
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
    if (WndOf(hOwner)) bOwnerWasEnabled = !PlatEnableWindow(hOwner, 0);
    h = DlgCreate(pTemplate, hOwner, pfnDlg, lParam);
    p = WndOf(h);
    if (p && !p->bEnded) PlatShowWindow(h, SW_SHOW);
    for (;;) {
        int r;
        p = WndOf(h);
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
    p = WndOf(h);
    if (p && p->bEnded) iResult = p->iResult;
    if (bOwnerWasEnabled) PlatEnableWindow(hOwner, 1);
    if (p) PlatDestroyWindow(h);
    return iResult;
}

INT_PTR PlatDialogBoxParam(HINSTANCE hInstance, int iTemplate, HWND hOwner, PLAT_DLGPROC pfnDlg, LPARAM lParam)
{
    return PlatDialogBoxIndirectParam(hInstance, PlatFindDialogTemplate(iTemplate), hOwner, pfnDlg, lParam);
}
