/*
 * identify_action.cpp - the wizard's identification action (UM_IDENTIFY),
 * the revert-label choice and the revert-label list's selection handler.
 *
 * The page texts come from the package (strings 24-26, 33, 45-48). They are
 * formatted from an argument list of texts: each conversion of the package
 * text takes the next argument as text, and a conversion beyond the
 * arguments prints nothing, so a package text is never a format string that
 * reads arguments nobody passed.
 *
 * Ends of the action: failed (Back only, gbFinished set; an unattended run
 * ends the wizard with exit code 3, the package does not apply), ready
 * (Back and Next, or Next alone for a custom fix), or waiting for a label
 * (list shown, Next disabled until a row is selected).
 */
#include "wizard/wizard.h"

#include "identify/labels.h"
#include "identify/mode.h"
#include "identify/verify.h"
#include "engine/driver.h"
#include "platform/ui.h"
#include "records/patchini.h"
#include "report/plan.h"
#include "report/report.h"
#include "shell/exitcodes.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "shell/text.h"
#include "shell/progress.h"
#include "ui/gauge.h"
#include "ui/resource.h"

#include <string.h>

#define IDENT_LABEL_BUFFER 260
#define IDENT_VALID_LIST_MAX 100

#define STR_UPGRADE_TO 24
#define STR_REVERT_TO 25
#define STR_WRONG_VERSION 26
#define STR_DISK_SPACE 33
#define STR_SELECT_LABEL 44
#define STR_NO_BACKUP 45
#define STR_NOT_VALID_LABEL 46
#define STR_NO_LABEL_GIVEN 47
#define STR_UPGRADE_FIRST 48
#define STR_KIND 42
#define STR_LANGUAGE_PACK 43

/* ---- Small helpers -------------------------------------------------------- */

static void ShowCtl(HWND hDlg, int iId, int bShow)
{
    PlatShowWindow(PlatGetDlgItem(hDlg, iId), bShow ? SW_SHOW : SW_HIDE);
}

static void EnableCtl(HWND hDlg, int iId, int bEnable) { PlatEnableWindow(PlatGetDlgItem(hDlg, iId), bEnable); }

static int IsWebAccess(void) { return strcmp(StringText(STR_KIND), "GWA") == 0; }

/* The label up to its first "|" (the release name without its date). */
static void CutLabel(const char* szLabel, char* szOut, size_t cbOut)
{
    char* pBar;
    TextCopy(szOut, cbOut, szLabel);
    pBar = strchr(szOut, '|');
    if (pBar) *pBar = 0;
}

/*
 * Formats a package text with cArgs text arguments: every conversion
 * ("%s", "%d", "%-20s", "%ld", ...) takes the next argument as text; one
 * beyond the arguments prints nothing; "%%" prints "%". At most
 * TEXT_FORMAT_MAX - 1 characters.
 */
static void FormatPackageText(char* szOut, size_t cbOut, const char* szFormat, int cArgs, const char* const* aszArgs)
{
    const char* p = szFormat;
    int iArg = 0;
    size_t cbLimit = cbOut < TEXT_FORMAT_MAX ? cbOut : TEXT_FORMAT_MAX;
    if (cbLimit == 0) return;
    szOut[0] = 0;
    while (*p) {
        const char* pPercent = strchr(p, '%');
        size_t cchPlain = pPercent ? (size_t)(pPercent - p) : strlen(p);
        char szPlain[TEXT_FORMAT_MAX];
        TextCopyN(szPlain, sizeof(szPlain), p, cchPlain);
        TextAppend(szOut, cbLimit, szPlain);
        if (!pPercent) break;
        p = pPercent + 1;
        if (*p == '%') {
            TextAppend(szOut, cbLimit, "%");
            p++;
            continue;
        }
        while (*p && strchr("-#0+ 123456789.lhI", *p)) p++;
        if (!*p) break;
        p++; /* the conversion letter */
        if (iArg < cArgs) TextAppend(szOut, cbLimit, aszArgs[iArg] ? aszArgs[iArg] : "");
        iArg++;
    }
}

/* Control iId gets package text iString formatted with the arguments. */
static void SetPackageText(HWND hDlg, int iId, int iString, int cArgs, const char* const* aszArgs, char* szOut,
                           size_t cbOut)
{
    FormatPackageText(szOut, cbOut, StringText(iString), cArgs, aszArgs);
    PlatSetDlgItemText(hDlg, iId, szOut);
}

/* Ends an unattended run that cannot go on: the page shows its text (the
 * window messages are drained so that it is painted), then the wizard ends
 * with the exit code of a package that does not apply. */
