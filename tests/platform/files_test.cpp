// The Linux emulation of Win32 paths, files and directories: drive mapping,
// case-insensitive names, text mode, error codes, fault injection, files held
// by other processes.
#include "platform/platform.h"
#include "support/machine.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

namespace {

TEST(Paths, DrivesMapBelowTheRootAndZIsTheLinuxRoot)
{
    TempMachine machine;
    char sz[4096];
    ASSERT_EQ(1, PlatHostPath("C:\\VIREO\\GARNET\\x.ini", sz, sizeof(sz)));
    EXPECT_EQ(machine.Root() + "/drive_c/VIREO/GARNET/x.ini", sz);
    ASSERT_EQ(1, PlatHostPath("D:\\data", sz, sizeof(sz)));
    EXPECT_EQ(machine.Root() + "/drive_d/data", sz);
    ASSERT_EQ(1, PlatHostPath("Z:\\tmp", sz, sizeof(sz)));
    EXPECT_STREQ("/tmp", sz);
    ASSERT_EQ(1, PlatHostPath("/usr/bin", sz, sizeof(sz)));
    EXPECT_STREQ("/usr/bin", sz);
    // A single backslash starts at the root of the current drive (C: here).
    ASSERT_EQ(1, PlatHostPath("\\TEMP", sz, sizeof(sz)));
    EXPECT_EQ(machine.Root() + "/drive_c/TEMP", sz);
    // Relative paths, "." and "..".
    ASSERT_EQ(1, PlatHostPath("a\\..\\b\\.\\c", sz, sizeof(sz)));
    EXPECT_EQ(machine.Root() + "/drive_c/work/b/c", sz);
    ASSERT_EQ(1, PlatHostPath("C:rel", sz, sizeof(sz)));
    EXPECT_EQ(machine.Root() + "/drive_c/work/rel", sz);

    char szWin[4096];
    ASSERT_EQ(1, PlatWindowsPath((machine.Root() + "/drive_c/VIREO").c_str(), szWin, sizeof(szWin)));
    EXPECT_STREQ("C:\\VIREO", szWin);
    ASSERT_EQ(1, PlatWindowsPath((machine.Root() + "/drive_c").c_str(), szWin, sizeof(szWin)));
    EXPECT_STREQ("C:\\", szWin);
    ASSERT_EQ(1, PlatWindowsPath("/tmp/x/", szWin, sizeof(szWin)));
    EXPECT_STREQ("Z:\\tmp\\x", szWin);
}

TEST(Paths, NamesResolveWithoutRegardToCase)
{
    TempMachine machine;
    WriteFile(machine.Host("C:\\Vireo\\Garnet\\quill.ini"), "x");
    WriteFile(machine.Host("C:\\Vireo\\Garnet\\QUILL.INI.bak"), "y");
    char sz[4096];
    ASSERT_EQ(1, PlatHostPath("C:\\VIREO\\GARNET\\QUILL.INI", sz, sizeof(sz)));
    EXPECT_EQ(machine.Root() + "/drive_c/Vireo/Garnet/quill.ini", sz);
    // A new name keeps the spelling it was given, below the matched directories.
    ASSERT_EQ(1, PlatHostPath("c:\\vireo\\NEW\\File.TXT", sz, sizeof(sz)));
    EXPECT_EQ(machine.Root() + "/drive_c/Vireo/NEW/File.TXT", sz);
}

// Names that do not exist are looked up in a kept listing of their
// directory: every change made since, by this process or another, by
// creating, renaming or deleting, or by putting another directory at the
// path, shows at once.
TEST(Paths, LookupsOfMissingNamesFollowEveryChangeOfTheDirectory)
{
    TempMachine machine;
    std::string strDir = machine.Host("C:\\D");
    MakeDirs(strDir);
    char szHost[4096];
    auto Resolve = [&](const char* szPath) {
        EXPECT_TRUE(PlatHostPath(szPath, szHost, sizeof(szHost)));
        return std::string(szHost).substr(strDir.size());
    };
    for (int i = 0; i < 50; i++) WriteFile(strDir + "/file" + std::to_string(i) + ".txt", "x");
    EXPECT_EQ("/NEW.TXT", Resolve("C:\\D\\NEW.TXT"));
    WriteFile(strDir + "/new.txt", "1"); // by this process, outside the platform layer
    EXPECT_EQ("/new.txt", Resolve("C:\\D\\NEW.TXT"));
    ASSERT_EQ(0, rename((strDir + "/new.txt").c_str(), (strDir + "/New.Txt").c_str()));
    EXPECT_EQ("/New.Txt", Resolve("C:\\D\\NEW.TXT"));
    WriteFile(strDir + "/NEw.txt", "2"); // two spellings: the first in byte order
    EXPECT_EQ("/NEw.txt", Resolve("C:\\D\\NEW.TXT"));
    ASSERT_EQ(0, unlink((strDir + "/NEw.txt").c_str()));
    ASSERT_EQ(0, unlink((strDir + "/New.Txt").c_str()));
    EXPECT_EQ("/NEW.TXT", Resolve("C:\\D\\NEW.TXT"));
    // Another process makes it.
    ProcessResult r = RunProcess({"/bin/sh", "-c", "echo > '" + strDir + "/nEw.txt'"});
    ASSERT_EQ(0, r.iExitCode);
    EXPECT_EQ("/nEw.txt", Resolve("C:\\D\\NEW.TXT"));
    // Another directory at the same path, then the first one back under another name.
    ASSERT_EQ(0, rename(strDir.c_str(), (strDir + "-old").c_str()));
    MakeDirs(strDir);
    EXPECT_EQ("/NEW.TXT", Resolve("C:\\D\\NEW.TXT"));
    WriteFile(strDir + "/new.TXT", "3");
    EXPECT_EQ("/new.TXT", Resolve("C:\\D\\NEW.TXT"));
    EXPECT_EQ("/file7.txt", Resolve("C:\\D-OLD\\FILE7.TXT").substr(4));
    // A forked child that looks names up does not take the parent's changes.
    EXPECT_EQ("/FORKED.TXT", Resolve("C:\\D\\FORKED.TXT"));
    pid_t pid = fork();
    ASSERT_NE(-1, pid);
    if (pid == 0) {
        WriteFile(strDir + "/forked.txt", "4");
        char sz[4096];
        int bOk = PlatHostPath("C:\\D\\FORKED.TXT", sz, sizeof(sz)) && std::string(sz) == strDir + "/forked.txt";
        _exit(bOk ? 0 : 1);
    }
    int iStatus = 0;
    ASSERT_EQ(pid, waitpid(pid, &iStatus, 0));
    EXPECT_TRUE(WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == 0);
    EXPECT_EQ("/forked.txt", Resolve("C:\\D\\FORKED.TXT"));
}

TEST(Paths, CurrentDirectoryIsInWindowsForm)
{
    TempMachine machine;
    char sz[260];
    DWORD cch = PlatGetCurrentDirectory(sizeof(sz), sz);
    EXPECT_STREQ("C:\\work", sz);
    EXPECT_EQ(7u, cch);
    EXPECT_EQ(8u, PlatGetCurrentDirectory(4, sz)); // too small: the size needed
    MakeDirs(machine.Host("C:\\Prog Dir"));
    ASSERT_TRUE(PlatSetCurrentDirectory("c:\\prog dir\\"));
    PlatGetCurrentDirectory(sizeof(sz), sz);
    EXPECT_STREQ("C:\\Prog Dir", sz);
    PlatSetLastError(0);
    EXPECT_FALSE(PlatSetCurrentDirectory("C:\\missing"));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, PlatGetLastError());
    EXPECT_FALSE(PlatSetCurrentDirectory("C:\\missing\\deeper"));
    EXPECT_EQ((DWORD)ERROR_PATH_NOT_FOUND, PlatGetLastError());
    WriteFile(machine.Host("C:\\afile"), "");
    EXPECT_FALSE(PlatSetCurrentDirectory("C:\\afile"));
    EXPECT_EQ((DWORD)ERROR_DIRECTORY, PlatGetLastError());
    char szWin[260];
    EXPECT_GT(PlatGetWindowsDirectory(szWin, sizeof(szWin)), 0u);
    EXPECT_STREQ("C:\\WINDOWS", szWin);
    PlatGetSystemDirectory(szWin, sizeof(szWin));
    EXPECT_STREQ("C:\\WINDOWS\\SYSTEM32", szWin);
}

