/*
 * driver.cpp - one upgrade or revert from end to end (driver.h).
 *
 * Divisions:
 *   1. The release table: labels and the file table
 *   2. The key file: its copy for the level, and the stamp
 *   3. UpgradeQuillVersion and its special revert path
 */
#include "engine/driver.h"

#include "engine/engine.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/ui.h"
#include "records/config.h"
#include "records/patchini.h"
#include "recovery/recovery.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "shell/text.h"
#include "shell/utils.h"

#include <string.h>

#define STR_DESCRIPTION 0
#define STR_KEY_FILE 1
#define STR_CAPTION 3
#define STR_NO_VERSION 32
#define DRIVER_LABEL_SIZE 260
#define DRIVER_KEY_COPY "qstrings.dll"
#define DRIVER_STAMP_TOOL "UpdateVersion.exe"
#define DRIVER_SPECIAL_DIR "Release802FP3"
#define DRIVER_REVERT_NOTE "UPRBREVERT.INI"
#define DRIVER_REVERT_SECTION "Revert"

char gszDriverFailure[260];
int gbRevertFinished;

/* Logs a failure of the run and keeps it for the upgrade page. */
static void DriverFailed(const char* szFormat, ...)
{
    va_list args;
    va_start(args, szFormat);
    TextFormatV(gszDriverFailure, sizeof(gszDriverFailure), szFormat, args);
    va_end(args);
    LogLine(gszDriverFailure, 0);
}

/* ---- 1. The release table ----------------------------------------------- */

/* A label field as stored: at most 99 characters up to its NUL. */
static void LabelField(const BYTE* pb, char* szOut, size_t cbOut)
{
    TextCopyN(szOut, cbOut, (const char*)pb, strnlen((const char*)pb, LABEL_FIELD_SIZE - 1));
}

/* The offset of the first file record after the checksum records, or 0
 * when the checksum records run past the table. */
static DWORD SkipChecksumRecords(const BYTE* pb, DWORD cb, DWORD dwChecksums)
{
    DWORD off = VERSION_HEADER_SIZE, i;
    for (i = 0; i < dwChecksums; i++) {
        const BYTE* pbNul;
        if (off > cb || cb - off < CHECKSUM_RECORD_FIXED + 1) return 0;
        pbNul = (const BYTE*)memchr(pb + off + CHECKSUM_RECORD_FIXED, 0, cb - off - CHECKSUM_RECORD_FIXED);
        if (!pbNul) return 0;
        off = (DWORD)(pbNul - pb) + 1;
    }
    return off;
}

int BuildDriverTable(const BYTE* pbRecords, DWORD cbRecords, DWORD dwRecords, DWORD dwEntries,
                     FILE_TABLE_ENTRY* pTable)
{
    DWORD off = 0, i, k;
    memset(pTable, 0, sizeof(FILE_TABLE_ENTRY) * FILE_TABLE_SLOTS);
    if (dwEntries > FILE_TABLE_MAX - 1) {
        LogFormat(0, "The package has %ld entries; at most %ld can be installed", (long)dwEntries,
                  (long)(FILE_TABLE_MAX - 1));
        return 0;
    }
    for (i = 0; i < dwRecords; i++) {
        const BYTE* pbRecord;
        const BYTE* pbNul;
        DWORD dwNum, dwDir;
        size_t cchName;
        if (!pbRecords || off > cbRecords || cbRecords - off < FILE_RECORD_FIXED + 1 ||
            !(pbNul = (const BYTE*)memchr(pbRecords + off + FILE_RECORD_FIXED, 0, cbRecords - off - FILE_RECORD_FIXED))) {
            LogFormat(0, "Damaged file record %d in the release table", (int)i);
            FreeFileTable(pTable);
            return 0;
        }
        pbRecord = pbRecords + off;
        cchName = (size_t)(pbNul - (pbRecord + FILE_RECORD_FIXED));
        dwNum = ReadLe32(pbRecord + 20);
        dwDir = ReadLe32(pbRecord + 8);
        LogFormat(0, "dwNum = %ld;  nDir = %ld \n", (long)dwNum, (long)dwDir);
        if (dwNum == 0 || dwNum > dwEntries) {
            LogFormat(0, "File record %ld names entry %ld, outside 1 to %ld: the package is refused", (long)i,
                      (long)dwNum, (long)dwEntries);
            FreeFileTable(pTable);
            return 0;
        }
        if (pTable[dwNum].lpFile) {
            LogFormat(0, "File record %ld names entry %ld a second time: the package is refused", (long)i, (long)dwNum);
            FreeFileTable(pTable);
            return 0;
        }
        pTable[dwNum].lpFile = (char*)PlatHeapAlloc(cchName + 1);
        if (!pTable[dwNum].lpFile) {
            LogFormat(0, "Failed to alloc memory on line %d in %s", 2, "driver");
            FreeFileTable(pTable);
            return 0;
        }
        memcpy(pTable[dwNum].lpFile, pbRecord + FILE_RECORD_FIXED, cchName);
        pTable[dwNum].dwDirectory = dwDir;
        pTable[dwNum].dwKind = ReadLe32(pbRecord + 4);
        pTable[dwNum].dwOldCrc = ReadLe32(pbRecord + 12);
        pTable[dwNum].dwNewCrc = ReadLe32(pbRecord + 16);
        pTable[dwNum].dwPayloadId = dwNum;
        LogFormat(0, "Loop %ld: file num: %ld dir: %d file: %s\n", (long)i, (long)dwNum, (int)dwDir,
                  pTable[dwNum].lpFile);
        off = (DWORD)(pbNul - pbRecords) + 1;
    }
    for (k = 1; k <= dwEntries; k++) {
        if (!pTable[k].lpFile) {
            LogFormat(0, "No file record names entry %ld: the package is refused", (long)k);
            FreeFileTable(pTable);
            return 0;
        }
    }
    return 1;
}

