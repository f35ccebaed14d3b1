// The wizard's pages driven through the dialog model on a temporary
// emulated machine: controls after each page's entry, refusals, the
// data-directory combo box, Close, the unattended chain and the headless
// front end.
#include "platform/dialog.h"
#include "platform/posix/frontends.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "support/machine.h"
#include "ui/gauge.h"
#include "ui/resource.h"
#include "wizard/ui_fixture.h"
#include "wizard/wizard.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

namespace
{

const std::map<int, const char*> kStrings = {
    {0, "Release 8.0.1 -> Release 8.0.2"},
    {3, "Incremental Installer"},
    {14, "Next"},
    {15, "Back"},
    {16, "Close"},
    {17, "Welcome to the Vireo Quill Incremental Installer."},
    {18, "Quill program files have been found in:"},
    {19, "and Quill data files have been found in:"},
    {20, "Press Next to begin upgrading Quill, press Close to exit Installer."},
    {21, "Invalid Program directory"},
    {23, "Identifying the installed release of Quill."},
    {27, "Upgrading Quill..."},
    {28, "Reverting Quill..."},
    {30, "Current file:"},
    {31, "Total:"},
    {36, "Congratulations, you have successfully upgraded this product."},
    {37, "Congratulations, you have successfully reverted this product."},
    {38, "If you abort now your Quill installation will be unchanged.  Are you sure you want to abort?"},
    {42, "Release 8.0.2|January 1, 2011"},
    {44, "Please, select release version to revert to:"},
    {49, "Please, read the following license agreement carefully."},
};
const char kLicense[] = "LICENSE AGREEMENT\r\nRead me.";

char* HeapText(const char* sz, size_t cb)
{
    char* p = (char*)PlatHeapAlloc(cb);
    strncpy(p, sz, cb - 1);
    return p;
}

class WizardTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        UiTestBegin();
        for (const char* sz : {"C:\\VIREO\\GARNET", "C:\\VIREO\\DATA1", "C:\\VIREO\\DATA2", "C:\\TMPDIR"})
            MakeDirs(m_machine.Host(sz));
        for (const auto& kv : kStrings) gpStrings[kv.first] = (char*)kv.second;
        gdwStringCount = 52;
        gwOptions = 0;
        giOperationMode = MODE_UPGRADE;
        dwUpgradeType = 0;
        gbFinished = 0;
        giDataDirSel = 0;
        gpProgramDir = HeapText("C:\\VIREO\\GARNET", 261);
        SetDataDirs({"C:\\VIREO\\DATA1"});
        ghLicenseText = PlatGlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(kLicense) - 1);
        memcpy(PlatGlobalLock(ghLicenseText), kLicense, sizeof(kLicense) - 1);
        PlatGlobalUnlock(ghLicenseText);
        gdwLicenseSize = sizeof(kLicense) - 1;
        setenv("TEMP", "C:\\TMPDIR", 1);
        ASSERT_EQ(1, OpenLog());
    }
    void TearDown() override
    {
        UiTestEnd();
        if (LogIsOpen()) CloseLog();
        FreeDataDirs();
        PlatHeapFree(gpProgramDir);
        gpProgramDir = nullptr;
        if (ghLicenseText) PlatGlobalFree(ghLicenseText);
        ghLicenseText = nullptr;
        gdwLicenseSize = 0;
        for (int i = 0; i < STRING_COUNT_MAX; i++) gpStrings[i] = nullptr;
        gdwStringCount = 0;
        gwOptions = 0;
        ghMainDlg = nullptr;
        unsetenv("TEMP");
    }
    void FreeDataDirs()
    {
        for (int i = 0; gpQuillData && i < (giPartitions ? giPartitions : 1); i++) PlatHeapFree(gpQuillData[i]);
        PlatHeapFree(gpQuillData);
        PlatHeapFree(gpDataDirValid);
        gpQuillData = nullptr;
        gpDataDirValid = nullptr;
    }
    void SetDataDirs(const std::vector<const char*>& aDirs, int iCount = -1)
    {
        FreeDataDirs();
        gpQuillData = (char**)PlatHeapAlloc(sizeof(char*) * (aDirs.size() + 1));
        for (size_t i = 0; i < aDirs.size(); i++) gpQuillData[i] = HeapText(aDirs[i], 1041);
        giPartitions = iCount >= 0 ? iCount : (int)aDirs.size();
    }
    HWND Create()
    {
        RegisterGaugeClass();
        ghMainDlg = PlatCreateDialogParam(nullptr, IDD_WIZARD, nullptr, MainDlgProc, 0);
        if (ghMainDlg) PlatShowWindow(ghMainDlg, SW_SHOW);
        UiSettle();
        return ghMainDlg;
    }
    HWND Item(int iId) { return PlatGetDlgItem(ghMainDlg, iId); }
    bool Visible(int iId) { return PlatIsWindowVisible(Item(iId)); }
    bool Enabled(int iId) { return PlatIsWindowEnabled(Item(iId)); }
    std::string Text(int iId) { return PlatUiText(Item(iId)); }
    std::vector<PLAT_MSG> Act(int iId, int iAction, const char* szText = nullptr, int iIndex = 0)
    {
        PlatUiPost(Item(iId), iAction, iIndex, szText);
        return UiSettle();
    }
    std::vector<PLAT_MSG> Click(int iId) { return Act(iId, PLAT_UIA_CLICK); }
    std::vector<std::string> Entries()
    {
        std::vector<std::string> a;
        PLAT_CTLINFO info;
        PlatUiInfo(Item(IDC_DATA_DIRS), &info);
        for (int i = 0; i < info.cItems; i++) a.push_back(PlatUiItemText(Item(IDC_DATA_DIRS), i));
        return a;
    }
    std::string Log() { return ReadFile(m_machine.Host("C:\\TMPDIR\\UPGRADE.LOG")); }
    /* From page 0 to page 1 as a person does. */
    void ToWelcome()
    {
        ASSERT_NE(nullptr, Create());
        Click(IDC_ACCEPT);
        Click(IDC_NEXT);
        ASSERT_EQ(DLGSTATE_WELCOME, giDlgState);
    }
    /* Checks which of the ids are visible (the rest of the list hidden). */
    void ExpectVisible(const std::vector<int>& aShown, const std::vector<int>& aHidden)
    {
        for (int iId : aShown) EXPECT_TRUE(Visible(iId)) << "control " << iId;
        for (int iId : aHidden) EXPECT_FALSE(Visible(iId)) << "control " << iId;
    }
    static bool Seen(const std::vector<PLAT_MSG>& a, UINT uMsg)
    {
        for (const PLAT_MSG& m : a)
            if (m.message == uMsg) return true;
        return false;
    }
    TempMachine m_machine;
};

