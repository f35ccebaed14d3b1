/*
 * installer.cpp - test support: the installer as a process (installer.h).
 */
#include "support/installer.h"

#include "build_stamp.h"

#include <sys/stat.h>

TempMachine* InstallerTest::s_pPackageDir;
std::string InstallerTest::s_strPackage;

void InstallerTest::SetUpTestSuite()
{
    s_pPackageDir = new TempMachine();
    std::string strLog;
    s_strPackage = BuildPackage(s_pPackageDir->Root() + "/pkg", DefaultRecipe(), &strLog);
    ASSERT_FALSE(s_strPackage.empty()) << strLog;
}

void InstallerTest::TearDownTestSuite()
{
    delete s_pPackageDir;
    s_pPackageDir = nullptr;
}

void InstallerTest::SetUp()
{
    ASSERT_FALSE(s_strPackage.empty());
    UsePackage(s_strPackage);
    MakeDirs(m_machine.Host("C:\\TEMP"));
}

void PlaceInstaller(const TempMachine& machine, const std::string& strHostPackage)
{
    WriteFile(machine.Host("C:\\work\\setup.exe"), ReadFile(strHostPackage));
    chmod(machine.Host("C:\\work\\setup.exe").c_str(), 0755);
}

ProcessResult RunInstaller(const TempMachine& machine, const std::string& strCommandLine,
                           const std::map<std::string, std::string>& extra)
{
    std::map<std::string, std::string> env = {{"HERON_ROOT", machine.Root()},
                                              {"HERON_UI", "headless"},
                                              {"TEMP", "C:\\TEMP"},
                                              {"TZ", "UTC"},
                                              {"HERON_TIME", "1296555630"},
                                              {"HERON_COMMAND_LINE", "setup.exe " + strCommandLine}};
    for (const auto& entry : extra) env[entry.first] = entry.second;
    return RunProcess({machine.Host("C:\\work\\setup.exe")}, machine.Host("C:\\work"), env);
}

void InstallerTest::UsePackage(const std::string& strHostPackage) { PlaceInstaller(m_machine, strHostPackage); }

ProcessResult InstallerTest::Run(const std::string& strCommandLine, const std::map<std::string, std::string>& extra)
{
    return RunInstaller(m_machine, strCommandLine, extra);
}

void InstallerTest::Install(const std::vector<std::string>& vArgs)
{
    MakeSample(m_machine, vArgs);
}

std::string InstallerTest::Header()
{
    return std::string("Heron Hotfix Installer FI1.01 for W32Intel\r\nExecutable created ") + HERON_BUILD_TIME + " " +
           HERON_BUILD_DATE + " for Release 8.0.1 -> Release 8.0.2.\r\n" +
           "Upgrade started at 10:20:30 Feb  1 2011 in C:\\work.\r\n\r\n\r\n";
}

std::string InstallerTest::Box(const std::string& strCaption, const std::string& strText, const std::string& strAnswer)
{
    return "=== " + strCaption + " ===\n" + strText + "\n=== answer: " + strAnswer + " ===\n";
}
