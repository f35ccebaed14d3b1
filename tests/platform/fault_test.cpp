// The fault seam seen from a whole run: HERON_FAULT_TRACE lists every
// platform operation of the installer in order, and the "exit" word of
// HERON_FAULT ends the process at one of them as a power cut would.
#include "support/installer.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Lines(const std::string& str)
{
    std::vector<std::string> v;
    size_t iStart = 0;
    for (size_t i = str.find('\n'); i != std::string::npos; iStart = i + 1, i = str.find('\n', iStart))
        v.push_back(str.substr(iStart, i - iStart));
    return v;
}

class FaultRunTest : public InstallerTest {};

TEST_F(FaultRunTest, TheTraceCountsAndAnExitEndsTheRunThere)
{
    MakeDirs(m_machine.Host("C:\\out"));
    const std::string strTrace = m_machine.Root() + "/trace-full";
    ProcessResult full = Run("extract C:\\out", {{"HERON_FAULT_TRACE", strTrace}});
    ASSERT_EQ(0, full.iExitCode) << full.strOut;
    std::vector<std::string> vFull = Lines(ReadFile(strTrace));
    const std::string strFullLog = TempLog();
    std::vector<size_t> viWrites;
    for (size_t i = 0; i < vFull.size(); i++)
        if (vFull[i] == "Fwrite") viWrites.push_back(i);
    ASSERT_GE(viWrites.size(), 2u);
    ASSERT_FALSE(strFullLog.empty());

    // Ended at the last write: the trace stops at that call, nothing after
    // it ran (the exit code says so), and the log holds no more than what a
    // whole run had written by then.
    RemoveAll(m_machine.Host("C:\\out"));
    MakeDirs(m_machine.Host("C:\\out"));
    unlink(m_machine.Host("C:\\TEMP\\UPGRADE.LOG").c_str());
    const std::string strCut = m_machine.Root() + "/trace-cut";
    const std::string strFault = "Fwrite:" + std::to_string(viWrites.size()) + ":exit";
    ProcessResult cut = Run("extract C:\\out", {{"HERON_FAULT", strFault}, {"HERON_FAULT_TRACE", strCut}});
    EXPECT_EQ(128 + SIGKILL, cut.iExitCode) << cut.strOut << cut.strErr;
    std::vector<std::string> vCut = Lines(ReadFile(strCut));
    EXPECT_EQ(std::vector<std::string>(vFull.begin(), vFull.begin() + (long)viWrites.back() + 1), vCut);
    std::string strCutLog = PathExists(m_machine.Host("C:\\TEMP\\UPGRADE.LOG")) ? TempLog() : "";
    EXPECT_LT(strCutLog.size(), strFullLog.size());
    EXPECT_EQ(strFullLog.substr(0, strCutLog.size()), strCutLog);

    // The error may be left out before the word, or given.
    for (const char* szFault : {"Fwrite:1:exit", "Fwrite:1:112:exit"}) {
        ProcessResult r = Run("extract C:\\out", {{"HERON_FAULT", szFault}});
        EXPECT_EQ(128 + SIGKILL, r.iExitCode) << szFault << r.strErr;
    }
}

} // namespace
