// Restoring the files of a recorded level from a hand-made patch registry and
// backup set on a sample machine, with the package's file table read from a
// real package.
#include "recovery/recovery.h"

#include "package/explode/crc32.h"
#include "platform/platform.h"
#include "records/level_fixture.h"
#include "support/package.h"

namespace {

#define LEVEL "Release 8.0.1|March 3, 2010"
#define PROG "C:\\VIREO\\GARNET\\"

std::string Crc(const std::string& str)
{
    unsigned int dw = ~UpdateCrc32((const unsigned char*)str.data(), (unsigned int)str.size(), 0xFFFFFFFFu);
    char sz[32];
    snprintf(sz, sizeof(sz), "%#xL", dw);
    return sz;
}

// One entry of the level's section; an empty backup name leaves the key out.
struct Entry {
    std::string strFile, strChecksum, strBackup;
};

class RestoreTest : public LevelTest {
protected:
    static void SetUpTestSuite()
    {
        s_pPackageDir = new TempMachine();
        std::string strLog;
        s_strPackage = BuildPackage(s_pPackageDir->Root() + "/pkg", DefaultRecipe(), &strLog);
        ASSERT_FALSE(s_strPackage.empty()) << strLog;
    }
    static void TearDownTestSuite()
    {
        delete s_pPackageDir;
        s_pPackageDir = nullptr;
    }
    void SetUp() override
    {
        LevelTest::SetUp();
        PlatSetModuleOverride(s_strPackage.c_str());
        strcpy(gszCurrentRelease, "Release 8.0.2|May 1, 2010");
        giOperationMode = MODE_REVERT;
    }
    void TearDown() override
    {
        PlatSetModuleOverride("");
        LevelTest::TearDown();
    }
    // PATCH.INI listing 8.0.0 and 8.0.2 as fix packs and the level's entries.
    void Record(const std::vector<Entry>& aEntries)
    {
        std::string str = "[FIXPACKS]\r\nLabel001=\"Release 8.0.0|January 5, 2010\"\r\n"
                          "Label002=\"Release 8.0.2|May 1, 2010\"\r\n[\"" LEVEL "\"]\r\n";
        for (size_t i = 0; i < aEntries.size(); i++) {
            char szNum[16];
            snprintf(szNum, sizeof(szNum), "%03d", (int)i + 1);
            str += std::string("File") + szNum + "=" + aEntries[i].strFile + "\r\n";
            str += std::string("Checksum") + szNum + "=" + aEntries[i].strChecksum + "\r\n";
            if (!aEntries[i].strBackup.empty())
                str += std::string("BackupName") + szNum + "=" + aEntries[i].strBackup + "\r\n";
        }
        Put(PROG "PATCH.INI", str);
    }

