/*
 * labels.cpp - the checksum table, the match of the installed release, the
 * backup search with its repair, and the revert labels (labels.h).
 *
 * Divisions:
 *   1. Release-table records (bounded readers)
 *   2. Revert labels and the wizard's status line
 *   3. VerifyLabels: the table and the match, installed files, backup search
 *   4. FoundBackup: a missing or wrong backup from another level or the
 *      installed file
 *
 * Both tables grow as the package needs: the checksum table to the record
 * count of the release table, the revert labels one block per label. A
 * checksum entry that cannot be allocated ends the process with code 1 (the
 * run cannot tell levels apart without it).
 */
#include "identify/labels.h"

#include "package/store.h"
#include "platform/dialog.h"
#include "records/patchini.h"
#include "report/plan.h"
#include "report/report.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "shell/text.h"
#include "shell/utils.h"
#include "shell/progress.h"
#include "ui/gauge.h"
#include "ui/resource.h"

#include <string.h>

#define LABELS_PATH 260
#define LABELS_KEY_FILE_ID 1
#define LABELS_KIND_ID 42

PCHECKFILE* gpCheckFileTable;
DWORD gdwCheckFileSlots;

static int s_cFixLabelSlots;

/* ---- 1. Release-table records -------------------------------------------- */

/* The length of the NUL-terminated name at pb + dwOffset, or -1 when no NUL
 * comes before the end of the bytes. */
static long LabelsNameLength(const BYTE* pb, DWORD cb, DWORD dwOffset)
{
    const void* pNul;
    if (dwOffset >= cb) return -1;
    pNul = memchr(pb + dwOffset, 0, cb - dwOffset);
    return pNul ? (long)((const BYTE*)pNul - (pb + dwOffset)) : -1;
}

int NextChecksumRecord(const BYTE* pb, DWORD cb, DWORD* pdwOffset, CHECKSUM_RECORD* pRecord)
{
    DWORD dwOff = *pdwOffset;
    long cchName;
    if (!pb || dwOff > cb || cb - dwOff < 4 + CHECKSUM_LABEL_FIELD) return 0;
    cchName = LabelsNameLength(pb, cb, dwOff + 4 + CHECKSUM_LABEL_FIELD);
    if (cchName < 0) return 0;
    pRecord->dwCrc = ReadLe32(pb + dwOff);
    TextCopyN(pRecord->szLabel, sizeof(pRecord->szLabel), (const char*)pb + dwOff + 4, CHECKSUM_LABEL_FIELD);
    pRecord->pszName = (const char*)pb + dwOff + 4 + CHECKSUM_LABEL_FIELD;
    *pdwOffset = dwOff + 4 + CHECKSUM_LABEL_FIELD + (DWORD)cchName + 1;
    return 1;
}

int NextFileRecord(const BYTE* pb, DWORD cb, DWORD* pdwOffset, RELEASE_FILE_RECORD* pRecord)
{
    DWORD dwOff = *pdwOffset;
    long cchName;
    if (!pb || dwOff > cb || cb - dwOff < FILE_RECORD_FIXED) return 0;
    cchName = LabelsNameLength(pb, cb, dwOff + FILE_RECORD_FIXED);
    if (cchName < 0) return 0;
    pRecord->dwNameLength = ReadLe32(pb + dwOff);
    pRecord->dwKind = ReadLe32(pb + dwOff + 4);
    pRecord->dwDir = ReadLe32(pb + dwOff + 8);
    pRecord->dwOldCrc = ReadLe32(pb + dwOff + 12);
    pRecord->dwNewCrc = ReadLe32(pb + dwOff + 16);
    pRecord->dwPayload = ReadLe32(pb + dwOff + 20);
    pRecord->pszName = (const char*)pb + dwOff + FILE_RECORD_FIXED;
    *pdwOffset = dwOff + FILE_RECORD_FIXED + (DWORD)cchName + 1;
    return 1;
}

