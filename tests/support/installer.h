/*
 * installer.h - test support: the installer run as a process on a real
 * package in a temporary emulated machine.
 *
 * The suite builds the default package once; every test copies it to
 * C:\work\setup.exe and runs it headless with a fixed clock and TEMP=C:\TEMP.
 */
#ifndef HERON_TESTS_SUPPORT_INSTALLER_H
#define HERON_TESTS_SUPPORT_INSTALLER_H

#include "support/machine.h"
#include "support/package.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

/* Copies a package to C:\work\setup.exe of the machine, executable. */
void PlaceInstaller(const TempMachine& machine, const std::string& strHostPackage);
/* Runs C:\work\setup.exe of the machine headless with the command line (as
 * HERON_COMMAND_LINE), a fixed clock, TEMP=C:\TEMP and more environment. */
ProcessResult RunInstaller(const TempMachine& machine, const std::string& strCommandLine,
                           const std::map<std::string, std::string>& extra = {});

class InstallerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;

    /* Runs setup.exe with the command line (as HERON_COMMAND_LINE) and more environment. */
    ProcessResult Run(const std::string& strCommandLine, const std::map<std::string, std::string>& extra = {});
    /* Makes a sample installation in this machine: heron-sample --root ROOT ARGS. */
    void Install(const std::vector<std::string>& vArgs = {});
    /* Replaces C:\work\setup.exe by another package. */
    void UsePackage(const std::string& strHostPackage);

    std::string TempLog() { return ReadFile(m_machine.Host("C:\\TEMP\\UPGRADE.LOG")); }
    std::string FinalLog() { return ReadFile(m_machine.Host("C:\\VIREO\\GARNET\\UPGRADE.LOG")); }
    /* The log header of a run of the default package. */
    static std::string Header();
    /* A message box as the headless front end prints it. */
    static std::string Box(const std::string& strCaption, const std::string& strText,
                           const std::string& strAnswer = "OK");

    TempMachine m_machine;
    static TempMachine* s_pPackageDir;
    static std::string s_strPackage;
};

#endif
