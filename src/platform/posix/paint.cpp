/*
 * paint.cpp - painting in the window model: device contexts, brushes and
 * pens, the recorded drawing of custom windows, cursors. See window.h.
 */
#include "platform/posix/window.h"

/* ---- Drawing and cursors ------------------------------------------ */

static PLATGDI s_gdiWhiteBrush = {GDI_BRUSH, 0xFFFFFF, 1, 0};
static PLATGDI s_gdiBlackPen = {GDI_PEN, 0x000000, 1, 0};

HDC PlatBeginPaint(HWND hWnd, PLAT_PAINTSTRUCT* pPaint)
{
    PLATWND* p = WndOf(hWnd);
    PLATDC* pdc;
    LONG cx, cy;
    if (!p || !pPaint) return NULL;
    pdc = new PLATDC();
    pdc->hWnd = hWnd;
    pdc->pBrush = &s_gdiWhiteBrush;
    pdc->pPen = &s_gdiBlackPen;
    pdc->crText = 0;
    pdc->iBkMode = OPAQUE;
    p->bInvalid = 0;
    WndClientSize(p, &cx, &cy);
    pPaint->hdc = (HDC)pdc;
    pPaint->fErase = 0;
    pPaint->rcPaint.left = 0, pPaint->rcPaint.top = 0, pPaint->rcPaint.right = cx, pPaint->rcPaint.bottom = cy;
    return (HDC)pdc;
}

BOOL PlatEndPaint(HWND hWnd, const PLAT_PAINTSTRUCT* pPaint)
{
    PLATDC* pdc;
    PLATWND* p = WndOf(hWnd);
    if (!pPaint || !pPaint->hdc) return 0;
    pdc = (PLATDC*)pPaint->hdc;
    pdc->pBrush->cSelected--;
    pdc->pPen->cSelected--;
    if (p) {
        p->aPaint = pdc->aOps;
        WndRepainted();
    }
    delete pdc;
    return 1;
}

/* A new brush or pen, counted as alive until deleted. */
static PLATGDI* GdiNew(int iKind, COLORREF cr)
{
    PLATGDI* p = new PLATGDI();
    p->iKind = iKind;
    p->cr = cr & 0xFFFFFF;
    gWm.cGdiObjects++;
    return p;
}

HBRUSH PlatCreateSolidBrush(COLORREF cr) { return (HBRUSH)GdiNew(GDI_BRUSH, cr); }

HPEN PlatCreatePen(int iStyle, int iWidth, COLORREF cr)
{
    (void)iStyle, (void)iWidth;
    return (HPEN)GdiNew(GDI_PEN, cr);
}

HGDIOBJ PlatGetStockObject(int iObject) { return iObject == WHITE_BRUSH ? (HGDIOBJ)&s_gdiWhiteBrush : NULL; }

HGDIOBJ PlatSelectObject(HDC hdc, HGDIOBJ hObject)
{
    PLATDC* pdc = (PLATDC*)hdc;
    PLATGDI* pNew = (PLATGDI*)hObject;
    PLATGDI* pOld;
    if (!pdc || !pNew) return NULL;
    if (pNew->iKind == GDI_BRUSH) {
        pOld = pdc->pBrush;
        pdc->pBrush = pNew;
    } else {
        pOld = pdc->pPen;
        pdc->pPen = pNew;
    }
    pNew->cSelected++;
    pOld->cSelected--;
    return (HGDIOBJ)pOld;
}

BOOL PlatDeleteObject(HGDIOBJ hObject)
{
    PLATGDI* p = (PLATGDI*)hObject;
    if (!p || p->bStock || p->cSelected > 0) return 0;
    delete p;
    gWm.cGdiObjects--;
    return 1;
}

BOOL PlatRectangle(HDC hdc, int left, int top, int right, int bottom)
{
    PLATDC* pdc = (PLATDC*)hdc;
    PLAT_PAINTOP op;
    if (!pdc) return 0;
    if (right <= left || bottom <= top) return 1;
    memset(&op, 0, sizeof(op));
    op.iOp = PLAT_PAINT_RECT;
    op.left = left, op.top = top, op.right = right, op.bottom = bottom;
    op.crFill = pdc->pBrush->cr;
    op.crPen = pdc->pPen->cr;
    pdc->aOps.push_back(op);
    return 1;
}

COLORREF PlatSetTextColor(HDC hdc, COLORREF cr)
{
    PLATDC* pdc = (PLATDC*)hdc;
    COLORREF crOld;
    if (!pdc) return 0xFFFFFFFF;
    crOld = pdc->crText;
    pdc->crText = cr;
    return crOld;
}

int PlatSetBkMode(HDC hdc, int iMode)
{
    PLATDC* pdc = (PLATDC*)hdc;
    int iOld;
    if (!pdc) return 0;
    iOld = pdc->iBkMode;
    pdc->iBkMode = iMode;
    return iOld;
}

DWORD PlatGetTabbedTextExtent(HDC hdc, const char* szText, int cch)
{
    int i, iCol = 0;
    (void)hdc;
    if (!szText) return 0;
    if (cch < 0) cch = (int)strlen(szText);
    for (i = 0; i < cch; i++) iCol = szText[i] == '\t' ? (iCol / 8 + 1) * 8 : iCol + 1;
    return (DWORD)MAKELONG(iCol * BASE_X, BASE_Y);
}

BOOL PlatTextOut(HDC hdc, int x, int y, const char* szText, int cch)
{
    PLATDC* pdc = (PLATDC*)hdc;
    PLAT_PAINTOP op;
    if (!pdc || !szText) return 0;
    if (cch < 0) cch = (int)strlen(szText);
    memset(&op, 0, sizeof(op));
    op.iOp = PLAT_PAINT_TEXT;
    op.left = x, op.top = y;
    op.crPen = pdc->crText;
    PosixCopy(op.szText, (size_t)(cch + 1 < (int)sizeof(op.szText) ? cch + 1 : (int)sizeof(op.szText)), szText);
    pdc->aOps.push_back(op);
    return 1;
}

HCURSOR PlatLoadCursor(HINSTANCE hInstance, int iId)
{
    (void)hInstance;
    return (iId == IDC_ARROW || iId == IDC_WAIT) ? (HCURSOR)(intptr_t)iId : NULL;
}

HCURSOR PlatSetCursor(HCURSOR hCursor)
{
    HCURSOR hOld = (HCURSOR)(intptr_t)gWm.iCursor;
    if (hCursor) {
        gWm.iCursor = (int)(intptr_t)hCursor;
        WndChanged();
    }
    return hOld;
}
