/*
 * tui.cpp - the terminal front end (HERON_UI=tui).
 *
 * Divisions:
 *   1-3. The raw terminal, keys and the cell grid: posix/term.cpp
 *   4. Drawing the model: dialogs, their controls, gauges, open lists
 *   5. Keys to input: focus, buttons, radio buttons, fields, lists
 *   6. Message boxes
 *   7. The front end: idle and dialog changes
 *
 * A dialog is drawn at 3.2 dialog units per column and 11 per row (the
 * wizard takes 77 by 23 cells), centred; the last row carries the key help.
 * The terminal is in raw mode only while a dialog or a message box is
 * shown, so that a process that ends at once (ExitProcess) leaves it sane.
 *
 * Keys: Tab / Shift-Tab move the focus; Enter presses the focused button or
 * the default one; Space presses or checks; Esc is Cancel/Close (or closes
 * an open list); arrows move within radio groups and lists, Down or F4
 * opens a combo's list; PgUp/PgDn scroll the agreement, End and Ctrl+End jump
 * to its end; letters type into
 * fields, elsewhere Alt+letter or the letter press the button it marks.
 */
#include "platform/dialog.h"
#include "platform/posix/frontends.h"
#include "platform/posix/posix.h"
#include "platform/posix/term.h"
#include "platform/ui.h"

#include <map>
#include <string>
#include <vector>

#include <ctype.h>
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

/* ---- 1-3. Terminal, keys and the cell grid: posix/term.h ------------ */

/* Lines of a text within cCols: line breaks kept, tabs to blanks, words
 * wrapped at blanks where they can be. */
static std::vector<std::string> Wrap(const char* szText, int cCols)
{
    std::vector<std::string> aLines;
    std::string sLine;
    const char* p;
    if (cCols < 1) cCols = 1;
    for (p = szText;; p++) {
        if (*p == 0 || *p == '\n') {
            aLines.push_back(sLine);
            sLine.clear();
            if (*p == 0) break;
            continue;
        }
        if (*p == '\r') continue;
        if (*p == '\t') {
            sLine += "    ";
        } else {
            sLine += *p;
        }
        while (TextCells(sLine) > cCols) {
            size_t iLimit = CellsOffset(sLine, cCols);
            size_t iBreak = sLine.rfind(' ', iLimit);
            if (iBreak == std::string::npos || iBreak == 0) iBreak = iLimit;
            aLines.push_back(sLine.substr(0, iBreak));
            sLine = sLine.substr(iBreak);
            if (!sLine.empty() && sLine[0] == ' ') sLine.erase(0, 1);
        }
    }
    return aLines;
}

/* A button's text without "&", and its marked letter (0 for none). */
static std::string Unmark(const char* szText, int* piMark)
{
    std::string s;
    if (piMark) *piMark = 0;
    for (; *szText; szText++) {
        if (*szText == '&' && szText[1]) {
            szText++;
            if (piMark && !*piMark) *piMark = (unsigned char)*szText;
        }
        s += *szText;
    }
    return s;
}

/* ---- 4. Drawing the model --------------------------------------------- */

#define DU_PER_COL_X10 32 /* 3.2 dialog units per column */
#define DU_PER_ROW 11

struct TUIPLACE {
    int iRow, iCol; /* the dialog's first client cell */
};

static std::map<HWND, int> s_mScroll; /* top line of multi-line edits and lists */
static std::map<HWND, int> s_mHot;    /* highlighted row of open combo lists */
static HWND s_hSelectAll;             /* a field entered by Tab: typing replaces its text */
static HWND s_hDrawnDialog;

/* The column of a dialog-unit x. */
static int ColOf(LONG xDu) { return (int)(xDu * 10 / DU_PER_COL_X10); }
/* The row of a dialog-unit y. */
static int RowOf(LONG yDu) { return (int)(yDu / DU_PER_ROW); }

/* The cells of a control: from its template rectangle, or for a window
 * placed in pixels (a gauge) from those. */
static void CellsOf(const PLAT_CTLINFO& info, int* piRow, int* piCol, int* pcRows, int* pcCols)
{
    PLAT_RECT rc = info.rcDu;
    if (info.iKind == PLAT_CTL_CUSTOM) {
        rc.left = info.rcPx.left * 4 / 6;
        rc.right = info.rcPx.right * 4 / 6;
        rc.top = info.rcPx.top * 8 / 13;
        rc.bottom = info.rcPx.bottom * 8 / 13;
    }
    *piRow = RowOf(rc.top);
    *piCol = ColOf(rc.left);
    *pcCols = ColOf(rc.right) - *piCol;
    *pcRows = (int)((rc.bottom - rc.top + DU_PER_ROW / 2) / DU_PER_ROW);
    if (*pcCols < 1) *pcCols = 1;
    if (*pcRows < 1) *pcRows = 1;
}

