/*
 * window.h - the window model of the Linux build, shared by its files and
 * nobody else:
 *   window.cpp    the window table, classes, creation and destruction of
 *                 dialogs and windows, geometry, model access for front ends
 *   controls.cpp  controls (edit, combo, list, buttons) and their messages,
 *                 input of a person
 *   msgloop.cpp   the message queue, timers, the message loops
 *   paint.cpp     painting, GDI objects and cursors
 */
#ifndef HERON_PLATFORM_POSIX_WINDOW_H
#define HERON_PLATFORM_POSIX_WINDOW_H

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

/* The state of the model. */
struct WNDMODEL {
    std::vector<PLATWND*> apWnd;  /* slot i holds handle (i + 1) * 16 */
    std::vector<PLATWND*> apDead; /* destroyed, freed by GraveyardSweep */
    std::vector<PLATCLASS> aClasses;
    std::deque<PLAT_MSG> qMsg;
    std::vector<PLATTIMER> aTimers;
    std::map<LPARAM, PLATINPUT> mInput;
    LPARAM lInputKey;
    int bQuit;
    int iQuitCode;
    HWND hFocus;
    int iCursor = IDC_ARROW;
    unsigned long ulChanges;
    const PLAT_FRONTEND* pFront;
    int iDepth; /* window procedures running (nested) */
    int cGdiObjects; /* brushes and pens alive */
};
extern WNDMODEL gWm;

PLATWND* WndOf(HWND h);
void WndChanged(void);
/* A repaint or an invalidation only: counts for PlatUiChangeCount, not for WndShownChanges. */
void WndRepainted(void);
/* The count of changes other than repaints, since the process began. */
unsigned long WndShownChanges(void);
void GraveyardSweep(void);
void FrontDialogsChanged(void);
void WndClientSize(const PLATWND* p, LONG* pcx, LONG* pcy);
LRESULT WndCall(HWND h, UINT uMsg, WPARAM wParam, LPARAM lParam);
HWND DlgCreate(const PLAT_DLGTEMPLATE* pT, HWND hOwner, PLAT_DLGPROC pfnDlg, LPARAM lParam);

#endif
