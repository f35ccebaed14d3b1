// explode.h - decoder for the PKWARE DCL implode format ("explode").
//
// Every compressed resource of a package is one stream in this format. The
// decoder is a pure computation: it pulls input through a read callback,
// pushes output through a write callback and keeps all of its state in a
// work area the caller supplies. It touches no file, clock or global, and
// allocates nothing.
//
// Stream layout
//
//   byte 0      literal mode: 0 = literals are plain 8-bit values (binary),
//               1 = literals use the format's fixed literal code (ASCII)
//   byte 1      dictionary bits: 4, 5 or 6 (largest distance 1,024, 2,048
//               or 4,096 bytes)
//   byte 2...   bit stream, least significant bit of each byte first
//
//   item        flag 0: literal  - 8 plain bits, or an ASCII literal code
//               flag 1: copy     - length code [+ 1..8 extra bits],
//                                  distance code (high part 0..63),
//                                  low part: 2 bits for length 2, else
//                                  dictionary-bits bits
//   distance    ((high << low bits) | low) + 1, counted back from the next
//               output byte; may overlap the copy's own output
//   end mark    length 519 (length code 15 with all eight extra bits set)
//
// Work area layout (EXPLODE_WORK_SIZE = 16,384 bytes from the caller,
// aligned for any type as a heap allocation is; it need not be zero-filled,
// the decoder clears the initial history itself):
//
//   callbacks, context, mode, dictionary bits, input fill and position
//   input buffer      2,048 bytes
//   output window     8,726 bytes: 4,096 bytes of history, 4,096 bytes of
//                     output block, room for the longest copy (518 bytes)
//                     starting at the block's last position (8,191), and
//                     16 spare bytes that the word-wise copy loop may
//                     scribble on beyond the copy's end
//   lookup tables     length code (256), distance code (256), ASCII
//                     literal code (256 + 256 + 128 + 256), built per call
//
// The window's room for the longest copy matters: a copy of 518 bytes that
// starts at position 8,191 ends at 8,708, so a window of 8,192 + 518 bytes
// or more is needed to keep it inside.
//
// Callbacks
//
//   EXPLODE_READ   asked for EXPLODE_IN_SIZE (2,048) bytes at a time, with
//                  *pcbSize holding that number; fills pbBuf and returns
//                  the number of bytes delivered (it may also lower
//                  *pcbSize to that count). 0 means the input has ended;
//                  the decoder does not ask again after that. A count above
//                  the requested size is treated as the requested size.
//   EXPLODE_WRITE  receives pbBuf with *pcbSize bytes: exactly 4,096 bytes
//                  each time the window's output block is full, and once at
//                  the end the rest (0 to 4,095 bytes). The final call is
//                  made on code EXPLODE_OK and on code EXPLODE_DATA_ERROR
//                  (with what was decoded up to the failure); codes 1 to 3
//                  come before any output and make no write call.

#ifndef HERON_PACKAGE_EXPLODE_EXPLODE_H
#define HERON_PACKAGE_EXPLODE_EXPLODE_H

typedef unsigned int (*EXPLODE_READ)(char* pbBuf, unsigned int* pcbSize, void* pContext);
typedef void (*EXPLODE_WRITE)(char* pbBuf, unsigned int* pcbSize, void* pContext);

// Return codes of Explode.
enum
{
    EXPLODE_OK = 0,          // end mark read (or input ended inside its extra bits)
    EXPLODE_BAD_DICT = 1,    // dictionary bits not 4, 5 or 6
    EXPLODE_BAD_MODE = 2,    // literal mode neither 0 nor 1
    EXPLODE_SHORT_INPUT = 3, // first read delivered 4 bytes or fewer
    EXPLODE_DATA_ERROR = 4   // input ended before the end mark
};

// Sizes of the decoder's buffers.
enum
{
    EXPLODE_IN_SIZE = 2048,        // bytes asked of the read callback
    EXPLODE_BLOCK_SIZE = 4096,     // bytes per full write callback
    EXPLODE_MAX_COPY = 518,        // longest copy
    EXPLODE_WINDOW_SIZE = 2 * 4096 + 518 + 16,
    EXPLODE_WORK_SIZE = 16384      // bytes of the caller's work area
};

// Explode: decodes one stream from pfnRead to pfnWrite.
// pWorkArea: EXPLODE_WORK_SIZE bytes, aligned for any type, used for nothing
// else during the call (it need not be zero-filled: every field is set
// before use and the initial history is cleared here). pContext is passed to
// both callbacks unchanged.
// Returns EXPLODE_OK, or one of the failure codes above; writes no log and
// reads or changes no global state.
unsigned int Explode(EXPLODE_READ pfnRead, EXPLODE_WRITE pfnWrite, char* pWorkArea, void* pContext);

#endif
