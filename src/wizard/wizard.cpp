/*
 * wizard.cpp - the wizard dialog (resource 400): creation, navigation, the
 * page table, the agreement buttons, the data-directory combo box and the
 * commitment of the directories.
 *
 * Divisions:
 *   1. Wizard state and small helpers
 *   2. Committing the directories (entering page 2)
 *   3. The pages: one function each, one table
 *   4. Commands: Back, Next, Close, radio buttons, the combo box
 *   5. MainDlgProc, WizardRun, cursors, GetDlgItemDir
 *
 * The pages are one dialog whose controls are shown, hidden, enabled and
 * retitled in place; controls a page does not name keep their state. In
 * unattended mode (NOUSER) the wizard presses Next itself by posting the
 * command to its own dialog: creation and page 0 each queue one, so pages
 * 1 and 2 pass without a person, and page 4 posts Close.
 */
#include "wizard/wizard.h"

#include "platform/ui.h"
#include "report/report.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "shell/progress.h"
#include "shell/text.h"
#include "shell/utils.h"
#include "ui/gauge.h"
#include "ui/resource.h"

#include <string.h>

/* ---- 1. Wizard state and small helpers -------------------------------- */

int giDlgState;
int gbFinished;
int giDataDirSel = 0;

#define STR_CAPTION 3
#define STRR_HOTFIX 42
#define DATA_DIR_BUFFER 1041  /* one slot of gpQuillData */
#define COMBO_TEXT_BUFFER 521 /* the combo's edit text in its notifications */

/* A diagnostics-tool package: discovery leaves its one data directory
 * uncounted (giPartitions 0, the text in slot 0). */
static int IsQsdPackage(void) { return strcmp(StringText(STRR_HOTFIX), "QSD") == 0; }

/* Shows or hides one control. */
static void ShowItem(HWND hDlg, int iId, int bShow)
{
    PlatShowWindow(PlatGetDlgItem(hDlg, iId), bShow ? SW_SHOW : SW_HIDE);
}

/* Shows or hides each control of the list. */
static void ShowItems(HWND hDlg, const int* aiIds, size_t cIds, int bShow)
{
    size_t i;
    for (i = 0; i < cIds; i++) ShowItem(hDlg, aiIds[i], bShow);
}

/* Enables or disables one control. */
static void EnableItem(HWND hDlg, int iId, int bEnable) { PlatEnableWindow(PlatGetDlgItem(hDlg, iId), bEnable); }

/* Puts string iString of the string table into the control. */
static void SetItemString(HWND hDlg, int iId, int iString) { PlatSetDlgItemText(hDlg, iId, StringText(iString)); }

/* Moves the focus to the control. */
static void FocusItem(HWND hDlg, int iId) { PlatSetFocus(PlatGetDlgItem(hDlg, iId)); }

/* A message to the data-directory combo box. */
static LRESULT ComboMessage(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    return PlatSendDlgItemMessage(hDlg, IDC_DATA_DIRS, uMsg, wParam, lParam);
}

/* Queues the Next command, as the unattended run presses it. */
static void PostNext(HWND hDlg) { PlatPostMessage(hDlg, WM_COMMAND, MAKEWPARAM(IDC_NEXT, BN_CLICKED), 0); }

/* Requests the end of the message loop (exit code 0) and destroys the
 * dialog; start-up finishes the run when the loop sees the request. */
static void WizardQuit(HWND hDlg)
{
    PlatPostQuitMessage(0);
    PlatDestroyWindow(hDlg);
}

/* ---- 2. Committing the directories ------------------------------------ */

/* Releases the data-directory list, its texts and the validity bytes,
 * logging each text (indent 1). */
