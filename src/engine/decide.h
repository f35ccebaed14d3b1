/*
 * decide.h - what the file phases do to one target of a package entry,
 * decided from what is found on disk, without touching anything.
 *
 * The engine's preparation and the dry run ("plan") decide through the same
 * function, so a plan says what the run then does. The facts are gathered by
 * the caller: the engine as it goes, the plan before anything changes.
 */
#ifndef HERON_ENGINE_DECIDE_H
#define HERON_ENGINE_DECIDE_H

#include "platform/platform.h"

/* The action for one target. */
#define ACTION_SKIP 0     /* nothing happens to the target (not there, not to be installed) */
#define ACTION_REPLACE 1  /* replaced by the whole new file (upgrade) or by the payload's result */
#define ACTION_PATCH 2    /* patched by the delta (either direction) */
#define ACTION_ADD 3      /* installed where there is no file */
#define ACTION_REMOVE 4   /* removed (moved to the backup in an upgrade) */
#define ACTION_KEEP 5     /* left exactly as it is (not the version the fix applies to) */
#define ACTION_RESTORE 6  /* brought back from its backup */
#define ACTION_TREE 7     /* a cabinet tree packed into its backup and refilled */
#define ACTION_FAIL 8     /* the run stops here (a revert without the backup it needs) */

/* What is known about one target before its preparation. */
typedef struct TARGET_FACTS {
    DWORD dwKind;          /* entry kind: 1 delta, 2 whole, 3 removed, 4 earlier fix, other */
    int bUpgrade;          /* the operation mode is upgrade */
    int bLevelBackups;     /* dwUpgradeType above 0: backups in the level's directory */
    int bDataDirInvalid;   /* a data directory marked unusable */
    int bTargetExists;     /* the target opens for reading */
    int bSourceMatches;    /* kind 1: the installed file is the version the delta applies to */
    int bBackupExists;     /* the entry's backup path holds a file */
    int bCabinet;          /* the target stands for a cabinet tree */
    int bSysFile;          /* the target's extension is exactly "sys" */
    int bAddedByFix;       /* old size and old CRC-32 are 0: the fix added the file */
    int bTargetIsNew;      /* kind 2: the target already has the new CRC-32 (an interrupted run's commit) */
} TARGET_FACTS;

/* The action for the facts (ACTION_...). */
int EngineDecideTarget(const TARGET_FACTS* pFacts);

/* The action's word in plans and reports ("replace", "patch", ...). */
const char* EngineActionName(int iAction);

#endif
