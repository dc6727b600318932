#include <cctype>
#include <limits>
#include <string>

#include "base/fatal.h"
#include "render/progress.h"
#include "render/scans.h"
#include "support/files.h"
#include "support/render_fixture.h"

namespace {

// A white wall in front of the camera, covering the directions `covers` accepts; a ray below the
// height failBelow ends the run instead.
bool (*covers)(Vector d) = nullptr;
double failBelow = -2;
Vector sideNormal(const Object*, Vector) { return {0, -1, 0}; }
int wall(const Object* obj, const Ray* ray, Hit* hit) {
    if (ray->direction.z < failBelow) abortRun(1);
    *hit = {1.0, 1, obj};
    return covers(ray->direction);
}
bool everywhere(Vector) { return true; }
bool diagonal(Vector d) { return d.x + 0.7 * d.z > 0.05; }

// The progress bar: the dashes of its scale, then each tick as six bytes 0xB1.
std::string progressBar(int dashes, int ticks) {
    return "\n 0%" + std::string(dashes, '-') + "100%\n " + std::string(6 * ticks, '\xB1');
}

class ScanTest : public RenderTest {
protected:
    // Renders one wall with the driver to a PPM file; the file's bytes.
    std::string render(bool (*what)(Vector)) {
        addObject(wall, sideNormal, matte({1, 1, 1}, 1.0));
        covers = what;
        iImageType = 2;
        std::snprintf(myDisplay.outputName, sizeof myDisplay.outputName, "%s", dir.path("pic").c_str());
        testing::internal::CaptureStdout();
        try {
            doTrace(driver);
        } catch (const RunAbort&) {
            printed = testing::internal::GetCapturedStdout();
            EXPECT_TRUE(dir.empty());  // no half-written file
            throw;
        }
        printed = testing::internal::GetCapturedStdout();
        return readWholeFile(dir.path("pic.ppm"));
    }
    std::string printed;
    TempDir dir;
    RenderDriver driver = RenderDriver::callingThread;
};
using ScanThreads = ScanTest;  // renders in several threads

}  // namespace

// Bytes are the low bits of the integer part; values no int holds give 0 instead of overflowing.
TEST(ColorToByte, LowBitsOfTheIntegerPartWithoutOverflow) {
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    const double colors[] = {1.0, 2.0, -1.0 / 255, -0.001, 1e300, inf, -inf, nan};
    const int bytes[] = {255, 254, 255, 0, 0, 0, 0, 0};
    for (int k = 0; k < 8; ++k) EXPECT_EQ(colorToByte(colors[k]), bytes[k]) << colors[k];
}

TEST_F(ScanTest, ProgressBarAndBandMessage) {
    myDisplay.height = 245;  // a tick every 24 rows, the last at row 240
    testing::internal::CaptureStdout();
    showProgressInit();
    for (int y = 0; y < 245; ++y) showProgress(y);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), progressBar(60, 11));
    myDisplay.height = 240;
    testing::internal::CaptureStdout();
    initMTBounds(8);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), " Running 8 threads\n");  // 7 rows in 8 bands: see below
}

// More bands than rows give the single band's bytes in every mode (uneven bands are fixed by the
// end-to-end pictures); the single band prints a tick per row when there are fewer than ten.
TEST_F(ScanThreads, DriversPrintTheirLinesAndAgreeByteForByte) {
    myDisplay = {24, 7, {}};
    for (int mode : {0, 1, 2}) {
        iAntialias = mode;
        driver = RenderDriver::callingThread;
        const std::string single = render(diagonal);
        std::string tail = printed.substr(printed.find("\n 0%"));
        for (size_t i = tail.rfind("time: "); i < tail.size(); ++i) tail[i] = std::isdigit(tail[i]) ? '#' : tail[i];
        EXPECT_EQ(tail, progressBar(60, 7) + "\n\n Rendering time: #.## second(s)\n");
        EXPECT_EQ(printed.find("Running"), std::string::npos);
        driver = RenderDriver::threadBands;
        numThreads = 8;
        EXPECT_EQ(render(diagonal), single) << "mode " << mode;
        EXPECT_TRUE(
            printed.starts_with(" Multi-threaded version of ORVEL running.\n\n Warning the height and the "
                                "number of threads are incompatible.\n The number of threads must be a "
                                "multiplier of the height.\n Running 8 threads\n"))
            << printed;
    }
}

TEST_F(ScanThreads, AFailingBandEndsTheRunWithoutAnImage) {
    myDisplay = {8, 8, {}};
    failBelow = -0.2;
    for (RenderDriver d : {RenderDriver::callingThread, RenderDriver::threadBands}) {
        driver = d;
        try {
            render(everywhere);
            ADD_FAILURE() << "a failing band must end the run";
        } catch (const RunAbort& abort) {
            EXPECT_EQ(abort.status, 1);
        }
        EXPECT_EQ(myObjectList, nullptr);  // the scene is released anyway
    }
    failBelow = -2;
}
