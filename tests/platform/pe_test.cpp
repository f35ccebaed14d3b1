// Tests of the PE resource reader and the file version API of the platform
// layer, on files made by the project's PE writer.
#include "platform/pe.h"
#include "platform/version.h"

#include "pe_writer.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

std::vector<BYTE> Build(const PEW_LAYOUT& layout)
{
    unsigned char* pb = nullptr;
    size_t cb = 0;
    EXPECT_TRUE(PewBuild(&layout, &pb, &cb));
    std::vector<BYTE> v(pb, pb + cb);
    PewFree(pb);
    return v;
}

std::vector<BYTE> BuildKeyFile(const char* szStamp, const char* szFileVersion)
{
    char szPadded[PEW_STAMP_CAPACITY + 1];
    EXPECT_TRUE(PewPadStamp(szStamp, PEW_STAMP_CAPACITY, szPadded, sizeof(szPadded)));
    PEW_STRING aStrings[] = {{1, "Quill resource strings"}, {PEW_STAMP_ID, szPadded}, {PEW_STAMP_ID + 1, "qstrings"}};
    PEW_LAYOUT layout = {};
    layout.szFileVersion = szFileVersion;
    layout.awFileVersion[0] = 8;
    layout.awFileVersion[3] = 17;
    layout.pStrings = aStrings;
    layout.cStrings = 3;
    return Build(layout);
}

std::string Utf16Text(const std::vector<BYTE>& v, size_t off, size_t cch)
{
    std::string s;
    for (size_t i = 0; i < cch; i++) s += (char)v[off + 2 * i];
    return s;
}

TEST(PeReader, FindsStringsOfTheKeyFile)
{
    std::vector<BYTE> v = BuildKeyFile("Release 8.0.2|May 1, 2010", "8.0.2.17");
    PE_IMAGE image;
    PE_STRING str;
    ASSERT_TRUE(PeParseImage(v.data(), v.size(), &image));
    EXPECT_TRUE(image.bPe32Plus);
    EXPECT_EQ(0x8664, image.wMachine);

    ASSERT_TRUE(PeFindString(&image, PEW_STAMP_ID, &str));
    EXPECT_EQ(PEW_STAMP_CAPACITY, str.cchText);
    EXPECT_EQ(0x0409, str.wLanguage);
    std::string strStamp = Utf16Text(v, str.offText, str.cchText);
    EXPECT_EQ(0u, strStamp.find("Release 8.0.2|May 1, 2010   "));
    EXPECT_EQ(str.offCount + 2, str.offText);

    ASSERT_TRUE(PeFindString(&image, PEW_STAMP_ID + 1, &str));
    EXPECT_EQ("qstrings", Utf16Text(v, str.offText, str.cchText));
    ASSERT_TRUE(PeFindString(&image, 1, &str));
    EXPECT_EQ("Quill resource strings", Utf16Text(v, str.offText, str.cchText));

    // An id of an existing block that holds no text; an id of a missing block.
    ASSERT_TRUE(PeFindString(&image, PEW_STAMP_ID - 1, &str));
    EXPECT_EQ(0, str.cchText);
    EXPECT_FALSE(PeFindString(&image, 300, &str));
    EXPECT_FALSE(PeFindString(&image, 0x10000, &str));
}

