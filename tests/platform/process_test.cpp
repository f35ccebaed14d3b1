// Child processes: command lines split by the C runtime's rules, the program
// search, batch files, waiting and exit codes. Real children: argvdump (a
// tool of this project that reports its argv) and small shell scripts.
#include "platform/process.h"
#include "support/machine.h"

#include <gtest/gtest.h>

#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

namespace {

// ---- The pure split ---------------------------------------------------------

std::vector<std::string> Split(const std::string& strLine)
{
    std::vector<char> vBuf(strLine.size() + 1);
    char* apsz[32];
    int c = PlatSplitCommandLine(strLine.c_str(), apsz, 32, vBuf.data(), vBuf.size());
    std::vector<std::string> v;
    for (int i = 0; i < c && i < 32; i++) v.push_back(apsz[i]);
    return v;
}

struct SplitCase {
    const char* szId;
    const char* szLine;
    std::vector<std::string> vArgs;
};

TEST(SplitCommandLine, MicrosoftRuntimeRules)
{
    const SplitCase aCases[] = {
        {"C01", "\"C:\\a b\\cabarc.exe\" -p x \"C:\\x\\y.cab\" * \"C:\\tree\\\"",
         {"C:\\a b\\cabarc.exe", "-p", "x", "C:\\x\\y.cab", "*", "C:\\tree\""}},
        {"C02", "UpdateVersion.exe \"C:\\VIREO\\GARNET\" myversion read ",
         {"UpdateVersion.exe", "C:\\VIREO\\GARNET", "myversion", "read"}},
        {"C03", "UpdateVersion.exe \"C:\\VIREO\\GARNET\" \"Release 8.0.2|May 1, 2010\" write ",
         {"UpdateVersion.exe", "C:\\VIREO\\GARNET", "Release 8.0.2|May 1, 2010", "write"}},
        {"C04", "\"C:\\a b\\cabarc.exe\" x \"C:\\tree\\\\\"", {"C:\\a b\\cabarc.exe", "x", "C:\\tree\\"}},
        {"C05", "\"C:\\a b\\cabarc.exe\" x \"C:\\tree\\\" next", {"C:\\a b\\cabarc.exe", "x", "C:\\tree\" next"}},
        {"C06", "\"C:\\a b\\cabarc.exe\" x C:\\tree\\", {"C:\\a b\\cabarc.exe", "x", "C:\\tree\\"}},
        {"C07", "\"C:\\a b\\cabarc.exe\" -r -p n \"C:\\x\\y.cab\" garnet\\js\\dojo-1.3.2\\*",
         {"C:\\a b\\cabarc.exe", "-r", "-p", "n", "C:\\x\\y.cab", "garnet\\js\\dojo-1.3.2\\*"}},
        {"C08", "\"C:\\a b\\cabarc.exe\" a\"\"b \"c\"\"d\" \"e f\"g", {"C:\\a b\\cabarc.exe", "ab", "c\"d", "e fg"}},
        {"C09", "C:\\a b\\cabarc.exe -p", {"C:\\a", "b\\cabarc.exe", "-p"}},
        {"program token keeps backslashes", "\"C:\\dir\\\" x", {"C:\\dir\\", "x"}},
        {"three backslashes and a quote", "p a\\\\\\\"b", {"p", "a\\\"b"}},
        {"empty quoted argument", "p \"\" x", {"p", "", "x"}},
        {"tabs separate", "p\ta\t\tb", {"p", "a", "b"}},
        {"leading blanks", "   p a", {"p", "a"}},
        {"blanks only", "  \t ", {}},
        {"empty", "", {}},
    };
    for (const SplitCase& c : aCases) {
        SCOPED_TRACE(c.szId);
        EXPECT_EQ(c.vArgs, Split(c.szLine));
    }
}

TEST(SplitCommandLine, CountsBeyondTheSlotsAndRefusesSmallBuffers)
{
    char szBuf[64];
    char* apsz[2];
    EXPECT_EQ(4, PlatSplitCommandLine("p a b c", apsz, 2, szBuf, sizeof(szBuf)));
    EXPECT_STREQ("a", apsz[1]);
    EXPECT_EQ(-1, PlatSplitCommandLine("p a b c", apsz, 2, szBuf, 7)); // needs 8
    EXPECT_EQ(4, PlatSplitCommandLine("p a b c", nullptr, 0, szBuf, 8));
}

TEST(SearchDirList, WindowsAndLinuxForms)
{
    struct Case {
        const char* szList;
        std::vector<std::string> vDirs;
    } aCases[] = {
        {"/usr/bin:/bin::/opt", {"/usr/bin", "/bin", "/opt"}},
        {"C:\\BIN;;\"C:\\Program Files\\x\";/usr/bin", {"C:\\BIN", "C:\\Program Files\\x", "/usr/bin"}},
        {"C:\\VIREO\\GARNET", {"C:\\VIREO\\GARNET"}}, // one Windows entry is not split at its drive colon
        {"", {}},
    };
    for (const Case& c : aCases) {
        SCOPED_TRACE(c.szList);
        std::vector<std::string> v;
        char szDir[260];
        size_t iPos = 0;
        while (PlatNextSearchDir(c.szList, &iPos, szDir, sizeof(szDir))) v.push_back(szDir);
        EXPECT_EQ(c.vDirs, v);
    }
    // An entry too long for the buffer is skipped, not cut.
    char szSmall[6];
    size_t iPos = 0;
    ASSERT_EQ(1, PlatNextSearchDir("/toolong:/ok", &iPos, szSmall, sizeof(szSmall)));
    EXPECT_STREQ("/ok", szSmall);
}

// ---- Real children -------------------------------------------------------------

struct Outcome {
    BOOL bStarted;
    DWORD dwError;
    DWORD dwExit;
    std::map<std::string, std::string> report; // argvdump's lines: key -> text
};

class ProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_strArgvdump = BinPath("tools/argvdump/argvdump");
        const char* szPath = getenv("PATH");
        m_strSavedPath = szPath ? szPath : "";
        m_strReport = m_machine.Root() + "/argv.txt";
        setenv("ARGVDUMP_OUT", m_strReport.c_str(), 1);
    }
    void TearDown() override
    {
        setenv("PATH", m_strSavedPath.c_str(), 1);
        unsetenv("ARGVDUMP_OUT");
        unsetenv("HERON_COMMAND_LINE");
        PlatFaultReset();
    }
    bool HaveArgvdump() const { return PathExists(m_strArgvdump); }

    // Copies argvdump to a Linux path (made runnable).
    void InstallArgvdump(const std::string& strHost)
    {
        WriteFile(strHost, ReadFile(m_strArgvdump));
        chmod(strHost.c_str(), 0755);
    }
    void WriteScript(const std::string& strHost, const std::string& strText)
    {
        WriteFile(strHost, strText);
        chmod(strHost.c_str(), 0755);
    }

    Outcome Run(const std::string& strLine, const char* szCwd = nullptr)
    {
        Outcome o{0, 0, 0, {}};
        PLAT_PROCESS proc;
        unlink(m_strReport.c_str());
        o.bStarted = PlatCreateProcess(strLine.c_str(), szCwd, 0, 0, &proc);
        if (!o.bStarted) {
            o.dwError = PlatGetLastError();
            return o;
        }
        EXPECT_EQ(WAIT_OBJECT_0, PlatWaitForSingleObject(proc.hProcess, INFINITE));
        EXPECT_TRUE(PlatGetExitCodeProcess(proc.hProcess, &o.dwExit));
        EXPECT_TRUE(PlatCloseHandle(proc.hThread));
        EXPECT_TRUE(PlatCloseHandle(proc.hProcess));
        std::string strText = ReadFile(m_strReport);
        size_t iStart = 0;
        while (iStart < strText.size()) {
            size_t iEnd = strText.find('\n', iStart);
            std::string strLineOut = strText.substr(iStart, iEnd - iStart);
            size_t iEq = strLineOut.find('=');
            if (iEq != std::string::npos) o.report[strLineOut.substr(0, iEq)] = strLineOut.substr(iEq + 1);
            iStart = iEnd + 1;
        }
        return o;
    }

    TempMachine m_machine;
    std::string m_strArgvdump;
    std::string m_strSavedPath;
    std::string m_strReport;
};

