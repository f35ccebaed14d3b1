/*
 * store.cpp - the package store, the string table, the file table and the
 * contents listing (layouts in store.h).
 *
 * Everything read from the package is checked against the bytes actually
 * there: a record that claims more bytes than remain makes the release table
 * count as damaged, which callers see as a missing one.
 */
#include "package/store.h"

#include "platform/ui.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "shell/text.h"

#include <string.h>

DWORD ReadLe32(const BYTE* pb)
{
    return (DWORD)pb[0] | ((DWORD)pb[1] << 8) | ((DWORD)pb[2] << 16) | ((DWORD)pb[3] << 24);
}

const BYTE* FindPayload(DWORD dwId, int iKind, DWORD* pcbSize)
{
    const char* szType;
    if (pcbSize) *pcbSize = 0;
    switch (iKind) {
    case KIND_VERSION: szType = "VERSION", dwId = 1; break;
    case KIND_FILEENTRY: szType = "FILEENTRY"; break;
    case KIND_UPDATE: szType = "UPDATE"; break;
    case KIND_LICENSE: szType = "LICENSEENTRY", dwId = 2; break;
    case KIND_UPDATE64: szType = "UPDATE64ENTRY", dwId = 3; break;
    case KIND_UPDATECAB: szType = "UPDATECABENTRY", dwId = 4; break;
    default: return NULL;
    }
    return PlatFindResource(szType, dwId, pcbSize);
}

void FreeStrings(void)
{
    int i;
    for (i = 0; i < STRING_COUNT_MAX; i++) {
        PlatHeapFree(gpStrings[i]);
        gpStrings[i] = NULL;
    }
    gdwStringCount = 0;
}

int LoadStrings(void)
{
    char szBuf[520];
    int iId;
    FreeStrings();
    for (iId = 0; iId < STRING_COUNT_MAX; iId++) {
        int cch = PlatLoadString((DWORD)iId, szBuf, sizeof(szBuf));
        if (cch <= 0) break;
        gpStrings[iId] = (char*)PlatHeapAlloc((size_t)cch + 1);
        if (!gpStrings[iId]) break;
        memcpy(gpStrings[iId], szBuf, (size_t)cch);
        gdwStringCount = iId + 1;
    }
    return gdwStringCount > 0;
}

/* Length of the NUL-terminated name at pb, at most cbLeft bytes; -1 when no
 * NUL lies inside. */
static long StoreNameLength(const BYTE* pb, size_t cbLeft)
{
    const void* pNul = memchr(pb, 0, cbLeft);
    return pNul ? (long)((const BYTE*)pNul - pb) : -1;
}

/* A missing or damaged release table: no record of it counts, for the
 * process-wide counts (file, checksum and payload records) as for the
 * caller. */
static int s_bTableDamaged;

int FileTableDamaged(void) { return s_bTableDamaged; }

static DWORD StoreDamaged(void)
{
    s_bTableDamaged = 1;
    dwNumFiles = 0;
    gdwChecksums = 0;
    gdwPayloadCount = 0;
    PlatMessageBox(ghMainDlg, StringText(32), StringText(3), MB_OK | MB_ICONERROR);
    return 0;
}

DWORD LoadFileTable(FILE_TABLE_ENTRY* pTable)
{
    const BYTE* pb;
    DWORD cb = 0, dwType, dwRecords, i;
    size_t iPos;

    s_bTableDamaged = 0;
    pb = FindPayload(1, KIND_VERSION, &cb);
    memset(pTable, 0, sizeof(FILE_TABLE_ENTRY) * FILE_TABLE_SLOTS);
    if (!pb || cb < VERSION_HEADER_SIZE) return StoreDamaged();

    dwType = ReadLe32(pb + 228);
    dwRecords = dwType != 0 ? ReadLe32(pb + 216) : ReadLe32(pb + 212);
    if (dwType != 0) gdwPayloadCount = ReadLe32(pb + 212);
    gdwChecksums = ReadLe32(pb + 204);
    dwNumFiles = dwRecords;

    iPos = VERSION_HEADER_SIZE;
    for (i = 0; i < gdwChecksums; i++) {
        long cchName;
        if (cb - iPos < CHECKSUM_RECORD_FIXED + 1) return StoreDamaged();
        cchName = StoreNameLength(pb + iPos + CHECKSUM_RECORD_FIXED, cb - iPos - CHECKSUM_RECORD_FIXED);
        if (cchName < 0) return StoreDamaged();
        iPos += CHECKSUM_RECORD_FIXED + (size_t)cchName + 1;
    }
    for (i = 1; i <= dwRecords && i <= FILE_TABLE_MAX; i++) {
        long cchName;
        FILE_TABLE_ENTRY* pEntry = &pTable[i];
        if (cb - iPos < FILE_RECORD_FIXED + 1) {
            FreeFileTable(pTable);
            return StoreDamaged();
        }
        cchName = StoreNameLength(pb + iPos + FILE_RECORD_FIXED, cb - iPos - FILE_RECORD_FIXED);
        if (cchName < 0) {
            FreeFileTable(pTable);
            return StoreDamaged();
        }
        pEntry->dwKind = ReadLe32(pb + iPos + 4);
        pEntry->dwDirectory = ReadLe32(pb + iPos + 8);
        pEntry->dwOldCrc = ReadLe32(pb + iPos + 12);
        pEntry->dwNewCrc = ReadLe32(pb + iPos + 16);
        pEntry->dwPayloadId = ReadLe32(pb + iPos + 20);
        pEntry->lpFile = (char*)PlatHeapAlloc((size_t)cchName + 1);
        if (pEntry->lpFile) memcpy(pEntry->lpFile, pb + iPos + FILE_RECORD_FIXED, (size_t)cchName);
        iPos += FILE_RECORD_FIXED + (size_t)cchName + 1;
    }
    return dwRecords;
}

