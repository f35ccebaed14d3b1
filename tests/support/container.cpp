/*
 * container.cpp - test support: the package container (container.h).
 */
#include "support/container.h"

#include "platform/container.h"

#include <gtest/gtest.h>

#include <string.h>

static uint64_t GetLe(const std::string& str, size_t i, int cb)
{
    uint64_t q = 0;
    for (int k = cb - 1; k >= 0; k--) q = (q << 8) | (unsigned char)str[i + (size_t)k];
    return q;
}

static void PutLe(std::string& str, size_t i, uint64_t q, int cb)
{
    for (int k = 0; k < cb; k++) str[i + (size_t)k] = (char)((q >> (8 * k)) & 0xff);
}

std::vector<ContainerEntry> ContainerIndex(const std::string& strFile)
{
    std::vector<ContainerEntry> v;
    if (strFile.size() < CONTAINER_TRAILER_SIZE) return v;
    size_t iTrailer = strFile.size() - CONTAINER_TRAILER_SIZE;
    if (strFile.compare(iTrailer, 8, CONTAINER_MAGIC) != 0) return v;
    size_t i = (size_t)GetLe(strFile, iTrailer + 16, 8);
    uint32_t cEntries = (uint32_t)GetLe(strFile, iTrailer + 24, 4);
    for (uint32_t n = 0; n < cEntries && i + 4 <= iTrailer; n++) {
        ContainerEntry entry;
        size_t cch = (size_t)GetLe(strFile, i, 4);
        entry.iEntry = i;
        entry.strType = strFile.substr(i + 4, cch);
        entry.dwId = (uint32_t)GetLe(strFile, i + 4 + cch, 4);
        entry.qwOffset = GetLe(strFile, i + 4 + cch + 8, 8);
        entry.qwSize = GetLe(strFile, i + 4 + cch + 16, 8);
        v.push_back(entry);
        i += 4 + cch + 24;
    }
    return v;
}

ContainerEntry ContainerFind(const std::string& strFile, const std::string& strType, uint32_t dwId)
{
    for (const ContainerEntry& entry : ContainerIndex(strFile))
        if (entry.strType == strType && entry.dwId == dwId) return entry;
    ADD_FAILURE() << "no entry " << strType << " " << dwId;
    return ContainerEntry{"", 0, 0, 0, 0};
}

void ContainerSetSize(std::string& strFile, const ContainerEntry& entry, uint64_t qwSize)
{
    PutLe(strFile, entry.iEntry + 4 + entry.strType.size() + 16, qwSize, 8);
}

void ContainerHide(std::string& strFile, const ContainerEntry& entry)
{
    strFile[entry.iEntry + 4 + entry.strType.size() - 1] = '_';
}

void ContainerResum(std::string& strFile)
{
    size_t iSum = strFile.size() - CONTAINER_TRAILER_SIZE + CONTAINER_SUM_OFFSET;
    uint32_t dwSum = 0;
    for (size_t i = 0; i < strFile.size(); i++)
        if (i < iSum || i >= iSum + 4) dwSum += (unsigned char)strFile[i];
    PutLe(strFile, iSum, dwSum, 4);
}
