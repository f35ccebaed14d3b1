// The fault sweep: an upgrade and a revert of a realistic package, failed at
// the platform operations they perform (with the error each meets in the
// field) and ended at them as a power cut would (HERON_FAULT's "exit"), each
// followed by the documented recovery: a run that did not report success is
// run again, the same command, unattended. Nothing may be lost: afterwards
// every product file, the key file and its stamp, the patch registry, the
// configuration and the backups are byte for byte those of a clean run at the
// from-level or at the to-level. Backups beyond the clean run's are allowed
// when they hold the from-level bytes of their file; the installer's scratch
// files are counted apart; differences that the log names (a configuration
// file that could not be updated, a cabinet tree that could not be emptied, a
// data directory that an upgrade skipped because a file of it was in use)
// are counted as explained.
//
// Which operations (HERON_SWEEP): unset, every 4th of the reduced list (the
// suite); "reduced", every operation that moves, deletes or makes a file or
// directory, stamps a time or starts a process, and a sample of the others;
// "full", every operation; N, every Nth of the reduced list (the sanitizer
// build); @K, operation K alone. HERON_SWEEP_JOBS=N runs N scenarios at once,
// HERON_SWEEP_COMMAND=upgrade|revert one command, HERON_SWEEP_KEEP=1 keeps the
// machines. The figures go to standard output: "N scenarios, 0 lost".
#include "support/machine.h"
#include "support/package.h"

#include <gtest/gtest.h>

#include <ctype.h>
#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

#define R800 "Release 8.0.0|January 5, 2010"
#define R801 "Release 8.0.1|March 3, 2010"
#define R802 "Release 8.0.2|May 1, 2010"

typedef std::map<std::string, std::string> Snapshot;

std::string MustRun(const std::vector<std::string>& v)
{
    ProcessResult r = RunProcess(v);
    EXPECT_EQ(0, r.iExitCode) << v[0] << ": " << r.strOut << r.strErr;
    return r.strOut;
}

void CopyMachine(const std::string& strFrom, const std::string& strTo)
{
    RemoveAll(strTo);
    MustRun({"/bin/cp", "-a", strFrom, strTo});
}