TEST(Streams, TextModeStoresCrLfAndReadsLf)
{
    TempMachine machine;
    PLATFILE* pf = PlatFopen("C:\\t.txt", "w");
    ASSERT_NE(nullptr, pf);
    PlatFputs("one\ntwo\n", pf);
    PlatFclose(pf);
    EXPECT_EQ("one\r\ntwo\r\n", ReadFile(machine.Host("C:\\t.txt")));
    WriteFile(machine.Host("C:\\mixed.txt"), "a\r\nb\rc\nd");
    pf = PlatFopen("C:\\mixed.txt", "r");
    ASSERT_NE(nullptr, pf);
    char sz[16];
    ASSERT_NE(nullptr, PlatFgets(sz, sizeof(sz), pf));
    EXPECT_STREQ("a\n", sz);
    ASSERT_NE(nullptr, PlatFgets(sz, sizeof(sz), pf));
    EXPECT_STREQ("b\rc\n", sz); // a lone CR stays
    ASSERT_NE(nullptr, PlatFgets(sz, sizeof(sz), pf));
    EXPECT_STREQ("d", sz);
    EXPECT_EQ(nullptr, PlatFgets(sz, sizeof(sz), pf));
    PlatFclose(pf);
    pf = PlatFopen("C:\\bin.dat", "wb");
    PlatFwrite("x\ny", 1, 3, pf);
    PlatFclose(pf);
    EXPECT_EQ("x\ny", ReadFile(machine.Host("C:\\bin.dat")));
}