/* Where a dialog goes: centred, its size in cells with the border. */
static void DialogPlace(HWND hDlg, TUIPLACE* pPlace, int* pcRows, int* pcCols)
{
    PLAT_CTLINFO info;
    PlatUiInfo(hDlg, &info);
    *pcCols = ColOf(info.rcDu.right) + 2;
    *pcRows = RowOf(info.rcDu.bottom) + 2;
    pPlace->iCol = (giTermCols - *pcCols) / 2 + 1;
    pPlace->iRow = (giTermRows - 1 - *pcRows) / 2 + 1;
    if (pPlace->iCol < 1) pPlace->iCol = 1;
    if (pPlace->iRow < 1) pPlace->iRow = 1;
}

/* A gauge from its last painting: the filled share in reverse video, the
 * per cent text centred. */
static void DrawGauge(HWND h, int iRow, int iCol, int cCols)
{
    const PLAT_PAINTOP* pOps;
    int cOps = PlatUiPaint(h, &pOps), i, cFilled = 0;
    LONG lWidth = 0, lFilled = 0;
    std::string sText, sBar((size_t)cCols, ' ');
    /* The bar is outlined in 0xFF0000 from the left edge, the rest in
     * 0xFFFFFF from the end of the bar. */
    for (i = 0; i < cOps; i++) {
        if (pOps[i].iOp == PLAT_PAINT_RECT) {
            if (pOps[i].right > lWidth) lWidth = pOps[i].right;
            if (pOps[i].crPen == 0xFFFFFF)
                lFilled = pOps[i].left;
            else if (pOps[i].left == 0)
                lFilled = pOps[i].right;
        } else if (pOps[i].iOp == PLAT_PAINT_TEXT) {
            sText = pOps[i].szText;
        }
    }
    if (lWidth > 0) cFilled = (int)((long long)lFilled * cCols / lWidth);
    if (!sText.empty() && (int)sText.size() <= cCols)
        sBar.replace((size_t)(cCols - (int)sText.size()) / 2, sText.size(), sText);
    GridPut(iRow, iCol, sBar.substr(0, (size_t)cFilled), AT_REV, cFilled);
    GridPut(iRow, iCol + cFilled, sBar.substr((size_t)cFilled), AT_UL, cCols - cFilled);
}

/* Draws one visible control; open combo lists are collected to be drawn
 * on top at the end. */