TEST(PeReader, QueriesVersionBlocks)
{
    PEW_VALUE aValues[] = {{"ProductName", "Quill"}};
    PEW_LAYOUT layout = {};
    layout.szFileVersion = "4.3.2.1";
    layout.awFileVersion[0] = 4;
    layout.awFileVersion[1] = 3;
    layout.awFileVersion[2] = 2;
    layout.awFileVersion[3] = 1;
    layout.pValues = aValues;
    layout.cValues = 1;
    std::vector<BYTE> v = Build(layout);
    PE_IMAGE image;
    PE_RESOURCE res;
    PE_VERSION_VALUE val;
    ASSERT_TRUE(PeParseImage(v.data(), v.size(), &image));
    ASSERT_TRUE(PeFindResource(&image, PE_RT_VERSION, 1, PE_ANY_LANGUAGE, &res));
    const BYTE* pb = v.data() + res.offData;
    size_t cb = PeVersionBlockSize(pb, res.cbData);
    ASSERT_GT(cb, 0u);

    ASSERT_TRUE(PeVersionQuery(pb, cb, "\\", &val));
    ASSERT_EQ((DWORD)PE_FIXED_INFO_SIZE, val.cbValue);
    EXPECT_EQ(PE_FIXED_SIGNATURE, PeRead32(pb + val.offValue));
    EXPECT_EQ(0x00040003u, PeRead32(pb + val.offValue + 8));

    ASSERT_TRUE(PeVersionQuery(pb, cb, "\\VarFileInfo\\Translation", &val));
    EXPECT_EQ(4u, val.cbValue);
    EXPECT_EQ(0x04B00409u, PeRead32(pb + val.offValue));

    struct {
        const char* szPath;
        const char* szText;
    } aCases[] = {
        {"\\StringFileInfo\\040904B0\\FileVersion", "4.3.2.1"},
        {"\\stringfileinfo\\040904b0\\fileversion", "4.3.2.1"},
        {"StringFileInfo\\\\040904B0\\ProductName\\", "Quill"},
        {"\\StringFileInfo\\040704B0\\FileVersion", nullptr},
        {"\\StringFileInfo\\040904B0\\FileVersio", nullptr},
        {"\\StringFileInfo\\040904B0\\FileVersion\\x", nullptr},
    };
    for (const auto& c : aCases) {
        int bFound = PeVersionQuery(pb, cb, c.szPath, &val);
        EXPECT_EQ(c.szText != nullptr, bFound) << c.szPath;
        if (bFound && c.szText) {
            EXPECT_EQ(1, val.wType);
            EXPECT_EQ(c.szText, Utf16Text(v, res.offData + val.offValue, strlen(c.szText)));
        }
    }
}

// Every prefix of a valid file, and every byte set to 0xFF or 0x00 in turn:
// the reader must never read outside the buffer (ASan watches) and a
// truncated file must not yield a resource that ends past its end.
TEST(PeReader, DamagedFilesStayInBounds)
{
    std::vector<BYTE> v = BuildKeyFile("Release 8.0.2|May 1, 2010", "8.0.2.17");
    for (size_t cb = 0; cb <= v.size(); cb++) {
        std::vector<BYTE> cut(v.begin(), v.begin() + cb);  // own allocation: ASan sees its end
        PE_IMAGE image;
        PE_STRING str;
        PE_RESOURCE res;
        if (!PeParseImage(cut.data(), cut.size(), &image)) continue;
        if (PeFindString(&image, PEW_STAMP_ID, &str)) {
            EXPECT_LE(str.offText + 2u * str.cchText, cb);
        }
        if (PeFindResource(&image, PE_RT_VERSION, 1, PE_ANY_LANGUAGE, &res)) {
            EXPECT_LE(res.offData + res.cbData, cb);
            PE_VERSION_VALUE val;
            PeVersionQuery(cut.data() + res.offData, res.cbData, "\\StringFileInfo\\040904B0\\FileVersion", &val);
        }
    }
    for (size_t i = 0; i < v.size(); i++) {
        for (BYTE b : {(BYTE)0xFF, (BYTE)0x00, (BYTE)0x7F}) {
            std::vector<BYTE> bad(v);
            bad[i] = b;
            PE_IMAGE image;
            PE_STRING str;
            PE_RESOURCE res;
            if (!PeParseImage(bad.data(), bad.size(), &image)) continue;
            if (PeFindString(&image, PEW_STAMP_ID, &str)) {
                EXPECT_LE(str.offText + 2u * str.cchText, bad.size());
            }
            if (PeFindResource(&image, PE_RT_VERSION, 1, PE_ANY_LANGUAGE, &res)) {
                PE_VERSION_VALUE val;
                size_t cbBlock = PeVersionBlockSize(bad.data() + res.offData, res.cbData);
                if (PeVersionQuery(bad.data() + res.offData, cbBlock, "\\StringFileInfo\\040904B0\\FileVersion", &val)) {
                    EXPECT_LE(val.offValue + val.cbValue, cbBlock);
                }
            }
        }
    }
}

