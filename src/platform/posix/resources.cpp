/*
 * resources.cpp - the package store of the Linux build: the container that
 * the package builder appends to the installer's executable (container.h).
 *
 * The executable is mapped read-only once; resource bytes point into the
 * mapping and stay valid for the whole run. Every offset and length of the
 * trailer and the index is checked against the file's real size before use:
 * a damaged container yields missing resources, never a read out of bounds.
 */
#include "platform/container.h"
#include "platform/posix/posix.h"

#include <elf.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

typedef struct RESENTRY {
    char szType[CONTAINER_MAX_TYPE + 1];
    DWORD dwId;
    const BYTE* pb;
    DWORD cb;
} RESENTRY;

static char s_szOverride[4096];
static int s_bLoaded;
static const BYTE* s_pbFile;
static size_t s_cbFile;
static int s_bMapped; /* s_pbFile is a mapping of ours, not the caller's bytes */
static RESENTRY* s_pEntries;
static size_t s_cEntries;
/* The index by type and id: entry number + 1 of the first entry of each,
 * open addressing; a package has thousands of resources. */
static size_t* s_piSlots;
static size_t s_cSlots;

static size_t ResHash(const char* szType, DWORD dwId)
{
    size_t h = 2166136261u ^ dwId;
    for (; *szType; szType++) h = (h ^ (unsigned char)*szType) * 16777619u;
    return h ^ (h >> 15);
}

/* Builds s_piSlots over s_pEntries; without memory the look-ups go one by one. */
static void ResIndex(void)
{
    size_t i;
    s_cSlots = 16;
    while (s_cSlots < s_cEntries * 2) s_cSlots *= 2;
    s_piSlots = (size_t*)calloc(s_cSlots, sizeof(size_t));
    if (!s_piSlots) {
        s_cSlots = 0;
        return;
    }
    for (i = 0; i < s_cEntries; i++) {
        size_t iSlot = ResHash(s_pEntries[i].szType, s_pEntries[i].dwId) & (s_cSlots - 1);
        int bSeen = 0;
        for (; s_piSlots[iSlot]; iSlot = (iSlot + 1) & (s_cSlots - 1)) {
            const RESENTRY* pOther = &s_pEntries[s_piSlots[iSlot] - 1];
            if (pOther->dwId == s_pEntries[i].dwId && strcmp(pOther->szType, s_pEntries[i].szType) == 0) bSeen = 1;
        }
        if (!bSeen) s_piSlots[iSlot] = i + 1; /* of two with the same type and id the first wins */
    }
}

static unsigned long long ResRead64(const BYTE* pb)
{
    unsigned long long ull = 0;
    int i;
    for (i = 7; i >= 0; i--) ull = (ull << 8) | pb[i];
    return ull;
}

static DWORD ResRead32(const BYTE* pb)
{
    return (DWORD)pb[0] | ((DWORD)pb[1] << 8) | ((DWORD)pb[2] << 16) | ((DWORD)pb[3] << 24);
}

/* The end of the ELF image (section and program headers and the data they
 * describe): payloads start at or after it. 0 for anything else. */
static size_t ResExecutableEnd(const BYTE* pb, size_t cb)
{
    size_t cbEnd = 0;
    if (cb < sizeof(Elf64_Ehdr) || memcmp(pb, ELFMAG, SELFMAG) != 0 || pb[EI_CLASS] != ELFCLASS64) return 0;
    Elf64_Ehdr eh;
    memcpy(&eh, pb, sizeof(eh));
    if (eh.e_shoff && eh.e_shentsize == sizeof(Elf64_Shdr) && eh.e_shoff <= cb &&
        (cb - eh.e_shoff) / sizeof(Elf64_Shdr) >= eh.e_shnum) {
        size_t i;
        cbEnd = (size_t)eh.e_shoff + (size_t)eh.e_shnum * sizeof(Elf64_Shdr);
        for (i = 0; i < eh.e_shnum; i++) {
            Elf64_Shdr sh;
            memcpy(&sh, pb + eh.e_shoff + i * sizeof(Elf64_Shdr), sizeof(sh));
            if (sh.sh_type != SHT_NOBITS && sh.sh_offset <= cb && sh.sh_size <= cb - sh.sh_offset &&
                sh.sh_offset + sh.sh_size > cbEnd)
                cbEnd = (size_t)(sh.sh_offset + sh.sh_size);
        }
    }
    if (eh.e_phoff && eh.e_phentsize == sizeof(Elf64_Phdr) && eh.e_phoff <= cb &&
        (cb - eh.e_phoff) / sizeof(Elf64_Phdr) >= eh.e_phnum) {
        size_t i;
        for (i = 0; i < eh.e_phnum; i++) {
            Elf64_Phdr ph;
            memcpy(&ph, pb + eh.e_phoff + i * sizeof(Elf64_Phdr), sizeof(ph));
            if (ph.p_offset <= cb && ph.p_filesz <= cb - ph.p_offset && ph.p_offset + ph.p_filesz > cbEnd)
                cbEnd = (size_t)(ph.p_offset + ph.p_filesz);
        }
    }
    return cbEnd <= cb ? cbEnd : 0;
}