/* ---- 2. The key file -------------------------------------------------------- */

/* The backup directory of the run as a full path: gszBackupDir is a bare
 * name in the program directory or already a full path. */
static void BackupDirPath(char* szPath, size_t cbPath)
{
    if (strchr(gszBackupDir, ':') || gszBackupDir[0] == '\\') TextCopy(szPath, cbPath, gszBackupDir);
    else TextFormat(szPath, cbPath, "%s\\%s", gpProgramDir, gszBackupDir);
}

static void KeyCopyPath(char* szPath, size_t cbPath)
{
    char szDir[MAX_PATH];
    BackupDirPath(szDir, sizeof(szDir));
    TextFormat(szPath, cbPath, "%s\\%s", szDir, DRIVER_KEY_COPY);
}

static void KeyFilePath(char* szPath, size_t cbPath)
{
    TextFormat(szPath, cbPath, "%s\\%s", gpProgramDir, StringText(STR_KEY_FILE));
}

/* The level's copy of the key file, taken before anything is replaced and
 * never over an earlier copy. *pbMade tells whether this run made it. */
static int SaveKeyFile(int* pbMade)
{
    char szDir[MAX_PATH];
    char szCopy[MAX_PATH];
    char szKey[MAX_PATH];
    BackupDirPath(szDir, sizeof(szDir));
    KeyCopyPath(szCopy, sizeof(szCopy));
    KeyFilePath(szKey, sizeof(szKey));
    *pbMade = 0;
    if (FileExists(szCopy)) return 1;
    if (!DirectoryExists(szDir) && !PlatCreateDirectory(szDir)) {
        DriverFailed("Failed to create backup directory %s", szDir);
        return 0;
    }
    if (!CopyFileWhole(szKey, szCopy)) {
        DriverFailed("Couldn't copy the key file %s to %s", szKey, szCopy);
        return 0;
    }
    *pbMade = 1;
    return 1;
}

/* The revert: the level's key file back (in one step: a run stopped half
 * way never leaves a key file without its stamp), and its copy gone. */
static int PutKeyFileBack(void)
{
    char szCopy[MAX_PATH];
    char szKey[MAX_PATH];
    KeyCopyPath(szCopy, sizeof(szCopy));
    KeyFilePath(szKey, sizeof(szKey));
    if (!FileExists(szCopy)) return 1;
    if (!CopyFileWhole(szCopy, szKey)) {
        DriverFailed("Couldn't copy the key file %s back to %s", szCopy, szKey);
        return 0;
    }
    PlatDeleteFile(szCopy);
    return 1;
}

