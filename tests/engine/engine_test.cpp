/*
 * engine_test.cpp - the two file phases (CreateUpgradedFiles, then
 * RenameTempFiles) run in this process on sample installations, against real
 * packages built by heron-pack: the package store is pointed at the package
 * with PlatSetModuleOverride, the run state is set as identification would
 * set it, and the file table comes from LoadFileTable, as the driver builds it.
 */
#include "engine/engine.h"
#include "engine/engine_private.h"

#include "package/store.h"
#include "package/unpack.h"
#include "platform/ui.h"
#include "report/plan.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "support/machine.h"
#include "support/package.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

const char* const kProgram = "C:\\VIREO\\GARNET";

/* A text of n lines, line i differing by its number: deltas find long runs. */
std::string Lines(int n, const std::string& strTag)
{
    std::string s;
    for (int i = 0; i < n; i++) s += "line " + std::to_string(i) + " of the " + strTag + " file, same in both\n";
    return s;
}

TreeFiles FromTree()
{
    std::string strBig = Lines(400, "big");
    return {
        {"program/qstrings.dll", "key file 8.0.1"},
        {"program/big.txt", strBig},
        {"program/a.txt", "hello\n"},
        {"program/gone.txt", "removed in 8.0.2\n"},
        {"program/keep.txt", "unchanged\n"},
        {"data/quill.cfg", Lines(200, "data")},
        {"data/small.cfg", "small 1\n"},
    };
}

