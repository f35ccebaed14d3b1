/*
 * patchini.cpp - the patch registry file, the label rules and the backup
 * names (format map in patchini.h).
 *
 * Divisions:
 *   1. Label text rules
 *   2. Backup names
 *   3. Recording a fix
 *
 * The registry file is read and written only through the profile operations;
 * every numbered list ends at the first key that reads back as "DEFAULT".
 */
#include "records/patchini.h"

#include "platform/profile.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "shell/progress.h"
#include "shell/text.h"
#include "shell/utils.h"

#include <string.h>

/* ---- 1. Label text rules ------------------------------------------------ */

/* Ends the text at pCut and removes the blanks before it, never going
 * before the first character. */
static void LabelCutAt(char* szLabel, char* pCut)
{
    *pCut = 0;
    while (pCut > szLabel && pCut[-1] == ' ') *--pCut = 0;
}

void TrimLabel(char* szLabel)
{
    char* p;
    if (!szLabel) return;
    for (p = szLabel; *p; p++) {
        if (*p != '|') continue;
        if (p[1] == '|') {
            LabelCutAt(szLabel, p);
            return;
        }
        if (p[1] != 0) {
            char* pSecond = strchr(p + 1, '|');
            if (pSecond) LabelCutAt(szLabel, pSecond);
            return;
        }
    }
}

static char s_szEmpty[1];

/* A heap copy of at most cch characters of sz; the shared empty text when
 * memory runs out. */
static char* LabelCopy(const char* sz, size_t cch, size_t cbExtra)
{
    char* szNew = (char*)PlatHeapAlloc(cch + cbExtra + 1);
    if (!szNew) return s_szEmpty;
    memcpy(szNew, sz, cch);
    szNew[cch] = 0;
    return szNew;
}

static size_t LabelNameLength(const char* szLabel)
{
    const char* pBar = strchr(szLabel, '|');
    return pBar ? (size_t)(pBar - szLabel) : strlen(szLabel);
}

char* LabelName(const char* szLabel)
{
    if (!szLabel) szLabel = "";
    return LabelCopy(szLabel, LabelNameLength(szLabel), 0);
}

char* JoinLabelNames(const char* szA, const char* szB)
{
    size_t cchA, cchB;
    char* szNew;
    if (!szA) szA = "";
    if (!szB) szB = "";
    cchA = LabelNameLength(szA);
    cchB = LabelNameLength(szB);
    szNew = LabelCopy(szA, cchA, 1 + cchB);
    if (szNew == s_szEmpty) return szNew;
    szNew[cchA] = '+';
    memcpy(szNew + cchA + 1, szB, cchB);
    szNew[cchA + 1 + cchB] = 0;
    return szNew;
}

int FixPackNumber(const char* szText)
{
    const char* p = szText ? strstr(szText, "FP") : NULL;
    long long ll = 0;
    if (!p) return 0;
    for (p += 2; *p >= '0' && *p <= '9'; p++) {
        ll = ll * 10 + (*p - '0');
        if (ll > 0x7FFFFFFF) ll = 0x7FFFFFFF;
    }
    return (int)ll;
}

/* ---- 2. Backup names ------------------------------------------------------- */

static int IsWebAccessPackage(void) { return strcmp(StringText(42), "GWA") == 0; }

char* BackupDirName(const char* szLabel, char* szOut)
{
    size_t cch = 0;
    const char* p;
    szOut[0] = 0;
    if (!szLabel) return szOut;
    for (p = szLabel; *p && *p != '|' && cch + 1 < BACKUP_NAME_SIZE; p++) {
        if (*p == ' ' || *p == '.') continue;
        szOut[cch++] = *p;
    }
    szOut[cch] = 0;
    if (IsWebAccessPackage() && !strstr(szOut, "GWA")) TextAppend(szOut, BACKUP_NAME_SIZE, "_GWA");
    return szOut;
}

