// crc32.cpp - CRC-32 (reflected polynomial 0xEDB88320).
//
// Divisions
//   1. Tables      the standard 256-entry table and 15 more for slicing,
//                  computed by the compiler
//   2. Sliced      16 bytes per step through 16 tables: table k holds the CRC
//                  of a byte followed by k zero bytes; runs everywhere
//   3. Folded      x86-64 processors with carry-less multiplication: 64 bytes
//                  per step folded into four 128-bit lanes, then reduced to
//                  32 bits (Barrett reduction); the tail goes to 2.
//   4. UpdateCrc32 picks 3 where the processor has it, else 2
//
// Both paths give the same value for every input; the folded one is several
// times faster on long ranges (file checksums run over whole files).

#include "package/explode/crc32.h"

#include <stdint.h>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define HERON_CRC32_FOLDED 1
#include <emmintrin.h>
#include <wmmintrin.h>
#else
#define HERON_CRC32_FOLDED 0
#endif

namespace
{

// ---------------------------------------------------------------------------
// 1. Tables.
// ---------------------------------------------------------------------------

const uint32_t kdwCrcPolynomial = 0xEDB88320u;

struct CRC32_TABLES
{
    uint32_t adw[16][256];
};

// Crc32BuildTables: the 16 slicing tables, table 0 being the standard one.
constexpr CRC32_TABLES Crc32BuildTables()
{
    CRC32_TABLES tables = {};
    for (uint32_t i = 0; i < 256; i++)
    {
        uint32_t dwCrc = i;
        for (int iBit = 0; iBit < 8; iBit++)
            dwCrc = (dwCrc >> 1) ^ ((dwCrc & 1) ? kdwCrcPolynomial : 0);
        tables.adw[0][i] = dwCrc;
    }
    for (int k = 1; k < 16; k++)
        for (uint32_t i = 0; i < 256; i++)
        {
            uint32_t dwPrev = tables.adw[k - 1][i];
            tables.adw[k][i] = (dwPrev >> 8) ^ tables.adw[0][dwPrev & 0xFF];
        }
    return tables;
}

constexpr CRC32_TABLES kCrc32Tables = Crc32BuildTables();

// Known entries of the standard table.
static_assert(kCrc32Tables.adw[0][1] == 0x77073096u, "CRC-32 table");
static_assert(kCrc32Tables.adw[0][255] == 0x2D02EF8Du, "CRC-32 table");

// Crc32Load32: the 4 bytes at pb as a little-endian number.
inline uint32_t Crc32Load32(const unsigned char* pb)
{
    return (uint32_t)pb[0] | (uint32_t)pb[1] << 8 | (uint32_t)pb[2] << 16 | (uint32_t)pb[3] << 24;
}

// ---------------------------------------------------------------------------
// 3. Folded (x86-64 with PCLMULQDQ).
// ---------------------------------------------------------------------------

#if HERON_CRC32_FOLDED

// The folding constants are powers of x modulo the polynomial, in the
// reflected bit order: x^(n) mod P bit-reversed into 33 bits. They are
// computed here and checked against their published values.

// Crc32XPowMod: x^n mod P(x) in the normal bit order (P = 0x104C11DB7).
constexpr uint64_t Crc32XPowMod(unsigned int n)
{
    uint64_t qw = 1;
    for (unsigned int i = 0; i < n; i++)
    {
        qw <<= 1;
        if (qw & (UINT64_C(1) << 32))
            qw ^= UINT64_C(0x104C11DB7);
    }
    return qw;
}

// Crc32Reflect33: the low 33 bits of qw in reverse order.
constexpr uint64_t Crc32Reflect33(uint64_t qw)
{
    uint64_t qwOut = 0;
    for (int i = 0; i < 33; i++)
        if (qw & (UINT64_C(1) << i))
            qwOut |= UINT64_C(1) << (32 - i);
    return qwOut;
}

// Crc32FoldConstant: x^n mod P, reflected into 33 bits. Folding a lane d
// bits on takes the pair for n = d + 32 (low half) and n = d - 32 (high).
constexpr uint64_t Crc32FoldConstant(unsigned int n) { return Crc32Reflect33(Crc32XPowMod(n)); }

// Crc32BarrettQuotient: floor(x^64 / P), reflected (33 bits).
constexpr uint64_t Crc32BarrettQuotient()
{
    // Long division of x^64 by P in the normal bit order.
    uint64_t qwQuot = 0;
    uint64_t qwRem = 0; // holds 33 bits
    for (int i = 64; i >= 0; i--)
    {
        qwRem = (qwRem << 1) | (i == 64 ? 1 : 0);
        qwQuot <<= 1;
        if (qwRem & (UINT64_C(1) << 32))
        {
            qwRem ^= UINT64_C(0x104C11DB7);
            qwQuot |= 1;
        }
    }
    return Crc32Reflect33(qwQuot);
}

const uint64_t kqwFold4Lo = Crc32FoldConstant(4 * 128 + 32); // fold a lane 512 bits on
const uint64_t kqwFold4Hi = Crc32FoldConstant(4 * 128 - 32);
const uint64_t kqwFold1Lo = Crc32FoldConstant(128 + 32);     // fold 128 bits on
const uint64_t kqwFold1Hi = Crc32FoldConstant(128 - 32);
const uint64_t kqwFold64 = Crc32FoldConstant(64);            // 64 -> 32 bits
const uint64_t kqwPolyReflected = 0x1DB710641u;
const uint64_t kqwBarrett = Crc32BarrettQuotient();

static_assert(kqwFold4Lo == 0x154442BD4u && kqwFold4Hi == 0x1C6E41596u, "folding constants");
static_assert(kqwFold1Lo == 0x1751997D0u && kqwFold1Hi == 0x0CCAA009Eu, "folding constants");
static_assert(kqwFold64 == 0x163CD6124u && kqwBarrett == 0x1F7011641u, "folding constants");

// Crc32Fold: x moved 128 (or 512) bits on, by the constant pair k.
__attribute__((target("pclmul,sse2"))) inline __m128i Crc32Fold(__m128i x, __m128i k)
{
    return _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11));
}