    static TempMachine* s_pPackageDir;
    static std::string s_strPackage;
};

TempMachine* RestoreTest::s_pPackageDir;
std::string RestoreTest::s_strPackage;

TEST_F(RestoreTest, RestoresTheLevelAndSavesTheInstalledOneFirst)
{
    SetDataDirs(2);
    Put("C:\\QUILLDATA\\PART1\\QUILL.INI", "[Quill]\r\n");
    Record({{"a.txt", Crc("hello\n"), "Release801\\a0001.IIB"},
            {"quill.cfg", Crc("data 1\n"), "Release801\\quill0005.IIB"},
            {"gone.txt", Crc("removed in 8.0.2\n"), "Release801\\gone0002.IIB"}});
    Put(PROG "Release801\\a0001.IIB", "hello\n");
    Put(PROG "Release801\\quill0005.IIB", "data 1\n");
    Put(PROG "Release800\\gone0002.IIB", "removed in 8.0.2\n");  // only another level has it
    Put(PROG "a.txt", "hello world\n");
    Put("C:\\QUILLDATA\\PART1\\quill.cfg", "data 2\n");
    std::string strPatchIni = Get(PROG "PATCH.INI");

    EXPECT_EQ(1, RestoreFiles(LEVEL "   "));

    EXPECT_EQ("hello\n", Get(PROG "a.txt"));
    EXPECT_EQ("data 1\n", Get("C:\\QUILLDATA\\PART1\\quill.cfg"));
    EXPECT_EQ("data 1\n", Get("C:\\QUILLDATA\\PART2\\quill.cfg"));  // also where it was missing
    EXPECT_FALSE(Exists(PROG "quill.cfg"));
    EXPECT_EQ("removed in 8.0.2\n", Get(PROG "gone.txt"));
    // The installed level's files, registry and configuration saved first.
    EXPECT_STREQ("Release802", gszBackupDir);
    EXPECT_EQ("hello world\n", Get(PROG "Release802\\a0001.IIB"));
    EXPECT_EQ("data 2\n", Get(PROG "Release802\\quill0005.IIB"));
    EXPECT_EQ(strPatchIni, Get(PROG "Release802\\PATCH_INI.BCK"));
    EXPECT_EQ("[Quill]\r\n", Get("C:\\QUILLDATA\\PART1\\Release802\\QUILL_INI.BCK"));
    EXPECT_TRUE(Exists("C:\\QUILLDATA\\PART2\\Release802"));

    EXPECT_TRUE(Logged("\t\tCreated backup directory Release802"));
    EXPECT_TRUE(Logged("\tRestoreFiles(): backed up  C:\\VIREO\\GARNET\\a.txt to "
                       "C:\\VIREO\\GARNET\\Release802\\a0001.IIB"));
    EXPECT_TRUE(Logged("\tRestoreFiles(): copied  C:\\VIREO\\GARNET\\Release801\\a0001.IIB to C:\\VIREO\\GARNET\\a.txt"));
    EXPECT_TRUE(Logged("\tRestoreFiles(): extension  txt to C:\\VIREO\\GARNET\\gone.txt"));
}

TEST_F(RestoreTest, SecondRunKeepsTheSavedCopies)
{
    Record({{"a.txt", Crc("hello\n"), "Release801\\a0001.IIB"}});
    Put(PROG "Release801\\a0001.IIB", "hello\n");
    Put(PROG "a.txt", "hello world\n");
    ASSERT_EQ(1, RestoreFiles(LEVEL));
    Put(PROG "a.txt", "changed again\n");
    ASSERT_EQ(1, RestoreFiles(LEVEL));
    EXPECT_EQ("hello world\n", Get(PROG "Release802\\a0001.IIB"));
}

TEST_F(RestoreTest, FailuresAreReportedAndALaterDeletionDoesNotHideThem)
{
    Record({{"a.txt", Crc("hello\n"), "Release801\\a0001.IIB"}, {"qweb.exe", "0x1L", "Release801\\qweb0009.IIB"}});
    Put(PROG "Release801\\a0001.IIB", "hello\n");
    Put(PROG "a.txt", "hello world\n");
    Put(PROG "qweb.exe", "web");
    MakeDirs(Host(PROG "Release802"));
    PlatSetFileAttributes(PROG "a.txt", FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(0, RestoreFiles(LEVEL));
    PlatSetFileAttributes(PROG "a.txt", 0);
    EXPECT_EQ("hello world\n", Get(PROG "a.txt"));
    EXPECT_FALSE(Exists(PROG "qweb.exe"));  // no level has it: dropped
    EXPECT_TRUE(Logged("\tRestoreFiles(): failed to copy  C:\\VIREO\\GARNET\\Release801\\a0001.IIB to "
                       "C:\\VIREO\\GARNET\\a.txt"));
}

TEST_F(RestoreTest, FailedSaveLeavesTheInstalledFileAlone)
{
    Record({{"a.txt", Crc("hello\n"), "Release801\\a0001.IIB"}});
    Put(PROG "Release801\\a0001.IIB", "hello\n");
    Put(PROG "a.txt", "hello world\n");
    PlatFaultArm("CreateDirectory", 1, ERROR_ACCESS_DENIED, 1);
    EXPECT_EQ(0, RestoreFiles(LEVEL));
    PlatFaultReset();
    EXPECT_EQ("hello world\n", Get(PROG "a.txt"));
    EXPECT_TRUE(Logged("\t\tFailed to create backup directory Release802"));
}

TEST_F(RestoreTest, AnotherLevelsCopyServesOnlyForTheSameFile)
{
    // The recorded checksum matches nothing; the copy in 8.0.0's directory
    // has the package's old checksum of a.txt, a different file.
    Record({{"gone.txt", "0x1L", "Release801\\gone0002.IIB"}});
    Put(PROG "Release800\\gone0002.IIB", "hello\n");
    Put(PROG "gone.txt", "current\n");
    MakeDirs(Host(PROG "Release802"));
    EXPECT_EQ(0, RestoreFiles(LEVEL));
    EXPECT_EQ("current\n", Get(PROG "gone.txt"));
    EXPECT_TRUE(Logged("\tRestoreFiles(): bOK false for to C:\\VIREO\\GARNET\\gone.txt"));
    EXPECT_TRUE(Logged("\tRestoreFiles():checksum for  C:\\VIREO\\GARNET\\gone.txt is 0x1L"));

    // With gone.txt's own old content it is taken.
    Put(PROG "Release800\\gone0002.IIB", "removed in 8.0.2\n");
    EXPECT_EQ(1, RestoreFiles(LEVEL));
    EXPECT_EQ("removed in 8.0.2\n", Get(PROG "gone.txt"));
}

TEST_F(RestoreTest, ChecksumsCompareAsNumbers)
{
    // An empty file's checksum written as "0L" matches a copy whose CRC-32
    // prints as "0x0L".
    Record({{"empty.txt", "0L", "Release801\\empty0009.IIB"}});
    Put(PROG "Release800\\empty0009.IIB", "");
    Put(PROG "empty.txt", "not empty\n");
    MakeDirs(Host(PROG "Release802"));
    EXPECT_EQ(1, RestoreFiles(LEVEL));
    EXPECT_EQ("", Get(PROG "empty.txt"));
}

TEST_F(RestoreTest, EntryWithoutBackupNameIsFoundByChecksum)
{
    Put(PROG "a.txt", "hello world\n");
    Put(PROG "a.old", "hello\n");
    Put(PROG "a.bak", "something else\n");
    char sz[260];
    FindBackupByChecksum("a.txt", sz, sizeof(sz));
    EXPECT_STREQ("a.old", sz);
    FindBackupByChecksum("gone.txt", sz, sizeof(sz));
    EXPECT_STREQ("", sz);

    Record({{"a.txt", Crc("hello\n"), ""}});
    MakeDirs(Host(PROG "Release802"));
    EXPECT_EQ(1, RestoreFiles(LEVEL));
    EXPECT_EQ("hello\n", Get(PROG "a.txt"));
}

TEST_F(RestoreTest, FileFoundNowhereGoesWhereThePackagePutsIt)
{
    SetDataDirs(2);
    Record({{"quill.cfg", Crc("data 1\n"), "Release801\\quill0005.IIB"}});
    Put(PROG "Release801\\quill0005.IIB", "data 1\n");
    MakeDirs(Host(PROG "Release802"));
    EXPECT_EQ(1, RestoreFiles(LEVEL));
    EXPECT_EQ("data 1\n", Get("C:\\QUILLDATA\\PART1\\quill.cfg"));
    EXPECT_EQ("data 1\n", Get("C:\\QUILLDATA\\PART2\\quill.cfg"));
    EXPECT_FALSE(Exists(PROG "quill.cfg"));
}

TEST_F(RestoreTest, EmptyValueEndsTheRestoreWithAFailure)
{
    Put(PROG "PATCH.INI", "[\"" LEVEL "\"]\r\nBackupName001=\r\nFile001=a.txt\r\n");
    EXPECT_EQ(0, RestoreFiles(LEVEL));
    EXPECT_TRUE(Logged("Getting profile string for  BackupName001, section \"" LEVEL
                       "\" in C:\\VIREO\\GARNET\\PATCH.INI: error: 0"));
}

// ---- The base release ---------------------------------------------------

TEST_F(RestoreTest, BaseReleaseAlreadyInstalledIsOnlyVerified)
{
    strcpy(gszCurrentRelease, LEVEL);
    Record({{"a.txt", Crc("hello\n"), "Release801\\a0001.IIB"}});
    Put(PROG "a.txt", "hello\n");
    EXPECT_EQ(1, RestoreBaseRelease(LEVEL, "Release 8.0.2|May 1, 2010"));
    EXPECT_EQ("hello\n", Get(PROG "a.txt"));
    EXPECT_FALSE(Exists(PROG "baserev_detail.txt"));
    EXPECT_FALSE(Exists(PROG "Release801"));
}

TEST_F(RestoreTest, BackupsThatFailTheirChecksumsNeedForce)
{
    Record({{"a.txt", Crc("hello\n"), "Release801\\a0001.IIB"}});
    Put(PROG "Release801\\a0001.IIB", "tampered\n");
    Put(PROG "a.txt", "hello world\n");
    gwOptions = OPT_NOUSER;
    EXPECT_EQ(0, RestoreBaseRelease(LEVEL, ""));
    EXPECT_TRUE(Logged("Backup is incomplete or failed checksum"));
    EXPECT_EQ("hello world\n", Get(PROG "a.txt"));
    EXPECT_FALSE(Exists(PROG "Release802"));

    gwOptions = OPT_NOUSER | OPT_FORCE;
    dwUpgradeType = 1;  // no key file copy, and the stamp is asked for
    SetString(0, "Release 8.0.1 -> Release 8.0.2 GWA");  // ... but not written
    EXPECT_EQ(1, RestoreBaseRelease(LEVEL, ""));
    EXPECT_EQ("tampered\n", Get(PROG "a.txt"));
    EXPECT_TRUE(Logged("RestoreBaseRelease (-1): no info about backup or incomplete patch.ini"));
}

TEST_F(RestoreTest, UnattendedHotfixNeverRevertsAFixPackUnasked)
{
    strcpy(gszCurrentRelease, "Release 8.0.1FP2|May 1, 2010");
    giOperationMode = MODE_UPGRADE;
    dwUpgradeType = 1;
    Record({{"a.txt", Crc("hello\n"), "Release801\\a0001.IIB"}});
    Put(PROG "Release801\\a0001.IIB", "hello\n");
    Put(PROG "a.txt", "hello fp2\n");
    EXPECT_EQ(0, RestoreBaseRelease(LEVEL, ""));
    EXPECT_EQ("hello fp2\n", Get(PROG "a.txt"));
    EXPECT_TRUE(Logged("Unattended run: Hotfix Release801 would revert Fixpack Release801FP2 already installed; "
                       "nothing changed"));
}

TEST_F(RestoreTest, MissingBackupDirectoryCannotBeRestored)
{
    Record({{"a.txt", Crc("hello\n"), "Release801\\a0001.IIB"}});
    EXPECT_EQ(0, RestoreBaseRelease(LEVEL, ""));
    EXPECT_TRUE(Logged("No backup found for Release 8.0.2|May 1, 2010 - can't restore to the base revision"));
}

} // namespace
