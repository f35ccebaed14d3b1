// Identification as the installer runs it: real packages built by heron-pack
// from release trees whose key files carry real release stamps, real sample
// installations, the wizard driven headless by a script or unattended. Log
// lines and page texts are compared word for word.
#include "package/explode/crc32.h"
#include "support/installer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Release {
    std::string strLabel;
    std::string strDir;     // folder below releases/
    std::string strVersion; // the key file's file version
    TreeFiles files;
};

const char kR800[] = "Release 8.0.0|January 5, 2010";
const char kR801[] = "Release 8.0.1|March 3, 2010";
const char kR802[] = "Release 8.0.2|May 1, 2010";

std::vector<Release> ThreeReleases()
{
    return {
        {kR800, "8.0.0", "8.0.0.0", {{"program/a.txt", "a 800\n"}, {"data/t.ini", "t 800\n"}}},
        {kR801, "8.0.1", "8.0.1.0", {{"program/a.txt", "a 801\n"}, {"data/t.ini", "t 801\n"}}},
        {kR802, "8.0.2", "8.0.2.0", {{"program/a.txt", "a 802\n"}, {"data/t.ini", "t 802\n"}}},
    };
}

class IdentifyRunTest : public InstallerTest {
protected:
    std::string Dir() { return m_machine.Root() + "/pkg"; }

    // Writes the release trees (each with a stamped key file) and builds the
    // package; it becomes C:\work\setup.exe.
    void Package(const std::vector<Release>& releases, const std::string& strFrom, const std::string& strTo,
                 const std::string& strExtra = "UpgradeType = 2", const std::string& strStrings = "")
    {
        std::string strManifest = "[Package]\nFrom = " + strFrom + "\nTo = " + strTo +
                                  "\nLicense = license.txt\n" + strExtra + "\n[Releases]\n";
        for (const Release& release : releases) {
            std::string strTree = Dir() + "/releases/" + release.strDir;
            for (const auto& entry : release.files) WriteFile(strTree + "/" + entry.first, entry.second);
            MakeDirs(strTree + "/program");
            if (!release.files.count("program/qstrings.dll")) {
                ProcessResult key = RunProcess({BinPath("tools/sample/heron-sample"), "--write-key-file",
                                                strTree + "/program/qstrings.dll", "--stamp", release.strLabel,
                                                "--file-version", release.strVersion});
                ASSERT_EQ(0, key.iExitCode) << key.strErr;
            }
            strManifest += release.strLabel + " = releases/" + release.strDir + "\n";
        }
        if (!strStrings.empty()) strManifest += "[Strings]\n" + strStrings + "\n";
        WriteFile(Dir() + "/license.txt", "Licence.\n");
        WriteFile(Dir() + "/manifest.ini", strManifest);
        ProcessResult result = RunProcess(
            {BinPath("tools/pack/heron-pack"), "build", Dir() + "/manifest.ini", "-o", Dir() + "/setup.exe", "--quiet"});
        ASSERT_EQ(0, result.iExitCode) << result.strOut << result.strErr;
        UsePackage(Dir() + "/setup.exe");
    }

    // The sample installation of one release tree, with more options.
    void InstallRelease(const std::string& strDir, std::vector<std::string> vMore = {})
    {
        std::vector<std::string> vArgs = {"--tree", Dir() + "/releases/" + strDir};
        vArgs.insert(vArgs.end(), vMore.begin(), vMore.end());
        Install(vArgs);
    }

    // Runs the installer with the logs of earlier runs removed.
    ProcessResult Go(const std::string& strCommandLine, const std::map<std::string, std::string>& extra = {})
    {
        RemoveAll(m_machine.Host("C:\\VIREO\\GARNET\\UPGRADE.LOG"));
        RemoveAll(m_machine.Host("C:\\TEMP\\UPGRADE.LOG"));
        return Run(strCommandLine, extra);
    }

    // The run's log, wherever the run left it.
    std::string Log()
    {
        std::string strFinal = m_machine.Host("C:\\VIREO\\GARNET\\UPGRADE.LOG");
        return ReadFile(PathExists(strFinal) ? strFinal : m_machine.Host("C:\\TEMP\\UPGRADE.LOG"));
    }

    // The log's lines without their CR LF.
    std::vector<std::string> LogLines()
    {
        std::vector<std::string> v;
        std::string s = Log();
        size_t i = 0;
        while (i < s.size()) {
            size_t iEnd = s.find("\r\n", i);
            if (iEnd == std::string::npos) iEnd = s.size();
            v.push_back(s.substr(i, iEnd - i));
            i = iEnd + 2;
        }
        return v;
    }

