#include "render/rows.h"

#include "image/image.h"
#include "render/progress.h"

RowWatcher rowWatcher{nullptr, nullptr};

void writeRowToImage(unsigned char* row, int y) {
    if (rowWatcher.rowDone) rowWatcher.rowDone(rowWatcher.owner, row, y);
    writeImageLine(row, y);
    showProgress(y);
}

namespace {

bool nextBandRows(void* owner, RowSpan* span) {
    BandRows* band = static_cast<BandRows*>(owner);
    if (band->given) return false;
    band->given = true;
    *span = band->span;
    return true;
}

void bandRowDone(void*, unsigned char* row, int y) { writeRowToImage(row, y); }

}  // namespace

RowFeed bandFeed(BandRows* band) { return {nextBandRows, bandRowDone, band}; }
