/*
 * dialog.h - dialogs, controls, custom windows and the message queue of the
 * platform layer.
 *
 * The logic uses these calls exactly as it would use the Win32 calls whose
 * names they mirror ("Plat" + the Win32 name, the same message numbers,
 * notification codes, styles and return conventions), so a Windows backend
 * maps each one onto the real call. The Linux backend (platform/posix/
 * dialog*.cpp) keeps a model of every window (kind, id, text, rectangle,
 * visibility, enabled and check state, list items, selection, focus, the
 * last drawing of custom windows) and a message queue with posted messages,
 * the quit request, paint requests and timers. A front end shows the model
 * and turns a person's keys (terminal) or a script (headless) into input.
 *
 * Divisions:
 *   1. Types, messages, notifications, styles
 *   2. Dialog templates (the dialog resources of the Linux build)
 *   3. Creating and ending dialogs, windows and classes
 *   4. Controls: text, state, focus, messages
 *   5. The message queue and timers
 *   6. Geometry
 *   7. Drawing (custom windows) and cursors
 *   8. Model access for front ends and tests (Linux build only)
 *
 * Pixels: dialog units convert with the base units of "MS Sans Serif" 8
 * point, 6 by 13 pixels (x * 6 / 4, y * 13 / 8, rounded). The emulated
 * screen is 1024 by 768 pixels; text measures 6 pixels per character and 13
 * per line.
 */
#ifndef HERON_PLATFORM_DIALOG_H
#define HERON_PLATFORM_DIALOG_H

#include "platform/platform.h"
#include "platform/ui.h"

/* ---- 1. Types, messages, notifications, styles ----------------------- */

typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef intptr_t INT_PTR;
typedef void* HDC;
typedef void* HGDIOBJ;
typedef void* HBRUSH;
typedef void* HPEN;
typedef void* HCURSOR;
typedef DWORD COLORREF;