TEST_F(WizardTest, AgreementPageAfterCreation)
{
    HWND hDlg = Create();
    ASSERT_NE(nullptr, hDlg);
    EXPECT_STREQ("Incremental Installer Release 8.0.1 -> Release 8.0.2", PlatUiText(hDlg));
    EXPECT_EQ("FI1.01", Text(IDC_VERSION));
    EXPECT_EQ("&Back", Text(IDC_BACK));
    EXPECT_EQ("&Next", Text(IDC_NEXT));
    EXPECT_EQ("&Close", Text(IDC_CLOSE));
    EXPECT_EQ(kStrings.at(49), Text(IDC_HEADING));
    EXPECT_EQ(kLicense, Text(IDC_LICENSE));  // cut at its length, the block untouched
    ExpectVisible({IDC_HEADING, IDC_LICENSE, IDC_ACCEPT, IDC_DECLINE, IDC_ACCEPT_FRAME, IDC_BACK, IDC_NEXT, IDC_CLOSE,
                   IDC_VERSION, IDC_ICON},
                  {IDC_MESSAGE, IDC_PROGRAM_DIR, IDC_DATA_DIRS, IDC_GAUGE_FILE, IDC_GAUGE_TOTAL, IDC_LABELS});
    EXPECT_FALSE(Enabled(IDC_BACK));
    EXPECT_FALSE(Enabled(IDC_NEXT));
    EXPECT_EQ(0u, PlatIsDlgButtonChecked(hDlg, IDC_ACCEPT));
    EXPECT_EQ(0u, PlatIsDlgButtonChecked(hDlg, IDC_DECLINE));
    ASSERT_NE(nullptr, ghGaugeFile);
    ASSERT_NE(nullptr, ghGaugeTotal);
    EXPECT_FALSE(PlatIsWindowVisible(ghGaugeFile));
    EXPECT_FALSE(PlatIsWindowVisible(ghGaugeTotal));
    EXPECT_EQ(Item(IDC_NEXT), PlatGetFocus());
    EXPECT_EQ(DLGSTATE_AGREEMENT, giDlgState);
    PLAT_RECT rc;
    PlatGetWindowRect(hDlg, &rc);
    EXPECT_EQ((1024 - (rc.right - rc.left)) / 2, rc.left);
}

