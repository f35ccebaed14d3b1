/*
 * interrupted.cpp - files a stopped run left half committed (interrupted.h).
 *
 * The commit removes an installed file and then renames the new one into
 * its place; a run stopped between the two leaves the place empty. Of a file
 * patched in place (no backup of its own) the run kept a copy for its
 * rollback, and of a locked file the installed bytes lie aside: either is
 * the file as it was before the run, and goes back before the stamp is read
 * or any file is verified, so that the next run finds a whole installation.
 */
#include "recovery/interrupted.h"

#include "package/store.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "shell/text.h"
#include "shell/utils.h"

#include <string.h>

/* Puts szSaved back at szTarget (copied, the saved file stays for the run's
 * own clean-up). 1 when it was put back. */
static int PutBack(const char* szTarget, const char* szSaved, int bMove)
{
    if (!FileExists(szSaved)) return 0;
    CreatePath(szTarget);
    if (bMove ? !PlatMoveFile(szSaved, szTarget) : !CopyFileContents(szSaved, szTarget)) {
        LogFormat(0, "Could not put back %s from %s, left by a run that was stopped", szTarget, szSaved);
        return 0;
    }
    LogFormat(0, "Put back %s from %s, left by a run that was stopped", szTarget, szSaved);
    return 1;
}

int PutBackInterruptedFiles(void)
{
    DWORD k, cb = 0, dwEntries;
    int cPut = 0;
    const BYTE* pb = FindPayload(1, KIND_VERSION, &cb);
    if (!gpProgramDir || !pb || cb < VERSION_HEADER_SIZE) return 0;
    dwEntries = ReadLe32(pb + 212);
    for (k = 1; k <= dwEntries && k <= FILE_TABLE_MAX; k++) {
        char szName[MAX_PATH];
        FILEENTRY_FIELDS fields;
        int j, cTargets;
        if (!ReadFileEntry(k, szName, sizeof(szName), &fields)) continue;
        /* A file the fix adds has no level before it: only a revert keeps a
         * copy of it, and a revert removes it on purpose. */
        if (fields.dwOldCrc == 0) continue;
        cTargets = fields.dwDirectory == DIR_DATA ? giPartitions : 1;
        for (j = 0; j < cTargets && j < 100; j++) {
            char szTarget[MAX_PATH];
            char szSaved[MAX_PATH];
            const char* szDir = fields.dwDirectory == DIR_DATA     ? (gpQuillData ? gpQuillData[j] : NULL)
                                : fields.dwDirectory == DIR_SYSTEM ? gpSystemDir
                                                                   : gpProgramDir;
            if (!szDir || !TextFormat(szTarget, sizeof(szTarget), "%s\\%s", szDir, szName)) continue;
            /* Present, even when it cannot be opened: nothing to put back. */
            if (PlatGetFileAttributes(szTarget) != INVALID_FILE_ATTRIBUTES) continue;
            TextFormat(szSaved, sizeof(szSaved), "%s\\UPRB%04d%02d.TMP", gpProgramDir, (int)k, j);
            if (PutBack(szTarget, szSaved, 0)) {
                cPut++;
                continue;
            }
            if (TextFormat(szSaved, sizeof(szSaved), "%s.hf", szTarget) && PutBack(szTarget, szSaved, 1)) cPut++;
        }
    }
    return cPut;
}
