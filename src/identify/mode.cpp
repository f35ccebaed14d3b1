/*
 * mode.cpp - identification: disk space, the release table's header, and
 * the decision between upgrade, revert and undetermined (mode.h).
 *
 * Divisions:
 *   1. Numbers and version texts
 *   2. Disk space
 *   3. DetermineMode and its branches by package kind (string 42)
 *   4. IdentifyRelease
 *
 * Package kinds: an ordinary fix names its target release in string 42;
 * "Custom Fix" and "QSD" packages are judged by file versions, "GWA"
 * packages by the web-access levels recorded in their registry file.
 *
 * When the base release cannot be brought back (RestoreBaseRelease gives 0)
 * the installation is not known to be at the package's from-release: the
 * run is undetermined unless FORCE is given, never an upgrade on top of an
 * unknown level. After a restore that brought the from-release back, the
 * installed release and the backup directory are the from-release's.
 */
#include "identify/mode.h"

#include "identify/labels.h"
#include "identify/version.h"
#include "package/store.h"
#include "platform/dialog.h"
#include "platform/ui.h"
#include "records/listing.h"
#include "records/patchini.h"
#include "recovery/interrupted.h"
#include "recovery/recovery.h"
#include "report/plan.h"
#include "report/report.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "shell/text.h"
#include "shell/utils.h"
#include "ui/resource.h"

#include <string.h>

#define MODE_STR_VERSION 0
#define MODE_STR_KEY_FILE 1
#define MODE_STR_RELEASE_TEXT 2
#define MODE_STR_CAPTION 3
#define MODE_STR_IDENTIFYING 23
#define MODE_STR_NO_TABLE 32
#define MODE_STR_KIND 42
#define MODE_STR_LANGUAGE_PACK 43
#define MODE_LABEL_BUFFER 260

int gbWebLevelInstalled;
const char* gpszWebAccessLevel;

/* ---- 1. Numbers and version texts ----------------------------------------- */

void FormatKilobytes(unsigned long long ull, char* szOut, size_t cbOut)
{
    char szDigits[24];
    int i = (int)sizeof(szDigits) - 1;
    szDigits[i] = 0;
    do {
        szDigits[--i] = (char)('0' + (int)(ull % 10));
        ull /= 10;
    } while (ull && i > 0);
    TextCopy(szOut, cbOut, szDigits + i);
}

typedef struct MODE_VERSION {
    int a[4];
} MODE_VERSION;

/* The version in string 0 after its first ":": dotted, else comma form. */
static int ModePackageVersion(MODE_VERSION* pv)
{
    const char* pColon = strchr(StringText(MODE_STR_VERSION), ':');
    char szText[TEXT_FORMAT_MAX];
    if (!pColon) return 0;
    TextCopy(szText, sizeof(szText), pColon + 1);
    if (ParseDottedVersion(szText, &pv->a[0], &pv->a[1], &pv->a[2], &pv->a[3])) return 1;
    TextCopy(szText, sizeof(szText), pColon + 1);
    return ParseCommaVersion(szText, &pv->a[0], &pv->a[1], &pv->a[2], &pv->a[3]);
}

/* The file version of the program directory's szFile; 0.0.0.0 when it
 * cannot be read (every new version then sorts after it). 1 when read. */
static int ModeInstalledVersion(const char* szFile, MODE_VERSION* pv)
{
    char szPath[MAX_PATH];
    TextFormat(szPath, sizeof(szPath), "%s\\%s", gpProgramDir, szFile);
    if (ReadFileVersion(szPath, &pv->a[0], &pv->a[1], &pv->a[2], &pv->a[3])) return 1;
    memset(pv, 0, sizeof(*pv));
    return 0;
}

static void ModeVersionText(const MODE_VERSION* pv, char* szOut, size_t cbOut)
{
    TextFormat(szOut, cbOut, "%d.%d.%d.%d", pv->a[0], pv->a[1], pv->a[2], pv->a[3]);
}

