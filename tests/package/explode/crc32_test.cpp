// Tests of UpdateCrc32 against the standard check value and a bit-at-a-time
// reference, across the word-wise and byte-wise parts of the routine.

#include "package/explode/crc32.h"

#include <gtest/gtest.h>

#include <stdint.h>

#include <vector>

namespace
{

uint32_t ReferenceCrc32(const unsigned char* pb, size_t cb)
{
    uint32_t dwCrc = 0xFFFFFFFFu;
    for (size_t i = 0; i < cb; i++)
    {
        dwCrc ^= pb[i];
        for (int iBit = 0; iBit < 8; iBit++)
            dwCrc = (dwCrc >> 1) ^ (0xEDB88320u & (0u - (dwCrc & 1)));
    }
    return ~dwCrc;
}

std::vector<unsigned char> RandomBytes(size_t cb, uint32_t x)
{
    std::vector<unsigned char> ab(cb);
    for (auto& b : ab)
        b = (unsigned char)((x = x * 1664525u + 1013904223u) >> 24);
    return ab;
}

TEST(Crc32Test, KnownValues)
{
    const unsigned char ab[] = "123456789";
    EXPECT_EQ(0xCBF43926u, ~UpdateCrc32(ab, 9, 0xFFFFFFFFu));
    EXPECT_EQ(0xFFFFFFFFu, UpdateCrc32(nullptr, 0, 0xFFFFFFFFu));
    EXPECT_EQ(0x12345678u, UpdateCrc32(ab, 0, 0x12345678u));
    const std::vector<unsigned char> abZeros(64, 0);
    EXPECT_EQ(0x190A55ADu, ~UpdateCrc32(abZeros.data(), 32, 0xFFFFFFFFu));
    EXPECT_EQ(0x758D6336u, ~UpdateCrc32(abZeros.data(), 64, 0xFFFFFFFFu));
}

TEST(Crc32Test, BothPathsMatchReferenceAcrossLengthsAndOffsets)
{
    // Lengths around the folded path's 16-byte steps and 64-byte minimum.
    const std::vector<unsigned char> ab = RandomBytes(4096 + 64, 7);
    for (size_t iStart = 0; iStart < 8; iStart++)
        for (size_t cb : {1u, 15u, 16u, 17u, 31u, 63u, 64u, 65u, 79u, 80u, 127u, 128u, 129u, 255u, 4096u})
        {
            uint32_t dwWant = ReferenceCrc32(&ab[iStart], cb);
            EXPECT_EQ(dwWant, ~UpdateCrc32(&ab[iStart], (unsigned int)cb, 0xFFFFFFFFu)) << iStart << " " << cb;
            EXPECT_EQ(dwWant, ~UpdateCrc32Sliced(&ab[iStart], (unsigned int)cb, 0xFFFFFFFFu)) << iStart << " " << cb;
        }
}

TEST(Crc32Test, PiecesGiveTheOneShotValue)
{
    const std::vector<unsigned char> ab = RandomBytes(100000, 11);
    const uint32_t dwWhole = UpdateCrc32(ab.data(), (unsigned int)ab.size(), 0xFFFFFFFFu);
    EXPECT_EQ(ReferenceCrc32(ab.data(), ab.size()), ~dwWhole);
    for (size_t cbPiece : {1u, 3u, 17u, 4095u, 65537u})
    {
        uint32_t dwCrc = 0xFFFFFFFFu;
        for (size_t i = 0; i < ab.size(); i += cbPiece)
            dwCrc = UpdateCrc32(&ab[i], (unsigned int)std::min(cbPiece, ab.size() - i), dwCrc);
        EXPECT_EQ(dwWhole, dwCrc) << cbPiece;
    }
}

} // namespace
