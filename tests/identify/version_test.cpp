// Tests of the version probes: the release stamp through the real
// version-stamp tool in a temporary emulated machine, file versions of PE
// files made by the project's writer, and the version text parsers.
#include "identify/version.h"

#include "platform/process.h"
#include "shell/globals.h"
#include "shell/log.h"

#include "pe_writer.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string Slurp(const std::string& strPath)
{
    std::ifstream in(strPath, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST(VersionText, DottedAndCommaForms)
{
    struct {
        const char* szText;
        int bDotted;   // expected result of ParseDottedVersion
        int bComma;    // expected result of ParseCommaVersion on a fresh copy
        int a[4];
    } aCases[] = {
        {"4.3.2.1", 1, 0, {4, 3, 2, 1}},
        {"..4..3.2...1", 1, 0, {4, 3, 2, 1}},
        {"8.0.2.17 (build)", 1, 0, {8, 0, 2, 17}},
        {"1.2.3.4.5", 1, 0, {1, 2, 3, 4}},
        {" 7. 0.x1.9", 1, 0, {7, 0, 0, 9}},
        {"4, 3, 2, 1", 0, 1, {4, 3, 2, 1}},
        {"7,0,1,5.2", 0, 1, {7, 0, 1, 5}},
        {"4.3.2", 0, 0, {0, 0, 0, 0}},
        {"4,3,2", 0, 0, {0, 0, 0, 0}},
        {"", 0, 0, {0, 0, 0, 0}},
        {"99999999999.1.1.1", 1, 0, {2147483647, 1, 1, 1}},
    };
    for (const auto& c : aCases) {
        int a[4] = {-1, -1, -1, -1};
        char sz[64];
        strcpy(sz, c.szText);
        EXPECT_EQ(c.bDotted, ParseDottedVersion(sz, &a[0], &a[1], &a[2], &a[3])) << c.szText;
        if (c.bDotted) {
            EXPECT_EQ(std::vector<int>(c.a, c.a + 4), std::vector<int>(a, a + 4)) << c.szText;
        }
        strcpy(sz, c.szText);
        int b[4] = {-1, -1, -1, -1};
        EXPECT_EQ(c.bComma, ParseCommaVersion(sz, &b[0], &b[1], &b[2], &b[3])) << c.szText;
        if (c.bComma) {
            EXPECT_EQ(std::vector<int>(c.a, c.a + 4), std::vector<int>(b, b + 4)) << c.szText;
        }
        if (!c.bDotted && !c.bComma) {
            EXPECT_EQ(-1, b[0]) << "outputs untouched on failure";
        }
    }
    EXPECT_EQ(0, ParseDottedVersion(nullptr, nullptr, nullptr, nullptr, nullptr));
}

// A temporary emulated machine: C:\VIREO\GARNET is the program directory,
// C:\START the start-up directory holding UpdateVersion.exe, TEMP (where the
// upgrade log goes) a Linux directory.
class VersionProbeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char szTemplate[] = "/tmp/heron-version-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(szTemplate));
        m_root = szTemplate;
        SaveEnv("HERON_ROOT");
        SaveEnv("TEMP");
        SaveEnv("HERON_LANGID");
        setenv("HERON_ROOT", m_root.c_str(), 1);
        setenv("TEMP", (m_root + "/temp").c_str(), 1);
        fs::create_directories(m_root + "/drive_c/VIREO/GARNET");
        fs::create_directories(m_root + "/drive_c/START");
        fs::create_directories(m_root + "/temp");
        m_prog = m_root + "/drive_c/VIREO/GARNET";
        m_cwd = fs::current_path();

        strcpy(m_szProgramDir, "C:\\VIREO\\GARNET");
        m_pSavedProgramDir = gpProgramDir;
        gpProgramDir = m_szProgramDir;
        strcpy(m_szSavedStart, gszStartDir);
        strcpy(gszStartDir, "C:\\START");
        memset(gszCurrentRelease, 0, sizeof(gszCurrentRelease));
        ASSERT_TRUE(OpenLog());
    }
    void TearDown() override
    {
        CloseLog();
        gpProgramDir = m_pSavedProgramDir;
        strcpy(gszStartDir, m_szSavedStart);
        fs::current_path(m_cwd);
        for (auto& saved : m_env) {
            if (saved.second.first) setenv(saved.first.c_str(), saved.second.second.c_str(), 1);
            else unsetenv(saved.first.c_str());
        }
        fs::remove_all(m_root);
    }
    void SaveEnv(const char* szName)
    {
        const char* sz = getenv(szName);
        m_env.push_back({szName, {sz != nullptr, sz ? sz : ""}});
    }
    void InstallTool()
    {
        std::string strTool = std::string(HERON_BIN_DIR) + "/tools/updver/UpdateVersion";
        ASSERT_TRUE(fs::exists(strTool)) << strTool;
        fs::copy_file(strTool, m_root + "/drive_c/START/UpdateVersion.exe", fs::copy_options::overwrite_existing);
        chmod((m_root + "/drive_c/START/UpdateVersion.exe").c_str(), 0755);
    }
    std::string Log() { return Slurp(m_root + "/temp/UPGRADE.LOG"); }
    // Runs the tool with a command line as the installer would and returns its exit code.
    DWORD RunTool(const std::string& strCommand)
    {
        PLAT_PROCESS proc = {};
        std::string strTool = "C:\\START\\UpdateVersion.exe " + strCommand;
        if (!PlatCreateProcess(strTool.c_str(), NULL, 0, 0, &proc)) return 9999;
        PlatWaitForSingleObject(proc.hProcess, INFINITE);
        DWORD dwCode = 9998;
        PlatGetExitCodeProcess(proc.hProcess, &dwCode);
        PlatCloseHandle(proc.hThread);
        PlatCloseHandle(proc.hProcess);
        return dwCode;
    }

    std::string m_root, m_prog;
    fs::path m_cwd;
    std::vector<std::pair<std::string, std::pair<bool, std::string>>> m_env;
    char m_szProgramDir[261];
    char* m_pSavedProgramDir = nullptr;
    char m_szSavedStart[sizeof(gszStartDir)];
};