int StampKeyFile(const char* szLabel)
{
    char szKeyFile[MAX_PATH];
    char szCommand[TEXT_FORMAT_MAX];
    PLAT_PROCESS proc;
    DWORD dwExit = 1;
    int bStarted;

    TextFormat(szKeyFile, sizeof(szKeyFile), "%s\\%s", gpProgramDir, DRIVER_KEY_COPY);
    LogLine(szKeyFile, 0);
    TextFormat(szCommand, sizeof(szCommand), "%s \"%s\" \"%s\" write ", DRIVER_STAMP_TOOL, gpProgramDir, szLabel);
    if (gszStartDir[0]) PlatSetCurrentDirectory(gszStartDir);
    memset(&proc, 0, sizeof(proc));
    bStarted = PlatCreateProcess(szCommand, NULL, 0, 0, &proc) ? 1 : 0;
    if (!bStarted) {
        DWORD dwError = PlatGetLastError();
        PlatSetCurrentDirectory(gpProgramDir);
        LogLine(szCommand, 0);
        LogFormat(0, "Failed to upgrade qstrings.dll version: %d", (int)dwError);
        TextFormat(gszDriverFailure, sizeof(gszDriverFailure), "Failed to upgrade qstrings.dll version: %d",
                   (int)dwError);
        return 0;
    }
    PlatWaitForSingleObject(proc.hProcess, INFINITE);
    if (!PlatGetExitCodeProcess(proc.hProcess, &dwExit)) dwExit = 1;
    PlatCloseHandle(proc.hThread);
    PlatCloseHandle(proc.hProcess);
    PlatSetCurrentDirectory(gpProgramDir);
    if (dwExit != 0) {
        LogLine(szCommand, 0);
        DriverFailed("The version-stamp tool failed with exit code %d", (int)dwExit);
        return 0;
    }
    LogFormat(0, "Upgraded version to %s", szLabel);
    return 1;
}

/* ---- 3. UpgradeQuillVersion ------------------------------------------------------ */

static int DescriptionHas(const char* szWord) { return strstr(StringText(STR_DESCRIPTION), szWord) != NULL; }

static void RollbackCopyName(DWORD k, int j, char* szOut, size_t cbOut);
static void RollbackBackupName(DWORD k, char* szOut, size_t cbOut);

/* The note a revert keeps in the program directory from before its file
 * phases until its records are done: the level it reverts to, the level it
 * leaves, and whether the level's patch registry backup was there. A run
 * that finds the installation at the note's level finishes the records. */
static void RevertNotePath(char* szPath, size_t cbPath)
{
    TextFormat(szPath, cbPath, "%s\\%s", gpProgramDir, DRIVER_REVERT_NOTE);
}

static int WriteRevertNote(const char* szTarget, const char* szSource)
{
    char szPath[MAX_PATH];
    char szDir[MAX_PATH];
    char szBackup[MAX_PATH];
    char szText[TEXT_FORMAT_MAX];
    PLATFILE* pf;
    size_t cch;
    int bOk;
    RevertNotePath(szPath, sizeof(szPath));
    BackupDirPath(szDir, sizeof(szDir));
    TextFormat(szBackup, sizeof(szBackup), "%s\\%s", szDir, PATCH_BACKUP_NAME);
    if (!TextFormat(szText, sizeof(szText), "[" DRIVER_REVERT_SECTION "]\r\nTarget=%s\r\nSource=%s\r\nPatchIniBackup=%d\r\n",
                    szTarget, szSource, FileExists(szBackup))) {
        DriverFailed("Couldn't write %s", szPath);
        return 0;
    }
    pf = PlatFopen(szPath, "wb");
    if (!pf) {
        DriverFailed("Couldn't write %s: %d", szPath, (int)PlatGetLastError());
        return 0;
    }
    cch = strlen(szText);
    bOk = PlatFwrite(szText, 1, cch, pf) == cch;
    if (PlatFclose(pf) != 0) bOk = 0;
    if (!bOk) {
        DriverFailed("Couldn't write %s: %d", szPath, (int)PlatGetLastError());
        PlatDeleteFile(szPath);
        return 0;
    }
    return 1;
}

static void DropRevertNote(void)
{
    char szPath[MAX_PATH];
    RevertNotePath(szPath, sizeof(szPath));
    if (FileExists(szPath) && !PlatDeleteFile(szPath))
        LogFormat(0, "Couldn't remove %s: %d", szPath, (int)PlatGetLastError());
}

/* The steps of a revert after its files are back: the level's key file and
 * its stamp, the configuration keys and the patch registry, the emptied
 * level directories. Each can run again. 1 when all succeeded; the note is
 * then removed. */
static int RevertRecords(const char* szTarget, const char* szSource)
{
    int r = 1;
    int bStamped = !DescriptionHas("QSD") && !DescriptionHas("Custom") && !DescriptionHas("GWA");
    if (dwUpgradeType == 2) r = PutKeyFileBack();
    if (r && bStamped) r = StampKeyFile(szTarget);
    if (r && bStamped && !UpdateQuillIni(szTarget, szSource)) {
        /* The files are at the level, the records not yet: the note stays and
         * the same revert run again finishes them. */
        DriverFailed("Couldn't update %s with CFP_LP info", "QUILL.INI");
        r = 0;
    }
    if (r && !DescriptionHas("QSD") && !DescriptionHas("Custom")) RemoveBackupDirs();
    if (r) DropRevertNote();
    return r;
}