/* Reads the decimal number at p (digits only); p moves past them. */
static int ModeReadNumber(const char** pp, int* piValue)
{
    const char* p = *pp;
    long lValue = 0;
    if (*p < '0' || *p > '9') return 0;
    while (*p >= '0' && *p <= '9') {
        if (lValue < 100000000L) lValue = lValue * 10 + (*p - '0');
        p++;
    }
    *piValue = (int)lValue;
    *pp = p;
    return 1;
}

int ParseWebLevel(const char* szText, int* piMajor, int* piMinor)
{
    const char* pGwa = szText ? strstr(szText, "GWA") : NULL;
    const char* p;
    const char* pDot;
    if (!pGwa) return 0;
    pDot = strchr(pGwa + 3, '.');
    if (!pDot) return 0;
    p = pGwa + 3;
    if (!ModeReadNumber(&p, piMajor)) *piMajor = 0;
    p = pDot + 1;
    if (!ModeReadNumber(&p, piMinor)) *piMinor = 0;
    return 1;
}

/* ---- 2. Disk space -------------------------------------------------------------- */

unsigned long long FreeKilobytes(const char* szDir)
{
    unsigned long long cbCaller = 0, cbTotal = 0, cbFree = 0;
    if (!szDir || !PlatGetDiskFreeSpaceEx(szDir, &cbCaller, &cbTotal, &cbFree)) return 0;
    return cbFree / 1024;
}

/* The drive of a directory text: its first character in upper case. */
static char ModeDrive(const char* szDir)
{
    char ch = szDir ? szDir[0] : 0;
    return (ch >= 'a' && ch <= 'z') ? (char)(ch - 'a' + 'A') : ch;
}

/* 1 when every drive has room. Otherwise 0 with the free and the needed
 * kilobytes in the two buffers and the short directory in szShortDir. */
static int ModeCheckSpace(DWORD dwProgramKb, DWORD dwDataKb, char* szFree, char* szNeed, char* szShortDir)
{
    char chProgram = ModeDrive(gpProgramDir);
    unsigned long long ullNeed = dwProgramKb, ullFree;
    int i, k;
    for (i = 0; gpQuillData && i < giPartitions; i++)
        if (gpQuillData[i] && ModeDrive(gpQuillData[i]) == chProgram) ullNeed += dwDataKb;
    ullFree = FreeKilobytes(gpProgramDir);
    if (ullNeed > ullFree) {
        FormatKilobytes(ullFree, szFree, MODE_LABEL_BUFFER);
        FormatKilobytes(ullNeed, szNeed, MODE_LABEL_BUFFER);
        TextCopy(szShortDir, MODE_LABEL_BUFFER, gpProgramDir);
        return 0;
    }
    /* Every other drive: the first data directory on it stands for all of
     * them, which each need the data space. */
    for (i = 0; gpQuillData && i < giPartitions; i++) {
        char chDrive;
        int bSeen = 0, cOnDrive = 0;
        if (!gpQuillData[i]) continue;
        chDrive = ModeDrive(gpQuillData[i]);
        if (chDrive == chProgram) continue;
        for (k = 0; k < i; k++)
            if (gpQuillData[k] && ModeDrive(gpQuillData[k]) == chDrive) bSeen = 1;
        if (bSeen) continue;
        for (k = i; k < giPartitions; k++)
            if (gpQuillData[k] && ModeDrive(gpQuillData[k]) == chDrive) cOnDrive++;
        ullNeed = (unsigned long long)dwDataKb * (unsigned long long)cOnDrive;
        ullFree = FreeKilobytes(gpQuillData[i]);
        if (ullNeed > ullFree) {
            FormatKilobytes(ullFree, szFree, MODE_LABEL_BUFFER);
            FormatKilobytes(ullNeed, szNeed, MODE_LABEL_BUFFER);
            TextCopy(szShortDir, MODE_LABEL_BUFFER, gpQuillData[i]);
            return 0;
        }
    }
    return 1;
}

