/*
 * sys/mman.h for the Windows build of the tools: read-only private mappings
 * of a whole file through CreateFileMapping, which is all the tools ask of
 * mmap. Force-included POSIX names are in tools/wincompat/posix_compat.h.
 */
#ifndef HERON_WINCOMPAT_SYS_MMAN_H
#define HERON_WINCOMPAT_SYS_MMAN_H

#include <stddef.h>
#include <sys/types.h>

#define PROT_READ 1
#define MAP_PRIVATE 2
#define MAP_FAILED ((void*)-1)

#ifdef __cplusplus
extern "C" {
#endif
void* mmap(void* pvAddr, size_t cb, int nProt, int nFlags, int fd, off_t off);
int munmap(void* pv, size_t cb);
#ifdef __cplusplus
}
#endif

#endif
