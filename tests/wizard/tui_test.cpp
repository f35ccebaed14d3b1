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
    std::string m_strTmux;
    std::string m_strSocket;
};

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

}  // namespace