TEST(Files, Win32ErrorCodes)
{
    TempMachine machine;
    WriteFile(machine.Host("C:\\ro.txt"), "r");
    chmod(machine.Host("C:\\ro.txt").c_str(), 0444);
    WriteFile(machine.Host("C:\\a.txt"), "a");
    WriteFile(machine.Host("C:\\b.txt"), "b");
    WriteFile(machine.Host("C:\\full\\x"), "x");
    struct Row {
        const char* szWhat;
        BOOL bResult;
        DWORD dwError;
    };
    auto Check = [](const char* szWhat, BOOL bResult, DWORD dwExpected) {
        EXPECT_FALSE(bResult) << szWhat;
        EXPECT_EQ(dwExpected, PlatGetLastError()) << szWhat;
    };
    PlatSetLastError(0xdead);
    Check("delete missing", PlatDeleteFile("C:\\missing.txt"), ERROR_FILE_NOT_FOUND);
    Check("delete in missing dir", PlatDeleteFile("C:\\nodir\\x.txt"), ERROR_PATH_NOT_FOUND);
    Check("delete read-only", PlatDeleteFile("C:\\ro.txt"), ERROR_ACCESS_DENIED);
    Check("delete directory", PlatDeleteFile("C:\\full"), ERROR_ACCESS_DENIED);
    Check("move onto existing", PlatMoveFile("C:\\a.txt", "C:\\B.TXT"), ERROR_ALREADY_EXISTS);
    Check("move missing", PlatMoveFile("C:\\missing.txt", "C:\\c.txt"), ERROR_FILE_NOT_FOUND);
    Check("move into missing dir", PlatMoveFile("C:\\a.txt", "C:\\nodir\\c.txt"), ERROR_PATH_NOT_FOUND);
    Check("rmdir not empty", PlatRemoveDirectory("C:\\full"), ERROR_DIR_NOT_EMPTY);
    Check("rmdir missing", PlatRemoveDirectory("C:\\missing"), ERROR_FILE_NOT_FOUND);
    Check("rmdir a file", PlatRemoveDirectory("C:\\a.txt"), ERROR_DIRECTORY);
    Check("rmdir current", PlatRemoveDirectory("C:\\work"), ERROR_SHARING_VIOLATION);
    Check("mkdir existing", PlatCreateDirectory("C:\\full"), ERROR_ALREADY_EXISTS);
    Check("mkdir missing parent", PlatCreateDirectory("C:\\no\\such"), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(nullptr, PlatFopen("C:\\ro.txt", "r+b"));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, PlatGetLastError());
    EXPECT_EQ(nullptr, PlatFopen("C:\\full", "rb"));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, PlatGetLastError());
    EXPECT_EQ(nullptr, PlatFopen("C:\\nodir\\x", "wb"));
    EXPECT_EQ((DWORD)ERROR_PATH_NOT_FOUND, PlatGetLastError());
    EXPECT_EQ(nullptr, PlatFopen("C:\\missing.txt", "rb"));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, PlatGetLastError());
    EXPECT_EQ(nullptr, PlatFopen("C:\\nodir\\x", "rb"));
    EXPECT_EQ((DWORD)ERROR_PATH_NOT_FOUND, PlatGetLastError());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, PlatGetFileAttributes("C:\\MISSING.TXT"));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, PlatGetLastError());
    // Links are followed: what they point at decides, not the link itself.
    ASSERT_EQ(0, symlink(machine.Host("C:\\full").c_str(), machine.Host("C:\\dirlink").c_str()));
    ASSERT_EQ(0, symlink(machine.Host("C:\\ro.txt").c_str(), machine.Host("C:\\rolink").c_str()));
    ASSERT_EQ(0, symlink(machine.Host("C:\\gone").c_str(), machine.Host("C:\\dangling").c_str()));
    EXPECT_EQ(nullptr, PlatFopen("C:\\dirlink", "rb"));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, PlatGetLastError());
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_READONLY, PlatGetFileAttributes("C:\\ROLINK"));
    EXPECT_EQ(nullptr, PlatFopen("C:\\rolink", "wb"));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, PlatGetLastError());
    EXPECT_EQ(nullptr, PlatFopen("C:\\dangling", "rb"));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, PlatGetLastError());
    EXPECT_TRUE(PlatDeleteFile("C:\\dangling")); // the link goes, as a dangling link would
    EXPECT_TRUE(PlatDeleteFile("C:\\rolink"));
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_READONLY, PlatGetFileAttributes("C:\\ro.txt"));
    PLATFILE* pf = PlatFopen("C:\\ro.txt", "rb");
    EXPECT_NE(nullptr, pf); // reading a read-only file works
    PlatFclose(pf);
    // A rename works on a read-only file and keeps its attribute.
    EXPECT_TRUE(PlatMoveFile("C:\\ro.txt", "C:\\ro2.txt"));
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_READONLY, PlatGetFileAttributes("C:\\ro2.txt"));
    EXPECT_TRUE(PlatSetFileAttributes("C:\\ro2.txt", FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(PlatDeleteFile("C:\\ro2.txt"));
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_DIRECTORY, PlatGetFileAttributes("C:\\full"));
}

