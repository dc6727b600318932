#include "app/run.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/settings.h"
#include "base/console.h"
#include "base/tasks.h"
#include "image/image.h"
#include "objects/data.h"
#include "objects/hierarchy/bound.h"
#include "render/bands.h"
#include "render/camera.h"
#include "render/render_settings.h"
#include "render/resume.h"
#include "scene/parser.h"
#include "shading/shade.h"

void resetRunState() {
    discardImage();
    releaseScene();
    resetSettings();
    resetCamera();
    myBackGroundColor = {0.0, 0.0, 0.0};
    myHaze = {0.0, {0.0, 0.0, 0.0}};
    resetBands();
    resetRenderJournals();
    buildThreads = 1;
    std::srand(1);
}

namespace {

// The number of primitives, then the bounding hierarchy, built on `threads` threads.
void prepareRender(int threads) {
    buildThreads = threads;
    consolePrint("\n Number of primitives:\t\t%ld\n\n", nPrims);
    buildBoundingSlabs();
}

}  // namespace

void renderParsedScene(RenderDriver driver) {
    // The set-up uses as many threads as the bands will (at least two), one per processor at most.
    prepareRender(driver == RenderDriver::threadBands ? std::max(numThreads, 2) : 1);
    doTrace(driver);
}

void renderParsedScene(void (*trace)()) {
    // Each rank of orvel-mpi builds its own hierarchy with its render threads.
    prepareRender(numThreads);
    trace();
}
