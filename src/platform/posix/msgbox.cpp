/*
 * msgbox.cpp - message boxes of the Linux build.
 *
 * Headless boxes are printed and answered from HERON_ANSWERS (see ui.h). The
 * answer list is consumed one entry per box across the whole process. A
 * front end may install its own handler (the terminal front end does).
 */
#include "platform/ui.h"
#include "platform/posix/frontends.h"
#include "platform/posix/posix.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

static PLAT_MSGBOX_HANDLER s_pfnHandler;
static int s_iAnswer; /* index of the next HERON_ANSWERS entry */

int PlatUiMode(void)
{
    const char* szUi = getenv("HERON_UI");
    if (szUi && strcasecmp(szUi, "tui") == 0) return UI_TUI;
    if (szUi && strcasecmp(szUi, "headless") == 0) return UI_HEADLESS;
    return (isatty(0) && isatty(1)) ? UI_TUI : UI_HEADLESS;
}

/* HERON_UI: unset or empty, "tui" or "headless" (any case). HERON_ANSWERS:
 * comma-separated button names, each OK, Cancel, Yes or No (any case,
 * blanks around allowed), or empty for the box's default button. */
int PosixCheckUiEnv(void)
{
    static const char* const s_aszButtons[] = {"OK", "Cancel", "Yes", "No"};
    const char* szUi = getenv("HERON_UI");
    const char* szAnswers = getenv("HERON_ANSWERS");
    if (szUi && *szUi && strcasecmp(szUi, "tui") != 0 && strcasecmp(szUi, "headless") != 0) {
        fprintf(stderr, "heron: HERON_UI is \"%s\"; it must be \"tui\" or \"headless\"\n", szUi);
        return 0;
    }
    if (szAnswers && *szAnswers) {
        const char* p = szAnswers;
        for (;;) {
            const char* pEnd = strchr(p, ',');
            size_t cch = pEnd ? (size_t)(pEnd - p) : strlen(p);
            size_t i;
            int bKnown = 0;
            while (cch && *p == ' ') p++, cch--;
            while (cch && p[cch - 1] == ' ') cch--;
            for (i = 0; i < sizeof(s_aszButtons) / sizeof(s_aszButtons[0]); i++) {
                if (strlen(s_aszButtons[i]) == cch && strncasecmp(p, s_aszButtons[i], cch) == 0) bKnown = 1;
            }
            if (cch && !bKnown) {
                fprintf(stderr, "heron: HERON_ANSWERS names \"%.*s\"; the answers are OK, Cancel, Yes and No\n",
                        (int)cch, p);
                return 0;
            }
            if (!pEnd) break;
            p = pEnd + 1;
        }
    }
    return 1;
}

void PlatSetMessageBoxHandler(PLAT_MSGBOX_HANDLER pfnHandler) { s_pfnHandler = pfnHandler; }

void PlatConsoleLine(const char* szText)
{
    fputs(szText ? szText : "", stdout);
    fputc('\n', stdout);
    fflush(stdout);
}

/* The buttons of a box type, in order, and their ids. */
static int MsgButtons(UINT uType, const char** pszNames, int* piIds)
{
    switch (uType & MB_TYPEMASK) {
    case MB_OKCANCEL:
        pszNames[0] = "OK", piIds[0] = IDOK;
        pszNames[1] = "Cancel", piIds[1] = IDCANCEL;
        return 2;
    case MB_YESNOCANCEL:
        pszNames[0] = "Yes", piIds[0] = IDYES;
        pszNames[1] = "No", piIds[1] = IDNO;
        pszNames[2] = "Cancel", piIds[2] = IDCANCEL;
        return 3;
    case MB_YESNO:
        pszNames[0] = "Yes", piIds[0] = IDYES;
        pszNames[1] = "No", piIds[1] = IDNO;
        return 2;
    default:
        pszNames[0] = "OK", piIds[0] = IDOK;
        return 1;
    }
}

/* The next entry of HERON_ANSWERS into szOut, "" when used up. */
static void MsgNextAnswer(char* szOut, size_t cbOut)
{
    const char* szList = getenv("HERON_ANSWERS");
    const char* p;
    int i;
    szOut[0] = 0;
    if (!szList) return;
    p = szList;
    for (i = 0; i < s_iAnswer && p; i++) {
        p = strchr(p, ',');
        if (p) p++;
    }
    s_iAnswer++;
    if (!p || !*p) return;
    {
        const char* pEnd = strchr(p, ',');
        size_t cch = pEnd ? (size_t)(pEnd - p) : strlen(p);
        while (cch && (*p == ' ')) p++, cch--;
        while (cch && p[cch - 1] == ' ') cch--;
        if (cch >= cbOut) cch = cbOut - 1;
        memcpy(szOut, p, cch);
        szOut[cch] = 0;
    }
}

int PlatMessageBox(HWND hOwner, const char* szText, const char* szCaption, UINT uType)
{
    const char* aszNames[3];
    int aiIds[3];
    int cButtons, iChoice, i;
    char szAnswer[32];

    if (PlatFaultHit("MessageBox")) return 0;
    if (s_pfnHandler) return s_pfnHandler(hOwner, szText, szCaption, uType);

    cButtons = MsgButtons(uType, aszNames, aiIds);
    iChoice = ((uType & MB_DEFBUTTON2) && cButtons > 1) ? 1 : 0;
    MsgNextAnswer(szAnswer, sizeof(szAnswer));
    for (i = 0; i < cButtons; i++) {
        if (szAnswer[0] && strcasecmp(szAnswer, aszNames[i]) == 0) iChoice = i;
    }
    printf("=== %s ===\n%s\n=== answer: %s ===\n", szCaption ? szCaption : "", szText ? szText : "",
           aszNames[iChoice]);
    fflush(stdout);
    return aiIds[iChoice];
}

HWND PlatFindWindow(const char* szClass, const char* szTitle)
{
    (void)szClass;
    (void)szTitle;
    return NULL;
}

HWND PlatGetLastActivePopup(HWND hWnd) { return hWnd; }
BOOL PlatBringWindowToTop(HWND hWnd) { return hWnd != NULL; }
BOOL PlatIsIconic(HWND hWnd)
{
    (void)hWnd;
    return 0;
}
BOOL PlatRestoreWindow(HWND hWnd) { return hWnd != NULL; }