TEST(Files, FindMatchesWildcardsWithoutRegardToCase)
{
    TempMachine machine;
    WriteFile(machine.Host("C:\\d\\Name"), "");
    WriteFile(machine.Host("C:\\d\\name.txt"), "");
    WriteFile(machine.Host("C:\\d\\other.TXT"), "");
    MakeDirs(machine.Host("C:\\d\\Name Dir"));
    auto List = [](const char* szPattern) {
        std::string str;
        PLAT_FIND_DATA fd;
        HANDLE h = PlatFindFirstFile(szPattern, &fd);
        if (!h) return std::string("!") + std::to_string(PlatGetLastError());
        do {
            str += fd.cFileName;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) str += "/";
            str += ",";
        } while (PlatFindNextFile(h, &fd));
        EXPECT_EQ((DWORD)ERROR_NO_MORE_FILES, PlatGetLastError());
        PlatFindClose(h);
        return str;
    };
    EXPECT_EQ("./,../,Name,Name Dir/,name.txt,other.TXT,", List("C:\\d\\*"));
    EXPECT_EQ("./,../,Name,Name Dir/,name.txt,other.TXT,", List("C:\\d\\*.*"));
    EXPECT_EQ("Name,Name Dir/,name.txt,", List("C:\\D\\name*"));
    EXPECT_EQ("name.txt,other.TXT,", List("C:\\d\\*.txt"));
    EXPECT_EQ("Name,", List("C:\\d\\N?me"));
    EXPECT_EQ("!2", List("C:\\d\\zzz*"));
    EXPECT_EQ("!3", List("C:\\nodir\\*"));
}

