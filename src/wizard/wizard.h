/*
 * wizard.h - the wizard: dialog 400, its pages and its message loop.
 *
 * Pages (giDlgState): 0 agreement, 1 welcome with the directories,
 * 2 directories committed and identification, 3 upgrade, 4 finished.
 * Entering page 2 posts UM_IDENTIFY, entering page 3 posts UM_UPGRADE; the
 * two actions (actions.cpp) run inside the dialog's message handling.
 */
#ifndef HERON_WIZARD_WIZARD_H
#define HERON_WIZARD_WIZARD_H

#include "platform/dialog.h"
#include "shell/progress.h"

#define UM_IDENTIFY (WM_USER + 1) /* 1025: run identification (page 2) */
#define UM_UPGRADE (WM_USER + 2)  /* 1026: run the upgrade or revert (page 3) */

#define DLGSTATE_AGREEMENT 0
#define DLGSTATE_WELCOME 1
#define DLGSTATE_DIRS 2
#define DLGSTATE_UPGRADE 3
#define DLGSTATE_FINISHED 4

/* The wizard's state (owned by wizard.cpp). */
extern int giDlgState;   /* the current page */
extern int gbFinished;   /* set: Close quits without asking */
extern int giDataDirSel; /* data-directory combo entry last selected or added, or -1 */

/* Registers the gauge class, creates the wizard into ghMainDlg and runs the
 * message loop until the quit request. Returns 1 with the quit request's
 * code in *piExitCode, or 0 when the dialog cannot be created. */
int WizardRun(int* piExitCode);
/* The dialog's event handler: 0 for every message. */
INT_PTR MainDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
/* Sets up page iState: 1 when it was set up (also for a number outside 0 to
 * 4, which does nothing), 0 when the page refuses (it has shown why and
 * placed the focus; the caller restores giDlgState). */
int SetDlgState(HWND hDlg, int iState);
/* The system's hourglass and arrow cursors. */
void SetWaitCursor(void);
void SetArrowCursor(void);
/* Reads control iId's text into szDir, cut to MAX_PATH bytes with its NUL
 * (259 characters, the longest path the platform accepts): 1 when the text
 * is not empty and names an existing directory, else 0. */
int GetDlgItemDir(HWND hDlg, int iId, char* szDir);
/* The wizard's progress door (shell/progress.h), opened by WizardRun. */
const PROGRESS_DOOR* WizardProgressDoor(void);

/* The wizard's actions (actions.cpp): UM_IDENTIFY, UM_UPGRADE and a change
 * of selection in the revert-label list. */
void IdentifyAction(HWND hDlg);
void UpgradeAction(HWND hDlg);
void RevertLabelSelected(HWND hDlg);
/* The last page of a plan run (plan_page.cpp): makes and shows the plan. */
void PlanPage(HWND hDlg);

#endif
