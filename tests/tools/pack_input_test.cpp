// What the tools make of their users' input: heron-pack manifests and release
// trees with the usual mistakes, the output that would replace an input, the
// documented example, and every tool's --help and --version.
#include "support/machine.h"
#include "support/package.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

ProcessResult Pack(const std::vector<std::string>& vArgs)
{
    std::vector<std::string> v = {BinPath("tools/pack/heron-pack")};
    v.insert(v.end(), vArgs.begin(), vArgs.end());
    return RunProcess(v);
}

// Two small release trees, a licence and a tool below strDir.
void WriteInputs(const std::string& strDir)
{
    WriteFile(strDir + "/from/program/qstrings.dll", "key 1");
    WriteFile(strDir + "/from/program/a.txt", "a 1");
    WriteFile(strDir + "/to/program/qstrings.dll", "key 2");
    WriteFile(strDir + "/to/program/a.txt", "a 2");
    WriteFile(strDir + "/license.txt", "Licence.\n");
    WriteFile(strDir + "/tool.sh", "#!/bin/sh\n");
}

const char kManifest[] = "[Package]\nFrom = Release 1.0|May 1, 2010\nTo = Release 1.1|June 1, 2010\n"
                         "License = license.txt\nVersionTool = tool.sh\nCabinetTool = tool.sh\n"
                         "[Releases]\nRelease 1.0|May 1, 2010 = from\nRelease 1.1|June 1, 2010 = to\n";

// Builds strManifest in a fresh directory; the result of heron-pack build.
ProcessResult BuildManifest(const std::string& strDir, const std::string& strManifest)
{
    WriteInputs(strDir);
    WriteFile(strDir + "/manifest.ini", strManifest);
    return Pack({"build", strDir + "/manifest.ini", "-o", strDir + "/setup.exe", "--quiet"});
}

TEST(PackInput, ManifestMistakesAreNamed)
{
    TempMachine machine;
    std::string strBase = kManifest;
    auto Replace = [&](const std::string& strOld, const std::string& strNew) {
        std::string str = strBase;
        size_t i = str.find(strOld);
        EXPECT_NE(std::string::npos, i) << strOld;
        return str.replace(i, strOld.size(), strNew);
    };
    struct Row {
        const char* szWhat;
        std::string strManifest;
        std::vector<std::string> vErrors; // the lines of standard error, in order
    };
    std::vector<Row> rows = {
        {"unknown key", Replace("License =", "Licence = x\nLicense ="),
         {"heron-pack: DIR/manifest.ini:4: unknown key \"Licence\" in [Package]"}},
        {"unknown section", strBase + "[Extra]\nx = 1\n", {"heron-pack: DIR/manifest.ini:10: unknown section [Extra]"}},
        {"kind by case", Replace("License =", "Kind = gwa\nLicense ="),
         {"heron-pack: DIR/manifest.ini:4: Kind \"gwa\" must be spelt \"GWA\""}},
        {"second bar", Replace("To = Release 1.1|June 1, 2010", "To = Release 1.1|June|1"),
         {"heron-pack: DIR/manifest.ini:3: To \"Release 1.1|June|1\" has a second \"|\""}},
        {"empty date", Replace("Release 1.0|May 1, 2010 = from", "Release 1.0| = from"),
         {"heron-pack: DIR/manifest.ini:8: label \"Release 1.0|\" has an empty date"}},
        {"missing key", Replace("From = Release 1.0|May 1, 2010\n", ""),
         {"heron-pack: DIR/manifest.ini: [Package] has no From"}},
        {"two missing keys",
         "[Package]\nTo = Release 1.1|June 1, 2010\n[Releases]\nRelease 1.1|June 1, 2010 = to\n",
         {"heron-pack: DIR/manifest.ini: [Package] has no From",
          "heron-pack: DIR/manifest.ini: [Package] has no License"}},
        {"NUL byte", Replace("= to\n", std::string("= \0to\n", 6)),
         {"heron-pack: DIR/manifest.ini:9: a NUL byte (a manifest is text)"}},
        {"no sections", "; nothing\n",
         {"heron-pack: DIR/manifest.ini: no [Package] section", "heron-pack: DIR/manifest.ini: no [Releases] section"}},
    };
    int i = 0;
    for (const Row& row : rows) {
        std::string strDir = machine.Root() + "/m" + std::to_string(i++);
        ProcessResult result = BuildManifest(strDir, row.strManifest);
        EXPECT_EQ(2, result.iExitCode) << row.szWhat;
        std::string strExpected;
        for (std::string strLine : row.vErrors) {
            size_t iDir = strLine.find("DIR");
            if (iDir != std::string::npos) strLine.replace(iDir, 3, strDir);
            strExpected += strLine + "\n";
        }
        EXPECT_EQ(strExpected, result.strErr) << row.szWhat;
        EXPECT_FALSE(PathExists(strDir + "/setup.exe")) << row.szWhat;
    }

    // A byte-order mark and inline comments are accepted; a ";" inside quotes is text.
    std::string strDir = machine.Root() + "/bom";
    std::string strGood = "\xEF\xBB\xBF" + Replace("License = license.txt", "License = license.txt ; the text") +
                          "[Strings]\n3 = \"Installer ; one\"\n";
    ProcessResult result = BuildManifest(strDir, strGood);
    EXPECT_EQ(0, result.iExitCode) << result.strErr;
    result = Pack({"list", strDir + "/setup.exe"});
    EXPECT_EQ(0, result.iExitCode);
}

