/*
 * frontends.h - the front ends of the Linux build, chosen by the program's
 * entry (posix/entry.cpp) before the installer runs. Tests may set one
 * themselves. Nothing outside src/platform/posix/ and the tests includes
 * this file.
 */
#ifndef HERON_PLATFORM_POSIX_FRONTENDS_H
#define HERON_PLATFORM_POSIX_FRONTENDS_H

#include "platform/ui.h"

/* The terminal front end (HERON_UI=tui). */
const PLAT_FRONTEND* PlatTuiFrontEnd(void);
/* The headless front end (HERON_UI=headless). */
const PLAT_FRONTEND* PlatHeadlessFrontEnd(void);
/* 1 when HERON_UI and HERON_ANSWERS mean something (unset, or as
 * platform/ui.h describes them), else 0 after a message on stderr. */
int PosixCheckUiEnv(void);
/* Headless: reads HERON_SCRIPT again from its first action. */
void PlatHeadlessReset(void);

#endif
