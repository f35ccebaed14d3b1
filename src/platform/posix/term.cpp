/*
 * term.cpp - the raw terminal of the terminal front end: raw mode, the
 * alternate screen and its restoration on every exit, the size, keys from
 * bytes and escape sequences, and a grid of cells written to the terminal
 * when it changed. The drawing of the model is in tui.cpp.
 */
#include "platform/posix/term.h"

#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

/* ---- 1. Terminal ------------------------------------------------------- */

static int s_bRaw;
int gbTermEof;
static struct termios s_tiSaved;
static int s_bHandlersSet;
volatile sig_atomic_t gbTermResized;
int giTermRows = 24, giTermCols = 80;
static std::string s_sLastFrame;

/* Writes all bytes to the terminal (standard output). */
void TermWrite(const char* pb, size_t cb)
{
    while (cb > 0) {
        ssize_t n = write(1, pb, cb);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        pb += n;
        cb -= (size_t)n;
    }
}

/* Leaves the alternate screen and restores the terminal's modes. */
void TermLeave(void)
{
    static const char szLeave[] = "\x1b[0m\x1b[?25h\x1b[?1049l";
    if (!s_bRaw) return;
    TermWrite(szLeave, sizeof(szLeave) - 1);
    tcsetattr(0, TCSANOW, &s_tiSaved);
    s_bRaw = 0;
}

/* A fatal signal: the terminal is restored before the default action. */
static void TermOnSignal(int iSignal)
{
    TermLeave();
    signal(iSignal, SIG_DFL);
    raise(iSignal);
}

/* SIGWINCH: the next drawing measures the terminal again. */
static void TermOnResize(int iSignal)
{
    (void)iSignal;
    gbTermResized = 1;
}

/* Reads the terminal's size; the next frame is written whole. */
void TermSize(void)
{
    struct winsize ws;
    if (ioctl(1, TIOCGWINSZ, &ws) == 0 && ws.ws_row > 0 && ws.ws_col > 0) {
        giTermRows = ws.ws_row;
        giTermCols = ws.ws_col;
    }
    gbTermResized = 0;
    s_sLastFrame.clear();
}

/* Raw keys, no echo, the alternate screen, no cursor (once per showing). */
void TermEnter(void)
{
    static const char szEnter[] = "\x1b[?1049h\x1b[?25l\x1b[2J";
    struct termios ti;
    if (s_bRaw) return;
    if (!s_bHandlersSet) {
        s_bHandlersSet = 1;
        atexit(TermLeave);
        signal(SIGINT, TermOnSignal);
        signal(SIGTERM, TermOnSignal);
        signal(SIGHUP, TermOnSignal);
        signal(SIGWINCH, TermOnResize);
    }
    if (tcgetattr(0, &s_tiSaved) == 0) {
        ti = s_tiSaved;
        ti.c_lflag &= ~(tcflag_t)(ICANON | ECHO);
        ti.c_iflag &= ~(tcflag_t)(IXON | ICRNL);
        ti.c_cc[VMIN] = 0;
        ti.c_cc[VTIME] = 0;
        tcsetattr(0, TCSANOW, &ti);
    }
    s_bRaw = 1;
    TermWrite(szEnter, sizeof(szEnter) - 1);
    TermSize();
}

/* ---- 2. Keys ----------------------------------------------------------- */


/* One byte within iTimeoutMs (-1: no limit); KEY_NONE on timeout. */
static int TermByte(int iTimeoutMs)
{
    struct pollfd pfd;
    unsigned char b;
    int r;
    pfd.fd = 0;
    pfd.events = POLLIN;
    pfd.revents = 0;
    r = poll(&pfd, 1, iTimeoutMs);
    if (r <= 0) return KEY_NONE;
    r = (int)read(0, &b, 1);
    if (r == 0) {
        gbTermEof = 1;
        return KEY_EOF;
    }
    return r < 0 ? KEY_NONE : b;
}