int ReleaseTableLayout(const BYTE* pb, DWORD cb, DWORD dwChecksums, DWORD dwFiles, DWORD* pdwFiles)
{
    DWORD dwOff = 0, i;
    CHECKSUM_RECORD rec;
    RELEASE_FILE_RECORD file;
    /* Each record takes at least its fixed part and a NUL: a count larger
     * than the bytes allow is refused before any walk. */
    if ((unsigned long long)dwChecksums * (4 + CHECKSUM_LABEL_FIELD + 1) > cb) return 0;
    for (i = 0; i < dwChecksums; i++)
        if (!NextChecksumRecord(pb, cb, &dwOff, &rec)) return 0;
    if (pdwFiles) *pdwFiles = dwOff;
    if ((unsigned long long)dwFiles * (FILE_RECORD_FIXED + 1) > cb - dwOff) return 0;
    for (i = 0; i < dwFiles; i++)
        if (!NextFileRecord(pb, cb, &dwOff, &file)) return 0;
    return 1;
}

/* ---- 2. Revert labels and the wizard's status line ----------------------- */

void ResetFixLabels(void)
{
    int i;
    for (i = 0; gpcanFixLabels && i < giFixLabels; i++) {
        PlatHeapFree(gpcanFixLabels[i]);
        gpcanFixLabels[i] = NULL;
    }
    giFixLabels = 0;
}

int AddFixLabel(const char* szLabel)
{
    char* szBlock;
    if (giFixLabels >= s_cFixLabelSlots) {
        int cSlots = s_cFixLabelSlots ? s_cFixLabelSlots * 2 : 16;
        char** ppNew = (char**)PlatHeapAlloc(sizeof(char*) * (size_t)cSlots);
        if (!ppNew) {
            LogLine("Can't allocate memory for a revert label", 1);
            return -1;
        }
        if (gpcanFixLabels) {
            memcpy(ppNew, gpcanFixLabels, sizeof(char*) * (size_t)giFixLabels);
            PlatHeapFree(gpcanFixLabels);
        }
        gpcanFixLabels = ppNew;
        s_cFixLabelSlots = cSlots;
    }
    szBlock = (char*)PlatHeapAlloc(101);
    if (!szBlock) {
        LogLine("Can't allocate memory for a revert label", 1);
        return -1;
    }
    TextCopyN(szBlock, 101, szLabel, 100);
    TrimLabel(szBlock);
    gpcanFixLabels[giFixLabels] = szBlock;
    return giFixLabels++;
}

void IdentShowStatus(const char* szText)
{
    if (!ghMainDlg) return;
    PlatSetDlgItemText(ghMainDlg, IDC_MESSAGE, szText);
    PlatShowWindow(PlatGetDlgItem(ghMainDlg, IDC_MESSAGE), SW_SHOW);
}

void IdentHideStatus(void)
{
    if (ghMainDlg) PlatShowWindow(PlatGetDlgItem(ghMainDlg, IDC_MESSAGE), SW_HIDE);
}

void IdentGauge(HWND hGauge, int iCommand, DWORD dwValue)
{
    if (hGauge) PlatSendMessage(hGauge, WM_COMMAND, (WPARAM)iCommand, (LPARAM)dwValue);
    PumpMessages();
}

int IdentEnvSet(const char* szName)
{
    char szValue[2];
    PlatSetLastError(0);
    if (PlatGetEnvironmentVariable(szName, szValue, sizeof(szValue)) > 0) return 1;
    return PlatGetLastError() != 203; /* ERROR_ENVVAR_NOT_FOUND: unset; 0: set and empty */
}

/* ---- 3. VerifyLabels --------------------------------------------------------- */

static int IsWebAccessPackage(void) { return strcmp(StringText(LABELS_KIND_ID), "GWA") == 0; }

/* The position of szPart in szText when it is found after the first
 * character, else -1. */
static long LabelsFindAfterFirst(const char* szText, const char* szPart)
{
    const char* p = szText[0] ? strstr(szText + 1, szPart) : NULL;
    return p ? (long)(p - szText) : -1;
}

