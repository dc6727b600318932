#include "api/memory_render.h"

#include <cerrno>
#include <chrono>
#include <ctime>
#include <system_error>
#include <thread>
#include <vector>

#include "api/call.h"
#include "base/console.h"
#include "base/fatal.h"
#include "objects/data.h"
#include "objects/hierarchy/bound.h"
#include "render/bands.h"
#include "render/camera.h"
#include "render/driver.h"
#include "render/progress.h"
#include "render/render_settings.h"
#include "render/scans.h"
#include "shading/trace.h"

MemoryRender* memoryRender = nullptr;

namespace {

// The longest side any image format is asked to hold (the command line refuses more).
constexpr int largestSide = 65535;
constexpr int maxBands = 8;
constexpr double clockTicksPerSecond = 1000000.0;

// The scene belongs to the render from here on: it is released whichever way the render ends.
struct SceneRelease {
    SceneRelease() = default;
    SceneRelease(const SceneRelease&) = delete;
    SceneRelease& operator=(const SceneRelease&) = delete;
    ~SceneRelease() {
        freeBoundingSlabs();
        freeList(&myLightList);
    }
};

// One band's rows, given once.
struct BandWork {
    RowSpan span;
    bool given;
};

bool nextRows(void* owner, RowSpan* span) {
    BandWork& band = *static_cast<BandWork*>(owner);
    if (band.given) return false;
    band.given = true;
    *span = band.span;
    return true;
}

void rowDone(void*, unsigned char* row, int y) {
    MemoryRender& render = *memoryRender;
    render.frame.store(row, y, PixelOrder::RGB);
    showProgress(y);
    if (!render.progress) return;
    const std::lock_guard<std::mutex> lock(render.progressLock);
    ++render.rowsDone;
    if (render.cancelled) return;
    if (render.progress(render.progressUser, render.rowsDone, render.frame.height()) != 0) {
        render.cancelled = true;
        stopAllBands();
    }
}

void scanInCallingThread(RowFeed* feed) {
    const std::uint64_t before = tracedRays;
    switch (iAntialias) {
        case 1: scanCorners(feed); break;
        case 2: scanAdaptive(feed); break;
        default: scanNone(feed); break;
    }
    memoryRender->rays += tracedRays - before;
}

void renderBand(RowFeed* feed) {
    markRenderThread();
    renderThreadRows(feed);
    memoryRender->rays += tracedRays;
}

void renderInThreads(int bands) {
    BandWork work[maxBands];
    RowFeed feeds[maxBands];
    std::vector<std::thread> threads;
    for (int k = 0; k < bands; ++k) {
        work[k] = {{iBounds[k][0], iBounds[k][1]}, false};
        feeds[k] = {nextRows, rowDone, &work[k]};
        try {
            threads.emplace_back(renderBand, &feeds[k]);
        } catch (const std::system_error&) {
            consolePrint(" Thread creation failed!!\n\n");
            recordBandFailure(1);
            stopAllBands();
            break;
        }
    }
    for (std::thread& thread : threads) thread.join();
}

// The frame for the picture, or the run ends with the command line's message for the size.
void allocateFrame(Frame& frame, int width, int height) {
    if (width > largestSide || height > largestSide) {
        consolePrint(" Image size %d x %d is too large: at most %d pixels a side\n", width, height,
                     largestSide);
        abortRun(1);
    }
    if (!frame.allocate(width, height)) {
        if (errno == ENOMEM) {
            consolePrint(" Not enough memory for a %d x %d image\n", width, height);
        } else {
            consolePrint(" Image size %d x %d is not valid\n", width, height);
        }
        abortRun(1);
    }
}

}  // namespace

void renderIntoMemory() {
    MemoryRender& render = *memoryRender;
    const SceneRelease release;
    resetBands();
    if (render.bands > 1) {
        consolePrint(" Multi-threaded version of ORVEL running.\n\n");
        initMTBounds(render.bands);
    }
    allocateFrame(render.frame, myDisplay.width, myDisplay.height);
    consolePrint(" Resolution:   %d x %d\n", myDisplay.width, myDisplay.height);
    showProgressInit();
    const std::clock_t t0 = std::clock();
    const auto start = std::chrono::steady_clock::now();
    cameraSetup();

    if (render.bands > 1) {
        renderInThreads(render.bands);
    } else {
        BandWork band{{0, myDisplay.height}, false};
        RowFeed feed{nextRows, rowDone, &band};
        scanInCallingThread(&feed);
    }
    if (const int status = bandFailure(); status != 0) abortRun(status);
    if (render.cancelled) return;

    render.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::clock_t t1 = std::clock();
    consolePrint("\n\n Rendering time: %4.2f second(s)\n",
                 static_cast<double>(t1 - t0) / clockTicksPerSecond);
}
