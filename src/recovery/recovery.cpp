/*
 * recovery.cpp - restoring recorded levels (recovery.h).
 *
 * Divisions:
 *   1. Helpers: the wizard's status, copies, the package's file table
 *   2. Backups found elsewhere: FindBackupInLabels, FindBackupByChecksum
 *   3. RestoreFiles
 *   4. RestoreBaseRelease and RestoreBadFixpack
 *
 * A level's section of the patch registry file lists per entry k
 * "File%03d" (relative name), "Checksum%03d" ("%#lxL") and
 * "BackupName%03d" (relative to the program directory).
 */
#include "recovery/recovery.h"

#include "engine/driver.h"
#include "identify/backupset.h"
#include "identify/mode.h"
#include "package/store.h"
#include "platform/dialog.h"
#include "platform/profile.h"
#include "platform/ui.h"
#include "records/config.h"
#include "records/patchini.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "shell/text.h"
#include "shell/utils.h"
#include "ui/gauge.h"
#include "ui/resource.h"

#include <string.h>

#define STR_DESCRIPTION 0
#define STR_KEY_FILE 1
#define STR_RELEASE_TEXT 2
#define STR_HOTFIX 42
#define RECOVERY_VALUE_SIZE 260

/* ---- 1. Helpers ---------------------------------------------------------- */

static void ShowStatus(const char* szText)
{
    if (!ghMainDlg) return;
    PlatSetDlgItemText(ghMainDlg, IDC_MESSAGE, szText);
    PlatShowWindow(PlatGetDlgItem(ghMainDlg, IDC_MESSAGE), SW_SHOW);
}

static void ShowItem(int iId, int bShow)
{
    if (ghMainDlg) PlatShowWindow(PlatGetDlgItem(ghMainDlg, iId), bShow ? SW_SHOW : SW_HIDE);
}

static void ShowGauge(HWND hGauge, int bShow)
{
    if (hGauge) PlatShowWindow(hGauge, bShow ? SW_SHOW : SW_HIDE);
}

static void GaugeCommand(HWND hGauge, int iCommand, DWORD dwValue)
{
    if (hGauge) PlatSendMessage(hGauge, WM_COMMAND, (WPARAM)iCommand, (LPARAM)dwValue);
}

/* The label text up to its "|". */
static void LabelCut(const char* szLabel, char* szOut, size_t cbOut)
{
    const char* pBar = strchr(szLabel, '|');
    TextCopyN(szOut, cbOut, szLabel, pBar ? (size_t)(pBar - szLabel) : strlen(szLabel));
}

static int SamePath(const char* szA, const char* szB)
{
    for (; *szA && *szB; szA++, szB++) {
        char a = *szA, b = *szB;
        if (a >= 'a' && a <= 'z') a = (char)(a - 'a' + 'A');
        if (b >= 'a' && b <= 'z') b = (char)(b - 'a' + 'A');
        if (a != b) return 0;
    }
    return *szA == *szB;
}

/* Copies a backup over a target; a backup that is the target itself is
 * left alone (copying a file onto itself would empty it). */
static int CopyOver(const char* szSource, const char* szDest)
{
    if (SamePath(szSource, szDest)) return 1;
    return CopyFileWhole(szSource, szDest);
}

static int IsUnattended(void) { return (gwOptions & OPT_NOUSER) != 0; }

static void PatchIniPath(char* szPath, size_t cbPath)
{
    TextFormat(szPath, cbPath, "%s\\%s", gpProgramDir, gpszPatchIni);
}

/* The CRC-32 of a file as "%#lxL"; 0 when it cannot be opened. */
static int ChecksumText(const char* szPath, char* szOut, size_t cbOut, DWORD* pdwCrc)
{
    PLATFILE* pf = PlatFopen(szPath, "rb");
    DWORD dwCrc;
    if (!pf) return 0;
    dwCrc = FileCrc32(pf);
    PlatFclose(pf);
    if (pdwCrc) *pdwCrc = dwCrc;
    TextFormat(szOut, cbOut, "%#lxL", dwCrc);
    return 1;
}

/* The number a recorded checksum stands for ("0x1a2bL", "0L", "1a2b"):
 * checksums are compared as numbers, so "0L" and "0x0L" agree. 0 for a text
 * that is not one hexadecimal number. */