TEST(Faults, CountdownFailsTheNthCall)
{
    TempMachine machine;
    WriteFile(machine.Host("C:\\a"), "a");
    WriteFile(machine.Host("C:\\b"), "b");
    PlatFaultArm("MoveFile", 2, ERROR_DISK_FULL, 0);
    EXPECT_TRUE(PlatMoveFile("C:\\a", "C:\\a2"));
    EXPECT_FALSE(PlatMoveFile("C:\\b", "C:\\b2"));
    EXPECT_EQ((DWORD)ERROR_DISK_FULL, PlatGetLastError());
    EXPECT_TRUE(PlatMoveFile("C:\\b", "C:\\b2")); // not sticky
    PlatFaultArm("Fwrite", 1, ERROR_DISK_FULL, 1);
    PLATFILE* pf = PlatFopen("C:\\w", "wb");
    EXPECT_EQ(0u, PlatFwrite("x", 1, 1, pf));
    EXPECT_EQ(0u, PlatFwrite("x", 1, 1, pf)); // sticky
    PlatFclose(pf);
    PlatFaultReset();
    EXPECT_EQ(nullptr, PlatGlobalLock(nullptr));
}

// A misspelt or surplus fault arms nothing and says so: otherwise a fault
// test would pass without its fault ever firing.
TEST(Faults, UnknownNamesAndSurplusFaultsAreRefused)
{
    TempMachine machine;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(0, PlatFaultArm("MoveFiles", 1, ERROR_DISK_FULL, 0));
    EXPECT_EQ(0, PlatFaultArm("fopen", 1, ERROR_DISK_FULL, 0));
    std::string strErr = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, strErr.find("unknown operation \"MoveFiles\"")) << strErr;
    WriteFile(machine.Host("C:\\a"), "a");
    EXPECT_TRUE(PlatMoveFile("C:\\a", "C:\\a2"));

    // Sixteen operations fit; the seventeenth is refused, re-arming one is not.
    ASSERT_GE(PlatFaultOpCount(), 17);
    for (int i = 0; i < 16; i++) EXPECT_EQ(1, PlatFaultArm(PlatFaultOpName(i), 1000, 5, 0)) << i;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(0, PlatFaultArm(PlatFaultOpName(16), 1, 5, 0));
    EXPECT_NE(std::string::npos, ::testing::internal::GetCapturedStderr().find("more than 16 faults"));
    EXPECT_EQ(1, PlatFaultArm(PlatFaultOpName(3), 1, 5, 0));
    PlatFaultReset();
}