    // 1 when the lines appear in the log one right after the other.
    ::testing::AssertionResult HasLines(const std::vector<std::string>& vWanted)
    {
        std::vector<std::string> v = LogLines();
        for (size_t i = 0; i + vWanted.size() <= v.size(); i++) {
            size_t k = 0;
            while (k < vWanted.size() && v[i + k] == vWanted[k]) k++;
            if (k == vWanted.size()) return ::testing::AssertionSuccess();
        }
        std::string strWanted;
        for (const std::string& s : vWanted) strWanted += s + "\n";
        return ::testing::AssertionFailure() << "lines not found in order:\n" << strWanted << "log:\n" << Log();
    }

    size_t Count(const std::string& strLine)
    {
        size_t n = 0;
        for (const std::string& s : LogLines()) n += s == strLine;
        return n;
    }

    static bool Shows(const ProcessResult& result, const std::string& strText)
    {
        return result.strOut.find(strText + "\n") != std::string::npos;
    }
};

// "%#lxL" of the text's CRC-32, as the registry file records it.
std::string CrcText(const std::string& s)
{
    char sz[32];
    snprintf(sz, sizeof(sz), "0x%xL", ~UpdateCrc32((const unsigned char*)s.data(), (unsigned)s.size(), 0xFFFFFFFFu));
    return sz;
}

const char kWrongVersionTail[] = ". Please check to ensure this is the correct directory or use a corresponding "
                                 "installer. See the file UPGRADE.LOG for more information.";

// Installed at the package's from-release: an older level of the release
// table. With FORCE the run goes on as an upgrade whatever the base restore
// says, verifies and presses Next by itself.
TEST_F(IdentifyRunTest, UpgradeIdentifiedAtTheFromRelease)
{
    Package(ThreeReleases(), kR801, kR802);
    InstallRelease("8.0.1");
    ProcessResult result = Go("nochecksum nouser force");
    EXPECT_TRUE(Shows(result, "--- page 3 ---")) << result.strOut;
    EXPECT_TRUE(HasLines({"Release 8.0.1|March 3, 2010", "DetermineMode: Current version  Release 8.0.1|March 3, 2010",
                          "VerifyLabels: dwNumFiles: 3"}));
    EXPECT_TRUE(HasLines({"VerifyValidLabels: Current version Release 8.0.1|March 3, 2010 is equal to old version: "
                          "Release 8.0.1|March 3, 2010: UPGRADE"}));
    EXPECT_TRUE(HasLines({"Identified Release 8.0.1.", "Entered VerifyQuillVersion()", "Calling VerifyFiles(pointer,3)",
                          "Entering VerifyFiles()", "Exiting VerifyQuillVersion()",
                          "Verified Release 8.0.1|March 3, 2010."}));
    EXPECT_EQ(1u, Count("VerifyValidLabels: Current version Release 8.0.1|March 3, 2010 is equal to old version: "
                        "Release 8.0.1|March 3, 2010: UPGRADE"));
}

// Interactively the page names both levels; a package text with more
// conversions than arguments prints nothing for the extra ones.
TEST_F(IdentifyRunTest, UpgradePageTextFromAnArgumentList)
{
    Package(ThreeReleases(), kR801, kR802, "UpgradeType = 2",
            "24 = Identified %s. Press Next to begin upgrading to %s%s%d%x.");
    InstallRelease("8.0.1");
    ProcessResult result = Go("nochecksum force", {{"HERON_SCRIPT", "accept;next;next"}, {"HERON_ANSWERS", "Yes"}});
    EXPECT_EQ(0, result.iExitCode);
    EXPECT_TRUE(Shows(result, "Identified Release 8.0.1. Press Next to begin upgrading to Release 8.0.2."))
        << result.strOut;
}

