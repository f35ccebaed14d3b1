/*
 * create.cpp - CreateUpgradedFiles: every package entry prepared under its
 * temporary name "UPTMP%04d.TMP" in the program directory, the installed
 * files moved to their backups (upgrade) or the backups brought back
 * (revert), each written file checked against its CRC-32, and one decision
 * per target for the commit (engine_private.h).
 *
 * Entry kinds: 1 delta against the installed file, 2 whole file, 3 removed by
 * the fix (no payload), 4 file of an earlier fix (put back from the backup
 * directory on a revert of a fix pack or hotfix; like 5 otherwise), 5 and any
 * other value a delta applied without an installed file.
 *
 * Backups: with dwUpgradeType above 0, "%s\\%s" of gszBackupDir and
 * "<base name less extension>%04d.IIB", shared by all targets of an entry;
 * with 0, "<target less extension>%04d.IIB" beside the target.
 *
 * Each target's action is named by EngineDecideTarget (decide.h), the
 * function the dry run's plan decides with, and logged as "Action for entry
 * %d: %s %s" (indent 1) with the action's word and the target.
 *
 * Sound behaviour kept over the older design: nothing is replaced here except
 * the installed file's move to its backup, and a failed move stops the run
 * (the commit then never runs); the cabinet trees are only packed into their
 * back-up cabinets here and refilled by the commit; a kind-1 file of another
 * version is kept; a stale temporary file is deleted before each entry; an
 * unpack failure, a temporary file that cannot be read back and a revert
 * whose backup is missing (unless the fix added the file) fail the run.
 */
#include "engine/engine.h"
#include "engine/engine_private.h"
#include "engine/decide.h"

#include "package/unpack.h"
#include "platform/dialog.h"
#include "records/patchini.h"
#include "report/result.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "shell/text.h"
#include "shell/utils.h"
#include "shell/progress.h"
#include "ui/gauge.h"
#include "ui/resource.h"

#include <string.h>

/* One entry being prepared. */
typedef struct CREATE_ENTRY {
    DWORD dwEntry;
    char szName[261];
    char szShortName[261];
    FILEENTRY_FIELDS fields;
    char szTemp[32];
    HGLOBAL hPayload;
    DWORD cbPayload;
    int bUpgrade;
    int bTempReady; /* the temporary file holds this entry's checked result */
} CREATE_ENTRY;

static void CreateReleasePayload(CREATE_ENTRY* pEntry)
{
    if (pEntry->hPayload) PlatGlobalFree(pEntry->hPayload);
    pEntry->hPayload = NULL;
    pEntry->cbPayload = 0;
}

/* Every entry name is checked before anything changes. */
static int CreateCheckNames(DWORD dwEntries)
{
    DWORD t;
    for (t = 1; t <= dwEntries; t++) {
        char szName[261];
        FILEENTRY_FIELDS fields;
        if (!ReadFileEntry(t, szName, sizeof(szName), &fields)) continue; /* reported in the loop */
        if (!EngineNameIsSafe(szName)) {
            LogFormat(0, "Refused file name %s of entry %d: not a relative name", szName, (int)t);
            return 0;
        }
    }
    return 1;
}

/* The backup path of a target (kinds 2 and 3), creating gszBackupDir. */
static int CreateBackupPath(const CREATE_ENTRY* pEntry, const char* szTarget, char* szBackup, size_t cbBackup)
{
    if ((int)dwUpgradeType > 0) {
        char szFile[BACKUP_NAME_SIZE];
        char szPath[TEXT_FORMAT_MAX];
        LogFormat(2, "canShortName: %s, canFile: %s", pEntry->szShortName, pEntry->szShortName);
        if (!DirectoryExists(gszBackupDir)) {
            if (PlatCreateDirectory(gszBackupDir)) LogFormat(2, "Created backup directory %s", gszBackupDir);
            else LogFormat(2, "Failed to create backup directory %s", gszBackupDir);
        }
        BackupFileName(pEntry->szShortName, pEntry->dwEntry, szFile);
        TextFormat(szPath, sizeof(szPath), "%s\\%s", gszBackupDir, szFile);
        if (strlen(szPath) > 259) {
            LogFormat(1, "Path too long: %s", szPath);
            return 0;
        }
        TextCopy(szBackup, cbBackup, szPath);
        return 1;
    }
    if (!EngineBackupBeside(szTarget, pEntry->dwEntry, szBackup, cbBackup)) {
        LogFormat(1, "Path too long: backup of %s", szTarget);
        return 0;
    }
    return 1;
}

