// What the reference images of the end-to-end tests do not show of the file layouts: BMP rows
// padded to four bytes (their widths need no padding).
#include <gtest/gtest.h>

#include "image/bmp.h"
#include "support/files.h"

using Bytes = std::vector<unsigned char>;

TEST(Bmp, RowsPaddedToFourBytesBottomRowFirst) {
    TempDir dir;
    ASSERT_EQ(openBMP(dir.path("p.bmp").c_str(), 3, 2), 0);
    Bytes top{1, 2, 3, 4, 5, 6, 7, 8, 9}, bottom{11, 12, 13, 14, 15, 16, 17, 18, 19};
    ASSERT_EQ(writeBMPLine(top.data(), 0), 0);
    ASSERT_EQ(writeBMPLine(bottom.data(), 1), 0);
    ASSERT_EQ(closeBMP(), 0);
    Bytes expected(54);  // sizes below 256 keep every field of the header one byte
    for (auto [at, value] :
         {std::pair{0, 'B'}, {1, 'M'}, {2, 54 + 24}, {10, 54}, {14, 40}, {18, 3}, {22, 2}, {26, 1}, {28, 24}, {34, 24}})
        expected[at] = static_cast<unsigned char>(value);
    expected.insert(expected.end(), {13, 12, 11, 16, 15, 14, 19, 18, 17, 0, 0, 0, 3, 2, 1, 6, 5, 4, 9, 8, 7, 0, 0, 0});
    EXPECT_EQ(readFileBytes(dir.path("p.bmp")), expected);
    EXPECT_TRUE(bmpCanStore(1, 1073741810));  // 54 + 4 h just below 2^32
    EXPECT_FALSE(bmpCanStore(1, 1073741811));
}
