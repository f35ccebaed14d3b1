// implode.h - the package builder's encoder for the DCL implode format.
//
// Turns a byte buffer into one implode stream that the installer's Explode
// (and any other DCL explode) decodes back to the same bytes:
//   byte 0      literal mode: 0 = plain 8-bit literals, 1 = ASCII literal code
//   byte 1      dictionary bits: 4, 5, 6 for 1,024, 2,048, 4,096 bytes
//   byte 2..    LSB-first bit stream of literals and copies, closed by the
//               end mark (length 519) and zero bits up to a byte boundary;
//               an empty input's stream is padded with zero bytes to 5 bytes
//               because Explode refuses a first read of 4 bytes or fewer.
// Pure computation: no platform calls, no global state; memory comes from
// malloc and is released with ImplodeFree.
#ifndef HERON_TOOLS_IMPLODE_H
#define HERON_TOOLS_IMPLODE_H

#include <stddef.h>

// Compresses cbIn bytes at pbIn (pbIn may be NULL when cbIn is 0).
// bAscii: 0 for plain literals, 1 for the ASCII literal code; cbDict: 1024,
// 2048 or 4096. On success returns 1 and stores a malloc'ed stream in
// *ppbOut and its size in *pcbOut (always at least 5). Returns 0, with
// *ppbOut = NULL and *pcbOut = 0, when an argument is invalid or memory runs
// out. Logs nothing; touches no global state.
int Implode(const unsigned char* pbIn, size_t cbIn, int bAscii, unsigned int cbDict,
            unsigned char** ppbOut, size_t* pcbOut);

// Releases a stream returned by Implode; NULL is accepted.
void ImplodeFree(unsigned char* pb);

#endif
