/*
 * text.h - bounded texts: copy, append and the formatter.
 *
 * Every fixed buffer of the installer is filled through these helpers: an
 * over-long text is cut at the buffer's end and always NUL-terminated, never
 * written past it.
 */
#ifndef HERON_SHELL_TEXT_H
#define HERON_SHELL_TEXT_H

#include <stdarg.h>
#include <stddef.h>

/* The formatter's limit: at most 1,023 characters and a NUL, as wsprintf. */
#define TEXT_FORMAT_MAX 1024

/* Copies szSrc (NULL counts as "") into szDst of cbDst bytes. Returns 1 when
 * the whole text fitted, 0 when it was cut (or cbDst is 0, nothing written). */
int TextCopy(char* szDst, size_t cbDst, const char* szSrc);
/* Copies at most cchMax characters of szSrc. Same result as TextCopy. */
int TextCopyN(char* szDst, size_t cbDst, const char* szSrc, size_t cchMax);
/* Appends szSrc to the text in szDst. Returns 1 when it fitted whole, 0 when
 * cut; a szDst without a NUL inside cbDst is cut to cbDst-1 first. */
int TextAppend(char* szDst, size_t cbDst, const char* szSrc);
/* 1 when the two texts are equal without regard to the case of ASCII letters. */
int TextEqualNoCase(const char* szA, const char* szB);

/*
 * Formats with the platform's wsprintf conventions into szDst, writing at most
 * min(cbDst, 1024) bytes including the NUL, and returns the number of
 * characters written (without the NUL).
 *
 *   %d %i %u %x %X %c %s %%, flags "-", "#", "0", a width and a precision
 *   (digits only), the size letters "l" and "h".
 *   "%#lx" prints "0x" before the lower-case digits, but 0 as "0";
 *   "%0x" is plain lower-case hexadecimal; a letter after a conversion is
 *   printed as it stands ("%#lxL" gives "0x1fL"); an unknown conversion
 *   letter is printed itself ("%q" gives "q", "%lld" gives "ld"); a "%" at the
 *   end prints nothing; a NULL "%s" prints "(null)"; "%c" of 0 prints nothing.
 *   There is no floating point and no "*" width. Integer conversions take
 *   32-bit arguments (int, DWORD, LONG), "l" included, as on Windows.
 */
int TextFormat(char* szDst, size_t cbDst, const char* szFormat, ...);
int TextFormatV(char* szDst, size_t cbDst, const char* szFormat, va_list args);

#endif