// Every name the backend fails by is in the table, and every name of the
// table is one the backend fails by.
TEST(Faults, TheTableNamesExactlyTheOperationsThatCanFail)
{
    std::set<std::string> table;
    for (int i = 0; i < PlatFaultOpCount(); i++) table.insert(PlatFaultOpName(i));
    EXPECT_EQ(nullptr, PlatFaultOpName(PlatFaultOpCount()));
    std::set<std::string> used;
    for (const auto& entry : std::filesystem::directory_iterator(HERON_SOURCE_DIR "/src/platform/posix")) {
        std::string strText = ReadFile(entry.path().string());
        const std::string strCall = "PlatFaultHit(\"";
        for (size_t i = strText.find(strCall); i != std::string::npos; i = strText.find(strCall, i + 1)) {
            size_t iName = i + strCall.size();
            used.insert(strText.substr(iName, strText.find('"', iName) - iName));
        }
    }
    EXPECT_EQ(table, used);
}

// A failed write sets the last error at once, binary or text, and so does a
// close that cannot flush.
TEST(Faults, AWriteToAFullDiskSetsTheLastError)
{
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    std::string strBig(1 << 20, 'x');
    for (const char* szMode : {"wb", "w"}) {
        PLATFILE* pf = PlatFopen("/dev/full", szMode);
        ASSERT_NE(nullptr, pf) << szMode;
        PlatSetLastError(0);
        EXPECT_LT(PlatFwrite(strBig.data(), 1, strBig.size(), pf), strBig.size()) << szMode;
        EXPECT_EQ((DWORD)ERROR_DISK_FULL, PlatGetLastError()) << szMode;
        PlatFclose(pf);
    }
    PLATFILE* pf = PlatFopen("/dev/full", "wb");
    ASSERT_NE(nullptr, pf);
    EXPECT_EQ(1u, PlatFwrite("x", 1, 1, pf));
    PlatSetLastError(0);
    EXPECT_NE(0, PlatFclose(pf));
    EXPECT_EQ((DWORD)ERROR_DISK_FULL, PlatGetLastError());
}

// HERON_FAULT is read when the program starts: a value that cannot be armed
// ends the run with exit code 1 and a message, before anything happens.
TEST(Faults, ABadFaultVariableStopsTheProgramAtStart)
{
    TempMachine machine;
    const std::string strHeron = HERON_BIN_DIR "/heron";
    struct Row {
        const char* szValue;
        const char* szMessage;
    } rows[] = {
        {"MoveFiles:1:5", "unknown operation \"MoveFiles\""},
        {"MoveFile:0:5", "call number of MoveFile"},
        {"MoveFile:1:x", "error code of MoveFile"},
        {"MoveFile:1:5:sticky:sticky2", "unknown word \"sticky2\""},
    };
    for (const Row& row : rows) {
        ProcessResult result = RunProcess({strHeron, "contents"}, "", {{"HERON_FAULT", row.szValue}, {"HERON_UI", "headless"}});
        EXPECT_EQ(1, result.iExitCode) << row.szValue;
        EXPECT_NE(std::string::npos, result.strErr.find(row.szMessage)) << row.szValue << ": " << result.strErr;
        EXPECT_EQ("", result.strOut) << row.szValue;
    }
}

TEST(Files, AFileHeldByAnotherProcessIsInUse)
{
    TempMachine machine;
    std::string strHost = machine.Host("C:\\VIREO\\GARNET\\qstrings.dll");
    WriteFile(strHost, "key");
    int iHolder = HoldFile(strHost);
    ASSERT_GT(iHolder, 0);
    EXPECT_EQ(nullptr, PlatFopen("C:\\VIREO\\GARNET\\qstrings.dll", "r+b"));
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, PlatGetLastError());
    EXPECT_FALSE(PlatDeleteFile("C:\\VIREO\\GARNET\\qstrings.dll"));
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, PlatGetLastError());
    PLATFILE* pf = PlatFopen("C:\\VIREO\\GARNET\\qstrings.dll", "rb");
    EXPECT_NE(nullptr, pf);
    PlatFclose(pf);
    // Renaming it aside works, as on Windows for a loaded library.
    EXPECT_TRUE(PlatMoveFile("C:\\VIREO\\GARNET\\qstrings.dll", "C:\\VIREO\\GARNET\\qstrings.dll.hf"));
    ReleaseFile(iHolder);
    EXPECT_TRUE(PlatDeleteFile("C:\\VIREO\\GARNET\\qstrings.dll.hf"));
}