int FinishStoppedRevert(void)
{
    char szPath[MAX_PATH];
    char szTarget[DRIVER_LABEL_SIZE];
    char szSource[DRIVER_LABEL_SIZE];
    char szTo[DRIVER_LABEL_SIZE];
    char szCurrent[DRIVER_LABEL_SIZE];
    char szFlag[8];
    char szA[BACKUP_NAME_SIZE];
    char szB[BACKUP_NAME_SIZE];
    char szSavedCurrent[sizeof(gszCurrentRelease)];
    char szSavedDir[sizeof(gszBackupDir)];
    char szBackup[MAX_PATH];
    const BYTE* pb;
    DWORD cb = 0;
    int iSavedMode, r;

    gbRevertFinished = 0;
    RevertNotePath(szPath, sizeof(szPath));
    if (dwUpgradeType == 0 || !gpProgramDir || !FileExists(szPath)) return 0;
    pb = FindPayload(1, KIND_VERSION, &cb);
    if (!pb || cb < VERSION_HEADER_SIZE) return 0;
    PlatGetPrivateProfileString(DRIVER_REVERT_SECTION, "Target", "", szTarget, sizeof(szTarget), szPath);
    PlatGetPrivateProfileString(DRIVER_REVERT_SECTION, "Source", "", szSource, sizeof(szSource), szPath);
    PlatGetPrivateProfileString(DRIVER_REVERT_SECTION, "PatchIniBackup", "0", szFlag, sizeof(szFlag), szPath);
    LabelField(pb + LABEL_FIELD_SIZE, szTo, sizeof(szTo));
    TrimLabel(szTo);
    TextCopy(szCurrent, sizeof(szCurrent), gszCurrentRelease);
    TrimLabel(szCurrent);
    /* Another package's note, or a revert whose files are not all back (its
     * stamp still names the level it left): the revert run again does it
     * all. */
    if (!szTarget[0] || strcmp(szSource, szTo) != 0) return 0;
    if (strcmp(szCurrent, szTarget) != 0 &&
        strcmp(BackupDirName(szCurrent, szA), BackupDirName(szTarget, szB)) != 0)
        return 0;

    LogFormat(0, "The revert to %s was stopped after its files were back: its records are finished now", szTarget);
    iSavedMode = giOperationMode;
    TextCopy(szSavedCurrent, sizeof(szSavedCurrent), gszCurrentRelease);
    TextCopy(szSavedDir, sizeof(szSavedDir), gszBackupDir);
    giOperationMode = MODE_REVERT;
    TextCopy(gszCurrentRelease, sizeof(gszCurrentRelease), szSource);
    BackupDirName(szTarget, gszBackupDir);
    TextFormat(szBackup, sizeof(szBackup), "%s\\%s\\%s", gpProgramDir, gszBackupDir, PATCH_BACKUP_NAME);
    gbPatchIniPutBack = strcmp(szFlag, "1") == 0 && !FileExists(szBackup);
    gbPatchIniRestored = 0;
    gszDriverFailure[0] = 0;
    r = RevertRecords(szTarget, szSource);
    gbPatchIniPutBack = 0;
    giOperationMode = iSavedMode;
    TextCopy(gszCurrentRelease, sizeof(gszCurrentRelease), szSavedCurrent);
    TextCopy(gszBackupDir, sizeof(gszBackupDir), szSavedDir);
    if (!r) return -1;
    /* The copies the stopped run kept for its own rollback are not needed. */
    for (DWORD k = 1; k <= ReadLe32(pb + 212) && k < FILE_TABLE_MAX; k++) {
        for (int j = 0; j <= giPartitions && j < 100; j++) {
            RollbackCopyName(k, j, szBackup, sizeof(szBackup));
            if (FileExists(szBackup)) PlatDeleteFile(szBackup);
        }
        RollbackBackupName(k, szBackup, sizeof(szBackup));
        if (FileExists(szBackup)) PlatDeleteFile(szBackup);
    }
    LogFormat(0, "The revert to %s is finished", szTarget);
    gbRevertFinished = 1;
    return 1;
}

/* The revert to the base release whose backup directory is the special
 * one: handed to the recovery of recorded levels. */
static int SpecialRevert(char* szBase)
{
    char szPatchIni[MAX_PATH];
    TrimLabel(szBase);
    if (!RestoreBaseRelease(szBase, gszRevertLabel)) {
        DriverFailed("RestoreBaseRelease didn't work as expected");
        return 0;
    }
    if (strcmp(gszRevertLabel, szBase) != 0) {
        if (!RestoreBadFixpack()) {
            DriverFailed("RestoreFixpack didn't work as expected");
            return 0;
        }
        return 1;
    }
    RollLpForward();
    TextFormat(szPatchIni, sizeof(szPatchIni), "%s\\%s", gpProgramDir, "PATCH.INI");
    if (!PlatDeleteFile(szPatchIni))
        LogLine("Couldn't remove patch.ini: potential problem, might need to be removed manually", 0);
    return 1;
}