void Walk(const std::string& strDir, const std::string& strRel, Snapshot* pSnap)
{
    DIR* pDir = opendir(strDir.c_str());
    if (!pDir) return;
    while (struct dirent* pEnt = readdir(pDir)) {
        std::string strName = pEnt->d_name;
        if (strName == "." || strName == "..") continue;
        std::string strPath = strDir + "/" + strName;
        struct stat st;
        if (lstat(strPath.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) Walk(strPath, strRel + strName + "/", pSnap);
        else (*pSnap)[strRel + strName] = ReadFile(strPath);
    }
    closedir(pDir);
}

// The installation: drive C without the places and files of the installer's
// own (its start-up directory and TEMP, the log, the stamp read-out, the
// listings); the backup directories and the patch registry are part of it.
Snapshot Take(const std::string& strRoot)
{
    Snapshot all, snap;
    Walk(strRoot + "/drive_c", "", &all);
    for (const auto& entry : all) {
        const std::string& s = entry.first;
        if (s.rfind("TEMP/", 0) == 0 || s.rfind("work/", 0) == 0) continue;
        if (s.find("UPGRADE.LOG") != std::string::npos || s.find("currver.txt") != std::string::npos) continue;
        // Identification copies installed files that the package does not
        // carry (entry number 0) into the levels' directories when they are
        // missing there; they are copies of files that no run changes.
        if (s.size() > 8 && s.compare(s.size() - 8, 8, "0000.IIB") == 0) continue;
        snap.insert(entry);
    }
    return snap;
}

std::string Differences(const Snapshot& a, const Snapshot& b)
{
    std::string str;
    for (const auto& entry : a) {
        auto it = b.find(entry.first);
        if (it == b.end()) str += "  missing: " + entry.first + "\n";
        else if (it->second != entry.second) str += "  differs: " + entry.first + "\n";
    }
    for (const auto& entry : b)
        if (!a.count(entry.first)) str += "  extra: " + entry.first + "\n";
    return str;
}

std::string Upper(std::string str)
{
    for (char& ch : str) ch = (char)toupper((unsigned char)ch);
    return str;
}

std::string BaseOf(const std::string& strPath)
{
    size_t i = strPath.rfind('/');
    return i == std::string::npos ? strPath : strPath.substr(i + 1);
}

// The installer's own scratch files: temporary and aside files, rollback
// copies, the patch registry's new copy, the listings, a cabinet being
// unpacked into a data directory. Not part of the installation; a run should
// leave none, and they are counted apart.
bool IsScratch(const std::string& strPath)
{
    std::string strBase = Upper(BaseOf(strPath));
    auto Ends = [&strBase](const char* sz) {
        size_t cch = strlen(sz);
        return strBase.size() >= cch && strBase.compare(strBase.size() - cch, cch, sz) == 0;
    };
    return strBase.rfind("UPTMP", 0) == 0 || strBase.rfind("UPRB", 0) == 0 || Ends(".HF") || Ends(".UPN") ||
           strBase == "PATCH.INI.NEW" || strBase == "PATCH.TXT" || strBase == "PATCH_DETAIL.TXT" ||
           strBase == "BASEREV_DETAIL.TXT" || strBase.find(".HERON-CAB-") != std::string::npos ||
           (Ends(".CAB") && strPath.rfind("QUILLDATA/", 0) == 0 && std::count(strPath.begin(), strPath.end(), '/') == 2);
}

// A file in a level's backup directory ("Release801/...").
bool IsBackup(const std::string& strPath) { return strPath.find("Release801/") != std::string::npos; }

// Whether the machine is at the level of the reference: every file of the
// reference is there with its bytes (product files, key file and its stamp,
// patch registry, configuration, backups), and no other file is there except
// backups that hold the from-level bytes of the file they are named after,
// and scratch files (listed in *pstrScratch). "" when it is, else what
// differs.
std::string AtLevel(const Snapshot& reference, const Snapshot& from, const Snapshot& now, std::string* pstrScratch)
{
    std::string str;
    for (const auto& entry : reference) {
        auto it = now.find(entry.first);
        if (it == now.end()) str += "  missing: " + entry.first + "\n";
        else if (it->second != entry.second) str += "  differs: " + entry.first + "\n";
    }
    for (const auto& entry : now) {
        if (reference.count(entry.first)) continue;
        if (IsScratch(entry.first)) {
            *pstrScratch += "  scratch: " + entry.first + "\n";
            continue;
        }
        if (IsBackup(entry.first)) {
            // "qmain0001.IIB" backs up a file whose name begins "qmain.".
            std::string strStem = Upper(BaseOf(entry.first));
            strStem = strStem.size() > 8 ? strStem.substr(0, strStem.size() - 8) : strStem;
            bool bGood = false;
            // "qstrings.dll", the level's copy of the key file, by its own name.
            for (const auto& f : from)
                if (!IsBackup(f.first) && f.second == entry.second &&
                    (Upper(BaseOf(f.first)).rfind(strStem + ".", 0) == 0 ||
                     Upper(BaseOf(f.first)) == Upper(BaseOf(entry.first))))
                    bGood = true;
            if (bGood) continue;
        }
        str += "  extra: " + entry.first + "\n";
    }
    return str;
}

// The log of the last run, wherever it ended (moved to the program
// directory, or left in TEMP by a run that was ended), taken away.
std::string TakeLog(const std::string& strRoot)
{
    std::string str;
    for (const char* sz : {"/drive_c/TEMP/UPGRADE.LOG", "/drive_c/VIREO/GARNET/UPGRADE.LOG"}) {
        if (!PathExists(strRoot + sz)) continue;
        str += ReadFile(strRoot + sz);
        unlink((strRoot + sz).c_str());
    }
    return str;
}

std::vector<std::string> TraceLines(const std::string& strPath)
{
    std::vector<std::string> v;
    std::string str = PathExists(strPath) ? ReadFile(strPath) : "";
    size_t iStart = 0;
    for (size_t i = str.find('\n'); i != std::string::npos; iStart = i + 1, i = str.find('\n', iStart))
        v.push_back(str.substr(iStart, i - iStart));
    return v;
}

// The error an operation meets in the field.
unsigned long RealisticError(const std::string& strOp, size_t k)
{
    if (strOp == "Fwrite" || strOp == "WritePrivateProfileString" || strOp == "WritePrivateProfileSection")
        return 112;                                      /* ERROR_DISK_FULL */
    if (strOp == "MoveFile") return k % 2 ? 32 : 5;      /* sharing violation, access denied */
    if (strOp == "Fopen") return k % 2 ? 32 : 5;
    if (strOp == "CreateProcess") return 2;              /* ERROR_FILE_NOT_FOUND */
    if (strOp == "Fread") return 30;                     /* ERROR_READ_FAULT */
    if (strOp == "CreateDirectory") return 112;
    if (strOp == "GlobalAlloc" || strOp == "HeapAlloc") return 8; /* ERROR_NOT_ENOUGH_MEMORY */
    return 5;                                            /* ERROR_ACCESS_DENIED */
}

class Sweep : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite()
    {
        if (getenv("HERON_SWEEP_KEEP")) printf("sweep machines kept in %s\n", s_strDir.c_str());
        else RemoveAll(s_strDir);
    }

    static ProcessResult Installer(const std::string& strRoot, const std::string& strCommandLine,
                                   const std::map<std::string, std::string>& extra = {})
    {
        std::map<std::string, std::string> env = {{"HERON_ROOT", strRoot},
                                                  {"HERON_UI", "headless"},
                                                  {"TEMP", "C:\\TEMP"},
                                                  {"TZ", "UTC"},
                                                  {"HERON_TIME", "1296555630"},
                                                  {"HERON_COMMAND_LINE", "setup.exe " + strCommandLine}};
        for (const auto& entry : extra) env[entry.first] = entry.second;
        return RunProcess({strRoot + "/drive_c/work/setup.exe"}, strRoot + "/drive_c/work", env);
    }

    // The indexes (0-based) of the operations to aim at.
    static std::vector<size_t> Chosen(const std::vector<std::string>& vOps);
    static int Scenario(const char* szName, const std::string& strStart, const std::string& strMachine,
                        const std::string& strCommandLine, const std::vector<std::string>& vOps, size_t k, bool bExit,
                        std::string* pstrReport);
    // Runs the sweep of one command from one machine; returns the scenarios.
    static int SweepCommand(const char* szName, const std::string& strStart, const std::string& strCommandLine,
                            const std::vector<std::string>& vOps, int* pcLost, int* pcKnown);

    static std::string s_strDir;
    static std::string s_strFrom, s_strTo; /* machines at the two levels */
    static Snapshot s_from, s_to;
    static std::vector<std::string> s_vUpgradeOps, s_vRevertOps;
};

