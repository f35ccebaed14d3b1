// File and path utilities on real files in a temporary emulated machine.
#include "platform/platform.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "shell/utils.h"
#include "support/machine.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

TEST(PathTexts, SplitNamesAsDocumented)
{
    struct Row {
        const char* szIn;
        const char* szBase;
        const char* szStem;
        const char* szExt;
    } rows[] = {
        {"a.b.c", "a.b.c", "a.b", "c"},
        {"noext", "noext", "noext", ""},
        {"gar-dojo.cab", "gar-dojo.cab", "gar-dojo", "cab"},
        {"C:\\A\\B\\file.txt", "file.txt", "C:\\A\\B\\file", "txt"},
        {"dir.d\\name", "name", "dir", "d\\name"},
        {"", "", "", ""},
    };
    for (const Row& row : rows) {
        char sz[260];
        BaseName(row.szIn, sz, sizeof(sz));
        EXPECT_STREQ(row.szBase, sz) << row.szIn;
        StripExtension(row.szIn, sz, sizeof(sz));
        EXPECT_STREQ(row.szStem, sz) << row.szIn;
        ExtensionOf(row.szIn, sz, sizeof(sz));
        EXPECT_STREQ(row.szExt, sz) << row.szIn;
    }
    char szBlank[] = "abc   ";
    TrimTrailingBlanks(szBlank);
    EXPECT_STREQ("abc", szBlank);
    char szEmpty[] = "";
    TrimTrailingBlanks(szEmpty);
    EXPECT_STREQ("", szEmpty);
    EXPECT_EQ(1, IsDotEntry("."));
    EXPECT_EQ(1, IsDotEntry(".."));
    EXPECT_EQ(0, IsDotEntry("..."));
}

TEST(FileCrc32, KnownValuesAndStreamPosition)
{
    TempMachine machine;
    WriteFile(machine.Host("C:\\digits.txt"), "123456789");
    WriteFile(machine.Host("C:\\empty.txt"), "");
    PLATFILE* pf = PlatFopen("C:\\digits.txt", "rb");
    ASSERT_NE(nullptr, pf);
    PlatFgetc(pf);
    EXPECT_EQ(0xCBF43926u, FileCrc32(pf));
    EXPECT_EQ(0, PlatFtell(pf)); // back at the start
    EXPECT_EQ(9u, StreamSize(pf));
    PlatFclose(pf);
    pf = PlatFopen("C:\\empty.txt", "rb");
    ASSERT_NE(nullptr, pf);
    EXPECT_EQ(0u, FileCrc32(pf));
    PlatFclose(pf);
    EXPECT_EQ(0u, FileCrc32(nullptr));
    EXPECT_EQ(0u, StreamSize(nullptr));
}

TEST(FileTests, ExistenceSizeAndDirectories)
{
    TempMachine machine;
    WriteFile(machine.Host("C:\\VIREO\\GARNET\\QSD.EXE"), "12345");
    EXPECT_EQ(1, FileExists("C:\\vireo\\garnet\\qsd.exe"));
    EXPECT_EQ(0, FileExists("C:\\VIREO\\GARNET\\missing.exe"));
    EXPECT_EQ(0, FileExists("C:\\VIREO\\GARNET")); // a directory is not a file
    EXPECT_EQ(5u, FileSizeOf("C:\\VIREO\\GARNET\\QSD.EXE"));
    EXPECT_EQ(0u, FileSizeOf("C:\\VIREO\\GARNET\\missing.exe"));

    char szBefore[260], szAfter[260];
    PlatGetCurrentDirectory(sizeof(szBefore), szBefore);
    EXPECT_EQ(1, DirectoryExists("C:\\VIREO\\GARNET"));
    EXPECT_EQ(0, DirectoryExists("C:\\VIREO\\GARNET\\QSD.EXE"));
    EXPECT_EQ(0, DirectoryExists("C:\\NOPE"));
    PlatGetCurrentDirectory(sizeof(szAfter), szAfter);
    EXPECT_STREQ(szBefore, szAfter); // restored whatever the outcome
}

