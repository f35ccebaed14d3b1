/*
 * plan.cpp - the dry run's plan (plan.h).
 *
 * Everything here reads: files are opened for reading only, profile files
 * are read through the profile layer, and every decision about a target
 * goes through EngineDecideTarget, the function the engine decides with.
 */
#include "report/plan.h"

#include "engine/decide.h"
#include "identify/mode.h"
#include "package/store.h"
#include "platform/profile.h"
#include "records/patchini.h"
#include "report/result.h"
#include "shell/exitcodes.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "shell/text.h"
#include "shell/utils.h"

#include <string.h>

#define PLAN_PATH 261
#define PLAN_VALUE 260
#define STR_KIND 42
#define STR_LANGUAGE_PACK 43

static REPORT_TEXT s_notes;    /* identification steps not made */
static REPORT_TEXT s_published; /* the plan as published */
static int s_bPublished;
static int s_bBaseRestore;
static int s_bRefused;

void PlanNoteRefused(void) { s_bRefused = 1; }

int PlanRefused(void) { return s_bRefused; }

/* ---- Notes from identification --------------------------------------------------- */

void PlanNoteRepair(const char* szFrom, const char* szTo)
{
    ReportAppend(&s_notes, "  backup repair not made: %s would be copied to %s\n", szFrom, szTo);
}

void PlanNoteBaseRestore(const char* szFrom, const char* szTo)
{
    char szDir[BACKUP_NAME_SIZE], szPath[PLAN_PATH];
    s_bBaseRestore = 1;
    BackupDirName(szFrom, szDir);
    TextFormat(szPath, sizeof(szPath), "%s\\%s", gpProgramDir ? gpProgramDir : "", szDir);
    ReportAppend(&s_notes,
                 "  base-release restore not made: the installed %s would first have to be brought back to %s "
                 "(package level %s) from %s%s; a plan cannot look past that restore\n",
                 gszCurrentRelease, szFrom, szTo, szPath,
                 DirectoryExists(szPath) ? "" : ", which does not exist");
}

int PlanNeedsBaseRestore(void) { return s_bBaseRestore; }

/* ---- Small helpers ------------------------------------------------------------------ */

/* A path for the plan: relative paths are taken from the program directory. */
static void PlanFullPath(const char* szPath, char* szOut, size_t cbOut)
{
    if (strchr(szPath, ':') || (szPath[0] == '\\' && szPath[1] == '\\') || !gpProgramDir)
        TextCopy(szOut, cbOut, szPath);
    else
        TextFormat(szOut, cbOut, "%s\\%s", gpProgramDir, szPath);
}

/* 1 when szPath contains szPart without regard to case. */
static int PlanPathHas(const char* szPath, const char* szPart)
{
    size_t cchPart = strlen(szPart), i;
    for (i = 0; szPath[i]; i++) {
        size_t k;
        for (k = 0; k < cchPart && szPath[i + k]; k++) {
            char a = szPath[i + k], b = szPart[k];
            if (a >= 'A' && a <= 'Z') a = (char)(a - 'A' + 'a');
            if (b >= 'A' && b <= 'Z') b = (char)(b - 'A' + 'a');
            if (a != b) break;
        }
        if (k == cchPart) return 1;
    }
    return 0;
}

/* The size and CRC-32 of a file: 1, or 0 when it cannot be read. */
static int PlanFileCrc(const char* szPath, DWORD* pdwCrc, DWORD* pdwSize)
{
    PLATFILE* pf = PlatFopen(szPath, "rb");
    if (!pf) return 0;
    *pdwSize = StreamSize(pf);
    *pdwCrc = FileCrc32(pf);
    PlatFclose(pf);
    return 1;
}

/* The name less the extension of its last component, then "%04d.IIB". */
static int PlanBackupBeside(const char* szPath, DWORD dwEntry, char* szOut, size_t cbOut)
{
    char szStem[PLAN_PATH];
    const char* pSlash = strrchr(szPath, '\\');
    const char* pDot = strrchr(szPath, '.');
    TextCopy(szStem, sizeof(szStem), szPath);
    if (pDot && (!pSlash || pDot > pSlash)) szStem[pDot - szPath] = 0;
    TextFormat(szOut, cbOut, "%s%04d.IIB", szStem, (int)dwEntry);
    return strlen(szOut) < MAX_PATH;
}

