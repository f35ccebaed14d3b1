// pe_writer.cpp - resource-only PE32+ libraries (layout in pe_writer.h).
//
// Divisions:
//   1. Byte buffer
//   2. Resource data: string-table blocks and the version block
//   3. The resource section
//   4. Headers, checksum and the file
//   5. The key file
//   6. Resources attached to an existing image (packages for Windows)
#include "pe_writer.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

typedef std::vector<unsigned char> PewBytes;

// ---- 1. Byte buffer --------------------------------------------------------

static void Put16(PewBytes& v, unsigned int u)
{
    v.push_back((unsigned char)(u & 0xFF));
    v.push_back((unsigned char)((u >> 8) & 0xFF));
}

static void Put32(PewBytes& v, unsigned long u)
{
    Put16(v, (unsigned int)(u & 0xFFFF));
    Put16(v, (unsigned int)((u >> 16) & 0xFFFF));
}

static void Set16(PewBytes& v, size_t off, unsigned int u)
{
    v[off] = (unsigned char)(u & 0xFF);
    v[off + 1] = (unsigned char)((u >> 8) & 0xFF);
}

static void Set32(PewBytes& v, size_t off, unsigned long u)
{
    Set16(v, off, (unsigned int)(u & 0xFFFF));
    Set16(v, off + 2, (unsigned int)((u >> 16) & 0xFFFF));
}

static void PadTo(PewBytes& v, size_t cbAlign)
{
    while (v.size() % cbAlign) v.push_back(0);
}

// Single-byte text as UTF-16 units (Latin-1), without NUL.
static void PutText16(PewBytes& v, const char* sz)
{
    for (; *sz; sz++) Put16(v, (unsigned char)*sz);
}

// ---- 2. Resource data ------------------------------------------------------

// One string-table block (16 strings) for block id uBlock.
static int PewStringBlock(const PEW_LAYOUT* pSpec, unsigned int uBlock, PewBytes& v)
{
    unsigned int i;
    for (i = 0; i < 16; i++) {
        unsigned int uId = (uBlock - 1) * 16 + i;
        const char* szText = "";
        size_t k;
        for (k = 0; k < pSpec->cStrings; k++)
            if (pSpec->pStrings[k].uId == uId && pSpec->pStrings[k].szText) szText = pSpec->pStrings[k].szText;
        if (strlen(szText) > 0xFFFF) return 0;
        Put16(v, (unsigned int)strlen(szText));
        PutText16(v, szText);
    }
    return 1;
}

// Opens a version node: length placeholder, value length, type, key, padding.
static size_t NodeBegin(PewBytes& v, unsigned int wValueLength, unsigned int wType, const char* szKey)
{
    size_t off = v.size();
    Put16(v, 0);
    Put16(v, wValueLength);
    Put16(v, wType);
    PutText16(v, szKey);
    Put16(v, 0);
    PadTo(v, 4);
    return off;
}

// Closes a node: its length runs to the current end (no trailing padding).
static void NodeEnd(PewBytes& v, size_t off) { Set16(v, off, (unsigned int)(v.size() - off)); }

static void PutStringValue(PewBytes& v, const char* szName, const char* szValue)
{
    size_t off;
    PadTo(v, 4);
    off = NodeBegin(v, (unsigned int)strlen(szValue) + 1, 1, szName);
    PutText16(v, szValue);
    Put16(v, 0);
    NodeEnd(v, off);
}

