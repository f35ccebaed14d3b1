/*
 * drift.cpp - the drift report (drift.h). Reads only.
 */
#include "report/drift.h"

#include "identify/labels.h"
#include "identify/version.h"
#include "package/store.h"
#include "platform/profile.h"
#include "platform/ui.h"
#include "records/patchini.h"
#include "report/result.h"
#include "shell/exitcodes.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "shell/text.h"
#include "shell/utils.h"

#include <string.h>

#define DRIFT_PATH 261
#define DRIFT_VALUE 260
#define DRIFT_SECTIONS 65536

/* What the release table says, found once per report. */
typedef struct DRIFT_TABLE {
    const BYTE* pbRecords;  /* the first checksum record */
    DWORD cbRecords;
    DWORD dwFiles;          /* offset of the first file record */
    DWORD dwFileCount;
    char szFrom[LABEL_FIELD_SIZE + 1];
    char szTo[LABEL_FIELD_SIZE + 1];
    int iLevel;             /* 1 the installed level is the from-level, 2 the to-level, 0 neither */
} DRIFT_TABLE;

typedef struct DRIFT {
    REPORT_TEXT* pText;
    REPORT_TEXT seen;       /* "\n"-separated paths already reported */
    int cFindings;
    char szIni[DRIFT_PATH];
    char szLevel[DRIFT_VALUE];
    DRIFT_TABLE table;
} DRIFT;

/* ---- Helpers ---------------------------------------------------------------------------- */

static int DriftCrc(const char* szPath, DWORD* pdwCrc)
{
    PLATFILE* pf = PlatFopen(szPath, "rb");
    if (!pf) return 0;
    *pdwCrc = FileCrc32(pf);
    PlatFclose(pf);
    return 1;
}

/* 1 when the path was reported already; notes it otherwise. */
static int DriftSeen(DRIFT* pDrift, const char* szPath)
{
    char szKey[DRIFT_PATH + 2];
    size_t i;
    TextFormat(szKey, sizeof(szKey), "\n%s\n", szPath);
    for (i = 0; szKey[i]; i++)
        if (szKey[i] >= 'a' && szKey[i] <= 'z') szKey[i] = (char)(szKey[i] - 'a' + 'A');
    if (pDrift->seen.cch && strstr(ReportString(&pDrift->seen), szKey)) return 1;
    if (!pDrift->seen.cch) ReportAppendRaw(&pDrift->seen, "\n");
    ReportAppendRaw(&pDrift->seen, szKey + 1);
    return 0;
}

static void DriftLoadTable(DRIFT* pDrift)
{
    DWORD cb = 0;
    const BYTE* pb = FindPayload(1, KIND_VERSION, &cb);
    DRIFT_TABLE* pt = &pDrift->table;
    memset(pt, 0, sizeof(*pt));
    if (!pb || cb < VERSION_HEADER_SIZE) return;
    TextCopyN(pt->szFrom, sizeof(pt->szFrom), (const char*)pb, LABEL_FIELD_SIZE);
    TextCopyN(pt->szTo, sizeof(pt->szTo), (const char*)pb + 100, LABEL_FIELD_SIZE);
    TrimLabel(pt->szFrom);
    TrimLabel(pt->szTo);
    pt->pbRecords = pb + VERSION_HEADER_SIZE;
    pt->cbRecords = cb - VERSION_HEADER_SIZE;
    pt->dwFileCount = ReadLe32(pb + 228) ? ReadLe32(pb + 216) : ReadLe32(pb + 212);
    if (!ReleaseTableLayout(pt->pbRecords, pt->cbRecords, ReadLe32(pb + 204), pt->dwFileCount, &pt->dwFiles)) {
        pt->pbRecords = NULL;
        return;
    }
    if (strcmp(pDrift->szLevel, pt->szTo) == 0) pt->iLevel = 2;
    else if (strcmp(pDrift->szLevel, pt->szFrom) == 0) pt->iLevel = 1;
}

