/*
 * ui.h - user interface of the platform layer: message boxes and the front
 * end choice. The dialog model (dialogs, controls, the message queue) is in
 * platform/dialog.h.
 *
 * Front ends on Linux: HERON_UI=tui draws in the terminal, HERON_UI=headless
 * draws nothing interactive; the default is tui when standard input and
 * output are terminals, else headless. Headless, a message box is printed as
 *
 *   === CAPTION ===
 *   TEXT
 *   === answer: BUTTON ===
 *
 * and answered from HERON_ANSWERS (comma-separated button names, any case,
 * one per box in order); when the list is used up or names a button the box
 * lacks, the default button answers (the first: OK, or Yes; MB_DEFBUTTON2
 * picks the second).
 */
#ifndef HERON_PLATFORM_UI_H
#define HERON_PLATFORM_UI_H

#include "platform/platform.h"

#define MB_OK 0x00000000u
#define MB_OKCANCEL 0x00000001u
#define MB_YESNOCANCEL 0x00000003u
#define MB_YESNO 0x00000004u
#define MB_ICONERROR 0x00000010u
#define MB_ICONQUESTION 0x00000020u
#define MB_ICONWARNING 0x00000030u
#define MB_ICONINFORMATION 0x00000040u
#define MB_DEFBUTTON2 0x00000100u
#define MB_TYPEMASK 0x0000000Fu

#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7

#define UI_HEADLESS 0
#define UI_TUI 1

/* The front end of this run (HERON_UI or the terminal test). */
int PlatUiMode(void);

/* A front end of the emulated window model: the model calls it and knows it
 * only through this table. The program's entry chooses one before the
 * installer runs (without one, nothing is drawn and a wait for the user
 * ends at once). pfnStart runs when the front end is set. pfnIdle runs when
 * the queue holds nothing: iWaitMs -1 means the program waits for the user,
 * 0 that it is busy (poll only), above 0 that a timer is due within that time
 * (block at most that long). It returns 1 when it queued input.
 * pfnDialogsChanged runs when a dialog is shown, hidden or destroyed. Each
 * may be NULL. */
typedef struct PLAT_FRONTEND {
    const char* szName;
    void (*pfnStart)(void);
    int (*pfnIdle)(int iWaitMs);
    void (*pfnDialogsChanged)(void);
} PLAT_FRONTEND;

void PlatSetFrontEnd(const PLAT_FRONTEND* pFront);
const PLAT_FRONTEND* PlatGetFrontEnd(void);

/* MessageBoxA: shows the box (modal) and returns the pressed button's id. */
int PlatMessageBox(HWND hOwner, const char* szText, const char* szCaption, UINT uType);

/* A front end may take over message boxes (the terminal front end draws
 * them); NULL restores the default handling. */
typedef int (*PLAT_MSGBOX_HANDLER)(HWND hOwner, const char* szText, const char* szCaption, UINT uType);
void PlatSetMessageBoxHandler(PLAT_MSGBOX_HANDLER pfnHandler);

/* The start-up look-up of an earlier instance's window (FindWindowA,
 * GetLastActivePopup, BringWindowToTop, IsIconic, ShowWindow(SW_RESTORE)).
 * On Linux no window of another process is visible: PlatFindWindow gives NULL. */
HWND PlatFindWindow(const char* szClass, const char* szTitle);
HWND PlatGetLastActivePopup(HWND hWnd);
BOOL PlatBringWindowToTop(HWND hWnd);
BOOL PlatIsIconic(HWND hWnd);
BOOL PlatRestoreWindow(HWND hWnd);

/*
 * The words of a scripted run (HERON_SCRIPT on Linux; a person elsewhere),
 * handed by the program for its main dialog: each verb names what it does
 * and the control it does it to. Verbs with a text are written
 * "verb=TEXT". The headless front end speaks only to the dialog of the
 * table's template (iDialog) and closes every other dialog at once; without
 * a table it closes every dialog.
 *   CLICK   click the control (radio button or push button)
 *   CLOSE   close the dialog as a person does (Cancel/Close, else the close
 *           request); iId is not used
 *   TYPE    type TEXT into the edit field
 *   COMBO   pick the entry of the combo box's list that is TEXT (any case),
 *           opening the list; else type TEXT into its field
 *   SELECT  select the row of the list box that is TEXT, else the first that
 *           begins with it (any case); the dialog gets the list's
 *           selection-change notification
 */
#define PLAT_VERB_CLICK 1
#define PLAT_VERB_CLOSE 2
#define PLAT_VERB_TYPE 3
#define PLAT_VERB_COMBO 4
#define PLAT_VERB_SELECT 5
typedef struct PLAT_SCRIPT_VERB {
    const char* szName; /* any case in the script */
    int iKind;          /* PLAT_VERB_... */
    int iId;            /* the control */
} PLAT_SCRIPT_VERB;
/* The table stays the caller's; NULL (or cVerbs 0) takes it back. */
void PlatSetScriptVerbs(int iDialog, const PLAT_SCRIPT_VERB* pVerbs, int cVerbs);

/* Writes a line for the person or log reading standard output (headless
 * page and text changes). */
void PlatConsoleLine(const char* szText);

#endif
