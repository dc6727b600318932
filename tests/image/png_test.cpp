#include "image/png.h"

#include <png.h>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

using Bytes = std::vector<unsigned char>;

TEST(Png, EightBitRgbNotInterlacedDecodingToTheRowsWritten) {
    TempDir dir;
    const std::string file = dir.path("pic.png");
    Bytes picture(5 * 3 * 3);
    for (std::size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<unsigned char>(i * 17 + 3);
    ASSERT_EQ(openPNG(file.c_str(), 5, 3), 0);
    for (int y : {2, 0, 1}) {
        Bytes row(picture.begin() + y * 15, picture.begin() + (y + 1) * 15);
        ASSERT_EQ(writePNGLine(row.data(), y), 0);
    }
    ASSERT_EQ(closePNG(), 0);

    const Bytes bytes = readFileBytes(file);
    ASSERT_GT(bytes.size(), 29u);
    EXPECT_EQ(Bytes(bytes.begin() + 12, bytes.begin() + 29),  // IHDR: 5 x 3, 8 bits, RGB, no interlace
              (Bytes{'I', 'H', 'D', 'R', 0, 0, 0, 5, 0, 0, 0, 3, 8, 2, 0, 0, 0}));
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()));
    image.format = PNG_FORMAT_RGB;
    Bytes decoded(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, decoded.data(), 0, nullptr));
    EXPECT_EQ(decoded, picture);
}
