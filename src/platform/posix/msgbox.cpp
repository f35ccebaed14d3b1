/*
 * msgbox.cpp - message boxes of the Linux build.
 *
 * Headless boxes are printed and answered from HERON_ANSWERS (see ui.h). The
 * answer list is consumed one entry per box across the whole process. A
 * front end may install its own handler (the terminal front end does).
 */
#include "platform/ui.h"
#include "platform/answers.h"
#include "platform/posix/frontends.h"
#include "platform/posix/posix.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

static PLAT_MSGBOX_HANDLER s_pfnHandler;

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

int PlatMessageBox(HWND hOwner, const char* szText, const char* szCaption, UINT uType)
{
    if (PlatFaultHit("MessageBox")) return 0;
    if (s_pfnHandler) return s_pfnHandler(hOwner, szText, szCaption, uType);
    return PlatScriptedBox(szText, szCaption, uType);
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
