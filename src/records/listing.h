/*
 * listing.h - the listing files of the LISTFIX and FIXDETAILS modes.
 */
#ifndef HERON_RECORDS_LISTING_H
#define HERON_RECORDS_LISTING_H

/* Writes the listing files from the patch registry file, appends the
 * recorded levels to the revert labels, and returns a text for the caller
 * to show (its own copy) or NULL. */
char* ReadPatchInfo(void);

/* The whole text of a listing file in a new NUL-terminated buffer owned by
 * the caller (PlatHeapFree), or NULL: for an empty file, and after the box
 * "Can't open %s" when it cannot be opened. */
char* LoadListingFile(const char* szName);

#endif
