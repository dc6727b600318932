#include "image/tga.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

using Bytes = std::vector<unsigned char>;

TEST(Tga, HeaderThenRowsTopFirstInBlueGreenRed) {
    TempDir dir;
    const std::string file = dir.path("wide.tga");
    ASSERT_EQ(openTGA(file.c_str(), 300, 2), 0);
    Bytes top(900), bottom(900);
    top[0] = 1;  // first pixel: red 1, blue 3
    top[2] = 3;
    bottom[897] = 7;  // last pixel: red 7
    ASSERT_EQ(writeTGALine(bottom.data(), 1), 0);
    ASSERT_EQ(writeTGALine(top.data(), 0), 0);
    EXPECT_EQ(Bytes(top.begin(), top.begin() + 3), (Bytes{3, 0, 1}));  // the caller's row swapped
    EXPECT_EQ(writeTGALine(top.data(), 2), -1);  // no such row: refused, row left alone
    EXPECT_EQ(top[0], 3);
    ASSERT_EQ(closeTGA(), 0);

    const Bytes bytes = readFileBytes(file);
    ASSERT_EQ(bytes.size(), 18u + 1800);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 21),
              (Bytes{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 44, 1, 2, 0, 24, 32, 3, 0, 1}));
    EXPECT_EQ(Bytes(bytes.end() - 3, bytes.end()), (Bytes{0, 0, 7}));
}