// Installed at the package's own level, with the backup directories of two
// older levels: a revert, both levels offered, the to-release never.
TEST_F(IdentifyRunTest, RevertIdentifiedAndALabelChosenFromTheList)
{
    Package(ThreeReleases(), kR801, kR802);
    InstallRelease("8.0.2", {"--backup", kR800, "--backup", kR801});
    ProcessResult result =
        Go("nochecksum", {{"HERON_SCRIPT", "accept;next;next;select=release 8.0.1;back;next;select=Release 8.0.0"},
                           {"HERON_ANSWERS", "Yes"}});
    EXPECT_EQ(0, result.iExitCode);
    EXPECT_TRUE(HasLines({"REVERT: Current version  Release 8.0.2|May 1, 2010 is equal to new version: Release "
                          "8.0.2|May 1, 2010",
                          "Identified Release 8.0.2."}));
    EXPECT_TRUE(HasLines({"\tAdded 0 label Release 8.0.0|January 5, 2010"}));
    EXPECT_TRUE(HasLines({"\tAdded 1 label Release 8.0.1|March 3, 2010"}));
    EXPECT_TRUE(HasLines({"gpcanFixLabels[i] : Release 8.0.0|January 5, 2010 ",
                          "gpcanFixLabels[i] : Release 8.0.1|March 3, 2010 ",
                          "\tSelected Label to revert to: Release 8.0.1|March 3, 2010",
                          "\tgpStrings[STRR_HOTFIX] = Release 8.0.2|May 1, 2010             ; strcmp 1"}));
    // After Back and Next the list is built afresh and the other row chosen.
    EXPECT_TRUE(HasLines({"\tSelected Label to revert to: Release 8.0.0|January 5, 2010"}));
    EXPECT_EQ(2u, Count("gpcanFixLabels[i] : Release 8.0.1|March 3, 2010 "));
    EXPECT_EQ(0u, Count("\tAdded 2 label Release 8.0.2|May 1, 2010"));
}

// A level without its backup directory is never offered; with no level at
// all the revert cannot go anywhere: string 45, Close only, and an
// unattended run ends with 3.
TEST_F(IdentifyRunTest, RevertWithoutBackupsEndsWithString45)
{
    Package(ThreeReleases(), kR801, kR802);
    InstallRelease("8.0.2");
    ProcessResult result = Go("nochecksum nouser");
    EXPECT_EQ(3, result.iExitCode);
    EXPECT_TRUE(Shows(result, "Installer hasn't found the correct backup version of quill to revert to."))
        << result.strOut;
    EXPECT_TRUE(HasLines({"\tDirectory Release800 doesn't exist"}));
    EXPECT_TRUE(HasLines({"Exiting VerifyQuillVersion()", "Can't find valid labels", "Unable to identify release."}));
}

// A stamp that is no level of the package and no backup of the from-release:
// the base restore fails, so the run is undetermined (without FORCE), never
// an upgrade on top of an unknown level.
TEST_F(IdentifyRunTest, UnknownLevelIsUndetermined)
{
    std::vector<Release> releases = ThreeReleases();
    Package(releases, kR801, kR802);
    InstallRelease("8.0.0");
    ProcessResult key = RunProcess({BinPath("tools/sample/heron-sample"), "--write-key-file",
                                    m_machine.Host("C:\\VIREO\\GARNET\\qstrings.dll"), "--stamp",
                                    "Release 7.9.9|June 1, 2009"});
    ASSERT_EQ(0, key.iExitCode);
    ProcessResult result = Go("nochecksum nouser");
    EXPECT_EQ(3, result.iExitCode);
    EXPECT_TRUE(Shows(result, std::string("Installer found the incorrect version Release 7.9.9|June 1, 2009 of Quill in "
                                          "C:\\VIREO\\GARNET") +
                                  kWrongVersionTail))
        << result.strOut;
    EXPECT_TRUE(HasLines({"REVERT: Current version  Release 7.9.9|June 1, 2009 is not equal to new version: Release "
                          "8.0.2|May 1, 2010"}));
    EXPECT_TRUE(HasLines({"RestoreBaseRelease didn't work as expected", "Unable to identify release."}));
    EXPECT_EQ(0u, Count("Entered VerifyQuillVersion()"));
}