/* ---- 3. DetermineMode ---------------------------------------------------------- */

static int ModeKindIs(const char* szKind) { return strcmp(StringText(MODE_STR_KIND), szKind) == 0; }

/* RestoreBaseRelease, and what a restore that brought the from-release back
 * means for the rest of the run. */
static int ModeRestoreBase(const char* szFrom, const char* szTo)
{
    char szInstalled[BACKUP_NAME_SIZE], szBase[BACKUP_NAME_SIZE];
    /* A plan changes nothing: an installation at the base release needs no
     * restore; any other is noted, and the plan cannot go past it. */
    if (ReportDryRun()) {
        if (strcmp(BackupDirName(gszCurrentRelease, szInstalled), BackupDirName(szFrom, szBase)) != 0) {
            PlanNoteBaseRestore(szFrom, szTo);
            return 0;
        }
    } else if (!RestoreBaseRelease(szFrom, szTo)) {
        return 0;
    }
    BackupDirName(gszCurrentRelease, szInstalled);
    BackupDirName(szFrom, szBase);
    if (strcmp(szInstalled, szBase) != 0) {
        TextCopy(gszCurrentRelease, sizeof(gszCurrentRelease), szFrom);
        TextCopy(gszBackupDir, sizeof(gszBackupDir), szBase);
    }
    return 1;
}

/* The end of a failed base restore: undetermined unless FORCE. */
static int ModeAfterFailedRestore(void) { return (gwOptions & OPT_FORCE) ? MODE_UPGRADE : MODE_UNDETERMINED; }

/* The backup directory of the from-release, as a full path. */
static void ModeFromBackupDir(const char* szFrom)
{
    char szDir[BACKUP_NAME_SIZE];
    BackupDirName(szFrom, szDir);
    TextFormat(gszBackupDir, sizeof(gszBackupDir), "%s\\%s", gpProgramDir, szDir);
}

/* Step 10: the installed release is the package's own level, or it must
 * be brought back to the from-release. */
static int ModeLevelTest(const char* szFrom, const char* szTo)
{
    char szA[BACKUP_NAME_SIZE], szB[BACKUP_NAME_SIZE];
    size_t cchTo = strlen(szTo);
    int bOwn = (cchTo > 0 && strncmp(gszCurrentRelease, szTo, cchTo) == 0) ||
               strcmp(BackupDirName(gszCurrentRelease, szA), BackupDirName(szTo, szB)) == 0;
    if (bOwn) {
        LogFormat(0, "REVERT: Current version  %s is equal to new version: %s", gszCurrentRelease, szTo);
        return MODE_REVERT;
    }
    LogFormat(0, "REVERT: Current version  %s is not equal to new version: %s", gszCurrentRelease, szTo);
    if (ModeKindIs("GWA")) ModeFromBackupDir(szFrom);
    if (ModeRestoreBase(szFrom, szTo)) return MODE_UPGRADE;
    LogLine("RestoreBaseRelease didn't work as expected", 0);
    return MODE_UNDETERMINED;
}

/* Step 7: a web-access package, by the recorded web-access levels; -1 when
 * the level test decides. */
static int ModeWebAccess(void)
{
    char* szText = ReadPatchInfo();
    int i, a1, b1, a2, b2;
    if (szText) PlatHeapFree(szText);
    gpszWebAccessLevel = NULL;
    for (i = 0; i < giFixLabels; i++)
        if (strstr(gpcanFixLabels[i], "GWA")) gpszWebAccessLevel = gpcanFixLabels[i];
    if (!gpszWebAccessLevel) return -1;
    gbWebLevelInstalled = 1;
    if (!ParseWebLevel(gpszWebAccessLevel, &a1, &b1) || !ParseWebLevel(StringText(MODE_STR_LANGUAGE_PACK), &a2, &b2))
        return MODE_UNDETERMINED;
    if (a1 == a2 && b1 == b2) return MODE_REVERT;
    return -1;
}