// A file that only this process holds open is not in use: it can be opened
// for writing and deleted, as on Windows with the handle's own sharing.
TEST(Files, AFileHeldOnlyByThisProcessIsNotInUse)
{
    TempMachine machine;
    std::string strHost = machine.Host("C:\\mine.txt");
    WriteFile(strHost, "mine");
    FILE* fp = fopen(strHost.c_str(), "rb");
    ASSERT_NE(nullptr, fp);
    PLATFILE* pf = PlatFopen("C:\\mine.txt", "r+b");
    EXPECT_NE(nullptr, pf);
    if (pf) PlatFclose(pf);
    EXPECT_TRUE(PlatDeleteFile("C:\\mine.txt"));
    fclose(fp);
}

TEST(Memory, BlocksAreZeroFilledAndSized)
{
    HGLOBAL h = PlatGlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 100);
    ASSERT_NE(nullptr, h);
    unsigned char* pb = (unsigned char*)PlatGlobalLock(h);
    for (int i = 0; i < 100; i++) ASSERT_EQ(0, pb[i]);
    EXPECT_EQ(100u, PlatGlobalSize(h));
    PlatGlobalUnlock(h);
    EXPECT_EQ(nullptr, PlatGlobalFree(h));
    HGLOBAL hEmpty = PlatGlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 0);
    ASSERT_NE(nullptr, hEmpty);
    PlatGlobalFree(hEmpty);
    PlatFaultArm("GlobalAlloc", 1, ERROR_NOT_ENOUGH_MEMORY, 0);
    EXPECT_EQ(nullptr, PlatGlobalAlloc(GMEM_MOVEABLE, 10));
    PlatFaultReset();
}

TEST(Environment, VariablesAndTime)
{
    setenv("HERON_X", "value", 1);
    char sz[8];
    EXPECT_EQ(5u, PlatGetEnvironmentVariable("HERON_X", sz, sizeof(sz)));
    EXPECT_STREQ("value", sz);
    EXPECT_EQ(6u, PlatGetEnvironmentVariable("HERON_X", sz, 3)); // too small: size with NUL
    unsetenv("HERON_X");
    EXPECT_EQ(0u, PlatGetEnvironmentVariable("HERON_X", sz, sizeof(sz)));
    setenv("TZ", "UTC", 1);
    tzset();
    char szTime[32];
    PlatLocalTimeText(1296555630, szTime, sizeof(szTime));
    EXPECT_STREQ("Tue Feb  1 10:20:30 2011", szTime);
}

