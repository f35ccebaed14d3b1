/*
 * text.cpp - bounded copy, append and the wsprintf-convention formatter.
 */
#include "shell/text.h"

#include <string.h>

int TextCopy(char* szDst, size_t cbDst, const char* szSrc)
{
    return TextCopyN(szDst, cbDst, szSrc, (size_t)-1);
}

int TextCopyN(char* szDst, size_t cbDst, const char* szSrc, size_t cchMax)
{
    size_t cch = 0;
    int bWhole = 1;
    if (!szDst || cbDst == 0) return 0;
    if (!szSrc) szSrc = "";
    while (cch < cchMax && szSrc[cch]) {
        if (cch + 1 >= cbDst) {
            bWhole = 0;
            break;
        }
        szDst[cch] = szSrc[cch];
        cch++;
    }
    szDst[cch] = 0;
    return bWhole;
}

int TextAppend(char* szDst, size_t cbDst, const char* szSrc)
{
    size_t cch;
    if (!szDst || cbDst == 0) return 0;
    cch = 0;
    while (cch < cbDst && szDst[cch]) cch++;
    if (cch == cbDst) {
        szDst[cbDst - 1] = 0;
        return 0;
    }
    return TextCopy(szDst + cch, cbDst - cch, szSrc);
}

/* The output cursor of one formatting call. */
typedef struct FMTOUT {
    char* sz;
    size_t cchMax; /* characters that fit, without the NUL */
    size_t cch;
} FMTOUT;

static void FmtPut(FMTOUT* pOut, char ch)
{
    if (pOut->cch < pOut->cchMax) pOut->sz[pOut->cch++] = ch;
}

static void FmtPutN(FMTOUT* pOut, char ch, int n)
{
    while (n-- > 0) FmtPut(pOut, ch);
}

