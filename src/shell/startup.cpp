/*
 * startup.cpp - the entry function and the start-up sequence.
 */
#include "shell/startup.h"

#include "shell/globals.h"
#include "shell/log.h"

int HeronMain(HINSTANCE hInstance, const char* szCmdLine)
{
    (void)szCmdLine;
    ghInstance = hInstance;
    return 0;
}
