/*
 * listing.cpp - the installed-fix listing: writing the listing files from
 * the patch registry file, and reading one back for display (listing.h).
 */
#include "records/listing.h"

#include "identify/backupset.h"
#include "identify/labels.h"
#include "platform/profile.h"
#include "platform/ui.h"
#include "records/patchini.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "shell/text.h"
#include "shell/utils.h"

#include <string.h>

#define LISTING_VALUE 260
#define LISTING_SECTION_PROBE 8

/* A heap copy of the text, or NULL when memory runs out. */
static char* ListingCopy(const char* szText)
{
    size_t cb = strlen(szText) + 1;
    char* szCopy = (char*)PlatHeapAlloc(cb);
    if (szCopy) memcpy(szCopy, szText, cb);
    return szCopy;
}

/* Creates or empties a listing file; the error box when it cannot. */
static PLATFILE* ListingCreate(const char* szName)
{
    PLATFILE* pf = PlatFopen(szName, "w");
    if (!pf) {
        char szMsg[TEXT_FORMAT_MAX];
        TextFormat(szMsg, sizeof(szMsg), "Can't write patch information to a file %s: error %d", szName,
                   (int)PlatGetLastError());
        PlatMessageBox(NULL, szMsg, "Error", MB_OK);
    }
    return pf;
}

/* A section header and its empty line. */
static void ListingHeader(PLATFILE* pf, const char* szHeader)
{
    PlatFputs(szHeader, pf);
    PlatFputs("\n\n", pf);
}

/*
 * Lists the levels of one list section. 1 when the section was read to its
 * end (*pcPassed counts the passing levels); 0 after a read error, whose
 * text is in *pszError.
 */
static int ListingSection(const char* szSection, const char* szHeader, const char* szIni, PLATFILE* pfPatch,
                          PLATFILE* pfDetail, int* pcPassed, char** pszError)
{
    char szProbe[LISTING_SECTION_PROBE];
    int k, cPassedHere = 0;
    int bWeb = strcmp(StringText(42), "GWA") == 0;

    if (PlatGetPrivateProfileSection(szSection, szProbe, sizeof(szProbe), szIni) == 0) return 1;
    for (k = 1;; k++) {
        char szKey[32], szLabel[LISTING_VALUE];
        TextFormat(szKey, sizeof(szKey), "Label%03d", k);
        PlatGetPrivateProfileString(szSection, szKey, PATCHINI_END_MARK, szLabel, sizeof(szLabel), szIni);
        if (szLabel[0] == 0) {
            char szText[TEXT_FORMAT_MAX];
            TextFormat(szText, sizeof(szText), "Getting profile string for %s, section %s in %s: error: %d", szKey,
                       szSection, szIni, (int)PlatGetLastError());
            LogLine(szText, 0);
            *pszError = ListingCopy(szText);
            return 0;
        }
        if (strcmp(szLabel, PATCHINI_END_MARK) == 0) return 1;
        if (k == 1) ListingHeader(pfDetail, szHeader);
        PlatFputs(szLabel, pfDetail);
        PlatFputs("\n", pfDetail);
        if (!CheckInstalledFiles(szLabel, pfDetail)) continue;
        if (cPassedHere++ == 0) ListingHeader(pfPatch, szHeader);
        PlatFputs(szLabel, pfPatch);
        PlatFputs("\n", pfPatch);
        (*pcPassed)++;
        if (bWeb && strncmp(gszCurrentRelease, szLabel, strlen(szLabel)) != 0) {
            int iIndex = AddFixLabel(szLabel);
            if (iIndex >= 0) LogFormat(1, "ReadPatchInfo:added %d label %s", giFixLabels, gpcanFixLabels[iIndex]);
        }
    }
}

char* ReadPatchInfo(void)
{
    char szIni[MAX_PATH];
    PLATFILE* pfPatch;
    PLATFILE* pfDetail;
    char* szResult = NULL;
    int cPassed = 0;

    pfPatch = ListingCreate(LISTING_PATCH);
    if (!pfPatch) return NULL;
    pfDetail = ListingCreate(LISTING_PATCH_DETAIL);
    if (!pfDetail) {
        PlatFclose(pfPatch);
        return NULL;
    }
    TextFormat(szIni, sizeof(szIni), "%s\\%s", gpProgramDir ? gpProgramDir : "", gpszPatchIni);

    if (ListingSection(PATCHINI_FIXPACKS, "Installed Fixpacks:", szIni, pfPatch, pfDetail, &cPassed, &szResult) &&
        ListingSection(PATCHINI_HOTFIXES, "Installed Hotfixes:", szIni, pfPatch, pfDetail, &cPassed, &szResult) &&
        cPassed == 0) {
        char szCurrent[sizeof(gszCurrentRelease)];
        TextCopy(szCurrent, sizeof(szCurrent), gszCurrentRelease);
        if (CheckInstalledFiles(szCurrent, pfPatch) == 0) {
            char szText[TEXT_FORMAT_MAX];
            TextFormat(szText, sizeof(szText), "The installed %s version was corrupted", gszCurrentRelease);
            LogLine(szText, 0);
            szResult = ListingCopy(szText);
        }
    }
    PlatFclose(pfPatch);
    PlatFclose(pfDetail);
    return szResult;
}

char* LoadListingFile(const char* szName)
{
    PLATFILE* pf;
    DWORD cb;
    char* szText;
    size_t cbRead;

    pf = PlatFopen(szName, "rb");
    if (!pf) {
        char szMsg[TEXT_FORMAT_MAX];
        TextFormat(szMsg, sizeof(szMsg), "Can't open %s", szName);
        PlatMessageBox(NULL, szMsg, "Error", MB_OK);
        return NULL;
    }
    cb = StreamSize(pf);
    if (cb == 0) {
        PlatFclose(pf);
        return NULL;
    }
    szText = (char*)PlatHeapAlloc((size_t)cb + 1);
    if (!szText) {
        PlatFclose(pf);
        return NULL;
    }
    cbRead = PlatFread(szText, 1, cb, pf);
    szText[cbRead] = 0;
    PlatFclose(pf);
    return szText;
}