/* Step 8: a diagnostics-tool package, by the installed tool's version. */
static int ModeDiagnostics(const char* szFrom)
{
    MODE_VERSION vNew, vCur, vKey;
    char szNew[64], szCur[64];
    if (!ModePackageVersion(&vNew)) return MODE_UNDETERMINED;
    ModeVersionText(&vNew, szNew, sizeof(szNew));
    ModeInstalledVersion("qsd.exe", &vCur);
    ModeVersionText(&vCur, szCur, sizeof(szCur));
    if (strcmp(szNew, szCur) == 0) {
        LogFormat(0, "current QSD version:%s is the same as the new one %s: REVERT", szCur, szNew);
        return MODE_REVERT;
    }
    LogFormat(0, "current QSD version:%s is different from the new one %s", szCur, szNew);
    ModeFromBackupDir(szFrom);
    if ((vNew.a[0] != vCur.a[0] || vNew.a[1] != vCur.a[1] || vNew.a[2] != vCur.a[2]) &&
        ModeInstalledVersion(StringText(MODE_STR_KEY_FILE), &vKey)) {
        if (vNew.a[0] != vKey.a[0] || vNew.a[1] != vKey.a[1] || vNew.a[2] < vKey.a[2] || vNew.a[2] > vKey.a[2] + 10)
            LogFormat(1, "new QSD version:%s was built for a different release. Your current release is : %d.%d.%d",
                      szNew, vKey.a[0], vKey.a[1], vKey.a[2]);
    }
    LogFormat(0, "new QSD version:%s was built for a different release than your current one: %d.%d.%d", szNew,
              vCur.a[0], vCur.a[1], vCur.a[2]);
    /* Version texts sort as texts: 1.2.3.10 before 1.2.3.9. */
    return strcmp(szNew, szCur) < 0 ? MODE_REVERT : MODE_UPGRADE;
}

/* A bound of string 2: the text from the digit after szMarker ("Maximum:6"
 * starts at the 6), at most cchMax characters; 0 when the marker is absent. */
static int ModeBound(const char* szMarker, size_t cchMax, char* szOut, size_t cbOut)
{
    const char* p = strstr(StringText(MODE_STR_RELEASE_TEXT), szMarker);
    if (!p) return 0;
    TextCopyN(szOut, cbOut, p + strlen(szMarker) - 1, cchMax);
    return 1;
}

/* Compares the first n characters of a and b, n the shorter length. */
static int ModeCompareShorter(const char* a, const char* b)
{
    size_t na = strlen(a), nb = strlen(b);
    return strncmp(a, b, na < nb ? na : nb);
}

/* Step 9: a custom fix, by the key file's version and the bounds of
 * string 2. */