static void FreeDataDirs(void)
{
    int cSlots = giPartitions;
    int i;
    if (cSlots == 0 && IsQsdPackage()) cSlots = 1;
    for (i = 0; gpQuillData && i < cSlots; i++) {
        if (!gpQuillData[i]) continue;
        LogFormat(1, "DLGSTATE_DIRS: Before Freeing the memory from  = %s", gpQuillData[i]);
        PlatHeapFree(gpQuillData[i]);
        gpQuillData[i] = NULL;
    }
    PlatHeapFree(gpDataDirValid);
    gpDataDirValid = NULL;
    LogLine("DLGSTATE_DIRS:  Before Freeing the memory from  gpQuillData", 1);
    PlatHeapFree(gpQuillData);
    gpQuillData = NULL;
}

/* Copies combo entry iEntry into a data-directory slot, cut to the slot. */
static void CopyComboEntry(HWND hDlg, int iEntry, char* szSlot)
{
    LRESULT cch = ComboMessage(hDlg, CB_GETLBTEXTLEN, (WPARAM)iEntry, 0);
    char* szEntry;
    szSlot[0] = 0;
    if (cch < 0) return;
    szEntry = (char*)PlatHeapAlloc((size_t)cch + 1);
    if (!szEntry) return;
    ComboMessage(hDlg, CB_GETLBTEXT, (WPARAM)iEntry, (LPARAM)szEntry);
    TextCopy(szSlot, DATA_DIR_BUFFER, szEntry);
    PlatHeapFree(szEntry);
}

/* Builds the data-directory list from the combo box (entry order). 1 when
 * every buffer was allocated; 0 after the log line and box of a failure. */
static int RebuildDataDirs(HWND hDlg, int cEntries)
{
    char szBox[64];
    int i;
    gpQuillData = (char**)PlatHeapAlloc(sizeof(char*) * (size_t)(cEntries > 0 ? cEntries : 1));
    if (!gpQuillData) {
        LogLine("Can't allocate memory for Data Directory list", 1);
        PlatMessageBox(NULL, "Can't allocate gpQuillData", "Info", MB_OK | MB_ICONERROR);
        giPartitions = 0;
        return 0;
    }
    for (i = 0; i < cEntries; i++) {
        gpQuillData[i] = (char*)PlatHeapAlloc(DATA_DIR_BUFFER);
        if (!gpQuillData[i]) {
            LogLine("Can't allocate memory for Data Directory list", 1);
            TextFormat(szBox, sizeof(szBox), "Can't allocate gpQuillData[%d]", i);
            PlatMessageBox(NULL, szBox, "Info", MB_OK | MB_ICONERROR);
            break;
        }
        CopyComboEntry(hDlg, i, gpQuillData[i]);
    }
    ComboMessage(hDlg, CB_SETCURSEL, 0, 0);
    giPartitions = cEntries;
    gpDataDirValid = (BYTE*)PlatHeapAlloc((size_t)(cEntries > 0 ? cEntries : 1));
    if (!gpDataDirValid) LogLine("Can't allocate memory for Data Directory list", 1);
    /* A slot left without a buffer cannot be tested or used: the page
     * refuses rather than hand identification a hole in the list. */
    return i == cEntries && gpDataDirValid != NULL;
}

/*
 * Commits the directories of page 1: the combo's typed text joins the list,
 * the list replaces gpQuillData, the program directory is read from 1005;
 * every directory must exist. Then the program directory becomes current
 * and the directories are logged. Returns 1, or 0 when the page refuses
 * (after its box and with the focus placed).
 */
