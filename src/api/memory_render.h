// The render step of a library call: the picture's rows go into a frame in memory, not into an
// image file. The bands are those of the command line (one in the calling thread, or 2, 4 or 8
// in as many threads, split as orvel-mt splits them), and so are the console's lines, but for the
// file name; every finished row is reported to the host's progress callback, which may stop the
// render before its next row.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "image/frame.h"

using ProgressCallback = int (*)(void* user, int rowsDone, int rowsTotal);

struct MemoryRender {
    int bands = 1;  // 1: in the calling thread
    ProgressCallback progress = nullptr;
    void* progressUser = nullptr;

    // What the render leaves: the picture, or the reason it stopped.
    Frame frame;
    bool cancelled = false;
    std::atomic<std::uint64_t> rays{0};
    double seconds = 0.0;

    std::mutex progressLock;  // the host's callback is called by one thread at a time
    int rowsDone = 0;
};

// The render a call of the library runs next; set before renderIntoMemory.
extern MemoryRender* memoryRender;

// In place of the render driver, once the scene is read and its hierarchy built: renders into
// memoryRender->frame. The picture's size is refused as the command line refuses it before it
// renders anything; a failure ends the run through abortRun, a cancel returns with `cancelled`
// set. The scene's lists are freed either way.
void renderIntoMemory();