TEST(PackInput, UsageErrorsSayWhatWasWrong)
{
    struct Row {
        std::vector<std::string> vArgs;
        const char* szFirstLine;
    } rows[] = {
        {{}, "heron-pack: a command is needed"},
        {{"frobnicate"}, "heron-pack: unknown command frobnicate"},
        {{"build", "m.ini"}, "heron-pack: build needs -o PACKAGE"},
        {{"build", "-o", "x"}, "heron-pack: build needs a manifest"},
        {{"build", "m.ini", "-o"}, "heron-pack: -o needs a file name"},
        {{"build", "m.ini", "-o", "x", "--fast"}, "heron-pack: unknown option --fast"},
        {{"build", "m.ini", "n.ini", "-o", "x"}, "heron-pack: one manifest only: n.ini is a second"},
        {{"list"}, "heron-pack: list takes one package"},
        {{"implode", "in"}, "heron-pack: implode takes IN and OUT"},
        {{"implode", "--fast", "in", "out"}, "heron-pack: unknown option --fast"},
        {{"explode", "in"}, "heron-pack: explode takes IN and OUT"},
    };
    for (const Row& row : rows) {
        ProcessResult result = Pack(row.vArgs);
        EXPECT_EQ(2, result.iExitCode) << row.szFirstLine;
        EXPECT_EQ(0u, result.strErr.find(std::string(row.szFirstLine) + "\nusage:\n")) << result.strErr;
    }
}

TEST(PackInput, OutputNeverReplacesAnInput)
{
    TempMachine machine;
    std::string strDir = machine.Root() + "/p";
    WriteInputs(strDir);
    WriteFile(strDir + "/manifest.ini", kManifest);
    struct Row {
        std::string strOutput;
        std::string strWhat;
    } rows[] = {
        {strDir + "/manifest.ini", "the manifest"},
        {strDir + "/license.txt", "the licence"},
        {strDir + "/tool.sh", "VersionTool"},
        {strDir + "/to/program/a.txt", "a file of \"Release 1.1|June 1, 2010\""},
        {strDir + "/./from/program/../program/a.txt", "a file of \"Release 1.0|May 1, 2010\""},
    };
    for (const Row& row : rows) {
        std::string strBefore = ReadFile(row.strOutput);
        ProcessResult result = Pack({"build", strDir + "/manifest.ini", "-o", row.strOutput, "--quiet"});
        EXPECT_EQ(2, result.iExitCode) << row.strOutput;
        EXPECT_NE(std::string::npos, result.strErr.find("is " + row.strWhat + " (")) << result.strErr;
        EXPECT_EQ(strBefore, ReadFile(row.strOutput));
    }
    ProcessResult result = Pack({"build", strDir + "/manifest.ini", "-o", strDir + "/setup.exe", "--quiet"});
    EXPECT_EQ(0, result.iExitCode) << result.strErr;
}