TreeFiles ToTree()
{
    std::string strBig = Lines(400, "big");
    strBig.insert(1000, "an inserted stretch of text\n");
    strBig.erase(5000, 300);
    strBig.replace(9000, 10, "EDITEDEDIT");
    std::string strData = Lines(200, "data");
    strData.replace(100, 4, "LINE");
    return {
        {"program/qstrings.dll", "key file 8.0.2"},
        {"program/big.txt", strBig},
        {"program/a.txt", "hello world\n"},
        {"program/keep.txt", "unchanged\n"},
        {"program/sub/new.txt", "brand new\n"},
        {"program/empty.txt", ""},
        {"data/quill.cfg", strData},
        {"data/small.cfg", "small 2\n"},
        {"system/qsys.dll", "system file\n"},
    };
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("TEMP", "C:\\TEMP", 1);
        m_strPkg = m_machine.Root() + "/pkg";
        m_pTable = (FILE_TABLE_ENTRY*)calloc(FILE_TABLE_SLOTS, sizeof(FILE_TABLE_ENTRY));
    }
    void TearDown() override
    {
        CloseLog();
        FreeFileTable(m_pTable);
        free(m_pTable);
        EngineFreeDecisions();
        FreeStrings();
        PlatFaultReset();
        PlatSetModuleOverride("");
        gpProgramDir = nullptr;
        gpQuillData = nullptr;
        gpDataDirValid = nullptr;
        gpSystemDir = nullptr;
        giPartitions = 1;
        gwOptions = 0;
        gszBackupDir[0] = 0;
        gszStartDir[0] = 0;
        unsetenv("TEMP");
    }

    /* Builds the package from the two trees (and more manifest text) and
     * installs the From tree in a sample machine with two data directories. */
    void Prepare(TreeFiles from, TreeFiles to, const std::string& strExtra = "",
                 const std::vector<std::string>& vSample = {})
    {
        /* The sample installation takes its program directory from the tree. */
        from.insert({"program/keep.txt", "unchanged\n"});
        to.insert({"program/keep.txt", "unchanged\n"});
        for (const auto& e : from) WriteFile(m_strPkg + "/from/" + e.first, e.second);
        for (const auto& e : to) WriteFile(m_strPkg + "/to/" + e.first, e.second);
        WriteFile(m_strPkg + "/license.txt", "Licence.\n");
        WriteFile(m_strPkg + "/tool.sh", "#!/bin/sh\nexit 0\n");
        WriteFile(m_strPkg + "/manifest.ini",
                  "[Package]\nFrom = Release 8.0.1|March 3, 2010\nTo = Release 8.0.2|May 1, 2010\n"
                  "UpgradeType = 2\nLicense = license.txt\nVersionTool = tool.sh\n\n"
                  "[Releases]\nRelease 8.0.1|March 3, 2010 = from\nRelease 8.0.2|May 1, 2010 = to\n" +
                      strExtra);
        ProcessResult result = RunProcess(
            {BinPath("tools/pack/heron-pack"), "build", m_strPkg + "/manifest.ini", "-o", m_strPkg + "/setup.exe"});
        ASSERT_EQ(0, result.iExitCode) << result.strOut << result.strErr;
        m_strBuild = result.strOut;
        std::vector<std::string> vArgs = {"--data-dirs", "2", "--tree", m_strPkg + "/from"};
        vArgs.insert(vArgs.end(), vSample.begin(), vSample.end());
        MakeSample(m_machine, vArgs);
        /* The start-up directory with the cabinet tool, as start-up writes it. */
        MakeDirs(m_machine.Host("C:\\START"));
        PlatSetModuleOverride((m_strPkg + "/setup.exe").c_str());
        ASSERT_EQ(1, LoadStrings());
        ASSERT_EQ(1, WritePayloadFile(KIND_UPDATECAB, "C:\\START\\cabarc.exe"));
        PlatMarkProgram("C:\\START\\cabarc.exe");
        strcpy(gszStartDir, "C:\\START");
        ASSERT_EQ(1, OpenLog());

        strcpy(m_szProgram, kProgram);
        strcpy(m_szData1, "C:\\QUILLDATA\\PART1");
        strcpy(m_szData2, "C:\\QUILLDATA\\PART2");
        strcpy(m_szSystem, "C:\\WINDOWS\\SYSTEM32");
        m_apszData[0] = m_szData1;
        m_apszData[1] = m_szData2;
        gpProgramDir = m_szProgram;
        gpQuillData = m_apszData;
        giPartitions = 2;
        m_abValid[0] = m_abValid[1] = 1;
        gpDataDirValid = m_abValid;
        gpSystemDir = m_szSystem;
        dwUpgradeType = 2;
        gwOptions = OPT_NOUSER;
        strcpy(gszBackupDir, "Release801");
        ASSERT_TRUE(PlatSetCurrentDirectory(kProgram));
        ASSERT_GT(LoadFileTable(m_pTable), 0u);
        m_dwEntries = gdwPayloadCount;
    }

    /* Both phases; 1 when both succeeded, 0 when the first failed, -1 when the commit failed. */
    int Run(int iMode)
    {
        giOperationMode = iMode;
        if (!CreateUpgradedFiles(m_dwEntries)) return 0;
        return RenameTempFiles(m_pTable, m_dwEntries) ? 1 : -1;
    }

    std::string Read(const std::string& strWindows) { return ReadFile(m_machine.Host(strWindows)); }
    bool Exists(const std::string& strWindows) { return PathExists(m_machine.Host(strWindows)); }
    std::string Prog(const std::string& strName) { return std::string(kProgram) + "\\" + strName; }
    std::vector<std::string> Log() { return LogBodyLines(m_machine.Host("C:\\TEMP\\UPGRADE.LOG")); }
    bool LogHas(const std::string& strLine)
    {
        auto v = Log();
        return std::find(v.begin(), v.end(), strLine) != v.end();
    }

    /* The installation holds exactly the files of the tree (those named). */
    void ExpectInstalled(const TreeFiles& tree)
    {
        for (const auto& e : tree) {
            std::string strRel = e.first.substr(e.first.find('/') + 1);
            std::replace(strRel.begin(), strRel.end(), '/', '\\');
            std::vector<std::string> vWhere;
            if (e.first.rfind("program/", 0) == 0) vWhere = {Prog(strRel)};
            if (e.first.rfind("data/", 0) == 0)
                vWhere = {std::string(m_szData1) + "\\" + strRel, std::string(m_szData2) + "\\" + strRel};
            if (e.first.rfind("system/", 0) == 0) vWhere = {std::string(m_szSystem) + "\\" + strRel};
            for (const std::string& strPath : vWhere) {
                ASSERT_TRUE(Exists(strPath)) << strPath;
                EXPECT_EQ(e.second, Read(strPath)) << strPath;
            }
        }
    }

    TempMachine m_machine;
    std::string m_strPkg, m_strBuild;
    FILE_TABLE_ENTRY* m_pTable = nullptr;
    DWORD m_dwEntries = 0;
    char m_szProgram[261], m_szData1[261], m_szData2[261], m_szSystem[261];
    char* m_apszData[2];
    BYTE m_abValid[2];
};

}  // namespace