TEST_F(WizardTest, AgreementButtonsGateNext)
{
    ASSERT_NE(nullptr, Create());
    Click(IDC_ACCEPT);
    EXPECT_TRUE(Enabled(IDC_NEXT));
    Click(IDC_DECLINE);
    EXPECT_FALSE(Enabled(IDC_NEXT));
    Click(IDC_NEXT);  // a disabled button cannot be pressed
    EXPECT_EQ(DLGSTATE_AGREEMENT, giDlgState);
    Click(IDC_ACCEPT);
    Click(IDC_NEXT);
    EXPECT_EQ(DLGSTATE_WELCOME, giDlgState);
}

TEST_F(WizardTest, WelcomePageShowsTheDirectories)
{
    SetDataDirs({"C:\\VIREO\\DATA1", "", "C:\\VIREO\\DATA2"});
    ToWelcome();
    ExpectVisible({IDC_HEADING, IDC_PROGRAM_CAP, IDC_PROGRAM_DIR, IDC_DATA_CAP, IDC_DATA_DIRS, IDC_HINT, IDC_BACK,
                   IDC_NEXT, IDC_CLOSE},
                  {IDC_MESSAGE, IDC_ACCEPT_FRAME, IDC_LICENSE, IDC_ACCEPT, IDC_DECLINE, IDC_PROGRAM_BROWSE,
                   IDC_DATA_BROWSE, IDC_LABELS, IDC_LABEL_PROMPT});
    EXPECT_EQ(kStrings.at(17), Text(IDC_HEADING));
    EXPECT_EQ(kStrings.at(18), Text(IDC_PROGRAM_CAP));
    EXPECT_EQ(kStrings.at(19), Text(IDC_DATA_CAP));
    EXPECT_EQ(kStrings.at(20), Text(IDC_HINT));
    EXPECT_EQ("C:\\VIREO\\GARNET", Text(IDC_PROGRAM_DIR));
    EXPECT_EQ(std::vector<std::string>({"C:\\VIREO\\DATA1", "C:\\VIREO\\DATA2"}), Entries());  // empty entry skipped
    EXPECT_EQ(1, PlatSendMessage(Item(IDC_DATA_DIRS), CB_GETDROPPEDSTATE, 0, 0));
    EXPECT_FALSE(Enabled(IDC_BACK));
    EXPECT_TRUE(Enabled(IDC_NEXT));
    EXPECT_EQ(Item(IDC_NEXT), PlatGetFocus());
    EXPECT_FALSE(PlatIsWindowVisible(ghGaugeFile));
    EXPECT_EQ(0, gbFinished);
}

