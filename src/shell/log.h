/*
 * log.h - the upgrade log, UPGRADE.LOG.
 *
 * During a run the log lives in the temporary directory; CloseLog appends it
 * to the UPGRADE.LOG of the program directory. A line is a text after zero or
 * more tab characters (the indent): 0 a main event, 1 a detail, 2 a per-file
 * result or failure. No levels, no time stamps per line.
 */
#ifndef HERON_SHELL_LOG_H
#define HERON_SHELL_LOG_H

/* Creates or empties the temporary log and writes its header. 1 when open;
 * 0 also when the TEMP directory and the log's name do not fit a path
 * (never a cut name). A TEMP longer than a path buffer counts as unset. */
int OpenLog(void);
/* Writes the indent's tabs, the text and a line feed, then flushes.
 * Nothing at all for an absent or empty text, or when no log is open. */
void LogLine(const char* szText, int iIndent);
/* Writes the indent's tabs, string iId and a line feed, without flushing. */
void LogString(int iId, int iIndent);
/* Appends the temporary log to the program directory's UPGRADE.LOG and
 * deletes it; keeps it open and in place when that cannot be done (a final
 * path too long logs "Path too long: %s\\UPGRADE.LOG"). */
void CloseLog(void);
/* Where the log is: the program directory's UPGRADE.LOG after CloseLog
 * moved it there, else the temporary log ("" before OpenLog). */
const char* LogPath(void);
/* 1 while a log stream is open. */
int LogIsOpen(void);
/* Formats with the text conventions (shell/text.h) and logs the line. */
void LogFormat(int iIndent, const char* szFormat, ...);

#endif