static int PlanStringHas(int iId, const char* szPart) { return strstr(StringText(iId), szPart) != NULL; }

static const char* PlanOperationName(void)
{
    if (!gszCurrentRelease[0]) return "not identified";
    switch (giOperationMode) {
    case MODE_UPGRADE: return "upgrade";
    case MODE_REVERT: return "revert";
    case MODE_UNDETERMINED: return "undetermined";
    default: return "failed upgrade";
    }
}

/* The release table's header, or NULL. */
static const BYTE* PlanTable(DWORD* pcb)
{
    const BYTE* pb = FindPayload(1, KIND_VERSION, pcb);
    return pb && *pcb >= VERSION_HEADER_SIZE ? pb : NULL;
}

static void PlanTableLabel(const BYTE* pb, DWORD dwOffset, char* szOut, size_t cbOut)
{
    szOut[0] = 0;
    if (!pb) return;
    TextCopyN(szOut, cbOut, (const char*)pb + dwOffset, LABEL_FIELD_SIZE);
    TrimLabel(szOut);
}

/* ---- Entries ----------------------------------------------------------------------- */

/* The backup path of a target of kinds 2 and 3 (full path). */
static void PlanEntryBackup(const char* szName, const char* szTarget, DWORD dwEntry, char* szOut, size_t cbOut)
{
    if ((int)dwUpgradeType > 0) {
        char szShort[PLAN_PATH], szFile[BACKUP_NAME_SIZE], szPath[TEXT_FORMAT_MAX];
        BaseName(szName, szShort, sizeof(szShort));
        BackupFileName(szShort, dwEntry, szFile);
        TextFormat(szPath, sizeof(szPath), "%s\\%s", gszBackupDir, szFile);
        PlanFullPath(szPath, szOut, cbOut);
        return;
    }
    {
        char szBeside[PLAN_PATH];
        PlanBackupBeside(szTarget, dwEntry, szBeside, sizeof(szBeside));
        PlanFullPath(szBeside, szOut, cbOut);
    }
}

/* One line per target of entry dwEntry; the count of lines. Sets *pbFails
 * when a target's action stops the real run. */