std::string Sweep::s_strDir;
std::string Sweep::s_strFrom;
std::string Sweep::s_strTo;
Snapshot Sweep::s_from;
Snapshot Sweep::s_to;
std::vector<std::string> Sweep::s_vUpgradeOps;
std::vector<std::string> Sweep::s_vRevertOps;

std::string KeyFile(const std::string& strDir, const std::string& strLabel)
{
    std::string strPath = strDir + "/key-" + std::to_string(std::hash<std::string>()(strLabel)) + ".dll";
    MustRun({BinPath("tools/sample/heron-sample"), "--write-key-file", strPath, "--stamp", strLabel});
    return ReadFile(strPath);
}

// A text of some kilobytes whose lines change a little from level to level.
std::string Lines(const char* szWord, int cLines, int iChanged)
{
    std::string str;
    for (int i = 0; i < cLines; i++)
        str += std::string(szWord) + " line " + std::to_string(i) + (i == iChanged ? " changed" : "") + "\r\n";
    return str;
}

void Sweep::SetUpTestSuite()
{
    char szDir[] = "/tmp/heron-sweep-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(szDir));
    s_strDir = szDir;
    const std::string strPkg = s_strDir + "/pkg";

    // The package 8.0.1 -> 8.0.2: program files (one a delta, one new in a
    // subdirectory, one removed), a data file in both data directories, a
    // system file, the key file, and the toolkit tree as a cabinet.
    TreeFiles from = {
        {"program/qstrings.dll", KeyFile(s_strDir, R801)},
        {"program/qmain.dll", Lines("main", 300, -1)},
        {"program/keep.txt", "unchanged\r\n"},
        {"program/gone.txt", "removed in 8.0.2\r\n"},
        {"data/quill.cfg", "data 8.0.1\r\n"},
        {"system/qstat.dll", "system 8.0.1\r\n"},
    };
    TreeFiles to = {
        {"program/qstrings.dll", KeyFile(s_strDir, R802)},
        {"program/qmain.dll", Lines("main", 300, 120)},
        {"program/keep.txt", "unchanged\r\n"},
        {"program/sub/new.txt", "new in 8.0.2\r\n"},
        {"data/quill.cfg", "data 8.0.2\r\n"},
        {"system/qstat.dll", "system 8.0.2\r\n"},
    };
    TreeFiles older = from;
    older["program/qstrings.dll"] = KeyFile(s_strDir, R800);
    older.erase("program/gone.txt");
    for (const auto& e : older) WriteFile(strPkg + "/r800/" + e.first, e.second);
    for (const auto& e : from) WriteFile(strPkg + "/r801/" + e.first, e.second);
    for (const auto& e : to) WriteFile(strPkg + "/r802/" + e.first, e.second);
    WriteFile(strPkg + "/trees/dojo/dojo.js", "toolkit 8.0.2\r\n");
    WriteFile(strPkg + "/trees/dojo/src/x.js", "x 8.0.2\r\n");
    WriteFile(strPkg + "/license.txt", "Licence agreement.\n");
    WriteFile(strPkg + "/manifest.ini",
              "[Package]\nFrom = " R801 "\nTo = " R802 "\nUpgradeType = 2\nLicense = license.txt\n"
              "VersionTool = " + BinPath("tools/updver/UpdateVersion") + "\nDelta = qmain.dll\n"
              "[Releases]\n" R800 " = r800\n" R801 " = r801\n" R802 " = r802\n"
              "[Cabinets]\ngar-dojo.cab = trees/dojo\n");
    MustRun({BinPath("tools/pack/heron-pack"), "build", strPkg + "/manifest.ini", "-o", strPkg + "/setup.exe", "--quiet"});

    // The from-level machine: two data directories, each with the toolkit tree.
    s_strFrom = s_strDir + "/from";
    MakeDirs(s_strFrom);
    const std::string strTree = s_strDir + "/installed";
    for (const auto& e : from) WriteFile(strTree + "/" + e.first, e.second);
    MustRun({BinPath("tools/sample/heron-sample"), "--root", s_strFrom, "--tree", strTree, "--data-dirs", "2"});
    for (const char* szPart : {"PART1", "PART2"}) {
        const std::string strData = s_strFrom + "/drive_c/QUILLDATA/" + szPart + "/garnet/js/dojo-1.3.2";
        WriteFile(strData + "/dojo.js", "toolkit 8.0.1\r\n");
        WriteFile(strData + "/old/y.js", "y 8.0.1\r\n");
    }
    MakeDirs(s_strFrom + "/drive_c/TEMP");
    WriteFile(s_strFrom + "/drive_c/work/setup.exe", ReadFile(strPkg + "/setup.exe"));
    chmod((s_strFrom + "/drive_c/work/setup.exe").c_str(), 0755);
    // One time for every file, so that the back-up cabinets come out the same.
    MustRun({"/bin/sh", "-c", "find \"$0\" -exec touch -h -d @1262304000 {} +", s_strFrom});
    s_from = Take(s_strFrom);

    // A clean upgrade and a clean revert, traced.
    s_strTo = s_strDir + "/to";
    CopyMachine(s_strFrom, s_strTo);
    ProcessResult r = Installer(s_strTo, "nouser nochecksum", {{"HERON_FAULT_TRACE", s_strDir + "/trace-up"}});
    ASSERT_EQ(0, r.iExitCode) << r.strOut << ReadFile(s_strTo + "/drive_c/TEMP/UPGRADE.LOG");
    s_to = Take(s_strTo);
    s_vUpgradeOps = TraceLines(s_strDir + "/trace-up");

    const std::string strBack = s_strDir + "/back";
    CopyMachine(s_strTo, strBack);
    r = Installer(strBack, "nouser nochecksum revert Release 8.0.1", {{"HERON_FAULT_TRACE", s_strDir + "/trace-revert"}});
    ASSERT_EQ(0, r.iExitCode) << r.strOut;
    ASSERT_EQ("", Differences(s_from, Take(strBack))) << "a clean revert gives the from-level back";
    s_vRevertOps = TraceLines(s_strDir + "/trace-revert");
}