/*
 * 1 when the installed release is the level of szLabel: the stamp begins
 * with the whole label, or the two backup directory names agree (in a
 * web-access package up to their "_GWA" or "HF" suffixes).
 */
static int LabelsMatchInstalled(const char* szLabel, char* szDirOut)
{
    char szB[BACKUP_NAME_SIZE];
    size_t cchLabel = strlen(szLabel);
    size_t a, b, n;
    BackupDirName(szLabel, szDirOut);
    BackupDirName(gszCurrentRelease, szB);
    a = strlen(szDirOut);
    b = strlen(szB);
    if (IsWebAccessPackage()) {
        long lPos = LabelsFindAfterFirst(szDirOut, "_GWA");
        if (lPos > 0) a = (size_t)lPos;
        lPos = LabelsFindAfterFirst(szB, "HF");
        if (lPos < 0) lPos = LabelsFindAfterFirst(szB, "_GWA");
        if (lPos > 0) b = (size_t)lPos;
    }
    n = a > b ? a : b;
    if (cchLabel > 0 && strncmp(gszCurrentRelease, szLabel, cchLabel) == 0) return 1;
    return strncmp(szDirOut, szB, n) == 0;
}

/* Makes room for dwCount entries in the checksum table; ends the process
 * with code 1 when memory runs out. */
static void LabelsEnsureSlots(DWORD dwCount)
{
    PCHECKFILE* ppNew;
    DWORD cSlots;
    if (dwCount <= gdwCheckFileSlots) return;
    cSlots = dwCount;
    ppNew = (PCHECKFILE*)PlatHeapAlloc(sizeof(PCHECKFILE) * (size_t)cSlots);
    if (!ppNew) {
        LogLine("Failed to allocate PCHECKFILE", 0);
        PlatExitProcess(1);
        return;
    }
    if (gpCheckFileTable) {
        memcpy(ppNew, gpCheckFileTable, sizeof(PCHECKFILE) * (size_t)gdwCheckFileSlots);
        PlatHeapFree(gpCheckFileTable);
    }
    gpCheckFileTable = ppNew;
    gdwCheckFileSlots = cSlots;
}

/* Releases the entries of an earlier run. */
static void LabelsFreeEntries(void)
{
    DWORD i;
    for (i = 0; i < gdwCheckFileSlots; i++) {
        if (!gpCheckFileTable[i]) continue;
        PlatHeapFree(gpCheckFileTable[i]->lpFile);
        PlatHeapFree(gpCheckFileTable[i]);
        gpCheckFileTable[i] = NULL;
    }
}

/* Appends the label unless it is the last one appended (step "append" of
 * the backup search), with its log line. */
static void LabelsAppend(const char* szLabel)
{
    int iIndex;
    if (giFixLabels > 0 && strcmp(gpcanFixLabels[giFixLabels - 1], szLabel) == 0) return;
    iIndex = AddFixLabel(szLabel);
    if (iIndex >= 0) LogFormat(1, "Added %d label %s", iIndex, gpcanFixLabels[iIndex]);
}

/* The CRC-32 of a file, 0 when it cannot be opened. */
static DWORD LabelsFileCrc(const char* szPath)
{
    PLATFILE* pf = PlatFopen(szPath, "rb");
    DWORD dwCrc;
    if (!pf) return 0;
    dwCrc = FileCrc32(pf);
    PlatFclose(pf);
    return dwCrc;
}

/* 1 when the file opens for reading. */
static int LabelsReadable(const char* szPath) { return FileExists(szPath); }

/* Phase 1: one entry per checksum record, and the match: 1 matched, 0 not,
 * -1 for a damaged record (the table then ends before it). */
