// The terminal front end's key decoder over the byte sequences terminals
// send (xterm, the Linux console, rxvt, tmux): each whole input to its key.
#include "platform/posix/term.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

TEST(TermKeys, SequencesDecodeToTheirKeys)
{
    struct Row {
        const char* szBytes;
        int iKey;
    } rows[] = {
        // Plain bytes.
        {"a", 'a'}, {"\r", KEY_ENTER}, {"\n", KEY_ENTER}, {"\t", KEY_TAB}, {"\x7f", KEY_BS}, {"\x08", KEY_BS},
        {"\x15", KEY_KILL}, {" ", ' '},
        // Esc alone, Alt+letter, Esc with a control byte.
        {"\x1b", KEY_ESC}, {"\x1b" "a", KEY_ALT | 'a'}, {"\x1b" "N", KEY_ALT | 'N'}, {"\x1b\x01", KEY_ESC},
        // Arrows, in normal and application cursor mode, with a modifier.
        {"\x1b[A", KEY_UP}, {"\x1b[B", KEY_DOWN}, {"\x1b[C", KEY_RIGHT}, {"\x1b[D", KEY_LEFT},
        {"\x1bOA", KEY_UP}, {"\x1bOD", KEY_LEFT}, {"\x1b[1;5A", KEY_UP},
        // Home and End: xterm, application mode, VT220, rxvt, with Ctrl.
        {"\x1b[H", KEY_HOME}, {"\x1bOH", KEY_HOME}, {"\x1b[1~", KEY_HOME}, {"\x1b[7~", KEY_HOME},
        {"\x1b[F", KEY_END}, {"\x1bOF", KEY_END}, {"\x1b[4~", KEY_END}, {"\x1b[8~", KEY_END},
        {"\x1b[1;5F", KEY_END}, {"\x1b[4;5~", KEY_END}, {"\x1b[8^", KEY_END}, {"\x1b[1;5H", KEY_HOME},
        // Page keys, Shift+Tab, F4.
        {"\x1b[5~", KEY_PGUP}, {"\x1b[6~", KEY_PGDN}, {"\x1b[5;5~", KEY_PGUP}, {"\x1b[Z", KEY_BTAB},
        {"\x1bOS", KEY_F4}, {"\x1b[14~", KEY_F4},
        // Sequences of keys the front end has no use for.
        {"\x1b[2~", KEY_NONE}, {"\x1b[15~", KEY_NONE}, {"\x1b[M", KEY_NONE},
        // Cut short.
        {"\x1b[", KEY_ESC}, {"", KEY_NONE},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.iKey, TermDecodeKey(row.szBytes, strlen(row.szBytes))) << "bytes: " << row.szBytes + (row.szBytes[0] == 0x1b);
}

}  // namespace
