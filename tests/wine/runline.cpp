/*
 * runline.cpp - starts a program with an exact Windows command line, as the
 * installer starts its tools (CreateProcessA without an application name),
 * waits for it and exits with its exit code. The line comes from the
 * environment variable HERON_LINE, so no shell or Wine quoting touches it.
 *
 *   HERON_LINE='cabarc.exe -p x "C:\a.cab" * "C:\out\"' wine runline.exe
 *
 * Exit code: the program's, or 255 when it cannot be started.
 */
#include <windows.h>

#include <stdio.h>

int main(void)
{
    static char szLine[32768];
    STARTUPINFOA si;
    PROCESS_INFORMATION pi;
    DWORD dwCode = 255;
    if (!GetEnvironmentVariableA("HERON_LINE", szLine, sizeof(szLine))) {
        fputs("runline: HERON_LINE is not set\n", stderr);
        return 255;
    }
    memset(&si, 0, sizeof(si));
    si.cb = sizeof(si);
    if (!CreateProcessA(NULL, szLine, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
        fprintf(stderr, "runline: cannot start %s (%lu)\n", szLine, (unsigned long)GetLastError());
        return 255;
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    GetExitCodeProcess(pi.hProcess, &dwCode);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return (int)dwCode;
}