static int ModeCustomFix(const char* szFrom, char* szTo)
{
    MODE_VERSION vNew, vCur, vKey;
    char szNew[64], szCur[64], szCur3[64], szMax[TEXT_FORMAT_MAX], szMin[TEXT_FORMAT_MAX];
    int bStx9 = IdentEnvSet("STX9");
    int bMax = 0, bMin = 0;
    if (!ModePackageVersion(&vNew)) return MODE_UNDETERMINED;
    ModeVersionText(&vNew, szNew, sizeof(szNew));
    ModeInstalledVersion(StringText(MODE_STR_KEY_FILE), &vCur);
    ModeVersionText(&vCur, szCur, sizeof(szCur));
    if (strcmp(szNew, szCur) == 0) {
        LogFormat(0, "current Custom version:%s is the same as the new one %s: REVERT", szCur, szNew);
        TextFormat(szTo, MODE_LABEL_BUFFER, "Custom Fix: %s", szCur);
        return MODE_REVERT;
    }
    LogFormat(0, "current Custom version:%s is different from the new one %s", szCur, szNew);
    TextFormat(szTo, MODE_LABEL_BUFFER, "Custom fix %s", szNew);
    ModeFromBackupDir(szFrom);
    LogFormat(1, "STR_RELEASE_TEXT: %s", StringText(MODE_STR_RELEASE_TEXT));

    if (ModeInstalledVersion("qstrings.dll", &vKey)) {
        if (vKey.a[0] != vNew.a[0]) {
            LogFormat(1, "new Custom version:%s was built for a different release. Your current release is : %d.%d.%d",
                      szNew, vKey.a[0], vKey.a[1], vKey.a[2]);
            return MODE_UNDETERMINED;
        }
        if (vKey.a[0] == 6 || vKey.a[0] == 7) {
            bMax = ModeBound(vKey.a[0] == 6 ? "Maximum:6" : "Maximum:7", 6, szMax, sizeof(szMax));
            if (bMax) LogFormat(1, "Max version: %s", szMax);
            bMin = ModeBound(vKey.a[0] == 6 ? "Minimum:6" : "Minimum:7", sizeof(szMin) - 1, szMin, sizeof(szMin));
            if (bMin) LogFormat(1, "Min version: %s", szMin);
        }
        TextFormat(szCur3, sizeof(szCur3), "%d.%d.%02d", vKey.a[0], vKey.a[1], vKey.a[2]);
        if (bMax) {
            if (ModeCompareShorter(szMax, szCur3) >= 0) {
                LogFormat(1, "Maximum targeted Garnet version %s is the same or more than the current one %s", szMax,
                          szCur3);
                return MODE_UPGRADE;
            }
            LogFormat(1, "Maximum targeted Garnet version %s less than %s: this custom fix doesn't apply", szMax,
                      szCur3);
            if (!bStx9) return MODE_UNDETERMINED;
        }
        if (bMin) {
            if (ModeCompareShorter(szMin, szCur3) <= 0) {
                LogFormat(1, "%s less or more than the current one %s", szMin, szCur3);
                return MODE_UPGRADE;
            }
            LogFormat(1, "Minimum targeted version %s more than the current one %s: this custom fix doesn't apply",
                      szMin, szCur3);
            if (!bStx9) return MODE_UNDETERMINED;
        }
    }
    if (strcmp(szNew, szCur) > 0) return MODE_UPGRADE;
    return bStx9 ? MODE_UPGRADE : MODE_UNDETERMINED;
}

int DetermineMode(const BYTE* pbRecords, DWORD cbRecords, DWORD dwNewCrc, DWORD dwKeyValue, const char* szFromLabel,
                  char* szToLabel, DWORD dwCount)
{
    const char* szKeyFile = StringText(MODE_STR_KEY_FILE);
    PLATFILE* pf;
    DWORD dwKeyCrc;
    int iMode;

    if (!ModeKindIs("QSD")) ReadVersionStamp();
    LogFormat(0, "DetermineMode: Current version  %s", gszCurrentRelease);
    ResetFixLabels();
    gpszWebAccessLevel = NULL;
    gbWebLevelInstalled = 0;

    pf = PlatFopen(szKeyFile, "rb");
    if (!pf) {
        LogFormat(0, "Can't open %s", szKeyFile);
        if (ModeKindIs("Custom Fix") && dwKeyValue == 0) return MODE_UPGRADE;
        goto base_restore;
    }
    dwKeyCrc = FileCrc32(pf);
    PlatFclose(pf);

    if (dwUpgradeType == 0) {
        DWORD dwOff = 0, i;
        CHECKSUM_RECORD rec;
        for (i = 0; i < gdwChecksums && NextChecksumRecord(pbRecords, cbRecords, &dwOff, &rec); i++) {
            if (rec.dwCrc == dwKeyCrc) {
                LogFormat(0, "UPGRADE: Current checksum %lx is equal to old checksum: %lx", dwKeyCrc, rec.dwCrc);
                return MODE_UPGRADE;
            }
        }
        if (dwNewCrc == dwKeyCrc) {
            LogFormat(0, "REVERT: Current checksum  %lx is equal to new checksum: %lx", dwKeyCrc, dwNewCrc);
            return MODE_REVERT;
        }
        goto base_restore;
    }

    if (VerifyLabels(pbRecords, cbRecords, szToLabel, dwCount) && !ModeKindIs("QSD") && !ModeKindIs("Custom Fix") &&
        !ModeKindIs("GWA")) {
        /* The installed release is one of the package's older levels. */
        if (ModeRestoreBase(szFromLabel, szToLabel)) return MODE_UPGRADE;
        LogFormat(0, "File %s failed checksum. (Found %#lx, Expected %#lx)", szKeyFile, dwKeyCrc, 0);
        return ModeAfterFailedRestore();
    }
    if (ModeKindIs("GWA")) {
        iMode = ModeWebAccess();
        if (iMode > 0) return iMode;
    } else if (ModeKindIs("QSD")) {
        return ModeDiagnostics(szFromLabel);
    } else if (ModeKindIs("Custom Fix")) {
        return ModeCustomFix(szFromLabel, szToLabel);
    }
    return ModeLevelTest(szFromLabel, szToLabel);

base_restore:
    if (ModeRestoreBase(szFromLabel, szToLabel)) return MODE_UPGRADE;
    LogLine("RestoreBaseRelease didn't work as expected", 0);
    return ModeAfterFailedRestore();
}

