/*
 * drift.h - the drift report ("verify"): the installation compared with
 * what the patch registry and the package's release table say.
 *
 * The text ("verify.txt" in the temporary directory):
 *
 *   Verify: <string 0>
 *   Nothing was changed.
 *   Program directory: <path>
 *   Installed level: <the key file's stamp>
 *   Patch registry: <path> | <path> (none)
 *   Release table: knows the installed level as its from-level | to-level
 *                  | does not know the installed level
 *   <empty line>
 *   Files:                         one line per file of the installed level
 *     ok PATH
 *     changed PATH found=0x%08x expected=0x%08x
 *     missing PATH
 *     unexpected PATH (why)
 *   Backup sets:                   one block per recorded level other than
 *     LABEL: complete | incomplete the installed one
 *       ok | corrupt | missing | not-needed PATH
 *   Result: clean | drift, N findings
 *
 * Expected files come from the installed level's section of the registry
 * and, when the release table knows the level, from its file records and
 * its checksum records for that level. "unexpected" marks a file that the
 * level must not have (one the fix removed, or added) and what an
 * interrupted run leaves behind ("UPTMP*.TMP", "*.hf").
 */
#ifndef HERON_REPORT_DRIFT_H
#define HERON_REPORT_DRIFT_H

#include "report/report.h"

/* Builds the report into pText; the number of findings (0: clean). Reads
 * the installed release from gszCurrentRelease (the caller has read the
 * stamp). */
int DriftBuild(REPORT_TEXT* pText);

/* The "verify" run after discovery: reads the stamp, builds and publishes
 * the report ("verify.txt"), shows it. EXIT_DONE when clean, EXIT_DRIFT
 * otherwise. */
int VerifyInstallation(void);

#endif
