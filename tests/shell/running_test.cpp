// The running-product check against real files and a real child holding the
// key file, and the service registration running the sample installation's
// quillreg.bat.
#include "platform/process.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "shell/running.h"
#include "support/machine.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

class RunningTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("TEMP", "C:\\LOGTMP", 1);
        gpStrings[1] = m_szKeyFile;
        gdwStringCount = 52;
        gpProgramDir = m_szProgramDir;
        ASSERT_EQ(1, OpenLog());
    }
    void TearDown() override
    {
        if (LogIsOpen()) {
            MakeDirs(m_machine.Host("C:\\LOGDONE"));
            strcpy(m_szProgramDir, "C:\\LOGDONE");
            gpProgramDir = m_szProgramDir;
            CloseLog();
        }
        gpProgramDir = nullptr;
        gpStrings[1] = nullptr;
        gdwStringCount = 0;
        unsetenv("TEMP");
    }
    void Sample(const std::vector<std::string>& vOptions) { MakeSample(m_machine, vOptions); }
    std::vector<std::string> LogLines() { return LogBodyLines(m_machine.Host("C:\\LOGTMP\\UPGRADE.LOG")); }

    TempMachine m_machine;
    char m_szKeyFile[16] = "qstrings.dll";
    char m_szProgramDir[261] = "C:\\VIREO\\GARNET";
};

TEST_F(RunningTest, ProductRunningByTheKeyFile)
{
    Sample({});
    const std::string strKey = m_machine.Host("C:\\VIREO\\GARNET\\qstrings.dll");
    EXPECT_EQ(0, ProductRunning()); // present and free

    chmod(strKey.c_str(), 0444);
    EXPECT_EQ(8, ProductRunning()); // read-only counts as running
    chmod(strKey.c_str(), 0644);

    gpProgramDir = nullptr;
    EXPECT_EQ(0, ProductRunning());
    m_szProgramDir[0] = 0;
    gpProgramDir = m_szProgramDir;
    EXPECT_EQ(0, ProductRunning());
    strcpy(m_szProgramDir, "C:\\VIREO\\GARNET");

    unlink(strKey.c_str());
    EXPECT_EQ(0, ProductRunning()); // no key file
    EXPECT_TRUE(LogLines().empty());
}

TEST_F(RunningTest, KeyFileHeldByAnotherProcessIsRunning)
{
    Sample({});
    // A child that keeps the key file open until told to stop.
    const std::string strReady = m_machine.Root() + "/ready";
    const std::string strStop = m_machine.Root() + "/stop";
    WriteFile(m_machine.Host("C:\\work\\hold.bat"),
              "exec 3< \"$1\"\n: > \"$2\"\nwhile [ ! -f \"$3\" ]; do sleep 0.01; done\n");
    std::string strLine = "hold.bat " + m_machine.Host("C:\\VIREO\\GARNET\\qstrings.dll") + " " + strReady + " " + strStop;
    PLAT_PROCESS proc;
    ASSERT_TRUE(PlatCreateProcess(strLine.c_str(), nullptr, 1, 1, &proc));
    for (int i = 0; i < 1000 && !PathExists(strReady); i++) usleep(5000);
    ASSERT_TRUE(PathExists(strReady));

    EXPECT_EQ(8, ProductRunning());

    WriteFile(strStop, "");
    EXPECT_EQ((DWORD)WAIT_OBJECT_0, PlatWaitForSingleObject(proc.hProcess, INFINITE));
    PlatCloseHandle(proc.hProcess);
    PlatCloseHandle(proc.hThread);
    EXPECT_EQ(0, ProductRunning()); // released with the child
}

TEST_F(RunningTest, ServiceKeyAlreadyThereRunsNothing)
{
    Sample({"--service-key"});
    const std::string strRegistry = ReadFile(m_machine.Root() + "/registry.reg");
    EXPECT_EQ(1, RegisterStatService());
    EXPECT_EQ(strRegistry, ReadFile(m_machine.Root() + "/registry.reg"));
    EXPECT_TRUE(LogLines().empty());
}

TEST_F(RunningTest, BatchFileOutcomes)
{
    const std::string strBatch = "\"C:\\VIREO\\GARNET\\quillreg.bat\"";
    const std::string strCommand = strBatch + " \"C:\\VIREO\\GARNET\"";
    struct Case {
        const char* szMode;
        int iResult;
        std::vector<std::string> vLog;
    } aCases[] = {
        {"register", 1, {strBatch, " " + strCommand + ": exited with 0", "Entries for quilltat were created"}},
        {"noop",
         0,
         {strBatch, " " + strCommand + ": exited with 3",
          "Entries for quilltat were not created, please run " + strCommand + " manually"}},
        {"none", 0, {strBatch, strCommand, "Failed to execute " + strCommand + ": 2"}},
    };
    for (const Case& c : aCases) {
        SCOPED_TRACE(c.szMode);
        TempMachine machine; // its own registry; the log stays in the fixture's machine
        std::vector<std::string> vArgs = {BinPath("tools/sample/heron-sample"), "--root", machine.Root(),
                                          "--quillreg", c.szMode};
        ProcessResult r = RunProcess(vArgs);
        ASSERT_EQ(0, r.iExitCode) << r.strErr;
        size_t cBefore = LogLines().size();
        EXPECT_EQ(c.iResult, RegisterStatService());
        std::vector<std::string> vLog = LogLines();
        EXPECT_EQ(c.vLog, std::vector<std::string>(vLog.begin() + (long)cBefore, vLog.end()));
        // Registered once, a second call finds the key and runs nothing.
        if (c.iResult) {
            EXPECT_EQ(1, RegisterStatService());
            EXPECT_EQ(vLog.size(), LogLines().size());
        }
    }
}

} // namespace
