// The terminal front end, driven through tmux on the built installer: the
// agreement page, the radio buttons, Next, the welcome page and the abort
// question, and a terminal restored when the run ends. Skips when tmux,
// the package tools or a wizard to reach are missing.
#include "support/machine.h"
#include "support/package.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace
{

std::string TmuxPath()
{
    for (const char* sz : {"/usr/bin/tmux", "/usr/local/bin/tmux", "/bin/tmux"})
        if (access(sz, X_OK) == 0) return sz;
    return "";
}

class TuiTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_strTmux = TmuxPath();
        if (m_strTmux.empty()) GTEST_SKIP() << "tmux is not installed";
        if (access(BinPath("tools/pack/heron-pack").c_str(), X_OK) != 0 ||
            access(BinPath("tools/sample/heron-sample").c_str(), X_OK) != 0)
            GTEST_SKIP() << "heron-pack or heron-sample not built";
        m_strSocket = "heron-tui-test-" + std::to_string(getpid());
    }
    void TearDown() override
    {
        if (!m_strSocket.empty() && !m_strTmux.empty()) Tmux({"kill-server"});
    }
    ProcessResult Tmux(std::vector<std::string> vArgs)
    {
        vArgs.insert(vArgs.begin(), {m_strTmux, "-L", m_strSocket});
        return RunProcess(vArgs);
    }
    std::string Screen() { return Tmux({"capture-pane", "-p", "-t", "tui"}).strOut; }
    /* Waits up to 10 seconds for the text on the screen. */
    bool WaitFor(const std::string& strText)
    {
        for (int i = 0; i < 100; i++) {
            if (Screen().find(strText) != std::string::npos) return true;
            usleep(100000);
        }
        return false;
    }
    void Keys(const std::vector<std::string>& vKeys)
    {
        for (const std::string& strKey : vKeys) {
            Tmux({"send-keys", "-t", "tui", strKey});
            usleep(150000);
        }
    }
    /* Starts the installer of the recipe's package in a tmux window of that
     * size and answers the start-up boxes; true when the agreement page (or
     * szFirst) shows. */
    bool StartWizard(TempMachine& machine, const PackageRecipe& recipe, int cCols, int cRows,
                     const char* szFirst = "Please, read the following license agreement")
    {
        std::string strLog;
        std::string strPackage = BuildPackage(machine.Root() + "/pkg", recipe, &strLog);
        EXPECT_FALSE(strPackage.empty()) << strLog;
        if (strPackage.empty()) return false;
        ProcessResult sample = RunProcess({BinPath("tools/sample/heron-sample"), "--root", machine.Root()});
        EXPECT_EQ(0, sample.iExitCode) << sample.strOut << sample.strErr;
        std::string strExe = machine.Host("C:\\work\\setup.exe");
        WriteFile(strExe, ReadFile(strPackage));
        chmod(strExe.c_str(), 0755);
        std::string strCommand = "cd '" + machine.Host("C:\\work") + "' && HERON_ROOT='" + machine.Root() +
                                 "' TEMP='C:\\TEMP' HERON_UI=tui ./setup.exe nochecksum; echo EXITED $?; sleep 60";
        if (Tmux({"new-session", "-d", "-s", "tui", "-x", std::to_string(cCols), "-y", std::to_string(cRows),
                  strCommand}).iExitCode != 0)
            return false;
        for (int i = 0; i < 100; i++) {
            std::string strScreen = Screen();
            if (strScreen.find(szFirst) != std::string::npos) return true;
            if (strScreen.find("EXITED") != std::string::npos) return false;
            if (strScreen.find("[ OK ]") != std::string::npos)
                Keys({"Enter"});
            else
                usleep(100000);
        }
        return false;
    }
    std::string m_strTmux;
    std::string m_strSocket;
};

/* The column, in characters, of the last "|" of the screen line holding strText; -1 without one. */
int BorderColumn(const std::string& strScreen, const std::string& strText)
{
    size_t iAt = strScreen.find(strText);
    if (iAt == std::string::npos) return -1;
    size_t iStart = strScreen.rfind('\n', iAt);
    iStart = iStart == std::string::npos ? 0 : iStart + 1;
    size_t iEnd = strScreen.find('\n', iAt);
    std::string strLine = strScreen.substr(iStart, iEnd == std::string::npos ? std::string::npos : iEnd - iStart);
    int iColumn = 0, iBorder = -1;
    for (unsigned char c : strLine) {
        if ((c & 0xC0) == 0x80) continue;
        if (c == '|') iBorder = iColumn;
        iColumn++;
    }
    return iBorder;
}