static int PlanEntry(REPORT_TEXT* pText, DWORD dwEntry, int* pbFails)
{
    char szName[PLAN_PATH];
    FILEENTRY_FIELDS f;
    int cTargets, j, cLines = 0;
    int bUpgrade = giOperationMode == MODE_UPGRADE;

    if (!ReadFileEntry(dwEntry, szName, sizeof(szName), &f)) {
        ReportAppend(pText, "  %d fail (the package has no record for this entry)\n", (int)dwEntry);
        *pbFails = 1;
        return 1;
    }
    cTargets = f.dwDirectory == DIR_DATA ? giPartitions : 1;
    for (j = 0; j < cTargets; j++) {
        char szTarget[PLAN_PATH], szBackup[PLAN_PATH], szShown[PLAN_PATH];
        TARGET_FACTS facts;
        DWORD dwCrc = 0, dwSize = 0;
        int iAction;
        const char* szBackupShown = "-";

        if (f.dwDirectory == DIR_DATA) {
            if (!gpQuillData || !gpQuillData[j]) continue;
            TextFormat(szTarget, sizeof(szTarget), "%s\\%s", gpQuillData[j], szName);
        } else if (f.dwDirectory == DIR_SYSTEM) {
            TextFormat(szTarget, sizeof(szTarget), "%s\\%s", gpSystemDir ? gpSystemDir : "", szName);
        } else {
            PlanFullPath(szName, szTarget, sizeof(szTarget));
        }

        memset(&facts, 0, sizeof(facts));
        facts.dwKind = f.dwKind;
        facts.bUpgrade = bUpgrade;
        facts.bLevelBackups = (int)dwUpgradeType > 0;
        facts.bDataDirInvalid = f.dwDirectory == DIR_DATA && gpDataDirValid && !gpDataDirValid[j];
        facts.bTargetExists = PlanFileCrc(szTarget, &dwCrc, &dwSize);
        if (f.dwKind == FILE_KIND_DELTA)
            facts.bSourceMatches = bUpgrade ? (dwSize == f.dwOldSize && dwCrc == f.dwOldCrc)
                                            : (dwSize == f.dwNewSize && dwCrc == f.dwNewCrc);
        facts.bCabinet = (PlanPathHas(szTarget, "gar-dojo.cab") && f.dwDirectory == DIR_DATA) ||
                         PlanPathHas(szTarget, "osgi_plugins.cab");
        {
            char szExt[PLAN_PATH];
            ExtensionOf(szTarget, szExt, sizeof(szExt));
            facts.bSysFile = strcmp(szExt, "sys") == 0;
        }
        facts.bAddedByFix = f.dwOldSize == 0 && f.dwOldCrc == 0;
        facts.bTargetIsNew = facts.bTargetExists && f.dwKind == FILE_KIND_WHOLE && f.dwNewCrc != f.dwOldCrc &&
                             dwCrc == f.dwNewCrc;

        szBackup[0] = 0;
        if (f.dwKind == FILE_KIND_EARLIER && facts.bLevelBackups) {
            char szBeside[PLAN_PATH], szPath[TEXT_FORMAT_MAX];
            PlanBackupBeside(szName, dwEntry, szBeside, sizeof(szBeside));
            TextFormat(szPath, sizeof(szPath), "%s\\%s", gszBackupDir, szBeside);
            PlanFullPath(szPath, szBackup, sizeof(szBackup));
        } else if (f.dwKind == FILE_KIND_WHOLE || f.dwKind == FILE_KIND_REMOVED) {
            PlanEntryBackup(szName, szTarget, dwEntry, szBackup, sizeof(szBackup));
        }
        facts.bBackupExists = szBackup[0] && FileExists(szBackup);

        iAction = EngineDecideTarget(&facts);
        if (iAction == ACTION_FAIL) *pbFails = 1;
        /* The backup the action makes or reads. */
        switch (iAction) {
        case ACTION_REPLACE:
        case ACTION_REMOVE:
            if (bUpgrade && (f.dwKind == FILE_KIND_WHOLE || f.dwKind == FILE_KIND_REMOVED) &&
                !PlanPathHas(szTarget, "qdb2key.dll")) {
                /* An existing backup is kept: the installed file then goes
                 * without a new one. */
                szBackupShown = facts.bBackupExists ? "(kept)" : szBackup;
            }
            break;
        case ACTION_TREE:
        case ACTION_RESTORE: szBackupShown = szBackup; break;
        default: break;
        }
        TextCopy(szShown, sizeof(szShown), szTarget);
        ReportAppend(pText, "  %d %s %s backup=%s old=%u,0x%08x new=%u,0x%08x\n", (int)dwEntry,
                     EngineActionName(iAction), szShown, szBackupShown, f.dwOldSize, f.dwOldCrc, f.dwNewSize,
                     f.dwNewCrc);
        cLines++;
    }
    return cLines;
}

/* ---- Space ---------------------------------------------------------------------------- */

static char PlanDrive(const char* szDir)
{
    char ch = szDir && szDir[0] && szDir[1] == ':' ? szDir[0] : 0;
    if (ch >= 'a' && ch <= 'z') ch = (char)(ch - 'a' + 'A');
    return ch;
}

static void PlanSpace(REPORT_TEXT* pText, const BYTE* pb)
{
    char achDrives[32];
    const char* aszDirs[32];
    unsigned long long aullNeed[32];
    int cDrives = 0, i, k;
    DWORD dwProgramKb = pb ? ReadLe32(pb + 224) : 0, dwDataKb = pb ? ReadLe32(pb + 220) : 0;

    ReportAppendRaw(pText, "Space:\n");
    for (i = -1; i < giPartitions && cDrives < 32; i++) {
        const char* szDir = i < 0 ? gpProgramDir : (gpQuillData ? gpQuillData[i] : NULL);
        char ch;
        if (!szDir || !szDir[0]) continue;
        ch = PlanDrive(szDir);
        for (k = 0; k < cDrives && achDrives[k] != ch; k++) {
        }
        if (k == cDrives) {
            achDrives[cDrives] = ch;
            aszDirs[cDrives] = szDir;
            aullNeed[cDrives] = 0;
            cDrives++;
        }
        aullNeed[k] += i < 0 ? dwProgramKb : dwDataKb;
    }
    for (k = 0; k < cDrives; k++) {
        char szNeed[24], szFree[24];
        FormatKilobytes(aullNeed[k], szNeed, sizeof(szNeed));
        FormatKilobytes(FreeKilobytes(aszDirs[k]), szFree, sizeof(szFree));
        if (achDrives[k])
            ReportAppend(pText, "  %c: needed %s KB, free %s KB\n", achDrives[k], szNeed, szFree);
        else
            ReportAppend(pText, "  %s: needed %s KB, free %s KB\n", aszDirs[k], szNeed, szFree);
    }
}

