// Fuzz target of the command lines: any text as the installer's command
// line (the option words, revert labels and their limits) and as a program's
// command line split by the C runtime's rules, and as a search path list.
//
// Input: byte 0 picks the part (0 the option words, 1 the split, 2 the
// search path), the rest is the text (cut at its first NUL). Checked: the
// options keep to their bits, the revert label to its buffer; the split
// counts the same with and without an array, its arguments lie inside the
// buffer in order and are no longer than the text; the search path entries
// fit their buffer and the walk ends.
#include "main/startup.h"
#include "platform/process.h"
#include "platform/ui.h"
#include "shell/globals.h"

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <string>
#include <vector>

namespace
{

void Check(bool f)
{
    if (!f) abort();
}

int QuietBox(HWND, const char*, const char*, UINT) { return IDOK; }

void OptionWords(const std::string& str)
{
    /* "extract" would unpack this program's (absent) package into a
     * directory: the words are fuzzed, the extraction is not. */
    for (size_t i = 0; i + 7 <= str.size(); i++)
        if (strncasecmp(str.c_str() + i, "extract", 7) == 0) return;
    gwOptions = 0;
    int bResult = ParseCommandLine(str.c_str());
    Check(bResult == 0 || bResult == 1);
    Check((gwOptions & ~0xFFu) == 0);
    Check(memchr(gszRevertLabel, 0, sizeof(gszRevertLabel)) != nullptr);
    /* A label is gathered only after "revert" (a later listing word may
     * still replace the options). */
    if (gszRevertLabel[0]) Check(strcasestr(str.c_str(), "revert") != nullptr);
}

void Split(const std::string& str)
{
    std::vector<char> vBuf(str.size() + 1, '\x7f');
    int cArgs = PlatSplitCommandLine(str.c_str(), nullptr, 0, vBuf.data(), vBuf.size());
    Check(cArgs >= 0 && (size_t)cArgs <= str.size());
    std::vector<char*> vArgs((size_t)cArgs + 1, nullptr);
    std::vector<char> vBuf2(str.size() + 1, '\x7f');
    Check(PlatSplitCommandLine(str.c_str(), vArgs.data(), cArgs, vBuf2.data(), vBuf2.size()) == cArgs);
    Check(memcmp(vBuf.data(), vBuf2.data(), vBuf.size()) == 0);
    size_t cbArgs = 0;
    for (int i = 0; i < cArgs; i++) {
        Check(vArgs[i] >= vBuf2.data() && vArgs[i] < vBuf2.data() + vBuf2.size());
        if (i > 0) Check(vArgs[i] > vArgs[i - 1]);
        size_t cch = strnlen(vArgs[i], (size_t)(vBuf2.data() + vBuf2.size() - vArgs[i]));
        Check(vArgs[i] + cch < vBuf2.data() + vBuf2.size());
        cbArgs += cch;
    }
    Check(cbArgs <= str.size());
    if (!str.empty()) Check(PlatSplitCommandLine(str.c_str(), nullptr, 0, vBuf.data(), str.size()) == -1);
}

void SearchPath(const std::string& str)
{
    char szDir[16];
    size_t iPos = 0, cEntries = 0;
    while (PlatNextSearchDir(str.c_str(), &iPos, szDir, sizeof(szDir))) {
        Check(memchr(szDir, 0, sizeof(szDir)) != nullptr && szDir[0] != 0);
        Check(iPos <= str.size() + 1);
        Check(++cEntries <= str.size());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pb, size_t cb)
{
    static int s_bInit;
    if (!s_bInit) {
        s_bInit = 1;
        PlatSetMessageBoxHandler(QuietBox);
    }
    if (cb < 1 || cb > 4096) return 0;
    std::string str((const char*)pb + 1, cb - 1);
    str = str.c_str();
    switch (pb[0] % 3) {
    case 0: OptionWords(str); break;
    case 1: Split(str); break;
    default: SearchPath(str); break;
    }
    return 0;
}