/* The file record of szName, or 0. */
static int DriftFileRecord(const DRIFT* pDrift, const char* szName, RELEASE_FILE_RECORD* pRecord)
{
    const DRIFT_TABLE* pt = &pDrift->table;
    DWORD dwOff = pt->dwFiles, i;
    if (!pt->pbRecords) return 0;
    for (i = 0; i < pt->dwFileCount && NextFileRecord(pt->pbRecords, pt->cbRecords, &dwOff, pRecord); i++)
        if (TextEqualNoCase(pRecord->pszName, szName)) return 1;
    return 0;
}

/* The installed paths of a relative name: one per data directory for a
 * data-directory file of the release table, else the program directory's. */
static int DriftPaths(const DRIFT* pDrift, const char* szName, char (*aszPaths)[DRIFT_PATH], int cMax)
{
    RELEASE_FILE_RECORD rec;
    int i, c = 0;
    int bKnown = DriftFileRecord(pDrift, szName, &rec);
    if (bKnown && rec.dwDir == DIR_DATA && gpQuillData) {
        for (i = 0; i < giPartitions && c < cMax; i++)
            if (gpQuillData[i]) TextFormat(aszPaths[c++], DRIFT_PATH, "%s\\%s", gpQuillData[i], szName);
        return c;
    }
    if (bKnown && rec.dwDir == DIR_SYSTEM && gpSystemDir) {
        TextFormat(aszPaths[0], DRIFT_PATH, "%s\\%s", gpSystemDir, szName);
        return 1;
    }
    TextFormat(aszPaths[0], DRIFT_PATH, "%s\\%s", gpProgramDir, szName);
    return 1;
}

/* One expected file: present with dwExpected, or (bAbsent) not present. */
static void DriftCheckFile(DRIFT* pDrift, const char* szName, DWORD dwExpected, int bAbsent, const char* szWhy)
{
    char aszPaths[16][DRIFT_PATH];
    int c = DriftPaths(pDrift, szName, aszPaths, 16), i;
    for (i = 0; i < c; i++) {
        DWORD dwCrc = 0;
        int bPresent;
        if (DriftSeen(pDrift, aszPaths[i])) continue;
        bPresent = DriftCrc(aszPaths[i], &dwCrc);
        if (bAbsent) {
            if (bPresent) {
                ReportAppend(pDrift->pText, "  unexpected %s (%s)\n", aszPaths[i], szWhy);
                pDrift->cFindings++;
            } else {
                ReportAppend(pDrift->pText, "  ok %s (absent)\n", aszPaths[i]);
            }
            continue;
        }
        if (!bPresent) {
            ReportAppend(pDrift->pText, "  missing %s\n", aszPaths[i]);
            pDrift->cFindings++;
        } else if (dwCrc != dwExpected) {
            ReportAppend(pDrift->pText, "  changed %s found=0x%08x expected=0x%08x\n", aszPaths[i], dwCrc, dwExpected);
            pDrift->cFindings++;
        } else {
            ReportAppend(pDrift->pText, "  ok %s\n", aszPaths[i]);
        }
    }
}

/* A key of a level section: 1 a value, 0 the end or a read error. */
static int DriftRead(const DRIFT* pDrift, const char* szSection, const char* szFormat, int k, char* szValue)
{
    char szKey[32];
    TextFormat(szKey, sizeof(szKey), szFormat, k);
    PlatGetPrivateProfileString(szSection, szKey, PATCHINI_END_MARK, szValue, DRIFT_VALUE, pDrift->szIni);
    return szValue[0] && strcmp(szValue, PATCHINI_END_MARK) != 0;
}

/* ---- Files ---------------------------------------------------------------------------------- */