static void DrawControl(HWND h, const TUIPLACE& place, int bActive, std::vector<HWND>* paOpenLists)
{
    PLAT_CTLINFO info;
    int iRow, iCol, cRows, cCols, i;
    int iAttr;
    if (!PlatUiInfo(h, &info) || !PlatIsWindowVisible(h)) return;
    CellsOf(info, &iRow, &iCol, &cRows, &cCols);
    iRow += place.iRow;
    iCol += place.iCol;
    int bFocus = bActive && info.bFocus;
    const char* szText = PlatUiText(h);
    switch (info.iKind) {
        case PLAT_CTL_STATIC: {
            std::vector<std::string> aLines = Wrap(szText, cCols);
            for (i = 0; i < (int)aLines.size() && i < cRows; i++) {
                int iIndent = (info.dwStyle & SS_CENTER) ? (cCols - TextCells(aLines[(size_t)i])) / 2 : 0;
                if (!aLines[(size_t)i].empty()) GridPut(iRow + i, iCol + iIndent, aLines[(size_t)i], 0, cCols - iIndent);
            }
            break;
        }
        case PLAT_CTL_ICON: GridPut(iRow, iCol, "[Q]", AT_BOLD, cCols); break;
        case PLAT_CTL_GROUPBOX: break;
        case PLAT_CTL_BUTTON: {
            std::string s = Unmark(szText, NULL);
            std::string sCell = "[" + std::string((size_t)(cCols > 2 ? cCols - 2 : 0), ' ') + "]";
            int iAt = (cCols - (int)s.size()) / 2;
            if (iAt < 1) iAt = 1;
            sCell.replace((size_t)iAt, s.size() < (size_t)cCols - 2 ? s.size() : (size_t)cCols - 2, s);
            iAttr = !info.bEnabled ? AT_DIM : bFocus ? AT_REV : (info.dwStyle & BS_DEFPUSHBUTTON) ? AT_BOLD : 0;
            GridPut(iRow, iCol, sCell, iAttr, cCols);
            break;
        }
        case PLAT_CTL_RADIO:
            iAttr = !info.bEnabled ? AT_DIM : bFocus ? AT_REV : 0;
            GridPut(iRow, iCol, std::string(info.iCheck ? "(*) " : "( ) ") + szText, iAttr, cCols + 4);
            break;
        case PLAT_CTL_EDIT:
            if (info.dwStyle & ES_MULTILINE) {
                std::vector<std::string> aLines = Wrap(szText, cCols - 1);
                int iTop = s_mScroll[h];
                if (iTop > (int)aLines.size() - cRows) iTop = (int)aLines.size() - cRows;
                if (iTop < 0) iTop = 0;
                s_mScroll[h] = iTop;
                GridFill(iRow, iCol, cRows, cCols, 0);
                for (i = 0; i < cRows && iTop + i < (int)aLines.size(); i++)
                    GridPut(iRow + i, iCol, aLines[(size_t)(iTop + i)], 0, cCols - 1);
                for (i = 0; i < cRows; i++)
                    GridPut(iRow + i, iCol + cCols - 1, bFocus ? "#" : "|", bFocus ? AT_REV : AT_DIM, 1);
                if ((int)aLines.size() > cRows) {
                    int iThumb = (int)((long long)iTop * (cRows - 1) / ((int)aLines.size() - cRows));
                    GridPut(iRow + iThumb, iCol + cCols - 1, "@", AT_BOLD, 1);
                }
            } else {
                std::string s = szText;
                if (TextCells(s) > cCols - 1) s = s.substr(CellsOffset(s, TextCells(s) - (cCols - 1)));
                GridFill(iRow, iCol, 1, cCols, AT_UL | (info.bEnabled ? 0 : AT_DIM));
                GridPut(iRow, iCol, s, bFocus && s_hSelectAll == h ? AT_REV : AT_UL, cCols);
                if (bFocus) GridPut(iRow, iCol + TextCells(s), " ", AT_REV, 1);
            }
            break;
        case PLAT_CTL_COMBO: {
            std::string s = szText;
            if (TextCells(s) > cCols - 3) s = s.substr(CellsOffset(s, TextCells(s) - (cCols - 3)));
            GridFill(iRow, iCol, 1, cCols - 2, AT_UL);
            GridPut(iRow, iCol, s, bFocus && s_hSelectAll == h ? AT_REV : AT_UL, cCols - 2);
            if (bFocus) GridPut(iRow, iCol + TextCells(s), " ", AT_REV, 1);
            GridPut(iRow, iCol + cCols - 2, "[v]", bFocus ? AT_BOLD : 0, 3);
            if (info.bDropped) paOpenLists->push_back(h);
            break;
        }
        case PLAT_CTL_LIST: {
            int iTop = s_mScroll[h];
            if (info.iSel >= 0 && info.iSel < iTop) iTop = info.iSel;
            if (info.iSel >= iTop + cRows) iTop = info.iSel - cRows + 1;
            if (iTop < 0) iTop = 0;
            s_mScroll[h] = iTop;
            GridFill(iRow, iCol, cRows, cCols, AT_UL);
            for (i = 0; i < cRows && iTop + i < info.cItems; i++) {
                int bSel = iTop + i == info.iSel;
                GridPut(iRow + i, iCol, (bSel ? "> " : "  ") + std::string(PlatUiItemText(h, iTop + i)),
                    bSel ? (bFocus ? AT_REV : AT_BOLD) : 0, cCols);
            }
            break;
        }
        case PLAT_CTL_CUSTOM:
            if (info.szClass && strcasecmp(info.szClass, "GasGauge") == 0) DrawGauge(h, iRow, iCol, cCols);
            break;
        default: break;
    }
}

