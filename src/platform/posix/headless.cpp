/*
 * headless.cpp - the headless front end (HERON_UI=headless): no person, no
 * terminal drawing.
 *
 * Output (standard output, one line each):
 *   --- CAPTION ---        a dialog became the active one ("dialog N" when
 *                          it has no caption)
 *   --- page N ---         the wizard moved to page N (its "Page" property)
 *   TEXT                   a main text (PLAT_UI_MAIN controls) appeared or
 *                          changed; line breaks and tabs become blanks
 *   > ACTION               the user action taken, with a note in brackets
 *                          when it could not be carried out
 *
 * Input: HERON_SCRIPT, actions separated by ";", each taken only when the
 * program waits for the user (nothing queued, no timer due). The actions
 * are the verbs the program handed with PlatSetScriptVerbs (ui.h), for the
 * installer's wizard:
 *   accept, decline       click "I accept" / "I don't accept"
 *   next, back, close     click the button (close: the Close button, or the
 *                         window's close request)
 *   program=DIR           type DIR into the program-directory field
 *   data=TEXT             the data-directory field: when TEXT names an
 *                         entry of the list, open the list and pick it;
 *                         otherwise type TEXT into the field (an empty TEXT
 *                         erases it)
 *   select=TEXT           select the revert-label row that is TEXT, else
 *                         the first that begins with it (any case)
 * When the script is used up and the dialog waits, the window is closed as
 * a person closes it. Other dialogs (the self-check after a failure) are
 * closed at once: the script speaks to the verbs' dialog only. Headless
 * never waits for a person.
 */
#include "platform/dialog.h"
#include "platform/posix/frontends.h"
#include "platform/posix/posix.h"
#include "platform/posix/window.h"
#include "platform/ui.h"

#include <map>
#include <string>
#include <vector>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

/* Closes of one dialog without effect after which headless gives up (a
 * dialog that ignores its close request would otherwise be closed forever). */
#define HEADLESS_MAX_CLOSES 50

static std::vector<std::string> s_aScript;
static size_t s_iScript;
static int s_bScriptLoaded;
static HWND s_hReported;
static intptr_t s_iReportedPage;
static std::map<int, std::string> s_mReported;
static HWND s_hClosing;
static int s_cCloses;
static int s_iVerbDialog = -1;
static const PLAT_SCRIPT_VERB* s_pVerbs;
static int s_cVerbs;

void PlatSetScriptVerbs(int iDialog, const PLAT_SCRIPT_VERB* pVerbs, int cVerbs)
{
    if (!pVerbs || cVerbs <= 0) {
        s_iVerbDialog = -1;
        s_pVerbs = NULL;
        s_cVerbs = 0;
        return;
    }
    s_iVerbDialog = iDialog;
    s_pVerbs = pVerbs;
    s_cVerbs = cVerbs;
}

/* The text without blanks and line ends around it. */
static std::string Trim(const std::string& s)
{
    size_t iStart = s.find_first_not_of(" \t\r\n");
    size_t iEnd = s.find_last_not_of(" \t\r\n");
    return iStart == std::string::npos ? std::string() : s.substr(iStart, iEnd - iStart + 1);
}

/* Splits HERON_SCRIPT into its actions (empty ones dropped). */
static void ScriptLoad(void)
{
    const char* szScript = getenv("HERON_SCRIPT");
    std::string s = szScript ? szScript : "";
    size_t iStart = 0;
    s_aScript.clear();
    s_iScript = 0;
    s_bScriptLoaded = 1;
    while (iStart <= s.size()) {
        size_t iEnd = s.find(';', iStart);
        if (iEnd == std::string::npos) iEnd = s.size();
        std::string sAction = Trim(s.substr(iStart, iEnd - iStart));
        if (!sAction.empty()) s_aScript.push_back(sAction);
        iStart = iEnd + 1;
    }
}

void PlatHeadlessReset(void)
{
    s_bScriptLoaded = 0;
    s_aScript.clear();
    s_iScript = 0;
    s_hReported = NULL;
    s_iReportedPage = 0;
    s_mReported.clear();
    s_hClosing = NULL;
    s_cCloses = 0;
}

