#include "image/png.h"

#include <png.h>

#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdio>
#include <vector>

#include "support/temp_dir.h"

using Bytes = std::vector<unsigned char>;

namespace {

struct PngHeader {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colorType = 0;
    int interlace = 0;
};

// Decodes file with libpng: its header, and its rows into pixels (capacity bytes). Only plain
// values live here, so libpng's error jump may come back into this frame.
bool readPng(FILE* file, PngHeader* header, unsigned char* pixels, std::size_t capacity) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_init_io(png, file);
    png_read_info(png, info);
    png_get_IHDR(png, info, &header->width, &header->height, &header->bitDepth, &header->colorType,
                 &header->interlace, nullptr, nullptr);
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    const bool fits = rowBytes * header->height <= capacity;
    for (png_uint_32 y = 0; fits && y < header->height; ++y) png_read_row(png, pixels + y * rowBytes, nullptr);
    if (fits) png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return fits;
}

}  // namespace

TEST(Png, DecodesToTheRowsWrittenAsEightBitRgbWithoutInterlacing) {
    TempDir dir;
    const std::string file = dir.path("pic.png");
    constexpr int width = 5;
    constexpr int height = 3;
    Bytes picture(width * height * 3);
    for (std::size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<unsigned char>(i * 17 + 3);

    ASSERT_EQ(openPNG(file.c_str(), width, height), 0);
    for (int y : {2, 0, 1}) {
        Bytes row(picture.begin() + y * width * 3, picture.begin() + (y + 1) * width * 3);
        ASSERT_EQ(writePNGLine(row.data(), y), 0);
        EXPECT_EQ(row[0], picture[y * width * 3]);  // the caller's row stays red, green, blue
    }
    EXPECT_EQ(writePNGLine(picture.data(), height), -1);
    ASSERT_EQ(closePNG(), 0);

    FILE* in = std::fopen(file.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    PngHeader header;
    Bytes decoded(picture.size());
    const bool read = readPng(in, &header, decoded.data(), decoded.size());
    std::fclose(in);
    ASSERT_TRUE(read);
    EXPECT_EQ(header.width, png_uint_32(width));
    EXPECT_EQ(header.height, png_uint_32(height));
    EXPECT_EQ(header.bitDepth, 8);
    EXPECT_EQ(header.colorType, PNG_COLOR_TYPE_RGB);
    EXPECT_EQ(header.interlace, PNG_INTERLACE_NONE);
    EXPECT_EQ(decoded, picture);
}

TEST(Png, SizesBeyondLibpngsLimitAreRefusedWithoutAFile) {
    EXPECT_TRUE(pngCanStore(1000000, 1000000));
    EXPECT_FALSE(pngCanStore(1000001, 1));
    EXPECT_FALSE(pngCanStore(1, 1000001));

    TempDir dir;
    EXPECT_EQ(openPNG(dir.path("wide.png").c_str(), 1000001, 1), -1);
    EXPECT_EQ(openPNG(dir.path("none.png").c_str(), 4, 0), -1);
    EXPECT_TRUE(dir.files().empty());
    EXPECT_EQ(closePNG(), -1);
}