/* An open combo list drawn over the controls below the field. */
static void DrawOpenList(HWND h, const TUIPLACE& place)
{
    PLAT_CTLINFO info;
    int iRow, iCol, cRows, cCols, i, cShow, iTop, iHot;
    PlatUiInfo(h, &info);
    CellsOf(info, &iRow, &iCol, &cRows, &cCols);
    iRow += place.iRow + 1;
    iCol += place.iCol;
    cShow = info.cItems < 5 ? info.cItems : 5;
    if (cShow == 0) {
        GridPut(iRow, iCol, "(empty list)", AT_REV | AT_DIM, cCols);
        return;
    }
    iHot = s_mHot.count(h) ? s_mHot[h] : info.iSel;
    if (iHot < 0) iHot = 0;
    if (iHot >= info.cItems) iHot = info.cItems - 1;
    s_mHot[h] = iHot;
    iTop = iHot >= cShow ? iHot - cShow + 1 : 0;
    for (i = 0; i < cShow; i++) {
        std::string s = PlatUiItemText(h, iTop + i);
        s.resize((size_t)cCols, ' ');
        GridPut(iRow + i, iCol, s, iTop + i == iHot ? AT_BOLD : AT_REV, cCols);
    }
}

/* A dialog with its caption and controls. */
static void DrawDialog(HWND hDlg, int bActive)
{
    TUIPLACE place;
    int cRows, cCols, i, c;
    HWND ah[128];
    std::vector<HWND> aOpen;
    std::string sCaption = PlatUiText(hDlg);
    DialogPlace(hDlg, &place, &cRows, &cCols);
    GridFrame(place.iRow - 1, place.iCol - 1, cRows, cCols, sCaption);
    c = PlatUiChildren(hDlg, ah, 128);
    for (i = 0; i < c && i < 128; i++) DrawControl(ah[i], place, bActive, &aOpen);
    for (i = 0; i < (int)aOpen.size(); i++) DrawOpenList(aOpen[(size_t)i], place);
}

/* Every shown dialog, oldest first, and the help line (or szStatus). */
static void DrawAll(const char* szStatus)
{
    HWND ah[16];
    HWND hActive = PlatUiActiveDialog();
    int c = PlatUiDialogs(ah, 16), i;
    std::string sHelp;
    GridClear();
    s_hDrawnDialog = hActive;
    for (i = 0; i < c && i < 16; i++) {
        TUIPLACE place;
        int cRows, cCols;
        DialogPlace(ah[i], &place, &cRows, &cCols);
        if (cCols > giTermCols || cRows > giTermRows - 1) {
            /* Drawn cut, the page would hide what it asks; the keys still work. */
            char szNeed[160];
            snprintf(szNeed, sizeof(szNeed),
                     "The terminal is too small for this page: it needs %d columns and %d rows, it has %d and %d.",
                     cCols, cRows + 1, giTermCols, giTermRows);
            std::vector<std::string> aLines = Wrap(szNeed, giTermCols);
            int iLine;
            GridClear();
            for (iLine = 0; iLine < (int)aLines.size(); iLine++) GridPut(iLine, 0, aLines[(size_t)iLine], AT_BOLD, giTermCols);
            GridPut(giTermRows - 1, 0, "Enlarge the terminal, or press Esc to close", AT_DIM, giTermCols);
            GridFlush();
            return;
        }
        DrawDialog(ah[i], ah[i] == hActive);
    }
    sHelp = szStatus ? szStatus
                     : "Tab move  Enter press  Space check  Esc close  Down/F4 open list  PgUp/PgDn/End scroll";
    if (PlatUiCursor() == IDC_WAIT) sHelp = "Working...  " + sHelp;
    GridPut(giTermRows - 1, 0, sHelp, AT_DIM, giTermCols);
    GridFlush();
}

/* ---- 5. Keys to input --------------------------------------------------- */

static int Reachable(HWND h) { return h && PlatIsWindowVisible(h) && PlatIsWindowEnabled(h); }

/* 1 for a visible enabled control that takes the focus. */
static int Focusable(HWND h)
{
    PLAT_CTLINFO info;
    if (!Reachable(h) || !PlatUiInfo(h, &info)) return 0;
    switch (info.iKind) {
        case PLAT_CTL_BUTTON:
        case PLAT_CTL_RADIO:
        case PLAT_CTL_EDIT:
        case PLAT_CTL_COMBO:
        case PLAT_CTL_LIST: return 1;
        default: return 0;
    }
}

/* The next (iStep 1) or previous (-1) control that takes the focus. */
static HWND NextFocus(HWND hDlg, HWND hFrom, int iStep)
{
    HWND ah[128];
    int c = PlatUiChildren(hDlg, ah, 128), i, iAt = -1, n;
    if (c > 128) c = 128;
    for (i = 0; i < c; i++) {
        if (ah[i] == hFrom) iAt = i;
    }
    for (n = 1; n <= c; n++) {
        i = ((iAt < 0 ? (iStep > 0 ? -1 : 0) : iAt) + iStep * n + c * 2) % c;
        if (Focusable(ah[i])) return ah[i];
    }
    return NULL;
}