TEST(PackInput, ReleaseTreesNamesAndStrayEntries)
{
    TempMachine machine;
    std::string strDir = machine.Root() + "/t";
    WriteInputs(strDir);
    WriteFile(strDir + "/to/program/A.TXT", "other case");
    WriteFile(strDir + "/manifest.ini", kManifest);
    ProcessResult result = Pack({"build", strDir + "/manifest.ini", "-o", strDir + "/setup.exe", "--quiet"});
    EXPECT_EQ(2, result.iExitCode);
    EXPECT_EQ("heron-pack: " + strDir + "/to/program/a.txt and " + strDir + "/to/program/A.TXT differ only in case\n",
              result.strErr);
    RemoveAll(strDir + "/to/program/A.TXT");
    WriteFile(strDir + "/to/readme.txt", "beside the trees");
    MakeDirs(strDir + "/to/Program Files");
    result = Pack({"build", strDir + "/manifest.ini", "-o", strDir + "/setup.exe", "--quiet"});
    EXPECT_EQ(0, result.iExitCode);
    EXPECT_EQ("heron-pack: warning: " + strDir + "/to/Program Files is outside program/, data/ and system/ and is "
              "left out\nheron-pack: warning: " + strDir + "/to/readme.txt is outside program/, data/ and system/ "
              "and is left out\n",
              result.strErr);
}

TEST(PackInput, ListFailsOnAPackageWhoseSumDoesNotMatch)
{
    TempMachine machine;
    std::string strDir = machine.Root() + "/l";
    ASSERT_EQ(0, BuildManifest(strDir, kManifest).iExitCode);
    std::string str = ReadFile(strDir + "/setup.exe");
    str[str.size() / 2] = (char)(str[str.size() / 2] + 1);
    WriteFile(strDir + "/bad.exe", str);
    ProcessResult result = Pack({"list", strDir + "/bad.exe"});
    EXPECT_EQ(2, result.iExitCode);
    EXPECT_NE(std::string::npos, result.strOut.find("(MISMATCH)"));
    EXPECT_EQ("heron-pack: " + strDir + "/bad.exe: the stored byte sum does not match its bytes\n", result.strErr);
}

// The example of docs/package-builder.md, copied out of the document, builds.
TEST(PackInput, DocumentedExampleBuildsAsPrinted)
{
    TempMachine machine;
    std::string strDoc = ReadFile(std::string(HERON_SOURCE_DIR) + "/docs/package-builder.md");
    size_t iStart = strDoc.find("```ini\n");
    ASSERT_NE(std::string::npos, iStart);
    iStart += 7;
    size_t iEnd = strDoc.find("```", iStart);
    ASSERT_NE(std::string::npos, iEnd);
    std::string strDir = machine.Root() + "/doc";
    WriteFile(strDir + "/manifest.ini", strDoc.substr(iStart, iEnd - iStart));
    WriteFile(strDir + "/license.txt", "Licence.\n");
    WriteFile(strDir + "/releases/8.0.0/program/qstrings.dll", "8.0.0");
    WriteFile(strDir + "/releases/8.0.1/program/qstrings.dll", "8.0.1");
    WriteFile(strDir + "/releases/8.0.2/program/qstrings.dll", "8.0.2");
    WriteFile(strDir + "/releases/8.0.2/data/quill.cfg", "new");
    ProcessResult result = Pack({"build", strDir + "/manifest.ini", "-o", strDir + "/setup.exe"});
    EXPECT_EQ(0, result.iExitCode) << result.strErr;
    EXPECT_EQ("", result.strErr);
    result = Pack({"list", strDir + "/setup.exe"});
    EXPECT_EQ(0, result.iExitCode);
    EXPECT_NE(std::string::npos, result.strOut.find("string 42: \"GWA\"")) << result.strOut;
}

TEST(ToolInput, EveryToolAnswersHelpAndVersion)
{
    for (const char* szTool : {"tools/pack/heron-pack", "tools/cab/heron-cab", "tools/sample/heron-sample",
                               "tools/updver/UpdateVersion"}) {
        ProcessResult result = RunProcess({BinPath(szTool), "--help"});
        EXPECT_EQ(0, result.iExitCode) << szTool;
        EXPECT_NE(std::string::npos, result.strOut.find("sage")) << szTool << ": " << result.strOut;
        result = RunProcess({BinPath(szTool), "--version"});
        EXPECT_EQ(0, result.iExitCode) << szTool;
        EXPECT_NE(std::string::npos, result.strOut.find(" FI1.01\n")) << szTool << ": " << result.strOut;
    }
}

TEST(ToolInput, SampleRootThatIsAFile)
{
    TempMachine machine;
    WriteFile(machine.Root() + "/file", "x");
    ProcessResult result = RunProcess({BinPath("tools/sample/heron-sample"), "--root", machine.Root() + "/file"});
    EXPECT_EQ(2, result.iExitCode);
    EXPECT_EQ("heron-sample: --root " + machine.Root() + "/file is not a directory\n", result.strErr);
}

} // namespace