TEST_F(EngineTest, UpgradeThenRevertRestoresEveryFile)
{
    TreeFiles from = FromTree(), to = ToTree();
    Prepare(from, to);
    /* The builder chose deltas for the long files and whole files for the rest. */
    EXPECT_NE(std::string::npos, m_strBuild.find("dlt big.txt")) << m_strBuild;
    EXPECT_NE(std::string::npos, m_strBuild.find("dlt quill.cfg")) << m_strBuild;
    EXPECT_NE(std::string::npos, m_strBuild.find("add a.txt")) << m_strBuild;

    ASSERT_EQ(1, Run(MODE_UPGRADE));
    ExpectInstalled(to);
    EXPECT_FALSE(Exists(Prog("gone.txt")));
    EXPECT_TRUE(Exists(Prog("Release801")));
    for (DWORD t = 1; t <= m_dwEntries; t++) {
        char szTemp[32];
        EngineTempName(t, szTemp, sizeof(szTemp));
        EXPECT_FALSE(Exists(Prog(szTemp))) << szTemp;
    }

    /* The same package reverts: the delta backwards, whole files from their
     * backups, added files removed. */
    ASSERT_EQ(1, Run(MODE_REVERT));
    ExpectInstalled(from);
    EXPECT_FALSE(Exists(Prog("sub\\new.txt")));
    EXPECT_FALSE(Exists(Prog("empty.txt")));
    EXPECT_FALSE(Exists("C:\\WINDOWS\\SYSTEM32\\qsys.dll"));
}

TEST_F(EngineTest, LogOfOneDeltaEntry)
{
    std::string strOld = Lines(100, "one");
    std::string strNew = strOld;
    strNew.replace(200, 3, "XYZ");
    Prepare({{"program/one.txt", strOld}}, {{"program/one.txt", strNew}});
    ASSERT_EQ(1u, m_dwEntries);
    ASSERT_EQ(1, Run(MODE_UPGRADE));
    EXPECT_EQ(strNew, Read(Prog("one.txt")));
    char szCrc[64];
    FILEENTRY_FIELDS fields;
    char szName[261];
    ASSERT_EQ(1, ReadFileEntry(1, szName, sizeof(szName), &fields));
    ASSERT_EQ(1u, fields.dwKind);
    snprintf(szCrc, sizeof(szCrc), "Expected: %#xL, real: %#xL", fields.dwNewCrc, fields.dwNewCrc);
    std::vector<std::string> expected = {
        "CreateUpgradedFiles: number of file entries: 1",
        "CreateUpgradedFiles: canTempName:= one.txt",
        "\tUpgrading one.txt...",
        "\t\tUpgradeFile returned 1 for file one.txt",
        szCrc,
        "\tOK",
        "\tAction for entry 1: patch one.txt",
        "\tExiting CreateUpgradedFiles: 1",
        "\tRename: canFileName: one.txt, dw = 1",
        "\tRenamed UPTMP0001.TMP to one.txt.",
    };
    auto log = Log();
    /* The unpacking's own line comes first. */
    ASSERT_GE(log.size(), expected.size() + 1);
    log.erase(std::remove_if(log.begin(), log.end(), [](const std::string& s) { return s.rfind("Outsize:", 0) == 0; }),
              log.end());
    EXPECT_EQ(expected, log);
}

TEST_F(EngineTest, FileOfAnotherVersionIsKeptAndStaleTemporaryDeleted)
{
    std::string strOld = Lines(100, "one");
    std::string strNew = strOld;
    strNew.replace(200, 3, "XYZ");
    Prepare({{"program/one.txt", strOld}, {"program/b.txt", "b1\n"}},
            {{"program/one.txt", strNew}, {"program/b.txt", "b2\n"}});
    WriteFile(m_machine.Host(Prog("one.txt")), "customised by the user\n");
    WriteFile(m_machine.Host(Prog("UPTMP0002.TMP")), "stale temporary file of an earlier run");
    ASSERT_EQ(1, Run(MODE_UPGRADE));
    EXPECT_EQ("customised by the user\n", Read(Prog("one.txt")));
    EXPECT_EQ("b2\n", Read(Prog("b.txt")));
    EXPECT_TRUE(LogHas("UpgradeFile: original version or size is different for one.txt"));
    EXPECT_TRUE(LogHas("\tKept one.txt"));
    EXPECT_TRUE(LogHas("\tDeleted stale temporary file UPTMP0002.TMP"));
    EXPECT_FALSE(Exists(Prog("UPTMP0002.TMP")));
}

TEST_F(EngineTest, FailedBackupStopsBeforeAnythingIsReplaced)
{
    Prepare({{"program/a.txt", "a1\n"}, {"program/b.txt", "b1\n"}}, {{"program/a.txt", "a2\n"}, {"program/b.txt", "b2\n"}});
    /* The second backup move fails as for a file another process holds. */
    PlatFaultArm("MoveFile", 2, ERROR_SHARING_VIOLATION, 0);
    EXPECT_EQ(0, Run(MODE_UPGRADE));
    PlatFaultReset();
    EXPECT_EQ("b1\n", Read(Prog("b.txt")));
    EXPECT_FALSE(Exists(Prog("Release801\\b0002.IIB")));
    EXPECT_TRUE(LogHas("\tExiting CreateUpgradedFiles: 0"));
    bool bFailLine = false;
    for (const std::string& s : Log()) bFailLine |= s.rfind("\tFailed Backing up b.txt to Release801\\b0002.IIB (32)", 0) == 0;
    EXPECT_TRUE(bFailLine);
}

