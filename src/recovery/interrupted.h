/*
 * interrupted.h - what a run that was stopped (power cut, killed process)
 * left half done, put back before the next run identifies the installation.
 */
#ifndef HERON_RECOVERY_INTERRUPTED_H
#define HERON_RECOVERY_INTERRUPTED_H

/* For every target of every package entry that is missing: its copy that the
 * stopped run kept for its own rollback ("UPRB%04d%02d.TMP" in the program
 * directory), else the installed file it moved aside ("%s.hf"), is put back
 * in its place. Returns the number of files put back; each is logged. */
int PutBackInterruptedFiles(void);

#endif