int TextFormatV(char* szDst, size_t cbDst, const char* szFormat, va_list args)
{
    FMTOUT out;
    const char* p;
    if (!szDst || cbDst == 0) return 0;
    out.sz = szDst;
    out.cchMax = (cbDst < TEXT_FORMAT_MAX ? cbDst : TEXT_FORMAT_MAX) - 1;
    out.cch = 0;
    if (!szFormat) szFormat = "";

    for (p = szFormat; *p; p++) {
        int bLeft = 0, bPrefix = 0, bZero = 0, nWidth = 0, nPrecision = -1;
        char szNum[40];
        const char* szBody;
        int cchBody, cchPrefix = 0;
        const char* szPrefix = "";
        int bNegative = 0;

        if (*p != '%') {
            FmtPut(&out, *p);
            continue;
        }
        p++;
        if (*p == 0) break; /* a lone "%" at the end prints nothing */
        if (*p == '%') {
            FmtPut(&out, '%');
            continue;
        }
        if (*p == '-') {
            bLeft = 1;
            p++;
        }
        if (*p == '#') {
            bPrefix = 1;
            p++;
        }
        if (*p == '0') {
            bZero = 1;
            p++;
        }
        while (*p >= '0' && *p <= '9') {
            if (nWidth < 10000) nWidth = nWidth * 10 + (*p - '0');
            p++;
        }
        if (*p == '.') {
            p++;
            nPrecision = 0;
            while (*p >= '0' && *p <= '9') {
                if (nPrecision < 10000) nPrecision = nPrecision * 10 + (*p - '0');
                p++;
            }
        }
        if (*p == 'l' || *p == 'h' || *p == 'w') p++;
        if (*p == 0) break;

        switch (*p) {
        case 'c': {
            char ch = (char)va_arg(args, int);
            if (ch == 0) continue;
            szNum[0] = ch;
            szNum[1] = 0;
            szBody = szNum;
            cchBody = 1;
            bZero = 0;
            break;
        }
        case 's': {
            const char* sz = va_arg(args, const char*);
            size_t cch;
            if (!sz) sz = "(null)";
            cch = strlen(sz);
            if (nPrecision >= 0 && (size_t)nPrecision < cch) cch = (size_t)nPrecision;
            szBody = sz;
            cchBody = (int)(cch > 0x7FFFFFF ? 0x7FFFFFF : cch);
            bZero = 0;
            break;
        }
        case 'd':
        case 'i': {
            int n = va_arg(args, int);
            unsigned int u = (unsigned int)n;
            int i = (int)sizeof(szNum) - 1;
            if (n < 0) {
                bNegative = 1;
                u = 0u - u;
            }
            szNum[i] = 0;
            do {
                szNum[--i] = (char)('0' + u % 10);
                u /= 10;
            } while (u);
            szBody = szNum + i;
            cchBody = (int)strlen(szBody);
            if (bNegative) {
                szPrefix = "-";
                cchPrefix = 1;
            }
            break;
        }
        case 'u':
        case 'x':
        case 'X': {
            unsigned int u = va_arg(args, unsigned int);
            unsigned int uBase = *p == 'u' ? 10 : 16;
            const char* szDigits = *p == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
            int i = (int)sizeof(szNum) - 1;
            szNum[i] = 0;
            do {
                szNum[--i] = szDigits[u % uBase];
                u /= uBase;
            } while (u);
            szBody = szNum + i;
            cchBody = (int)strlen(szBody);
            /* Zero has no prefix ("0", as the C runtime prints it), so a
             * zero checksum is written "0L". */
            if (uBase == 16 && bPrefix && szBody[0] != '0') {
                szPrefix = *p == 'X' ? "0X" : "0x";
                cchPrefix = 2;
            }
            break;
        }
        default:
            /* Unknown conversion: the letter itself. */
            FmtPut(&out, *p);
            continue;
        }

        if (nPrecision > cchBody && (*p != 's' && *p != 'c')) {
            /* A precision on a number gives leading zeros. */
            int nPad = nPrecision - cchBody;
            int nTotal = cchPrefix + nPrecision;
            if (!bLeft) FmtPutN(&out, ' ', nWidth - nTotal);
            for (int k = 0; k < cchPrefix; k++) FmtPut(&out, szPrefix[k]);
            FmtPutN(&out, '0', nPad);
            for (int k = 0; k < cchBody; k++) FmtPut(&out, szBody[k]);
            if (bLeft) FmtPutN(&out, ' ', nWidth - nTotal);
            continue;
        }
        {
            int nTotal = cchPrefix + cchBody;
            if (bLeft) {
                for (int k = 0; k < cchPrefix; k++) FmtPut(&out, szPrefix[k]);
                for (int k = 0; k < cchBody; k++) FmtPut(&out, szBody[k]);
                FmtPutN(&out, ' ', nWidth - nTotal);
            } else if (bZero) {
                for (int k = 0; k < cchPrefix; k++) FmtPut(&out, szPrefix[k]);
                FmtPutN(&out, '0', nWidth - nTotal);
                for (int k = 0; k < cchBody; k++) FmtPut(&out, szBody[k]);
            } else {
                FmtPutN(&out, ' ', nWidth - nTotal);
                for (int k = 0; k < cchPrefix; k++) FmtPut(&out, szPrefix[k]);
                for (int k = 0; k < cchBody; k++) FmtPut(&out, szBody[k]);
            }
        }
    }
    out.sz[out.cch] = 0;
    return (int)out.cch;
}

int TextFormat(char* szDst, size_t cbDst, const char* szFormat, ...)
{
    va_list args;
    int n;
    va_start(args, szFormat);
    n = TextFormatV(szDst, cbDst, szFormat, args);
    va_end(args);
    return n;
}

int TextEqualNoCase(const char* szA, const char* szB)
{
    for (;; szA++, szB++) {
        unsigned char a = (unsigned char)*szA, b = (unsigned char)*szB;
        if (a >= 'A' && a <= 'Z') a = (unsigned char)(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = (unsigned char)(b - 'A' + 'a');
        if (a != b) return 0;
        if (!a) return 1;
    }
}
