/*
 * pack_manifest.cpp - the package manifest reader (an INI file).
 *
 * Sections in brackets, "key = value" lines, ";" or "#" comment lines, blank
 * lines. Names compare without regard to case. Values are taken as they
 * stand after trimming blanks; a value in double quotes keeps its inner
 * blanks and loses the quotes (so a text may end in blanks).
 */
#include "pack.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>

static std::string PackTrim(const std::string& str)
{
    size_t iStart = 0, iEnd = str.size();
    while (iStart < iEnd && (str[iStart] == ' ' || str[iStart] == '\t' || str[iStart] == '\r')) iStart++;
    while (iEnd > iStart && (str[iEnd - 1] == ' ' || str[iEnd - 1] == '\t' || str[iEnd - 1] == '\r')) iEnd--;
    return str.substr(iStart, iEnd - iStart);
}

int PackReadFile(const std::string& strPath, std::vector<uint8_t>* pvData, std::string* pstrError)
{
    FILE* fp = fopen(strPath.c_str(), "rb");
    if (!fp) {
        *pstrError = "cannot open " + strPath + ": " + strerror(errno);
        return 0;
    }
    pvData->clear();
    uint8_t ab[65536];
    size_t cb;
    while ((cb = fread(ab, 1, sizeof(ab), fp)) > 0) pvData->insert(pvData->end(), ab, ab + cb);
    int bError = ferror(fp);
    fclose(fp);
    if (bError) {
        *pstrError = "cannot read " + strPath;
        return 0;
    }
    return 1;
}

int PackReadManifest(const char* szPath, PackManifest* pManifest, std::string* pstrError)
{
    std::vector<uint8_t> vData;
    if (!PackReadFile(szPath, &vData, pstrError)) return 0;
    pManifest->strPath = szPath;
    const char* pSlash = strrchr(szPath, '/');
    pManifest->strDir = pSlash ? std::string(szPath, (size_t)(pSlash - szPath)) : std::string(".");
    if (pManifest->strDir.empty()) pManifest->strDir = "/";
    pManifest->sections.clear();

    std::string strText(vData.begin(), vData.end());
    size_t iPos = 0;
    int iLine = 0;
    while (iPos <= strText.size()) {
        size_t iEnd = strText.find('\n', iPos);
        if (iEnd == std::string::npos) iEnd = strText.size();
        std::string strLine = PackTrim(strText.substr(iPos, iEnd - iPos));
        iPos = iEnd + 1;
        iLine++;
        if (strLine.empty() || strLine[0] == ';' || strLine[0] == '#') continue;
        if (strLine[0] == '[') {
            size_t iClose = strLine.rfind(']');
            if (iClose == std::string::npos) {
                *pstrError = pManifest->strPath + ":" + std::to_string(iLine) + ": section header without ']'";
                return 0;
            }
            PackSection section;
            section.strName = PackTrim(strLine.substr(1, iClose - 1));
            pManifest->sections.push_back(section);
            continue;
        }
        size_t iEq = strLine.find('=');
        if (iEq == std::string::npos) {
            *pstrError = pManifest->strPath + ":" + std::to_string(iLine) + ": expected key = value";
            return 0;
        }
        if (pManifest->sections.empty()) {
            *pstrError = pManifest->strPath + ":" + std::to_string(iLine) + ": key outside a section";
            return 0;
        }
        PackKey key;
        key.strKey = PackTrim(strLine.substr(0, iEq));
        key.strValue = PackTrim(strLine.substr(iEq + 1));
        if (key.strValue.size() >= 2 && key.strValue.front() == '"' && key.strValue.back() == '"')
            key.strValue = key.strValue.substr(1, key.strValue.size() - 2);
        key.iLine = iLine;
        for (const PackKey& other : pManifest->sections.back().keys) {
            if (strcasecmp(other.strKey.c_str(), key.strKey.c_str()) == 0) {
                *pstrError = pManifest->strPath + ":" + std::to_string(iLine) + ": duplicate key \"" + key.strKey +
                             "\" (first on line " + std::to_string(other.iLine) + ")";
                return 0;
            }
        }
        pManifest->sections.back().keys.push_back(key);
    }
    return 1;
}

const PackSection* PackFindSection(const PackManifest* pManifest, const char* szName)
{
    for (const PackSection& section : pManifest->sections)
        if (strcasecmp(section.strName.c_str(), szName) == 0) return &section;
    return NULL;
}

const PackKey* PackFindKey(const PackSection* pSection, const char* szKey)
{
    if (!pSection) return NULL;
    for (const PackKey& key : pSection->keys)
        if (strcasecmp(key.strKey.c_str(), szKey) == 0) return &key;
    return NULL;
}

void PackPut32(std::vector<uint8_t>* pv, uint32_t dw)
{
    for (int i = 0; i < 4; i++) pv->push_back((uint8_t)(dw >> (8 * i)));
}

void PackPut64(std::vector<uint8_t>* pv, uint64_t qw)
{
    for (int i = 0; i < 8; i++) pv->push_back((uint8_t)(qw >> (8 * i)));
}

uint32_t PackGet32(const uint8_t* pb)
{
    return (uint32_t)pb[0] | ((uint32_t)pb[1] << 8) | ((uint32_t)pb[2] << 16) | ((uint32_t)pb[3] << 24);
}

uint64_t PackGet64(const uint8_t* pb) { return (uint64_t)PackGet32(pb) | ((uint64_t)PackGet32(pb + 4) << 32); }
