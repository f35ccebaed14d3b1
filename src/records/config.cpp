/*
 * config.cpp - the language-pack keys of the configuration file and the
 * saved copies of the configuration and patch registry files (config.h).
 *
 * Divisions:
 *   1. Small helpers: copies, names, the configuration file of a data
 *      directory
 *   2. One key: SetLpKey, RestoreLpKey
 *   3. Whole files: BackupIfMissing, RestoreQuillIni, RestorePatchIniWhole
 *   4. UpdateQuillIni and RollLpForward
 */
#include "records/config.h"

#include "platform/profile.h"
#include "records/patchini.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "shell/text.h"
#include "shell/utils.h"

#include <string.h>

#define STR_HOTFIX 42
#define STR_LANGUAGE_PACK 43
#define LP_SECTION "Quill"
#define LP_CURRENT "CFP_LP_CURRENT"
#define LP_PREV "CFP_LP_PREV"
#define LP_BASE "CFP_LP_BASE_VERSION"
#define LP_VALUE_SIZE 260
#define LP_ABSENT "DEFAULT"

int gbPatchIniRestored;
int gbPatchIniPutBack;

/* ---- 1. Small helpers ---------------------------------------------------- */

static int IsQsd(void) { return strcmp(StringText(STR_HOTFIX), "QSD") == 0; }

static int IsSkipPackage(void) { return strcmp(StringText(STR_LANGUAGE_PACK), "SKIP") == 0; }

/* The copy is made beside the destination ("%s.UPN") and replaces it in
 * one step once whole: a run stopped or failing half way never leaves a cut
 * copy under the destination's name (a backup that a later run would trust,
 * or a configuration file half restored). */
int CopyFileWhole(const char* szSource, const char* szDest)
{
    char szNew[MAX_PATH];
    unsigned long long cbSource = 0, cbDest = 0;
    DWORD dwAttributes = PlatGetFileAttributes(szDest);
    /* A read-only destination is not replaced, as it would not be written. */
    if (dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_READONLY)) {
        LogFormat(1, "Can't open new backup file %s for writing", szDest);
        return 0;
    }
    if (!TextFormat(szNew, sizeof(szNew), "%s.UPN", szDest)) return 0;
    if (!CopyFileContents(szSource, szNew) || !PlatGetFileSize(szSource, &cbSource) ||
        !PlatGetFileSize(szNew, &cbDest) || cbSource != cbDest || !PlatMoveFileReplace(szNew, szDest)) {
        PlatDeleteFile(szNew);
        return 0;
    }
    return 1;
}

/* Number of configuration files to visit: one per data directory, at least
 * one (the program directory's). */
static int ConfigCount(void) { return giPartitions > 1 ? giPartitions : 1; }

static int SeveralDataDirs(void) { return giPartitions > 1 && gpQuillData; }

/* The configuration file of data directory i. */
static void ConfigFileOf(int i, char* szFile, size_t cbFile)
{
    if (SeveralDataDirs()) {
        TextFormat(szFile, cbFile, "%s\\%s", gpQuillData[i], CONFIG_FILE_NAME);
        if (FileExists(szFile)) return;
    }
    TextFormat(szFile, cbFile, "%s\\%s", gpProgramDir, CONFIG_FILE_NAME);
}

/* The directory that holds data directory i's QUILL_INI.BCK for level
 * directory szDir, and that backup. */
static void ConfigBackupOf(int i, const char* szDir, char* szBackupDir, char* szBackup, size_t cb)
{
    const char* szBase = SeveralDataDirs() ? gpQuillData[i] : gpProgramDir;
    TextFormat(szBackupDir, cb, "%s\\%s", szBase, szDir);
    TextFormat(szBackup, cb, "%s\\%s", szBackupDir, CONFIG_BACKUP_NAME);
}

/* Creates the directory of a backup when it is not a directory yet. */
static void EnsureBackupDir(const char* szDir)
{
    if (DirectoryExists(szDir)) return;
    if (!PlatCreateDirectory(szDir)) LogFormat(2, "UpdateQuillIni:Failed to create backup directory %s", szDir);
}

