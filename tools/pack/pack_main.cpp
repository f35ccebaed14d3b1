/*
 * pack_main.cpp - heron-pack, the package builder's command line.
 *
 *   heron-pack build MANIFEST -o PACKAGE [--stub INSTALLER] [--version-tool EXE]
 *                    [--cabinet-tool EXE] [--quiet]
 *   heron-pack implode [--ascii] [--dict 1024|2048|4096] IN OUT
 *   heron-pack explode IN OUT
 *   heron-pack list PACKAGE
 *
 * Exit status: 0 success, 2 bad input or usage; explode exits with the
 * decoder's return code 0 to 4 (and 5 when a file cannot be read or written).
 */
#include "pack.h"

#include "implode.h"
#include "package/explode/explode.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void PackUsage(FILE* fp)
{
    fputs("usage:\n"
          "  heron-pack build MANIFEST -o PACKAGE [--stub INSTALLER] [--version-tool EXE]\n"
          "                   [--cabinet-tool EXE] [--quiet]\n"
          "  heron-pack implode [--ascii] [--dict 1024|2048|4096] IN OUT\n"
          "  heron-pack explode IN OUT\n"
          "  heron-pack list PACKAGE\n"
          "See docs/package-builder.md for the manifest.\n",
          fp);
}

/* A usage error: what was wrong, then the usage. */
static int PackUsageError(const std::string& strWhy)
{
    fprintf(stderr, "heron-pack: %s\n", strWhy.c_str());
    PackUsage(stderr);
    return 2;
}

static int PackWriteFile(const char* szPath, const uint8_t* pb, size_t cb)
{
    FILE* fp = fopen(szPath, "wb");
    if (!fp) {
        fprintf(stderr, "heron-pack: cannot create %s: %s\n", szPath, strerror(errno));
        return 0;
    }
    if ((cb && fwrite(pb, 1, cb, fp) != cb) || fclose(fp) != 0) {
        fprintf(stderr, "heron-pack: cannot write %s\n", szPath);
        return 0;
    }
    return 1;
}

static int PackImplodeCommand(int argc, char** argv)
{
    int bAscii = 0;
    unsigned int cbDict = 4096;
    const char* aszFiles[2];
    int cFiles = 0;
    for (int i = 0; i < argc; i++) {
        if (strcmp(argv[i], "--ascii") == 0) {
            bAscii = 1;
        } else if (strcmp(argv[i], "--dict") == 0 && i + 1 < argc) {
            cbDict = (unsigned int)strtoul(argv[++i], NULL, 10);
            if (cbDict != 1024 && cbDict != 2048 && cbDict != 4096) {
                fprintf(stderr, "heron-pack: --dict takes 1024, 2048 or 4096\n");
                return 2;
            }
        } else if (argv[i][0] == '-') {
            return PackUsageError(std::string("unknown option ") + argv[i]);
        } else if (cFiles < 2) {
            aszFiles[cFiles++] = argv[i];
        } else {
            return PackUsageError(std::string("implode takes IN and OUT: ") + argv[i] + " is a third");
        }
    }
    if (cFiles != 2) return PackUsageError("implode takes IN and OUT");
    std::vector<uint8_t> vIn;
    std::string strError;
    if (!PackReadFile(aszFiles[0], &vIn, &strError)) {
        fprintf(stderr, "heron-pack: %s\n", strError.c_str());
        return 2;
    }
    unsigned char* pbOut = NULL;
    size_t cbOut = 0;
    if (!Implode(vIn.data(), vIn.size(), bAscii, cbDict, &pbOut, &cbOut)) {
        fprintf(stderr, "heron-pack: compression failed\n");
        return 2;
    }
    int bOk = PackWriteFile(aszFiles[1], pbOut, cbOut);
    ImplodeFree(pbOut);
    return bOk ? 0 : 2;
}

struct PackExplodeContext {
    const std::vector<uint8_t>* pvIn;
    size_t iIn;
    std::vector<uint8_t> vOut;
};

