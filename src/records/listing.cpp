/*
 * listing.cpp - reading back the listing files for display.
 */
#include "records/listing.h"

#include "platform/ui.h"
#include "shell/text.h"
#include "shell/utils.h"

char* LoadListingFile(const char* szName)
{
    PLATFILE* pf;
    DWORD cb;
    char* szText;
    size_t cbRead;

    pf = PlatFopen(szName, "rb");
    if (!pf) {
        char szMsg[TEXT_FORMAT_MAX];
        TextFormat(szMsg, sizeof(szMsg), "Can't open %s", szName);
        PlatMessageBox(NULL, szMsg, "Error", MB_OK);
        return NULL;
    }
    cb = StreamSize(pf);
    if (cb == 0) {
        PlatFclose(pf);
        return NULL;
    }
    szText = (char*)PlatHeapAlloc((size_t)cb + 1);
    if (!szText) {
        PlatFclose(pf);
        return NULL;
    }
    cbRead = PlatFread(szText, 1, cb, pf);
    szText[cbRead] = 0;
    PlatFclose(pf);
    return szText;
}