static int LabelsBuildTable(const BYTE* pb, DWORD cb, const char* szToLabel, DWORD* pdwFiles)
{
    DWORD dwOff = 0, i;
    int bMatch = 0, bLogged = 0;
    CHECKSUM_RECORD rec;
    LabelsEnsureSlots(gdwChecksums);
    LabelsFreeEntries();
    for (i = 0; i < gdwChecksums; i++) {
        PCHECKFILE pEntry;
        char szDir[BACKUP_NAME_SIZE];
        size_t cchName;
        if (!NextChecksumRecord(pb, cb, &dwOff, &rec)) {
            LogFormat(0, "Damaged checksum record %d in the release table", (int)i);
            gdwChecksums = i;
            return -1;
        }
        pEntry = (PCHECKFILE)PlatHeapAlloc(sizeof(CHECKFILE));
        cchName = strlen(rec.pszName);
        if (pEntry) pEntry->lpFile = (char*)PlatHeapAlloc(cchName + 1);
        if (!pEntry || !pEntry->lpFile) {
            LogLine("Failed to allocate PCHECKFILE", 0);
            PlatExitProcess(1);
            return 0;
        }
        gpCheckFileTable[i] = pEntry;
        memcpy(pEntry->lpFile, rec.pszName, cchName + 1);
        pEntry->dwChecksum = rec.dwCrc;
        TextCopy(pEntry->canReleaseLabel, sizeof(pEntry->canReleaseLabel), rec.szLabel);
        TrimLabel(pEntry->canReleaseLabel);
        LogFormat(0, "Verify Labels: gpCheckFileTable: file name %s, checksum: %lxL, dw = %d", pEntry->lpFile,
                  pEntry->dwChecksum, (int)i);
        if (strcmp(pEntry->canReleaseLabel, szToLabel) == 0) continue;
        if (LabelsMatchInstalled(pEntry->canReleaseLabel, szDir)) {
            if (!bLogged)
                LogFormat(0, "VerifyValidLabels: Current version %s is equal to old version: %s: UPGRADE",
                          gszCurrentRelease, pEntry->canReleaseLabel);
            bLogged = 1;
            TextCopy(gszBackupDir, sizeof(gszBackupDir), szDir);
            bMatch = 1;
        }
    }
    *pdwFiles = dwOff;
    return bMatch;
}

/* Phase 2: which listed files are installed, and where. */
static void LabelsMarkInstalled(const BYTE* pb, DWORD cb, DWORD dwOff, DWORD dwNumFiles)
{
    DWORD d;
    RELEASE_FILE_RECORD rec;
    for (d = 1; d <= dwNumFiles; d++) {
        int iCandidate, cCandidates;
        LogFormat(0, "VerifyLabels: dw: %d", (int)d);
        if (!NextFileRecord(pb, cb, &dwOff, &rec)) {
            LogFormat(0, "Damaged file record %d in the release table", (int)d);
            return;
        }
        LogFormat(0, "Current File: %s", rec.pszName);
        cCandidates = rec.dwDir == DIR_DATA ? giPartitions : 1;
        for (iCandidate = 0; iCandidate < cCandidates; iCandidate++) {
            char szPath[LABELS_PATH];
            DWORD i;
            int bFound = 0;
            if (rec.dwDir == DIR_DATA) {
                if (!gpQuillData || !gpDataDirValid || !gpDataDirValid[iCandidate]) continue;
                TextFormat(szPath, sizeof(szPath), "%s\\%s", gpQuillData[iCandidate], rec.pszName);
            } else if (rec.dwDir == DIR_SYSTEM) {
                TextFormat(szPath, sizeof(szPath), "%s\\%s", gpSystemDir ? gpSystemDir : "", rec.pszName);
            } else {
                TextCopy(szPath, sizeof(szPath), rec.pszName);
            }
            if (!LabelsReadable(szPath)) {
                LogFormat(0, "The file %s is not installed. Intentionally skipping (This is OK) ", szPath);
                continue;
            }
            for (i = 0; i < gdwChecksums; i++) {
                PCHECKFILE pEntry = gpCheckFileTable[i];
                if (strcmp(pEntry->lpFile, rec.pszName) != 0) continue;
                pEntry->bPresent = 1;
                pEntry->dwDir = rec.dwDir;
                pEntry->dwPayloadNum = rec.dwPayload;
                bFound = 1;
            }
            if (!bFound) {
                char szBase[LABELS_PATH];
                BaseName(szPath, szBase, sizeof(szBase));
                LogFormat(0, "File %s not present  in the fix; canFile: %s", szPath, szBase);
            }
        }
    }
}