static void IdentifyEndUnattended(HWND hDlg)
{
    PumpMessages();
    PlatPostQuitMessage(EXIT_NOT_APPLICABLE);
    PlatDestroyWindow(hDlg);
}

/* Failure end: Back enabled and focused, nothing left to lose. An
 * unattended run has no person to press Back: it ends with the exit code
 * of a package that does not apply. */
static void IdentifyFailed(HWND hDlg)
{
    PlanNoteRefused();
    EnableCtl(hDlg, IDC_BACK, 1);
    PlatSetFocus(PlatGetDlgItem(hDlg, IDC_BACK));
    gbFinished = 1;
    SetArrowCursor();
    if (gwOptions & OPT_NOUSER) IdentifyEndUnattended(hDlg);
}

/* A stopped revert that could not be finished: the run has failed, as the
 * revert itself would have; the note stays for the next run. */
static void FinishFailed(HWND hDlg)
{
    PlatSetDlgItemText(hDlg, IDC_MESSAGE, gszDriverFailure);
    ShowCtl(hDlg, IDC_MESSAGE, 1);
    EnableCtl(hDlg, IDC_CLOSE, 1);
    EnableCtl(hDlg, IDC_NEXT, 0);
    PlatSetFocus(PlatGetDlgItem(hDlg, IDC_CLOSE));
    giOperationMode = MODE_FAILED_UPGRADE;
    gbFinished = 1;
    SetArrowCursor();
    if (gwOptions & OPT_NOUSER) {
        PumpMessages();
        PlatPostQuitMessage(EXIT_FAILED);
        PlatDestroyWindow(hDlg);
    }
}

/* The installation was found at the level of a revert that was stopped
 * after its files were back: its records are finished first. 1 when the run
 * has ended or goes on as that revert (a revert to this level was asked
 * for: nothing else is left to do), 0 when identification goes on. */
static int FinishRevertFirst(HWND hDlg)
{
    char szText[TEXT_FORMAT_MAX];
    char szCut[IDENT_LABEL_BUFFER];
    size_t cchRevert = strlen(gszRevertLabel);
    int iFinish = FinishStoppedRevert();
    if (iFinish < 0) {
        LogLine("Unable to finish the revert that was stopped.", 0);
        FinishFailed(hDlg);
        return 1;
    }
    if (iFinish == 0 || !(gwOptions & OPT_REVERT) || !cchRevert ||
        strncmp(gszCurrentRelease, gszRevertLabel, cchRevert) != 0)
        return 0;
    giOperationMode = MODE_REVERT;
    TextCopy(gszRevertLabel, sizeof(gszRevertLabel), gszCurrentRelease);
    CutLabel(gszCurrentRelease, szCut, sizeof(szCut));
    const char* aszArgs[2] = {szCut, szCut};
    SetPackageText(hDlg, IDC_MESSAGE, STR_REVERT_TO, 2, aszArgs, szText, sizeof(szText));
    ShowCtl(hDlg, IDC_MESSAGE, 1);
    EnableCtl(hDlg, IDC_NEXT, 1);
    if (gwOptions & OPT_NOUSER) PlatPostMessage(hDlg, WM_COMMAND, MAKEWPARAM(IDC_NEXT, BN_CLICKED), 0);
    SetArrowCursor();
    return 1;
}

/* ---- The label choice ----------------------------------------------------- */

/* Adds the row of label i unless a row already begins with its text (any
 * case); the row carries the label's index. */
static void AddLabelRow(HWND hDlg, int i, const char* szRow)
{
    LRESULT lRow;
    if (PlatSendDlgItemMessage(hDlg, IDC_LABELS, LB_FINDSTRING, (WPARAM)-1, (LPARAM)szRow) != LB_ERR) return;
    lRow = PlatSendDlgItemMessage(hDlg, IDC_LABELS, LB_ADDSTRING, 0, (LPARAM)szRow);
    if (lRow >= 0) PlatSendDlgItemMessage(hDlg, IDC_LABELS, LB_SETITEMDATA, (WPARAM)lRow, (LPARAM)i);
}

/*
 * Offers the revert labels in list 1019; unattended, picks the one that
 * begins with the REVERT label (or the only one). 1 when a label was chosen.
 */