// A package whose release table is a table of key-file checksums (upgrade
// type 0): the installed key file decides. An unknown key file is
// undetermined with string 26; the from-release's key file upgrades; the
// to-release's reverts.
TEST_F(IdentifyRunTest, KeyFileChecksumTable)
{
    Package(ThreeReleases(), kR801, kR802, "UpgradeType = 0");
    InstallRelease("8.0.1", {"--data-dirs", "1"});
    ProcessResult key = RunProcess({BinPath("tools/sample/heron-sample"), "--write-key-file",
                                    m_machine.Host("C:\\VIREO\\GARNET\\qstrings.dll"), "--stamp",
                                    "Release 7.9.9|June 1, 2009"});
    ASSERT_EQ(0, key.iExitCode);
    ProcessResult result = Go("nochecksum nouser");
    EXPECT_EQ(3, result.iExitCode);
    EXPECT_TRUE(result.strOut.find(kWrongVersionTail) != std::string::npos) << result.strOut;
    EXPECT_TRUE(HasLines({"RestoreBaseRelease didn't work as expected", "Unable to identify release."}));
    EXPECT_EQ(0u, Count("VerifyLabels: dwNumFiles: 3"));

    InstallRelease("8.0.0");
    result = Go("nochecksum", {{"HERON_SCRIPT", "accept;next;next"}, {"HERON_ANSWERS", "Yes"}});
    // The page names the package's from-release, the log the installed one.
    EXPECT_TRUE(Shows(result, "Identified Release 8.0.1. Press Next to begin upgrading to Release 8.0.2"))
        << result.strOut;
    EXPECT_TRUE(HasLines({"Identified Release 8.0.0.", "Entered VerifyQuillVersion()"}));
    EXPECT_TRUE(HasLines({"Verified Release 8.0.1|March 3, 2010."}));

    InstallRelease("8.0.2");
    result = Go("nochecksum", {{"HERON_SCRIPT", "accept;next;next"}, {"HERON_ANSWERS", "Yes"}});
    EXPECT_TRUE(Shows(result, "Identified Release 8.0.2. Press Next to begin reverting to Release 8.0.1"))
        << result.strOut;
}

// Disk space: the program drive needs the program space and the data space
// of every data directory on it; a data directory on another drive is
// compared with its own drive. The message names the short directory, and
// after Back the welcome page still holds the real program directory.
TEST_F(IdentifyRunTest, DiskSpaceShortOnTheProgramAndOnADataDrive)
{
    Package(ThreeReleases(), kR801, kR802, "UpgradeType = 2\nProgramSpace = 3000000000\nDataSpace = 2000000000");
    InstallRelease("8.0.1", {"--data-dirs", "2"});
    ProcessResult result = Go("nochecksum nouser", {{"HERON_FREE_KB", "6999999999"}});
    EXPECT_EQ(3, result.iExitCode);
    // 3,000,000,000 + 2 x 2,000,000,000: beyond 32 bits, printed whole.
    EXPECT_TRUE(Shows(result, "There is insufficent disk space available on C:\\VIREO\\GARNET. You need 7000000000 "
                              "Kbytes, but have only 6999999999 Kbytes."))
        << result.strOut;
    EXPECT_TRUE(HasLines({"Using Quill data directory C:\\QUILLDATA\\PART2", "Unable to identify release."}));

    MakeDirs(m_machine.Root() + "/drive_d/DATA");
    result = Go("nochecksum", {{"HERON_FREE_KB", "c=99999999999,D=1999999999"},
                                {"HERON_SCRIPT", "accept;next;data=D:\\DATA;next"},
                                {"HERON_ANSWERS", "Yes"}});
    EXPECT_EQ(0, result.iExitCode);
    EXPECT_TRUE(Shows(result, "There is insufficent disk space available on D:\\DATA. You need 2000000000 Kbytes, "
                              "but have only 1999999999 Kbytes."))
        << result.strOut;
    // A data directory typed in lower case is on the program's drive.
    MakeDirs(m_machine.Host("C:\\LOWER"));
    RemoveAll(m_machine.Root() + "/drive_d/DATA");
    ProcessResult lower = Go("nochecksum", {{"HERON_FREE_KB", "8999999999"},
                                            {"HERON_SCRIPT", "accept;next;data=c:\\lower;next"},
                                            {"HERON_ANSWERS", "Yes"}});
    EXPECT_TRUE(Shows(lower, "There is insufficent disk space available on C:\\VIREO\\GARNET. You need 9000000000 "
                             "Kbytes, but have only 8999999999 Kbytes."))
        << lower.strOut;
}