char* BackupFileName(const char* szFile, DWORD dwPayload, char* szOut)
{
    char szBase[BACKUP_NAME_SIZE];
    char szStem[BACKUP_NAME_SIZE];
    BaseName(szFile ? szFile : "", szBase, sizeof(szBase));
    StripExtension(szBase, szStem, sizeof(szStem));
    /* The stem, at least four digits and ".IIB" must fit whole. */
    if (strlen(szStem) + 4 + 4 + 10 >= BACKUP_NAME_SIZE) {
        szOut[0] = 0;
        return NULL;
    }
    TextFormat(szOut, BACKUP_NAME_SIZE, "%s%04d.IIB", szStem, (int)dwPayload);
    return szOut;
}

char* BackupEntryPath(const char* szLabel, const char* szFile, DWORD dwPayload, char* szOut)
{
    char szDir[BACKUP_NAME_SIZE];
    char szName[BACKUP_NAME_SIZE];
    size_t cchDir, cchName;
    BackupDirName(szLabel, szDir);
    cchDir = strlen(szDir);
    cchName = BackupFileName(szFile, dwPayload, szName) ? strlen(szName) : BACKUP_NAME_SIZE;
    /* A path that does not fit is no path: a shorter name would be another file. */
    if (cchDir + 1 + cchName >= BACKUP_NAME_SIZE) {
        szOut[0] = 0;
        LogFormat(1, "Backup path too long: %s\\%s", szDir, szFile ? szFile : "");
        return NULL;
    }
    TextFormat(szOut, BACKUP_NAME_SIZE, "%s\\%s", szDir, szName);
    return szOut;
}

/* ---- 3. Recording a fix ------------------------------------------------------ */

static DWORD ReadLe32Record(const BYTE* pb)
{
    return (DWORD)pb[0] | ((DWORD)pb[1] << 8) | ((DWORD)pb[2] << 16) | ((DWORD)pb[3] << 24);
}

/* Progress goes through the door of shell/progress.h: the file gauge and
 * the status line of the wizard, or only the message drain without one. */
static void PatchIniShowProgress(DWORD dwRange) { ProgressShow(dwRange, "Updating patch information"); }

static void PatchIniStepProgress(DWORD dwPosition) { ProgressStep(dwPosition); }

static void PatchIniHideProgress(void) { ProgressHide(); }

/* While RecordFix runs, every write goes to a working copy of the file
 * (s_szWorkPath) and any failed write is remembered, so the recording
 * replaces the file whole or leaves it as it was. */
static const char* s_szWorkPath;
static int s_bWriteFailed;

/* The registry file's path (its working copy while RecordFix runs); 0
 * (logged) when it does not fit. */
static int PatchIniPath(char* szPath, size_t cbPath)
{
    if (s_szWorkPath) return TextCopy(szPath, cbPath, s_szWorkPath);
    return JoinPath(szPath, cbPath, gpProgramDir, gpszPatchIni);
}

static BOOL PatchIniWrite(const char* szSection, const char* szKey, const char* szValue, const char* szPath)
{
    if (PlatWritePrivateProfileString(szSection, szKey, szValue, szPath)) return 1;
    s_bWriteFailed = 1;
    return 0;
}

/* "%c%s%c": a label in double quotes, as list values and section names carry it. */
static void PatchIniQuote(const char* szLabel, char* szOut, size_t cbOut)
{
    TextFormat(szOut, cbOut, "%c%s%c", '"', szLabel, '"');
}

/* One file record of the release table. */
typedef struct PATCH_RECORD {
    const char* szName;
    DWORD dwOldCrc;
    DWORD dwNewCrc;
    DWORD dwPayload;
} PATCH_RECORD;

/* Reads the record at *poff and moves *poff past it. 0 when the header or the
 * name's NUL lies beyond cbRecords. */
static int PatchIniRecord(const BYTE* pbRecords, DWORD cbRecords, DWORD* poff, PATCH_RECORD* pRecord)
{
    const BYTE* pbName;
    const BYTE* pbNul;
    DWORD off = *poff;
    if (!pbRecords || off > cbRecords || cbRecords - off < PATCHINI_RECORD_FIXED) return 0;
    pbName = pbRecords + off + PATCHINI_RECORD_FIXED;
    pbNul = (const BYTE*)memchr(pbName, 0, cbRecords - off - PATCHINI_RECORD_FIXED);
    if (!pbNul) return 0;
    pRecord->dwOldCrc = ReadLe32Record(pbRecords + off + 12);
    pRecord->dwNewCrc = ReadLe32Record(pbRecords + off + 16);
    pRecord->dwPayload = ReadLe32Record(pbRecords + off + 20);
    pRecord->szName = (const char*)pbName;
    *poff = (DWORD)(pbNul - pbRecords) + 1;
    return 1;
}