static int ChooseLabel(HWND hDlg, const char* szFromLabel)
{
    char szValid[IDENT_VALID_LIST_MAX + IDENT_LABEL_BUFFER];
    char szNotice[TEXT_FORMAT_MAX];
    int bChosen = 0, i;
    int bUnattended = (gwOptions & OPT_NOUSER) != 0;
    int bWeb = IsWebAccess();

    TextCopy(szValid, sizeof(szValid), ":");
    PlatSendDlgItemMessage(hDlg, IDC_LABELS, LB_RESETCONTENT, 0, 0);
    PlatSetDlgItemText(hDlg, IDC_LABEL_PROMPT, StringText(STR_SELECT_LABEL));
    ShowCtl(hDlg, IDC_LABEL_PROMPT, 1);

    for (i = 0; i < giFixLabels; i++) {
        const char* szLabel = gpcanFixLabels[i];
        LogFormat(0, "gpcanFixLabels[i] : %s ", szLabel);
        if (bUnattended) {
            size_t cchRevert = strlen(gszRevertLabel);
            if (bWeb && cchRevert && strncmp(gszCurrentRelease, gszRevertLabel, cchRevert) == 0)
                TextCopy(gszRevertLabel, sizeof(gszRevertLabel), szFromLabel);
            cchRevert = strlen(gszRevertLabel);
            if ((cchRevert && strncmp(szLabel, gszRevertLabel, cchRevert) == 0) || giFixLabels == 1) {
                TextCopy(gszRevertLabel, sizeof(gszRevertLabel), szLabel);
                LogFormat(0, "Revert label %s ", gszRevertLabel);
                bChosen = 1;
                break;
            }
            LogFormat(0, "Valid label %s ", szValid);
            if (strlen(szLabel) + strlen(szValid) + 1 < IDENT_VALID_LIST_MAX) {
                TextAppend(szValid, sizeof(szValid), szLabel);
                TextAppend(szValid, sizeof(szValid), " ");
            }
        }
        if (bWeb) {
            if (strcmp(szLabel, StringText(STR_LANGUAGE_PACK)) == 0) continue;
            AddLabelRow(hDlg, i, strcmp(szLabel, szFromLabel) == 0 ? gszCurrentRelease : szLabel);
        } else {
            AddLabelRow(hDlg, i, szLabel);
        }
    }

    if (bUnattended && !bChosen) {
        if (gszRevertLabel[0]) {
            const char* aszArgs[2] = {gszRevertLabel, szValid};
            FormatPackageText(szNotice, sizeof(szNotice), StringText(STR_NOT_VALID_LABEL), 2, aszArgs);
        } else if (strcmp(szValid, ":") == 0) {
            /* Not one label fitted into the list text: the page says that
             * no backup to revert to was found, and waits for a choice. */
            TextCopy(szNotice, sizeof(szNotice), StringText(STR_NO_BACKUP));
        } else {
            const char* aszArgs[1] = {szValid};
            FormatPackageText(szNotice, sizeof(szNotice), StringText(STR_NO_LABEL_GIVEN), 1, aszArgs);
        }
        IdentHideStatus();
        PlatSetDlgItemText(hDlg, IDC_HEADING, szNotice);
        ShowCtl(hDlg, IDC_HEADING, 1);
        LogLine(szNotice, 0);
        PlatShowWindow(ghGaugeFile, SW_HIDE);
        gwOptions = 0;
    }
    ShowCtl(hDlg, IDC_LABELS, 1);
    EnableCtl(hDlg, IDC_LABELS, 1);
    EnableCtl(hDlg, IDC_NEXT, 0);
    EnableCtl(hDlg, IDC_BACK, 1);
    PlatSetFocus(PlatGetDlgItem(hDlg, IDC_LABELS));
    return bChosen;
}

/* ---- UM_IDENTIFY ---------------------------------------------------------------- */

