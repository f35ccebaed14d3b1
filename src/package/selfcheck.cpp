/*
 * selfcheck.cpp - the package self-check.
 *
 * The sum is the 32-bit wrapping sum of every byte of the installer's own
 * file except the four bytes where the package builder stored it (the
 * platform says where: PlatStoredSumOffset). Dialog 401 shows a message
 * line and a gauge for one second, then the sum is taken inside the timer
 * handler while PumpMessages keeps the dialog painted; the gauge moves 100
 * times over the file. A failure leaves the dialog open with the failure
 * text and the Cancel button, which ends it with 1.
 */
#include "package/selfcheck.h"

#include "platform/ui.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "shell/text.h"
#include "ui/gauge.h"
#include "ui/resource.h"

#define CHECK_TIMER 7
#define CHECK_DELAY_MS 1000
#define STR_CAPTION 3

static HWND s_hCheckGauge;
static char s_szModuleOverride[MAX_PATH];

void SelfCheckSetModulePath(const char* szPath) { TextCopy(s_szModuleOverride, sizeof(s_szModuleOverride), szPath); }

/* A gauge command (gauge.h), nothing without a gauge. */
static void GaugeSend(HWND hGauge, int iCode, long long llValue)
{
    if (hGauge) PlatSendMessage(hGauge, WM_COMMAND, (WPARAM)iCode, (LPARAM)(LONG)llValue);
}

int VerifyModuleChecksum(HWND hDlg, HWND hGauge)
{
    char szPath[MAX_PATH + 1];
    PLATFILE* pf;
    BYTE abStored[4] = {0, 0, 0, 0};
    DWORD dwSum = 0, dwStored = 0;
    long long llOffset = 0, llSize, llStep, i;
    int bHasSum, iShift = 0;
    (void)hDlg;

    szPath[0] = 0;
    if (s_szModuleOverride[0])
        TextCopy(szPath, sizeof(szPath), s_szModuleOverride);
    else
        PlatGetModuleFileName(szPath, MAX_PATH);
    PlatGetCurrentDirectory(sizeof(gszStartDir), gszStartDir);
    LogFormat(0, "ModuleFileName is %s", szPath);

    pf = PlatFopen(szPath, "rb");
    if (!pf) {
        PlatMessageBox(PlatIsWindow(ghMainDlg) ? ghMainDlg : NULL, StringText(7), StringText(STR_CAPTION),
                       MB_OK | MB_ICONERROR);
        return 0;
    }
    bHasSum = PlatStoredSumOffset(pf, &llOffset);
    if (bHasSum && PlatFseek(pf, llOffset, 0) == 0 && PlatFread(abStored, 1, 4, pf) == 4)
        dwStored =
            (DWORD)abStored[0] | ((DWORD)abStored[1] << 8) | ((DWORD)abStored[2] << 16) | ((DWORD)abStored[3] << 24);
    else
        bHasSum = 0;
    PlatFseek(pf, 0, 2);
    llSize = PlatFtell(pf);
    PlatFseek(pf, 0, 0);
    if (llSize < 0) llSize = 0;

    /* A file below 100 bytes would give a step of 0. The gauge takes signed
     * 32-bit values: a larger file is scaled down for it. */
    llStep = llSize / 100;
    if (llStep < 1) llStep = 1;
    while ((llSize >> iShift) > 0x7FFFFFFF) iShift++;
    GaugeSend(hGauge, GAUGE_SETRANGE, llSize >> iShift);
    PumpMessages();
    for (i = 0; i < llSize; i++) {
        int c = PlatFgetc(pf);
        if (c < 0) break;
        dwSum += (DWORD)c;
        if (i % llStep == 0) {
            GaugeSend(hGauge, GAUGE_SETPOS, i >> iShift);
            PumpMessages();
        }
    }
    GaugeSend(hGauge, GAUGE_SETPOS, llSize >> iShift);
    PumpMessages();
    PlatFclose(pf);

    if (bHasSum) dwSum -= (DWORD)abStored[0] + abStored[1] + abStored[2] + abStored[3];
    LogFormat(0, "Calculated is %0xL extracted is %0xL", dwSum, dwStored);
    return bHasSum && dwSum == dwStored;
}

INT_PTR CheckDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (uMsg) {
        case WM_INITDIALOG:
            RegisterGaugeClass();
            s_hCheckGauge = CreateGauge(hDlg, IDC_CHECK_GAUGE);
            PlatShowWindow(s_hCheckGauge, SW_SHOW);
            PlatSetDlgItemText(hDlg, IDC_CHECK_MESSAGE, StringText(5));
            CenterWindow(hDlg);
            PlatSetTimer(hDlg, CHECK_TIMER, CHECK_DELAY_MS);
            return 0; /* the focus is not set */
        case WM_TIMER:
            PlatKillTimer(hDlg, CHECK_TIMER);
            if (VerifyModuleChecksum(hDlg, s_hCheckGauge)) {
                PlatEndDialog(hDlg, 0);
            } else {
                PlatSetDlgItemText(hDlg, IDC_CHECK_MESSAGE, StringText(6));
                PlatShowWindow(s_hCheckGauge, SW_HIDE);
                PlatShowWindow(PlatGetDlgItem(hDlg, IDC_CHECK_CANCEL), SW_SHOW);
            }
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_CHECK_CANCEL) PlatEndDialog(hDlg, 1);
            return 1;
        default: return 0;
    }
}

int SelfCheckRun(void) { return PlatDialogBoxParam(ghInstance, IDD_SELFCHECK, NULL, CheckDlgProc, 0) == 0 ? 0 : 1; }