std::vector<size_t> Sweep::Chosen(const std::vector<std::string>& vOps)
{
    const char* szMode = getenv("HERON_SWEEP");
    std::string strMode = szMode ? szMode : "";
    // HERON_SWEEP=@K: operation K (from 1) alone.
    // HERON_SWEEP=@NAME:N: the Nth call of operation NAME (as in HERON_FAULT).
    size_t iColon = strMode.find(':');
    if (!strMode.empty() && strMode[0] == '@' && iColon != std::string::npos) {
        std::string strOp = strMode.substr(1, iColon - 1);
        long n = atol(strMode.c_str() + iColon + 1);
        for (size_t k = 0; k < vOps.size(); k++)
            if (vOps[k] == strOp && --n == 0) return std::vector<size_t>{k};
        return std::vector<size_t>{};
    }
    if (!strMode.empty() && strMode[0] == '@') {
        size_t k = (size_t)atol(strMode.c_str() + 1);
        return k >= 1 && k <= vOps.size() ? std::vector<size_t>{k - 1} : std::vector<size_t>{};
    }
    // The reduced sweep: every operation that moves, deletes or makes a file
    // or directory, stamps a time or starts a process; every fifth profile
    // write; of the many opens and writes (most of the writes are log lines)
    // every 10th and 40th; of the reads and look-ups every 25th.
    std::map<std::string, size_t> seen;
    std::vector<size_t> v;
    for (size_t k = 0; k < vOps.size(); k++) {
        const std::string& op = vOps[k];
        size_t n = seen[op]++;
        size_t nEvery = 25;
        if (op == "MoveFile" || op == "DeleteFile" || op == "CreateDirectory" || op == "RemoveDirectory" ||
            op == "CreateProcess" || op == "SetFileTime" || op == "MarkProgram" || op == "WritePrivateProfileSection")
            nEvery = 1;
        else if (op == "WritePrivateProfileString") nEvery = 5;
        else if (op == "Fopen") nEvery = 10;
        else if (op == "Fwrite") nEvery = 40;
        if (strMode == "full" || n % nEvery == 0) v.push_back(k);
    }
    // Unset (the suite): every 4th of the reduced list; "reduced": all of it;
    // a number N: every Nth.
    int nStride = strMode.empty() ? 4 : atoi(strMode.c_str());
    if (nStride > 1) {
        std::vector<size_t> vThinned;
        for (size_t i = 0; i < v.size(); i += (size_t)nStride) vThinned.push_back(v[i]);
        v = vThinned;
    }
    return v;
}

