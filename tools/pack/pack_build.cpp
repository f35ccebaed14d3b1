/*
 * pack_build.cpp - "heron-pack build": makes a package from a manifest and
 * the release trees it names.
 *
 * Output: the installer executable (the stub), then the container of
 * src/platform/container.h: STRING 0..51, VERSION 1 (the release table),
 * FILEENTRY/UPDATE 1..N (one pair per changed file), LICENSEENTRY 2,
 * UPDATE64ENTRY 3 (the version-stamp tool), UPDATECABENTRY 4 (the cabinet
 * tool), the index, and the trailer with the byte sum written last.
 *
 * A release tree is a directory with up to three subdirectories: "program"
 * (directory code 1), "data" (code 2: copied to every data directory) and
 * "system" (code 3). Files below them are named by their relative paths with
 * backslashes, as the installer sees them.
 */
#include "pack.h"
#include "pack_delta.h"
#include "pack_entries.h"

#include "implode.h"
#include "package/explode/crc32.h"
#include "pe_writer.h"
#include "platform/container.h"

#include <dirent.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <deque>
#include <map>

static const char* const s_aszDefaultStrings[] = {
#include "default_strings.inc"
};
#define PACK_STRING_COUNT 52
#define PACK_LABEL_FIELD 100
#define PACK_LABEL_BLANKS 13
#define PACK_LABEL_MAX (PACK_LABEL_FIELD - 2 - PACK_LABEL_BLANKS) /* room for at least one "|" and the NUL */
#define PACK_MAX_FILE_RECORDS 19999 /* the installer's file table refuses 20,000 and more */
#define PACK_STRING_MAX 519         /* the installer reads texts into 520 characters */
#define PACK_PE_SUM_OFFSET 28       /* the byte sum of a package for Windows */

static const char* const s_aszDirNames[4] = {NULL, "program", "data", "system"};
static const char* const s_aszKindWords[4] = {"old", "dlt", "add", "del"};


struct PackRelease {
    std::string strLabel;
    std::string strTree;
    std::map<std::string, PackFile> files; /* key: dir code + name, upper case */
};

/* The container under construction. */
struct PackResource {
    std::string strType;
    uint32_t dwId;
    std::vector<uint8_t> vData;
};

static void PackError(const std::string& str) { fprintf(stderr, "heron-pack: %s\n", str.c_str()); }

static std::string PackResolve(const PackManifest* pManifest, const std::string& strPath)
{
    if (!strPath.empty() && strPath[0] == '/') return strPath;
    return pManifest->strDir + "/" + strPath;
}

static std::string PackUpper(const std::string& str)
{
    std::string strOut = str;
    for (char& ch : strOut)
        if (ch >= 'a' && ch <= 'z') ch = (char)(ch - 'a' + 'A');
    return strOut;
}

static int PackFileCrc(const std::string& strHost, uint32_t* pdwCrc, uint32_t* pdwSize, std::string* pstrError)
{
    std::vector<uint8_t> vData;
    if (!PackReadFile(strHost, &vData, pstrError)) return 0;
    if (vData.size() > 0xFFFFFFFFu) {
        *pstrError = strHost + ": file larger than 4 GB";
        return 0;
    }
    *pdwSize = (uint32_t)vData.size();
    *pdwCrc = ~UpdateCrc32(vData.data(), (unsigned int)vData.size(), 0xFFFFFFFFu);
    return 1;
}

/* Adds every file below strHostDir to the release, named strPrefix + name. */
static int PackScanTree(PackRelease* pRelease, int iDir, const std::string& strHostDir, const std::string& strPrefix,
                        std::string* pstrError)
{
    DIR* pDir = opendir(strHostDir.c_str());
    if (!pDir) {
        *pstrError = "cannot read directory " + strHostDir + ": " + strerror(errno);
        return 0;
    }
    std::vector<std::string> vNames;
    struct dirent* pEnt;
    while ((pEnt = readdir(pDir)) != NULL) {
        if (strcmp(pEnt->d_name, ".") == 0 || strcmp(pEnt->d_name, "..") == 0) continue;
        vNames.push_back(pEnt->d_name);
    }
    closedir(pDir);
    std::sort(vNames.begin(), vNames.end());
    for (const std::string& strName : vNames) {
        std::string strHost = strHostDir + "/" + strName;
        struct stat st;
        if (stat(strHost.c_str(), &st) != 0) {
            *pstrError = "cannot read " + strHost + ": " + strerror(errno);
            return 0;
        }
        if (S_ISDIR(st.st_mode)) {
            if (!PackScanTree(pRelease, iDir, strHost, strPrefix + strName + "\\", pstrError)) return 0;
            continue;
        }
        PackFile file;
        file.iDir = iDir;
        file.strName = strPrefix + strName;
        file.strHost = strHost;
        file.dwTime = (uint32_t)st.st_mtime;
        if (file.strName.size() > 259) {
            *pstrError = strHost + ": relative name longer than 259 characters";
            return 0;
        }
        if (!PackFileCrc(strHost, &file.dwCrc, &file.dwSize, pstrError)) return 0;
        /* The installer's file names ignore case: two such names would be one file. */
        std::string strKey = std::to_string(iDir) + ":" + PackUpper(file.strName);
        auto itSame = pRelease->files.find(strKey);
        if (itSame != pRelease->files.end()) {
            *pstrError = strHost + " and " + itSame->second.strHost + " differ only in case";
            return 0;
        }
        pRelease->files[strKey] = file;
    }
    return 1;
}