TEST_F(WizardTest, DirectoriesPageCommitsAndStartsIdentification)
{
    ToWelcome();
    Act(IDC_DATA_DIRS, PLAT_UIA_TYPE, "c:\\vireo\\data2");  // typed, list not opened
    std::vector<PLAT_MSG> aSeen = Click(IDC_NEXT);
    ASSERT_EQ(DLGSTATE_DIRS, giDlgState);
    EXPECT_TRUE(Seen(aSeen, UM_IDENTIFY));
    ExpectVisible({IDC_MESSAGE, IDC_BACK, IDC_NEXT, IDC_CLOSE},
                  {IDC_PROGRAM_DIR, IDC_DATA_DIRS, IDC_PROGRAM_BROWSE, IDC_DATA_BROWSE, IDC_HEADING, IDC_PROGRAM_CAP,
                   IDC_DATA_CAP, IDC_HINT, IDC_LABELS, IDC_LABEL_PROMPT});
    // This process carries no release table: identification fails at once
    // (the box of text 32), leaving Back usable and Next disabled.
    EXPECT_EQ(1u, g_aBoxes.size());
    EXPECT_TRUE(Enabled(IDC_BACK));
    EXPECT_FALSE(Enabled(IDC_NEXT));
    EXPECT_EQ(1, gbFinished);
    g_aBoxes.clear();
    ASSERT_EQ(2, giPartitions);
    EXPECT_STREQ("C:\\VIREO\\DATA1", gpQuillData[0]);
    EXPECT_STREQ("c:\\vireo\\data2", gpQuillData[1]);
    EXPECT_EQ(1, gpDataDirValid[0]);
    EXPECT_EQ(1, gpDataDirValid[1]);
    char szCwd[260];
    PlatGetCurrentDirectory(sizeof(szCwd), szCwd);
    EXPECT_STREQ("C:\\VIREO\\GARNET", szCwd);
    std::string sLog = Log();
    const char* aszLines[] = {
        "\tDLGSTATE_DIRS: Before Freeing the memory for giPartitions = 1\r\n",
        "\tDLGSTATE_DIRS: Before Freeing the memory from  = C:\\VIREO\\DATA1\r\n",
        "\tDLGSTATE_DIRS:  Before Freeing the memory from  gpQuillData\r\n",
        "Using Quill program directory C:\\VIREO\\GARNET\r\n",
        "Using Quill data directory C:\\VIREO\\DATA1\r\n",
        "Using Quill data directory c:\\vireo\\data2\r\n",
    };
    size_t iAt = 0;
    for (const char* szLine : aszLines) {
        size_t iFound = sLog.find(szLine, iAt);
        ASSERT_NE(std::string::npos, iFound) << szLine << "in\n" << sLog;
        iAt = iFound + strlen(szLine);
    }

    // Back (identification enables it) rebuilds page 1 from the
    // committed list.
    PlatEnableWindow(Item(IDC_BACK), 1);
    Click(IDC_BACK);
    ASSERT_EQ(DLGSTATE_WELCOME, giDlgState);
    EXPECT_EQ(std::vector<std::string>({"C:\\VIREO\\DATA1", "c:\\vireo\\data2"}), Entries());
    EXPECT_FALSE(Visible(IDC_MESSAGE));
    EXPECT_TRUE(Enabled(IDC_NEXT));
    EXPECT_FALSE(Enabled(IDC_BACK));
}

TEST_F(WizardTest, DirectoriesPageRefusesMissingDirectories)
{
    // The program directory first: empty, then one that does not exist.
    for (const char* szProgram : {"", "C:\\VIREO\\NOPE"}) {
        ToWelcome();
        Act(IDC_PROGRAM_DIR, PLAT_UIA_TYPE, szProgram);
        std::vector<PLAT_MSG> aSeen = Click(IDC_NEXT);
        EXPECT_EQ(DLGSTATE_WELCOME, giDlgState) << szProgram;
        EXPECT_FALSE(Seen(aSeen, UM_IDENTIFY));
        ASSERT_EQ(1u, g_aBoxes.size());
        EXPECT_EQ(kStrings.at(21), g_aBoxes[0].sText);
        EXPECT_EQ(kStrings.at(3), g_aBoxes[0].sCaption);
        EXPECT_EQ(ghMainDlg, g_aBoxes[0].hOwner);
        EXPECT_EQ(MB_ICONERROR, g_aBoxes[0].uType & 0xF0);
        EXPECT_EQ(Item(IDC_PROGRAM_DIR), PlatGetFocus());
        EXPECT_TRUE(Visible(IDC_PROGRAM_DIR));
        PlatDestroyWindow(ghMainDlg);
        g_aBoxes.clear();
    }

    // Then a data directory: the pass stays committed, the list opens.
    // (The program directory holds what was typed last.)
    EXPECT_STREQ("C:\\VIREO\\NOPE", gpProgramDir);
    strcpy(gpProgramDir, "C:\\VIREO\\GARNET");
    SetDataDirs({"C:\\VIREO\\DATA1", "C:\\VIREO\\GONE"});
    ToWelcome();
    PlatSendMessage(Item(IDC_DATA_DIRS), CB_SHOWDROPDOWN, 0, 0);
    Click(IDC_NEXT);
    EXPECT_EQ(DLGSTATE_WELCOME, giDlgState);
    ASSERT_EQ(1u, g_aBoxes.size());
    EXPECT_EQ("Invalid Data Directory = C:\\VIREO\\GONE", g_aBoxes[0].sText);
    EXPECT_EQ("Info", g_aBoxes[0].sCaption);
    EXPECT_EQ(nullptr, g_aBoxes[0].hOwner);
    EXPECT_EQ(1, PlatSendMessage(Item(IDC_DATA_DIRS), CB_GETDROPPEDSTATE, 0, 0));
    EXPECT_EQ(Item(IDC_DATA_DIRS), PlatGetFocus());
    ASSERT_EQ(2, giPartitions);
    EXPECT_EQ(1, gpDataDirValid[0]);
    EXPECT_EQ(0, gpDataDirValid[1]);
    EXPECT_EQ(std::string::npos, Log().find("Using Quill program directory"));
}