TEST(CopyFileContents, CopiesBytesAndLogsNothingOnSuccess)
{
    TempMachine machine;
    std::string strData;
    for (int i = 0; i < 5000; i++) strData += (char)(i * 7);
    WriteFile(machine.Host("C:\\src.bin"), strData);
    WriteFile(machine.Host("C:\\dst.bin"), "old contents that are longer than nothing");
    EXPECT_EQ(1, CopyFileContents("C:\\src.bin", "C:\\dst.bin"));
    EXPECT_EQ(strData, ReadFile(machine.Host("C:\\dst.bin")));
    EXPECT_EQ(0, CopyFileContents("C:\\missing.bin", "C:\\dst2.bin"));
    EXPECT_FALSE(PathExists(machine.Host("C:\\dst2.bin")));
    EXPECT_EQ(0, CopyFileContents("C:\\src.bin", "C:\\nodir\\dst.bin"));
}

TEST(CreatePath, CreatesEachLevelButNotTheFile)
{
    TempMachine machine;
    EXPECT_EQ(1, CreatePath("C:\\A\\B\\file.txt"));
    EXPECT_TRUE(PathExists(machine.Host("C:\\A\\B")));
    EXPECT_FALSE(PathExists(machine.Host("C:\\A\\B\\file.txt")));
    EXPECT_EQ(0, CreatePath("C:\\A\\B\\file.txt")); // B existed
    EXPECT_EQ(1, CreatePath("C:\\A\\C\\")); // trailing separator: C is a directory
    EXPECT_TRUE(PathExists(machine.Host("C:\\A\\C")));
    EXPECT_EQ(1, CreatePath("plainname"));
}

TEST(RemoveTree, KeepsReadOnlyFilesAndProtectedNames)
{
    TempMachine machine;
    WriteFile(machine.Host("C:\\T\\sub\\one.txt"), "1");
    WriteFile(machine.Host("C:\\T\\sub\\deeper\\two.txt"), "2");
    WriteFile(machine.Host("C:\\T\\ro.txt"), "r");
    WriteFile(machine.Host("C:\\T\\plain.txt"), "p");
    WriteFile(machine.Host("C:\\T\\xnl2y.dat"), "n");
    chmod(machine.Host("C:\\T\\ro.txt").c_str(), 0444);
    EXPECT_EQ(1, RemoveTree("C:\\T"));
    EXPECT_FALSE(PathExists(machine.Host("C:\\T\\sub")));
    EXPECT_FALSE(PathExists(machine.Host("C:\\T\\plain.txt")));
    EXPECT_TRUE(PathExists(machine.Host("C:\\T\\ro.txt")));
    EXPECT_TRUE(PathExists(machine.Host("C:\\T\\xnl2y.dat")));
    EXPECT_TRUE(PathExists(machine.Host("C:\\T")));
    EXPECT_EQ(0, RemoveTree("C:\\missing"));
}

TEST(RemoveTree, StopsWhenADeleteFails)
{
    TempMachine machine;
    WriteFile(machine.Host("C:\\T\\a.txt"), "1");
    WriteFile(machine.Host("C:\\T\\b.txt"), "2");
    PlatFaultArm("DeleteFile", 1, ERROR_ACCESS_DENIED, 0);
    EXPECT_EQ(0, RemoveTree("C:\\T"));
    PlatFaultReset();
    EXPECT_TRUE(PathExists(machine.Host("C:\\T\\a.txt")));
    EXPECT_TRUE(PathExists(machine.Host("C:\\T\\b.txt"))); // nothing after the failure
}

// An open log in the machine's C:\TEMP for the failure lines of one test.
class LogSession {
public:
    explicit LogSession(const TempMachine& machine) : m_machine(machine)
    {
        setenv("TEMP", "C:\\TEMP", 1);
        MakeDirs(machine.Host("C:\\PROG"));
        OpenLog();
    }
    ~LogSession()
    {
        char szProgram[] = "C:\\PROG";
        gpProgramDir = szProgram;
        CloseLog();
        gpProgramDir = nullptr;
        unsetenv("TEMP");
    }
    std::vector<std::string> Lines() { return LogBodyLines(m_machine.Host("C:\\TEMP\\UPGRADE.LOG")); }

private:
    const TempMachine& m_machine;
};

