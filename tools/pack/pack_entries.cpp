/*
 * pack_entries.cpp - what the builder decides per package entry beyond
 * "whole file" and "removed": delta payloads for files that both releases
 * have, the cabinet-packaged trees and the files of earlier fixes named in
 * the manifest.
 *
 * Choice of payload for a file in both the From and the To release (same
 * directory code and name, different bytes):
 *   - the delta writer's blocks are applied both ways with the installer's
 *     own transforms; a payload that does not give back both files exactly
 *     is never written (kind 2 then);
 *   - the delta is written (kind 1) only when its compressed payload is
 *     smaller than the compressed whole file, else kind 2;
 *   - the two cabinet entries ("gar-dojo.cab", "osgi_plugins.cab") are always
 *     whole files: the installed side of them is a tree, not a file.
 */
#include "pack_entries.h"
#include "pack_delta.h"

#include "package/explode/crc32.h"

#include "implode.h"

#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

static int PackCompressedSize(const std::vector<uint8_t>& v, size_t* pcb)
{
    unsigned char* pbOut = NULL;
    size_t cbOut = 0;
    if (!Implode(v.data(), v.size(), 0, 4096, &pbOut, &cbOut)) return 0;
    ImplodeFree(pbOut);
    *pcb = cbOut + 4;
    return 1;
}

int PackIsCabinetName(const std::string& strName)
{
    return strcasecmp(strName.c_str(), "gar-dojo.cab") == 0 || strcasecmp(strName.c_str(), "osgi_plugins.cab") == 0;
}

int PackChoosePayload(const std::vector<uint8_t>& vOld, const std::vector<uint8_t>& vNew, const std::string& strName,
                      std::vector<uint8_t>* pvPayload, uint32_t* pdwBlocks)
{
    std::vector<uint8_t> vDelta;
    uint32_t dwBlocks = 0;
    size_t cbDelta = 0, cbWhole = 0;
    *pvPayload = vNew;
    *pdwBlocks = 0;
    if (PackIsCabinetName(strName)) return 2;
    PackMakeDelta(vOld, vNew, &vDelta, &dwBlocks);
    if (!PackCheckDelta(vOld, vNew, vDelta, dwBlocks)) return 2;
    if (!PackCompressedSize(vDelta, &cbDelta) || !PackCompressedSize(vNew, &cbWhole)) return 2;
    if (cbDelta >= cbWhole) return 2;
    *pvPayload = vDelta;
    *pdwBlocks = dwBlocks;
    return 1;
}

static int PackMakeCabinet(const std::string& strTree, const std::string& strTool, const std::string& strOut,
                    std::string* pstrError)
{
    struct stat st;
    if (stat(strTree.c_str(), &st) != 0) {
        *pstrError = "cabinet tree " + strTree + ": " + strerror(errno);
        return 0;
    }
    if (!S_ISDIR(st.st_mode)) {
        /* A ready cabinet file. */
        return 1;
    }
    std::string strPattern = strTree + "/*";
    const char* argv[] = {strTool.c_str(), "-r", "-p", "n", strOut.c_str(), strPattern.c_str(), NULL};
    pid_t pid;
    /* The tool reads HERON_COMMAND_LINE before its argv: never hand it ours. */
    unsetenv("HERON_COMMAND_LINE");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    int rc = posix_spawn(&pid, strTool.c_str(), &actions, NULL, (char* const*)argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        *pstrError = "cannot run the cabinet tool " + strTool + ": " + strerror(rc);
        return 0;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        *pstrError = "the cabinet tool failed to pack " + strTree;
        return 0;
    }
    return 1;
}

static std::vector<std::string> s_vBuilt;

static void PackRemoveBuilt(void)
{
    for (const std::string& str : s_vBuilt) remove(str.c_str());
}

static std::string PackResolvePath(const PackManifest* pManifest, const std::string& strPath)
{
    if (!strPath.empty() && strPath[0] == '/') return strPath;
    return pManifest->strDir + "/" + strPath;
}

int PackManifestEntries(const PackManifest* pManifest, std::deque<PackFile>* pdqFiles, std::string* pstrError)
{
    if (const PackSection* pCabinets = PackFindSection(pManifest, "Cabinets")) {
        for (const PackKey& key : pCabinets->keys) {
            PackFile file;
            std::vector<uint8_t> vData;
            struct stat st;
            if (!PackIsCabinetName(key.strKey)) {
                *pstrError = pManifest->strPath + ":" + std::to_string(key.iLine) +
                             ": [Cabinets] names gar-dojo.cab or osgi_plugins.cab";
                return 0;
            }
            std::string strSource = PackResolvePath(pManifest, key.strValue);
            file.iDir = strcasecmp(key.strKey.c_str(), "gar-dojo.cab") == 0 ? 2 : 1;
            file.strName = key.strKey;
            file.strHost = strSource;
            if (stat(strSource.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
                file.strHost = pManifest->strDir + "/" + key.strKey + ".heron-pack-" + std::to_string(getpid());
                if (s_vBuilt.empty()) atexit(PackRemoveBuilt);
                s_vBuilt.push_back(file.strHost);
                if (!PackMakeCabinet(strSource, PACK_DEFAULT_CABINET_TOOL, file.strHost, pstrError)) return 0;
            }
            if (!PackReadFile(file.strHost, &vData, pstrError)) return 0;
            if (stat(file.strHost.c_str(), &st) != 0) st.st_mtime = 0;
            file.dwSize = (uint32_t)vData.size();
            file.dwCrc = ~UpdateCrc32(vData.data(), (unsigned int)vData.size(), 0xFFFFFFFFu);
            file.dwTime = (uint32_t)st.st_mtime;
            pdqFiles->push_back(file);
        }
    }
    if (const PackSection* pEarlier = PackFindSection(pManifest, "EarlierFixes")) {
        for (const PackKey& key : pEarlier->keys) {
            PackFile file = {0, key.strKey, "", 0, 0, 0};
            if (key.strValue == "program") file.iDir = 1;
            else if (key.strValue == "data") file.iDir = 2;
            else if (key.strValue == "system") file.iDir = 3;
            if (!file.iDir || key.strKey.empty() || key.strKey.size() > 259) {
                *pstrError = pManifest->strPath + ":" + std::to_string(key.iLine) +
                             ": [EarlierFixes] lines are NAME = program, data or system";
                return 0;
            }
            pdqFiles->push_back(file);
        }
    }
    return 1;
}