typedef INT_PTR (*PLAT_DLGPROC)(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
typedef LRESULT (*PLAT_WNDPROC)(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

typedef struct PLAT_RECT {
    LONG left, top, right, bottom;
} PLAT_RECT;

typedef struct PLAT_POINT {
    LONG x, y;
} PLAT_POINT;

typedef struct PLAT_MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
} PLAT_MSG;

#ifndef LOWORD
#define LOWORD(l) ((WORD)(((uintptr_t)(l)) & 0xFFFF))
#define HIWORD(l) ((WORD)((((uintptr_t)(l)) >> 16) & 0xFFFF))
#define MAKELONG(lo, hi) ((LONG)(((WORD)((lo)&0xFFFF)) | ((DWORD)((WORD)((hi)&0xFFFF))) << 16))
#define MAKEWPARAM(lo, hi) ((WPARAM)(DWORD)MAKELONG(lo, hi))
#define MAKELPARAM(lo, hi) ((LPARAM)(DWORD)MAKELONG(lo, hi))
#endif

#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_SIZE 0x0005
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_TIMER 0x0113
#define WM_USER 0x0400

/* Button messages and states */
#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BM_CLICK 0x00F5
#define BST_UNCHECKED 0
#define BST_CHECKED 1
#define BN_CLICKED 0

/* Edit notifications */
#define EN_CHANGE 0x0300
#define EN_UPDATE 0x0400

/* Combo box messages and notifications */
#define CB_ERR (-1)
#define CB_ADDSTRING 0x0143
#define CB_DELETESTRING 0x0144
#define CB_GETCOUNT 0x0146
#define CB_GETCURSEL 0x0147
#define CB_GETLBTEXT 0x0148
#define CB_GETLBTEXTLEN 0x0149
#define CB_INSERTSTRING 0x014A
#define CB_RESETCONTENT 0x014B
#define CB_FINDSTRING 0x014C
#define CB_SETCURSEL 0x014E
#define CB_SHOWDROPDOWN 0x014F
#define CB_GETITEMDATA 0x0150
#define CB_SETITEMDATA 0x0151
#define CB_GETDROPPEDSTATE 0x0157
#define CB_FINDSTRINGEXACT 0x0158
#define CBN_SELCHANGE 1
#define CBN_EDITCHANGE 5
#define CBN_EDITUPDATE 6
#define CBN_DROPDOWN 7
#define CBN_CLOSEUP 8
#define CBN_SELENDOK 9

/* List box messages and notifications */
#define LB_ERR (-1)
#define LB_ADDSTRING 0x0180
#define LB_INSERTSTRING 0x0181
#define LB_DELETESTRING 0x0182
#define LB_RESETCONTENT 0x0184
#define LB_SETCURSEL 0x0186
#define LB_GETCURSEL 0x0188
#define LB_GETTEXT 0x0189
#define LB_GETTEXTLEN 0x018A
#define LB_GETCOUNT 0x018B
#define LB_FINDSTRING 0x018F
#define LB_GETITEMDATA 0x0199
#define LB_SETITEMDATA 0x019A
#define LB_FINDSTRINGEXACT 0x01A2
#define LBN_SELCHANGE 1

/* Window styles */
#define WS_POPUP 0x80000000u
#define WS_CHILD 0x40000000u
#define WS_VISIBLE 0x10000000u
#define WS_DISABLED 0x08000000u
#define WS_CAPTION 0x00C00000u
#define WS_BORDER 0x00800000u
#define WS_VSCROLL 0x00200000u
#define WS_HSCROLL 0x00100000u
#define WS_SYSMENU 0x00080000u
#define WS_GROUP 0x00020000u
#define WS_TABSTOP 0x00010000u
#define DS_MODALFRAME 0x0080u
#define DS_CENTER 0x0800u
/* Control styles (each meaningful for its kind only) */
#define SS_CENTER 0x0001u
#define BS_DEFPUSHBUTTON 0x0001u
#define ES_MULTILINE 0x0004u
#define ES_AUTOHSCROLL 0x0080u
#define ES_READONLY 0x0800u
#define LBS_NOTIFY 0x0001u
#define LBS_SORT 0x0002u
#define CBS_AUTOHSCROLL 0x0040u

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOW 5

#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

#define SM_CXSCREEN 0
#define SM_CYSCREEN 1

#define GWL_ID (-12)
#define GWL_STYLE (-16)
#define GWLP_USERDATA (-21)

#define CS_VREDRAW 0x0001u
#define CS_HREDRAW 0x0002u

#define IDC_ARROW 32512
#define IDC_WAIT 32514

#define TRANSPARENT 1
#define OPAQUE 2
#define PS_SOLID 0
#define WHITE_BRUSH 0

/* Win32 error of a second registration of a class. */
#define ERROR_CLASS_ALREADY_EXISTS 1410

/* ---- 2. Dialog templates ---------------------------------------------- */

/* Kinds of controls (the window classes of a dialog template). */
#define PLAT_CTL_STATIC 1   /* static text */
#define PLAT_CTL_EDIT 2     /* edit field, single or multi-line */
#define PLAT_CTL_BUTTON 3   /* push button (BS_DEFPUSHBUTTON for the default) */
#define PLAT_CTL_RADIO 4    /* auto radio button; WS_GROUP starts a group */
#define PLAT_CTL_GROUPBOX 5 /* frame */
#define PLAT_CTL_COMBO 6    /* drop-down combo box with edit field, unsorted */
#define PLAT_CTL_LIST 7     /* list box, single selection */
#define PLAT_CTL_ICON 8     /* icon; the text names it */
#define PLAT_CTL_CUSTOM 9   /* a window of a registered class */

/* Front-end hints of a template item (no Win32 meaning). */
#define PLAT_UI_MAIN 0x0001u /* a main text: headless reports its changes */

typedef struct PLAT_DLGITEM {
    int iId;
    int iKind;
    const char* szText;
    int x, y, cx, cy; /* dialog units */
    DWORD dwStyle;    /* WS_VISIBLE, WS_DISABLED, WS_GROUP, WS_TABSTOP and kind styles */
    DWORD dwUi;       /* PLAT_UI_... */
} PLAT_DLGITEM;

typedef struct PLAT_DLGTEMPLATE {
    int iId;
    const char* szCaption;
    const char* szFont;
    int iPointSize;
    int cx, cy;    /* dialog units */
    DWORD dwStyle; /* WS_POPUP, WS_CAPTION, WS_SYSMENU, DS_MODALFRAME, DS_CENTER, WS_VISIBLE */
    const PLAT_DLGITEM* pItems;
    int cItems;
} PLAT_DLGTEMPLATE;

/* The dialog resource of that id, NULL when the executable has none. The
 * program provides this function (its templates, src/ui/templates.cpp), as it
 * provides HeronMain; the platform layer only calls it. */
const PLAT_DLGTEMPLATE* PlatFindDialogTemplate(int iId);

/* ---- 3. Creating and ending dialogs, windows and classes -------------- */

/*
 * CreateDialogParamA: creates the modeless dialog of resource iTemplate
 * (hidden unless the template is WS_VISIBLE), sends WM_INITDIALOG with
 * lParam and, when the dialog procedure returns nonzero, focuses the first
 * visible enabled WS_TABSTOP control. NULL when the template is missing or
 * the dialog was destroyed during its initialisation.
 */
HWND PlatCreateDialogParam(HINSTANCE hInstance, int iTemplate, HWND hOwner, PLAT_DLGPROC pfnDlg, LPARAM lParam);
HWND PlatCreateDialogIndirectParam(HINSTANCE hInstance, const PLAT_DLGTEMPLATE* pTemplate, HWND hOwner,
                                   PLAT_DLGPROC pfnDlg, LPARAM lParam);
/*
 * DialogBoxParamA: creates the dialog, shows it, disables the owner and runs
 * the modal loop until PlatEndDialog; returns the value given to
 * PlatEndDialog, -1 when the dialog cannot be created or a quit request
 * ended the loop (the request is queued again for the outer loop).
 */
INT_PTR PlatDialogBoxParam(HINSTANCE hInstance, int iTemplate, HWND hOwner, PLAT_DLGPROC pfnDlg, LPARAM lParam);
INT_PTR PlatDialogBoxIndirectParam(HINSTANCE hInstance, const PLAT_DLGTEMPLATE* pTemplate, HWND hOwner,
                                   PLAT_DLGPROC pfnDlg, LPARAM lParam);
/* EndDialog: ends the modal loop of the dialog with iResult and hides it. */
BOOL PlatEndDialog(HWND hDlg, INT_PTR iResult);
/* DestroyWindow: sends WM_DESTROY to the window and to each child, stops its
 * timers and makes every handle of them invalid. */
BOOL PlatDestroyWindow(HWND hWnd);
BOOL PlatIsWindow(HWND hWnd);

typedef struct PLAT_WNDCLASS {
    UINT style;
    PLAT_WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HANDLE hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    const char* lpszMenuName;
    const char* lpszClassName;
} PLAT_WNDCLASS;

typedef struct PLAT_CREATESTRUCT {
    void* lpCreateParams;
    HINSTANCE hInstance;
    HWND hwndParent;
    int cy, cx, y, x;
    DWORD style;
    const char* lpszName;
    const char* lpszClass;
} PLAT_CREATESTRUCT;

/* RegisterClassA: the class atom (nonzero), or 0 with
 * ERROR_CLASS_ALREADY_EXISTS for a name registered before. */
WORD PlatRegisterClass(const PLAT_WNDCLASS* pClass);
/*
 * CreateWindowExA for a registered class: sends WM_CREATE (lParam: a
 * PLAT_CREATESTRUCT with the window's size) and WM_SIZE with the client
 * size (a WS_BORDER window has one pixel of border on each side). A child's
 * position is in its parent's client coordinates; iId is its child id.
 * NULL when the class is unknown or WM_CREATE returns -1.
 */
HWND PlatCreateWindowEx(DWORD dwExStyle, const char* szClass, const char* szName, DWORD dwStyle, int x, int y, int cx,
                        int cy, HWND hParent, int iId, HINSTANCE hInstance, void* pParam);
/* DefWindowProcA: validates on WM_PAINT, 0 for everything else. */
LRESULT PlatDefWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
/* GetWindowLongA/SetWindowLongA: iIndex >= 0 is a byte offset into the
 * class's window extra bytes; GWL_ID, GWL_STYLE, GWLP_USERDATA. Set returns
 * the previous value. 0 with ERROR_INVALID_PARAMETER outside the bytes. */
LONG PlatGetWindowLong(HWND hWnd, int iIndex);
LONG PlatSetWindowLong(HWND hWnd, int iIndex, LONG lValue);
/* SetPropA/GetPropA/RemovePropA: named values of a window. */
BOOL PlatSetProp(HWND hWnd, const char* szName, HANDLE hValue);
HANDLE PlatGetProp(HWND hWnd, const char* szName);
HANDLE PlatRemoveProp(HWND hWnd, const char* szName);

/* ---- 4. Controls: text, state, focus, messages ------------------------ */

HWND PlatGetDlgItem(HWND hDlg, int iId);
int PlatGetDlgCtrlID(HWND hWnd);
HWND PlatGetParent(HWND hWnd);
BOOL PlatSetWindowText(HWND hWnd, const char* szText);
/* GetWindowTextA: at most cchMax-1 characters; returns the number copied. */
int PlatGetWindowText(HWND hWnd, char* szBuf, int cchMax);
int PlatGetWindowTextLength(HWND hWnd);
BOOL PlatSetDlgItemText(HWND hDlg, int iId, const char* szText);
UINT PlatGetDlgItemText(HWND hDlg, int iId, char* szBuf, int cchMax);
/* ShowWindow: returns whether the window was visible before; hiding a
 * combo box closes its list without a notification. */
BOOL PlatShowWindow(HWND hWnd, int nCmdShow);
/* EnableWindow: returns whether the window was disabled before. */
BOOL PlatEnableWindow(HWND hWnd, BOOL bEnable);
/* IsWindowVisible: the window and all its parents are visible. */
BOOL PlatIsWindowVisible(HWND hWnd);
BOOL PlatIsWindowEnabled(HWND hWnd);
BOOL PlatCheckDlgButton(HWND hDlg, int iId, UINT uCheck);
UINT PlatIsDlgButtonChecked(HWND hDlg, int iId);
/* SetFocus: returns the window that had the focus. */
HWND PlatSetFocus(HWND hWnd);
HWND PlatGetFocus(void);
/*
 * SendMessageA: runs the window's handler at once and returns its result.
 * Controls answer the Win32 messages of division 1 as Win32 does:
 * CB_FINDSTRING and LB_FINDSTRING find the first item after wParam (-1:
 * from the start, wrapping round) that begins with the text, the EXACT
 * forms one that equals it, both without regard to case; CB_GETLBTEXT and
 * LB_GETTEXT copy the whole item (ask for its length first); CB_SETCURSEL
 * puts the item's text into the edit field (-1 empties it);
 * CB_SHOWDROPDOWN TRUE sends CBN_DROPDOWN before the list opens; a
 * LBS_SORT list inserts in order without regard to case, blanks and
 * symbols before digits before letters (close to the Windows order).
 */
LRESULT PlatSendMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
LRESULT PlatSendDlgItemMessage(HWND hDlg, int iId, UINT uMsg, WPARAM wParam, LPARAM lParam);

/* ---- 5. The message queue and timers ---------------------------------- */

/* PostMessageA: queues the message (0 for an invalid window). */
BOOL PlatPostMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
/* PostQuitMessage: queues the quit request with its exit code. */
void PlatPostQuitMessage(int iExitCode);
/*
 * GetMessageA: takes the next message, in the order: posted messages (those
 * of destroyed windows are dropped), the quit request, paint requests of
 * visible windows, due timers; when there is none it waits for input from
 * the front end. Returns 1, 0 for the quit request (its exit code in
 * wParam), -1 when nothing can ever arrive (no front end input, no timer).
 */
int PlatGetMessage(PLAT_MSG* pMsg, HWND hWnd, UINT uMin, UINT uMax);
/* PeekMessageA: the same without waiting (the front end may still deliver
 * input it has at hand); PM_NOREMOVE leaves the message in place. */
BOOL PlatPeekMessage(PLAT_MSG* pMsg, HWND hWnd, UINT uMin, UINT uMax, UINT uRemove);
/* IsDialogMessageA: 1 when the message belongs to the dialog or one of its
 * controls; it is then dispatched. */
BOOL PlatIsDialogMessage(HWND hDlg, PLAT_MSG* pMsg);
BOOL PlatTranslateMessage(const PLAT_MSG* pMsg);
LRESULT PlatDispatchMessage(const PLAT_MSG* pMsg);
/* SetTimer/KillTimer of a window (no timer procedures). */
UINT PlatSetTimer(HWND hWnd, UINT uId, UINT uElapse);
BOOL PlatKillTimer(HWND hWnd, UINT uId);

/* ---- 6. Geometry ------------------------------------------------------ */

int PlatGetSystemMetrics(int iIndex);
/* The window's rectangle in screen coordinates (right and bottom exclusive). */
BOOL PlatGetWindowRect(HWND hWnd, PLAT_RECT* pRect);
BOOL PlatGetClientRect(HWND hWnd, PLAT_RECT* pRect);
BOOL PlatScreenToClient(HWND hWnd, PLAT_POINT* pPoint);
/* MoveWindow: position in the parent's client coordinates (screen for a
 * dialog); a changed size sends WM_SIZE. */
BOOL PlatMoveWindow(HWND hWnd, int x, int y, int cx, int cy, BOOL bRepaint);
/* InvalidateRect of the whole window (pRect is not used by the model). */
BOOL PlatInvalidateRect(HWND hWnd, const PLAT_RECT* pRect, BOOL bErase);
BOOL PlatUpdateWindow(HWND hWnd);

/* ---- 7. Drawing and cursors ------------------------------------------- */

typedef struct PLAT_PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    PLAT_RECT rcPaint;
} PLAT_PAINTSTRUCT;

