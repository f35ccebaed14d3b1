// The upgrade log, compared byte for byte on disk.
#include "build_stamp.h"
#include "platform/platform.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "support/machine.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <time.h>

#include <filesystem>
#include <string>

namespace {

class LogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("TZ", "UTC", 1);
        tzset();
        setenv("HERON_TIME", "1296555630", 1); // Tue Feb  1 10:20:30 2011
        setenv("TEMP", "C:\\TMPDIR", 1);
        m_szDescription[0] = 0;
        snprintf(m_szDescription, sizeof(m_szDescription), "Release 8.0.1 -> Release 8.0.2");
        gpStrings[0] = m_szDescription;
        gpStrings[7] = m_szText7;
        gdwStringCount = 8;
        gpProgramDir = m_szProgramDir;
        snprintf(m_szProgramDir, sizeof(m_szProgramDir), "C:\\VIREO\\GARNET");
        MakeDirs(m_machine.Host("C:\\VIREO\\GARNET"));
    }
    void TearDown() override
    {
        if (LogIsOpen()) {
            gpProgramDir = m_szProgramDir;
            CloseLog();
        }
        for (int i = 0; i < STRING_COUNT_MAX; i++) gpStrings[i] = nullptr;
        gdwStringCount = 0;
        gpProgramDir = nullptr;
        unsetenv("HERON_TIME");
        unsetenv("TEMP");
    }
    std::string Header() const
    {
        return std::string("Heron Hotfix Installer FI1.01 for W32Intel\r\n") + "Executable created " + HERON_BUILD_TIME +
               " " + HERON_BUILD_DATE + " for Release 8.0.1 -> Release 8.0.2.\r\n" +
               "Upgrade started at 10:20:30 Feb  1 2011 in C:\\work.\r\n\r\n\r\n";
    }

    TempMachine m_machine;
    char m_szDescription[64];
    char m_szText7[32] = "Unable to open.";
    char m_szProgramDir[261];
};

TEST_F(LogTest, WholeFileIsByteExact)
{
    ASSERT_EQ(1, OpenLog());
    LogLine("main event", 0);
    LogLine("detail", 1);
    LogLine("abc", 2);
    LogLine("negative", -3);
    LogLine("", 2);     // nothing at all, not even the tabs
    LogLine(nullptr, 1); // likewise
    LogString(7, 0);
    LogLine("two\nlines", 0);
    std::string strExpected = Header() + "main event\r\n\tdetail\r\n\t\tabc\r\nnegative\r\nUnable to open.\r\n"
                                         "two\r\nlines\r\n";
    EXPECT_EQ(strExpected, ReadFile(m_machine.Host("C:\\TMPDIR\\UPGRADE.LOG")));

    CloseLog();
    EXPECT_FALSE(LogIsOpen());
    EXPECT_FALSE(PathExists(m_machine.Host("C:\\TMPDIR\\UPGRADE.LOG")));
    LogLine("after close", 0); // goes nowhere
    EXPECT_EQ(strExpected + "\r\n\r\n", ReadFile(m_machine.Host("C:\\VIREO\\GARNET\\UPGRADE.LOG")));
}

TEST_F(LogTest, TwoRunsAppendToTheProgramDirectoryLog)
{
    ASSERT_EQ(1, OpenLog());
    LogLine("first run", 0);
    CloseLog();
    ASSERT_EQ(1, OpenLog());
    LogLine("second run", 0);
    CloseLog();
    EXPECT_EQ(Header() + "first run\r\n\r\n\r\n" + Header() + "second run\r\n\r\n\r\n",
              ReadFile(m_machine.Host("C:\\VIREO\\GARNET\\UPGRADE.LOG")));
}

TEST_F(LogTest, StaysInTheTemporaryDirectoryWithoutAWritableProgramDirectory)
{
    ASSERT_EQ(1, OpenLog());
    snprintf(m_szProgramDir, sizeof(m_szProgramDir), "NULL");
    LogLine("kept", 0);
    CloseLog();
    EXPECT_TRUE(LogIsOpen());
    LogLine("still logging", 0);
    EXPECT_EQ(Header() + "kept\r\nstill logging\r\n", ReadFile(m_machine.Host("C:\\TMPDIR\\UPGRADE.LOG")));
    gpProgramDir = nullptr;
    CloseLog();
    EXPECT_TRUE(LogIsOpen());
    snprintf(m_szProgramDir, sizeof(m_szProgramDir), "C:\\VIREO\\GARNET");
}

TEST_F(LogTest, WithoutTempUsesTheTempDirectoryOfTheCurrentDrive)
{
    unsetenv("TEMP");
    ASSERT_EQ(1, OpenLog());
    LogLine("x", 0);
    EXPECT_TRUE(PathExists(m_machine.Host("C:\\TEMP\\UPGRADE.LOG")));
    CloseLog();
}

TEST_F(LogTest, OpenFailsWhenTheFileCannotBeCreated)
{
    setenv("TEMP", "C:\\no\\such\\dir", 1);
    EXPECT_EQ(0, OpenLog());
    EXPECT_FALSE(LogIsOpen());
}

// Log paths that do not fit are never cut into other names: a TEMP too
// long for the log's name opens no log; a program directory too long for the
// final log keeps the log in the temporary directory, with the reason.
TEST_F(LogTest, PathsThatDoNotFitAreNeverCut)
{
    std::string strTemp = "C:\\" + std::string(246, 't'); // + "\UPGRADE.LOG" makes 261
    MakeDirs(m_machine.Host(strTemp));
    setenv("TEMP", strTemp.c_str(), 1);
    EXPECT_EQ(0, OpenLog());
    EXPECT_FALSE(LogIsOpen());
    strTemp.resize(strTemp.size() - 2); // the log's path 259 characters exactly
    MakeDirs(m_machine.Host(strTemp));
    setenv("TEMP", strTemp.c_str(), 1);
    ASSERT_EQ(1, OpenLog());
    CloseLog();
    EXPECT_TRUE(PathExists(m_machine.Host("C:\\VIREO\\GARNET\\UPGRADE.LOG")));

    setenv("TEMP", "C:\\TMPDIR", 1);
    std::string strProgram = "C:\\" + std::string(245, 'p'); // + "\UPGRADE.LOG" makes 260
    MakeDirs(m_machine.Host(strProgram));
    ASSERT_EQ(1, OpenLog());
    snprintf(m_szProgramDir, sizeof(m_szProgramDir), "%s", strProgram.c_str());
    CloseLog();
    EXPECT_TRUE(LogIsOpen());
    EXPECT_EQ(Header() + "Path too long: " + strProgram + "\\UPGRADE.LOG\r\n",
              ReadFile(m_machine.Host("C:\\TMPDIR\\UPGRADE.LOG")));
    EXPECT_TRUE(std::filesystem::is_empty(m_machine.Host(strProgram)));
    snprintf(m_szProgramDir, sizeof(m_szProgramDir), "C:\\VIREO\\GARNET");
}

} // namespace
