#include "image/bmp.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

using Bytes = std::vector<unsigned char>;

namespace {

// The 54-byte header of a 24-bit BMP; sizes below 256 keep every field one byte.
Bytes bmpHeader(unsigned char width, unsigned char height, unsigned char dataSize) {
    Bytes header(54);
    const std::pair<int, unsigned char> fields[] = {{0, 'B'}, {1, 'M'}, {2, 54 + dataSize}, {10, 54},
        {14, 40}, {18, width}, {22, height}, {26, 1}, {28, 24}, {34, dataSize}};
    for (auto [at, value] : fields) header[at] = value;
    return header;
}

Bytes writeBmp(const std::string& file, int width, std::vector<Bytes> rows) {
    if (openBMP(file.c_str(), width, int(rows.size())) != 0) return {};
    for (int y = 0; y < int(rows.size()); ++y) writeBMPLine(rows[y].data(), y);
    return closeBMP() == 0 ? readFileBytes(file) : Bytes{};
}

}  // namespace

TEST(Bmp, RowsPaddedToFourBytesBottomRowFirst) {
    TempDir dir;
    Bytes expected = bmpHeader(1, 1, 4);
    expected.insert(expected.end(), {30, 20, 10, 0});
    EXPECT_EQ(writeBmp(dir.path("one.bmp"), 1, {{10, 20, 30}}), expected);

    expected = bmpHeader(3, 2, 24);
    expected.insert(expected.end(), {13, 12, 11, 16, 15, 14, 19, 18, 17, 0, 0, 0});
    expected.insert(expected.end(), {3, 2, 1, 6, 5, 4, 9, 8, 7, 0, 0, 0});
    EXPECT_EQ(writeBmp(dir.path("three.bmp"), 3, {{1, 2, 3, 4, 5, 6, 7, 8, 9}, {11, 12, 13, 14, 15, 16, 17, 18, 19}}),
              expected);
}

TEST(Bmp, SizesMustFitThirtyTwoBits) {
    EXPECT_TRUE(bmpCanStore(1, 1073741810));  // 54 + 4 * h just below 2^32
    EXPECT_FALSE(bmpCanStore(1, 1073741811));
    EXPECT_FALSE(bmpCanStore(2147483647, 1));
}