static int CommitDirectories(HWND hDlg)
{
    char szText[MAX_PATH];
    char szBox[TEXT_FORMAT_MAX];
    int cEntries, i;

    PlatGetDlgItemText(hDlg, IDC_DATA_DIRS, szText, sizeof(szText));
    if (szText[0] && ComboMessage(hDlg, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)szText) == CB_ERR)
        ComboMessage(hDlg, CB_ADDSTRING, 0, (LPARAM)szText);
    cEntries = (int)ComboMessage(hDlg, CB_GETCOUNT, 0, 0);
    if (cEntries < 0) cEntries = 0;

    LogFormat(1, "DLGSTATE_DIRS: Before Freeing the memory for giPartitions = %d", giPartitions);
    FreeDataDirs();
    if (!RebuildDataDirs(hDlg, cEntries)) return 0;

    if (!gpProgramDir) gpProgramDir = (char*)PlatHeapAlloc(MAX_PATH + 1);
    if (!gpProgramDir || !GetDlgItemDir(hDlg, IDC_PROGRAM_DIR, gpProgramDir)) {
        PlatMessageBox(hDlg, StringText(21), StringText(STR_CAPTION), MB_OK | MB_ICONERROR);
        FocusItem(hDlg, IDC_PROGRAM_DIR);
        return 0;
    }

    for (i = 0; i < giPartitions; i++) {
        if (!DirectoryExists(gpQuillData[i])) {
            TextFormat(szBox, sizeof(szBox), "Invalid Data Directory = %s", gpQuillData[i]);
            PlatMessageBox(NULL, szBox, "Info", MB_OK | MB_ICONERROR);
            ComboMessage(hDlg, CB_SHOWDROPDOWN, 1, 0);
            FocusItem(hDlg, IDC_DATA_DIRS);
            gpDataDirValid[i] = 0;
            return 0;
        }
        gpDataDirValid[i] = 1;
    }

    PlatSetCurrentDirectory(gpProgramDir);

    LogFormat(0, "Using Quill program directory %s", gpProgramDir);
    for (i = 0; i < giPartitions; i++) LogFormat(0, "Using Quill data directory %s", gpQuillData[i]);
    if (giPartitions == 0 && IsQsdPackage() && gpQuillData && gpQuillData[0])
        LogFormat(0, "Using Quill data directory %s", gpQuillData[0]);
    return 1;
}

/* ---- 3. The pages ------------------------------------------------------ */

/* Puts the agreement text (ghLicenseText, gdwLicenseSize bytes without a
 * NUL) into 1020. 0 when there is no text to show. The block itself is not
 * written: the terminated copy is made apart. */
static int ShowLicenseText(HWND hDlg)
{
    const char* pbText;
    char* szText;
    size_t cb;
    if (!ghLicenseText) return 0;
    pbText = (const char*)PlatGlobalLock(ghLicenseText);
    if (!pbText) return 0;
    cb = gdwLicenseSize;
    if (cb > PlatGlobalSize(ghLicenseText)) cb = PlatGlobalSize(ghLicenseText);
    szText = (char*)PlatHeapAlloc(cb + 1);
    if (!szText) {
        PlatGlobalUnlock(ghLicenseText);
        return 0;
    }
    memcpy(szText, pbText, cb);
    szText[cb] = 0;
    PlatGlobalUnlock(ghLicenseText);
    PlatSetDlgItemText(hDlg, IDC_LICENSE, szText);
    PlatHeapFree(szText);
    return 1;
}

/* Page 0: the licence agreement; Next waits for "I accept". Unattended, it
 * only presses Next. Without an agreement text the wizard ends. */
static int PageAgreement(HWND hDlg)
{
    if (gwOptions & OPT_NOUSER) {
        PostNext(hDlg);
        return 1;
    }
    SetItemString(hDlg, IDC_HEADING, 49);
    if (!ShowLicenseText(hDlg)) {
        WizardQuit(hDlg);
        return 1;
    }
    ShowItem(hDlg, IDC_HEADING, 1);
    gbFinished = 0;
    EnableItem(hDlg, IDC_NEXT, PlatIsDlgButtonChecked(hDlg, IDC_ACCEPT) == BST_CHECKED);
    return 1;
}