/* Writes "File%03d", "Checksum%03d" and "BackupName%03d" number iEntry of a
 * level section; a failed write is remembered for RecordFix. */
static void PatchIniWriteEntry(const char* szSection, int iEntry, const char* szFile, DWORD dwCrc,
                               const char* szLabel, DWORD dwPayload, const char* szPath)
{
    char szKey[32];
    char szValue[PATCHINI_VALUE_SIZE];
    char szBackup[BACKUP_NAME_SIZE];

    TextFormat(szKey, sizeof(szKey), "File%03d", iEntry);
    PatchIniWrite(szSection, szKey, szFile, szPath);
    TextFormat(szKey, sizeof(szKey), "Checksum%03d", iEntry);
    TextFormat(szValue, sizeof(szValue), "%#lxL", dwCrc);
    PatchIniWrite(szSection, szKey, szValue, szPath);
    TextFormat(szKey, sizeof(szKey), "BackupName%03d", iEntry);
    /* A backup path that does not fit is no entry: the recording fails. */
    if (BackupEntryPath(szLabel, szFile, dwPayload, szBackup)) PatchIniWrite(szSection, szKey, szBackup, szPath);
    else s_bWriteFailed = 1;
}

/* The recording itself, on the file PatchIniPath names: 1 when every write
 * succeeded. */
static int RecordFixIn(const char* szFromLabel, const char* szToLabel, DWORD dwRecords, const BYTE* pbRecords,
                       DWORD cbRecords)
{
    const char* szList = dwUpgradeType == 2 ? PATCHINI_FIXPACKS : PATCHINI_HOTFIXES;
    char szPath[MAX_PATH];
    char szKey[32];
    char szValue[PATCHINI_VALUE_SIZE];
    int iLabel, bListed = 0;

    if (!PatchIniPath(szPath, sizeof(szPath))) return 0;
    if (!FileExists(szPath) && !PlatWritePrivateProfileSection(szList, "\0", szPath)) {
        LogFormat(1, "Writing profile section to  patch.ini error: %d", (int)PlatGetLastError());
        return 0;
    }

    for (iLabel = 1;; iLabel++) {
        TextFormat(szKey, sizeof(szKey), "Label%03d", iLabel);
        if (PlatGetPrivateProfileString(szList, szKey, PATCHINI_END_MARK, szValue, sizeof(szValue), szPath) == 0) {
            LogFormat(1, "Getting profile string for  %s, section %s patch.ini error: %d", szKey, szList,
                      (int)PlatGetLastError());
            return 0;
        }
        if (strcmp(szValue, PATCHINI_END_MARK) == 0) break;
        if (strcmp(szValue, szToLabel) == 0) bListed = 1;
    }
    if (!bListed) {
        PatchIniQuote(szToLabel, szValue, sizeof(szValue));
        PatchIniWrite(szList, szKey, szValue, szPath);
    }

    /* A damaged record leaves the rest out (logged); a failed read or write
     * leaves the whole file as it was. */
    UpdatePatchIni(szFromLabel, szToLabel, dwRecords, pbRecords, cbRecords);
    return !s_bWriteFailed;
}

/* Puts the working copy szWork in the place of szPath: the old file is moved
 * aside first and put back when the new one cannot take its place. */
static int PatchIniReplace(const char* szWork, const char* szPath, const char* szAside)
{
    int bHadFile = FileExists(szPath);
    if (bHadFile) {
        PlatDeleteFile(szAside);
        if (!PlatMoveFile(szPath, szAside)) return 0;
    }
    if (!PlatMoveFile(szWork, szPath)) {
        DWORD dwError = PlatGetLastError();
        if (bHadFile) PlatMoveFile(szAside, szPath);
        PlatSetLastError(dwError);
        return 0;
    }
    if (bHadFile) PlatDeleteFile(szAside);
    return 1;
}