// After Back the welcome page still holds the real program directory.
TEST_F(IdentifyRunTest, ShortDataDriveLeavesTheProgramDirectory)
{
    Package(ThreeReleases(), kR801, kR802, "UpgradeType = 2\nProgramSpace = 3000000000\nDataSpace = 2000000000");
    InstallRelease("8.0.1", {"--data-dirs", "2"});
    MakeDirs(m_machine.Root() + "/drive_d/DATA");
    ProcessResult result = Go("nochecksum", {{"HERON_FREE_KB", "c=99999999999,D=1999999999"},
                                             {"HERON_SCRIPT", "accept;next;data=D:\\DATA;next;back;next"},
                                             {"HERON_ANSWERS", "Yes"}});
    // The second commit still reads the real program directory from page 1.
    EXPECT_EQ(2u, Count("Using Quill program directory C:\\VIREO\\GARNET"));
    EXPECT_EQ(2u, Count("Unable to identify release.")); // still short after Back and Next
    EXPECT_EQ(2u, Count("Using Quill data directory D:\\DATA"));
}

// Unattended revert label choice: the REVERT words are a prefix of the
// second of three labels, which is chosen at once.
TEST_F(IdentifyRunTest, UnattendedLabelByPrefix)
{
    std::vector<Release> releases = ThreeReleases();
    releases.insert(releases.begin(),
                    Release{"Release 7.9.9|June 1, 2009", "7.9.9", "7.9.9.0", {{"program/a.txt", "a 799\n"}}});
    Package(releases, kR801, kR802);
    InstallRelease("8.0.2", {"--backup", "Release 7.9.9|x", "--backup", kR800, "--backup", kR801});
    ProcessResult result = Go("nochecksum nouser revert Release 8.0.0");
    EXPECT_TRUE(HasLines({"gpcanFixLabels[i] : Release 7.9.9|June 1, 2009 ", "Valid label : ",
                          "gpcanFixLabels[i] : Release 8.0.0|January 5, 2010 ",
                          "Revert label Release 8.0.0|January 5, 2010 "}));
    EXPECT_EQ(1u, Count("Revert label Release 8.0.0|January 5, 2010 "));
    EXPECT_EQ(0u, Count("gpcanFixLabels[i] : Release 8.0.1|March 3, 2010 "));
    EXPECT_TRUE(Shows(result, "--- page 3 ---")) << result.strOut;
}

// One label and no REVERT words: the only label is chosen. Two labels and
// none given: string 47, unattended mode ends and the list waits.
TEST_F(IdentifyRunTest, UnattendedOneLabelOrTwoLabelsWithoutChoice)
{
    Package(ThreeReleases(), kR801, kR802);
    InstallRelease("8.0.2", {"--backup", kR801});
    ProcessResult result = Go("nochecksum nouser");
    EXPECT_TRUE(HasLines({"gpcanFixLabels[i] : Release 8.0.1|March 3, 2010 ", "Revert label Release 8.0.1|March 3, 2010 "}));
    EXPECT_TRUE(Shows(result, "--- page 3 ---")) << result.strOut;

    InstallRelease("8.0.2", {"--backup", kR800, "--backup", kR801});
    result = Go("nochecksum nouser", {{"HERON_ANSWERS", "Yes"}});
    EXPECT_EQ(4, result.iExitCode); // started unattended, closed before a revert
    EXPECT_TRUE(Shows(result, "You haven't specified release version to revert to.")) << result.strOut;
    EXPECT_TRUE(HasLines({"gpcanFixLabels[i] : Release 8.0.0|January 5, 2010 ", "Valid label : ",
                          "gpcanFixLabels[i] : Release 8.0.1|March 3, 2010 ",
                          "Valid label :Release 8.0.0|January 5, 2010  ",
                          "You haven't specified release version to revert to. "}));
    EXPECT_FALSE(Shows(result, "--- page 3 ---"));
    // A REVERT label that fits no level: string 46 names it.
    result = Go("nochecksum nouser revert Release 9", {{"HERON_ANSWERS", "Yes"}});
    EXPECT_TRUE(Shows(result, "Release 9 is not valid version to revert to.")) << result.strOut;
}

// A revert asked for while the installed release must be upgraded first:
// string 48, unattended mode ends, and Next upgrades.
TEST_F(IdentifyRunTest, UnattendedRevertThatNeedsAnUpgradeFirst)
{
    Package(ThreeReleases(), kR801, kR802);
    InstallRelease("8.0.1", {"--backup", kR800});
    ProcessResult result = Go("nochecksum nouser force revert Release 8.0.0", {{"HERON_ANSWERS", "Yes"}});
    EXPECT_EQ(4, result.iExitCode); // started unattended, closed before a revert
    EXPECT_TRUE(Shows(result, "You need to upgrade to Release 8.0.2|May 1, 2010 before reverting. Press Next to "
                              "upgrade. Press Close to abort."))
        << result.strOut;
    EXPECT_TRUE(HasLines({"Verified Release 8.0.1|March 3, 2010."}));
    EXPECT_FALSE(Shows(result, "--- page 3 ---"));
}

