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

#include <string.h>

#define CHECK_TIMER 7
#define CHECK_DELAY_MS 1000
#define STR_CAPTION 3
#define SUM_BLOCK 262144

static HWND s_hCheckGauge;
static char s_szModuleOverride[MAX_PATH];

void SelfCheckSetModulePath(const char* szPath) { TextCopy(s_szModuleOverride, sizeof(s_szModuleOverride), szPath); }

DWORD SelfCheckSum(DWORD dwSum, const BYTE* pb, size_t cb)
{
    /* Eight bytes at a time: the even and the odd bytes of each 64-bit
     * word go into four 16-bit lanes, folded into the sum every 128 words,
     * before a lane can overflow (128 * 2 * 255 = 65,280). The bytes before
     * the first whole word and after the last are added one by one. */
    size_t i = 0;
    while (cb - i >= 8) {
        unsigned long long qwLanes = 0;
        size_t cWords = (cb - i) / 8;
        if (cWords > 128) cWords = 128;
        while (cWords--) {
            unsigned long long qw;
            memcpy(&qw, pb + i, 8);
            qwLanes += (qw & 0x00FF00FF00FF00FFull) + ((qw >> 8) & 0x00FF00FF00FF00FFull);
            i += 8;
        }
        dwSum += (DWORD)((qwLanes & 0xFFFF) + ((qwLanes >> 16) & 0xFFFF) + ((qwLanes >> 32) & 0xFFFF) +
                         (qwLanes >> 48));
    }
    for (; i < cb; i++) dwSum += pb[i];
    return dwSum;
}

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
    BYTE* pbBlock;
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
    /* The file is read in blocks, never past the size taken above; the
     * gauge moves at every multiple of the step, as it would byte by byte. */
    pbBlock = (BYTE*)PlatHeapAlloc(SUM_BLOCK);
    for (i = 0; pbBlock && i < llSize;) {
        size_t cbWant = llSize - i < SUM_BLOCK ? (size_t)(llSize - i) : SUM_BLOCK;
        size_t cbGot = PlatFread(pbBlock, 1, cbWant, pf);
        long long llMark;
        if (cbGot == 0) break;
        dwSum = SelfCheckSum(dwSum, pbBlock, cbGot);
        for (llMark = (i + llStep - 1) / llStep * llStep; llMark < i + (long long)cbGot; llMark += llStep) {
            GaugeSend(hGauge, GAUGE_SETPOS, llMark >> iShift);
            PumpMessages();
        }
        i += (long long)cbGot;
    }
    /* Without a buffer, byte by byte. */
    for (; !pbBlock && i < llSize; i++) {
        int c = PlatFgetc(pf);
        if (c < 0) break;
        dwSum += (DWORD)c;
        if (i % llStep == 0) {
            GaugeSend(hGauge, GAUGE_SETPOS, i >> iShift);
            PumpMessages();
        }
    }
    PlatHeapFree(pbBlock);
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
