/*
 * argvdump - reports how a started program sees its command line, for the
 * process tests of the platform layer.
 *
 * Output (to the file named by ARGVDUMP_OUT, else standard output), one item
 * per line, each text between "[" and "]":
 *   argc=N
 *   argv[i]=[text]            for every argument
 *   raw=[text]                HERON_COMMAND_LINE, or "raw-unset"
 *   cwd=[dir]                 the working directory
 *   stdin=[tty|null|other]    what standard input is
 *   fds=N                     open descriptors above 2 at start (inherited)
 * Then, when ARGVDUMP_HOLD names a file: waits until that file exists.
 * Exit code: argc, or ARGVDUMP_EXIT when set.
 */
#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

/* Descriptors above 2 open at start, not counting the listing's own. */
static int CountInherited(void)
{
    DIR* pDir = opendir("/proc/self/fd");
    struct dirent* pEnt;
    int c = 0;
    if (!pDir) return -1;
    while ((pEnt = readdir(pDir)) != NULL) {
        int fd = atoi(pEnt->d_name);
        if (pEnt->d_name[0] < '0' || pEnt->d_name[0] > '9' || fd <= 2 || fd == dirfd(pDir)) continue;
        c++;
    }
    closedir(pDir);
    return c;
}

int main(int argc, char** argv)
{
    int cInherited = CountInherited();
    const char* szOut = getenv("ARGVDUMP_OUT");
    const char* szRaw = getenv("HERON_COMMAND_LINE");
    const char* szHold = getenv("ARGVDUMP_HOLD");
    const char* szExit = getenv("ARGVDUMP_EXIT");
    const char* szStdin = "other";
    char szCwd[4096];
    struct stat st;
    FILE* fp = szOut && *szOut ? fopen(szOut, "wb") : stdout;
    if (!fp) return 125;
    fprintf(fp, "argc=%d\n", argc);
    for (int i = 0; i < argc; i++) fprintf(fp, "argv[%d]=[%s]\n", i, argv[i]);
    if (szRaw) fprintf(fp, "raw=[%s]\n", szRaw);
    else fprintf(fp, "raw-unset\n");
    fprintf(fp, "cwd=[%s]\n", getcwd(szCwd, sizeof(szCwd)) ? szCwd : "?");
    if (isatty(0)) szStdin = "tty";
    else if (fstat(0, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) == 1 && minor(st.st_rdev) == 3)
        szStdin = "null";
    fprintf(fp, "stdin=[%s]\n", szStdin);
    fprintf(fp, "fds=%d\n", cInherited);
    if (fp != stdout) fclose(fp);
    else fflush(stdout);
    if (szHold && *szHold) {
        while (access(szHold, F_OK) != 0) usleep(2000);
    }
    return szExit && *szExit ? atoi(szExit) : argc;
}
