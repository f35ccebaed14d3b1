// The identify action in this process, on the wizard dialog of the dialog
// model: the package is a real one built by heron-pack (read through the
// module override), the release stamp is read by the real version-stamp
// tool, the installation lies in a temporary emulated machine. What the
// process-level tests cannot see is looked at here: the rows of the revert
// label list.
#include "identify/labels.h"
#include "identify/mode.h"
#include "package/store.h"
#include "platform/dialog.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "support/machine.h"
#include "ui/gauge.h"
#include "ui/resource.h"
#include "wizard/ui_fixture.h"
#include "wizard/wizard.h"

#include "pe_writer.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <string>
#include <vector>

namespace {

struct Level {
    std::string strLabel;
    std::string strDir;
    std::string strVersion;
};

class IdentifyActionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("TEMP", "C:\\TEMP", 1);
        MakeDirs(m_machine.Host("C:\\TEMP"));
        MakeDirs(m_machine.Host("C:\\VIREO\\GARNET"));
        MakeDirs(m_machine.Host("C:\\QUILLDATA\\PART1"));
        MakeDirs(m_machine.Host("C:\\START"));
        std::string strTool = m_machine.Host("C:\\START\\UpdateVersion.exe");
        WriteFile(strTool, ReadFile(BinPath("tools/updver/UpdateVersion")));
        chmod(strTool.c_str(), 0755);
        strcpy(gszStartDir, "C:\\START");
        gpProgramDir = (char*)PlatHeapAlloc(261);
        strcpy(gpProgramDir, "C:\\VIREO\\GARNET");
        gpQuillData = (char**)PlatHeapAlloc(sizeof(char*));
        gpQuillData[0] = (char*)PlatHeapAlloc(1041);
        strcpy(gpQuillData[0], "C:\\QUILLDATA\\PART1");
        gpDataDirValid = (BYTE*)PlatHeapAlloc(1);
        gpDataDirValid[0] = 1;
        giPartitions = 1;
        gwOptions = 0;
        gszRevertLabel[0] = 0;
        ASSERT_EQ(1, OpenLog());
    }
    void TearDown() override
    {
        UiTestEnd();
        if (LogIsOpen()) CloseLog();
        FreeStrings();
        PlatSetModuleOverride(nullptr);
        PlatHeapFree(gpQuillData[0]);
        PlatHeapFree(gpQuillData);
        PlatHeapFree(gpDataDirValid);
        PlatHeapFree(gpProgramDir);
        gpQuillData = nullptr;
        gpDataDirValid = nullptr;
        gpProgramDir = nullptr;
        giPartitions = 1;
        gwOptions = 0;
        ghMainDlg = nullptr;
        if (ghLicenseText) PlatGlobalFree(ghLicenseText);
        ghLicenseText = nullptr;
        ResetFixLabels();
        unsetenv("TEMP");
    }

    // Builds the package from the levels (the last is the to-release) and
    // reads its texts.
    void Package(const std::vector<Level>& levels, const std::string& strExtra = "")
    {
        std::string strDir = m_machine.Root() + "/pkg";
        std::string strManifest = "[Package]\nFrom = " + levels[levels.size() - 2].strLabel +
                                  "\nTo = " + levels.back().strLabel + "\nLicense = license.txt\n" + strExtra +
                                  "\n[Releases]\n";
        for (const Level& level : levels) {
            WriteFile(strDir + "/" + level.strDir + "/program/a.txt", level.strDir);
            ASSERT_TRUE(PewWriteKeyFile((strDir + "/" + level.strDir + "/program/qstrings.dll").c_str(),
                                        level.strLabel.c_str(), level.strVersion.c_str()));
            strManifest += level.strLabel + " = " + level.strDir + "\n";
        }
        WriteFile(strDir + "/license.txt", "Licence.\n");
        WriteFile(strDir + "/manifest.ini", strManifest);
        ProcessResult result = RunProcess(
            {BinPath("tools/pack/heron-pack"), "build", strDir + "/manifest.ini", "-o", strDir + "/setup.exe", "--quiet"});
        ASSERT_EQ(0, result.iExitCode) << result.strErr;
        PlatSetModuleOverride((strDir + "/setup.exe").c_str());
        FreeStrings();
        ASSERT_EQ(1, LoadStrings());
    }

    // The installed key file with its stamp and version.
    void Stamp(const std::string& strStamp, const char* szVersion = "8.0.2.0")
    {
        ASSERT_TRUE(PewWriteKeyFile(m_machine.Host("C:\\VIREO\\GARNET\\qstrings.dll").c_str(), strStamp.c_str(),
                                    szVersion));
    }

    // The wizard on its identification page, then the identify action.
    void Identify()
    {
        if (!ghMainDlg) {
            UiTestBegin();
            static const char s_szLicense[] = "Licence.";
            ghLicenseText = PlatGlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(s_szLicense) - 1);
            memcpy(PlatGlobalLock(ghLicenseText), s_szLicense, sizeof(s_szLicense) - 1);
            PlatGlobalUnlock(ghLicenseText);
            gdwLicenseSize = sizeof(s_szLicense) - 1;
            RegisterGaugeClass();
            ghMainDlg = PlatCreateDialogParam(nullptr, IDD_WIZARD, nullptr, MainDlgProc, 0);
            ASSERT_NE(nullptr, ghMainDlg);
            PlatShowWindow(ghMainDlg, SW_SHOW);
        }
        PlatSetCurrentDirectory("C:\\VIREO\\GARNET");
        IdentifyAction(ghMainDlg);
    }

    std::vector<std::string> Rows()
    {
        std::vector<std::string> v;
        LRESULT n = PlatSendDlgItemMessage(ghMainDlg, IDC_LABELS, LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < n; i++) v.push_back(PlatUiItemText(PlatGetDlgItem(ghMainDlg, IDC_LABELS), (int)i));
        return v;
    }

    TempMachine m_machine;
};