/* Page 1: the program directory and the data-directory list, editable. */
static int PageWelcome(HWND hDlg)
{
    /* The revert-label list of page 2 would cover the directory fields. */
    static const int aiHide[] = {IDC_MESSAGE, IDC_ACCEPT_FRAME, IDC_LICENSE, IDC_ACCEPT,
                                 IDC_DECLINE, IDC_LABEL_PROMPT, IDC_LABELS};
    static const int aiShow[] = {IDC_HEADING,     IDC_PROGRAM_CAP, IDC_DATA_CAP, IDC_HINT,
                                 IDC_PROGRAM_DIR, IDC_DATA_DIRS,   IDC_BACK,     IDC_NEXT};
    int i;
    ShowItems(hDlg, aiHide, sizeof(aiHide) / sizeof(aiHide[0]), 0);
    PlatShowWindow(ghGaugeFile, SW_HIDE);
    ShowItems(hDlg, aiShow, sizeof(aiShow) / sizeof(aiShow[0]), 1);
    SetItemString(hDlg, IDC_HEADING, 17);
    SetItemString(hDlg, IDC_PROGRAM_CAP, 18);
    SetItemString(hDlg, IDC_DATA_CAP, 19);
    SetItemString(hDlg, IDC_HINT, 20);
    PlatSetDlgItemText(hDlg, IDC_PROGRAM_DIR, gpProgramDir ? gpProgramDir : "");

    ComboMessage(hDlg, CB_RESETCONTENT, 0, 0);
    for (i = 0; gpQuillData && i < giPartitions; i++) {
        if (gpQuillData[i] && gpQuillData[i][0]) ComboMessage(hDlg, CB_ADDSTRING, 0, (LPARAM)gpQuillData[i]);
    }
    if (giPartitions == 0 && IsQsdPackage() && gpQuillData && gpQuillData[0] && gpQuillData[0][0])
        ComboMessage(hDlg, CB_ADDSTRING, 0, (LPARAM)gpQuillData[0]);

    /* Back is usable only on page 2; Next always here (a failed
     * identification left it disabled before Back was pressed). */
    EnableItem(hDlg, IDC_BACK, 0);
    EnableItem(hDlg, IDC_NEXT, 1);
    ComboMessage(hDlg, CB_SHOWDROPDOWN, 1, 0);
    FocusItem(hDlg, IDC_NEXT);
    gbFinished = 0;
    return 1;
}

/* Page 2: commits the directories (or refuses) and starts identification. */
static int PageDirs(HWND hDlg)
{
    static const int aiHide[] = {IDC_PROGRAM_DIR, IDC_DATA_DIRS,   IDC_PROGRAM_BROWSE, IDC_DATA_BROWSE,
                                 IDC_HEADING,     IDC_PROGRAM_CAP, IDC_DATA_CAP,       IDC_HINT};
    if (!CommitDirectories(hDlg)) return 0;
    SetItemString(hDlg, IDC_MESSAGE, 23);
    ShowItem(hDlg, IDC_MESSAGE, 1);
    EnableItem(hDlg, IDC_NEXT, 0);
    EnableItem(hDlg, IDC_BACK, 0);
    ShowItems(hDlg, aiHide, sizeof(aiHide) / sizeof(aiHide[0]), 0);
    if (giOperationMode == MODE_REVERT && dwUpgradeType > 0) {
        SetItemString(hDlg, IDC_LABEL_PROMPT, 44);
        ShowItem(hDlg, IDC_LABEL_PROMPT, 1);
        ShowItem(hDlg, IDC_LABELS, 1);
        EnableItem(hDlg, IDC_LABELS, 1);
        EnableItem(hDlg, IDC_NEXT, 0);
    }
    FocusItem(hDlg, IDC_NEXT);
    gbFinished = 0;
    /* Identification runs from the queue, after this page is in place. */
    PlatPostMessage(hDlg, UM_IDENTIFY, 0, 0);
    return 1;
}

/* Page 3: the upgrade or revert runs with both gauges. */
static int PageUpgrade(HWND hDlg)
{
    SetItemString(hDlg, IDC_MESSAGE, giOperationMode == MODE_UPGRADE ? 27 : 28);
    ShowItem(hDlg, IDC_MESSAGE, 1);
    PlatShowWindow(ghGaugeTotal, SW_SHOW);
    ShowItem(hDlg, IDC_FILE_CAP, 1);
    ShowItem(hDlg, IDC_TOTAL_CAP, 1);
    SetItemString(hDlg, IDC_FILE_CAP, 30);
    SetItemString(hDlg, IDC_TOTAL_CAP, 31);
    PlatPostMessage(hDlg, UM_UPGRADE, 0, 0);
    FocusItem(hDlg, IDC_NEXT);
    return 1;
}