// One scenario: 0 when it ends at the from-level, 1 at the to-level, -1 lost
// (with what was found in *pstrReport).
int Sweep::Scenario(const char* szName, const std::string& strStart, const std::string& strMachine,
                    const std::string& strCommandLine, const std::vector<std::string>& vOps, size_t k, bool bExit,
                    std::string* pstrReport)
{
    int iCall = 0;
    for (size_t i = 0; i <= k; i++) iCall += vOps[i] == vOps[k];
    std::string strFault = vOps[k] + ":" + std::to_string(iCall) + ":" + std::to_string(RealisticError(vOps[k], k)) +
                           (bExit ? ":exit" : "");
    CopyMachine(strStart, strMachine);
    ProcessResult first = Installer(strMachine, strCommandLine, {{"HERON_FAULT", strFault}});
    // A run that was ended leaves its own log in TEMP.
    std::string strOwnLog = PathExists(strMachine + "/drive_c/TEMP/UPGRADE.LOG")
                                ? ReadFile(strMachine + "/drive_c/TEMP/UPGRADE.LOG")
                                : std::string();
    std::string strLog = TakeLog(strMachine);
    // The documented recovery: a run that did not report success is run
    // again, the same command.
    ProcessResult again = {0, "", ""};
    if (first.iExitCode != 0) again = Installer(strMachine, strCommandLine);
    // A revert stopped after its files were back finds the installation at
    // the old level and refuses: the package runs once more, as an upgrade.
    if (again.iExitCode != 0 && strCommandLine.find("revert") != std::string::npos) {
        TakeLog(strMachine);
        again = Installer(strMachine, "nouser nochecksum");
    }
    Snapshot now = Take(strMachine);
    std::string strScratch, strScratchTo;
    std::string strFrom = AtLevel(s_from, s_from, now, &strScratch);
    std::string strTo = AtLevel(s_to, s_from, now, &strScratchTo);
    std::string strWhat = std::string(szName) + " with HERON_FAULT=" + strFault + " (operation " +
                          std::to_string(k + 1) + " of " + std::to_string(vOps.size()) + "): exit " +
                          std::to_string(first.iExitCode) + ", then " + std::to_string(again.iExitCode);
    if (strFrom.empty() || strTo.empty()) {
        *pstrReport = strScratch.empty() ? "" : strWhat + "\n" + strScratch;
        return strFrom.empty() ? 0 : 1;
    }
    // What the log explains: a run that could not update or restore the
    // configuration says so and goes on (its files and records are at their
    // level); a cabinet tree that could not be emptied is named.
    std::string strLogs = strLog + (PathExists(strMachine + "/drive_c/VIREO/GARNET/UPGRADE.LOG")
                                        ? ReadFile(strMachine + "/drive_c/VIREO/GARNET/UPGRADE.LOG")
                                        : std::string());
    // The data directories an upgrade skipped because a file of theirs was
    // in use (they stay at their level; the log names the file).
    std::vector<std::string> vSkipped;
    for (size_t i = strLogs.find(" is missing or in use by another process. Skipping"); i != std::string::npos;
         i = strLogs.find(" is missing or in use by another process. Skipping", i + 1)) {
        size_t iLine = strLogs.rfind('\n', i);
        std::string strLine = strLogs.substr(iLine == std::string::npos ? 0 : iLine + 1, i - (iLine + 1));
        size_t iData = strLine.find("C:\\QUILLDATA\\");
        if (iData == std::string::npos) continue;
        size_t iEnd = strLine.find('\\', iData + 13);
        if (iEnd != std::string::npos) vSkipped.push_back("QUILLDATA/" + strLine.substr(iData + 13, iEnd - iData - 13) + "/");
    }
    for (const std::string* pstrDiff : {&strFrom, &strTo}) {
        bool bExplained = true;
        size_t iStart = 0;
        for (size_t i = pstrDiff->find('\n'); i != std::string::npos; iStart = i + 1, i = pstrDiff->find('\n', iStart)) {
            std::string strLine = pstrDiff->substr(iStart, i - iStart);
            bool bIni = strLine.find("QUILL.INI") != std::string::npos || strLine.find("QUILL_INI.BCK") != std::string::npos;
            bool bTree = strLine.find("garnet/js/dojo-1.3.2/") != std::string::npos;
            bool bIniLogged = strLogs.find("Couldn't update QUILL.INI with CFP_LP info") != std::string::npos ||
                              strLogs.find("Quill.ini coudl not be restored") != std::string::npos ||
                              strLogs.find("Quill.ini could not be restored") != std::string::npos ||
                              strLogs.find("value to  Quill.ini error") != std::string::npos;
            bool bSkippedDir = false;
            for (const std::string& strDir : vSkipped) bSkippedDir |= strLine.find(" " + strDir) != std::string::npos;
            if (!(bIni && bIniLogged) && !(bTree && strLogs.find("Could not empty ") != std::string::npos) &&
                !bSkippedDir)
                bExplained = false;
        }
        if (bExplained) {
            *pstrReport = strWhat + " (explained by the log)\n" + *pstrDiff + strScratch;
            return pstrDiff == &strFrom ? 2 : 3;
        }
    }
    *pstrReport = strWhat + "; against the from-level:\n" + strFrom + "against the to-level:\n" + strTo + strScratch +
                  "log of the faulted run:\n" + strLog + "log of the recovery:\n" + TakeLog(strMachine);
    // The known window (README, "If a run is interrupted"): a revert ended
    // after its files and the key file were back, before its records.
    if (bExit && strCommandLine.find("revert") != std::string::npos &&
        strOwnLog.find(" to qstrings.dll.") != std::string::npos) {
        *pstrReport = strWhat + "\n";
        return 4;
    }
    return -1;
}