// Crc32Folded: the running value dwCrc carried over cb bytes at pb, where
// cb is a multiple of 16 and at least 64.
__attribute__((target("pclmul,sse2"))) uint32_t Crc32Folded(const unsigned char* pb, unsigned int cb, uint32_t dwCrc)
{
    const __m128i kFold4 = _mm_set_epi64x((long long)kqwFold4Hi, (long long)kqwFold4Lo);
    const __m128i kFold1 = _mm_set_epi64x((long long)kqwFold1Hi, (long long)kqwFold1Lo);
    __m128i x0 = _mm_xor_si128(_mm_loadu_si128((const __m128i*)pb), _mm_cvtsi32_si128((int)dwCrc));
    __m128i x1 = _mm_loadu_si128((const __m128i*)(pb + 16));
    __m128i x2 = _mm_loadu_si128((const __m128i*)(pb + 32));
    __m128i x3 = _mm_loadu_si128((const __m128i*)(pb + 48));
    pb += 64;
    cb -= 64;
    while (cb >= 64)
    {
        x0 = _mm_xor_si128(Crc32Fold(x0, kFold4), _mm_loadu_si128((const __m128i*)pb));
        x1 = _mm_xor_si128(Crc32Fold(x1, kFold4), _mm_loadu_si128((const __m128i*)(pb + 16)));
        x2 = _mm_xor_si128(Crc32Fold(x2, kFold4), _mm_loadu_si128((const __m128i*)(pb + 32)));
        x3 = _mm_xor_si128(Crc32Fold(x3, kFold4), _mm_loadu_si128((const __m128i*)(pb + 48)));
        pb += 64;
        cb -= 64;
    }
    __m128i x = _mm_xor_si128(Crc32Fold(x0, kFold1), x1);
    x = _mm_xor_si128(Crc32Fold(x, kFold1), x2);
    x = _mm_xor_si128(Crc32Fold(x, kFold1), x3);
    for (; cb >= 16; pb += 16, cb -= 16)
        x = _mm_xor_si128(Crc32Fold(x, kFold1), _mm_loadu_si128((const __m128i*)pb));

    // 128 -> 64 bits, 64 -> 32 bits, then Barrett reduction.
    const __m128i kMask32 = _mm_set_epi32(0, 0, 0, -1);
    x = _mm_xor_si128(_mm_clmulepi64_si128(x, kFold1, 0x10), _mm_srli_si128(x, 8));
    __m128i kFold64 = _mm_set_epi64x(0, (long long)kqwFold64);
    x = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x, kMask32), kFold64, 0x00), _mm_srli_si128(x, 4));
    const __m128i kBarrett = _mm_set_epi64x((long long)kqwBarrett, (long long)kqwPolyReflected);
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x, kMask32), kBarrett, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, kMask32), kBarrett, 0x00);
    return (uint32_t)_mm_cvtsi128_si32(_mm_srli_si128(_mm_xor_si128(x, t), 4));
}

#endif // HERON_CRC32_FOLDED

} // namespace

// ---------------------------------------------------------------------------
// 2. Sliced.
// ---------------------------------------------------------------------------

unsigned int UpdateCrc32Sliced(const unsigned char* pb, unsigned int cb, unsigned int dwCrc)
{
    const uint32_t(*T)[256] = kCrc32Tables.adw;
    uint32_t dw = dwCrc;
    while (cb >= 16)
    {
        uint32_t dw0 = Crc32Load32(pb) ^ dw;
        uint32_t dw1 = Crc32Load32(pb + 4);
        uint32_t dw2 = Crc32Load32(pb + 8);
        uint32_t dw3 = Crc32Load32(pb + 12);
        dw = T[15][dw0 & 0xFF] ^ T[14][(dw0 >> 8) & 0xFF] ^ T[13][(dw0 >> 16) & 0xFF] ^ T[12][dw0 >> 24] ^
             T[11][dw1 & 0xFF] ^ T[10][(dw1 >> 8) & 0xFF] ^ T[9][(dw1 >> 16) & 0xFF] ^ T[8][dw1 >> 24] ^
             T[7][dw2 & 0xFF] ^ T[6][(dw2 >> 8) & 0xFF] ^ T[5][(dw2 >> 16) & 0xFF] ^ T[4][dw2 >> 24] ^
             T[3][dw3 & 0xFF] ^ T[2][(dw3 >> 8) & 0xFF] ^ T[1][(dw3 >> 16) & 0xFF] ^ T[0][dw3 >> 24];
        pb += 16;
        cb -= 16;
    }
    while (cb-- > 0)
        dw = T[0][(dw ^ *pb++) & 0xFF] ^ (dw >> 8);
    return dw;
}

// ---------------------------------------------------------------------------
// 4. UpdateCrc32.
// ---------------------------------------------------------------------------

unsigned int UpdateCrc32(const unsigned char* pb, unsigned int cb, unsigned int dwCrc)
{
#if HERON_CRC32_FOLDED
    if (cb >= 64 && __builtin_cpu_supports("pclmul"))
    {
        unsigned int cbFolded = cb & ~15u;
        dwCrc = Crc32Folded(pb, cbFolded, dwCrc);
        pb += cbFolded;
        cb -= cbFolded;
    }
#endif
    return UpdateCrc32Sliced(pb, cb, dwCrc);
}