static int ChecksumValue(const char* szText, DWORD* pdwCrc)
{
    const char* p = szText;
    unsigned long long ull = 0;
    int cDigits = 0;
    *pdwCrc = 0;
    if (!p) return 0;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) p += 2;
    for (; *p; p++) {
        int iDigit;
        if (*p >= '0' && *p <= '9') iDigit = *p - '0';
        else if (*p >= 'a' && *p <= 'f') iDigit = *p - 'a' + 10;
        else if (*p >= 'A' && *p <= 'F') iDigit = *p - 'A' + 10;
        else break;
        ull = ull * 16 + (unsigned)iDigit;
        if (++cDigits > 8) return 0;
    }
    if ((*p == 'L' || *p == 'l') && p[1] == 0) p++;
    if (*p || cDigits == 0) return 0;
    *pdwCrc = (DWORD)ull;
    return 1;
}

/* The package's file table, or NULL when it has none. */
static FILE_TABLE_ENTRY* LoadTable(DWORD* pdwCount)
{
    FILE_TABLE_ENTRY* pTable = (FILE_TABLE_ENTRY*)PlatHeapAlloc(sizeof(FILE_TABLE_ENTRY) * FILE_TABLE_SLOTS);
    *pdwCount = 0;
    if (!pTable) return NULL;
    *pdwCount = LoadFileTable(pTable);
    if (*pdwCount == 0) {
        PlatHeapFree(pTable);
        return NULL;
    }
    if (*pdwCount > FILE_TABLE_MAX) *pdwCount = FILE_TABLE_MAX;
    return pTable;
}

static void FreeTable(FILE_TABLE_ENTRY* pTable)
{
    if (!pTable) return;
    FreeFileTable(pTable);
    PlatHeapFree(pTable);
}

/* Base names compared without regard to case. */
static int SameBaseName(const char* szA, const char* szB)
{
    char szBaseA[MAX_PATH], szBaseB[MAX_PATH];
    BaseName(szA, szBaseA, sizeof(szBaseA));
    BaseName(szB, szBaseB, sizeof(szBaseB));
    return SamePath(szBaseA, szBaseB);
}

/* The directory code the package gives the file (0 when it does not know it). */
static DWORD PackageDirectoryOf(const FILE_TABLE_ENTRY* pTable, DWORD dwCount, const char* szFile)
{
    DWORD i;
    for (i = 1; pTable && i <= dwCount; i++)
        if (pTable[i].lpFile && SamePath(pTable[i].lpFile, szFile)) return pTable[i].dwDirectory;
    return 0;
}

/* ---- 2. Backups found elsewhere -------------------------------------------- */

/* Tries the candidate of one level for the target. 1 when restored. */
static int TryCandidate(const char* szCandidate, const char* szTarget, const char* szChecksum,
                        const FILE_TABLE_ENTRY* pTable, DWORD dwCount)
{
    char szCrc[32];
    DWORD dwCrc = 0, dwRecorded, i;
    if (!FileExists(szCandidate)) {
        if (!CopyFileWhole(szTarget, szCandidate))
            LogFormat(0, "Failed to create a  backup for %s in %s", szTarget, szCandidate);
        return 0;
    }
    if (!ChecksumText(szCandidate, szCrc, sizeof(szCrc), &dwCrc)) {
        LogFormat(0, "Can't open %s to get checksum", szCandidate);
        return 0;
    }
    if (ChecksumValue(szChecksum, &dwRecorded) && dwRecorded == dwCrc) {
        if (CopyOver(szCandidate, szTarget)) return 1;
        LogFormat(0, "Failed to restore %s to %s", szCandidate, szTarget);
        return 0;
    }
    /* Another level's copy serves when it is the package's old content of
     * the same file, never of another file that happens to match. */
    for (i = 1; i <= dwCount; i++) {
        if (!pTable[i].lpFile || pTable[i].dwOldCrc != dwCrc || !SameBaseName(pTable[i].lpFile, szTarget)) continue;
        if (CopyOver(szCandidate, szTarget)) return 1;
        LogFormat(0, "Failed to restore %s to %s", szCandidate, szTarget);
    }
    return 0;
}