/* The payload whose record has the base name szBase: its number, or 0. 
 * *pbDamaged is set when a record cannot be loaded. */
static DWORD LabelsPayloadByBaseName(const char* szBase, int* pbDamaged)
{
    DWORD k;
    for (k = 1; k <= gdwPayloadCount; k++) {
        char szName[LABELS_PATH], szEntryBase[LABELS_PATH];
        FILEENTRY_FIELDS fields;
        if (!ReadFileEntry(k, szName, sizeof(szName), &fields)) {
            LogLine("Failed to load file entry resource.", 0);
            *pbDamaged = 1;
            return 0;
        }
        BaseName(szName, szEntryBase, sizeof(szEntryBase));
        if (strcmp(szEntryBase, szBase) == 0) return k;
    }
    return 0;
}

/* 1 when the backup's name marks one whose content is not compared. */
static int LabelsUncompared(const char* szPath)
{
    return strstr(szPath, "osgi") || strstr(szPath, "dojo") || strstr(szPath, "xsp") || strstr(szPath, "vwpd");
}

/* Phase 3 for entry i: the backup search. Returns 0 when the payload
 * look-up met a damaged record (the match no longer counts). */
static int LabelsSearchEntry(DWORD i, const char* szToLabel)
{
    PCHECKFILE pEntry = gpCheckFileTable[i];
    char szBase[LABELS_PATH], szDir[BACKUP_NAME_SIZE], szFile[BACKUP_NAME_SIZE], szPath[LABELS_PATH];
    char szExt[LABELS_PATH];
    int bOk = 1;
    DWORD dwFound;

    IdentGauge(ghGaugeFile, GAUGE_SETPOS, i);
    if (pEntry->dwDir == DIR_SYSTEM) {
        LogFormat(0, "Skipping file %s; bPresent: %d, dwDir: %d, dw: %d", pEntry->lpFile, (int)pEntry->bPresent,
                  (int)pEntry->dwDir, (int)i);
        return 1;
    }
    BaseName(pEntry->lpFile, szBase, sizeof(szBase));
    if (!pEntry->bPresent) {
        int bDamaged = 0;
        DWORD k = LabelsPayloadByBaseName(szBase, &bDamaged);
        if (bDamaged) bOk = 0;
        else if (k) pEntry->dwPayloadNum = k;
    }
    if (strcmp(pEntry->canReleaseLabel, szToLabel) == 0 || strcmp(szBase, StringText(LABELS_KEY_FILE_ID)) == 0)
        return bOk;
    LogFormat(0, "dw = %d, gpCheckFileTable[dw]->lpFile = %s,  gpCheckFileTable[dw]->canReleaseLabel = %s", (int)i,
              pEntry->lpFile, pEntry->canReleaseLabel);

    BackupDirName(pEntry->canReleaseLabel, szDir);
    if (!DirectoryExists(szDir)) {
        LogFormat(1, "Directory %s doesn't exist", szDir);
        if (giFixLabels > 0 && strcmp(gpcanFixLabels[giFixLabels - 1], pEntry->canReleaseLabel) == 0) {
            giFixLabels--;
            PlatHeapFree(gpcanFixLabels[giFixLabels]);
            gpcanFixLabels[giFixLabels] = NULL;
        }
        return bOk;
    }
    BackupFileName(szBase, pEntry->dwPayloadNum, szFile);
    TextFormat(szPath, sizeof(szPath), "%s\\%s", szDir, szFile);

    if (!FileExists(szPath)) {
        LogFormat(1, "File %s not  found in backup directory for %s", szPath, szDir);
        LogFormat(1, "checksum : %#0xl dw: %d", pEntry->dwChecksum, (int)i);
        if (pEntry->dwChecksum == 0) {
            LogLine("But it has 0 dwChecksum:OK", 1);
        } else if (!FoundBackup(i)) {
            LogFormat(1, " File %s apparently was not installed in the original client configuration for version %s: "
                         "skipping",
                      szPath, pEntry->canReleaseLabel);
        }
        LabelsAppend(pEntry->canReleaseLabel);
        return bOk;
    }

    dwFound = LabelsFileCrc(szPath);
    if (LabelsUncompared(szPath) && pEntry->dwChecksum != 0) dwFound = pEntry->dwChecksum;
    if (pEntry->dwChecksum == 0 || dwFound == pEntry->dwChecksum) {
        LogFormat(1, "Checksum %#0xl for file %s in backup directory for release %s is correct", dwFound,
                  pEntry->lpFile, pEntry->canReleaseLabel);
        gdwBackupCount++;
        LabelsAppend(pEntry->canReleaseLabel);
        return bOk;
    }
    if (FoundBackup(i)) {
        gdwBackupCount++;
        LabelsAppend(pEntry->canReleaseLabel);
        return bOk;
    }
    ExtensionOf(szBase, szExt, sizeof(szExt));
    if (strcmp(szExt, "sym") == 0) {
        LogFormat(1, " File %s apparently was not installed in the original client configuration for version %s: "
                     "skipping",
                  szPath, pEntry->canReleaseLabel);
        return bOk;
    }
    if (pEntry->dwDir == DIR_DATA) gdwBackupCount++;
    if ((gwOptions & OPT_FORCE) || IdentEnvSet("STX9")) {
        gdwBackupCount++;
        LabelsAppend(pEntry->canReleaseLabel);
        return bOk;
    }
    if (strstr(szBase, "qstrings")) return bOk;
    if (strstr(szBase, "qdgts")) gdwBackupCount++;
    gdwBackupCount++;
    LabelsAppend(pEntry->canReleaseLabel);
    return bOk;
}