struct ChildCase {
    const char* szId;
    std::string strLine;
    std::vector<std::string> vArgs; // argv[1..]
    std::string strArgv0;           // expected argv[0]; "" = the cabarc copy's Linux path
};

TEST_F(ProcessTest, ChildSeesArgvAndWholeLine)
{
    if (!HaveArgvdump()) GTEST_SKIP() << "argvdump not built";
    InstallArgvdump(m_machine.Host("C:\\a b\\cabarc.exe"));
    InstallArgvdump(m_machine.Host("C:\\work\\UpdateVersion.exe")); // found through the current directory
    const std::string strCabarc = m_machine.Host("C:\\a b\\cabarc.exe");
    const ChildCase aCases[] = {
        {"C01", "\"C:\\a b\\cabarc.exe\" -p x \"C:\\x\\y.cab\" * \"C:\\tree\\\"",
         {"-p", "x", "C:\\x\\y.cab", "*", "C:\\tree\""}, ""},
        {"C02", "UpdateVersion.exe \"C:\\VIREO\\GARNET\" myversion read ",
         {"C:\\VIREO\\GARNET", "myversion", "read"}, "UpdateVersion.exe"},
        {"C03", "UpdateVersion.exe \"C:\\VIREO\\GARNET\" \"Release 8.0.2|May 1, 2010\" write ",
         {"C:\\VIREO\\GARNET", "Release 8.0.2|May 1, 2010", "write"}, "UpdateVersion.exe"},
        {"C04", "\"C:\\a b\\cabarc.exe\" x \"C:\\tree\\\\\"", {"x", "C:\\tree\\"}, ""},
        {"C05", "\"C:\\a b\\cabarc.exe\" x \"C:\\tree\\\" next", {"x", "C:\\tree\" next"}, ""},
        {"C06", "\"C:\\a b\\cabarc.exe\" x C:\\tree\\", {"x", "C:\\tree\\"}, ""},
        {"C07", "\"C:\\a b\\cabarc.exe\" -r -p n \"C:\\x\\y.cab\" garnet\\js\\dojo-1.3.2\\*",
         {"-r", "-p", "n", "C:\\x\\y.cab", "garnet\\js\\dojo-1.3.2\\*"}, ""},
        {"C08", "\"C:\\a b\\cabarc.exe\" a\"\"b \"c\"\"d\" \"e f\"g", {"ab", "c\"d", "e fg"}, ""},
        // Unquoted program path with a blank: found by growing the token, as
        // CreateProcessA does; the C runtime splits the unchanged line.
        {"C09", "C:\\a b\\cabarc.exe -p", {"b\\cabarc.exe", "-p"}, ""},
        {"path in another case", "\"c:\\A B\\CABARC.EXE\" q", {"q"}, ""},
        {"name without extension", "\"C:\\a b\\cabarc\" q", {"q"}, ""},
    };
    for (const ChildCase& c : aCases) {
        SCOPED_TRACE(c.szId);
        Outcome o = Run(c.strLine);
        ASSERT_TRUE(o.bStarted) << o.dwError;
        EXPECT_EQ(c.vArgs.size() + 1, o.dwExit); // argvdump exits with argc
        EXPECT_EQ(std::to_string(c.vArgs.size() + 1), o.report["argc"]);
        EXPECT_EQ("[" + (c.strArgv0.empty() ? strCabarc : c.strArgv0) + "]", o.report["argv[0]"]);
        for (size_t i = 0; i < c.vArgs.size(); i++)
            EXPECT_EQ("[" + c.vArgs[i] + "]", o.report["argv[" + std::to_string(i + 1) + "]"]);
        EXPECT_EQ("[" + c.strLine + "]", o.report["raw"]); // unchanged, trailing blank included
    }
}