TEST_F(EngineTest, ReadOnlyFileInSecondDataDirectoryIsMovedAside)
{
    Prepare({{"data/small.cfg", "small 1\n"}}, {{"data/small.cfg", "small 2\n"}});
    std::string strHost = m_machine.Host("C:\\QUILLDATA\\PART2\\small.cfg");
    chmod(strHost.c_str(), 0444);
    ASSERT_EQ(1, Run(MODE_UPGRADE));
    EXPECT_EQ("small 2\n", Read("C:\\QUILLDATA\\PART1\\small.cfg"));
    EXPECT_EQ("small 2\n", Read("C:\\QUILLDATA\\PART2\\small.cfg"));
    /* The backup is shared: only the first data directory's file moved there. */
    EXPECT_EQ("small 1\n", Read(Prog("Release801\\small0001.IIB")));
    EXPECT_EQ("small 1\n", Read("C:\\QUILLDATA\\PART2\\small.cfg.hf"));
}

TEST_F(EngineTest, LockedFileUnattendedFailsWithoutAQuestion)
{
    Prepare({{"data/small.cfg", "small 1\n"}}, {{"data/small.cfg", "small 2\n"}});
    std::string strHost = m_machine.Host("C:\\QUILLDATA\\PART2\\small.cfg");
    chmod(strHost.c_str(), 0444);
    WriteFile(strHost + ".hf", "an aside file of an earlier run");
    EXPECT_EQ(-1, Run(MODE_UPGRADE));
    EXPECT_EQ("small 1\n", Read("C:\\QUILLDATA\\PART2\\small.cfg"));
    auto log = Log();
    std::string strLine = "\tCan't rename old C:\\QUILLDATA\\PART2\\small.cfg: access problem";
    EXPECT_EQ(2, std::count(log.begin(), log.end(), strLine));
    EXPECT_TRUE(LogHas("\tFailed to remove src file C:\\QUILLDATA\\PART2\\small.cfg."));
    /* The first data directory was committed before (no rollback). */
    EXPECT_EQ("small 2\n", Read("C:\\QUILLDATA\\PART1\\small.cfg"));
}

TEST_F(EngineTest, FullDiskWhileWritingFailsTheEntry)
{
    Prepare({{"program/a.txt", "a1\n"}}, {{"program/a.txt", "a2\n"}});
    PlatFaultArm("Fwrite", 1, ERROR_DISK_FULL, 1);
    EXPECT_EQ(0, Run(MODE_UPGRADE));
    PlatFaultReset();
    /* The log is on the full disk too: only the files tell. */
    /* The installed file is in its backup, never lost. */
    EXPECT_EQ("a1\n", Read(Prog("Release801\\a0001.IIB")));
}

TEST_F(EngineTest, FullDiskWhileCopyingToADataDirectoryKeepsTheInstalledFile)
{
    Prepare({{"data/small.cfg", "small 1\n"}}, {{"data/small.cfg", "small 2\n"}});
    giOperationMode = MODE_UPGRADE;
    ASSERT_EQ(1, CreateUpgradedFiles(m_dwEntries));
    /* Data directory 1's file is in the backup; data directory 2's is still installed. */
    PlatFaultArm("Fwrite", 1, ERROR_DISK_FULL, 1);
    EXPECT_EQ(0, RenameTempFiles(m_pTable, m_dwEntries));
    PlatFaultReset();
    EXPECT_EQ("small 1\n", Read("C:\\QUILLDATA\\PART2\\small.cfg"));
    EXPECT_FALSE(Exists("C:\\QUILLDATA\\PART1\\small.cfg.UPN"));
    EXPECT_TRUE(Exists(Prog("UPTMP0001.TMP")));
}

TEST_F(EngineTest, RevertWithoutBackupKeepsTheFileAndFails)
{
    Prepare({{"program/a.txt", "a1\n"}}, {{"program/a.txt", "a2\n"}, {"program/added.txt", "new\n"}});
    ASSERT_EQ(1, Run(MODE_UPGRADE));
    ASSERT_TRUE(PlatDeleteFile("Release801\\a0001.IIB"));
    EXPECT_EQ(0, Run(MODE_REVERT));
    EXPECT_EQ("a2\n", Read(Prog("a.txt")));
    EXPECT_TRUE(LogHas("\tBackup file Release801\\a0001.IIB doesn't exist"));
}

