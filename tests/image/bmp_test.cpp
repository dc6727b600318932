#include "image/bmp.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "support/temp_dir.h"

using Bytes = std::vector<unsigned char>;

namespace {

// The 54-byte header of a 24-bit BMP with the given row size.
Bytes bmpHeader(std::uint32_t width, std::uint32_t height, std::uint32_t rowSize) {
    const std::uint32_t data = rowSize * height;
    const std::uint32_t size = 54 + data;
    auto le32 = [](std::uint32_t v) {
        return Bytes{static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                     static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
    };
    Bytes header{'B', 'M'};
    for (const Bytes& part : {le32(size), le32(0), le32(54), le32(40), le32(width), le32(height),
                              Bytes{1, 0, 24, 0}, le32(0), le32(data), le32(0), le32(0), le32(0),
                              le32(0)}) {
        header.insert(header.end(), part.begin(), part.end());
    }
    return header;
}

}  // namespace

TEST(Bmp, OnePixelIsFiftyEightBytesWithAPaddedRow) {
    TempDir dir;
    const std::string file = dir.path("one.bmp");
    ASSERT_EQ(openBMP(file.c_str(), 1, 1), 0);
    Bytes row{10, 20, 30};
    ASSERT_EQ(writeBMPLine(row.data(), 0), 0);
    EXPECT_EQ(row, (Bytes{30, 20, 10}));  // the caller's row is now blue, green, red
    ASSERT_EQ(closeBMP(), 0);

    Bytes expected = bmpHeader(1, 1, 4);
    expected.insert(expected.end(), {30, 20, 10, 0});
    EXPECT_EQ(readFileBytes(file), expected);
}

TEST(Bmp, RowsArePaddedAndTheTopRowIsWrittenLast) {
    TempDir dir;
    const std::string file = dir.path("three.bmp");
    ASSERT_EQ(openBMP(file.c_str(), 3, 2), 0);
    Bytes top{1, 2, 3, 4, 5, 6, 7, 8, 9};
    Bytes bottom{11, 12, 13, 14, 15, 16, 17, 18, 19};
    ASSERT_EQ(writeBMPLine(top.data(), 0), 0);
    ASSERT_EQ(writeBMPLine(bottom.data(), 1), 0);
    ASSERT_EQ(closeBMP(), 0);

    Bytes expected = bmpHeader(3, 2, 12);
    expected.insert(expected.end(), {13, 12, 11, 16, 15, 14, 19, 18, 17, 0, 0, 0});
    expected.insert(expected.end(), {3, 2, 1, 6, 5, 4, 9, 8, 7, 0, 0, 0});
    EXPECT_EQ(readFileBytes(file), expected);
}

TEST(Bmp, SizesMustFitThirtyTwoBits) {
    // Width 1 has rows of 4 bytes: 54 + 4 * h must stay below 2^32.
    EXPECT_TRUE(bmpCanStore(1, 1073741810));
    EXPECT_FALSE(bmpCanStore(1, 1073741811));
    EXPECT_FALSE(bmpCanStore(2147483647, 1));
    EXPECT_TRUE(bmpCanStore(30000, 30000));
    EXPECT_FALSE(bmpCanStore(40000, 40000));

    TempDir dir;
    EXPECT_EQ(openBMP(dir.path("big.bmp").c_str(), 40000, 40000), -1);
    EXPECT_TRUE(dir.files().empty());
}