int RecordFix(const char* szFromLabel, const char* szToLabel, DWORD dwRecords, const BYTE* pbRecords,
              DWORD cbRecords)
{
    char szPath[MAX_PATH];
    char szWork[MAX_PATH];
    char szAside[MAX_PATH];
    int bDone;

    if (!PatchIniPath(szPath, sizeof(szPath))) return 0;
    /* The working names are never cut into other names either. */
    if (strlen(szPath) + 4 >= sizeof(szWork)) {
        LogFormat(1, "Writing profile section to  patch.ini error: %d", ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    TextFormat(szWork, sizeof(szWork), "%s.NEW", szPath);
    TextFormat(szAside, sizeof(szAside), "%s.OLD", szPath);
    PlatDeleteFile(szWork);
    if (FileExists(szPath) && !CopyFileContents(szPath, szWork)) {
        LogFormat(1, "Writing profile section to  patch.ini error: %d", (int)PlatGetLastError());
        PlatDeleteFile(szWork);
        return 0;
    }
    s_szWorkPath = szWork;
    s_bWriteFailed = 0;
    /* The working copy takes thousands of writes: they are kept in memory
     * and it is written once. */
    PlatProfileDefer(szWork);
    bDone = RecordFixIn(szFromLabel, szToLabel, dwRecords, pbRecords, cbRecords);
    if (!PlatProfileFlush(bDone) && bDone) {
        s_bWriteFailed = 1;
        bDone = 0;
    }
    s_szWorkPath = NULL;
    if (bDone && PatchIniReplace(szWork, szPath, szAside)) return 1;
    if (bDone || s_bWriteFailed)
        LogFormat(1, "Recording the fix in patch.ini failed, the file is left as it was: %d",
                  (int)PlatGetLastError());
    PlatDeleteFile(szWork);
    return 0;
}

/* The names already listed in a level section, each a heap copy. */
typedef struct PATCH_NAMES {
    char** ppszNames;
    int cNames;
    int cSlots;
} PATCH_NAMES;

static void PatchNamesFree(PATCH_NAMES* pNames)
{
    int i;
    for (i = 0; i < pNames->cNames; i++) PlatHeapFree(pNames->ppszNames[i]);
    if (pNames->ppszNames) PlatHeapFree(pNames->ppszNames);
    memset(pNames, 0, sizeof(*pNames));
}

/* Keeps a copy of szName; on lack of memory logs and ends the process, as
 * the recording cannot go on without knowing what the section lists. */
static void PatchNamesAdd(PATCH_NAMES* pNames, const char* szName)
{
    char* szCopy;
    if (pNames->cNames == pNames->cSlots) {
        int cSlots = pNames->cSlots ? pNames->cSlots * 2 : 32;
        char** ppszNew = (char**)PlatHeapAlloc(sizeof(char*) * (size_t)cSlots);
        if (!ppszNew) {
            LogFormat(1, "Memory allocation for canPatchFilesn  %d failed: %d", pNames->cNames,
                      (int)PlatGetLastError());
            PlatExitProcess(1);
            return;
        }
        if (pNames->cNames) memcpy(ppszNew, pNames->ppszNames, sizeof(char*) * (size_t)pNames->cNames);
        if (pNames->ppszNames) PlatHeapFree(pNames->ppszNames);
        pNames->ppszNames = ppszNew;
        pNames->cSlots = cSlots;
    }
    szCopy = (char*)PlatHeapAlloc(PATCHINI_VALUE_SIZE);
    if (!szCopy) {
        LogFormat(1, "Memory allocation for canPatchFilesn  %d failed: %d", pNames->cNames,
                  (int)PlatGetLastError());
        PlatExitProcess(1);
        return;
    }
    TextCopy(szCopy, PATCHINI_VALUE_SIZE, szName);
    pNames->ppszNames[pNames->cNames++] = szCopy;
}

static int PatchNamesHas(const PATCH_NAMES* pNames, const char* szName)
{
    int i;
    for (i = 0; i < pNames->cNames; i++)
        if (strcmp(pNames->ppszNames[i], szName) == 0) return 1;
    return 0;
}

int UpdatePatchIni(const char* szFromLabel, const char* szToLabel, DWORD dwRecords, const BYTE* pbRecords,
                   DWORD cbRecords)
{
    char szPath[MAX_PATH];
    char szToSection[PATCHINI_VALUE_SIZE];
    char szFromSection[PATCHINI_VALUE_SIZE];
    char szKey[32];
    char szValue[PATCHINI_VALUE_SIZE];
    PATCH_NAMES names;
    PATCH_RECORD record;
    DWORD i, off = 0;
    int iNextFrom, bResult = 1;
    /* A level recorded over itself has one section; it must list the new
     * checksums only, not get the old ones appended to it. */
    int bSameLevel = strcmp(szFromLabel, szToLabel) == 0;

    memset(&names, 0, sizeof(names));
    if (!PatchIniPath(szPath, sizeof(szPath))) return 0;
    PatchIniQuote(szToLabel, szToSection, sizeof(szToSection));
    PatchIniQuote(szFromLabel, szFromSection, sizeof(szFromSection));

    /* The from-level's names first: a file that cannot be read leaves both
     * sections as they were. */
    if (!bSameLevel) {
        int iFile;
        for (iFile = 1;; iFile++) {
            DWORD dwError;
            TextFormat(szKey, sizeof(szKey), "File%03d", iFile);
            PlatSetLastError(0);
            if (PlatGetPrivateProfileString(szFromSection, szKey, PATCHINI_END_MARK, szValue, sizeof(szValue),
                                            szPath) == 0 &&
                (dwError = PlatGetLastError()) != 0 && dwError != ERROR_FILE_NOT_FOUND &&
                dwError != ERROR_PATH_NOT_FOUND) {
                LogFormat(1, "Getting profile string for  %s, section %s patch.ini error: %d", szKey, szFromSection,
                          (int)dwError);
                s_bWriteFailed = 1;
                PatchNamesFree(&names);
                return 0;
            }
            if (strcmp(szValue, PATCHINI_END_MARK) == 0) break;
            PatchNamesAdd(&names, szValue);
        }
    }
    iNextFrom = names.cNames + 1;

    PatchIniShowProgress(dwRecords);

    if (!PlatWritePrivateProfileSection(szToSection, "\0", szPath)) {
        s_bWriteFailed = 1;
        LogFormat(1, "Writing profile section to  patch.ini error: %d", (int)PlatGetLastError());
        PatchIniHideProgress();
        PatchNamesFree(&names);
        return 0;
    }

    for (i = 1; i <= dwRecords; i++) {
        PatchIniStepProgress(i);
        if (!PatchIniRecord(pbRecords, cbRecords, &off, &record)) {
            LogFormat(1, "Damaged file record %d in the release table", (int)i);
            bResult = 0;
            break;
        }
        PatchIniWriteEntry(szToSection, (int)i, record.szName, record.dwNewCrc, szToLabel, record.dwPayload,
                           szPath);
        if (bSameLevel || PatchNamesHas(&names, record.szName)) continue;
        PatchIniWriteEntry(szFromSection, iNextFrom++, record.szName, record.dwOldCrc, szFromLabel,
                           record.dwPayload, szPath);
    }

    PatchIniHideProgress();
    PatchNamesFree(&names);
    return bResult;
}

int ParseChecksumText(const char* szText, DWORD* pdwCrc)
{
    const char* p = szText;
    unsigned long long ull = 0;
    int cDigits = 0;
    if (pdwCrc) *pdwCrc = 0;
    if (!p) return 0;
    while (*p == ' ') p++;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) p += 2;
    for (; *p; p++) {
        int iDigit;
        if (*p >= '0' && *p <= '9') iDigit = *p - '0';
        else if (*p >= 'a' && *p <= 'f') iDigit = *p - 'a' + 10;
        else if (*p >= 'A' && *p <= 'F') iDigit = *p - 'A' + 10;
        else break;
        ull = ull * 16 + (unsigned)iDigit;
        if (ull > 0xFFFFFFFFull) return 0;
        cDigits++;
    }
    if (*p == 'L' || *p == 'l') p++;
    while (*p == ' ') p++;
    if (cDigits == 0 || *p) return 0;
    if (pdwCrc) *pdwCrc = (DWORD)ull;
    return 1;
}