TEST(PeReader, RejectsWhatIsNoPeFile)
{
    PE_IMAGE image;
    std::vector<BYTE> v = BuildKeyFile("x", nullptr);
    struct {
        size_t off;
        DWORD dwValue;
        int cb;
    } aCases[] = {
        {0, 0x5A4E, 2},            // "NZ"
        {0x3C, 0xFFFFFFF0u, 4},    // e_lfanew far beyond the end
        {0x3C, (DWORD)v.size() - 8, 4},
        {0x80, 0x00004550 + 1, 4}, // bad signature
        {0x98, 0x0107, 2},         // unknown optional-header magic
        {0x86, 0xFFFF, 2},         // 65535 sections do not fit
        {0x94, 0xFFFF, 2},         // optional header longer than the file
    };
    for (const auto& c : aCases) {
        std::vector<BYTE> bad(v);
        for (int i = 0; i < c.cb; i++) bad[c.off + i] = (BYTE)(c.dwValue >> (8 * i));
        EXPECT_FALSE(PeParseImage(bad.data(), bad.size(), &image)) << "offset " << c.off;
    }
    EXPECT_FALSE(PeParseImage(nullptr, 0, &image));
    EXPECT_FALSE(PeParseImage(v.data(), 63, &image));
}

// The Win32-shaped version calls on files of a temporary directory (Linux
// paths are valid platform paths).
class VersionApiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char szTemplate[] = "/tmp/heron-verapi-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(szTemplate));
        m_dir = szTemplate;
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }
    std::string m_dir;
};

TEST_F(VersionApiTest, ReadsBlockAndConvertsTexts)
{
    std::string strPath = m_dir + "/q.dll";
    ASSERT_TRUE(PewWriteKeyFile(strPath.c_str(), "Release 8.0.2|May 1, 2010", "8.0.2.17"));
    DWORD dwHandle = 77;
    DWORD cb = PlatGetFileVersionInfoSize(strPath.c_str(), &dwHandle);
    ASSERT_GT(cb, 0u);
    EXPECT_EQ(0u, dwHandle);

    std::vector<BYTE> small(cb - 1, 0xAA);
    PlatSetLastError(0);
    EXPECT_FALSE(PlatGetFileVersionInfo(strPath.c_str(), 0, (DWORD)small.size(), small.data()));
    EXPECT_EQ((DWORD)ERROR_INSUFFICIENT_BUFFER, PlatGetLastError());

    std::vector<BYTE> block(cb + 1, 0xAA);
    ASSERT_TRUE(PlatGetFileVersionInfo(strPath.c_str(), 0, cb, block.data()));
    EXPECT_EQ(0xAA, block[cb]);  // nothing past the size given

    void* pv = nullptr;
    UINT uLen = 0;
    ASSERT_TRUE(PlatVerQueryValue(block.data(), "\\StringFileInfo\\040904b0\\FileVersion", &pv, &uLen));
    EXPECT_STREQ("8.0.2.17", (const char*)pv);
    EXPECT_EQ(9u, uLen);
    EXPECT_GE((BYTE*)pv, block.data());
    EXPECT_LT((BYTE*)pv + uLen, block.data() + cb + 1);

    ASSERT_TRUE(PlatVerQueryValue(block.data(), "\\VarFileInfo\\Translation", &pv, &uLen));
    EXPECT_EQ(4u, uLen);
    ASSERT_TRUE(PlatVerQueryValue(block.data(), "\\", &pv, &uLen));
    EXPECT_EQ(52u, uLen);
    EXPECT_FALSE(PlatVerQueryValue(block.data(), "\\StringFileInfo\\040904b0\\Comments", &pv, &uLen));
    EXPECT_EQ(nullptr, pv);
}

TEST_F(VersionApiTest, FailuresCarryWin32Codes)
{
    std::string strText = m_dir + "/notes.txt";
    FILE* pf = fopen(strText.c_str(), "wb");
    ASSERT_NE(nullptr, pf);
    for (int i = 0; i < 100; i++) fputs("MZ not really\n", pf);
    fclose(pf);
    std::string strNoVersion = m_dir + "/nover.dll";
    ASSERT_TRUE(PewWriteKeyFile(strNoVersion.c_str(), "Release 1|x", nullptr));

    struct {
        std::string strPath;
        DWORD dwError;
    } aCases[] = {
        {m_dir + "/missing.dll", ERROR_FILE_NOT_FOUND},
        {m_dir + "/nodir/missing.dll", ERROR_PATH_NOT_FOUND},
        {strText, ERROR_RESOURCE_DATA_NOT_FOUND},
        {strNoVersion, ERROR_RESOURCE_TYPE_NOT_FOUND},
        {m_dir, ERROR_ACCESS_DENIED},
    };
    for (const auto& c : aCases) {
        PlatSetLastError(12345);
        EXPECT_EQ(0u, PlatGetFileVersionInfoSize(c.strPath.c_str(), nullptr)) << c.strPath;
        EXPECT_EQ(c.dwError, PlatGetLastError()) << c.strPath;
        BYTE ab[64];
        PlatSetLastError(12345);
        EXPECT_FALSE(PlatGetFileVersionInfo(c.strPath.c_str(), 0, sizeof(ab), ab));
        EXPECT_EQ(c.dwError, PlatGetLastError()) << c.strPath;
    }
}