TEST_F(VersionProbeTest, StampRoundTripThroughTheTool)
{
    InstallTool();
    std::string strKey = m_prog + "/qstrings.dll";
    ASSERT_TRUE(PewWriteKeyFile(strKey.c_str(), "Release 8.0.2|May 1, 2010", "8.0.2.17"));
    std::string strBefore = Slurp(strKey);
    ASSERT_TRUE(PlatSetCurrentDirectory("C:\\VIREO\\GARNET"));

    ReadVersionStamp();
    EXPECT_STREQ("Release 8.0.2|May 1, 2010", gszCurrentRelease);
    EXPECT_EQ("Release 8.0.2|May 1, 2010", Slurp(m_prog + "/currver.txt"));

    EXPECT_EQ(1, WriteVersionStamp("Release 8.0.2FP1|June 2, 2011"));
    char szCwd[MAX_PATH];
    PlatGetCurrentDirectory(sizeof(szCwd), szCwd);
    EXPECT_STREQ("C:\\VIREO\\GARNET", szCwd);
    ReadVersionStamp();
    EXPECT_STREQ("Release 8.0.2FP1|June 2, 2011", gszCurrentRelease);

    // Same size, only the stamp's bytes differ, the neighbour string survives.
    std::string strAfter = Slurp(strKey);
    ASSERT_EQ(strBefore.size(), strAfter.size());
    size_t cDiff = 0;
    for (size_t i = 0; i < strBefore.size(); i++) cDiff += strBefore[i] != strAfter[i];
    EXPECT_GT(cDiff, 0u);
    EXPECT_LE(cDiff, 2u * PEW_STAMP_CAPACITY);

    std::string strLog = Log();
    EXPECT_NE(std::string::npos, strLog.find("C:\\VIREO\\GARNET\\qstrings.dll\r\nC:\\VIREO\\GARNET\\currver.txt\r\n"
                                             "Release 8.0.2|May 1, 2010\r\n"));
    EXPECT_NE(std::string::npos, strLog.find("Upgraded version to Release 8.0.2FP1|June 2, 2011\r\n"));
}

