#include "render/rows.h"

#include "image/image.h"
#include "render/ray.h"
#include "render/resume.h"
#include "render/rows_left.h"

void writeRowToImage(unsigned char* row, int y) {
    journalRow(row, y);  // first: TGA and BMP swap the row in place
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
