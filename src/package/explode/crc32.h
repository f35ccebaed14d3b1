// crc32.h - the CRC-32 of every file checksum (ISO-HDLC / zlib: reflected
// polynomial 0xEDB88320, running value started at 0xFFFFFFFF, complemented
// at the end). A pure computation over a byte range.

#ifndef HERON_PACKAGE_EXPLODE_CRC32_H
#define HERON_PACKAGE_EXPLODE_CRC32_H

// UpdateCrc32: the running value dwCrc carried on over the cb bytes at pb
// (pb may be null when cb is 0). The caller starts with 0xFFFFFFFF and
// complements the final value; no complement is applied here, so a range
// may be fed in pieces of any size with the same result.
// Returns the new running value; reads and changes no state of the program
// (it asks the processor whether it has carry-less multiplication).
unsigned int UpdateCrc32(const unsigned char* pb, unsigned int cb, unsigned int dwCrc);

// UpdateCrc32Sliced: the same value by table look-ups alone, the path
// UpdateCrc32 takes on processors without carry-less multiplication and for
// the last 15 bytes or fewer of a range. Declared so that tests can check
// both paths on any machine.
unsigned int UpdateCrc32Sliced(const unsigned char* pb, unsigned int cb, unsigned int dwCrc);

#endif