TEST_F(VersionProbeTest, ToolRefusesWhatItCannotDoAndLeavesTheKeyFileWhole)
{
    InstallTool();
    std::string strKey = m_prog + "/qstrings.dll";
    std::string strCurrver = m_prog + "/currver.txt";
    const std::string strDir = "\"C:\\VIREO\\GARNET\"";
    const std::string strRead = strDir + " myversion read ";

    // A missing key file: exit 1, and an old stamp file does not survive.
    std::ofstream(strCurrver) << "Release 1.0|stale";
    EXPECT_EQ(1u, RunTool(strRead));
    EXPECT_FALSE(fs::exists(strCurrver));

    // Not a PE file; a PE file without a stamp; a stamp of blanks only.
    std::ofstream(strKey) << std::string(200, 'x');
    EXPECT_EQ(1u, RunTool(strRead));
    PEW_STRING aOther[] = {{1, "Quill"}};
    PEW_LAYOUT layout = {};
    layout.pStrings = aOther;
    layout.cStrings = 1;
    ASSERT_TRUE(PewWriteFile(strKey.c_str(), &layout));
    EXPECT_EQ(1u, RunTool(strRead));
    EXPECT_EQ(1u, RunTool(strDir + " \"Release 2|x\" write "));
    PEW_STRING aBlank[] = {{PEW_STAMP_ID, "      "}};
    layout.pStrings = aBlank;
    ASSERT_TRUE(PewWriteFile(strKey.c_str(), &layout));
    EXPECT_EQ(1u, RunTool(strRead));
    EXPECT_FALSE(fs::exists(strCurrver));

    // A label longer than the room, an empty label: the file stays byte for byte.
    PEW_STRING aShort[] = {{PEW_STAMP_ID, "Release 7|x   "}};
    layout.pStrings = aShort;
    ASSERT_TRUE(PewWriteFile(strKey.c_str(), &layout));
    std::string strBefore = Slurp(strKey);
    EXPECT_EQ(1u, RunTool(strDir + " \"Release 7.0.1|May 1, 2009\" write "));
    EXPECT_EQ(1u, RunTool(strDir + " \"\" write "));
    EXPECT_EQ(strBefore, Slurp(strKey));
    // Exactly the room fits.
    EXPECT_EQ(0u, RunTool(strDir + " \"Release 8|May3\" write "));
    EXPECT_EQ(0u, RunTool(strRead));
    EXPECT_EQ("Release 8|May3", Slurp(strCurrver));  // 14 characters: the whole room

    // A read-only key file is not written.
    strBefore = Slurp(strKey);
    chmod(strKey.c_str(), 0444);
    EXPECT_EQ(1u, RunTool(strDir + " \"Release 9|x\" write "));
    EXPECT_EQ(strBefore, Slurp(strKey));
    chmod(strKey.c_str(), 0644);

    // Wrong command lines.
    EXPECT_EQ(2u, RunTool(""));
    EXPECT_EQ(2u, RunTool(strDir + " myversion print "));
    // No temporary files are left beside the key file.
    for (const auto& entry : fs::directory_iterator(m_prog))
        EXPECT_EQ(std::string::npos, entry.path().filename().string().find("uvtmp")) << entry.path();
}

