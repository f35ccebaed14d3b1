/*
 * machine.h - test support: a temporary emulated machine, files, and child
 * processes of the project's programs.
 *
 * TempMachine makes a fresh directory, points HERON_ROOT at it, creates
 * drive_c and makes drive_c/work the current directory; its destructor
 * restores the environment and the current directory and removes the tree.
 */
#ifndef HERON_TESTS_SUPPORT_MACHINE_H
#define HERON_TESTS_SUPPORT_MACHINE_H

#include <map>
#include <string>
#include <vector>

class TempMachine {
public:
    TempMachine();
    ~TempMachine();
    TempMachine(const TempMachine&) = delete;
    TempMachine& operator=(const TempMachine&) = delete;

    const std::string& Root() const { return m_strRoot; }
    /* The Linux path of a Windows path on drive C ("C:\\A\\b" -> root/drive_c/A/b). */
    std::string Host(const std::string& strWindows) const;

private:
    std::string m_strRoot;
    std::string m_strSavedCwd;
    std::string m_strSavedRoot;
    bool m_bHadRoot;
};

/* Whole-file helpers on Linux paths; WriteFile creates parent directories. */
void WriteFile(const std::string& strPath, const std::string& strData);
std::string ReadFile(const std::string& strPath);
bool PathExists(const std::string& strPath);
void MakeDirs(const std::string& strPath);
void RemoveAll(const std::string& strPath);

/* A child process's result. */
struct ProcessResult {
    int iExitCode;      /* exit status, or 128 + signal */
    std::string strOut; /* standard output */
    std::string strErr; /* standard error */
};

/* Runs a program with arguments; strCwd empty keeps the current directory;
 * env entries are set (value "\x01" unsets). Standard input is /dev/null. */
ProcessResult RunProcess(const std::vector<std::string>& vArgs, const std::string& strCwd = "",
                         const std::map<std::string, std::string>& env = {});

/* Makes a sample installation in the machine: heron-sample --root ROOT
 * OPTIONS; a failure is a test failure. */
void MakeSample(const TempMachine& machine, const std::vector<std::string>& vOptions = {});
/* The lines of an upgrade log after its header (the first three empty-line
 * separated lines), without their CR LF. */
std::vector<std::string> LogBodyLines(const std::string& strHostPath);

/* Another process that holds a file open (as a running product holds its key
 * library) until ReleaseFile; returns its process id, or -1 when the file
 * could not be opened there. */
int HoldFile(const std::string& strPath);
void ReleaseFile(int iPid);

/* Paths of the built programs. */
std::string BinPath(const std::string& strRelative);

#endif