/* The tree a cabinet target stands for: the toolkit tree lies in a data
 * directory, so its cabinet counts only as a data-directory entry. */
static int CreateCabinetAction(const char* szTarget, DWORD dwDirectory)
{
    if (EnginePathHas(szTarget, ENGINE_TOOLKIT_CAB)) return dwDirectory == DIR_DATA ? ENGINE_CAB_TOOLKIT : 0;
    if (EnginePathHas(szTarget, ENGINE_PLUGINS_CAB)) return ENGINE_CAB_PLUGINS;
    return 0;
}

/* Names the action of one target in the log ("Action for entry %d: %s %s",
 * indent 1, the words of EngineActionName) and counts it for the result
 * file. A plan of the same run lists the same actions. */
static void CreateNoteAction(DWORD dwEntry, const char* szTarget, int iPlan)
{
    LogFormat(1, "Action for entry %d: %s %s", (int)dwEntry, EngineActionName(iPlan), szTarget);
    ResultCountAction(iPlan);
}

/* Kind 4 with level backups: skipped by an upgrade; on a revert the earlier
 * fix's file comes back from the backup directory at once. 0 when it could
 * not be put back. */
static int CreateRestoreEarlierFix(const CREATE_ENTRY* pEntry)
{
    char szFile[TEXT_FORMAT_MAX];
    char szBackup[TEXT_FORMAT_MAX];
    TARGET_FACTS facts;
    int iPlan;
    memset(&facts, 0, sizeof(facts));
    facts.dwKind = FILE_KIND_EARLIER;
    facts.bUpgrade = pEntry->bUpgrade;
    facts.bLevelBackups = 1;
    if (!pEntry->bUpgrade) {
        if (!EngineBackupBeside(pEntry->szName, pEntry->dwEntry, szFile, sizeof(szFile))) return 0;
        TextFormat(szBackup, sizeof(szBackup), "%s\\%s", gszBackupDir, szFile);
        facts.bBackupExists = FileExists(szBackup);
    }
    iPlan = EngineDecideTarget(&facts);
    CreateNoteAction(pEntry->dwEntry, pEntry->szName, iPlan);
    if (iPlan != ACTION_RESTORE) {
        if (!pEntry->bUpgrade) LogFormat(1, "Backup file for old fix %s doesn't exist", szBackup);
        return 1;
    }
    LogLine("Backup file for old fix exists", 1);
    if (FileExists(pEntry->szName)) {
        LogFormat(1, "Before removing old fix temp file %s", pEntry->szName);
        PlatDeleteFile(pEntry->szName);
    }
    CreatePath(pEntry->szName);
    if (PlatMoveFile(szBackup, pEntry->szName)) {
        LogFormat(1, "Restored old fix %s to %s", szBackup, pEntry->szName);
        return 1;
    }
    LogFormat(1, "Failed Restoring old fix %s to %s (%ld)", szBackup, pEntry->szName, PlatGetLastError());
    return 0;
}

/* 1 when the file has the new file's size and CRC-32: one of another size
 * is not read at all. */