// The line reader at every limit of its buffer: a line longer than the
// buffer comes in pieces and nothing is lost or written past the end; a CR
// LF pair is one character however the buffer falls.
TEST(Streams, LineReaderAtItsBufferLimits)
{
    TempMachine machine;
    WriteFile(machine.Host("C:\\lines.txt"), "abcdefgh\r\nxyz\r\n\r\nlast");
    PLATFILE* pf = PlatFopen("C:\\lines.txt", "r");
    ASSERT_NE(nullptr, pf);
    char sz[16];
    memset(sz, '~', sizeof(sz));
    EXPECT_EQ(nullptr, PlatFgets(sz, 0, pf)); // no room: nothing read, nothing written
    EXPECT_EQ(nullptr, PlatFgets(sz, -1, pf));
    EXPECT_EQ('~', sz[0]);
    EXPECT_EQ(sz, PlatFgets(sz, 1, pf)); // room for the NUL only
    EXPECT_STREQ("", sz);
    EXPECT_EQ('~', sz[1]);
    memset(sz, '~', sizeof(sz));
    ASSERT_EQ(sz, PlatFgets(sz, 4, pf)); // longer than the buffer: the first 3 characters
    EXPECT_STREQ("abc", sz);
    EXPECT_EQ('~', sz[4]);
    ASSERT_EQ(sz, PlatFgets(sz, 6, pf)); // exactly 5 more characters, no line end yet
    EXPECT_STREQ("defgh", sz);
    ASSERT_EQ(sz, PlatFgets(sz, 6, pf)); // the CR LF alone, as one line end
    EXPECT_STREQ("\n", sz);
    ASSERT_EQ(sz, PlatFgets(sz, 5, pf)); // "xyz" and its line end fill the buffer exactly
    EXPECT_STREQ("xyz\n", sz);
    ASSERT_EQ(sz, PlatFgets(sz, 2, pf)); // an empty line in the smallest buffer that holds it
    EXPECT_STREQ("\n", sz);
    ASSERT_EQ(sz, PlatFgets(sz, sizeof(sz), pf)); // the last line has no line end
    EXPECT_STREQ("last", sz);
    EXPECT_EQ(nullptr, PlatFgets(sz, sizeof(sz), pf)); // at the end
    EXPECT_EQ(nullptr, PlatFgets(nullptr, 4, pf));
    EXPECT_EQ(nullptr, PlatFgets(sz, 4, nullptr));
    PlatFclose(pf);

    // Binary mode keeps the CR; a lone CR in text mode stays a CR.
    WriteFile(machine.Host("C:\\cr.txt"), "a\rb\r\n");
    pf = PlatFopen("C:\\cr.txt", "rb");
    ASSERT_NE(nullptr, pf);
    ASSERT_EQ(sz, PlatFgets(sz, sizeof(sz), pf));
    EXPECT_STREQ("a\rb\r\n", sz);
    PlatFclose(pf);
    pf = PlatFopen("C:\\cr.txt", "r");
    ASSERT_NE(nullptr, pf);
    ASSERT_EQ(sz, PlatFgets(sz, sizeof(sz), pf));
    EXPECT_STREQ("a\rb\n", sz);
    PlatFclose(pf);
}

// Reads and writes at their limits: a text read stops at the items that
// fit, a write into a full disk reports what it wrote.
TEST(Streams, ReadAndWriteLimits)
{
    TempMachine machine;
    WriteFile(machine.Host("C:\\t.txt"), "ab\r\ncd");
    PLATFILE* pf = PlatFopen("C:\\t.txt", "r");
    ASSERT_NE(nullptr, pf);
    char sz[8] = {0};
    EXPECT_EQ(2u, PlatFread(sz, 2, 3, pf)); // "ab\ncd" is 5 characters: two whole items of 2
    EXPECT_EQ(0, memcmp(sz, "ab\ncd", 5));
    EXPECT_EQ(0u, PlatFread(sz, 0, 3, pf));
    PlatFclose(pf);
    ASSERT_EQ(0, symlink("/dev/full", machine.Host("C:\\full").c_str()));
    pf = PlatFopen("C:\\full", "wb");
    ASSERT_NE(nullptr, pf);
    std::string strBig(1 << 16, 'x'); // more than the stream's buffer: the write itself fails
    EXPECT_GT(strBig.size(), PlatFwrite(strBig.data(), 1, strBig.size(), pf));
    PlatFclose(pf);
    pf = PlatFopen("C:\\full", "wb");
    ASSERT_NE(nullptr, pf);
    EXPECT_EQ(10u, PlatFwrite(strBig.data(), 1, 10, pf)); // buffered: the close reports it
    EXPECT_NE(0, PlatFclose(pf));
}

} // namespace