/* Reads the index of a container held in pb[0..cb). Returns the number of
 * usable entries written to *ppEntries (malloc'd), 0 when there is no package. */
static size_t ResParse(const BYTE* pb, size_t cb, RESENTRY** ppEntries)
{
    const BYTE* pTrailer;
    unsigned long long ullIndex;
    DWORD cIndex, i;
    size_t cbExe, iPos, cUsable = 0;
    RESENTRY* pEntries;

    *ppEntries = NULL;
    if (cb < CONTAINER_TRAILER_SIZE) return 0;
    pTrailer = pb + cb - CONTAINER_TRAILER_SIZE;
    if (memcmp(pTrailer, CONTAINER_MAGIC, 8) != 0 || ResRead32(pTrailer + 8) != CONTAINER_VERSION) return 0;
    ullIndex = ResRead64(pTrailer + 16);
    cIndex = ResRead32(pTrailer + 24);
    cbExe = ResExecutableEnd(pb, cb);
    if (ullIndex < cbExe || ullIndex > cb - CONTAINER_TRAILER_SIZE) return 0;
    /* Each entry takes at least 29 bytes: bound the count before allocating. */
    if (cIndex > (cb - CONTAINER_TRAILER_SIZE - ullIndex) / 29 + 1) return 0;
    pEntries = (RESENTRY*)calloc(cIndex ? cIndex : 1, sizeof(RESENTRY));
    if (!pEntries) return 0;

    iPos = (size_t)ullIndex;
    for (i = 0; i < cIndex; i++) {
        size_t cbLeft = cb - CONTAINER_TRAILER_SIZE - iPos;
        DWORD cchType;
        unsigned long long ullOffset, ullSize;
        if (cbLeft < 4) break;
        cchType = ResRead32(pb + iPos);
        if (cchType < 1 || cchType > CONTAINER_MAX_TYPE || cbLeft < 4 + (size_t)cchType + 24) break;
        RESENTRY* pEntry = &pEntries[cUsable];
        memcpy(pEntry->szType, pb + iPos + 4, cchType);
        pEntry->szType[cchType] = 0;
        iPos += 4 + cchType;
        pEntry->dwId = ResRead32(pb + iPos);
        ullOffset = ResRead64(pb + iPos + 8);
        ullSize = ResRead64(pb + iPos + 16);
        iPos += 24;
        /* The payload area lies between the executable part and the index. */
        if (ullOffset < cbExe || ullOffset > ullIndex || ullSize > ullIndex - ullOffset || ullSize > 0xFFFFFFFFull)
            continue;
        if (memchr(pEntry->szType, 0, cchType)) continue;
        pEntry->pb = pb + ullOffset;
        pEntry->cb = (DWORD)ullSize;
        cUsable++;
    }
    *ppEntries = pEntries;
    return cUsable;
}