static int CreateHasNewContents(const char* szPath, DWORD dwSize, DWORD dwCrc)
{
    PLATFILE* pf = PlatFopen(szPath, "rb");
    DWORD dwFile;
    if (!pf) return 0;
    dwFile = PlatFsize(pf) == (long long)dwSize ? FileCrc32(pf) : ~dwCrc;
    PlatFclose(pf);
    return dwFile == dwCrc;
}

/* The facts of a kind-2 or kind-3 target for EngineDecideTarget. */
static void CreateFacts(const CREATE_ENTRY* pEntry, const char* szTarget, const char* szBackup, int iCab,
                        TARGET_FACTS* pFacts)
{
    char szExt[261];
    memset(pFacts, 0, sizeof(*pFacts));
    pFacts->dwKind = pEntry->fields.dwKind;
    pFacts->bUpgrade = pEntry->bUpgrade;
    pFacts->bLevelBackups = (int)dwUpgradeType > 0;
    pFacts->bTargetExists = FileExists(szTarget);
    pFacts->bBackupExists = FileExists(szBackup);
    pFacts->bCabinet = iCab != 0;
    ExtensionOf(szTarget, szExt, sizeof(szExt));
    pFacts->bSysFile = strcmp(szExt, "sys") == 0;
    pFacts->bAddedByFix = pEntry->fields.dwOldCrc == 0 && pEntry->fields.dwOldSize == 0;
    /* Already the new file (a run stopped after its commit left it): it is
     * not backed up as if it were the old one. */
    pFacts->bTargetIsNew = pFacts->bTargetExists && pEntry->fields.dwKind == FILE_KIND_WHOLE &&
                           pEntry->fields.dwNewCrc != pEntry->fields.dwOldCrc &&
                           CreateHasNewContents(szTarget, pEntry->fields.dwNewSize, pEntry->fields.dwNewCrc);
}

/* Kinds 2 and 3: the backup step of one target, carrying out the action
 * EngineDecideTarget names (the dry run's plan decides with the same
 * function). Returns 1 to go on, 0 to stop the run; *piAction gets the
 * target's decision for the commit, *pbWrite whether the transform is to
 * write the temporary file, *piPlan the action. */
