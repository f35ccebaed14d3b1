// Start-up and the run modes, run as real processes on real packages built
// by heron-pack, in a temporary emulated machine. Printed message boxes and
// log lines are compared word for word.
#include "shell/globals.h"
#include "main/startup.h"
#include "support/installer.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace {

class StartupTest : public InstallerTest {
protected:
    // A sample installation without data directories: discovery stops an
    // unattended run at the data directories, after every earlier step.
    void InstallWithoutDataDirectories() { Install({"--data-dirs", "0"}); }
};

// The option word and the label, parsed in-process (no log is open, no
// extraction word): listing words replace the word, the others add bits.
TEST(ParseCommandLine, OptionWordAndLabel)
{
    struct Row {
        const char* szLine;
        int iResult;
        unsigned uOptions;
        const char* szLabel;
    } rows[] = {
        {"", 1, 0x00, ""},
        {"/NOUSER -Revert Release 1.2", 1, 0x06, "Release 1.2"},
        {"revert \"Release  1.2FP3\"", 1, 0x04, "Release 1.2FP3"},
        {"revert Release-1.2", 1, 0x04, "Release 1.2"},
        {"revert nouser third", 0, 0x06, ""},
        {"listfix nouser", 1, 11, ""},
        {"nouser listfix", 1, 11, ""},
        {"force revert x listfix", 1, 11, "x"},
        {"listfix force", 1, 0x8B, ""},
        {"fixdetails", 1, 19, ""},
        {"Contents", 1, 35, ""},
        {"nochecksum bogus force", 0, 0x81, ""},
        // A revert label of 100 characters fits; one more refuses the line.
        {"revert R123456789 R123456789 R123456789 R123456789 R123456789 R123456789 R123456789 R123456789 "
         "R123456789 X",
         1, 0x04,
         "R123456789 R123456789 R123456789 R123456789 R123456789 R123456789 R123456789 R123456789 R123456789 X"},
        {"revert R123456789 R123456789 R123456789 R123456789 R123456789 R123456789 R123456789 R123456789 "
         "R123456789 XY nouser",
         0, 0x04, ""},
    };
    for (const Row& row : rows) {
        gwOptions = 0;
        snprintf(gszRevertLabel, sizeof(gszRevertLabel), "stale");
        EXPECT_EQ(row.iResult, ParseCommandLine(row.szLine)) << row.szLine;
        EXPECT_EQ(row.uOptions, (unsigned)gwOptions) << row.szLine;
        EXPECT_STREQ(row.szLabel, gszRevertLabel) << row.szLine;
    }
    gwOptions = 0;
    gszRevertLabel[0] = 0;
}

const char kContents[] = "This fix contains:\na.txt, qstrings.dll, sub\\new.txt, quill.cfg, qsys.dll, gone.txt";

TEST_F(StartupTest, ContentsListsThePackageFilesAndLeavesTheLogInTemp)
{
    ProcessResult result = Run("/contents");
    EXPECT_EQ(0, result.iExitCode);
    EXPECT_EQ(Box("Info", kContents), result.strOut);
    EXPECT_EQ(Header(), TempLog());
    EXPECT_FALSE(PathExists(m_machine.Host("C:\\work\\UpdateVersion.exe"))); // never reached
}

TEST_F(StartupTest, ExtractIntoADirectoryStopsReadingWords)
{
    MakeDirs(m_machine.Host("C:\\out"));
    ProcessResult result = Run("extract C:\\out nouser bogus");
    EXPECT_EQ(0, result.iExitCode);
    EXPECT_EQ("", result.strOut);
    EXPECT_EQ("hello world\n", ReadFile(m_machine.Host("C:\\out\\a.txt")));
    EXPECT_EQ("brand new\n", ReadFile(m_machine.Host("C:\\out\\new.txt")));
    EXPECT_EQ("data 2\n", ReadFile(m_machine.Host("C:\\out\\quill.cfg")));
    EXPECT_EQ("", ReadFile(m_machine.Host("C:\\out\\gone.txt")));
    EXPECT_TRUE(PathExists(m_machine.Host("C:\\out\\gone.txt"))); // a removed file: empty payload
    std::string strLog = TempLog();
    EXPECT_EQ(std::string::npos, strLog.find("Not recognised")); // "bogus" never read
    EXPECT_NE(std::string::npos, strLog.find("Outsize: 12; Insize: "));
}

