// heron-cab as a process: trees packed and unpacked byte for byte, the
// installer's own command lines, damaged cabinets and refusals, and the
// cabinets read back by an independent reader (cabextract) when present.
#include "support/machine.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <stdint.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <utime.h>

#include <functional>
#include <map>

namespace {

typedef std::map<std::string, std::string> Tree; // relative path ("/") -> bytes

ProcessResult Cab(const std::vector<std::string>& vArgs, const std::string& strCwd = "")
{
    std::vector<std::string> v = {BinPath("tools/cab/heron-cab")};
    v.insert(v.end(), vArgs.begin(), vArgs.end());
    return RunProcess(v, strCwd, {{"HERON_COMMAND_LINE", "\x01"}});
}

// The installer's way: the whole Windows command line in the environment.
ProcessResult CabLine(const std::string& strLine, const std::string& strCwd)
{
    return RunProcess({BinPath("tools/cab/heron-cab")}, strCwd, {{"HERON_COMMAND_LINE", strLine}});
}

std::string Noise(size_t cb, uint32_t dwSeed)
{
    std::string str(cb, '\0');
    for (size_t i = 0; i < cb; i++) {
        dwSeed = dwSeed * 1103515245u + 12345u;
        str[i] = (char)(dwSeed >> 24);
    }
    return str;
}

// Files of every kind the tool must carry: empty, tiny, several 32 KB
// blocks of incompressible and of compressible data, nested directories,
// mixed case and blanks in names.
Tree SampleTree()
{
    Tree tree;
    tree["readme.txt"] = "dojo toolkit\r\n";
    tree["empty.dat"] = "";
    tree["Sub/Mixed Case.JS"] = "var x = 1;\n";
    tree["sub2/deep/noise.bin"] = Noise(150000, 7);
    std::string strText;
    for (int i = 0; i < 12000; i++) strText += "line " + std::to_string(i % 311) + " of the toolkit\n";
    tree["sub2/deep/text.txt"] = strText;
    tree["sub2/exactly32k.bin"] = Noise(32768, 9);
    return tree;
}

void WriteTree(const std::string& strRoot, const Tree& tree)
{
    MakeDirs(strRoot);
    for (const auto& kv : tree) WriteFile(strRoot + "/" + kv.first, kv.second);
}

void ReadTreeInto(const std::string& strRoot, const std::string& strRel, Tree* pTree)
{
    DIR* pDir = opendir((strRoot + "/" + strRel).c_str());
    if (!pDir) return;
    while (struct dirent* pEnt = readdir(pDir)) {
        std::string strName = pEnt->d_name;
        if (strName == "." || strName == "..") continue;
        std::string strChild = strRel.empty() ? strName : strRel + "/" + strName;
        struct stat st;
        if (stat((strRoot + "/" + strChild).c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) ReadTreeInto(strRoot, strChild, pTree);
        else (*pTree)[strChild] = ReadFile(strRoot + "/" + strChild);
    }
    closedir(pDir);
}

Tree ReadTree(const std::string& strRoot)
{
    Tree tree;
    ReadTreeInto(strRoot, "", &tree);
    return tree;
}

// Summary for failure messages: names and sizes.
std::string Describe(const Tree& tree)
{
    std::string str;
    for (const auto& kv : tree) str += kv.first + " (" + std::to_string(kv.second.size()) + ")\n";
    return str;
}

time_t LocalTime(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec)
{
    struct tm tm = {};
    tm.tm_year = nYear - 1900;
    tm.tm_mon = nMonth - 1;
    tm.tm_mday = nDay;
    tm.tm_hour = nHour;
    tm.tm_min = nMin;
    tm.tm_sec = nSec;
    tm.tm_isdst = -1;
    return mktime(&tm);
}

time_t ModTime(const std::string& strPath)
{
    struct stat st;
    return stat(strPath.c_str(), &st) == 0 ? st.st_mtime : (time_t)-1;
}

TEST(HeronCab, PacksAndUnpacksTreesByteForByte)
{
    TempMachine machine;
    std::string strWork = machine.Host("C:\\work");
    Tree tree = SampleTree();
    // Many small files share one data block: each must be finished before
    // the next is opened.
    for (int i = 0; i < 1500; i++) tree["many/f" + std::to_string(i) + ".txt"] = std::to_string(i);
    tree[std::string(246, 'n') + ".bin"] = "a name as long as a stored name may be";
    WriteTree(strWork + "/tree", tree);
    time_t tStamp = LocalTime(2009, 6, 15, 12, 34, 56);
    struct utimbuf times = {tStamp, tStamp};
    ASSERT_EQ(0, utime((strWork + "/tree/sub2/deep/text.txt").c_str(), &times));

    for (const char* szType : {"none", "mszip"}) {
        SCOPED_TRACE(szType);
        std::string strCab = std::string("C:\\work\\") + szType + ".cab";
        ProcessResult r = Cab({"-m", szType, "-r", "-p", "n", strCab, "tree\\*"}, strWork);
        ASSERT_EQ(0, r.iExitCode) << r.strErr;
        std::string strDest = std::string("C:\\out\\") + szType + "\\";
        r = Cab({"-p", "x", strCab, "*", strDest}, strWork);
        ASSERT_EQ(0, r.iExitCode) << r.strErr;
        Tree back = ReadTree(machine.Host(strDest));
        EXPECT_TRUE(back == tree) << Describe(back);
        EXPECT_EQ(tStamp, ModTime(machine.Host(strDest) + "/sub2/deep/text.txt"));
    }
    // The stored data compresses: the compressible text shrinks.
    EXPECT_LT(ReadFile(strWork + "/mszip.cab").size() + 150000, ReadFile(strWork + "/none.cab").size());

    // Without -p: base names only, and a pattern picks files by name.
    ProcessResult r = Cab({"-r", "n", "flat.cab", "tree\\*.txt"}, strWork);
    ASSERT_EQ(0, r.iExitCode) << r.strErr;
    r = Cab({"x", "flat.cab", "F1?.TXT", "text.txt", "flat\\"}, strWork);
    ASSERT_EQ(0, r.iExitCode) << r.strErr;
    Tree flat = ReadTree(strWork + "/flat");
    EXPECT_EQ(11u, flat.size()) << Describe(flat); // f10..f19 and text.txt
    EXPECT_EQ(tree["sub2/deep/text.txt"], flat["text.txt"]);
    EXPECT_EQ("17", flat["f17.txt"]);
}

TEST(HeronCab, InstallerCommandLinesRoundTripTheTrees)
{
    TempMachine machine;
    Tree tree = SampleTree();
    std::string strTree = machine.Host("C:\\data\\garnet\\js\\dojo-1.3.2");
    WriteTree(strTree, tree);
    MakeDirs(machine.Host("C:\\VIREO\\GARNET\\backup"));

    // Back-up of the toolkit tree, run from the data directory.
    ProcessResult r = CabLine("\"C:\\start\\cabarc.exe\" -r -p n \"C:\\VIREO\\GARNET\\backup\\gar-dojo.cab\" "
                              "garnet\\js\\dojo-1.3.2\\*",
                              machine.Host("C:\\data"));
    ASSERT_EQ(0, r.iExitCode) << r.strErr;
    std::string strCab = ReadFile(machine.Host("C:\\VIREO\\GARNET\\backup\\gar-dojo.cab"));
    ASSERT_FALSE(strCab.empty());

    // The tree is emptied, the cabinet copied in as the target, and unpacked
    // with the destination's trailing backslash before the closing quote.
    RemoveAll(strTree);
    MakeDirs(strTree);
    WriteFile(machine.Host("C:\\data\\gar-dojo.cab"), strCab);
    r = CabLine("\"C:\\start\\cabarc.exe\" -p x \"C:\\data\\gar-dojo.cab\" * \"C:\\data\\garnet\\js\\dojo-1.3.2\\\"",
                strTree);
    ASSERT_EQ(0, r.iExitCode) << r.strErr;
    Tree back = ReadTree(strTree);
    EXPECT_TRUE(back == tree) << Describe(back); // the same tree, not nested in "garnet\js\..."

    // Plug-ins, revert: a relative cabinet over stale files, whose
    // directories differ in case from the stored names.
    std::string strPlugins = machine.Host("C:\\VIREO\\GARNET\\osgi\\shared\\eclipse\\plugins");
    WriteFile(strPlugins + "/SUB/mixed case.js", "stale");
    WriteFile(strPlugins + "/readme.txt", "stale readme");
    chmod((strPlugins + "/readme.txt").c_str(), 0444);
    WriteFile(strPlugins + "/osgi_plugins.cab", strCab);
    r = CabLine("\"C:\\start\\cabarc.exe\" -p -o x \"osgi_plugins.cab\" * "
                "\"C:\\VIREO\\GARNET\\osgi\\shared\\eclipse\\plugins\\\"",
                strPlugins);
    ASSERT_EQ(0, r.iExitCode) << r.strErr;
    EXPECT_EQ(tree["readme.txt"], ReadFile(strPlugins + "/readme.txt"));
    EXPECT_EQ(tree["Sub/Mixed Case.JS"], ReadFile(strPlugins + "/SUB/mixed case.js"));
    EXPECT_FALSE(PathExists(strPlugins + "/Sub")) << "a second directory differing only in case";
    EXPECT_EQ(tree["sub2/deep/noise.bin"], ReadFile(strPlugins + "/sub2/deep/noise.bin"));
}

// Field offsets of the cabinet the damage table works on.
struct Layout {
    size_t offFolder;   // first CFFOLDER
    size_t offEntries;  // first CFFILE
    size_t offData;     // first CFDATA
};

uint32_t Get32(const std::string& str, size_t off)
{
    return (uint8_t)str[off] | ((uint8_t)str[off + 1] << 8) | ((uint8_t)str[off + 2] << 16) |
           ((uint32_t)(uint8_t)str[off + 3] << 24);
}

void Put16(std::string* pstr, size_t off, uint16_t w)
{
    (*pstr)[off] = (char)(w & 0xFF);
    (*pstr)[off + 1] = (char)(w >> 8);
}

void Put32(std::string* pstr, size_t off, uint32_t dw)
{
    Put16(pstr, off, (uint16_t)(dw & 0xFFFF));
    Put16(pstr, off + 2, (uint16_t)(dw >> 16));
}

TEST(HeronCab, DamagedCabinetsFailCleanly)
{
    TempMachine machine;
    std::string strWork = machine.Host("C:\\work");
    WriteTree(strWork + "/tree", SampleTree());
    ProcessResult r = Cab({"-r", "-p", "n", "good.cab", "tree\\*"}, strWork);
    ASSERT_EQ(0, r.iExitCode) << r.strErr;
    const std::string strGood = ReadFile(strWork + "/good.cab");
    const Layout lay = {36, Get32(strGood, 16), Get32(strGood, 36)};

    struct Row {
        const char* szWhat;
        std::function<void(std::string*)> fnDamage;
        const char* szMessage;
        bool bListFails; // the tables are broken, so listing fails too
    };
    const std::vector<Row> rows = {
        {"truncated in the header", [](std::string* p) { p->resize(20); }, "only 20 bytes", true},
        {"truncated in the file table", [&](std::string* p) { p->resize(lay.offEntries + 20); }, "truncated", true},
        {"truncated in the data", [](std::string* p) { p->resize(p->size() / 2); }, "truncated", true},
        {"one byte short", [](std::string* p) { p->resize(p->size() - 1); }, "truncated", true},
        {"no signature", [](std::string* p) { (*p)[0] = 'X'; }, "not a cabinet", true},
        {"file table offset", [](std::string* p) { Put32(p, 16, 0xFFFFFFF0u); }, "file table", true},
        {"file count", [](std::string* p) { Put16(p, 0x1C, 0xFFFF); }, "file table", true},
        {"folder count", [](std::string* p) { Put16(p, 0x1A, 0xFFFF); }, "folder", true},
        {"data offset", [&](std::string* p) { Put32(p, lay.offFolder, (uint32_t)p->size() - 4); }, "outside", true},
        {"block count", [&](std::string* p) { Put16(p, lay.offFolder + 4, 0xFFFF); }, "data block", true},
        {"file's folder", [&](std::string* p) { Put16(p, lay.offEntries + 8, 7); }, "names folder 7", true},
        {"file size", [&](std::string* p) { Put32(p, lay.offEntries, 0xFFFFFFFFu); }, "extends past", true},
        {"block size", [&](std::string* p) { Put16(p, lay.offData + 4, 0xFFFF); }, "impossible sizes", true},
        {"cabinet set", [](std::string* p) { Put16(p, 0x1E, 1); }, "multi-cabinet", true},
        {"checksum", [&](std::string* p) { (*p)[lay.offData + 20] ^= 1; }, "checksum error", false},
        {"MSZIP signature", [&](std::string* p) {
             Put32(p, lay.offData, 0);
             (*p)[lay.offData + 8] = 'X';
         }, "MSZIP signature", false},
        {"deflate data", [&](std::string* p) {
             Put32(p, lay.offData, 0);
             (*p)[lay.offData + 10] = (char)0xFF; // block type 3 does not exist
         }, "is damaged", false},
        {"compression type", [&](std::string* p) { Put16(p, lay.offFolder + 6, 3); }, "LZX", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.szWhat);
        std::string strBad = strGood;
        row.fnDamage(&strBad);
        WriteFile(strWork + "/bad.cab", strBad);
        RemoveAll(strWork + "/out");
        r = Cab({"-p", "x", "bad.cab", "*", "out\\"}, strWork);
        EXPECT_EQ(1, r.iExitCode) << r.strErr;
        EXPECT_NE(std::string::npos, r.strErr.find(row.szMessage)) << r.strErr;
        // Nothing half-written is left behind under any name.
        for (const auto& kv : ReadTree(strWork + "/out")) {
            EXPECT_EQ(std::string::npos, kv.first.find(".tmp")) << kv.first;
            EXPECT_EQ(SampleTree()[kv.first], kv.second) << kv.first;
        }
        r = Cab({"l", "bad.cab"}, strWork);
        EXPECT_EQ(row.bListFails ? 1 : 0, r.iExitCode) << r.strErr;
    }
}

TEST(HeronCab, RefusesWithAReason)
{
    TempMachine machine;
    std::string strWork = machine.Host("C:\\work");
    WriteTree(strWork + "/tree", {{"aa/bb/evil.txt", "payload"}, {"fine.txt", "fine"}});
    ASSERT_EQ(0, Cab({"-r", "-p", "n", "good.cab", "tree\\*"}, strWork).iExitCode);
    WriteFile(strWork + "/plain.txt", "a file, not a directory");

    struct Row {
        const char* szWhat;
        std::vector<std::string> vArgs;
        int iExit;
        const char* szMessage;
    };
    const std::vector<Row> rows = {
        {"missing cabinet", {"x", "C:\\nowhere\\missing.cab", "*", "out\\"}, 1, "cannot open the cabinet"},
        {"missing cabinet, list", {"l", "missing.cab"}, 1, "cannot open the cabinet"},
        {"nothing to pack", {"-r", "n", "none.cab", "tree\\*.exe"}, 1, "no files matched"},
        {"no such directory", {"n", "none.cab", "nowhere\\*"}, 1, "no files matched"},
        {"nothing to extract", {"x", "good.cab", "*.exe", "out\\"}, 1, "no files in good.cab matched"},
        {"destination is a file", {"x", "good.cab", "*", "plain.txt\\"}, 1, "cannot use the destination"},
        {"cabinet directory missing", {"-r", "n", "C:\\nowhere\\new.cab", "tree\\*"}, 1, "cannot create the cabinet"},
        {"no command", {"-p"}, 2, "a command and a cabinet"},
        {"unknown option", {"-z", "l", "good.cab"}, 2, "unknown option -z"},
    };
    for (const Row& row : rows) {
        ProcessResult r = Cab(row.vArgs, strWork);
        EXPECT_EQ(row.iExit, r.iExitCode) << row.szWhat << ": " << r.strErr;
        EXPECT_NE(std::string::npos, r.strErr.find(row.szMessage)) << row.szWhat << ": " << r.strErr;
    }
    EXPECT_FALSE(PathExists(strWork + "/none.cab"));

    // A stored name that climbs out of the destination is refused; the rest
    // of the cabinet is still extracted.
    std::string strCab = ReadFile(strWork + "/good.cab");
    size_t off = strCab.find("aa\\bb\\evil.txt");
    ASSERT_NE(std::string::npos, off);
    strCab.replace(off, 5, "..\\..");
    WriteFile(strWork + "/evil.cab", strCab);
    ProcessResult r = Cab({"-p", "x", "evil.cab", "*", "C:\\work\\deep\\out\\"}, strWork);
    EXPECT_EQ(1, r.iExitCode);
    EXPECT_NE(std::string::npos, r.strErr.find("unsafe name")) << r.strErr;
    EXPECT_FALSE(PathExists(strWork + "/evil.txt"));
    EXPECT_EQ("fine", ReadFile(strWork + "/deep/out/fine.txt"));
}

// cabextract (libmspack) is an independent reader: it verifies the
// checksums and decodes MSZIP on its own.
TEST(HeronCab, IndependentReaderAcceptsTheCabinets)
{
    if (!PathExists("/usr/bin/cabextract")) GTEST_SKIP() << "cabextract is not installed";
    TempMachine machine;
    std::string strWork = machine.Host("C:\\work");
    Tree tree = SampleTree();
    WriteTree(strWork + "/tree", tree);
    WriteTree(strWork + "/empties", {{"a.txt", ""}, {"b.txt", ""}});
    for (const char* szType : {"none", "mszip"}) {
        SCOPED_TRACE(szType);
        ProcessResult r = Cab({"-m", szType, "-r", "-p", "n", "t.cab", "tree\\*"}, strWork);
        ASSERT_EQ(0, r.iExitCode) << r.strErr;
        r = RunProcess({"/usr/bin/cabextract", "-t", "t.cab"}, strWork);
        EXPECT_EQ(0, r.iExitCode) << r.strOut << r.strErr;
        r = RunProcess({"/usr/bin/cabextract", "-q", "-d", strWork + "/ce-" + szType, "t.cab"}, strWork);
        EXPECT_EQ(0, r.iExitCode) << r.strOut << r.strErr;
        Tree back = ReadTree(strWork + "/ce-" + szType);
        EXPECT_TRUE(back == tree) << Describe(back);
    }
    ProcessResult r = Cab({"n", "e.cab", "empties\\*"}, strWork);
    ASSERT_EQ(0, r.iExitCode) << r.strErr;
    r = RunProcess({"/usr/bin/cabextract", "-l", "e.cab"}, strWork);
    EXPECT_EQ(0, r.iExitCode) << r.strOut << r.strErr;
    EXPECT_NE(std::string::npos, r.strOut.find("b.txt")) << r.strOut;
}

} // namespace