/* One line on standard output. */
static void Say(const std::string& s) { PlatConsoleLine(s.c_str()); }

/* A text on one line: control characters become blanks, runs of blanks one. */
static std::string OneLine(const char* sz)
{
    std::string s;
    for (; *sz; sz++) {
        char c = (unsigned char)*sz < 0x20 ? ' ' : *sz;
        if (c == ' ' && (s.empty() || s[s.size() - 1] == ' ')) continue;
        s += c;
    }
    while (!s.empty() && s[s.size() - 1] == ' ') s.erase(s.size() - 1);
    return s;
}

/* Writes the lines for what changed on the active dialog since last time. */
static void Report(void)
{
    static unsigned long s_ulLooked = ~0ul;
    HWND hDlg;
    HWND ahChildren[128];
    int cChildren, i;
    intptr_t iPage;
    /* Nothing a report shows changed since the last one (only repaints,
     * such as a moving gauge): nothing to say. */
    if (WndShownChanges() == s_ulLooked) return;
    s_ulLooked = WndShownChanges();
    hDlg = PlatUiActiveDialog();
    if (!hDlg) return;
    if (hDlg != s_hReported) {
        PLAT_CTLINFO info;
        std::string sCaption = OneLine(PlatUiText(hDlg));
        PlatUiInfo(hDlg, &info);
        if (sCaption.empty()) sCaption = "dialog " + std::to_string(info.iTemplate);
        Say("--- " + sCaption + " ---");
        s_hReported = hDlg;
        s_iReportedPage = 0;
        s_mReported.clear();
    }
    iPage = (intptr_t)PlatGetProp(hDlg, "Page");
    if (iPage && iPage != s_iReportedPage) {
        Say("--- page " + std::to_string((long)iPage - 1) + " ---");
        s_iReportedPage = iPage;
    }
    cChildren = PlatUiChildren(hDlg, ahChildren, 128);
    for (i = 0; i < cChildren && i < 128; i++) {
        PLAT_CTLINFO info;
        std::string sText;
        if (!PlatUiInfo(ahChildren[i], &info) || !(info.dwUi & PLAT_UI_MAIN)) continue;
        if (PlatIsWindowVisible(ahChildren[i])) sText = OneLine(PlatUiText(ahChildren[i]));
        if (!sText.empty() && sText != s_mReported[info.iId]) Say(sText);
        s_mReported[info.iId] = sText;
    }
}

/* The control when a person could use it now, else NULL. */
static HWND Usable(HWND hDlg, int iId)
{
    HWND h = PlatGetDlgItem(hDlg, iId);
    return (h && PlatIsWindowVisible(h) && PlatIsWindowEnabled(h)) ? h : NULL;
}

/* Closes the dialog as a person does: Cancel/Close when usable, else the
 * window's close request. Counts the attempts. */
static void Close(HWND hDlg)
{
    HWND hCancel = Usable(hDlg, IDCANCEL);
    if (hDlg != s_hClosing) {
        s_hClosing = hDlg;
        s_cCloses = 0;
    }
    s_cCloses++;
    if (hCancel)
        PlatUiPost(hCancel, PLAT_UIA_CLICK, 0, NULL);
    else
        PlatPostMessage(hDlg, WM_CLOSE, 0, 0);
}

/* Reports the action and clicks the control, or says it is not possible. */
static void Click(HWND hDlg, int iId, const std::string& sAction)
{
    HWND h = Usable(hDlg, iId);
    if (!h) {
        Say("> " + sAction + " (not possible now)");
        return;
    }
    Say("> " + sAction);
    PlatUiPost(h, PLAT_UIA_CLICK, 0, NULL);
}

/* The first list row that begins with (bExact: equals) the text, any
 * case; -1 for none. */
static int FindRow(HWND h, const std::string& sText, int bExact)
{
    PLAT_CTLINFO info;
    int i;
    if (!PlatUiInfo(h, &info)) return -1;
    for (i = 0; i < info.cItems; i++) {
        const char* szItem = PlatUiItemText(h, i);
        if (bExact ? strcasecmp(szItem, sText.c_str()) == 0 : strncasecmp(szItem, sText.c_str(), sText.size()) == 0)
            return i;
    }
    return -1;
}