static void DriftFiles(DRIFT* pDrift)
{
    char szSection[DRIFT_VALUE + 2];
    const DRIFT_TABLE* pt = &pDrift->table;
    int k;

    ReportAppendRaw(pDrift->pText, "Files:\n");
    /* The registry's section of the installed level. */
    TextFormat(szSection, sizeof(szSection), "\"%s\"", pDrift->szLevel);
    for (k = 1;; k++) {
        char szFile[DRIFT_VALUE], szChecksum[DRIFT_VALUE];
        DWORD dwCrc = 0;
        if (!DriftRead(pDrift, szSection, "File%03d", k, szFile)) break;
        if (!DriftRead(pDrift, szSection, "Checksum%03d", k, szChecksum)) szChecksum[0] = 0;
        ParseChecksumText(szChecksum, &dwCrc);
        /* A file recorded with checksum 0 is one the level does not have. */
        DriftCheckFile(pDrift, szFile, dwCrc, dwCrc == 0, "not part of this level");
    }
    /* The release table's file records, when it knows the level. */
    if (pt->pbRecords && pt->iLevel) {
        DWORD dwOff = pt->dwFiles, i;
        RELEASE_FILE_RECORD rec;
        for (i = 0; i < pt->dwFileCount && NextFileRecord(pt->pbRecords, pt->cbRecords, &dwOff, &rec); i++) {
            if (rec.dwKind == FILE_KIND_EARLIER) continue;
            if (pt->iLevel == 2)
                DriftCheckFile(pDrift, rec.pszName, rec.dwNewCrc, rec.dwKind == FILE_KIND_REMOVED,
                               "the fix removes it");
            else
                DriftCheckFile(pDrift, rec.pszName, rec.dwOldCrc, rec.dwOldCrc == 0, "the fix adds it");
        }
    }
    /* What an interrupted run leaves in the program directory. */
    {
        static const char* const s_aszLeftovers[] = {"UPTMP*.TMP", "*.hf"};
        int iPattern;
        for (iPattern = 0; iPattern < 2; iPattern++) {
            char szPattern[DRIFT_PATH];
            PLAT_FIND_DATA fd;
            HANDLE h;
            TextFormat(szPattern, sizeof(szPattern), "%s\\%s", gpProgramDir, s_aszLeftovers[iPattern]);
            h = PlatFindFirstFile(szPattern, &fd);
            if (!h) continue;
            do {
                if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
                ReportAppend(pDrift->pText, "  unexpected %s\\%s (left by an interrupted run)\n", gpProgramDir,
                             fd.cFileName);
                pDrift->cFindings++;
            } while (PlatFindNextFile(h, &fd));
            PlatFindClose(h);
        }
    }
}

/* ---- Backup sets ------------------------------------------------------------------------------ */

/* 1 when the backup of szFile at level szLabel is not needed: the fix from
 * that level patches it by a reversible delta, or the file was absent. */
static int DriftBackupNeeded(const DRIFT* pDrift, const char* szLabel, const char* szFile, DWORD dwRecorded)
{
    RELEASE_FILE_RECORD rec;
    if (dwRecorded == 0) return 0;
    if (strcmp(szLabel, pDrift->table.szFrom) == 0 && DriftFileRecord(pDrift, szFile, &rec) &&
        rec.dwKind == FILE_KIND_DELTA)
        return 0;
    return 1;
}

static void DriftBackupSet(DRIFT* pDrift, const char* szSection)
{
    char szLabel[DRIFT_VALUE];
    REPORT_TEXT lines;
    int k, bComplete = 1;
    size_t cch = strlen(szSection);

    TextCopyN(szLabel, sizeof(szLabel), szSection + 1, cch >= 2 ? cch - 2 : 0);
    if (strcmp(szLabel, pDrift->szLevel) == 0) return; /* its backups are made by the next fix */
    memset(&lines, 0, sizeof(lines));
    for (k = 1;; k++) {
        char szFile[DRIFT_VALUE], szChecksum[DRIFT_VALUE], szBackup[DRIFT_VALUE], szPath[DRIFT_PATH];
        DWORD dwRecorded = 0, dwCrc = 0;
        if (!DriftRead(pDrift, szSection, "File%03d", k, szFile)) break;
        if (!DriftRead(pDrift, szSection, "Checksum%03d", k, szChecksum)) szChecksum[0] = 0;
        ParseChecksumText(szChecksum, &dwRecorded);
        if (!DriftRead(pDrift, szSection, "BackupName%03d", k, szBackup)) {
            ReportAppend(&lines, "    not-needed %s (no backup recorded)\n", szFile);
            continue;
        }
        TextFormat(szPath, sizeof(szPath), "%s\\%s", gpProgramDir, szBackup);
        if (DriftCrc(szPath, &dwCrc)) {
            if (dwCrc == dwRecorded) {
                ReportAppend(&lines, "    ok %s\n", szPath);
            } else {
                ReportAppend(&lines, "    corrupt %s found=0x%08x expected=0x%08x\n", szPath, dwCrc, dwRecorded);
                bComplete = 0;
                pDrift->cFindings++;
            }
        } else if (!DriftBackupNeeded(pDrift, szLabel, szFile, dwRecorded)) {
            ReportAppend(&lines, "    not-needed %s\n", szPath);
        } else {
            ReportAppend(&lines, "    missing %s\n", szPath);
            bComplete = 0;
            pDrift->cFindings++;
        }
    }
    ReportAppend(pDrift->pText, "  %s: %s\n", szLabel, bComplete ? "complete" : "incomplete");
    ReportAppendRaw(pDrift->pText, ReportString(&lines));
    ReportFree(&lines);
}

