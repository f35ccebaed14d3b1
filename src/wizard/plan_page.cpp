/*
 * plan_page.cpp - the last page of a plan run: the plan is made after
 * identification and verification passed, written to "plan.txt" (and to
 * standard output headless), and shown in the page's text box. Nothing is
 * left to lose: Close ends the run without a question, and an unattended
 * run presses it.
 */
#include "wizard/wizard.h"

#include "platform/ui.h"
#include "report/plan.h"
#include "shell/exitcodes.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "shell/text.h"
#include "ui/resource.h"

#include <string.h>

/* The plan with CR LF line ends, as a multi-line edit control shows them;
 * a new heap text or NULL. */
static char* PlanPageText(const char* szPlan)
{
    size_t cLines = 0, i, k = 0;
    char* psz;
    for (i = 0; szPlan[i]; i++)
        if (szPlan[i] == '\n') cLines++;
    psz = (char*)PlatHeapAlloc(strlen(szPlan) + cLines + 1);
    if (!psz) return NULL;
    for (i = 0; szPlan[i]; i++) {
        if (szPlan[i] == '\n') psz[k++] = '\r';
        psz[k++] = szPlan[i];
    }
    psz[k] = 0;
    return psz;
}

void PlanPage(HWND hDlg)
{
    static const int aiHide[] = {IDC_MESSAGE, IDC_FILE_CAP, IDC_TOTAL_CAP, IDC_LABEL_PROMPT,
                                 IDC_LABELS,  IDC_ACCEPT,   IDC_DECLINE,   IDC_ACCEPT_FRAME};
    char* szShown;
    size_t i;

    PlanPublish(1, EXIT_DONE);
    PlatShowWindow(ghGaugeFile, SW_HIDE);
    PlatShowWindow(ghGaugeTotal, SW_HIDE);
    for (i = 0; i < sizeof(aiHide) / sizeof(aiHide[0]); i++)
        PlatShowWindow(PlatGetDlgItem(hDlg, aiHide[i]), SW_HIDE);
    PlatSetDlgItemText(hDlg, IDC_HEADING, "Plan made; nothing was changed. The plan is also in plan.txt in the "
                                          "temporary directory.");
    PlatShowWindow(PlatGetDlgItem(hDlg, IDC_HEADING), SW_SHOW);
    szShown = PlanPageText(PlanText());
    PlatSetDlgItemText(hDlg, IDC_LICENSE, szShown ? szShown : PlanText());
    PlatHeapFree(szShown);
    PlatShowWindow(PlatGetDlgItem(hDlg, IDC_LICENSE), SW_SHOW);
    PlatEnableWindow(PlatGetDlgItem(hDlg, IDC_NEXT), 0);
    PlatEnableWindow(PlatGetDlgItem(hDlg, IDC_BACK), 0);
    PlatSetFocus(PlatGetDlgItem(hDlg, IDC_CLOSE));
    gbFinished = 1;
    SetArrowCursor();
    if (gwOptions & OPT_NOUSER) PlatPostMessage(hDlg, WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED), 0);
}
