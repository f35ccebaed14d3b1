/*
 * storedsum.cpp - where the package builder stored the executable's byte
 * sum (platform.h, PlatStoredSumOffset).
 *
 *   Linux build: the container's trailer (container.h), the last 32 bytes
 *                of the file, holds it 12 bytes in: file size - 20.
 *   Portable Executable ("MZ" at the start, no container): offset 28, the
 *                reserved words of the DOS header.
 */
#include "platform/container.h"
#include "platform/posix/posix.h"

#include <string.h>

BOOL PlatStoredSumOffset(PLATFILE* pf, long long* pllOffset)
{
    long long llSize, llPos;
    unsigned char abHead[12];
    BOOL bFound = 0;
    if (!pf || !pllOffset) return 0;
    llPos = PlatFtell(pf);
    llSize = PlatFsize(pf);
    if (llSize >= CONTAINER_TRAILER_SIZE && PlatFseek(pf, llSize - CONTAINER_TRAILER_SIZE, 0) == 0 &&
        PlatFread(abHead, 1, sizeof(abHead), pf) == sizeof(abHead) && memcmp(abHead, CONTAINER_MAGIC, 8) == 0 &&
        abHead[8] == CONTAINER_VERSION && abHead[9] == 0 && abHead[10] == 0 && abHead[11] == 0) {
        *pllOffset = llSize - CONTAINER_TRAILER_SIZE + CONTAINER_SUM_OFFSET;
        bFound = 1;
    } else if (llSize >= 32 && PlatFseek(pf, 0, 0) == 0 && PlatFread(abHead, 1, 2, pf) == 2 && abHead[0] == 'M' &&
               abHead[1] == 'Z') {
        *pllOffset = 28;
        bFound = 1;
    }
    PlatFseek(pf, llPos >= 0 ? llPos : 0, 0);
    return bFound;
}
