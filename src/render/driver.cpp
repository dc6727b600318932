#include "render/driver.h"

#include <pthread.h>

#include <cstdint>
#include <cstdio>
#include <ctime>

#include "base/console.h"
#include "base/fatal.h"
#include "image/image.h"
#include "math/random.h"
#include "objects/data.h"
#include "objects/hierarchy/bound.h"
#include "render/bands.h"
#include "render/camera.h"
#include "render/progress.h"
#include "render/render_settings.h"
#include "render/resume.h"
#include "render/scans.h"
#include "shading/light.h"
#include "shading/trace.h"

int iBounds[8][2]{};

namespace {

constexpr int maxBands = 8;
constexpr double clockTicksPerSecond = 1000000.0;

using ScanFn = void (*)(RowFeed* feed);

ScanFn scanFor(int mode) {
    switch (mode) {
        case 1: return scanCorners;
        case 2: return scanAdaptive;
        default: return scanNone;
    }
}

// The scene belongs to the render from here on: it is released whichever way doTrace ends.
struct SceneRelease {
    SceneRelease() = default;
    SceneRelease(const SceneRelease&) = delete;
    SceneRelease& operator=(const SceneRelease&) = delete;
    ~SceneRelease() {
        freeBoundingSlabs();
        freeList(&myLightList);
    }
};

// Thread entry of one band: its rows, from the feed given.
void* runBand(void* feed) {
    renderThreadRows(static_cast<RowFeed*>(feed));
    return nullptr;
}

// The rows left go to the bands in equal shares: the bands of initMTBounds when every row is left.
void renderInThreads(const RowsLeft& left) {
    BandRows bands[maxBands];
    RowFeed feeds[maxBands];
    pthread_t threads[maxBands];
    int started = 0;
    for (int k = 0; k < numThreads; ++k) {
        bands[k] = {left.share(k, numThreads), &left};
        feeds[k] = bandFeed(&bands[k]);
        if (pthread_create(&threads[k], nullptr, runBand, &feeds[k]) != 0) {
            consolePrint(" Thread creation failed!!\n\n");
            recordBandFailure(1);
            stopAllBands();
            break;
        }
        ++started;
    }
    for (int k = 0; k < started; ++k) pthread_join(threads[k], nullptr);
}

// A scan, with the rays it traces counted.
void scanCounted(ScanFn scan, RowFeed* feed) {
    const std::uint64_t before = tracedRays;
    scan(feed);
    countRays(tracedRays - before);
}

void renderInCallingThread(ScanFn scan, const RowsLeft& left) {
    BandRows band{{0, myDisplay.height}, &left};
    RowFeed feed = bandFeed(&band);
    scanCounted(scan, &feed);
}

}  // namespace

void renderThreadRows(RowFeed* feed) {
    drawRandomInRuns();
    try {
        scanCounted(scanFor(iAntialias), feed);
    } catch (const RunAbort& abort) {
        recordBandFailure(abort.status != 0 ? abort.status : 1);
        stopAllBands();
    } catch (...) {
        recordBandFailure(1);
        stopAllBands();
    }
}

void initMTBounds(int n) {
    const long long h = myDisplay.height;
    if (h % n != 0)
        consolePrint(
            " Warning the height and the number of threads are incompatible.\n"
            " The number of threads must be a multiplier of the height.\n");
    for (int k = 0; k < n; ++k) {
        iBounds[k][0] = static_cast<int>(k * h / n);
        iBounds[k][1] = static_cast<int>((k + 1) * h / n);
    }
    consolePrint(" Running %d threads\n", n);
}

void doTrace(RenderDriver driver) {
    SceneRelease release;
    resetBands();

    const bool inBands = driver == RenderDriver::threadBands;
    if (inBands) {
        consolePrint(" Multi-threaded version of ORVEL running.\n\n");
        if (numThreads != 2 && numThreads != 4 && numThreads != maxBands) {
            consolePrint(" Invalid number of threads: defaulting to 2 threads\n");
            numThreads = 2;
        }
        initMTBounds(numThreads);
    }
    if (openImage(myDisplay.outputName, myDisplay.width, myDisplay.height) == -1) abortRun(1);
    RenderJournal journal(openImageName(), myDisplay.width, myDisplay.height, resumeRender);
    showProgressInit();
    journal.showRestoredProgress();
    const std::clock_t t0 = std::clock();
    cameraSetup();

    if (inBands) {
        renderInThreads(journal.rowsLeft());
    } else {
        try {
            renderInCallingThread(scanFor(iAntialias), journal.rowsLeft());
        } catch (const RunAbort&) {
            discardImage();
            throw;
        }
    }
    if (const int status = bandFailure(); status != 0) {
        discardImage();
        abortRun(status);
    }

    const std::clock_t t1 = std::clock();
    consolePrint("\n\n Rendering time: %4.2f second(s)\n",
                 static_cast<double>(t1 - t0) / clockTicksPerSecond);
    journal.pictureComplete();
    if (closeImage() == -1) abortRun(1);
    journal.pictureWritten();
}
