/*
 * container.h - the package container appended to the installer's executable
 * on builds without executable resources. Shared by the installer's resource
 * access and the package builder.
 *
 *   [installer executable, unchanged]
 *   [payload bytes ...]      back to back, any order, no alignment
 *   [index]                  entry after entry
 *   [trailer]                the last 32 bytes of the file
 *
 * Trailer (little-endian):
 *   0  8  magic "HERONPKG"
 *   8  4  format version, 1
 *  12  4  stored byte sum: the 32-bit wrapping sum of every byte of the file
 *         except these four
 *  16  8  offset of the index
 *  24  4  number of index entries
 *  28  4  reserved, 0
 *
 * Index entry:
 *   4     length L of the type name, 1 to 64
 *   L     type name, ASCII, no NUL ("VERSION", "FILEENTRY", "UPDATE",
 *         "LICENSEENTRY", "UPDATE64ENTRY", "UPDATECABENTRY", "STRING")
 *   4     id
 *   4     language, 1033
 *   8     offset of the payload bytes
 *   8     size of the payload bytes
 *
 * A file whose trailer is not right, or whose index does not lie between the
 * end of the executable part and the trailer, carries no package. An entry
 * whose bytes leave the payload area is ignored; of two entries with the
 * same type and id the first wins. STRING entries hold the string table, one
 * text per id without a NUL; an empty entry counts as no text.
 */
#ifndef HERON_PLATFORM_CONTAINER_H
#define HERON_PLATFORM_CONTAINER_H

#define CONTAINER_MAGIC "HERONPKG"
#define CONTAINER_VERSION 1
#define CONTAINER_TRAILER_SIZE 32
#define CONTAINER_SUM_OFFSET 12 /* within the trailer */
#define CONTAINER_MAX_TYPE 64
#define CONTAINER_LANGUAGE 1033

#endif