static int FindBackupInTable(const char* szName, const char* szTarget, const char* szChecksum,
                             const FILE_TABLE_ENTRY* pTable, DWORD dwCount)
{
    static const char* const aszLists[] = {PATCHINI_FIXPACKS, PATCHINI_HOTFIXES};
    char szPatchIni[MAX_PATH];
    char szProbe[4];
    char szKey[32];
    char szLabel[RECOVERY_VALUE_SIZE];
    char szDirName[BACKUP_NAME_SIZE];
    char szDir[MAX_PATH];
    char szCandidate[MAX_PATH];
    size_t iList;
    int iLabel;

    if (!pTable || !szName || !szName[0]) return 0;
    PatchIniPath(szPatchIni, sizeof(szPatchIni));
    for (iList = 0; iList < sizeof(aszLists) / sizeof(aszLists[0]); iList++) {
        if (PlatGetPrivateProfileSection(aszLists[iList], szProbe, sizeof(szProbe), szPatchIni) == 0) {
            LogFormat(0, "Getting profile string for section %s in %s: error: %d", aszLists[iList], szPatchIni,
                      (int)PlatGetLastError());
            continue;
        }
        for (iLabel = 1;; iLabel++) {
            TextFormat(szKey, sizeof(szKey), "Label%03d", iLabel);
            if (PlatGetPrivateProfileString(aszLists[iList], szKey, PATCHINI_END_MARK, szLabel, sizeof(szLabel),
                                            szPatchIni) == 0) {
                LogFormat(0, "Getting profile string for %s, section %s in %s: error: %d", szKey, aszLists[iList],
                          szPatchIni, (int)PlatGetLastError());
                continue;
            }
            if (strcmp(szLabel, PATCHINI_END_MARK) == 0) break;
            TextFormat(szDir, sizeof(szDir), "%s\\%s", gpProgramDir, BackupDirName(szLabel, szDirName));
            if (!DirectoryExists(szDir)) {
                LogFormat(0, "No backup dir for %s", szLabel);
                continue;
            }
            TextFormat(szCandidate, sizeof(szCandidate), "%s\\%s", szDir, szName);
            if (TryCandidate(szCandidate, szTarget, szChecksum, pTable, dwCount)) return 1;
        }
    }
    return 0;
}

int FindBackupInLabels(const char* szName, const char* szTarget, const char* szChecksum)
{
    DWORD dwCount;
    FILE_TABLE_ENTRY* pTable = LoadTable(&dwCount);
    int r = FindBackupInTable(szName, szTarget, szChecksum, pTable, dwCount);
    FreeTable(pTable);
    return r;
}