const Level k800 = {"Release 8.0.0|January 5, 2010", "r800", "8.0.0.0"};
const Level k801 = {"Release 8.0.1|March 3, 2010", "r801", "8.0.1.0"};
const Level k802 = {"Release 8.0.2|May 1, 2010", "r802", "8.0.2.0"};

// Each visit of the page builds the list afresh: a level whose backup
// directory went away between two visits leaves no row behind.
TEST_F(IdentifyActionTest, RevertLabelRowsAreBuiltAfreshOnEachVisit)
{
    Package({k800, k801, k802});
    Stamp(k802.strLabel);
    MakeDirs(m_machine.Host("C:\\VIREO\\GARNET\\Release800"));
    MakeDirs(m_machine.Host("C:\\VIREO\\GARNET\\Release801"));
    Identify();
    EXPECT_EQ(MODE_REVERT, giOperationMode);
    EXPECT_EQ(std::vector<std::string>({k800.strLabel, k801.strLabel}), Rows());
    EXPECT_TRUE(PlatIsWindowVisible(PlatGetDlgItem(ghMainDlg, IDC_LABELS)));
    EXPECT_FALSE(PlatIsWindowEnabled(PlatGetDlgItem(ghMainDlg, IDC_NEXT)));

    RemoveAll(m_machine.Host("C:\\VIREO\\GARNET\\Release800"));
    Identify();
    EXPECT_EQ(std::vector<std::string>({k801.strLabel}), Rows());

    // Selecting the row sets the label and its backup directory.
    PlatSendDlgItemMessage(ghMainDlg, IDC_LABELS, LB_SETCURSEL, 0, 0);
    RevertLabelSelected(ghMainDlg);
    EXPECT_STREQ(k801.strLabel.c_str(), gszRevertLabel);
    EXPECT_STREQ("Release801", gszBackupDir);
    EXPECT_TRUE(PlatIsWindowEnabled(PlatGetDlgItem(ghMainDlg, IDC_NEXT)));
}

// Two levels whose labels differ only in case: both are revert labels, one
// row stands for them.
TEST_F(IdentifyActionTest, LabelsDifferingInCaseGiveOneRow)
{
    Level lower = {"Release 8.0.1a|March 3, 2010", "r801a", "8.0.1.0"};
    Level upper = {"Release 8.0.1A|March 3, 2010", "r801A", "8.0.1.0"};
    Package({lower, upper, k802});
    Stamp(k802.strLabel);
    MakeDirs(m_machine.Host("C:\\VIREO\\GARNET\\Release801a"));
    Identify();
    ASSERT_EQ(2, giFixLabels);
    EXPECT_EQ(std::vector<std::string>({lower.strLabel}), Rows());
}

// A web-access package shows the installed release in the row of the
// from-release and leaves the language-pack level out; the selection
// handler takes the label the row stands for.
TEST_F(IdentifyActionTest, WebAccessRowsStandForTheirLabels)
{
    Package({k800, k801, k802}, "UpgradeType = 1\nKind = GWA\nLanguagePack = Release 8.0.0|January 5, 2010");
    Stamp(k802.strLabel);
    MakeDirs(m_machine.Host("C:\\VIREO\\GARNET\\Release800_GWA"));
    MakeDirs(m_machine.Host("C:\\VIREO\\GARNET\\Release801_GWA"));
    Identify();
    ASSERT_EQ(MODE_REVERT, giOperationMode);
    ASSERT_EQ(2, giFixLabels);
    EXPECT_EQ(std::vector<std::string>({k802.strLabel}), Rows());
    PlatSendDlgItemMessage(ghMainDlg, IDC_LABELS, LB_SETCURSEL, 0, 0);
    RevertLabelSelected(ghMainDlg);
    EXPECT_STREQ(k801.strLabel.c_str(), gszRevertLabel);
    EXPECT_STREQ("Release801_GWA", gszBackupDir);
}

