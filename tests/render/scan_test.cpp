#include <cctype>
#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "app/fatal.h"
#include "support/render_fixture.h"

namespace {

int calls = 0;
Vector sideNormal(const Object*, Vector) { return {0, -1, 0}; }

// The right half of the view (x > 0) is a white wall, the rest is background.
int rightHalf(const Object* obj, const Ray* ray, Hit* hit) {
    ++calls;
    *hit = {1.0, 1, obj};
    return ray->direction.x > 0;
}
int everywhere(const Object* obj, const Ray*, Hit* hit) {
    *hit = {1.0, 1, obj};
    return 1;
}
int diagonal(const Object* obj, const Ray* ray, Hit* hit) {
    *hit = {1.0, 1, obj};
    return ray->direction.x + 0.7 * ray->direction.z > 0.05;
}
int failLow(const Object* obj, const Ray* ray, Hit* hit) {
    if (ray->direction.z < -0.2) abortRun(1);
    return everywhere(obj, ray, hit);
}

// The rendering time with its digits masked.
std::string maskTime(std::string text) {
    for (size_t i = text.rfind("time: "); i < text.size(); ++i)
        if (std::isdigit(static_cast<unsigned char>(text[i]))) text[i] = '#';
    return text;
}

class ScanTest : public RenderTest {
protected:
    // Renders one wall with the driver to a PPM file; the red byte of every pixel, row by row.
    std::vector<int> render(IntersectFn hitFn = rightHalf, double ambient = 1.0) {
        addObject(hitFn, sideNormal, matte({1, 1, 1}, ambient));
        calls = 0;
        iImageType = 2;
        // ctest runs tests side by side: each one writes its own file.
        const std::string name =
            testing::TempDir() + "orvel_" + testing::UnitTest::GetInstance()->current_test_info()->name();
        std::snprintf(myDisplay.outputName, sizeof myDisplay.outputName, "%s", name.c_str());
        testing::internal::CaptureStdout();
        try {
            doTrace();
        } catch (const RunAbort&) {
            printed = testing::internal::GetCapturedStdout();
            EXPECT_FALSE(std::ifstream(name + ".ppm").good());  // no half-written file
            throw;
        }
        printed = testing::internal::GetCapturedStdout();
        std::ifstream file(name + ".ppm", std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(file), {}};
        std::remove((name + ".ppm").c_str());
        const std::string header =
            "P6\n" + std::to_string(myDisplay.width) + " " + std::to_string(myDisplay.height) + "\n255\n";
        EXPECT_EQ(bytes.substr(0, header.size()), header);
        std::vector<int> reds;
        for (size_t i = header.size(); i < bytes.size(); i += 3) reds.push_back(static_cast<unsigned char>(bytes[i]));
        return reds;
    }
    std::string printed;
};
using ScanThreads = ScanTest;  // renders in several threads

}  // namespace

TEST(ColorToByte, LowBitsOfTheIntegerPartWithoutOverflow) {
    const double inf = std::numeric_limits<double>::infinity();
    for (auto [c, byte] : {std::pair{1.0, 255}, {0.5, 127}, {2.0, 254}, {-1.0 / 255, 255}, {-0.001, 0}, {1e300, 0},
                           {inf, 0}, {-inf, 0}, {std::numeric_limits<double>::quiet_NaN(), 0}})
        EXPECT_EQ(colorToByte(c), byte) << c;
}

TEST_F(ScanTest, EachModeSamplesAndAveragesAsItShould) {
    myDisplay = {4, 2, {}};  // the wall starts right of x = 2
    struct Case { int mode; int dist; std::vector<int> row; int samples; };
    for (const Case& t : {Case{0, 64, {0, 0, 255, 255}, 8},      // pixel centres
                          Case{1, 64, {0, 127, 255, 255}, 15},   // centres shared by four pixels
                          Case{2, 256, {0, 0, 127, 255}, 16},    // corners, never split
                          Case{2, 0, {0, 0, 223, 255}, 154}}) {  // down to quarter pixels
        iAntialias = t.mode;
        adapt_dist = t.dist;
        std::vector<int> both = t.row;
        both.insert(both.end(), t.row.begin(), t.row.end());
        EXPECT_EQ(render(), both) << "mode " << t.mode << " distance " << t.dist;
        EXPECT_EQ(calls, t.samples);
    }
    myDisplay = {1, 1, {}};
    adapt_dist = 256;
    jitter = 1;
    EXPECT_EQ(randDraws([&] { render(); }), 8);  // x and y for each of the four corners
}

