// libFuzzer target: the package store on arbitrary container bytes. The
// input is read as the installer's own package, from memory (the file
// image); every look-up must stay inside the bytes there.
#include "package/store.h"
#include "package/unpack.h"
#include "platform/platform.h"
#include "platform/ui.h"
#include "shell/globals.h"

#include <stdint.h>
#include <stdlib.h>

static int QuietBox(HWND, const char*, const char*, UINT) { return IDOK; }

static FILE_TABLE_ENTRY* s_pTable;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    PlatSetMessageBoxHandler(QuietBox);
    s_pTable = (FILE_TABLE_ENTRY*)calloc(FILE_TABLE_SLOTS, sizeof(FILE_TABLE_ENTRY));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pbData, size_t cbData)
{
    // The input's own buffer, of exactly its size: ASan sees any over-read.
    PlatSetModuleImage(pbData, cbData);

    LoadStrings();
    DWORD dwCount = LoadFileTable(s_pTable);
    for (DWORD i = 1; i <= dwCount && i <= 64 && i <= FILE_TABLE_MAX; i++) {
        char szName[260];
        FILEENTRY_FIELDS fields;
        ReadFileEntry(s_pTable[i].dwPayloadId, szName, sizeof(szName), &fields);
    }
    /* The slots LoadFileTable filled, released here: FreeFileTable walks all
     * 20,001 slots and would take most of an execution's time. A name left
     * in any other slot is a leak that LeakSanitizer reports. */
    for (DWORD i = 1; i <= dwCount && i <= FILE_TABLE_MAX; i++) {
        PlatHeapFree(s_pTable[i].lpFile);
        s_pTable[i].lpFile = nullptr;
    }
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
    PlatSetModuleImage(nullptr, 0);
    return 0;
}
