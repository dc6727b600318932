#include "app/run.h"

#include <cstdio>
#include <cstdlib>

#include "app/settings.h"
#include "image/image.h"
#include "objects/bound.h"
#include "objects/data.h"
#include "render/bands.h"
#include "render/ray.h"
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
    std::srand(1);
}

namespace {

void prepareRender() {
    std::printf("\n Number of primitives:\t\t%ld\n\n", nPrims);
    buildBoundingSlabs();
}

}  // namespace

void renderParsedScene(RenderDriver driver) {
    prepareRender();
    doTrace(driver);
}

void renderParsedScene(void (*trace)()) {
    prepareRender();
    trace();
}
