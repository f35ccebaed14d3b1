// Exit codes and reported failures of whole runs: the installer run as a
// process on real packages (some damaged on purpose) in a temporary emulated
// machine; exit codes, boxes and log lines compared word for word.
#include "shell/exitcodes.h"
#include "support/container.h"
#include "support/installer.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

class OutcomeTest : public InstallerTest {
protected:
    // The package with one change, made the running one.
    template <typename F>
    void UseChanged(F fnChange)
    {
        std::string str = ReadFile(s_strPackage);
        fnChange(str);
        ContainerResum(str);
        WriteFile(m_machine.Host("C:\\work\\setup.exe"), str);
        chmod(m_machine.Host("C:\\work\\setup.exe").c_str(), 0755);
    }
    std::vector<std::string> Body() { return LogBodyLines(m_machine.Host("C:\\TEMP\\UPGRADE.LOG")); }
};

TEST_F(OutcomeTest, ExtractionExitCodes)
{
    // Done.
    MakeDirs(m_machine.Host("C:\\out"));
    EXPECT_EQ(EXIT_DONE, Run("extract C:\\out").iExitCode);

    // A read-only directory: code 5, each file logged with its full path.
    MakeDirs(m_machine.Host("C:\\ro"));
    chmod(m_machine.Host("C:\\ro").c_str(), 0555);
    ProcessResult result = Run("extract C:\\ro");
    chmod(m_machine.Host("C:\\ro").c_str(), 0755);
    if (geteuid() != 0) {
        EXPECT_EQ(EXIT_EXTRACT_WRITE, result.iExitCode);
        EXPECT_NE(std::string::npos, TempLog().find("\t\tFailed to open the temp file C:\\ro\\new.txt.\r\n"));
    }

    // A directory name of 260 characters: refused, nothing lands in its parent.
    std::string strLong = "C:\\" + std::string(257, 'x');
    MakeDirs(m_machine.Host(strLong));
    result = Run("extract " + strLong);
    EXPECT_EQ(EXIT_EXTRACT_WRITE, result.iExitCode);
    EXPECT_EQ((std::vector<std::string>{"Path too long: " + strLong}), Body());
    EXPECT_FALSE(PathExists(m_machine.Host("C:\\" + std::string(257, 'x') + "a.txt")));
    EXPECT_FALSE(PathExists(m_machine.Host("C:\\" + std::string(257, 'x') + "\\a.txt")));

    // A damaged payload: code 2, the file is not written.
    RemoveAll(m_machine.Host("C:\\out"));
    MakeDirs(m_machine.Host("C:\\out"));
    UseChanged([](std::string& str) {
        for (const ContainerEntry& entry : ContainerIndex(str))
            if (entry.strType == "UPDATE") str[(size_t)entry.qwOffset + 4] = 7;
    });
    result = Run("extract C:\\out");
    EXPECT_EQ(EXIT_DAMAGED, result.iExitCode);
    EXPECT_FALSE(PathExists(m_machine.Host("C:\\out\\a.txt")));
}

TEST_F(OutcomeTest, ContentsOfADamagedReleaseTable)
{
    UseChanged([](std::string& str) { ContainerSetSize(str, ContainerFind(str, "VERSION", 1), 300); });
    ProcessResult result = Run("contents");
    EXPECT_EQ(EXIT_DAMAGED, result.iExitCode);
    EXPECT_EQ(0u, result.strOut.find("=== Incremental Installer ===\n")) << result.strOut;
    EXPECT_EQ(std::string::npos, result.strOut.find("This fix contains")) << result.strOut;
}

