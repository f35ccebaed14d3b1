// The language-pack keys of the configuration file, its saved copies and
// the removal of emptied backup directories, on real files of a sample
// machine.
#include "records/config.h"

#include "records/level_fixture.h"
#include "shell/utils.h"

namespace {

#define FROM "Release 8.0.1|March 3, 2010"
#define TO "Release 8.0.2|May 1, 2010"
#define PROG_INI "C:\\VIREO\\GARNET\\QUILL.INI"
#define PATCH_INI "C:\\VIREO\\GARNET\\PATCH.INI"
#define LEVEL_DIR "C:\\VIREO\\GARNET\\Release801"

const char kQuillIni[] =
    "[Quill]\r\nDirectory=C:\\QUILLDATA\\PART1\r\nCFP_LP_CURRENT=Release 8.0.0|January 5, 2010\r\n"
    "CFP_LP_PREV=Release 7.9|June 1, 2009\r\nCFP_LP_BASE_VERSION=Release 8.0.0|January 5, 2010\r\n"
    "[Other]\r\nColour=blue\r\n";
const char kPatchIni[] = "[FIXPACKS]\r\nLabel001=\"Release 8.0.1|March 3, 2010\"\r\n";

class ConfigTest : public LevelTest {
protected:
    int Upgrade() { giOperationMode = MODE_UPGRADE; return UpdateQuillIni(TO, FROM); }
    int Revert()
    {
        giOperationMode = MODE_REVERT;
        strcpy(gszCurrentRelease, TO);
        return UpdateQuillIni(FROM, TO);
    }
};

TEST_F(ConfigTest, UpgradeMovesTheKeysAndRevertLeavesBothFilesByteIdentical)
{
    Put(PROG_INI, kQuillIni);
    Put(PATCH_INI, kPatchIni);
    ASSERT_EQ(1, Upgrade());
    EXPECT_EQ(TO, Key(PROG_INI, "Quill", "CFP_LP_CURRENT"));
    EXPECT_EQ("Release 8.0.0|January 5, 2010", Key(PROG_INI, "Quill", "CFP_LP_PREV"));
    EXPECT_EQ(FROM, Key(PROG_INI, "Quill", "CFP_LP_BASE_VERSION"));
    EXPECT_EQ("blue", Key(PROG_INI, "Other", "Colour"));
    // Whole copies, taken before the first change.
    EXPECT_EQ(kQuillIni, Get(LEVEL_DIR "\\QUILL_INI.BCK"));
    EXPECT_EQ(kPatchIni, Get(LEVEL_DIR "\\PATCH_INI.BCK"));
    EXPECT_EQ((std::vector<std::string>{
                  "\tUpdateQuillIni: backed up  C:\\VIREO\\GARNET\\PATCH.INI to "
                  "C:\\VIREO\\GARNET\\Release801\\PATCH_INI.BCK",
                  "\tUpdateQuillIni: backed up  C:\\VIREO\\GARNET\\QUILL.INI to "
                  "C:\\VIREO\\GARNET\\Release801\\QUILL_INI.BCK",
              }),
              Log());

    // What the recording of the fix would add, and the user's own change.
    ASSERT_TRUE(PlatWritePrivateProfileString("HOTFIXES", "Label001", "\"x\"", PATCH_INI));
    ASSERT_TRUE(PlatWritePrivateProfileString("Other", "Colour", "blue", PROG_INI));
    ASSERT_EQ(1, Revert());
    EXPECT_EQ(kQuillIni, Get(PROG_INI));
    EXPECT_EQ(kPatchIni, Get(PATCH_INI));
    EXPECT_FALSE(Exists(LEVEL_DIR));
}

TEST_F(ConfigTest, SkipPackageRecordsSkipAndTakesThePreviousBaseVersion)
{
    SetString(43, "SKIP");
    Put(PROG_INI, "[Quill]\r\nCFP_LP_CURRENT=SKIP\r\nCFP_LP_BASE_VERSION=Release 7|x\r\n");
    ASSERT_EQ(1, Upgrade());
    EXPECT_EQ("SKIP", Key(PROG_INI, "Quill", "CFP_LP_CURRENT"));
    EXPECT_EQ("Release 7|x", Key(PROG_INI, "Quill", "CFP_LP_PREV"));
    EXPECT_EQ(TO, Key(PROG_INI, "Quill", "CFP_LP_BASE_VERSION"));
}

TEST_F(ConfigTest, PackageWithoutRecordsChangesOnlyTheBaseVersionAndItsRevertDeletesNothingElse)
{
    dwUpgradeType = 0;
    Put(PROG_INI, "[Quill]\r\nCFP_LP_BASE_VERSION=Release 8.0.0|January 5, 2010\r\n");
    ASSERT_EQ(1, Upgrade());
    EXPECT_EQ(TO, Key(PROG_INI, "Quill", "CFP_LP_BASE_VERSION"));
    EXPECT_EQ("DEFAULT", Key(PROG_INI, "Quill", "CFP_LP_CURRENT"));
    // The product records its level afterwards; the revert must keep it.
    ASSERT_TRUE(PlatWritePrivateProfileString("Quill", "CFP_LP_CURRENT", "mine", PROG_INI));
    ASSERT_EQ(1, Revert());
    EXPECT_EQ("Release 8.0.0|January 5, 2010", Key(PROG_INI, "Quill", "CFP_LP_BASE_VERSION"));
    EXPECT_EQ("mine", Key(PROG_INI, "Quill", "CFP_LP_CURRENT"));
    EXPECT_FALSE(Exists(LEVEL_DIR));
}

TEST_F(ConfigTest, FileCreatedByTheUpgradeIsDeletedByTheRevert)
{
    ASSERT_EQ(1, Upgrade());
    EXPECT_EQ(FROM, Key(PROG_INI, "Quill", "CFP_LP_BASE_VERSION"));
    EXPECT_EQ(0u, Key(PROG_INI, "Quill", "CFP_LP_CURRENT").find(TO));
    EXPECT_EQ(FROM, Key(PROG_INI, "Quill", "CFP_LP_PREV"));
    ASSERT_EQ(1, Revert());
    EXPECT_FALSE(Exists(PROG_INI));
    EXPECT_FALSE(Exists(LEVEL_DIR));
    EXPECT_FALSE(Exists(PATCH_INI));
}

TEST_F(ConfigTest, SecondUpgradeFromTheSameLevelKeepsTheFirstCopies)
{
    Put(PROG_INI, kQuillIni);
    Put(PATCH_INI, kPatchIni);
    ASSERT_EQ(1, Upgrade());
    Put(PATCH_INI, "[FIXPACKS]\r\n");
    ASSERT_EQ(1, Upgrade());
    EXPECT_EQ(kQuillIni, Get(LEVEL_DIR "\\QUILL_INI.BCK"));
    EXPECT_EQ(kPatchIni, Get(LEVEL_DIR "\\PATCH_INI.BCK"));
    EXPECT_TRUE(Logged("\tUpdateQuillIni: backup C:\\VIREO\\GARNET\\Release801\\QUILL_INI.BCK existed: not overwritten"));
}

TEST_F(ConfigTest, DataDirectoriesSharingTheProgramDirectoryFileChangeItOnce)
{
    SetDataDirs(2);
    Put(PROG_INI, kQuillIni);
    ASSERT_EQ(1, Upgrade());
    EXPECT_EQ("Release 8.0.0|January 5, 2010", Key(PROG_INI, "Quill", "CFP_LP_PREV"));
    EXPECT_EQ(kQuillIni, Get("C:\\QUILLDATA\\PART1\\Release801\\QUILL_INI.BCK"));
    EXPECT_FALSE(Exists("C:\\QUILLDATA\\PART2\\Release801"));
    ASSERT_EQ(1, Revert());
    EXPECT_EQ(kQuillIni, Get(PROG_INI));
    EXPECT_FALSE(Exists("C:\\QUILLDATA\\PART1\\Release801"));
}

TEST_F(ConfigTest, SeveralDataDirectoriesRevertLeavesNoCopies)
{
    SetDataDirs(2);
    Put("C:\\QUILLDATA\\PART1\\QUILL.INI", kQuillIni);
    Put("C:\\QUILLDATA\\PART2\\QUILL.INI", kQuillIni);
    Put(PATCH_INI, kPatchIni);
    ASSERT_EQ(1, Upgrade());
    EXPECT_EQ(kPatchIni, Get(LEVEL_DIR "\\PATCH_INI.BCK"));
    EXPECT_EQ(kQuillIni, Get("C:\\QUILLDATA\\PART2\\Release801\\QUILL_INI.BCK"));
    Put(PATCH_INI, "[FIXPACKS]\r\n");
    ASSERT_EQ(1, Revert());
    EXPECT_EQ(kPatchIni, Get(PATCH_INI));
    EXPECT_EQ(kQuillIni, Get("C:\\QUILLDATA\\PART2\\QUILL.INI"));
    EXPECT_FALSE(Exists(LEVEL_DIR));
    EXPECT_FALSE(Exists("C:\\QUILLDATA\\PART1\\Release801"));
    EXPECT_FALSE(Exists("C:\\QUILLDATA\\PART2\\Release801"));
}

TEST_F(ConfigTest, FailedSaveLeavesTheKeysUnchanged)
{
    Put(PROG_INI, kQuillIni);
    PlatFaultArm("CreateDirectory", 1, ERROR_ACCESS_DENIED, 1);
    EXPECT_EQ(0, Upgrade());
    PlatFaultReset();
    EXPECT_EQ(kQuillIni, Get(PROG_INI));
    EXPECT_TRUE(Logged("\t\tUpdateQuillIni:Failed to create backup directory C:\\VIREO\\GARNET\\Release801"));
}

TEST_F(ConfigTest, DiagnosticsPackageChangesNothing)
{
    SetString(42, "QSD");
    Put(PROG_INI, kQuillIni);
    EXPECT_EQ(1, Upgrade());
    EXPECT_EQ(1, Revert());
    EXPECT_EQ(kQuillIni, Get(PROG_INI));
    EXPECT_FALSE(Exists(LEVEL_DIR));
}

TEST_F(ConfigTest, RestoreQuillIniPutsBackTwoKeysOrTheWholeMissingFile)
{
    Put(LEVEL_DIR "\\QUILL_INI.BCK", "[Quill]\r\nCFP_LP_CURRENT=old\r\nOther=1\r\n");
    Put(PROG_INI, "[Quill]\r\nCFP_LP_CURRENT=new\r\nCFP_LP_BASE_VERSION=new\r\nOther=2\r\n");
    EXPECT_EQ(1, RestoreQuillIni(PROG_INI, LEVEL_DIR "\\QUILL_INI.BCK"));
    EXPECT_EQ("[Quill]\r\nCFP_LP_CURRENT=old\r\nOther=2\r\n", Get(PROG_INI));
    PlatDeleteFile(PROG_INI);
    EXPECT_EQ(1, RestoreQuillIni(PROG_INI, LEVEL_DIR "\\QUILL_INI.BCK"));
    EXPECT_EQ("[Quill]\r\nCFP_LP_CURRENT=old\r\nOther=1\r\n", Get(PROG_INI));
    EXPECT_EQ(0, RestoreQuillIni(PROG_INI, LEVEL_DIR "\\MISSING.BCK"));
    EXPECT_TRUE(Logged("\tRestoreQuillIni: no backup file  C:\\VIREO\\GARNET\\Release801\\MISSING.BCK: can't restore "
                       "LP settings"));
}

TEST_F(ConfigTest, RollLpForwardMakesTheCurrentLevelThePreviousOne)
{
    Put(PROG_INI, "[Quill]\r\nCFP_LP_CURRENT=Release 8.0.2FP3|x\r\n");
    strcpy(gszCurrentRelease, "Release 8.0.2|May 1, 2010");
    RollLpForward();
    EXPECT_EQ("Release 8.0.2FP3|x", Key(PROG_INI, "Quill", "CFP_LP_PREV"));
    EXPECT_EQ("Release 8.0.2|May 1, 2010", Key(PROG_INI, "Quill", "CFP_LP_CURRENT"));
}

// ---- Removing emptied backup directories ----------------------------------

class BackupDirsTest : public LevelTest {};

TEST_F(BackupDirsTest, EmptyDirectoriesGoFullOnesStayMissingOnesAreNamed)
{
    Put(PATCH_INI, "[FIXPACKS]\r\nLabel001=\"Release 8.0.1|a\"\r\nLabel002=\"Release 8.0.2|b\"\r\n"
                   "[HOTFIXES]\r\nLabel001=\"Release 8.0.2HF1|c\"\r\n");
    MakeDirs(Host(LEVEL_DIR));
    Put("C:\\VIREO\\GARNET\\Release802\\a0001.IIB", "kept");
    RemoveBackupDirs();
    EXPECT_FALSE(Exists(LEVEL_DIR));
    EXPECT_TRUE(Exists("C:\\VIREO\\GARNET\\Release802\\a0001.IIB"));
    EXPECT_EQ((std::vector<std::string>{
                  "Failed to remove backup directory C:\\VIREO\\GARNET\\Release802: not empty",
                  "Failed to remove backup directory C:\\VIREO\\GARNET\\Release802HF1: no such directory",
              }),
              Log());
    EXPECT_TRUE(Exists(PATCH_INI));  // a fix pack keeps its records
}

TEST_F(BackupDirsTest, HotfixDropsTheRegistryUnlessTheRevertPutItBack)
{
    dwUpgradeType = 1;
    Put(PATCH_INI, "[HOTFIXES]\r\nLabel001=\"Release 8.0.2HF1|c\"\r\n");
    gbPatchIniRestored = 1;
    RemoveBackupDirs();
    EXPECT_TRUE(Exists(PATCH_INI));
    gbPatchIniRestored = 0;
    RemoveBackupDirs();
    EXPECT_FALSE(Exists(PATCH_INI));
}

TEST_F(BackupDirsTest, RemoveIniBackupsWithOnlyTheConfigurationCopy)
{
    Put(LEVEL_DIR "\\QUILL_INI.BCK", "[Quill]\r\n");
    EXPECT_EQ(1, RemoveIniBackups(LEVEL_DIR));
    EXPECT_FALSE(Exists(LEVEL_DIR));
    EXPECT_EQ((std::vector<std::string>{"Failed to remove files from the backup PATCH.ini file "
                                        "C:\\VIREO\\GARNET\\Release801\\PATCH_INI.BCK, error: 2"}),
              Log());
    EXPECT_EQ(0, RemoveIniBackups(LEVEL_DIR));
}

} // namespace

