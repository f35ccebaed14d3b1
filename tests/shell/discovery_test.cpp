// Installation discovery on sample machines made by heron-sample: every
// source of the program and data directories, their log lines, and the two
// presence tests.
#include "platform/registry.h"
#include "shell/discovery.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "support/machine.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

class DiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* szPath = getenv("PATH");
        m_strSavedPath = szPath ? szPath : "";
        setenv("PATH", "/usr/bin:/bin", 1);
        setenv("TEMP", "C:\\LOGTMP", 1);
        gpStrings[1] = m_szKeyFile;
        gpStrings[42] = m_szKind;
        gdwStringCount = 52;
        ReleaseDiscovery();
        ASSERT_EQ(1, OpenLog());
    }
    void TearDown() override
    {
        if (LogIsOpen()) {
            static char szLogDir[] = "C:\\LOGDONE";
            MakeDirs(m_machine.Host(szLogDir));
            ReleaseDiscovery();
            gpProgramDir = szLogDir;
            CloseLog();
            gpProgramDir = nullptr;
        }
        ReleaseDiscovery();
        gpStrings[1] = gpStrings[42] = nullptr;
        gdwStringCount = 0;
        setenv("PATH", m_strSavedPath.c_str(), 1);
        unsetenv("TEMP");
        PlatFaultReset();
    }

    static void ReleaseDataDirs()
    {
        if (gpQuillData) {
            for (int i = 0; i < (giPartitions > 1 ? giPartitions : 1); i++) PlatHeapFree(gpQuillData[i]);
            PlatHeapFree(gpQuillData);
        }
        PlatHeapFree(gpDataDirValid);
        gpQuillData = nullptr;
        gpDataDirValid = nullptr;
        giPartitions = 1;
    }
    static void ReleaseDiscovery()
    {
        ReleaseDataDirs();
        PlatHeapFree(gpProgramDir);
        PlatHeapFree(gpSystemDir);
        gpProgramDir = gpSystemDir = nullptr;
    }

    void Sample(const std::vector<std::string>& vOptions) { MakeSample(m_machine, vOptions); }
    std::vector<std::string> LogLines() { return LogBodyLines(m_machine.Host("C:\\LOGTMP\\UPGRADE.LOG")); }
    std::vector<std::string> DataDirs() const
    {
        std::vector<std::string> v;
        for (int i = 0; gpQuillData && i < giPartitions; i++) v.push_back(gpQuillData[i]);
        return v;
    }

    TempMachine m_machine;
    std::string m_strSavedPath;
    char m_szKeyFile[16] = "qstrings.dll";
    char m_szKind[32] = "Release 8.0.2";
};

// Where the test stands when discovery runs.
enum Setting { PLAIN, PATH_LINUX, PATH_WINDOWS, CWD_PROGRAM_DIR };

struct ProgramCase {
    const char* szName;
    std::vector<std::string> vOptions;
    Setting setting;
    int iResult;
    const char* szProgramDir;
    std::vector<std::string> vLog;
};