TEST_F(EngineTest, RevertRemovesAFileTheFixAdded)
{
    Prepare({{"program/a.txt", "a1\n"}}, {{"program/a.txt", "a1\n"}, {"program/added.txt", "new\n"}});
    ASSERT_EQ(1, Run(MODE_UPGRADE));
    EXPECT_EQ("new\n", Read(Prog("added.txt")));
    ASSERT_EQ(1, Run(MODE_REVERT));
    EXPECT_FALSE(Exists(Prog("added.txt")));
    EXPECT_EQ("a1\n", Read(Prog("a.txt")));
}

TEST_F(EngineTest, UnsafeNameRefusedBeforeAnythingChanges)
{
    Prepare({{"program/a.txt", "a1\n"}}, {{"program/a.txt", "a2\n"}},
            "[EarlierFixes]\n..\\outside.dll = program\n");
    EXPECT_EQ(0, Run(MODE_UPGRADE));
    EXPECT_EQ("a1\n", Read(Prog("a.txt")));
    EXPECT_FALSE(Exists(Prog("Release801")));
    EXPECT_TRUE(LogHas("Refused file name ..\\outside.dll of entry 2: not a relative name"));
}

TEST_F(EngineTest, EarlierFixFileComesBackOnRevertAndSurvivesTheCommit)
{
    Prepare({{"program/a.txt", "a1\n"}}, {{"program/a.txt", "a2\n"}}, "[EarlierFixes]\nold\\fix.dll = program\n");
    WriteFile(m_machine.Host(Prog("old\\fix.dll")), "fix level 2\n");
    ASSERT_EQ(1, Run(MODE_UPGRADE));
    EXPECT_EQ("fix level 2\n", Read(Prog("old\\fix.dll")));
    WriteFile(m_machine.Host(Prog("Release801\\old\\fix0002.IIB")), "fix level 1\n");
    ASSERT_EQ(1, Run(MODE_REVERT));
    EXPECT_EQ("fix level 1\n", Read(Prog("old\\fix.dll")));
    EXPECT_EQ("a1\n", Read(Prog("a.txt")));
}

TEST_F(EngineTest, BackupNameKeepsADottedDirectory)
{
    dwUpgradeType = 0;
    char szOut[261];
    ASSERT_EQ(1, EngineBackupBeside("C:\\QUILLDATA\\PART1\\conf.d\\settings", 7, szOut, sizeof(szOut)));
    EXPECT_STREQ("C:\\QUILLDATA\\PART1\\conf.d\\settings0007.IIB", szOut);
    ASSERT_EQ(1, EngineBackupBeside("conf.d\\a.b.ini", 12, szOut, sizeof(szOut)));
    EXPECT_STREQ("conf.d\\a.b0012.IIB", szOut);
    for (const char* sz : {"", "\\abs", "C:x", "a\\..\\b", "a\\\\b", "a\\", ".", "a/../b"})
        EXPECT_EQ(0, EngineNameIsSafe(sz)) << sz;
    for (const char* sz : {"a", "sub\\b.txt", "..a", "a..\\b"}) EXPECT_EQ(1, EngineNameIsSafe(sz)) << sz;
}