HDC PlatBeginPaint(HWND hWnd, PLAT_PAINTSTRUCT* pPaint);
BOOL PlatEndPaint(HWND hWnd, const PLAT_PAINTSTRUCT* pPaint);
HBRUSH PlatCreateSolidBrush(COLORREF cr);
HPEN PlatCreatePen(int iStyle, int iWidth, COLORREF cr);
HGDIOBJ PlatGetStockObject(int iObject);
/* SelectObject: returns the object of that kind selected before. */
HGDIOBJ PlatSelectObject(HDC hdc, HGDIOBJ hObject);
/* DeleteObject: fails (0) for a stock object or one selected into a DC. */
BOOL PlatDeleteObject(HGDIOBJ hObject);
/* Rectangle: outlined with the pen, filled with the brush; nothing for an
 * empty rectangle. */
BOOL PlatRectangle(HDC hdc, int left, int top, int right, int bottom);
COLORREF PlatSetTextColor(HDC hdc, COLORREF cr);
int PlatSetBkMode(HDC hdc, int iMode);
/* GetTabbedTextExtentA: MAKELONG(width, height) with tabs every 8 characters. */
DWORD PlatGetTabbedTextExtent(HDC hdc, const char* szText, int cch);
BOOL PlatTextOut(HDC hdc, int x, int y, const char* szText, int cch);
/* LoadCursorA of a system cursor (IDC_ARROW, IDC_WAIT) and SetCursor. */
HCURSOR PlatLoadCursor(HINSTANCE hInstance, int iId);
HCURSOR PlatSetCursor(HCURSOR hCursor);