TEST_F(StartupTest, ExtractVariants)
{
    // Alone: into the current directory.
    ProcessResult result = Run("EXTRACT");
    EXPECT_EQ(0, result.iExitCode);
    EXPECT_EQ("hello world\n", ReadFile(m_machine.Host("C:\\work\\a.txt")));
    // A missing directory: the path box, then locally.
    RemoveAll(m_machine.Host("C:\\work\\a.txt"));
    result = Run("-extract C:\\missing");
    EXPECT_EQ(Box("Error", "C:\\missing is not a valid path: extracting locally"), result.strOut);
    EXPECT_EQ("hello world\n", ReadFile(m_machine.Host("C:\\work\\a.txt")));
    // An unknown word before it is logged, and the extraction still runs.
    MakeDirs(m_machine.Host("C:\\dest"));
    result = Run("bogus extract C:\\dest\\");
    EXPECT_EQ(0, result.iExitCode);
    EXPECT_EQ("", result.strOut);
    EXPECT_NE(std::string::npos, TempLog().find("Not recognised string: bogus\r\n"));
    EXPECT_EQ("brand new\n", ReadFile(m_machine.Host("C:\\dest\\new.txt")));
}

TEST_F(StartupTest, UnknownWordShowsTheHelpBox)
{
    // "nouser" clears the label flag, so the third word is not part of a label.
    ProcessResult result = Run("revert nouser third");
    EXPECT_EQ(1, result.iExitCode); // refused: the run stops at start-up
    std::string strHelp =
        "Command Line Help.\n\tNOCHECKSUM - skip Application Integrity Verification.\n\tNOUSER - automatic upgrade "
        "mode (must be used with REVERT option for reverting hotfixes only).\n\tREVERT Label - (witn nouser) in "
        "revert mode will try to revert to the specified label.\n\tLISTFIX - lists installed hotfixes and "
        "fixpacks.\n\tFIXDETAILS - lists files belonging to hotfixes and their status.\n\tCONTENTS - lists files "
        "belonging to this hotfix.\n";
    EXPECT_EQ(Box("Incremental Installer", strHelp), result.strOut);
    EXPECT_EQ(Header() + "Not recognised string: third\r\n", TempLog());
}

TEST_F(StartupTest, RevertLabelWordsAreJoinedAndTheToolsWrittenExecutable)
{
    InstallWithoutDataDirectories();
    ProcessResult result = Run("nochecksum /NOUSER -Revert Release 1.2");
    std::string strLog = TempLog();
    EXPECT_NE(std::string::npos,
              strLog.find("Assuming Release is a part of a label\r\nAssuming 1.2 is a part of a label\r\n"))
        << strLog;
    EXPECT_NE(std::string::npos, strLog.find("Module checksum skipped by command line option.\r\n"));
    struct stat st;
    ASSERT_EQ(0, stat(m_machine.Host("C:\\work\\UpdateVersion.exe").c_str(), &st));
    EXPECT_TRUE(st.st_mode & S_IXUSR);
    ASSERT_EQ(0, stat(m_machine.Host("C:\\work\\cabarc.exe").c_str(), &st));
    EXPECT_TRUE(st.st_mode & S_IXUSR);
    EXPECT_EQ("#!/bin/sh\necho tool \"$@\"\n", ReadFile(m_machine.Host("C:\\work\\cabarc.exe")));
    // No data directory in this machine: the unattended run ends with code 1 and no box.
    EXPECT_EQ(1, result.iExitCode);
    EXPECT_EQ("", result.strOut);
    EXPECT_NE(std::string::npos, strLog.find("Vireo Garnet Data Directory is incorrect\r\n"));
}

