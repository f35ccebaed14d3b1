/*
 * upgrade_action.cpp - the wizard's upgrade action (UM_UPGRADE): the driver
 * runs under the wait cursor; success moves to the finished page, failure
 * stays on the upgrade page with only Close working.
 */
#include "wizard/wizard.h"

#include "engine/driver.h"
#include "shell/exitcodes.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "shell/text.h"
#include "ui/resource.h"

#define STR_UPGRADE_FAILED 34

static void ShowItem(HWND hDlg, int iId, int bShow)
{
    PlatShowWindow(PlatGetDlgItem(hDlg, iId), bShow ? SW_SHOW : SW_HIDE);
}

static void EnableItem(HWND hDlg, int iId, int bEnable) { PlatEnableWindow(PlatGetDlgItem(hDlg, iId), bEnable); }

/* The failure end: the page says what failed, the run counts as a failed
 * upgrade, and an unattended run closes itself once that is logged. */
static void UpgradeFailed(HWND hDlg)
{
    char szText[TEXT_FORMAT_MAX];
    PlatShowWindow(ghGaugeFile, SW_HIDE);
    PlatShowWindow(ghGaugeTotal, SW_HIDE);
    ShowItem(hDlg, IDC_FILE_CAP, 0);
    ShowItem(hDlg, IDC_TOTAL_CAP, 0);
    if (gszDriverFailure[0]) TextFormat(szText, sizeof(szText), "%s\n%s", StringText(STR_UPGRADE_FAILED), gszDriverFailure);
    else TextCopy(szText, sizeof(szText), StringText(STR_UPGRADE_FAILED));
    PlatSetDlgItemText(hDlg, IDC_MESSAGE, szText);
    ShowItem(hDlg, IDC_MESSAGE, 1);
    LogString(STR_UPGRADE_FAILED, 0);
    giOperationMode = MODE_FAILED_UPGRADE;
    gbFinished = 1;
    PlatSetFocus(PlatGetDlgItem(hDlg, IDC_CLOSE));
    SetArrowCursor();
    if (gwOptions & OPT_NOUSER) {
        PlatPostQuitMessage(EXIT_FAILED);
        PlatDestroyWindow(hDlg);
    }
}

void UpgradeAction(HWND hDlg)
{
    SetWaitCursor();
    if (dwUpgradeType > 0) {
        ShowItem(hDlg, IDC_LABEL_PROMPT, 0);
        ShowItem(hDlg, IDC_LABELS, 0);
        EnableItem(hDlg, IDC_LABELS, 0);
    }
    EnableItem(hDlg, IDC_BACK, 0);
    EnableItem(hDlg, IDC_NEXT, 0);
    if (UpgradeQuillVersion() == 1) {
        PlatPostMessage(hDlg, WM_COMMAND, MAKEWPARAM(IDC_NEXT, BN_CLICKED), 0);
        SetArrowCursor();
        return;
    }
    UpgradeFailed(hDlg);
}