/* The dialog's BS_DEFPUSHBUTTON button, NULL for none. */
static HWND DefaultButton(HWND hDlg)
{
    HWND ah[128];
    int c = PlatUiChildren(hDlg, ah, 128), i;
    for (i = 0; i < c && i < 128; i++) {
        PLAT_CTLINFO info;
        if (PlatUiInfo(ah[i], &info) && info.iKind == PLAT_CTL_BUTTON && (info.dwStyle & BS_DEFPUSHBUTTON))
            return ah[i];
    }
    return NULL;
}

/* The usable button whose "&" marks the letter (any case), NULL. */
static HWND MarkedButton(HWND hDlg, int iLetter)
{
    HWND ah[128];
    int c = PlatUiChildren(hDlg, ah, 128), i, iMark;
    for (i = 0; i < c && i < 128; i++) {
        PLAT_CTLINFO info;
        if (!PlatUiInfo(ah[i], &info) || info.iKind != PLAT_CTL_BUTTON || !Reachable(ah[i])) continue;
        Unmark(PlatUiText(ah[i]), &iMark);
        if (iMark && tolower(iMark) == tolower(iLetter)) return ah[i];
    }
    return NULL;
}

/* The neighbouring radio button of the same group. */
static HWND NextRadio(HWND hDlg, HWND hFrom, int iStep)
{
    HWND ah[128];
    int c = PlatUiChildren(hDlg, ah, 128), i, iAt = -1;
    if (c > 128) c = 128;
    for (i = 0; i < c; i++) {
        if (ah[i] == hFrom) iAt = i;
    }
    for (i = iAt + iStep; iAt >= 0 && i >= 0 && i < c; i += iStep) {
        PLAT_CTLINFO info;
        if (!PlatUiInfo(ah[i], &info)) continue;
        if (info.iKind != PLAT_CTL_RADIO) break;
        if (Reachable(ah[i])) return ah[i];
    }
    return NULL;
}

/* Turns one key into input for the active dialog: 1 when something was
 * queued, 0 when the key only changed the view or meant nothing. */