int VerifyLabels(const BYTE* pbRecords, DWORD cbRecords, const char* szToLabel, DWORD dwNumFiles)
{
    DWORD dwFiles = 0, i;
    int bMatch;

    LogFormat(0, "VerifyLabels: dwNumFiles: %d", (int)dwNumFiles);
    ResetFixLabels();
    bMatch = LabelsBuildTable(pbRecords, cbRecords, szToLabel, &dwFiles);
    if (bMatch < 0) return 0; /* damaged: logged */
    LabelsMarkInstalled(pbRecords, cbRecords, dwFiles, dwNumFiles);

    IdentShowStatus("Searching for backups...");
    PlatShowWindow(ghGaugeFile, SW_SHOW);
    gdwBackupCount = 0;
    IdentGauge(ghGaugeFile, GAUGE_SETRANGE, gdwChecksums);
    for (i = 0; i < gdwChecksums; i++)
        if (!LabelsSearchEntry(i, szToLabel)) bMatch = 0;
    IdentHideStatus();
    PlatShowWindow(ghGaugeFile, SW_HIDE);
    return bMatch;
}

/* ---- 4. FoundBackup ------------------------------------------------------------ */

/* Copies szFrom to szTo with the two log lines of the repair: 1 copied, 0 not. */
static int LabelsRepair(const char* szFrom, const char* szTo)
{
    /* A plan or drift report changes nothing: the repair is only noted. */
    if (ReportDryRun()) {
        PlanNoteRepair(szFrom, szTo);
        return 1;
    }
    if (CopyFileContents(szFrom, szTo)) {
        LogFormat(1, "FoundBackup: Copied  %s to %s", szFrom, szTo);
        return 1;
    }
    LogFormat(1, "FoundBackup: Couldn't copy  %s to %s", szFrom, szTo);
    return 0;
}