/* The directory part of a path ("" when it has none). */
static void DirectoryOf(const char* szPath, char* szDir, size_t cbDir)
{
    const char* pSlash = strrchr(szPath, '\\');
    TextCopyN(szDir, cbDir, szPath, pSlash ? (size_t)(pSlash - szPath) : 0);
}

/* Reads a key of section "Quill": 1 with the value, 0 when absent. An empty
 * read logs szEmptyLine (with the last error) and counts as present; a read
 * that failed (an error besides the empty text) is -1: no value to go on
 * with. */
static int ReadLpKey(const char* szFile, const char* szKey, char* szValue, const char* szEmptyLine)
{
    PlatSetLastError(0);
    if (PlatGetPrivateProfileString(LP_SECTION, szKey, LP_ABSENT, szValue, LP_VALUE_SIZE, szFile) == 0) {
        DWORD dwError = PlatGetLastError();
        if (szEmptyLine) LogFormat(1, szEmptyLine, (int)dwError);
        if (dwError != 0) return -1;
    }
    return strcmp(szValue, LP_ABSENT) != 0;
}

/* Writes a key; on failure logs "Writing %s value to  Quill.ini error: %d". */
static int WriteLpKey(const char* szFile, const char* szKey, const char* szValue)
{
    if (PlatWritePrivateProfileString(LP_SECTION, szKey, szValue, szFile)) return 1;
    LogFormat(1, "Writing %s value to  Quill.ini error: %d", szKey, (int)PlatGetLastError());
    return 0;
}

/* The whole configuration file saved into szBackup (its directory made when
 * missing), unless a saved copy is there already. */
static int SaveConfigFile(const char* szFile, const char* szBackup)
{
    char szDir[MAX_PATH];
    if (FileExists(szBackup)) {
        LogFormat(1, "UpdateQuillIni: backup %s existed: not overwritten", szBackup);
        return 1;
    }
    DirectoryOf(szBackup, szDir, sizeof(szDir));
    if (szDir[0]) EnsureBackupDir(szDir);
    if (CopyFileWhole(szFile, szBackup)) {
        LogFormat(1, "UpdateQuillIni: backed up  %s to %s", szFile, szBackup);
        return 1;
    }
    LogFormat(1, "UpdateQuillIni: Couldn't backup  %s to %s", szFile, szBackup);
    return 0;
}

/* An empty QUILL_INI.BCK: the upgrade created the configuration file. */
static int IsCreatedMark(const char* szBackup)
{
    unsigned long long cb = 1;
    return PlatGetFileSize(szBackup, &cb) && cb == 0;
}

static void WriteCreatedMark(const char* szBackup)
{
    char szDir[MAX_PATH];
    PLATFILE* pf;
    if (FileExists(szBackup)) return;
    DirectoryOf(szBackup, szDir, sizeof(szDir));
    if (szDir[0]) EnsureBackupDir(szDir);
    pf = PlatFopen(szBackup, "wb");
    if (pf) PlatFclose(pf);
}

/* ---- 2. One key ------------------------------------------------------------ */

/* Records a new value; the whole file is saved into the backup first when no
 * saved copy exists, and the key stays unchanged when that save fails. */
static int SetLpKey(const char* szKey, const char* szValue, const char* szFile, const char* szBackup)
{
    if (!FileExists(szBackup) && !SaveConfigFile(szFile, szBackup)) return 0;
    if (!PlatWritePrivateProfileString(LP_SECTION, szKey, szValue, szFile)) {
        LogFormat(1, "Upgrading %s value to %s error in Quill.ini : %d", szKey, szValue, (int)PlatGetLastError());
        return 0;
    }
    return 1;
}

/* Puts one key back from the backup: written when the backup has it,
 * deleted when it has not. */