static int HandleKey(int iKey)
{
    HWND hDlg = PlatUiActiveDialog();
    HWND hFocus = PlatGetFocus();
    PLAT_CTLINFO info;
    int bText;
    if (!hDlg) return 0;
    if (!hFocus || PlatGetParent(hFocus) != hDlg || !Reachable(hFocus)) hFocus = NULL;
    memset(&info, 0, sizeof(info));
    if (hFocus) PlatUiInfo(hFocus, &info);
    bText = hFocus && ((info.iKind == PLAT_CTL_EDIT && !(info.dwStyle & ES_READONLY)) || info.iKind == PLAT_CTL_COMBO);
    /* As in a dialog, a field entered by Tab has its text selected: the
     * first key typed replaces it, any other key keeps it. */
    int bReplace = bText && s_hSelectAll == hFocus;
    s_hSelectAll = NULL;

    if (hFocus && info.iKind == PLAT_CTL_COMBO && info.bDropped) {
        int iHot = s_mHot.count(hFocus) ? s_mHot[hFocus] : 0;
        switch (iKey) {
            case KEY_UP: s_mHot[hFocus] = iHot > 0 ? iHot - 1 : 0; return 0;
            case KEY_DOWN: s_mHot[hFocus] = iHot + 1 < info.cItems ? iHot + 1 : iHot; return 0;
            case KEY_ENTER:
                s_mHot.erase(hFocus);
                if (info.cItems == 0) return PlatUiPost(hFocus, PLAT_UIA_CLOSEUP, 0, NULL);
                return PlatUiPost(hFocus, PLAT_UIA_SELECT, iHot, NULL);
            case KEY_ESC: s_mHot.erase(hFocus); return PlatUiPost(hFocus, PLAT_UIA_CLOSEUP, 0, NULL);
            default: break;
        }
    }

    switch (iKey) {
        case KEY_TAB:
        case KEY_BTAB: {
            HWND hNext = NextFocus(hDlg, hFocus, iKey == KEY_TAB ? 1 : -1);
            PLAT_CTLINFO ni;
            if (hNext && PlatUiInfo(hNext, &ni) &&
                ((ni.iKind == PLAT_CTL_EDIT && !(ni.dwStyle & ES_MULTILINE)) || ni.iKind == PLAT_CTL_COMBO))
                s_hSelectAll = hNext;
            return hNext ? PlatUiPost(hNext, PLAT_UIA_FOCUS, 0, NULL) : 0;
        }
        case KEY_ENTER:
            if (hFocus && info.iKind == PLAT_CTL_BUTTON) return PlatUiPost(hFocus, PLAT_UIA_CLICK, 0, NULL);
            {
                HWND hDefault = DefaultButton(hDlg);
                return Reachable(hDefault) ? PlatUiPost(hDefault, PLAT_UIA_CLICK, 0, NULL) : 0;
            }
        case KEY_ESC: {
            HWND hCancel = PlatGetDlgItem(hDlg, IDCANCEL);
            return Reachable(hCancel) ? PlatUiPost(hCancel, PLAT_UIA_CLICK, 0, NULL) : 0;
        }
        case KEY_UP:
        case KEY_DOWN:
        case KEY_LEFT:
        case KEY_RIGHT: {
            int iStep = (iKey == KEY_UP || iKey == KEY_LEFT) ? -1 : 1;
            if (!hFocus) return 0;
            if (info.iKind == PLAT_CTL_RADIO) {
                HWND hRadio = NextRadio(hDlg, hFocus, iStep);
                return hRadio ? PlatUiPost(hRadio, PLAT_UIA_CLICK, 0, NULL) : 0;
            }
            if (info.iKind == PLAT_CTL_LIST && (iKey == KEY_UP || iKey == KEY_DOWN)) {
                int iSel = info.iSel + iStep;
                if (info.iSel < 0) iSel = 0;
                return (iSel >= 0 && iSel < info.cItems) ? PlatUiPost(hFocus, PLAT_UIA_SELECT, iSel, NULL) : 0;
            }
            if (info.iKind == PLAT_CTL_COMBO && iKey == KEY_DOWN) return PlatUiPost(hFocus, PLAT_UIA_DROPDOWN, 0, NULL);
            if (info.iKind == PLAT_CTL_EDIT && (info.dwStyle & ES_MULTILINE) && (iKey == KEY_UP || iKey == KEY_DOWN)) {
                s_mScroll[hFocus] += iStep;
                if (s_mScroll[hFocus] < 0) s_mScroll[hFocus] = 0;
            }
            return 0;
        }
        case KEY_PGUP:
        case KEY_PGDN:
        case KEY_END: {
            HWND hEdit = hFocus;
            if (!hEdit || info.iKind != PLAT_CTL_EDIT) {
                /* The agreement scrolls from anywhere on its page. */
                HWND ah[128];
                int c = PlatUiChildren(hDlg, ah, 128), i;
                hEdit = NULL;
                for (i = 0; i < c && i < 128; i++) {
                    PLAT_CTLINFO ci;
                    if (PlatUiInfo(ah[i], &ci) && ci.iKind == PLAT_CTL_EDIT && (ci.dwStyle & ES_MULTILINE) &&
                        PlatIsWindowVisible(ah[i]))
                        hEdit = ah[i];
                }
            }
            if (hEdit && iKey == KEY_END) {
                /* End and Ctrl+End: the last page (drawing stops at the end). */
                s_mScroll[hEdit] = 0x3FFFFFFF;
            } else if (hEdit) {
                s_mScroll[hEdit] += iKey == KEY_PGUP ? -10 : 10;
                if (s_mScroll[hEdit] < 0) s_mScroll[hEdit] = 0;
            }
            return 0;
        }
        case KEY_HOME:
            if (hFocus) s_mScroll[hFocus] = 0;
            return 0;
        case KEY_F4:
            return (hFocus && info.iKind == PLAT_CTL_COMBO) ? PlatUiPost(hFocus, PLAT_UIA_DROPDOWN, 0, NULL) : 0;
        case KEY_BS:
            if (bText) {
                std::string s = bReplace ? std::string() : std::string(PlatUiText(hFocus));
                if (!bReplace && s.empty()) return 0;
                if (!s.empty()) s.erase(CellsOffset(s, TextCells(s) - 1));
                return PlatUiPost(hFocus, PLAT_UIA_TYPE, 0, s.c_str());
            }
            return 0;
        case KEY_KILL: return bText ? PlatUiPost(hFocus, PLAT_UIA_TYPE, 0, "") : 0;
        default: break;
    }
    if (iKey & KEY_ALT) {
        HWND hButton = MarkedButton(hDlg, iKey & 0xFF);
        return hButton ? PlatUiPost(hButton, PLAT_UIA_CLICK, 0, NULL) : 0;
    }
    if (iKey >= 0x20 && iKey < 0x7F) {
        if (bText) {
            std::string s = bReplace ? std::string() : std::string(PlatUiText(hFocus));
            s += (char)iKey;
            return PlatUiPost(hFocus, PLAT_UIA_TYPE, 0, s.c_str());
        }
        if (iKey == ' ' && hFocus && (info.iKind == PLAT_CTL_BUTTON || info.iKind == PLAT_CTL_RADIO))
            return PlatUiPost(hFocus, PLAT_UIA_CLICK, 0, NULL);
        {
            HWND hButton = MarkedButton(hDlg, iKey);
            return hButton ? PlatUiPost(hButton, PLAT_UIA_CLICK, 0, NULL) : 0;
        }
    }
    return 0;
}

