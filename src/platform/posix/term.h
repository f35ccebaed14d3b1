/*
 * term.h - the raw terminal of the terminal front end (term.cpp), shared
 * with tui.cpp only.
 */
#ifndef HERON_PLATFORM_POSIX_TERM_H
#define HERON_PLATFORM_POSIX_TERM_H

#include <signal.h>
#include <stddef.h>

#include <string>
#include <vector>

/* ---- The terminal ------------------------------------------------------ */

extern int giTermRows, giTermCols;   /* the size, 24 x 80 until measured */
extern int gbTermEof;                /* standard input has ended */
extern volatile sig_atomic_t gbTermResized; /* the size changed: TermSize again */

void TermWrite(const char* pb, size_t cb);
/* Raw keys, no echo, the alternate screen, no cursor (once per showing);
 * the terminal is restored at exit and on fatal signals. */
void TermEnter(void);
/* Leaves the alternate screen and restores the terminal's modes. */
void TermLeave(void);
/* Measures the terminal; the next frame is written whole. */
void TermSize(void);
/* The next frame is written whole. */
void TermForgetFrame(void);

/* ---- Keys -------------------------------------------------------------- */

#define KEY_NONE (-1)
#define KEY_EOF (-2)
#define KEY_ENTER 0x100
#define KEY_TAB 0x101
#define KEY_BTAB 0x102
#define KEY_ESC 0x103
#define KEY_UP 0x104
#define KEY_DOWN 0x105
#define KEY_LEFT 0x106
#define KEY_RIGHT 0x107
#define KEY_PGUP 0x108
#define KEY_PGDN 0x109
#define KEY_HOME 0x10A
#define KEY_END 0x10B
#define KEY_BS 0x10C
#define KEY_KILL 0x10D
#define KEY_F4 0x10E
#define KEY_ALT 0x1000 /* | letter */

/* One key within iTimeoutMs (-1: no limit): a character, KEY_..., KEY_NONE
 * on timeout, KEY_EOF when standard input ended. */
int TermKey(int iTimeoutMs);
/* The key of one whole input: a byte, or an escape sequence (Esc alone, Esc
 * and a character for Alt, or "Esc [" / "Esc O", parameters and a final
 * byte). KEY_NONE for a sequence no key here has. */
int TermDecodeKey(const char* pb, size_t cb);

/* ---- The cell grid ----------------------------------------------------- */

#define AT_REV 1
#define AT_BOLD 2
#define AT_DIM 4
#define AT_UL 8

/* An empty grid of the terminal's size. */
void GridClear(void);
/* The characters of a UTF-8 text (a byte that starts no sequence counts as
 * one), and the byte offset of its character cCells (the end when shorter). */
int TextCells(const std::string& s);
size_t CellsOffset(const std::string& s, int cCells);
/* Writes at most cchMax characters into the grid, clipped to the screen;
 * each character, one byte or a UTF-8 sequence, takes one cell. */
void GridPut(int iRow, int iCol, const std::string& s, int iAttr, int cchMax);
/* Blanks a rectangle of cells with the attribute. */
void GridFill(int iRow, int iCol, int cRows, int cCols, int iAttr);
/* A blank box with a border and its title in the top line. */
void GridFrame(int iRow, int iCol, int cRows, int cCols, const std::string& sTitle);
/* Writes the grid to the terminal when it differs from the last frame. */
void GridFlush(void);

#endif