void FreeFileTable(FILE_TABLE_ENTRY* pTable)
{
    int i;
    for (i = 0; i < FILE_TABLE_SLOTS; i++) {
        if (pTable[i].lpFile) PlatHeapFree(pTable[i].lpFile);
        pTable[i].lpFile = NULL;
    }
}

int ReadFileEntry(DWORD dwId, char* szName, size_t cbName, FILEENTRY_FIELDS* pFields)
{
    DWORD cb = 0;
    const BYTE* pb = FindPayload(dwId, KIND_FILEENTRY, &cb);
    long cchName;
    DWORD adw[9];
    int i;
    if (!pb) return 0;
    cchName = StoreNameLength(pb, cb);
    if (cchName < 0 || cb - (size_t)cchName - 1 < FILEENTRY_FIXED) return 0;
    TextCopyN(szName, cbName, (const char*)pb, (size_t)cchName);
    for (i = 0; i < 9; i++) adw[i] = ReadLe32(pb + cchName + 1 + 4 * i);
    pFields->dwKind = adw[0];
    pFields->dwDirectory = adw[1];
    pFields->dwOldSize = adw[2];
    pFields->dwNewSize = adw[3];
    pFields->dwOldCrc = adw[4];
    pFields->dwNewCrc = adw[5];
    pFields->dwOldTime = adw[6];
    pFields->dwNewTime = adw[7];
    pFields->dwDeltaBlocks = adw[8];
    return 1;
}

int ListContents(void)
{
    FILE_TABLE_ENTRY* pTable;
    DWORD dwCount, i;
    size_t cbText;
    char* szText;
    static const char szHeading[] = "This fix contains:\n";

    pTable = (FILE_TABLE_ENTRY*)PlatHeapAlloc(sizeof(FILE_TABLE_ENTRY) * FILE_TABLE_SLOTS);
    if (!pTable) {
        LogFormat(0, "Failed to alloc memory on line %d in %s", __LINE__, "store");
        return 1;
    }
    dwCount = LoadFileTable(pTable);
    if (FileTableDamaged()) {
        PlatHeapFree(pTable);
        return 0;
    }
    if (dwCount >= 1000) {
        PlatMessageBox(NULL, "Too many entries in the fixes list!", "Info", MB_OK);
        FreeFileTable(pTable);
        PlatHeapFree(pTable);
        return 1;
    }
    cbText = sizeof(szHeading);
    for (i = 1; i <= dwCount; i++) cbText += (pTable[i].lpFile ? strlen(pTable[i].lpFile) : 0) + 200;
    szText = (char*)PlatHeapAlloc(cbText);
    if (szText) {
        size_t cch = 0;
        memcpy(szText, szHeading, sizeof(szHeading) - 1);
        cch = sizeof(szHeading) - 1;
        for (i = 1; i <= dwCount; i++) {
            const char* szName = pTable[i].lpFile ? pTable[i].lpFile : "";
            size_t cchName = strlen(szName);
            if (i > 1) {
                memcpy(szText + cch, ", ", 2);
                cch += 2;
            }
            memcpy(szText + cch, szName, cchName);
            cch += cchName;
        }
        szText[cch] = 0;
        PlatMessageBox(NULL, szText, "Info", MB_OK);
        PlatHeapFree(szText);
    }
    FreeFileTable(pTable);
    PlatHeapFree(pTable);
    return 1;
}