int TermDecodeKey(const char* pb, size_t cb)
{
    unsigned char c;
    if (cb == 0) return KEY_NONE;
    c = (unsigned char)pb[0];
    if (c == 0x1b) {
        unsigned char c2, cFinal;
        char szParam[16];
        size_t cch = 0, i;
        if (cb == 1) return KEY_ESC;
        c2 = (unsigned char)pb[1];
        if (c2 != '[' && c2 != 'O') return (cb == 2 && c2 >= 0x20 && c2 < 0x7F) ? KEY_ALT | c2 : KEY_ESC;
        if (cb < 3) return KEY_ESC;
        cFinal = (unsigned char)pb[cb - 1];
        /* The first parameter only: "1;5" (a modifier) counts as "1". */
        for (i = 2; i + 1 < cb && pb[i] != ';' && cch + 1 < sizeof(szParam); i++) szParam[cch++] = pb[i];
        szParam[cch] = 0;
        switch (cFinal) {
            case 'A': return KEY_UP;
            case 'B': return KEY_DOWN;
            case 'C': return KEY_RIGHT;
            case 'D': return KEY_LEFT;
            case 'H': return KEY_HOME;
            case 'F': return KEY_END;
            case 'Z': return KEY_BTAB;
            case 'S': return KEY_F4;
            case '~':
            case '^': /* rxvt: the key with Ctrl */
                if (strcmp(szParam, "5") == 0) return KEY_PGUP;
                if (strcmp(szParam, "6") == 0) return KEY_PGDN;
                if (strcmp(szParam, "1") == 0 || strcmp(szParam, "7") == 0) return KEY_HOME;
                if (strcmp(szParam, "4") == 0 || strcmp(szParam, "8") == 0) return KEY_END;
                if (strcmp(szParam, "14") == 0) return KEY_F4;
                return KEY_NONE;
            default: return KEY_NONE;
        }
    }
    if (c == '\r' || c == '\n') return KEY_ENTER;
    if (c == '\t') return KEY_TAB;
    if (c == 127 || c == 8) return KEY_BS;
    if (c == 21) return KEY_KILL;
    return c;
}

/* One key within iTimeoutMs: a character, KEY_..., KEY_NONE on timeout,
 * KEY_EOF when standard input ended. The bytes of an escape sequence follow
 * within 30 ms of each other; a lone Esc is the Esc key. */
int TermKey(int iTimeoutMs)
{
    char ab[20];
    size_t cb = 0;
    int c = TermByte(iTimeoutMs);
    if (c == KEY_NONE || c == KEY_EOF) return c;
    ab[cb++] = (char)c;
    if (c == 0x1b) {
        int c2 = TermByte(30);
        if (c2 == KEY_NONE || c2 == KEY_EOF) return KEY_ESC;
        ab[cb++] = (char)c2;
        if (c2 == '[' || c2 == 'O') {
            for (;;) {
                int cNext = TermByte(30);
                if (cNext < 0) return KEY_ESC;
                /* A long parameter keeps its first bytes and its final byte. */
                if (cb + 1 < sizeof(ab) || (cNext >= 0x40 && cNext <= 0x7E)) {
                    if (cb + 1 >= sizeof(ab)) cb = sizeof(ab) - 1;
                    ab[cb++] = (char)cNext;
                }
                if (cNext >= 0x40 && cNext <= 0x7E) break;
            }
        }
    }
    return TermDecodeKey(ab, cb);
}

/* ---- 3. Screen --------------------------------------------------------- */


struct TUICELL {
    char ach[5]; /* one character: a byte, or the bytes of a UTF-8 sequence */
    unsigned char at;
};

static std::vector<TUICELL> s_aGrid;

/* The length of the UTF-8 sequence that starts with byte b at p (at most
 * cbLeft); 1 for a byte that starts none or a sequence cut short. */
static size_t CharBytes(const char* p, size_t cbLeft)
{
    unsigned char b = (unsigned char)*p;
    size_t cb = b >= 0xF0 && b < 0xF8 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b < 0xE0 ? 2 : 1, i;
    if (b >= 0xF8) cb = 1;
    if (cb > cbLeft) return 1;
    for (i = 1; i < cb; i++)
        if (((unsigned char)p[i] & 0xC0) != 0x80) return 1;
    return cb;
}