TEST(CopyFileContents, FailuresAreReportedWithTheirLines)
{
    TempMachine machine;
    LogSession log(machine);
    // Several of the copy's 64 KB blocks, so that a write in the middle can fail.
    WriteFile(machine.Host("C:\\src.bin"), std::string(3 * 65536 + 5000, 'x'));
    EXPECT_EQ(0, CopyFileContents("C:\\missing.bin", "C:\\dst.bin"));
    EXPECT_EQ(0, CopyFileContents("C:\\src.bin", "C:\\nodir\\dst.bin"));
    // A full disk: the copy is cut, and said to be.
    ASSERT_EQ(0, symlink("/dev/full", machine.Host("C:\\full.bin").c_str()));
    EXPECT_EQ(0, CopyFileContents("C:\\src.bin", "C:\\full.bin"));
    // A failed write in the middle.
    PlatFaultArm("Fwrite", 2, 112, 0);
    EXPECT_EQ(0, CopyFileContents("C:\\src.bin", "C:\\dst.bin"));
    PlatFaultReset();
    EXPECT_EQ((std::vector<std::string>{"\tCan't open old backup file C:\\missing.bin for reading",
                                        "\tCan't open new backup file C:\\nodir\\dst.bin for writing",
                                        "\tCan't write new backup file C:\\full.bin",
                                        "\tCan't write new backup file C:\\dst.bin"}),
              log.Lines());
}

TEST(ComposedPaths, NeverCutIntoAnotherName)
{
    TempMachine machine;
    LogSession log(machine);
    char sz[MAX_PATH];
    std::string strDir = "C:\\" + std::string(247, 'd'); // 250 characters
    EXPECT_EQ(1, JoinPath(sz, sizeof(sz), strDir.c_str(), "12345678")); // 259: fits
    EXPECT_EQ(strDir + "\\12345678", sz);
    EXPECT_EQ(0, JoinPath(sz, sizeof(sz), strDir.c_str(), "123456789"));
    EXPECT_STREQ("", sz);
    EXPECT_EQ((std::vector<std::string>{"Path too long: " + strDir + "\\123456789"}), log.Lines());

    // RemoveTree does not follow a link out of its tree, and removes the link.
    WriteFile(machine.Host("C:\\KEEP\\precious.txt"), "keep");
    WriteFile(machine.Host("C:\\T\\a.txt"), "1");
    MakeDirs(machine.Host("C:\\T\\sub"));
    ASSERT_EQ(0, symlink(machine.Host("C:\\KEEP").c_str(), machine.Host("C:\\T\\sub\\link").c_str()));
    ASSERT_EQ(0, symlink(machine.Host("C:\\KEEP\\precious.txt").c_str(), machine.Host("C:\\T\\file").c_str()));
    EXPECT_EQ(1, RemoveTree("C:\\T"));
    EXPECT_EQ("keep", ReadFile(machine.Host("C:\\KEEP\\precious.txt")));
    EXPECT_FALSE(PathExists(machine.Host("C:\\T\\sub")));
    EXPECT_FALSE(PathExists(machine.Host("C:\\T\\file")));

    // A directory has no size of its own.
    EXPECT_EQ(0u, FileSizeOf("C:\\KEEP"));
    EXPECT_EQ(4u, FileSizeOf("C:\\KEEP\\precious.txt"));
}