TEST_F(WizardTest, DataDirectoryComboAddsAndRemoves)
{
    SetDataDirs({"C:\\VIREO\\DATA1", "C:\\VIREO\\DATA2"});
    ToWelcome();
    PlatSendMessage(Item(IDC_DATA_DIRS), CB_SHOWDROPDOWN, 0, 0);
    EXPECT_EQ(-1, giDataDirSel);  // opening the list on entry found no selection

    // Typing a new directory and opening the list adds it and selects it.
    Act(IDC_DATA_DIRS, PLAT_UIA_TYPE, "C:\\VIREO");
    Act(IDC_DATA_DIRS, PLAT_UIA_DROPDOWN);
    EXPECT_EQ(std::vector<std::string>({"C:\\VIREO\\DATA1", "C:\\VIREO\\DATA2", "C:\\VIREO"}), Entries());
    EXPECT_EQ(2, giDataDirSel);
    Act(IDC_DATA_DIRS, PLAT_UIA_CLOSEUP);

    // A text equal to an entry but for case is not added again.
    Act(IDC_DATA_DIRS, PLAT_UIA_TYPE, "c:\\vireo\\data1");
    Act(IDC_DATA_DIRS, PLAT_UIA_DROPDOWN);
    EXPECT_EQ(3u, Entries().size());
    EXPECT_EQ(-1, giDataDirSel);

    // Erasing with nothing selected removes nothing.
    Act(IDC_DATA_DIRS, PLAT_UIA_CLOSEUP);
    Act(IDC_DATA_DIRS, PLAT_UIA_TYPE, "");
    EXPECT_EQ(3u, Entries().size());

    // Selecting an entry and erasing its text removes that entry only, and
    // a second erase removes nothing more.
    Act(IDC_DATA_DIRS, PLAT_UIA_DROPDOWN);
    Act(IDC_DATA_DIRS, PLAT_UIA_SELECT, nullptr, 0);
    EXPECT_EQ(0, giDataDirSel);
    EXPECT_EQ("C:\\VIREO\\DATA1", Text(IDC_DATA_DIRS));
    Act(IDC_DATA_DIRS, PLAT_UIA_TYPE, "");
    EXPECT_EQ(std::vector<std::string>({"C:\\VIREO\\DATA2", "C:\\VIREO"}), Entries());
    EXPECT_EQ(1, PlatSendMessage(Item(IDC_DATA_DIRS), CB_GETDROPPEDSTATE, 0, 0));
    Act(IDC_DATA_DIRS, PLAT_UIA_TYPE, "x");
    Act(IDC_DATA_DIRS, PLAT_UIA_TYPE, "");
    EXPECT_EQ(2u, Entries().size());

    Click(IDC_NEXT);
    ASSERT_EQ(DLGSTATE_DIRS, giDlgState);
    ASSERT_EQ(2, giPartitions);
    EXPECT_STREQ("C:\\VIREO\\DATA2", gpQuillData[0]);
    EXPECT_STREQ("C:\\VIREO", gpQuillData[1]);
}

TEST_F(WizardTest, DiagnosticsPackageUsesItsUncountedDataDirectory)
{
    gpStrings[42] = (char*)"QSD";
    SetDataDirs({"C:\\VIREO\\DATA1"}, 0);
    ToWelcome();
    EXPECT_EQ(std::vector<std::string>({"C:\\VIREO\\DATA1"}), Entries());
    Act(IDC_DATA_DIRS, PLAT_UIA_CLOSEUP);
    Click(IDC_NEXT);
    ASSERT_EQ(DLGSTATE_DIRS, giDlgState);
    EXPECT_EQ(1, giPartitions);  // the combo's entry is now counted
    EXPECT_NE(std::string::npos, Log().find("Using Quill data directory C:\\VIREO\\DATA1"));
}