int Sweep::SweepCommand(const char* szName, const std::string& strStart, const std::string& strCommandLine,
                        const std::vector<std::string>& vOps, int* pcLost, int* pcKnown)
{
    std::vector<size_t> vChosen = Chosen(vOps);
    const char* szJobs = getenv("HERON_SWEEP_JOBS");
    int cJobs = szJobs && atoi(szJobs) > 1 ? atoi(szJobs) : 1;
    // Scenario i of the list is operation vChosen[i / 2], failed (even) or
    // ended (odd). Workers are processes: each takes every cJobs-th scenario
    // and writes one line per scenario ("F", "T" or "L" and the report's
    // length, then the report) to its own file.
    std::vector<pid_t> vPids;
    for (int w = 0; w < cJobs; w++) {
        pid_t pid = cJobs > 1 ? fork() : 0;
        if (pid != 0) {
            vPids.push_back(pid);
            continue;
        }
        const std::string strMachine = s_strDir + "/scenario" + std::to_string(w);
        FILE* fp = fopen((s_strDir + "/results-" + szName + std::to_string(w)).c_str(), "wb");
        for (size_t i = (size_t)w; i < 2 * vChosen.size(); i += (size_t)cJobs) {
            std::string strReport;
            int r = Scenario(szName, strStart, strMachine, strCommandLine, vOps, vChosen[i / 2], i % 2 == 1, &strReport);
            fprintf(fp, "%c %zu\n%s", r == 0 ? 'F' : r == 1 ? 'T' : r == 2 ? 'f' : r == 3 ? 't' : r == 4 ? 'K' : 'L',
                    strReport.size(), strReport.c_str());
        }
        fclose(fp);
        RemoveAll(strMachine);
        if (cJobs > 1) _exit(0);
    }
    for (pid_t pid : vPids) {
        int iStatus;
        waitpid(pid, &iStatus, 0);
    }
    int cScenarios = 0, cAtFrom = 0, cAtTo = 0, cScratch = 0, cExplained = 0;
    for (int w = 0; w < cJobs; w++) {
        std::string strResults = ReadFile(s_strDir + "/results-" + szName + std::to_string(w));
        size_t i = 0;
        while (i < strResults.size()) {
            char ch = strResults[i];
            size_t iEnd = strResults.find('\n', i);
            size_t cb = (size_t)atol(strResults.c_str() + i + 2);
            std::string strReport = strResults.substr(iEnd + 1, cb);
            i = iEnd + 1 + cb;
            cScenarios++;
            if (ch == 'K') {
                ++*pcKnown;
                printf("known window: %s", strReport.c_str());
            } else if (ch == 'f' || ch == 't') {
                (ch == 'f' ? cAtFrom : cAtTo)++;
                cExplained++;
                printf("explained: %s", strReport.c_str());
            } else if (ch == 'F' || ch == 'T') {
                (ch == 'F' ? cAtFrom : cAtTo)++;
                if (!strReport.empty()) {
                    cScratch++;
                    if (cScratch <= 5) printf("scratch files left: %s", strReport.c_str());
                }
            } else {
                ++*pcLost;
                printf("LOST: %s", strReport.c_str());
            }
        }
    }
    EXPECT_EQ(2 * vChosen.size(), (size_t)cScenarios) << "every worker reported every scenario";
    printf("%s: %zu operations, %zu aimed at, %d scenarios (%d end at the from-level, %d at the to-level, %d of them "
           "with a difference the log explains, %d leave scratch files)\n",
           szName, vOps.size(), vChosen.size(), cScenarios, cAtFrom, cAtTo, cExplained, cScratch);
    return cScenarios;
}

// A whole file the stopped run already committed is the new file: the run
// again keeps it and does not back it up as if it were the old one (a later
// revert would otherwise bring the new file back instead of removing it).
TEST_F(Sweep, AWholeFileAlreadyNewIsKeptWithoutABackup)
{
    const std::string strMachine = s_strDir + "/committed";
    CopyMachine(s_strFrom, strMachine);
    WriteFile(strMachine + "/drive_c/VIREO/GARNET/sub/new.txt", s_to.at("VIREO/GARNET/sub/new.txt"));
    ProcessResult r = Installer(strMachine, "nouser nochecksum");
    std::string strLog = TakeLog(strMachine);
    EXPECT_EQ(0, r.iExitCode) << strLog;
    EXPECT_NE(std::string::npos, strLog.find("\tsub\\new.txt is already the new file: kept, no backup")) << strLog;
    std::string strScratch;
    EXPECT_EQ("", AtLevel(s_to, s_from, Take(strMachine), &strScratch));
    RemoveAll(strMachine);
}