/* Page 4: the success text; nothing is left to lose. A plan shows the
 * plan instead. */
static int PageFinished(HWND hDlg)
{
    if (giReportFlags & REPORT_PLAN) {
        PlanPage(hDlg);
        return 1;
    }
    PlatShowWindow(ghGaugeFile, SW_HIDE);
    PlatShowWindow(ghGaugeTotal, SW_HIDE);
    ShowItem(hDlg, IDC_FILE_CAP, 0);
    ShowItem(hDlg, IDC_TOTAL_CAP, 0);
    if (giOperationMode == MODE_UPGRADE) {
        SetItemString(hDlg, IDC_MESSAGE, 36);
        LogLine("Quill has been successfully upgraded.", 0);
    } else {
        SetItemString(hDlg, IDC_MESSAGE, 37);
        LogLine("Quill has been successfully reverted.", 0);
    }
    ShowItem(hDlg, IDC_MESSAGE, 1);
    FocusItem(hDlg, IDC_CLOSE);
    gbFinished = 1;
    if (gwOptions & OPT_NOUSER) PlatPostMessage(hDlg, WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED), 0);
    return 1;
}

typedef int (*PAGE_ENTRY)(HWND hDlg);

/* The page table, indexed by page number. */
static const PAGE_ENTRY s_apfnPages[] = {
    PageAgreement, /* DLGSTATE_AGREEMENT */
    PageWelcome,   /* DLGSTATE_WELCOME */
    PageDirs,      /* DLGSTATE_DIRS */
    PageUpgrade,   /* DLGSTATE_UPGRADE */
    PageFinished,  /* DLGSTATE_FINISHED */
};

int SetDlgState(HWND hDlg, int iState)
{
    int r;
    if (iState < 0 || iState >= (int)(sizeof(s_apfnPages) / sizeof(s_apfnPages[0]))) return 1;
    r = s_apfnPages[iState](hDlg);
    /* The front ends name the page from this property (0 means none). */
    if (r && PlatIsWindow(hDlg)) PlatSetProp(hDlg, "Page", (HANDLE)(intptr_t)(iState + 1));
    return r;
}

/* ---- 4. Commands ------------------------------------------------------- */

