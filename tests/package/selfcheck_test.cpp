// The package self-check: the byte sum of a package file against the sum
// stored in it, and dialog 401 around it.
#include "package/selfcheck.h"
#include "platform/container.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "support/machine.h"
#include "ui/gauge.h"
#include "ui/resource.h"
#include "wizard/ui_fixture.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

namespace
{

/* A file as the package builder leaves it: bytes, then the container's
 * trailer with the sum of every byte but the stored four. */
std::string ContainerFile(const std::string& sBody)
{
    std::string s = sBody;
    std::string sTrailer(CONTAINER_TRAILER_SIZE, '\0');
    memcpy(&sTrailer[0], CONTAINER_MAGIC, 8);
    sTrailer[8] = CONTAINER_VERSION;
    sTrailer[16] = 1;  // an index offset: not read by the check
    s += sTrailer;
    uint32_t dwSum = 0;
    for (unsigned char c : s) dwSum += c;
    size_t iAt = s.size() - CONTAINER_TRAILER_SIZE + CONTAINER_SUM_OFFSET;
    for (int i = 0; i < 4; i++) s[iAt + i] = (char)((dwSum >> (8 * i)) & 0xFF);
    return s;
}

class SelfCheckTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        UiTestBegin();
        MakeDirs(m_machine.Host("C:\\TMPDIR"));
        gpStrings[3] = (char*)"Incremental Installer";
        gpStrings[5] = (char*)"Verifying application integrity. Please wait.";
        gpStrings[6] = (char*)"This executable failed integrity verification. It is unusable.";
        gpStrings[7] = (char*)"Unable to open this executable for verificaion. Exiting.";
        gdwStringCount = 52;
        setenv("TEMP", "C:\\TMPDIR", 1);
        ASSERT_EQ(1, OpenLog());
        SelfCheckSetModulePath("C:\\PKG.EXE");
    }
    void TearDown() override
    {
        UiTestEnd();
        SelfCheckSetModulePath(nullptr);
        // The log moves to a program directory when it closes.
        char szProgram[] = "C:\\PROG";
        MakeDirs(m_machine.Host(szProgram));
        gpProgramDir = szProgram;
        if (LogIsOpen()) CloseLog();
        gpProgramDir = nullptr;
        for (int i = 0; i < STRING_COUNT_MAX; i++) gpStrings[i] = nullptr;
        gdwStringCount = 0;
        unsetenv("TEMP");
    }
    void Package(const std::string& s) { WriteFile(m_machine.Host("C:\\PKG.EXE"), s); }
    std::string Log() { return ReadFile(m_machine.Host("C:\\TMPDIR\\UPGRADE.LOG")); }
    TempMachine m_machine;
};

TEST_F(SelfCheckTest, SumOfAllBytesButTheStoredFour)
{
    std::string sBody;
    for (int i = 0; i < 5000; i++) sBody += (char)(i * 7 + 3);
    std::string sGood = ContainerFile(sBody);
    size_t iSum = sGood.size() - 20;
    uint32_t dwStored = (uint8_t)sGood[iSum] | (uint8_t)sGood[iSum + 1] << 8 | (uint8_t)sGood[iSum + 2] << 16 |
                        (uint32_t)(uint8_t)sGood[iSum + 3] << 24;
    Package(sGood);
    EXPECT_EQ(1, VerifyModuleChecksum(nullptr, nullptr));
    char szLine[128];
    snprintf(szLine, sizeof(szLine), "Calculated is %xL extracted is %xL\r\n", dwStored, dwStored);
    std::string sLog = Log();
    EXPECT_NE(std::string::npos, sLog.find("ModuleFileName is C:\\PKG.EXE\r\n")) << sLog;
    EXPECT_NE(std::string::npos, sLog.find(szLine)) << sLog;

    // Any other byte, the stored value itself, or a shorter file: failure.
    for (size_t iAt : {(size_t)0, (size_t)4321, sGood.size() - 1, iSum, iSum + 3}) {
        std::string sBad = sGood;
        sBad[iAt] = (char)(sBad[iAt] ^ 0x41);
        Package(sBad);
        EXPECT_EQ(0, VerifyModuleChecksum(nullptr, nullptr)) << "byte " << iAt;
    }
    // Without a container the file carries no sum.
    Package(sBody);
    EXPECT_EQ(0, VerifyModuleChecksum(nullptr, nullptr));
    EXPECT_TRUE(g_aBoxes.empty());
}

