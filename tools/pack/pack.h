/*
 * pack.h - the package builder: shared declarations of its parts.
 */
#ifndef HERON_TOOLS_PACK_H
#define HERON_TOOLS_PACK_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

/* One key=value pair of a manifest section, in file order. */
struct PackKey {
    std::string strKey;
    std::string strValue;
    int iLine;
};

struct PackSection {
    std::string strName;
    std::vector<PackKey> keys;
    int iLine;
};

/* A parsed manifest (INI). Reports errors with file and line. */
struct PackManifest {
    std::string strPath;
    std::string strDir; /* directory of the manifest: relative paths resolve against it */
    std::vector<PackSection> sections;
};

/* Reads and checks a manifest: the sections and keys it may hold, the keys
 * it must hold, the forms of labels and kinds. Every problem found is named
 * in *pstrError, one per line. */
int PackReadManifest(const char* szPath, PackManifest* pManifest, std::string* pstrError);
const PackSection* PackFindSection(const PackManifest* pManifest, const char* szName);
const PackKey* PackFindKey(const PackSection* pSection, const char* szKey);

/* heron-pack build */
int PackBuild(const char* szManifest, const char* szOutput, const char* szStubOverride, int bQuiet);
/* Tools given on the command line (NULL: the manifest's or the default). */
void PackSetTools(const char* szVersionTool, const char* szCabinetTool);
/* heron-pack list */
int PackList(const char* szPackage);

/* Little-endian helpers. */
void PackPut32(std::vector<uint8_t>* pv, uint32_t dw);
void PackPut64(std::vector<uint8_t>* pv, uint64_t qw);
uint32_t PackGet32(const uint8_t* pb);
uint64_t PackGet64(const uint8_t* pb);

int PackReadFile(const std::string& strPath, std::vector<uint8_t>* pvData, std::string* pstrError);

#endif