static void FindByChecksumInTable(const char* szFile, char* szOut, size_t cbOut, const FILE_TABLE_ENTRY* pTable,
                                  DWORD dwCount)
{
    char szStem[MAX_PATH];
    char szSubDir[MAX_PATH];
    char szPattern[MAX_PATH];
    char szMatch[MAX_PATH];
    char szPath[MAX_PATH];
    char szCrc[32];
    const char* pSlash;
    PLAT_FIND_DATA fd;
    HANDLE hFind;
    DWORD dwCrc, i;

    szOut[0] = 0;
    if (!pTable || !szFile) return;
    StripExtension(szFile, szStem, sizeof(szStem));
    pSlash = strrchr(szFile, '\\');
    TextCopyN(szSubDir, sizeof(szSubDir), szFile, pSlash ? (size_t)(pSlash - szFile) + 1 : 0);
    TextFormat(szPattern, sizeof(szPattern), "%s\\%s*", gpProgramDir, szStem);
    hFind = PlatFindFirstFile(szPattern, &fd);
    if (!hFind) return;
    do {
        if (IsDotEntry(fd.cFileName) || (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        TextFormat(szMatch, sizeof(szMatch), "%s%s", szSubDir, fd.cFileName);
        TextFormat(szPath, sizeof(szPath), "%s\\%s", gpProgramDir, szMatch);
        if (!ChecksumText(szPath, szCrc, sizeof(szCrc), &dwCrc)) continue;
        for (i = 1; i <= dwCount; i++) {
            if (pTable[i].lpFile && strcmp(pTable[i].lpFile, szFile) == 0 && pTable[i].dwOldCrc == dwCrc) {
                TextCopy(szOut, cbOut, szMatch);
                PlatFindClose(hFind);
                return;
            }
        }
    } while (PlatFindNextFile(hFind, &fd));
    PlatFindClose(hFind);
}

void FindBackupByChecksum(const char* szFile, char* szOut, size_t cbOut)
{
    DWORD dwCount;
    FILE_TABLE_ENTRY* pTable = LoadTable(&dwCount);
    FindByChecksumInTable(szFile, szOut, cbOut, pTable, dwCount);
    FreeTable(pTable);
}

/* ---- 3. RestoreFiles ------------------------------------------------------------ */

/* One entry of a level section. */
typedef struct RESTORE_ENTRY {
    char szFile[RECOVERY_VALUE_SIZE];
    char szChecksum[RECOVERY_VALUE_SIZE];
    char szBackup[MAX_PATH];     /* full path, "" without a backup */
    char szBackupName[MAX_PATH]; /* its base name */
    int bInData;                 /* restored into every data directory */
} RESTORE_ENTRY;

/* The four product files that a restore may delete when no level has them. */
static int IsDroppableProduct(const char* szPath)
{
    return strstr(szPath, "qweb.exe") || strstr(szPath, "qwebdll.dll") || strstr(szPath, "qicm.exe") ||
           strstr(szPath, "qclrepl.exe");
}

static int DataDirCount(void) { return gpQuillData ? giPartitions : 0; }

/* Saves "PATCH.INI" and the configuration files into the freshly created
 * backup directory of the installed release. */
static void SaveLevelFiles(void)
{
    char szFile[MAX_PATH];
    char szBackup[MAX_PATH];
    int i;
    if (strstr(StringText(STR_DESCRIPTION), "QSD")) return;
    if (giPartitions > 1 && gpQuillData) {
        for (i = 0; i < giPartitions; i++) {
            TextFormat(szFile, sizeof(szFile), "%s\\%s", gpQuillData[i], CONFIG_FILE_NAME);
            TextFormat(szBackup, sizeof(szBackup), "%s\\%s\\%s", gpQuillData[i], gszBackupDir, CONFIG_BACKUP_NAME);
            if (FileExists(szFile) && !BackupIfMissing(szBackup, szFile))
                LogFormat(2, "RestoreFiles: failed to backup % to  %s", szFile, szBackup);
        }
    } else {
        TextFormat(szFile, sizeof(szFile), "%s\\%s", gpProgramDir, CONFIG_FILE_NAME);
        TextFormat(szBackup, sizeof(szBackup), "%s\\%s\\%s", gpProgramDir, gszBackupDir, CONFIG_BACKUP_NAME);
        if (FileExists(szFile) && !BackupIfMissing(szBackup, szFile))
            LogFormat(2, "RestoreFiles: failed to backup % to  %s", szFile, szBackup);
    }
    TextFormat(szFile, sizeof(szFile), "%s\\%s", gpProgramDir, "PATCH.INI");
    TextFormat(szBackup, sizeof(szBackup), "%s\\%s\\%s", gpProgramDir, gszBackupDir, PATCH_BACKUP_NAME);
    if (FileExists(szFile) && !BackupIfMissing(szBackup, szFile))
        LogFormat(2, "RestoreFiles: failed to backup % to  %s", szFile, szBackup);
}

/* Saves the installed file into the installed release's backup directory
 * before it is overwritten. 0 when the save failed: the file must then stay. */
static int SaveCurrent(const RESTORE_ENTRY* pEntry, const char* szTarget)
{
    char szDir[MAX_PATH];
    char szCurrent[MAX_PATH];
    int i;
    BackupDirName(gszCurrentRelease, gszBackupDir);
    if (giPartitions > 1 && gpQuillData) {
        for (i = 0; i < giPartitions; i++) {
            TextFormat(szDir, sizeof(szDir), "%s\\%s", gpQuillData[i], gszBackupDir);
            if (!DirectoryExists(szDir) && !PlatCreateDirectory(szDir))
                LogFormat(2, "Failed to create backup directory %s", szDir);
        }
    }
    if (!pEntry->szBackupName[0]) return 1;
    TextFormat(szCurrent, sizeof(szCurrent), "%s\\%s\\%s", gpProgramDir, gszBackupDir, pEntry->szBackupName);
    if (FileExists(szCurrent)) return 1;
    TextFormat(szDir, sizeof(szDir), "%s\\%s", gpProgramDir, gszBackupDir);
    if (!DirectoryExists(szDir)) {
        if (!PlatCreateDirectory(szDir)) {
            LogFormat(2, "Failed to create backup directory %s", gszBackupDir);
        } else {
            LogFormat(2, "Created backup directory %s", gszBackupDir);
            SaveLevelFiles();
        }
    }
    if (!FileExists(szTarget)) return 1;
    if (!CopyFileWhole(szTarget, szCurrent)) {
        LogFormat(1, "RestoreFiles(): failed to back up  %s to %s", szTarget, szCurrent);
        return 0;
    }
    LogFormat(1, "RestoreFiles(): backed up  %s to %s", szTarget, szCurrent);
    return 1;
}

/* Target of pass j: the data directory's copy, or the program directory's. */
static void PassTarget(const RESTORE_ENTRY* pEntry, int j, char* szTarget, size_t cb)
{
    if (pEntry->bInData) TextFormat(szTarget, cb, "%s\\%s", gpQuillData[j], pEntry->szFile);
    else TextFormat(szTarget, cb, "%s\\%s", gpProgramDir, pEntry->szFile);
}

/* A missing backup: looked for in every level; what no level has is deleted
 * (the four product files), left (the key file) or reported. 0 reported. */
static int RestoreWithoutBackup(const RESTORE_ENTRY* pEntry, const char* szTarget, const char* szExt,
                                const FILE_TABLE_ENTRY* pTable, DWORD dwCount)
{
    int r = 1;
    if (!FindBackupInTable(pEntry->szBackupName, szTarget, pEntry->szChecksum, pTable, dwCount)) {
        if (strstr(szTarget, "qstrings")) return 1;
        if (IsDroppableProduct(szTarget)) {
            PlatDeleteFile(szTarget);
        } else {
            LogFormat(1, "RestoreFiles(): bOK false for to %s", szTarget);
            DWORD dwRecorded;
            ChecksumValue(pEntry->szChecksum, &dwRecorded);
            LogFormat(1, "RestoreFiles():checksum for  %s is %#lxL", szTarget, dwRecorded);
            r = 0;
        }
    }
    if ((strcmp(szExt, "jar") == 0 || strcmp(szExt, "gz") == 0) && pEntry->szBackup[0] &&
        CopyFileWhole(szTarget, pEntry->szBackup))
        LogFormat(1, "RestoreFiles(): created backup %s for a new %s ", pEntry->szBackup, szTarget);
    return r;
}

/* Restores one entry; 0 when something of it failed. */
static int RestoreEntry(RESTORE_ENTRY* pEntry, const FILE_TABLE_ENTRY* pTable, DWORD dwCount)
{
    char szTarget[MAX_PATH];
    char szPath[MAX_PATH];
    char szExt[MAX_PATH];
    int i, j, cPasses, r = 1;

    /* Where the file lives: the program directory, else the first data
     * directory that holds it; a file found nowhere goes where the package
     * puts it. */
    TextFormat(szTarget, sizeof(szTarget), "%s\\%s", gpProgramDir, pEntry->szFile);
    pEntry->bInData = 0;
    if (!FileExists(szTarget) && !strstr(szTarget, ".sym")) {
        for (i = 0; i < DataDirCount(); i++) {
            TextFormat(szPath, sizeof(szPath), "%s\\%s", gpQuillData[i], pEntry->szFile);
            if (FileExists(szPath)) {
                pEntry->bInData = 1;
                TextCopy(szTarget, sizeof(szTarget), szPath);
                break;
            }
        }
        if (!pEntry->bInData && DataDirCount() > 0 && PackageDirectoryOf(pTable, dwCount, pEntry->szFile) == DIR_DATA)
            pEntry->bInData = 1;
    }

    if (dwUpgradeType != 0 && !SaveCurrent(pEntry, szTarget)) return 0;

    cPasses = pEntry->bInData ? DataDirCount() : 1;
    if (pEntry->szBackup[0] && FileExists(pEntry->szBackup)) {
        for (j = 0; j < cPasses; j++) {
            PassTarget(pEntry, j, szTarget, sizeof(szTarget));
            if (CopyOver(pEntry->szBackup, szTarget)) {
                LogFormat(1, "RestoreFiles(): copied  %s to %s", pEntry->szBackup, szTarget);
            } else {
                LogFormat(1, "RestoreFiles(): failed to copy  %s to %s", pEntry->szBackup, szTarget);
                r = 0;
            }
        }
    } else {
        TextFormat(szPath, sizeof(szPath), "%s\\%s", gpProgramDir, pEntry->szFile);
        ExtensionOf(szPath, szExt, sizeof(szExt));
        PassTarget(pEntry, 0, szTarget, sizeof(szTarget));
        LogFormat(1, "RestoreFiles(): extension  %s to %s", szExt, szTarget);
        if (strcmp(szExt, "sym") == 0 || strcmp(szExt, "sys") == 0) {
            PlatDeleteFile(szPath);
            return 1;
        }
        for (j = 0; j < cPasses; j++) {
            PassTarget(pEntry, j, szTarget, sizeof(szTarget));
            if (!RestoreWithoutBackup(pEntry, szTarget, szExt, pTable, dwCount)) r = 0;
        }
    }

    if (pEntry->bInData) return r;
    for (i = 0; i < DataDirCount(); i++) {
        if (SamePath(gpQuillData[i], gpProgramDir)) {
            LogFormat(1, "RestoreFiles(): data directory %s same as the program directory %s", gpQuillData[i],
                      gpProgramDir);
            continue;
        }
        TextFormat(szPath, sizeof(szPath), "%s\\%s", gpQuillData[i], pEntry->szFile);
        if (!FileExists(szPath)) continue;
        if (pEntry->szBackup[0] && CopyOver(pEntry->szBackup, szPath)) {
            LogFormat(1, "RestoreFiles(): copied  %s to %s", pEntry->szBackup, szPath);
            continue;
        }
        if (FindBackupInTable(pEntry->szBackupName, szPath, pEntry->szChecksum, pTable, dwCount)) continue;
        if (IsDroppableProduct(szPath)) {
            PlatDeleteFile(szPath);
        } else {
            LogFormat(1, "RestoreFiles(): bOK false for to %s", szPath);
            r = 0;
        }
    }
    return r;
}

/* Reads one key of the level section; 0 (logged) for an empty value. */
static int ReadEntryKey(const char* szSection, const char* szFormat, int k, char* szValue, const char* szPatchIni)
{
    char szKey[32];
    TextFormat(szKey, sizeof(szKey), szFormat, k);
    if (PlatGetPrivateProfileString(szSection, szKey, PATCHINI_END_MARK, szValue, RECOVERY_VALUE_SIZE, szPatchIni) ==
        0) {
        LogFormat(0, "Getting profile string for  %s, section %s in %s: error: %d", szKey, szSection, szPatchIni,
                  (int)PlatGetLastError());
        return 0;
    }
    return 1;
}

int RestoreFiles(const char* szLabel)
{
    char szLevel[RECOVERY_VALUE_SIZE];
    char szSection[RECOVERY_VALUE_SIZE + 2];
    char szPatchIni[MAX_PATH];
    char szText[TEXT_FORMAT_MAX];
    char szCut[RECOVERY_VALUE_SIZE];
    char szBackupValue[RECOVERY_VALUE_SIZE];
    RESTORE_ENTRY entry;
    FILE_TABLE_ENTRY* pTable;
    DWORD dwCount;
    int k, r = 1;

    TextCopy(szLevel, sizeof(szLevel), szLabel);
    TrimTrailingBlanks(szLevel);
    TextFormat(szSection, sizeof(szSection), "%c%s%c", '"', szLevel, '"');
    PatchIniPath(szPatchIni, sizeof(szPatchIni));

    LabelCut(szLevel, szCut, sizeof(szCut));
    TextFormat(szText, sizeof(szText), "Restoring %s", szCut);
    ShowStatus(szText);
    ShowItem(IDC_FILE_CAP, 0);
    ShowGauge(ghGaugeFile, 0);
    ShowGauge(ghGaugeTotal, 1);
    GaugeCommand(ghGaugeTotal, GAUGE_SETRANGE, gdwBackupCount);

    pTable = LoadTable(&dwCount);
    for (k = 1;; k++) {
        GaugeCommand(ghGaugeTotal, GAUGE_SETPOS, (DWORD)k + 1);
        PumpMessages();
        memset(&entry, 0, sizeof(entry));
        if (!ReadEntryKey(szSection, "BackupName%03d", k, szBackupValue, szPatchIni) ||
            !ReadEntryKey(szSection, "File%03d", k, entry.szFile, szPatchIni) ||
            !ReadEntryKey(szSection, "Checksum%03d", k, entry.szChecksum, szPatchIni)) {
            r = 0;
            break;
        }
        if (strcmp(entry.szFile, PATCHINI_END_MARK) == 0) break;
        if (strcmp(entry.szChecksum, PATCHINI_END_MARK) == 0) entry.szChecksum[0] = 0;
        if (strcmp(szBackupValue, PATCHINI_END_MARK) == 0)
            FindByChecksumInTable(entry.szFile, szBackupValue, sizeof(szBackupValue), pTable, dwCount);
        if (szBackupValue[0]) {
            TextFormat(entry.szBackup, sizeof(entry.szBackup), "%s\\%s", gpProgramDir, szBackupValue);
            BaseName(szBackupValue, entry.szBackupName, sizeof(entry.szBackupName));
        }
        if (!RestoreEntry(&entry, pTable, dwCount)) r = 0;
    }
    FreeTable(pTable);

    ShowItem(IDC_MESSAGE, 0);
    ShowGauge(ghGaugeFile, 0);
    return r;
}

/* ---- 4. RestoreBaseRelease and RestoreBadFixpack ------------------------------------ */

/* The name of a backup directory up to its web-access suffix: up to "HF"
 * (when bHotfixPart) or "_GWA", a part at position 0 not counting. */
static size_t WebNameLength(const char* szName, int bHotfixPart)
{
    const char* p = bHotfixPart ? strstr(szName, "HF") : NULL;
    if (!p || p == szName) p = strstr(szName, "_GWA");
    if (!p || p == szName) return strlen(szName);
    return (size_t)(p - szName);
}

static int SameLevel(const char* szInstalled, const char* szTarget)
{
    size_t cchI, cchT, n;
    if (strcmp(StringText(STR_HOTFIX), "GWA") != 0) return strcmp(szInstalled, szTarget) == 0;
    cchT = WebNameLength(szTarget, 0);
    cchI = WebNameLength(szInstalled, 1);
    n = cchI > cchT ? cchI : cchT;
    return strncmp(szInstalled, szTarget, n) == 0;
}

/* Verification only: the installed release's files match its record. */
static int VerifyInstalledLevel(void)
{
    char szListing[MAX_PATH];
    char szLevel[sizeof(gszCurrentRelease)];
    char szText[TEXT_FORMAT_MAX];
    PLATFILE* pf;
    ShowStatus("Verifying backup information");
    TextFormat(szListing, sizeof(szListing), "%s\\%s", gpProgramDir, "baserev_detail.txt");
    pf = PlatFopen(szListing, "w");
    if (!pf) {
        TextFormat(szText, sizeof(szText), "Can't write patch information to a file rev_detail.txt: error %d",
                   (int)PlatGetLastError());
        if (IsUnattended()) LogLine(szText, 0);
        else PlatMessageBox(NULL, szText, "Error", MB_OK);
        return 0;
    }
    TextCopy(szLevel, sizeof(szLevel), gszCurrentRelease);
    if (CheckInstalledFiles(szLevel, pf) != 0) {
        PlatFclose(pf);
        PlatDeleteFile(szListing);
        return 1;
    }
    PlatFclose(pf);
    LogFormat(0, "Release version in qstrings.dll: %s doesn't correspond to the installed files", gszCurrentRelease);
    return 0;
}

/* A hotfix about to revert a fix pack: the user decides; an unattended run
 * keeps what is installed. 1 to go on. */
static int ConfirmFixpackRevert(const char* szTargetDir, const char* szInstalledDir)
{
    char szText[TEXT_FORMAT_MAX];
    TextFormat(szText, sizeof(szText),
               "Warning! Installing Hotfix %s will revert Fixpack %s already installed.\n\nAre you sure you want "
               "to continue?",
               szTargetDir, szInstalledDir);
    if (IsUnattended()) {
        LogFormat(0, "Unattended run: Hotfix %s would revert Fixpack %s already installed; nothing changed",
                  szTargetDir, szInstalledDir);
        return 0;
    }
    if (PlatMessageBox(NULL, szText, "Warning! Action will revert Fixpack!", MB_YESNO) == IDYES) return 1;
    LogLine("Backup is incomplete or failed checksum", 0);
    return 0;
}

/* Copies the level's key file copy over the key file when it exists. */
static int RestoreKeyFileCopy(const char* szTargetDir)
{
    char szCopy[MAX_PATH];
    char szKeyFile[MAX_PATH];
    TextFormat(szCopy, sizeof(szCopy), "%s\\%s\\%s", gpProgramDir, szTargetDir, "qstrings.dll");
    TextFormat(szKeyFile, sizeof(szKeyFile), "%s\\%s", gpProgramDir, StringText(STR_KEY_FILE));
    if (!FileExists(szCopy)) return 1;
    if (CopyFileWhole(szCopy, szKeyFile)) return 1;
    LogFormat(0, "Failed to restore %s to %s", szCopy, szKeyFile);
    return 0;
}

int RestoreBaseRelease(const char* szBaseLabel, const char* szOtherLabel)
{
    char szT[RECOVERY_VALUE_SIZE];
    char szCut[RECOVERY_VALUE_SIZE];
    char szText[TEXT_FORMAT_MAX];
    char szI[BACKUP_NAME_SIZE];
    char szTn[BACKUP_NAME_SIZE];
    char szDir[MAX_PATH];
    char szPatchIni[MAX_PATH];
    char szPatchBackup[MAX_PATH];
    int iVerify;
    (void)szOtherLabel;

    if (dwUpgradeType != 0) TextCopy(szT, sizeof(szT), szBaseLabel);
    else if (strcmp(StringText(STR_HOTFIX), "Custom Fix") == 0) TextCopy(szT, sizeof(szT), StringText(STR_DESCRIPTION));
    else TextCopy(szT, sizeof(szT), StringText(STR_RELEASE_TEXT));
    TrimLabel(szT);
    TrimTrailingBlanks(szT);
    LabelCut(szT, szCut, sizeof(szCut));
    TextFormat(szText, sizeof(szText), "Checking backup for %s", szCut);
    ShowStatus(szText);

    BackupDirName(gszCurrentRelease, szI);
    BackupDirName(szT, szTn);
    if (SameLevel(szI, szTn) && !(strcmp(StringText(STR_HOTFIX), "GWA") == 0 && gbWebLevelInstalled))
        return VerifyInstalledLevel();

    TextFormat(szDir, sizeof(szDir), "%s\\%s", gpProgramDir, szTn);
    if (!DirectoryExists(szDir)) {
        LogFormat(0, "No backup found for %s - can't restore to the base revision", gszCurrentRelease);
        return 0;
    }
    /* 0: a present backup fails its checksum, restored only with FORCE;
     * -1: backups missing, usable with gaps. */
    iVerify = VerifyBackupSet(szT);
    if (iVerify == 0 && !(gwOptions & OPT_FORCE)) {
        LogLine("Backup is incomplete or failed checksum", 0);
        return 0;
    }
    if (dwUpgradeType == 1 && giOperationMode == MODE_UPGRADE && FixPackNumber(szTn) != FixPackNumber(szI) &&
        !ConfirmFixpackRevert(szTn, szI))
        return 0;
    if (!RestoreFiles(szT)) {
        LogLine("Couldn't restore the base release", 0);
        return 0;
    }
    if (dwUpgradeType == 2 && !RestoreKeyFileCopy(szTn)) return 0;
    LogLine("RestoreBaseRelease (-1): no info about backup or incomplete patch.ini", 0);
    if (dwUpgradeType != 0) {
        if (strcmp(StringText(STR_HOTFIX), "QSD") != 0 && !strstr(StringText(STR_DESCRIPTION), "GWA") &&
            !StampKeyFile(szT))
            return 0;
    } else if (!RestoreKeyFileCopy(szTn)) {
        return 0;
    }
    TextFormat(szPatchBackup, sizeof(szPatchBackup), "%s\\%s", szDir, PATCH_BACKUP_NAME);
    if (dwUpgradeType == 2 && FileExists(szPatchBackup)) {
        TextFormat(szPatchIni, sizeof(szPatchIni), "%s\\%s", gpProgramDir, "PATCH.INI");
        if (RestorePatchIniWhole(szPatchIni, szPatchBackup) != 1) {
            LogFormat(1, "RestoreFiles: Patch.ini could not be restored from the backup %s : removing", szPatchBackup);
            PlatDeleteFile(szPatchIni);
        }
    }
    return 1;
}

int RestoreBadFixpack(void)
{
    char szR[BACKUP_NAME_SIZE];
    char szFile[MAX_PATH];
    char szBackup[MAX_PATH];
    char szPatchIni[MAX_PATH];
    int i;

    BackupDirName(gszRevertLabel, szR);
    if (giPartitions > 1 && gpQuillData) {
        for (i = 0; i < giPartitions; i++) {
            TextFormat(szFile, sizeof(szFile), "%s\\%s", gpQuillData[i], CONFIG_FILE_NAME);
            TextFormat(szBackup, sizeof(szBackup), "%s\\%s\\%s", gpQuillData[i], szR, CONFIG_BACKUP_NAME);
            if (!RestoreQuillIni(szFile, szBackup))
                LogFormat(1, "RestoreBadFixpack: Quill.ini could not be restored from the backup %s", szBackup);
            if (!PlatWritePrivateProfileString("Quill", "CFP_LP_PREV", gszCurrentRelease, szFile)) {
                LogFormat(1, "Writing CFP_LP_PREV value to  Quill.ini error: %d", (int)PlatGetLastError());
                return 0;
            }
        }
    } else {
        TextFormat(szFile, sizeof(szFile), "%s\\%s", gpProgramDir, CONFIG_FILE_NAME);
        TextFormat(szBackup, sizeof(szBackup), "%s\\%s\\%s", gpProgramDir, szR, CONFIG_BACKUP_NAME);
        if (FileExists(szBackup)) {
            if (!RestoreQuillIni(szFile, szBackup))
                LogFormat(1, "RestoreBadFixpack: Quill.ini could not be restored from the backup %s", szBackup);
            if (!PlatWritePrivateProfileString("Quill", "CFP_LP_PREV", gszCurrentRelease, szFile)) {
                LogFormat(1, "Writing CFP_LP_PREV value to  Quill.ini error: %d", (int)PlatGetLastError());
                return 0;
            }
        }
    }
    TextFormat(szBackup, sizeof(szBackup), "%s\\%s\\%s", gpProgramDir, szR, PATCH_BACKUP_NAME);
    if (FileExists(szBackup)) {
        TextFormat(szPatchIni, sizeof(szPatchIni), "%s\\%s", gpProgramDir, "PATCH.INI");
        if (RestorePatchIniWhole(szPatchIni, szBackup) != 1)
            LogFormat(1, "RestoreBadFixpack: Patch.ini could not be restored from the backup %s", szBackup);
    }
    if (!RestoreFiles(gszRevertLabel)) {
        LogFormat(0, "Couldn't restore %s", gszRevertLabel);
        return 0;
    }
    return StampKeyFile(gszRevertLabel);
}