// The sum is taken block by block, eight bytes at a time: files of several
// blocks and an odd size, all bytes 0xFF (the largest lane values) or mixed,
// and one byte changed anywhere, are told apart exactly.
TEST_F(SelfCheckTest, LargeFilesSumExactly)
{
    std::string sFull(3 * 65536 + 13, '\xff');
    std::string sMixed;
    uint32_t x = 1;
    for (int i = 0; i < 2 * 65536 + 4099; i++) sMixed += (char)((x = x * 1103515245u + 12345u) >> 24);
    for (const std::string* ps : {&sFull, &sMixed}) {
        std::string sGood = ContainerFile(*ps);
        Package(sGood);
        EXPECT_EQ(1, VerifyModuleChecksum(nullptr, nullptr)) << ps->size();
        for (size_t iAt : {(size_t)7, (size_t)65535, (size_t)65536, ps->size() - 1}) {
            std::string sBad = sGood;
            sBad[iAt] = (char)(sBad[iAt] ^ 0x01);
            Package(sBad);
            EXPECT_EQ(0, VerifyModuleChecksum(nullptr, nullptr)) << ps->size() << " byte " << iAt;
        }
    }
}

// The sum eight bytes at a time against the plain byte loop: every length
// from 0 to 300 at every alignment, all bytes 0xFF (the largest lane values)
// across the lanes' folding point, and a running sum that wraps.
TEST(SelfCheckSum, EqualsTheByteLoop)
{
    std::vector<unsigned char> v(4096 + 64);
    uint32_t x = 7;
    for (unsigned char& c : v) c = (unsigned char)((x = x * 1103515245u + 12345u) >> 23);
    auto Plain = [](uint32_t dw, const unsigned char* pb, size_t cb) {
        for (size_t i = 0; i < cb; i++) dw += pb[i];
        return dw;
    };
    for (size_t iOffset = 0; iOffset < 9; iOffset++)
        for (size_t cb = 0; cb <= 300; cb++)
            ASSERT_EQ(Plain(0xFFFFFF00u, &v[iOffset], cb), SelfCheckSum(0xFFFFFF00u, &v[iOffset], cb))
                << "offset " << iOffset << " size " << cb;
    std::vector<unsigned char> vFull(128 * 8 * 3 + 5, 0xFF);
    for (size_t cb : {(size_t)1023, (size_t)1024, (size_t)1025, (size_t)2048, vFull.size() - 1, vFull.size()})
        EXPECT_EQ(Plain(0, &vFull[0], cb), SelfCheckSum(0, &vFull[0], cb)) << cb;
    EXPECT_EQ(Plain(0, &v[3], 4096 + 61), SelfCheckSum(0, &v[3], 4096 + 61));
}

// The file is read in blocks of 256 KB: files that end just before, at and
// after a block's end, and a stored sum that straddles two blocks, sum exactly,
// and a change of the bytes on either side of a block edge is seen.
TEST_F(SelfCheckTest, BlockEdgesAndAStoredSumAcrossThem)
{
    const size_t cbBlock = 262144;
    for (size_t cbFile : {cbBlock - 1, cbBlock, cbBlock + 1, cbBlock + 18, 2 * cbBlock + 31}) {
        std::string sBody;
        uint32_t x = (uint32_t)cbFile;
        for (size_t i = 0; i + CONTAINER_TRAILER_SIZE < cbFile; i++)
            sBody += (char)((x = x * 1103515245u + 12345u) >> 24);
        std::string sGood = ContainerFile(sBody);
        ASSERT_EQ(cbFile, sGood.size());
        Package(sGood);
        EXPECT_EQ(1, VerifyModuleChecksum(nullptr, nullptr)) << cbFile;
        for (size_t iAt : {cbBlock - 1, cbBlock, cbFile - 1}) {
            if (iAt >= cbFile) continue;
            std::string sBad = sGood;
            sBad[iAt] = (char)(sBad[iAt] + 1);
            Package(sBad);
            EXPECT_EQ(0, VerifyModuleChecksum(nullptr, nullptr)) << cbFile << " byte " << iAt;
        }
    }
}

