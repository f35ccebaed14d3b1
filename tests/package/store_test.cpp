// The package store and unpacking on real packages built by heron-pack, read
// in-process, and on copies damaged the ways a cut download or a bad disk
// damages them: the release table, the payload streams, the payload sizes.
// Every failure is checked by its outcome, its counts and its log lines.
#include "package/explode/crc32.h"
#include "package/store.h"
#include "package/unpack.h"
#include "platform/platform.h"
#include "platform/ui.h"
#include "shell/exitcodes.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "support/container.h"
#include "support/machine.h"
#include "support/package.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> g_vBoxes;

int CaptureBox(HWND, const char* szText, const char*, UINT)
{
    g_vBoxes.push_back(szText);
    return IDOK;
}

class PackageStoreTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_pBuildDir = new TempMachine();
        std::string strLog;
        std::string strPath = BuildPackage(s_pBuildDir->Root() + "/pkg", DefaultRecipe(), &strLog);
        ASSERT_FALSE(strPath.empty()) << strLog;
        s_strPackage = ReadFile(strPath);
    }
    static void TearDownTestSuite()
    {
        delete s_pBuildDir;
        s_pBuildDir = nullptr;
    }
    void SetUp() override
    {
        setenv("TZ", "UTC", 1);
        tzset();
        setenv("HERON_TIME", "1296555630", 1);
        setenv("TEMP", "C:\\TEMP", 1);
        MakeDirs(m_machine.Host("C:\\PROG"));
        MakeDirs(m_machine.Host("C:\\out"));
        snprintf(m_szProgramDir, sizeof(m_szProgramDir), "C:\\PROG");
        g_vBoxes.clear();
        PlatSetMessageBoxHandler(CaptureBox);
    }
    void TearDown() override
    {
        if (LogIsOpen()) {
            gpProgramDir = m_szProgramDir;
            CloseLog();
        }
        gpProgramDir = nullptr;
        FreeStrings();
        PlatSetMessageBoxHandler(nullptr);
        PlatSetModuleOverride(nullptr);
        PlatFaultReset();
        unsetenv("HERON_TIME");
        unsetenv("TEMP");
    }
    // Makes these bytes the running package, loads its strings and opens a
    // fresh log.
    void Use(const std::string& strBytes)
    {
        if (LogIsOpen()) {
            gpProgramDir = m_szProgramDir;
            CloseLog();
            gpProgramDir = nullptr;
        }
        std::string strHost = m_machine.Host("C:\\work\\setup.exe");
        WriteFile(strHost, strBytes);
        PlatSetModuleOverride(strHost.c_str());
        ASSERT_TRUE(LoadStrings());
        ASSERT_TRUE(OpenLog());
        g_vBoxes.clear();
    }
    std::vector<std::string> Log() { return LogBodyLines(m_machine.Host("C:\\TEMP\\UPGRADE.LOG")); }
    // The release table's entry and the payload id of a file of the table.
    DWORD PayloadOf(const char* szName)
    {
        std::vector<FILE_TABLE_ENTRY> table(FILE_TABLE_SLOTS);
        DWORD dwCount = LoadFileTable(table.data()), dwId = 0;
        for (DWORD i = 1; i <= dwCount; i++)
            if (table[i].lpFile && strcmp(table[i].lpFile, szName) == 0) dwId = table[i].dwPayloadId;
        FreeFileTable(table.data());
        EXPECT_NE(0u, dwId) << szName;
        return dwId;
    }

    TempMachine m_machine;
    char m_szProgramDir[261];
    static TempMachine* s_pBuildDir;
    static std::string s_strPackage;
};

TempMachine* PackageStoreTest::s_pBuildDir;
std::string PackageStoreTest::s_strPackage;

