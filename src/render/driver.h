// The render driver: opens the image, renders the bands (one in the calling thread, or 2, 4 or 8
// in as many threads), prints the rendering time, writes the image and frees the scene.
#pragma once

#include "render/rows.h"

// How the picture is rendered: in the calling thread, or in `numThreads` bands (2, 4 or 8; any
// other count is put back to 2 with a message) at once.
enum class RenderDriver { callingThread, threadBands };

// Renders the scene into the output image. A run that cannot complete the picture (the image
// cannot be opened or written, a band fails, a thread cannot be started) ends through abortRun
// with a non-zero status and leaves no image file behind. The scene lists are freed either way.
void doTrace(RenderDriver driver);
// Per band: first row, end row (exclusive).
extern int iBounds[8][2];

// Fills the first n pairs of iBounds for the image height and prints the thread count.
void initMTBounds(int n);

// The work of one render thread: the scan of `iAntialias` over the rows of the feed, with random
// numbers drawn in runs. A fatal error does not escape: it is recorded in the band control, and
// every render thread is asked to stop.
void renderThreadRows(RowFeed* feed);