TEST_F(TuiTest, WizardInTheTerminal)
{
    TempMachine machine;
    std::string strLog;
    std::string strPackage = BuildPackage(machine.Root() + "/pkg", DefaultRecipe(), &strLog);
    ASSERT_FALSE(strPackage.empty()) << strLog;
    ProcessResult sample = RunProcess({BinPath("tools/sample/heron-sample"), "--root", machine.Root()});
    ASSERT_EQ(0, sample.iExitCode) << sample.strOut << sample.strErr;
    std::string strExe = machine.Host("C:\\work\\setup.exe");
    WriteFile(strExe, ReadFile(strPackage));
    chmod(strExe.c_str(), 0755);

    std::string strCommand = "cd '" + machine.Host("C:\\work") + "' && HERON_ROOT='" + machine.Root() +
                             "' TEMP='C:\\TEMP' HERON_UI=tui ./setup.exe nochecksum; echo EXITED $?; sleep 60";
    ASSERT_EQ(0, Tmux({"new-session", "-d", "-s", "tui", "-x", "80", "-y", "24", strCommand}).iExitCode);

    // Boxes of start-up (a directory not found) come first; OK each.
    bool bWizard = false;
    for (int i = 0; i < 100 && !bWizard; i++) {
        std::string strScreen = Screen();
        if (strScreen.find("Please, read the following license agreement") != std::string::npos)
            bWizard = true;
        else if (strScreen.find("EXITED") != std::string::npos)
            break;
        else if (strScreen.find("[ OK ]") != std::string::npos)
            Keys({"Enter"});
        else
            usleep(100000);
    }
    if (!bWizard) GTEST_SKIP() << "the installer did not reach the wizard:\n" << Screen();

    std::string strScreen = Screen();
    EXPECT_NE(std::string::npos, strScreen.find("Incremental Installer Release 8.0.1 -> Release 8.0.2")) << strScreen;
    EXPECT_NE(std::string::npos, strScreen.find("Licence agreement.")) << strScreen;
    EXPECT_NE(std::string::npos, strScreen.find("( ) I accept")) << strScreen;
    EXPECT_NE(std::string::npos, strScreen.find("Next")) << strScreen;

    Keys({"Enter"});  // Next is disabled until the agreement is accepted
    EXPECT_NE(std::string::npos, Screen().find("Please, read the following license agreement"));
    Keys({"Tab", "Tab", "Space"});
    EXPECT_TRUE(WaitFor("(*) I accept")) << Screen();
    Keys({"Enter"});
    EXPECT_TRUE(WaitFor("Welcome to the Vireo Quill Incremental Installer.")) << Screen();
    EXPECT_NE(std::string::npos, Screen().find("Quill program files have been found in:"));

    Keys({"Escape"});
    EXPECT_TRUE(WaitFor("Are you sure you want to abort?")) << Screen();
    Keys({"n"});
    EXPECT_TRUE(WaitFor("Welcome to the Vireo Quill")) << Screen();
    EXPECT_EQ(std::string::npos, Screen().find("Are you sure"));
    Keys({"Escape"});
    EXPECT_TRUE(WaitFor("Are you sure you want to abort?")) << Screen();
    Keys({"y"});
    EXPECT_TRUE(WaitFor("EXITED 0")) << Screen();
    // The terminal is back to normal: the dialog is gone from the screen.
    EXPECT_EQ(std::string::npos, Screen().find("Welcome to the Vireo Quill"));
}

// A UTF-8 licence keeps its border straight (a character is one cell), End
// jumps to the end of the licence, and a terminal too small for the page
// says so instead of drawing it cut.
TEST_F(TuiTest, CharactersEndAndATooSmallTerminal)
{
    PackageRecipe recipe = DefaultRecipe();
    recipe.strLicense = "Licence agreement.\nCaf\xc3\xa9 cr\xc3\xa8me br\xc3\xbbl\xc3\xa9\xc3\xa9 \xc3\xbc"
                        "ber na\xc3\xafve.\nPlain ASCII line.\n";
    for (int i = 1; i <= 40; i++) recipe.strLicense += "Line " + std::to_string(i) + " of the terms.\n";
    recipe.strLicense += "The very last line.\n";
    {
        TempMachine machine;
        if (!StartWizard(machine, recipe, 80, 24)) GTEST_SKIP() << "the installer did not reach the wizard:\n" << Screen();
        std::string strScreen = Screen();
        int iPlain = BorderColumn(strScreen, "Plain ASCII line.");
        ASSERT_GT(iPlain, 0) << strScreen;
        EXPECT_EQ(iPlain, BorderColumn(strScreen, "na\xc3\xafve.")) << strScreen;
        EXPECT_EQ(std::string::npos, strScreen.find("The very last line.")) << strScreen;
        Keys({"End"});
        EXPECT_TRUE(WaitFor("The very last line.")) << Screen();
        Keys({"Home", "C-End"});
        EXPECT_TRUE(WaitFor("The very last line.")) << Screen();
        Tmux({"kill-server"});
    }
    {
        TempMachine machine;
        EXPECT_TRUE(StartWizard(machine, recipe, 50, 14, "The terminal is too small for this page")) << Screen();
        Tmux({"kill-server"});
    }
}

}  // namespace
