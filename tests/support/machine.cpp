/*
 * machine.cpp - test support (machine.h).
 */
#include "support/machine.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <stdexcept>

TempMachine::TempMachine()
{
    char szTemplate[] = "/tmp/heron-test-XXXXXX";
    if (!mkdtemp(szTemplate)) throw std::runtime_error("mkdtemp failed");
    m_strRoot = szTemplate;
    char szCwd[4096];
    m_strSavedCwd = getcwd(szCwd, sizeof(szCwd)) ? szCwd : "/";
    const char* szOld = getenv("HERON_ROOT");
    m_bHadRoot = szOld != nullptr;
    if (szOld) m_strSavedRoot = szOld;
    setenv("HERON_ROOT", m_strRoot.c_str(), 1);
    MakeDirs(m_strRoot + "/drive_c/work");
    if (chdir((m_strRoot + "/drive_c/work").c_str()) != 0) throw std::runtime_error("chdir failed");
}

TempMachine::~TempMachine()
{
    if (chdir(m_strSavedCwd.c_str()) != 0) {
    }
    if (m_bHadRoot) setenv("HERON_ROOT", m_strSavedRoot.c_str(), 1);
    else unsetenv("HERON_ROOT");
    RemoveAll(m_strRoot);
}

std::string TempMachine::Host(const std::string& strWindows) const
{
    std::string str = strWindows;
    if (str.size() >= 2 && str[1] == ':') str = str.substr(2);
    for (char& ch : str)
        if (ch == '\\') ch = '/';
    return m_strRoot + "/drive_c" + str;
}

void MakeDirs(const std::string& strPath)
{
    for (size_t i = 1; i <= strPath.size(); i++) {
        if (i == strPath.size() || strPath[i] == '/') mkdir(strPath.substr(0, i).c_str(), 0777);
    }
}

void WriteFile(const std::string& strPath, const std::string& strData)
{
    size_t iSlash = strPath.rfind('/');
    if (iSlash != std::string::npos && iSlash > 0) MakeDirs(strPath.substr(0, iSlash));
    FILE* fp = fopen(strPath.c_str(), "wb");
    if (!fp) throw std::runtime_error("cannot write " + strPath);
    fwrite(strData.data(), 1, strData.size(), fp);
    fclose(fp);
}

std::string ReadFile(const std::string& strPath)
{
    FILE* fp = fopen(strPath.c_str(), "rb");
    if (!fp) return std::string();
    std::string str;
    char ab[65536];
    size_t cb;
    while ((cb = fread(ab, 1, sizeof(ab), fp)) > 0) str.append(ab, cb);
    fclose(fp);
    return str;
}

bool PathExists(const std::string& strPath)
{
    struct stat st;
    return lstat(strPath.c_str(), &st) == 0;
}

void RemoveAll(const std::string& strPath)
{
    if (strPath.size() < 6) return; /* never near the root */
    std::string strCmd = "chmod -R u+w '" + strPath + "' 2>/dev/null; rm -rf '" + strPath + "'";
    if (system(strCmd.c_str()) != 0) {
    }
}

static std::string DrainFd(int fd)
{
    std::string str;
    char ab[4096];
    ssize_t cb;
    while ((cb = read(fd, ab, sizeof(ab))) > 0) str.append(ab, (size_t)cb);
    return str;
}

ProcessResult RunProcess(const std::vector<std::string>& vArgs, const std::string& strCwd,
                         const std::map<std::string, std::string>& env)
{
    ProcessResult result{-1, "", ""};
    char szOut[] = "/tmp/heron-out-XXXXXX";
    char szErr[] = "/tmp/heron-err-XXXXXX";
    int fdOut = mkstemp(szOut);
    int fdErr = mkstemp(szErr);
    pid_t pid = fork();
    if (pid == 0) {
        int fdNull = open("/dev/null", O_RDONLY);
        dup2(fdNull, 0);
        dup2(fdOut, 1);
        dup2(fdErr, 2);
        if (!strCwd.empty() && chdir(strCwd.c_str()) != 0) _exit(126);
        for (const auto& entry : env) {
            if (entry.second == "\x01") unsetenv(entry.first.c_str());
            else setenv(entry.first.c_str(), entry.second.c_str(), 1);
        }
        std::vector<char*> vArgv;
        for (const std::string& str : vArgs) vArgv.push_back(const_cast<char*>(str.c_str()));
        vArgv.push_back(nullptr);
        execv(vArgv[0], vArgv.data());
        _exit(127);
    }
    int iStatus = 0;
    while (waitpid(pid, &iStatus, 0) < 0 && errno == EINTR) {
    }
    result.iExitCode = WIFEXITED(iStatus) ? WEXITSTATUS(iStatus) : 128 + WTERMSIG(iStatus);
    lseek(fdOut, 0, SEEK_SET);
    lseek(fdErr, 0, SEEK_SET);
    result.strOut = DrainFd(fdOut);
    result.strErr = DrainFd(fdErr);
    close(fdOut);
    close(fdErr);
    unlink(szOut);
    unlink(szErr);
    return result;
}

std::string BinPath(const std::string& strRelative) { return std::string(HERON_BIN_DIR) + "/" + strRelative; }

int HoldFile(const std::string& strPath)
{
    int afd[2];
    if (pipe(afd) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        FILE* fp = fopen(strPath.c_str(), "rb");
        char ch = fp ? 'y' : 'n';
        if (write(afd[1], &ch, 1) != 1) _exit(1);
        pause();
        _exit(0);
    }
    char ch = 0;
    ssize_t cb = read(afd[0], &ch, 1);
    close(afd[0]);
    close(afd[1]);
    if (cb != 1 || ch != 'y') {
        ReleaseFile((int)pid);
        return -1;
    }
    return (int)pid;
}

void ReleaseFile(int iPid)
{
    if (iPid <= 0) return;
    kill((pid_t)iPid, SIGKILL);
    waitpid((pid_t)iPid, nullptr, 0);
}

void MakeSample(const TempMachine& machine, const std::vector<std::string>& vOptions)
{
    std::vector<std::string> vArgs = {BinPath("tools/sample/heron-sample"), "--root", machine.Root()};
    vArgs.insert(vArgs.end(), vOptions.begin(), vOptions.end());
    ProcessResult result = RunProcess(vArgs);
    ASSERT_EQ(0, result.iExitCode) << result.strErr;
}

std::vector<std::string> LogBodyLines(const std::string& strHostPath)
{
    std::string strText = ReadFile(strHostPath);
    size_t iBody = strText.find("\r\n\r\n\r\n");
    std::vector<std::string> v;
    if (iBody == std::string::npos) return v;
    for (size_t i = iBody + 6; i < strText.size();) {
        size_t iEnd = strText.find("\r\n", i);
        if (iEnd == std::string::npos) iEnd = strText.size();
        v.push_back(strText.substr(i, iEnd - i));
        i = iEnd + 2;
    }
    return v;
}