TEST_F(EngineTest, CabinetTreesAreReplacedAndBroughtBack)
{
    if (!PathExists("/usr/bin/cabextract")) GTEST_SKIP() << "cabextract is not installed";
    TreeFiles from = {{"program/a.txt", "a1\n"}};
    TreeFiles to = {{"program/a.txt", "a2\n"}};
    WriteFile(m_strPkg + "/trees/dojo/dojo.js", "new toolkit\n");
    WriteFile(m_strPkg + "/trees/dojo/src/x.js", "new x\n");
    WriteFile(m_strPkg + "/trees/plugins/p1.jar", "new plug-in\n");
    Prepare(from, to, "[Cabinets]\ngar-dojo.cab = trees/dojo\nosgi_plugins.cab = trees/plugins\n");
    for (const char* szData : {"C:\\QUILLDATA\\PART1", "C:\\QUILLDATA\\PART2"}) {
        WriteFile(m_machine.Host(std::string(szData) + "\\garnet\\js\\dojo-1.3.2\\dojo.js"), "old toolkit\n");
        WriteFile(m_machine.Host(std::string(szData) + "\\garnet\\js\\dojo-1.3.2\\old\\y.js"), "old y\n");
    }
    WriteFile(m_machine.Host(Prog("osgi\\shared\\eclipse\\plugins\\p0.jar")), "old plug-in\n");

    ASSERT_EQ(1, Run(MODE_UPGRADE));
    for (const char* szData : {"C:\\QUILLDATA\\PART1", "C:\\QUILLDATA\\PART2"}) {
        std::string strTree = std::string(szData) + "\\garnet\\js\\dojo-1.3.2";
        EXPECT_EQ("new toolkit\n", Read(strTree + "\\dojo.js"));
        EXPECT_EQ("new x\n", Read(strTree + "\\src\\x.js"));
        EXPECT_FALSE(Exists(strTree + "\\old\\y.js"));
        EXPECT_FALSE(Exists(std::string(szData) + "\\gar-dojo.cab"));
    }
    EXPECT_EQ("new plug-in\n", Read(Prog("osgi\\shared\\eclipse\\plugins\\p1.jar")));
    EXPECT_FALSE(Exists(Prog("osgi\\shared\\eclipse\\plugins\\p0.jar")));
    EXPECT_FALSE(Exists(Prog("osgi\\shared\\eclipse\\plugins\\osgi_plugins.cab")));

    /* The back-up cabinets, read by an independent reader. */
    std::string strDojoCab, strPluginsCab;
    for (const auto& e : fs::directory_iterator(m_machine.Host(Prog("Release801")))) {
        std::string strName = e.path().filename().string();
        if (strName.rfind("gar-dojo", 0) == 0) strDojoCab = e.path().string();
        if (strName.rfind("osgi_plugins", 0) == 0) strPluginsCab = e.path().string();
    }
    ASSERT_FALSE(strDojoCab.empty());
    ASSERT_FALSE(strPluginsCab.empty());
    ProcessResult list = RunProcess({"/usr/bin/cabextract", "-l", strDojoCab});
    EXPECT_EQ(0, list.iExitCode) << list.strErr;
    EXPECT_NE(std::string::npos, list.strOut.find("dojo.js"));
    EXPECT_NE(std::string::npos, list.strOut.find("old/y.js")) << list.strOut;
    ProcessResult test = RunProcess({"/usr/bin/cabextract", "-t", strPluginsCab});
    EXPECT_EQ(0, test.iExitCode) << test.strOut << test.strErr;

    /* A second upgrade run keeps the first back-up cabinet. */
    std::string strBefore = ReadFile(strDojoCab);
    ASSERT_EQ(1, Run(MODE_UPGRADE));
    EXPECT_EQ(strBefore, ReadFile(strDojoCab));

    ASSERT_EQ(1, Run(MODE_REVERT));
    for (const char* szData : {"C:\\QUILLDATA\\PART1", "C:\\QUILLDATA\\PART2"}) {
        std::string strTree = std::string(szData) + "\\garnet\\js\\dojo-1.3.2";
        EXPECT_EQ("old toolkit\n", Read(strTree + "\\dojo.js"));
        EXPECT_EQ("old y\n", Read(strTree + "\\old\\y.js"));
        EXPECT_FALSE(Exists(strTree + "\\src\\x.js"));
    }
    EXPECT_EQ("old plug-in\n", Read(Prog("osgi\\shared\\eclipse\\plugins\\p0.jar")));
    EXPECT_FALSE(Exists(Prog("osgi\\shared\\eclipse\\plugins\\p1.jar")));
    char szCwd[261];
    PlatGetCurrentDirectory(sizeof(szCwd), szCwd);
    EXPECT_STREQ(kProgram, szCwd);
}

TEST_F(EngineTest, FailedCabinetToolFailsTheRunAndKeepsTheTree)
{
    TreeFiles from = {{"program/a.txt", "a1\n"}};
    WriteFile(m_strPkg + "/trees/plugins/p1.jar", "new plug-in\n");
    Prepare(from, from, "[Cabinets]\nosgi_plugins.cab = trees/plugins\n");
    WriteFile(m_machine.Host(Prog("osgi\\shared\\eclipse\\plugins\\p0.jar")), "old plug-in\n");
    /* A tool that exits 1 without making the archive. */
    WriteFile(m_machine.Host("C:\\START\\cabarc.exe"), "#!/bin/sh\nexit 1\n");
    PlatMarkProgram("C:\\START\\cabarc.exe");
    EXPECT_EQ(0, Run(MODE_UPGRADE));
    EXPECT_EQ("old plug-in\n", Read(Prog("osgi\\shared\\eclipse\\plugins\\p0.jar")));
}

