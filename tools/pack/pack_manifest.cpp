/*
 * pack_manifest.cpp - the package manifest reader (an INI file).
 *
 * Sections in brackets, "key = value" lines, ";" or "#" comment lines, blank
 * lines; a ";" after a blank, outside double quotes, starts a comment to the
 * end of the line. A UTF-8 byte-order mark at the start is skipped. Names
 * compare without regard to case, except the release labels (the keys of
 * [Releases]), which are exact texts. Values are taken as they stand after
 * trimming blanks; a value in double quotes keeps its inner blanks and loses
 * the quotes (so a text may end in blanks).
 *
 * The checks of the contents live here too (PackCheckManifest): known
 * sections and keys only, the required keys, label and kind forms.
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

/* The line without an inline comment: a ";" after a blank or tab, outside
 * double quotes. */
static std::string PackCutComment(const std::string& strLine)
{
    int bQuoted = 0;
    for (size_t i = 0; i < strLine.size(); i++) {
        if (strLine[i] == '"') bQuoted = !bQuoted;
        else if (strLine[i] == ';' && !bQuoted && i > 0 && (strLine[i - 1] == ' ' || strLine[i - 1] == '\t'))
            return strLine.substr(0, i);
    }
    return strLine;
}

/* The sections a manifest may hold, and the keys of [Package]. [Releases]
 * holds labels and [Strings] ids, [Cabinets] and [EarlierFixes] entry names,
 * checked where they are used. */
static const char* const s_aszSections[] = {"Package", "Releases", "Strings", "Cabinets", "EarlierFixes"};
static const char* const s_aszPackageKeys[] = {"From",        "To",          "UpgradeType", "License",
                                               "Kind",        "LanguagePack", "VersionTool", "CabinetTool",
                                               "Stub",        "DataSpace",   "ProgramSpace", "KeyFileValue",
                                               "Delta"};
static const char* const s_aszRequiredKeys[] = {"From", "To", "License"};
static const char* const s_aszKinds[] = {"Custom Fix", "QSD", "GWA"};

/* "" when the label's date part is sound: one "|" at most, and when there
 * is one, a date after it that is not blank. Else the reason. */
static std::string PackLabelProblem(const std::string& strLabel)
{
    size_t iBar = strLabel.find('|');
    if (iBar == std::string::npos) return "";
    if (strLabel.find('|', iBar + 1) != std::string::npos) return "has a second \"|\"";
    if (PackTrim(strLabel.substr(iBar + 1)).empty()) return "has an empty date";
    return "";
}

