/*
 * mode.h - identification of the installed release and the decision between
 * upgrade, revert and undetermined.
 */
#ifndef HERON_IDENTIFY_MODE_H
#define HERON_IDENTIFY_MODE_H

#include "platform/platform.h"

/* 1 when identification of a web-access package found an installed
 * web-access level (the base-release recovery reads it). */
extern int gbWebLevelInstalled;
/* In a web-access package: the last revert label that contains "GWA" (the
 * installed web-access level), or NULL. Points into gpcanFixLabels. */
extern const char* gpszWebAccessLevel;

/*
 * 0 no release table (or a damaged one), 5 disk space short, 2 upgrade,
 * 3 revert, 1 undetermined. Both label buffers hold 260 characters. For 5
 * they hold the free and the needed kilobytes as decimal text, and
 * szShortDir (260 characters) the directory whose drive is short; the
 * program directory is left as it is. szShortDir is untouched otherwise.
 */
int IdentifyRelease(char* szFromLabel, char* szToLabel, char* szShortDir);

/*
 * The operation mode for the release table's checksum records (pbRecords,
 * cbRecords bytes to the resource's end): 1 upgrade, 2 revert, 3
 * undetermined. May rewrite szToLabel (260 characters; a custom fix).
 */
int DetermineMode(const BYTE* pbRecords, DWORD cbRecords, DWORD dwNewCrc, DWORD dwKeyValue, const char* szFromLabel,
                  char* szToLabel, DWORD dwCount);

/* The free space of the volume holding szDir in kilobytes; 0 on failure. */
unsigned long long FreeKilobytes(const char* szDir);

/* The web-access level "GWA<major>.<minor>" found in szText: 1 with the two
 * numbers, 0 without "GWA" or without a dot after it. */
int ParseWebLevel(const char* szText, int* piMajor, int* piMinor);

/* Writes the decimal text of a 64-bit number (szOut at least 21 bytes). */
void FormatKilobytes(unsigned long long ull, char* szOut, size_t cbOut);

#endif