/* ---- Configuration keys and the patch registry --------------------------------------------- */

/* The configuration file of data directory i. */
static void PlanConfigFile(int i, char* szOut, size_t cbOut)
{
    if (giPartitions > 1 && gpQuillData && gpQuillData[i]) {
        TextFormat(szOut, cbOut, "%s\\QUILL.INI", gpQuillData[i]);
        if (FileExists(szOut)) return;
    }
    TextFormat(szOut, cbOut, "%s\\QUILL.INI", gpProgramDir ? gpProgramDir : "");
}

static void PlanReadKey(const char* szFile, const char* szKey, char* szOut)
{
    PlatGetPrivateProfileString("Quill", szKey, PATCHINI_END_MARK, szOut, PLAN_VALUE, szFile);
}

static void PlanConfigKeys(REPORT_TEXT* pText, const char* szFrom, const char* szTo)
{
    int bSkip = strcmp(StringText(STR_LANGUAGE_PACK), "SKIP") == 0;
    int bUpgrade = giOperationMode == MODE_UPGRADE;
    const char* szTarget = bUpgrade ? szTo : (dwUpgradeType ? gszRevertLabel : szFrom);
    const char* szSource = bUpgrade ? szFrom : szTo;
    char szDir[BACKUP_NAME_SIZE];
    REPORT_TEXT seen;
    int i, cFiles = giPartitions > 0 ? giPartitions : 1;

    ReportAppendRaw(pText, "Configuration keys:\n");
    if (PlanStringHas(0, "QSD") || PlanStringHas(0, "Custom") || PlanStringHas(0, "GWA") ||
        strcmp(StringText(STR_KIND), "QSD") == 0) {
        ReportAppendRaw(pText, "  none (this kind of package leaves the configuration file alone)\n");
        return;
    }
    memset(&seen, 0, sizeof(seen));
    BackupDirName(bUpgrade ? szSource : szTarget, szDir);
    for (i = 0; i < cFiles; i++) {
        char szFile[PLAN_PATH], szCurrent[PLAN_VALUE], szBase[PLAN_VALUE], szSeenKey[PLAN_PATH + 2];
        PlanConfigFile(i, szFile, sizeof(szFile));
        if (bUpgrade && giPartitions > 1 && gpQuillData && gpQuillData[i] && !FileExists(szFile))
            TextFormat(szFile, sizeof(szFile), "%s\\QUILL.INI", gpQuillData[i]);
        /* Data directories that share the program directory's file change
         * it once. */
        TextFormat(szSeenKey, sizeof(szSeenKey), "\n%s\n", szFile);
        if (strstr(ReportString(&seen), szSeenKey)) continue;
        if (!seen.cch) ReportAppendRaw(&seen, "\n");
        ReportAppendRaw(&seen, szSeenKey + 1);
        if (bUpgrade && !FileExists(szFile)) {
            /* The file is created with the keys. */
            ReportAppend(pText, "  %s created\n", szFile);
            if (dwUpgradeType == 0) {
                ReportAppend(pText, "  %s [Quill] CFP_LP_BASE_VERSION=%s\n", szFile, szTarget);
                break;
            }
            ReportAppend(pText, "  %s [Quill] CFP_LP_BASE_VERSION=%s\n", szFile, bSkip ? szTarget : szSource);
            ReportAppend(pText, "  %s [Quill] CFP_LP_CURRENT=%s\n", szFile, StringText(STR_LANGUAGE_PACK));
            ReportAppend(pText, "  %s [Quill] CFP_LP_PREV=%s\n", szFile, gszCurrentRelease);
            continue;
        }
        if (bUpgrade && dwUpgradeType == 0) {
            ReportAppend(pText, "  %s [Quill] CFP_LP_BASE_VERSION=%s\n", szFile, szTarget);
            break;
        }
        if (bUpgrade) {
            const char* szPrev = szSource;
            PlanReadKey(szFile, "CFP_LP_CURRENT", szCurrent);
            PlanReadKey(szFile, "CFP_LP_BASE_VERSION", szBase);
            if (strcmp(szCurrent, "SKIP") == 0) {
                if (strcmp(szBase, PATCHINI_END_MARK) != 0) szPrev = szBase;
            } else if (strcmp(szCurrent, PATCHINI_END_MARK) != 0) {
                szPrev = szCurrent;
            }
            ReportAppend(pText, "  %s [Quill] CFP_LP_PREV=%s\n", szFile, szPrev);
            ReportAppend(pText, "  %s [Quill] CFP_LP_BASE_VERSION=%s\n", szFile, bSkip ? szTarget : szSource);
            ReportAppend(pText, "  %s [Quill] CFP_LP_CURRENT=%s\n", szFile, bSkip ? "SKIP" : szTarget);
            ReportAppend(pText, "  %s saved to %s\\%s\\QUILL_INI.BCK unless saved before\n", szFile,
                         giPartitions > 1 && gpQuillData[i] ? gpQuillData[i] : gpProgramDir, szDir);
        } else {
            ReportAppend(pText, "  %s [Quill] CFP_LP_CURRENT, CFP_LP_BASE_VERSION back from %s\\%s\\QUILL_INI.BCK\n",
                         szFile, giPartitions > 1 && gpQuillData[i] ? gpQuillData[i] : gpProgramDir, szDir);
            ReportAppend(pText, "  %s [Quill] CFP_LP_PREV=%s\n", szFile, bSkip ? "SKIP" : gszCurrentRelease);
        }
    }
    ReportFree(&seen);
}

