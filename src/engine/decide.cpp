/*
 * decide.cpp - the action for one target of a package entry (decide.h).
 *
 * Rules, by entry kind:
 *   4 (earlier fix, with level backups)  upgrade: skip; revert: restore when
 *                                        its backup exists, else skip
 *   1 delta                              target missing: skip; another
 *                                        version: keep; else patch
 *   2 whole, 3 removed, upgrade          cabinet: refill the tree (kind 3:
 *                                        keep); target present: replace
 *                                        (kind 3: remove); missing: kind 3
 *                                        and ".sys" files skip, others add
 *   2 whole, 3 removed, revert           backup present: restore (cabinet:
 *                                        refill); missing and added by the
 *                                        fix: remove (cabinet: keep); else
 *                                        the run fails
 *   other kinds                          the payload's result without an
 *                                        installed file: replace or add
 * A data directory marked unusable skips every target in it.
 */
#include "engine/decide.h"

#include "package/store.h"

int EngineDecideTarget(const TARGET_FACTS* p)
{
    if (p->bDataDirInvalid) return ACTION_SKIP;
    if (p->dwKind == FILE_KIND_EARLIER && p->bLevelBackups) {
        if (p->bUpgrade) return ACTION_SKIP;
        return p->bBackupExists ? ACTION_RESTORE : ACTION_SKIP;
    }
    if (p->dwKind == FILE_KIND_DELTA) {
        if (!p->bTargetExists) return ACTION_SKIP;
        return p->bSourceMatches ? ACTION_PATCH : ACTION_KEEP;
    }
    if (p->dwKind == FILE_KIND_WHOLE || p->dwKind == FILE_KIND_REMOVED) {
        int bRemoved = p->dwKind == FILE_KIND_REMOVED;
        if (p->bUpgrade) {
            if (p->bCabinet) return bRemoved ? ACTION_KEEP : ACTION_TREE;
            if (p->bTargetExists && p->bTargetIsNew && !bRemoved) return ACTION_KEEP;
            if (p->bTargetExists) return bRemoved ? ACTION_REMOVE : ACTION_REPLACE;
            if (bRemoved || p->bSysFile) return ACTION_SKIP;
            return ACTION_ADD;
        }
        if (p->bBackupExists) return p->bCabinet ? ACTION_TREE : ACTION_RESTORE;
        if (p->bAddedByFix) return p->bCabinet ? ACTION_KEEP : ACTION_REMOVE;
        return ACTION_FAIL;
    }
    return p->bTargetExists ? ACTION_REPLACE : ACTION_ADD;
}

const char* EngineActionName(int iAction)
{
    switch (iAction) {
    case ACTION_SKIP: return "skip";
    case ACTION_REPLACE: return "replace";
    case ACTION_PATCH: return "patch";
    case ACTION_ADD: return "add";
    case ACTION_REMOVE: return "remove";
    case ACTION_KEEP: return "keep";
    case ACTION_RESTORE: return "restore";
    case ACTION_TREE: return "refill-tree";
    case ACTION_FAIL: return "fail";
    default: return "?";
    }
}
