// pe_writer.h - writes resource-only Portable Executable libraries: the key
// file "qstrings.dll" of the sample installation and the product files of
// test fixtures; and attaches resources to an existing executable (the
// packages of the Windows build, PewAttachResources at the end).
//
// The file written is a PE32+ (x86-64) DLL without code, imports or
// relocations, with one section ".rsrc":
//   0x000  DOS header ("MZ", e_lfanew 0x80) and the usual DOS stub
//   0x080  "PE\0\0", file header (machine 0x8664, DLL), optional header
//          (magic 0x20B, 16 data directories, directory 2 = resources),
//          one section header; headers padded to 0x200
//   0x200  ".rsrc" (RVA 0x1000): the resource tree (types ascending, names
//          ascending, one language each), the data entries, the data (each
//          8-byte aligned); raw size padded to 0x200
// The header checksum is the standard PE image checksum.
//
// Resources:
//   type 6 (string table)  blocks of 16 strings, string id s in block
//                          s / 16 + 1; texts are single-byte (Latin-1) and
//                          stored as UTF-16 without terminating NUL
//   type 16 (version), id 1: VS_VERSIONINFO with the fixed information, a
//                          StringFileInfo table ("040904B0" by default) with
//                          FileVersion and any further values, and, unless
//                          left out, VarFileInfo\Translation
//
// The key file's release stamp (see docs/version-stamp.md): string
// PEW_STAMP_ID of the string table, the stamp text followed by blanks up to
// PEW_STAMP_CAPACITY characters, so that the version-stamp tool can rewrite it
// in place.
//
// Pure computation apart from PewWriteFile/PewWriteKeyFile, which write a
// host path with stdio. Memory comes from malloc; release with PewFree.
#ifndef HERON_TOOLS_PE_WRITER_H
#define HERON_TOOLS_PE_WRITER_H

#include <stddef.h>

#define PEW_STAMP_ID 65000u
#define PEW_STAMP_CAPACITY 127u

typedef struct PEW_STRING {
    unsigned int uId;      // 0..65535
    const char* szText;    // single-byte text; "" writes an empty string
} PEW_STRING;

typedef struct PEW_VALUE {
    const char* szName;    // e.g. "ProductVersion"
    const char* szValue;
} PEW_VALUE;

typedef struct PEW_LAYOUT {
    // Version resource: written when szFileVersion is not NULL.
    const char* szFileVersion;          // the FileVersion text, e.g. "8.0.2.1"
    unsigned short awFileVersion[4];    // fixed information (file and product version)
    unsigned short wLanguage;           // 0 means 0x0409
    unsigned short wCodePage;           // 0 means 1200 (0x04B0)
    int bNoTranslation;                 // 1 leaves out VarFileInfo\Translation
    const char* szTableKey;             // the StringFileInfo table's key; NULL gives "%04X%04X" of language and code page
    const PEW_VALUE* pValues;           // further StringFileInfo values
    size_t cValues;
    // String table: written when cStrings is above 0. Ids must be distinct.
    const PEW_STRING* pStrings;
    size_t cStrings;
    unsigned short wStringLanguage;     // 0 means 0x0409
    unsigned int uTimeDateStamp;        // file header time; 0 keeps files reproducible
} PEW_LAYOUT;

// Builds the file into a malloc'ed buffer: 1 with *ppb and *pcb set, 0 for an
// invalid layout (duplicate or out-of-range string ids, a text too long for its
// 16-bit count, a version resource over 64 KB) or no memory.
int PewBuild(const PEW_LAYOUT* pSpec, unsigned char** ppb, size_t* pcb);
void PewFree(unsigned char* pb);

// PewBuild, then writes the bytes to szHostPath (created or replaced). 1 or 0.
int PewWriteFile(const char* szHostPath, const PEW_LAYOUT* pSpec);

// The stamp text padded with blanks to cchCapacity characters, into szOut
// (cbOut bytes). 0 when the stamp is longer than the capacity or szOut too
// small.
int PewPadStamp(const char* szStamp, unsigned int cchCapacity, char* szOut, size_t cbOut);

// Writes a key file: strings 1 ("Quill resource strings"), PEW_STAMP_ID (the
// padded stamp) and PEW_STAMP_ID + 1 ("qstrings"); a version resource when
// szFileVersion is given (a dotted "a.b.c.d" text that also fills the fixed
// information). 1 or 0.
int PewWriteKeyFile(const char* szHostPath, const char* szStamp, const char* szFileVersion);

// A resource to attach: a named type (szType, ASCII, stored in upper case as
// FindResourceA looks names up) or an integer type (szType NULL, uType).
typedef struct PEW_RESOURCE {
    const char* szType;
    unsigned int uType;
    unsigned int uName;
    const unsigned char* pbData;
    size_t cbData;
} PEW_RESOURCE;

// Makes a copy of the executable image pbImage (cbImage bytes, PE32 or
// PE32+, without resources) with one more section ".rsrc" at its end: the
// string table pStrings (as the string table above) and the resources pRes,
// all of language wLanguage (0 means 0x0409). The image's checksum field is
// set to 0 (not checked for programs). 1 with *ppb and *pcb (release with
// PewFree), or 0 with the reason in *pszWhy: not a Portable Executable,
// resources already there, no room in the headers for a section header,
// duplicate resources, invalid strings.
int PewAttachResources(const unsigned char* pbImage, size_t cbImage, const PEW_RESOURCE* pRes, size_t cRes,
                       const PEW_STRING* pStrings, size_t cStrings, unsigned short wLanguage, unsigned char** ppb,
                       size_t* pcb, const char** pszWhy);

#endif