static int PackLoadRelease(PackRelease* pRelease, std::string* pstrError)
{
    struct stat st;
    int cFound = 0;
    if (stat(pRelease->strTree.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        *pstrError = "release tree " + pRelease->strTree + " of \"" + pRelease->strLabel + "\" is not a directory";
        return 0;
    }
    /* Anything else at the top of the tree is left out: said, not silent. */
    if (DIR* pDir = opendir(pRelease->strTree.c_str())) {
        std::vector<std::string> vOther;
        while (struct dirent* pEnt = readdir(pDir)) {
            std::string strName = pEnt->d_name;
            if (strName == "." || strName == ".." || strName == "program" || strName == "data" || strName == "system")
                continue;
            vOther.push_back(strName);
        }
        closedir(pDir);
        std::sort(vOther.begin(), vOther.end());
        for (const std::string& strName : vOther)
            fprintf(stderr, "heron-pack: warning: %s/%s is outside program/, data/ and system/ and is left out\n",
                    pRelease->strTree.c_str(), strName.c_str());
    }
    for (int iDir = 1; iDir <= 3; iDir++) {
        std::string strSub = pRelease->strTree + "/" + s_aszDirNames[iDir];
        if (stat(strSub.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
        cFound++;
        if (!PackScanTree(pRelease, iDir, strSub, "", pstrError)) return 0;
    }
    if (cFound == 0) {
        *pstrError = "release tree " + pRelease->strTree + " has none of program/, data/, system/";
        return 0;
    }
    return 1;
}

/* The label field: the text, 13 blanks, "|" up to byte 98, NUL in byte 99. */
static void PackLabelField(const std::string& strLabel, std::vector<uint8_t>* pv)
{
    uint8_t ab[PACK_LABEL_FIELD];
    size_t i = 0;
    for (; i < strLabel.size(); i++) ab[i] = (uint8_t)strLabel[i];
    for (int k = 0; k < PACK_LABEL_BLANKS; k++) ab[i++] = ' ';
    for (; i < PACK_LABEL_FIELD - 1; i++) ab[i] = '|';
    ab[PACK_LABEL_FIELD - 1] = 0;
    pv->insert(pv->end(), ab, ab + PACK_LABEL_FIELD);
}

/* "Release 8.0.2|May 1, 2010" -> "8.0.2"; 0 when the label has no such form. */
static int PackReleaseName(const std::string& strLabel, std::string* pstrName)
{
    size_t iBar = strLabel.find('|');
    if (strLabel.compare(0, 8, "Release ") != 0 || iBar == std::string::npos || iBar <= 8) return 0;
    *pstrName = strLabel.substr(8, iBar - 8);
    return 1;
}

static int PackCompress(const std::vector<uint8_t>& vIn, std::vector<uint8_t>* pvOut)
{
    unsigned char* pbOut = NULL;
    size_t cbOut = 0;
    if (!Implode(vIn.data(), vIn.size(), 0, 4096, &pbOut, &cbOut)) return 0;
    pvOut->clear();
    PackPut32(pvOut, (uint32_t)vIn.size());
    pvOut->insert(pvOut->end(), pbOut, pbOut + cbOut);
    ImplodeFree(pbOut);
    return 1;
}

/* Decodes "\n", "\t" and "\\" in a manifest text. */
static std::string PackUnescape(const std::string& str)
{
    std::string strOut;
    for (size_t i = 0; i < str.size(); i++) {
        if (str[i] == '\\' && i + 1 < str.size()) {
            char ch = str[i + 1];
            if (ch == 'n') strOut += '\n', i++;
            else if (ch == 't') strOut += '\t', i++;
            else if (ch == '\\') strOut += '\\', i++;
            else strOut += str[i];
        } else {
            strOut += str[i];
        }
    }
    return strOut;
}

static int PackGetNumber(const PackSection* pSection, const char* szKey, uint32_t dwDefault, uint32_t* pdw,
                         std::string* pstrError)
{
    const PackKey* pKey = PackFindKey(pSection, szKey);
    if (!pKey) {
        *pdw = dwDefault;
        return 1;
    }
    char* pEnd = NULL;
    errno = 0;
    unsigned long ul = strtoul(pKey->strValue.c_str(), &pEnd, 10);
    if (pKey->strValue.empty() || *pEnd || errno || ul > 0xFFFFFFFFul) {
        *pstrError = std::string("[Package] ") + szKey + " must be a number, not \"" + pKey->strValue + "\"";
        return 0;
    }
    *pdw = (uint32_t)ul;
    return 1;
}

static uint32_t PackKb(uint64_t cb) { return (uint32_t)((cb + 1023) / 1024); }

/* 1 when both paths name the same existing file. */
static int PackSameFile(const std::string& strA, const std::string& strB)
{
    struct stat stA, stB;
    if (stat(strA.c_str(), &stA) != 0 || stat(strB.c_str(), &stB) != 0) return 0;
    return stA.st_dev == stB.st_dev && stA.st_ino == stB.st_ino;
}

static const char* s_szVersionToolOverride;
static const char* s_szCabinetToolOverride;

void PackSetTools(const char* szVersionTool, const char* szCabinetTool)
{
    s_szVersionToolOverride = szVersionTool;
    s_szCabinetToolOverride = szCabinetTool;
}

/* Writes the 32-bit wrapping byte sum of pv into its four bytes at iSum,
 * those four left out; returns it. */
static uint32_t PackStoreSum(std::vector<uint8_t>* pv, size_t iSum)
{
    uint32_t dwSum = 0;
    for (size_t i = 0; i < pv->size(); i++)
        if (i < iSum || i >= iSum + 4) dwSum += (*pv)[i];
    for (int i = 0; i < 4; i++) (*pv)[iSum + i] = (uint8_t)(dwSum >> (8 * i));
    return dwSum;
}

/* Writes pv to szOutput through a temporary file renamed into place. */
static int PackWriteOutput(const std::vector<uint8_t>& v, const char* szOutput)
{
    std::string strTemp = std::string(szOutput) + ".tmp";
    FILE* fp = fopen(strTemp.c_str(), "wb");
    if (!fp) {
        PackError("cannot create " + strTemp + ": " + strerror(errno));
        return 0;
    }
    size_t cbWritten = fwrite(v.data(), 1, v.size(), fp);
    int bFail = cbWritten != v.size() || fclose(fp) != 0;
    if (bFail || chmod(strTemp.c_str(), 0755) != 0 || rename(strTemp.c_str(), szOutput) != 0) {
        PackError(std::string("cannot write ") + szOutput + ": " + strerror(errno));
        remove(strTemp.c_str());
        return 0;
    }
    return 1;
}

/*
 * A package for Windows: the stub is a Portable Executable (the Windows
 * build's heron.exe), and the package becomes real resources of it: the
 * string table (STRING entries, language 1033), and every other entry as a
 * resource of that named type and id. The byte sum goes to offset 28, the
 * reserved words of the DOS header that the loader ignores. The two tools
 * must be Windows programs too.
 */
static int PackWriteWindows(const std::vector<uint8_t>& vStub, const std::vector<PackResource>& vResources,
                            const std::vector<bool>& vToolHeads, const char* szOutput, int bQuiet, size_t cChanges,
                            size_t cChecksums)
{
    std::vector<PEW_STRING> vStrings;
    std::vector<PEW_RESOURCE> vPe;
    for (size_t i = 0; i < vToolHeads.size(); i++) {
        if (!vToolHeads[i]) {
            PackError(std::string(i == 0 ? "VersionTool" : "CabinetTool") +
                      ": a package for Windows needs the Windows program (--version-tool, --cabinet-tool)");
            return 2;
        }
    }
    std::vector<std::string> vTexts;
    vTexts.reserve(vResources.size());
    for (const PackResource& res : vResources) {
        if (res.strType == "STRING") {
            vTexts.push_back(std::string(res.vData.begin(), res.vData.end()));
            vStrings.push_back({res.dwId, vTexts.back().c_str()});
        } else {
            vPe.push_back({res.strType.c_str(), 0, res.dwId, res.vData.data(), res.vData.size()});
        }
    }
    unsigned char* pb = NULL;
    size_t cb = 0;
    const char* szWhy = NULL;
    if (!PewAttachResources(vStub.data(), vStub.size(), vPe.data(), vPe.size(), vStrings.data(), vStrings.size(),
                            CONTAINER_LANGUAGE, &pb, &cb, &szWhy)) {
        PackError(std::string("installer stub: ") + (szWhy ? szWhy : "cannot add the resources"));
        return 2;
    }
    std::vector<uint8_t> vOut(pb, pb + cb);
    PewFree(pb);
    uint32_t dwSum = PackStoreSum(&vOut, PACK_PE_SUM_OFFSET);
    if (!PackWriteOutput(vOut, szOutput)) return 2;
    if (!bQuiet)
        printf("%s: %zu changed files, %zu checksum records, %zu bytes, byte sum %08x (Windows)\n", szOutput,
               cChanges, cChecksums, vOut.size(), dwSum);
    return 0;
}

int PackBuild(const char* szManifest, const char* szOutput, const char* szStubOverride, int bQuiet)
{
    PackManifest manifest;
    std::string strError;
    if (!PackReadManifest(szManifest, &manifest, &strError)) {
        PackError(strError);
        return 2;
    }
    const PackSection* pPackage = PackFindSection(&manifest, "Package");
    const PackSection* pReleases = PackFindSection(&manifest, "Releases");
    const PackSection* pStrings = PackFindSection(&manifest, "Strings");
    if (!pPackage || !pReleases) {
        PackError(manifest.strPath + ": needs the sections [Package] and [Releases]");
        return 2;
    }
    const PackKey* pFrom = PackFindKey(pPackage, "From");
    const PackKey* pTo = PackFindKey(pPackage, "To");
    const PackKey* pLicense = PackFindKey(pPackage, "License");
    if (!pFrom || !pTo || !pLicense) {
        PackError(manifest.strPath + ": [Package] needs From, To and License");
        return 2;
    }
    uint32_t dwUpgradeType, dwKeyValue;
    if (!PackGetNumber(pPackage, "UpgradeType", 2, &dwUpgradeType, &strError) ||
        !PackGetNumber(pPackage, "KeyFileValue", 0, &dwKeyValue, &strError)) {
        PackError(strError);
        return 2;
    }
    if (dwUpgradeType > 2) {
        PackError("[Package] UpgradeType must be 0, 1 or 2");
        return 2;
    }
    if (dwUpgradeType == 0 && PackFindSection(&manifest, "EarlierFixes")) {
        PackError("[EarlierFixes] needs UpgradeType 1 or 2 (the installer puts such files back only then)");
        return 2;
    }

    /* The releases, in manifest order. */
    std::vector<PackRelease> vReleases;
    int iFrom = -1, iTo = -1;
    for (const PackKey& key : pReleases->keys) {
        PackRelease release;
        std::string strName;
        release.strLabel = key.strKey;
        release.strTree = PackResolve(&manifest, key.strValue);
        if (!PackReleaseName(release.strLabel, &strName)) {
            PackError(manifest.strPath + ":" + std::to_string(key.iLine) + ": \"" + release.strLabel +
                      "\" is not a release label (Release <name>|<date>)");
            return 2;
        }
        if (release.strLabel.size() > PACK_LABEL_MAX) {
            PackError(manifest.strPath + ":" + std::to_string(key.iLine) + ": label \"" + release.strLabel + "\" is " +
                      std::to_string(release.strLabel.size()) + " characters; its field holds " +
                      std::to_string(PACK_LABEL_MAX));
            return 2;
        }
        if (release.strLabel == pFrom->strValue) iFrom = (int)vReleases.size();
        if (release.strLabel == pTo->strValue) iTo = (int)vReleases.size();
        vReleases.push_back(release);
    }
    if (iFrom < 0 || iTo < 0) {
        PackError("From and To must both be listed in [Releases]");
        return 2;
    }
    if (iFrom == iTo) {
        PackError("From and To name the same release");
        return 2;
    }
    for (PackRelease& release : vReleases) {
        if (!PackLoadRelease(&release, &strError)) {
            PackError(strError);
            return 2;
        }
    }

    /* The texts. */
    std::string strFromName, strToName;
    PackReleaseName(pFrom->strValue, &strFromName);
    PackReleaseName(pTo->strValue, &strToName);
    std::string strPadded = pTo->strValue + std::string(PACK_LABEL_BLANKS, ' ');
    std::vector<std::string> vStrings(PACK_STRING_COUNT);
    for (int i = 0; i < PACK_STRING_COUNT; i++) vStrings[i] = s_aszDefaultStrings[i] ? s_aszDefaultStrings[i] : "";
    vStrings[0] = "Release " + strFromName + " -> Release " + strToName;
    vStrings[2] = strPadded;
    vStrings[42] = strPadded;
    vStrings[43] = strPadded;
    if (const PackKey* pKind = PackFindKey(pPackage, "Kind")) vStrings[42] = PackUnescape(pKind->strValue);
    if (const PackKey* pLp = PackFindKey(pPackage, "LanguagePack")) vStrings[43] = PackUnescape(pLp->strValue);
    if (pStrings) {
        for (const PackKey& key : pStrings->keys) {
            char* pEnd = NULL;
            long lId = strtol(key.strKey.c_str(), &pEnd, 10);
            if (key.strKey.empty() || *pEnd || lId < 0 || lId >= PACK_STRING_COUNT) {
                PackError(manifest.strPath + ":" + std::to_string(key.iLine) + ": [Strings] keys are ids 0 to 51");
                return 2;
            }
            vStrings[lId] = PackUnescape(key.strValue);
        }
    }
    for (int i = 0; i < PACK_STRING_COUNT; i++) {
        if (vStrings[i].empty()) {
            PackError("text " + std::to_string(i) + " is empty: the installer stops loading texts at the first empty one");
            return 2;
        }
        if (vStrings[i].size() > PACK_STRING_MAX) {
            PackError("text " + std::to_string(i) + " is longer than " + std::to_string(PACK_STRING_MAX) + " characters");
            return 2;
        }
    }

    /* The changed files: new or changed in To (kind 2), gone from To (kind 3). */
    const PackRelease& from = vReleases[iFrom];
    const PackRelease& to = vReleases[iTo];
    struct Change {
        const PackFile* pOld;
        const PackFile* pNew;
        uint32_t dwKind = 0; /* 0: 2 or 3 (or 1, chosen below); 4 a file of an earlier fix */
    };
    std::vector<Change> vChanges;
    for (const auto& entry : to.files) {
        auto itOld = from.files.find(entry.first);
        if (itOld == from.files.end()) vChanges.push_back({NULL, &entry.second});
        else if (itOld->second.dwCrc != entry.second.dwCrc || itOld->second.dwSize != entry.second.dwSize)
            vChanges.push_back({&itOld->second, &entry.second});
    }
    for (const auto& entry : from.files)
        if (to.files.find(entry.first) == to.files.end()) vChanges.push_back({&entry.second, NULL});
    /* Entries named by the manifest: cabinet-packaged trees and files of
     * earlier fixes (pack_entries.h). */
    std::deque<PackFile> dqExtra;
    if (!PackManifestEntries(&manifest, &dqExtra, &strError)) {
        PackError(strError);
        return 2;
    }
    for (const PackFile& file : dqExtra) {
        if (file.strHost.empty()) vChanges.push_back({NULL, &file, 4});
        else vChanges.push_back({NULL, &file});
    }
    if (vChanges.size() > PACK_MAX_FILE_RECORDS) {
        PackError(std::to_string(vChanges.size()) + " changed files; the installer accepts at most " +
                  std::to_string(PACK_MAX_FILE_RECORDS));
        return 2;
    }

    /* Checksum records: the key file of the from-release first, then every
     * file name of every release, release after release (0 = absent). */
    std::vector<std::string> vNames;
    {
        std::map<std::string, std::string> mapNames;
        for (const PackRelease& release : vReleases)
            for (const auto& entry : release.files) mapNames[PackUpper(entry.second.strName)] = entry.second.strName;
        for (const auto& entry : mapNames) vNames.push_back(entry.second);
    }
    /* Upgrade type 0: the table holds the key file's checksum of every
     * release other than To (the levels the package upgrades from). */
    size_t cChecksums = dwUpgradeType == 0 ? vReleases.size() - 1 : 1 + vNames.size() * vReleases.size();
    const std::string strKeyFile = vStrings[1];
    auto PackFindByName = [](const PackRelease& release, const std::string& strName) -> const PackFile* {
        for (int iDir = 1; iDir <= 3; iDir++) {
            auto it = release.files.find(std::to_string(iDir) + ":" + PackUpper(strName));
            if (it != release.files.end()) return &it->second;
        }
        return NULL;
    };

    std::vector<uint8_t> vVersion;
    PackLabelField(from.strLabel, &vVersion);
    PackLabelField(to.strLabel, &vVersion);
    PackPut32(&vVersion, dwKeyValue);
    PackPut32(&vVersion, (uint32_t)cChecksums);
    const PackFile* pNewKey = PackFindByName(to, strKeyFile);
    PackPut32(&vVersion, pNewKey ? pNewKey->dwCrc : 0);
    PackPut32(&vVersion, (uint32_t)vChanges.size()); /* payload count */
    PackPut32(&vVersion, (uint32_t)vChanges.size()); /* file records */
    uint64_t cbData = 0, cbProgram = 0;
    for (const Change& change : vChanges) {
        /* Room for the new file under its temporary name and for the backup. */
        uint64_t cb = (change.pNew ? change.pNew->dwSize : 0) + (change.pOld ? change.pOld->dwSize : 0);
        int iDir = change.pNew ? change.pNew->iDir : change.pOld->iDir;
        if (iDir == 2) cbData += cb;
        else cbProgram += cb;
    }
    uint32_t dwDataSpace, dwProgramSpace;
    if (!PackGetNumber(pPackage, "DataSpace", PackKb(cbData), &dwDataSpace, &strError) ||
        !PackGetNumber(pPackage, "ProgramSpace", PackKb(cbProgram), &dwProgramSpace, &strError)) {
        PackError(strError);
        return 2;
    }
    PackPut32(&vVersion, dwDataSpace);
    PackPut32(&vVersion, dwProgramSpace);
    PackPut32(&vVersion, dwUpgradeType);
    if (dwUpgradeType == 0) {
        for (int i = 0; i < (int)vReleases.size(); i++) {
            if (i == iTo) continue;
            const PackFile* pKey = PackFindByName(vReleases[i], strKeyFile);
            PackPut32(&vVersion, pKey ? pKey->dwCrc : 0);
            PackLabelField(vReleases[i].strLabel, &vVersion);
            vVersion.insert(vVersion.end(), strKeyFile.begin(), strKeyFile.end());
            vVersion.push_back(0);
        }
    } else {
        const PackFile* pOldKey = PackFindByName(from, strKeyFile);
        PackPut32(&vVersion, pOldKey ? pOldKey->dwCrc : 0);
        PackLabelField(from.strLabel, &vVersion);
        vVersion.insert(vVersion.end(), strKeyFile.begin(), strKeyFile.end());
        vVersion.push_back(0);
    }
    for (const PackRelease& release : vReleases) {
        if (dwUpgradeType == 0) break;
        for (const std::string& strName : vNames) {
            const PackFile* pFile = PackFindByName(release, strName);
            PackPut32(&vVersion, pFile ? pFile->dwCrc : 0);
            PackLabelField(release.strLabel, &vVersion);
            vVersion.insert(vVersion.end(), strName.begin(), strName.end());
            vVersion.push_back(0);
        }
    }

    /* Files named by Delta (relative names as the installer sees them,
     * separated by commas) that exist in both releases become kind 1 whatever
     * their size; other changed files that both releases hold become kind 1
     * when the delta is smaller (pack_entries.h). */
    std::vector<std::string> vDeltaNames;
    if (const PackKey* pDelta = PackFindKey(pPackage, "Delta")) {
        std::string strList = pDelta->strValue + ",";
        size_t iStart = 0, iComma;
        while ((iComma = strList.find(',', iStart)) != std::string::npos) {
            std::string strName = strList.substr(iStart, iComma - iStart);
            while (!strName.empty() && strName.front() == ' ') strName.erase(0, 1);
            while (!strName.empty() && strName.back() == ' ') strName.pop_back();
            if (!strName.empty()) vDeltaNames.push_back(PackUpper(strName));
            iStart = iComma + 1;
        }
    }
    auto PackIsDelta = [&](const Change& change) {
        if (!change.pOld || !change.pNew) return false;
        return std::find(vDeltaNames.begin(), vDeltaNames.end(), PackUpper(change.pNew->strName)) != vDeltaNames.end();
    };

    /* File records, FILEENTRY and UPDATE resources. */
    std::vector<PackResource> vResources;
    for (int i = 0; i < PACK_STRING_COUNT; i++)
        vResources.push_back({"STRING", (uint32_t)i, std::vector<uint8_t>(vStrings[i].begin(), vStrings[i].end())});
    std::vector<PackResource> vEntries;
    uint32_t dwId = 0;
    for (const Change& change : vChanges) {
        const PackFile* pAny = change.pNew ? change.pNew : change.pOld;
        uint32_t dwKind = change.dwKind ? change.dwKind : change.pNew ? 2 : 3;
        uint32_t dwBlocks = 0;
        std::vector<uint8_t> vContent;
        if (dwKind != 4 && change.pNew && !PackReadFile(change.pNew->strHost, &vContent, &strError)) {
            PackError(strError);
            return 2;
        }
        if (dwKind == 2 && change.pOld) {
            std::vector<uint8_t> vOld, vNew = vContent;
            if (!PackReadFile(change.pOld->strHost, &vOld, &strError)) {
                PackError(strError);
                return 2;
            }
            if (PackIsDelta(change)) {
                /* Named by Delta: kind 1 whatever its size. */
                PackMakeDelta(vOld, vNew, &vContent, &dwBlocks);
                if (!PackCheckDelta(vOld, vNew, vContent, dwBlocks)) {
                    PackError("the delta of " + pAny->strHost + " does not apply both ways");
                    return 2;
                }
                dwKind = 1;
            } else {
                dwKind = (uint32_t)PackChoosePayload(vOld, vNew, pAny->strName, &vContent, &dwBlocks);
            }
        }
        dwId++;
        size_t cchDoubled = pAny->strName.size();
        for (char ch : pAny->strName)
            if (ch == '\\') cchDoubled++;
        PackPut32(&vVersion, (uint32_t)cchDoubled);
        PackPut32(&vVersion, dwKind);
        PackPut32(&vVersion, (uint32_t)pAny->iDir);
        PackPut32(&vVersion, change.pOld ? change.pOld->dwCrc : 0);
        PackPut32(&vVersion, change.pNew ? change.pNew->dwCrc : 0);
        PackPut32(&vVersion, dwId);
        vVersion.insert(vVersion.end(), pAny->strName.begin(), pAny->strName.end());
        vVersion.push_back(0);

        PackResource entry{"FILEENTRY", dwId, {}};
        entry.vData.insert(entry.vData.end(), pAny->strName.begin(), pAny->strName.end());
        entry.vData.push_back(0);
        PackPut32(&entry.vData, dwKind);
        PackPut32(&entry.vData, (uint32_t)pAny->iDir);
        PackPut32(&entry.vData, change.pOld ? change.pOld->dwSize : 0);
        PackPut32(&entry.vData, change.pNew ? change.pNew->dwSize : 0);
        PackPut32(&entry.vData, change.pOld ? change.pOld->dwCrc : 0);
        PackPut32(&entry.vData, change.pNew ? change.pNew->dwCrc : 0);
        PackPut32(&entry.vData, change.pOld ? change.pOld->dwTime : 0);
        PackPut32(&entry.vData, change.pNew ? change.pNew->dwTime : 0);
        PackPut32(&entry.vData, dwBlocks);
        vEntries.push_back(entry);

        PackResource update{"UPDATE", dwId, {}};
        if (!PackCompress(vContent, &update.vData)) {
            PackError("compression of " + pAny->strHost + " failed");
            return 2;
        }
        vEntries.push_back(update);
        if (!bQuiet)
            printf("  %s %s (%s, %u bytes%s)\n", s_aszKindWords[dwKind & 3], pAny->strName.c_str(),
                   s_aszDirNames[pAny->iDir], change.pNew ? change.pNew->dwSize : 0,
                   dwKind == 1 ? (", delta of " + std::to_string(vContent.size())).c_str() : "");
    }
    vResources.push_back({"VERSION", 1, vVersion});
    vResources.insert(vResources.end(), vEntries.begin(), vEntries.end());

    /* The agreement text with CR LF line ends, and the two tools. */
    {
        std::vector<uint8_t> vText, vCrLf, vPacked;
        if (!PackReadFile(PackResolve(&manifest, pLicense->strValue), &vText, &strError)) {
            PackError(strError);
            return 2;
        }
        for (size_t i = 0; i < vText.size(); i++) {
            if (vText[i] == '\n' && (i == 0 || vText[i - 1] != '\r')) vCrLf.push_back('\r');
            vCrLf.push_back(vText[i]);
        }
        PackCompress(vCrLf, &vPacked);
        vResources.push_back({"LICENSEENTRY", 2, vPacked});
    }
    std::vector<bool> vToolHeads; /* each tool a Windows program */
    struct {
        const char* szKey;
        const char* szDefault;
        const char* szType;
        uint32_t dwId;
    } aTools[2] = {{"VersionTool", PACK_DEFAULT_VERSION_TOOL, "UPDATE64ENTRY", 3},
                   {"CabinetTool", PACK_DEFAULT_CABINET_TOOL, "UPDATECABENTRY", 4}};
    for (auto& tool : aTools) {
        const PackKey* pKey = PackFindKey(pPackage, tool.szKey);
        std::string strPath = pKey ? PackResolve(&manifest, pKey->strValue) : std::string(tool.szDefault);
        const char* szOverride = tool.dwId == 3 ? s_szVersionToolOverride : s_szCabinetToolOverride;
        if (szOverride) strPath = szOverride;
        std::vector<uint8_t> vTool, vPacked;
        if (!PackReadFile(strPath, &vTool, &strError)) {
            PackError(std::string(tool.szKey) + ": " + strError +
                      (pKey ? "" : " (the default; build it or name one in [Package])"));
            return 2;
        }
        vToolHeads.push_back(vTool.size() >= 2 && vTool[0] == 'M' && vTool[1] == 'Z');
        PackCompress(vTool, &vPacked);
        vResources.push_back({tool.szType, tool.dwId, vPacked});
    }

    /* Stub, payloads, index, trailer. */
    std::vector<uint8_t> vOut;
    const char* szStub = szStubOverride ? szStubOverride : PACK_DEFAULT_STUB;
    if (const PackKey* pStub = PackFindKey(pPackage, "Stub")) {
        static std::string s_strStub;
        s_strStub = PackResolve(&manifest, pStub->strValue);
        if (!szStubOverride) szStub = s_strStub.c_str();
    }
    if (!PackReadFile(szStub, &vOut, &strError)) {
        PackError("installer stub: " + strError);
        return 2;
    }
    std::string strTemp = std::string(szOutput) + ".tmp";
    /* The package must not replace what it is built from. */
    {
        std::vector<std::pair<std::string, std::string>> vInputs = {
            {"the manifest", manifest.strPath},
            {"the licence", PackResolve(&manifest, pLicense->strValue)},
            {"the installer stub", szStub}};
        for (auto& tool : aTools) {
            const PackKey* pKey = PackFindKey(pPackage, tool.szKey);
            const char* szOverride = tool.dwId == 3 ? s_szVersionToolOverride : s_szCabinetToolOverride;
            vInputs.push_back({tool.szKey, szOverride ? std::string(szOverride)
                                           : pKey ? PackResolve(&manifest, pKey->strValue)
                                                  : std::string(tool.szDefault)});
        }
        for (const PackRelease& release : vReleases)
            for (const auto& entry : release.files)
                vInputs.push_back({"a file of \"" + release.strLabel + "\"", entry.second.strHost});
        for (const auto& input : vInputs) {
            if (PackSameFile(szOutput, input.second) || PackSameFile(strTemp, input.second)) {
                PackError(std::string("the output ") + szOutput + " is " + input.first + " (" + input.second + ")");
                return 2;
            }
        }
    }
    if (vOut.size() >= 2 && vOut[0] == 'M' && vOut[1] == 'Z')
        return PackWriteWindows(vOut, vResources, vToolHeads, szOutput, bQuiet, vChanges.size(), cChecksums);
    std::vector<uint64_t> vOffsets;
    for (const PackResource& res : vResources) {
        vOffsets.push_back(vOut.size());
        vOut.insert(vOut.end(), res.vData.begin(), res.vData.end());
    }
    uint64_t qwIndex = vOut.size();
    for (size_t i = 0; i < vResources.size(); i++) {
        PackPut32(&vOut, (uint32_t)vResources[i].strType.size());
        vOut.insert(vOut.end(), vResources[i].strType.begin(), vResources[i].strType.end());
        PackPut32(&vOut, vResources[i].dwId);
        PackPut32(&vOut, CONTAINER_LANGUAGE);
        PackPut64(&vOut, vOffsets[i]);
        PackPut64(&vOut, vResources[i].vData.size());
    }
    static const char s_szMagic[] = CONTAINER_MAGIC;
    vOut.insert(vOut.end(), s_szMagic, s_szMagic + 8);
    PackPut32(&vOut, CONTAINER_VERSION);
    size_t iSum = vOut.size();
    PackPut32(&vOut, 0);
    PackPut64(&vOut, qwIndex);
    PackPut32(&vOut, (uint32_t)vResources.size());
    PackPut32(&vOut, 0);
    uint32_t dwSum = PackStoreSum(&vOut, iSum);
    if (!PackWriteOutput(vOut, szOutput)) return 2;
    if (!bQuiet)
        printf("%s: %zu changed files, %zu checksum records, %zu bytes, byte sum %08x\n", szOutput, vChanges.size(),
               cChecksums, vOut.size(), dwSum);
    return 0;
}
