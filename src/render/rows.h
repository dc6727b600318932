// The rows a scan renders and where its finished rows go. A scan asks its feed for a span of rows
// until the feed has none left, renders each span from its first row down and hands every
// finished row to the feed. Each span starts afresh, as a band does (the quick scan samples the
// row above it, the adaptive scan computes its top corners anew), so spans may come in any order
// and of any size: without random sampling the picture comes out the same however it is cut.
#pragma once

struct RowSpan {
    int first;  // the first row
    int end;    // one past the last row
};

// The operations of a feed and the record they work on (`owner`). `next` gives the next span
// (true), or says that no rows are left (false); `done` takes finished row y (3 * width bytes),
// which the scan overwrites once it returns. A feed shared by several threads guards itself.
struct RowFeed {
    bool (*next)(void* owner, RowSpan* span);
    void (*done)(void* owner, unsigned char* row, int y);
    void* owner;
};

// Where a finished row goes in a render on one machine: to the render's journal and to the row
// watcher, when there is one, as the scan made it (red, green, blue), then into the image
// (writeImageLine), then a progress tick.
void writeRowToImage(unsigned char* row, int y);

// Who else hears of every finished row (a program that embeds the renderer, for its progress):
// called from the render threads, for one row at a time in each; null when nobody.
struct RowWatcher {
    void (*rowDone)(void* owner, const unsigned char* row, int y);
    void* owner;
};
extern RowWatcher rowWatcher;

class RowsLeft;

// One band: the rows left in its stretch, each run of consecutive rows left as a span, each row
// written to the image. (With every row left, the stretch is one span.)
struct BandRows {
    RowSpan stretch;
    const RowsLeft* left;
};
RowFeed bandFeed(BandRows* band);