static int RestoreLpKey(const char* szKey, const char* szFile, const char* szBackup)
{
    char szValue[LP_VALUE_SIZE];
    DWORD dwError;
    if (!FileExists(szBackup)) return 0;
    PlatSetLastError(0);
    if (PlatGetPrivateProfileString(LP_SECTION, szKey, LP_ABSENT, szValue, sizeof(szValue), szBackup) == 0) {
        dwError = PlatGetLastError();
        LogFormat(1, "Getting profile string %s for Quill from the backup file %s : error: %d", szKey, szBackup,
                  (int)dwError);
        /* A read that failed says nothing of the saved value: the key is
         * neither emptied nor deleted on its word. */
        if (dwError != 0) return 0;
    }
    return WriteLpKey(szFile, szKey, strcmp(szValue, LP_ABSENT) == 0 ? NULL : szValue);
}

/* ---- 3. Whole files ---------------------------------------------------------- */

int BackupIfMissing(const char* szBackup, const char* szFile)
{
    if (FileExists(szBackup)) {
        LogFormat(1, "UpdateQuillIni: backup %s existed: not overwritten", szBackup);
        return 1;
    }
    if (CopyFileWhole(szFile, szBackup)) {
        LogFormat(1, "UpdateQuillIni: backed up  %s to %s", szFile, szBackup);
        return 1;
    }
    LogFormat(1, "UpdateQuillIni: Couldn't backup  %s to %s", szFile, szBackup);
    return 0;
}

int RestoreQuillIni(const char* szFile, const char* szBackup)
{
    int bBase, bCurrent;
    if (IsQsd()) return 1;
    if (!FileExists(szBackup)) {
        LogFormat(1, "RestoreQuillIni: no backup file  %s: can't restore LP settings", szBackup);
        return 0;
    }
    if (!FileExists(szFile)) {
        if (CopyFileWhole(szBackup, szFile)) {
            LogFormat(1, "RestoreQuillIni: copied  %s to %s", szBackup, szFile);
            return 1;
        }
        LogFormat(1, "RestoreQuillIni: Couldn't copy  %s to %s", szBackup, szFile);
    }
    if (!FileExists(szFile)) {
        LogFormat(1, "RestoreQuillIni: file %s doesn't exist ", szFile);
        return 0;
    }
    bBase = RestoreLpKey(LP_BASE, szFile, szBackup);
    if (!bBase) LogFormat(1, "Could not restore CFP_LP_BASE_VERSION from %s to %s", szBackup, szFile);
    bCurrent = RestoreLpKey(LP_CURRENT, szFile, szBackup);
    if (!bCurrent) LogFormat(1, "Could not restore CFP_LP_CURRENT from %s to %s", szBackup, szFile);
    /* Both keys or the restore failed: the saved copy must stay. */
    return bCurrent && bBase;
}

int RestorePatchIniWhole(const char* szFile, const char* szBackup)
{
    if (IsQsd()) return 1;
    if (!FileExists(szBackup)) {
        LogFormat(1, "RestoreQuillIni: no backup file  %s: can't restore LP settings", szBackup);
        return 0;
    }
    if (!CopyFileWhole(szBackup, szFile)) {
        LogFormat(1, "RestoreQuillIni: Couldn't copy  %s to %s", szBackup, szFile);
        return -1;
    }
    LogFormat(1, "RestoreQuillIni: copied  %s to %s", szBackup, szFile);
    return 1;
}

/* ---- 4. UpdateQuillIni and RollLpForward ------------------------------------- */

/* 1 when szFile was handled already in this call (several data directories
 * sharing the program directory's file); otherwise notes it. */
static int SeenBefore(char aszSeen[][MAX_PATH], int* pcSeen, int cMax, const char* szFile)
{
    int i;
    for (i = 0; i < *pcSeen; i++)
        if (strcmp(aszSeen[i], szFile) == 0) return 1;
    if (*pcSeen < cMax) TextCopy(aszSeen[(*pcSeen)++], MAX_PATH, szFile);
    return 0;
}

/* The patch registry file's backup in an upgrade: taken once, before any
 * record changes. */
