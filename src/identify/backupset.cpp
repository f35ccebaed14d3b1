/*
 * backupset.cpp - the backup-set verification and the installed-files check
 * over one level's section of the patch registry file (backupset.h).
 *
 * Tolerated backups (their content may differ or be missing): the product's
 * database and template files ("qsf", "qtf"), symbol files ("sym"), the key
 * file family ("qstrings", "qdgts") and files under "vwpd"; an unreadable
 * ".sys" backup too.
 */
#include "identify/backupset.h"

#include "identify/labels.h"
#include "platform/dialog.h"
#include "platform/profile.h"
#include "records/patchini.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "shell/text.h"
#include "shell/utils.h"
#include "ui/gauge.h"
#include "ui/resource.h"

#include <string.h>

#define BACKUPSET_VALUE 260
#define BACKUPSET_PATH 260

/* The label up to its first "|" (the release name without its date). */
static void BackupSetLabelName(const char* szLabel, char* szOut, size_t cbOut)
{
    char* pBar;
    TextCopy(szOut, cbOut, szLabel);
    pBar = strchr(szOut, '|');
    if (pBar) *pBar = 0;
}

/* The registry file's path. */
static void BackupSetIniPath(char* szPath, size_t cbPath)
{
    TextFormat(szPath, cbPath, "%s\\%s", gpProgramDir ? gpProgramDir : "", gpszPatchIni);
}

/*
 * Reads one key of the level's section: 1 a value, 0 the end mark
 * ("DEFAULT"), -1 a read error (logged).
 */
static int BackupSetRead(const char* szSection, const char* szKeyFormat, int k, char* szValue, const char* szIni)
{
    char szKey[32];
    TextFormat(szKey, sizeof(szKey), szKeyFormat, k);
    PlatGetPrivateProfileString(szSection, szKey, PATCHINI_END_MARK, szValue, BACKUPSET_VALUE, szIni);
    if (szValue[0] == 0) {
        LogFormat(0, "Getting profile string for  %s, section %s in %s: error: %d", szKey, szSection, szIni,
                  (int)PlatGetLastError());
        return -1;
    }
    return strcmp(szValue, PATCHINI_END_MARK) == 0 ? 0 : 1;
}

/* The CRC-32 of a file, and whether it could be opened. */
static int BackupSetCrc(const char* szPath, DWORD* pdwCrc)
{
    PLATFILE* pf = PlatFopen(szPath, "rb");
    if (!pf) return 0;
    *pdwCrc = FileCrc32(pf);
    PlatFclose(pf);
    return 1;
}

/* The recorded checksum as a number; a text that is none matches nothing. */
static int BackupSetMatches(DWORD dwCrc, const char* szRecorded, DWORD* pdwRecorded)
{
    *pdwRecorded = 0;
    if (!ParseChecksumText(szRecorded, pdwRecorded)) return 0;
    return *pdwRecorded == dwCrc;
}

static int BackupSetExtensionIs(const char* szExt, const char* const* aszList, int cList)
{
    int i;
    for (i = 0; i < cList; i++)
        if (strcmp(szExt, aszList[i]) == 0) return 1;
    return 0;
}

