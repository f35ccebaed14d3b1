/*
 * engine_private.h - what the two file phases share: the per-target
 * decisions that CreateUpgradedFiles makes and RenameTempFiles carries out,
 * the transforms on open files, the cabinet-tree steps, and small file helpers.
 *
 * Decisions: one byte per (entry slot, target). A slot's targets are, in
 * order, one per data directory (directory 2) or one. A target without a
 * decision is never touched by the commit.
 */
#ifndef HERON_ENGINE_ENGINE_PRIVATE_H
#define HERON_ENGINE_ENGINE_PRIVATE_H

#include "package/store.h"
#include "platform/platform.h"

#define ENGINE_UNTOUCHED 0    /* no decision: the commit leaves the target alone */
#define ENGINE_REPLACE 1      /* the temporary file takes the target's place */
#define ENGINE_REMOVE 2       /* the target is to be absent afterwards */
#define ENGINE_KEEP 3         /* the target stays exactly as it is */
#define ENGINE_CAB_TOOLKIT 4  /* the toolkit tree is refilled from the temporary cabinet */
#define ENGINE_CAB_PLUGINS 5  /* the plug-in tree is refilled from the temporary cabinet */

/* The transforms' results besides 1 and 0. */
#define XFORM_NOT_APPLICABLE 2

#define ENGINE_TOOLKIT_CAB "gar-dojo.cab"
#define ENGINE_PLUGINS_CAB "osgi_plugins.cab"
#define ENGINE_TOOLKIT_TREE "garnet\\js\\dojo-1.3.2"
#define ENGINE_PLUGINS_TREE "osgi\\shared\\eclipse\\plugins"
#define ENGINE_CAB_TOOL "cabarc.exe"

/* ---- Decisions (engine.cpp) ---------------------------------------------- */

/* Forgets earlier decisions and makes room for slots 1..dwSlots with
 * iTargets targets each. 1, or 0 on lack of memory. */
int EngineResetDecisions(DWORD dwSlots, int iTargets);
void EngineSetDecision(DWORD dwSlot, int iTarget, int iAction);
int EngineDecision(DWORD dwSlot, int iTarget);
/* 1 once EngineResetDecisions prepared room for at least dwSlots slots. */
int EngineDecisionsReady(DWORD dwSlots);
/* Frees the decisions (tests, end of run). */
void EngineFreeDecisions(void);

/* ---- Names (engine.cpp) --------------------------------------------------- */

/* 1 when a package name is a relative name inside its directory: not empty,
 * no drive or ":", no leading "\" or "/", no "." or ".." component, no empty
 * component, at most 259 characters. */
int EngineNameIsSafe(const char* szName);
/* The targets of an entry: iTargets paths of 261 bytes in szTargets. 0 when
 * a path does not fit (logged, indent 1). Reads gpQuillData, giPartitions,
 * gpSystemDir. */
int EngineTargets(const char* szName, DWORD dwDirectory, char (*szTargets)[261], int* piTargets);
/* The number of targets of a directory code. */
int EngineTargetCount(DWORD dwDirectory);
/* "UPTMP%04d.TMP" of the entry number. */
void EngineTempName(DWORD dwEntry, char* szOut, size_t cbOut);
/* The file name less the extension of its last component (a dot in a
 * directory name is no extension), then "%04d.IIB": 0 when it does not fit. */
int EngineBackupBeside(const char* szPath, DWORD dwEntry, char* szOut, size_t cbOut);
/* 1 when szPath contains szPart without regard to case. */
int EnginePathHas(const char* szPath, const char* szPart);

/* ---- Files (engine.cpp) --------------------------------------------------- */

/* Copies szSource into the new file szNew (created or emptied). A failed
 * copy (a read or write error, a full disk) removes szNew and returns 0 with
 * the error kept. Logs nothing. */
int EngineCopyNew(const char* szSource, const char* szNew);
/* Copies szSource to szDest through the neighbour "%s.UPN", which replaces
 * szDest only once complete: a failed copy leaves szDest as it was. */
int EngineCopyFile(const char* szSource, const char* szDest);
/* The CRC-32 and size of a file; 0 when it cannot be opened or read. */
int EngineFileCrc(const char* szPath, DWORD* pdwCrc, DWORD* pdwSize);
/* Drives ghGaugeFile (range 102 or position 103) and drains messages. */
void EngineGauge(HWND hGauge, int iCommand, DWORD dwValue);
/* 1 when the run asks no questions (NOUSER). */
int EngineUnattended(void);

/* ---- Transforms on open files (upgradefile.cpp) ---------------------------- */

/* 1 when the source has the size and CRC-32 given (its position is back at
 * its start afterwards). */
int EngineSourceMatches(PLATFILE* pfSource, DWORD dwSize, DWORD dwCrc);
/* The file after the fix into pfOut: 1 done, 0 failed (damaged payload,
 * short source, write error), XFORM_NOT_APPLICABLE when a kind-1 source is
 * not the expected version (logged; what was written is to be thrown away:
 * the source's CRC-32 is taken while the transform reads it). Drives
 * ghGaugeFile. */
int UpgradeFile(PLATFILE* pfSource, PLATFILE* pfOut, const BYTE* pbPayload, DWORD cbPayload,
                const FILEENTRY_FIELDS* pFields, const char* szName);
/* The CRC-32 and size of what the last UpgradeFile or RevertFile wrote when
 * it succeeded through its streams; 0 when not known (then the file is
 * read back). */
int EngineLastOutput(DWORD* pdwCrc, DWORD* pdwSize);
/* The file before the fix; same results (kind 2 writes nothing: whole files
 * come back from their backups). */
int RevertFile(PLATFILE* pfSource, PLATFILE* pfOut, const BYTE* pbPayload, DWORD cbPayload,
               const FILEENTRY_FIELDS* pFields, const char* szName);

/* ---- Cabinet trees (cabinet.cpp) -------------------------------------------- */

/* Packs the tree that a cabinet target stands for into szArchive (upgrade,
 * before anything is replaced). An existing archive is kept as it is (a
 * second run must not overwrite the first backup). 1 when the archive exists
 * afterwards and the tool exited 0. szDataDir is the data directory for the
 * toolkit tree, NULL for the plug-in tree. */
int CabinetBackupTree(int iAction, const char* szDataDir, const char* szTarget, const char* szArchive);
/* Replaces the tree by the contents of the cabinet szTemp (a name in the
 * program directory): the cabinet is copied to the target, the tree emptied
 * and refilled by the tool, the copy deleted. 1 when the tool exited 0. */
int CabinetRefillTree(int iAction, const char* szDataDir, const char* szTarget, const char* szTemp);
/* The data directory (gpQuillData entry) a toolkit target lies in, NULL for
 * other targets. */
const char* CabinetDataDirOf(DWORD dwDirectory, int iTarget);

#endif
