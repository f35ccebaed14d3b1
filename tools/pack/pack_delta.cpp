/*
 * pack_delta.cpp - the delta writer (pack_delta.h).
 *
 * 1. Matching: a sorted index of the hash of every 16-byte window of the
 *    old file; for each new position the same diagonal is tried first, then
 *    up to 64 candidates at or after the old cursor, nearest first, each
 *    scored by its length less the old bytes it would skip (those become a
 *    deletion); an accepted match is extended backward into the gap.
 * 2. Blocks: every gap between accepted matches (either side non-empty) is a
 *    block: XOR of the common length, then the longer side's plain bytes.
 * 3. The first block may not insert at old offset 0 with nothing old: it
 *    then takes one byte of the following match.
 */
#include "pack_delta.h"

#include "engine/transforms/transforms.h"

#include <string.h>

#include <algorithm>

#define DELTA_WINDOW 16
#define DELTA_MIN_MATCH 32
#define DELTA_CANDIDATES 64

struct DeltaMatch {
    uint32_t dwOld;
    uint32_t dwNew;
    uint32_t dwLen;
};

static uint32_t DeltaHash(const uint8_t* pb)
{
    uint64_t a, b;
    memcpy(&a, pb, 8);
    memcpy(&b, pb + 8, 8);
    uint64_t h = (a * 0x9E3779B97F4A7C15ull) ^ (b * 0xC2B2AE3D27D4EB4Full);
    h ^= h >> 29;
    return (uint32_t)(h * 0x165667B19E3779F9ull >> 32);
}

static void DeltaPut32(std::vector<uint8_t>* pv, uint32_t dw)
{
    for (int i = 0; i < 4; i++) pv->push_back((uint8_t)(dw >> (8 * i)));
}

static std::vector<DeltaMatch> DeltaFindMatches(const std::vector<uint8_t>& vOld, const std::vector<uint8_t>& vNew)
{
    std::vector<DeltaMatch> vMatches;
    const size_t cbOld = vOld.size(), cbNew = vNew.size();
    if (cbOld < DELTA_WINDOW || cbNew < DELTA_WINDOW) return vMatches;
    /* Every window's hash and position, sorted: the candidates of a hash at
     * or after a position are one binary search away, nearest first. */
    std::vector<uint64_t> vIndex(cbOld - DELTA_WINDOW + 1);
    for (size_t i = 0; i + DELTA_WINDOW <= cbOld; i++) vIndex[i] = ((uint64_t)DeltaHash(&vOld[i]) << 32) | i;
    std::sort(vIndex.begin(), vIndex.end());
    size_t iOldCursor = 0, iNewCursor = 0, j = 0;
    while (j + DELTA_WINDOW <= cbNew) {
        size_t iBestOld = 0, cbBest = 0;
        long long llBestScore = 0;
        /* The same diagonal first: an edit of the same length keeps it. */
        size_t iDiag = iOldCursor + (j - iNewCursor);
        if (iDiag + DELTA_WINDOW <= cbOld && memcmp(&vOld[iDiag], &vNew[j], DELTA_WINDOW) == 0) {
            size_t cb = DELTA_WINDOW;
            while (iDiag + cb < cbOld && j + cb < cbNew && vOld[iDiag + cb] == vNew[j + cb]) cb++;
            iBestOld = iDiag;
            cbBest = cb;
            llBestScore = (long long)cb;
        }
        if (cbBest < DELTA_MIN_MATCH) {
            /* Old bytes passed over are stored in the payload (deleted), so
             * a candidate scores its length less the distance it skips. */
            uint64_t qwHash = (uint64_t)DeltaHash(&vNew[j]) << 32;
            auto it = std::lower_bound(vIndex.begin(), vIndex.end(), qwHash | iOldCursor);
            for (int cTried = 0; it != vIndex.end() && (*it & 0xFFFFFFFF00000000ull) == qwHash && cTried < DELTA_CANDIDATES;
                 ++it, cTried++) {
                size_t iOld = (size_t)(*it & 0xFFFFFFFFu);
                size_t cbSkip = iOld - iOldCursor;
                if ((long long)cbSkip > (long long)cbNew) break;
                size_t cb = 0;
                while (iOld + cb < cbOld && j + cb < cbNew && vOld[iOld + cb] == vNew[j + cb]) cb++;
                long long llScore = (long long)cb - (long long)cbSkip;
                if (cb >= DELTA_MIN_MATCH && llScore > llBestScore) {
                    llBestScore = llScore;
                    cbBest = cb;
                    iBestOld = iOld;
                }
                if (cb >= 4096) break;
            }
        }
        if (cbBest < DELTA_MIN_MATCH || llBestScore < DELTA_MIN_MATCH) {
            j++;
            continue;
        }
        /* Extend backward into the gap. */
        size_t iNew = j;
        while (iNew > iNewCursor && iBestOld > iOldCursor && vOld[iBestOld - 1] == vNew[iNew - 1]) {
            iNew--;
            iBestOld--;
            cbBest++;
        }
        vMatches.push_back({(uint32_t)iBestOld, (uint32_t)iNew, (uint32_t)cbBest});
        iOldCursor = iBestOld + cbBest;
        iNewCursor = iNew + cbBest;
        j = iNewCursor;
    }
    return vMatches;
}