// A release table cut anywhere (inside its header, its checksum records or
// any file record, the last one included) is refused whole: no record is
// listed, every count is 0, and the damaged-table box appears.
TEST_F(PackageStoreTest, ReleaseTableCutAnywhereIsRefused)
{
    Use(s_strPackage);
    std::vector<FILE_TABLE_ENTRY> table(FILE_TABLE_SLOTS);
    ASSERT_EQ(6u, LoadFileTable(table.data()));
    EXPECT_FALSE(FileTableDamaged());
    EXPECT_EQ(6u, dwNumFiles);
    EXPECT_LT(0u, gdwChecksums);
    EXPECT_EQ(6u, gdwPayloadCount);
    FreeFileTable(table.data());
    EXPECT_TRUE(g_vBoxes.empty());

    ContainerEntry version = ContainerFind(s_strPackage, "VERSION", 1);
    ASSERT_LT(232u, version.qwSize);
    std::string strHost = m_machine.Host("C:\\work\\setup.exe");
    for (uint64_t cb = 0; cb < version.qwSize; cb++) {
        // Only the entry's size changes: patched in place, not written whole.
        std::string strSize(8, '\0');
        for (int k = 0; k < 8; k++) strSize[(size_t)k] = (char)((cb >> (8 * k)) & 0xff);
        FILE* fp = fopen(strHost.c_str(), "r+b");
        ASSERT_NE(nullptr, fp);
        fseek(fp, (long)(version.iEntry + 4 + version.strType.size() + 16), SEEK_SET);
        fwrite(strSize.data(), 1, 8, fp);
        fclose(fp);
        PlatSetModuleOverride(strHost.c_str());
        dwNumFiles = gdwChecksums = gdwPayloadCount = 77;
        g_vBoxes.clear();
        EXPECT_EQ(0u, LoadFileTable(table.data())) << cb;
        EXPECT_TRUE(FileTableDamaged()) << cb;
        EXPECT_EQ(0u, dwNumFiles) << cb;
        EXPECT_EQ(0u, gdwChecksums) << cb;
        EXPECT_EQ(0u, gdwPayloadCount) << cb;
        for (int i = 0; i < 8; i++) EXPECT_EQ(nullptr, table[i].lpFile) << cb;
        ASSERT_EQ(1u, g_vBoxes.size()) << cb;
        EXPECT_EQ(StringText(32), g_vBoxes[0]);
    }
}

// Damaged streams and sizes of a payload: each one fails with the decoder's
// line, never a block that looks complete.
TEST_F(PackageStoreTest, DamagedAndShortPayloadsFailToUnpack)
{
    Use(s_strPackage);
    ContainerEntry update = ContainerFind(s_strPackage, "UPDATE", PayloadOf("a.txt"));
    size_t iPayload = (size_t)update.qwOffset;
    int cbIn = (int)update.qwSize - 4;

    struct Case {
        const char* szWhat;
        std::string strBytes;
        std::string strOutsize;
    };
    std::vector<Case> vCases;
    std::string str = s_strPackage;
    str[iPayload + 4] = 7; // no such literal coding
    vCases.push_back({"stream header", str, "Outsize: 12; Insize: " + std::to_string(cbIn) + " "});
    str = s_strPackage;
    str[iPayload] = 13; // one byte more stated than the stream holds
    vCases.push_back({"stated size", str, "Outsize: 13; Insize: " + std::to_string(cbIn) + " "});
    str = s_strPackage;
    ContainerSetSize(str, update, update.qwSize - 3); // the stream cut before its end mark
    vCases.push_back({"cut stream", str, "Outsize: 12; Insize: " + std::to_string(cbIn - 3) + " "});
    str = s_strPackage;
    ContainerSetSize(str, update, 3); // not even a size
    vCases.push_back({"no size", str, "Outsize: 0; Insize: 0 "});

    for (const Case& c : vCases) {
        Use(c.strBytes);
        DWORD cb = 0, dwSize = 99;
        const BYTE* pb = FindPayload(PayloadOf("a.txt"), KIND_UPDATE, &cb);
        ASSERT_NE(nullptr, pb) << c.szWhat;
        HGLOBAL hBlock = nullptr;
        EXPECT_EQ(0, UnpackPayload(pb, cb, &hBlock, &dwSize)) << c.szWhat;
        if (hBlock) PlatGlobalFree(hBlock);
        EXPECT_EQ((std::vector<std::string>{c.strOutsize, "Failed to decompress buffer."}), Log()) << c.szWhat;
    }

    // The intact payload unpacks to its exact bytes.
    Use(s_strPackage);
    DWORD cb = 0, dwSize = 0;
    const BYTE* pb = FindPayload(PayloadOf("a.txt"), KIND_UPDATE, &cb);
    HGLOBAL hBlock = nullptr;
    ASSERT_EQ(1, UnpackPayload(pb, cb, &hBlock, &dwSize));
    EXPECT_EQ("hello world\n", std::string((const char*)PlatGlobalLock(hBlock), dwSize));
    PlatGlobalUnlock(hBlock);
    PlatGlobalFree(hBlock);
}