TEST_F(VersionProbeTest, WriteWithoutToolFailsAndRestoresTheDirectory)
{
    ASSERT_TRUE(PlatSetCurrentDirectory("C:\\START"));
    EXPECT_EQ(0, WriteVersionStamp("Release 8.0.2|May 1, 2010"));
    char szCwd[MAX_PATH];
    PlatGetCurrentDirectory(sizeof(szCwd), szCwd);
    EXPECT_STREQ("C:\\VIREO\\GARNET", szCwd);
    std::string strLog = Log();
    EXPECT_NE(std::string::npos, strLog.find("UpdateVersion.exe \"C:\\VIREO\\GARNET\" \"Release 8.0.2|May 1, 2010\" write \r\n"
                                             "Failed to upgrade qstrings.dll version: 2\r\n"));
}

TEST_F(VersionProbeTest, ReadFailuresEndTheProcess)
{
    // No tool.
    EXPECT_EXIT(ReadVersionStamp(), ::testing::ExitedWithCode(1), "");
    EXPECT_NE(std::string::npos, Log().find("UpdateVersion.exe \"C:\\VIREO\\GARNET\" myversion read \r\n"
                                            "Failed to read version from  qstrings.dll version: 2\r\n"));
    // The tool runs but has no key file: a stale stamp file is not taken.
    InstallTool();
    std::ofstream(m_prog + "/currver.txt") << "Release 1.0|stale";
    EXPECT_EXIT(ReadVersionStamp(), ::testing::ExitedWithCode(1), "");
    EXPECT_NE(std::string::npos, Log().find("Can't open C:\\VIREO\\GARNET\\currver.txt\r\n"));
}

TEST_F(VersionProbeTest, QsdPackageReadsNoStamp)
{
    char szQsd[] = "QSD";
    char* pSaved = gpStrings[42];
    int iSavedCount = gdwStringCount;
    gpStrings[42] = szQsd;
    if (gdwStringCount < 43) gdwStringCount = 43;
    strcpy(gszCurrentRelease, "kept");
    ReadVersionStamp();  // no tool installed: it would end the process if it ran
    EXPECT_STREQ("kept", gszCurrentRelease);
    gpStrings[42] = pSaved;
    gdwStringCount = iSavedCount;
}

TEST_F(VersionProbeTest, LongStampFileGivesItsFirst127Bytes)
{
    // A stand-in tool that writes a long stamp file, as another tool version might.
    std::string strScript = m_root + "/drive_c/START/UpdateVersion.exe";
    std::ofstream(strScript) << "#!/bin/sh\nprintf '%0200d' 7 > \"" << m_prog << "/currver.txt\"\n";
    chmod(strScript.c_str(), 0755);
    ReadVersionStamp();
    EXPECT_EQ(127u, strlen(gszCurrentRelease));
    EXPECT_EQ('0', gszCurrentRelease[126]);
}

TEST_F(VersionProbeTest, StaleStampFileIsDeletedBeforeTheToolRuns)
{
    // A stand-in tool that succeeds and writes nothing: only the installer's
    // own deletion keeps the stamp of an earlier run from being taken.
    std::string strScript = m_root + "/drive_c/START/UpdateVersion.exe";
    std::ofstream(strScript) << "#!/bin/sh\nexit 0\n";
    chmod(strScript.c_str(), 0755);
    std::ofstream(m_prog + "/currver.txt") << "Release 1.0|stale";
    EXPECT_EXIT(ReadVersionStamp(), ::testing::ExitedWithCode(1), "");
    EXPECT_NE(std::string::npos, Log().find("Can't open C:\\VIREO\\GARNET\\currver.txt\r\n")) << Log();
    EXPECT_STREQ("", gszCurrentRelease);
}

