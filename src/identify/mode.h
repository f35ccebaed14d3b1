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

/* 0 no release table, 5 disk space short, 2 upgrade, 3 revert, 1 undetermined.
 * Both buffers hold 260 characters. */
int IdentifyRelease(char* szFromLabel, char* szToLabel);

/* The free space of the volume holding szDir in kilobytes; 0 on failure. */
unsigned long long FreeKilobytes(const char* szDir);

#endif
