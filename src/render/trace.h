// The render driver: opens the image, renders the bands (one in the calling thread, or 2, 4 or 8
// in as many threads), prints the rendering time, writes the image and frees the scene.
#pragma once

enum class Edition { single, multi };

// Which program this is; main sets it before anything else.
extern Edition edition;

// Renders the scene into the output image. A run that cannot complete the picture (the image
// cannot be opened or written, a band fails, a thread cannot be started) ends through abortRun
// with a non-zero status and leaves no image file behind. The scene lists are freed either way.
void doTrace();
// Fills the first n pairs of iBounds for the image height and prints the thread count.
void initMTBounds(int n);

// What the bands report to the driver. A band that loses rows records a non-zero status (the
// first one recorded wins); after a fatal error the other bands are asked to stop at their next
// row. Both are safe to call from any band.
void recordBandFailure(int status);
void stopAllBands();
bool bandsStopping();
