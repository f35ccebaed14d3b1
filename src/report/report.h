/*
 * report.h - what a run reports besides its log: the run words "plan" and
 * "verify", the result file of "result FILE", and the texts they write.
 *
 * The report words live beside the option word gwOptions, never in it:
 * identification clears gwOptions to hand a choice to the person, and a plan
 * must stay a plan. They are internal flags of this module (a 32-bit word,
 * giReportFlags), documented here:
 *
 *   0x0100  REPORT_PLAN     "plan": identification and verification as a
 *                           real run, then the plan instead of the upgrade
 *   0x0200  REPORT_VERIFY   "verify": the drift report, no wizard
 *   0x0400  REPORT_RESULT   "result FILE": the JSON result at the end
 *
 * The numbers continue the option word's bits (0x01 to 0x80) so that both
 * can be logged side by side without overlapping.
 *
 * Texts of plan and verify: written to "plan.txt" / "verify.txt" in the
 * temporary directory (the log's), printed on standard output when the run
 * is headless, and shown on the wizard's last page (plan) or in an
 * information box (verify) when it is interactive.
 */
#ifndef HERON_REPORT_REPORT_H
#define HERON_REPORT_REPORT_H

#include "platform/platform.h"

#define REPORT_PLAN 0x0100
#define REPORT_VERIFY 0x0200
#define REPORT_RESULT 0x0400

/* The report words of the command line (start-up sets them). */
extern DWORD giReportFlags;
/* The result file's Windows path ("result FILE"), up to 259 characters. */
extern char gszResultFile[MAX_PATH];

/* 1 in a run that must change nothing on disk but its log and its report
 * ("plan", "verify"). */
int ReportDryRun(void);

/* ---- Texts that grow ------------------------------------------------------------ */

/* A heap text that grows as lines are added; empty when memory ran out
 * (bFailed set, the text kept so far stays valid). */
typedef struct REPORT_TEXT {
    char* psz;
    size_t cch;
    size_t cbAlloc;
    int bFailed;
} REPORT_TEXT;

/* Appends the formatted text (shell/text.h conventions, at most 1,023
 * characters per call). */
void ReportAppend(REPORT_TEXT* pText, const char* szFormat, ...);
/* Appends a text of any length as it stands. */
void ReportAppendRaw(REPORT_TEXT* pText, const char* szRaw);
void ReportFree(REPORT_TEXT* pText);
/* The text, "" when nothing was added. */
const char* ReportString(const REPORT_TEXT* pText);

/* ---- Output ----------------------------------------------------------------------- */

/* Notes the temporary directory (the directory of the open log); start-up
 * calls it once the log is open. */
void ReportNoteTempDir(void);
/* The temporary directory noted, "" before. */
const char* ReportTempDir(void);
/* Writes the text to szName in the temporary directory (text mode) and, in
 * a headless run, prints it line by line on standard output. 1 written. */
int ReportPublish(const char* szName, const REPORT_TEXT* pText);

/* ---- Files the tools write ---------------------------------------------------------- */

/* Notes a file that a tool of the run writes as a side effect (the stamp
 * file "currver.txt" of the version-stamp tool): its content (up to 4 KB)
 * or its absence. At most 4 files. */
void ReportGuardFile(const char* szPath);
/* Puts every noted file back as it was: deleted when it was absent,
 * rewritten when its content changed. A dry run calls it at its end. */
void ReportRestoreGuarded(void);

#endif
