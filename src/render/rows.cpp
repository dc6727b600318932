#include "render/rows.h"

#include "image/image.h"
#include "render/progress.h"
#include "render/resume.h"
#include "render/rows_left.h"

RowWatcher rowWatcher{nullptr, nullptr};

void writeRowToImage(unsigned char* row, int y) {
    journalRow(row, y);  // before the image: TGA and BMP swap the row in place
    if (rowWatcher.rowDone) rowWatcher.rowDone(rowWatcher.owner, row, y);
    writeImageLine(row, y);
    showProgress(y);
}

namespace {

bool nextBandRows(void* owner, RowSpan* span) {
    BandRows* band = static_cast<BandRows*>(owner);
    return band->left->nextSpan(&band->stretch, span);
}

void bandRowDone(void*, unsigned char* row, int y) { writeRowToImage(row, y); }

}  // namespace

RowFeed bandFeed(BandRows* band) { return {nextBandRows, bandRowDone, band}; }
