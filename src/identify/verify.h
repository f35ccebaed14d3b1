/*
 * verify.h - verification of the installed files the package patches in place.
 */
#ifndef HERON_IDENTIFY_VERIFY_H
#define HERON_IDENTIFY_VERIFY_H

#include "platform/platform.h"

/* 2 when the checked files are as expected, 0 otherwise (also for a missing
 * or damaged release table, after the box with string 32). */
int VerifyQuillVersion(void);

/*
 * Checks the dwCount file records at pbRecords (cbRecords bytes to the
 * resource's end) whose kind is 1: each installed copy must have the old
 * CRC-32 (upgrade) or the new one (revert). 2 verified, 0 not. A data
 * directory whose copy another process holds is marked invalid for the rest
 * of the run (several data directories); a held program-directory file ends
 * the check with 0. Drives ghGaugeFile.
 */
int VerifyFiles(const BYTE* pbRecords, DWORD cbRecords, DWORD dwCount);

#endif
