#include "app/settings.h"

#include "image/image.h"
#include "objects/hierarchy/pqueue.h"
#include "objects/hierarchy/slab_directions.h"
#include "render/driver.h"
#include "render/render_settings.h"
#include "scene/parser.h"

char inputFileName[512]{};

void resetSettings() {
    myDisplay = {};
    inputFileName[0] = '\0';
    widthOnCommandLine = heightOnCommandLine = false;
    jitter = 0;
    jpeg_quality = 0;
    numThreads = 2;
    iPQSize = 128;
    for (auto& band : iBounds) band[0] = band[1] = 0;
    resumeRender = false;
    randomSeed.reset();
    setStartupDefaults();
}

void setStartupDefaults() {
    iAntialias = 0;
    adapt_dist = 20;
    iImageType = 1;
    Slab[0] = {1.0, 0.0, 0.0};
    Slab[1] = {0.0, 1.0, 0.0};
    Slab[2] = {0.0, 0.0, 1.0};
    bunching = 4;
}