TEST_F(DiscoveryTest, ProgramDirectoryFromEachSource)
{
    const std::string strOther = "D:\\Apps\\Garnet";
    const ProgramCase aCases[] = {
        {"product key", {"--program-dir", strOther}, PLAIN, 1, "D:\\APPS\\GARNET", {}},
        {"product key, lower case with backslash", {"--program-dir", strOther, "--lowercase-path"}, PLAIN, 1,
         "D:\\APPS\\GARNET", {}},
        {"QSERVER.EXE on a Linux PATH", {"--program-dir", strOther, "--no-registry"}, PATH_LINUX, 1,
         "D:\\APPS\\GARNET", {}},
        {"QSERVER.EXE on a Windows PATH", {"--program-dir", strOther, "--no-product-key"}, PATH_WINDOWS, 1,
         "D:\\APPS\\GARNET", {}},
        {"QSERVER.EXE in the current directory", {"--program-dir", strOther, "--no-registry"}, CWD_PROGRAM_DIR, 1,
         "D:\\APPS\\GARNET", {}},
        {"Parlance key", {"--program-dir", strOther, "--no-product-key", "--parlance-key", "--lowercase-path"}, PLAIN,
         1, "D:\\APPS\\GARNET", {"Found Parlance Key", "Found string Path in Parlance Key"}},
        {"Parlance key without Path", {"--program-dir", strOther, "--no-product-key-path", "--parlance-key-no-path"},
         PLAIN, 0, "C:\\VIREO\\GARNET", {"Found Parlance Key", "NOT found string BasePath in Parlance Key"}},
        {"nothing", {"--program-dir", strOther, "--no-registry"}, PLAIN, 0, "C:\\VIREO\\GARNET",
         {"NOT found Parlance Key"}},
    };
    for (const ProgramCase& c : aCases) {
        SCOPED_TRACE(c.szName);
        TempMachine machine; // a fresh machine each; the log stays in the fixture's
        std::vector<std::string> vArgs = {BinPath("tools/sample/heron-sample"), "--root", machine.Root()};
        vArgs.insert(vArgs.end(), c.vOptions.begin(), c.vOptions.end());
        ProcessResult r = RunProcess(vArgs);
        ASSERT_EQ(0, r.iExitCode) << r.strErr;
        const std::string strHostProgram = machine.Root() + "/drive_d/Apps/Garnet";
        if (c.setting == PATH_LINUX) setenv("PATH", ("/usr/bin:" + strHostProgram).c_str(), 1);
        if (c.setting == PATH_WINDOWS) setenv("PATH", "C:\\WINDOWS;d:\\apps\\garnet\\;/usr/bin", 1);
        if (c.setting == CWD_PROGRAM_DIR) {
            ASSERT_EQ(0, chdir(strHostProgram.c_str()));
        }
        size_t cLogBefore = LogLines().size();

        EXPECT_EQ(c.iResult, FindProgramDir());
        ASSERT_NE(nullptr, gpProgramDir);
        EXPECT_STREQ(c.szProgramDir, gpProgramDir);
        std::vector<std::string> vLog = LogLines();
        EXPECT_EQ(c.vLog, std::vector<std::string>(vLog.begin() + (long)cLogBefore, vLog.end()));

        setenv("PATH", "/usr/bin:/bin", 1);
        ReleaseDiscovery();
        setenv("HERON_ROOT", m_machine.Root().c_str(), 1); // the fixture's machine holds the log
    }
}

TEST_F(DiscoveryTest, LaterCallReusesTheBufferAndEndsEveryValue)
{
    Sample({});
    ASSERT_EQ(1, FindProgramDir());
    char* pFirst = gpProgramDir;
    EXPECT_STREQ("C:\\VIREO\\GARNET", gpProgramDir);
    // A value without a NUL of its own (a REG_DWORD) must not run on into the
    // text the buffer held before.
    WriteFile(m_machine.Root() + "/registry.reg",
              "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vireo\\Garnet]\r\n"
              "\"Path\"=dword:63636363\r\n");
    ASSERT_EQ(1, FindProgramDir());
    EXPECT_EQ(pFirst, gpProgramDir);
    EXPECT_STREQ("CCCC", gpProgramDir);
}

struct DataCase {
    const char* szName;
    std::vector<std::string> vOptions;
    const char* szKind;
    int iResult;
    std::vector<std::string> vDirs; // the counted entries
    std::vector<std::string> vLog;
};

