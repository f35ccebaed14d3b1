// Tests of the patch registry file and the label and backup-name rules, on
// real profile files of a temporary emulated machine.
#include "records/patchini.h"

#include "platform/dialog.h"
#include "platform/profile.h"
#include "shell/globals.h"
#include "ui/gauge.h"
#include "wizard/wizard.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct TestRecord {
    const char* szName;
    DWORD dwOldCrc;
    DWORD dwNewCrc;
    DWORD dwPayload;
};

// Release-table file records: 24-byte header, name, NUL.
std::vector<BYTE> MakeRecords(const std::vector<TestRecord>& aRecords)
{
    std::vector<BYTE> v;
    for (const TestRecord& r : aRecords) {
        DWORD adw[6] = {(DWORD)(2 * strlen(r.szName)), 2, 1, r.dwOldCrc, r.dwNewCrc, r.dwPayload};
        for (DWORD dw : adw)
            for (int i = 0; i < 4; i++) v.push_back((BYTE)(dw >> (8 * i)));
        v.insert(v.end(), r.szName, r.szName + strlen(r.szName) + 1);
    }
    return v;
}

class StringOverride {
public:
    void Set(int iId, const char* sz)
    {
        m_saved.push_back({iId, gpStrings[iId]});
        gpStrings[iId] = const_cast<char*>(sz);
        if (gdwStringCount <= iId) {
            m_iSavedCount = m_iSavedCount < 0 ? gdwStringCount : m_iSavedCount;
            gdwStringCount = iId + 1;
        }
    }
    ~StringOverride()
    {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) gpStrings[it->first] = it->second;
        if (m_iSavedCount >= 0) gdwStringCount = m_iSavedCount;
    }

private:
    std::vector<std::pair<int, char*>> m_saved;
    int m_iSavedCount = -1;
};

TEST(TrimLabel, CutsLabelFieldsBackToTheLabel)
{
    struct {
        const char* szIn;
        const char* szOut;
    } aCases[] = {
        {"Release 7.0.1|May 1, 2009             ||||||||||||", "Release 7.0.1|May 1, 2009"},
        {"Release 7.0.1|May 1, 2009|", "Release 7.0.1|May 1, 2009"},
        {"Release 7.0.1   ||||", "Release 7.0.1"},
        {"||Release 7.0.1|x", ""},
        {"   ||", ""},
        {"Release 7.0.1|May 1, 2009", "Release 7.0.1|May 1, 2009"},  // one bar, no second: unchanged
        {"Release 7.0.1   |", "Release 7.0.1   |"},                  // the bar is the last character
        {"Release 7.0.1", "Release 7.0.1"},
        {"", ""},
        {"A|B  |C|D", "A|B"},
    };
    for (const auto& c : aCases) {
        char sz[128];
        strcpy(sz, c.szIn);
        TrimLabel(sz);
        EXPECT_STREQ(c.szOut, sz) << "input: " << c.szIn;
    }
    TrimLabel(NULL);
}

TEST(LabelText, NamesJoinsAndFixPackNumbers)
{
    // The new texts are the caller's; the installer keeps them for the run.
    auto Take = [](char* sz) {
        std::string str = sz;
        PlatHeapFree(sz);
        return str;
    };
    EXPECT_EQ("Release 7.0.1FP1", Take(LabelName("Release 7.0.1FP1|May 1, 2009")));
    EXPECT_EQ("Release 7.0.1", Take(LabelName("Release 7.0.1")));
    EXPECT_EQ("", Take(LabelName("|x")));
    EXPECT_EQ("Release 8.0.2+GWA 8.0.2HF3", Take(JoinLabelNames("Release 8.0.2|May 1, 2010", "GWA 8.0.2HF3|x|y")));
    EXPECT_EQ("Release 8.0.2+B", Take(JoinLabelNames("Release 8.0.2", "B")));

    struct {
        const char* sz;
        int iExpected;
    } aFp[] = {{"Release701FP2", 2}, {"Release 7.0.1FP12|x", 12}, {"Release701", 0}, {"FP", 0},
               {"Release701FPx3", 0}, {"A FP1 FP7", 1}, {"Release7FP99999999999", 2147483647}};
    for (const auto& c : aFp) EXPECT_EQ(c.iExpected, FixPackNumber(c.sz)) << c.sz;
}

