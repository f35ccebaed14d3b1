/*
 * unpack.h - payload unpacking and the extraction mode.
 */
#ifndef HERON_PACKAGE_UNPACK_H
#define HERON_PACKAGE_UNPACK_H

#include "platform/platform.h"

/* Unpacks a compressed resource (4-byte stated size + DCL implode stream)
 * into a new movable zero-filled block of exactly the stated size, handed
 * back unlocked in *phBlock with the size in *pdwSize. 1 on success; 0 when
 * the bytes are absent (nothing touched) or the decoder failed (the block
 * then holds what was decoded, zeros after it; "Failed to decompress
 * buffer." logged). Logs "Outsize: %d; Insize: %d ". The caller releases
 * the block with PlatGlobalFree. */
int UnpackPayload(const BYTE* pbResource, DWORD cbResource, HGLOBAL* phBlock, DWORD* pdwSize);
/* The EXTRACT mode: writes every payload file into szDest (a writable
 * buffer of at least 261 bytes; a backslash may be appended). */
void ExtractFiles(char* szDest);
/* Unpacks a resource of a kind and writes it to szFile (binary, created or
 * emptied). 1 on success, 0 when the resource is missing (-1 when the file
 * cannot be created). */
int WritePayloadFile(int iKind, const char* szFile);

#endif
