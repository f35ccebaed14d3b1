/*
 * running.h - the running-product check and the service registration.
 */
#ifndef HERON_SHELL_RUNNING_H
#define HERON_SHELL_RUNNING_H

/* The string id start-up shows while the product runs. */
#define RUNNING_STRING_ID 8
/* The statistics service's key under HKEY_LOCAL_MACHINE, and the product's
 * batch file that registers it. */
#define RUNNING_SERVICE_KEY "SYSTEM\\CurrentControlSet\\Services\\quilltat"
#define RUNNING_SERVICE_BATCH "quillreg.bat"

/*
 * 8 (RUNNING_STRING_ID) when the key file (string 1 in the program
 * directory) exists but cannot be opened for update: a running product holds
 * it, it is read-only, or access is denied. 0 when the program directory is
 * not set, the key file is missing, or it opens (it is closed at once,
 * unchanged). Reads gpProgramDir and the string table; no log lines.
 */
int ProductRunning(void);

/*
 * Makes sure the statistics service's key exists. When it is missing, runs
 * "\"<program dir>\\quillreg.bat\" \"<program dir>\"" as a child process and
 * waits for it. Returns 1 when the key exists (before or after), else 0.
 * Logs (indent 0) the quoted batch path, then either the command line and
 * "Failed to execute %s: %d", or " %s: exited with %d" followed by "Entries
 * for quilltat were created" or "Entries for quilltat were not created,
 * please run %s manually". Nothing is logged when the key already exists.
 */
int RegisterStatService(void);

#endif