/* ---- 8. Model access for front ends and tests (Linux build) ------------ */

/* Front ends (PLAT_FRONTEND, PlatSetFrontEnd) are declared in platform/ui.h. */

typedef struct PLAT_CTLINFO {
    int iKind; /* PLAT_CTL_..., 0 for a dialog */
    int iId;
    DWORD dwStyle;
    DWORD dwUi;     /* PLAT_UI_... of the template */
    PLAT_RECT rcDu; /* template rectangle in dialog units (left, top, right, bottom) */
    PLAT_RECT rcPx; /* client-relative pixels (screen for a dialog) */
    int bVisible;   /* own flag */
    int bEnabled;   /* own flag */
    int iCheck;
    int bFocus;
    int bDropped;        /* combo: list open */
    int iSel;            /* combo and list: selection or -1 */
    int cItems;          /* combo and list: item count */
    int iTemplate;       /* dialog: template id */
    const char* szClass; /* custom: class name */
} PLAT_CTLINFO;

/* The dialog that takes input: the newest visible enabled dialog. */
HWND PlatUiActiveDialog(void);
/* Every visible dialog, oldest first; returns the count (at most cMax stored). */
int PlatUiDialogs(HWND* ahOut, int cMax);
/* The controls and child windows of a dialog in template order. */
int PlatUiChildren(HWND hDlg, HWND* ahOut, int cMax);
BOOL PlatUiInfo(HWND hWnd, PLAT_CTLINFO* pInfo);
/* The window's text and a list item's text; "" for none. Valid until the
 * next change of the model. */