TEST_F(DiscoveryTest, DataDirectoriesFromEachSource)
{
    const std::string strKind = m_szKind;
    const DataCase aCases[] = {
        // The data path is longer than every value of the product key itself.
        {"one partition", {}, nullptr, 1, {"C:\\QUILLDATA\\PART1"}, {}},
        {"product key without values", {"--no-product-key-path"}, nullptr, 1, {"C:\\QUILLDATA\\PART1"}, {}},
        {"two partitions, 5.0 skipped", {"--data-dirs", "2", "--five-key"}, nullptr, 1,
         {"C:\\QUILLDATA\\PART1", "C:\\QUILLDATA\\PART2"}, {}},
        {"lower case with backslash", {"--data-dirs", "2", "--lowercase-path"}, nullptr, 1,
         {"C:\\QUILLDATA\\PART1", "C:\\QUILLDATA\\PART2"}, {}},
        {"only 5.0, no QUILL.INI", {"--data-dirs", "0", "--five-key"}, nullptr, 0, {"NULL"}, {strKind}},
        {"QUILL.INI of the Windows directory", {"--data-dirs", "0", "--quill-ini-windows", "--lowercase-path"},
         nullptr, 1, {"C:\\QUILLDATA\\PART1"}, {strKind}},
        {"no registry, no QUILL.INI", {"--no-registry"}, nullptr, 0, {"NULL"}, {strKind}},
        {"QSD package", {"--data-dirs", "0", "--quill-ini-windows"}, "QSD", 1, {}, {}},
        {"QSD package with data paths", {"--data-dirs", "1"}, "QSD", 1, {"C:\\QUILLDATA\\PART1"}, {}},
    };
    for (const DataCase& c : aCases) {
        SCOPED_TRACE(c.szName);
        TempMachine machine;
        std::vector<std::string> vArgs = {BinPath("tools/sample/heron-sample"), "--root", machine.Root()};
        vArgs.insert(vArgs.end(), c.vOptions.begin(), c.vOptions.end());
        ProcessResult r = RunProcess(vArgs);
        ASSERT_EQ(0, r.iExitCode) << r.strErr;
        if (c.szKind) strcpy(m_szKind, c.szKind);
        FindProgramDir();
        size_t cLogBefore = LogLines().size();

        EXPECT_EQ(c.iResult, FindDataDirs());
        EXPECT_EQ(c.vDirs, DataDirs());
        if (c.szKind && strcmp(c.szKind, "QSD") == 0 && c.vDirs.empty()) {
            // One entry, not counted, holding the program directory.
            EXPECT_EQ(0, giPartitions);
            ASSERT_NE(nullptr, gpQuillData);
            EXPECT_STREQ(gpProgramDir, gpQuillData[0]);
        }
        std::vector<std::string> vLog = LogLines();
        EXPECT_EQ(c.vLog, std::vector<std::string>(vLog.begin() + (long)cLogBefore, vLog.end()));

        strcpy(m_szKind, strKind.c_str());
        ReleaseDiscovery();
        setenv("HERON_ROOT", m_machine.Root().c_str(), 1);
    }
}

TEST_F(DiscoveryTest, ValidityBytesOnePerSubkey)
{
    Sample({"--data-dirs", "2", "--five-key"});
    ASSERT_EQ(1, FindDataDirs());
    ASSERT_NE(nullptr, gpDataDirValid);
    for (int i = 0; i < 3; i++) EXPECT_EQ(0, gpDataDirValid[i]);
}

TEST_F(DiscoveryTest, QuillIniOnTheSearchPathBeatsTheWindowsDirectory)
{
    Sample({"--data-dirs", "0", "--quill-ini-windows"});
    WriteFile(m_machine.Host("C:\\work\\QUILL.INI"), "[Quill]\r\nDirectory=d:\\here\\\r\n"); // the current directory
    EXPECT_EQ(1, FindDataDirs());
    EXPECT_EQ(std::vector<std::string>{"D:\\HERE"}, DataDirs());
    ReleaseDataDirs();

    unlink(m_machine.Host("C:\\work\\QUILL.INI").c_str());
    WriteFile(m_machine.Host("C:\\INIDIR\\quill.ini"), "[quill]\r\ndirectory=e:\\there\r\n");
    setenv("PATH", "C:\\NOPE;C:\\INIDIR", 1);
    EXPECT_EQ(1, FindDataDirs());
    EXPECT_EQ(std::vector<std::string>{"E:\\THERE"}, DataDirs());
}

// A registry read that fails is no answer: falling back to QUILL.INI, or
// going on without the subkey that could not be read, would upgrade one data
// directory of two and report success. Discovery fails and says why.
TEST_F(DiscoveryTest, AFailedRegistryReadIsNoAnswer)
{
    Sample({"--data-dirs", "2", "--quill-ini-windows"});
    for (const char* szOp : {"RegQueryInfoKey", "RegEnumKeyEx", "RegOpenKeyEx", "RegQueryValueEx", "HeapAlloc"}) {
        for (int n = 1; n <= 3; n++) {
            PlatFaultArm(szOp, n, ERROR_ACCESS_DENIED, 0);
            int r = FindDataDirs();
            PlatFaultReset();
            std::vector<std::string> v = DataDirs();
            ReleaseDataDirs();
            if (r == 1) {
                EXPECT_EQ((std::vector<std::string>{"C:\\QUILLDATA\\PART1", "C:\\QUILLDATA\\PART2"}), v)
                    << szOp << " " << n;
                continue;
            }
            EXPECT_EQ(std::vector<std::string>{"NULL"}, v) << szOp << " " << n;
            std::vector<std::string> vLines = LogLines();
            ASSERT_FALSE(vLines.empty()) << szOp << " " << n;
            EXPECT_EQ(0u, vLines.back().find("Reading the data directories from the registry failed: ")) << vLines.back();
        }
    }
}

