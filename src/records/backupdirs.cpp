/*
 * backupdirs.cpp - removing the emptied backup directories of the recorded
 * levels, and the saved configuration copies of one level (config.h).
 *
 * A directory that still holds files stays: its backups serve later
 * reverts. Records are never removed one by one; a hotfix's revert drops the
 * whole patch registry file unless the revert put it back from its backup.
 */
#include "records/config.h"

#include "platform/profile.h"
#include "records/patchini.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "shell/text.h"

#include <string.h>

/* Removes a directory; logs why not when it is not empty or missing.
 * 1 when removed. */
static int RemoveBackupDir(const char* szDir)
{
    DWORD dwError;
    if (PlatRemoveDirectory(szDir)) return 1;
    dwError = PlatGetLastError();
    if (dwError == ERROR_DIR_NOT_EMPTY) LogFormat(0, "Failed to remove backup directory %s: not empty", szDir);
    else if (dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND)
        LogFormat(0, "Failed to remove backup directory %s: no such directory", szDir);
    return 0;
}

void RemoveBackupDirs(void)
{
    static const char* const aszLists[] = {PATCHINI_FIXPACKS, PATCHINI_HOTFIXES};
    char szPatchIni[MAX_PATH];
    char szProbe[4];
    char szKey[32];
    char szLabel[PATCHINI_VALUE_SIZE];
    char szName[BACKUP_NAME_SIZE];
    char szDir[MAX_PATH];
    size_t iList;
    int iLabel;

    TextFormat(szPatchIni, sizeof(szPatchIni), "%s\\%s", gpProgramDir, gpszPatchIni);
    for (iList = 0; iList < sizeof(aszLists) / sizeof(aszLists[0]); iList++) {
        if (PlatGetPrivateProfileSection(aszLists[iList], szProbe, sizeof(szProbe), szPatchIni) == 0) continue;
        for (iLabel = 1;; iLabel++) {
            TextFormat(szKey, sizeof(szKey), "Label%03d", iLabel);
            if (PlatGetPrivateProfileString(aszLists[iList], szKey, PATCHINI_END_MARK, szLabel, sizeof(szLabel),
                                            szPatchIni) == 0) {
                LogFormat(0, "Getting profile string for %s, section %s in %s: error: %d", szKey, aszLists[iList],
                          szPatchIni, (int)PlatGetLastError());
                continue;
            }
            if (strcmp(szLabel, PATCHINI_END_MARK) == 0) break;
            TextFormat(szDir, sizeof(szDir), "%s\\%s", gpProgramDir, BackupDirName(szLabel, szName));
            RemoveBackupDir(szDir);
        }
    }
    if (dwUpgradeType == 1 && !gbPatchIniRestored) PlatDeleteFile(szPatchIni);
}

int RemoveIniBackups(const char* szDirectory)
{
    char szPath[MAX_PATH];
    TextFormat(szPath, sizeof(szPath), "%s\\%s", szDirectory, CONFIG_BACKUP_NAME);
    if (!PlatDeleteFile(szPath))
        LogFormat(0, "Failed to remove files from the backup quill.ini file %s, error: %d", szPath,
                  (int)PlatGetLastError());
    TextFormat(szPath, sizeof(szPath), "%s\\%s", szDirectory, PATCH_BACKUP_NAME);
    if (!PlatDeleteFile(szPath))
        LogFormat(0, "Failed to remove files from the backup PATCH.ini file %s, error: %d", szPath,
                  (int)PlatGetLastError());
    return RemoveBackupDir(szDirectory);
}
