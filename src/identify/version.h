/*
 * version.h - the version probes: the release stamp of the key file
 * (through the version-stamp tool) and the four-part file version of a
 * product file (from its version resource).
 */
#ifndef HERON_IDENTIFY_VERSION_H
#define HERON_IDENTIFY_VERSION_H

#include "platform/platform.h"

/* The most of "currver.txt" that is taken as the stamp. */
#define STAMP_READ_MAX 127
/* The most of a FileVersion value that is kept when it is long. */
#define FILE_VERSION_KEEP 250

/*
 * Reads the installed release's stamp into gszCurrentRelease (at most 127
 * characters): runs "UpdateVersion.exe "<program dir>" myversion read " from
 * gszStartDir and reads "currver.txt" of the program directory. Does nothing
 * in a "QSD" package (string 42). Logs the key file's and the stamp file's
 * paths and the stamp (indent 0). Every failure is logged and ends the
 * process with exit code 1: the tool cannot be started ("Failed to read
 * version from  qstrings.dll version: %d"), "currver.txt" cannot be opened
 * ("Can't open %s") or is empty ("Can't read from  %s").
 * Reads gpProgramDir, gszStartDir; sets gszCurrentRelease. Deletes an old
 * "currver.txt" before the tool runs, and leaves the current directory as it
 * found it.
 */
void ReadVersionStamp(void);

/*
 * Stamps szLabel into the key file: runs "UpdateVersion.exe "<program dir>"
 * "<label>" write " from gszStartDir and waits for it. 1 when the tool was
 * started and has finished (whatever it did), 0 when it could not be started
 * (logs the command line and "Failed to upgrade qstrings.dll version: %d").
 * Logs the key file's path and "Upgraded version to %s" (indent 0). The
 * program directory is the current directory afterwards in both cases.
 */
int WriteVersionStamp(const char* szLabel);

/*
 * The four numbers of the FileVersion text of szPath's version resource:
 * the language and code page of its first translation, or, without a
 * translation table, the user's default language and code page 04B0. 1 when
 * the text holds four numbers (dotted, else comma form), 0 otherwise; the
 * outputs are set only for 1. Logs at indent 1: "GetFileVersionInfoSize call
 * failed for %s", "GetFileVersionInfo call failed for %s", "VerQueryValue
 * call failed for %s", and "versionInfo is  %s for file %s" once the text is
 * read.
 */
int ReadFileVersion(const char* szPath, int* piMajor, int* piMinor, int* piRelease, int* piBuild);

/*
 * "a.b.c.d": splits szText at dots in place (runs of dots are one separator,
 * leading dots are passed over) and reads the first four pieces as decimal
 * numbers (leading blanks skipped, up to the first non-digit). 1 when there
 * are four pieces, else 0 (outputs untouched).
 */
int ParseDottedVersion(char* szText, int* piMajor, int* piMinor, int* piRelease, int* piBuild);

/* "a, b, c, d": the same with commas between the first three pieces; the
 * fourth piece runs from the third comma to the next dot. */
int ParseCommaVersion(char* szText, int* piMajor, int* piMinor, int* piRelease, int* piBuild);

#endif