// A data directory whose patched file another process holds drops out of
// verification; the other data directory keeps the run going.
TEST_F(IdentifyRunTest, HeldDataDirectoryDropsOut)
{
    Package(ThreeReleases(), kR801, kR802, "UpgradeType = 2\nDelta = t.ini");
    InstallRelease("8.0.1", {"--data-dirs", "2"});
    int iPid = HoldFile(m_machine.Host("C:\\QUILLDATA\\PART2\\t.ini"));
    ASSERT_GT(iPid, 0);
    ProcessResult result = Go("nochecksum nouser force");
    ReleaseFile(iPid);
    EXPECT_TRUE(HasLines({"Calling VerifyFiles(pointer,3)", "Entering VerifyFiles()",
                          "The file C:\\QUILLDATA\\PART2\\t.ini is missing or in use by another process. Skipping",
                          "Exiting VerifyQuillVersion()", "Verified Release 8.0.1|March 3, 2010."}));
    EXPECT_TRUE(Shows(result, "--- page 3 ---")) << result.strOut;

    // The installation is now at 8.0.2 (the first data directory): the run
    // is a revert, and a revert leaves no data directory behind, so one
    // held file stops it.
    int iPid1 = HoldFile(m_machine.Host("C:\\QUILLDATA\\PART1\\t.ini"));
    iPid = HoldFile(m_machine.Host("C:\\QUILLDATA\\PART2\\t.ini"));
    result = Go("nochecksum nouser force");
    ReleaseFile(iPid);
    ReleaseFile(iPid1);
    EXPECT_EQ(3, result.iExitCode);
    EXPECT_TRUE(HasLines({"A revert needs every data directory: C:\\QUILLDATA\\PART1\\t.ini is in use",
                          "Exiting VerifyQuillVersion()", "Unable to verify release."}));
}

// A patched program file with other content than the from-release's fails
// verification with string 26.
TEST_F(IdentifyRunTest, ChangedProgramFileFailsVerification)
{
    Package(ThreeReleases(), kR801, kR802, "UpgradeType = 2\nDelta = a.txt");
    InstallRelease("8.0.1");
    WriteFile(m_machine.Host("C:\\VIREO\\GARNET\\a.txt"), "changed\n");
    ProcessResult result = Go("nochecksum nouser force");
    EXPECT_EQ(3, result.iExitCode);
    EXPECT_TRUE(result.strOut.find(kWrongVersionTail) != std::string::npos) << result.strOut;
    std::vector<std::string> v = LogLines();
    bool bFound = false;
    for (const std::string& s : v) bFound |= s.rfind("File a.txt failed checksum. (Found 0x", 0) == 0;
    EXPECT_TRUE(bFound) << Log();
    EXPECT_TRUE(HasLines({"Exiting VerifyQuillVersion()", "Unable to verify release."}));
}

