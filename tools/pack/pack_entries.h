/*
 * pack_entries.h - the builder's per-entry decisions: the payload of a file
 * both releases have (delta or whole file) and the entries the manifest
 * names ([Cabinets], [EarlierFixes]). See docs/package-builder.md.
 */
#ifndef HERON_TOOLS_PACK_ENTRIES_H
#define HERON_TOOLS_PACK_ENTRIES_H

#include "pack.h"

#include <deque>

/* One file of a release tree (or an entry named by the manifest). */
struct PackFile {
    int iDir;              /* 1 program, 2 data, 3 system */
    std::string strName;   /* relative path with backslashes */
    std::string strHost;   /* its path on this machine; empty for a file of an earlier fix */
    uint32_t dwCrc;
    uint32_t dwSize;
    uint32_t dwTime;
};

/* 1 for the two cabinet entry names. */
int PackIsCabinetName(const std::string& strName);

/* The payload of a file present in both releases: 1 (delta, *pvPayload the
 * blocks, *pdwBlocks their count) or 2 (whole file, *pvPayload = vNew). */
int PackChoosePayload(const std::vector<uint8_t>& vOld, const std::vector<uint8_t>& vNew, const std::string& strName,
                      std::vector<uint8_t>* pvPayload, uint32_t* pdwBlocks);

/* The entries of [Cabinets] (a tree packed with the cabinet tool, or a ready
 * cabinet) and [EarlierFixes] (strHost empty), appended to *pdqFiles. */
int PackManifestEntries(const PackManifest* pManifest, std::deque<PackFile>* pdqFiles, std::string* pstrError);

#endif