TEST_F(VersionProbeTest, StampPathsThatDoNotFitStopTheRun)
{
    // A program directory of 247 characters: "\\qstrings.dll" makes 260, one
    // too many; the path is not cut into another file's name.
    std::string strDir = "C:\\" + std::string(244, 'p');
    snprintf(m_szProgramDir, sizeof(m_szProgramDir), "%s", strDir.c_str());
    EXPECT_EXIT(ReadVersionStamp(), ::testing::ExitedWithCode(1), "");
    EXPECT_NE(std::string::npos, Log().find("Path too long: " + strDir + "\\qstrings.dll\r\n")) << Log();
    snprintf(m_szProgramDir, sizeof(m_szProgramDir), "C:\\VIREO\\GARNET"); // the log can move again
}

TEST_F(VersionProbeTest, FileVersionsOfPeFiles)
{
    struct {
        const char* szName;
        const char* szFileVersion;
        int bNoTranslation;
        const char* szTableKey;
        unsigned short wLang;
        const char* szLangId;   // HERON_LANGID for the user's default language
        int iResult;
        int a[4];
        const char* szLogLine;
    } aCases[] = {
        {"dotted.dll", "4.3.2.1", 0, nullptr, 0, nullptr, 1, {4, 3, 2, 1}, "\tversionInfo is  4.3.2.1 for file "},
        {"comma.dll", "4, 3, 2, 1", 0, nullptr, 0, nullptr, 1, {4, 3, 2, 1}, nullptr},
        {"three.dll", "4.3.2", 0, nullptr, 0, nullptr, 0, {0}, "\tversionInfo is  4.3.2 for file "},
        {"german.dll", "7.0.1.3", 0, nullptr, 0x0407, nullptr, 1, {7, 0, 1, 3}, nullptr},
        // No translation table: the user's default language and 04B0.
        {"notrans.dll", "8.0.2.5", 1, "040704B0", 0x0407, "0407", 1, {8, 0, 2, 5}, nullptr},
        {"notrans2.dll", "8.0.2.5", 1, "040704B0", 0x0407, "0409", 0, {0}, "\tVerQueryValue call failed for "},
        // Translation names a table the file lacks.
        {"mismatch.dll", "8.0.2.5", 0, "040904E4", 0, nullptr, 0, {0}, "\tVerQueryValue call failed for "},
    };
    for (const auto& c : aCases) {
        PEW_LAYOUT layout = {};
        layout.szFileVersion = c.szFileVersion;
        layout.bNoTranslation = c.bNoTranslation;
        layout.szTableKey = c.szTableKey;
        layout.wLanguage = c.wLang;
        ASSERT_TRUE(PewWriteFile((m_prog + "/" + c.szName).c_str(), &layout));
        if (c.szLangId) setenv("HERON_LANGID", c.szLangId, 1);
        else unsetenv("HERON_LANGID");
        std::string strPath = std::string("C:\\VIREO\\GARNET\\") + c.szName;
        int a[4] = {-1, -1, -1, -1};
        EXPECT_EQ(c.iResult, ReadFileVersion(strPath.c_str(), &a[0], &a[1], &a[2], &a[3])) << c.szName;
        if (c.iResult) {
            EXPECT_EQ(std::vector<int>(c.a, c.a + 4), std::vector<int>(a, a + 4)) << c.szName;
        }
        if (c.szLogLine) {
            EXPECT_NE(std::string::npos, Log().find(c.szLogLine + strPath + "\r\n")) << c.szName;
        }
    }

    // No file, no version resource.
    int a[4];
    EXPECT_EQ(0, ReadFileVersion("C:\\VIREO\\GARNET\\none.dll", &a[0], &a[1], &a[2], &a[3]));
    EXPECT_NE(std::string::npos, Log().find("\tGetFileVersionInfoSize call failed for C:\\VIREO\\GARNET\\none.dll\r\n"));
    ASSERT_TRUE(PewWriteKeyFile((m_prog + "/qstrings.dll").c_str(), "Release 1|x", nullptr));
    EXPECT_EQ(0, ReadFileVersion("C:\\VIREO\\GARNET\\qstrings.dll", &a[0], &a[1], &a[2], &a[3]));
}