/* With no more input possible, the window is closed as a person would. */
static int CloseActive(void)
{
    HWND hDlg = PlatUiActiveDialog();
    HWND hCancel;
    if (!hDlg) return 0;
    hCancel = PlatGetDlgItem(hDlg, IDCANCEL);
    if (Reachable(hCancel)) return PlatUiPost(hCancel, PLAT_UIA_CLICK, 0, NULL);
    return PlatPostMessage(hDlg, WM_CLOSE, 0, 0);
}

/* ---- 6. Message boxes -------------------------------------------------- */

static int TuiMessageBox(HWND hOwner, const char* szText, const char* szCaption, UINT uType)
{
    const char* aszNames[3];
    int aiIds[3], cButtons, iChoice, i, cCols, cRows, iRow, iCol, iResult = -1;
    std::vector<std::string> aLines;
    std::string sButtons;
    (void)hOwner;
    switch (uType & MB_TYPEMASK) {
        case MB_OKCANCEL:
            aszNames[0] = "OK", aiIds[0] = IDOK, aszNames[1] = "Cancel", aiIds[1] = IDCANCEL, cButtons = 2;
            break;
        case MB_YESNOCANCEL:
            aszNames[0] = "Yes", aiIds[0] = IDYES, aszNames[1] = "No", aiIds[1] = IDNO;
            aszNames[2] = "Cancel", aiIds[2] = IDCANCEL, cButtons = 3;
            break;
        case MB_YESNO: aszNames[0] = "Yes", aiIds[0] = IDYES, aszNames[1] = "No", aiIds[1] = IDNO, cButtons = 2; break;
        default: aszNames[0] = "OK", aiIds[0] = IDOK, cButtons = 1; break;
    }
    iChoice = ((uType & MB_DEFBUTTON2) && cButtons > 1) ? 1 : 0;
    if (gbTermEof) return aiIds[iChoice];

    TermEnter();
    while (iResult < 0) {
        const char* szIcon = (uType & 0xF0) == MB_ICONERROR ? "(x) " : (uType & 0xF0) == MB_ICONQUESTION ? "(?) " : "";
        int cWidth = giTermCols - 8 < 64 ? giTermCols - 8 : 64;
        if (gbTermResized) TermSize();
        aLines = Wrap((std::string(szIcon) + (szText ? szText : "")).c_str(), cWidth);
        cCols = 0;
        for (i = 0; i < (int)aLines.size(); i++) {
            if (TextCells(aLines[(size_t)i]) > cCols) cCols = TextCells(aLines[(size_t)i]);
        }
        sButtons.clear();
        for (i = 0; i < cButtons; i++) sButtons += std::string(i ? "  " : "") + "[ " + aszNames[i] + " ]";
        if ((int)sButtons.size() > cCols) cCols = (int)sButtons.size();
        if (szCaption && (int)strlen(szCaption) + 4 > cCols) cCols = (int)strlen(szCaption) + 4;
        cCols += 4;
        cRows = (int)aLines.size() + 4;
        iRow = (giTermRows - 1 - cRows) / 2;
        iCol = (giTermCols - cCols) / 2;
        if (iRow < 0) iRow = 0;
        if (iCol < 0) iCol = 0;
        DrawAll("Left/Right choose  Enter press  Esc cancel");
        GridFrame(iRow, iCol, cRows, cCols, szCaption ? szCaption : "");
        for (i = 0; i < (int)aLines.size(); i++) GridPut(iRow + 1 + i, iCol + 2, aLines[(size_t)i], 0, cCols - 4);
        {
            int iAt = iCol + (cCols - (int)sButtons.size()) / 2;
            for (i = 0; i < cButtons; i++) {
                std::string s = std::string("[ ") + aszNames[i] + " ]";
                GridPut(iRow + cRows - 2, iAt, s, i == iChoice ? AT_REV : 0, (int)s.size());
                iAt += (int)s.size() + 2;
            }
        }
        GridFlush();

        int iKey = TermKey(-1);
        if (iKey == KEY_EOF)
            iResult = aiIds[iChoice];
        else if (iKey == KEY_ENTER || iKey == ' ')
            iResult = aiIds[iChoice];
        else if (iKey == KEY_LEFT || iKey == KEY_BTAB)
            iChoice = (iChoice + cButtons - 1) % cButtons;
        else if (iKey == KEY_RIGHT || iKey == KEY_TAB)
            iChoice = (iChoice + 1) % cButtons;
        else if (iKey == KEY_ESC) {
            for (i = 0; i < cButtons; i++) {
                if (aiIds[i] == IDCANCEL) iResult = IDCANCEL;
            }
            if (iResult < 0 && cButtons == 1) iResult = aiIds[0];
            for (i = 0; i < cButtons && iResult < 0; i++) {
                if (aiIds[i] == IDNO) iResult = IDNO;
            }
        } else if (iKey > 0 && iKey < 0x7F) {
            for (i = 0; i < cButtons; i++) {
                if (tolower(aszNames[i][0]) == tolower(iKey)) iResult = aiIds[i];
            }
        }
    }
    TermForgetFrame();
    if (PlatUiDialogs(NULL, 0) == 0) TermLeave();
    return iResult;
}

