// Discovery as the installer does it at start-up, run as a process on
// sample installations made for each source of discovery. The unattended
// wizard commits the directories on its identification page and logs them;
// identification then stops at the release-stamp read (exit code 1), as the
// default test package carries a stub for the version-stamp tool, and the
// log stays in the temporary directory.
#include "support/installer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class DiscoveryRunTest : public InstallerTest {
protected:
    // The directories the wizard committed, from the log.
    std::string Committed(const std::string& strLog)
    {
        std::string strOut;
        size_t i = 0;
        while ((i = strLog.find("Using Quill ", i)) != std::string::npos) {
            size_t iEnd = strLog.find("\r\n", i);
            strOut += strLog.substr(i, iEnd - i) + "\n";
            i = iEnd;
        }
        return strOut;
    }
};

TEST_F(DiscoveryRunTest, RegistryPathsInLowerCaseWithTrailingBackslash)
{
    Install({"--lowercase-path", "--data-dirs", "2"});
    ProcessResult result = Run("nochecksum nouser");
    EXPECT_EQ(1, result.iExitCode);
    EXPECT_EQ("Using Quill program directory C:\\VIREO\\GARNET\n"
              "Using Quill data directory C:\\QUILLDATA\\PART1\n"
              "Using Quill data directory C:\\QUILLDATA\\PART2\n",
              Committed(TempLog()));
}

TEST_F(DiscoveryRunTest, TheFiveZeroSubkeyIsSkipped)
{
    Install({"--five-key"});
    ProcessResult result = Run("nochecksum nouser");
    EXPECT_EQ(1, result.iExitCode);
    EXPECT_EQ("Using Quill program directory C:\\VIREO\\GARNET\n"
              "Using Quill data directory C:\\QUILLDATA\\PART1\n",
              Committed(TempLog()));
}

TEST_F(DiscoveryRunTest, ProgramDirectoryFromTheServerOnTheSearchPath)
{
    Install({"--no-product-key-path"});
    ProcessResult result = Run("nochecksum nouser", {{"PATH", "C:\\NOTHERE;C:\\vireo\\garnet"}});
    EXPECT_EQ(1, result.iExitCode);
    std::string strLog = TempLog();
    EXPECT_EQ("Using Quill program directory C:\\VIREO\\GARNET\n"
              "Using Quill data directory C:\\QUILLDATA\\PART1\n",
              Committed(strLog));
    EXPECT_EQ(std::string::npos, strLog.find("Parlance")); // found before the sibling key is tried
}

TEST_F(DiscoveryRunTest, ProgramDirectoryFromTheSiblingKey)
{
    Install({"--no-product-key-path", "--parlance-key", "--program-dir", "D:\\QUILL"});
    ProcessResult result = Run("nochecksum nouser", {{"PATH", "C:\\NOTHERE"}});
    EXPECT_EQ(1, result.iExitCode);
    std::string strLog = TempLog();
    EXPECT_NE(std::string::npos, strLog.find("Found Parlance Key\r\nFound string Path in Parlance Key\r\n")) << strLog;
    EXPECT_NE(std::string::npos, strLog.find("Using Quill program directory D:\\QUILL\r\n"));
}

TEST_F(DiscoveryRunTest, DataDirectoryFromTheWindowsConfigurationFile)
{
    Install({"--data-dirs", "0", "--quill-ini-windows", "--lowercase-path"});
    ProcessResult result = Run("nochecksum nouser", {{"PATH", "C:\\NOTHERE"}});
    EXPECT_EQ(1, result.iExitCode);
    EXPECT_EQ("Using Quill program directory C:\\VIREO\\GARNET\n"
              "Using Quill data directory C:\\QUILLDATA\\PART1\n",
              Committed(TempLog()));
}

TEST_F(DiscoveryRunTest, NoSourceAtAllStopsAnUnattendedRun)
{
    Install({"--no-registry", "--data-dirs", "0"});
    ProcessResult result = Run("nochecksum nouser", {{"PATH", "C:\\NOTHERE"}});
    EXPECT_EQ(1, result.iExitCode);
    EXPECT_EQ("", result.strOut);
    std::string strLog = TempLog();
    EXPECT_NE(std::string::npos, strLog.find("NOT found Parlance Key\r\nVireo Garnet Directory is incorrect\r\n"))
        << strLog;
    // Interactively: the box of text 10, the program directory becomes NULL,
    // and the log stays in the temporary directory.
    result = Run("nochecksum", {{"PATH", "C:\\NOTHERE"}, {"HERON_SCRIPT", "accept;next"}});
    EXPECT_EQ(0, result.iExitCode);
    EXPECT_NE(std::string::npos,
              result.strOut.find(Box("Incremental Installer",
                                     "Unable to find the Vireo Quill program files. Using default directory.")))
        << result.strOut;
    EXPECT_NE(std::string::npos,
              result.strOut.find(Box("Incremental Installer",
                                     "Unable to find the Vireo Quill data files.  Using default directory.")));
}

// A diagnostics-tool package without data directories uses the program
// directory as its one uncounted data directory.
TEST_F(DiscoveryRunTest, DiagnosticsPackageUncountedEntry)
{
    PackageRecipe recipe = DefaultRecipe();
    recipe.strExtraPackage = "Kind = QSD";
    std::string strLog;
    std::string strPackage = BuildPackage(m_machine.Root() + "/qsd", recipe, &strLog);
    ASSERT_FALSE(strPackage.empty()) << strLog;
    UsePackage(strPackage);
    Install({"--data-dirs", "0"});
    ProcessResult result = Run("nochecksum nouser", {{"PATH", "C:\\NOTHERE"}});
    // No stamp is read in this kind; identification finds no version in
    // text 0 and the run ends as not applicable, its log moved.
    EXPECT_EQ(3, result.iExitCode);
    std::string strFinal = FinalLog();
    EXPECT_EQ(std::string::npos, strFinal.find("Data Directory is incorrect"));
    EXPECT_NE(std::string::npos, strFinal.find("Using Quill program directory C:\\VIREO\\GARNET\r\n")) << strFinal;
    EXPECT_NE(std::string::npos, strFinal.find("Using Quill data directory C:\\VIREO\\GARNET\r\n"));
}

} // namespace