static int PackCheckManifest(const PackManifest* pManifest, std::string* pstrError)
{
    std::vector<std::string> vProblems;
    const std::string& strFile = pManifest->strPath;
    auto At = [&](int iLine) { return strFile + ":" + std::to_string(iLine) + ": "; };

    for (const PackSection& section : pManifest->sections) {
        int bKnown = 0;
        for (const char* szName : s_aszSections)
            if (strcasecmp(section.strName.c_str(), szName) == 0) bKnown = 1;
        if (!bKnown) {
            vProblems.push_back(At(section.iLine) + "unknown section [" + section.strName + "]");
            continue;
        }
        for (const PackSection& other : pManifest->sections) {
            if (&other == &section) break;
            if (strcasecmp(other.strName.c_str(), section.strName.c_str()) == 0)
                vProblems.push_back(At(section.iLine) + "section [" + section.strName + "] again (first on line " +
                                    std::to_string(other.iLine) + ")");
        }
        if (strcasecmp(section.strName.c_str(), "Releases") == 0) {
            for (const PackKey& key : section.keys) {
                std::string strWhy = PackLabelProblem(key.strKey);
                if (!strWhy.empty()) vProblems.push_back(At(key.iLine) + "label \"" + key.strKey + "\" " + strWhy);
            }
        }
        if (strcasecmp(section.strName.c_str(), "Package") != 0) continue;
        for (const PackKey& key : section.keys) {
            int bKnownKey = 0;
            for (const char* szKey : s_aszPackageKeys)
                if (strcasecmp(key.strKey.c_str(), szKey) == 0) bKnownKey = 1;
            if (!bKnownKey) {
                vProblems.push_back(At(key.iLine) + "unknown key \"" + key.strKey + "\" in [Package]");
                continue;
            }
            if (strcasecmp(key.strKey.c_str(), "From") == 0 || strcasecmp(key.strKey.c_str(), "To") == 0) {
                std::string strWhy = PackLabelProblem(key.strValue);
                if (!strWhy.empty())
                    vProblems.push_back(At(key.iLine) + key.strKey + " \"" + key.strValue + "\" " + strWhy);
            }
            if (strcasecmp(key.strKey.c_str(), "Kind") == 0) {
                for (const char* szKind : s_aszKinds) {
                    if (strcasecmp(key.strValue.c_str(), szKind) == 0 && key.strValue != szKind)
                        vProblems.push_back(At(key.iLine) + "Kind \"" + key.strValue + "\" must be spelt \"" +
                                            szKind + "\"");
                }
            }
            if (key.strValue.empty()) vProblems.push_back(At(key.iLine) + key.strKey + " has no value");
        }
    }
    const PackSection* pPackage = PackFindSection(pManifest, "Package");
    if (!pPackage) vProblems.push_back(strFile + ": no [Package] section");
    if (!PackFindSection(pManifest, "Releases")) vProblems.push_back(strFile + ": no [Releases] section");
    if (pPackage) {
        for (const char* szKey : s_aszRequiredKeys)
            if (!PackFindKey(pPackage, szKey)) vProblems.push_back(strFile + ": [Package] has no " + szKey);
    }
    if (vProblems.empty()) return 1;
    pstrError->clear();
    for (size_t i = 0; i < vProblems.size(); i++) {
        if (i) *pstrError += "\nheron-pack: ";
        *pstrError += vProblems[i];
    }
    return 0;
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
    if (strText.compare(0, 3, "\xEF\xBB\xBF") == 0) iPos = 3; /* byte-order mark */
    int iLine = 0;
    while (iPos <= strText.size()) {
        size_t iEnd = strText.find('\n', iPos);
        if (iEnd == std::string::npos) iEnd = strText.size();
        std::string strLine = strText.substr(iPos, iEnd - iPos);
        iPos = iEnd + 1;
        iLine++;
        /* A NUL would end every path made from the line where the file
         * system reads it: a tree of "\0x" is the manifest's own directory. */
        if (strLine.find('\0') != std::string::npos) {
            *pstrError = pManifest->strPath + ":" + std::to_string(iLine) + ": a NUL byte (a manifest is text)";
            return 0;
        }
        strLine = PackTrim(PackCutComment(strLine));
        if (strLine.empty() || strLine[0] == ';' || strLine[0] == '#') continue;
        if (strLine[0] == '[') {
            size_t iClose = strLine.rfind(']');
            if (iClose == std::string::npos) {
                *pstrError = pManifest->strPath + ":" + std::to_string(iLine) + ": section header without ']'";
                return 0;
            }
            PackSection section;
            section.strName = PackTrim(strLine.substr(1, iClose - 1));
            section.iLine = iLine;
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
        /* Release labels are compared as exact texts: two that differ in
         * case are two releases. */
        int bExactKeys = strcasecmp(pManifest->sections.back().strName.c_str(), "Releases") == 0;
        for (const PackKey& other : pManifest->sections.back().keys) {
            if (bExactKeys ? other.strKey == key.strKey : strcasecmp(other.strKey.c_str(), key.strKey.c_str()) == 0) {
                *pstrError = pManifest->strPath + ":" + std::to_string(iLine) + ": duplicate key \"" + key.strKey +
                             "\" (first on line " + std::to_string(other.iLine) + ")";
                return 0;
            }
        }
        pManifest->sections.back().keys.push_back(key);
    }
    return PackCheckManifest(pManifest, pstrError);
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