TEST_F(ProcessTest, MissingProgramIsFileNotFound)
{
    const char* aszLines[] = {"NoSuchTool.exe x", "\"C:\\no such dir\\tool.exe\" x", "", "   "};
    for (const char* szLine : aszLines) {
        SCOPED_TRACE(szLine);
        Outcome o = Run(szLine);
        EXPECT_FALSE(o.bStarted);
        EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, o.dwError);
    }
}

TEST_F(ProcessTest, BatchFileRunsThroughTheShell)
{
    // C11: the batch file's exit code comes back; its arguments are the split
    // ones (the shell does not see the quotes the command interpreter keeps).
    WriteScript(m_machine.Host("C:\\work\\reg it.bat"),
                "printf '[%s] [%s]' \"$1\" \"$2\" > \"$(dirname \"$0\")/batargs.txt\"\nexit 7\n");
    Outcome o = Run("\"C:\\work\\reg it.bat\" \"C:\\Prog Dir\"");
    ASSERT_TRUE(o.bStarted) << o.dwError;
    EXPECT_EQ(7u, o.dwExit);
    EXPECT_EQ("[C:\\Prog Dir] []", ReadFile(m_machine.Host("C:\\work\\batargs.txt")));

    // A ".CMD" without execute permission runs the same way.
    WriteFile(m_machine.Host("C:\\work\\x.CMD"), "exit 9\n");
    o = Run("x.cmd");
    ASSERT_TRUE(o.bStarted) << o.dwError;
    EXPECT_EQ(9u, o.dwExit);
}