// A custom fix already installed and no revert labels: the revert goes to
// the installed stamp, cut to the 100 characters a label holds.
TEST_F(IdentifyActionTest, CustomFixRevertTakesTheStampBounded)
{
    Package({k801, k802}, "Kind = Custom Fix");
    FreeStrings();
    // Text 0 names the new version; the key file already has it.
    std::string strDir = m_machine.Root() + "/pkg";
    WriteFile(strDir + "/manifest.ini", ReadFile(strDir + "/manifest.ini") + "[Strings]\n0 = Custom fix:8.0.2.0\n");
    ProcessResult result = RunProcess(
        {BinPath("tools/pack/heron-pack"), "build", strDir + "/manifest.ini", "-o", strDir + "/setup.exe", "--quiet"});
    ASSERT_EQ(0, result.iExitCode) << result.strErr;
    PlatSetModuleOverride((strDir + "/setup.exe").c_str());
    ASSERT_EQ(1, LoadStrings());
    std::string strStamp = "Release 8.0.2|" + std::string(113, 'x'); // 127 characters
    Stamp(strStamp, "8.0.2.0");
    Identify();
    EXPECT_EQ(MODE_REVERT, giOperationMode);
    EXPECT_EQ(strStamp.substr(0, 100), std::string(gszRevertLabel));
    EXPECT_STREQ("Release802", gszBackupDir);
    EXPECT_TRUE(PlatIsWindowEnabled(PlatGetDlgItem(ghMainDlg, IDC_NEXT)));
}

} // namespace

namespace {

// The backup search repairs a missing backup from another level's backup
// with the right content, or from the installed file; an archive's
// installed copy serves even with other content.
TEST_F(IdentifyActionTest, BackupSearchRepairsMissingBackups)
{
    Package({k800, k801, k802});
    Stamp(k802.strLabel);
    // a.txt is payload 1 (the changed files in directory then name order).
    WriteFile(m_machine.Host("C:\\VIREO\\GARNET\\a.txt"), "r802");
    WriteFile(m_machine.Host("C:\\VIREO\\GARNET\\Release800\\a0001.IIB"), "r801");
    MakeDirs(m_machine.Host("C:\\VIREO\\GARNET\\Release801"));
    Identify();
    EXPECT_EQ("r801", ReadFile(m_machine.Host("C:\\VIREO\\GARNET\\Release801\\a0001.IIB")));
    std::string strLog = ReadFile(m_machine.Host("C:\\TEMP\\UPGRADE.LOG"));
    EXPECT_NE(std::string::npos,
              strLog.find("\tFoundBackup: file a.txt found in the Release800 directory\r\n"
                          "\tFoundBackup: backup file Release800\\a0001.IIB found with correct checksum\r\n"
                          "\tFoundBackup: Copied  Release800\\a0001.IIB to Release801\\a0001.IIB\r\n"))
        << strLog;
    // Release800's own backup has 8.0.1's content, not 8.0.0's: nothing
    // repairs it, and the level is still offered (the backup-set check
    // decides when a restore would use it).
    EXPECT_EQ(std::vector<std::string>({k800.strLabel, k801.strLabel}), Rows());
}

TEST_F(IdentifyActionTest, BackupFromTheInstalledFile)
{
    Package({k800, k801, k802});
    Stamp(k801.strLabel, "8.0.1.0");
    WriteFile(m_machine.Host("C:\\VIREO\\GARNET\\a.txt"), "r801");
    MakeDirs(m_machine.Host("C:\\VIREO\\GARNET\\Release801"));
    Identify();
    EXPECT_EQ("r801", ReadFile(m_machine.Host("C:\\VIREO\\GARNET\\Release801\\a0001.IIB")));
    std::string strLog = ReadFile(m_machine.Host("C:\\TEMP\\UPGRADE.LOG"));
    EXPECT_NE(std::string::npos, strLog.find("\tFoundBackup: file a.txt found in the current directory\r\n"
                                             "\tFoundBackup: Copied  a.txt to Release801\\a0001.IIB\r\n"))
        << strLog;
    // The installed release is the package's base release: the base restore
    // only verifies it, and the run is an upgrade.
    EXPECT_EQ(MODE_UPGRADE, giOperationMode);
    EXPECT_NE(std::string::npos, strLog.find("VerifyValidLabels: Current version Release 8.0.1|March 3, 2010 is "
                                             "equal to old version: Release 8.0.1|March 3, 2010: UPGRADE\r\n"));
    gwOptions = OPT_FORCE;
    Identify();
    EXPECT_EQ(MODE_UPGRADE, giOperationMode);
    EXPECT_STREQ("Release801", gszBackupDir);
}

} // namespace
