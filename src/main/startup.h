/*
 * startup.h - the installer's entry function, the command line and the run
 * modes.
 */
#ifndef HERON_MAIN_STARTUP_H
#define HERON_MAIN_STARTUP_H

#include "platform/platform.h"

/* Splits the command line into words and sets gwOptions and gszRevertLabel;
 * runs the extraction itself when it meets "extract". 1 when every word was
 * understood, 0 otherwise. */
int ParseCommandLine(const char* szCmdLine);

#endif