TEST_F(ScanTest, ProgressBarTicksTenTimes) {
    struct Case { int height; int dashes; int ticks; };
    for (const Case& t : {Case{240, 54, 10}, Case{245, 60, 11}, Case{7, 60, 7}}) {
        myDisplay.height = t.height;
        testing::internal::CaptureStdout();
        showProgressInit();
        for (int y = 0; y < t.height; ++y) showProgress(y);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "\n 0%" + std::string(t.dashes, '-') + "100%\n " + std::string(6 * t.ticks, '\xB1'));
    }
}

TEST_F(ScanTest, BandBoundsAndWarning) {
    struct Case { int height; int n; std::vector<int> bounds; };
    for (const Case& t : {Case{240, 8, {0, 30, 60, 90, 120, 150, 180, 210, 240}}, Case{245, 4, {0, 61, 122, 183, 245}},
                          Case{100, 8, {0, 12, 25, 37, 50, 62, 75, 87, 100}}}) {
        myDisplay.height = t.height;
        testing::internal::CaptureStdout();
        initMTBounds(t.n);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  std::string(t.height == 240 ? "" : " Warning the height and the number of threads are incompatible.\n"
                                          " The number of threads must be a multiplier of the height.\n") +
                      " Running " + std::to_string(t.n) + " threads\n");
        for (int k = 0; k < t.n; ++k) {
            EXPECT_EQ(iBounds[k][0], t.bounds[k]);
            EXPECT_EQ(iBounds[k][1], t.bounds[k + 1]);
        }
    }
}

TEST_F(ScanThreads, EveryRowOfEveryBandIsWritten) {
    edition = Edition::multi;
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
        edition = Edition::single;
        const auto single = render(diagonal);
        EXPECT_EQ(maskTime(printed).substr(printed.find("\n 0%")),
                  "\n 0%" + std::string(54, '-') + "100%\n " + std::string(60, '\xB1') +
                      "\n\n Rendering time: #.## second(s)\n");
        EXPECT_EQ(printed.find("Running"), std::string::npos);
        edition = Edition::multi;
        numThreads = 4;
        EXPECT_EQ(render(diagonal), single);
        EXPECT_EQ(printed.rfind(" Multi-threaded version of ORVEL running.\n\n Running 4 threads\n", 0), 0u);
    }
}

TEST_F(ScanThreads, FailuresEndTheRunWithoutAnImage) {
    myDisplay = {8, 8, {}};
    for (Edition e : {Edition::single, Edition::multi}) {
        edition = e;
        try {
            render(failLow);
            ADD_FAILURE() << "a failing band must end the run";
        } catch (const RunAbort& abort) {
            EXPECT_EQ(abort.status, 1);
        }
        EXPECT_EQ(myObjectList, nullptr);  // the scene is released anyway
    }
    std::snprintf(myDisplay.outputName, sizeof myDisplay.outputName, "/nonexistent-dir/picture");
    addObject(rightHalf, sideNormal);
    testing::internal::CaptureStdout();
    EXPECT_THROW(doTrace(), RunAbort);
    EXPECT_EQ(testing::internal::GetCapturedStdout().find("0%"), std::string::npos);  // no bar
    EXPECT_EQ(myObjectList, nullptr);
}

TEST_F(ScanTest, RendersToEveryFormat) {
    myDisplay = {16, 12, {}};
    const std::string name = testing::TempDir() + "orvel_format_test";
    std::snprintf(myDisplay.outputName, sizeof myDisplay.outputName, "%s", name.c_str());
    const char* suffixes[] = {".tga", ".bmp", ".ppm", ".png", ".jpg"};
    const std::string magic[] = {std::string("\0\0\2", 3), "BM", "P6\n16 12\n", "\x89PNG", "\xFF\xD8\xFF"};
    for (int type = 0; type < 5; ++type) {
        addObject(diagonal, sideNormal, matte({1, 0.5, 0.2}, 1.0));
        iImageType = type;
        testing::internal::CaptureStdout();
        doTrace();
        testing::internal::GetCapturedStdout();
        const std::string file = name + suffixes[type];
        std::string head(magic[type].size(), '\0');
        std::ifstream(file, std::ios::binary).read(head.data(), static_cast<long>(head.size()));
        EXPECT_EQ(head, magic[type]) << file;
        std::remove(file.c_str());
    }
}

TEST_F(ScanTest, DegenerateCameraStillGivesBytes) {
    myViewPoint.lookAt = myViewPoint.position;  // no view direction: every ray is NaN
    myDisplay = {3, 2, {}};
    for (int mode : {0, 1, 2}) {
        iAntialias = mode;
        makeLight({0, -5, 5}, {1, 1, 1}, 0, 2, 1, 0.5, 2, 0, 0, {0, 0, -1});
        EXPECT_EQ(render(everywhere).size(), 6u);
    }
}