static int SavePatchIni(const char* szDir)
{
    char szPatchIni[MAX_PATH];
    char szBackupDir[MAX_PATH];
    char szBackup[MAX_PATH];
    TextFormat(szPatchIni, sizeof(szPatchIni), "%s\\%s", gpProgramDir, "PATCH.INI");
    TextFormat(szBackupDir, sizeof(szBackupDir), "%s\\%s", gpProgramDir, szDir);
    TextFormat(szBackup, sizeof(szBackup), "%s\\%s", szBackupDir, PATCH_BACKUP_NAME);
    if (FileExists(szBackup) || !FileExists(szPatchIni)) return 1;
    EnsureBackupDir(szBackupDir);
    if (!CopyFileWhole(szPatchIni, szBackup)) {
        LogFormat(1, "UpdatePatchIni: Couldn't backup  %s to %s", szPatchIni, szBackup);
        return 0;
    }
    LogFormat(1, "UpdateQuillIni: backed up  %s to %s", szPatchIni, szBackup);
    return 1;
}

/* The patch registry file in a revert: put back whole; without a backup the
 * level had none, and the file goes. */
static int RevertPatchIni(const char* szDir)
{
    char szPatchIni[MAX_PATH];
    char szBackup[MAX_PATH];
    int r;
    TextFormat(szPatchIni, sizeof(szPatchIni), "%s\\%s", gpProgramDir, "PATCH.INI");
    TextFormat(szBackup, sizeof(szBackup), "%s\\%s\\%s", gpProgramDir, szDir, PATCH_BACKUP_NAME);
    if (gbPatchIniPutBack) {
        /* A stopped revert put the file back and removed its backup. */
        LogFormat(1, "%s was put back by the revert that was stopped", szPatchIni);
        gbPatchIniRestored = 1;
        return 1;
    }
    r = RestorePatchIniWhole(szPatchIni, szBackup);
    if (r == 1) {
        gbPatchIniRestored = 1;
        return 1;
    }
    if (r < 0) return 0;
    LogFormat(1, "PATCH.ini could not be restored from the backup %s removing %s", szBackup, szPatchIni);
    /* A registry that stays would list a level the files have left. */
    if (!PlatDeleteFile(szPatchIni) && FileExists(szPatchIni)) {
        LogFormat(1, "Couldn't remove %s: %d", szPatchIni, (int)PlatGetLastError());
        return 0;
    }
    return 1;
}

/* The keys of an existing configuration file in an upgrade of a package
 * that records its level. */
static int UpgradeKeys(const char* szFile, const char* szBackup, const char* szT, const char* szS,
                       const char* szV)
{
    char szValue[LP_VALUE_SIZE];
    char szPrev[LP_VALUE_SIZE];
    int iRead;
    if (!SaveConfigFile(szFile, szBackup)) return 0;

    iRead = ReadLpKey(szFile, LP_CURRENT, szValue, "Getting profile string for Quill,  CFP_LP_CURRENT: error: %d");
    if (iRead < 0) return 0;
    if (iRead == 0) {
        TextCopy(szPrev, sizeof(szPrev), szS);
    } else if (strcmp(szValue, "SKIP") == 0) {
        iRead = ReadLpKey(szFile, LP_BASE, szPrev, "Getting profile string for Quill,  CFP_LP_BASE_VERSION: error: %d");
        if (iRead < 0) return 0;
        if (iRead == 0) TextCopy(szPrev, sizeof(szPrev), szS);
    } else {
        TextCopy(szPrev, sizeof(szPrev), szValue);
    }
    if (!WriteLpKey(szFile, LP_PREV, szPrev)) return 0;

    if (IsSkipPackage()) {
        if (!SetLpKey(LP_BASE, szT, szFile, szBackup)) return 0;
    } else if (!WriteLpKey(szFile, LP_BASE, szS)) {
        return 0;
    }
    /* A key that could not be written is a failure the run reports. */
    return SetLpKey(LP_CURRENT, szV, szFile, szBackup);
}