/* The targets of a table slot: one per data directory, or one. */
static int SlotTargets(const FILE_TABLE_ENTRY* pSlot, char (*aszTargets)[MAX_PATH], int cMax)
{
    int i, c = 0;
    if (pSlot->dwDirectory == DIR_DATA) {
        for (i = 0; gpQuillData && i < giPartitions && c < cMax; i++)
            TextFormat(aszTargets[c++], MAX_PATH, "%s\\%s", gpQuillData[i], pSlot->lpFile);
    } else if (pSlot->dwDirectory == DIR_SYSTEM && gpSystemDir) {
        TextFormat(aszTargets[c++], MAX_PATH, "%s\\%s", gpSystemDir, pSlot->lpFile);
    } else {
        TextFormat(aszTargets[c++], MAX_PATH, "%s\\%s", gpProgramDir, pSlot->lpFile);
    }
    return c;
}

/* The backup that the preparation of slot k made for szTarget. */
static void SlotBackup(DWORD k, const FILE_TABLE_ENTRY* pSlot, const char* szTarget, char* szBackup, size_t cb)
{
    char szName[BACKUP_NAME_SIZE];
    char szDir[MAX_PATH];
    if (dwUpgradeType != 0) {
        BackupDirPath(szDir, sizeof(szDir));
        TextFormat(szBackup, cb, "%s\\%s", szDir, BackupFileName(pSlot->lpFile, k, szName));
    } else {
        const char* pSlash = strrchr(szTarget, '\\');
        const char* pDot = strrchr(szTarget, '.');
        size_t cch = pDot && (!pSlash || pDot > pSlash) ? (size_t)(pDot - szTarget) : strlen(szTarget);
        TextCopyN(szName, sizeof(szName), szTarget, cch);
        TextFormat(szBackup, cb, "%s%04d.IIB", szName, (int)k);
    }
}

static int FileHasCrc(const char* szPath, DWORD dwCrc)
{
    PLATFILE* pf = PlatFopen(szPath, "rb");
    DWORD dwFile;
    if (!pf) return 0;
    dwFile = FileCrc32(pf);
    PlatFclose(pf);
    return dwFile == dwCrc;
}

/* The copies a run keeps for its own failure: of target j of entry k (in an
 * upgrade only of the delta entries, whose files the file phases replace
 * without a backup; in a revert of every installed target), and, in a
 * revert, of the backup of entry k that the revert consumes. */
static void RollbackCopyName(DWORD k, int j, char* szOut, size_t cbOut)
{
    TextFormat(szOut, cbOut, "%s\\UPRB%04d%02d.TMP", gpProgramDir, (int)k, j);
}

static void RollbackBackupName(DWORD k, char* szOut, size_t cbOut)
{
    TextFormat(szOut, cbOut, "%s\\UPRB%04d.BAK", gpProgramDir, (int)k);
}

static void DropRollbackCopies(const FILE_TABLE_ENTRY* pTable, DWORD dwEntries)
{
    char aszTargets[64][MAX_PATH];
    char szCopy[MAX_PATH];
    DWORD k;
    int j, cTargets;
    for (k = 1; k <= dwEntries; k++) {
        if (!pTable[k].lpFile) continue;
        cTargets = SlotTargets(&pTable[k], aszTargets, 64);
        for (j = 0; j < cTargets; j++) {
            RollbackCopyName(k, j, szCopy, sizeof(szCopy));
            if (FileExists(szCopy)) PlatDeleteFile(szCopy);
        }
        RollbackBackupName(k, szCopy, sizeof(szCopy));
        if (FileExists(szCopy)) PlatDeleteFile(szCopy);
    }
}

/* Makes the copies. 0 (logged) when one cannot be made; nothing has changed
 * then. */