int TextCells(const std::string& s)
{
    size_t i = 0;
    int c = 0;
    while (i < s.size()) {
        i += CharBytes(s.data() + i, s.size() - i);
        c++;
    }
    return c;
}

size_t CellsOffset(const std::string& s, int cCells)
{
    size_t i = 0;
    while (i < s.size() && cCells-- > 0) i += CharBytes(s.data() + i, s.size() - i);
    return i;
}

/* An empty grid of the terminal's size. */
void GridClear(void)
{
    TUICELL cell = {{' ', 0}, 0};
    s_aGrid.assign((size_t)giTermRows * (size_t)giTermCols, cell);
}

/* Writes at most cchMax characters into the grid, clipped to the screen.
 * A character is one cell, however many bytes it takes in UTF-8; control
 * characters become blanks. */
void GridPut(int iRow, int iCol, const std::string& s, int iAttr, int cchMax)
{
    size_t iByte = 0;
    int i;
    if (iRow < 0 || iRow >= giTermRows) return;
    for (i = 0; iByte < s.size() && i < cchMax; i++) {
        size_t cb = CharBytes(s.data() + iByte, s.size() - iByte);
        int iC = iCol + i;
        if (iC >= 0 && iC < giTermCols) {
            TUICELL& cell = s_aGrid[(size_t)iRow * (size_t)giTermCols + (size_t)iC];
            if (cb == 1) {
                unsigned char b = (unsigned char)s[iByte];
                cell.ach[0] = b < 0x20 ? ' ' : b >= 0x80 ? '?' : (char)b;
                cell.ach[1] = 0;
            } else {
                memcpy(cell.ach, s.data() + iByte, cb);
                cell.ach[cb] = 0;
            }
            cell.at = (unsigned char)iAttr;
        }
        iByte += cb;
    }
}

/* Blanks a rectangle of cells with the attribute. */
void GridFill(int iRow, int iCol, int cRows, int cCols, int iAttr)
{
    int r;
    for (r = 0; r < cRows; r++) GridPut(iRow + r, iCol, std::string((size_t)(cCols > 0 ? cCols : 0), ' '), iAttr, cCols);
}

/* A blank box with a border and its title in the top line. */
void GridFrame(int iRow, int iCol, int cRows, int cCols, const std::string& sTitle)
{
    int r;
    GridFill(iRow, iCol, cRows, cCols, 0);
    GridPut(iRow, iCol, "+" + std::string((size_t)(cCols - 2), '-') + "+", 0, cCols);
    GridPut(iRow + cRows - 1, iCol, "+" + std::string((size_t)(cCols - 2), '-') + "+", 0, cCols);
    for (r = 1; r < cRows - 1; r++) {
        GridPut(iRow + r, iCol, "|", 0, 1);
        GridPut(iRow + r, iCol + cCols - 1, "|", 0, 1);
    }
    if (!sTitle.empty()) GridPut(iRow, iCol + 2, " " + sTitle + " ", AT_BOLD, cCols - 4);
}

/* Writes the grid to the terminal when it differs from the last frame. */
void GridFlush(void)
{
    std::string s = "\x1b[H";
    int r, c, iAttr = 0;
    for (r = 0; r < giTermRows; r++) {
        char szPos[24];
        snprintf(szPos, sizeof(szPos), "\x1b[%d;1H", r + 1);
        s += szPos;
        for (c = 0; c < giTermCols; c++) {
            const TUICELL& cell = s_aGrid[(size_t)r * (size_t)giTermCols + (size_t)c];
            if (cell.at != iAttr) {
                s += "\x1b[0";
                if (cell.at & AT_REV) s += ";7";
                if (cell.at & AT_BOLD) s += ";1";
                if (cell.at & AT_DIM) s += ";2";
                if (cell.at & AT_UL) s += ";4";
                s += "m";
                iAttr = cell.at;
            }
            s += cell.ach;
        }
    }
    s += "\x1b[0m";
    if (s == s_sLastFrame) return;
    s_sLastFrame = s;
    TermWrite(s.data(), s.size());
}

void TermForgetFrame(void) { s_sLastFrame.clear(); }