TEST_F(StartupTest, AnExecutableWithoutAPackageStops)
{
    ProcessResult result = RunProcess({BinPath("heron")}, m_machine.Host("C:\\work"),
                                      {{"HERON_ROOT", m_machine.Root()}, {"HERON_UI", "headless"}});
    EXPECT_EQ(2, result.iExitCode); // damaged: no strings
    EXPECT_EQ(Box("Error", "Unable to load resource strings. This file is corrupt and can not continue."),
              result.strOut);
}

TEST_F(StartupTest, DamagedPackagesNeverCrash)
{
    std::string strPackage = ReadFile(s_strPackage);
    // A release table offset pointing outside the file, a cut file, a zeroed index.
    std::string strCut = strPackage.substr(0, strPackage.size() - 100);
    std::string strBadIndex = strPackage;
    for (size_t i = strBadIndex.size() - 16; i < strBadIndex.size() - 8; i++) strBadIndex[i] = '\xff';
    for (const std::string& strBytes : {strCut, strBadIndex}) {
        WriteFile(m_machine.Host("C:\\work\\setup.exe"), strBytes);
        ProcessResult result = Run("contents");
        EXPECT_EQ(2, result.iExitCode);
        EXPECT_EQ(Box("Error", "Unable to load resource strings. This file is corrupt and can not continue."),
                  result.strOut);
    }
}

// The self-check: a built package passes; a changed byte anywhere, or a
// changed stored sum, fails it and ends the run with code 2 (damaged).
TEST_F(StartupTest, SelfCheckOfTheOwnFile)
{
    std::string strPackage = ReadFile(s_strPackage);
    size_t cb = strPackage.size();
    auto Sum = [](const std::string& str, size_t iStored) {
        unsigned int dw = 0;
        for (size_t i = 0; i < str.size(); i++)
            if (i < iStored || i >= iStored + 4) dw += (unsigned char)str[i];
        return dw;
    };
    size_t iStored = cb - 20;
    char szGood[64];
    snprintf(szGood, sizeof(szGood), "Calculated is %xL extracted is %xL\r\n", Sum(strPackage, iStored),
             Sum(strPackage, iStored));
    InstallWithoutDataDirectories();
    ProcessResult result = Run("nouser");
    std::string strLog = TempLog();
    EXPECT_NE(std::string::npos, strLog.find("ModuleFileName is C:\\work\\setup.exe\r\n")) << strLog;
    EXPECT_NE(std::string::npos, strLog.find(szGood)) << strLog;
    EXPECT_EQ(1, result.iExitCode); // passed, then no installation to find

    std::string strByte = strPackage;
    strByte[cb / 2] = (char)(strByte[cb / 2] + 1);
    std::string strStored = strPackage;
    strStored[iStored] = (char)(strStored[iStored] ^ 0x5a);
    for (const std::string& strBytes : {strByte, strStored}) {
        WriteFile(m_machine.Host("C:\\work\\setup.exe"), strBytes);
        result = Run("nouser");
        EXPECT_EQ(2, result.iExitCode);
        strLog = TempLog();
        size_t iLine = strLog.find("Calculated is ");
        ASSERT_NE(std::string::npos, iLine) << strLog;
        unsigned int uCalc = 0, uStored = 0;
        ASSERT_EQ(2, sscanf(strLog.c_str() + iLine, "Calculated is %xL extracted is %xL", &uCalc, &uStored));
        EXPECT_NE(uCalc, uStored);
        EXPECT_EQ(std::string::npos, strLog.find("Directory is incorrect")); // the run ended at the check
    }
}

TEST_F(StartupTest, NoChecksumNeverShowsTheCheck)
{
    InstallWithoutDataDirectories();
    ProcessResult result = Run("nochecksum nouser");
    std::string strLog = TempLog();
    EXPECT_NE(std::string::npos, strLog.find("Module checksum skipped by command line option.\r\n"));
    EXPECT_EQ(std::string::npos, strLog.find("ModuleFileName is"));
}