static int SaveRollbackCopies(const FILE_TABLE_ENTRY* pTable, DWORD dwEntries, int bRevert)
{
    char aszTargets[64][MAX_PATH];
    char szCopy[MAX_PATH];
    char szSource[MAX_PATH];
    FILEENTRY_FIELDS fields;
    DWORD k;
    int j, cTargets;
    for (k = 1; k <= dwEntries; k++) {
        if (!pTable[k].lpFile) continue;
        if (!bRevert &&
            (!ReadFileEntry(k, szSource, sizeof(szSource), &fields) || fields.dwKind != FILE_KIND_DELTA))
            continue;
        cTargets = SlotTargets(&pTable[k], aszTargets, 64);
        /* A revert that was stopped after it took this entry's backup away
         * left the copy it kept of it: the backup goes back first. */
        RollbackBackupName(k, szCopy, sizeof(szCopy));
        if (bRevert && cTargets > 0 && FileExists(szCopy)) {
            SlotBackup(k, &pTable[k], aszTargets[0], szSource, sizeof(szSource));
            if (!FileExists(szSource)) {
                if (CopyFileWhole(szCopy, szSource))
                    LogFormat(0, "Put back %s from %s, left by a run that was stopped", szSource, szCopy);
                else
                    LogFormat(0, "Could not put back %s from %s, left by a run that was stopped", szSource, szCopy);
            }
        }
        for (j = 0; j <= cTargets; j++) {
            if (j < cTargets) {
                TextCopy(szSource, sizeof(szSource), aszTargets[j]);
                RollbackCopyName(k, j, szCopy, sizeof(szCopy));
            } else if (bRevert && cTargets > 0) {
                SlotBackup(k, &pTable[k], aszTargets[0], szSource, sizeof(szSource));
                RollbackBackupName(k, szCopy, sizeof(szCopy));
            } else {
                break;
            }
            if (!FileExists(szSource)) continue;
            if (!CopyFileWhole(szSource, szCopy)) {
                DriverFailed("Couldn't keep a copy of %s for the run in %s", szSource, szCopy);
                DropRollbackCopies(pTable, dwEntries);
                return 0;
            }
        }
    }
    return 1;
}

/* A revert that failed in its file phases puts every file back as it was
 * before the run, and the backups it consumed, so that the revert can run
 * again. 1 when everything is back. */
static int RollBackRevert(const FILE_TABLE_ENTRY* pTable, DWORD dwEntries)
{
    char aszTargets[64][MAX_PATH];
    char szCopy[MAX_PATH];
    char szBackup[MAX_PATH];
    DWORD k, dwCrc;
    int j, cTargets, bAll = 1;
    for (k = 1; k <= dwEntries; k++) {
        TextFormat(szCopy, sizeof(szCopy), "%s\\UPTMP%04d.TMP", gpProgramDir, (int)k);
        PlatDeleteFile(szCopy);
        if (!pTable[k].lpFile) continue;
        cTargets = SlotTargets(&pTable[k], aszTargets, 64);
        for (j = 0; j < cTargets; j++) {
            PLATFILE* pf;
            RollbackCopyName(k, j, szCopy, sizeof(szCopy));
            if (!FileExists(szCopy)) {
                if (FileExists(aszTargets[j]) && PlatDeleteFile(aszTargets[j]))
                    LogFormat(1, "Removed %s, which the level before the run did not have", aszTargets[j]);
                continue;
            }
            pf = PlatFopen(szCopy, "rb");
            dwCrc = pf ? FileCrc32(pf) : 0;
            if (pf) PlatFclose(pf);
            if (FileHasCrc(aszTargets[j], dwCrc)) continue;
            if (CopyFileWhole(szCopy, aszTargets[j])) {
                LogFormat(1, "Put back %s from %s", aszTargets[j], szCopy);
            } else {
                LogFormat(1, "Could not put back %s; its file before the run is %s", aszTargets[j], szCopy);
                bAll = 0;
            }
        }
        RollbackBackupName(k, szCopy, sizeof(szCopy));
        if (cTargets == 0 || !FileExists(szCopy)) continue;
        SlotBackup(k, &pTable[k], aszTargets[0], szBackup, sizeof(szBackup));
        if (FileExists(szBackup)) continue;
        if (CopyFileWhole(szCopy, szBackup)) {
            LogFormat(1, "Put back %s from %s", szBackup, szCopy);
        } else {
            LogFormat(1, "Could not put back %s; its file before the run is %s", szBackup, szCopy);
            bAll = 0;
        }
    }
    return bAll;
}

/* An upgrade that failed in its file phases puts every file back at the
 * level before the run: from the backups the run made, or, for a file the
 * level did not have, by deleting it. Once every file is back, the backups
 * and the key file's copy go too. 1 when every file is back. */