/* An upgrade without a configuration file: the file is created with the
 * keys, and an empty saved copy tells the revert to delete it again. */
static int CreateConfigFile(const char* szFile, const char* szBackup, const char* szT, const char* szS)
{
    if (!PlatWritePrivateProfileSection(LP_SECTION, "\0", szFile)) {
        LogFormat(1, "Writing profile section to  Quill.ini error: %d", (int)PlatGetLastError());
        return 0;
    }
    WriteCreatedMark(szBackup);
    if (dwUpgradeType == 0) return WriteLpKey(szFile, LP_BASE, szT);
    if (!WriteLpKey(szFile, LP_BASE, IsSkipPackage() ? szT : szS)) return 0;
    if (!WriteLpKey(szFile, LP_CURRENT, StringText(STR_LANGUAGE_PACK))) return 0;
    return WriteLpKey(szFile, LP_PREV, gszCurrentRelease);
}

/* The keys of one configuration file in a revert: back from the saved copy
 * (only CFP_LP_BASE_VERSION for a package of upgrade type 0, the one key such
 * a package changes), then the copies are removed. */
static int RevertKeys(const char* szFile, const char* szBackup, const char* szBackupDir, const char* szV)
{
    int r = 1;
    if (FileExists(szBackup) && IsCreatedMark(szBackup)) {
        if (FileExists(szFile)) {
            if (!PlatDeleteFile(szFile)) {
                LogFormat(1, "Quill.ini coudl not be restored from the backup %s", szBackup);
                return 0;
            }
            LogFormat(1, "RestoreQuillIni: removed  %s that the upgrade created", szFile);
        }
    } else if (dwUpgradeType == 0 && !FileExists(szBackup)) {
        LogFormat(1, "RestoreQuillIni: no backup file  %s: can't restore LP settings", szBackup);
        return 0;
    } else if (!FileExists(szBackup)) {
        /* An upgrade saves the file before it changes a key: without the
         * saved copy the upgrade of this level never changed it (it was
         * stopped before), and the revert leaves it as it is. */
        LogFormat(1, "RestoreQuillIni: no backup file  %s: %s was not changed and stays as it is", szBackup, szFile);
        return 1;
    } else if (!FileExists(szFile) || dwUpgradeType != 0) {
        int bHadFile = FileExists(szFile);
        if (!RestoreQuillIni(szFile, szBackup)) {
            LogFormat(1, bHadFile ? "Quill.ini coudl not be restored from the backup %s"
                                  : "Quill.ini could not be restored from the backup %s",
                      szBackup);
            /* Without a saved copy the level left is still worth noting; the
             * saved copy stays for a revert run again, and the run fails. */
            WriteLpKey(szFile, LP_PREV, szV);
            return 0;
        }
        /* The saved copy stays until every key is back from it. */
        if (bHadFile && !RestoreLpKey(LP_PREV, szFile, szBackup)) return 0;
    } else if (!RestoreLpKey(LP_BASE, szFile, szBackup)) {
        LogFormat(1, "Quill.ini coudl not be restored from the backup %s", szBackup);
        return 0;
    }
    if (!RemoveIniBackups(szBackupDir)) LogFormat(1, "Directory %s could not be removed", szBackupDir);
    return r;
}