TEST_F(VersionProbeTest, LongFileVersionIsCutTo250Characters)
{
    std::string strLong = "1.2.3.4" + std::string(293, 'x');
    PEW_LAYOUT layout = {};
    layout.szFileVersion = strLong.c_str();
    ASSERT_TRUE(PewWriteFile((m_prog + "/long.dll").c_str(), &layout));
    int a[4];
    EXPECT_EQ(1, ReadFileVersion("C:\\VIREO\\GARNET\\long.dll", &a[0], &a[1], &a[2], &a[3]));
    EXPECT_NE(std::string::npos,
              Log().find("versionInfo is  " + strLong.substr(0, 250) + " for file C:\\VIREO\\GARNET\\long.dll\r\n"));
}

// A key file built by the mingw-w64 resource compiler and linker, whose
// string table holds the stamp (with the blanks that are its room).
TEST_F(VersionProbeTest, StampOfAKeyFileBuiltByWindres)
{
    if (system("command -v x86_64-w64-mingw32-windres >/dev/null 2>&1") != 0 ||
        system("command -v x86_64-w64-mingw32-ld >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "x86_64-w64-mingw32-windres/ld not installed (binutils-mingw-w64-x86-64)";
    InstallTool();
    std::string strRc = m_root + "/k.rc";
    std::ofstream(strRc) << "LANGUAGE 0x09, 0x01\n"
                            "STRINGTABLE\nBEGIN\n"
                            "    1, \"Quill\"\n"
                            "    65000, \"Release 7.0.1FP1|March 3, 2009                      \"\n"
                            "    65001, \"neighbour\"\n"
                            "END\n"
                            "1 VERSIONINFO\nFILEVERSION 7,0,1,5\nPRODUCTVERSION 7,0,1,5\nBEGIN\n"
                            "  BLOCK \"StringFileInfo\"\n  BEGIN\n    BLOCK \"040904b0\"\n    BEGIN\n"
                            "      VALUE \"FileVersion\", \"7, 0, 1, 5\"\n    END\n  END\n"
                            "  BLOCK \"VarFileInfo\"\n  BEGIN\n    VALUE \"Translation\", 0x409, 1200\n  END\n"
                            "END\n";
    // windres runs the C preprocessor; the host's cpp serves when the
    // cross compiler is not installed.
    std::string strPre = system("command -v x86_64-w64-mingw32-gcc >/dev/null 2>&1") == 0 ? "" : "--preprocessor=cpp ";
    std::string strCmd = "x86_64-w64-mingw32-windres " + strPre + strRc + " -O coff -o " + m_root + "/k.o && " +
                         "x86_64-w64-mingw32-ld --dll -e 0 -o " + m_prog + "/qstrings.dll " + m_root + "/k.o";
    ASSERT_EQ(0, system(strCmd.c_str())) << strCmd;

    ReadVersionStamp();
    EXPECT_STREQ("Release 7.0.1FP1|March 3, 2009", gszCurrentRelease);
    EXPECT_EQ(1, WriteVersionStamp("Release 7.0.1FP2|April 4, 2009"));
    ReadVersionStamp();
    EXPECT_STREQ("Release 7.0.1FP2|April 4, 2009", gszCurrentRelease);

    int a[4];
    EXPECT_EQ(1, ReadFileVersion("C:\\VIREO\\GARNET\\qstrings.dll", &a[0], &a[1], &a[2], &a[3]));
    EXPECT_EQ((std::vector<int>{7, 0, 1, 5}), std::vector<int>(a, a + 4));

    // The rewritten file is still a sound PE file for the toolchain.
    if (system("command -v x86_64-w64-mingw32-objdump >/dev/null 2>&1") == 0) {
        strCmd = "x86_64-w64-mingw32-objdump -p " + m_prog + "/qstrings.dll >/dev/null 2>&1";
        EXPECT_EQ(0, system(strCmd.c_str()));
    }
}

}  // namespace
