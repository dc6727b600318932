#include "image/ppm.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

using Bytes = std::vector<unsigned char>;

TEST(Ppm, TextHeaderThenRowsTopFirstInRedGreenBlue) {
    TempDir dir;
    const std::string vga = dir.path("vga.ppm");
    ASSERT_EQ(openPPM(vga.c_str(), 640, 480), 0);
    ASSERT_EQ(closePPM(), 0);
    const Bytes big = readFileBytes(vga);
    ASSERT_EQ(big.size(), 15u + 640 * 480 * 3);
    EXPECT_EQ(std::string(big.begin(), big.begin() + 15), "P6\n640 480\n255\n");

    const std::string file = dir.path("small.ppm");
    ASSERT_EQ(openPPM(file.c_str(), 2, 2), 0);
    Bytes bottom{7, 8, 9, 10, 11, 12}, top{1, 2, 3, 4, 5, 6};
    ASSERT_EQ(writePPMLine(bottom.data(), 1), 0);
    ASSERT_EQ(writePPMLine(top.data(), 0), 0);
    EXPECT_EQ(top[0], 1);  // the caller's row untouched
    ASSERT_EQ(closePPM(), 0);
    const std::string expected = "P6\n2 2\n255\n\1\2\3\4\5\6\7\10\11\12\13\14";
    EXPECT_EQ(readFileBytes(file), Bytes(expected.begin(), expected.end()));
}