// Custom fixes: judged by the key file's version and the bounds of string 2.
TEST_F(IdentifyRunTest, CustomFixBounds)
{
    std::vector<Release> releases = ThreeReleases();
    releases[1].strVersion = "6.5.4.0";
    releases[2].strVersion = "6.5.5.0";
    Package(releases, kR801, kR802, "UpgradeType = 2\nKind = Custom Fix",
            "0 = Custom fix:6.5.5.0\n2 = Applies to Maximum:6.5.06 Minimum:6.5.01");
    InstallRelease("8.0.1");
    // Runs that would upgrade stop after identification: the installation
    // stays as it is for the next step.
    const std::map<std::string, std::string> identifyOnly = {{"HERON_SCRIPT", "accept;next;next"},
                                                             {"HERON_ANSWERS", "Yes"}};
    ProcessResult result = Go("nochecksum", identifyOnly);
    EXPECT_TRUE(HasLines({"current Custom version:6.5.4.0 is different from the new one 6.5.5.0"}));
    EXPECT_TRUE(HasLines({"\tSTR_RELEASE_TEXT: Applies to Maximum:6.5.06 Minimum:6.5.01",
                          "\tversionInfo is  6.5.4.0 for file C:\\VIREO\\GARNET\\qstrings.dll", "\tMax version: 6.5.06",
                          "\tMin version: 6.5.01"}));
    EXPECT_TRUE(HasLines({"\tMaximum targeted Garnet version 6.5.06 is the same or more than the current one 6.5.04",
                          "Identified Release 8.0.1."}));

    // 6.5.7 is above the maximum: does not apply, unless STX9 lets the
    // minimum decide.
    RunProcess({BinPath("tools/sample/heron-sample"), "--write-key-file",
                m_machine.Host("C:\\VIREO\\GARNET\\qstrings.dll"), "--stamp", kR801, "--file-version", "6.5.7.0"});
    result = Go("nochecksum nouser");
    EXPECT_EQ(3, result.iExitCode);
    EXPECT_TRUE(HasLines({"\tMaximum targeted Garnet version 6.5.06 less than 6.5.07: this custom fix doesn't apply",
                          "Unable to identify release."}));
    std::map<std::string, std::string> identifyStx9 = identifyOnly;
    identifyStx9["STX9"] = "";
    result = Go("nochecksum", identifyStx9);
    EXPECT_TRUE(HasLines({"\tMaximum targeted Garnet version 6.5.06 less than 6.5.07: this custom fix doesn't apply",
                          "\t6.5.01 less or more than the current one 6.5.07", "Identified Release 8.0.1."}));

    // The key file already at the new version: a revert to "Custom Fix: ...".
    RunProcess({BinPath("tools/sample/heron-sample"), "--write-key-file",
                m_machine.Host("C:\\VIREO\\GARNET\\qstrings.dll"), "--stamp", kR801, "--file-version", "6.5.5.0"});
    result = Go("nochecksum", {{"HERON_SCRIPT", "accept;next;next"}, {"HERON_ANSWERS", "Yes"}});
    EXPECT_TRUE(HasLines({"current Custom version:6.5.5.0 is the same as the new one 6.5.5.0: REVERT",
                          "Identified Custom Fix: 6.5.5.0."}));
    EXPECT_TRUE(Shows(result, "Identified Custom Fix: 6.5.5.0. Press Next to begin reverting to Release 8.0.1"))
        << result.strOut;
}

// Diagnostics-tool packages: no stamp is read; the tool's version texts
// compare as texts, so 1.2.3.10 sorts before 1.2.3.9 and the run reverts.
TEST_F(IdentifyRunTest, DiagnosticsVersionsCompareAsText)
{
    Package(ThreeReleases(), kR801, kR802, "UpgradeType = 2\nKind = QSD", "0 = Diagnostics tool:1.2.3.10");
    InstallRelease("8.0.1", {"--data-dirs", "0"});
    ProcessResult made = RunProcess({BinPath("tools/sample/heron-sample"), "--write-program",
                                     m_machine.Host("C:\\VIREO\\GARNET\\qsd.exe"), "--file-version", "1.2.3.9"});
    ASSERT_EQ(0, made.iExitCode);
    ProcessResult result = Go("nochecksum nouser", {{"PATH", "C:\\NOTHERE"}});
    EXPECT_EQ(0u, Count("C:\\VIREO\\GARNET\\currver.txt"));
    EXPECT_TRUE(HasLines({"DetermineMode: Current version  "}));
    EXPECT_TRUE(HasLines({"current QSD version:1.2.3.9 is different from the new one 1.2.3.10"}));
    EXPECT_TRUE(HasLines({"new QSD version:1.2.3.10 was built for a different release than your current one: 1.2.3"}));
    EXPECT_TRUE(HasLines({"Identified Release 8.0.2."}));
}

// Web-access packages: the levels recorded in GWA.INI decide. The installed
// web-access level equal to string 43 is a revert; the level's label is
// offered unless the installed release text begins with it.
TEST_F(IdentifyRunTest, WebAccessLevels)
{
    Package(ThreeReleases(), kR801, kR802, "UpgradeType = 1\nKind = GWA\nLanguagePack = GWA1.5");
    InstallRelease("8.0.2");
    WriteFile(m_machine.Host("C:\\VIREO\\GARNET\\GWA.INI"),
              "[HOTFIXES]\r\nLabel001=\"Release 8.0.2 GWA1.5|June 1, 2010\"\r\n");
    ProcessResult result = Go("nochecksum nouser");
    EXPECT_TRUE(HasLines({"\tReadPatchInfo:added 1 label Release 8.0.2 GWA1.5|June 1, 2010"}));
    EXPECT_TRUE(HasLines({"Identified Release 8.0.2."}));
    EXPECT_TRUE(HasLines({"gpcanFixLabels[i] : Release 8.0.2 GWA1.5|June 1, 2010 ",
                          "Revert label Release 8.0.2 GWA1.5|June 1, 2010 "}));
    EXPECT_EQ("Installed Hotfixes:\r\n\r\nRelease 8.0.2 GWA1.5|June 1, 2010\r\n",
              ReadFile(m_machine.Host("C:\\VIREO\\GARNET\\patch.txt")));

    // Another web-access level: the level test decides (own level: revert,
    // no backup labels -> string 45).
    WriteFile(m_machine.Host("C:\\VIREO\\GARNET\\GWA.INI"),
              "[HOTFIXES]\r\nLabel001=\"Release 8.0.2 GWA1.4|June 1, 2010\"\r\n");
    result = Go("nochecksum nouser");
    EXPECT_TRUE(HasLines({"REVERT: Current version  Release 8.0.2|May 1, 2010 is equal to new version: Release "
                          "8.0.2|May 1, 2010"}));
}

