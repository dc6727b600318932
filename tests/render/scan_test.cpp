#include <atomic>
#include <cctype>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "base/fatal.h"
#include "support/files.h"
#include "support/render_fixture.h"

namespace {

// A white wall in front of the camera, covering the directions `covers` accepts; the number of
// rays that asked for it (from any band) and the first of them; and a height below which a ray
// ends the run instead.
std::atomic<int> calls = 0;
Vector firstDirection{};
bool (*covers)(Vector d) = nullptr;
double failBelow = -2;
Vector sideNormal(const Object*, Vector) { return {0, -1, 0}; }
int wall(const Object* obj, const Ray* ray, Hit* hit) {
    if (++calls == 1) firstDirection = ray->direction;
    if (ray->direction.z < failBelow) abortRun(1);
    *hit = {1.0, 1, obj};
    return covers(ray->direction);
}
bool rightHalf(Vector d) { return d.x > 0; }
bool everywhere(Vector) { return true; }
bool diagonal(Vector d) { return d.x + 0.7 * d.z > 0.05; }

class ScanTest : public RenderTest {
protected:
    // Renders one wall with the driver to a PPM file; the red byte of every pixel, row by row.
    std::vector<int> render(bool (*what)(Vector) = rightHalf, double ambient = 1.0) {
        addObject(wall, sideNormal, matte({1, 1, 1}, ambient));
        covers = what;
        calls = 0;
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
        const std::string bytes = readWholeFile(dir.path("pic.ppm"));
        const std::string header =
            "P6\n" + std::to_string(myDisplay.width) + " " + std::to_string(myDisplay.height) + "\n255\n";
        EXPECT_EQ(bytes.substr(0, header.size()), header);
        std::vector<int> reds;
        for (size_t i = header.size(); i < bytes.size(); i += 3) reds.push_back(static_cast<unsigned char>(bytes[i]));
        return reds;
    }
    std::string printed;
    TempDir dir;
    RenderDriver driver = RenderDriver::callingThread;
};
using ScanThreads = ScanTest;  // renders in several threads

}  // namespace

TEST(ColorToByte, LowBitsOfTheIntegerPartWithoutOverflow) {
    const double inf = std::numeric_limits<double>::infinity();
    for (auto [c, byte] : {std::pair{1.0, 255},
                           {0.5, 127},
                           {2.0, 254},
                           {-1.0 / 255, 255},
                           {-0.001, 0},
                           {1e300, 0},
                           {inf, 0},
                           {-inf, 0},
                           {std::numeric_limits<double>::quiet_NaN(), 0}})
        EXPECT_EQ(colorToByte(c), byte) << c;
}

TEST_F(ScanTest, EachModeSamplesAndAveragesAsItShould) {
    myDisplay = {4, 2, {}};  // the wall starts right of x = 2
    struct Case {
        int mode;
        int dist;
        std::vector<int> row;
        int samples;
    };
    for (const Case& t : {Case{0, 64, {0, 0, 255, 255}, 8},      // pixel centres
                          Case{1, 64, {0, 127, 255, 255}, 15},   // centres shared by four pixels
                          Case{2, 256, {0, 0, 127, 255}, 16},    // corners, never split
                          Case{2, 0, {0, 0, 223, 255}, 154}}) {  // down to quarter pixels
        iAntialias = t.mode;
        adapt_dist = t.dist;
        std::vector<int> both = t.row;
        both.insert(both.end(), t.row.begin(), t.row.end());
        EXPECT_EQ(render(), both) << "mode " << t.mode << " distance " << t.dist;
        EXPECT_EQ(calls.load(), t.samples);
    }
}

// Jittered corners: x and y for each of the four, each moved by up to an eighth of a pixel.
TEST_F(ScanTest, JitterMovesEachCornerByUpToAnEighthOfAPixel) {
    iAntialias = 2;
    myDisplay = {1, 1, {}};
    adapt_dist = 256;
    jitter = 1;
    EXPECT_EQ(randDraws([&] { render(); }), 8);
    std::srand(12345);
    const double dx = std::rand() / 2147483647.0 * 0.25 - 0.125;
    const double dy = std::rand() / 2147483647.0 * 0.25 - 0.125;
    Ray expected;
    initRay(dx, dy, &expected);
    EXPECT_EQ(firstDirection.x, expected.direction.x);
    EXPECT_EQ(firstDirection.z, expected.direction.z);
}

TEST_F(ScanTest, ProgressBarTicksEveryTenthOfTheRows) {
    struct Bar {
        int height;
        int dashes;
        int ticks;
    };
    for (const Bar& t : {Bar{240, 54, 10}, Bar{245, 60, 11}, Bar{7, 60, 7}}) {
        myDisplay.height = t.height;
        testing::internal::CaptureStdout();
        showProgressInit();
        for (int y = 0; y < t.height; ++y) showProgress(y);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "\n 0%" + std::string(t.dashes, '-') + "100%\n " + std::string(6 * t.ticks, '\xB1'));
    }
}

TEST_F(ScanTest, BandsSplitTheRowsEvenly) {
    struct Bands {
        int height;
        int n;
        std::vector<int> bounds;
    };
    for (const Bands& t : {Bands{240, 8, {0, 30, 60, 90, 120, 150, 180, 210, 240}}, Bands{245, 4, {0, 61, 122, 183, 245}},
                           Bands{100, 8, {0, 12, 25, 37, 50, 62, 75, 87, 100}}}) {
        myDisplay.height = t.height;
        testing::internal::CaptureStdout();
        initMTBounds(t.n);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  std::string(t.height == 240 ? ""
                                              : " Warning the height and the number of threads are incompatible.\n"
                                                " The number of threads must be a multiplier of the height.\n") +
                      " Running " + std::to_string(t.n) + " threads\n");
        for (int k = 0; k < t.n; ++k) {
            EXPECT_EQ(iBounds[k][0], t.bounds[k]) << k;
            EXPECT_EQ(iBounds[k][1], t.bounds[k + 1]) << k;
        }
    }
}

TEST_F(ScanThreads, EveryRowOfEveryBandIsWritten) {
    driver = RenderDriver::threadBands;
    for (int height : {240, 245, 100, 7}) {
        for (int n : {2, 4, 8}) {
            myDisplay = {2, height, {}};
            numThreads = n;
            iAntialias = (height + n) % 3;
            ASSERT_EQ(render(everywhere, 0.5), std::vector<int>(2 * height, 127)) << height << " rows, " << n;
        }
    }
}

TEST_F(ScanThreads, DriversPrintTheirLinesAndAgreeByteForByte) {
    myDisplay = {24, 20, {}};
    for (int mode : {0, 1, 2}) {
        iAntialias = mode;
        driver = RenderDriver::callingThread;
        const auto single = render(diagonal);
        std::string tail = printed.substr(printed.find("\n 0%"));
        for (size_t i = tail.rfind("time: "); i < tail.size(); ++i) tail[i] = std::isdigit(tail[i]) ? '#' : tail[i];
        EXPECT_EQ(tail, "\n 0%" + std::string(54, '-') + "100%\n " + std::string(60, '\xB1') +
                            "\n\n Rendering time: #.## second(s)\n");
        EXPECT_EQ(printed.find("Running"), std::string::npos);
        driver = RenderDriver::threadBands;
        numThreads = 4;
        EXPECT_EQ(render(diagonal), single);
        EXPECT_EQ(printed.rfind(" Multi-threaded version of ORVEL running.\n\n Running 4 threads\n", 0), 0u);
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