/* Close: asks first unless the run has nothing left to lose. */
static void WizardClose(HWND hDlg)
{
    if (!gbFinished &&
        PlatMessageBox(hDlg, StringText(38), StringText(STR_CAPTION), MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    WizardQuit(hDlg);
}

/* Back and Next: one step; a refusing page keeps the old number. */
static void WizardStep(HWND hDlg, int iStep)
{
    /* A plan goes from identification straight to the last page, which
     * shows it: the upgrade page never starts. */
    if (iStep > 0 && giDlgState == DLGSTATE_DIRS && (giReportFlags & REPORT_PLAN)) iStep = 2;
    giDlgState += iStep;
    if (!SetDlgState(hDlg, giDlgState)) giDlgState -= iStep;
}

/* The data-directory combo: typing a directory and opening the list adds
 * it; selecting an entry and erasing its text removes it. */
static void DataDirsNotify(HWND hDlg, int iCode)
{
    char szText[COMBO_TEXT_BUFFER];
    PlatGetDlgItemText(hDlg, IDC_DATA_DIRS, szText, sizeof(szText));
    switch (iCode) {
        case CBN_EDITUPDATE:
            if (szText[0] == 0) {
                if (giDataDirSel != -1) {
                    ComboMessage(hDlg, CB_DELETESTRING, (WPARAM)giDataDirSel, 0);
                    /* Opening the list sets the index again; when the list is
                     * already open no notification comes, and the old index
                     * would name another entry. */
                    giDataDirSel = -1;
                    ComboMessage(hDlg, CB_SHOWDROPDOWN, 1, 0);
                }
            } else {
                giDataDirSel = -1;
            }
            break;
        case CBN_DROPDOWN:
            giDataDirSel = (int)ComboMessage(hDlg, CB_GETCURSEL, 0, 0);
            if (giDataDirSel == CB_ERR && szText[0] &&
                ComboMessage(hDlg, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)szText) == CB_ERR)
                giDataDirSel = (int)ComboMessage(hDlg, CB_ADDSTRING, 0, (LPARAM)szText);
            break;
        case CBN_SELENDOK: giDataDirSel = (int)ComboMessage(hDlg, CB_GETCURSEL, 0, 0); break;
        default: break;
    }
}

/* WM_COMMAND: the commands the wizard handles; all others are ignored. */
static void WizardCommand(HWND hDlg, int iId, int iCode)
{
    switch (iId) {
        case IDC_CLOSE: WizardClose(hDlg); break;
        case IDC_BACK: WizardStep(hDlg, -1); break;
        case IDC_NEXT: WizardStep(hDlg, 1); break;
        case IDC_DATA_DIRS: DataDirsNotify(hDlg, iCode); break;
        case IDC_LABELS:
            if (iCode == LBN_SELCHANGE) RevertLabelSelected(hDlg);
            break;
        case IDC_ACCEPT:
            if (PlatIsDlgButtonChecked(hDlg, IDC_ACCEPT) == BST_CHECKED) EnableItem(hDlg, IDC_NEXT, 1);
            break;
        case IDC_DECLINE:
            if (PlatIsDlgButtonChecked(hDlg, IDC_DECLINE) == BST_CHECKED) EnableItem(hDlg, IDC_NEXT, 0);
            break;
        default: break;
    }
}

/* ---- 5. MainDlgProc, WizardRun, cursors, GetDlgItemDir ---------------- */

/* The initialisation message: caption, button texts, gauges, page 0. */
static void WizardInit(HWND hDlg)
{
    char szText[TEXT_FORMAT_MAX];
    TextFormat(szText, sizeof(szText), "%s %s", StringText(STR_CAPTION), StringText(0));
    PlatSetWindowText(hDlg, szText);
    PlatSetDlgItemText(hDlg, IDC_VERSION, "FI1.01");
    TextFormat(szText, sizeof(szText), "&%s", StringText(15));
    PlatSetDlgItemText(hDlg, IDC_BACK, szText);
    TextFormat(szText, sizeof(szText), "&%s", StringText(14));
    PlatSetDlgItemText(hDlg, IDC_NEXT, szText);
    TextFormat(szText, sizeof(szText), "&%s", StringText(16));
    PlatSetDlgItemText(hDlg, IDC_CLOSE, szText);

    ghGaugeFile = CreateGauge(hDlg, IDC_GAUGE_FILE);
    ghGaugeTotal = CreateGauge(hDlg, IDC_GAUGE_TOTAL);

    giDlgState = DLGSTATE_AGREEMENT;
    SetDlgState(hDlg, DLGSTATE_AGREEMENT);
    if (!PlatIsWindow(hDlg)) return; /* no agreement text: the wizard ended */
    CenterWindow(hDlg);
    if (gwOptions & OPT_NOUSER) PostNext(hDlg);
    FocusItem(hDlg, IDC_NEXT);
}

INT_PTR MainDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (uMsg) {
        case WM_INITDIALOG: WizardInit(hDlg); break;
        case WM_COMMAND: WizardCommand(hDlg, LOWORD(wParam), HIWORD(wParam)); break;
        case UM_IDENTIFY: IdentifyAction(hDlg); break;
        case UM_UPGRADE: UpgradeAction(hDlg); break;
        default: break;
    }
    return 0;
}

/* The progress door (shell/progress.h): the current-file gauge and the
 * status line of the wizard; either handle may be NULL. */