static void ResLoad(void)
{
    char szPath[4096];
    int fd;
    struct stat st;
    if (s_bLoaded) return;
    s_bLoaded = 1;
    if (s_szOverride[0]) {
        PosixCopy(szPath, sizeof(szPath), s_szOverride);
    } else {
        ssize_t cb = readlink("/proc/self/exe", szPath, sizeof(szPath) - 1);
        if (cb <= 0) return;
        szPath[cb] = 0;
    }
    fd = open(szPath, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    if (fstat(fd, &st) == 0 && st.st_size > 0) {
        void* pv = mmap(NULL, (size_t)st.st_size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (pv != MAP_FAILED) {
            s_pbFile = (const BYTE*)pv;
            s_cbFile = (size_t)st.st_size;
            s_bMapped = 1;
            s_cEntries = ResParse(s_pbFile, s_cbFile, &s_pEntries);
            ResIndex();
        }
    }
    close(fd);
}

/* The pages of the mapping are given back to the kernel after every few
 * megabytes of resources handed out, so that the resident part stays small
 * however large the package. The bytes stay valid: the mapping is read-only
 * and private, and a later access reads them in again from the file. */
#define RES_RELEASE_AFTER (4u << 20)
static size_t s_cbSinceRelease;

static void ResReleasePages(void)
{
    if (s_pbFile && s_cbFile && s_bMapped) madvise((void*)s_pbFile, s_cbFile, MADV_DONTNEED);
    s_cbSinceRelease = 0;
}

void PlatSetModuleOverride(const char* szHostPath)
{
    if (s_pbFile && s_bMapped) munmap((void*)s_pbFile, s_cbFile);
    free(s_pEntries);
    free(s_piSlots);
    s_piSlots = NULL;
    s_cSlots = 0;
    s_pbFile = NULL;
    s_cbFile = 0;
    s_bMapped = 0;
    s_pEntries = NULL;
    s_cEntries = 0;
    s_bLoaded = 0;
    s_cbSinceRelease = 0;
    PosixCopy(s_szOverride, sizeof(s_szOverride), szHostPath ? szHostPath : "");
}

/* The first entry of a type and id, NULL when none. */
static const RESENTRY* ResLookup(const char* szType, DWORD dwId)
{
    size_t i;
    if (s_cSlots) {
        for (i = ResHash(szType, dwId) & (s_cSlots - 1); s_piSlots[i]; i = (i + 1) & (s_cSlots - 1)) {
            const RESENTRY* pEntry = &s_pEntries[s_piSlots[i] - 1];
            if (pEntry->dwId == dwId && strcmp(pEntry->szType, szType) == 0) return pEntry;
        }
        return NULL;
    }
    for (i = 0; i < s_cEntries; i++)
        if (s_pEntries[i].dwId == dwId && strcmp(s_pEntries[i].szType, szType) == 0) return &s_pEntries[i];
    return NULL;
}

void PlatSetModuleImage(const BYTE* pb, size_t cb)
{
    PlatSetModuleOverride(NULL);
    s_bLoaded = 1;
    if (!pb) return;
    s_pbFile = pb;
    s_cbFile = cb;
    s_cEntries = ResParse(s_pbFile, s_cbFile, &s_pEntries);
    ResIndex();
}

const BYTE* PlatFindResource(const char* szType, DWORD dwId, DWORD* pcbSize)
{
    const RESENTRY* pEntry;
    if (pcbSize) *pcbSize = 0;
    if (PlatFaultHit("FindResource")) return NULL;
    ResLoad();
    pEntry = ResLookup(szType, dwId);
    if (pEntry) {
        /* Released before the caller reads: nothing read twice. */
        if (s_cbSinceRelease >= RES_RELEASE_AFTER) ResReleasePages();
        /* A fault maps the neighbouring pages too: each resource counts 64 KB more. */
        s_cbSinceRelease += pEntry->cb + 65536;
        if (pcbSize) *pcbSize = pEntry->cb;
        return pEntry->pb;
    }
    PlatSetLastError(1814); /* ERROR_RESOURCE_NAME_NOT_FOUND */
    return NULL;
}

int PlatLoadString(DWORD dwId, char* szBuf, int cchBuf)
{
    DWORD cb = 0;
    const BYTE* pb;
    size_t cch;
    if (!szBuf || cchBuf <= 0) return 0;
    szBuf[0] = 0;
    pb = PlatFindResource("STRING", dwId, &cb);
    if (!pb || cb == 0) return 0;
    cch = cb < (DWORD)(cchBuf - 1) ? cb : (size_t)(cchBuf - 1);
    memcpy(szBuf, pb, cch);
    szBuf[cch] = 0;
    /* A NUL inside the text ends it, as in a resource string. */
    return (int)strlen(szBuf);
}
