/*
 * progress.h - the one door through which long work (recording a fix,
 * later the upgrade itself) shows its progress, without knowing the
 * wizard's controls. The wizard implements the door (WizardProgressDoor) and
 * opens it when it runs; without a door only the message drain runs.
 */
#ifndef HERON_SHELL_PROGRESS_H
#define HERON_SHELL_PROGRESS_H

#include "platform/platform.h"

typedef struct PROGRESS_DOOR {
    /* The current-file gauge appears with its range; szStatus is the status line. */
    void (*pfnShow)(DWORD dwRange, const char* szStatus);
    /* The gauge moves to dwPosition. */
    void (*pfnStep)(DWORD dwPosition);
    /* The gauge is hidden. */
    void (*pfnHide)(void);
} PROGRESS_DOOR;

/* The door of this run; NULL closes it. */
void ProgressSetDoor(const PROGRESS_DOOR* pDoor);
/* Through the door when one is open; Show and Step then drain the messages
 * that wait (PumpMessages), so the windows stay painted. */
void ProgressShow(DWORD dwRange, const char* szStatus);
void ProgressStep(DWORD dwPosition);
void ProgressHide(void);

/* Dispatches every waiting message. Returns 0 at once when the next message
 * is the quit request (which stays queued), 1 when the queue is empty. */
int PumpMessages(void);

#endif