namespace {

// A revert after an upgrade that was stopped before it reached the
// configuration file: there is no saved copy, so the file was never changed
// and stays byte for byte as it is (no key is added).
TEST_F(ConfigTest, RevertWithoutASavedCopyLeavesTheFileAsItIs)
{
    Put(PROG_INI, kQuillIni);
    ASSERT_EQ(1, Revert());
    EXPECT_EQ(kQuillIni, Get(PROG_INI));
    EXPECT_TRUE(Logged("\tRestoreQuillIni: no backup file  C:\\VIREO\\GARNET\\Release801\\QUILL_INI.BCK: "
                       "C:\\VIREO\\GARNET\\QUILL.INI was not changed and stays as it is"));
}

} // namespace

// A configuration file that cannot be opened for a moment (another program
// holds it) is not missing: whichever open of the upgrade meets it held, the
// upgrade never writes a fresh file over it.
TEST_F(ConfigTest, AHeldConfigurationFileIsNotTakenForMissing)
{
    for (int n = 1; n <= 8; n++) {
        RemoveTree(LEVEL_DIR);
        Put(PROG_INI, kQuillIni);
        PlatFaultArm("Fopen", n, ERROR_SHARING_VIOLATION, 0);
        Upgrade();
        PlatFaultReset();
        std::string str = Get(PROG_INI);
        EXPECT_NE(std::string::npos, str.find("Directory=C:\\QUILLDATA\\PART1")) << n << ": " << str;
        EXPECT_NE(std::string::npos, str.find("[Other]\r\nColour=blue")) << n << ": " << str;
        if (Exists(LEVEL_DIR "\\QUILL_INI.BCK")) {
            EXPECT_EQ(kQuillIni, Get(LEVEL_DIR "\\QUILL_INI.BCK")) << n << ": not the mark of a file the upgrade made";
        }
    }
}

