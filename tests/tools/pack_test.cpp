// heron-pack as a process: refusals with clear messages, the raw stream
// commands and the contents limits of the installer.
#include "support/machine.h"
#include "support/package.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

ProcessResult Pack(const std::vector<std::string>& vArgs)
{
    std::vector<std::string> v = {BinPath("tools/pack/heron-pack")};
    v.insert(v.end(), vArgs.begin(), vArgs.end());
    return RunProcess(v);
}

TEST(HeronPack, RefusesBadManifestsWithAReason)
{
    TempMachine machine;
    struct Row {
        const char* szWhat;
        PackageRecipe recipe;
        const char* szMessage;
    };
    std::vector<Row> rows;
    {
        PackageRecipe recipe = DefaultRecipe();
        recipe.strTo = "Release 8.0.2|" + std::string(80, 'x');
        rows.push_back({"label too long", recipe, "its field holds 85"});
    }
    {
        PackageRecipe recipe = DefaultRecipe();
        recipe.strTo = "8.0.2 without the word";
        rows.push_back({"not a label", recipe, "is not a release label"});
    }
    {
        PackageRecipe recipe = DefaultRecipe();
        recipe.strStrings = "52 = too far";
        rows.push_back({"string id", recipe, "[Strings] keys are ids 0 to 51"});
    }
    {
        PackageRecipe recipe = DefaultRecipe();
        recipe.strStrings = "7 = \"\"";
        rows.push_back({"empty text", recipe, "text 7 is empty"});
    }
    {
        PackageRecipe recipe = DefaultRecipe();
        recipe.strExtraPackage = "KeyFileValue = two";
        rows.push_back({"number", recipe, "KeyFileValue must be a number"});
    }
    {
        PackageRecipe recipe = DefaultRecipe();
        recipe.strExtraPackage = "upgradetype = 1";
        rows.push_back({"duplicate", recipe, "duplicate key \"upgradetype\""});
    }
    int i = 0;
    for (const Row& row : rows) {
        std::string strLog;
        std::string strDir = machine.Root() + "/case" + std::to_string(i++);
        EXPECT_EQ("", BuildPackage(strDir, row.recipe, &strLog)) << row.szWhat;
        EXPECT_NE(std::string::npos, strLog.find(row.szMessage)) << row.szWhat << ": " << strLog;
        EXPECT_FALSE(PathExists(strDir + "/setup.exe")) << row.szWhat;
    }
    ProcessResult result = Pack({"build", machine.Root() + "/missing.ini", "-o", machine.Root() + "/x"});
    EXPECT_EQ(2, result.iExitCode);
    EXPECT_NE(std::string::npos, result.strErr.find("cannot open"));
    WriteFile(machine.Root() + "/bad.ini", "[Package]\nno equals sign\n");
    result = Pack({"build", machine.Root() + "/bad.ini", "-o", machine.Root() + "/x"});
    EXPECT_NE(std::string::npos, result.strErr.find("bad.ini:2: expected key = value"));
    EXPECT_EQ(2, Pack({"frobnicate"}).iExitCode);
}

TEST(HeronPack, RawStreamsRoundTripAndReportDecoderCodes)
{
    TempMachine machine;
    std::string strData;
    for (int i = 0; i < 20000; i++) strData += "line " + std::to_string(i % 97) + "\n";
    WriteFile(machine.Root() + "/in.txt", strData);
    WriteFile(machine.Root() + "/empty", "");
    for (const char* szDict : {"1024", "2048", "4096"}) {
        for (bool bAscii : {false, true}) {
            std::vector<std::string> v = {"implode", "--dict", szDict};
            if (bAscii) v.push_back("--ascii");
            v.push_back(machine.Root() + "/in.txt");
            v.push_back(machine.Root() + "/in.imp");
            ASSERT_EQ(0, Pack(v).iExitCode);
            std::string strStream = ReadFile(machine.Root() + "/in.imp");
            EXPECT_LT(strStream.size(), strData.size() / 4);
            EXPECT_EQ(bAscii ? 1 : 0, strStream[0]);
            ProcessResult result = Pack({"explode", machine.Root() + "/in.imp", machine.Root() + "/out.txt"});
            EXPECT_EQ(0, result.iExitCode);
            EXPECT_EQ(strData, ReadFile(machine.Root() + "/out.txt"));
        }
    }
    ASSERT_EQ(0, Pack({"implode", machine.Root() + "/empty", machine.Root() + "/empty.imp"}).iExitCode);
    EXPECT_GE(ReadFile(machine.Root() + "/empty.imp").size(), 5u);
    EXPECT_EQ(0, Pack({"explode", machine.Root() + "/empty.imp", machine.Root() + "/empty.out"}).iExitCode);
    EXPECT_EQ("", ReadFile(machine.Root() + "/empty.out"));
    // A cut stream: code 4 and the bytes decoded before the cut.
    ASSERT_EQ(0, Pack({"implode", machine.Root() + "/in.txt", machine.Root() + "/in.imp"}).iExitCode);
    std::string strStream = ReadFile(machine.Root() + "/in.imp");
    WriteFile(machine.Root() + "/cut.imp", strStream.substr(0, strStream.size() / 2));
    EXPECT_EQ(4, Pack({"explode", machine.Root() + "/cut.imp", machine.Root() + "/cut.out"}).iExitCode);
    std::string strPartial = ReadFile(machine.Root() + "/cut.out");
    EXPECT_GT(strPartial.size(), 0u);
    EXPECT_EQ(strData.substr(0, strPartial.size()), strPartial);
    // Header faults.
    WriteFile(machine.Root() + "/h1", std::string("\x00\x03\x00\x00\x00\x00", 6));
    EXPECT_EQ(1, Pack({"explode", machine.Root() + "/h1", machine.Root() + "/o"}).iExitCode);
    WriteFile(machine.Root() + "/h2", std::string("\x02\x06\x00\x00\x00\x00", 6));
    EXPECT_EQ(2, Pack({"explode", machine.Root() + "/h2", machine.Root() + "/o"}).iExitCode);
    WriteFile(machine.Root() + "/h3", std::string("\x00\x06\x00\x00", 4));
    EXPECT_EQ(3, Pack({"explode", machine.Root() + "/h3", machine.Root() + "/o"}).iExitCode);
}

