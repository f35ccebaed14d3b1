/*
 * version.cpp - file version resources on Linux (version.h).
 *
 * The file is mapped read-only for the call and parsed by the pure reader of
 * platform/pe.h; nothing is cached between calls. The version resource is
 * the one of type 16 and id 1 (VS_VERSION_INFO), neutral language first, as
 * the Win32 loader picks it.
 */
#include "platform/version.h"

#include "platform/pe.h"
#include "platform/posix/posix.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#define VERSION_HOST_MAX 4096
#define VS_VERSION_INFO_ID 1

static size_t VerAlign4(size_t cb) { return (cb + 3) & ~(size_t)3; }

/*
 * Maps the file and finds its version block. 1 with the mapping (to be
 * released with munmap(*ppvMap, *pcbMap)), the block's offset and its length;
 * 0 with the last error set (2/3, 5, 1812, 1813).
 */
static int VerLocate(const char* szPath, void** ppvMap, size_t* pcbMap, size_t* poffBlock, size_t* pcbBlock)
{
    char szHost[VERSION_HOST_MAX];
    struct stat st;
    int fd;
    void* pvMap;
    PE_IMAGE image;
    PE_RESOURCE res;
    PE_VERSION_VALUE root;
    size_t cbBlock;

    if (!szPath || !PlatHostPath(szPath, szHost, sizeof(szHost))) return 0;
    fd = open(szHost, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return PosixFail(errno, szHost);
    if (fstat(fd, &st) != 0) {
        int nErr = errno;
        close(fd);
        return PosixFail(nErr, szHost);
    }
    if (S_ISDIR(st.st_mode)) {
        close(fd);
        PlatSetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    if (!S_ISREG(st.st_mode) || st.st_size < 64) {
        close(fd);
        PlatSetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return 0;
    }
    pvMap = mmap(NULL, (size_t)st.st_size, PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    if (pvMap == MAP_FAILED) return PosixFail(errno, szHost);

    if (!PeParseImage((const BYTE*)pvMap, (size_t)st.st_size, &image)) {
        munmap(pvMap, (size_t)st.st_size);
        PlatSetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return 0;
    }
    if (!PeFindResource(&image, PE_RT_VERSION, VS_VERSION_INFO_ID, PE_ANY_LANGUAGE, &res) ||
        (cbBlock = PeVersionBlockSize(image.pbFile + res.offData, res.cbData)) == 0 ||
        !PeVersionQuery(image.pbFile + res.offData, cbBlock, "", &root)) {
        munmap(pvMap, (size_t)st.st_size);
        PlatSetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return 0;
    }
    *ppvMap = pvMap;
    *pcbMap = (size_t)st.st_size;
    *poffBlock = res.offData;
    *pcbBlock = cbBlock;
    return 1;
}

DWORD PlatGetFileVersionInfoSize(const char* szPath, DWORD* pdwHandle)
{
    void* pvMap;
    size_t cbMap, offBlock, cbBlock;
    if (pdwHandle) *pdwHandle = 0;
    if (PlatFaultHit("GetFileVersionInfoSize")) return 0;
    if (!VerLocate(szPath, &pvMap, &cbMap, &offBlock, &cbBlock)) return 0;
    munmap(pvMap, cbMap);
    return (DWORD)(VerAlign4(cbBlock) + cbBlock);
}

BOOL PlatGetFileVersionInfo(const char* szPath, DWORD dwHandle, DWORD cbData, void* pvData)
{
    void* pvMap;
    size_t cbMap, offBlock, cbBlock;
    (void)dwHandle;
    if (PlatFaultHit("GetFileVersionInfo")) return 0;
    if (!pvData) {
        PlatSetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!VerLocate(szPath, &pvMap, &cbMap, &offBlock, &cbBlock)) return 0;
    if (cbData < VerAlign4(cbBlock) + cbBlock) {
        munmap(pvMap, cbMap);
        PlatSetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    memcpy(pvData, (const BYTE*)pvMap + offBlock, cbBlock);
    memset((BYTE*)pvData + cbBlock, 0, cbData - cbBlock);
    munmap(pvMap, cbMap);
    return 1;
}

/* 1 when the first component of the path is StringFileInfo: its values are
 * texts that the A-call hands out converted. */
static int VerIsStringPath(const char* szSubBlock)
{
    while (*szSubBlock == '\\') szSubBlock++;
    return strncasecmp(szSubBlock, "StringFileInfo", 14) == 0 &&
           (szSubBlock[14] == '\\' || szSubBlock[14] == 0);
}

BOOL PlatVerQueryValue(void* pvBlock, const char* szSubBlock, void** ppvBuffer, UINT* puLen)
{
    BYTE* pb = (BYTE*)pvBlock;
    size_t cbBlock;
    PE_VERSION_VALUE value;

    if (ppvBuffer) *ppvBuffer = NULL;
    if (puLen) *puLen = 0;
    if (!pb || !szSubBlock || !ppvBuffer || !puLen) return 0;
    /* The block's own length is all that bounds it, as on Windows: the
     * caller passes what PlatGetFileVersionInfo filled. */
    cbBlock = PeVersionBlockSize(pb, 0xFFFF);
    if (cbBlock == 0 || !PeVersionQuery(pb, cbBlock, szSubBlock, &value)) return 0;
    if (value.cbValue == 0) return 0;

    if (VerIsStringPath(szSubBlock)) {
        char* szOut = (char*)pb + VerAlign4(cbBlock) + value.offValue;
        size_t cch = 0, i;
        for (i = 0; 2 * i + 2 <= value.cbValue; i++) {
            WORD wUnit = PeRead16(pb + value.offValue + 2 * i);
            if (wUnit == 0) break;
            szOut[cch++] = wUnit <= 0xFF ? (char)wUnit : '?';
        }
        szOut[cch] = 0;
        *ppvBuffer = szOut;
        *puLen = (UINT)(cch + 1);
        return 1;
    }
    *ppvBuffer = pb + value.offValue;
    *puLen = value.cbValue;
    return 1;
}

typedef struct VER_LOCALE {
    const char* szPrefix;
    WORD wLangId;
} VER_LOCALE;

/* Locale names to Windows language ids; the longer prefix first. */
static const VER_LOCALE s_aLocales[] = {
    {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009}, {"en", 0x0409},
    {"de_AT", 0x0C07}, {"de_CH", 0x0807}, {"de", 0x0407},
    {"fr_BE", 0x080C}, {"fr_CA", 0x0C0C}, {"fr_CH", 0x100C}, {"fr", 0x040C},
    {"es_MX", 0x080A}, {"es", 0x0C0A},
    {"it", 0x0410}, {"nl_BE", 0x0813}, {"nl", 0x0413}, {"pt_BR", 0x0416}, {"pt", 0x0816},
    {"sv", 0x041D}, {"da", 0x0406}, {"nb", 0x0414}, {"no", 0x0414}, {"fi", 0x040B},
    {"pl", 0x0415}, {"cs", 0x0405}, {"hu", 0x040E}, {"ru", 0x0419}, {"tr", 0x041F},
    {"ja", 0x0411}, {"ko", 0x0412}, {"zh_TW", 0x0404}, {"zh", 0x0804},
};

WORD PlatGetUserDefaultLangID(void)
{
    static const char* const s_apszVars[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    const char* sz = getenv("HERON_LANGID");
    size_t i;
    if (sz && *sz) {
        char* pEnd;
        unsigned long ul = strtoul(sz, &pEnd, 16);
        if (*pEnd == 0 && ul > 0 && ul <= 0xFFFF) return (WORD)ul;
    }
    for (i = 0; i < sizeof(s_apszVars) / sizeof(s_apszVars[0]); i++) {
        sz = getenv(s_apszVars[i]);
        if (sz && *sz) break;
        sz = NULL;
    }
    if (sz) {
        for (i = 0; i < sizeof(s_aLocales) / sizeof(s_aLocales[0]); i++) {
            size_t cch = strlen(s_aLocales[i].szPrefix);
            if (strncmp(sz, s_aLocales[i].szPrefix, cch) == 0 &&
                (sz[cch] == 0 || sz[cch] == '_' || sz[cch] == '.' || sz[cch] == '@'))
                return s_aLocales[i].wLangId;
        }
    }
    return 0x0409;
}