static int CreateBackupStep(CREATE_ENTRY* pEntry, const char* szTarget, int j, int cTargets, const char* szDataDir,
                            int* piAction, int* pbWrite, int* piPlan)
{
    char szBackup[261];
    int iCab = CreateCabinetAction(szTarget, pEntry->fields.dwDirectory);
    TARGET_FACTS facts;
    *pbWrite = 0;
    *piAction = ENGINE_UNTOUCHED;
    *piPlan = ACTION_SKIP;
    if (!CreateBackupPath(pEntry, szTarget, szBackup, sizeof(szBackup))) return 0;
    LogLine(szBackup, 1);
    LogLine(pEntry->szTemp, 1);
    CreateFacts(pEntry, szTarget, szBackup, iCab, &facts);
    *piPlan = EngineDecideTarget(&facts);

    if (pEntry->bUpgrade) {
        if (!iCab && !facts.bTargetExists) LogFormat(1, "File %s doesn't exist!", szTarget);
        switch (*piPlan) {
        case ACTION_KEEP:
            if (facts.bTargetIsNew) LogFormat(1, "%s is already the new file: kept, no backup", szTarget);
            else LogFormat(1, "Cabinet entry %s without contents: left as it is", szTarget);
            *piAction = ENGINE_KEEP;
            return 1;
        case ACTION_TREE:
            if (!CabinetBackupTree(iCab, szDataDir, szTarget, szBackup)) return 0;
            *piAction = iCab;
            *pbWrite = 1;
            return 1;
        case ACTION_REPLACE:
        case ACTION_REMOVE:
            if (!facts.bBackupExists && !EnginePathHas(szTarget, "qdb2key.dll")) {
                if (PlatMoveFile(szTarget, szBackup)) {
                    LogFormat(1, "Backed up %s to %s", szTarget, szBackup);
                } else {
                    LogFormat(1, "Failed Backing up %s to %s (%ld)", szTarget, szBackup, PlatGetLastError());
                    return 0;
                }
            }
            *piAction = *piPlan == ACTION_REMOVE ? ENGINE_REMOVE : ENGINE_REPLACE;
            *pbWrite = *piPlan == ACTION_REPLACE;
            return 1;
        case ACTION_ADD:
            *piAction = ENGINE_REPLACE;
            *pbWrite = 1;
            return 1;
        default: return 1; /* skip: a removed file that is not there, a ".sys" file */
        }
    }

    /* Revert. */
    LogFormat(1, "MODE %d", giOperationMode);
    if (*piPlan == ACTION_RESTORE || *piPlan == ACTION_TREE) {
        if (FileExists(pEntry->szTemp)) PlatDeleteFile(pEntry->szTemp);
        if (j < cTargets - 1) {
            if (!EngineCopyNew(szBackup, pEntry->szTemp)) {
                LogLine("CopyFiles :", 1);
                LogFormat(1, "Failed to rename temp file %s to %s.", szBackup, pEntry->szTemp);
                return 0;
            }
        } else if (PlatMoveFile(szBackup, pEntry->szTemp)) {
            LogFormat(1, "Restored %s to %s", szBackup, pEntry->szTemp);
        } else {
            LogFormat(1, "Failed Restoring %s to %s (%ld)", szBackup, pEntry->szTemp, PlatGetLastError());
            return 0;
        }
        *piAction = iCab ? iCab : ENGINE_REPLACE;
        return 1;
    }
    LogFormat(1, "Backup file %s doesn't exist", szBackup);
    if (*piPlan == ACTION_REMOVE || *piPlan == ACTION_KEEP) {
        /* The fix added the file: reverting removes it (a cabinet tree stays). */
        *piAction = *piPlan == ACTION_REMOVE ? ENGINE_REMOVE : ENGINE_KEEP;
        return 1;
    }
    LogFormat(1, "Cannot revert %s without its backup", szTarget);
    return 0;
}

/* Writes the temporary file through the transform and checks it. 1 to go
 * on, 0 to stop; *piAction becomes ENGINE_KEEP for a kind-1 file of another
 * version. pfSource is closed here. */