int UpdateQuillIni(const char* szTargetLabel, const char* szSourceLabel)
{
    char szT[LP_VALUE_SIZE];
    char szS[LP_VALUE_SIZE];
    char szV[LP_VALUE_SIZE];
    char szDir[BACKUP_NAME_SIZE];
    char szFile[MAX_PATH];
    char szBackupDir[MAX_PATH];
    char szBackup[MAX_PATH];
    char(*aszSeen)[MAX_PATH];
    int bUpgrade = giOperationMode != MODE_REVERT;
    int cFiles = ConfigCount();
    int i, cSeen = 0, r = 1;

    if (IsQsd()) return 1;
    TextCopy(szT, sizeof(szT), szTargetLabel);
    TextCopy(szS, sizeof(szS), szSourceLabel);
    TrimLabel(szT);
    TrimLabel(szS);
    BackupDirName(bUpgrade ? szS : szT, szDir);
    if (IsSkipPackage()) TextCopy(szV, sizeof(szV), "SKIP");
    else TextCopy(szV, sizeof(szV), bUpgrade ? szT : gszCurrentRelease);

    if (bUpgrade) {
        if (!SavePatchIni(szDir)) return 0;
    } else if (!RevertPatchIni(szDir)) {
        return 0;
    }

    aszSeen = (char(*)[MAX_PATH])PlatHeapAlloc((size_t)cFiles * MAX_PATH);
    if (!aszSeen) return 0;
    /* A file that fails does not stop the others: the failure is reported. */
    for (i = 0; i < cFiles; i++) {
        int rFile = 1;
        ConfigFileOf(i, szFile, sizeof(szFile));
        /* A data directory whose file is missing everywhere gets its own. */
        if (bUpgrade && SeveralDataDirs() && !FileExists(szFile))
            TextFormat(szFile, sizeof(szFile), "%s\\%s", gpQuillData[i], CONFIG_FILE_NAME);
        if (SeenBefore(aszSeen, &cSeen, cFiles, szFile)) continue;
        /* A data directory the upgrade skipped (a file of it was in use)
         * stays wholly at its level, its configuration too. */
        if (bUpgrade && SeveralDataDirs() && gpDataDirValid && !gpDataDirValid[i]) {
            LogFormat(1, "UpdateQuillIni: %s skipped with its data directory", szFile);
            continue;
        }
        ConfigBackupOf(i, szDir, szBackupDir, szBackup, sizeof(szBackup));
        if (!bUpgrade) {
            rFile = RevertKeys(szFile, szBackup, szBackupDir, szV);
        } else if (!FileExists(szFile)) {
            rFile = CreateConfigFile(szFile, szBackup, szT, szS);
        } else if (dwUpgradeType == 0) {
            rFile = SetLpKey(LP_BASE, szT, szFile, szBackup);
        } else {
            rFile = UpgradeKeys(szFile, szBackup, szT, szS, szV);
        }
        if (!rFile) r = 0;
        if (dwUpgradeType == 0) break;
    }
    PlatHeapFree(aszSeen);
    /* With several data directories the configuration copies lie under the
     * data directories; the level's directory in the program directory holds
     * the registry's copy, which the revert has put back. */
    if (!bUpgrade && SeveralDataDirs()) {
        TextFormat(szBackupDir, sizeof(szBackupDir), "%s\\%s", gpProgramDir, szDir);
        TextFormat(szBackup, sizeof(szBackup), "%s\\%s", szBackupDir, PATCH_BACKUP_NAME);
        if (gbPatchIniRestored) PlatDeleteFile(szBackup);
        PlatRemoveDirectory(szBackupDir);
    }
    return r;
}

void RollLpForward(void)
{
    char szFile[MAX_PATH];
    char szValue[LP_VALUE_SIZE];
    int i, cFiles = ConfigCount();
    for (i = 0; i < cFiles; i++) {
        ConfigFileOf(i, szFile, sizeof(szFile));
        if (ReadLpKey(szFile, LP_CURRENT, szValue, "Getting profile string for Quill,  CFP_LP_CURRENT_VERSION: error: %d") != 1)
            return;
        if (!PlatWritePrivateProfileString(LP_SECTION, LP_PREV, szValue, szFile)) {
            LogFormat(1, "Writing CFP_LP_PREV value to  Quill.ini error: %d", (int)PlatGetLastError());
            return;
        }
        if (!PlatWritePrivateProfileString(LP_SECTION, LP_CURRENT, gszCurrentRelease, szFile)) {
            LogFormat(1, "Writing CFP_LP_CURRENT_VERSION value to  Quill.ini error: %d", (int)PlatGetLastError());
            return;
        }
    }
}
