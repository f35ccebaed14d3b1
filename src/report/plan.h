/*
 * plan.h - the dry run ("plan"): what an upgrade or revert would do, made
 * after identification and verification, before anything changes.
 *
 * The text ("plan.txt" in the temporary directory):
 *
 *   Plan: <string 0>
 *   Nothing was changed.
 *   Package: <path>
 *   Operation: upgrade | revert | undetermined | not identified
 *   From level: / To level: / Installed level: / Revert label: /
 *   Backup directory: <path>
 *   Outcome: <what the real run would do> (exit code N)
 *   <empty line>
 *   Entries:                      one line per target, in entry order:
 *     N ACTION TARGET backup=PATH old=SIZE,CRC new=SIZE,CRC
 *   Space:                        one line per drive:
 *     C: needed N KB, free M KB
 *   Configuration keys:           one line per key that would change
 *   Patch registry:               one line per section that would change
 *   Identification:               steps identification skipped because
 *                                 they change the disk (backup repairs, the
 *                                 base-release restore)
 *
 * ACTION is a word of engine/decide.h (EngineActionName); PATH "-" when the
 * action makes or reads no backup; SIZE decimal, CRC "0x%08x".
 */
#ifndef HERON_REPORT_PLAN_H
#define HERON_REPORT_PLAN_H

#include "report/report.h"

/* Builds the plan of the run into pText. bReady: identification and
 * verification passed and the run would go on with its upgrade or revert
 * (the entries are listed only then); iExitCode the code the run gives.
 * Returns the number of entry lines. */
int PlanBuild(REPORT_TEXT* pText, int bReady, int iExitCode);

/* Builds, publishes ("plan.txt") and remembers the plan: the first call
 * makes it, later calls do nothing. Returns 1 when it was published now. */
int PlanPublish(int bReady, int iExitCode);
/* Identification refused the run (the wizard's failure end): a plan run
 * then exits as the unattended run would, with EXIT_NOT_APPLICABLE. */
void PlanNoteRefused(void);
int PlanRefused(void);
/* 1 once the plan was published in this run. */
int PlanPublished(void);
/* The published plan's text ("" before). */
const char* PlanText(void);

/* Identification in a dry run: a backup repair (a copy szFrom to szTo)
 * that was not made. */
void PlanNoteRepair(const char* szFrom, const char* szTo);
/* Identification in a dry run: the installation is not at the package's
 * base release (szFrom) and would have to be restored from its backups
 * first; the plan stops there (identification counts it as not restored). */
void PlanNoteBaseRestore(const char* szFrom, const char* szTo);
/* 1 when identification noted a base-release restore: the entries depend
 * on files that restore would bring back. */
int PlanNeedsBaseRestore(void);

#endif