// An upgrade stopped after it committed its delta file leaves that file at
// its new CRC-32 under the old stamp: the run again accepts it, leaves it as
// it is (no second transform) and finishes the upgrade.
TEST_F(Sweep, AFileAlreadyAtItsNewLevelIsAcceptedAndNotTransformedTwice)
{
    const std::string strMachine = s_strDir + "/partial";
    CopyMachine(s_strFrom, strMachine);
    WriteFile(strMachine + "/drive_c/VIREO/GARNET/qmain.dll", s_to.at("VIREO/GARNET/qmain.dll"));
    ProcessResult r = Installer(strMachine, "nouser nochecksum");
    std::string strLog = TakeLog(strMachine);
    EXPECT_EQ(0, r.iExitCode) << strLog;
    EXPECT_NE(std::string::npos, strLog.find("File qmain.dll is already at 0x")) << strLog;
    std::string strScratch;
    EXPECT_EQ("", AtLevel(s_to, s_from, Take(strMachine), &strScratch));
    EXPECT_EQ("", strScratch);
    RemoveAll(strMachine);
}

// A commit stopped between removing an installed file and renaming its new
// one in leaves the place empty, even the key file's (no stamp to read): the
// next run first puts back the copy the stopped run kept ("UPRB...TMP") or
// the file it moved aside ("%s.hf"), then upgrades.
TEST_F(Sweep, AFileTheStoppedCommitLeftMissingIsPutBackFirst)
{
    const std::string strMachine = s_strDir + "/emptied";
    const std::string strProg = strMachine + "/drive_c/VIREO/GARNET/";
    CopyMachine(s_strFrom, strMachine);
    // Entry 2 is the key file, entry 5 the system file.
    ASSERT_EQ(0, rename((strProg + "qstrings.dll").c_str(), (strProg + "UPRB000200.TMP").c_str()));
    ASSERT_EQ(0, rename((strMachine + "/drive_c/WINDOWS/SYSTEM32/qstat.dll").c_str(),
                        (strMachine + "/drive_c/WINDOWS/SYSTEM32/qstat.dll.hf").c_str()));
    ProcessResult r = Installer(strMachine, "nouser nochecksum");
    std::string strLog = TakeLog(strMachine);
    EXPECT_EQ(0, r.iExitCode) << strLog;
    EXPECT_NE(std::string::npos, strLog.find("Put back C:\\VIREO\\GARNET\\qstrings.dll from "
                                             "C:\\VIREO\\GARNET\\UPRB000200.TMP, left by a run that was stopped"))
        << strLog;
    EXPECT_NE(std::string::npos, strLog.find("Put back C:\\WINDOWS\\SYSTEM32\\qstat.dll from "
                                             "C:\\WINDOWS\\SYSTEM32\\qstat.dll.hf"))
        << strLog;
    std::string strScratch;
    EXPECT_EQ("", AtLevel(s_to, s_from, Take(strMachine), &strScratch));
    EXPECT_EQ("", strScratch);
    RemoveAll(strMachine);
}

// A revert stopped after it took a backup away (into its temporary file)
// left the copy it kept of that backup: the revert run again puts the backup
// back and finishes.
TEST_F(Sweep, ABackupTheStoppedRevertTookIsPutBack)
{
    const std::string strMachine = s_strDir + "/taken";
    const std::string strProg = strMachine + "/drive_c/VIREO/GARNET/";
    CopyMachine(s_strTo, strMachine);
    ASSERT_EQ(0, rename((strProg + "Release801/gar-dojo0007.IIB").c_str(), (strProg + "UPRB0007.BAK").c_str()));
    ProcessResult r = Installer(strMachine, "nouser nochecksum revert Release 8.0.1");
    std::string strLog = TakeLog(strMachine);
    EXPECT_EQ(0, r.iExitCode) << strLog;
    EXPECT_NE(std::string::npos, strLog.find("Put back C:\\VIREO\\GARNET\\Release801\\gar-dojo0007.IIB from "
                                             "C:\\VIREO\\GARNET\\UPRB0007.BAK, left by a run that was stopped"))
        << strLog;
    std::string strScratch;
    EXPECT_EQ("", AtLevel(s_from, s_from, Take(strMachine), &strScratch));
    EXPECT_EQ("", strScratch);
    RemoveAll(strMachine);
}