static void WizardProgressShow(DWORD dwRange, const char* szStatus)
{
    if (ghGaugeFile) {
        PlatShowWindow(ghGaugeFile, SW_SHOW);
        PlatSendMessage(ghGaugeFile, WM_COMMAND, GAUGE_SETRANGE, (LPARAM)dwRange);
    }
    if (ghMainDlg) {
        PlatSetDlgItemText(ghMainDlg, IDC_MESSAGE, szStatus);
        PlatShowWindow(PlatGetDlgItem(ghMainDlg, IDC_MESSAGE), SW_SHOW);
    }
}

static void WizardProgressStep(DWORD dwPosition)
{
    if (ghGaugeFile) PlatSendMessage(ghGaugeFile, WM_COMMAND, GAUGE_SETPOS, (LPARAM)dwPosition);
}

static void WizardProgressHide(void)
{
    if (ghGaugeFile) PlatShowWindow(ghGaugeFile, SW_HIDE);
}

static const PROGRESS_DOOR s_doorWizard = {WizardProgressShow, WizardProgressStep, WizardProgressHide};

const PROGRESS_DOOR* WizardProgressDoor(void) { return &s_doorWizard; }

/* The words of a scripted run of the wizard (platform/ui.h). */
static const PLAT_SCRIPT_VERB s_aWizardVerbs[] = {
    {"accept", PLAT_VERB_CLICK, IDC_ACCEPT},      {"decline", PLAT_VERB_CLICK, IDC_DECLINE},
    {"next", PLAT_VERB_CLICK, IDC_NEXT},          {"back", PLAT_VERB_CLICK, IDC_BACK},
    {"close", PLAT_VERB_CLOSE, IDC_CLOSE},        {"program", PLAT_VERB_TYPE, IDC_PROGRAM_DIR},
    {"data", PLAT_VERB_COMBO, IDC_DATA_DIRS},     {"select", PLAT_VERB_SELECT, IDC_LABELS},
};

int WizardRun(int* piExitCode)
{
    PLAT_MSG msg;
    int r;
    if (piExitCode) *piExitCode = 0;
    RegisterGaugeClass();
    ProgressSetDoor(&s_doorWizard);
    PlatSetScriptVerbs(IDD_WIZARD, s_aWizardVerbs, (int)(sizeof(s_aWizardVerbs) / sizeof(s_aWizardVerbs[0])));
    ghMainDlg = PlatCreateDialogParam(ghInstance, IDD_WIZARD, NULL, MainDlgProc, 0);
    if (!ghMainDlg) {
        /* A wizard that ended during its creation (no agreement text) has
         * queued its quit request: that run ends as if Close was confirmed. */
        if (PlatPeekMessage(&msg, NULL, 0, 0, PM_NOREMOVE) && msg.message == WM_QUIT) {
            PlatPeekMessage(&msg, NULL, 0, 0, PM_REMOVE);
            if (piExitCode) *piExitCode = (int)(INT_PTR)msg.wParam;
            return 1;
        }
        return 0;
    }
    PlatShowWindow(ghMainDlg, SW_SHOWNORMAL);
    while ((r = PlatGetMessage(&msg, NULL, 0, 0)) > 0) {
        if (!PlatIsDialogMessage(ghMainDlg, &msg)) {
            PlatTranslateMessage(&msg);
            PlatDispatchMessage(&msg);
        }
    }
    if (piExitCode) *piExitCode = r == 0 ? (int)(INT_PTR)msg.wParam : 0;
    return 1;
}

void SetWaitCursor(void) { PlatSetCursor(PlatLoadCursor(NULL, IDC_WAIT)); }

void SetArrowCursor(void) { PlatSetCursor(PlatLoadCursor(NULL, IDC_ARROW)); }

int GetDlgItemDir(HWND hDlg, int iId, char* szDir)
{
    PlatGetDlgItemText(hDlg, iId, szDir, MAX_PATH);
    return szDir[0] != 0 && DirectoryExists(szDir);
}
