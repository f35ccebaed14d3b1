/*
 * unbuilt.cpp - honest failures for the engine's file phases, which this
 * branch calls before they are built: both fail, so no run is taken for a
 * success. Removed once the engine is in.
 */
#include "engine/engine.h"
#include "shell/log.h"

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
