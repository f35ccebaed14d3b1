/*
 * gauge.h - the progress gauge (window class "GasGauge") and CenterWindow.
 *
 * A gauge takes the place of a hidden placeholder control of a dialog and is
 * driven by command messages: SendMessage(hGauge, WM_COMMAND, code, value).
 */
#ifndef HERON_UI_GAUGE_H
#define HERON_UI_GAUGE_H

#include "platform/dialog.h"
#include "shell/progress.h"

#define GAUGE_CLASS "GasGauge"

/* Command codes (wParam of WM_COMMAND sent to a gauge; lParam the value). */
#define GAUGE_SETBARCOLOR 100
#define GAUGE_SETBKCOLOR 101
#define GAUGE_SETRANGE 102
#define GAUGE_SETPOS 103

/* Byte offsets of the gauge's values in its window extra bytes. */
#define GAUGE_RANGE 0
#define GAUGE_POSITION 4
#define GAUGE_WIDTH 8
#define GAUGE_HEIGHT 12
#define GAUGE_BKCOLOR 16
#define GAUGE_BARCOLOR 20
#define GAUGE_EXTRA_BYTES 32

/* Registers the class for the installer's module: 1, or 0 when it was
 * registered before (harmless). */
int RegisterGaugeClass(void);
/* Creates a hidden gauge in place of control iId of the dialog (one pixel
 * wider and taller than it) and hides the control. NULL on failure. */
HWND CreateGauge(HWND hDlg, int iId);
/* The gauge class's window procedure. */
LRESULT GaugeWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
/* The pixels of a gauge's filled part and its text ("%d%%"), as painted. */
int GaugeFilledWidth(LONG lPosition, LONG lRange, LONG lWidth);
void GaugePercentText(int iFilled, LONG lWidth, char* szOut, size_t cbOut);
/* Places the window at the centre of the screen, size unchanged, and
 * repaints it. */
void CenterWindow(HWND hWnd);
/* PumpMessages, the message drain, is in shell/progress.h. */

#endif