/* Carries out one script action on the dialog (the file's head lists them). */
static void Act(HWND hDlg, const std::string& sAction)
{
    size_t iEq = sAction.find('=');
    std::string sName = Trim(sAction.substr(0, iEq));
    std::string sValue = iEq == std::string::npos ? std::string() : sAction.substr(iEq + 1);
    const PLAT_SCRIPT_VERB* pVerb = NULL;
    HWND h;
    int i, iRow;
    for (i = 0; i < s_cVerbs; i++) {
        int bText = s_pVerbs[i].iKind >= PLAT_VERB_TYPE;
        if (strcasecmp(sName.c_str(), s_pVerbs[i].szName) == 0 && bText == (iEq != std::string::npos)) {
            pVerb = &s_pVerbs[i];
            break;
        }
    }
    if (!pVerb) {
        Say("> " + sAction + " (unknown action, skipped)");
        return;
    }
    switch (pVerb->iKind) {
    case PLAT_VERB_CLICK: Click(hDlg, pVerb->iId, sAction); break;
    case PLAT_VERB_CLOSE:
        Say("> " + sAction);
        Close(hDlg);
        break;
    case PLAT_VERB_TYPE:
        h = Usable(hDlg, pVerb->iId);
        Say("> " + sAction + (h ? "" : " (not possible now)"));
        if (h) PlatUiPost(h, PLAT_UIA_TYPE, 0, sValue.c_str());
        break;
    case PLAT_VERB_COMBO:
        h = Usable(hDlg, pVerb->iId);
        Say("> " + sAction + (h ? "" : " (not possible now)"));
        if (!h) return;
        iRow = sValue.empty() ? -1 : FindRow(h, sValue, 1);
        if (iRow >= 0) {
            PLAT_CTLINFO info;
            PlatUiInfo(h, &info);
            if (!info.bDropped) PlatUiPost(h, PLAT_UIA_DROPDOWN, 0, NULL);
            PlatUiPost(h, PLAT_UIA_SELECT, iRow, NULL);
        } else {
            PlatUiPost(h, PLAT_UIA_TYPE, 0, sValue.c_str());
        }
        break;
    case PLAT_VERB_SELECT:
        h = Usable(hDlg, pVerb->iId);
        iRow = h ? FindRow(h, sValue, 1) : -1;
        if (h && iRow < 0) iRow = FindRow(h, sValue, 0);
        Say("> " + sAction + (!h ? " (not possible now)" : iRow < 0 ? " (no such row)" : ""));
        if (iRow >= 0) PlatUiPost(h, PLAT_UIA_SELECT, iRow, NULL);
        break;
    default: Say("> " + sAction + " (unknown action, skipped)"); break;
    }
}

/* The front end's idle call (dialog.h): reports changes; when the user is
 * awaited, takes the next action or closes. 0 only when it gives up. */
static int HeadlessIdle(int iWaitMs)
{
    HWND hDlg;
    PLAT_CTLINFO info;
    Report();
    if (iWaitMs >= 0) return 0;
    hDlg = PlatUiActiveDialog();
    if (!hDlg || !PlatUiInfo(hDlg, &info)) return 0;
    if (hDlg == s_hClosing && s_cCloses >= HEADLESS_MAX_CLOSES) {
        Say("> nothing more to do");
        return 0;
    }
    if (info.iTemplate != s_iVerbDialog) {
        Say("> close");
        Close(hDlg);
        return 1;
    }
    if (!s_bScriptLoaded) ScriptLoad();
    if (s_iScript < s_aScript.size()) {
        Act(hDlg, s_aScript[s_iScript++]);
        return 1;
    }
    Say("> close (end of script)");
    Close(hDlg);
    return 1;
}

static const PLAT_FRONTEND s_frontHeadless = {"headless", NULL, HeadlessIdle, NULL};

const PLAT_FRONTEND* PlatHeadlessFrontEnd(void) { return &s_frontHeadless; }