int FoundBackup(DWORD dwNew)
{
    PCHECKFILE pEntry;
    char szDir[BACKUP_NAME_SIZE], szBase[LABELS_PATH], szFile[BACKUP_NAME_SIZE], szPath[LABELS_PATH];
    char szLast[sizeof(pEntry->canReleaseLabel)];
    char szExt[LABELS_PATH];
    DWORD k;
    int iCandidate, cCandidates;

    if (dwNew >= gdwChecksums || !gpCheckFileTable[dwNew]) return 0;
    pEntry = gpCheckFileTable[dwNew];
    BackupDirName(pEntry->canReleaseLabel, szDir);
    BaseName(pEntry->lpFile, szBase, sizeof(szBase));
    BackupFileName(szBase, pEntry->dwPayloadNum, szFile);
    TextFormat(szPath, sizeof(szPath), "%s\\%s", szDir, szFile);
    LogFormat(1, "FoundBackup: new name : %s; gpCheckFileTable[dwNew]->canReleaseLabel: %s", szPath,
              pEntry->canReleaseLabel);

    /* Another level's backup with the same name and the right content. */
    szLast[0] = 0;
    for (k = 0; k < gdwChecksums; k++) {
        PCHECKFILE pOther = gpCheckFileTable[k];
        char szOtherDir[BACKUP_NAME_SIZE], szOther[LABELS_PATH];
        DWORD dwCrc;
        if (strcmp(pOther->canReleaseLabel, pEntry->canReleaseLabel) == 0 ||
            strcmp(pOther->canReleaseLabel, szLast) == 0)
            continue;
        BackupDirName(pOther->canReleaseLabel, szOtherDir);
        TextFormat(szOther, sizeof(szOther), "%s\\%s", szOtherDir, szFile);
        LogFormat(1, "FoundBackup: checking old backup name : %s", szOther);
        if (!FileExists(szOther)) {
            TextCopy(szLast, sizeof(szLast), pOther->canReleaseLabel);
            continue;
        }
        LogFormat(1, "FoundBackup: file %s found in the %s directory", szBase, szOtherDir);
        dwCrc = LabelsFileCrc(szOther);
        if (dwCrc == pEntry->dwChecksum) {
            LogFormat(1, "FoundBackup: backup file %s found with correct checksum", szOther);
            if (!FileExists(szPath)) return LabelsRepair(szOther, szPath);
            break;
        }
        LogFormat(1, "FoundBackup: %s has checksum %0xl, expected: %0xl", szOther, dwCrc, pEntry->dwChecksum);
        TextCopy(szLast, sizeof(szLast), pOther->canReleaseLabel);
    }

    /* The installed file. */
    ExtensionOf(szBase, szExt, sizeof(szExt));
    cCandidates = pEntry->dwDir == DIR_DATA ? giPartitions : 1;
    for (iCandidate = 0; iCandidate < cCandidates; iCandidate++) {
        char szInstalled[LABELS_PATH];
        DWORD dwCrc;
        if (pEntry->dwDir == DIR_DATA) {
            if (!gpQuillData || !gpDataDirValid || !gpDataDirValid[iCandidate]) continue;
            TextFormat(szInstalled, sizeof(szInstalled), "%s\\%s", gpQuillData[iCandidate], pEntry->lpFile);
        } else {
            TextCopy(szInstalled, sizeof(szInstalled), pEntry->lpFile);
        }
        if (!FileExists(szInstalled)) continue;
        dwCrc = LabelsFileCrc(szInstalled);
        if (dwCrc == pEntry->dwChecksum) {
            LogFormat(1, "FoundBackup: file %s found in the current directory", szInstalled);
            if (!FileExists(szPath)) return LabelsRepair(szInstalled, szPath);
            continue;
        }
        LogFormat(1, "FoundBackup: file %s has different checksum: %0xl", szInstalled, dwCrc);
        if (FileExists(szPath) || pEntry->dwChecksum == 0) continue;
        LogFormat(1, "FoundBackup: %s has checksum %0xl", szInstalled, pEntry->dwChecksum);
        /* An archive's installed copy serves as its backup even when it
         * differs. */
        if (strcmp(szExt, "jar") == 0 || strcmp(szExt, "gz") == 0) return LabelsRepair(szInstalled, szPath);
    }
    LogFormat(1, "FoundBackup: file %s not found in the current directory", szBase);
    return 0;
}
