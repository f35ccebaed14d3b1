/*
 * pack_list.cpp - "heron-pack list": the container index, the release table
 * and the file records of a package in readable form. Every offset read from
 * the file is checked before use; a damaged package is reported, not crashed on.
 */
#include "pack.h"

#include "platform/container.h"

#include <stdio.h>
#include <string.h>

static std::string PackLabelText(const uint8_t* pb)
{
    /* The label text precedes its blank and "|" padding. */
    std::string str((const char*)pb, strnlen((const char*)pb, 100));
    size_t iBar = str.find('|');
    size_t iCut = str.find('|', iBar == std::string::npos ? 0 : iBar + 1);
    size_t iDouble = str.find("||");
    if (iDouble != std::string::npos && iDouble < iCut) iCut = iDouble;
    if (iCut != std::string::npos) str = str.substr(0, iCut);
    while (!str.empty() && str.back() == ' ') str.pop_back();
    return str;
}

static int PackSumMismatch(const char* szPackage)
{
    fprintf(stderr, "heron-pack: %s: the stored byte sum does not match its bytes\n", szPackage);
    return 2;
}

int PackList(const char* szPackage)
{
    std::vector<uint8_t> v;
    std::string strError;
    if (!PackReadFile(szPackage, &v, &strError)) {
        fprintf(stderr, "heron-pack: %s\n", strError.c_str());
        return 2;
    }
    size_t cb = v.size();
    if (cb < CONTAINER_TRAILER_SIZE || memcmp(&v[cb - 32], CONTAINER_MAGIC, 8) != 0 ||
        PackGet32(&v[cb - 24]) != CONTAINER_VERSION) {
        fprintf(stderr, "heron-pack: %s carries no package\n", szPackage);
        return 2;
    }
    uint32_t dwStored = PackGet32(&v[cb - 20]);
    uint64_t qwIndex = PackGet64(&v[cb - 16]);
    uint32_t cEntries = PackGet32(&v[cb - 8]);
    uint32_t dwSum = 0;
    for (size_t i = 0; i < cb; i++)
        if (i < cb - 20 || i >= cb - 16) dwSum += v[i];
    printf("Package %s: %zu bytes, %u index entries at %llu\n", szPackage, cb, cEntries, (unsigned long long)qwIndex);
    printf("Byte sum: stored %08x, computed %08x (%s)\n", dwStored, dwSum, dwStored == dwSum ? "ok" : "MISMATCH");
    if (qwIndex > cb - 32) {
        fprintf(stderr, "heron-pack: index offset out of range\n");
        return 2;
    }

    printf("\nIndex:\n  %-16s %6s %12s %10s\n", "type", "id", "offset", "size");
    size_t iPos = (size_t)qwIndex;
    const uint8_t* pbVersion = NULL;
    size_t cbVersion = 0;
    std::vector<std::pair<std::string, uint32_t>> vStrings;
    for (uint32_t i = 0; i < cEntries; i++) {
        if (cb - 32 - iPos < 4) break;
        uint32_t cch = PackGet32(&v[iPos]);
        if (cch < 1 || cch > CONTAINER_MAX_TYPE || cb - 32 - iPos < 4 + (size_t)cch + 24) {
            fprintf(stderr, "heron-pack: damaged index entry %u\n", i);
            return 2;
        }
        std::string strType((const char*)&v[iPos + 4], cch);
        iPos += 4 + cch;
        uint32_t dwId = PackGet32(&v[iPos]);
        uint64_t qwOffset = PackGet64(&v[iPos + 8]);
        uint64_t qwSize = PackGet64(&v[iPos + 16]);
        iPos += 24;
        int bInside = qwOffset <= qwIndex && qwSize <= qwIndex - qwOffset;
        if (strType == "STRING") {
            if (bInside) vStrings.push_back({std::string((const char*)&v[qwOffset], (size_t)qwSize), dwId});
            continue;
        }
        printf("  %-16s %6u %12llu %10llu%s\n", strType.c_str(), dwId, (unsigned long long)qwOffset,
               (unsigned long long)qwSize, bInside ? "" : "  (outside the payload area)");
        if (strType == "VERSION" && dwId == 1 && bInside) {
            pbVersion = &v[qwOffset];
            cbVersion = (size_t)qwSize;
        }
    }
    printf("  STRING entries: %zu\n", vStrings.size());
    for (auto& s : vStrings)
        if (s.second == 0 || s.second == 2 || s.second == 42 || s.second == 43)
            printf("    string %u: \"%s\"\n", s.second, s.first.c_str());

    if (!pbVersion || cbVersion < 232) {
        printf("\nNo release table.\n");
        return dwStored == dwSum ? 0 : PackSumMismatch(szPackage);
    }
    uint32_t dwType = PackGet32(pbVersion + 228);
    uint32_t cChecksums = PackGet32(pbVersion + 204);
    uint32_t cRecords = dwType ? PackGet32(pbVersion + 216) : PackGet32(pbVersion + 212);
    printf("\nRelease table (%zu bytes):\n", cbVersion);
    printf("  from:              %s\n", PackLabelText(pbVersion).c_str());
    printf("  to:                %s\n", PackLabelText(pbVersion + 100).c_str());
    printf("  key-file value:    %u\n", PackGet32(pbVersion + 200));
    printf("  checksum records:  %u\n", cChecksums);
    printf("  new key-file CRC:  %08x\n", PackGet32(pbVersion + 208));
    printf("  payload count:     %u\n", PackGet32(pbVersion + 212));
    printf("  record count:      %u\n", PackGet32(pbVersion + 216));
    printf("  data space:        %u KB\n", PackGet32(pbVersion + 220));
    printf("  program space:     %u KB\n", PackGet32(pbVersion + 224));
    printf("  upgrade type:      %u\n", dwType);
    size_t iRec = 232;
    printf("\nChecksum records:\n");
    for (uint32_t i = 0; i < cChecksums; i++) {
        if (cbVersion - iRec < 105) {
            printf("  (damaged: record %u runs past the table)\n", i);
            return 2;
        }
        const uint8_t* pNul = (const uint8_t*)memchr(pbVersion + iRec + 104, 0, cbVersion - iRec - 104);
        if (!pNul) {
            printf("  (damaged: record %u has no name end)\n", i);
            return 2;
        }
        printf("  %08x  %-40s %s\n", PackGet32(pbVersion + iRec), PackLabelText(pbVersion + iRec + 4).c_str(),
               (const char*)pbVersion + iRec + 104);
        iRec = (size_t)(pNul - pbVersion) + 1;
    }
    printf("\nFile records:\n  %4s %4s %3s %8s %8s  %s\n", "id", "kind", "dir", "old crc", "new crc", "name");
    for (uint32_t i = 0; i < cRecords; i++) {
        if (cbVersion - iRec < 25) {
            printf("  (damaged: file record %u runs past the table)\n", i);
            return 2;
        }
        const uint8_t* pNul = (const uint8_t*)memchr(pbVersion + iRec + 24, 0, cbVersion - iRec - 24);
        if (!pNul) {
            printf("  (damaged: file record %u has no name end)\n", i);
            return 2;
        }
        printf("  %4u %4u %3u %08x %08x  %s\n", PackGet32(pbVersion + iRec + 20), PackGet32(pbVersion + iRec + 4),
               PackGet32(pbVersion + iRec + 8), PackGet32(pbVersion + iRec + 12), PackGet32(pbVersion + iRec + 16),
               (const char*)pbVersion + iRec + 24);
        iRec = (size_t)(pNul - pbVersion) + 1;
    }
    if (iRec != cbVersion) printf("  (%zu bytes after the last record)\n", cbVersion - iRec);
    /* A package whose sum does not match fails the installer's self-check:
     * listed, but not passed as sound. */
    return dwStored == dwSum ? 0 : PackSumMismatch(szPackage);
}