TEST_F(ProcessTest, SearchOrderOwnDirectoryCurrentDirectoryThenPath)
{
    char szExe[PATH_MAX];
    ssize_t cb = readlink("/proc/self/exe", szExe, sizeof(szExe) - 1);
    ASSERT_GT(cb, 0);
    szExe[cb] = 0;
    std::string strOwnDir(szExe, strrchr(szExe, '/'));
    const std::string strName = "heron-pick-" + std::to_string(getpid());
    const std::string strOwn = strOwnDir + "/" + strName + ".bat";
    WriteScript(strOwn, "exit 11\n");
    WriteScript(m_machine.Host("C:\\work\\" + strName + ".bat"), "exit 12\n");
    WriteScript(m_machine.Host("C:\\bin2\\" + strName + ".bat"), "exit 13\n");
    WriteScript(m_machine.Host("C:\\bin1\\tool.exe"), "exit 21\n"); // a script without "#!"

    setenv("PATH", "C:\\NOPE;C:\\bin2\\;C:\\bin1", 1);
    Outcome o = Run(strName + ".bat");
    unlink(strOwn.c_str());
    EXPECT_EQ(11u, o.dwExit);
    o = Run(strName + ".bat");
    EXPECT_EQ(12u, o.dwExit);
    unlink(m_machine.Host("C:\\work\\" + strName + ".bat").c_str());
    o = Run(strName + ".bat");
    EXPECT_EQ(13u, o.dwExit);
    o = Run("TOOL arg"); // ".exe" added, any case
    ASSERT_TRUE(o.bStarted) << o.dwError;
    EXPECT_EQ(21u, o.dwExit);

    // PATH in Linux form.
    setenv("PATH", ("/nonexistent:" + m_machine.Host("C:\\bin1")).c_str(), 1);
    o = Run("tool");
    EXPECT_EQ(21u, o.dwExit);
    setenv("PATH", "/nonexistent", 1);
    o = Run("tool");
    EXPECT_FALSE(o.bStarted);
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, o.dwError);
}

TEST_F(ProcessTest, ChildGetsItsDirectoryAndEnvironmentButNoHandles)
{
    if (!HaveArgvdump()) GTEST_SKIP() << "argvdump not built";
    InstallArgvdump(m_machine.Host("C:\\tools\\argvdump.exe"));
    MakeDirs(m_machine.Host("C:\\work\\sub"));
    setenv("HERON_COMMAND_LINE", "stale line of the parent", 1);
    PLATFILE* pf = PlatFopen("C:\\work\\held.txt", "wb"); // must not reach the child
    ASSERT_NE(nullptr, pf);
    Outcome o = Run("C:\\tools\\argvdump.exe a", "C:\\work\\sub");
    PlatFclose(pf);
    ASSERT_TRUE(o.bStarted) << o.dwError;
    EXPECT_EQ("[" + m_machine.Host("C:\\work\\sub") + "]", o.report["cwd"]);
    EXPECT_EQ("[C:\\tools\\argvdump.exe a]", o.report["raw"]);
    EXPECT_EQ("0", o.report["fds"]);
    EXPECT_EQ("[null]", o.report["stdin"]);

    o = Run("C:\\tools\\argvdump.exe a", "C:\\work\\missing");
    EXPECT_FALSE(o.bStarted);
}

