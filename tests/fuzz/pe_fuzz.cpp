// Fuzz target of the PE resource reader: any bytes as a file, through every
// query the installer and the version-stamp tool make. Results must stay
// inside the input; ASan and UBSan catch any read outside it.
#include "platform/pe.h"

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <initializer_list>

static void Check(bool b)
{
    if (!b) abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pb, size_t cb)
{
    static const char* const s_apszPaths[] = {
        "\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040904B0\\FileVersion",
        "\\StringFileInfo\\040904e4\\FileVersion", "\\StringFileInfo",
    };
    PE_IMAGE image;
    PE_RESOURCE res;
    PE_STRING str;
    size_t off;

    if (!PeParseImage(pb, cb, &image)) return 0;
    if (PeRvaToOffset(&image, 0x1000, 16, &off)) Check(off + 16 <= cb);
    if (PeFindString(&image, 65000, &str)) Check(str.offText + 2u * str.cchText <= cb);
    if (PeFindString(&image, 1, &str)) Check(str.offText + 2u * str.cchText <= cb);
    for (int iLang : {PE_ANY_LANGUAGE, 0x0409}) {
        if (!PeFindResource(&image, PE_RT_VERSION, 1, iLang, &res)) continue;
        Check(res.offData + res.cbData <= cb);
        size_t cbBlock = PeVersionBlockSize(pb + res.offData, res.cbData);
        for (const char* szPath : s_apszPaths) {
            PE_VERSION_VALUE val;
            if (PeVersionQuery(pb + res.offData, cbBlock, szPath, &val)) Check(val.offValue + val.cbValue <= cbBlock);
        }
    }
    return 0;
}
