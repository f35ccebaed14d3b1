/*
 * discovery.h - finding the installation: program directory, data
 * directories, system directory, and two presence tests.
 */
#ifndef HERON_SHELL_DISCOVERY_H
#define HERON_SHELL_DISCOVERY_H

int FindProgramDir(void);
int FindDataDirs(void);
int FindSystemDir(void);
int KeyFileExists(void);
int PatchIniExists(void);

#endif