TEST_F(WizardTest, RevertWithLabelsShowsTheList)
{
    giOperationMode = MODE_REVERT;
    dwUpgradeType = 2;
    ToWelcome();
    Click(IDC_NEXT);
    ASSERT_EQ(DLGSTATE_DIRS, giDlgState);
    EXPECT_EQ(kStrings.at(44), Text(IDC_LABEL_PROMPT));
    ExpectVisible({IDC_LABEL_PROMPT, IDC_LABELS, IDC_MESSAGE}, {IDC_DATA_DIRS});
    EXPECT_TRUE(Enabled(IDC_LABELS));
    EXPECT_FALSE(Enabled(IDC_NEXT));
}

TEST_F(WizardTest, CloseAsksUntilNothingIsLeftToLose)
{
    ASSERT_NE(nullptr, Create());
    g_aBoxAnswers = {IDNO};
    Click(IDC_CLOSE);
    ASSERT_EQ(1u, g_aBoxes.size());
    EXPECT_EQ(kStrings.at(38), g_aBoxes[0].sText);
    EXPECT_EQ(kStrings.at(3), g_aBoxes[0].sCaption);
    EXPECT_EQ(MB_YESNO, g_aBoxes[0].uType & MB_TYPEMASK);
    EXPECT_EQ(ghMainDlg, g_aBoxes[0].hOwner);
    EXPECT_TRUE(PlatIsWindow(ghMainDlg));
    EXPECT_FALSE(UiQuitQueued());

    // The window's close request is the same command.
    PlatPostMessage(ghMainDlg, WM_CLOSE, 0, 0);
    UiSettle();
    ASSERT_EQ(2u, g_aBoxes.size());
    int iCode = -1;
    EXPECT_FALSE(PlatIsWindow(ghMainDlg));
    EXPECT_TRUE(UiQuitQueued(&iCode));
    EXPECT_EQ(0, iCode);

    // After a failure text (gbFinished set) Close quits at once.
    UiTestBegin();
    ASSERT_NE(nullptr, Create());
    gbFinished = 1;
    Click(IDC_CLOSE);
    EXPECT_TRUE(g_aBoxes.empty());
    EXPECT_FALSE(PlatIsWindow(ghMainDlg));
    EXPECT_TRUE(UiQuitQueued());
}

TEST_F(WizardTest, UnattendedRunPassesThePagesByItself)
{
    // Creation queues two Next commands: page 2 without anybody. This
    // process carries no release table, so identification fails (the box
    // of text 32) and the unattended run ends with exit code 3.
    UiTestBegin();
    gwOptions = OPT_NOUSER;
    HWND hFirst = Create();
    int iCode = -1;
    EXPECT_EQ(DLGSTATE_DIRS, giDlgState);
    EXPECT_EQ(1u, g_aBoxes.size());
    EXPECT_FALSE(PlatIsWindow(hFirst));
    EXPECT_TRUE(UiQuitQueued(&iCode));
    EXPECT_EQ(3, iCode);

    for (int iMode : {MODE_UPGRADE, MODE_REVERT}) {
        UiTestBegin();
        gwOptions = 0;
        ToWelcome();
        HWND hDlg = ghMainDlg;
        Click(IDC_NEXT);
        EXPECT_EQ(DLGSTATE_DIRS, giDlgState);
        g_aBoxes.clear();
        gwOptions = OPT_NOUSER;
        giOperationMode = iMode;

        // What successful identification does: Next (page 3), whose upgrade
        // action runs at once. This process carries no release table, so the
        // upgrade fails: the page says so, and the unattended run closes
        // itself with exit code 4 (whole upgrades run as processes in
        // tests/engine).
        PlatPostMessage(hDlg, WM_COMMAND, IDC_NEXT, 0);
        std::vector<PLAT_MSG> aSeen = UiSettle();
        EXPECT_TRUE(Seen(aSeen, UM_UPGRADE));
        EXPECT_EQ(DLGSTATE_UPGRADE, giDlgState);
        EXPECT_EQ(MODE_FAILED_UPGRADE, giOperationMode);
        EXPECT_EQ(1, gbFinished);
        EXPECT_TRUE(g_aBoxes.empty());
        EXPECT_FALSE(PlatIsWindow(hDlg));
        EXPECT_TRUE(UiQuitQueued(&iCode));
        EXPECT_EQ(4, iCode);
    }
    EXPECT_NE(std::string::npos, Log().find("Entered UpgradeQuillVersion()\r\n"));
}