TEST_F(DiscoveryTest, SystemDirectory)
{
    EXPECT_EQ(1, FindSystemDir());
    EXPECT_STREQ("C:\\WINDOWS\\SYSTEM32", gpSystemDir);
    PlatFaultArm("GetSystemDirectory", 1, ERROR_ACCESS_DENIED, 0);
    EXPECT_EQ(0, FindSystemDir());
    ASSERT_NE(nullptr, gpSystemDir);
    EXPECT_STREQ("", gpSystemDir);
}

TEST_F(DiscoveryTest, KeyFileAndPatchIniPresence)
{
    Sample({"--quillreg", "none"});
    const char* szSavedPatchIni = gpszPatchIni;

    // Not set: both pass without a look.
    EXPECT_EQ(1, KeyFileExists());
    EXPECT_EQ(1, PatchIniExists());
    EXPECT_TRUE(LogLines().empty());

    gpProgramDir = (char*)PlatHeapAlloc(261);
    strcpy(gpProgramDir, "C:\\VIREO\\GARNET");
    EXPECT_EQ(1, KeyFileExists());
    EXPECT_EQ(0, PatchIniExists());
    WriteFile(m_machine.Host("C:\\VIREO\\GARNET\\patch.ini"), "");
    gpszPatchIni = "GWA.INI"; // the test names PATCH.INI whatever the package uses
    EXPECT_EQ(1, PatchIniExists());
    gpszPatchIni = szSavedPatchIni;

    unlink(m_machine.Host("C:\\VIREO\\GARNET\\qstrings.dll").c_str());
    EXPECT_EQ(0, KeyFileExists());
    strcpy(m_szKind, "Custom Fix ");
    EXPECT_EQ(0, KeyFileExists()); // only the exact text is a custom fix
    EXPECT_EQ((std::vector<std::string>{"C:\\VIREO\\GARNET\\qstrings.dll", "C:\\VIREO\\GARNET\\qstrings.dll",
                                        "Checksum file above doesn't exist", "C:\\VIREO\\GARNET\\qstrings.dll",
                                        "Checksum file above doesn't exist"}),
              LogLines());

    // A custom fix never touches the disk: an armed failure of the next open
    // is still waiting afterwards, and nothing is logged.
    strcpy(m_szKind, "Custom Fix");
    size_t cLines = LogLines().size();
    PlatFaultArm("Fopen", 1, ERROR_ACCESS_DENIED, 0);
    EXPECT_EQ(1, KeyFileExists());
    EXPECT_EQ(1, PlatFaultHit("Fopen"));
    EXPECT_EQ(cLines, LogLines().size());
}

TEST_F(DiscoveryTest, SearchPathLookUp)
{
    char szOut[260];
    MakeDirs(m_machine.Host("C:\\work\\rel"));
    WriteFile(m_machine.Host("C:\\work\\rel\\FOUND.TXT"), "");
    MakeDirs(m_machine.Host("C:\\dir1\\FOUND.TXT")); // a directory does not count
    WriteFile(m_machine.Host("C:\\dir2\\found.txt"), "");

    setenv("PATH", "C:\\dir1;rel;C:\\dir2", 1); // relative entries hang off the current directory
    EXPECT_EQ(1, SearchPathFile("FOUND.TXT", szOut, sizeof(szOut)));
    EXPECT_STREQ("C:\\work\\rel\\FOUND.TXT", szOut);
    setenv("PATH", "C:\\dir1;C:\\dir2", 1);
    EXPECT_EQ(1, SearchPathFile("FOUND.TXT", szOut, sizeof(szOut)));
    EXPECT_STREQ("C:\\dir2\\FOUND.TXT", szOut);
    EXPECT_EQ(0, SearchPathFile("FOUND.TXT", szOut, 10)); // never a cut path
    EXPECT_STREQ("", szOut);
    unsetenv("PATH");
    EXPECT_EQ(0, SearchPathFile("FOUND.TXT", szOut, sizeof(szOut)));
    EXPECT_STREQ("", szOut);
}

} // namespace
