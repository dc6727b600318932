#include "image/tga.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/temp_dir.h"

using Bytes = std::vector<unsigned char>;

TEST(Tga, HeaderAndRowsTopFirstInBlueGreenRed) {
    TempDir dir;
    const std::string file = dir.path("wide.tga");
    ASSERT_EQ(openTGA(file.c_str(), 300, 2), 0);
    for (int y : {1, 0}) {
        Bytes row(900);
        for (int x = 0; x < 300; ++x) {
            row[3 * x] = static_cast<unsigned char>(x);  // red
            row[3 * x + 1] = static_cast<unsigned char>(10 + y);
            row[3 * x + 2] = 200;
        }
        ASSERT_EQ(writeTGALine(row.data(), y), 0);
    }
    ASSERT_EQ(closeTGA(), 0);

    const Bytes bytes = readFileBytes(file);
    ASSERT_EQ(bytes.size(), 18u + 2 * 900);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 18),
              (Bytes{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 44, 1, 2, 0, 24, 32}));
    EXPECT_EQ(Bytes(bytes.begin() + 18, bytes.begin() + 24), (Bytes{200, 10, 0, 200, 10, 1}));
    const auto lastPixel = bytes.end() - 3;  // bottom row, x = 299
    EXPECT_EQ(Bytes(lastPixel, bytes.end()), (Bytes{200, 11, 299 % 256}));
}

TEST(Tga, LineWriteLeavesTheCallersRowBlueGreenRed) {
    TempDir dir;
    const std::string file = dir.path("swap.tga");
    ASSERT_EQ(openTGA(file.c_str(), 2, 1), 0);
    Bytes row{1, 2, 3, 4, 5, 6};
    ASSERT_EQ(writeTGALine(row.data(), 0), 0);
    EXPECT_EQ(row, (Bytes{3, 2, 1, 6, 5, 4}));
    // A row the frame does not have is refused and left as it was.
    EXPECT_EQ(writeTGALine(row.data(), 1), -1);
    EXPECT_EQ(writeTGALine(row.data(), -1), -1);
    EXPECT_EQ(row, (Bytes{3, 2, 1, 6, 5, 4}));
    ASSERT_EQ(closeTGA(), 0);
    EXPECT_EQ(readFileBytes(file).size(), 18u + 6);
}

TEST(Tga, SidesMustFitSixteenBits) {
    EXPECT_TRUE(tgaCanStore(65535, 65535));
    EXPECT_FALSE(tgaCanStore(65536, 1));
    EXPECT_FALSE(tgaCanStore(1, 65536));

    TempDir dir;
    EXPECT_EQ(openTGA(dir.path("big.tga").c_str(), 65536, 1), -1);
    EXPECT_EQ(openTGA(dir.path("empty.tga").c_str(), 0, 1), -1);
    EXPECT_TRUE(dir.files().empty());
    Bytes row(3);
    EXPECT_EQ(writeTGALine(row.data(), 0), -1);
    EXPECT_EQ(closeTGA(), -1);
}