TEST(BackupNames, DirectoryAndFileNames)
{
    char sz[BACKUP_NAME_SIZE];
    StringOverride strings;
    strings.Set(42, "Release 8.0.2");

    EXPECT_STREQ("Release701FP1", BackupDirName("Release 7.0.1FP1|May 1, 2009", sz));
    EXPECT_STREQ("Release701FP1", BackupDirName("Release 7.0.1FP1", sz));
    EXPECT_STREQ("ReleaseGWA802", BackupDirName("Release GWA 8.0.2|x", sz));

    struct {
        const char* szFile;
        DWORD dwPayload;
        const char* szExpected;
    } aFiles[] = {
        {"a.dll", 3, "a0003.IIB"},
        {"a.b.dll", 12, "a.b0012.IIB"},
        {"bin\\README", 7, "README0007.IIB"},
        {"data\\b.qtf", 9999, "b9999.IIB"},
        {"data\\b.qtf", 10000, "b10000.IIB"},
        {"x.dll", 123456, "x123456.IIB"},
    };
    for (const auto& c : aFiles) EXPECT_STREQ(c.szExpected, BackupFileName(c.szFile, c.dwPayload, sz)) << c.szFile;

    EXPECT_STREQ("Release701FP1\\b10000.IIB", BackupEntryPath("Release 7.0.1FP1|May 1, 2009", "data\\b.qtf", 10000, sz));

    // A directory name that fills the whole buffer is cut, never written
    // past; a backup path or file name that does not fit is refused, never
    // cut into another file's name.
    std::string strLong(400, 'x');
    BackupDirName(strLong.c_str(), sz);
    EXPECT_EQ(BACKUP_NAME_SIZE - 1, strlen(sz));
    EXPECT_EQ(nullptr, BackupEntryPath(strLong.c_str(), "a.dll", 1, sz));
    EXPECT_STREQ("", sz);
    EXPECT_EQ(nullptr, BackupFileName(strLong.c_str(), 1, sz));
    EXPECT_STREQ("", sz);
    std::string strDir(248, 'd');
    EXPECT_STREQ((strDir + "\\ab0001.IIB").c_str(), BackupEntryPath(strDir.c_str(), "ab.dll", 1, sz)); // 259
    EXPECT_EQ(nullptr, BackupEntryPath((strDir + "d").c_str(), "ab.dll", 1, sz)); // 260 characters
}

TEST(BackupNames, WebAccessSuffix)
{
    char sz[BACKUP_NAME_SIZE];
    StringOverride strings;
    strings.Set(42, "GWA");
    EXPECT_STREQ("Release701FP1_GWA", BackupDirName("Release 7.0.1FP1|May 1, 2009", sz));
    EXPECT_STREQ("ReleaseGWA802HF1", BackupDirName("Release GWA 8.0.2HF1|x", sz));
    strings.Set(42, "GWA ");  // exactly "GWA" only
    EXPECT_STREQ("Release701FP1", BackupDirName("Release 7.0.1FP1|May 1, 2009", sz));
}

