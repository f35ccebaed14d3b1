/*
 * listing.h - the listing files of the LISTFIX and FIXDETAILS modes.
 *
 * Three plain text files in the current directory, line feed ends (CR LF on
 * disk, text mode), rewritten on every call:
 *
 *   patch.txt           for each list section ("FIXPACKS", then "HOTFIXES")
 *                       with a level that passes the installed-files check:
 *                         Installed Fixpacks:      (or Installed Hotfixes:)
 *                         <empty line>
 *                         <label>                  one line per passing level
 *                       With no passing level at all: the file lines of the
 *                       installed release's level, or nothing.
 *   patch_detail.txt    the same headers before each section's first level,
 *                       every level (passing or not) followed by its file
 *                       lines
 *   baserev_detail.txt  the file lines of the installed release's level
 *                       (written by the base-release recovery)
 *
 * A file line is a tab, the installed file's path and a line feed; the key
 * file's line, when its copy no longer has the recorded checksum, ends with
 * " overwritten." before the line feed.
 */
#ifndef HERON_RECORDS_LISTING_H
#define HERON_RECORDS_LISTING_H

#define LISTING_PATCH "patch.txt"
#define LISTING_PATCH_DETAIL "patch_detail.txt"
#define LISTING_BASEREV_DETAIL "baserev_detail.txt"

/*
 * Writes "patch.txt" and "patch_detail.txt" from the patch registry file
 * (gpszPatchIni in the program directory), checking every recorded level's
 * installed files. In a web-access package (string 42 "GWA") each passing
 * level that gszCurrentRelease does not begin with is appended to the revert
 * labels. Returns a text for the caller to show (its own copy, PlatHeapFree)
 * or NULL: the read error of an empty "Label%03d" value, or "The installed
 * %s version was corrupted" when no level passes and the installed release's
 * own check fails. A listing file that cannot be created: an error box
 * "Can't write patch information to a file %s: error %d", NULL.
 */
char* ReadPatchInfo(void);

/* The whole text of a listing file in a new NUL-terminated buffer owned by
 * the caller (PlatHeapFree), or NULL: for an empty file, and after the box
 * "Can't open %s" when it cannot be opened. */
char* LoadListingFile(const char* szName);

#endif