/* 1 when szLabel is listed in the registry's list section. */
static int PlanLabelListed(const char* szIni, const char* szSection, const char* szLabel)
{
    int k;
    for (k = 1; k < 1000; k++) {
        char szKey[16], szValue[PLAN_VALUE];
        TextFormat(szKey, sizeof(szKey), "Label%03d", k);
        PlatGetPrivateProfileString(szSection, szKey, PATCHINI_END_MARK, szValue, sizeof(szValue), szIni);
        if (szValue[0] == 0 || strcmp(szValue, PATCHINI_END_MARK) == 0) return 0;
        if (strcmp(szValue, szLabel) == 0) return 1;
    }
    return 0;
}

static void PlanRegistry(REPORT_TEXT* pText, const char* szFrom, const char* szTo, DWORD dwRecords)
{
    char szIni[PLAN_PATH], szDir[BACKUP_NAME_SIZE];
    const char* szList = dwUpgradeType == 2 ? PATCHINI_FIXPACKS : PATCHINI_HOTFIXES;
    int bUpgrade = giOperationMode == MODE_UPGRADE;

    ReportAppendRaw(pText, "Patch registry:\n");
    TextFormat(szIni, sizeof(szIni), "%s\\%s", gpProgramDir ? gpProgramDir : "", gpszPatchIni);
    if (dwUpgradeType == 0) {
        ReportAppendRaw(pText, bUpgrade ? "  none (emptied backup directories are removed)\n" : "  none\n");
        return;
    }
    if (bUpgrade) {
        if (!PlanLabelListed(szIni, szList, szTo))
            ReportAppend(pText, "  %s [%s] gets \"%s\"\n", szIni, szList, szTo);
        ReportAppend(pText, "  %s [\"%s\"] rewritten with %d files\n", szIni, szTo, (int)dwRecords);
        ReportAppend(pText, "  %s [\"%s\"] gets the files it does not list yet\n", szIni, szFrom);
        if (!PlanStringHas(0, "QSD") && !PlanStringHas(0, "Custom") && !PlanStringHas(0, "GWA") &&
            FileExists(szIni))
            ReportAppend(pText, "  %s saved to %s\\%s\\PATCH_INI.BCK unless saved before\n", szIni, gpProgramDir,
                         BackupDirName(szFrom, szDir));
        return;
    }
    if (PlanStringHas(0, "QSD") || PlanStringHas(0, "Custom")) {
        ReportAppendRaw(pText, "  none\n");
        return;
    }
    if (dwUpgradeType == 1) {
        ReportAppend(pText, "  %s deleted (a hotfix's revert)\n", szIni);
        return;
    }
    ReportAppend(pText, "  %s back from %s\\%s\\PATCH_INI.BCK (whole file)\n", szIni, gpProgramDir,
                 BackupDirName(gszRevertLabel, szDir));
}