// The extraction's outcomes: done, damaged (a payload that fails to unpack
// or to match its record's CRC-32 is not written), and write failures
// reported with the full path.
TEST_F(PackageStoreTest, ExtractionReportsEveryFailure)
{
    char szDest[261];
    Use(s_strPackage);
    snprintf(szDest, sizeof(szDest), "C:\\out");
    EXPECT_EQ(EXIT_DONE, ExtractFiles(szDest));
    EXPECT_EQ("hello world\n", ReadFile(m_machine.Host("C:\\out\\a.txt")));
    RemoveAll(m_machine.Host("C:\\out"));
    MakeDirs(m_machine.Host("C:\\out"));

    // A whole file whose record states another CRC-32.
    ContainerEntry entry = ContainerFind(s_strPackage, "FILEENTRY", PayloadOf("a.txt"));
    std::string str = s_strPackage;
    size_t iCrc = (size_t)entry.qwOffset + strlen("a.txt") + 1 + 20;
    str[iCrc] = (char)(str[iCrc] ^ 1);
    Use(str);
    snprintf(szDest, sizeof(szDest), "C:\\out\\");
    EXPECT_EQ(EXIT_DAMAGED, ExtractFiles(szDest));
    EXPECT_FALSE(PathExists(m_machine.Host("C:\\out\\a.txt")));
    EXPECT_EQ("brand new\n", ReadFile(m_machine.Host("C:\\out\\new.txt"))); // the others go on
    const char szText[] = "hello world\n";
    unsigned int dwCrc = ~UpdateCrc32((const unsigned char*)szText, 12, 0xFFFFFFFFu);
    char szLine[200];
    snprintf(szLine, sizeof(szLine), "CRC-32 of C:\\out\\a.txt is 0x%x, its record says 0x%x: not extracted", dwCrc,
             dwCrc ^ 1);
    std::vector<std::string> vLog = Log();
    EXPECT_NE(vLog.end(), std::find(vLog.begin(), vLog.end(), szLine)) << szLine;

    // A damaged payload stream.
    ContainerEntry update = ContainerFind(s_strPackage, "UPDATE", PayloadOf("a.txt"));
    str = s_strPackage;
    str[(size_t)update.qwOffset + 4] = 7;
    Use(str);
    RemoveAll(m_machine.Host("C:\\out"));
    MakeDirs(m_machine.Host("C:\\out"));
    snprintf(szDest, sizeof(szDest), "C:\\out");
    EXPECT_EQ(EXIT_DAMAGED, ExtractFiles(szDest));
    EXPECT_FALSE(PathExists(m_machine.Host("C:\\out\\a.txt")));
    vLog = Log();
    auto it = std::find(vLog.begin(), vLog.end(), "Failed to decompress buffer.");
    ASSERT_NE(vLog.end(), it);
    EXPECT_EQ("Not extracted: C:\\out\\a.txt", *(it + 1));

    // A damaged release table.
    str = s_strPackage;
    ContainerSetSize(str, ContainerFind(s_strPackage, "VERSION", 1), 100);
    Use(str);
    snprintf(szDest, sizeof(szDest), "C:\\out");
    EXPECT_EQ(EXIT_DAMAGED, ExtractFiles(szDest));

    // A read-only directory: every file is reported, none is written.
    Use(s_strPackage);
    MakeDirs(m_machine.Host("C:\\ro"));
    chmod(m_machine.Host("C:\\ro").c_str(), 0555);
    snprintf(szDest, sizeof(szDest), "C:\\ro");
    int iCode = ExtractFiles(szDest);
    chmod(m_machine.Host("C:\\ro").c_str(), 0755);
    if (geteuid() != 0) {
        EXPECT_EQ(EXIT_EXTRACT_WRITE, iCode);
        vLog = Log();
        EXPECT_NE(vLog.end(), std::find(vLog.begin(), vLog.end(), "\t\tFailed to open the temp file C:\\ro\\a.txt."));
        EXPECT_NE(vLog.end(),
                  std::find(vLog.begin(), vLog.end(), "\t\tFailed to open the temp file C:\\ro\\quill.cfg."));
    }

    // A full disk: the written bytes do not reach the disk.
    Use(s_strPackage);
    RemoveAll(m_machine.Host("C:\\out"));
    MakeDirs(m_machine.Host("C:\\out"));
    ASSERT_EQ(0, symlink("/dev/full", m_machine.Host("C:\\out\\a.txt").c_str()));
    snprintf(szDest, sizeof(szDest), "C:\\out");
    EXPECT_EQ(EXIT_EXTRACT_WRITE, ExtractFiles(szDest));
    vLog = Log();
    EXPECT_NE(vLog.end(), std::find(vLog.begin(), vLog.end(), "\t\tFailed to write the file C:\\out\\a.txt."));
    EXPECT_EQ("brand new\n", ReadFile(m_machine.Host("C:\\out\\new.txt")));

    // A target path that does not fit is refused, never cut.
    Use(s_strPackage);
    std::string strLong = "C:\\" + std::string(252, 'd'); // 255 characters and a backslash
    snprintf(szDest, sizeof(szDest), "%s", strLong.c_str());
    EXPECT_EQ(EXIT_EXTRACT_WRITE, ExtractFiles(szDest));
    vLog = Log();
    EXPECT_NE(vLog.end(), std::find(vLog.begin(), vLog.end(), "Path too long: " + strLong + "\\new.txt"));
    EXPECT_NE(vLog.end(), std::find(vLog.begin(), vLog.end(), "Path too long: " + strLong + "\\quill.cfg"));
}