TEST(DirectoryExists, RestoresACurrentDirectoryLongerThanAPath)
{
    TempMachine machine;
    std::string strDeep = "C:\\" + std::string(200, 'a') + "\\" + std::string(200, 'b');
    MakeDirs(machine.Host(strDeep));
    MakeDirs(machine.Host("C:\\OTHER"));
    ASSERT_TRUE(PlatSetCurrentDirectory(strDeep.c_str()));
    EXPECT_EQ(1, DirectoryExists("C:\\OTHER"));
    EXPECT_EQ(0, DirectoryExists("C:\\NOPE"));
    std::vector<char> vCwd(1024);
    ASSERT_LT(0u, PlatGetCurrentDirectory((DWORD)vCwd.size(), vCwd.data()));
    EXPECT_EQ(strDeep, vCwd.data());
}

} // namespace

// A file that is there but cannot be opened now exists; a directory or a
// missing name does not.
TEST(FileExists, HeldFilesExistDirectoriesAndMissingNamesDoNot)
{
    TempMachine machine;
    WriteFile(machine.Host("C:\\T\\held.txt"), "1");
    PlatFaultArm("Fopen", 1, ERROR_SHARING_VIOLATION, 0);
    EXPECT_EQ(1, FileExists("C:\\T\\held.txt"));
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, PlatGetLastError()) << "the open's error stays";
    PlatFaultArm("Fopen", 1, ERROR_ACCESS_DENIED, 0);
    EXPECT_EQ(0, FileExists("C:\\T"));
    PlatFaultReset();
    EXPECT_EQ(0, FileExists("C:\\T"));
    EXPECT_EQ(0, FileExists("C:\\T\\missing.txt"));
    EXPECT_EQ(0, FileExists("C:\\missing\\held.txt"));
}

// The directory test goes into the directory and back: when the current
// directory cannot be read, or the way back fails once, the run's current
// directory (its relative names) stays where it was.
TEST(DirectoryExists, NeverLeavesTheCurrentDirectoryElsewhere)
{
    TempMachine machine;
    MakeDirs(machine.Host("C:\\PROG\\SUB"));
    WriteFile(machine.Host("C:\\PROG\\a.txt"), "1");
    ASSERT_TRUE(PlatSetCurrentDirectory("C:\\PROG"));
    char szCwd[260];
    for (const char* szOp : {"GetCurrentDirectory", "SetCurrentDirectory"}) {
        PlatFaultArm(szOp, szOp[0] == 'G' ? 1 : 2, ERROR_ACCESS_DENIED, 0);
        EXPECT_EQ(1, DirectoryExists("C:\\PROG\\SUB")) << szOp;
        PlatFaultReset();
        ASSERT_GT(PlatGetCurrentDirectory(sizeof(szCwd), szCwd), 0u);
        EXPECT_STREQ("C:\\PROG", szCwd) << szOp;
        EXPECT_EQ(1, FileExists("a.txt")) << szOp;
    }
    PlatFaultArm("GetCurrentDirectory", 1, ERROR_ACCESS_DENIED, 0);
    EXPECT_EQ(0, DirectoryExists("C:\\PROG\\a.txt"));
    PlatFaultReset();
}

// An injected read or write failure sets the stream's error indicator, as
// a failing system read does in the C runtime: callers tell a failed read
// from a file with other content.
TEST(StreamFaults, AFailedReadOrWriteSetsTheErrorIndicator)
{
    TempMachine machine;
    WriteFile(machine.Host("C:\\f.bin"), "abc");
    PLATFILE* pf = PlatFopen("C:\\f.bin", "rb");
    ASSERT_NE(nullptr, pf);
    char ab[4];
    PlatFaultArm("Fread", 1, 30, 0);
    EXPECT_EQ(0u, PlatFread(ab, 1, sizeof(ab), pf));
    PlatFaultReset();
    EXPECT_NE(0, PlatFerror(pf));
    PlatFclose(pf);
    pf = PlatFopen("C:\\g.bin", "wb");
    ASSERT_NE(nullptr, pf);
    EXPECT_EQ(0, PlatFerror(pf));
    PlatFaultArm("Fwrite", 1, 112, 0);
    EXPECT_EQ(0u, PlatFwrite("x", 1, 1, pf));
    PlatFaultReset();
    EXPECT_NE(0, PlatFerror(pf));
    PlatFclose(pf);
}
