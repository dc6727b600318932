#include "image/ppm.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

using Bytes = std::vector<unsigned char>;

TEST(Ppm, ThreeLineHeaderWithoutComment) {
    TempDir dir;
    const std::string file = dir.path("vga.ppm");
    ASSERT_EQ(openPPM(file.c_str(), 640, 480), 0);
    ASSERT_EQ(closePPM(), 0);
    const Bytes bytes = readFileBytes(file);
    const std::string header = "P6\n640 480\n255\n";
    ASSERT_EQ(bytes.size(), header.size() + 640 * 480 * 3);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + header.size()), header);
}

TEST(Ppm, RowsTopFirstInRedGreenBlueAndTheCallersRowUntouched) {
    TempDir dir;
    const std::string file = dir.path("small.ppm");
    ASSERT_EQ(openPPM(file.c_str(), 2, 2), 0);
    Bytes bottom{7, 8, 9, 10, 11, 12};
    Bytes top{1, 2, 3, 4, 5, 6};
    ASSERT_EQ(writePPMLine(bottom.data(), 1), 0);
    ASSERT_EQ(writePPMLine(top.data(), 0), 0);
    EXPECT_EQ(top, (Bytes{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(writePPMLine(top.data(), 2), -1);
    ASSERT_EQ(closePPM(), 0);

    const std::string header = "P6\n2 2\n255\n";
    Bytes expected(header.begin(), header.end());
    expected.insert(expected.end(), {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    EXPECT_EQ(readFileBytes(file), expected);
}