// A temporary emulated machine with the program directory C:\VIREO\GARNET.
class PatchIniTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char szTemplate[] = "/tmp/heron-patchini-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(szTemplate));
        m_root = szTemplate;
        const char* szOld = getenv("HERON_ROOT");
        m_bHadRoot = szOld != NULL;
        if (szOld) m_oldRoot = szOld;
        setenv("HERON_ROOT", m_root.c_str(), 1);
        std::filesystem::create_directories(m_root + "/drive_c/VIREO/GARNET");
        m_pSavedProgramDir = gpProgramDir;
        strcpy(m_szProgramDir, "C:\\VIREO\\GARNET");
        gpProgramDir = m_szProgramDir;
        m_dwSavedType = dwUpgradeType;
        dwUpgradeType = 2;
    }
    void TearDown() override
    {
        gpProgramDir = m_pSavedProgramDir;
        dwUpgradeType = m_dwSavedType;
        if (m_bHadRoot) setenv("HERON_ROOT", m_oldRoot.c_str(), 1);
        else unsetenv("HERON_ROOT");
        std::filesystem::remove_all(m_root);
    }

    std::string Read(const char* szSection, const char* szKey)
    {
        char sz[PATCHINI_VALUE_SIZE];
        PlatGetPrivateProfileString(szSection, szKey, "DEFAULT", sz, sizeof(sz), "C:\\VIREO\\GARNET\\PATCH.INI");
        return sz;
    }
    void Write(const char* szSection, const char* szKey, const char* szValue)
    {
        ASSERT_TRUE(PlatWritePrivateProfileString(szSection, szKey, szValue, "C:\\VIREO\\GARNET\\PATCH.INI"));
    }
    std::string FileText()
    {
        std::ifstream in(m_root + "/drive_c/VIREO/GARNET/PATCH.INI", std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    // "name crc backup" of every entry of a level section, in key order.
    std::vector<std::string> Entries(const char* szSection)
    {
        std::vector<std::string> v;
        for (int i = 1;; i++) {
            char szKey[32];
            snprintf(szKey, sizeof(szKey), "File%03d", i);
            std::string strFile = Read(szSection, szKey);
            if (strFile == "DEFAULT") break;
            snprintf(szKey, sizeof(szKey), "Checksum%03d", i);
            std::string strCrc = Read(szSection, szKey);
            snprintf(szKey, sizeof(szKey), "BackupName%03d", i);
            v.push_back(strFile + " " + strCrc + " " + Read(szSection, szKey));
        }
        return v;
    }
    void Record(const char* szFrom, const char* szTo, const std::vector<TestRecord>& aRecords)
    {
        std::vector<BYTE> v = MakeRecords(aRecords);
        RecordFix(szFrom, szTo, (DWORD)aRecords.size(), v.data(), (DWORD)v.size());
    }

    std::string m_root;
    std::string m_oldRoot;
    bool m_bHadRoot = false;
    char* m_pSavedProgramDir = nullptr;
    char m_szProgramDir[261];
    DWORD m_dwSavedType = 0;
};

#define LABEL_A "Release 7.0.1|May 1, 2009"
#define LABEL_B "Release 7.0.1FP1|June 2, 2009"
#define LABEL_C "Release 7.0.1FP2|July 3, 2009"
#define SEC_A "\"" LABEL_A "\""
#define SEC_B "\"" LABEL_B "\""
#define SEC_C "\"" LABEL_C "\""

TEST_F(PatchIniTest, FirstRecordingWritesListAndBothLevels)
{
    Record(LABEL_A, LABEL_B, {{"a.dll", 0x1111, 0xabcdef01, 3}, {"data\\b.qtf", 0, 0x0000beef, 10007}});

    EXPECT_EQ(LABEL_B, Read("FIXPACKS", "Label001"));
    EXPECT_EQ("DEFAULT", Read("FIXPACKS", "Label002"));
    EXPECT_EQ("DEFAULT", Read("HOTFIXES", "Label001"));
    EXPECT_EQ((std::vector<std::string>{"a.dll 0xabcdef01L Release701FP1\\a0003.IIB",
                                        "data\\b.qtf 0xbeefL Release701FP1\\b10007.IIB"}),
              Entries(SEC_B));
    EXPECT_EQ((std::vector<std::string>{"a.dll 0x1111L Release701\\a0003.IIB", "data\\b.qtf 0L Release701\\b10007.IIB"}),
              Entries(SEC_A));

    // The file itself: quoted list value, quoted section names, keys in order.
    std::string strText = FileText();
    EXPECT_NE(std::string::npos, strText.find("Label001=\"" LABEL_B "\"\r\n"));
    EXPECT_NE(std::string::npos, strText.find("[" SEC_B "]\r\nFile001=a.dll\r\nChecksum001=0xabcdef01L\r\n"
                                              "BackupName001=Release701FP1\\a0003.IIB\r\n"));
}

TEST_F(PatchIniTest, HotfixGoesToHotfixList)
{
    dwUpgradeType = 1;
    Record(LABEL_A, LABEL_B, {{"a.dll", 1, 2, 1}});
    EXPECT_EQ(LABEL_B, Read("HOTFIXES", "Label001"));
    EXPECT_EQ("DEFAULT", Read("FIXPACKS", "Label001"));
}

TEST_F(PatchIniTest, RerecordingALevelKeepsTheListAndReplacesItsSection)
{
    Record(LABEL_A, LABEL_B, {{"a.dll", 1, 2, 1}, {"b.dll", 3, 4, 2}, {"c.dll", 5, 6, 3}});
    Record(LABEL_B, LABEL_C, {{"a.dll", 2, 7, 1}});
    Record(LABEL_A, LABEL_B, {{"d.dll", 8, 9, 4}});

    EXPECT_EQ(LABEL_B, Read("FIXPACKS", "Label001"));
    EXPECT_EQ(LABEL_C, Read("FIXPACKS", "Label002"));
    EXPECT_EQ("DEFAULT", Read("FIXPACKS", "Label003"));
    // B's section was emptied and lists only the new fix; the A-level files
    // of the first fix stay and d.dll is added after them.
    EXPECT_EQ((std::vector<std::string>{"d.dll 0x9L Release701FP1\\d0004.IIB"}), Entries(SEC_B));
    EXPECT_EQ("DEFAULT", Read(SEC_B, "File002"));
    EXPECT_EQ("DEFAULT", Read(SEC_B, "Checksum002"));
    EXPECT_EQ((std::vector<std::string>{"a.dll 0x1L Release701\\a0001.IIB", "b.dll 0x3L Release701\\b0002.IIB",
                                        "c.dll 0x5L Release701\\c0003.IIB", "d.dll 0x8L Release701\\d0004.IIB"}),
              Entries(SEC_A));
}

TEST_F(PatchIniTest, FromSectionKeepsItsEntriesAndGetsNewOnesAfterTheLast)
{
    // One entry: it stays and the new file becomes File002.
    Write(SEC_A, "File001", "a.dll");
    Write(SEC_A, "Checksum001", "0x42L");
    Write(SEC_A, "BackupName001", "OldDir\\a0009.IIB");
    Record(LABEL_A, LABEL_B, {{"a.dll", 0x1, 0x2, 1}, {"new.dll", 0x3, 0x4, 2}});
    EXPECT_EQ((std::vector<std::string>{"a.dll 0x42L OldDir\\a0009.IIB", "new.dll 0x3L Release701\\new0002.IIB"}),
              Entries(SEC_A));
}

TEST_F(PatchIniTest, FromSectionWithMoreEntriesThanTheFixKeepsAll)
{
    for (int i = 1; i <= 4; i++) {
        char szKey[32], szValue[32];
        snprintf(szKey, sizeof(szKey), "File%03d", i);
        snprintf(szValue, sizeof(szValue), "f%d.dll", i);
        Write(SEC_A, szKey, szValue);
        snprintf(szKey, sizeof(szKey), "Checksum%03d", i);
        Write(SEC_A, szKey, "0x1L");
    }
    Record(LABEL_A, LABEL_B, {{"f2.dll", 9, 9, 1}, {"g.dll", 7, 8, 2}});
    std::vector<std::string> v = Entries(SEC_A);
    ASSERT_EQ(5u, v.size());
    EXPECT_EQ("f2.dll 0x1L DEFAULT", v[1]);  // kept as it was, no backup name added
    EXPECT_EQ("f4.dll 0x1L DEFAULT", v[3]);
    EXPECT_EQ("g.dll 0x7L Release701\\g0002.IIB", v[4]);
}

TEST_F(PatchIniTest, LevelRecordedOverItselfListsOnlyTheNewChecksums)
{
    Record(LABEL_B, LABEL_B, {{"a.dll", 1, 2, 1}, {"b.dll", 3, 4, 2}});
    EXPECT_EQ((std::vector<std::string>{"a.dll 0x2L Release701FP1\\a0001.IIB", "b.dll 0x4L Release701FP1\\b0002.IIB"}),
              Entries(SEC_B));
}

TEST_F(PatchIniTest, EmptyLabelValueRecordsNothing)
{
    Write("FIXPACKS", "Label001", LABEL_A);
    Write("FIXPACKS", "Label002", "");
    Record(LABEL_A, LABEL_B, {{"a.dll", 1, 2, 1}});
    EXPECT_EQ("DEFAULT", Read("FIXPACKS", "Label003"));
    EXPECT_EQ("DEFAULT", Read(SEC_B, "File001"));
    EXPECT_EQ("DEFAULT", Read(SEC_A, "File001"));
}

TEST_F(PatchIniTest, UnwritableRegistryRecordsNothing)
{
    // The program directory is missing: the file cannot be created.
    strcpy(m_szProgramDir, "C:\\NOWHERE");
    Record(LABEL_A, LABEL_B, {{"a.dll", 1, 2, 1}});
    EXPECT_FALSE(std::filesystem::exists(m_root + "/drive_c/NOWHERE"));
}

// A recording that fails at any profile write leaves the patch registry as
// it was; once no write fails it is the whole new registry.
TEST_F(PatchIniTest, ARecordingCutAtAnyWriteLeavesTheRegistryWhollyOldOrNew)
{
    const std::vector<TestRecord> aFirst = {{"a.dll", 1, 2, 1}, {"b.dll", 3, 4, 2}};
    const std::vector<TestRecord> aSecond = {{"a.dll", 2, 5, 1}, {"c.dll", 6, 7, 3}};
    Record(LABEL_A, LABEL_B, aFirst);
    const std::string strOld = FileText();
    Record(LABEL_B, LABEL_C, aSecond);
    const std::string strNew = FileText();
    ASSERT_NE(strOld, strNew);

    for (const char* szOp : {"WritePrivateProfileString", "WritePrivateProfileSection"}) {
        int n = 1;
        for (;; n++) {
            ASSERT_LT(n, 100) << szOp;
            std::ofstream(m_root + "/drive_c/VIREO/GARNET/PATCH.INI", std::ios::binary | std::ios::trunc) << strOld;
            ASSERT_EQ(1, PlatFaultArm(szOp, n, ERROR_DISK_FULL, 0));
            Record(LABEL_B, LABEL_C, aSecond);
            PlatFaultReset();
            std::string strNow = FileText();
            EXPECT_FALSE(std::filesystem::exists(m_root + "/drive_c/VIREO/GARNET/PATCH.INI.NEW")) << szOp << n;
            EXPECT_FALSE(std::filesystem::exists(m_root + "/drive_c/VIREO/GARNET/PATCH.INI.OLD")) << szOp << n;
            if (strNow == strNew) break;
            ASSERT_EQ(strOld, strNow) << szOp << " failing at write " << n;
        }
        // The string writes: the list label and three keys per entry of each level.
        if (std::string(szOp) == "WritePrivateProfileString") {
            EXPECT_EQ(1 + 3 * 2 + 3 * 1 + 1, n);
        }
    }
}

TEST_F(PatchIniTest, DamagedRecordsStopAtTheDamage)
{
    std::vector<BYTE> v = MakeRecords({{"a.dll", 1, 2, 1}, {"b.dll", 3, 4, 2}});
    // Claim three records, and cut the second one's name before its NUL.
    RecordFix(LABEL_A, LABEL_B, 3, v.data(), (DWORD)v.size() - 2);
    EXPECT_EQ((std::vector<std::string>{"a.dll 0x2L Release701FP1\\a0001.IIB"}), Entries(SEC_B));
    EXPECT_EQ((std::vector<std::string>{"a.dll 0x1L Release701\\a0001.IIB"}), Entries(SEC_A));
}

TEST_F(PatchIniTest, FileGaugeFollowsTheRecordsAndIsHiddenAtTheEnd)
{
    RegisterGaugeClass();
    HWND hGauge = PlatCreateWindowEx(0, GAUGE_CLASS, "", WS_BORDER, 0, 0, 150, 12, NULL, 8888, NULL, NULL);
    ASSERT_NE(nullptr, hGauge);
    HWND hSaved = ghGaugeFile;
    ghGaugeFile = hGauge;
    ProgressSetDoor(WizardProgressDoor());
    Record(LABEL_A, LABEL_B, {{"a.dll", 1, 2, 1}, {"b.dll", 3, 4, 2}, {"c.dll", 5, 6, 3}});
    ProgressSetDoor(nullptr);
    ghGaugeFile = hSaved;
    EXPECT_EQ(3, PlatGetWindowLong(hGauge, GAUGE_RANGE));
    EXPECT_EQ(3, PlatGetWindowLong(hGauge, GAUGE_POSITION));
    EXPECT_FALSE(PlatIsWindowVisible(hGauge));
    PlatDialogReset();  // frees the window and the class again
}

// A lasting read failure of the patch registry file stops the update at
// once and leaves both level sections as they were.
TEST_F(PatchIniTest, FailedReadLeavesTheLevelsAlone)
{
    Record(LABEL_A, LABEL_B, {{"a.dll", 0x1111, 0x2222, 3}});
    Record(LABEL_B, LABEL_C, {{"a.dll", 0x2222, 0x3333, 3}});
    std::string strBefore = FileText();
    std::vector<BYTE> v = MakeRecords({{"a.dll", 0x2222, 0x4444, 3}, {"c.dll", 0x1, 0x2, 4}});
    PlatFaultArm("GetPrivateProfileString", 1, 5, 1);
    EXPECT_EQ(0, UpdatePatchIni(LABEL_B, LABEL_C, 2, v.data(), (DWORD)v.size()));
    PlatFaultReset();
    EXPECT_EQ(strBefore, FileText());
    // Without the failure the same update goes through.
    EXPECT_EQ(1, UpdatePatchIni(LABEL_B, LABEL_C, 2, v.data(), (DWORD)v.size()));
    EXPECT_EQ((std::vector<std::string>{"a.dll 0x4444L Release701FP2\\a0003.IIB", "c.dll 0x2L Release701FP2\\c0004.IIB"}),
              Entries(SEC_C));
}

TEST_F(PatchIniTest, RegistryPathThatDoesNotFitRecordsNothing)
{
    // "\PATCH.INI" after 250 characters makes 260: one too many. Before, the
    // name was cut and a file "PATCH.IN" written.
    std::string strDir = "C:\\" + std::string(247, 'p');
    std::string strHostDir = m_root + "/drive_c/" + std::string(247, 'p');
    std::filesystem::create_directories(strHostDir);
    snprintf(m_szProgramDir, sizeof(m_szProgramDir), "%s", strDir.c_str());
    std::vector<BYTE> v = MakeRecords({{"a.dll", 0x1, 0x2, 3}});
    EXPECT_EQ(0, RecordFix(LABEL_A, LABEL_B, 1, v.data(), (DWORD)v.size()));
    EXPECT_EQ(0, UpdatePatchIni(LABEL_A, LABEL_B, 1, v.data(), (DWORD)v.size()));
    EXPECT_TRUE(std::filesystem::is_empty(strHostDir));
}

// Checksums are compared as numbers: every spelling the file may hold.
TEST(ChecksumText, ReadAsNumbers)
{
    struct Row {
        const char* szText;
        int iResult;
        DWORD dwCrc;
    } rows[] = {
        {"0L", 1, 0},
        {"0x0L", 1, 0},
        {"0", 1, 0},
        {"0x1a2bL", 1, 0x1a2b},
        {"0xABCDEF01L", 1, 0xabcdef01},
        {"1a2b", 1, 0x1a2b},
        {" 0x10L ", 1, 0x10},
        {"0xffffffffL", 1, 0xffffffffu},
        {"0x100000000L", 0, 0},
        {"", 0, 0},
        {"0x", 0, 0},
        {"L", 0, 0},
        {"0x12LL", 0, 0},
        {"0x12 L", 0, 0},
        {"zz", 0, 0},
    };
    for (const Row& row : rows) {
        DWORD dw = 77;
        EXPECT_EQ(row.iResult, ParseChecksumText(row.szText, &dw)) << row.szText;
        EXPECT_EQ(row.dwCrc, dw) << row.szText;
    }
    EXPECT_EQ(0, ParseChecksumText(nullptr, nullptr));
}

}  // namespace
