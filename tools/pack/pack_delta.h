/*
 * pack_delta.h - the package builder's delta writer: reversible XOR blocks
 * between an old and a new file (the payload layout is drawn in
 * src/engine/transforms/transforms.h).
 *
 * Copy runs are found by hashing every 16-byte window of the old file and
 * extending candidate matches both ways; runs are taken in increasing order
 * in both files, so inserted and deleted stretches become blocks of unequal
 * lengths. Matches shorter than 32 bytes are not used: the bytes between two
 * blocks that close together are cheaper as XOR data (zeros where both sides
 * agree) than as another 20-byte header.
 */
#ifndef HERON_TOOLS_PACK_DELTA_H
#define HERON_TOOLS_PACK_DELTA_H

#include <stdint.h>

#include <vector>

/* Writes the blocks that turn vOld into vNew into *pvPayload and their count
 * into *pdwBlocks. Never writes a first block at old offset 0 with old length
 * 0 when vOld is not empty (the revert direction would end there). Both
 * files must be below 4 GB. */
void PackMakeDelta(const std::vector<uint8_t>& vOld, const std::vector<uint8_t>& vNew, std::vector<uint8_t>* pvPayload,
                   uint32_t* pdwBlocks);

/* Applies a payload in both directions (the installer's own transforms) and
 * returns 1 when the upgrade gives vNew from vOld and the revert vOld from
 * vNew. */
int PackCheckDelta(const std::vector<uint8_t>& vOld, const std::vector<uint8_t>& vNew,
                   const std::vector<uint8_t>& vPayload, uint32_t dwBlocks);

#endif
