// The dry-run plan, the drift report and the result file, run as the
// installer runs them: real packages built by heron-pack from release trees
// with stamped key files, real sample installations, headless. The result
// file is read by a real JSON parser (python3's json module, a child process).
#include "engine/decide.h"
#include "main/startup.h"
#include "package/explode/crc32.h"
#include "report/report.h"
#include "report/result.h"
#include "shell/globals.h"
#include "support/installer.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

const char kR801[] = "Release 8.0.1|March 3, 2010";
const char kR802[] = "Release 8.0.2|May 1, 2010";

std::string Crc(const std::string& s)
{
    char sz[16];
    snprintf(sz, sizeof(sz), "0x%08x", ~UpdateCrc32((const unsigned char*)s.data(), (unsigned)s.size(), 0xFFFFFFFFu));
    return sz;
}

// Every file of a tree with its contents, relative paths as keys.
void Snapshot(const std::string& strDir, const std::string& strRel, std::map<std::string, std::string>* pMap)
{
    DIR* pDir = opendir(strDir.c_str());
    if (!pDir) return;
    while (struct dirent* pEntry = readdir(pDir)) {
        std::string strName = pEntry->d_name;
        if (strName == "." || strName == "..") continue;
        std::string strPath = strDir + "/" + strName;
        struct stat st;
        if (lstat(strPath.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            (*pMap)[strRel + strName + "/"] = "";
            Snapshot(strPath, strRel + strName + "/", pMap);
        } else {
            (*pMap)[strRel + strName] = ReadFile(strPath);
        }
    }
    closedir(pDir);
}

std::vector<std::string> Lines(const std::string& s)
{
    std::vector<std::string> v;
    size_t i = 0;
    while (i < s.size()) {
        size_t iEnd = s.find('\n', i);
        if (iEnd == std::string::npos) iEnd = s.size();
        std::string strLine = s.substr(i, iEnd - i);
        if (!strLine.empty() && strLine.back() == '\r') strLine.pop_back();
        v.push_back(strLine);
        i = iEnd + 1;
    }
    return v;
}

class ReportTest : public InstallerTest {
protected:
    std::string Dir() { return m_machine.Root() + "/pkg"; }

    // Releases 8.0.1 and 8.0.2 with stamped key files: a.txt changes,
    // keep.txt stays, gone.txt goes, sub\new.txt comes, the data file t.ini
    // changes. The package goes from 8.0.1 to 8.0.2.
    void Package()
    {
        const std::map<std::string, std::map<std::string, std::string>> trees = {
            {"8.0.1",
             {{"program/a.txt", "a 801\n"},
              {"program/keep.txt", "same\n"},
              {"program/gone.txt", "gone in 802\n"},
              {"data/t.ini", "t 801\n"}}},
            {"8.0.2",
             {{"program/a.txt", "a 802, longer\n"},
              {"program/keep.txt", "same\n"},
              {"program/sub/new.txt", "new in 802\n"},
              {"data/t.ini", "t 802\n"}}},
        };
        std::string strManifest = std::string("[Package]\nFrom = ") + kR801 + "\nTo = " + kR802 +
                                  "\nLicense = license.txt\nUpgradeType = 2\n[Releases]\n";
        for (const auto& tree : trees) {
            std::string strTree = Dir() + "/releases/" + tree.first;
            for (const auto& entry : tree.second) WriteFile(strTree + "/" + entry.first, entry.second);
            ProcessResult key = RunProcess({BinPath("tools/sample/heron-sample"), "--write-key-file",
                                            strTree + "/program/qstrings.dll", "--stamp",
                                            tree.first == "8.0.1" ? kR801 : kR802, "--file-version",
                                            tree.first + ".0"});
            ASSERT_EQ(0, key.iExitCode) << key.strErr;
            strManifest += std::string(tree.first == "8.0.1" ? kR801 : kR802) + " = releases/" + tree.first + "\n";
        }
        WriteFile(Dir() + "/license.txt", "Licence.\n");
        WriteFile(Dir() + "/manifest.ini", strManifest);
        ProcessResult result = RunProcess(
            {BinPath("tools/pack/heron-pack"), "build", Dir() + "/manifest.ini", "-o", Dir() + "/setup.exe", "--quiet"});
        ASSERT_EQ(0, result.iExitCode) << result.strOut << result.strErr;
        UsePackage(Dir() + "/setup.exe");
    }

    void InstallRelease(const std::string& strRelease, std::vector<std::string> vMore = {})
    {
        std::vector<std::string> vArgs = {"--tree", Dir() + "/releases/" + strRelease};
        vArgs.insert(vArgs.end(), vMore.begin(), vMore.end());
        Install(vArgs);
    }

    // The machine's files and directories, without what a dry run may
    // change: the temporary directory (log, report, the tools) and the
    // program directory's log.
    std::map<std::string, std::string> Machine()
    {
        std::map<std::string, std::string> m;
        Snapshot(m_machine.Root(), "", &m);
        for (auto it = m.begin(); it != m.end();) {
            if (it->first.compare(0, 13, "drive_c/TEMP/") == 0 || it->first == "drive_c/VIREO/GARNET/UPGRADE.LOG" ||
                it->first.compare(0, 12, "drive_c/out/") == 0)
                it = m.erase(it);
            else
                ++it;
        }
        return m;
    }

    // A report file as text, its CR LF line ends read as line feeds.
    std::string Report(const std::string& strName)
    {
        std::string s = ReadFile(m_machine.Host("C:\\TEMP\\" + strName)), strOut;
        for (size_t i = 0; i < s.size(); i++)
            if (!(s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n')) strOut += s[i];
        return strOut;
    }

    // The entry lines of a plan ("N ACTION TARGET ...") as "ACTION TARGET".
    static std::vector<std::string> Entries(const std::string& strPlan)
    {
        std::vector<std::string> v;
        for (const std::string& s : Lines(strPlan)) {
            if (s.size() < 4 || s.compare(0, 2, "  ") != 0 || !isdigit((unsigned char)s[2])) continue;
            size_t iAction = s.find(' ', 2) + 1;
            size_t iBackup = s.find(" backup=");
            v.push_back(s.substr(iAction, iBackup - iAction));
        }
        std::sort(v.begin(), v.end());
        return v;
    }

    // The result file parsed by python3's json module: "key=value" lines of
    // the top-level fields (JSON texts of the values), or the parser's error.
    std::string ParseResult(const std::string& strWindowsPath)
    {
        ProcessResult parsed = RunProcess(
            {"/usr/bin/env", "python3", "-c",
             "import json,sys\n"
             "d=json.load(open(sys.argv[1],encoding='utf-8'))\n"
             "assert isinstance(d,dict)\n"
             "for k in sorted(d): print(k+'='+json.dumps(d[k]))\n",
             m_machine.Host(strWindowsPath)});
        EXPECT_EQ(0, parsed.iExitCode) << parsed.strErr << ReadFile(m_machine.Host(strWindowsPath));
        return parsed.strOut;
    }
};

// ---- Plan -------------------------------------------------------------------------------

TEST_F(ReportTest, PlanListsEveryEntryAndLeavesTheMachineAsItWas)
{
    Package();
    InstallRelease("8.0.1");
    MakeDirs(m_machine.Host("C:\\out"));
    std::map<std::string, std::string> before = Machine();

    ProcessResult result = Run("nochecksum nouser plan result C:\\out\\r.json");

    EXPECT_EQ(0, result.iExitCode) << result.strOut;
    EXPECT_EQ(before, Machine()) << "a plan changed the machine";
    std::string strPlan = Report("plan.txt");
    for (const std::string& s : Lines(strPlan))
        EXPECT_NE(std::string::npos, result.strOut.find(s + "\n")) << "not printed: " << s;
    EXPECT_NE(std::string::npos, strPlan.find("Operation: upgrade\n"));
    EXPECT_NE(std::string::npos, strPlan.find("Outcome: the upgrade would proceed (exit code 0)\n"));
    EXPECT_NE(std::string::npos, strPlan.find(std::string("Installed level: ") + kR801));
    std::vector<std::string> expected = {
        "add C:\\VIREO\\GARNET\\sub\\new.txt",
        "remove C:\\VIREO\\GARNET\\gone.txt",
        "replace C:\\QUILLDATA\\PART1\\t.ini",
        "replace C:\\VIREO\\GARNET\\a.txt",
        "replace C:\\VIREO\\GARNET\\qstrings.dll",
    };
    std::vector<std::string> actual = Entries(strPlan);
    // Whole files or deltas, as the package builder chose: both say "changed".
    for (std::string& s : actual)
        if (s.compare(0, 6, "patch ") == 0) s = "replace " + s.substr(6);
    std::sort(actual.begin(), actual.end());
    EXPECT_EQ(expected, actual) << strPlan;
    EXPECT_NE(std::string::npos, strPlan.find("old=6," + Crc("a 801\n") + " new=14," + Crc("a 802, longer\n")))
        << strPlan;
    EXPECT_NE(std::string::npos, strPlan.find("  C: needed ")) << strPlan;
    EXPECT_NE(std::string::npos, strPlan.find("[Quill] CFP_LP_CURRENT=" + std::string(kR802))) << strPlan;
    EXPECT_NE(std::string::npos, strPlan.find(std::string("PATCH.INI [FIXPACKS] gets \"") + kR802 + "\""))
        << strPlan;

    std::string strResult = ParseResult("C:\\out\\r.json");
    EXPECT_NE(std::string::npos, strResult.find("run=\"plan\"\n"));
    EXPECT_NE(std::string::npos, strResult.find("exit_code=0\n"));
    EXPECT_NE(std::string::npos, strResult.find("report=\"C:\\\\TEMP\\\\plan.txt\"\n")) << strResult;
    EXPECT_NE(std::string::npos, strResult.find("files_replaced=0\n")) << "a plan replaces nothing";
}

// A plan of a package that does not apply exits as the real run would, says
// why, lists no entries, and changes nothing either.
TEST_F(ReportTest, PlanOfAPackageThatDoesNotApply)
{
    Package();
    InstallRelease("8.0.1");
    RunProcess({BinPath("tools/sample/heron-sample"), "--write-key-file",
                m_machine.Host("C:\\VIREO\\GARNET\\qstrings.dll"), "--stamp", "Release 7.9.9|June 1, 2009"});
    std::map<std::string, std::string> before = Machine();

    ProcessResult result = Run("nochecksum nouser plan");

    EXPECT_EQ(3, result.iExitCode) << result.strOut;
    EXPECT_EQ(before, Machine());
    std::string strPlan = Report("plan.txt");
    EXPECT_NE(std::string::npos, strPlan.find("Outcome: the package does not apply (exit code 3)\n")) << strPlan;
    EXPECT_NE(std::string::npos, strPlan.find("Entries:\n  none: the run would stop before its file phase\n"));
    EXPECT_TRUE(Entries(strPlan).empty());
    EXPECT_NE(std::string::npos, strPlan.find("base-release restore not made: the installed Release 7.9.9|June 1, 2009"))
        << strPlan;
}

// Interactive: Next on the identification page goes to the last page, which
// shows the plan; Close ends the run without a question.
TEST_F(ReportTest, PlanInTheWizardShowsThePlanOnItsLastPage)
{
    Package();
    InstallRelease("8.0.1");
    std::map<std::string, std::string> before = Machine();

    ProcessResult result = Run("nochecksum plan", {{"HERON_SCRIPT", "accept;next;next;next;close"}});

    EXPECT_EQ(0, result.iExitCode) << result.strOut;
    EXPECT_EQ(before, Machine());
    EXPECT_NE(std::string::npos, result.strOut.find("--- page 4 ---\n")) << result.strOut;
    EXPECT_EQ(std::string::npos, result.strOut.find("--- page 3 ---\n")) << "the upgrade page started";
    EXPECT_NE(std::string::npos, result.strOut.find("Plan made; nothing was changed.")) << result.strOut;
    EXPECT_FALSE(Entries(Report("plan.txt")).empty());
}

// "ENTRY ACTION TARGET" of a plan's entry lines.
std::vector<std::string> PlannedActions(const std::string& strPlan)
{
    std::vector<std::string> v;
    for (const std::string& s : Lines(strPlan)) {
        if (s.size() < 4 || s.compare(0, 2, "  ") != 0 || !isdigit((unsigned char)s[2])) continue;
        v.push_back(s.substr(2, s.find(" backup=") - 2));
    }
    return v;
}

// The same from a real run's log ("\tAction for entry N: ACTION TARGET"),
// program-directory targets made full paths as the plan writes them.
std::vector<std::string> LoggedActions(const std::string& strLog)
{
    const std::string strMark = "\tAction for entry ";
    std::vector<std::string> v;
    for (const std::string& s : Lines(strLog)) {
        if (s.rfind(strMark, 0) != 0) continue;
        std::string strRest = s.substr(strMark.size());
        size_t iColon = strRest.find(": ");
        size_t iSpace = strRest.find(' ', iColon + 2);
        std::string strTarget = strRest.substr(iSpace + 1);
        if (strTarget.find(':') == std::string::npos) strTarget = "C:\\VIREO\\GARNET\\" + strTarget;
        v.push_back(strRest.substr(0, iColon) + " " + strRest.substr(iColon + 2, iSpace - iColon - 2) + " " +
                    strTarget);
    }
    return v;
}

// The plan of an unattended upgrade, then the upgrade; the plan of its
// revert, then the revert: each plan lists, entry by entry, the actions the
// real run's log then names, and the machine after the run is what the
// actions say. A clean installation verifies clean after each.
TEST_F(ReportTest, PlanMatchesTheRealUpgradeAndRevert)
{
    Package();
    InstallRelease("8.0.1");

    ProcessResult plan = Run("nochecksum nouser plan");
    ASSERT_EQ(0, plan.iExitCode) << plan.strOut;
    std::vector<std::string> vPlanned = PlannedActions(Report("plan.txt"));
    RemoveAll(m_machine.Host("C:\\VIREO\\GARNET\\UPGRADE.LOG"));
    ProcessResult upgrade = Run("nochecksum nouser result C:\\up.json");
    ASSERT_EQ(0, upgrade.iExitCode) << upgrade.strOut << ReadFile(m_machine.Host("C:\\VIREO\\GARNET\\UPGRADE.LOG"));
    std::string strLog = ReadFile(m_machine.Host("C:\\VIREO\\GARNET\\UPGRADE.LOG"));
    EXPECT_EQ(vPlanned, LoggedActions(strLog));
    EXPECT_EQ("a 802, longer\n", ReadFile(m_machine.Host("C:\\VIREO\\GARNET\\a.txt")));
    EXPECT_FALSE(PathExists(m_machine.Host("C:\\VIREO\\GARNET\\gone.txt")));
    // The configuration keys the plan named hold the planned values.
    std::string strIni = ReadFile(m_machine.Host("C:\\VIREO\\GARNET\\QUILL.INI"));
    int cKeys = 0;
    for (const std::string& s : Lines(Report("plan.txt"))) {
        size_t iKey = s.find("QUILL.INI [Quill] ");
        if (iKey == std::string::npos) continue;
        std::string strKeyValue = s.substr(iKey + 18);
        EXPECT_NE(std::string::npos, strIni.find(strKeyValue + "\r\n")) << strKeyValue << "\n" << strIni;
        cKeys++;
    }
    EXPECT_EQ(3, cKeys);
    std::string strResult = ParseResult("C:\\up.json");
    EXPECT_NE(std::string::npos, strResult.find("files_added=1\n")) << strResult;
    EXPECT_NE(std::string::npos, strResult.find("files_removed=1\n")) << strResult;
    EXPECT_NE(std::string::npos, strResult.find("operation=\"upgrade\"\n")) << strResult;

    ProcessResult verify = Run("nochecksum nouser verify");
    EXPECT_EQ(0, verify.iExitCode) << Report("verify.txt");

    RemoveAll(m_machine.Host("C:\\VIREO\\GARNET\\UPGRADE.LOG"));
    plan = Run(std::string("nochecksum nouser revert ") + kR801 + " plan");
    ASSERT_EQ(0, plan.iExitCode) << plan.strOut;
    vPlanned = PlannedActions(Report("plan.txt"));
    EXPECT_NE(std::string::npos, Report("plan.txt").find("Operation: revert\n"));
    RemoveAll(m_machine.Host("C:\\VIREO\\GARNET\\UPGRADE.LOG"));
    ProcessResult revert = Run(std::string("nochecksum nouser revert ") + kR801);
    ASSERT_EQ(0, revert.iExitCode) << revert.strOut;
    strLog = ReadFile(m_machine.Host("C:\\VIREO\\GARNET\\UPGRADE.LOG"));
    EXPECT_EQ(vPlanned, LoggedActions(strLog));
    EXPECT_EQ("a 801\n", ReadFile(m_machine.Host("C:\\VIREO\\GARNET\\a.txt")));
    EXPECT_EQ("gone in 802\n", ReadFile(m_machine.Host("C:\\VIREO\\GARNET\\gone.txt")));
    EXPECT_FALSE(PathExists(m_machine.Host("C:\\VIREO\\GARNET\\sub\\new.txt")));

    verify = Run("nochecksum nouser verify");
    EXPECT_EQ(0, verify.iExitCode) << Report("verify.txt");
}

// ---- Verify -------------------------------------------------------------------------------

TEST_F(ReportTest, VerifyReportsACleanInstallationAsClean)
{
    Package();
    InstallRelease("8.0.1");
    std::map<std::string, std::string> before = Machine();

    ProcessResult result = Run("nochecksum nouser verify");

    EXPECT_EQ(0, result.iExitCode) << result.strOut;
    EXPECT_EQ(before, Machine());
    std::string strReport = Report("verify.txt");
    EXPECT_NE(std::string::npos, strReport.find("Release table: knows the installed level as its from-level\n"));
    EXPECT_NE(std::string::npos, strReport.find("  ok C:\\VIREO\\GARNET\\a.txt\n")) << strReport;
    EXPECT_NE(std::string::npos, strReport.find("  ok C:\\VIREO\\GARNET\\sub\\new.txt (absent)\n")) << strReport;
    EXPECT_NE(std::string::npos, strReport.find("Result: clean\n")) << strReport;
}

// At the package's to-level: a changed, a missing and an unexpected file (one
// the fix removes), and a temporary file an interrupted run left behind.
TEST_F(ReportTest, VerifyFindsChangedMissingAndUnexpectedFiles)
{
    Package();
    InstallRelease("8.0.2");
    WriteFile(m_machine.Host("C:\\VIREO\\GARNET\\a.txt"), "edited by hand\n");
    RemoveAll(m_machine.Host("C:\\QUILLDATA\\PART1\\t.ini"));
    WriteFile(m_machine.Host("C:\\VIREO\\GARNET\\gone.txt"), "back again\n");
    WriteFile(m_machine.Host("C:\\VIREO\\GARNET\\UPTMP0003.TMP"), "half\n");

    ProcessResult result = Run("nochecksum nouser verify");

    EXPECT_EQ(6, result.iExitCode) << result.strOut;
    std::string strReport = Report("verify.txt");
    EXPECT_NE(std::string::npos, strReport.find("Release table: knows the installed level as its to-level\n"));
    EXPECT_NE(std::string::npos, strReport.find("  changed C:\\VIREO\\GARNET\\a.txt found=" + Crc("edited by hand\n") +
                                                " expected=" + Crc("a 802, longer\n") + "\n"))
        << strReport;
    EXPECT_NE(std::string::npos, strReport.find("  missing C:\\QUILLDATA\\PART1\\t.ini\n")) << strReport;
    EXPECT_NE(std::string::npos, strReport.find("  unexpected C:\\VIREO\\GARNET\\gone.txt (the fix removes it)\n"))
        << strReport;
    EXPECT_NE(std::string::npos,
              strReport.find("  unexpected C:\\VIREO\\GARNET\\UPTMP0003.TMP (left by an interrupted run)\n"))
        << strReport;
    EXPECT_NE(std::string::npos, strReport.find("  ok C:\\VIREO\\GARNET\\sub\\new.txt\n")) << strReport;
    EXPECT_NE(std::string::npos, strReport.find("Result: drift, 4 findings\n")) << strReport;
}

// A recorded level's backup set: one backup good, one with other content,
// one missing; the installed level's own section needs no backups yet.
TEST_F(ReportTest, VerifyFindsACorruptAndAMissingBackup)
{
    Package();
    InstallRelease("8.0.2");
    std::string strIni = std::string("[FIXPACKS]\r\nLabel001=\"") + kR802 + "\"\r\n[\"" + kR802 +
                         "\"]\r\nFile001=a.txt\r\nChecksum001=" + Crc("a 802, longer\n") +
                         "L\r\nBackupName001=Release802\\a0001.IIB\r\n[\"" + kR801 +
                         "\"]\r\nFile001=a.txt\r\nChecksum001=" + Crc("a 801\n") +
                         "L\r\nBackupName001=Release801\\a0001.IIB\r\nFile002=gone.txt\r\nChecksum002=" +
                         Crc("gone in 802\n") + "L\r\nBackupName002=Release801\\gone0002.IIB\r\nFile003=keep.txt\r\n"
                         "Checksum003=" + Crc("same\n") + "L\r\nBackupName003=Release801\\keep0003.IIB\r\n";
    WriteFile(m_machine.Host("C:\\VIREO\\GARNET\\PATCH.INI"), strIni);
    WriteFile(m_machine.Host("C:\\VIREO\\GARNET\\Release801\\a0001.IIB"), "a 801\n");
    WriteFile(m_machine.Host("C:\\VIREO\\GARNET\\Release801\\gone0002.IIB"), "damaged\n");

    ProcessResult result = Run("nochecksum nouser verify");

    EXPECT_EQ(6, result.iExitCode) << result.strOut;
    std::string strReport = Report("verify.txt");
    EXPECT_NE(std::string::npos, strReport.find(std::string("  ") + kR801 + ": incomplete\n" +
                                                "    ok C:\\VIREO\\GARNET\\Release801\\a0001.IIB\n" +
                                                "    corrupt C:\\VIREO\\GARNET\\Release801\\gone0002.IIB found=" +
                                                Crc("damaged\n") + " expected=" + Crc("gone in 802\n") + "\n" +
                                                "    missing C:\\VIREO\\GARNET\\Release801\\keep0003.IIB\n"))
        << strReport;
    EXPECT_EQ(std::string::npos, strReport.find("Release802\\a0001.IIB")) << "the installed level has no backups";
    EXPECT_NE(std::string::npos, strReport.find("Result: drift, 2 findings\n")) << strReport;
}

// ---- The result file ------------------------------------------------------------------------

// Every kind of end leaves a document that a JSON parser reads, with the
// process's own exit code; no temporary file stays behind.
TEST_F(ReportTest, ResultFileForEveryEnd)
{
    Package();
    struct Row {
        const char* szName;
        std::string strCommandLine;
        std::map<std::string, std::string> env;
        int iExitCode;
        const char* szRun;
        bool bInterrupted;
    } rows[] = {
        {"contents", "contents result C:\\out\\r.json", {}, 0, "contents", false},
        {"refused word", "bogus result C:\\out\\r.json", {}, 1, "wizard", false},
        {"does not apply", "nochecksum nouser result C:\\out\\r.json", {{"STAMP", "7.9.9"}}, 3, "wizard", false},
        {"upgrade fails half way",
         "nochecksum nouser result C:\\out\\r.json",
         {{"HERON_FAULT", "MoveFile:2:32"}},
         4,
         "wizard",
         false},
        {"stamp tool cannot start",
         "nochecksum nouser result C:\\out\\r.json",
         {{"HERON_FAULT", "CreateProcess:1:2"}},
         1,
         "wizard",
         true},
        {"extraction cannot write", "result C:\\out\\r.json extract C:\\ex", {{"BLOCK", "1"}}, 5, "extract", false},
        {"plan", "nochecksum nouser plan result C:\\out\\r.json", {}, 0, "plan", false},
        {"verify with drift", "nochecksum nouser verify result C:\\out\\r.json", {{"DRIFT", "1"}}, 6, "verify", false},
    };
    for (Row& row : rows) {
        SCOPED_TRACE(row.szName);
        RemoveAll(m_machine.Host("C:\\VIREO"));
        RemoveAll(m_machine.Host("C:\\QUILLDATA"));
        RemoveAll(m_machine.Host("C:\\out"));
        MakeDirs(m_machine.Host("C:\\out"));
        // An earlier document is replaced whole.
        WriteFile(m_machine.Host("C:\\out\\r.json"), "old");
        InstallRelease("8.0.1");
        if (row.env.count("STAMP"))
            RunProcess({BinPath("tools/sample/heron-sample"), "--write-key-file",
                        m_machine.Host("C:\\VIREO\\GARNET\\qstrings.dll"), "--stamp", "Release 7.9.9|June 1, 2009"});
        if (row.env.count("DRIFT")) WriteFile(m_machine.Host("C:\\VIREO\\GARNET\\a.txt"), "drift\n");
        if (row.env.count("BLOCK")) {
            RemoveAll(m_machine.Host("C:\\ex"));
            MakeDirs(m_machine.Host("C:\\ex\\a.txt")); // a directory where a file must go
        }
        std::map<std::string, std::string> env;
        for (const auto& e : row.env)
            if (e.first == "HERON_FAULT") env[e.first] = e.second;

        ProcessResult result = Run(row.strCommandLine, env);

        EXPECT_EQ(row.iExitCode, result.iExitCode) << result.strOut << result.strErr;
        std::string strParsed = ParseResult("C:\\out\\r.json");
        EXPECT_NE(std::string::npos, strParsed.find("exit_code=" + std::to_string(result.iExitCode) + "\n"))
            << strParsed;
        EXPECT_NE(std::string::npos, strParsed.find(std::string("run=\"") + row.szRun + "\"\n")) << strParsed;
        EXPECT_NE(std::string::npos,
                  strParsed.find(std::string("interrupted=") + (row.bInterrupted ? "true" : "false") + "\n"))
            << strParsed;
        EXPECT_NE(std::string::npos, strParsed.find("package_name=\"setup.exe\"\n")) << strParsed;
        EXPECT_NE(std::string::npos, strParsed.find("started=\"2011-02-01T10:20:30Z\"\n")) << strParsed;
        EXPECT_FALSE(PathExists(m_machine.Host("C:\\out\\r.json.tmp")));
    }
}

// ---- In-process pieces ------------------------------------------------------------------------

TEST(ResultText, JsonQuoteEscapesWhatJsonRequiresAndKeepsPlainAscii)
{
    char sz[64];
    EXPECT_EQ(1, JsonQuote("C:\\a \"b\"", sz, sizeof(sz)));
    EXPECT_STREQ("\"C:\\\\a \\\"b\\\"\"", sz);
    EXPECT_EQ(1, JsonQuote("t\tn\nc\x01\x7f\xe9", sz, sizeof(sz)));
    EXPECT_STREQ("\"t\\tn\\nc\\u0001\\u007f\\u00e9\"", sz);
    EXPECT_EQ(1, JsonQuote(NULL, sz, sizeof(sz)));
    EXPECT_STREQ("\"\"", sz);
    // Too long for the buffer: never a cut text, which could end inside an escape.
    EXPECT_EQ(0, JsonQuote("\\\\\\\\\\\\", sz, 8));
    EXPECT_STREQ("null", sz);
}

TEST(ResultText, IsoTimes)
{
    char sz[32];
    ResultIsoTime(0, sz, sizeof(sz));
    EXPECT_STREQ("1970-01-01T00:00:00Z", sz);
    ResultIsoTime(951782400, sz, sizeof(sz)); // a leap day
    EXPECT_STREQ("2000-02-29T00:00:00Z", sz);
    ResultIsoTime(4107542399LL, sz, sizeof(sz));
    EXPECT_STREQ("2100-02-28T23:59:59Z", sz);
}

TEST(ParseCommandLine, ReportWords)
{
    struct Row {
        const char* szLine;
        int iResult;
        unsigned uOptions;
        DWORD dwReport;
        const char* szResult;
        const char* szLabel;
    } rows[] = {
        {"nouser plan", 1, 0x02, REPORT_PLAN, "", ""},
        {"revert Release 8 plan force", 1, 0x84, REPORT_PLAN, "", "Release 8"},
        {"VERIFY result C:\\r.json", 1, 0x00, REPORT_VERIFY | REPORT_RESULT, "C:\\r.json", ""},
        {"revert x result C:\\r.json y", 0, 0x04, REPORT_RESULT, "C:\\r.json", "x"},
        {"nouser result", 0, 0x02, 0, "", ""},
        {"plan verify", 0, 0x00, REPORT_PLAN | REPORT_VERIFY, "", ""},
        {"verify listfix", 0, 11, REPORT_VERIFY, "", ""},
    };
    for (const Row& row : rows) {
        gwOptions = 0;
        EXPECT_EQ(row.iResult, ParseCommandLine(row.szLine)) << row.szLine;
        EXPECT_EQ(row.uOptions, (unsigned)gwOptions) << row.szLine;
        EXPECT_EQ(row.dwReport, giReportFlags) << row.szLine;
        EXPECT_STREQ(row.szResult, gszResultFile) << row.szLine;
        EXPECT_STREQ(row.szLabel, gszRevertLabel) << row.szLine;
    }
    gwOptions = 0;
    giReportFlags = 0;
    gszResultFile[0] = 0;
    gszRevertLabel[0] = 0;
}

// The revert rules, where a wrong answer loses a file or stops a run.
TEST(EngineDecideTarget, RevertNeedsTheBackupUnlessTheFixAddedTheFile)
{
    TARGET_FACTS f;
    memset(&f, 0, sizeof(f));
    f.dwKind = 2;
    f.bLevelBackups = 1;
    f.bTargetExists = 1;
    EXPECT_EQ(ACTION_FAIL, EngineDecideTarget(&f));
    f.bAddedByFix = 1;
    EXPECT_EQ(ACTION_REMOVE, EngineDecideTarget(&f));
    f.bCabinet = 1;
    EXPECT_EQ(ACTION_KEEP, EngineDecideTarget(&f));
    f.bBackupExists = 1;
    EXPECT_EQ(ACTION_TREE, EngineDecideTarget(&f));
    f.bCabinet = 0;
    EXPECT_EQ(ACTION_RESTORE, EngineDecideTarget(&f));
    f.bDataDirInvalid = 1;
    EXPECT_EQ(ACTION_SKIP, EngineDecideTarget(&f));
}

} // namespace