void IdentifyAction(HWND hDlg)
{
    char szFrom[IDENT_LABEL_BUFFER], szTo[IDENT_LABEL_BUFFER], szShortDir[IDENT_LABEL_BUFFER];
    char szFromCut[IDENT_LABEL_BUFFER], szToCut[IDENT_LABEL_BUFFER], szCurrentCut[IDENT_LABEL_BUFFER];
    char szText[TEXT_FORMAT_MAX];
    int iResult;

    szFrom[0] = szTo[0] = szShortDir[0] = 0;
    ShowCtl(hDlg, IDC_MESSAGE, 1);
    /* Rows of an earlier visit of this page never stay. */
    PlatSendDlgItemMessage(hDlg, IDC_LABELS, LB_RESETCONTENT, 0, 0);
    iResult = IdentifyRelease(szFrom, szTo, szShortDir);
    if (!PlatIsWindow(hDlg)) return;

    if (iResult == 2) {
        CutLabel(gszCurrentRelease, szCurrentCut, sizeof(szCurrentCut));
        LogFormat(0, "Identified %s.", szCurrentCut);
        if (!ReportDryRun() && FinishRevertFirst(hDlg)) return;
    } else if (iResult == 3) {
        CutLabel(szTo, szToCut, sizeof(szToCut));
        LogFormat(0, "Identified %s.", szToCut);
    } else {
        if (iResult == 0 || iResult == 1) {
            const char* aszArgs[2] = {gszCurrentRelease, gpProgramDir};
            SetPackageText(hDlg, IDC_MESSAGE, STR_WRONG_VERSION, 2, aszArgs, szText, sizeof(szText));
            ShowCtl(hDlg, IDC_MESSAGE, 1);
        } else if (iResult == 5) {
            const char* aszArgs[3] = {szShortDir, szTo, szFrom};
            SetPackageText(hDlg, IDC_MESSAGE, STR_DISK_SPACE, 3, aszArgs, szText, sizeof(szText));
            ShowCtl(hDlg, IDC_MESSAGE, 1);
        }
        LogLine("Unable to identify release.", 0);
        IdentifyFailed(hDlg);
        return;
    }

    IdentGauge(ghGaugeFile, GAUGE_SETPOS, 0);
    PlatShowWindow(ghGaugeFile, SW_SHOW);
    iResult = VerifyQuillVersion();
    if (!PlatIsWindow(hDlg)) return;
    ShowCtl(hDlg, IDC_MESSAGE, 1);
    if (iResult != 2) {
        const char* aszArgs[2] = {gszCurrentRelease, gpProgramDir};
        SetPackageText(hDlg, IDC_MESSAGE, STR_WRONG_VERSION, 2, aszArgs, szText, sizeof(szText));
        LogLine("Unable to verify release.", 0);
        PlatShowWindow(ghGaugeFile, SW_HIDE);
        IdentifyFailed(hDlg);
        return;
    }

    CutLabel(szFrom, szFromCut, sizeof(szFromCut));
    CutLabel(szTo, szToCut, sizeof(szToCut));
    CutLabel(gszCurrentRelease, szCurrentCut, sizeof(szCurrentCut));
    if (giOperationMode == MODE_UPGRADE) {
        if (dwUpgradeType == 0) {
            const char* aszArgs[2] = {szFromCut, szToCut};
            SetPackageText(hDlg, IDC_MESSAGE, STR_UPGRADE_TO, 2, aszArgs, szText, sizeof(szText));
            LogFormat(0, "Verified %s.", szFrom);
        } else if ((gwOptions & OPT_NOUSER) && (gwOptions & OPT_REVERT)) {
            /* A revert was asked for, but the installed release must be
             * upgraded first: the person decides. */
            const char* aszArgs[1] = {szTo};
            SetPackageText(hDlg, IDC_HEADING, STR_UPGRADE_FIRST, 1, aszArgs, szText, sizeof(szText));
            gwOptions = 0;
            ShowCtl(hDlg, IDC_MESSAGE, 0);
            ShowCtl(hDlg, IDC_HEADING, 1);
            LogFormat(0, "Verified %s.", gszCurrentRelease);
        } else {
            char szTarget[IDENT_LABEL_BUFFER * 2 + 2];
            if (IsWebAccess()) {
                TextCopy(szTarget, sizeof(szTarget), szCurrentCut);
                TextAppend(szTarget, sizeof(szTarget), "+");
                TextAppend(szTarget, sizeof(szTarget), szToCut);
            } else {
                TextCopy(szTarget, sizeof(szTarget), szToCut);
            }
            const char* aszArgs[2] = {szCurrentCut, szTarget};
            SetPackageText(hDlg, IDC_MESSAGE, STR_UPGRADE_TO, 2, aszArgs, szText, sizeof(szText));
            LogFormat(0, "Verified %s.", gszCurrentRelease);
        }
    } else if (dwUpgradeType == 0) {
        const char* aszArgs[2] = {szToCut, szFromCut};
        SetPackageText(hDlg, IDC_MESSAGE, STR_REVERT_TO, 2, aszArgs, szText, sizeof(szText));
        LogFormat(0, "Verified %s.", szTo);
        PlatShowWindow(ghGaugeFile, SW_SHOW);
    } else if (giFixLabels == 0 && strcmp(StringText(STR_KIND), "Custom Fix") == 0) {
        const char* aszArgs[2] = {szToCut, szCurrentCut};
        char szDir[BACKUP_NAME_SIZE];
        SetPackageText(hDlg, IDC_MESSAGE, STR_REVERT_TO, 2, aszArgs, szText, sizeof(szText));
        TextCopy(gszRevertLabel, sizeof(gszRevertLabel), gszCurrentRelease);
        TextCopy(gszBackupDir, sizeof(gszBackupDir), BackupDirName(gszRevertLabel, szDir));
        LogFormat(0, "Verified %s.", szTo);
        EnableCtl(hDlg, IDC_NEXT, 1);
        SetArrowCursor();
        return;
    } else if (giFixLabels == 0) {
        LogLine("Can't find valid labels", 0);
        PlanNoteRefused();
        PlatSetDlgItemText(hDlg, IDC_MESSAGE, StringText(STR_NO_BACKUP));
        LogLine("Unable to identify release.", 0);
        EnableCtl(hDlg, IDC_CLOSE, 1);
        EnableCtl(hDlg, IDC_NEXT, 0);
        PlatSetFocus(PlatGetDlgItem(hDlg, IDC_CLOSE));
        gbFinished = 1;
        SetArrowCursor();
        if (gwOptions & OPT_NOUSER) IdentifyEndUnattended(hDlg);
        return;
    } else {
        ChooseLabel(hDlg, szFrom);
        PlatShowWindow(ghGaugeFile, SW_SHOW);
    }

    if (dwUpgradeType == 0 || giOperationMode == MODE_UPGRADE) {
        EnableCtl(hDlg, IDC_BACK, 1);
        EnableCtl(hDlg, IDC_NEXT, 1);
    }
    if (gwOptions & OPT_NOUSER) {
        if (giOperationMode == MODE_REVERT && dwUpgradeType != 0) {
            char szDir[BACKUP_NAME_SIZE];
            TextCopy(gszBackupDir, sizeof(gszBackupDir), BackupDirName(gszRevertLabel, szDir));
        }
        PlatPostMessage(hDlg, WM_COMMAND, MAKEWPARAM(IDC_NEXT, BN_CLICKED), 0);
    }
    SetArrowCursor();
}

