/*
 * entry.cpp - the process entry of the Windows build: WinMain hands the
 * command line (without the program name) to the installer's entry
 * function, HeronMain, after arming the faults of HERON_FAULT. Windows has
 * one front end, its own windows: none is chosen.
 */
#include "platform/win32/win32.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrev, LPSTR szCmdLine, int nShow)
{
    (void)hPrev;
    (void)nShow;
    if (!PosixFaultInitFromEnv()) return 1;
    return HeronMain((PLAT_HINSTANCE)hInstance, szCmdLine ? szCmdLine : "");
}