// The key file is committed after every other file: until its stamp names
// the new level, a stopped run is identified at the level it started from.
TEST_F(Sweep, TheKeyFileIsCommittedLast)
{
    std::string strLog = ReadFile(s_strTo + "/drive_c/VIREO/GARNET/UPGRADE.LOG");
    size_t iKey = strLog.find("Renamed UPTMP0002.TMP to qstrings.dll.");
    ASSERT_NE(std::string::npos, iKey) << strLog;
    EXPECT_EQ(std::string::npos, strLog.find("Renamed ", iKey + 1)) << strLog;
    EXPECT_NE(std::string::npos, strLog.find("Renamed UPTMP0005.TMP to C:\\WINDOWS\\SYSTEM32\\qstat.dll.")) << strLog;
}

// A revert whose stamp could not be written after its files were back: the
// files are at the old level, the records still at the new one. The run
// fails (4) and leaves its note; the same revert run again finishes the
// records, and a copy the stopped run kept of a file the fix added is not
// put back.
TEST_F(Sweep, ARevertStoppedAfterItsFilesIsFinishedByTheSameRevert)
{
    const std::string strMachine = s_strDir + "/finished";
    const std::string strProg = strMachine + "/drive_c/VIREO/GARNET/";
    const std::string strRevert = "nouser nochecksum revert Release 8.0.1";
    size_t cStarts = std::count(s_vRevertOps.begin(), s_vRevertOps.end(), std::string("CreateProcess"));
    CopyMachine(s_strTo, strMachine);
    ProcessResult r = Installer(strMachine, strRevert, {{"HERON_FAULT", "CreateProcess:" + std::to_string(cStarts) + ":2"}});
    std::string strLog = TakeLog(strMachine);
    EXPECT_EQ(4, r.iExitCode) << strLog;
    EXPECT_TRUE(PathExists(strProg + "UPRBREVERT.INI")) << strLog;
    WriteFile(strProg + "UPRB000300.TMP", s_to.at("VIREO/GARNET/sub/new.txt"));

    r = Installer(strMachine, strRevert);
    strLog = TakeLog(strMachine);
    EXPECT_EQ(0, r.iExitCode) << strLog;
    EXPECT_NE(std::string::npos, strLog.find("The revert to Release 8.0.1|March 3, 2010 was stopped after its files "
                                             "were back: its records are finished now"))
        << strLog;
    std::string strScratch;
    EXPECT_EQ("", AtLevel(s_from, s_from, Take(strMachine), &strScratch)) << strLog;
    EXPECT_EQ("", strScratch);
    RemoveAll(strMachine);
}

// The same stopped revert followed by an upgrade instead: the records are
// finished first, and the upgrade then gives the state of a clean upgrade
// (configuration keys included).
TEST_F(Sweep, AnUpgradeAfterAStoppedRevertFinishesTheRevertFirst)
{
    const std::string strMachine = s_strDir + "/upgraded";
    size_t cStarts = std::count(s_vRevertOps.begin(), s_vRevertOps.end(), std::string("CreateProcess"));
    CopyMachine(s_strTo, strMachine);
    ProcessResult r = Installer(strMachine, "nouser nochecksum revert Release 8.0.1",
                                {{"HERON_FAULT", "CreateProcess:" + std::to_string(cStarts) + ":2"}});
    TakeLog(strMachine);
    ASSERT_EQ(4, r.iExitCode);
    r = Installer(strMachine, "nouser nochecksum");
    std::string strLog = TakeLog(strMachine);
    EXPECT_EQ(0, r.iExitCode) << strLog;
    std::string strScratch;
    EXPECT_EQ("", AtLevel(s_to, s_from, Take(strMachine), &strScratch)) << strLog;
    EXPECT_EQ("", strScratch);
    RemoveAll(strMachine);
}

TEST_F(Sweep, NothingLostWhenAnUpgradeOrARevertFailsOrStopsAtAnyOperation)
{
    ASSERT_FALSE(s_vUpgradeOps.empty());
    ASSERT_FALSE(s_vRevertOps.empty());
    int cLost = 0, cKnown = 0, cScenarios = 0;
    // HERON_SWEEP_COMMAND=upgrade or revert: that one alone.
    const char* szOnly = getenv("HERON_SWEEP_COMMAND");
    if (!szOnly || strcmp(szOnly, "upgrade") == 0)
        cScenarios += SweepCommand("upgrade", s_strFrom, "nouser nochecksum", s_vUpgradeOps, &cLost, &cKnown);
    if (!szOnly || strcmp(szOnly, "revert") == 0)
        cScenarios +=
            SweepCommand("revert", s_strTo, "nouser nochecksum revert Release 8.0.1", s_vRevertOps, &cLost, &cKnown);
    printf("%d scenarios, %d lost, %d left between a revert's files and its records\n",
           cScenarios, cLost, cKnown);
    // Each lost scenario is printed above as "LOST:", with both logs.
    EXPECT_EQ(0, cLost);
    EXPECT_EQ(0, cKnown) << "a revert ended between its files and its records is finished by the next run";
}

} // namespace
