#include <algorithm>
#include <string>

#include "objects/bound.h"
#include "objects/patch.h"
#include "objects/plane.h"
#include "objects/sphere.h"
#include "support/files.h"
#include "support/render_fixture.h"

using RenderThreads = RenderTest;

// Eight bands draw random numbers for jitter, smooth shadows and fuzzy reflection at once, over
// a patch whose normals are found by every band.
TEST_F(RenderThreads, EightBandsWithRandomSamplingRunApart) {
    Surface fuzzy = matte({0.8, 0.6, 0.4}, 0.1, 0.7);
    fuzzy.reflection = 0.3;
    fuzzy.reflectionType = 1;
    fuzzy.reflectionSamples = 3;
    makePlane({0, 0, -1}, 1.0)->surface = fuzzy;  // the floor z = -1
    makeSphere({0, 6, 0}, 1)->surface = matte({0.2, 0.9, 0.3}, 0.1, 0.8);
    Vector corners[6] = {{-2, 5, -1}, {0, -1, 1}, {2, 5, -1}, {0, 1, 1}, {0, 7, 2}, {0, 0, 1}};
    makePatch(corners)->surface = matte({0.9, 0.2, 0.2}, 0.1, 0.8);
    buildBoundingSlabs();
    makeLight({3, 2, 5}, {1, 1, 1}, 0, 1, 1, 0.5, 4, 0, 0, {0, 1, 0});
    myDisplay = {40, 40, {}};
    iImageType = 2;
    TempDir dir;
    std::snprintf(myDisplay.outputName, sizeof myDisplay.outputName, "%s", dir.path("threads").c_str());
    numThreads = 8;
    iAntialias = 2;
    jitter = 1;
    testing::internal::CaptureStdout();
    doTrace(RenderDriver::threadBands);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\xB1'), 60);
    EXPECT_EQ(readWholeFile(dir.path("threads.ppm")).size(), 13u + 40 * 40 * 3);  // "P6\n40 40\n255\n" and the pixels
}
