/*
 * delta_writer_test.cpp - the package builder's delta writer: payloads that
 * both directions apply, sizes far below the file for small edits of every
 * shape, and the leading insertion that the revert direction cannot read.
 */
#include "engine/transforms/transforms.h"
#include "pack/pack_delta.h"

#include <gtest/gtest.h>

#include <random>

namespace {

typedef std::vector<uint8_t> Bytes;

Bytes Text(int cLines, uint32_t dwSeed)
{
    std::mt19937 rng(dwSeed);
    std::string s;
    for (int i = 0; i < cLines; i++) s += "record " + std::to_string(rng() % 100000) + " of the table\n";
    return Bytes(s.begin(), s.end());
}

uint32_t FirstOldLength(const Bytes& payload, uint32_t* pdwOldOffset)
{
    XFORM_BLOCK block;
    EXPECT_EQ(1, TransformReadHeader(payload.data(), payload.size(), 0, &block, nullptr));
    *pdwOldOffset = block.dwOldOffset;
    return block.dwOldLength;
}

}  // namespace

TEST(DeltaWriter, EditsOfEveryShapeRoundTripAndStaySmall)
{
    Bytes old = Text(2000, 1);
    struct Case {
        const char* szName;
        Bytes now;
    };
    std::vector<Case> cases;
    Bytes same = old;
    for (size_t i = 500; i < same.size(); i += 3000) same[i] ^= 0x5A;
    cases.push_back({"same-length edits", same});
    Bytes ins = old;
    ins.insert(ins.begin() + 10000, 300, 'I');
    ins.insert(ins.begin() + 30000, 50, 'J');
    cases.push_back({"insertions", ins});
    Bytes del = old;
    del.erase(del.begin() + 7000, del.begin() + 7400);
    del.erase(del.begin() + 20000, del.begin() + 20010);
    cases.push_back({"deletions", del});
    Bytes head = old;
    head.insert(head.begin(), 40, 'H');
    cases.push_back({"insertion at the start", head});
    Bytes tail = old;
    tail.resize(tail.size() - 100);
    tail.insert(tail.end(), 70, 'T');
    cases.push_back({"changed end", tail});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.szName);
        Bytes payload;
        uint32_t dwBlocks = 0;
        PackMakeDelta(old, c.now, &payload, &dwBlocks);
        EXPECT_EQ(1, PackCheckDelta(old, c.now, payload, dwBlocks));
        EXPECT_LT(payload.size(), 2000u);
        uint32_t dwOldOffset = 0;
        uint32_t dwOldLength = FirstOldLength(payload, &dwOldOffset);
        EXPECT_FALSE(dwOldOffset == 0 && dwOldLength == 0);
    }
}

TEST(DeltaWriter, EmptyOldFileAndUnrelatedFiles)
{
    /* Everything deleted: the payload keeps the old bytes for the revert. */
    Bytes old = Text(10, 4), payload;
    uint32_t dwBlocks = 0;
    PackMakeDelta(old, Bytes(), &payload, &dwBlocks);
    EXPECT_EQ(1, PackCheckDelta(old, Bytes(), payload, dwBlocks));
    EXPECT_EQ(20u + old.size(), payload.size());

    Bytes now = Text(10, 2);
    PackMakeDelta(Bytes(), now, &payload, &dwBlocks);
    EXPECT_EQ(1u, dwBlocks);
    EXPECT_EQ(1, PackCheckDelta(Bytes(), now, payload, dwBlocks));
    /* Nothing in common: one block holding both sides. */
    Bytes other = Text(10, 3);
    PackMakeDelta(other, now, &payload, &dwBlocks);
    EXPECT_EQ(1, PackCheckDelta(other, now, payload, dwBlocks));
}

TEST(DeltaWriter, RandomPairsRoundTrip)
{
    std::mt19937 rng(5);
    for (int iCase = 0; iCase < 60; iCase++) {
        Bytes old(rng() % 20000);
        for (auto& b : old) b = (uint8_t)(rng() % 3 == 0 ? rng() : 'a' + rng() % 4);
        Bytes now = old;
        int cEdits = rng() % 10;
        for (int e = 0; e < cEdits && !now.empty(); e++) {
            size_t iAt = rng() % now.size();
            switch (rng() % 3) {
            case 0: now.insert(now.begin() + iAt, rng() % 200, (uint8_t)rng()); break;
            case 1: now.erase(now.begin() + iAt, now.begin() + std::min(now.size(), iAt + rng() % 200)); break;
            default: now[iAt] ^= 0xFF; break;
            }
        }
        Bytes payload;
        uint32_t dwBlocks = 0;
        PackMakeDelta(old, now, &payload, &dwBlocks);
        ASSERT_EQ(1, PackCheckDelta(old, now, payload, dwBlocks)) << iCase;
    }
}
