/*
 * result.h - the result file ("result FILE"): a small JSON document written
 * at the end of every run, whatever its mode or outcome, also when the run
 * ends half way through PlatExitProcess. Its fields are described in
 * docs/result-file.md.
 *
 * The document is built in a fixed buffer (no heap: a run that ends for lack
 * of memory still reports), written to "<FILE>.tmp" beside the result file
 * and moved over it in one step, so a reader sees either the old document or
 * the whole new one.
 */
#ifndef HERON_REPORT_RESULT_H
#define HERON_REPORT_RESULT_H

#include "platform/platform.h"

/* The file counts of a run (the engine's decisions, engine/decide.h). */
typedef struct RESULT_COUNTS {
    DWORD dwReplaced; /* replaced by a whole new file (or a cabinet tree refilled) */
    DWORD dwPatched;  /* patched by a delta */
    DWORD dwAdded;    /* installed where there was none */
    DWORD dwRemoved;  /* removed */
    DWORD dwRestored; /* brought back from a backup */
} RESULT_COUNTS;

extern RESULT_COUNTS gResultCounts;

/* Notes the start of the run (its time); start-up calls it first. */
void ResultBegin(void);
/* Counts one target of the run by its action (ACTION_..., engine/decide.h). */
void ResultCountAction(int iAction);
/* Notes the package's description (string 0) while the strings are loaded. */
void ResultNoteDescription(const char* szText);
/* Notes the report file of the run (plan.txt, verify.txt) for the result. */
void ResultNoteReport(const char* szPath);
/* Writes the result file for the exit code when "result FILE" was given;
 * at most once per run. 1 written (or nothing asked), 0 failed (logged). */
int ResultWrite(int iExitCode);
/* The hook for PlatExitProcess (platform.h): writes the result. */
void ResultExitHook(UINT uExitCode);

/* JSON text of szText with its quotes into szOut (cbOut bytes): quote,
 * backslash and control characters escaped, bytes from 0x80 as \u00XX (the
 * installer's texts are single-byte, read as Latin-1). 1 when it fitted
 * whole, 0 when cut (szOut then holds "null"). */
int JsonQuote(const char* szText, char* szOut, size_t cbOut);
/* "yyyy-mm-ddThh:mm:ssZ" of seconds since 1970 (UTC). */
void ResultIsoTime(long long llTime, char* szOut, size_t cbOut);
/* The meaning of an exit code, as the README's table names it. */
const char* ExitCodeMeaning(int iExitCode);

#endif