static void DeltaBlock(const std::vector<uint8_t>& vOld, const std::vector<uint8_t>& vNew, uint32_t dwOldOff,
                       uint32_t dwOldLen, uint32_t dwNewOff, uint32_t dwNewLen, std::vector<uint8_t>* pvPayload)
{
    DeltaPut32(pvPayload, 0);
    DeltaPut32(pvPayload, dwOldOff);
    DeltaPut32(pvPayload, dwNewOff);
    DeltaPut32(pvPayload, dwOldLen);
    DeltaPut32(pvPayload, dwNewLen);
    uint32_t dwMin = dwOldLen < dwNewLen ? dwOldLen : dwNewLen;
    for (uint32_t i = 0; i < dwMin; i++) pvPayload->push_back((uint8_t)(vOld[dwOldOff + i] ^ vNew[dwNewOff + i]));
    if (dwOldLen > dwMin) pvPayload->insert(pvPayload->end(), vOld.begin() + dwOldOff + dwMin, vOld.begin() + dwOldOff + dwOldLen);
    if (dwNewLen > dwMin) pvPayload->insert(pvPayload->end(), vNew.begin() + dwNewOff + dwMin, vNew.begin() + dwNewOff + dwNewLen);
}

void PackMakeDelta(const std::vector<uint8_t>& vOld, const std::vector<uint8_t>& vNew, std::vector<uint8_t>* pvPayload,
                   uint32_t* pdwBlocks)
{
    std::vector<DeltaMatch> vMatches = DeltaFindMatches(vOld, vNew);
    /* A leading insertion at old offset 0 would end the list when reverting:
     * give the block the first byte of the match after it. */
    if (!vMatches.empty() && vMatches[0].dwOld == 0 && vMatches[0].dwNew > 0) {
        vMatches[0].dwOld++;
        vMatches[0].dwNew++;
        vMatches[0].dwLen--;
        if (vMatches[0].dwLen == 0) vMatches.erase(vMatches.begin());
    }
    pvPayload->clear();
    *pdwBlocks = 0;
    uint32_t dwOld = 0, dwNew = 0;
    for (size_t i = 0; i <= vMatches.size(); i++) {
        uint32_t dwOldEnd = i < vMatches.size() ? vMatches[i].dwOld : (uint32_t)vOld.size();
        uint32_t dwNewEnd = i < vMatches.size() ? vMatches[i].dwNew : (uint32_t)vNew.size();
        uint32_t dwOldLen = dwOldEnd - dwOld, dwNewLen = dwNewEnd - dwNew;
        if (dwOldLen || dwNewLen) {
            DeltaBlock(vOld, vNew, dwOld, dwOldLen, dwNew, dwNewLen, pvPayload);
            ++*pdwBlocks;
        }
        if (i < vMatches.size()) {
            dwOld = vMatches[i].dwOld + vMatches[i].dwLen;
            dwNew = vMatches[i].dwNew + vMatches[i].dwLen;
        }
    }
    /* Equal files: the first header is always read, so write one that
     * changes nothing (an empty block at the end of both). */
    if (*pdwBlocks == 0) {
        DeltaBlock(vOld, vNew, (uint32_t)vOld.size(), 0, (uint32_t)vNew.size(), 0, pvPayload);
        *pdwBlocks = 1;
    }
}

namespace {
struct CheckIo {
    const std::vector<uint8_t>* pvSource;
    size_t iPos;
    std::vector<uint8_t> vOut;
};

size_t CheckRead(void* pv, unsigned char* pb, size_t cb)
{
    CheckIo* p = (CheckIo*)pv;
    size_t n = p->pvSource->size() - p->iPos;
    if (n > cb) n = cb;
    if (n) memcpy(pb, p->pvSource->data() + p->iPos, n);
    p->iPos += n;
    return n;
}

int CheckWrite(void* pv, const unsigned char* pb, size_t cb)
{
    ((CheckIo*)pv)->vOut.insert(((CheckIo*)pv)->vOut.end(), pb, pb + cb);
    return 1;
}
}  // namespace

int PackCheckDelta(const std::vector<uint8_t>& vOld, const std::vector<uint8_t>& vNew,
                   const std::vector<uint8_t>& vPayload, uint32_t dwBlocks)
{
    for (int bRevert = 0; bRevert <= 1; bRevert++) {
        CheckIo run = {bRevert ? &vNew : &vOld, 0, {}};
        XFORM_IO io = {&run, CheckRead, CheckWrite, NULL};
        if (TransformDelta(bRevert, vPayload.data(), vPayload.size(), dwBlocks, (uint32_t)vOld.size(),
                           (uint32_t)vNew.size(), &io) != XFORM_DONE)
            return 0;
        if (run.vOut != (bRevert ? vOld : vNew)) return 0;
    }
    return 1;
}