static int PewVersionBlock(const PEW_LAYOUT* pSpec, PewBytes& v)
{
    unsigned int wLang = pSpec->wLanguage ? pSpec->wLanguage : 0x0409;
    unsigned int wCp = pSpec->wCodePage ? pSpec->wCodePage : 1200;
    const unsigned short* aw = pSpec->awFileVersion;
    char szKey[16];
    size_t offRoot, offSfi, offTable, offVfi, offVar, k;

    offRoot = NodeBegin(v, 52, 0, "VS_VERSION_INFO");
    Put32(v, 0xFEEF04BDul);                               // signature
    Put32(v, 0x00010000ul);                               // structure version
    Put32(v, ((unsigned long)aw[0] << 16) | aw[1]);       // file version
    Put32(v, ((unsigned long)aw[2] << 16) | aw[3]);
    Put32(v, ((unsigned long)aw[0] << 16) | aw[1]);       // product version
    Put32(v, ((unsigned long)aw[2] << 16) | aw[3]);
    Put32(v, 0x3F);                                       // flags mask
    Put32(v, 0);                                          // flags
    Put32(v, 0x00040004ul);                               // VOS_NT_WINDOWS32
    Put32(v, 2);                                          // VFT_DLL
    Put32(v, 0);                                          // subtype
    Put32(v, 0);                                          // date
    Put32(v, 0);
    PadTo(v, 4);

    offSfi = NodeBegin(v, 0, 1, "StringFileInfo");
    if (pSpec->szTableKey) {
        snprintf(szKey, sizeof(szKey), "%s", pSpec->szTableKey);
    } else {
        snprintf(szKey, sizeof(szKey), "%04X%04X", wLang, wCp);
    }
    offTable = NodeBegin(v, 0, 1, szKey);
    PutStringValue(v, "FileVersion", pSpec->szFileVersion);
    for (k = 0; k < pSpec->cValues; k++)
        if (pSpec->pValues[k].szName && pSpec->pValues[k].szValue)
            PutStringValue(v, pSpec->pValues[k].szName, pSpec->pValues[k].szValue);
    NodeEnd(v, offTable);
    NodeEnd(v, offSfi);

    if (!pSpec->bNoTranslation) {
        PadTo(v, 4);
        offVfi = NodeBegin(v, 0, 1, "VarFileInfo");
        offVar = NodeBegin(v, 4, 0, "Translation");
        Put16(v, wLang);
        Put16(v, wCp);
        NodeEnd(v, offVar);
        NodeEnd(v, offVfi);
    }
    NodeEnd(v, offRoot);
    return v.size() <= 0xFFFF;
}

// ---- 3. The resource section -------------------------------------------------

// A resource: an integer type (strType empty) or a named one.
typedef struct PEW_LEAF {
    std::string strType;
    unsigned int uType;
    unsigned int uName;
    unsigned int uLang;
    PewBytes data;
} PEW_LEAF;

#define PEW_RSRC_RVA 0x1000u

// The order of a resource directory: named entries first, by name (upper
// case, compared unit by unit), then integer ids ascending.
static bool PewTypeBefore(const PEW_LEAF& a, const PEW_LEAF& b)
{
    if (a.strType.empty() != b.strType.empty()) return !a.strType.empty();
    if (!a.strType.empty()) return a.strType < b.strType;
    return a.uType < b.uType;
}

static bool PewSameType(const PEW_LEAF& a, const PEW_LEAF& b) { return a.strType == b.strType && a.uType == b.uType; }

