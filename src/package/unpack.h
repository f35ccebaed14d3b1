/*
 * unpack.h - payload unpacking and the extraction mode.
 */
#ifndef HERON_PACKAGE_UNPACK_H
#define HERON_PACKAGE_UNPACK_H

#include "platform/platform.h"

/* Unpacks a compressed resource (4-byte stated size + DCL implode stream)
 * into a new movable zero-filled block of exactly the stated size, handed
 * back unlocked in *phBlock with the size in *pdwSize. 1 on success; 0 when
 * the bytes are absent (nothing touched), or the decoder failed or the
 * stream ended before the stated size (the block then holds what was
 * decoded, zeros after it; "Failed to decompress buffer." logged). Logs "Outsize: %d; Insize: %d ". The caller releases
 * the block with PlatGlobalFree. */
int UnpackPayload(const BYTE* pbResource, DWORD cbResource, HGLOBAL* phBlock, DWORD* pdwSize);
/* The EXTRACT mode: writes every payload file into szDest (a writable
 * buffer of at least 261 bytes; a backslash may be appended) and returns the
 * run's exit code: EXIT_DONE, EXIT_DAMAGED (a missing or damaged release
 * table, a payload that fails to unpack, a whole file whose CRC-32 differs
 * from its record's; such a file is not written) or EXIT_EXTRACT_WRITE (a
 * file that could not be created or written whole, or a target path that
 * does not fit; logged with the full path). A failing file does not stop
 * the others. */
int ExtractFiles(char* szDest);
/* Unpacks a resource of a kind and writes it to szFile (binary, created or
 * emptied). 1 on success, 0 when the resource is missing, -1 when the file
 * cannot be created, -2 when the payload fails to unpack (nothing written),
 * -3 when the write or the close failed (the short file is deleted). */
int WritePayloadFile(int iKind, const char* szFile);

#endif
