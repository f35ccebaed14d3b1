/*
 * engine.h - the two file phases of an upgrade or revert: preparing every
 * entry under its temporary name, then committing the temporary files.
 *
 * CreateUpgradedFiles decides per entry slot what the commit does (replace,
 * remove or keep) and keeps that decision for RenameTempFiles; an empty
 * temporary file never means "remove" by itself.
 */
#ifndef HERON_ENGINE_ENGINE_H
#define HERON_ENGINE_ENGINE_H

#include "package/store.h"

/* 1 when every one of the dwEntries package entries was prepared. */
int CreateUpgradedFiles(DWORD dwEntries);

/* 1 when every prepared file of slots 1 to dwEntries was committed. */
int RenameTempFiles(const FILE_TABLE_ENTRY* pTable, DWORD dwEntries);

#endif
