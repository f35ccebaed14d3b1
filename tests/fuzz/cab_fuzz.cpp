// Fuzz target of the cabinet reader: any bytes as a cabinet, through the
// table checks and the extraction of every entry. What it hands out must
// stay inside the input and agree with the tables: no entry gets more than
// its size, a complete entry gets exactly its size, begin/end pair up, and a
// run reported clean completed every entry the sink kept. ASan and UBSan
// catch any read outside the buffers.
#include "cab_format.h"

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

namespace {

void Check(bool b)
{
    if (!b) abort();
}

enum { kIdle, kOpen, kComplete, kBroken, kRefused };

struct Tally {
    const CAB_VIEW* pView;
    std::vector<unsigned long long> vcb;
    std::vector<int> vState;
    unsigned uSum;
};

// Some entries are refused and some dropped mid-way, to drive those paths.
int Begin(void* pv, int iEntry)
{
    Tally* pt = (Tally*)pv;
    Check(iEntry >= 0 && iEntry < pt->pView->cEntries && pt->vState[iEntry] == kIdle);
    if (iEntry % 7 == 3) {
        pt->vState[iEntry] = kRefused;
        return 0;
    }
    pt->vState[iEntry] = kOpen;
    return 1;
}

int Write(void* pv, int iEntry, const BYTE* pb, size_t cb)
{
    Tally* pt = (Tally*)pv;
    Check(pt->vState[iEntry] == kOpen && cb > 0);
    for (size_t i = 0; i < cb; i++) pt->uSum += pb[i];
    pt->vcb[iEntry] += cb;
    Check(pt->vcb[iEntry] <= pt->pView->pEntries[iEntry].cbFile);
    return !(iEntry % 5 == 4 && pt->vcb[iEntry] > 100);
}

void End(void* pv, int iEntry, int bComplete)
{
    Tally* pt = (Tally*)pv;
    Check(pt->vState[iEntry] == kOpen);
    if (bComplete) Check(pt->vcb[iEntry] == pt->pView->pEntries[iEntry].cbFile);
    pt->vState[iEntry] = bComplete ? kComplete : kBroken;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pb, size_t cb)
{
    CAB_VIEW view;
    char szError[256];
    if (!CabOpenView(pb, cb, &view, szError, sizeof(szError))) {
        Check(strlen(szError) < sizeof(szError));
        return 0;
    }
    Check(view.cb <= cb);
    for (int i = 0; i < view.cEntries; i++) {
        const CAB_ENTRY* pEntry = &view.pEntries[i];
        const uint8_t* pbName = (const uint8_t*)pEntry->szName;
        Check(pbName >= pb && pbName < pb + view.cb);
        size_t cch = strlen(pEntry->szName);
        Check(cch > 0 && cch <= CAB_NAME_MAX && pbName + cch < pb + view.cb);
        Check(pEntry->iFolder < view.cFolders);
    }
    Tally tally;
    tally.pView = &view;
    tally.vcb.assign(view.cEntries, 0);
    tally.vState.assign(view.cEntries, kIdle);
    tally.uSum = 0;
    std::vector<BYTE> vSelected(view.cEntries + 1u, 1);
    CAB_SINK sink = {Begin, Write, End, &tally};
    int bClean = CabExtract(&view, vSelected.data(), &sink, szError, sizeof(szError));
    for (int i = 0; i < view.cEntries; i++) {
        Check(tally.vState[i] != kOpen);
        bool bDropped = i % 5 == 4 && tally.vcb[i] > 100;
        if (bClean && tally.vState[i] != kRefused && !bDropped) Check(tally.vState[i] == kComplete);
    }
    CabCloseView(&view);
    return 0;
}