static int RollBackUpgrade(const FILE_TABLE_ENTRY* pTable, DWORD dwEntries, int bKeyCopyMade)
{
    char aszTargets[64][MAX_PATH];
    char szBackup[MAX_PATH];
    DWORD k;
    int j, cTargets, bAll = 1;
    for (k = 1; k <= dwEntries; k++) {
        TextFormat(szBackup, sizeof(szBackup), "%s\\UPTMP%04d.TMP", gpProgramDir, (int)k);
        PlatDeleteFile(szBackup);
        if (!pTable[k].lpFile) continue;
        cTargets = SlotTargets(&pTable[k], aszTargets, 64);
        for (j = 0; j < cTargets; j++) {
            const char* szTarget = aszTargets[j];
            if (pTable[k].dwOldCrc != 0 ? FileHasCrc(szTarget, pTable[k].dwOldCrc) : !FileExists(szTarget)) continue;
            RollbackCopyName(k, j, szBackup, sizeof(szBackup));
            if (!FileExists(szBackup)) SlotBackup(k, &pTable[k], szTarget, szBackup, sizeof(szBackup));
            if (pTable[k].dwOldCrc == 0 && !FileExists(szBackup)) {
                if (PlatDeleteFile(szTarget)) {
                    LogFormat(1, "Removed %s, which the level before the run did not have", szTarget);
                    continue;
                }
            } else if (FileHasCrc(szBackup, pTable[k].dwOldCrc) && CopyFileWhole(szBackup, szTarget)) {
                LogFormat(1, "Put back %s from %s", szTarget, szBackup);
                continue;
            }
            /* Without a backup only a file the run changed is a loss; another
             * version that the run kept stays as it was. */
            if (!FileExists(szBackup) && !FileHasCrc(szTarget, pTable[k].dwNewCrc)) continue;
            LogFormat(1, "Could not put back %s; its file before the run is %s", szTarget, szBackup);
            bAll = 0;
        }
    }
    if (!bAll) return 0;
    /* Every file is as before: the copies of this run are not needed. */
    for (k = 1; k <= dwEntries; k++) {
        if (!pTable[k].lpFile) continue;
        cTargets = SlotTargets(&pTable[k], aszTargets, 64);
        for (j = 0; j < cTargets; j++) {
            SlotBackup(k, &pTable[k], aszTargets[j], szBackup, sizeof(szBackup));
            if (FileExists(szBackup) && FileHasCrc(szBackup, pTable[k].dwOldCrc)) PlatDeleteFile(szBackup);
        }
    }
    if (bKeyCopyMade) {
        KeyCopyPath(szBackup, sizeof(szBackup));
        PlatDeleteFile(szBackup);
    }
    if (dwUpgradeType != 0) {
        BackupDirPath(szBackup, sizeof(szBackup));
        PlatRemoveDirectory(szBackup);
    }
    return 1;
}

/* The two file phases. 1 when both succeeded. */
static int RunFilePhases(FILE_TABLE_ENTRY* pTable, DWORD dwEntries, int bUpgrade, int bKeyCopyMade)
{
    if (!SaveRollbackCopies(pTable, dwEntries, !bUpgrade)) return 0;
    if (!CreateUpgradedFiles(dwEntries)) {
        DriverFailed("Failed to CreateUpgradedFiles() ");
    } else if (!RenameTempFiles(pTable, dwEntries)) {
        DriverFailed("Failed to RenameTempFiles() ");
    } else {
        DropRollbackCopies(pTable, dwEntries);
        return 1;
    }
    if (bUpgrade ? RollBackUpgrade(pTable, dwEntries, bKeyCopyMade) : RollBackRevert(pTable, dwEntries))
        LogLine("Every file is back at the level before the run", 0);
    else
        LogLine("Some files could not be put back; their files before the run are named above", 0);
    DropRollbackCopies(pTable, dwEntries);
    return 0;
}