static int CreateWriteTemp(CREATE_ENTRY* pEntry, const char* szTarget, PLATFILE* pfSource, int* piAction)
{
    const FILEENTRY_FIELDS* pf = &pEntry->fields;
    DWORD dwExpected = pEntry->bUpgrade ? pf->dwNewCrc : pf->dwOldCrc;
    DWORD dwExpectedSize = pEntry->bUpgrade ? pf->dwNewSize : pf->dwOldSize;
    DWORD dwTime = pEntry->bUpgrade ? pf->dwNewTime : pf->dwOldTime;
    DWORD dwCrc = 0, dwSize = 0;
    int iResult;
    const BYTE* pbPayload = pEntry->hPayload ? (const BYTE*)PlatGlobalLock(pEntry->hPayload) : NULL;
    PLATFILE* pfOut;

    /* A later data directory of a kind-1 entry: the temporary file already
     * holds the one result; this target only needs the version test. */
    if (pf->dwKind == FILE_KIND_DELTA && pEntry->bTempReady) {
        DWORD dwSizeHere = pEntry->bUpgrade ? pf->dwOldSize : pf->dwNewSize;
        DWORD dwCrcHere = pEntry->bUpgrade ? pf->dwOldCrc : pf->dwNewCrc;
        int bMatches = EngineSourceMatches(pfSource, dwSizeHere, dwCrcHere);
        int bReadFailed = pfSource && PlatFerror(pfSource);
        PlatFclose(pfSource);
        /* A read that failed says nothing of the version: the entry fails. */
        if (bReadFailed) {
            if (pEntry->hPayload) PlatGlobalUnlock(pEntry->hPayload);
            LogFormat(2, "Failed to read %s.", szTarget);
            return 0;
        }
        if (pEntry->hPayload) PlatGlobalUnlock(pEntry->hPayload);
        if (bMatches) {
            LogFormat(2, "%s already holds the new file for %s", pEntry->szTemp, szTarget);
            return 1;
        }
        if (pEntry->bUpgrade) LogFormat(0, "UpgradeFile: original version or size is different for %s\n", szTarget);
        LogFormat(1, "Kept %s: not the version this fix applies to", szTarget);
        *piAction = ENGINE_KEEP;
        return 1;
    }

    pfOut = PlatFopen(pEntry->szTemp, "wb");
    if (!pfOut) {
        if (pfSource) PlatFclose(pfSource);
        if (pEntry->hPayload) PlatGlobalUnlock(pEntry->hPayload);
        LogFormat(2, "Failed to open the temp file %s.", pEntry->szTemp);
        return 0;
    }
    if (pEntry->bUpgrade) {
        iResult = UpgradeFile(pfSource, pfOut, pbPayload, pEntry->cbPayload, pf, szTarget);
        LogFormat(2, "UpgradeFile returned %d for file %s", iResult, szTarget);
    } else {
        iResult = RevertFile(pfSource, pfOut, pbPayload, pEntry->cbPayload, pf, szTarget);
        LogFormat(2, "RevertFile returned %d for file %s", iResult, szTarget);
        LogFormat(1, "Expected Cksm  %lx; Expected size %lx", pf->dwOldCrc, pf->dwOldSize);
    }
    if (pEntry->hPayload) PlatGlobalUnlock(pEntry->hPayload);
    if (pfSource) PlatFclose(pfSource);
    if (PlatFclose(pfOut) != 0 && iResult == 1) {
        LogFormat(2, "Failed to write the temp file %s.", pEntry->szTemp);
        iResult = 0;
    }
    if (iResult == XFORM_NOT_APPLICABLE) {
        /* A kind-1 file of another version keeps its place; what the
         * transform wrote is thrown away. */
        PlatDeleteFile(pEntry->szTemp);
        LogFormat(1, "Kept %s: not the version this fix applies to", szTarget);
        *piAction = ENGINE_KEEP;
        return 1;
    }
    if (iResult != 1) {
        LogLine("Failed", 1);
        return 0;
    }

    /* The final checksum, of the bytes the transform wrote (else of the
     * file read back: one that cannot be read fails); CRC-32 0 passes only
     * for an empty expected file. */
    if (!EngineLastOutput(&dwCrc, &dwSize) && !EngineFileCrc(pEntry->szTemp, &dwCrc, &dwSize)) {
        LogFormat(0, "New file (%s) cannot be read for its final checksum.", pEntry->szTemp);
        return 0;
    }
    if (dwExpected != 0xFFFFFFFFu && (dwCrc != dwExpected || (dwExpected == 0 && (dwSize != 0 || dwExpectedSize != 0)))) {
        LogFormat(0, "New file (%s) failed at final checksum. (Found %#lx, Expected %#lx)", pEntry->szTemp, dwCrc,
                  dwExpected);
        return 0;
    }
    LogFormat(0, "Expected: %#lxL, real: %#lxL", dwExpected, dwCrc);
    pEntry->bTempReady = 1;
    if (*piAction != ENGINE_CAB_TOOLKIT && *piAction != ENGINE_CAB_PLUGINS) {
        if (PlatSetFileTime(pEntry->szTemp, (long long)dwTime)) LogLine("OK", 1);
        else LogFormat(1, "Failed to set time on %s.", pEntry->szTemp);
    }
    return 1;
}

/* The action of a target whose temporary file the transform wrote: kind 1
 * patches the installed file (or keeps one of another version), other
 * kinds without an installed file write the payload's result. */