TEST_F(OutcomeTest, ToolThatCannotBeCreatedStopsTheRun)
{
    Install({"--data-dirs", "0"});
    MakeDirs(m_machine.Host("C:\\work\\UpdateVersion.exe")); // a directory in the way
    for (const char* szLine : {"nochecksum nouser", "nochecksum"}) {
        ProcessResult result = Run(szLine);
        EXPECT_EQ(EXIT_STARTUP, result.iExitCode) << szLine;
        std::vector<std::string> vBody = Body();
        ASSERT_FALSE(vBody.empty());
        EXPECT_EQ("\t\tFailed to open the temp file UpdateVersion.exe.", vBody.back()) << szLine;
    }
}

TEST_F(OutcomeTest, ToolWrittenShortStopsTheRunAndIsDeleted)
{
    Install();
    // A full disk under the tool's name: the bytes never reach it.
    ASSERT_EQ(0, symlink("/dev/full", m_machine.Host("C:\\work\\cabarc.exe").c_str()));
    ProcessResult result = Run("nochecksum nouser");
    EXPECT_EQ(EXIT_STARTUP, result.iExitCode);
    std::vector<std::string> vBody = Body();
    ASSERT_FALSE(vBody.empty());
    EXPECT_EQ("\t\tFailed to write the file cabarc.exe.", vBody.back());
    EXPECT_FALSE(PathExists(m_machine.Host("C:\\work\\cabarc.exe")));
}

TEST_F(OutcomeTest, PackageWithoutItsLicenceStopsAnUnattendedRun)
{
    Install();
    UseChanged([](std::string& str) { ContainerHide(str, ContainerFind(str, "LICENSEENTRY", 2)); });
    ProcessResult result = Run("nouser");
    EXPECT_EQ(EXIT_STARTUP, result.iExitCode);
    EXPECT_EQ("", result.strOut); // no box in an unattended run
    EXPECT_EQ((std::vector<std::string>{"Failed to load license entry resource."}), Body());
    // Interactive: the box, and the package counts as damaged.
    result = Run("");
    EXPECT_EQ(EXIT_DAMAGED, result.iExitCode);
    EXPECT_EQ(Box("Error", "Failed to load license entry resource."), result.strOut);
}

TEST_F(OutcomeTest, DamagedLicencePayloadIsADamagedPackage)
{
    Install();
    UseChanged([](std::string& str) { str[(size_t)ContainerFind(str, "LICENSEENTRY", 2).qwOffset + 4] = 7; });
    ProcessResult result = Run("nouser");
    EXPECT_EQ(EXIT_DAMAGED, result.iExitCode);
    EXPECT_EQ("", result.strOut);
    std::vector<std::string> vBody = Body();
    ASSERT_EQ(2u, vBody.size());
    EXPECT_EQ("Failed to decompress buffer.", vBody[1]);
}

TEST_F(OutcomeTest, CommandLineWordTooLongIsRefusedWhole)
{
    // Before: the long word was cut and "nouser" after it silently dropped.
    std::string strWord(8178, 'w');
    ProcessResult result = Run(strWord + " nouser");
    EXPECT_EQ(EXIT_STARTUP, result.iExitCode);
    EXPECT_EQ(0u, result.strOut.find("=== Incremental Installer ===\nCommand Line Help.\n"));
    EXPECT_EQ((std::vector<std::string>{"Command line word too long: 8178 characters"}), Body());
}

TEST_F(OutcomeTest, TempDirectoryTooLongForTheLog)
{
    // 249 characters: "\UPGRADE.LOG" would not fit, and no log named "UPGRADE." appears.
    std::string strTemp = "C:\\" + std::string(246, 't');
    MakeDirs(m_machine.Host(strTemp));
    ProcessResult result = Run("contents", {{"TEMP", strTemp}});
    EXPECT_EQ(EXIT_STARTUP, result.iExitCode);
    EXPECT_EQ(Box("Incremental Installer", "Unable to open log file UPGRADE.LOG. Exiting."), result.strOut);
    EXPECT_FALSE(PathExists(m_machine.Host(strTemp + "\\UPGRADE.")));
    EXPECT_FALSE(PathExists(m_machine.Host(strTemp + "\\UPGRADE.LOG")));
}

} // namespace