int UpgradeQuillVersion(void)
{
    const BYTE* pb;
    DWORD cb = 0, dwCount212, dwCount216, offRecords;
    char szFrom[DRIVER_LABEL_SIZE];
    char szTo[DRIVER_LABEL_SIZE];
    char szBase[DRIVER_LABEL_SIZE];
    char szTarget[DRIVER_LABEL_SIZE];
    char szSource[DRIVER_LABEL_SIZE];
    char szSpecial[DRIVER_LABEL_SIZE];
    FILE_TABLE_ENTRY* pTable;
    int bUpgrade = giOperationMode != MODE_REVERT;
    int bKeyCopyMade = 0;
    int r = 1;

    gbPatchIniRestored = 0;
    LogLine("Entered UpgradeQuillVersion()", 0);
    /* Identification finished a stopped revert to the level asked for. */
    if (!bUpgrade && gbRevertFinished) {
        LogLine("Exiting UpgradeQuillVersion(): 1", 0);
        return 1;
    }
    gszDriverFailure[0] = 0;
    pb = FindPayload(1, KIND_VERSION, &cb);
    if (!pb || cb < VERSION_HEADER_SIZE) {
        TextCopy(gszDriverFailure, sizeof(gszDriverFailure), StringText(STR_NO_VERSION));
        if (gwOptions & OPT_NOUSER) LogLine(gszDriverFailure, 0);
        else PlatMessageBox(ghMainDlg, StringText(STR_NO_VERSION), StringText(STR_CAPTION), MB_OK);
        return 0;
    }

    gdwChecksums = ReadLe32(pb + 204);
    dwCount212 = ReadLe32(pb + 212);
    dwCount216 = ReadLe32(pb + 216);
    dwUpgradeType = ReadLe32(pb + 228);
    dwNumFiles = dwUpgradeType != 0 ? dwCount216 : dwCount212;
    LogFormat(0, "dwNumFiles = %ld;  gdwChecksums = %ld; dwUpgradeType %d \n", (long)dwNumFiles, (long)gdwChecksums,
              (int)dwUpgradeType);
    LabelField(pb, szFrom, sizeof(szFrom));
    LabelField(pb + LABEL_FIELD_SIZE, szTo, sizeof(szTo));
    LogLine(szFrom, 0);
    LogLine(szTo, 0);

    TextCopy(szBase, sizeof(szBase), szFrom);
    if (bUpgrade) TextCopy(szTarget, sizeof(szTarget), szTo);
    else TextCopy(szTarget, sizeof(szTarget), dwUpgradeType == 0 ? szFrom : gszRevertLabel);
    TextCopy(szSource, sizeof(szSource), bUpgrade ? szFrom : szTo);
    TrimLabel(szBase);
    TrimLabel(szTarget);
    TrimLabel(szSource);

    BaseName(gszBackupDir, szSpecial, sizeof(szSpecial));
    if (!bUpgrade && dwUpgradeType == 2 && strcmp(szSpecial, DRIVER_SPECIAL_DIR) == 0) return SpecialRevert(szBase);
    /* The level directory of an upgrade is the one that is left. */
    if (bUpgrade && dwUpgradeType != 0 && !gszBackupDir[0]) BackupDirName(szSource, gszBackupDir);

    offRecords = SkipChecksumRecords(pb, cb, gdwChecksums);
    pTable = (FILE_TABLE_ENTRY*)PlatHeapAlloc(sizeof(FILE_TABLE_ENTRY) * FILE_TABLE_SLOTS);
    if (!pTable) {
        DriverFailed("Failed to alloc memory on line %d in %s", 1, "driver");
        r = 0;
    } else if (!offRecords || !BuildDriverTable(pb + offRecords, cb - offRecords, dwNumFiles, dwCount212, pTable)) {
        if (!offRecords) LogLine("Damaged checksum records in the release table", 0);
        DriverFailed("The package's file records are damaged: nothing was changed");
        r = 0;
    }

    if (r && bUpgrade && dwUpgradeType == 2) r = SaveKeyFile(&bKeyCopyMade);
    if (r && !bUpgrade && dwUpgradeType != 0) r = WriteRevertNote(szTarget, szSource);
    if (r) {
        r = RunFilePhases(pTable, dwCount212, bUpgrade, bKeyCopyMade);
        if (!r && !bUpgrade && dwUpgradeType != 0) DropRevertNote();
    }
    if (!bUpgrade && dwUpgradeType != 0) {
        /* A revert of a recorded level: its records follow its files. */
        if (r) r = RevertRecords(szTarget, szSource);
    } else {
        if (r && dwUpgradeType != 0 && !DescriptionHas("QSD") && !DescriptionHas("Custom") &&
            !DescriptionHas("GWA"))
            r = StampKeyFile(szTarget);
        /* The configuration and the records follow only a run whose files and
         * stamp are in place. */
        if (r && !DescriptionHas("QSD") && !DescriptionHas("Custom") && !DescriptionHas("GWA") &&
            !UpdateQuillIni(szTarget, szSource))
            LogFormat(0, "Couldn't update %s with CFP_LP info", "QUILL.INI");
        if (r && dwUpgradeType != 0) {
            if (!RecordFix(szBase, szTarget, dwCount216, pb + offRecords, cb - offRecords)) {
                /* The files and the stamp are in place, but without the record
                 * no revert can find this level: the run has failed. */
                DriverFailed("Couldn't record the fix in %s", gpszPatchIni);
                r = 0;
            }
        } else if (r && bUpgrade) {
            RemoveBackupDirs();
        }
    }

    if (pTable) {
        FreeFileTable(pTable);
        PlatHeapFree(pTable);
    }
    LogFormat(0, "Exiting UpgradeQuillVersion(): %d", r);
    return r;
}