TEST_F(WizardTest, FinishedPageText)
{
    ToWelcome();
    Click(IDC_NEXT);
    giDlgState = DLGSTATE_UPGRADE;
    PlatShowWindow(ghGaugeFile, SW_SHOW);
    PlatPostMessage(ghMainDlg, WM_COMMAND, IDC_NEXT, 0);
    UiSettle();
    ASSERT_EQ(DLGSTATE_FINISHED, giDlgState);
    EXPECT_EQ(kStrings.at(36), Text(IDC_MESSAGE));
    EXPECT_FALSE(PlatIsWindowVisible(ghGaugeFile));
    EXPECT_FALSE(PlatIsWindowVisible(ghGaugeTotal));
    ExpectVisible({IDC_MESSAGE}, {IDC_FILE_CAP, IDC_TOTAL_CAP});
    EXPECT_EQ(Item(IDC_CLOSE), PlatGetFocus());
    EXPECT_TRUE(PlatIsWindow(ghMainDlg));  // interactive: waits for Close
}

TEST_F(WizardTest, MissingAgreementEndsTheWizard)
{
    PlatGlobalFree(ghLicenseText);
    ghLicenseText = nullptr;
    int iCode = -1;
    EXPECT_EQ(1, WizardRun(&iCode));
    EXPECT_EQ(0, iCode);
    EXPECT_EQ(nullptr, PlatUiActiveDialog());
}

TEST_F(WizardTest, HeadlessScriptDrivesTheWizard)
{
    setenv("HERON_SCRIPT", "accept; next; program=C:\\NOPE; next; program=C:\\VIREO\\GARNET; back; next; dance", 1);
    PlatHeadlessReset();
    PlatSetFrontEnd(PlatHeadlessFrontEnd());
    testing::internal::CaptureStdout();
    int iCode = -1;
    int r = WizardRun(&iCode);
    std::string sOut = testing::internal::GetCapturedStdout();
    unsetenv("HERON_SCRIPT");
    EXPECT_EQ(1, r);
    EXPECT_EQ(0, iCode);
    EXPECT_EQ(DLGSTATE_DIRS, giDlgState);
    const char* aszLines[] = {
        "--- Incremental Installer Release 8.0.1 -> Release 8.0.2 ---\n",
        "--- page 0 ---\n",
        "Please, read the following license agreement carefully.\n",
        "> accept\n",
        "> next\n",
        "--- page 1 ---\n",
        "Welcome to the Vireo Quill Incremental Installer.\n",
        "> program=C:\\NOPE\n",
        "> next\n",
        "> program=C:\\VIREO\\GARNET\n",
        "> back (not possible now)\n",
        "> next\n",
        "--- page 2 ---\n",
        "> dance (unknown action, skipped)\n",
        "> close (end of script)\n",
    };
    size_t iAt = 0;
    for (const char* szLine : aszLines) {
        size_t iFound = sOut.find(szLine, iAt);
        ASSERT_NE(std::string::npos, iFound) << szLine << "in\n" << sOut;
        iAt = iFound + strlen(szLine);
    }
    ASSERT_EQ(2u, g_aBoxes.size());
    EXPECT_EQ(kStrings.at(21), g_aBoxes[0].sText);  // the refused program directory
    EXPECT_EQ(kStrings.at(3), g_aBoxes[1].sCaption); // no release table in this process; then Close
                                                     // quits without the question
}

}  // namespace

namespace {

TEST_F(WizardTest, HeadlessDataActionsPickEraseAndType)
{
    SetDataDirs({"C:\\VIREO\\DATA1", "C:\\VIREO\\GONE"});
    // Pick the missing directory from the list, erase it, type another.
    setenv("HERON_SCRIPT", "accept;next;data=c:\\vireo\\gone;data=;data=C:\\VIREO\\DATA2;next", 1);
    PlatHeadlessReset();
    PlatSetFrontEnd(PlatHeadlessFrontEnd());
    testing::internal::CaptureStdout();
    int iCode = -1;
    EXPECT_EQ(1, WizardRun(&iCode));
    std::string sOut = testing::internal::GetCapturedStdout();
    unsetenv("HERON_SCRIPT");
    EXPECT_EQ(DLGSTATE_DIRS, giDlgState) << sOut;
    ASSERT_EQ(2, giPartitions);
    EXPECT_STREQ("C:\\VIREO\\DATA1", gpQuillData[0]);
    EXPECT_STREQ("C:\\VIREO\\DATA2", gpQuillData[1]);
}

} // namespace