static unsigned int PackExplodeRead(char* pbBuf, unsigned int* pcbSize, void* pContext)
{
    PackExplodeContext* pCtx = (PackExplodeContext*)pContext;
    size_t cbLeft = pCtx->pvIn->size() - pCtx->iIn;
    unsigned int cb = *pcbSize < cbLeft ? *pcbSize : (unsigned int)cbLeft;
    memcpy(pbBuf, pCtx->pvIn->data() + pCtx->iIn, cb);
    pCtx->iIn += cb;
    *pcbSize = cb;
    return cb;
}

static void PackExplodeWrite(char* pbBuf, unsigned int* pcbSize, void* pContext)
{
    PackExplodeContext* pCtx = (PackExplodeContext*)pContext;
    pCtx->vOut.insert(pCtx->vOut.end(), (uint8_t*)pbBuf, (uint8_t*)pbBuf + *pcbSize);
}

static int PackExplodeCommand(int argc, char** argv)
{
    if (argc != 2) return PackUsageError("explode takes IN and OUT");
    std::vector<uint8_t> vIn;
    std::string strError;
    if (!PackReadFile(argv[0], &vIn, &strError)) {
        fprintf(stderr, "heron-pack: %s\n", strError.c_str());
        return 5;
    }
    PackExplodeContext ctx;
    ctx.pvIn = &vIn;
    ctx.iIn = 0;
    std::vector<char> vWork(EXPLODE_WORK_SIZE, 0);
    unsigned int uResult = Explode(PackExplodeRead, PackExplodeWrite, vWork.data(), &ctx);
    /* Every byte the decoder produced is written, also after a failure. */
    if (!PackWriteFile(argv[1], ctx.vOut.data(), ctx.vOut.size())) return 5;
    if (uResult != 0) fprintf(stderr, "heron-pack: the decoder returned %u\n", uResult);
    return (int)uResult;
}

int main(int argc, char** argv)
{
    if (argc < 2) return PackUsageError("a command is needed");
    if (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0) {
        PackUsage(stdout);
        return 0;
    }
    if (strcmp(argv[1], "--version") == 0) {
        puts("heron-pack FI1.01");
        return 0;
    }
    if (strcmp(argv[1], "build") == 0) {
        const char* szManifest = NULL;
        const char* szOutput = NULL;
        const char* szStub = NULL;
        const char* szVersionTool = NULL;
        const char* szCabinetTool = NULL;
        int bQuiet = 0;
        for (int i = 2; i < argc; i++) {
            if (strcmp(argv[i], "-o") == 0 || strcmp(argv[i], "--stub") == 0 ||
                strcmp(argv[i], "--version-tool") == 0 || strcmp(argv[i], "--cabinet-tool") == 0) {
                if (i + 1 >= argc) return PackUsageError(std::string(argv[i]) + " needs a file name");
                (strcmp(argv[i], "-o") == 0       ? szOutput
                 : strcmp(argv[i], "--stub") == 0 ? szStub
                 : argv[i][2] == 'v'              ? szVersionTool
                                                  : szCabinetTool) = argv[i + 1];
                i++;
            } else if (strcmp(argv[i], "--quiet") == 0) {
                bQuiet = 1;
            } else if (argv[i][0] == '-') {
                return PackUsageError(std::string("unknown option ") + argv[i]);
            } else if (!szManifest) {
                szManifest = argv[i];
            } else {
                return PackUsageError(std::string("one manifest only: ") + argv[i] + " is a second");
            }
        }
        if (!szManifest) return PackUsageError("build needs a manifest");
        if (!szOutput) return PackUsageError("build needs -o PACKAGE");
        PackSetTools(szVersionTool, szCabinetTool);
        return PackBuild(szManifest, szOutput, szStub, bQuiet);
    }
    if (strcmp(argv[1], "implode") == 0) return PackImplodeCommand(argc - 2, argv + 2);
    if (strcmp(argv[1], "explode") == 0) return PackExplodeCommand(argc - 2, argv + 2);
    if (strcmp(argv[1], "list") == 0) {
        if (argc != 3) return PackUsageError("list takes one package");
        return PackList(argv[2]);
    }
    return PackUsageError(std::string("unknown command ") + argv[1]);
}