namespace {
std::vector<std::string> s_vBoxes;
std::string s_strFreeOnOk;
int s_iBoxAnswer;
int ScriptedBox(HWND, const char* szText, const char* szCaption, UINT uType)
{
    s_vBoxes.push_back(std::string(szCaption) + ": " + szText + (uType == MB_OKCANCEL ? " [OK/Cancel]" : ""));
    if (s_iBoxAnswer == IDOK && !s_strFreeOnOk.empty()) chmod(s_strFreeOnOk.c_str(), 0644);
    return s_iBoxAnswer;
}
}  // namespace

TEST_F(EngineTest, LockedFileInteractiveAsksAndRetries)
{
    Prepare({{"data/small.cfg", "small 1\n"}}, {{"data/small.cfg", "small 2\n"}});
    std::string strHost = m_machine.Host("C:\\QUILLDATA\\PART2\\small.cfg");
    chmod(strHost.c_str(), 0444);
    WriteFile(strHost + ".hf", "an aside file of an earlier run");
    gwOptions = 0;
    s_vBoxes.clear();
    s_strFreeOnOk = strHost;
    s_iBoxAnswer = IDOK;
    PlatSetMessageBoxHandler(ScriptedBox);
    int iResult = Run(MODE_UPGRADE);
    PlatSetMessageBoxHandler(nullptr);
    EXPECT_EQ(1, iResult);
    ASSERT_EQ(1u, s_vBoxes.size());
    EXPECT_EQ("Error: Can't rename old C:\\QUILLDATA\\PART2\\small.cfg: access problem [OK/Cancel]", s_vBoxes[0]);
    EXPECT_EQ("small 2\n", Read("C:\\QUILLDATA\\PART2\\small.cfg"));

    /* Cancel stops the commit. */
    chmod(strHost.c_str(), 0444);
    s_vBoxes.clear();
    s_iBoxAnswer = IDCANCEL;
    PlatSetMessageBoxHandler(ScriptedBox);
    iResult = Run(MODE_REVERT);
    PlatSetMessageBoxHandler(nullptr);
    EXPECT_EQ(-1, iResult);
    EXPECT_EQ(1u, s_vBoxes.size());
    EXPECT_EQ("small 2\n", Read("C:\\QUILLDATA\\PART2\\small.cfg"));
}

TEST_F(EngineTest, DeltaKeepsACustomisedCopyInOneDataDirectory)
{
    std::string strOld = Lines(100, "cfg");
    std::string strNew = strOld;
    strNew.insert(300, "inserted\n");
    Prepare({{"data/c.cfg", strOld}}, {{"data/c.cfg", strNew}});
    WriteFile(m_machine.Host("C:\\QUILLDATA\\PART2\\c.cfg"), "customised\n");
    ASSERT_EQ(1, Run(MODE_UPGRADE));
    EXPECT_EQ(strNew, Read("C:\\QUILLDATA\\PART1\\c.cfg"));
    EXPECT_EQ("customised\n", Read("C:\\QUILLDATA\\PART2\\c.cfg"));
    EXPECT_FALSE(Exists(Prog("UPTMP0001.TMP")));
    /* Reverting the delta needs no backup and again leaves the other copy. */
    ASSERT_EQ(1, Run(MODE_REVERT));
    EXPECT_EQ(strOld, Read("C:\\QUILLDATA\\PART1\\c.cfg"));
    EXPECT_EQ("customised\n", Read("C:\\QUILLDATA\\PART2\\c.cfg"));
}

/* ---- The plan against the engine ------------------------------------------------------ */

namespace {

/* "ENTRY ACTION TARGET" of a plan's entry lines, targets as full paths. */
std::vector<std::string> PlannedActions(const std::string& strPlan)
{
    std::vector<std::string> v;
    size_t i = 0;
    while (i < strPlan.size()) {
        size_t iEnd = strPlan.find('\n', i);
        std::string s = strPlan.substr(i, iEnd - i);
        i = iEnd == std::string::npos ? strPlan.size() : iEnd + 1;
        if (s.size() < 4 || s.compare(0, 2, "  ") != 0 || !isdigit((unsigned char)s[2])) continue;
        v.push_back(s.substr(2, s.find(" backup=") - 2));
    }
    return v;
}

/* The same from the run's "Action for entry N: ACTION TARGET" lines. */
std::vector<std::string> LoggedActions(const std::vector<std::string>& log)
{
    const std::string strMark = "\tAction for entry ";
    std::vector<std::string> v;
    for (const std::string& s : log) {
        if (s.rfind(strMark, 0) != 0) continue;
        std::string strRest = s.substr(strMark.size());
        size_t iColon = strRest.find(": ");
        std::string strEntry = strRest.substr(0, iColon);
        std::string strAction = strRest.substr(iColon + 2, strRest.find(' ', iColon + 2) - iColon - 2);
        std::string strTarget = strRest.substr(iColon + 2 + strAction.size() + 1);
        if (strTarget.find(':') == std::string::npos) strTarget = std::string(kProgram) + "\\" + strTarget;
        v.push_back(strEntry + " " + strAction + " " + strTarget);
    }
    return v;
}

}  // namespace