// Lays out the tree, the names of named types, then the data entries, then
// the data, for a section at RVA uBaseRva.
static void PewResourceSection(std::vector<PEW_LEAF>& aLeaves, PewBytes& v, unsigned long uBaseRva)
{
    std::vector<size_t> aTypes; // index of the first leaf of each type
    std::vector<size_t> aTypeDirOff, aTypeNameOff, aNameDirOff(aLeaves.size()), aDataEntryOff(aLeaves.size());
    size_t off, i, t, cNamed = 0;

    std::sort(aLeaves.begin(), aLeaves.end(), [](const PEW_LEAF& a, const PEW_LEAF& b) {
        if (!PewSameType(a, b)) return PewTypeBefore(a, b);
        return a.uName < b.uName;
    });
    for (i = 0; i < aLeaves.size(); i++) {
        if (aTypes.empty() || !PewSameType(aLeaves[aTypes.back()], aLeaves[i])) {
            aTypes.push_back(i);
            cNamed += !aLeaves[i].strType.empty();
        }
    }

    // Offsets: root, type directories, name directories, type names, data
    // entries, data.
    off = 16 + 8 * aTypes.size();
    for (t = 0; t < aTypes.size(); t++) {
        size_t cNames = 0;
        for (i = 0; i < aLeaves.size(); i++) cNames += PewSameType(aLeaves[i], aLeaves[aTypes[t]]);
        aTypeDirOff.push_back(off);
        off += 16 + 8 * cNames;
    }
    for (i = 0; i < aLeaves.size(); i++) {
        aNameDirOff[i] = off;
        off += 16 + 8;
    }
    for (t = 0; t < aTypes.size(); t++) {
        aTypeNameOff.push_back(off);
        if (!aLeaves[aTypes[t]].strType.empty()) off += 2 + 2 * aLeaves[aTypes[t]].strType.size();
    }
    off = (off + 3) & ~(size_t)3;
    for (i = 0; i < aLeaves.size(); i++) {
        aDataEntryOff[i] = off;
        off += 16;
    }

    // Root.
    Put32(v, 0);
    Put32(v, 0);
    Put32(v, 0);
    Put16(v, (unsigned int)cNamed);
    Put16(v, (unsigned int)(aTypes.size() - cNamed));
    for (t = 0; t < aTypes.size(); t++) {
        if (aLeaves[aTypes[t]].strType.empty()) Put32(v, aLeaves[aTypes[t]].uType);
        else Put32(v, 0x80000000ul | aTypeNameOff[t]);
        Put32(v, 0x80000000ul | aTypeDirOff[t]);
    }
    // Type directories.
    for (t = 0; t < aTypes.size(); t++) {
        size_t cNames = 0;
        for (i = 0; i < aLeaves.size(); i++) cNames += PewSameType(aLeaves[i], aLeaves[aTypes[t]]);
        Put32(v, 0);
        Put32(v, 0);
        Put32(v, 0);
        Put16(v, 0);
        Put16(v, (unsigned int)cNames);
        for (i = 0; i < aLeaves.size(); i++) {
            if (!PewSameType(aLeaves[i], aLeaves[aTypes[t]])) continue;
            Put32(v, aLeaves[i].uName);
            Put32(v, 0x80000000ul | aNameDirOff[i]);
        }
    }
    // Name directories, one language each.
    for (i = 0; i < aLeaves.size(); i++) {
        Put32(v, 0);
        Put32(v, 0);
        Put32(v, 0);
        Put16(v, 0);
        Put16(v, 1);
        Put32(v, aLeaves[i].uLang);
        Put32(v, aDataEntryOff[i]);
    }
    // Names of named types: a 16-bit count and the UTF-16 units.
    for (t = 0; t < aTypes.size(); t++) {
        if (aLeaves[aTypes[t]].strType.empty()) continue;
        Put16(v, (unsigned int)aLeaves[aTypes[t]].strType.size());
        PutText16(v, aLeaves[aTypes[t]].strType.c_str());
    }
    PadTo(v, 4);
    // Data entries; their RVAs are filled in once the data is placed.
    for (i = 0; i < aLeaves.size(); i++) {
        Put32(v, 0);
        Put32(v, (unsigned long)aLeaves[i].data.size());
        Put32(v, 0);
        Put32(v, 0);
    }
    for (i = 0; i < aLeaves.size(); i++) {
        PadTo(v, 8);
        Set32(v, aDataEntryOff[i], uBaseRva + (unsigned long)v.size());
        v.insert(v.end(), aLeaves[i].data.begin(), aLeaves[i].data.end());
    }
}

// ---- 4. Headers, checksum and the file ---------------------------------------

#define PEW_LFANEW 0x80u
#define PEW_HEADERS 0x200u
#define PEW_FILE_ALIGN 0x200u
#define PEW_SECTION_ALIGN 0x1000u

static const unsigned char s_abDosStub[64] = {
    0x0E, 0x1F, 0xBA, 0x0E, 0x00, 0xB4, 0x09, 0xCD, 0x21, 0xB8, 0x01, 0x4C, 0xCD, 0x21, 'T',  'h',
    'i',  's',  ' ',  'p',  'r',  'o',  'g',  'r',  'a',  'm',  ' ',  'c',  'a',  'n',  'n',  'o',
    't',  ' ',  'b',  'e',  ' ',  'r',  'u',  'n',  ' ',  'i',  'n',  ' ',  'D',  'O',  'S',  ' ',
    'm',  'o',  'd',  'e',  '.',  0x0D, 0x0D, 0x0A, '$',  0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
};

// The standard PE image checksum: 16-bit one's-complement-style sum of the
// file with the checksum field counted as 0, plus the file length.
static unsigned long PewChecksum(const PewBytes& v, size_t offChecksum)
{
    unsigned long long ullSum = 0;
    size_t i;
    for (i = 0; i < v.size(); i += 2) {
        unsigned int w = v[i] | (i + 1 < v.size() ? v[i + 1] << 8 : 0);
        if (i == offChecksum || i == offChecksum + 2) w = 0;
        ullSum += w;
        ullSum = (ullSum & 0xFFFF) + (ullSum >> 16);
    }
    ullSum = (ullSum & 0xFFFF) + (ullSum >> 16);
    return (unsigned long)(ullSum + v.size());
}

