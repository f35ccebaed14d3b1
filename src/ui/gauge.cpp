/*
 * gauge.cpp - the progress gauge and window centring.
 *
 * Per gauge, six 32-bit values live in the window's extra bytes (gauge.h):
 *   range 100, position 0, width and height (client pixels, kept current on
 *   every resize), background colour 0xFFFFFF (white), bar colour 0xFF0000
 *   (blue; colours are 0x00BBGGRR).
 * Painting fills the position's share of the width with the bar colour, the
 * rest with the background, and writes the share of filled pixels in per
 * cent, centred, in black.
 */
#include "ui/gauge.h"

#include "shell/globals.h"
#include "shell/text.h"
#include "ui/resource.h"

#include <math.h>
#include <string.h>

int RegisterGaugeClass(void)
{
    PLAT_WNDCLASS wc;
    memset(&wc, 0, sizeof(wc));
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = GaugeWndProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = GAUGE_EXTRA_BYTES;
    wc.hInstance = ghInstance;
    wc.hCursor = PlatLoadCursor(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)PlatGetStockObject(WHITE_BRUSH);
    wc.lpszClassName = GAUGE_CLASS;
    return PlatRegisterClass(&wc) != 0;
}

HWND CreateGauge(HWND hDlg, int iId)
{
    HWND hPlace = PlatGetDlgItem(hDlg, iId);
    PLAT_RECT rc;
    PLAT_POINT pt;
    int cx, cy;
    if (!hPlace || !PlatGetWindowRect(hPlace, &rc)) return NULL;
    cx = rc.right - rc.left + 1;
    cy = rc.bottom - rc.top + 1;
    pt.x = rc.left;
    pt.y = rc.top;
    PlatScreenToClient(hDlg, &pt);
    PlatShowWindow(hPlace, SW_HIDE);
    return PlatCreateWindowEx(0, GAUGE_CLASS, NULL, WS_CHILD | WS_BORDER, pt.x, pt.y, cx, cy, hDlg, IDC_GAUGE_WINDOW,
                              ghInstance, NULL);
}

int GaugeFilledWidth(LONG lPosition, LONG lRange, LONG lWidth)
{
    /* The position is first taken as a single-precision number, as the
     * installer always has; a range of 0 gives no representable share
     * (0/0, or an infinity of either sign): the bar is full. */
    double d = (double)(float)lPosition / (double)lRange * (double)lWidth;
    if (isnan(d) || isinf(d) || d > (double)lWidth) return (int)lWidth;
    /* A negative position would draw a bar of negative width. */
    if (d < 0) return 0;
    return (int)d;
}

void GaugePercentText(int iFilled, LONG lWidth, char* szOut, size_t cbOut)
{
    if (lWidth > 0)
        TextFormat(szOut, cbOut, "%d%%", (int)((long long)iFilled * 100 / lWidth));
    else
        TextFormat(szOut, cbOut, "100%%");
}

/* WM_PAINT: the bar, the rest and the per cent text, with the device
 * context left as it was found. */