TEST_F(ProcessTest, StillActiveUntilTheChildEnds)
{
    const std::string strFlag = m_machine.Root() + "/go";
    WriteScript(m_machine.Host("C:\\work\\wait.bat"), "while [ ! -f \"$1\" ]; do sleep 0.01; done\nexit 5\n");
    PLAT_PROCESS proc;
    ASSERT_TRUE(PlatCreateProcess(("wait.bat " + strFlag).c_str(), nullptr, 1, 1, &proc));
    EXPECT_NE(0u, proc.dwProcessId);
    DWORD dwExit = 0;
    EXPECT_TRUE(PlatGetExitCodeProcess(proc.hProcess, &dwExit));
    EXPECT_EQ((DWORD)STILL_ACTIVE, dwExit);
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, PlatWaitForSingleObject(proc.hProcess, 0));
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, PlatWaitForSingleObject(proc.hProcess, 30));
    WriteFile(strFlag, "");
    EXPECT_EQ((DWORD)WAIT_OBJECT_0, PlatWaitForSingleObject(proc.hProcess, 10000));
    EXPECT_TRUE(PlatGetExitCodeProcess(proc.hProcess, &dwExit));
    EXPECT_EQ(5u, dwExit);
    EXPECT_EQ((DWORD)WAIT_OBJECT_0, PlatWaitForSingleObject(proc.hProcess, INFINITE)); // still signalled
    EXPECT_TRUE(PlatCloseHandle(proc.hProcess));
    EXPECT_TRUE(PlatCloseHandle(proc.hThread));

    EXPECT_EQ((DWORD)WAIT_FAILED, PlatWaitForSingleObject(nullptr, 0));
    EXPECT_FALSE(PlatGetExitCodeProcess(nullptr, &dwExit));
    EXPECT_FALSE(PlatCloseHandle(nullptr));
}

TEST_F(ProcessTest, InjectedFault)
{
    WriteScript(m_machine.Host("C:\\work\\ok.bat"), "exit 0\n");
    PlatFaultArm("CreateProcess", 1, ERROR_ACCESS_DENIED, 0);
    Outcome o = Run("ok.bat");
    EXPECT_FALSE(o.bStarted);
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, o.dwError);
    o = Run("ok.bat");
    EXPECT_TRUE(o.bStarted);
}

} // namespace

// Armed faults and their trace stay with the process they were armed for: a
// child starts with neither, so a tool the installer runs counts nothing of
// the installer's and fails nothing of it.
TEST_F(ProcessTest, FaultsAreNotHandedToChildren)
{
    WriteScript(m_machine.Host("C:\\work\\env.bat"),
                "printf '[%s] [%s] [%s]' \"${HERON_FAULT-unset}\" \"${HERON_FAULT_TRACE-unset}\" "
                "\"${HERON_FAULT_OTHER-unset}\" > \"$(dirname \"$0\")/env.txt\"\n");
    PlatFaultReset(); // this process does not arm them itself
    setenv("HERON_FAULT", "MoveFile:1000", 1);
    setenv("HERON_FAULT_TRACE", "/nonexistent/trace", 1);
    setenv("HERON_FAULT_OTHER", "kept", 1);
    Outcome o = Run("env.bat");
    unsetenv("HERON_FAULT");
    unsetenv("HERON_FAULT_TRACE");
    unsetenv("HERON_FAULT_OTHER");
    EXPECT_TRUE(o.bStarted);
    EXPECT_EQ("[unset] [unset] [kept]", ReadFile(m_machine.Host("C:\\work\\env.txt")));
}