static void DriftBackupSets(DRIFT* pDrift)
{
    char* pszNames = (char*)PlatHeapAlloc(DRIFT_SECTIONS);
    const char* p;
    ReportAppendRaw(pDrift->pText, "Backup sets:\n");
    if (!pszNames) {
        ReportAppendRaw(pDrift->pText, "  (not enough memory to list the levels)\n");
        pDrift->cFindings++;
        return;
    }
    PlatGetPrivateProfileString(NULL, NULL, "", pszNames, DRIFT_SECTIONS, pDrift->szIni);
    for (p = pszNames; *p; p += strlen(p) + 1)
        if (p[0] == '"') DriftBackupSet(pDrift, p);
    PlatHeapFree(pszNames);
}

/* ---- The report ----------------------------------------------------------------------------- */

int DriftBuild(REPORT_TEXT* pText)
{
    DRIFT drift;
    size_t cch;

    memset(&drift, 0, sizeof(drift));
    drift.pText = pText;
    TextCopy(drift.szLevel, sizeof(drift.szLevel), gszCurrentRelease);
    cch = strlen(drift.szLevel);
    while (cch && (drift.szLevel[cch - 1] == '\n' || drift.szLevel[cch - 1] == '\r' || drift.szLevel[cch - 1] == ' '))
        drift.szLevel[--cch] = 0;
    TrimLabel(drift.szLevel);
    TextFormat(drift.szIni, sizeof(drift.szIni), "%s\\%s", gpProgramDir ? gpProgramDir : "", gpszPatchIni);
    DriftLoadTable(&drift);

    ReportAppend(pText, "Verify: %s\n", StringText(0));
    ReportAppendRaw(pText, "Nothing was changed.\n");
    ReportAppend(pText, "Program directory: %s\n", gpProgramDir ? gpProgramDir : "");
    ReportAppend(pText, "Installed level: %s\n", drift.szLevel);
    ReportAppend(pText, "Patch registry: %s%s\n", drift.szIni, FileExists(drift.szIni) ? "" : " (none)");
    if (drift.table.iLevel == 2) ReportAppendRaw(pText, "Release table: knows the installed level as its to-level\n");
    else if (drift.table.iLevel == 1) ReportAppendRaw(pText, "Release table: knows the installed level as its from-level\n");
    else ReportAppendRaw(pText, "Release table: does not know the installed level\n");
    ReportAppendRaw(pText, "\n");
    DriftFiles(&drift);
    DriftBackupSets(&drift);
    if (drift.cFindings) ReportAppend(pText, "Result: drift, %d findings\n", drift.cFindings);
    else ReportAppendRaw(pText, "Result: clean\n");
    ReportFree(&drift.seen);
    return drift.cFindings;
}

int VerifyInstallation(void)
{
    REPORT_TEXT text;
    char szPath[MAX_PATH];
    int cFindings;

    memset(&text, 0, sizeof(text));
    LogLine("Verifying the installation against its records.", 0);
    ReadVersionStamp();
    cFindings = DriftBuild(&text);
    if (ReportPublish("verify.txt", &text) && JoinPath(szPath, sizeof(szPath), ReportTempDir(), "verify.txt"))
        ResultNoteReport(szPath);
    LogFormat(0, "Verification: %d findings", cFindings);
    if (PlatUiMode() != UI_HEADLESS) PlatMessageBox(NULL, ReportString(&text), "Info", MB_OK);
    ReportFree(&text);
    return cFindings ? EXIT_DRIFT : EXIT_DONE;
}