const char* PlatUiText(HWND hWnd);
const char* PlatUiItemText(HWND hWnd, int iItem);

/* The last drawing of a custom window: rectangles and texts. */
#define PLAT_PAINT_RECT 1
#define PLAT_PAINT_TEXT 2
typedef struct PLAT_PAINTOP {
    int iOp;
    LONG left, top, right, bottom; /* RECT: corners; TEXT: position in left, top */
    COLORREF crFill;               /* RECT: brush */
    COLORREF crPen;                /* RECT: pen; TEXT: text colour */
    char szText[64];
} PLAT_PAINTOP;
int PlatUiPaint(HWND hWnd, const PLAT_PAINTOP** ppOps);
/* GDI objects alive (brushes and pens created and not deleted). */
int PlatUiGdiObjects(void);
/* IDC_ARROW or IDC_WAIT. */
int PlatUiCursor(void);
/* Grows on every change of the model (for redrawing). */
unsigned long PlatUiChangeCount(void);
/* 1 when the queue holds a posted message or the quit request. */
BOOL PlatUiQueued(void);

/*
 * Input of a person, queued as a message to the control and carried out
 * when dispatched, and only when the control and its dialog are visible and
 * enabled then, as Win32 controls do:
 *   CLICK     push button: BN_CLICKED; radio: checked, the others of its
 *             group unchecked, BN_CLICKED; the focus moves to the control
 *   TYPE      edit: the text becomes szText, EN_UPDATE, EN_CHANGE; combo:
 *             CBN_EDITUPDATE, the selection follows the text (the first
 *             item it begins when the list is open, else none),
 *             CBN_EDITCHANGE; nothing when the text stays the same
 *   DROPDOWN  combo: CBN_DROPDOWN, the list opens
 *   CLOSEUP   combo: the list closes, CBN_CLOSEUP
 *   SELECT    list: selection iIndex, LBN_SELCHANGE; combo: selection and
 *             edit text, CBN_SELCHANGE, and when the list was open
 *             CBN_SELENDOK and CBN_CLOSEUP
 *   FOCUS     the focus moves to the control
 * Moving the focus away from a combo closes its list.
 */
#define PLAT_UIA_CLICK 1
#define PLAT_UIA_TYPE 2
#define PLAT_UIA_DROPDOWN 3
#define PLAT_UIA_CLOSEUP 4
#define PLAT_UIA_SELECT 5
#define PLAT_UIA_FOCUS 6
BOOL PlatUiPost(HWND hCtl, int iAction, int iIndex, const char* szText);

/* Tests: destroys every window without messages, empties the queue, drops
 * the quit request, timers, classes, the front end and the cursor. */
void PlatDialogReset(void);

#endif /* HERON_PLATFORM_DIALOG_H */
