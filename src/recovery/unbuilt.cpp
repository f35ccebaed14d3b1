/*
 * unbuilt.cpp - honest failures for the parts of identification and the
 * engine that this branch calls before they are built: every one fails, so
 * no run is taken for a success. Removed once those parts are in.
 */
#include "engine/engine.h"
#include "identify/backupset.h"
#include "identify/mode.h"
#include "shell/log.h"

int gbWebLevelInstalled;

int CreateUpgradedFiles(DWORD dwEntries)
{
    (void)dwEntries;
    LogLine("Preparing the upgraded files is not available in this build", 1);
    return 0;
}

int RenameTempFiles(const FILE_TABLE_ENTRY* pTable, DWORD dwEntries)
{
    (void)pTable;
    (void)dwEntries;
    LogLine("Committing the upgraded files is not available in this build", 1);
    return 0;
}

int VerifyBackupSet(char* szLabel)
{
    (void)szLabel;
    LogLine("Verifying a backup set is not available in this build", 1);
    return 0;
}

int CheckInstalledFiles(char* szLabel, PLATFILE* pfListing)
{
    (void)szLabel;
    (void)pfListing;
    LogLine("Checking the installed files is not available in this build", 1);
    return 0;
}
