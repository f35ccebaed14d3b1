/*
 * container.h - test support: reading and damaging the package container of
 * a built package (layout in platform/container.h).
 */
#ifndef HERON_TESTS_SUPPORT_CONTAINER_H
#define HERON_TESTS_SUPPORT_CONTAINER_H

#include <stdint.h>

#include <string>
#include <vector>

/* One index entry and where it lies in the file. */
struct ContainerEntry {
    std::string strType;
    uint32_t dwId;
    size_t iEntry;     /* offset of the entry in the file */
    uint64_t qwOffset; /* payload bytes */
    uint64_t qwSize;
};

/* The index of a package file's bytes; empty when there is no container. */
std::vector<ContainerEntry> ContainerIndex(const std::string& strFile);
/* The entry of a type and id; a test failure (and a zero entry) when absent. */
ContainerEntry ContainerFind(const std::string& strFile, const std::string& strType, uint32_t dwId);
/* Changes the entry's stated size in the index. */
void ContainerSetSize(std::string& strFile, const ContainerEntry& entry, uint64_t qwSize);
/* Renames the entry's type in place (same length), so that it is not found. */
void ContainerHide(std::string& strFile, const ContainerEntry& entry);
/* Writes the stored byte sum again, so that the self-check passes. */
void ContainerResum(std::string& strFile);

#endif
