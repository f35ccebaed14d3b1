// The headless front end driven by a script: the verbs come from the table the
// program hands it, and each acts on the control the table names.
#include "platform/dialog.h"
#include "platform/posix/frontends.h"
#include "platform/ui.h"
#include "support/machine.h"
#include "wizard/ui_fixture.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>
#include <vector>

namespace {

struct Selection {
    int iId;
    int iSel;
};
std::vector<Selection> g_aSelections;

INT_PTR SelectingDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    if (uMsg == WM_INITDIALOG) return 1;
    if (uMsg != WM_COMMAND) return 0;
    if (HIWORD(wParam) == LBN_SELCHANGE && LOWORD(wParam) == 1019)
        g_aSelections.push_back({1019, (int)PlatSendDlgItemMessage(hDlg, 1019, LB_GETCURSEL, 0, 0)});
    if (LOWORD(wParam) == IDCANCEL) PlatEndDialog(hDlg, 7);
    return 1;
}

const PLAT_DLGITEM kItems[] = {
    {1019, PLAT_CTL_LIST, "", 8, 8, 100, 60, LBS_NOTIFY | WS_VISIBLE | WS_TABSTOP, 0},
    {30, PLAT_CTL_EDIT, "", 8, 80, 100, 14, WS_VISIBLE | WS_TABSTOP, 0},
    {IDCANCEL, PLAT_CTL_BUTTON, "Cancel", 90, 120, 40, 14, WS_VISIBLE | WS_TABSTOP, 0},
};
const PLAT_DLGTEMPLATE kTemplate = {
    88, "Script", "MS Sans Serif", 8, 160, 140, WS_POPUP | WS_CAPTION | DS_MODALFRAME,
    kItems, (int)(sizeof(kItems) / sizeof(kItems[0]))};

const PLAT_SCRIPT_VERB kVerbs[] = {
    {"select", PLAT_VERB_SELECT, 1019},
    {"name", PLAT_VERB_TYPE, 30},
    {"quit", PLAT_VERB_CLOSE, 0},
};

INT_PTR FillingDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_INITDIALOG) {
        for (const char* sz : {"Release 8.0.1FP1|June 2, 2009", "Release 8.0.1", "Other"})
            PlatSendDlgItemMessage(hDlg, 1019, LB_ADDSTRING, 0, (LPARAM)sz);
    }
    return SelectingDlgProc(hDlg, uMsg, wParam, lParam);
}

std::string RunScript(const char* szScript, const PLAT_SCRIPT_VERB* pVerbs, int cVerbs, std::string* pName = nullptr)
{
    UiTestBegin();
    g_aSelections.clear();
    setenv("HERON_SCRIPT", szScript, 1);
    PlatHeadlessReset();
    PlatSetScriptVerbs(88, pVerbs, cVerbs);
    PlatSetFrontEnd(PlatHeadlessFrontEnd());
    testing::internal::CaptureStdout();
    HWND hDlg = PlatCreateDialogIndirectParam(nullptr, &kTemplate, nullptr, FillingDlgProc, 0);
    EXPECT_NE(nullptr, hDlg);
    PlatShowWindow(hDlg, SW_SHOW);
    PLAT_MSG msg;
    while (PlatIsWindow(hDlg) && PlatGetMessage(&msg, nullptr, 0, 0) > 0) {
        if (!PlatIsDialogMessage(hDlg, &msg)) PlatDispatchMessage(&msg);
        if (pName && PlatIsWindow(hDlg)) *pName = PlatUiText(PlatGetDlgItem(hDlg, 30));
    }
    std::string strOut = testing::internal::GetCapturedStdout();
    unsetenv("HERON_SCRIPT");
    PlatSetScriptVerbs(0, nullptr, 0);
    UiTestEnd();
    return strOut;
}

// select= takes the row that is the text, else the first that begins with
// it, and the dialog hears of the change as from a person's click.
TEST(HeadlessScript, SelectPrefersTheWholeRowThenTheFirstBeginning)
{
    const int cVerbs = (int)(sizeof(kVerbs) / sizeof(kVerbs[0]));
    std::string strOut = RunScript("select=release 8.0.1; select=Release 8.0.1F; select=nope; quit",
                                   kVerbs, cVerbs);
    ASSERT_EQ(2u, g_aSelections.size()) << strOut;
    EXPECT_EQ(1, g_aSelections[0].iSel);
    EXPECT_EQ(0, g_aSelections[1].iSel);
    EXPECT_NE(std::string::npos, strOut.find("> select=nope (no such row)\n")) << strOut;
    EXPECT_NE(std::string::npos, strOut.find("> quit\n")) << strOut;

    // Without a whole row, the first row it begins.
    strOut = RunScript("select=Release", kVerbs, cVerbs);
    ASSERT_EQ(1u, g_aSelections.size()) << strOut;
    EXPECT_EQ(0, g_aSelections[0].iSel);
}

// Only the handed verbs are understood; without a table the script speaks to
// no dialog and the dialog is closed at once.
TEST(HeadlessScript, VerbsComeFromTheTableHanded)
{
    std::string strName;
    std::string strOut = RunScript("name=Bob; accept; select", kVerbs, 2, &strName);
    EXPECT_EQ("Bob", strName);
    EXPECT_NE(std::string::npos, strOut.find("> name=Bob\n> accept (unknown action, skipped)\n"
                                             "> select (unknown action, skipped)\n> close (end of script)\n"))
        << strOut;

    strOut = RunScript("name=Bob", nullptr, 0, &strName);
    EXPECT_EQ("", strName);
    EXPECT_EQ(std::string::npos, strOut.find("> name")) << strOut;
    EXPECT_NE(std::string::npos, strOut.find("> close\n")) << strOut;
}

// Front-end settings that mean nothing stop the program at start with a
// message and exit code 1, before any box or page; those that mean
// something pass.
TEST(FrontEndSettings, MeaninglessValuesStopTheProgram)
{
    TempMachine machine;
    const std::string strHeron = HERON_BIN_DIR "/heron";
    struct Row {
        const char* szUi;
        const char* szAnswers;
        const char* szMessage;  // nullptr: accepted
    } rows[] = {
        {"gui", "", "HERON_UI is \"gui\""},
        {"headles", "", "HERON_UI is \"headles\""},
        {"headless", "OK,Maybe", "HERON_ANSWERS names \"Maybe\""},
        {"headless", "yes;no", "HERON_ANSWERS names \"yes;no\""},
        {"HEADLESS", " ok , , Cancel,YES,no", nullptr},
        {"", "", nullptr},
    };
    for (const Row& row : rows) {
        ProcessResult result = RunProcess({strHeron, "contents"}, "",
                                          {{"HERON_UI", row.szUi}, {"HERON_ANSWERS", row.szAnswers}});
        if (row.szMessage) {
            EXPECT_EQ(1, result.iExitCode) << row.szUi << " / " << row.szAnswers;
            EXPECT_NE(std::string::npos, result.strErr.find(row.szMessage)) << result.strErr;
            EXPECT_EQ("", result.strOut) << row.szUi << " / " << row.szAnswers;
        } else {
            EXPECT_EQ(std::string::npos, result.strErr.find("heron: HERON_")) << result.strErr;
            EXPECT_NE("", result.strOut) << row.szUi << " / " << row.szAnswers;  // the run went on and spoke
        }
    }
}

}  // namespace
