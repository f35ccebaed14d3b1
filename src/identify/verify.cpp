/*
 * verify.cpp - verification of the installed files that the package patches
 * in place (verify.h).
 *
 * Only file records of kind 1 (a delta against the installed copy) are
 * checked: a copy with other content cannot be patched. "In use" means that
 * the file opens for reading but not for reading and writing, as a file held
 * by a running process does on the platform the installer was built for
 * (the Linux layer reports such a file the same way).
 */
#include "identify/verify.h"

#include "identify/labels.h"
#include "package/store.h"
#include "platform/dialog.h"
#include "platform/ui.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "shell/text.h"
#include "shell/utils.h"
#include "ui/gauge.h"

#include <string.h>

#define VERIFY_PATH 260

/* Outcome of one installed copy. */
#define VERIFY_MISSING 0  /* not installed: passes */
#define VERIFY_HELD 1     /* cannot be opened for update */
#define VERIFY_MATCH 2
#define VERIFY_MISMATCH 3

/* Opens the copy for update and compares its CRC-32 with dwExpected,
 * logging the outcome. A copy already at dwDone, the CRC-32 the run gives
 * it, is one that an interrupted run of this package changed: it matches,
 * and the engine leaves it as it is. */
static int VerifyOne(const char* szPath, DWORD dwExpected, DWORD dwDone)
{
    PLATFILE* pf = PlatFopen(szPath, "rb");
    DWORD dwCrc;
    if (!pf) {
        DWORD dwError = PlatGetLastError();
        /* Only a file that is not there is not installed; one that cannot
         * be opened now (held, access denied) is there, and in use. */
        if (dwError != ERROR_FILE_NOT_FOUND && dwError != ERROR_PATH_NOT_FOUND) {
            LogFormat(0, "The file %s is missing or in use by another process. Skipping", szPath);
            return VERIFY_HELD;
        }
        LogFormat(0, "The file %s is not installed. Intentionally skipping (This is OK) ", szPath);
        return VERIFY_MISSING;
    }
    PlatFclose(pf);
    pf = PlatFopen(szPath, "r+b");
    if (!pf) {
        LogFormat(0, "The file %s is missing or in use by another process. Skipping", szPath);
        return VERIFY_HELD;
    }
    dwCrc = FileCrc32(pf);
    PlatFclose(pf);
    if (dwCrc == dwExpected) return VERIFY_MATCH;
    if (dwDone != 0 && dwCrc == dwDone) {
        LogFormat(0, "File %s is already at %#lx, as a run that stopped before its end left it", szPath, dwCrc);
        return VERIFY_MATCH;
    }
    LogFormat(0, "File %s failed checksum. (Found %#lx, Expected %#lx)", szPath, dwCrc, dwExpected);
    return VERIFY_MISMATCH;
}

int VerifyFiles(const BYTE* pbRecords, DWORD cbRecords, DWORD dwCount)
{
    DWORD dwOff = 0, j;
    int cFailed = 0, bFailed = 0;
    RELEASE_FILE_RECORD rec;

    LogLine("Entering VerifyFiles()", 0);
    IdentGauge(ghGaugeFile, GAUGE_SETRANGE, dwCount);
    for (j = 1; j <= dwCount; j++) {
        DWORD dwExpected, dwDone;
        if (!NextFileRecord(pbRecords, cbRecords, &dwOff, &rec)) {
            LogFormat(0, "Damaged file record %d in the release table", (int)j);
            return 0;
        }
        if (rec.dwKind != FILE_KIND_DELTA || rec.dwDir == DIR_SYSTEM) goto next;
        dwExpected = giOperationMode == MODE_REVERT ? rec.dwNewCrc : rec.dwOldCrc;
        dwDone = giOperationMode == MODE_REVERT ? rec.dwOldCrc : rec.dwNewCrc;
        if (rec.dwDir == DIR_DATA && giPartitions > 1) {
            int k;
            for (k = 0; k < giPartitions; k++) {
                char szPath[VERIFY_PATH];
                int iOutcome;
                if (!gpDataDirValid || !gpDataDirValid[k] || !gpQuillData[k]) continue;
                TextFormat(szPath, sizeof(szPath), "%s\\%s", gpQuillData[k], rec.pszName);
                iOutcome = VerifyOne(szPath, dwExpected, dwDone);
                /* A revert cannot leave a data directory behind: the level's
                 * backups and records go with the others. */
                if (iOutcome == VERIFY_HELD && giOperationMode == MODE_REVERT) {
                    LogFormat(0, "A revert needs every data directory: %s is in use", szPath);
                    return 0;
                }
                if (iOutcome == VERIFY_HELD) {
                    gpDataDirValid[k] = 0;
                    cFailed++;
                } else if (iOutcome == VERIFY_MISMATCH) {
                    cFailed++;
                }
            }
            if (cFailed >= giPartitions) {
                LogLine("No valid partitions found", 0);
                return 0;
            }
        } else {
            char szPath[VERIFY_PATH];
            int iOutcome;
            if (rec.dwDir == DIR_DATA)
                TextFormat(szPath, sizeof(szPath), "%s\\%s", (gpQuillData && gpQuillData[0]) ? gpQuillData[0] : "",
                           rec.pszName);
            else
                TextCopy(szPath, sizeof(szPath), rec.pszName);
            iOutcome = VerifyOne(szPath, dwExpected, dwDone);
            if (iOutcome == VERIFY_HELD) return 0;
            /* The key file's own mismatch is only logged. */
            if (iOutcome == VERIFY_MISMATCH && strcmp(szPath, "qstrings.dll") != 0) bFailed = 1;
        }
    next:
        IdentGauge(ghGaugeFile, GAUGE_SETPOS, j);
    }
    return bFailed ? 0 : 2;
}

int VerifyQuillVersion(void)
{
    DWORD cb = 0, dwFiles = 0, dwCount;
    const BYTE* pb = FindPayload(1, KIND_VERSION, &cb);
    int iResult;

    LogLine("Entered VerifyQuillVersion()", 0);
    if (pb && cb >= VERSION_HEADER_SIZE) {
        gdwChecksums = ReadLe32(pb + 204);
        dwNumFiles = ReadLe32(pb + 228) > 0 ? ReadLe32(pb + 216) : ReadLe32(pb + 212);
    }
    if (!pb || cb < VERSION_HEADER_SIZE ||
        !ReleaseTableLayout(pb + VERSION_HEADER_SIZE, cb - VERSION_HEADER_SIZE, gdwChecksums, dwNumFiles, &dwFiles)) {
        PlatMessageBox(ghMainDlg, StringText(32), StringText(3), MB_OK | MB_ICONERROR);
        LogString(32, 0);
        return 0;
    }
    dwCount = dwNumFiles;
    LogFormat(0, "Calling VerifyFiles(pointer,%ld)", (int)dwCount);
    iResult = VerifyFiles(pb + VERSION_HEADER_SIZE + dwFiles, cb - VERSION_HEADER_SIZE - dwFiles, dwCount);
    LogLine("Exiting VerifyQuillVersion()", 0);
    return iResult;
}