/* The plan made before each run names, entry by entry and target by target,
 * the actions the run then takes: an upgrade with deltas, whole, added and
 * removed files in two data directories (one copy customised), its revert,
 * and a revert whose backup is gone, which the plan says fails. */
TEST_F(EngineTest, PlanNamesTheActionsTheRunTakes)
{
    TreeFiles from = FromTree(), to = ToTree();
    Prepare(from, to);
    std::string strCustom = "customised copy\n";
    WriteFile(m_machine.Host("C:\\QUILLDATA\\PART2\\quill.cfg"), strCustom);
    strcpy(gszModulePath, "C:\\work\\setup.exe");

    auto planThenRun = [&](int iMode, int iExpected) {
        REPORT_TEXT plan;
        memset(&plan, 0, sizeof(plan));
        giOperationMode = iMode;
        PlanBuild(&plan, 1, 0);
        std::vector<std::string> vPlanned = PlannedActions(ReportString(&plan));
        ReportFree(&plan);
        size_t cBefore = LoggedActions(Log()).size();
        EXPECT_EQ(iExpected, Run(iMode));
        std::vector<std::string> vLogged = LoggedActions(Log());
        vLogged.erase(vLogged.begin(), vLogged.begin() + (long)cBefore);
        return std::make_pair(vPlanned, vLogged);
    };
    auto has = [](const std::vector<std::string>& v, const std::string& strTail) {
        for (const std::string& s : v)
            if (s.size() >= strTail.size() && s.compare(s.size() - strTail.size(), strTail.size(), strTail) == 0)
                return true;
        return false;
    };

    auto upgrade = planThenRun(MODE_UPGRADE, 1);
    EXPECT_EQ(upgrade.first, upgrade.second);
    EXPECT_GE(upgrade.first.size(), m_dwEntries);
    EXPECT_TRUE(has(upgrade.first, " patch C:\\QUILLDATA\\PART1\\quill.cfg")) << ::testing::PrintToString(upgrade.first);
    EXPECT_TRUE(has(upgrade.first, " keep C:\\QUILLDATA\\PART2\\quill.cfg"));
    EXPECT_TRUE(has(upgrade.first, " remove C:\\VIREO\\GARNET\\gone.txt"));
    EXPECT_TRUE(has(upgrade.first, " add C:\\VIREO\\GARNET\\sub\\new.txt"));

    auto revert = planThenRun(MODE_REVERT, 1);
    EXPECT_EQ(revert.first, revert.second);
    EXPECT_TRUE(has(revert.first, " restore C:\\VIREO\\GARNET\\a.txt")) << ::testing::PrintToString(revert.first);
    EXPECT_TRUE(has(revert.first, " remove C:\\VIREO\\GARNET\\sub\\new.txt"));
    EXPECT_EQ(strCustom, Read("C:\\QUILLDATA\\PART2\\quill.cfg"));
    EXPECT_EQ(from["program/a.txt"], Read(Prog("a.txt")));
    EXPECT_EQ(from["data/quill.cfg"], Read("C:\\QUILLDATA\\PART1\\quill.cfg"));

    /* Upgraded again, a backup lost: the plan says where the revert stops. */
    ASSERT_EQ(1, Run(MODE_UPGRADE));
    ASSERT_TRUE(PlatDeleteFile("Release801\\a0003.IIB") || PlatDeleteFile("Release801\\a0002.IIB") ||
                PlatDeleteFile("Release801\\a0001.IIB"));
    auto failed = planThenRun(MODE_REVERT, 0);
    EXPECT_TRUE(has(failed.first, " fail C:\\VIREO\\GARNET\\a.txt")) << ::testing::PrintToString(failed.first);
    /* The run stops at that target: what it did is the plan up to there. */
    ASSERT_LE(failed.second.size(), failed.first.size());
    EXPECT_EQ(std::vector<std::string>(failed.first.begin(), failed.first.begin() + (long)failed.second.size()),
              failed.second);
    EXPECT_TRUE(has(failed.second, " fail C:\\VIREO\\GARNET\\a.txt"));
}
