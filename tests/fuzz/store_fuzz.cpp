// libFuzzer target: the package store on arbitrary container bytes. The
// input becomes the tail of a file read as the installer's own package;
// every look-up must stay inside the bytes there.
#include "package/store.h"
#include "package/unpack.h"
#include "platform/platform.h"
#include "platform/ui.h"
#include "shell/globals.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int QuietBox(HWND, const char*, const char*, UINT) { return IDOK; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pbData, size_t cbData)
{
    static char s_szPath[64];
    static FILE_TABLE_ENTRY* s_pTable;
    if (!s_szPath[0]) {
        snprintf(s_szPath, sizeof(s_szPath), "/tmp/heron-store-fuzz-%d", (int)getpid());
        PlatSetMessageBoxHandler(QuietBox);
        s_pTable = (FILE_TABLE_ENTRY*)calloc(FILE_TABLE_SLOTS, sizeof(FILE_TABLE_ENTRY));
    }
    FILE* fp = fopen(s_szPath, "wb");
    if (!fp) return 0;
    fwrite(pbData, 1, cbData, fp);
    fclose(fp);
    PlatSetModuleOverride(s_szPath);

    LoadStrings();
    DWORD dwCount = LoadFileTable(s_pTable);
    for (DWORD i = 1; i <= dwCount && i <= 64 && i <= FILE_TABLE_MAX; i++) {
        char szName[260];
        FILEENTRY_FIELDS fields;
        ReadFileEntry(s_pTable[i].dwPayloadId, szName, sizeof(szName), &fields);
    }
    FreeFileTable(s_pTable);
    for (int iKind = 0; iKind <= 8; iKind++) {
        DWORD cb = 0;
        const BYTE* pb = FindPayload(1, iKind, &cb);
        if (pb && cb < (1u << 20)) {
            /* Stated sizes are bounded to keep the run fast. */
            if (cb >= 4 && (pb[2] | pb[3]) == 0) {
                HGLOBAL h = NULL;
                DWORD dwSize = 0;
                UnpackPayload(pb, cb, &h, &dwSize);
                if (h) PlatGlobalFree(h);
            }
        }
    }
    FreeStrings();
    return 0;
}