/* ---- The revert-label list --------------------------------------------------- */

void RevertLabelSelected(HWND hDlg)
{
    LRESULT lRow = PlatSendDlgItemMessage(hDlg, IDC_LABELS, LB_GETCURSEL, 0, 0);
    char szDir[BACKUP_NAME_SIZE];
    int iCompare;
    gszRevertLabel[0] = 0;
    if (lRow >= 0) {
        if (IsWebAccess()) {
            LRESULT lIndex = PlatSendDlgItemMessage(hDlg, IDC_LABELS, LB_GETITEMDATA, (WPARAM)lRow, 0);
            if (lIndex >= 0 && lIndex < giFixLabels)
                TextCopy(gszRevertLabel, sizeof(gszRevertLabel), gpcanFixLabels[lIndex]);
        } else {
            LRESULT cch = PlatSendDlgItemMessage(hDlg, IDC_LABELS, LB_GETTEXTLEN, (WPARAM)lRow, 0);
            char* szRow = cch >= 0 ? (char*)PlatHeapAlloc((size_t)cch + 1) : NULL;
            if (szRow) {
                PlatSendDlgItemMessage(hDlg, IDC_LABELS, LB_GETTEXT, (WPARAM)lRow, (LPARAM)szRow);
                TextCopy(gszRevertLabel, sizeof(gszRevertLabel), szRow);
                PlatHeapFree(szRow);
            }
        }
    }
    LogFormat(1, "Selected Label to revert to: %s", gszRevertLabel);
    if (dwUpgradeType != 0) TextCopy(gszBackupDir, sizeof(gszBackupDir), BackupDirName(gszRevertLabel, szDir));
    iCompare = strcmp(StringText(STR_KIND), "Custom Fix");
    LogFormat(1, "gpStrings[STRR_HOTFIX] = %s; strcmp %d", StringText(STR_KIND),
              iCompare < 0 ? -1 : iCompare > 0 ? 1 : 0);
    ShowCtl(hDlg, IDC_HEADING, 0);
    ShowCtl(hDlg, IDC_LABEL_PROMPT, 0);
    ShowCtl(hDlg, IDC_LABELS, 0);
    if (gszRevertLabel[0]) {
        EnableCtl(hDlg, IDC_NEXT, 1);
        PlatSetFocus(PlatGetDlgItem(hDlg, IDC_NEXT));
    } else {
        LogLine("Selected revert label has zero length", 1);
        EnableCtl(hDlg, IDC_NEXT, 0);
        EnableCtl(hDlg, IDC_BACK, 1);
    }
}