/* ---- 4. IdentifyRelease ------------------------------------------------------ */

/* The box and log line of a missing or damaged release table. */
static int ModeNoTable(void)
{
    PlatMessageBox(ghMainDlg, StringText(MODE_STR_NO_TABLE), StringText(MODE_STR_CAPTION), MB_OK | MB_ICONERROR);
    LogString(MODE_STR_NO_TABLE, 0);
    return 0;
}

int IdentifyRelease(char* szFromLabel, char* szToLabel, char* szShortDir)
{
    DWORD cb = 0, dwFiles = 0, dwCount;
    const BYTE* pb = FindPayload(1, KIND_VERSION, &cb);
    const BYTE* pbRecords;
    DWORD cbRecords;

    if (!pb || cb < VERSION_HEADER_SIZE) return ModeNoTable();

    if (!ModeCheckSpace(ReadLe32(pb + 224), ReadLe32(pb + 220), szFromLabel, szToLabel, szShortDir)) return 5;

    TextCopyN(szFromLabel, MODE_LABEL_BUFFER, (const char*)pb, LABEL_FIELD_SIZE);
    TextCopyN(szToLabel, MODE_LABEL_BUFFER, (const char*)pb + 100, LABEL_FIELD_SIZE);
    TrimLabel(szFromLabel);
    TrimLabel(szToLabel);

    gdwChecksums = ReadLe32(pb + 204);
    gdwPayloadCount = ReadLe32(pb + 212);
    dwUpgradeType = ReadLe32(pb + 228);
    dwNumFiles = dwUpgradeType ? ReadLe32(pb + 216) : gdwPayloadCount;
    dwCount = dwNumFiles;
    pbRecords = pb + VERSION_HEADER_SIZE;
    cbRecords = cb - VERSION_HEADER_SIZE;
    if (!ReleaseTableLayout(pbRecords, cbRecords, gdwChecksums, dwCount, &dwFiles)) {
        LogLine("The release table is damaged: its records run past its end", 0);
        gdwChecksums = 0;
        dwNumFiles = 0;
        return ModeNoTable();
    }

    /* A run that was stopped half way through its commit may have left a
     * place empty (even the key file's): its files go back first (not in a
     * dry run, which changes nothing). */
    if (!ReportDryRun()) PutBackInterruptedFiles();
    giOperationMode = DetermineMode(pbRecords, cbRecords, ReadLe32(pb + 208), ReadLe32(pb + 200), szFromLabel,
                                    szToLabel, dwCount);
    if (ghMainDlg) PlatSetDlgItemText(ghMainDlg, IDC_MESSAGE, StringText(MODE_STR_IDENTIFYING));
    if (giOperationMode == MODE_UPGRADE) return 2;
    if (giOperationMode == MODE_REVERT) return 3;
    return 1;
}