static int PewValid(const PEW_LAYOUT* pSpec)
{
    size_t i, k;
    if (!pSpec) return 0;
    if (pSpec->cStrings && !pSpec->pStrings) return 0;
    if (pSpec->cValues && !pSpec->pValues) return 0;
    for (i = 0; i < pSpec->cStrings; i++) {
        if (pSpec->pStrings[i].uId > 0xFFFF) return 0;
        for (k = i + 1; k < pSpec->cStrings; k++)
            if (pSpec->pStrings[k].uId == pSpec->pStrings[i].uId) return 0;
    }
    return 1;
}

int PewBuild(const PEW_LAYOUT* pSpec, unsigned char** ppb, size_t* pcb)
{
    std::vector<PEW_LEAF> aLeaves;
    PewBytes rsrc, file;
    size_t i, cbRaw, cbImage, offOpt;

    *ppb = NULL;
    *pcb = 0;
    if (!PewValid(pSpec)) return 0;
    try {
        // String-table blocks in ascending order.
        std::vector<unsigned int> aBlocks;
        for (i = 0; i < pSpec->cStrings; i++) aBlocks.push_back(pSpec->pStrings[i].uId / 16 + 1);
        std::sort(aBlocks.begin(), aBlocks.end());
        aBlocks.erase(std::unique(aBlocks.begin(), aBlocks.end()), aBlocks.end());
        for (i = 0; i < aBlocks.size(); i++) {
            PEW_LEAF leaf;
            leaf.uType = 6;
            leaf.uName = aBlocks[i];
            leaf.uLang = pSpec->wStringLanguage ? pSpec->wStringLanguage : 0x0409;
            if (!PewStringBlock(pSpec, aBlocks[i], leaf.data)) return 0;
            aLeaves.push_back(leaf);
        }
        if (pSpec->szFileVersion) {
            PEW_LEAF leaf;
            leaf.uType = 16;
            leaf.uName = 1;
            leaf.uLang = pSpec->wLanguage ? pSpec->wLanguage : 0x0409;
            if (!PewVersionBlock(pSpec, leaf.data)) return 0;
            aLeaves.push_back(leaf);
        }
        PewResourceSection(aLeaves, rsrc, PEW_RSRC_RVA);

        cbRaw = (rsrc.size() + PEW_FILE_ALIGN - 1) / PEW_FILE_ALIGN * PEW_FILE_ALIGN;
        if (cbRaw == 0) cbRaw = PEW_FILE_ALIGN;
        cbImage = PEW_RSRC_RVA + (rsrc.size() + PEW_SECTION_ALIGN - 1) / PEW_SECTION_ALIGN * PEW_SECTION_ALIGN;

        // DOS header and stub.
        file.assign(PEW_LFANEW, 0);
        file[0] = 'M';
        file[1] = 'Z';
        Set16(file, 0x02, 0x90);  // bytes on the last page
        Set16(file, 0x04, 3);     // pages
        Set16(file, 0x08, 4);     // header paragraphs
        Set16(file, 0x0C, 0xFFFF);
        Set16(file, 0x10, 0xB8);
        Set16(file, 0x18, 0x40);
        Set32(file, 0x3C, PEW_LFANEW);
        memcpy(&file[0x40], s_abDosStub, sizeof(s_abDosStub));

        // Signature and file header.
        file.push_back('P');
        file.push_back('E');
        file.push_back(0);
        file.push_back(0);
        Put16(file, 0x8664);               // machine
        Put16(file, 1);                    // sections
        Put32(file, pSpec->uTimeDateStamp);
        Put32(file, 0);                    // symbol table
        Put32(file, 0);
        Put16(file, 240);                  // optional header size
        Put16(file, 0x2022);               // executable image, large addresses, DLL

        // Optional header (PE32+).
        offOpt = file.size();
        Put16(file, 0x20B);
        file.push_back(14);                // linker version
        file.push_back(0);
        Put32(file, 0);                    // code size
        Put32(file, (unsigned long)cbRaw); // initialised data
        Put32(file, 0);                    // uninitialised data
        Put32(file, 0);                    // entry point: none
        Put32(file, 0);                    // base of code
        Put32(file, 0x80000000ul);         // image base 0x180000000
        Put32(file, 0x1);
        Put32(file, PEW_SECTION_ALIGN);
        Put32(file, PEW_FILE_ALIGN);
        Put16(file, 6);                    // operating system version
        Put16(file, 0);
        Put16(file, 0);                    // image version
        Put16(file, 0);
        Put16(file, 6);                    // subsystem version
        Put16(file, 0);
        Put32(file, 0);                    // Win32 version value
        Put32(file, (unsigned long)cbImage);
        Put32(file, PEW_HEADERS);
        Put32(file, 0);                    // checksum, filled below
        Put16(file, 2);                    // Windows GUI subsystem
        Put16(file, 0x0100);               // NX compatible
        Put32(file, 0x100000);             // stack reserve (64-bit fields)
        Put32(file, 0);
        Put32(file, 0x1000);               // stack commit
        Put32(file, 0);
        Put32(file, 0x100000);             // heap reserve
        Put32(file, 0);
        Put32(file, 0x1000);               // heap commit
        Put32(file, 0);
        Put32(file, 0);                    // loader flags
        Put32(file, 16);                   // data directories
        for (i = 0; i < 16; i++) {
            Put32(file, i == 2 ? PEW_RSRC_RVA : 0);
            Put32(file, i == 2 ? (unsigned long)rsrc.size() : 0);
        }

        // Section header.
        {
            static const char s_szName[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
            file.insert(file.end(), s_szName, s_szName + 8);
        }
        Put32(file, (unsigned long)rsrc.size());  // virtual size
        Put32(file, PEW_RSRC_RVA);
        Put32(file, (unsigned long)cbRaw);
        Put32(file, PEW_HEADERS);
        Put32(file, 0);                            // relocations, line numbers
        Put32(file, 0);
        Put32(file, 0);
        Put32(file, 0x40000040ul);                 // initialised data, readable
        file.resize(PEW_HEADERS, 0);

        file.insert(file.end(), rsrc.begin(), rsrc.end());
        file.resize(PEW_HEADERS + cbRaw, 0);
        Set32(file, offOpt + 64, PewChecksum(file, offOpt + 64));
    } catch (...) {
        return 0;
    }

    *ppb = (unsigned char*)malloc(file.size());
    if (!*ppb) return 0;
    memcpy(*ppb, file.data(), file.size());
    *pcb = file.size();
    return 1;
}

void PewFree(unsigned char* pb) { free(pb); }

int PewWriteFile(const char* szHostPath, const PEW_LAYOUT* pSpec)
{
    unsigned char* pb;
    size_t cb;
    FILE* pf;
    int bOk;
    if (!PewBuild(pSpec, &pb, &cb)) return 0;
    pf = fopen(szHostPath, "wb");
    if (!pf) {
        PewFree(pb);
        return 0;
    }
    bOk = fwrite(pb, 1, cb, pf) == cb;
    if (fclose(pf) != 0) bOk = 0;
    PewFree(pb);
    return bOk;
}

// ---- 5. The key file -----------------------------------------------------------

int PewPadStamp(const char* szStamp, unsigned int cchCapacity, char* szOut, size_t cbOut)
{
    size_t cch = szStamp ? strlen(szStamp) : 0;
    if (cch > cchCapacity || cbOut < (size_t)cchCapacity + 1) return 0;
    memcpy(szOut, szStamp, cch);
    memset(szOut + cch, ' ', cchCapacity - cch);
    szOut[cchCapacity] = 0;
    return 1;
}

int PewWriteKeyFile(const char* szHostPath, const char* szStamp, const char* szFileVersion)
{
    char szPadded[PEW_STAMP_CAPACITY + 1];
    PEW_STRING aStrings[3];
    PEW_LAYOUT layout;
    memset(&layout, 0, sizeof(layout));
    if (!PewPadStamp(szStamp, PEW_STAMP_CAPACITY, szPadded, sizeof(szPadded))) return 0;
    aStrings[0].uId = 1;
    aStrings[0].szText = "Quill resource strings";
    aStrings[1].uId = PEW_STAMP_ID;
    aStrings[1].szText = szPadded;
    aStrings[2].uId = PEW_STAMP_ID + 1;
    aStrings[2].szText = "qstrings";
    layout.pStrings = aStrings;
    layout.cStrings = 3;
    if (szFileVersion) {
        unsigned int a[4] = {0, 0, 0, 0};
        int i;
        if (sscanf(szFileVersion, "%u.%u.%u.%u", &a[0], &a[1], &a[2], &a[3]) < 1) return 0;
        layout.szFileVersion = szFileVersion;
        for (i = 0; i < 4; i++) layout.awFileVersion[i] = (unsigned short)a[i];
    }
    return PewWriteFile(szHostPath, &layout);
}

// ---- 6. Resources attached to an existing image --------------------------------

static unsigned int Get16(const unsigned char* pb) { return pb[0] | (pb[1] << 8); }
static unsigned long Get32(const unsigned char* pb)
{
    return (unsigned long)Get16(pb) | ((unsigned long)Get16(pb + 2) << 16);
}
static unsigned long AlignUp(unsigned long u, unsigned long uAlign) { return (u + uAlign - 1) / uAlign * uAlign; }

int PewAttachResources(const unsigned char* pbImage, size_t cbImage, const PEW_RESOURCE* pRes, size_t cRes,
                       const PEW_STRING* pStrings, size_t cStrings, unsigned short wLanguage, unsigned char** ppb,
                       size_t* pcb, const char** pszWhy)
{
    static const char* s_szIgnored;
    const char** pszOut = pszWhy ? pszWhy : &s_szIgnored;
    size_t offPe, offOpt, offSections, offDirs, i;
    unsigned int cSections, cbOpt, wMagic;
    unsigned long uSectionAlign, uFileAlign, cbHeaders, uEnd = 0, offFirstRaw = 0xFFFFFFFFul;
    unsigned long uRva, offRaw, cbRaw;
    std::vector<PEW_LEAF> aLeaves;
    PewBytes rsrc, file;
    PEW_LAYOUT strings;
    unsigned int wLang = wLanguage ? wLanguage : 0x0409;

    *ppb = NULL;
    *pcb = 0;
    *pszOut = "not a Portable Executable";
    if (!pbImage || cbImage < 0x40 || pbImage[0] != 'M' || pbImage[1] != 'Z') return 0;
    offPe = Get32(pbImage + 0x3C);
    if (offPe > cbImage || cbImage - offPe < 24 || memcmp(pbImage + offPe, "PE\0\0", 4) != 0) return 0;
    cSections = Get16(pbImage + offPe + 6);
    cbOpt = Get16(pbImage + offPe + 20);
    offOpt = offPe + 24;
    if (cbOpt < 96 || cbImage - offOpt < cbOpt) return 0;
    wMagic = Get16(pbImage + offOpt);
    if (wMagic != 0x10B && wMagic != 0x20B) return 0;
    offDirs = offOpt + (wMagic == 0x20B ? 112 : 96);
    if (Get32(pbImage + offDirs - 4) < 3 || offDirs + 3 * 8 > offOpt + cbOpt) {
        *pszOut = "the image has no resource directory entry";
        return 0;
    }
    if (Get32(pbImage + offDirs + 16) != 0 || Get32(pbImage + offDirs + 20) != 0) {
        *pszOut = "the image has resources already";
        return 0;
    }
    uSectionAlign = Get32(pbImage + offOpt + 32);
    uFileAlign = Get32(pbImage + offOpt + 36);
    cbHeaders = Get32(pbImage + offOpt + 60);
    offSections = offOpt + cbOpt;
    if (uSectionAlign == 0 || uFileAlign == 0 || cbImage < offSections || (cbImage - offSections) / 40 < cSections)
        return 0;
    for (i = 0; i < cSections; i++) {
        const unsigned char* pSec = pbImage + offSections + 40 * i;
        unsigned long uVa = Get32(pSec + 12), cbVirtual = Get32(pSec + 8), cbRawSec = Get32(pSec + 16);
        unsigned long offRawSec = Get32(pSec + 20);
        unsigned long uSecEnd = uVa + (cbVirtual > cbRawSec ? cbVirtual : cbRawSec);
        if (uSecEnd > uEnd) uEnd = uSecEnd;
        if (cbRawSec && offRawSec < offFirstRaw) offFirstRaw = offRawSec;
    }
    if (offSections + 40 * (cSections + 1) > cbHeaders || offSections + 40 * (cSections + 1) > offFirstRaw) {
        *pszOut = "the image's headers have no room for another section";
        return 0;
    }

    try {
        // The string table and the resources, one language.
        memset(&strings, 0, sizeof(strings));
        strings.pStrings = pStrings;
        strings.cStrings = cStrings;
        if (!PewValid(&strings)) {
            *pszOut = "invalid string table";
            return 0;
        }
        std::vector<unsigned int> aBlocks;
        for (i = 0; i < cStrings; i++) aBlocks.push_back(pStrings[i].uId / 16 + 1);
        std::sort(aBlocks.begin(), aBlocks.end());
        aBlocks.erase(std::unique(aBlocks.begin(), aBlocks.end()), aBlocks.end());
        for (i = 0; i < aBlocks.size(); i++) {
            PEW_LEAF leaf;
            leaf.uType = 6;
            leaf.uName = aBlocks[i];
            leaf.uLang = wLang;
            if (!PewStringBlock(&strings, aBlocks[i], leaf.data)) {
                *pszOut = "a string is too long";
                return 0;
            }
            aLeaves.push_back(leaf);
        }
        for (i = 0; i < cRes; i++) {
            PEW_LEAF leaf;
            size_t k;
            leaf.uType = pRes[i].szType ? 0 : pRes[i].uType;
            if (pRes[i].szType) {
                leaf.strType = pRes[i].szType;
                for (char& ch : leaf.strType)
                    if (ch >= 'a' && ch <= 'z') ch = (char)(ch - 'a' + 'A');
            }
            leaf.uName = pRes[i].uName;
            leaf.uLang = wLang;
            if (pRes[i].cbData > 0xFFFFFFFFul || (pRes[i].cbData && !pRes[i].pbData)) {
                *pszOut = "a resource is too large";
                return 0;
            }
            leaf.data.assign(pRes[i].pbData, pRes[i].pbData + pRes[i].cbData);
            for (k = 0; k < aLeaves.size(); k++) {
                if (PewSameType(aLeaves[k], leaf) && aLeaves[k].uName == leaf.uName) {
                    *pszOut = "two resources of the same type and id";
                    return 0;
                }
            }
            aLeaves.push_back(leaf);
        }

        uRva = AlignUp(uEnd, uSectionAlign);
        PewResourceSection(aLeaves, rsrc, uRva);
        if (rsrc.size() > 0xFFFFFFFFul - uRva) {
            *pszOut = "the resources are too large";
            return 0;
        }
        offRaw = AlignUp((unsigned long)cbImage, uFileAlign);
        cbRaw = AlignUp((unsigned long)rsrc.size(), uFileAlign);

        file.assign(pbImage, pbImage + cbImage);
        file.resize(offRaw, 0);
        file.insert(file.end(), rsrc.begin(), rsrc.end());
        file.resize((size_t)offRaw + cbRaw, 0);

        // The section header, the counts and sizes, the directory entry.
        {
            size_t offNew = offSections + 40 * cSections;
            static const char s_szName[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
            memcpy(&file[offNew], s_szName, 8);
            Set32(file, offNew + 8, (unsigned long)rsrc.size());
            Set32(file, offNew + 12, uRva);
            Set32(file, offNew + 16, cbRaw);
            Set32(file, offNew + 20, offRaw);
            Set32(file, offNew + 24, 0);
            Set32(file, offNew + 28, 0);
            Set32(file, offNew + 32, 0);
            Set32(file, offNew + 36, 0x40000040ul); // initialised data, readable
        }
        Set16(file, offPe + 6, cSections + 1);
        Set32(file, offOpt + 8, Get32(&file[offOpt + 8]) + cbRaw);
        Set32(file, offOpt + 56, AlignUp(uRva + (unsigned long)rsrc.size(), uSectionAlign));
        Set32(file, offDirs + 16, uRva);
        Set32(file, offDirs + 20, (unsigned long)rsrc.size());
        // No image checksum: the package's own byte sum, stored at offset
        // 28 after this, would make any checksum wrong, and Windows checks
        // it only for drivers.
        Set32(file, offOpt + 64, 0);
    } catch (...) {
        *pszOut = "out of memory";
        return 0;
    }
    *ppb = (unsigned char*)malloc(file.size());
    if (!*ppb) {
        *pszOut = "out of memory";
        return 0;
    }
    memcpy(*ppb, file.data(), file.size());
    *pcb = file.size();
    *pszOut = NULL;
    return 1;
}