// Discovery and the running-product check at start-up, on a sample installation.
TEST_F(StartupTest, KeyFileAndRunningProduct)
{
    Install({"--no-key-file"});
    ProcessResult result = Run("nouser nochecksum");
    EXPECT_EQ(1, result.iExitCode);
    EXPECT_EQ("", result.strOut);
    EXPECT_NE(std::string::npos, TempLog().find("C:\\VIREO\\GARNET\\qstrings.dll\r\nChecksum file above doesn't exist\r\n"
                                                "Vireo Garnet key not found in the registry\r\n"))
        << TempLog();

    // A key file held open by another process: the product counts as running.
    Install();
    int iHolder = HoldFile(m_machine.Host("C:\\VIREO\\GARNET\\qstrings.dll"));
    ASSERT_GT(iHolder, 0);
    result = Run("nouser nochecksum");
    EXPECT_EQ(1, result.iExitCode);
    EXPECT_EQ("", result.strOut);
    EXPECT_NE(std::string::npos,
              TempLog().find("Vireo Garnet is still running. Please, shut it down before proceeding.\r\n"));
    result = Run("nochecksum", {{"HERON_ANSWERS", "OK,Cancel"}});
    EXPECT_EQ(0, result.iExitCode);
    std::string strRunning = "Vireo Quill/Garnet or a Quill/Garnet related process is still running.  Please close "
                             "it before pressing OK to continue.";
    EXPECT_EQ(Box("Incremental Installer", strRunning, "OK") + Box("Incremental Installer", strRunning, "Cancel"),
              result.strOut);
    ReleaseFile(iHolder);
}

// The wizard as a person drives it (HERON_SCRIPT) and by itself (nouser),
// with the printed output and the end of the log compared whole. The
// default test package carries a stub for the version-stamp tool, so
// identification on page 2 stops at the stamp read: exit code 1, the log
// left in the temporary directory.
TEST_F(StartupTest, WizardScriptedAndUnattendedRuns)
{
    Install();
    const std::string strLogTail = "Module checksum skipped by command line option.\r\n"
                                   "\tDLGSTATE_DIRS: Before Freeing the memory for giPartitions = 1\r\n"
                                   "\tDLGSTATE_DIRS: Before Freeing the memory from  = C:\\QUILLDATA\\PART1\r\n"
                                   "\tDLGSTATE_DIRS:  Before Freeing the memory from  gpQuillData\r\n"
                                   "Using Quill program directory C:\\VIREO\\GARNET\r\n"
                                   "Using Quill data directory C:\\QUILLDATA\\PART1\r\n"
                                   "C:\\VIREO\\GARNET\\qstrings.dll\r\n"
                                   "C:\\VIREO\\GARNET\\currver.txt\r\n"
                                   "Can't open C:\\VIREO\\GARNET\\currver.txt\r\n";

    ProcessResult result = Run("nochecksum", {{"HERON_SCRIPT", "accept;next;next"}, {"HERON_ANSWERS", "No"}});
    EXPECT_EQ(1, result.iExitCode);
    EXPECT_EQ("--- Incremental Installer Release 8.0.1 -> Release 8.0.2 ---\n"
              "--- page 0 ---\n"
              "Please, read the following license agreement carefully.\n"
              "> accept\n"
              "> next\n"
              "--- page 1 ---\n"
              "Welcome to the Vireo Quill Incremental Installer.\n"
              "> next\n"
              "tool C:\\VIREO\\GARNET myversion read\n",
              result.strOut);
    std::string strLog = TempLog();
    ASSERT_GE(strLog.size(), strLogTail.size());
    EXPECT_EQ(strLogTail, strLog.substr(strLog.size() - strLogTail.size()));
    EXPECT_EQ(0u, strLog.find(Header())); // the run's block starts with its header
    EXPECT_FALSE(PathExists(m_machine.Host("C:\\VIREO\\GARNET\\UPGRADE.LOG"))); // no exit work

    // Unattended: no page waits, so nothing is drawn before the stamp read.
    result = Run("nochecksum nouser");
    EXPECT_EQ(1, result.iExitCode);
    EXPECT_EQ("tool C:\\VIREO\\GARNET myversion read\n", result.strOut);
    strLog = TempLog();
    EXPECT_EQ(strLogTail, strLog.substr(strLog.size() - strLogTail.size()));
}

} // namespace
