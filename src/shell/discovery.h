/*
 * discovery.h - finding the installation: program directory, data
 * directories, system directory, and two presence tests in the program
 * directory.
 *
 * Results go to the globals of shell/globals.h: gpProgramDir, gpQuillData
 * with giPartitions, gpDataDirValid, gpSystemDir. Directory texts never end
 * in a backslash; those read from the registry, the search path or QUILL.INI
 * are in upper case (a to z only). None of these shows a message.
 */
#ifndef HERON_SHELL_DISCOVERY_H
#define HERON_SHELL_DISCOVERY_H

#include <stddef.h>

/* The product key, its sibling's key, and the fallback program directory. */
#define DISCOVERY_PRODUCT_KEY "Software\\Vireo\\Garnet\\"
#define DISCOVERY_PARLANCE_KEY "Software\\Vireo\\Parlance Mux\\"
#define DISCOVERY_DEFAULT_PROGRAM_DIR "C:\\VIREO\\GARNET"

/*
 * Fills gpProgramDir (allocated, 261 bytes, on the first call; reused after)
 * from the product key's "Path", else from where "QSERVER.EXE" is found on
 * the search path, else from the Parlance key's "Path". Returns 1 when one
 * of them gave it; 0 when the default "C:\VIREO\GARNET" was put in (or the
 * buffer could not be allocated). Logs only the Parlance key lines: "NOT
 * found Parlance Key", "Found Parlance Key", "Found string Path in Parlance
 * Key", "NOT found string BasePath in Parlance Key" (indent 0).
 */
int FindProgramDir(void);

/*
 * Rebuilds gpQuillData and giPartitions: one entry per subkey of the product
 * key (except "5.0") that has a "DataPath"; without any, a QSD package
 * (string 42 "QSD") gets one uncounted entry (giPartitions 0) holding the
 * program directory, any other package one entry from QUILL.INI ([Quill]
 * Directory, default "NULL"; the file on the search path, else the one in
 * the Windows directory), after logging string 42 (indent 0). Allocates
 * gpDataDirValid (one zero byte per subkey) when the product key is read.
 * The earlier list and gpDataDirValid are not released (their owner, the
 * exit work or the wizard, does that). Returns 1, or 0 when the first entry
 * is "NULL" (giPartitions is then 1).
 */
int FindDataDirs(void);

/*
 * Fills gpSystemDir (allocated, 261 bytes, on the first call) with the
 * platform's system directory. 0 when the platform gives none; the buffer
 * is then empty.
 */
int FindSystemDir(void);

/*
 * 1 when the package is a custom fix (string 42 "Custom Fix": the disk is not
 * touched), when the program directory is not set, or when the key file
 * (string 1 in the program directory) opens for reading. Logs the tested path
 * (indent 0), and "Checksum file above doesn't exist" (indent 0) when it
 * fails; 0 then.
 */
int KeyFileExists(void);

/* 1 when the program directory is not set or "PATCH.INI" in it opens for
 * reading (whatever gpszPatchIni names); else 0. No log lines. */
int PatchIniExists(void);

/*
 * The search-path look-up: szName in the current directory, then in each
 * directory of PATH in order (Linux-form entries are turned into their
 * Windows form, relative ones are taken from the current directory). Writes
 * the full Windows path of the first regular file found ("%s\\%s" of the
 * directory and szName) and returns 1; else (also when the path does not
 * fit in cbOut) writes an empty text and returns 0. No log lines.
 */
int SearchPathFile(const char* szName, char* szOut, size_t cbOut);

/* "%s\\%s" of the program directory and string 1 (the key file). 0 (and an
 * empty text) when the program directory is not set or the path would not
 * fit; never cuts a path. */
int KeyFilePath(char* szOut, size_t cbOut);

#endif
