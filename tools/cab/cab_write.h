/*
 * cab_write.h - writes a cabinet from a list of files on the host (layout
 * in cab_format.h).
 */
#ifndef HERON_TOOLS_CAB_WRITE_H
#define HERON_TOOLS_CAB_WRITE_H

#include "cab_format.h"

/* One file to store. */
typedef struct CAB_SOURCE {
    char* szHost;           /* host path to read */
    char* szName;           /* stored name, backslashes between directories */
    unsigned long long cbFile; /* size when it was found; the file must still have it */
    WORD wDate;             /* MS-DOS date and time of its modification */
    WORD wTime;
    WORD wAttribs;
} CAB_SOURCE;

/*
 * Writes a cabinet of the cSources files (1 to CAB_COUNT_MAX) to the host
 * path szHostOut, created or truncated. Files go into folders in the given
 * order, a new folder whenever the next file would pass CAB_FOLDER_BYTES_MAX;
 * blocks are compressed with wCompress (CAB_COMPRESS_NONE or
 * CAB_COMPRESS_MSZIP) and carry their checksums. 1 when the whole cabinet
 * was written and flushed to disk; 0 with a one-line reason in szError when
 * a name is too long, a file is too big or changed size while it was read,
 * the cabinet would pass 4 GB, or reading or writing failed. On failure
 * szHostOut is left partly written: the caller removes it.
 */
int CabWrite(const char* szHostOut, const CAB_SOURCE* pSources, size_t cSources, WORD wCompress, char* szError,
             size_t cbError);

#endif
