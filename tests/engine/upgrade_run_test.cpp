// Whole runs of the installer as processes: a real package with stamped key
// files and the real version-stamp tool, upgraded and reverted on sample
// installations, compared file by file with the machine before the run.
#include "support/installer.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

#define R800 "Release 8.0.0|January 5, 2010"
#define R801 "Release 8.0.1|March 3, 2010"
#define R802 "Release 8.0.2|May 1, 2010"
#define PROG "C:\\VIREO\\GARNET\\"

typedef std::map<std::string, std::string> Snapshot;

// A key file stamped with the label, as the sample tool makes it.
std::string KeyFile(const TempMachine& machine, const std::string& strLabel)
{
    std::string strPath = machine.Root() + "/key-" + std::to_string(std::hash<std::string>()(strLabel)) + ".dll";
    ProcessResult r = RunProcess({BinPath("tools/sample/heron-sample"), "--write-key-file", strPath, "--stamp", strLabel});
    EXPECT_EQ(0, r.iExitCode) << r.strErr;
    return ReadFile(strPath);
}

// Every file below the directory, by path relative to it.
void Walk(const std::string& strDir, const std::string& strRel, Snapshot* pSnap)
{
    DIR* pDir = opendir(strDir.c_str());
    if (!pDir) return;
    while (struct dirent* pEnt = readdir(pDir)) {
        std::string strName = pEnt->d_name;
        if (strName == "." || strName == "..") continue;
        std::string strPath = strDir + "/" + strName;
        struct stat st;
        if (stat(strPath.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            Walk(strPath, strRel + strName + "/", pSnap);
        } else {
            (*pSnap)[strRel + strName] = ReadFile(strPath);
        }
    }
    closedir(pDir);
}

// The names whose contents differ, or that only one side has.
std::string Differences(const Snapshot& a, const Snapshot& b)
{
    std::string str;
    for (const auto& entry : a) {
        auto it = b.find(entry.first);
        if (it == b.end()) str += "gone: " + entry.first + "\n";
        else if (it->second != entry.second) str += "changed: " + entry.first + "\n";
    }
    for (const auto& entry : b)
        if (!a.count(entry.first)) str += "new: " + entry.first + "\n";
    return str;
}

std::string WithoutCr(std::string str)
{
    str.erase(std::remove(str.begin(), str.end(), '\r'), str.end());
    return str;
}

class UpgradeRunTest : public ::testing::Test {
protected:
    void SetUp() override { MakeDirs(m_machine.Host("C:\\TEMP")); }

    // The package 8.0.1 -> 8.0.2: a changed file, an unchanged one, a new one
    // in a subdirectory, a removed one, a data file, a system file and the
    // key file (replaced unless bKeepKeyFile).
    PackageRecipe Recipe(bool bKeepKeyFile = false)
    {
        PackageRecipe recipe = DefaultRecipe();
        recipe.strVersionTool = BinPath("tools/updver/UpdateVersion");
        recipe.fromFiles["program/qstrings.dll"] = KeyFile(m_machine, R801);
        recipe.toFiles["program/qstrings.dll"] = KeyFile(m_machine, bKeepKeyFile ? R801 : R802);
        return recipe;
    }
    void UsePackage(const PackageRecipe& recipe)
    {
        std::string strLog;
        std::string strPackage =
            BuildPackage(m_machine.Root() + "/pkg" + std::to_string(++m_cPackages), recipe, &strLog);
        ASSERT_FALSE(strPackage.empty()) << strLog;
        PlaceInstaller(m_machine, strPackage);
    }
    // Installs the release tree of the recipe's from-side.
    void Install(const PackageRecipe& recipe, const std::vector<std::string>& vMore = {})
    {
        std::string strTree = m_machine.Root() + "/installed";
        for (const auto& entry : recipe.fromFiles) WriteFile(strTree + "/" + entry.first, entry.second);
        std::vector<std::string> v = {"--tree", strTree};
        v.insert(v.end(), vMore.begin(), vMore.end());
        MakeSample(m_machine, v);
    }
    ProcessResult Run(const std::string& strCommandLine, const std::map<std::string, std::string>& extra = {})
    {
        return RunInstaller(m_machine, strCommandLine, extra);
    }
    // The installation: drive C without the installer's own places, the log,
    // the stamp file and the listing files the fix listing keeps.
    Snapshot Take()
    {
        Snapshot all, snap;
        Walk(m_machine.Root() + "/drive_c", "", &all);
        for (const auto& entry : all) {
            const std::string& s = entry.first;
            if (s.rfind("TEMP/", 0) == 0 || s.rfind("work/", 0) == 0 || s == "TEMP/" || s == "work/") continue;
            if (s.find("UPGRADE.LOG") != std::string::npos || s.find("currver.txt") != std::string::npos) continue;
            if (s.find("patch.txt") != std::string::npos || s.find("patch_detail.txt") != std::string::npos) continue;
            // Identification's backup repair copies installed files that the
            // package does not carry (payload number 0) into the levels'
            // directories; nothing of the upgrade or revert makes them.
            if (s.size() > 8 && s.compare(s.size() - 8, 8, "0000.IIB") == 0) continue;
            snap.insert(entry);
        }
        return snap;
    }
    std::string Get(const std::string& strWindows) { return ReadFile(m_machine.Host(strWindows)); }
    bool Exists(const std::string& strWindows) { return PathExists(m_machine.Host(strWindows)); }
    std::string FinalLog() { return ReadFile(m_machine.Host(PROG "UPGRADE.LOG")); }
    std::string Stamp()
    {
        ProcessResult r = RunProcess({BinPath("tools/updver/UpdateVersion"), "C:\\VIREO\\GARNET", "myversion", "read"},
                                     "", {{"HERON_ROOT", m_machine.Root()}, {"HERON_COMMAND_LINE", "\x01"}});
        EXPECT_EQ(0, r.iExitCode) << r.strErr;
        return Get(PROG "currver.txt");
    }
    // An upgrade by the package, its listing, and the revert to the
    // from-level, which must give back the machine as it was.
    void UpgradeAndRevert(const std::string& strDataDir, const std::string& strList = "Installed Fixpacks:")
    {
        Snapshot before = Take();
        ProcessResult r = Run("nouser");
        ASSERT_EQ(0, r.iExitCode) << r.strOut << FinalLog();
        EXPECT_NE(std::string::npos, FinalLog().find("Quill has been successfully upgraded.")) << FinalLog();
        EXPECT_EQ("hello world\n", Get(PROG "a.txt"));
        EXPECT_EQ("brand new\n", Get(PROG "sub\\new.txt"));
        EXPECT_FALSE(Exists(PROG "gone.txt"));
        EXPECT_EQ("data 2\n", Get(strDataDir + "\\quill.cfg"));
        EXPECT_EQ("system file\n", Get("C:\\WINDOWS\\SYSTEM32\\qsys.dll"));
        EXPECT_EQ(R802, Stamp());
        EXPECT_NE(std::string::npos, Get(PROG "PATCH.INI").find("Label001=\"" R802 "\"")) << FinalLog();

        r = Run("listfix");
        EXPECT_NE(std::string::npos, WithoutCr(r.strOut).find(strList + "\n\n" R802 "\n")) << r.strOut;
        r = Run("fixdetails");
        EXPECT_NE(std::string::npos, WithoutCr(r.strOut).find(R802 "\n\t" PROG "a.txt\n")) << r.strOut;

        r = Run("nouser revert Release 8.0.1");
        ASSERT_EQ(0, r.iExitCode) << r.strOut << FinalLog();
        EXPECT_NE(std::string::npos, FinalLog().find("Quill has been successfully reverted.")) << FinalLog();
        EXPECT_EQ("", Differences(before, Take()));
        EXPECT_EQ(R801, Stamp());
        EXPECT_FALSE(Exists(strDataDir + "\\Release801"));
    }

    TempMachine m_machine;
    int m_cPackages = 0;
};

TEST_F(UpgradeRunTest, UpgradeListAndRevertGiveTheMachineBackByteForByte)
{
    PackageRecipe recipe = Recipe();
    UsePackage(recipe);
    Install(recipe);
    UpgradeAndRevert("C:\\QUILLDATA\\PART1");
}

TEST_F(UpgradeRunTest, TwoDataDirectories)
{
    PackageRecipe recipe = Recipe();
    UsePackage(recipe);
    Install(recipe, {"--data-dirs", "2"});
    UpgradeAndRevert("C:\\QUILLDATA\\PART2");
    EXPECT_EQ("data 1\n", Get("C:\\QUILLDATA\\PART1\\quill.cfg"));
}

TEST_F(UpgradeRunTest, PackageThatLeavesTheKeyFileAlone)
{
    PackageRecipe recipe = Recipe(true);
    UsePackage(recipe);
    Install(recipe);
    UpgradeAndRevert("C:\\QUILLDATA\\PART1");
}

TEST_F(UpgradeRunTest, HotfixLeavesNoRecordAfterItsRevert)
{
    PackageRecipe recipe = Recipe();
    recipe.strUpgradeType = "1";
    UsePackage(recipe);
    Install(recipe);
    UpgradeAndRevert("C:\\QUILLDATA\\PART1", "Installed Hotfixes:");
    EXPECT_FALSE(Exists(PROG "PATCH.INI"));
}

TEST_F(UpgradeRunTest, FailedUpgradeInTheWizardStaysOnItsPageWithCloseOnly)
{
    PackageRecipe recipe = Recipe();
    UsePackage(recipe);
    Install(recipe);
    ProcessResult r =
        Run("", {{"HERON_SCRIPT", "accept;next;next;next"}, {"HERON_FAULT", "MoveFile:5:5:sticky"}});
    EXPECT_NE(std::string::npos, r.strOut.find("--- page 3 ---")) << r.strOut;
    // The headless front end prints the page's text on one line.
    EXPECT_NE(std::string::npos, r.strOut.find("Failed to upgrade Quill. See the file UPGRADE.LOG for more "
                                               "information. Failed to RenameTempFiles()\n> close"))
        << r.strOut;
    EXPECT_EQ(std::string::npos, r.strOut.find("--- page 4 ---")) << r.strOut;
    EXPECT_EQ(std::string::npos, r.strOut.find("If you abort now")) << r.strOut;  // Close asks nothing
    EXPECT_EQ(R801, Stamp());
    // A failed upgrade is not an end the person chose: Close does not turn it into success.
    EXPECT_EQ(4, r.iExitCode);
}

TEST_F(UpgradeRunTest, FailedFileStepPutsEveryFileBack)
{
    PackageRecipe recipe = Recipe();
    UsePackage(recipe);
    Install(recipe);
    Snapshot before = Take();
    // A backup move while files are prepared, then a rename of the commit,
    // fail for good; each run leaves the machine as it found it.
    struct {
        const char* szFault;
        const char* szStep;
    } aRuns[] = {{"MoveFile:2:5:sticky", "Failed to CreateUpgradedFiles() "},
                 {"MoveFile:5:5:sticky", "Failed to RenameTempFiles() "}};
    for (const auto& run : aRuns) {
        ProcessResult r = Run("nouser", {{"HERON_FAULT", run.szFault}});
        EXPECT_EQ(4, r.iExitCode) << run.szFault;
        std::string strLog = FinalLog();
        size_t iStep = strLog.find(std::string(run.szStep) + "\r\n");
        EXPECT_NE(std::string::npos, iStep) << strLog;
        EXPECT_NE(std::string::npos, strLog.find("\r\nEvery file is back at the level before the run\r\n", iStep));
        EXPECT_NE(std::string::npos, strLog.find("Failed to upgrade Quill.")) << strLog;
        EXPECT_EQ(std::string::npos, strLog.find("Exiting UpgradeQuillVersion(): 1")) << strLog;
        EXPECT_EQ(std::string::npos, strLog.find("Could not put back")) << strLog;
        EXPECT_EQ("", Differences(before, Take())) << run.szFault;
        EXPECT_EQ(R801, Stamp());
        EXPECT_FALSE(Exists(PROG "PATCH.INI"));
        EXPECT_FALSE(Exists(PROG "Release801"));
        unlink(m_machine.Host(PROG "UPGRADE.LOG").c_str());
    }
    // The installation is still fit for the upgrade.
    ProcessResult r = Run("nouser");
    EXPECT_EQ(0, r.iExitCode) << FinalLog();
    EXPECT_EQ(R802, Stamp());

    // A revert that fails in its commit leaves the upgraded installation and
    // its backups as they were, so the revert can run again.
    Snapshot upgraded = Take();
    unlink(m_machine.Host(PROG "UPGRADE.LOG").c_str());
    r = Run("nouser revert Release 8.0.1", {{"HERON_FAULT", "MoveFile:5:5:sticky"}});
    EXPECT_EQ(4, r.iExitCode);
    std::string strLog = FinalLog();
    EXPECT_NE(std::string::npos, strLog.find("Failed to RenameTempFiles() ")) << strLog;
    EXPECT_NE(std::string::npos, strLog.find("Every file is back at the level before the run")) << strLog;
    EXPECT_EQ("", Differences(upgraded, Take()));
    EXPECT_EQ(R802, Stamp());
    r = Run("nouser revert Release 8.0.1");
    EXPECT_EQ(0, r.iExitCode) << FinalLog();
    EXPECT_EQ("", Differences(before, Take()));
    EXPECT_EQ(R801, Stamp());
}

#define R801FP1 "Release 8.0.1FP1|April 1, 2010"

TEST_F(UpgradeRunTest, LevelAboveTheBaseIsBroughtBackBeforeTheUpgrade)
{
    // A fix pack 8.0.1 -> 8.0.1FP1 is installed first.
    PackageRecipe fp1 = Recipe();
    fp1.strTo = R801FP1;
    fp1.toFiles = {
        {"program/qstrings.dll", KeyFile(m_machine, R801FP1)},
        {"program/a.txt", "hello fp1\n"},
        {"program/keep.txt", "unchanged\n"},
        {"program/gone.txt", "removed in 8.0.2\n"},
        {"data/quill.cfg", "data fp1\n"},
    };
    UsePackage(fp1);
    Install(fp1);
    ProcessResult r = Run("nouser");
    ASSERT_EQ(0, r.iExitCode) << FinalLog();
    ASSERT_EQ(R801FP1, Stamp());
    unlink(m_machine.Host(PROG "UPGRADE.LOG").c_str());

    // The package 8.0.1 -> 8.0.2 knows 8.0.1FP1: it puts 8.0.1 back, then upgrades.
    PackageRecipe recipe = Recipe();
    recipe.betweenReleases = {{R801FP1, fp1.toFiles}};
    UsePackage(recipe);
    r = Run("nouser");
    std::string strLog = FinalLog();
    ASSERT_EQ(0, r.iExitCode) << strLog;
    EXPECT_NE(std::string::npos, strLog.find("RestoreBaseRelease (-1): no info about backup or incomplete patch.ini"))
        << strLog;
    EXPECT_NE(std::string::npos, strLog.find("Quill has been successfully upgraded.")) << strLog;
    EXPECT_EQ(R802, Stamp());
    EXPECT_EQ("hello world\n", Get(PROG "a.txt"));
    EXPECT_EQ("data 2\n", Get("C:\\QUILLDATA\\PART1\\quill.cfg"));
    EXPECT_FALSE(Exists(PROG "gone.txt"));
    // The files of 8.0.1FP1 were saved before the restore overwrote them.
    EXPECT_EQ("hello fp1\n", Get(PROG "Release801FP1\\a0001.IIB"));
}

#define R802FP3 "Release 8.0.2FP3|June 1, 2010"
#define R802FP4 "Release 8.0.2FP4|July 1, 2010"

// The files of one fix-pack level: the key file stamped with the level, a
// program file and a data file whose texts name the level by strTag.
static TreeFiles FixPackLevel(const TempMachine& machine, const char* szLabel, const std::string& strTag)
{
    return {{"program/qstrings.dll", KeyFile(machine, szLabel)},
            {"program/a.txt", "v" + strTag + "\n"},
            {"data/quill.cfg", "d" + strTag + "\n"}};
}

TEST_F(UpgradeRunTest, RevertToAnotherFixPackOverTheBaseRelease)
{
    TreeFiles base = FixPackLevel(m_machine, R802, "802");
    TreeFiles fp3 = FixPackLevel(m_machine, R802FP3, "fp3");
    TreeFiles fp4 = FixPackLevel(m_machine, R802FP4, "fp4");
    PackageRecipe p3;
    p3.strVersionTool = BinPath("tools/updver/UpdateVersion");
    p3.strFrom = R802;
    p3.strTo = R802FP3;
    p3.fromFiles = base;
    p3.toFiles = fp3;
    UsePackage(p3);
    Install(p3);
    ASSERT_EQ(0, Run("nouser").iExitCode) << FinalLog();
    ASSERT_EQ(R802FP3, Stamp());

    // 8.0.2FP4 over 8.0.2FP3: the base release first, then the fix pack.
    PackageRecipe p4 = p3;
    p4.strTo = R802FP4;
    p4.toFiles = fp4;
    p4.betweenReleases = {{R802FP3, fp3}};
    UsePackage(p4);
    ASSERT_EQ(0, Run("nouser").iExitCode) << FinalLog();
    ASSERT_EQ(R802FP4, Stamp());
    EXPECT_EQ("vfp4\n", Get(PROG "a.txt"));
    unlink(m_machine.Host(PROG "UPGRADE.LOG").c_str());

    // Reverting 8.0.2FP4 to 8.0.2FP3 goes through the base release.
    ProcessResult r = Run("nouser revert Release 8.0.2FP3");
    std::string strLog = FinalLog();
    ASSERT_EQ(0, r.iExitCode) << strLog;
    EXPECT_NE(std::string::npos, strLog.find("Quill has been successfully reverted.")) << strLog;
    EXPECT_EQ(std::string::npos, strLog.find("Exiting UpgradeQuillVersion()")) << strLog;
    EXPECT_EQ(R802FP3, Stamp());
    EXPECT_EQ("vfp3\n", Get(PROG "a.txt"));
    EXPECT_EQ("dfp3\n", Get("C:\\QUILLDATA\\PART1\\quill.cfg"));
}

TEST_F(UpgradeRunTest, RevertToTheSpecialBaseLevelRollsTheKeysForward)
{
    // A fix pack whose base release is the one with the backup directory
    // "Release802FP3": its revert restores that level and drops the registry.
    TreeFiles fp3 = FixPackLevel(m_machine, R802FP3, "fp3");
    TreeFiles fp4 = FixPackLevel(m_machine, R802FP4, "fp4");
    PackageRecipe p4;
    p4.strVersionTool = BinPath("tools/updver/UpdateVersion");
    p4.strFrom = R802FP3;
    p4.strTo = R802FP4;
    p4.fromFiles = fp3;
    p4.toFiles = fp4;
    UsePackage(p4);
    Install(p4);
    ASSERT_EQ(0, Run("nouser").iExitCode) << FinalLog();
    ASSERT_EQ(R802FP4, Stamp());
    unlink(m_machine.Host(PROG "UPGRADE.LOG").c_str());

    ProcessResult r = Run("nouser revert Release 8.0.2FP3");
    std::string strLog = FinalLog();
    ASSERT_EQ(0, r.iExitCode) << strLog;
    EXPECT_EQ(std::string::npos, strLog.find("Exiting UpgradeQuillVersion()")) << strLog;
    EXPECT_EQ(R802FP3, Stamp());
    EXPECT_EQ("vfp3\n", Get(PROG "a.txt"));
    EXPECT_EQ("dfp3\n", Get("C:\\QUILLDATA\\PART1\\quill.cfg"));
    EXPECT_FALSE(Exists(PROG "PATCH.INI"));
    EXPECT_NE(std::string::npos, Get(PROG "QUILL.INI").find("CFP_LP_CURRENT=" R802FP4)) << Get(PROG "QUILL.INI");
}

} // namespace