// Revert labels too long for the unattended notice's list of valid labels
// (they come from the registry file, which a package never writes so): the
// page says that no backup to revert to was found, and the wizard waits,
// its window shown, for a person to choose.
TEST_F(IdentifyRunTest, UnattendedRevertWithLabelsTooLongForTheNotice)
{
    Package(ThreeReleases(), kR801, kR802, "UpgradeType = 1\nKind = GWA\nLanguagePack = GWA1.5");
    InstallRelease("8.0.2");
    std::string strLong1 = "Release 8.0.2 GWA1.5 " + std::string(65, 'a') + "|June 1, 2010";
    std::string strLong2 = "Release 8.0.2 GWA1.5 " + std::string(65, 'b') + "|June 2, 2010";
    WriteFile(m_machine.Host("C:\\VIREO\\GARNET\\GWA.INI"),
              "[HOTFIXES]\r\nLabel001=\"" + strLong1 + "\"\r\nLabel002=\"" + strLong2 + "\"\r\n");
    ProcessResult result = Go("nochecksum nouser", {{"HERON_SCRIPT", "select=Release 8.0.2 GWA1.5 b"},
                                                    {"HERON_ANSWERS", "Yes"}});
    EXPECT_EQ(4, result.iExitCode); // started unattended, closed before a revert
    EXPECT_TRUE(Shows(result, "Installer hasn't found the correct backup version of quill to revert to."))
        << result.strOut;
    EXPECT_TRUE(HasLines({"Valid label : ", "gpcanFixLabels[i] : " + strLong2 + " ", "Valid label : ",
                          "Installer hasn't found the correct backup version of quill to revert to."}));
    EXPECT_TRUE(HasLines({"\tSelected Label to revert to: " + strLong2}));
}

// The fix listing reads the registry afresh after the stamp read.
TEST_F(IdentifyRunTest, FixListingFromTheRegistry)
{
    Package(ThreeReleases(), kR801, kR802);
    InstallRelease("8.0.2");
    // a.txt matches the 8.0.2 record; the key file no longer matches 8.0.1's.
    WriteFile(m_machine.Host("C:\\VIREO\\GARNET\\PATCH.INI"),
              "[FIXPACKS]\r\nLabel001=\"Release 8.0.1|March 3, 2010\"\r\nLabel002=\"Release 8.0.2|May 1, 2010\"\r\n"
              "[\"Release 8.0.2|May 1, 2010\"]\r\nFile001=a.txt\r\nChecksum001=" + CrcText("a 802\n") + "\r\n" +
                  "[\"Release 8.0.1|March 3, 2010\"]\r\nFile001=qstrings.dll\r\nChecksum001=0L\r\n");
    WriteFile(m_machine.Host("C:\\work\\patch.txt"), "stale\n");
    ProcessResult result = Go("listfix");
    EXPECT_EQ(0, result.iExitCode);
    EXPECT_EQ(Box("Info", "Installed Fixpacks:\r\n\r\nRelease 8.0.2|May 1, 2010\r\n"), result.strOut);
    result = Go("fixdetails");
    EXPECT_EQ(Box("Info", "Installed Fixpacks:\r\n\r\nRelease 8.0.1|March 3, 2010\r\n\tC:\\VIREO\\GARNET\\qstrings.dll "
                          "overwritten.\r\nRelease 8.0.2|May 1, 2010\r\n\tC:\\VIREO\\GARNET\\a.txt\r\n"),
              result.strOut);
}

} // namespace
