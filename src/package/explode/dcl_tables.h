// dcl_tables.h - the published code tables of the DCL implode format,
// shared by the decoder (Explode) and the package builder's encoder.
//
// Each code is (bit length, pattern); the pattern is written as the code lies
// in the stream (first stream bit = bit 0), so it is matched against the low
// bits of the bit buffer, and an encoder writes it like a plain number. All
// three codes are complete prefix codes.
//
//   length codes    by code number 0..15, with their extra-bit counts and
//                   base lengths (code c covers base[c] .. base[c] + 2^extra - 1)
//   distance codes  by high part 0..63
//   literal codes   by byte value (ASCII literal mode)

#ifndef HERON_PACKAGE_EXPLODE_DCL_TABLES_H
#define HERON_PACKAGE_EXPLODE_DCL_TABLES_H

extern const unsigned char kabLenCodeBits[16];
extern const unsigned char kabLenCodePattern[16];
extern const unsigned char kabLenExtraBits[16];
extern const unsigned short kawLenBase[16];
extern const unsigned char kabDistCodeBits[64];
extern const unsigned char kabDistCodePattern[64];
extern const unsigned char kabLitCodeBits[256];
extern const unsigned short kawLitCodePattern[256];

#endif