static void GaugePaint(HWND hWnd)
{
    PLAT_PAINTSTRUCT ps;
    HDC hdc = PlatBeginPaint(hWnd, &ps);
    LONG lRange = PlatGetWindowLong(hWnd, GAUGE_RANGE);
    LONG lPos = PlatGetWindowLong(hWnd, GAUGE_POSITION);
    LONG lWidth = PlatGetWindowLong(hWnd, GAUGE_WIDTH);
    LONG lHeight = PlatGetWindowLong(hWnd, GAUGE_HEIGHT);
    COLORREF crBk = (COLORREF)PlatGetWindowLong(hWnd, GAUGE_BKCOLOR);
    COLORREF crBar = (COLORREF)PlatGetWindowLong(hWnd, GAUGE_BARCOLOR);
    int iFilled = GaugeFilledWidth(lPos, lRange, lWidth);
    char szText[32];
    DWORD dwExtent;
    HBRUSH hBarBrush, hBkBrush;
    HPEN hBarPen, hBkPen;
    HGDIOBJ hOldBrush, hOldPen;
    COLORREF crOldText;
    if (!hdc) return;

    hBarBrush = PlatCreateSolidBrush(crBar);
    hBarPen = PlatCreatePen(PS_SOLID, 1, 0xFF0000);
    hOldBrush = PlatSelectObject(hdc, hBarBrush);
    hOldPen = PlatSelectObject(hdc, hBarPen);
    PlatRectangle(hdc, 0, 0, iFilled, lHeight);

    hBkBrush = PlatCreateSolidBrush(crBk);
    hBkPen = PlatCreatePen(PS_SOLID, 1, 0xFFFFFF);
    if (iFilled < lWidth) {
        PlatSelectObject(hdc, hBkBrush);
        PlatSelectObject(hdc, hBkPen);
        PlatRectangle(hdc, iFilled, 0, lWidth, lHeight);
    }

    GaugePercentText(iFilled, lWidth, szText, sizeof(szText));
    dwExtent = PlatGetTabbedTextExtent(hdc, szText, (int)strlen(szText));
    PlatSetBkMode(hdc, TRANSPARENT);
    crOldText = PlatSetTextColor(hdc, 0x000000);
    PlatTextOut(hdc, (int)(lWidth - LOWORD(dwExtent)) / 2, (int)(lHeight - HIWORD(dwExtent)) / 2, szText,
                (int)strlen(szText));

    /* The pen too goes back before the objects are released: a selected
     * object cannot be deleted. */
    PlatSetTextColor(hdc, crOldText);
    PlatSelectObject(hdc, hOldBrush);
    PlatSelectObject(hdc, hOldPen);
    PlatDeleteObject(hBarBrush);
    PlatDeleteObject(hBkBrush);
    PlatDeleteObject(hBarPen);
    PlatDeleteObject(hBkPen);
    PlatEndPaint(hWnd, &ps);
}

LRESULT GaugeWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
        case WM_CREATE: {
            const PLAT_CREATESTRUCT* pcs = (const PLAT_CREATESTRUCT*)lParam;
            PlatSetWindowLong(hWnd, GAUGE_RANGE, 100);
            PlatSetWindowLong(hWnd, GAUGE_POSITION, 0);
            PlatSetWindowLong(hWnd, GAUGE_WIDTH, pcs ? pcs->cx : 0);
            PlatSetWindowLong(hWnd, GAUGE_HEIGHT, pcs ? pcs->cy : 0);
            PlatSetWindowLong(hWnd, GAUGE_BKCOLOR, 0xFFFFFF);
            PlatSetWindowLong(hWnd, GAUGE_BARCOLOR, 0xFF0000);
            return 0;
        }
        case WM_SIZE:
            PlatSetWindowLong(hWnd, GAUGE_WIDTH, LOWORD(lParam));
            PlatSetWindowLong(hWnd, GAUGE_HEIGHT, HIWORD(lParam));
            return 0;
        case WM_COMMAND: {
            LONG lValue = (LONG)lParam;
            switch ((int)wParam) {
                case GAUGE_SETBARCOLOR: PlatSetWindowLong(hWnd, GAUGE_BARCOLOR, lValue); break;
                case GAUGE_SETBKCOLOR: PlatSetWindowLong(hWnd, GAUGE_BKCOLOR, lValue); break;
                case GAUGE_SETRANGE:
                    PlatSetWindowLong(hWnd, GAUGE_RANGE, lValue);
                    if (PlatGetWindowLong(hWnd, GAUGE_POSITION) > lValue)
                        PlatSetWindowLong(hWnd, GAUGE_POSITION, lValue);
                    break;
                case GAUGE_SETPOS: {
                    LONG lRange = PlatGetWindowLong(hWnd, GAUGE_RANGE);
                    PlatSetWindowLong(hWnd, GAUGE_POSITION, lValue > lRange ? lRange : lValue);
                    break;
                }
                default: return 0;
            }
            PlatInvalidateRect(hWnd, NULL, 0);
            return 0;
        }
        case WM_PAINT: GaugePaint(hWnd); return 0;
        default: return PlatDefWindowProc(hWnd, uMsg, wParam, lParam);
    }
}

void CenterWindow(HWND hWnd)
{
    PLAT_RECT rc;
    int cx, cy;
    if (!PlatGetWindowRect(hWnd, &rc)) return;
    cx = rc.right - rc.left;
    cy = rc.bottom - rc.top;
    PlatMoveWindow(hWnd, (PlatGetSystemMetrics(SM_CXSCREEN) - cx) / 2, (PlatGetSystemMetrics(SM_CYSCREEN) - cy) / 2, cx,
                   cy, 1);
}