/* ---- 7. The front end ------------------------------------------------- */

static unsigned long s_ulDrawn = ~0UL;
static long long s_llDrawnMs;

/* Milliseconds of the monotonic clock. */
static long long NowMs(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

/* Draws the model when it changed (at most every 50 ms unless forced). */
static void Redraw(int bForce)
{
    long long llNow = NowMs();
    if (!PlatUiActiveDialog() && PlatUiDialogs(NULL, 0) == 0) return;
    TermEnter();
    if (gbTermResized) {
        TermSize();
        bForce = 1;
    }
    /* While work runs, a few frames a second are enough. */
    if (!bForce && (PlatUiChangeCount() == s_ulDrawn || llNow - s_llDrawnMs < 50)) return;
    s_ulDrawn = PlatUiChangeCount();
    s_llDrawnMs = llNow;
    DrawAll(NULL);
}

/* The front end's idle call (dialog.h): draws, reads keys and turns one
 * into input. Waiting for the user it returns only with input queued; with
 * standard input ended it closes the window. */
static int TuiIdle(int iWaitMs)
{
    long long llEnd = iWaitMs > 0 ? NowMs() + iWaitMs : 0;
    if (!PlatUiActiveDialog()) return 0;
    if (gbTermEof) return iWaitMs < 0 ? CloseActive() : 0;
    for (;;) {
        int iKey, iTimeout;
        Redraw(iWaitMs != 0);
        if (iWaitMs == 0)
            iTimeout = 0;
        else if (iWaitMs < 0)
            iTimeout = -1;
        else {
            iTimeout = (int)(llEnd - NowMs());
            if (iTimeout <= 0) return 0;
        }
        iKey = TermKey(iTimeout);
        if (iKey == KEY_EOF) return iWaitMs < 0 ? CloseActive() : 0;
        if (iKey == KEY_NONE) {
            if (iWaitMs >= 0 && !gbTermResized) return 0;
            continue;
        }
        if (HandleKey(iKey)) return 1;
        if (iWaitMs == 0) {
            Redraw(1);
            return 0;
        }
    }
}

/* Chosen: message boxes are drawn in the terminal from now on. */
static void TuiStart(void) { PlatSetMessageBoxHandler(TuiMessageBox); }

/* No dialog shown any more: the terminal is restored. */
static void TuiDialogsChanged(void)
{
    if (PlatUiDialogs(NULL, 0) == 0) {
        s_mScroll.clear();
        s_mHot.clear();
        TermLeave();
    }
}

static const PLAT_FRONTEND s_frontTui = {"tui", TuiStart, TuiIdle, TuiDialogsChanged};

const PLAT_FRONTEND* PlatTuiFrontEnd(void) { return &s_frontTui; }
