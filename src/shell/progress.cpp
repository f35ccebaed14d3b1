/*
 * progress.cpp - the progress door and the message drain (see progress.h).
 */
#include "shell/progress.h"

#include "platform/dialog.h"

static const PROGRESS_DOOR* s_pDoor;

void ProgressSetDoor(const PROGRESS_DOOR* pDoor) { s_pDoor = pDoor; }

void ProgressShow(DWORD dwRange, const char* szStatus)
{
    if (s_pDoor && s_pDoor->pfnShow) s_pDoor->pfnShow(dwRange, szStatus);
    PumpMessages();
}

void ProgressStep(DWORD dwPosition)
{
    if (s_pDoor && s_pDoor->pfnStep) s_pDoor->pfnStep(dwPosition);
    PumpMessages();
}

void ProgressHide(void)
{
    if (s_pDoor && s_pDoor->pfnHide) s_pDoor->pfnHide();
}

int PumpMessages(void)
{
    PLAT_MSG msg;
    while (PlatPeekMessage(&msg, NULL, 0, 0, PM_NOREMOVE)) {
        if (msg.message == WM_QUIT) return 0;
        if (!PlatPeekMessage(&msg, NULL, 0, 0, PM_REMOVE)) break;
        PlatTranslateMessage(&msg);
        PlatDispatchMessage(&msg);
    }
    return 1;
}