// A revert whose read of the saved copy fails neither empties nor deletes
// the key, reports the failure, and keeps the saved copy for a run again,
// which then restores the file as a clean revert does.
TEST_F(ConfigTest, AFailedReadOfTheSavedCopyFailsTheRevertAndKeepsTheCopy)
{
    Put(PROG_INI, kQuillIni);
    ASSERT_EQ(1, Upgrade());
    const std::string strUpgraded = Get(PROG_INI);
    PlatFaultArm("GetPrivateProfileString", 1, ERROR_ACCESS_DENIED, 0);
    EXPECT_EQ(0, Revert());
    PlatFaultReset();
    EXPECT_TRUE(Exists(LEVEL_DIR "\\QUILL_INI.BCK"));
    EXPECT_NE(std::string::npos, Get(PROG_INI).find("CFP_LP_BASE_VERSION=" FROM)) << Get(PROG_INI);
    EXPECT_EQ(1, Revert());
    EXPECT_EQ(kQuillIni, Get(PROG_INI));
    EXPECT_FALSE(Exists(LEVEL_DIR "\\QUILL_INI.BCK"));
}

// A key that cannot be read gives no value to go on with: the upgrade writes
// no key of that file (the saved copy is there) and reports the failure.
TEST_F(ConfigTest, AFailedKeyReadLeavesTheKeysAsTheyWere)
{
    Put(PROG_INI, kQuillIni);
    PlatFaultArm("GetPrivateProfileString", 1, ERROR_ACCESS_DENIED, 0);
    EXPECT_EQ(0, Upgrade());
    PlatFaultReset();
    EXPECT_EQ(kQuillIni, Get(PROG_INI));
    EXPECT_EQ(kQuillIni, Get(LEVEL_DIR "\\QUILL_INI.BCK"));
}

// A copy that fails half way leaves its destination as it was (a saved
// configuration, a backup) and no part-copy beside it.
TEST_F(ConfigTest, AFailedCopyLeavesTheDestinationAsItWas)
{
    Put(PROG_INI, kQuillIni);
    Put(LEVEL_DIR "\\QUILL_INI.BCK", "[Quill]\r\nCFP_LP_CURRENT=saved\r\n");
    PlatFaultArm("Fwrite", 1, 112, 0);
    EXPECT_EQ(0, CopyFileWhole(PROG_INI, LEVEL_DIR "\\QUILL_INI.BCK"));
    PlatFaultReset();
    EXPECT_EQ("[Quill]\r\nCFP_LP_CURRENT=saved\r\n", Get(LEVEL_DIR "\\QUILL_INI.BCK"));
    EXPECT_FALSE(Exists(LEVEL_DIR "\\QUILL_INI.BCK.UPN"));
    EXPECT_EQ(1, CopyFileWhole(PROG_INI, LEVEL_DIR "\\QUILL_INI.BCK"));
    EXPECT_EQ(kQuillIni, Get(LEVEL_DIR "\\QUILL_INI.BCK"));
}