int VerifyBackupSet(char* szLabel)
{
    static const char* const s_aszMismatchOk[] = {"qsf", "qtf", "sym"};
    static const char* const s_aszMissingOk[] = {"sym", "qsf", "qtf", "sys"};
    char szIni[BACKUPSET_PATH], szSection[BACKUPSET_VALUE], szText[TEXT_FORMAT_MAX];
    char szBackupName[BACKUPSET_VALUE], szChecksum[BACKUPSET_VALUE], szFile[BACKUPSET_VALUE];
    char szName[BACKUPSET_VALUE];
    int iResult = 1, k, r;

    TrimTrailingBlanks(szLabel);
    gdwBackupCount = 0;
    BackupSetLabelName(szLabel, szName, sizeof(szName));
    TextFormat(szText, sizeof(szText), "Verifying checksums for %s", szName);
    IdentShowStatus(szText);
    if (ghMainDlg) PlatShowWindow(PlatGetDlgItem(ghMainDlg, IDC_FILE_CAP), SW_HIDE);
    PlatShowWindow(ghGaugeFile, SW_HIDE);
    PlatShowWindow(ghGaugeTotal, SW_HIDE);
    BackupSetIniPath(szIni, sizeof(szIni));
    TextFormat(szSection, sizeof(szSection), "\"%s\"", szLabel);

    for (k = 1;; k++) {
        char szPath[BACKUPSET_PATH], szExt[BACKUPSET_VALUE];
        DWORD dwCrc = 0, dwRecorded = 0;
        r = BackupSetRead(szSection, "BackupName%03d", k, szBackupName, szIni);
        if (r < 0) return -1;
        if (r == 0) {
            gdwBackupCount = (DWORD)k;
            if (k == 1) {
                /* Nothing recorded for the level: there is nothing to
                 * restore it from. */
                LogFormat(0, "No backup information for %s in %s", szLabel, szIni);
                return 0;
            }
            return iResult;
        }
        TextFormat(szPath, sizeof(szPath), "%s\\%s", gpProgramDir, szBackupName);
        if (BackupSetRead(szSection, "Checksum%03d", k, szChecksum, szIni) < 0) return -1;
        if (BackupSetCrc(szPath, &dwCrc)) {
            if (BackupSetMatches(dwCrc, szChecksum, &dwRecorded)) {
                LogFormat(0, "File %s matches fix version %s", szPath, szLabel);
                continue;
            }
            if (BackupSetRead(szSection, "File%03d", k, szFile, szIni) < 0) return -1;
            ExtensionOf(szFile, szExt, sizeof(szExt));
            if (BackupSetExtensionIs(szExt, s_aszMismatchOk, 3) || strstr(szPath, "qdgts") ||
                strstr(szPath, "qstrings") || strstr(szPath, "vwpd"))
                continue;
            LogFormat(0, "File %s (checksum %#lxL) doesn't match checksum %#lxL in version %s", szPath, dwCrc,
                      dwRecorded, szLabel);
            /* A backup with other content would restore a wrong file. */
            iResult = 0;
            continue;
        }
        LogFormat(0, "Couldn't open the file %s to verify the checksum (data file?): %d", szPath,
                  (int)PlatGetLastError());
        r = BackupSetRead(szSection, "File%03d", k, szFile, szIni);
        if (r < 0) return -1;
        ExtensionOf(szFile, szExt, sizeof(szExt));
        LogFormat(0, "extension %s for %s", szExt, szPath);
        if (BackupSetExtensionIs(szExt, s_aszMissingOk, 4)) continue;
        if (r == 0) {
            gdwBackupCount = (DWORD)k;
            return iResult;
        }
        if (strstr(szFile, "qstrings") || strstr(szFile, "qdgts")) continue;
        LogFormat(0, "Returning -1 for not listed extension %s for %s", szExt, szPath);
        if (iResult != 0) iResult = -1;
    }
}

int CheckInstalledFiles(char* szLabel, PLATFILE* pfListing)
{
    char szIni[BACKUPSET_PATH], szSection[BACKUPSET_VALUE], szText[TEXT_FORMAT_MAX];
    char szFile[BACKUPSET_VALUE], szChecksum[BACKUPSET_VALUE];
    char szName[BACKUPSET_VALUE];
    int iResult = 2, k, r;

    TrimTrailingBlanks(szLabel);
    BackupSetLabelName(szLabel, szName, sizeof(szName));
    TextFormat(szText, sizeof(szText), "Checking %s backup files", szName);
    IdentShowStatus(szText);
    if (gdwBackupCount > 0) {
        PlatShowWindow(ghGaugeFile, SW_SHOW);
        IdentGauge(ghGaugeFile, GAUGE_SETRANGE, gdwBackupCount);
    }
    BackupSetIniPath(szIni, sizeof(szIni));
    TextFormat(szSection, sizeof(szSection), "\"%s\"", szLabel);

    for (k = 1;; k++) {
        char szPath[BACKUPSET_PATH], szLine[TEXT_FORMAT_MAX];
        DWORD dwCrc = 0, dwRecorded = 0;
        IdentGauge(ghGaugeFile, GAUGE_SETPOS, (DWORD)k + 1);
        r = BackupSetRead(szSection, "File%03d", k, szFile, szIni);
        if (r < 0) return 1;
        if (r == 0) {
            PlatShowWindow(ghGaugeFile, SW_HIDE);
            return iResult;
        }
        TextFormat(szPath, sizeof(szPath), "%s\\%s", gpProgramDir, szFile);
        if (BackupSetRead(szSection, "Checksum%03d", k, szChecksum, szIni) < 0) return 1;
        if (!BackupSetCrc(szPath, &dwCrc)) {
            LogFormat(0, "Couldn't open the file %s to verify the checksum", szPath);
            continue;
        }
        if (BackupSetMatches(dwCrc, szChecksum, &dwRecorded)) {
            LogFormat(0, "File %s matches fix version %s", szPath, szLabel);
            TextFormat(szLine, sizeof(szLine), "%c%s%c", '\t', szPath, '\n');
            if (pfListing) PlatFputs(szLine, pfListing);
            continue;
        }
        if (strcmp(szFile, "qstrings.dll") == 0) {
            TextFormat(szLine, sizeof(szLine), "%c%s overwritten.%c", '\t', szPath, '\n');
            if (pfListing) PlatFputs(szLine, pfListing);
            LogFormat(0, "File %s (checksum %#lxL) doesn't match checksum %#lxL infix version %s", szPath, dwCrc,
                      dwRecorded, szLabel);
            iResult = 0;
        }
    }
}