static int CreateWrittenAction(const CREATE_ENTRY* pEntry, const char* szTarget, int iAction, int bPlanned, int iPlan)
{
    TARGET_FACTS facts;
    if (bPlanned) return iPlan;
    memset(&facts, 0, sizeof(facts));
    facts.dwKind = pEntry->fields.dwKind;
    facts.bUpgrade = pEntry->bUpgrade;
    facts.bLevelBackups = (int)dwUpgradeType > 0;
    facts.bTargetExists = pEntry->fields.dwKind == FILE_KIND_DELTA ? 1 : FileExists(szTarget);
    facts.bSourceMatches = iAction != ENGINE_KEEP;
    return EngineDecideTarget(&facts);
}

/* One entry over all its targets. 1 to go on, 0 to stop. */
static int CreateEntry(CREATE_ENTRY* pEntry)
{
    char (*szTargets)[261];
    int j, cTargets = 0, bOk = 1;
    DWORD dwKind = pEntry->fields.dwKind;

    if (dwKind != FILE_KIND_REMOVED) {
        DWORD cbResource = 0;
        const BYTE* pbResource = FindPayload(pEntry->dwEntry, KIND_UPDATE, &cbResource);
        if (!pbResource) {
            LogFormat(0, "Failed to load update resource %d.", (int)pEntry->dwEntry);
            return 0;
        }
        if (!UnpackPayload(pbResource, cbResource, &pEntry->hPayload, &pEntry->cbPayload)) {
            LogFormat(0, "Failed to unpack update resource %d.", (int)pEntry->dwEntry);
            return 0;
        }
    }
    if (ghMainDlg) {
        char szText[TEXT_FORMAT_MAX];
        TextFormat(szText, sizeof(szText), "%s %s", StringText(30), pEntry->szName);
        PlatSetDlgItemText(ghMainDlg, IDC_FILE_CAP, szText);
    }
    PumpMessages();

    szTargets = (char(*)[261])PlatHeapAlloc(261 * (size_t)(EngineTargetCount(pEntry->fields.dwDirectory) + 1));
    if (!szTargets) {
        LogLine("Failed to allocate the target table", 0);
        return 0;
    }
    if (!EngineTargets(pEntry->szName, pEntry->fields.dwDirectory, szTargets, &cTargets)) bOk = 0;

    for (j = 0; bOk && j < cTargets; j++) {
        const char* szTarget = szTargets[j];
        const char* szDataDir = CabinetDataDirOf(pEntry->fields.dwDirectory, j);
        PLATFILE* pfSource = NULL;
        int iAction = ENGINE_REPLACE, bWrite = 1;

        int iPlan = ACTION_SKIP, bPlanned = 0;

        if (pEntry->fields.dwDirectory == DIR_DATA && gpDataDirValid && !gpDataDirValid[j]) {
            CreateNoteAction(pEntry->dwEntry, szTarget, ACTION_SKIP);
            continue;
        }
        LogFormat(1, pEntry->bUpgrade ? "Upgrading %s..." : "Reverting %s...", szTarget);

        if (dwKind == FILE_KIND_DELTA) {
            pfSource = PlatFopen(szTarget, "rb");
            if (!pfSource && PlatGetFileAttributes(szTarget) != INVALID_FILE_ATTRIBUTES) {
                /* Installed but unreadable: skipping it would leave this copy
                 * at the old level under a run that reports success. */
                LogFormat(2, "Failed to open the src file %s (%ld): the run stops.", szTarget,
                          (long)PlatGetLastError());
                bOk = 0;
                break;
            }
            if (!pfSource) {
                LogFormat(2, "Failed to open the src file %s. Skipping.", szTarget);
                EngineSetDecision(pEntry->dwEntry, j, ENGINE_KEEP);
                CreateNoteAction(pEntry->dwEntry, szTarget, ACTION_SKIP);
                continue;
            }
        } else if (dwKind == FILE_KIND_WHOLE || dwKind == FILE_KIND_REMOVED) {
            if (!CreateBackupStep(pEntry, szTarget, j, cTargets, szDataDir, &iAction, &bWrite, &iPlan)) {
                if (iPlan == ACTION_FAIL) CreateNoteAction(pEntry->dwEntry, szTarget, ACTION_FAIL);
                bOk = 0;
                break;
            }
            bPlanned = 1;
            if (!pEntry->bUpgrade && dwKind == FILE_KIND_WHOLE) {
                LogLine("Freeing memory while reverting...", 1);
                bWrite = 0;
            }
            if (!bWrite) {
                EngineSetDecision(pEntry->dwEntry, j, iAction);
                CreateNoteAction(pEntry->dwEntry, szTarget, iPlan);
                continue;
            }
        }
        if (!CreateWriteTemp(pEntry, szTarget, pfSource, &iAction)) {
            bOk = 0;
            break;
        }
        EngineSetDecision(pEntry->dwEntry, j, iAction);
        CreateNoteAction(pEntry->dwEntry, szTarget, CreateWrittenAction(pEntry, szTarget, iAction, bPlanned, iPlan));
    }
    PlatHeapFree(szTargets);
    if (!pEntry->bUpgrade && dwKind == FILE_KIND_WHOLE) CreateReleasePayload(pEntry);
    CreateReleasePayload(pEntry);
    return bOk;
}