/* ---- The plan --------------------------------------------------------------------------- */

static const char* PlanOutcome(int bReady, int iExitCode, int bFails)
{
    if (iExitCode != EXIT_DONE) return ExitCodeMeaning(iExitCode);
    if (!bReady) return "the run stopped before its upgrade or revert";
    if (bFails) return "the run would start and then fail";
    return giOperationMode == MODE_REVERT ? "the revert would proceed" : "the upgrade would proceed";
}

int PlanBuild(REPORT_TEXT* pText, int bReady, int iExitCode)
{
    DWORD cb = 0, t, dwEntries;
    const BYTE* pb = PlanTable(&cb);
    char szFrom[LABEL_FIELD_SIZE + 1], szTo[LABEL_FIELD_SIZE + 1], szBackup[PLAN_PATH];
    REPORT_TEXT entries;
    int cLines = 0, bFails = 0, bEntries;

    memset(&entries, 0, sizeof(entries));
    PlanTableLabel(pb, 0, szFrom, sizeof(szFrom));
    PlanTableLabel(pb, 100, szTo, sizeof(szTo));
    dwEntries = pb ? ReadLe32(pb + 212) : 0;
    bEntries = bReady && iExitCode == EXIT_DONE && pb && (giOperationMode == MODE_UPGRADE || giOperationMode == MODE_REVERT);
    if (bEntries) {
        int bSpecial = giOperationMode == MODE_REVERT && dwUpgradeType == 2 && strcmp(gszBackupDir, "Release802FP3") == 0;
        if (bSpecial) {
            ReportAppend(&entries, "  the base release %s would be restored from its backups (no file phase)\n",
                         gszRevertLabel);
        } else {
            for (t = 1; t <= dwEntries && t <= FILE_TABLE_MAX; t++) cLines += PlanEntry(&entries, t, &bFails);
        }
    }

    ReportAppend(pText, "Plan: %s\n", StringText(0));
    ReportAppendRaw(pText, "Nothing was changed.\n");
    ReportAppend(pText, "Package: %s\n", gszModulePath);
    ReportAppend(pText, "Operation: %s\n", PlanOperationName());
    ReportAppend(pText, "From level: %s\n", szFrom);
    ReportAppend(pText, "To level: %s\n", szTo);
    ReportAppend(pText, "Installed level: %s\n", gszCurrentRelease);
    if (giOperationMode == MODE_REVERT && gszRevertLabel[0]) ReportAppend(pText, "Revert label: %s\n", gszRevertLabel);
    if (gszBackupDir[0]) {
        PlanFullPath(gszBackupDir, szBackup, sizeof(szBackup));
        ReportAppend(pText, "Backup directory: %s\n", szBackup);
    }
    ReportAppend(pText, "Outcome: %s (exit code %d)\n", PlanOutcome(bEntries, iExitCode, bFails), iExitCode);
    ReportAppendRaw(pText, "\nEntries:\n");
    if (bEntries) ReportAppendRaw(pText, ReportString(&entries));
    else ReportAppendRaw(pText, "  none: the run would stop before its file phase\n");
    PlanSpace(pText, pb);
    if (bEntries) {
        PlanConfigKeys(pText, szFrom, szTo);
        PlanRegistry(pText, szFrom, szTo, pb ? ReadLe32(pb + 216) : 0);
    }
    if (s_notes.cch) {
        ReportAppendRaw(pText, "Identification:\n");
        ReportAppendRaw(pText, ReportString(&s_notes));
    }
    ReportFree(&entries);
    return cLines;
}

int PlanPublish(int bReady, int iExitCode)
{
    char szPath[MAX_PATH];
    if (s_bPublished) return 0;
    s_bPublished = 1;
    PlanBuild(&s_published, bReady, iExitCode);
    if (ReportPublish("plan.txt", &s_published) && JoinPath(szPath, sizeof(szPath), ReportTempDir(), "plan.txt"))
        ResultNoteReport(szPath);
    LogLine("Plan made; nothing was changed.", 0);
    return 1;
}

int PlanPublished(void) { return s_bPublished; }

const char* PlanText(void) { return ReportString(&s_published); }
