#include "image/jpg.h"

// jpeglib.h needs FILE and size_t declared first.
#include <cstdio>
#include <jpeglib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <vector>

#include "app/settings.h"
#include "support/temp_dir.h"

using Bytes = std::vector<unsigned char>;
using Table = std::vector<unsigned>;

namespace {

struct JpegHeader {
    unsigned width = 0;
    unsigned height = 0;
    int components = 0;
    UINT16 luminance[DCTSIZE2] = {};
    UINT16 chrominance[DCTSIZE2] = {};
};

struct ErrorTrap {
    jpeg_error_mgr manager;
    std::jmp_buf recovery;
};

[[noreturn]] void leave(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<ErrorTrap*>(cinfo->err)->recovery, 1);
}

// Decodes file with libjpeg: its size, quantization tables and pixels (capacity bytes), with
// plain upsampling so that uniform blocks decode uniform. Only plain C records live here.
bool readJpeg(FILE* file, JpegHeader* header, unsigned char* pixels, std::size_t capacity) {
    jpeg_decompress_struct cinfo{};
    ErrorTrap trap{};
    cinfo.err = jpeg_std_error(&trap.manager);
    trap.manager.error_exit = leave;
    if (setjmp(trap.recovery)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    header->width = cinfo.image_width;
    header->height = cinfo.image_height;
    header->components = cinfo.num_components;
    std::copy_n(cinfo.quant_tbl_ptrs[0]->quantval, DCTSIZE2, header->luminance);
    std::copy_n(cinfo.quant_tbl_ptrs[1]->quantval, DCTSIZE2, header->chrominance);
    cinfo.out_color_space = JCS_RGB;
    cinfo.do_fancy_upsampling = FALSE;
    jpeg_start_decompress(&cinfo);
    const std::size_t rowBytes = std::size_t(cinfo.output_width) * 3;
    const bool fits = rowBytes * cinfo.output_height <= capacity;
    while (fits && cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = pixels + cinfo.output_scanline * rowBytes;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    if (fits) jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return fits;
}

// The luminance table libjpeg builds for quality (baseline).
Table luminanceTableFor(int quality) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    cinfo.in_color_space = JCS_RGB;
    cinfo.input_components = 3;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    Table table(cinfo.quant_tbl_ptrs[0]->quantval, cinfo.quant_tbl_ptrs[0]->quantval + DCTSIZE2);
    jpeg_destroy_compress(&cinfo);
    return table;
}

class Jpg : public ::testing::Test {
protected:
    void SetUp() override { jpeg_quality = 0; }
    void TearDown() override {
        discardJPG();
        jpeg_quality = 0;
    }

    // Writes a width x height picture, top half red and bottom half blue, rows bottom-up.
    bool writeRedOverBlue(const std::string& file, int width, int height) {
        if (openJPG(file.c_str(), width, height) != 0) return false;
        for (int y = height - 1; y >= 0; --y) {
            Bytes row(width * 3);
            for (int x = 0; x < width; ++x) row[3 * x + (y < height / 2 ? 0 : 2)] = 255;
            if (writeJPGLine(row.data(), y) != 0) return false;
        }
        return closeJPG() == 0;
    }

    // Reads file back; false when libjpeg cannot decode it.
    bool read(const std::string& file, JpegHeader* header, Bytes* pixels) {
        FILE* in = std::fopen(file.c_str(), "rb");
        if (!in) return false;
        const bool ok = readJpeg(in, header, pixels->data(), pixels->size());
        std::fclose(in);
        return ok;
    }

    TempDir dir;
};

}  // namespace

TEST_F(Jpg, QualityIsClampedStoredBackAndVisibleInTheQuantizationTable) {
    const struct {
        int setting;
        int quality;
    } cases[] = {{0, 90}, {-5, 90}, {150, 100}, {101, 100}, {75, 75}, {1, 1}, {100, 100}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting);
        jpeg_quality = c.setting;
        const std::string file = dir.path("q.jpg");
        ASSERT_TRUE(writeRedOverBlue(file, 16, 16));
        EXPECT_EQ(jpeg_quality, c.quality);
        JpegHeader header;
        Bytes pixels(16 * 16 * 3);
        ASSERT_TRUE(read(file, &header, &pixels));
        EXPECT_EQ(Table(header.luminance, header.luminance + DCTSIZE2), luminanceTableFor(c.quality));
    }
    EXPECT_NE(luminanceTableFor(90), luminanceTableFor(75));
}

TEST_F(Jpg, DecodesToTheRowsWrittenInTheirPlaces) {
    jpeg_quality = 100;
    const std::string file = dir.path("pic.jpg");
    ASSERT_TRUE(writeRedOverBlue(file, 32, 32));
    JpegHeader header;
    Bytes pixels(32 * 32 * 3);
    ASSERT_TRUE(read(file, &header, &pixels));
    EXPECT_EQ(header.width, 32u);
    EXPECT_EQ(header.height, 32u);
    EXPECT_EQ(header.components, 3);
    auto near = [](int value, int expected) { return std::abs(value - expected) <= 3; };
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const unsigned char* p = &pixels[(y * 32 + x) * 3];
            const bool top = y < 16;
            ASSERT_TRUE(near(p[0], top ? 255 : 0) && near(p[1], 0) && near(p[2], top ? 0 : 255))
                << "pixel " << x << ", " << y << ": " << int(p[0]) << " " << int(p[1]) << " " << int(p[2]);
        }
    }
}

TEST_F(Jpg, SidesBeyondLibjpegsLimitAreRefusedWithoutAFile) {
    EXPECT_TRUE(jpgCanStore(65500, 65500));
    EXPECT_FALSE(jpgCanStore(65501, 1));
    EXPECT_FALSE(jpgCanStore(1, 65501));
    EXPECT_EQ(openJPG(dir.path("wide.jpg").c_str(), 65501, 1), -1);
    EXPECT_TRUE(dir.files().empty());
    EXPECT_EQ(closeJPG(), -1);
}