TEST_F(SelfCheckTest, PortableExecutableAndTinyFiles)
{
    // A PE file keeps the sum at offset 28.
    std::string sPe = "MZ" + std::string(60, '\x11');
    uint32_t dwSum = 0;
    for (size_t i = 0; i < sPe.size(); i++)
        if (i < 28 || i > 31) dwSum += (uint8_t)sPe[i];
    for (int i = 0; i < 4; i++) sPe[28 + i] = (char)((dwSum >> (8 * i)) & 0xFF);
    Package(sPe);
    EXPECT_EQ(1, VerifyModuleChecksum(nullptr, nullptr));
    // A package below 100 bytes (a progress step of 0 by division).
    Package(ContainerFile("x"));
    HWND hDlg = PlatCreateDialogParam(nullptr, IDD_SELFCHECK, nullptr, nullptr, 0);
    RegisterGaugeClass();
    HWND hGauge = CreateGauge(hDlg, IDC_CHECK_GAUGE);
    EXPECT_EQ(1, VerifyModuleChecksum(hDlg, hGauge));
    EXPECT_EQ(33, PlatGetWindowLong(hGauge, GAUGE_RANGE));
    EXPECT_EQ(33, PlatGetWindowLong(hGauge, GAUGE_POSITION));
}

TEST_F(SelfCheckTest, UnreadableFileShowsTheBox)
{
    SelfCheckSetModulePath("C:\\MISSING.EXE");
    EXPECT_EQ(0, VerifyModuleChecksum(nullptr, nullptr));
    ASSERT_EQ(1u, g_aBoxes.size());
    EXPECT_EQ(gpStrings[7], g_aBoxes[0].sText);
    EXPECT_EQ(gpStrings[3], g_aBoxes[0].sCaption);
    EXPECT_EQ(nullptr, g_aBoxes[0].hOwner);
}

/* The person in front of dialog 401: records what a failure shows, then
 * presses Cancel. */
struct CheckWitness {
    int cWaits = 0;
    std::string sMessage;
    bool bCancelShown = false;
    bool bGaugeShown = true;
} g_witness;

int CancellingIdle(int iWaitMs)
{
    if (iWaitMs >= 0) return 0;  // a timer or work pending: not waiting for a person
    HWND hDlg = PlatUiActiveDialog();
    if (!hDlg) return 0;
    g_witness.cWaits++;
    g_witness.sMessage = PlatUiText(PlatGetDlgItem(hDlg, IDC_CHECK_MESSAGE));
    HWND hCancel = PlatGetDlgItem(hDlg, IDC_CHECK_CANCEL);
    g_witness.bCancelShown = PlatIsWindowVisible(hCancel);
    HWND ahChildren[8];
    int c = PlatUiChildren(hDlg, ahChildren, 8);
    for (int i = 0; i < c; i++)
        if (PlatGetDlgCtrlID(ahChildren[i]) == IDC_GAUGE_WINDOW)
            g_witness.bGaugeShown = PlatIsWindowVisible(ahChildren[i]);
    return PlatUiPost(hCancel, PLAT_UIA_CLICK, 0, nullptr);
}

const PLAT_FRONTEND g_frontCancelling = {"cancelling", nullptr, CancellingIdle, nullptr};

TEST_F(SelfCheckTest, DialogPassesOrWaitsForCancel)
{
    PlatSetFrontEnd(&g_frontCancelling);
    g_witness = CheckWitness();
    Package(ContainerFile(std::string(300, 'q')));
    EXPECT_EQ(0, SelfCheckRun());  // after its one second, without a person
    EXPECT_EQ(0, g_witness.cWaits);

    std::string sBad = ContainerFile(std::string(300, 'q'));
    sBad[5] = 'r';
    Package(sBad);
    EXPECT_EQ(1, SelfCheckRun());
    EXPECT_EQ(1, g_witness.cWaits);
    EXPECT_EQ(gpStrings[6], g_witness.sMessage);
    EXPECT_TRUE(g_witness.bCancelShown);
    EXPECT_FALSE(g_witness.bGaugeShown);
    EXPECT_EQ(nullptr, PlatUiActiveDialog());
}

}  // namespace