TEST(HeronPack, ListShowsTheReleaseTableAndTheSum)
{
    TempMachine machine;
    std::string strPackage = BuildPackage(machine.Root() + "/p", DefaultRecipe());
    ASSERT_FALSE(strPackage.empty());
    ProcessResult result = Pack({"list", strPackage});
    EXPECT_EQ(0, result.iExitCode);
    EXPECT_NE(std::string::npos, result.strOut.find("(ok)"));
    EXPECT_NE(std::string::npos, result.strOut.find("from:              Release 8.0.1|March 3, 2010"));
    EXPECT_NE(std::string::npos, result.strOut.find("checksum records:  15"));
    EXPECT_NE(std::string::npos, result.strOut.find("sub\\new.txt"));
    struct stat st;
    ASSERT_EQ(0, stat(strPackage.c_str(), &st));
    EXPECT_TRUE(st.st_mode & S_IXUSR);
}

// Upgrade type 0: the release table holds the key file's checksum of every
// release but To. A file named by Delta becomes a kind 1 record whose
// payload is one block: the common length XORed, the longer side's rest.
TEST(HeronPack, KeyFileTableAndDeltaRecords)
{
    TempMachine machine;
    std::string strDir = machine.Root() + "/p";
    WriteFile(strDir + "/r0/program/qstrings.dll", "key 0");
    WriteFile(strDir + "/r1/program/qstrings.dll", "key 1");
    WriteFile(strDir + "/r1/program/a.dll", "abc");
    WriteFile(strDir + "/r2/program/qstrings.dll", "key 2");
    WriteFile(strDir + "/r2/program/a.dll", "abXde");
    WriteFile(strDir + "/license.txt", "Licence.\n");
    WriteFile(strDir + "/manifest.ini",
              "[Package]\nFrom = Release 1.1|b\nTo = Release 1.2|c\nUpgradeType = 0\nLicense = license.txt\n"
              "Delta = A.DLL\n[Releases]\nRelease 1.0|a = r0\nRelease 1.1|b = r1\nRelease 1.2|c = r2\n");
    ASSERT_EQ(0, Pack({"build", strDir + "/manifest.ini", "-o", strDir + "/setup.exe", "--quiet"}).iExitCode);
    ProcessResult result = Pack({"list", strDir + "/setup.exe"});
    EXPECT_NE(std::string::npos, result.strOut.find("checksum records:  2\n")) << result.strOut;
    EXPECT_NE(std::string::npos, result.strOut.find("Release 1.0|a                            qstrings.dll\n"))
        << result.strOut;
    EXPECT_NE(std::string::npos, result.strOut.find("Release 1.1|b                            qstrings.dll\n"));
    EXPECT_EQ(std::string::npos, result.strOut.find("Release 1.2|c                            qstrings.dll"));
    EXPECT_NE(std::string::npos, result.strOut.find("     1    1   1 "));  // a.dll: id 1, kind 1, program

    MakeDirs(machine.Root() + "/out");
    result = RunProcess({strDir + "/setup.exe", "extract"}, machine.Root() + "/out",
                        {{"HERON_UI", "headless"}, {"TEMP", machine.Root()}});
    std::string strDelta = ReadFile(machine.Root() + "/out/a.dll");
    std::string strHeader("\0\0\0\0\0\0\0\0\0\0\0\0\3\0\0\0\5\0\0\0", 20);
    std::string strData = {(char)('a' ^ 'a'), (char)('b' ^ 'b'), (char)('c' ^ 'X'), 'd', 'e'};
    EXPECT_EQ(strHeader + strData, strDelta);
}

// The contents box lists up to 999 records; 1,000 show the limit box.
TEST(HeronPack, ContentsLimitOfTheInstaller)
{
    TempMachine machine;
    for (int cFiles : {999, 1000}) {
        PackageRecipe recipe;
        recipe.fromFiles = {{"program/qstrings.dll", "old"}};
        recipe.toFiles = {{"program/qstrings.dll", "old"}};
        for (int i = 0; i < cFiles; i++) recipe.toFiles["program/f" + std::to_string(i) + ".txt"] = std::to_string(i);
        std::string strPackage = BuildPackage(machine.Root() + "/n" + std::to_string(cFiles), recipe);
        ASSERT_FALSE(strPackage.empty());
        ProcessResult result = RunProcess({strPackage, "contents"}, machine.Root(),
                                          {{"HERON_UI", "headless"}, {"TEMP", machine.Root()}});
        EXPECT_EQ(0, result.iExitCode);
        if (cFiles == 999) {
            EXPECT_EQ(0u, result.strOut.find("=== Info ===\nThis fix contains:\nf0.txt, f1.txt, f10.txt"));
        } else {
            EXPECT_EQ("=== Info ===\nToo many entries in the fixes list!\n=== answer: OK ===\n", result.strOut);
        }
    }
}

} // namespace