// A tool written out: a damaged payload, a file that cannot be created and a
// file written short each give their own result; the short file is deleted.
TEST_F(PackageStoreTest, ToolFilesWrittenWholeOrNotAtAll)
{
    Use(s_strPackage);
    EXPECT_EQ(1, WritePayloadFile(KIND_UPDATECAB, "C:\\out\\cabarc.exe"));
    EXPECT_EQ("#!/bin/sh\necho tool \"$@\"\n", ReadFile(m_machine.Host("C:\\out\\cabarc.exe")));
    EXPECT_EQ(-1, WritePayloadFile(KIND_UPDATECAB, "C:\\missing\\cabarc.exe"));
    ASSERT_EQ(0, symlink("/dev/full", m_machine.Host("C:\\out\\full.exe").c_str()));
    EXPECT_EQ(-3, WritePayloadFile(KIND_UPDATECAB, "C:\\out\\full.exe"));
    EXPECT_FALSE(PathExists(m_machine.Host("C:\\out\\full.exe")));

    std::string str = s_strPackage;
    str[(size_t)ContainerFind(s_strPackage, "UPDATECABENTRY", 4).qwOffset + 4] = 7;
    Use(str);
    EXPECT_EQ(-2, WritePayloadFile(KIND_UPDATECAB, "C:\\out\\bad.exe"));
    EXPECT_FALSE(PathExists(m_machine.Host("C:\\out\\bad.exe")));
    ContainerHide(str, ContainerFind(s_strPackage, "UPDATECABENTRY", 4));
    Use(str);
    EXPECT_EQ(0, WritePayloadFile(KIND_UPDATECAB, "C:\\out\\none.exe"));
}

} // namespace

namespace {

// Every resource is found through the index with the bytes at its stated
// offset, and of two entries with the same type and id the first in the
// index wins. Bytes handed out early stay valid after the pages of the
// package were given back many times over.
TEST_F(PackageStoreTest, ResourcesFoundByTypeAndIdStayValid)
{
    std::vector<ContainerEntry> vIndex = ContainerIndex(s_strPackage);
    ASSERT_GT(vIndex.size(), 10u);
    Use(s_strPackage);
    const BYTE* pbFirst = nullptr;
    DWORD cbFirst = 0;
    const ContainerEntry* pFirst = nullptr;
    for (int iRound = 0; iRound < 20; iRound++) {
        for (const ContainerEntry& entry : vIndex) {
            DWORD cb = 0;
            const BYTE* pb = PlatFindResource(entry.strType.c_str(), entry.dwId, &cb);
            ASSERT_NE(nullptr, pb) << entry.strType << " " << entry.dwId;
            ASSERT_EQ(entry.qwSize, cb);
            ASSERT_EQ(0, memcmp(pb, s_strPackage.data() + entry.qwOffset, cb)) << entry.strType << " " << entry.dwId;
            if (!pbFirst && cb > 0) {
                pbFirst = pb;
                cbFirst = cb;
                pFirst = &entry;
            }
        }
    }
    ASSERT_NE(nullptr, pFirst);
    EXPECT_EQ(0, memcmp(pbFirst, s_strPackage.data() + pFirst->qwOffset, cbFirst));
    DWORD cbNone = 7;
    EXPECT_EQ(nullptr, PlatFindResource("UPDATE", 99999, &cbNone));
    EXPECT_EQ(0u, cbNone);

    // Two entries made the same type and id: the one earlier in the index answers.
    const ContainerEntry* pA = nullptr;
    const ContainerEntry* pB = nullptr;
    for (const ContainerEntry& a : vIndex)
        for (const ContainerEntry& b : vIndex)
            if (!pA && a.strType == "UPDATE" && b.strType == "STRING" && a.dwId == b.dwId && a.qwSize != b.qwSize) {
                pA = &a;
                pB = &b;
            }
    ASSERT_NE(nullptr, pA);
    std::string strDup = s_strPackage;
    const ContainerEntry* pLater = pA->iEntry > pB->iEntry ? pA : pB;
    const ContainerEntry* pEarlier = pLater == pA ? pB : pA;
    memcpy(&strDup[pLater->iEntry + 4], pEarlier->strType.data(), 6);
    ContainerResum(strDup);
    Use(strDup);
    DWORD cb = 0;
    const BYTE* pb = PlatFindResource(pEarlier->strType.c_str(), pEarlier->dwId, &cb);
    ASSERT_NE(nullptr, pb);
    EXPECT_EQ(pEarlier->qwSize, cb);
    EXPECT_EQ(0, memcmp(pb, strDup.data() + pEarlier->qwOffset, cb));
}

} // namespace
