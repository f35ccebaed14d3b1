/*
 * pe.h - reading the resources of a Portable Executable file held in memory.
 *
 * A pure core: it takes the bytes of a file and answers offsets into them;
 * it opens no file and keeps no state. Everything it reads comes from files
 * it has no reason to trust (any product file, any key file), so every
 * offset, count and length is checked against the bytes actually there
 * before it is used: a damaged file gives "not found", never a read outside
 * the buffer.
 *
 * The parts of the file it reads (all little-endian):
 *
 *   0x00  "MZ"                         DOS header
 *   0x3C  4   e_lfanew                 offset of the PE signature
 *   e_lfanew       "PE\0\0"
 *   +4   20  file header: machine (2), section count (2), time (4),
 *            symbols (4+4), optional-header size (2), characteristics (2)
 *   +24  optional header: magic 0x10B (PE32) or 0x20B (PE32+); the count of
 *            data directories at 92 (PE32) / 108 (PE32+), the directories
 *            (RVA 4, size 4) from 96 / 112; directory 2 is the resources
 *   +24+optional-header size: sections, 40 bytes each: name (8), virtual
 *            size (4), RVA (4), raw size (4), raw offset (4), ...
 *
 *   Resource tree (offsets relative to the start of the resource directory):
 *     directory: 16 bytes (characteristics, time, version 2+2, named count
 *                2, id count 2), then 8-byte entries: name or id (4; high bit
 *                set = offset of a counted UTF-16 name), offset (4; high bit
 *                set = a subdirectory, clear = a data entry)
 *     level 1 type, level 2 name, level 3 language
 *     data entry: RVA (4), size (4), code page (4), reserved (4)
 *
 *   String table (type 6): block id (s / 16) + 1 holds the 16 strings
 *     s & ~15 ... s | 15, each a 16-bit count of UTF-16 units and the units.
 *
 *   Version resource (type 16, VS_VERSIONINFO): a tree of nodes, each
 *     length (2), value length (2), type (2; 1 text, 0 binary), a UTF-16
 *     NUL-terminated key, padding to 4, the value, padding to 4, children up
 *     to the node's length. The value length counts UTF-16 units for text and
 *     bytes for binary. The root's key is "VS_VERSION_INFO", its value the
 *     52-byte fixed information (signature 0xFEEF04BD).
 *
 * Offsets are counted from the start of the buffer given; RVAs are mapped to
 * file offsets through the section table, counting only the bytes that the
 * file holds for a section.
 */
#ifndef HERON_PLATFORM_PE_H
#define HERON_PLATFORM_PE_H

#include "platform/platform.h"

#define PE_RT_STRING 6
#define PE_RT_VERSION 16
#define PE_FIXED_SIGNATURE 0xFEEF04BDu
#define PE_FIXED_INFO_SIZE 52
/* Any language of a resource. */
#define PE_ANY_LANGUAGE (-1)

/* A file recognised as a Portable Executable. */
typedef struct PE_IMAGE {
    const BYTE* pbFile;
    size_t cbFile;
    WORD wMachine;
    int bPe32Plus;
    size_t offSections; /* file offset of the section table */
    WORD cSections;
    DWORD dwRsrcRva;    /* the resource directory, 0 when the file has none */
    DWORD dwRsrcSize;
} PE_IMAGE;

/* One resource's bytes inside the file. */
typedef struct PE_RESOURCE {
    size_t offData;
    DWORD cbData;
    WORD wLanguage;
} PE_RESOURCE;

/* One string of a string table inside the file. */
typedef struct PE_STRING {
    size_t offCount;  /* the 16-bit count before the text */
    size_t offText;   /* the first UTF-16 unit */
    WORD cchText;     /* UTF-16 units, 0 for an empty or absent string */
    WORD wLanguage;
} PE_STRING;

/* Recognises the headers of pb (cb bytes). 1 when they describe a PE32 or
 * PE32+ file whose section table lies inside the buffer; 0 otherwise. */
int PeParseImage(const BYTE* pb, size_t cb, PE_IMAGE* pImage);

/* Maps cb bytes at dwRva to a file offset: 1 with *poff set when all of them
 * are in one section's bytes inside the file, else 0. */
int PeRvaToOffset(const PE_IMAGE* pImage, DWORD dwRva, DWORD cb, size_t* poff);

/*
 * Finds the resource of integer type dwType and integer name dwName. iLanguage
 * is a language id to prefer, or PE_ANY_LANGUAGE; without it (or when it is
 * missing) the neutral language 0 is taken, else the first listed. 1 with
 * *pResource filled, 0 when there is no such resource or the tree or the data
 * lies outside the file.
 */
int PeFindResource(const PE_IMAGE* pImage, DWORD dwType, DWORD dwName, int iLanguage, PE_RESOURCE* pResource);

/* Finds string dwId of the string table (first language, as PeFindResource
 * with PE_ANY_LANGUAGE). 1 with *pString filled (cchText may be 0 for an
 * empty string), 0 when the block is missing or damaged. */
int PeFindString(const PE_IMAGE* pImage, DWORD dwId, PE_STRING* pString);

/* A node of a version resource that PeVersionQuery found. */
typedef struct PE_VERSION_VALUE {
    size_t offValue;    /* from the start of the block */
    DWORD cbValue;      /* bytes of the value inside the node */
    WORD wType;         /* 1 text, 0 binary */
} PE_VERSION_VALUE;

/*
 * Looks up a path of keys such as "\StringFileInfo\040904B0\FileVersion" in
 * the version block pb (cb bytes, the VS_VERSIONINFO resource). Keys are
 * matched without regard to case (ASCII letters); empty components are passed
 * over, so "\" is the root and names its fixed information. 1 with *pValue
 * filled, 0 when the path is missing, the block is damaged or the root's key
 * is not "VS_VERSION_INFO".
 */
int PeVersionQuery(const BYTE* pb, size_t cb, const char* szPath, PE_VERSION_VALUE* pValue);

/* The size of the version block at pb as its root node states it, when that
 * length is at least a node header and not above cb; else 0. */
size_t PeVersionBlockSize(const BYTE* pb, size_t cb);

/* Little-endian reads; the caller has checked the bounds. */
WORD PeRead16(const BYTE* pb);
DWORD PeRead32(const BYTE* pb);

#endif