int CreateUpgradedFiles(DWORD dwEntries)
{
    int iResult = 1;
    DWORD t;
    CREATE_ENTRY entry;

    EngineGauge(ghGaugeTotal, GAUGE_SETRANGE, dwEntries);
    EngineGauge(ghGaugeFile, GAUGE_SETPOS, 0);
    LogFormat(0, "CreateUpgradedFiles: number of file entries: %d", (int)dwEntries);
    if (dwEntries > FILE_TABLE_MAX || !EngineResetDecisions(dwEntries, giPartitions > 0 ? giPartitions : 1)) {
        LogLine("Failed to allocate the decision table", 0);
        return 0;
    }
    if (!CreateCheckNames(dwEntries)) iResult = 0;

    memset(&entry, 0, sizeof(entry));
    for (t = 1; iResult && t <= dwEntries; t++) {
        CreateReleasePayload(&entry);
        memset(&entry, 0, sizeof(entry));
        entry.dwEntry = t;
        entry.bUpgrade = giOperationMode == MODE_UPGRADE;
        if (!ReadFileEntry(t, entry.szName, sizeof(entry.szName), &entry.fields)) {
            LogLine("Failed to load file entry resource.", 0);
            iResult = 0;
            break;
        }
        LogFormat(0, "CreateUpgradedFiles: canTempName:= %s", entry.szName);
        if ((int)dwUpgradeType > 0) BaseName(entry.szName, entry.szShortName, sizeof(entry.szShortName));
        EngineTempName(t, entry.szTemp, sizeof(entry.szTemp));
        if (FileExists(entry.szTemp)) {
            LogFormat(1, "Deleted stale temporary file %s", entry.szTemp);
            PlatDeleteFile(entry.szTemp);
        }
        if (entry.fields.dwKind == FILE_KIND_EARLIER && (int)dwUpgradeType > 0) {
            if (!CreateRestoreEarlierFix(&entry)) iResult = 0;
            continue;
        }
        if (!CreateEntry(&entry)) iResult = 0;
        EngineGauge(ghGaugeTotal, GAUGE_SETPOS, t);
    }
    CreateReleasePayload(&entry);
    if (ghMainDlg) PlatSetDlgItemText(ghMainDlg, IDC_FILE_CAP, "");
    EngineGauge(ghGaugeTotal, GAUGE_SETPOS, dwEntries);
    LogFormat(1, "Exiting CreateUpgradedFiles: %d", iResult);
    return iResult;
}