TEST(VersionApi, UserDefaultLanguage)
{
    struct {
        const char* szLangId;
        const char* szLang;
        WORD wExpected;
    } aCases[] = {
        {"0407", "en_US.UTF-8", 0x0407},  // the override wins
        {nullptr, "de_DE.UTF-8", 0x0407},
        {nullptr, "en_GB", 0x0809},
        {nullptr, "fr_CA.UTF-8", 0x0C0C},
        {nullptr, "C", 0x0409},
        {nullptr, "xx_YY", 0x0409},
        {"zz", "ja_JP.UTF-8", 0x0411},     // an unreadable override is ignored
    };
    std::string strSavedLangId = getenv("HERON_LANGID") ? getenv("HERON_LANGID") : "";
    std::string strSavedLang = getenv("LANG") ? getenv("LANG") : "";
    std::string strSavedAll = getenv("LC_ALL") ? getenv("LC_ALL") : "";
    std::string strSavedMsg = getenv("LC_MESSAGES") ? getenv("LC_MESSAGES") : "";
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    for (const auto& c : aCases) {
        if (c.szLangId) setenv("HERON_LANGID", c.szLangId, 1);
        else unsetenv("HERON_LANGID");
        setenv("LANG", c.szLang, 1);
        EXPECT_EQ(c.wExpected, PlatGetUserDefaultLangID()) << c.szLang;
    }
    auto restore = [](const char* szName, const std::string& str) {
        if (str.empty()) unsetenv(szName);
        else setenv(szName, str.c_str(), 1);
    };
    restore("HERON_LANGID", strSavedLangId);
    restore("LANG", strSavedLang);
    restore("LC_ALL", strSavedAll);
    restore("LC_MESSAGES", strSavedMsg);
}

// The writer's files pass an independent reader: mingw-w64's objdump lists
// the resource tree and the header fields we set.
TEST(PeWriter, IndependentToolsReadTheFile)
{
    if (system("command -v x86_64-w64-mingw32-objdump >/dev/null 2>&1") != 0 &&
        system("command -v wrestool >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "neither x86_64-w64-mingw32-objdump (binutils-mingw-w64-x86-64) nor wrestool (icoutils)";
    char szTemplate[] = "/tmp/heron-pewriter-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(szTemplate));
    std::string dir = szTemplate;
    std::string strDll = dir + "/k.dll";
    ASSERT_TRUE(PewWriteKeyFile(strDll.c_str(), "Release 8.0.2|May 1, 2010", "8.0.2.17"));
    if (system("command -v wrestool >/dev/null 2>&1") == 0) {
        std::string strCmd = "wrestool -l " + strDll + " > " + dir + "/list.txt 2>&1";
        ASSERT_EQ(0, system(strCmd.c_str()));
        FILE* pf = fopen((dir + "/list.txt").c_str(), "r");
        ASSERT_NE(nullptr, pf);
        char sz[4096] = {0};
        fread(sz, 1, sizeof(sz) - 1, pf);
        fclose(pf);
        EXPECT_NE(nullptr, strstr(sz, "--type=6 --name=4063 --language=1033"));
        EXPECT_NE(nullptr, strstr(sz, "--type=16 --name=1 --language=1033"));
    }
    if (system("command -v x86_64-w64-mingw32-objdump >/dev/null 2>&1") == 0) {
        std::string strCmd = "x86_64-w64-mingw32-objdump -p " + strDll + " > " + dir + "/dump.txt 2>&1";
        ASSERT_EQ(0, system(strCmd.c_str()));
        FILE* pf = fopen((dir + "/dump.txt").c_str(), "r");
        ASSERT_NE(nullptr, pf);
        std::string str;
        char sz[4096];
        size_t n;
        while ((n = fread(sz, 1, sizeof(sz), pf)) > 0) str.append(sz, n);
        fclose(pf);
        EXPECT_NE(std::string::npos, str.find("pei-x86-64"));
        EXPECT_NE(std::string::npos, str.find("(PE32+)"));
        EXPECT_NE(std::string::npos, str.find("Entry: ID: 0x000fdf"));  // block 4063
        EXPECT_NE(std::string::npos, str.find("Resource Directory [.rsrc]"));
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
